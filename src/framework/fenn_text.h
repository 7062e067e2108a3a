// fenn_text: drawing text with a font held in a pod.
//
// A font pod holds glyph bitmaps in consecutive sets of 256 (codes 0-255),
// or of 96 (codes 32-127) when its item count is not a multiple of 256; the
// sets differ in pixel format (8-bit, 32-bit). A glyph pixel is drawn where
// the glyph's pixel is non-zero; a glyph's width is its advance before the
// spacing. Missing glyphs (non-bitmap items) are skipped.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "framework/fenn_bitmap.h"
#include "framework/fenn_pod.h"

constexpr int fenn_text_single_colour = 1;  // every glyph in the one colour given
constexpr int fenn_text_centre = 2;
constexpr int fenn_text_right = 4;
constexpr int fenn_text_keep_inside = 8;    // elide at the clip's right edge
constexpr int fenn_text_wrap = 16;          // wrap at the clip's right edge

constexpr int fenn_font_spacing = 1;  // pixels between glyphs and between lines

// Draws text; returns the y of the last line drawn. Each glyph advances by
// its own width plus the spacing. With fenn_text_wrap a line ends where the
// next glyph would cross the clip's right edge. end_x (may be null) receives
// the x after the last glyph, its spacing included: where more text on that
// line would start.
int fenn_draw_text_ex(fenn_bitmap* bmp, const char* text, const fenn_pod* font, int x, int y, int flags, uint32_t colour,
                      int* end_x = nullptr);
// Outlined text: the outline colour at the eight neighbours, then the text.
int fenn_draw_text_phat(fenn_bitmap* bmp, const char* text, const fenn_pod* font, int x, int y, int flags,
                        uint32_t outline_colour, uint32_t colour);
int fenn_get_text_width(const char* text, const fenn_pod* font);
// Splits one line of text into lines at most `width` pixels wide in `font`:
// each breaks at the last blank that fits (blanks at a break are dropped),
// but a word too long for a line of its own is cut where the line is full;
// a glyph wider than `width` stands alone. A newline is a glyph like any
// other here. Without a font the text is one line; empty text gives none.
std::vector<std::string> fenn_wrap_text(const char* text, const fenn_pod* font, int width);

// The font's glyph for a code in its first set, or null.
const fenn_bitmap* fenn_font_glyph(const fenn_pod* font, int code);

// The framework's own fonts, built by fenn_text_init from fenn_font1_dat
// (96 glyphs, codes 32-127, five row bytes each, bit 4 the leftmost of five
// columns): fenn_font1 has 5x5 glyphs, its bold twin fenn_font2 6x5 glyphs
// (every set pixel also sets the one to its right). Each pod holds 512
// items: a set of 256 codes with 8-bit glyphs (ink 6 and 7), then the same
// in 32-bit form (ink 0xffc0c0c0 and 0xffffffff). Codes outside 32-127 have
// no glyph. fenn_font1 draws the elision mark. Null until built and after
// fenn_text_exit.
constexpr int fenn_font1_glyphs = 96;
constexpr int fenn_font1_rows = 5;
constexpr int fenn_font1_w = 5;
extern const uint8_t fenn_font1_dat[fenn_font1_glyphs * fenn_font1_rows];
extern fenn_pod* fenn_font1;
extern fenn_pod* fenn_font2;
void fenn_text_init();  // builds both fonts (again only if destroyed)
void fenn_text_exit();
