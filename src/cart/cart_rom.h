// cart_rom: the cartridge record seen as the 17 KiB of ROM a program sees
// at 0x0000-0x42ff: sprite sheet, map, flags, music and sound effects as
// bytes, decoded from and into the record's fields.
//
// Invariants: reads give 0-255 and never fail (addresses at or above the
// ROM give 0, a record without a sheet or map reads 0 there); writes never
// touch anything outside the record; sprite-sheet pixels written are 0-15;
// sound fields, which the mixer thread reads without a lock, are stored
// whole as relaxed atomic 32-bit words.
#pragma once
#include <cstdint>

#include "cart/cart.h"

// Region boundaries of the ROM (and of machine memory, which starts with it).
constexpr uint32_t vexel_addr_gfx = 0x0000;
constexpr uint32_t vexel_addr_shared = 0x1000;     // sprite rows 64-127 = map rows 32-63
constexpr uint32_t vexel_addr_map = 0x2000;
constexpr uint32_t vexel_addr_flags = 0x3000;
constexpr uint32_t vexel_addr_music = 0x3100;
constexpr uint32_t vexel_addr_sfx = 0x3200;
constexpr uint32_t vexel_sfx_bytes = 68;            // per sound effect

// Byte at ROM address a of the record (null: 0).
int vexel_cart_peek(const vexel_cart* cart, uint32_t a);
// Writes value & 0xff at ROM address a; addresses past the ROM are ignored.
void vexel_cart_poke(vexel_cart* cart, uint32_t a, int value);

// A 32-bit field the mixer thread may read, stored whole.
void vexel_cart_store_word(int32_t& field, int32_t value);

// Pixels of an 8-bit bitmap as memory bytes: byte offset a holds pixels 2a
// (low nibble, left) and 2a + 1 of the pixel array.
int vexel_read_pixel_pair(const fenn_bitmap* bmp, uint32_t offset);
void vexel_write_pixel_pair(fenn_bitmap* bmp, uint32_t offset, int value);

// The shared half: map rows 32-63 and sprite sheet rows 64-127 are the same
// 4 KiB seen two ways — map cell (x, y) for y >= 32 is the byte at ROM
// address y * 128 + x, sheet pixels (2x', y') and (2x' + 1, y') of that
// byte. The record keeps both views; the writes below and vexel_cart_poke
// are the one place that keeps them in step, and every writer of pixels or
// cells (the program's sset/mset, the editors) goes through them.
//
// A sheet pixel (0-127, 0-127; colour & 15) or a map cell (0-127, 0-63;
// value & 0xff), written in both views. Outside the sheet or map: ignored.
void vexel_cart_set_pixel(vexel_cart* cart, int x, int y, int colour);
void vexel_cart_set_cell(vexel_cart* cart, int x, int y, int value);
// Map row y (0-63) as vexel_cart_peek reads its 128 cells, into out: the
// layout is looked up once for the row instead of once per cell (the map
// editor redraws whole rows). A row outside the map reads as zeros.
void vexel_cart_map_row(const vexel_cart* cart, int y, uint8_t* out);
// The ROM address of a map cell (inside the map).
constexpr uint32_t vexel_map_cell_addr(int x, int y) {
    return y < 32 ? vexel_addr_map + uint32_t(y) * 128u + uint32_t(x)
                  : vexel_addr_shared + uint32_t(y - 32) * 128u + uint32_t(x);
}
// The ROM address of the byte holding a sheet pixel.
constexpr uint32_t vexel_sheet_pixel_addr(int x, int y) { return vexel_addr_gfx + uint32_t(y) * 64u + uint32_t(x) / 2u; }

// These copy one whole view into the other;
// vexel_cart_sync_shared_half picks the direction as a freshly loaded
// cartridge needs it (map wins when any of its rows 32-63 is non-zero).
void vexel_cart_sync_shared_to_map(vexel_cart* cart);
void vexel_cart_sync_shared_to_gfx(vexel_cart* cart);
void vexel_cart_sync_shared_half(vexel_cart* cart);
