#include "capture/capture_gif.h"

#include <gif_lib.h>

#include <memory>
#include <vector>

#include "capture/capture_png.h"
#include "framework/fenn_log.h"

namespace {

struct map_deleter {
    void operator()(ColorMapObject* m) const { GifFreeMapObject(m); }
};

// Closes the file on every path out; close() reports whether the last
// buffered bytes reached the file.
struct gif_writer {
    GifFileType* gif = nullptr;
    ~gif_writer() { close(); }
    bool close() {
        if (!gif) return true;
        int error = 0;
        const bool ok = EGifCloseFile(gif, &error) == GIF_OK;
        gif = nullptr;
        return ok;
    }
};

// Loop for ever: the application extension "NETSCAPE2.0" with its
// repetition sub-block (count 0).
bool put_loop_forever(GifFileType* gif) {
    static const GifByteType id[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType repeat[] = {1, 0, 0};
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof id, id) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof repeat, repeat) == GIF_OK &&
           EGifPutExtensionTrailer(gif) == GIF_OK;
}

// Graphic control: disposal 2 (restore to background), no transparent
// colour, the frame delay.
bool put_frame_control(GifFileType* gif) {
    static const GifByteType control[] = {0x08, capture_gif_delay_cs, 0, 0};
    return EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, sizeof control, control) == GIF_OK;
}

}  // namespace

int capture_gif_palette_size(const capture_clip& clip) {
    for (int i = 0; i < clip.count; ++i) {
        const uint8_t* f = capture_clip_frame(clip, i);
        for (size_t p = 0; p < capture_frame_bytes; ++p)
            if (f[p] > 15) return 256;
    }
    return 16;
}

int capture_write_gif(const char* path, const capture_clip& clip, const uint8_t* palette, int scale) {
    if (!path || !palette || clip.count <= 0) return 1;
    scale = capture_clamp_scale(scale);
    const int side = capture_side * scale;
    const int colours = capture_gif_palette_size(clip);

    std::vector<GifColorType> rgb(static_cast<size_t>(colours));
    for (int i = 0; i < colours; ++i) rgb[size_t(i)] = {palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]};
    std::unique_ptr<ColorMapObject, map_deleter> map(GifMakeMapObject(colours, rgb.data()));
    if (!map) return 1;

    int error = 0;
    gif_writer w;
    w.gif = EGifOpenFileName(path, false, &error);
    if (!w.gif) {
        fenn_debug("** cannot open %s for the video (gif error %d)\n", path, error);
        return 1;
    }
    EGifSetGifVersion(w.gif, true);  // the extensions need GIF89a
    // The colour resolution field is 3 bits; 8 bits per primary is what the
    // display palette has.
    if (EGifPutScreenDesc(w.gif, side, side, 8, 0, map.get()) != GIF_OK) return 1;

    std::vector<GifPixelType> row(static_cast<size_t>(side));
    for (int i = 0; i < clip.count; ++i) {
        if (i == 0 && !put_loop_forever(w.gif)) return 1;
        if (!put_frame_control(w.gif)) return 1;
        if (EGifPutImageDesc(w.gif, 0, 0, side, side, false, map.get()) != GIF_OK) return 1;
        const uint8_t* frame = capture_clip_frame(clip, i);
        for (int y = 0; y < side; ++y) {
            const uint8_t* in = frame + size_t(y / scale) * capture_side;
            for (int x = 0; x < side; ++x) row[size_t(x)] = GifPixelType(in[x / scale] % colours);
            if (EGifPutLine(w.gif, row.data(), side) != GIF_OK) return 1;
        }
    }
    return w.close() ? 0 : 1;
}
