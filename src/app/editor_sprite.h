// editor_sprite: the edit operations of the sprite editor, on a cartridge
// record and without drawing, so that they can be tested and reused.
//
// Every operation reads and writes sheet pixels through editor_sget and
// editor_sset, i.e. as bytes the way poke writes them: a pixel of sprites
// 128-255 is also a nibble of a map cell of the map's lower half. Each one
// takes the area it may touch (the part of the sheet the editor shows) and
// writes nothing outside it nor outside the sheet.
//
// The shape tools come in two forms: one that writes the cartridge and one
// that hands each pixel to a callback (the editor draws its previews with
// the latter, without allocating).
#pragma once
#include <cstdlib>
#include <string>
#include <utility>

#include "app/editor.h"

struct vexel_cart;

constexpr int editor_sprite_sheet_px = 128;   // the sheet is 128 x 128 pixels
constexpr int editor_sprite_count = 256;
constexpr int editor_sprite_flag_count = 8;
// The clipboard text: "[gfx]WWHH" (width and height, two hex digits each),
// one hex digit a pixel row after row (white space between digits is
// allowed), then "[/gfx]".
constexpr int editor_sprite_clip_max_side = editor_sprite_sheet_px;
// Text longer than this cannot be a sheet's worth of pixels even with a
// line break after every pixel; it is rejected before it is looked at.
constexpr size_t editor_sprite_clip_max_text = 4u * editor_sprite_sheet_px * editor_sprite_sheet_px + 64u;

// Where the parts of the body lie on the screen (machine pixels).
constexpr int editor_sprite_canvas_x = 2, editor_sprite_canvas_y = 10, editor_sprite_canvas_px = 64;
constexpr int editor_sprite_palette_x = 70, editor_sprite_palette_y = 10, editor_sprite_swatch_px = 8;
constexpr int editor_sprite_flags_x = 70, editor_sprite_flags_y = 45, editor_sprite_flag_step = 7;
constexpr int editor_sprite_tools_x = 70, editor_sprite_tools_y = 53, editor_sprite_tool_step = 8;
constexpr int editor_sprite_zoom_x = 70, editor_sprite_zoom_y = 63, editor_sprite_zoom_step = 15;
constexpr int editor_sprite_bank_x = 1, editor_sprite_bank_y = 77, editor_sprite_bank_step = 12;
constexpr int editor_sprite_strip_x = 0, editor_sprite_strip_y = 85;

// Puts the editor as it first opens: 1x1 zoom, pencil, colours 7 and 0,
// nothing selected, no memory of the sheet it last left.
void editor_sprite_reset_view();

// A rectangle of sheet pixels; w or h of 0 is empty.
struct editor_sprite_rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
    bool empty() const { return w <= 0 || h <= 0; }
};

// The rectangle with corners (x0, y0) and (x1, y1), inclusive, in any order.
editor_sprite_rect editor_sprite_span(int x0, int y0, int x1, int y1);
// a cut down to b.
editor_sprite_rect editor_sprite_clip(editor_sprite_rect a, editor_sprite_rect b);
// The sheet area of sprite n shown at size x size sprites, cut at the
// sheet's right and bottom edges.
editor_sprite_rect editor_sprite_area(int n, int size);

// Pixels of a line from (x0, y0) to (x1, y1), both ends included.
// The same pixels whichever end comes first.
template <class Plot>
void editor_sprite_line_pixels(int x0, int y0, int x1, int y1, Plot plot) {
    if (x1 < x0 || (x1 == x0 && y1 < y0)) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        plot(x0, y0);
        if (x0 == x1 && y0 == y1) return;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

// Pixels of the rectangle with corners (x0, y0), (x1, y1): its outline, or
// every pixel inside too when filled.
template <class Plot>
void editor_sprite_rect_pixels(int x0, int y0, int x1, int y1, bool filled, Plot plot) {
    const editor_sprite_rect r = editor_sprite_span(x0, y0, x1, y1);
    for (int y = r.y; y < r.y + r.h; ++y)
        for (int x = r.x; x < r.x + r.w; ++x)
            if (filled || y == r.y || y == r.y + r.h - 1 || x == r.x || x == r.x + r.w - 1) plot(x, y);
}

// Pixels of the ellipse that fits the box with corners (x0, y0), (x1, y1)
// and touches all four of its sides; filled adds the inside. Boxes of even
// width or height give a shape symmetric about the box's centre, which a
// centre-and-radius ellipse cannot. A pixel may be handed over twice.
template <class Plot>
void editor_sprite_ellipse_pixels(int x0, int y0, int x1, int y1, bool filled, Plot plot) {
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    auto span = [&](int xa, int xb, int y) {
        if (filled)
            for (int x = xa; x <= xb; ++x) plot(x, y);
        else {
            plot(xa, y);
            plot(xb, y);
        }
    };
    // Midpoint stepping from the left and right ends of the middle row(s)
    // towards the top and bottom, with the error kept in integers scaled by
    // 8a^2 and 8b^2 (a, b the box's width and height less one).
    long long a = x1 - x0, b = y1 - y0;
    const long long b1 = b & 1;
    long long dx = 4 * (1 - a) * b * b, dy = 4 * (b1 + 1) * a * a;
    long long err = dx + dy + b1 * a * a;
    int ya = y0 + int((b + 1) / 2), yb = ya - int(b1);
    const long long aa8 = 8 * a * a, bb8 = 8 * b * b;
    int xa = x0, xb = x1;
    do {
        span(xa, xb, ya);
        span(xa, xb, yb);
        const long long e2 = 2 * err;
        if (e2 <= dy) {
            ++ya;
            --yb;
            dy += aa8;
            err += dy;
        }
        if (e2 >= dx || 2 * err > dy) {
            ++xa;
            --xb;
            dx += bb8;
            err += dx;
        }
    } while (xa <= xb);
    // A flat ellipse (width of one or two) stops before its top and
    // bottom rows: finish its tips (never past the box: rows yb..ya span
    // at most b + 1).
    while (ya - yb <= b) {
        span(xa - 1, xb + 1, ya++);
        span(xa - 1, xb + 1, yb--);
    }
}

// ---- edits on the record -----------------------------------------------------
// Each returns how many pixels changed colour (0: nothing to undo).

// Flood fill from (x, y) over the 4-connected pixels of its colour inside area.
int editor_sprite_fill(vexel_cart* cart, editor_sprite_rect area, int x, int y, int colour);
int editor_sprite_line(vexel_cart* cart, editor_sprite_rect area, int x0, int y0, int x1, int y1, int colour);
int editor_sprite_box(vexel_cart* cart, editor_sprite_rect area, int x0, int y0, int x1, int y1, int colour, bool filled);
int editor_sprite_ellipse(vexel_cart* cart, editor_sprite_rect area, int x0, int y0, int x1, int y1, int colour,
                          bool filled);
// Mirrors the pixels of r left to right (horizontal) or top to bottom.
int editor_sprite_flip(vexel_cart* cart, editor_sprite_rect r, bool horizontal);
// Turns the pixels of a square r a quarter clockwise; false (nothing
// changed) when r is not square or not inside the sheet.
bool editor_sprite_rotate(vexel_cart* cart, editor_sprite_rect r);

// ---- clipboard text -----------------------------------------------------------

// The pixels of r (cut to the sheet) as clipboard text; "" when empty.
std::string editor_sprite_copy_text(const vexel_cart* cart, editor_sprite_rect r);

// The outcome of reading clipboard text.
enum editor_sprite_paste_status {
    editor_sprite_paste_ok = 0,
    editor_sprite_paste_not_gfx,    // not of the form at all (no "[gfx]" start)
    editor_sprite_paste_too_long,
    editor_sprite_paste_bad_size,   // size digits missing, not hex, 0 or over the sheet
    editor_sprite_paste_bad_pixel,  // a character that is not a hex digit
    editor_sprite_paste_wrong_count,  // more or fewer pixels than the size says
    editor_sprite_paste_no_end,     // "[/gfx]" missing, or text after it
};
const char* editor_sprite_paste_status_text(editor_sprite_paste_status status);

// Reads clipboard text and, only when all of it is well formed, writes its
// pixels with their top-left at (x, y), cut to the sheet; *pasted (may be
// null) receives the sheet rectangle written.
editor_sprite_paste_status editor_sprite_paste_text(vexel_cart* cart, const std::string& text, int x, int y,
                                                   editor_sprite_rect* pasted);
