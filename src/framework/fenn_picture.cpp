// The host-independent part of fenn_video: palette conversion, the
// rectangle that shows the picture, the frame-rate display. Shared by the
// SDL window and the web page's canvas.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "framework/fenn_video.h"

namespace {

// Digits and the letters of "fps" in a 3x5 pixel font, for the frame-rate
// display; each glyph is 5 rows of 3 bits, bit 2 the leftmost column.
const uint8_t* fps_glyph(char c) {
    static const uint8_t digits[10][5] = {
        {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 3, 1, 7}, {5, 5, 7, 1, 1},
        {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
    };
    static const uint8_t f[5] = {3, 4, 7, 4, 4}, p[5] = {0, 7, 5, 7, 4}, s[5] = {0, 3, 6, 1, 6};
    if (c >= '0' && c <= '9') return digits[c - '0'];
    if (c == 'f') return f;
    if (c == 'p') return p;
    if (c == 's') return s;
    return nullptr;
}

void draw_fps_text(uint32_t* pix, int stride, int max_w, int max_h, const char* text, uint32_t colour) {
    int x = 1;
    for (const char* t = text; *t; ++t, x += 4) {
        const uint8_t* g = fps_glyph(*t);
        if (!g) continue;
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 3; ++col)
                if (g[row] & (4 >> col)) {
                    int px = x + col, py = 1 + row;
                    if (px < max_w && py < max_h) pix[py * stride + px] = colour;
                }
    }
}

}  // namespace

void fenn_draw_fps(uint32_t* pix, int w, int h, int fps) {
    char text[16];
    std::snprintf(text, sizeof text, "%03d fps", std::clamp(fps, 0, 999));
    // On a dark strip, in the picture's own pixels, so that it scales with it.
    const int strip_w = std::min(w, 1 + 4 * int(std::strlen(text))), strip_h = std::min(h, 7);
    for (int y = 0; y < strip_h; ++y)
        for (int x = 0; x < strip_w; ++x) pix[size_t(y) * size_t(w) + size_t(x)] = 0xff000000u;
    draw_fps_text(pix, w, w, h, text, 0xffffffffu);
}

void fenn_convert_to_argb(const fenn_bitmap* src, const uint8_t* palette, uint32_t* out) {
    uint32_t lut[256];
    for (int i = 0; i < 256; ++i)
        lut[i] = 0xFF000000u | uint32_t(palette[i * 3]) << 16 | uint32_t(palette[i * 3 + 1]) << 8 | palette[i * 3 + 2];
    const size_t n = size_t(src->w) * size_t(src->h);
    const uint8_t* p = src->pix.data();
    for (size_t i = 0; i < n; ++i) out[i] = lut[p[i]];
}

fenn_rect fenn_compute_dest_rect(int ww, int wh, int W, int H, int pixel_perfect, const int draw_rect[4]) {
    if (draw_rect && draw_rect[2] > 0 && draw_rect[3] > 0 && !(draw_rect[2] == 4096 && draw_rect[3] == 4096 &&
                                                                draw_rect[0] == 0 && draw_rect[1] == 0))
        return {draw_rect[0], draw_rect[1], draw_rect[2], draw_rect[3]};
    if (ww <= 0 || wh <= 0 || W <= 0 || H <= 0) return {0, 0, W, H};
    if (pixel_perfect) {
        int k = std::max(1, std::min(ww / W, wh / H));
        return {(ww - k * W) / 2, (wh - k * H) / 2, k * W, k * H};
    }
    if (int64_t(W) * wh > int64_t(ww) * H) {
        int h = int(int64_t(ww) * H / W);
        return {0, (wh - h) / 2, ww, h};
    }
    int w = int(int64_t(wh) * W / H);
    return {(ww - w) / 2, 0, w, wh};
}

