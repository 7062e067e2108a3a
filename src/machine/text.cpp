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

void fill_rows(fenn_bitmap* s, int y0, int y1, uint8_t colour) {
    y0 = std::max(y0, s->clip_y0);
    y1 = std::min(y1, s->clip_y1);
    for (int y = y0; y < y1; ++y)
        std::memset(s->pix.data() + size_t(y) * size_t(s->w) + size_t(s->clip_x0), colour,
                    size_t(s->clip_x1 - s->clip_x0));
}
}  // namespace

void cursor_cr() {
    if (pstate.cursor_y + vexel_line_height < 123) {
        pstate.cursor_y += vexel_line_height;
        return;
    }
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
    spend_cpu(scroll_charge);
}

void vexel_print_col(const char* text, int colour) {
    if (!text) text = "";
    if (app.exec_mode && !pstate.program_active) {
        std::printf("** %s\n", text);
        std::fflush(stdout);
        return;
    }
    fenn_bitmap* s = pstate.screen;
    if (!s) return;
    int n = int(std::strlen(text));
    int extra = 0;
    if (n >= vexel_console_columns + 1) {
        for (int i = vexel_console_columns; i < n; i += vexel_console_columns) cursor_cr();
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
