#include "machine/mem.h"

#include <algorithm>
#include <atomic>

#include "machine/error.h"

namespace {

bool has_screen(const vexel_machine* m) {
    return m && m->screen && m->screen->depth == 8 &&
           m->screen->pix.size() >= size_t(vexel_screen_w) * vexel_screen_h;
}

void store_shared(int32_t& field, int32_t value) { vexel_cart_store_word(field, value); }

int32_t replace_byte(int32_t word, int index, int value) {
    uint32_t shift = uint32_t(index) * 8;
    uint32_t u = (uint32_t(word) & ~(0xffu << shift)) | uint32_t(value) << shift;
    return int32_t(u);
}

int byte_of(int32_t word, int index) { return int((uint32_t(word) >> (index * 8)) & 0xff); }

// camera high byte: the signed byte times 256 plus the kept low byte.
int32_t camera_with_high(int32_t camera, int value) {
    return int32_t(static_cast<int8_t>(value)) * 256 + (camera & 0xff);
}

void apply_clip(vexel_machine* m) {
    fenn_set_clip(m->screen, m->clip_x0, m->clip_y0, m->clip_x1, m->clip_y1);
}

int read_register(const vexel_machine* m, uint32_t a) {
    if (a < vexel_reg_screen_pal) return m->draw_pal[a - vexel_reg_draw_pal] & 0xff;
    if (a < vexel_reg_clip) return m->screen_pal[a - vexel_reg_screen_pal] & 0xff;
    switch (a) {
        case vexel_reg_clip + 0: return m->clip_x0 & 0xff;
        case vexel_reg_clip + 1: return m->clip_y0 & 0xff;
        case vexel_reg_clip + 2: return m->clip_x1 & 0xff;
        case vexel_reg_clip + 3: return m->clip_y1 & 0xff;
        case vexel_reg_pen_col: return m->pen_col & 0xff;
        case vexel_reg_cursor_x: return m->cursor_x & 0xff;
        case vexel_reg_cursor_y: return m->cursor_y & 0xff;
        case vexel_reg_camera_x: return byte_of(m->camera_x, 0);
        case vexel_reg_camera_x + 1: return byte_of(m->camera_x, 1);
        case vexel_reg_camera_y: return byte_of(m->camera_y, 0);
        case vexel_reg_camera_y + 1: return byte_of(m->camera_y, 1);
        case vexel_reg_screen_mode: return m->screen_mode & 0xff;
        case vexel_reg_fill_pattern + 0: return byte_of(m->fill_pattern, 0);
        case vexel_reg_fill_pattern + 1: return byte_of(m->fill_pattern, 1);
        case vexel_reg_fill_pattern + 2: return byte_of(m->fill_pattern, 2);
        default: return m->ram[a];
    }
}

void write_register(vexel_machine* m, uint32_t a, int value) {
    if (a < vexel_reg_screen_pal) {
        m->draw_pal[a - vexel_reg_draw_pal] = value;
        return;
    }
    if (a < vexel_reg_clip) {
        m->screen_pal[a - vexel_reg_screen_pal] = value;
        return;
    }
    if (a >= vexel_reg_audio_fx && a < vexel_reg_audio_fx + 4) {
        store_shared(m->audio_fx[a - vexel_reg_audio_fx], value & 0x0f);
        return;
    }
    switch (a) {
        case vexel_reg_clip + 0: m->clip_x0 = value; apply_clip(m); break;
        case vexel_reg_clip + 1: m->clip_y0 = value; apply_clip(m); break;
        case vexel_reg_clip + 2: m->clip_x1 = value; apply_clip(m); break;
        case vexel_reg_clip + 3: m->clip_y1 = value; apply_clip(m); break;
        case vexel_reg_pen_col: m->pen_col = value; break;
        case vexel_reg_cursor_x: m->cursor_x = value; break;
        case vexel_reg_cursor_y: m->cursor_y = value; break;
        case vexel_reg_camera_x: m->camera_x = replace_byte(m->camera_x, 0, value); break;
        case vexel_reg_camera_x + 1: m->camera_x = camera_with_high(m->camera_x, value); break;
        case vexel_reg_camera_y: m->camera_y = replace_byte(m->camera_y, 0, value); break;
        case vexel_reg_camera_y + 1: m->camera_y = camera_with_high(m->camera_y, value); break;
        case vexel_reg_screen_mode: m->screen_mode = value; break;
        case vexel_reg_fill_pattern + 0: m->fill_pattern = replace_byte(m->fill_pattern, 0, value); break;
        case vexel_reg_fill_pattern + 1: m->fill_pattern = replace_byte(m->fill_pattern, 1, value); break;
        // Only bit 16 (transparent zeros) means anything to drawing; the
        // whole byte is kept so that it reads back as written.
        case vexel_reg_fill_pattern + 2: m->fill_pattern = replace_byte(m->fill_pattern, 2, value); break;
        default: break;  // ram only
    }
}

void bad_access(vexel_machine* machine) {
    if (machine) vexel_runtime_error(machine, "bad memory access");
}

void clear_audio_fx(vexel_machine* m) {
    for (int i = 0; i < 4; ++i) {
        store_shared(m->audio_fx[i], 0);
        m->ram[vexel_reg_audio_fx + i] = 0;  // the register reads its ram byte
    }
}

}  // namespace

int vexel_peek(const vexel_machine* machine, const vexel_cart* cart, int32_t addr) {
    uint32_t a = uint32_t(addr);
    if (a < vexel_addr_ram) return vexel_cart_peek(cart, a);
    if (!machine || a >= vexel_mem_size) return 0;
    if (a >= vexel_addr_screen) return has_screen(machine) ? vexel_read_pixel_pair(machine->screen, a - vexel_addr_screen) : 0;
    if (a < vexel_addr_cart_data) return machine->ram[a];
    if (a < vexel_addr_draw_state) {
        uint32_t off = a - vexel_addr_cart_data;
        return byte_of(machine->cart_data[off / 4], int(off % 4));
    }
    if (a < vexel_addr_gpio) return read_register(machine, a);
    return vexel_gpio_read(machine, int32_t(a - vexel_addr_gpio));
}

void vexel_poke(vexel_machine* machine, vexel_cart* cart, int32_t addr, int32_t value) {
    uint32_t a = uint32_t(addr);
    int v = value & 0xff;
    if (a >= vexel_mem_size) {
        bad_access(machine);
        return;
    }
    if (a < vexel_addr_ram) {
        if (machine) machine->ram[a] = uint8_t(v);
        vexel_cart_poke(cart, a, v);
        return;
    }
    if (!machine) return;
    machine->ram[a] = uint8_t(v);
    if (a >= vexel_addr_screen) {
        if (has_screen(machine)) vexel_write_pixel_pair(machine->screen, a - vexel_addr_screen, v);
    } else if (a < vexel_addr_cart_data) {
        // general-purpose memory: ram only
    } else if (a < vexel_addr_draw_state) {
        // The reset glitch pokes random bytes; it must not corrupt save data.
        if (machine->reset_glitch != 0) return;
        uint32_t off = a - vexel_addr_cart_data;
        machine->cart_data[off / 4] = replace_byte(machine->cart_data[off / 4], int(off % 4), v);
        machine->cart_data_dirty = 1;
    } else if (a < vexel_addr_gpio) {
        write_register(machine, a, v);
    } else {
        vexel_gpio_write(machine, int32_t(a - vexel_addr_gpio), v);
    }
}

void vexel_memcpy(vexel_machine* machine, vexel_cart* cart, int32_t dest, int32_t src, int32_t len) {
    if (len < 1 || len > vexel_memop_max_len) return;
    // 64-bit addresses: dest + len may lie beyond the int range.
    auto copy_byte = [&](int64_t i) {
        int64_t s = int64_t(src) + i, d = int64_t(dest) + i;
        int v = (s >= 0 && s < int64_t(vexel_mem_size)) ? vexel_peek(machine, cart, int32_t(s)) : 0;
        if (d < 0 || d >= int64_t(vexel_mem_size)) {
            bad_access(machine);
            return;
        }
        vexel_poke(machine, cart, int32_t(d), v);
    };
    if (dest >= src) {
        for (int64_t i = len - 1; i >= 0; --i) copy_byte(i);
    } else {
        for (int64_t i = 0; i < len; ++i) copy_byte(i);
    }
}

void vexel_memset(vexel_machine* machine, vexel_cart* cart, int32_t dest, int32_t value, int32_t len) {
    if (len < 1 || len > vexel_memop_max_len) return;
    for (int64_t i = 0; i < len; ++i) {
        int64_t d = int64_t(dest) + i;
        if (d < 0 || d >= int64_t(vexel_mem_size)) {
            bad_access(machine);
            continue;
        }
        vexel_poke(machine, cart, int32_t(d), value);
    }
}

namespace {
// The address i bytes on, wrapping rather than overflowing (a wrapped
// address is out of range like any other).
int32_t next_addr(int32_t addr, int i) { return int32_t(uint32_t(addr) + uint32_t(i)); }
}  // namespace

int16_t vexel_peek16(const vexel_machine* machine, const vexel_cart* cart, int32_t addr) {
    return int16_t(uint16_t(vexel_peek(machine, cart, addr) | vexel_peek(machine, cart, next_addr(addr, 1)) << 8));
}

int32_t vexel_peek32(const vexel_machine* machine, const vexel_cart* cart, int32_t addr) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | uint32_t(vexel_peek(machine, cart, next_addr(addr, i)));
    return int32_t(v);
}

void vexel_poke16(vexel_machine* machine, vexel_cart* cart, int32_t addr, int32_t value) {
    vexel_poke(machine, cart, addr, value);
    vexel_poke(machine, cart, next_addr(addr, 1), value >> 8);
}

void vexel_poke32(vexel_machine* machine, vexel_cart* cart, int32_t addr, int32_t value) {
    for (int i = 0; i < 4; ++i) vexel_poke(machine, cart, next_addr(addr, i), int32_t(uint32_t(value) >> (8 * i)));
}

int vexel_gpio_read(const vexel_machine* machine, int32_t pin) {
    if (!machine || pin < 0 || pin >= vexel_gpio_pins) return 0;
    return machine->ram[vexel_addr_gpio + uint32_t(pin)];
}

void vexel_gpio_write(vexel_machine* machine, int32_t pin, int32_t value) {
    if (!machine || pin < 0 || pin >= vexel_gpio_pins) return;
    machine->ram[vexel_addr_gpio + uint32_t(pin)] = uint8_t(value & 0xff);
}

void vexel_reset_draw_state(vexel_machine* m) {
    if (!m) return;
    for (int i = 0; i < 16; ++i) {
        m->draw_pal[i] = i;
        m->screen_pal[i] = i;
    }
    m->draw_pal[0] = vexel_pal_transparent;
    m->clip_x0 = 0;
    m->clip_y0 = 0;
    m->clip_x1 = vexel_screen_w;
    m->clip_y1 = vexel_screen_h;
    apply_clip(m);
    m->pen_col = vexel_default_pen_col;
    m->cursor_x = 0;
    m->camera_x = 0;
    m->camera_y = 0;
    m->screen_mode = 0;
    m->fill_pattern = 0;
    // tline's map window lives in ram bytes only: a program starts with the
    // whole map, not with what the previous one left.
    for (uint32_t a = vexel_reg_tline_wrap_w; a <= vexel_reg_tline_offset_y; ++a) m->ram[a] = 0;
    // Likewise btnp's repeat timing: a program that turned repeats off must
    // not leave the next one without them.
    m->ram[vexel_reg_btnp_delay] = 0;
    m->ram[vexel_reg_btnp_interval] = 0;
    clear_audio_fx(m);
}

void vexel_mem_stop(vexel_machine* m, bool program_was_active) {
    if (!m) return;
    if (program_was_active) {
        if (m->ram[vexel_reg_keep_screen_pal] != 1)
            for (int i = 0; i < 16; ++i) m->screen_pal[i] = i;
        if (m->ram[vexel_reg_keep_audio_fx] == 0) clear_audio_fx(m);
    }
    m->saved_camera_x = m->camera_x;
    m->saved_camera_y = m->camera_y;
    m->camera_x = 0;
    m->camera_y = 0;
    fenn_clear_clip(m->screen);
    m->cursor_x = 0;
    m->cursor_y = std::clamp(m->cursor_y, 0, vexel_stop_cursor_y_max);
}

void vexel_mem_resume(vexel_machine* m) {
    if (!m) return;
    m->camera_x = m->saved_camera_x;
    m->camera_y = m->saved_camera_y;
    apply_clip(m);
}

