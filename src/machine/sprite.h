// sprite: sprites, the tile map and the sprite flags of the current
// cartridge (m->cart), drawn onto the machine screen.
//
// Script-level calls take raw 16.16 arguments and `argc` (the number of
// arguments the script gave; missing ones passed as 0), exactly as the
// drawing calls of machine/gfx do. Flip and layer truth values arrive as
// bool. Each call charges the CPU budget itself.
//
// Invariants: sheet pixels written are 0-15; sprite-sheet rows 64-127 and map
// rows 32-63 are one store seen two ways, and every write here (sset, mset)
// updates both sides; nothing reads or writes outside the sheet (128x128),
// the map (128x64), the flags (256) or the screen clip, whatever the
// arguments; no call allocates.
#pragma once
#include <cstdint>

#include "machine/gfx.h"

constexpr int vexel_sheet_size = 128;   // sprite sheet is 128x128 pixels
constexpr int vexel_map_w = 128;
constexpr int vexel_map_h = 64;
constexpr int vexel_sprite_count = 256;
constexpr int vexel_map_default_w = 128;  // cells drawn by map() with fewer than 5 arguments
constexpr int vexel_map_default_h = 32;
constexpr vexel_fix vexel_tline_default_step = vexel_fix_one / 8;  // one sheet pixel along x

// Whether map() may use the host's vector instructions (SSSE3 on x86-64),
// where they exist: true from the start when the host has them. Tests turn
// it off to check the portable path, which the web build always takes.
extern bool vexel_blit_vector;

void vexel_spr(vexel_machine* m, int argc, vexel_fix n, vexel_fix x, vexel_fix y, vexel_fix w, vexel_fix h, bool flip_x, bool flip_y);
void vexel_sspr(vexel_machine* m, int argc, vexel_fix sx, vexel_fix sy, vexel_fix sw, vexel_fix sh, vexel_fix dx, vexel_fix dy,
                vexel_fix dw, vexel_fix dh, bool flip_x, bool flip_y);
int32_t vexel_sget(vexel_machine* m, int argc, vexel_fix x, vexel_fix y);
void vexel_sset(vexel_machine* m, int argc, vexel_fix x, vexel_fix y, vexel_fix c);
int32_t vexel_mget(vexel_machine* m, int argc, vexel_fix x, vexel_fix y);
void vexel_mset(vexel_machine* m, int argc, vexel_fix x, vexel_fix y, vexel_fix v);

// fget gives no result, a number or a boolean depending on its arguments.
struct vexel_fget_result {
    enum Kind { none, number, boolean } kind = none;
    int32_t value = 0;  // the flag byte (number) or 0/1 (boolean)
};
vexel_fget_result vexel_fget(vexel_machine* m, int argc, vexel_fix n, vexel_fix f);
void vexel_fset(vexel_machine* m, int argc, vexel_fix n, vexel_fix f, bool v);

// map and mapdraw.
void vexel_map(vexel_machine* m, int argc, vexel_fix cx, vexel_fix cy, vexel_fix sx, vexel_fix sy, vexel_fix cw, vexel_fix ch,
               vexel_fix layer);

// tline: a line textured from the map. It walks the pixels of line's walk
// (vexel_line_walk_of: same pixels, camera and clip) in order from (x0, y0),
// one pixel for a line of one point. Pixel i takes its colour at map
// position (mx + i*mdx, my + i*mdy), all raw 16.16 values added with 32-bit
// wraparound; mdx is 1/8 when fewer than 7 arguments are given, mdy 0 when
// fewer than 8. A position (u, v) names
//     cell x = (flr(u) AND (wrap_w - 1) when wrap_w != 0, else flr(u)) + offset_x
//     cell y = (flr(v) AND (wrap_h - 1) when wrap_h != 0, else flr(v)) + offset_y
// with wrap_w, wrap_h, offset_x, offset_y the bytes at 0x5f38-0x5f3b
// (machine/mem.h), and pixel (flr(8u) mod 8, flr(8v) mod 8) of the sprite in
// that cell. Nothing is drawn for a cell outside the 128x64 map, for sprite
// 0, or, when layers is non-zero, for a sprite whose flags lack any bit of
// layers; the colour then goes through the draw palette, where a
// transparent entry draws nothing (as map does; the fill pattern is not
// used). Charged as line: the walk's count / 2 + 1.
void vexel_tline(vexel_machine* m, int argc, vexel_fix x0, vexel_fix y0, vexel_fix x1, vexel_fix y1, vexel_fix mx,
                 vexel_fix my, vexel_fix mdx, vexel_fix mdy, vexel_fix layers);
