#include "machine/mem.h"

#include <algorithm>
#include <atomic>

#include "machine/error.h"

namespace {

constexpr int sheet_w = 128;
constexpr int map_w = 128;
constexpr int map_h = 64;
constexpr int shared_map_row = 32;      // first map row that mirrors the sheet
constexpr int32_t instrument_on = 128;  // how a decoded note marks its flag bit

// The mixer reads these fields on its own thread while the main thread
// writes them, so each store is one whole relaxed atomic word.
void store_shared(int32_t& field, int32_t value) {
    std::atomic_ref<int32_t>(field).store(value, std::memory_order_relaxed);
}

bool has_sheet(const vexel_cart* cart) {
    return cart && cart->gfx && cart->gfx->depth == 8 && cart->gfx->pix.size() >= size_t(sheet_w) * sheet_w;
}
bool has_map(const vexel_cart* cart) {
    return cart && cart->map && cart->map->depth == 8 && cart->map->pix.size() >= size_t(map_w) * map_h;
}
bool has_screen(const vexel_pstate* m) {
    return m && m->screen && m->screen->depth == 8 &&
           m->screen->pix.size() >= size_t(vexel_screen_w) * vexel_screen_h;
}

// Two pixels per byte, 64 bytes per 128-pixel row: byte offset a holds
// pixels 2a (low nibble, left) and 2a + 1 of the bitmap's pixel array.
int read_pixel_pair(const fenn_bitmap* bmp, uint32_t offset) {
    const uint8_t* p = bmp->pix.data() + offset * 2;
    return (p[0] & 0x0f) | (p[1] & 0x0f) << 4;
}
void write_pixel_pair(fenn_bitmap* bmp, uint32_t offset, int value) {
    uint8_t* p = bmp->pix.data() + offset * 2;
    p[0] = uint8_t(value & 0x0f);
    p[1] = uint8_t((value >> 4) & 0x0f);
}

int read_sfx(const vexel_cart* cart, uint32_t offset) {
    const sfx_record& rec = cart->sfx[offset / vexel_sfx_bytes];
    uint32_t b = offset % vexel_sfx_bytes;
    switch (b) {
        case 64: return rec.editor_byte & 0xff;
        case 65: return rec.speed & 0xff;
        case 66: return rec.loop_start & 0xff;
        case 67: return rec.loop_end & 0xff;
        default: break;
    }
    const sfx_note& n = rec.notes[b / 2];
    if (b % 2 == 0) return (n.pitch & 0x3f) | (n.waveform & 3) << 6;
    return ((n.waveform >> 2) & 1) | (n.volume & 7) << 1 | (n.effect & 7) << 4 | (n.instrument ? 0x80 : 0);
}

void write_sfx(vexel_cart* cart, uint32_t offset, int value) {
    sfx_record& rec = cart->sfx[offset / vexel_sfx_bytes];
    uint32_t b = offset % vexel_sfx_bytes;
    switch (b) {
        case 64: store_shared(rec.editor_byte, value); return;
        case 65: store_shared(rec.speed, value); return;
        case 66: store_shared(rec.loop_start, value); return;
        case 67: store_shared(rec.loop_end, value); return;
        default: break;
    }
    sfx_note& n = rec.notes[b / 2];
    if (b % 2 == 0) {
        store_shared(n.pitch, value & 0x3f);
        store_shared(n.waveform, (n.waveform & 4) | (value >> 6));
    } else {
        store_shared(n.waveform, (n.waveform & 3) | (value & 1) << 2);
        store_shared(n.volume, (value >> 1) & 7);
        store_shared(n.effect, (value >> 4) & 7);
        store_shared(n.instrument, value & 0x80 ? instrument_on : 0);
    }
}

int read_music(const vexel_cart* cart, uint32_t offset) {
    uint32_t p = offset / 4, c = offset % 4;
    return (cart->music[p][c] & 0x7f) | ((cart->music_flags[p] >> c) & 1) << 7;
}

void write_music(vexel_cart* cart, uint32_t offset, int value) {
    uint32_t p = offset / 4, c = offset % 4;
    store_shared(cart->music[p][c], value & 0x7f);
    uint32_t flags = uint32_t(cart->music_flags[p]) & ~(1u << c);
    if (value & 0x80) flags |= 1u << c;
    store_shared(cart->music_flags[p], int32_t(flags));
}

int read_rom(const vexel_cart* cart, uint32_t a) {
    if (a < vexel_addr_map) return has_sheet(cart) ? read_pixel_pair(cart->gfx, a) : 0;
    if (a < vexel_addr_flags) return has_map(cart) ? cart->map->pix[a - vexel_addr_map] : 0;
    if (!cart) return 0;
    if (a < vexel_addr_music) return cart->flags[a - vexel_addr_flags] & 0xff;
    if (a < vexel_addr_sfx) return read_music(cart, a - vexel_addr_music);
    return read_sfx(cart, a - vexel_addr_sfx);
}

void write_rom(vexel_cart* cart, uint32_t a, int value) {
    if (a < vexel_addr_map) {
        if (has_sheet(cart)) write_pixel_pair(cart->gfx, a, value);
        // Map rows 32-63 are laid out byte for byte like this half of the
        // sheet, so the map cell index is the address itself.
        if (a >= vexel_addr_shared && has_map(cart)) cart->map->pix[a] = uint8_t(value);
        return;
    }
    if (a < vexel_addr_flags) {
        if (has_map(cart)) cart->map->pix[a - vexel_addr_map] = uint8_t(value);
        return;
    }
    if (!cart) return;
    if (a < vexel_addr_music) cart->flags[a - vexel_addr_flags] = value;
    else if (a < vexel_addr_sfx) write_music(cart, a - vexel_addr_music, value);
    else write_sfx(cart, a - vexel_addr_sfx, value);
}

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

void apply_clip(vexel_pstate* m) {
    fenn_set_clip(m->screen, m->clip_x0, m->clip_y0, m->clip_x1, m->clip_y1);
}

int read_register(const vexel_pstate* m, uint32_t a) {
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

void write_register(vexel_pstate* m, uint32_t a, int value) {
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

void bad_access(const vexel_pstate* machine) {
    if (machine) vexel_runtime_error("bad memory access");
}

void clear_audio_fx(vexel_pstate* m) {
    for (int i = 0; i < 4; ++i) {
        store_shared(m->audio_fx[i], 0);
        m->ram[vexel_reg_audio_fx + i] = 0;  // the register reads its ram byte
    }
}

}  // namespace

int vexel_peek(const vexel_pstate* machine, const vexel_cart* cart, int32_t addr) {
    uint32_t a = uint32_t(addr);
    if (a < vexel_addr_ram) return read_rom(cart, a);
    if (!machine || a >= vexel_mem_size) return 0;
    if (a >= vexel_addr_screen) return has_screen(machine) ? read_pixel_pair(machine->screen, a - vexel_addr_screen) : 0;
    if (a < vexel_addr_cart_data) return machine->ram[a];
    if (a < vexel_addr_draw_state) {
        uint32_t off = a - vexel_addr_cart_data;
        return byte_of(machine->cart_data[off / 4], int(off % 4));
    }
    if (a < vexel_addr_gpio) return read_register(machine, a);
    return gpio_read(machine, int32_t(a - vexel_addr_gpio));
}

void vexel_poke(vexel_pstate* machine, vexel_cart* cart, int32_t addr, int32_t value) {
    uint32_t a = uint32_t(addr);
    int v = value & 0xff;
    if (a >= vexel_mem_size) {
        bad_access(machine);
        return;
    }
    if (a < vexel_addr_ram) {
        if (machine) machine->ram[a] = uint8_t(v);
        write_rom(cart, a, v);
        return;
    }
    if (!machine) return;
    machine->ram[a] = uint8_t(v);
    if (a >= vexel_addr_screen) {
        if (has_screen(machine)) write_pixel_pair(machine->screen, a - vexel_addr_screen, v);
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
        gpio_write(machine, int32_t(a - vexel_addr_gpio), v);
    }
}

void vexel_memcpy(vexel_pstate* machine, vexel_cart* cart, int32_t dest, int32_t src, int32_t len) {
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

void vexel_memset(vexel_pstate* machine, vexel_cart* cart, int32_t dest, int32_t value, int32_t len) {
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

int gpio_read(const vexel_pstate* machine, int32_t pin) {
    if (!machine || pin < 0 || pin >= vexel_gpio_pins) return 0;
    return machine->ram[vexel_addr_gpio + uint32_t(pin)];
}

void gpio_write(vexel_pstate* machine, int32_t pin, int32_t value) {
    if (!machine || pin < 0 || pin >= vexel_gpio_pins) return;
    machine->ram[vexel_addr_gpio + uint32_t(pin)] = uint8_t(value & 0xff);
}

void gpio_open() {}
void gpio_close() {}

void sync_shared_gfx_to_map(vexel_cart* cart) {
    if (!has_sheet(cart) || !has_map(cart)) return;
    for (uint32_t a = vexel_addr_shared; a < vexel_addr_map; ++a)
        cart->map->pix[a] = uint8_t(read_pixel_pair(cart->gfx, a));
}

void sync_shared_map_to_gfx(vexel_cart* cart) {
    if (!has_sheet(cart) || !has_map(cart)) return;
    for (uint32_t a = vexel_addr_shared; a < vexel_addr_map; ++a) write_pixel_pair(cart->gfx, a, cart->map->pix[a]);
}

void vexel_sync_shared_half(vexel_cart* cart) {
    if (!has_sheet(cart) || !has_map(cart)) return;
    const uint8_t* rows = cart->map->pix.data() + shared_map_row * map_w;
    bool map_has_data = std::any_of(rows, rows + (map_h - shared_map_row) * map_w, [](uint8_t c) { return c != 0; });
    if (map_has_data) sync_shared_map_to_gfx(cart);
    else sync_shared_gfx_to_map(cart);
}

void vexel_reset_draw_state(vexel_pstate* m) {
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
    clear_audio_fx(m);
}

void vexel_mem_stop(vexel_pstate* m, bool program_was_active) {
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

void vexel_mem_resume(vexel_pstate* m) {
    if (!m) return;
    m->camera_x = m->saved_camera_x;
    m->camera_y = m->saved_camera_y;
    apply_clip(m);
}

void vexel_mem_forget_cart(vexel_cart* cart) {
    if (cart && pstate.cart == cart) pstate.cart = nullptr;
}
