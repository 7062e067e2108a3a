// How long one print of a large hostile text takes: plain text, scaled and
// inverted repeats, one-off glyphs, screen clears and sound commands, each
// about 1 MiB (the most a program's memory holds). A print cannot be cut
// short by the CPU budget, so these figures are how long the worst texts
// hold up a frame.
#include <chrono>
#include <cstdio>
#include <string>

#include "machine/gfx.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "runtime/machine_life.h"

namespace {

constexpr size_t text_size = size_t(1) << 20;

std::string repeat(const std::string& unit) {
    std::string s;
    while (s.size() + unit.size() <= text_size) s += unit;
    return s;
}

void run(vexel_machine* m, const char* name, const std::string& text) {
    int sounds = 0;
    const vexel_print_sound sound{[](void* n, int) { ++*static_cast<int*>(n); }, &sounds};
    const auto start = std::chrono::steady_clock::now();
    vexel_script_print(m, 3, text.data(), text.size(), 0, 0, 0, false, sound);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-34s %8zu bytes %9.1f ms\n", name, text.size(), ms);
}

}  // namespace

int main() {
    vexel_host host;
    vexel_machine* m = vexel_machine_create(&host);
    fenn_pod* font = vexel_create_console_font();
    m->console_font = font;
    m->pen_col = 7;
    run(m, "plain text, lines", repeat("the quick brown fox\r"));
    run(m, "35 wide tall inverted, back", "\6p\6i\6b\2" "3" + repeat("\1z#\r"));
    run(m, "one-off glyphs, back", repeat("\6:ffffffffffffffff\r"));
    run(m, "screen clears", repeat("\6c1a"));
    run(m, "sound commands", repeat("\a1"));
    run(m, "cursor moves", repeat("\5vv\5\x30\x30"));
    fenn_destroy_pod(font);
    vexel_machine_destroy(m);
    return 0;
}
