// text: the console's printers and the machine cursor's line feed.
//
// Console messages are drawn on the machine screen with the machine's
// console font (item 2 of the resource pod, set by the shell), 32 narrow
// characters (or 16 wide ones, codes 128-255) to a 6-pixel line, scrolling
// the screen when the cursor reaches the bottom. In exec mode (a host
// value) they go to the host's output as "** <text>", instead of the screen
// while no program runs and besides it while one does. A message's colour
// and background codes (machine/text_print) act on the screen; its other
// control codes are skipped, and all of them are left out of the output.
#pragma once
#include <cstddef>

#include "framework/fenn_pod.h"
#include "machine/gfx.h"
#include "machine/text_print.h"

constexpr int vexel_line_height = 6;
constexpr int vexel_console_columns = 32;


// A built-in console font, independent of the resource pod: the machine's
// tests draw with it (so their pictures do not change with the assets), and
// it can stand in when the pod brings no console font. 96 glyphs (codes
// 32-127) of five rows, three columns each (bit 2 the leftmost), so that with
// spacing 1 a glyph advances 4 pixels and a line takes 6.
// vexel_create_console_font builds a font pod from them in the form the
// resource pod carries the console font (256 8-bit glyphs, codes outside
// 32-127 without a glyph); the caller owns it (fenn_destroy_pod).
constexpr int vexel_console_font_glyphs = 96;
constexpr int vexel_console_glyph_w = 3;
constexpr int vexel_console_glyph_h = 5;
extern const uint8_t vexel_console_font_dat[vexel_console_font_glyphs * vexel_console_glyph_h];
fenn_pod* vexel_create_console_font();

void vexel_cursor_cr(vexel_machine* m);
// Moves the cursor up a line and scrolls the screen up by one (charged like
// a scroll of vexel_cursor_cr).
void vexel_scroll_screen(vexel_machine* m);
// n line feeds. Once the screen has scrolled far enough that further scrolls
// cannot change it, the rest only charge their cycles, so a text of a
// million newlines costs CPU budget rather than a million screen copies.
void vexel_cursor_cr_times(vexel_machine* m, int64_t n);
void vexel_print_col(vexel_machine* m, const char* text, int colour);
void vexel_print(vexel_machine* m, const char* text);  // colour 6
void vexel_print_2(vexel_machine* m, const char* format, int a, int b);
void vexel_print_2_col(vexel_machine* m, const char* format, int a, int b, int colour);

// The script's print. `text` is the argument already turned into text by the
// binding (strings unchanged, numbers in the script's number format,
// "true"/"false", "[nil]" and the like for other values), `len` its length
// in bytes (the charge counts bytes; drawing stops at a NUL). argc is the
// number of arguments the script gave, 0 for none; x, y and c are raw
// 16.16 values (0 when missing). The text's control codes act as
// machine/text_print says; `sound` plays its sound commands.
// `wrap` wraps long lines at the screen edge (the message of stop()).
// With one argument the cursor moves down by the 6-pixel lines the text
// took, a tall last line counting as the lines it covers.
// Returns the x after the text's last character, where more text on that
// line would start, in the program's coordinates (the camera added back).
int vexel_script_print(vexel_machine* m, int argc, const char* text, size_t len, vexel_fix x, vexel_fix y, vexel_fix c,
                       bool wrap = false, const vexel_print_sound& sound = {});
