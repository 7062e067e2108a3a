// The editors' shared pieces: colours, input questions, drawing on the
// 8-bit page, and reading and writing sprite pixels, map cells and flags of
// a cartridge record as bytes, the way poke does.
#include <algorithm>

#include "app/editor.h"
#include "cart/cart.h"
#include "cart/cart_rom.h"
#include "framework/fenn_text.h"
#include "machine/machine.h"

namespace {

// Bar text is white on the red bars: dark purple on red could hardly be read.
constexpr editor_theme classic = {
    /*bar_bg*/ 8, /*bar_fg*/ 7, /*tab_bg*/ 8, /*tab_active_bg*/ 7, /*tab_active_fg*/ 8,
    /*body_bg*/ 1, /*text*/ 6, /*comment*/ 13, /*keyword*/ 12, /*number*/ 9, /*string*/ 11, /*api*/ 14,
    /*punct*/ 7, /*cursor*/ 8, /*selection*/ 2, /*status_bg*/ 8, /*status_fg*/ 7, /*warn*/ 10,
};
constexpr editor_theme dark = {
    8, 7, 8, 7, 8,
    0, 6, 5, 12, 9, 11, 14, 7, 8, 1, 8, 7, 10,
};

void put(fenn_bitmap* page, int x, int y, int colour) {
    if (page->depth != 8) return;
    if (x < page->clip_x0 || y < page->clip_y0 || x >= page->clip_x1 || y >= page->clip_y1) return;
    page->pix[size_t(y) * size_t(page->w) + size_t(x)] = uint8_t(colour & 15);
}

bool in_sheet(int x, int y) { return x >= 0 && y >= 0 && x < 128 && y < 128; }
bool in_map(int x, int y) { return x >= 0 && y >= 0 && x < 128 && y < 64; }

}  // namespace

const editor_theme& editor_theme_get(int gui_theme) { return gui_theme == 1 ? dark : classic; }

bool editor_pressed(const editor_input& in, int scancode) {
    return scancode >= 0 && scancode < fenn_key_count && in.pressed[scancode];
}

bool editor_ctrl_key(const editor_input& in, char letter) {
    if (!in.ctrl || letter < 'a' || letter > 'z') return false;
    return editor_pressed(in, 4 + (letter - 'a'));  // scancodes of A..Z are 4..29
}

void editor_fill(fenn_bitmap* page, int x0, int y0, int x1, int y1, int colour) {
    if (!page || page->depth != 8) return;
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    x0 = std::max(x0, page->clip_x0);
    y0 = std::max(y0, page->clip_y0);
    x1 = std::min(x1, page->clip_x1 - 1);
    y1 = std::min(y1, page->clip_y1 - 1);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) page->pix[size_t(y) * size_t(page->w) + size_t(x)] = uint8_t(colour & 15);
}

void editor_frame_rect(fenn_bitmap* page, int x0, int y0, int x1, int y1, int colour) {
    if (!page) return;
    editor_fill(page, x0, y0, x1, y0, colour);
    editor_fill(page, x0, y1, x1, y1, colour);
    editor_fill(page, x0, y0, x0, y1, colour);
    editor_fill(page, x1, y0, x1, y1, colour);
}

int editor_text(vexel_machine* m, fenn_bitmap* page, const char* text, int x, int y, int colour) {
    if (!page || !text) return x;
    int xl = x;
    fenn_draw_text_ex(page, text, m->console_font, x, y, fenn_text_single_colour, uint32_t(colour & 15), &xl);
    return xl;
}

int editor_text_width(vexel_machine* m, const char* text) {
    if (!text || !*text) return 0;
    return fenn_get_text_width(text, m->console_font) + fenn_font_spacing;
}

void editor_draw_sprite(vexel_machine* m, fenn_bitmap* page, int n, int w, int h, int x, int y, int scale) {
    if (!page || !m->working_cart || n < 0 || n > 255 || scale < 1) return;
    const int sx = (n % 16) * 8, sy = (n / 16) * 8;
    for (int py = 0; py < h * 8; ++py)
        for (int px = 0; px < w * 8; ++px) {
            const int c = editor_sget(m->working_cart, sx + px, sy + py);
            if (scale == 1) put(page, x + px, y + py, c);
            else editor_fill(page, x + px * scale, y + py * scale, x + px * scale + scale - 1, y + py * scale + scale - 1, c);
        }
}

int editor_sget(const vexel_cart* cart, int x, int y) {
    if (!cart || !in_sheet(x, y)) return 0;
    const int byte = vexel_cart_peek(cart, vexel_sheet_pixel_addr(x, y));
    return (x & 1) ? byte >> 4 : byte & 15;
}

void editor_sset(vexel_cart* cart, int x, int y, int colour) { vexel_cart_set_pixel(cart, x, y, colour); }

int editor_mget(const vexel_cart* cart, int x, int y) {
    return cart && in_map(x, y) ? vexel_cart_peek(cart, vexel_map_cell_addr(x, y)) : 0;
}

void editor_mset(vexel_cart* cart, int x, int y, int sprite) { vexel_cart_set_cell(cart, x, y, sprite); }

int editor_fget(const vexel_cart* cart, int n) {
    return cart && n >= 0 && n < 256 ? vexel_cart_peek(cart, vexel_addr_flags + uint32_t(n)) : 0;
}

void editor_fset(vexel_cart* cart, int n, int flags) {
    if (cart && n >= 0 && n < 256) vexel_cart_poke(cart, vexel_addr_flags + uint32_t(n), flags & 0xff);
}

int editor_hex_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool editor_clip_blank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
