// Reads the bytes as a run of drawing calls with arbitrary raw arguments, as
// a hostile program could make them; every pixel drawn must stay 0-15 and
// nothing may touch memory outside the screen, sheet and map.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cart/cart.h"
#include "machine/gfx.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/mem.h"
#include "runtime/machine_life.h"
#include "machine/sprite.h"
#include "machine/text.h"

namespace {

struct reader {
    const uint8_t* p;
    size_t left;
    uint8_t byte() {
        if (!left) return 0;
        --left;
        return *p++;
    }
    int32_t value() {
        // A small selector keeps common screen-sized values likely.
        uint8_t kind = byte();
        if (kind < 128) return int32_t(uint32_t(int8_t(byte())) << 16);
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | byte();
        return int32_t(v);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vexel_host host;
    static vexel_machine* m = nullptr;
    if (!m) {
        m = vexel_machine_create(&host);
        m->console_font = vexel_create_console_font();
    }
    for (int i = 0; i < 16; ++i) m->draw_pal[i] = m->screen_pal[i] = i;
    m->draw_pal[0] = 0x10;
    m->camera_x = m->camera_y = 0;
    m->fill_pattern = 0;
    for (int i = 0; i < 4; ++i) m->ram[vexel_reg_tline_wrap_w + uint32_t(i)] = 0;
    vexel_set_clip_registers(m, 0, 0, 128, 128);
    reader r{data, size};
    for (int calls = 0; r.left && calls < 64; ++calls) {
        const int op = r.byte() % 24, argc = r.byte() % 12;
        int32_t a[10];
        for (int32_t& v : a) v = r.value();
        const bool f1 = a[8] & 1, f2 = a[9] & 1;
        switch (op) {
        case 0: vexel_cls(m, argc, a[0]); break;
        case 1: vexel_pset(m, argc, a[0], a[1], a[2]); break;
        case 2: (void)vexel_pget(m, argc, a[0], a[1]); break;
        case 3: vexel_line(m, argc, a[0], a[1], a[2], a[3], a[4]); break;
        case 4: vexel_rect(m, argc, a[0], a[1], a[2], a[3], a[4]); break;
        case 5: vexel_rectfill(m, argc, a[0], a[1], a[2], a[3], a[4]); break;
        case 6: vexel_circ(m, argc, a[0], a[1], a[2], a[3]); break;
        case 7: vexel_circfill(m, argc, a[0], a[1], a[2], a[3]); break;
        case 8: vexel_clip(m, argc, a[0], a[1], a[2], a[3]); break;
        case 9: vexel_camera(m, argc, a[0], a[1]); break;
        case 10: vexel_pal(m, argc, a[0], a[1], a[2]); break;
        case 11: vexel_palt(m, argc, a[0], f1); break;
        case 12: vexel_fillp(m, argc, a[0]); break;
        case 13: vexel_spr(m, argc, a[0], a[1], a[2], a[3], a[4], f1, f2); break;
        case 14: vexel_sspr(m, argc, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], f1, f2); break;
        case 15: vexel_sset(m, argc, a[0], a[1], a[2]); (void)vexel_sget(m, argc, a[0], a[1]); break;
        case 16: vexel_mset(m, argc, a[0], a[1], a[2]); (void)vexel_mget(m, argc, a[0], a[1]); break;
        case 17: vexel_fset(m, argc, a[0], a[1], f1); (void)vexel_fget(m, argc, a[0], a[1]); break;
        case 18: vexel_map(m, argc, a[0], a[1], a[2], a[3], a[4], a[5], a[6]); break;
        case 19: {
            char text[24];
            for (size_t i = 0; i + 1 < sizeof text; ++i) text[i] = char(r.byte() | 1);
            text[sizeof text - 1] = 0;
            vexel_script_print(m, argc, text, std::strlen(text), a[0], a[1], a[2]);
            break;
        }
        case 20: vexel_oval(m, argc, a[0], a[1], a[2], a[3], a[4]); break;
        case 21: vexel_ovalfill(m, argc, a[0], a[1], a[2], a[3], a[4]); break;
        case 22: vexel_tline(m, argc, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]); break;
        case 23:  // tline's map window: wrap and offset bytes
            for (int i = 0; i < 4; ++i) m->ram[vexel_reg_tline_wrap_w + uint32_t(i)] = uint8_t(a[i] >> 16);
            break;
        }
    }
    for (uint8_t p : m->screen->pix)
        if (p > 15) std::abort();
    for (uint8_t p : m->cart->gfx->pix)
        if (p > 15) std::abort();
    return 0;
}
