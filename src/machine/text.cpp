#include "machine/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/fenn_text.h"
#include "machine/text_print.h"
#include "machine/machine.h"
#include "machine/host.h"

namespace {
constexpr int scroll_charge = 65536;
constexpr int print_format_max = 4096;
constexpr int print_byte_charge = 8;
constexpr int print_call_charge = 2;
constexpr int console_column_w = vexel_console_glyph_w + fenn_font_spacing;
constexpr int console_line_w = vexel_console_columns * console_column_w;
// After this many scrolls in a row every row inside the clip holds what it
// will hold for good (6 rows move per scroll, 128 rows in all).
constexpr int64_t scrolls_to_settle = 128 / vexel_line_height + 2;

// How many screen lines a console message takes. Every byte takes at least
// one column (a byte the font has no glyph for still holds its place, as it
// always has), a wider glyph its own width and spacing; a glyph that would
// cross the right edge starts the next line, and so does a newline with
// more text after it. Control codes take no column: the printer skips them
// or, for colours, draws nothing for them.
int console_lines(const fenn_pod* font, const char* text) {
    int lines = 1, x = 0;
    const size_t len = std::strlen(text);
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < len; ++i) {
        if (const size_t code = vexel_print_code_size(text + i, len - i)) {
            if (code > len - i) break;  // a cut-off code ends the message
            i += code - 1;
            continue;
        }
        if (t[i] == '\n') {
            // The drawer starts a new line here; a trailing newline leaves
            // nothing on it, so only one with text after it takes a line.
            if (i + 1 < len) {
                ++lines;
                x = 0;
            }
            continue;
        }
        const fenn_bitmap* g = fenn_font_glyph(font, t[i]);
        const int step = std::max(console_column_w, g ? g->w + fenn_font_spacing : 0);
        if (x > 0 && x + step > console_line_w) {
            ++lines;
            x = 0;
        }
        x += step;
    }
    return lines;
}

// The message as the host's output shows it: without its control codes.
std::string without_codes(const char* text) {
    std::string out;
    const size_t len = std::strlen(text);
    for (size_t i = 0; i < len;) {
        const size_t code = vexel_print_code_size(text + i, len - i);
        if (code > len - i) break;
        if (code) {
            i += code;
            continue;
        }
        out += text[i++];
    }
    return out;
}

void fill_rows(fenn_bitmap* s, int y0, int y1, uint8_t colour) {
    y0 = std::max(y0, s->clip_y0);
    y1 = std::min(y1, s->clip_y1);
    for (int y = y0; y < y1; ++y)
        std::memset(s->pix.data() + size_t(y) * size_t(s->w) + size_t(s->clip_x0), colour,
                    size_t(s->clip_x1 - s->clip_x0));
}
}  // namespace

namespace {
void scroll_one_line(vexel_machine* m) {
    fenn_bitmap* s = m->screen;
    if (!s) return;
    // Scroll up one line inside the clip rectangle, top row first.
    for (int y = 0; y + vexel_line_height < 128; ++y) {
        if (y < s->clip_y0 || y >= s->clip_y1) continue;
        std::memcpy(s->pix.data() + size_t(y) * 128 + size_t(s->clip_x0),
                    s->pix.data() + size_t(y + vexel_line_height) * 128 + size_t(s->clip_x0),
                    size_t(s->clip_x1 - s->clip_x0));
    }
    fill_rows(s, 128 - vexel_line_height, 128, 0);
    vexel_charge(m, scroll_charge);
}
}  // namespace

void vexel_cursor_cr(vexel_machine* m) {
    if (m->cursor_y + vexel_line_height < 123) {
        m->cursor_y += vexel_line_height;
        return;
    }
    scroll_one_line(m);
}

void vexel_scroll_screen(vexel_machine* m) {
    m->cursor_y -= vexel_line_height;
    scroll_one_line(m);
}

void vexel_cursor_cr_times(vexel_machine* m, int64_t n) {
    int64_t scrolls = 0;
    for (; n > 0; --n) {
        if (m->cursor_y + vexel_line_height < 123) {
            m->cursor_y += vexel_line_height;
            scrolls = 0;
            continue;
        }
        if (++scrolls > scrolls_to_settle) break;
        vexel_cursor_cr(m);
    }
    for (; n > 0; --n) vexel_charge(m, scroll_charge);
}

void vexel_print_col(vexel_machine* m, const char* text, int colour) {
    if (!text) text = "";
    if (vexel_host_exec_mode(m)) {
        // Headless: the console's messages are the run's output. Those of
        // commands a running program calls are drawn as well, so the
        // program sees the same screen as in a window.
        std::string line = "** " + without_codes(text) + "\n";
        vexel_host_output(m, line.data(), line.size());
        if (!m->running) return;
    }
    fenn_bitmap* s = m->screen;
    if (!s) return;
    const int lines = console_lines(m->console_font, text);
    int extra = 0;
    if (lines > 1) {
        vexel_cursor_cr_times(m, lines - 1);
        extra = (lines - 1) * vexel_line_height;
    }
    m->cursor_y -= extra;
    fill_rows(s, m->cursor_y, m->cursor_y + vexel_line_height * lines, 0);
    vexel_print_run run;
    run.x = m->cursor_x;
    run.y = m->cursor_y;
    run.colour = colour;
    run.palette = false;
    run.wrap = true;
    run.console = true;
    vexel_print_text(m, text, std::strlen(text), run);
    m->cursor_y += extra;
    vexel_cursor_cr(m);
}

void vexel_print(vexel_machine* m, const char* text) { vexel_print_col(m, text, 6); }

void vexel_print_2_col(vexel_machine* m, const char* format, int a, int b, int colour) {
    char buf[print_format_max];
    std::snprintf(buf, sizeof buf, format, a, b);
    vexel_print_col(m, buf, colour);
}

void vexel_print_2(vexel_machine* m, const char* format, int a, int b) { vexel_print_2_col(m, format, a, b, 6); }

int vexel_script_print(vexel_machine* m, int argc, const char* text, size_t len, vexel_fix x, vexel_fix y, vexel_fix c,
                       bool wrap, const vexel_print_sound& sound) {
    if (argc < 1) return m->cursor_x;
    if (!text) {
        text = "";
        len = 0;
    }
    if (argc >= 3) {
        m->cursor_x = vexel_flr(x);
        m->cursor_y = vexel_flr(y);
    }
    if (argc >= 4) m->pen_col = vexel_flr(c) & 0xff;
    vexel_print_run run;
    run.x = m->cursor_x - m->camera_x;
    run.y = m->cursor_y - m->camera_y;
    run.colour = m->pen_col & 15;
    run.wrap = wrap;
    run.camera_x = m->camera_x;
    run.camera_y = m->camera_y;
    run.sound = sound;
    const vexel_print_end e = vexel_print_text(m, text, len, run);
    // One line feed per 6 pixels from the first line's top to the last
    // line's, and more when the last line is taller than one line.
    const int64_t lines = std::max<int64_t>(e.y - run.y, 0) / vexel_line_height + 1 +
                          std::max(e.last_line_h - 1, 0) / vexel_line_height;
    if (argc == 1) {
        vexel_cursor_cr_times(m, lines);
    } else if (argc >= 3 && m->print_xy_moves_cursor) {
        // Below the text at its own x, never scrolling: the program placed it.
        const int64_t below = int64_t(m->cursor_y) + lines * vexel_line_height;
        m->cursor_y = int32_t(std::clamp<int64_t>(below, INT32_MIN, INT32_MAX));
    }
    const size_t max_len = size_t((INT32_MAX - print_call_charge) / print_byte_charge);
    vexel_charge(m, int32_t(std::min(len, max_len)) * print_byte_charge + print_call_charge);
    return int(std::clamp<int64_t>(e.x + m->camera_x, INT32_MIN, INT32_MAX));
}
