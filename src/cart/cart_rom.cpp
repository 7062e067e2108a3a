#include "cart/cart_rom.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

constexpr int sheet_w = 128;
constexpr int map_w = 128;
constexpr int map_h = 64;
constexpr int shared_map_row = 32;      // first map row that mirrors the sheet
constexpr int32_t instrument_on = 128;  // how a decoded note marks its flag bit

// The mixer reads these fields on its own thread while the main thread
// writes them, so each store is one whole relaxed atomic word.
void store_shared(int32_t& field, int32_t value) {
#if defined(__cpp_lib_atomic_ref)
    std::atomic_ref<int32_t>(field).store(value, std::memory_order_relaxed);
#else
    __atomic_store_n(&field, value, __ATOMIC_RELAXED);   // libraries without atomic_ref (the web build's)
#endif
}

bool has_sheet(const vexel_cart* cart) {
    return cart && cart->gfx && cart->gfx->depth == 8 && cart->gfx->pix.size() >= size_t(sheet_w) * sheet_w;
}
bool has_map(const vexel_cart* cart) {
    return cart && cart->map && cart->map->depth == 8 && cart->map->pix.size() >= size_t(map_w) * map_h;
}

}  // namespace

// Two pixels per byte, 64 bytes per 128-pixel row.
int vexel_read_pixel_pair(const fenn_bitmap* bmp, uint32_t offset) {
    const uint8_t* p = bmp->pix.data() + offset * 2;
    return (p[0] & 0x0f) | (p[1] & 0x0f) << 4;
}
void vexel_write_pixel_pair(fenn_bitmap* bmp, uint32_t offset, int value) {
    uint8_t* p = bmp->pix.data() + offset * 2;
    p[0] = uint8_t(value & 0x0f);
    p[1] = uint8_t((value >> 4) & 0x0f);
}

namespace {

int read_sfx(const vexel_cart* cart, uint32_t offset) {
    const vexel_sfx_record& rec = cart->sfx[offset / vexel_sfx_bytes];
    uint32_t b = offset % vexel_sfx_bytes;
    switch (b) {
        case 64: return rec.editor_byte & 0xff;
        case 65: return rec.speed & 0xff;
        case 66: return rec.loop_start & 0xff;
        case 67: return rec.loop_end & 0xff;
        default: break;
    }
    const vexel_sfx_note& n = rec.notes[b / 2];
    if (b % 2 == 0) return (n.pitch & 0x3f) | (n.waveform & 3) << 6;
    return ((n.waveform >> 2) & 1) | (n.volume & 7) << 1 | (n.effect & 7) << 4 | (n.instrument ? 0x80 : 0);
}

void write_sfx(vexel_cart* cart, uint32_t offset, int value) {
    vexel_sfx_record& rec = cart->sfx[offset / vexel_sfx_bytes];
    uint32_t b = offset % vexel_sfx_bytes;
    switch (b) {
        case 64: store_shared(rec.editor_byte, value); return;
        case 65: store_shared(rec.speed, value); return;
        case 66: store_shared(rec.loop_start, value); return;
        case 67: store_shared(rec.loop_end, value); return;
        default: break;
    }
    vexel_sfx_note& n = rec.notes[b / 2];
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

}  // namespace

void vexel_cart_store_word(int32_t& field, int32_t value) { store_shared(field, value); }

int vexel_cart_peek(const vexel_cart* cart, uint32_t a) {
    if (a >= uint32_t(vexel_rom_size)) return 0;
    if (a < vexel_addr_map) return has_sheet(cart) ? vexel_read_pixel_pair(cart->gfx, a) : 0;
    if (a < vexel_addr_flags) return has_map(cart) ? cart->map->pix[a - vexel_addr_map] : 0;
    if (!cart) return 0;
    if (a < vexel_addr_music) return cart->flags[a - vexel_addr_flags] & 0xff;
    if (a < vexel_addr_sfx) return read_music(cart, a - vexel_addr_music);
    return read_sfx(cart, a - vexel_addr_sfx);
}

void vexel_cart_map_row(const vexel_cart* cart, int y, uint8_t* out) {
    constexpr size_t row = size_t(map_w);
    if (y < 0 || y >= map_h) {
        std::memset(out, 0, row);
        return;
    }
    const uint32_t a = vexel_map_cell_addr(0, y);
    if (a < vexel_addr_map) {  // the shared half: read from the sheet, as peek does
        if (!has_sheet(cart)) {
            std::memset(out, 0, row);
            return;
        }
        for (size_t x = 0; x < row; ++x) out[x] = uint8_t(vexel_read_pixel_pair(cart->gfx, a + uint32_t(x)));
        return;
    }
    if (!has_map(cart)) {
        std::memset(out, 0, row);
        return;
    }
    std::memcpy(out, cart->map->pix.data() + (a - vexel_addr_map), row);
}

void vexel_cart_poke(vexel_cart* cart, uint32_t a, int value) {
    if (a >= uint32_t(vexel_rom_size)) return;
    value &= 0xff;
    if (a < vexel_addr_map) {
        if (has_sheet(cart)) vexel_write_pixel_pair(cart->gfx, a, value);
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


void vexel_cart_set_pixel(vexel_cart* cart, int x, int y, int colour) {
    if (!has_sheet(cart) || x < 0 || y < 0 || x >= sheet_w || y >= sheet_w) return;
    cart->gfx->pix[size_t(y) * size_t(sheet_w) + size_t(x)] = uint8_t(colour & 15);
    const uint32_t a = vexel_sheet_pixel_addr(x, y);
    if (a >= vexel_addr_shared && has_map(cart)) cart->map->pix[a] = uint8_t(vexel_read_pixel_pair(cart->gfx, a));
}

void vexel_cart_set_cell(vexel_cart* cart, int x, int y, int value) {
    if (!has_map(cart) || x < 0 || y < 0 || x >= map_w || y >= map_h) return;
    const uint8_t v = uint8_t(value & 0xff);
    cart->map->pix[size_t(y) * size_t(map_w) + size_t(x)] = v;
    const uint32_t a = vexel_map_cell_addr(x, y);
    if (a < vexel_addr_map && has_sheet(cart)) vexel_write_pixel_pair(cart->gfx, a, v);
}

void vexel_cart_sync_shared_to_map(vexel_cart* cart) {
    if (!has_sheet(cart) || !has_map(cart)) return;
    for (uint32_t a = vexel_addr_shared; a < vexel_addr_map; ++a)
        cart->map->pix[a] = uint8_t(vexel_read_pixel_pair(cart->gfx, a));
}

void vexel_cart_sync_shared_to_gfx(vexel_cart* cart) {
    if (!has_sheet(cart) || !has_map(cart)) return;
    for (uint32_t a = vexel_addr_shared; a < vexel_addr_map; ++a) vexel_write_pixel_pair(cart->gfx, a, cart->map->pix[a]);
}

void vexel_cart_sync_shared_half(vexel_cart* cart) {
    if (!has_sheet(cart) || !has_map(cart)) return;
    const uint8_t* rows = cart->map->pix.data() + shared_map_row * map_w;
    bool map_has_data = std::any_of(rows, rows + (map_h - shared_map_row) * map_w, [](uint8_t c) { return c != 0; });
    if (map_has_data) vexel_cart_sync_shared_to_gfx(cart);
    else vexel_cart_sync_shared_to_map(cart);
}

