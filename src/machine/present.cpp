#include "machine/present.h"

#include <cstring>

#include "machine/machine.h"
#include "machine/mem.h"

namespace {

// The four bytes that switch the extended palette on.
constexpr uint8_t ext_palette_key[4] = {0x5A, 0x3C, 0xA5, 0xC3};

}  // namespace

void vexel_present_screen(vexel_machine* m, bool screen_modes) {
    fenn_bitmap* src = m->screen;
    fenn_bitmap* dst = m->display;
    if (!src || !dst) return;
    m->ext_palette_on = std::memcmp(m->ram + vexel_reg_ext_palette, ext_palette_key, sizeof ext_palette_key) == 0;
    const int mask = m->ext_palette_on ? 0x8f : 0x0f;
    uint8_t lut[16];
    for (int i = 0; i < 16; ++i) {
        m->screen_pal[i] &= mask;
        lut[i] = uint8_t(m->screen_pal[i]);
    }
    const size_t n = size_t(src->w) * size_t(src->h);
    // Plain pointers: through the two vectors every store could change
    // where the next pixel is read from, and the loop reloaded both data
    // pointers per pixel (9 instructions a pixel, now 7).
    const uint8_t* from = src->pix.data();
    uint8_t* p = dst->pix.data();
    for (size_t i = 0; i < n; ++i) p[i] = lut[from[i] & 15];
    if (!screen_modes) return;
    const int mode = m->screen_mode;
    if (mode == 1 || mode == 3)  // stretched wide
        for (int y = 0; y < 128; ++y)
            for (int x = 127; x >= 0; --x) p[y * 128 + x] = p[y * 128 + x / 2];
    if (mode == 2 || mode == 3)  // stretched tall
        for (int y = 127; y >= 0; --y) std::memcpy(p + y * 128, p + (y / 2) * 128, 128);
    if (mode == 5 || mode == 7)  // mirrored left to right
        for (int y = 0; y < 128; ++y)
            for (int i = 0; i < 64; ++i) p[y * 128 + 127 - i] = p[y * 128 + i];
    if (mode == 6 || mode == 7)  // mirrored top to bottom
        for (int i = 0; i < 64; ++i) std::memcpy(p + (127 - i) * 128, p + i * 128, 128);
}
