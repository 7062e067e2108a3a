// Times the drawing calls a cartridge spends its frame on and prints host
// microseconds per call: full-screen cls, 1000 spr, a full-screen map, 200
// circfill, 200 ovalfill and oval, 500 line, a floor of 128 tline and a
// screen of print, and a frame covered with
// sprites as a share of the 33 ms a frame at 30 fps lasts.
// Target: the sprite-covered frame costs well under 5% of the frame.
#include <chrono>
#include <cstdio>
#include <random>

#include "cart/cart.h"
#include "framework/fenn_pod.h"
#include "machine/gfx.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "runtime/machine_life.h"
#include "machine/sprite.h"
#include "machine/text.h"

namespace {

constexpr vexel_fix F(int v) { return vexel_fix(uint32_t(v) << 16); }

double now_us() {
    using namespace std::chrono;
    return double(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count()) / 1000.0;
}

// Runs `calls` calls `rounds` times and returns the best time per call.
template <class Fn>
double per_call(int calls, int rounds, Fn fn) {
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        double t0 = now_us();
        for (int i = 0; i < calls; ++i) fn(i);
        best = std::min(best, (now_us() - t0) / calls);
    }
    return best;
}

fenn_pod* make_font() {
    auto* pod = new fenn_pod;
    for (int code = 32; code < 128; ++code) {
        auto item = std::make_unique<fenn_pod_item>();
        item->type = fenn_pod_type_bitmap;
        fenn_bitmap* g = fenn_create_bitmap(3, 5, 8);
        for (int i = 0; i < 15; ++i) g->pix[size_t(i)] = uint8_t((code >> (i % 7)) & 1);
        item->bitmap.reset(g);
        pod->items.push_back(std::move(item));
    }
    return pod;
}

}  // namespace

int main() {
    static vexel_host host;
    vexel_machine* m = vexel_machine_create(&host);
    std::mt19937 rng(3);
    for (auto& p : m->cart->gfx->pix) p = uint8_t(rng() % 16);
    for (auto& c : m->cart->map->pix) c = uint8_t(1 + rng() % 255);
    for (int i = 0; i < 16; ++i) m->draw_pal[i] = m->screen_pal[i] = i;
    m->draw_pal[0] = 0x10;
    vexel_set_clip_registers(m, 0, 0, 128, 128);
    fenn_pod* font = make_font();
    m->console_font = font;

    std::printf("cls (full screen)        %8.3f us/call\n", per_call(1000, 5, [&](int i) { vexel_cls(m, 1, F(i & 15)); }));
    std::printf("spr 8x8 (1000 calls)     %8.3f us/call\n", per_call(1000, 20, [&](int i) {
                    vexel_spr(m, 3, F(i & 255), F((i * 37) % 136 - 8), F((i * 91) % 136 - 8), 0, 0, false, false);
                }));
    std::printf("map (full screen)        %8.3f us/call\n",
                per_call(200, 5, [&](int) { vexel_map(m, 4, 0, 0, 0, 0, 0, 0, 0); }));
    std::printf("circfill r 0-31 (200)    %8.3f us/call\n", per_call(200, 20, [&](int i) {
                    vexel_circfill(m, 4, F((i * 53) % 128), F((i * 29) % 128), F(i % 32), F(i & 15));
                }));
    std::printf("line (500 calls)         %8.3f us/call\n", per_call(500, 20, [&](int i) {
                    vexel_line(m, 5, F((i * 53) % 160 - 16), F((i * 29) % 160 - 16), F((i * 71) % 160 - 16),
                               F((i * 13) % 160 - 16), F(i & 15));
                }));
    std::printf("ovalfill 1-64 (200)      %8.3f us/call\n", per_call(200, 20, [&](int i) {
                    const int x = (i * 53) % 128, y = (i * 29) % 128;
                    vexel_ovalfill(m, 5, F(x), F(y), F(x + 1 + i % 64), F(y + 1 + (i * 7) % 64), F(i & 15));
                }));
    std::printf("oval 1-64 (200)          %8.3f us/call\n", per_call(200, 20, [&](int i) {
                    const int x = (i * 53) % 128, y = (i * 29) % 128;
                    vexel_oval(m, 5, F(x), F(y), F(x + 1 + i % 64), F(y + 1 + (i * 7) % 64), F(i & 15));
                }));
    // A textured floor: one screen-wide tline per row, each with its own step.
    std::printf("tline floor (128 rows)   %8.3f us/frame\n", per_call(20, 5, [&](int) {
                    for (int y = 0; y < 128; ++y)
                        vexel_tline(m, 8, 0, F(y), F(127), F(y), F(y % 16), F(y / 8), 0x800 + y * 16, 0x100, 0);
                }));
    vexel_fillp(m, 1, F(0x5a5a));
    std::printf("circfill r 0-31 patterned%8.3f us/call\n", per_call(200, 20, [&](int i) {
                    vexel_circfill(m, 4, F((i * 53) % 128), F((i * 29) % 128), F(i % 32), F(0x1c));
                }));
    vexel_fillp(m, 0, 0);
    const char* line = "the quick brown fox jumps over ";  // 31 characters: one screen line
    std::printf("print 21 lines (screen)  %8.3f us/call\n", per_call(21, 20, [&](int i) {
                    vexel_script_print(m, 3, line, 31, 0, F(i * 6), 0);
                }));
    std::printf("sspr 32x32 -> 128x128    %8.3f us/call\n", per_call(200, 5, [&](int) {
                    vexel_sspr(m, 8, 0, 0, F(32), F(32), 0, 0, F(128), F(128), false, false);
                }));

    // A frame whose every pixel is covered by sprites: 16 x 16 of them.
    const double frame = per_call(50, 5, [&](int) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) vexel_spr(m, 3, F(y * 16 + x), F(x * 8), F(y * 8), 0, 0, false, false);
    });
    std::printf("frame of 256 sprites     %8.3f us = %.2f%% of a 33 ms frame\n", frame, frame / 33333.0 * 100.0);

    m->console_font = nullptr;
    fenn_destroy_pod(font);
    vexel_machine_destroy(m);
    return 0;
}
