#include "machine/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "framework/fenn_text.h"
#include "machine/pstate.h"
#include "runtime/run.h"

cpod* vexel_console_font = nullptr;

namespace {
constexpr int scroll_charge = 65536;
constexpr int print_format_max = 4096;
constexpr int print_byte_charge = 8;
constexpr int print_call_charge = 2;
// After this many scrolls in a row every row inside the clip holds what it
// will hold for good (6 rows move per scroll, 128 rows in all).
constexpr int64_t scrolls_to_settle = 128 / vexel_line_height + 2;

void fill_rows(fenn_bitmap* s, int y0, int y1, uint8_t colour) {
    y0 = std::max(y0, s->clip_y0);
    y1 = std::min(y1, s->clip_y1);
    for (int y = y0; y < y1; ++y)
        std::memset(s->pix.data() + size_t(y) * size_t(s->w) + size_t(s->clip_x0), colour,
                    size_t(s->clip_x1 - s->clip_x0));
}
}  // namespace

namespace {
void scroll_one_line() {
    fenn_bitmap* s = pstate.screen;
    if (!s) return;
    // Scroll up one line inside the clip rectangle, top row first.
    for (int y = 0; y + vexel_line_height < 128; ++y) {
        if (y < s->clip_y0 || y >= s->clip_y1) continue;
        std::memcpy(s->pix.data() + size_t(y) * 128 + size_t(s->clip_x0),
                    s->pix.data() + size_t(y + vexel_line_height) * 128 + size_t(s->clip_x0),
                    size_t(s->clip_x1 - s->clip_x0));
    }
    fill_rows(s, 128 - vexel_line_height, 128, 0);
    vexel_charge(scroll_charge);
}
}  // namespace

void cursor_cr() {
    if (pstate.cursor_y + vexel_line_height < 123) {
        pstate.cursor_y += vexel_line_height;
        return;
    }
    scroll_one_line();
}

void scroll_immediate_mode_screen() {
    pstate.cursor_y -= vexel_line_height;
    scroll_one_line();
}

void cursor_cr_times(int64_t n) {
    int64_t scrolls = 0;
    for (; n > 0; --n) {
        if (pstate.cursor_y + vexel_line_height < 123) {
            pstate.cursor_y += vexel_line_height;
            scrolls = 0;
            continue;
        }
        if (++scrolls > scrolls_to_settle) break;
        cursor_cr();
    }
    for (; n > 0; --n) vexel_charge(scroll_charge);
}

void vexel_print_col(const char* text, int colour) {
    if (!text) text = "";
    if (app.exec_mode) {
        // Headless: the console's messages are the run's output. Those of
        // commands a running program calls are drawn as well, so the
        // program sees the same screen as in a window.
        std::printf("** %s\n", text);
        std::fflush(stdout);
        if (pstate.mode != shell_running) return;
    }
    fenn_bitmap* s = pstate.screen;
    if (!s) return;
    int n = int(std::strlen(text));
    int extra = 0;
    if (n >= vexel_console_columns + 1) {
        cursor_cr_times((n - 33) / 32 + 1);
        extra = ((n - 33) / 32 + 1) * vexel_line_height;
    }
    pstate.cursor_y -= extra;
    int lines = n > 0 ? (n - 1) / vexel_console_columns + 1 : 1;
    fill_rows(s, pstate.cursor_y, pstate.cursor_y + vexel_line_height * lines, 0);
    fenn_draw_text_ex(s, text, vexel_console_font, pstate.cursor_x, pstate.cursor_y,
                      fenn_text_single_colour | fenn_text_wrap, uint32_t(colour));
    pstate.cursor_y += extra;
    cursor_cr();
}

void vexel_print(const char* text) { vexel_print_col(text, 6); }

void vexel_print_2_col(const char* format, int a, int b, int colour) {
    char buf[print_format_max];
    std::snprintf(buf, sizeof buf, format, a, b);
    vexel_print_col(buf, colour);
}

void vexel_print_2(const char* format, int a, int b) { vexel_print_2_col(format, a, b, 6); }

void vexel_script_print(int argc, const char* text, size_t len, vexel_fix x, vexel_fix y, vexel_fix c) {
    if (argc < 1) return;
    if (!text) {
        text = "";
        len = 0;
    }
    if (argc >= 3) {
        pstate.cursor_x = vexel_flr(x);
        pstate.cursor_y = vexel_flr(y);
    }
    if (argc >= 4) pstate.pen_col = vexel_flr(c) & 0xff;
    const uint32_t colour = uint32_t(pstate.draw_pal[pstate.pen_col & 15] & 15);
    int flags = fenn_text_single_colour;
    if (pstate.pending == pending_stop_program) flags |= fenn_text_wrap;
    const int x0 = pstate.cursor_x - pstate.camera_x, y0 = pstate.cursor_y - pstate.camera_y;
    int yl = y0;
    if (fenn_bitmap* s = pstate.screen) yl = fenn_draw_text_ex(s, text, vexel_console_font, x0, y0, flags, colour);
    if (argc == 1) cursor_cr_times(int64_t(std::max(yl - y0, 0)) / vexel_line_height + 1);
    const size_t max_len = size_t((INT32_MAX - print_call_charge) / print_byte_charge);
    vexel_charge(int32_t(std::min(len, max_len)) * print_byte_charge + print_call_charge);
}
