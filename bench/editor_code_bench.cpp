// Host time of the code editor on a program of the greatest length (65,535
// characters, about 2,900 lines of ordinary code with comments, strings and
// a long comment): a full redraw of the editor's body with its status line,
// a keystroke followed by a redraw, opening the editor (which reads the
// whole program once) and working out the compressed size (done once
// typing pauses). Prints each figure in milliseconds (best of five runs);
// the redraw should stay far below a millisecond, wherever the cursor is.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/editor.h"
#include "app/editor_code.h"
#include "cart/cart.h"
#include "framework/fenn_bitmap.h"
#include "framework/fenn_pod.h"
#include "machine/disk.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "runtime/machine_life.h"

namespace {

constexpr int runs = 5;
constexpr int draws = 2000;
constexpr int keystrokes = 500;

std::string long_program() {
    std::string s = "--[[ a long comment\nover two lines ]]\n";
    for (int i = 0; s.size() < size_t(vexel_code_max); ++i) {
        s += "function f" + std::to_string(i) + "(x, y)\n";
        s += " local v = x * 2 + sin(y) -- note\n";
        s += " if (v != 3) v += 0x1f print(\"v=\"..v)\n";
        s += " return v\nend\n";
    }
    s.resize(size_t(vexel_code_max));
    return s;
}

template <class F>
double best_ms(int count, F&& work) {
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i) work();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, ms / count);
    }
    return best;
}

}  // namespace

int main() {
    editor_studio_scope studio;  // the editors' state, outliving the machine
    vexel_host host;
    host.exec_mode = true;
    host.output = [](void*, const char*, size_t) {};
    vexel_machine* m = vexel_machine_create(&host);
    fenn_pod* font = vexel_create_console_font();
    m->console_font = font;
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    if (!m || !font || !page) {
        std::printf("could not make the machine\n");
        return 1;
    }
    const std::string program = long_program();
    std::memcpy(m->code_tabs[0], program.c_str(), program.size() + 1);
    vexel_select_code_tab(m, 0);
    vexel_merge_code_from_tabs(m);
    const editor_theme& theme = editor_theme_get(0);
    bool warn = false;

    const double open_ms = best_ms(1, [&] { editor_code_page.open(m); });
    editor_code_goto(m, 0, 1500);
    const double draw_ms = best_ms(draws, [&] {
        editor_code_page.draw(m, page, theme);
        editor_code_page.status(m, &warn);
    });
    editor_code_goto(m, 0, 100000);  // the last line
    const double draw_end_ms = best_ms(draws, [&] {
        editor_code_page.draw(m, page, theme);
        editor_code_page.status(m, &warn);
    });

    // Keystrokes in the middle of the program: an edit, then a redraw.
    editor_code_goto(m, 0, 1500);
    int typed = 0;
    const double key_ms = best_ms(keystrokes, [&] {
        editor_input in{};
        in.keys[0] = typed++ % 2 ? 8 : 'x';  // type and rub out, so the program stays full
        in.key_count = 1;
        editor_code_page.update(m, in);
        editor_code_page.draw(m, page, theme);
        editor_code_page.status(m, &warn);
    });
    const double packed_ms = best_ms(1, [&] {
        editor_input in{};
        in.keys[0] = typed++ % 2 ? 8 : 'x';
        in.key_count = 1;
        editor_code_page.update(m, in);
        editor_code_counts_get(m, true);
    });
    const editor_code_counts counts = editor_code_counts_get(m, true);

    std::printf("code editor, %d chars, %d tokens, %d compressed\n", counts.chars, counts.tokens, counts.compressed);
    std::printf("  redraw (middle):     %8.4f ms\n", draw_ms);
    std::printf("  redraw (last line):  %8.4f ms\n", draw_end_ms);
    std::printf("  keystroke + redraw:  %8.4f ms\n", key_ms);
    std::printf("  open (whole read):   %8.4f ms\n", open_ms);
    std::printf("  compressed size:     %8.4f ms\n", packed_ms);

    fenn_destroy_bitmap(page);
    m->console_font = nullptr;
    fenn_destroy_pod(font);
    vexel_machine_destroy(m);
    return 0;
}
