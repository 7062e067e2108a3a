// Times a full redraw of the map editor's body (map view, tool bar, picker)
// on a map whose every cell holds a sprite, at the whole-map zoom (one pixel
// a cell) and at 8-pixel cells, and prints host microseconds per redraw.
// Target: well under 1 ms each.
#include <chrono>
#include <cstdio>
#include <random>

#include "app/editor.h"
#include "app/editor_map.h"
#include "cart/cart.h"
#include "framework/fenn_bitmap.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "runtime/machine_life.h"

namespace {

constexpr int sc_right = 79;

double now_us() {
    using namespace std::chrono;
    return double(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count()) / 1000.0;
}

// Best time per redraw over `rounds` runs of `calls` redraws.
double per_redraw(vexel_machine* m, fenn_bitmap* page, int calls, int rounds) {
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        const double t0 = now_us();
        for (int i = 0; i < calls; ++i) {
            fenn_set_clip(page, 0, editor_body_y0, 128, editor_body_y1);
            editor_map_page.draw(m, page, editor_theme_get(0));
        }
        best = std::min(best, (now_us() - t0) / calls);
    }
    return best;
}

void type(vexel_machine* m, char c) {
    editor_input in{};
    in.mouse_x = in.mouse_y = 60;
    in.keys[0] = c;
    in.key_count = 1;
    editor_map_page.update(m, in);
}

}  // namespace

int main() {
    editor_studio_scope studio;  // the editors' state, outliving the machine
    static vexel_host host;
    vexel_machine* m = vexel_machine_create(&host);
    std::mt19937 rng(5);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) editor_sset(m->working_cart, x, y, int(rng() % 16));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 128; ++x) editor_mset(m->working_cart, x, y, int(1 + rng() % 255));
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    type(m, 'g');  // grid on: the most the view draws

    // Some way into the map, so the view is not aligned to its corner.
    editor_input in{};
    in.pressed[sc_right] = true;
    for (int i = 0; i < 37; ++i) editor_map_page.update(m, in);
    std::printf("map editor redraw, 8-pixel cells  %8.2f us\n", per_redraw(m, page, 500, 5));
    for (int i = 0; i < 3; ++i) type(m, '-');
    std::printf("map editor redraw, whole map      %8.2f us (cell %d px)\n", per_redraw(m, page, 500, 5),
                editor_map_view().cell_px);
    type(m, '\t');
    std::printf("map editor redraw, large picker   %8.2f us\n", per_redraw(m, page, 500, 5));

    fenn_destroy_bitmap(page);
    vexel_machine_destroy(m);
    return 0;
}
