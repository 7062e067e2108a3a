// gfx: the draw state and the drawing primitives of the machine screen.
//
// Two layers live here:
//  - Bitmap-level primitives (vexel_draw_line, vexel_draw_circle, vexel_draw_fillcircle,
//    vexel_draw_oval, vexel_draw_filloval, vexel_draw_span, vexel_plot) work in screen coordinates on any 8-bit bitmap,
//    honour its clip rectangle and take a draw colour byte: low nibble the
//    primary colour, high nibble the secondary colour of the fill pattern.
//  - Script-level calls (vexel_cls ... vexel_fillp) act on a machine's screen
//    and draw state. They take their arguments exactly as a script passed them: raw
//    16.16 fixed-point values (vexel_fix) plus `argc`, the number of
//    arguments actually given, because several defaults depend on which
//    arguments are missing rather than on their values. A missing argument
//    must be passed as 0. Truth values arrive already converted to bool.
//    These calls apply the camera, the draw palette and the fill pattern,
//    update pen_col as the script rules say, and charge the CPU budget
//    (spend_cpu) themselves; a binding only moves arguments in and results
//    out.
//
// Invariants: every pixel written is 0-15; no call writes outside the
// bitmap's clip rectangle (which fenn_bitmap keeps inside the bitmap); no
// argument value, however large or negative, makes a call read or write out
// of bounds or loop for longer than the clipped area requires (lines and
// circles walk at most a few hundred thousand steps at the extremes).
#pragma once
#include <cstdint>

#include "framework/fenn_bitmap.h"

struct vexel_machine;

using vexel_fix = int32_t;  // raw 16.16 fixed-point value as a script holds it

constexpr vexel_fix vexel_fix_one = 0x10000;
constexpr int32_t vexel_cls_charge = 1024;
constexpr int32_t vexel_clip_charge = 16;
constexpr int32_t vexel_default_circle_radius = 4;

// Every drawing charge goes through vexel_charge: it passes the cycles to
// the runner (spend_cpu, which charges at least 1) and adds what was charged
// to the machine's draw_cycles, a running total that diagnostics and tests
// read.
void vexel_charge(vexel_machine* m, int32_t cycles);

// floor() of a fixed-point value: its integer part, rounding toward minus
// infinity.
constexpr int32_t vexel_flr(vexel_fix v) { return v >> 16; }

// Fill-pattern state as the primitives need it: the 16 pattern bits and
// whether their 1 bits are transparent.
struct vexel_pattern {
    uint32_t bits = 0;         // bit 15 top-left of each 4x4 cell, bit 0 bottom-right
    bool transparent = false;  // 1 bits draw nothing instead of the secondary colour
};

// The machine's current pattern (fill_pattern bits 0-16).
vexel_pattern vexel_current_pattern(vexel_machine* m);

// The draw colour byte for colour c through the draw palette: low nibble
// draw_pal[c & 15] & 15, high nibble draw_pal[(c >> 4) & 15] & 15.
uint8_t vexel_draw_colour(vexel_machine* m, int32_t c);

// ---- bitmap-level primitives (screen coordinates, clip honoured) --------

// One pixel by the plot rule.
void vexel_plot(fenn_bitmap* bmp, int32_t x, int32_t y, uint8_t colour, vexel_pattern pat);
// One row from min(xa, xb) to max(xa, xb), inclusive, by the span rule.
void vexel_draw_span(fenn_bitmap* bmp, int32_t y, int32_t xa, int32_t xb, uint8_t colour, vexel_pattern pat);
// The 16.16 walk of a line from (x0, y0) to (x1, y1), the one pixel path
// every line-shaped call shares. Step i (0 <= i <= steps) is the pixel
// ((x_start + i * step_x) >> 16, (y_start + i * step_y) >> 16); the steps
// lo..hi are exactly those inside the clip (none when hi < lo). The walk
// runs from the end with the smaller y, so when `reversed` is set step i is
// step steps - i counted from (x0, y0). A line of one point has steps 1 and
// both steps on that point. `count` prices the call: the steps left after
// the clip skips, 0 when the line misses the clip.
struct vexel_line_walk {
    int64_t x_start = 0, y_start = 0, step_x = 0, step_y = 0;
    int64_t steps = 0, lo = 0, hi = -1;
    bool reversed = false;
    int32_t count = 0;
};
vexel_line_walk vexel_line_walk_of(const fenn_bitmap* bmp, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Plots the pixels of the walk above that lie inside the clip (only those
// are stepped through). Returns the walk's count.
int32_t vexel_draw_line(fenn_bitmap* bmp, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t colour,
                  vexel_pattern pat);
// Midpoint outline and filled circles; a negative radius draws nothing.
void vexel_draw_circle(fenn_bitmap* bmp, int32_t cx, int32_t cy, int32_t r, uint8_t colour, vexel_pattern pat);
void vexel_draw_fillcircle(fenn_bitmap* bmp, int32_t cx, int32_t cy, int32_t r, uint8_t colour, vexel_pattern pat);
// The oval inscribed in the box x0..x1, y0..y1 (inclusive, corners in any
// order). With A = |x1 - x0| and B = |y1 - y0|, pixel (x, y) of the box sits
// u = 2x - x0 - x1, v = 2y - y0 - y1 half pixels from the centre and belongs
// to the filled oval when u^2 (B+1)^2 + v^2 (A+1)^2 <= (A+1)^2 (B+1)^2: the
// ellipse through the outer edges of the box's pixels. Every row is one span
// symmetric about the centre, widened where needed so that each row keeps
// its middle pixel(s) and the middle row(s) fill the box's width: the shape
// touches all four sides however thin it is, a box one pixel high or wide is
// a line and a 1x1 box a pixel. The rule is the same in u and v, so the
// shape is symmetric in both axes and the same turned on its side. The
// outline is the filled shape's pixels with a 4-neighbour outside it (an
// 8-connected ring). Spans follow the span rule; only rows inside the clip
// are visited, so any box costs at most a screen's height of rows.
void vexel_draw_oval(fenn_bitmap* bmp, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t colour, vexel_pattern pat);
void vexel_draw_filloval(fenn_bitmap* bmp, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t colour,
                         vexel_pattern pat);

// Darkens the rectangle x0..x1, y0..y1 (inclusive, cut to the bitmap but not
// to its clip) behind a menu. Fixed form: a constant colour table. Adaptive
// form: colours brighter than a threshold chosen from the rectangle's own
// pixels become 1, the rest 0, so about two thirds of the area turns 0;
// while the left shift key is held the fixed table is used instead.
void vexel_draw_tinted_rect(fenn_bitmap* bmp, int x0, int y0, int x1, int y1, bool adaptive);

// ---- script-level calls on a machine ---------------------------------------

void vexel_cls(vexel_machine* m, int argc, vexel_fix c);
void vexel_pset(vexel_machine* m, int argc, vexel_fix x, vexel_fix y, vexel_fix c);
int32_t vexel_pget(vexel_machine* m, int argc, vexel_fix x, vexel_fix y);
void vexel_line(vexel_machine* m, int argc, vexel_fix x0, vexel_fix y0, vexel_fix x1, vexel_fix y1, vexel_fix c);
void vexel_rect(vexel_machine* m, int argc, vexel_fix x0, vexel_fix y0, vexel_fix x1, vexel_fix y1, vexel_fix c);
void vexel_rectfill(vexel_machine* m, int argc, vexel_fix x0, vexel_fix y0, vexel_fix x1, vexel_fix y1, vexel_fix c);
void vexel_circ(vexel_machine* m, int argc, vexel_fix x, vexel_fix y, vexel_fix r, vexel_fix c);
void vexel_circfill(vexel_machine* m, int argc, vexel_fix x, vexel_fix y, vexel_fix r, vexel_fix c);
// oval and ovalfill take their box as rect does and charge as circ and
// circfill do for a circle of that box: the outline 2 per clipped row plus 2
// (nothing when the box misses the clip), the filled one twice half the
// larger side plus a 16th of the box's visible area.
void vexel_oval(vexel_machine* m, int argc, vexel_fix x0, vexel_fix y0, vexel_fix x1, vexel_fix y1, vexel_fix c);
void vexel_ovalfill(vexel_machine* m, int argc, vexel_fix x0, vexel_fix y0, vexel_fix x1, vexel_fix y1, vexel_fix c);
void vexel_clip(vexel_machine* m, int argc, vexel_fix x, vexel_fix y, vexel_fix w, vexel_fix h);
void vexel_camera(vexel_machine* m, int argc, vexel_fix x, vexel_fix y);
void vexel_pal(vexel_machine* m, int argc, vexel_fix c0, vexel_fix c1, vexel_fix p);
void vexel_palt(vexel_machine* m, int argc, vexel_fix c, bool transparent);
void vexel_color(vexel_machine* m, int argc, vexel_fix c);
void vexel_cursor(vexel_machine* m, int argc, vexel_fix x, vexel_fix y);
void vexel_fillp(vexel_machine* m, int argc, vexel_fix p);

// Sets the clip registers to the given values and applies them to the
// screen bitmap (cut to the screen).
void vexel_set_clip_registers(vexel_machine* m, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
