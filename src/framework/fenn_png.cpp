#include "framework/fenn_png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

// libpng reports errors by calling our error function, which must not return;
// it jumps back to the setjmp in the calling function. Everything with a
// destructor is created before the setjmp and lives in the caller's frame, so
// the jump skips only libpng's own C frames.

namespace {

struct read_source {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_warning(png_structp, png_const_charp) {}

void read_bytes(png_structp png, png_bytep out, size_t count) {
    auto* src = static_cast<read_source*>(png_get_io_ptr(png));
    if (count > src->size - src->pos) png_error(png, "truncated");
    std::memcpy(out, src->data + src->pos, count);
    src->pos += count;
}

void write_bytes(png_structp png, png_bytep data, size_t count) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}

void flush_nothing(png_structp) {}

// Chunks that hold no picture data may not make the decoder allocate more.
constexpr size_t max_chunk_bytes = size_t(8) << 20;

}  // namespace

namespace {

// The part of decoding that libpng may jump out of. It owns nothing: the
// pixel buffers belong to the caller, and a bitmap it creates is handed over
// through *out before anything else can fail.
int decode_into(png_structp png, png_infop info, int max_w, int max_h, std::vector<uint8_t>& rgba,
                std::vector<png_bytep>& rows, fenn_bitmap** out) {
    png_read_info(png, info);
    png_uint_32 w = png_get_image_width(png, info);
    png_uint_32 h = png_get_image_height(png, info);
    if (w < 1 || h < 1 || w > png_uint_32(max_w) || h > png_uint_32(max_h)) return fenn_png_too_big;
    const int type = png_get_color_type(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(type & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(w) * 4) return fenn_png_unreadable;
    rgba.resize(size_t(w) * h * 4);
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = rgba.data() + size_t(y) * w * 4;
    png_read_image(png, rows.data());
    fenn_bitmap* bmp = fenn_create_bitmap(int(w), int(h), 32);
    if (!bmp) return fenn_png_unreadable;
    uint32_t* pix = bmp->pix32();
    for (size_t i = 0, n = size_t(w) * h; i < n; ++i) {
        const uint8_t* p = rgba.data() + 4 * i;
        pix[i] = uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    *out = bmp;
    return fenn_png_ok;
}

}  // namespace

int fenn_png_decode(const uint8_t* data, size_t size, fenn_bitmap** out, int max_w, int max_h) {
    *out = nullptr;
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return fenn_png_unreadable;
    const int limit_w = max_w < fenn_max_bitmap_side ? max_w : fenn_max_bitmap_side;
    const int limit_h = max_h < fenn_max_bitmap_side ? max_h : fenn_max_bitmap_side;

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (!png) return fenn_png_unreadable;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return fenn_png_unreadable;
    }
    read_source src{data, size, 0};
    std::vector<uint8_t> rgba;
    std::vector<png_bytep> rows;
    png_set_read_fn(png, &src, read_bytes);
    png_set_user_limits(png, png_uint_32(fenn_max_bitmap_side), png_uint_32(fenn_max_bitmap_side));
    png_set_chunk_malloc_max(png, max_chunk_bytes);

    volatile int status = fenn_png_unreadable;
    if (setjmp(png_jmpbuf(png)) == 0) status = decode_into(png, info, limit_w, limit_h, rgba, rows, out);
    png_destroy_read_struct(&png, &info, nullptr);
    if (status != fenn_png_ok) {
        // Never leave a bitmap behind on failure, whatever stage failed.
        fenn_destroy_bitmap(*out);
        *out = nullptr;
    }
    return status;
}

namespace {
constexpr int quick_compression_level = 3;

int encode(const fenn_bitmap* bmp, std::vector<uint8_t>* png_out, bool quick) {
    png_out->clear();
    if (!bmp || bmp->depth != 32) return 1;
    const size_t w = size_t(bmp->w), h = size_t(bmp->h);
    std::vector<uint8_t> rgba(w * h * 4);
    const uint32_t* pix = bmp->pix32();
    for (size_t i = 0; i < w * h; ++i) {
        rgba[4 * i] = uint8_t(pix[i] >> 16);
        rgba[4 * i + 1] = uint8_t(pix[i] >> 8);
        rgba[4 * i + 2] = uint8_t(pix[i]);
        rgba[4 * i + 3] = uint8_t(pix[i] >> 24);
    }
    std::vector<png_bytep> rows(h);
    for (size_t y = 0; y < h; ++y) rows[y] = rgba.data() + y * w * 4;

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (!png) return 1;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return 1;
    }
    volatile int status = 1;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, png_out, write_bytes, flush_nothing);
        if (quick) {
            png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
            png_set_compression_level(png, quick_compression_level);
        }
        png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_write_image(png, rows.data());
        png_write_end(png, nullptr);
        status = 0;
    }
    png_destroy_write_struct(&png, &info);
    if (status != 0) png_out->clear();
    return status;
}
}  // namespace

int fenn_png_encode(const fenn_bitmap* bmp, std::vector<uint8_t>* png) { return encode(bmp, png, false); }

int fenn_png_encode_quick(const fenn_bitmap* bmp, std::vector<uint8_t>* png) { return encode(bmp, png, true); }
