// Prints text made of the bytes with control codes mixed in at random places
// (a selector byte below 16 stands for a code, often with a plausible
// command letter after it), through print and the console printer, at a
// random place, clip, camera and wrap. The text is an exactly sized block
// without a terminator, so a code that reads past its end is caught by the
// sanitizers. Every pixel must stay 0-15 and the pixels outside the clip
// must be left alone (or all be one colour, after a \^c clear).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "machine/gfx.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "runtime/machine_life.h"

namespace {

constexpr size_t text_max = 4096;
constexpr uint8_t outside_colour = 9;

struct reader {
    const uint8_t* p;
    size_t left;
    uint8_t byte() {
        if (!left) return 0;
        --left;
        return *p++;
    }
    int8_t small() { return int8_t(byte()); }
};

std::string make_text(reader& r) {
    static const unsigned char controls[] = {1, 2, 3, 4, 5, 6, 7, 8, 12, 13, 10};
    static const char commands[] = "wt=pib#cgj:-+z";
    std::string t;
    while (r.left && t.size() < text_max) {
        const uint8_t b = r.byte();
        if (b >= 16) {
            t += char(b);
            continue;
        }
        const unsigned char code = controls[b % sizeof controls];
        t += char(code);
        if (code == 6) t += commands[r.byte() % (sizeof commands - 1)];
    }
    return t;
}

int sounds = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vexel_host host;
    static vexel_machine* m = nullptr;
    if (!m) {
        m = vexel_machine_create(&host);
        m->console_font = vexel_create_console_font();
    }
    reader r{data, size};
    const int argc = r.byte() % 5;
    const int x = r.small() * 2, y = r.small() * 2, colour = r.byte();
    const bool wrap = r.byte() & 1, console = r.byte() % 4 == 0;
    const int cx0 = r.byte() % 129, cy0 = r.byte() % 129, cw = r.byte() % 129, ch = r.byte() % 129;
    m->camera_x = r.small();
    m->camera_y = r.small();
    m->cursor_x = r.small();
    m->cursor_y = r.byte() % 128;
    for (int i = 0; i < 16; ++i) m->draw_pal[i] = i | (r.byte() & 0x10);
    std::memset(m->screen->pix.data(), outside_colour, m->screen->pix.size());
    vexel_set_clip_registers(m, cx0, cy0, cx0 + cw, cy0 + ch);
    const fenn_bitmap* s = m->screen;
    const int clip_x0 = s->clip_x0, clip_y0 = s->clip_y0, clip_x1 = s->clip_x1, clip_y1 = s->clip_y1;

    const std::string text = make_text(r);
    if (console) {
        vexel_print_col(m, text.c_str(), colour & 15);
    } else {
        std::unique_ptr<char[]> exact(new char[text.size() ? text.size() : 1]);
        std::memcpy(exact.get(), text.data(), text.size());
        const vexel_print_sound sound{[](void*, int) { ++sounds; }, nullptr};
        vexel_script_print(m, argc, exact.get(), text.size(), vexel_fix(uint32_t(x) << 16), vexel_fix(uint32_t(y) << 16),
                           vexel_fix(uint32_t(colour) << 16), wrap, sound);
    }

    // The console's scroll moves rows inside the clip only, so the outside
    // stays as it was unless a clear made it one colour.
    bool uniform = true, untouched = true;
    int first = -1;  // the first pixel outside the clip
    for (int py = 0; py < s->h; ++py)
        for (int px = 0; px < s->w; ++px) {
            const uint8_t v = s->pix[size_t(py) * size_t(s->w) + size_t(px)];
            if (v > 15) std::abort();
            if (px >= clip_x0 && px < clip_x1 && py >= clip_y0 && py < clip_y1) continue;
            if (first < 0) first = v;
            untouched &= v == outside_colour;
            uniform &= v == first;
        }
    if (!untouched && !uniform) std::abort();
    return 0;
}
