#include "capture/capture_png.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "framework/fenn_png.h"

namespace {

struct bitmap_deleter {
    void operator()(fenn_bitmap* b) const { fenn_destroy_bitmap(b); }
};

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

int capture_clamp_scale(int scale) { return std::clamp(scale, capture_scale_min, capture_scale_max); }

int capture_encode_png(const fenn_bitmap* src, const uint8_t* palette, int scale, std::vector<uint8_t>* png) {
    png->clear();
    if (!src || src->depth != 8 || !palette) return 1;
    scale = capture_clamp_scale(scale);
    if (src->w > fenn_max_bitmap_side / scale || src->h > fenn_max_bitmap_side / scale) return 1;
    std::unique_ptr<fenn_bitmap, bitmap_deleter> big(fenn_create_bitmap(src->w * scale, src->h * scale, 32));
    if (!big) return 1;

    uint32_t colour[256];
    for (int i = 0; i < 256; ++i)
        colour[i] = 0xff000000u | uint32_t(palette[i * 3]) << 16 | uint32_t(palette[i * 3 + 1]) << 8 |
                    palette[i * 3 + 2];
    uint32_t* out = big->pix32();
    const size_t out_w = size_t(big->w);
    for (int y = 0; y < src->h; ++y) {
        uint32_t* row = out + size_t(y) * size_t(scale) * out_w;
        const uint8_t* in = src->pix.data() + size_t(y) * size_t(src->w);
        for (int x = 0; x < src->w; ++x) std::fill_n(row + size_t(x) * size_t(scale), scale, colour[in[x]]);
        for (int r = 1; r < scale; ++r) std::copy_n(row, out_w, row + size_t(r) * out_w);
    }
    return fenn_png_encode(big.get(), png) == 0 ? 0 : 1;
}

int capture_write_png(const char* path, const fenn_bitmap* src, const uint8_t* palette, int scale) {
    std::vector<uint8_t> png;
    if (capture_encode_png(src, palette, scale, &png) != 0) return 1;
    std::unique_ptr<std::FILE, file_closer> f(std::fopen(path, "wb"));
    if (!f) return 1;
    if (std::fwrite(png.data(), 1, png.size(), f.get()) != png.size()) return 1;
    return std::fclose(f.release()) == 0 ? 0 : 1;
}
