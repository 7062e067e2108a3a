// The drawing calls' argument rules, state changes and CPU charges, checked
// pixel by pixel where a whole golden picture would hide the point.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "framework/fenn_text.h"
#include "gfx_scene.h"
#include "machine/machine.h"
#include "machine/sprite.h"
#include "machine/text.h"

namespace {

using namespace gfx_test;

class Gfx : public ::testing::Test {
protected:
    void SetUp() override { set_up(); }
    void TearDown() override { tear_down(); }
    // Cycles charged by one call.
    template <class F>
    int64_t charged(F f) {
        int64_t before = M->draw_cycles;
        f();
        return M->draw_cycles - before;
    }
};

TEST_F(Gfx, PsetPgetUsePaletteCameraClipAndPenColour) {
    vexel_pset(M, 3, F(0), F(0), F(8));
    EXPECT_EQ(vexel_pget(M, 2, F(0), F(0)), 8);
    EXPECT_EQ(M->pen_col, 8);
    vexel_pset(M, 2, F(1), F(0), 0);  // no colour: the pen colour
    EXPECT_EQ(px(1, 0), 8);
    vexel_pset(M, 1, F(2), 0, F(9));  // fewer than two arguments: nothing
    EXPECT_EQ(px(2, 0), 0);
    EXPECT_EQ(vexel_pget(M, 1, F(0), 0), 0);

    vexel_pal(M, 2, F(8), F(12), 0);
    vexel_pset(M, 3, F(0), F(1), F(8));
    EXPECT_EQ(vexel_pget(M, 2, F(0), F(1)), 12);
    vexel_pset(M, 3, Fd(3.9), Fd(1.99), F(24));  // floors; 24 & 15 = 8 -> 12
    EXPECT_EQ(px(3, 1), 12);
    EXPECT_EQ(M->pen_col, 24);

    vexel_camera(M, 2, F(10), 0);
    vexel_pset(M, 3, F(10), F(0), F(7));
    EXPECT_EQ(px(0, 0), 7);
    EXPECT_EQ(vexel_pget(M, 2, F(10), F(0)), 7);
    vexel_camera(M, 0, 0, 0);

    vexel_clip(M, 4, F(0), F(0), F(8), F(8));
    vexel_pset(M, 3, F(9), F(9), F(7));
    EXPECT_EQ(px(9, 9), 0);
    M->screen->pix[20 * 128 + 20] = 5;
    EXPECT_EQ(vexel_pget(M, 2, F(20), F(20)), 0);  // outside the clip reads 0
}

TEST_F(Gfx, FillPatternChoosesPrimarySecondaryOrNothing) {
    vexel_fillp(M, 1, F(1));
    EXPECT_EQ(M->fill_pattern, 1);
    vexel_pset(M, 3, F(3), F(3), F(33));
    vexel_pset(M, 3, F(2), F(3), F(33));
    EXPECT_EQ(px(3, 3), 2);
    EXPECT_EQ(px(2, 3), 1);
    vexel_fillp(M, 1, Fd(1.5));
    EXPECT_EQ(M->fill_pattern, 0x10001);
    M->screen->pix[3 * 128 + 3] = 9;
    vexel_pset(M, 3, F(3), F(3), F(33));
    EXPECT_EQ(px(3, 3), 9);
    vexel_fillp(M, 1, Fd(23130.5));
    EXPECT_EQ(M->fill_pattern, 0x15a5a);
    vexel_fillp(M, 1, F(-1));  // integer part as 16 unsigned bits
    EXPECT_EQ(M->fill_pattern, 0xffff);
    vexel_fillp(M, 0, F(5));
    EXPECT_EQ(M->fill_pattern, 0);
    // The pattern is anchored to the screen, so a shifted shape samples it
    // at its screen position: spans and plots agree.
    vexel_cls(M, 0, 0);
    vexel_fillp(M, 1, F(0x1248));
    vexel_rectfill(M, 5, F(0), F(0), F(7), F(7), F(0x3c));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            bool one = (0x1248 >> (15 - ((y & 3) * 4 + (x & 3)))) & 1;
            EXPECT_EQ(px(x, y), one ? 3 : 12) << x << "," << y;
        }
}

TEST_F(Gfx, StateCallsStoreWhatTheyShould) {
    vexel_clip(M, 4, F(-10), F(-10), F(300), F(300));
    EXPECT_EQ(M->clip_x0, 0);
    EXPECT_EQ(M->clip_y0, 0);
    EXPECT_EQ(M->clip_x1, 128);
    EXPECT_EQ(M->clip_y1, 128);
    vexel_clip(M, 4, F(100), F(100), F(100), F(100));
    EXPECT_EQ(M->clip_x1, 128);
    EXPECT_EQ(M->screen->clip_x0, 100);
    vexel_clip(M, 4, F(50), F(20), F(-10), F(5));  // right of left edge: empty clip, no crash
    EXPECT_EQ(M->clip_x1, 40);
    EXPECT_EQ(M->screen->clip_x1, M->screen->clip_x0);
    vexel_rectfill(M, 5, F(0), F(0), F(127), F(127), F(7));
    EXPECT_EQ(count_colour(7), 0);
    vexel_clip(M, 3, F(1), F(1), F(1), 0);  // fewer than four: whole screen
    EXPECT_EQ(M->screen->clip_x0, 0);
    EXPECT_EQ(M->screen->clip_x1, 128);

    vexel_camera(M, 1, F(-128), 0);
    EXPECT_EQ(M->camera_x, -128);
    EXPECT_EQ(M->camera_y, 0);
    EXPECT_EQ(M->ram[0x5f28], 0x80);
    EXPECT_EQ(M->ram[0x5f29], 0xff);
    vexel_camera(M, 2, F(1000), F(-32768));
    EXPECT_EQ(M->camera_x, 1000);
    EXPECT_EQ(M->camera_y, -32768);

    vexel_pal(M, 3, F(1), F(9), F(1));
    EXPECT_EQ(M->screen_pal[1], 9);
    EXPECT_EQ(M->draw_pal[1], 1);
    vexel_pal(M, 2, F(0), F(5), 0);
    EXPECT_EQ(M->draw_pal[0], 0x15);  // transparency kept
    vexel_palt(M, 2, F(0), false);
    EXPECT_EQ(M->draw_pal[0], 5);
    vexel_palt(M, 2, F(18), true);
    EXPECT_EQ(M->draw_pal[2], 0x12);
    vexel_pal(M, 1, F(3), 0, 0);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(M->draw_pal[i], i == 0 ? 0x10 : i);
        EXPECT_EQ(M->screen_pal[i], i);
    }
    M->draw_pal[4] = 0xf4;
    M->draw_pal[5] = 0x15;
    vexel_palt(M, 0, 0, false);
    EXPECT_EQ(M->draw_pal[0], 0x10);
    EXPECT_EQ(M->draw_pal[4], 4);
    EXPECT_EQ(M->draw_pal[5], 5);

    vexel_color(M, 1, F(300));
    EXPECT_EQ(M->pen_col, 300 & 0xff);
    vexel_color(M, 0, F(5));
    EXPECT_EQ(M->pen_col, 0);
    vexel_cursor(M, 2, Fd(5.7), F(-3));
    EXPECT_EQ(M->cursor_x, 5);
    EXPECT_EQ(M->cursor_y, -3);
    vexel_cursor(M, 0, F(9), F(9));
    EXPECT_EQ(M->cursor_x, 0);
    EXPECT_EQ(M->cursor_y, 0);

    M->cursor_x = M->cursor_y = 40;
    vexel_clip(M, 4, F(1), F(1), F(2), F(2));
    vexel_cls(M, 1, F(17));
    EXPECT_EQ(count_colour(1), 128 * 128);
    EXPECT_EQ(M->cursor_x, 0);
    EXPECT_EQ(M->cursor_y, 0);
    EXPECT_EQ(M->clip_x1, 128);
    EXPECT_EQ(M->screen->clip_x1, 128);
}

TEST_F(Gfx, LinesRectsAndCirclesHitTheRightPixels) {
    int64_t c = charged([] { vexel_line(M, 5, 0, 0, 0, 0, F(7)); });
    EXPECT_EQ(count_colour(7), 1);
    EXPECT_EQ(c, 1);
    // Either direction walks the same pixels.
    vexel_cls(M, 0, 0);
    vexel_line(M, 5, F(10), F(20), F(13), F(0), F(8));
    std::vector<uint8_t> down = M->screen->pix;
    vexel_cls(M, 0, 0);
    vexel_line(M, 5, F(13), F(0), F(10), F(20), F(8));
    EXPECT_EQ(M->screen->pix, down);
    EXPECT_EQ(count_colour(8), 21);
    vexel_cls(M, 0, 0);

    // A shallow line entering through the top edge keeps its first pixel on
    // row 0 (the start skip alone would pass over it).
    vexel_cls(M, 0, 0);
    vexel_line(M, 5, F(0), F(-10), F(127), F(10), F(7));
    EXPECT_EQ(px(61, 0), 7);
    EXPECT_EQ(px(60, 0), 0);

    vexel_rectfill(M, 5, F(0), F(0), F(127), F(127), F(3));
    EXPECT_EQ(count_colour(3), 128 * 128);

    vexel_cls(M, 0, 0);
    vexel_circ(M, 4, F(64), F(64), 0, F(7));
    EXPECT_EQ(count_colour(7), 1);
    vexel_circfill(M, 4, F(64), F(64), F(-1), F(9));
    EXPECT_EQ(M->pen_col, 7);  // left alone by a negative radius
    vexel_circ(M, 4, F(64), F(64), F(-1), F(9));
    EXPECT_EQ(M->pen_col, 9);  // but circ takes the colour
}

// The skips at clipped ends only save steps: a walk of every step from end
// to end plots exactly the same pixels, for any clip.
TEST_F(Gfx, LineSkipsNeverChangeWhichPixelsAreDrawn) {
    std::mt19937 rng(11);
    auto coord = [&] { return int32_t(rng() % 2 ? rng() % 400 : rng() % 40000) - (rng() % 2 ? 136 : 20000); };
    for (int i = 0; i < 3000; ++i) {
        const int cx0 = int(rng() % 128), cy0 = int(rng() % 128);
        fenn_set_clip(M->screen, cx0, cy0, cx0 + 1 + int(rng() % 128), cy0 + 1 + int(rng() % 128));
        int32_t x0 = coord(), y0 = coord(), x1 = coord(), y1 = coord();
        std::fill(M->screen->pix.begin(), M->screen->pix.end(), 0);
        vexel_draw_line(M->screen, x0, y0, x1, y1, 7, {});
        std::vector<uint8_t> got = M->screen->pix;
        std::fill(M->screen->pix.begin(), M->screen->pix.end(), 0);
        if (y1 < y0) {
            std::swap(x0, x1);
            std::swap(y0, y1);
        }
        const int64_t dx = int64_t(x1) - x0, dy = int64_t(y1) - y0;
        const int64_t n = std::max<int64_t>(std::max(std::llabs(dx), std::llabs(dy)), 1);
        const int64_t sx = dx * 65536 / n, sy = dy * 65536 / n;
        for (int64_t k = 0; k <= n; ++k)
            vexel_plot(M->screen, int32_t((int64_t(x0) * 65536 + 0x8000 + k * sx) >> 16),
                       int32_t((int64_t(y0) * 65536 + 0x8000 + k * sy) >> 16), 7, {});
        ASSERT_EQ(got, M->screen->pix) << x0 << "," << y0 << " - " << x1 << "," << y1 << " clip " << M->screen->clip_x0 << "," << M->screen->clip_y0 << "," << M->screen->clip_x1 << "," << M->screen->clip_y1;
    }
}

// Drawing the map is drawing each non-empty cell's sprite: the cell skips
// at the clip's edges must not drop or shift any cell.
TEST_F(Gfx, MapMatchesSpritesDrawnCellByCell) {
    std::mt19937 rng(5);
    for (auto& c : M->cart->map->pix) c = uint8_t(rng() % 4 ? rng() % 256 : 0);
    for (int i = 0; i < 300; ++i) {
        const int32_t cx = int32_t(rng() % 140) - 6, cy = int32_t(rng() % 70) - 3;
        const int32_t sx = int32_t(rng() % 300) - 150, sy = int32_t(rng() % 300) - 150;
        const int32_t cw = 1 + int32_t(rng() % 30), ch = 1 + int32_t(rng() % 30);
        const int32_t clx = int32_t(rng() % 128), cly = int32_t(rng() % 128);
        const int32_t clw = int32_t(rng() % 128), clh = int32_t(rng() % 128);
        vexel_cls(M, 0, 0);
        vexel_clip(M, 4, F(clx), F(cly), F(clw), F(clh));
        vexel_map(M, 6, F(cx), F(cy), F(sx), F(sy), F(cw), F(ch), 0);
        std::vector<uint8_t> got = M->screen->pix;
        vexel_cls(M, 0, 0);
        vexel_clip(M, 4, F(clx), F(cly), F(clw), F(clh));
        for (int32_t r = 0; r < ch; ++r)
            for (int32_t c = 0; c < cw; ++c) {
                const int32_t v = vexel_mget(M, 2, F(cx + c), F(cy + r));
                if (v) vexel_spr(M, 3, F(v), F(sx + 8 * c), F(sy + 8 * r), 0, 0, false, false);
            }
        ASSERT_EQ(got, M->screen->pix) << i;
    }
}

// spr, sspr and map copy whole runs of eight pixels at a time (map with
// vector instructions where the host has them, and without): checked
// against a model that decides each pixel alone, with several colours
// transparent, a remapped colour, a random screen underneath and clip edges
// that cut runs at every offset.
TEST_F(Gfx, BlitsKeepTheScreenUnderTransparentPixels) {
    std::mt19937 rng(11);
    for (auto& p : M->cart->gfx->pix) p = uint8_t(rng() % 16);
    for (auto& c : M->cart->map->pix) c = uint8_t(rng() % 256);
    vexel_palt(M, 2, F(0), true);
    vexel_palt(M, 2, F(5), true);
    vexel_palt(M, 2, F(11), true);
    vexel_pal(M, 2, F(3), F(14), 0);
    auto sheet = [](int32_t x, int32_t y) { return int(M->cart->gfx->pix[size_t(y) * 128 + size_t(x)]); };
    const bool host_vector = vexel_blit_vector;
    for (int i = 0; i < 400; ++i) {
        vexel_blit_vector = host_vector && i < 200;  // the second half takes the portable path
        for (auto& p : M->screen->pix) p = uint8_t(rng() % 16);
        const std::vector<uint8_t> under = M->screen->pix;
        const int32_t clx = int32_t(rng() % 40), cly = int32_t(rng() % 40);
        const int32_t clw = 40 + int32_t(rng() % 88), clh = 40 + int32_t(rng() % 88);
        vexel_clip(M, 4, F(clx), F(cly), F(clw), F(clh));
        const int32_t x = int32_t(rng() % 160) - 16, y = int32_t(rng() % 160) - 16;
        // The source pixel drawn at screen (px, py), or -1 where nothing is.
        std::function<int(int32_t, int32_t)> source;
        switch (i % 3) {
        case 0: {  // a sprite block up to 4 x 2 sprites, widths not all multiples of 8
            const int32_t w8 = 1 + int32_t(rng() % 4), n = int32_t(rng() % uint32_t(17 - w8));
            vexel_spr(M, 5, F(n), F(x), F(y), F(w8), F(2), false, false);
            source = [=](int32_t qx, int32_t qy) {
                const int32_t u = qx - x, v = qy - y;
                if (u < 0 || v < 0 || u >= 8 * w8 || v >= 16) return -1;
                return sheet(n * 8 + u, v);
            };
            break;
        }
        case 1: {  // sspr at twice the size: each sheet pixel a 2 x 2 square
            const int32_t sx = int32_t(rng() % 100), sy = int32_t(rng() % 100), sw = 1 + int32_t(rng() % 27);
            vexel_sspr(M, 8, F(sx), F(sy), F(sw), F(9), F(x), F(y), F(2 * sw), F(18), false, false);
            source = [=](int32_t qx, int32_t qy) {
                const int32_t u = qx - x, v = qy - y;
                if (u < 0 || v < 0 || u >= 2 * sw || v >= 18) return -1;
                return sheet(sx + u / 2, sy + v / 2);
            };
            break;
        }
        default: {  // map cells; cell 0 draws nothing
            const int32_t cx = int32_t(rng() % 100), cy = int32_t(rng() % 20);
            vexel_map(M, 6, F(cx), F(cy), F(x), F(y), F(6), F(5), 0);
            source = [=](int32_t qx, int32_t qy) {
                const int32_t u = qx - x, v = qy - y;
                if (u < 0 || v < 0 || u >= 48 || v >= 40) return -1;
                const int cell = M->cart->map->pix[size_t(cy + v / 8) * 128 + size_t(cx + u / 8)];
                if (cell == 0) return -1;
                return sheet(cell % 16 * 8 + u % 8, cell / 16 * 8 + v % 8);
            };
            break;
        }
        }
        for (int32_t qy = 0; qy < 128; ++qy)
            for (int32_t qx = 0; qx < 128; ++qx) {
                const bool clipped = qx < clx || qy < cly || qx >= clx + clw || qy >= cly + clh;
                const int c = clipped ? -1 : source(qx, qy);
                int want = under[size_t(qy) * 128 + size_t(qx)];
                if (c >= 0 && c != 0 && c != 5 && c != 11) want = c == 3 ? 14 : c;
                ASSERT_EQ(px(qx, qy), want) << "case " << i << " at " << qx << "," << qy;
            }
    }
    vexel_blit_vector = host_vector;
    vexel_clip(M, 0, 0, 0, 0, 0);
    vexel_pal(M, 0, 0, 0, 0);
}

TEST_F(Gfx, ChargesFollowTheVisibleWork) {
    EXPECT_EQ(charged([] { vexel_cls(M, 0, 0); }), 1024);
    EXPECT_EQ(charged([] { vexel_clip(M, 0, 0, 0, 0, 0); }), 16);
    EXPECT_EQ(charged([] { vexel_line(M, 5, F(0), F(0), F(100), F(10), F(7)); }), 100 / 2 + 1);
    // A line mostly off screen is charged only for the walk the skips leave.
    EXPECT_LT(charged([] { vexel_line(M, 5, F(-20000), F(5), F(20000), F(6), F(7)); }), 200);
    EXPECT_EQ(charged([] { vexel_line(M, 5, F(-10), F(200), F(50), F(300), F(7)); }), 1);
    // 64x64 filled: 4096 >> 4.
    EXPECT_EQ(charged([] { vexel_rectfill(M, 5, F(-10), F(-10), F(63), F(63), F(7)); }), 256);
    EXPECT_EQ(charged([] { vexel_rectfill(M, 5, F(200), F(0), F(300), F(10), F(7)); }), 1);
    // rect 0..40 x 0..20 fully inside: w = 40, h = 19.
    EXPECT_EQ(charged([] { vexel_rect(M, 5, F(0), F(0), F(40), F(20), F(7)); }), 2 * ((40 + 3) / 4) + 2 * (19 / 2));
    EXPECT_EQ(charged([] { vexel_rect(M, 5, F(200), F(0), F(300), F(10), F(7)); }), 0);
    EXPECT_EQ(charged([] { vexel_circ(M, 4, F(64), F(64), F(10), F(7)); }), 20 * 2 + 2);
    EXPECT_EQ(charged([] { vexel_circ(M, 4, F(64), F(300), F(10), F(7)); }), 0);
    EXPECT_EQ(charged([] { vexel_circ(M, 4, F(64), F(64), F(-3), F(7)); }), 0);
    // 21x21 square: 441 >> 4 = 27, plus 2r.
    EXPECT_EQ(charged([] { vexel_circfill(M, 4, F(64), F(64), F(10), F(7)); }), 20 + 27);
    EXPECT_EQ(charged([] { vexel_circfill(M, 4, F(64), F(64), F(-1), F(7)); }), 0);
    EXPECT_EQ(charged([] { vexel_spr(M, 3, F(1), F(-4), F(0), 0, 0, false, false); }), 32);
    EXPECT_EQ(charged([] { vexel_spr(M, 3, F(1), F(200), F(0), 0, 0, false, false); }), 1);
    EXPECT_EQ(charged([] { vexel_spr(M, 3, F(256), F(0), F(0), 0, 0, false, false); }), 0);
    EXPECT_EQ(charged([] { vexel_sspr(M, 8, 0, 0, F(8), F(8), F(120), F(0), F(16), F(16), false, false); }), 8 * 16);
    EXPECT_EQ(charged([] { vexel_sspr(M, 8, 0, 0, F(8), F(8), F(0), F(0), F(0), F(16), false, false); }), 0);
    EXPECT_EQ(charged([] { vexel_script_print(M, 1, "hello", 5, 0, 0, 0); }), 8 * 5 + 2);
    EXPECT_EQ(charged([] { vexel_pset(M, 3, F(1), F(1), F(1)); }), 0);
}

TEST_F(Gfx, MapDrawsNonZeroCellsOnItsLayerAndChargesVisiblePixels) {
    vexel_mset(M, 3, F(0), F(0), F(1));
    vexel_mset(M, 3, F(1), F(0), F(2));
    vexel_mset(M, 3, F(3), F(0), F(3));
    vexel_fset(M, 3, F(2), F(1), true);
    // Cells 0..3 of row 0; the empty cell 2 is skipped and not charged.
    EXPECT_EQ(charged([] { vexel_map(M, 6, 0, 0, 0, 0, F(4), F(1), 0); }), 3 * 64);
    EXPECT_EQ(px(1, 1), 0);   // colour 0 stays transparent
    EXPECT_EQ(px(8, 0), 3);   // sprite 2's border
    EXPECT_EQ(px(24, 0), 4);  // sprite 3's border
    vexel_cls(M, 0, 0);
    EXPECT_EQ(charged([] { vexel_map(M, 7, 0, 0, 0, 0, F(4), F(1), F(2)); }), 64);
    EXPECT_EQ(px(0, 0), 0);
    EXPECT_EQ(px(8, 0), 3);
    EXPECT_EQ(charged([] { vexel_map(M, 5, 0, 0, 0, 0, F(4), 0, 0); }), 0);  // missing height
    EXPECT_EQ(charged([] { vexel_map(M, 6, 0, 0, 0, 0, F(-1), F(4), 0); }), 0);
    // Cells beyond the map read as empty; far-off positions cost little.
    EXPECT_EQ(charged([] { vexel_map(M, 6, F(-5), F(-5), F(-30000), F(-30000), F(30000), F(30000), 0); }), 1);
    vexel_camera(M, 2, F(-8), F(0));
    vexel_map(M, 6, 0, 0, 0, 0, F(1), F(1), 0);
    EXPECT_EQ(px(8, 0), 2);  // sprite 1 moved by the camera
}

// Flips, sizes, transparency and the sheet's edge are in the golden scene;
// here the argument counts that must draw nothing or ignore a flip.
TEST_F(Gfx, SpritesFollowTheirArgumentRules) {
    vexel_cls(M, 1, F(13));
    vexel_spr(M, 4, F(1), F(0), F(0), F(2), 0, false, false);  // height missing
    vexel_spr(M, 3, F(-1), F(0), F(0), 0, 0, false, false);
    vexel_spr(M, 3, F(256), F(0), F(0), 0, 0, false, false);
    vexel_spr(M, 5, F(1), F(0), F(0), F(0), F(1), false, false);
    EXPECT_EQ(count_colour(13), 128 * 128);
    // Flip arguments are read only when that many were given.
    vexel_cls(M, 0, 0);
    vexel_spr(M, 5, F(1), F(0), F(0), F(1), F(1), true, true);
    EXPECT_EQ(px(5, 5), 7);
    vexel_spr(M, 6, F(1), F(8), F(0), F(1), F(1), true, true);
    EXPECT_EQ(px(8 + 2, 5), 7);
    // Box sizes are floor(size x 8) pixels, so fractions of a sprite count
    // to the pixel: 0.45 -> 3 columns, 0.1 -> none, 1.5 -> 12.
    const vexel_fix w045 = vexel_fix(29491), w01 = vexel_fix(6554), w15 = vexel_fix(98304);
    EXPECT_EQ(charged([&] { vexel_spr(M, 5, F(1), F(0), F(0), w045, F(1), false, false); }), 3 * 8);
    EXPECT_EQ(charged([&] { vexel_spr(M, 5, F(1), F(0), F(0), w01, F(1), false, false); }), 0);
    EXPECT_EQ(charged([&] { vexel_spr(M, 5, F(1), F(0), F(0), F(1), w15, false, false); }), 8 * 12);
}

TEST_F(Gfx, SheetMapAndFlagAccessKeepTheSharedHalfInStep) {
    vexel_sset(M, 3, F(0), F(64), F(5));
    EXPECT_EQ(vexel_mget(M, 2, F(0), F(32)) & 15, 5);
    EXPECT_EQ(vexel_sget(M, 2, F(0), F(64)), 5);
    vexel_sset(M, 3, F(1), F(64), F(0x1a));
    EXPECT_EQ(vexel_mget(M, 2, F(0), F(32)), 0xa5);
    EXPECT_EQ(M->ram[0x1000], 0xa5);
    vexel_sset(M, 2, F(1), F(64), 0);  // colour defaults to 0
    EXPECT_EQ(vexel_mget(M, 2, F(0), F(32)), 0x05);
    vexel_mset(M, 3, F(1), F(40), F(0x23));
    EXPECT_EQ(vexel_sget(M, 2, F(2), F(80)), 3);
    EXPECT_EQ(vexel_sget(M, 2, F(3), F(80)), 2);
    vexel_mset(M, 3, F(127), F(63), F(0x4f));
    EXPECT_EQ(vexel_sget(M, 2, F(126), F(127)), 15);
    EXPECT_EQ(vexel_sget(M, 2, F(127), F(127)), 4);
    vexel_mset(M, 3, F(5), F(5), F(300));
    EXPECT_EQ(vexel_mget(M, 2, F(5), F(5)), 300 & 0xff);
    // Out of range: reads 0, writes nothing.
    EXPECT_EQ(vexel_mget(M, 2, F(0), F(64)), 0);
    EXPECT_EQ(vexel_mget(M, 2, F(-1), F(0)), 0);
    EXPECT_EQ(vexel_sget(M, 2, F(-1), F(0)), 0);
    EXPECT_EQ(vexel_sget(M, 2, F(128), F(0)), 0);
    vexel_sset(M, 3, F(128), F(0), F(1));
    vexel_sset(M, 3, F(0), F(-1), F(1));
    vexel_mset(M, 3, F(0), F(64), F(1));
    vexel_mset(M, 3, F(-1), F(64), F(1));

    vexel_fset(M, 2, F(1), F(3), false);
    EXPECT_EQ(vexel_fget(M, 1, F(1), 0).value, 3);
    vexel_fset(M, 3, F(1), F(3), true);
    vexel_fget_result r = vexel_fget(M, 2, F(1), F(3));
    EXPECT_EQ(r.kind, vexel_fget_result::boolean);
    EXPECT_EQ(r.value, 1);
    r = vexel_fget(M, 1, F(1), 0);
    EXPECT_EQ(r.kind, vexel_fget_result::number);
    EXPECT_EQ(r.value, 11);
    EXPECT_EQ(vexel_fget(M, 0, 0, 0).kind, vexel_fget_result::none);
    EXPECT_EQ(vexel_fget(M, 1, F(256), 0).value, 0);
    EXPECT_EQ(vexel_fget(M, 2, F(1), F(8)).value, 0);
    EXPECT_EQ(vexel_fget(M, 2, F(1), F(-1)).value, 0);
    vexel_fset(M, 3, F(1), F(0), false);
    vexel_fset(M, 3, F(1), F(9), true);   // flag above 7: nothing
    vexel_fset(M, 3, F(1), F(-1), true);
    vexel_fset(M, 3, F(-1), F(1), true);
    vexel_fset(M, 1, F(1), 0, false);
    EXPECT_EQ(vexel_fget(M, 1, F(1), 0).value, 10);
    vexel_fset(M, 2, F(2), F(0x1ff), false);
    EXPECT_EQ(vexel_fget(M, 1, F(2), 0).value, 0xff);
}

TEST_F(Gfx, PrintMovesTheCursorOnlyWhenGivenTextAlone) {
    vexel_script_print(M, 1, "hi", 2, 0, 0, 0);
    EXPECT_EQ(M->cursor_y, 6);
    EXPECT_GT(count_colour(6), 0);
    vexel_script_print(M, 3, "hi", 2, F(10), F(20), 0);
    EXPECT_EQ(M->cursor_x, 10);
    EXPECT_EQ(M->cursor_y, 20);
    vexel_script_print(M, 2, "hi", 2, F(5), 0, 0);
    EXPECT_EQ(M->cursor_x, 10);
    EXPECT_EQ(M->cursor_y, 20);
    vexel_script_print(M, 4, "hi", 2, F(0), F(40), F(8));
    EXPECT_EQ(M->pen_col, 8);
    vexel_script_print(M, 3, "hi", 2, F(0), F(50), 0);
    EXPECT_EQ(px(0, 50), 8);  // the pen colour stuck
    // As version 15 cartridges run: print(s, x, y) leaves the cursor at x
    // below the text, for a following print(t).
    M->print_xy_moves_cursor = 1;
    vexel_script_print(M, 3, "hi", 2, F(10), F(20), 0);
    EXPECT_EQ(M->cursor_x, 10);
    EXPECT_EQ(M->cursor_y, 26);
    vexel_script_print(M, 3, "a\nb", 3, F(-3), F(120), 0);  // two lines, off the bottom: no scrolling
    EXPECT_EQ(M->cursor_x, -3);
    EXPECT_EQ(M->cursor_y, 132);
    vexel_script_print(M, 2, "hi", 2, F(5), 0, 0);  // without y: where it was
    EXPECT_EQ(M->cursor_y, 132);
    M->print_xy_moves_cursor = 0;
    M->cursor_y = 60;
    vexel_script_print(M, 1, "two\nlines", 9, 0, 0, 0);
    EXPECT_EQ(M->cursor_y, 72);
    vexel_script_print(M, 0, "x", 1, 0, 0, 0);
    EXPECT_EQ(M->cursor_y, 72);

    // The message of stop() wraps at the clip's edge: 40 glyphs make two
    // lines and move the cursor twice.
    const std::string forty(40, 'A');
    M->cursor_y = 0;
    vexel_script_print(M, 1, forty.c_str(), forty.size(), 0, 0, 0);
    EXPECT_EQ(M->cursor_y, 6);
    vexel_script_print(M, 1, forty.c_str(), forty.size(), 0, 0, 0, true);
    EXPECT_EQ(M->cursor_y, 18);

    // Printing at the bottom scrolls the screen and keeps the cursor.
    vexel_cls(M, 0, 0);
    M->screen->pix[10 * 128 + 3] = 9;
    M->cursor_y = 117;
    vexel_script_print(M, 1, "x", 1, 0, 0, 0);
    EXPECT_EQ(M->cursor_y, 117);
    EXPECT_EQ(px(3, 4), 9);
    EXPECT_EQ(px(3, 10), 0);
}

TEST_F(Gfx, EndlessNewlinesCostBudgetNotTime) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += "x\n";
    M->cursor_y = 0;
    const int64_t c = charged([&] { vexel_script_print(M, 1, text.c_str(), text.size(), 0, 0, 0); });
    // Every line feed past the bottom is charged as a scroll.
    EXPECT_GT(c, int64_t(99000) * 65536);
    EXPECT_EQ(M->cursor_y, 120);
}

TEST_F(Gfx, ConsoleMessagesWrapAt32Characters) {
    std::string forty(40, 'A');
    M->cursor_y = 0;
    vexel_print_col(M, forty.c_str(), 7);
    EXPECT_EQ(M->cursor_y, 12);
    // 32 glyphs of 4 pixels on row 0, the other 8 on row 6.
    EXPECT_EQ(px(124, 0), 7);
    EXPECT_EQ(px(28, 6), 7);
    EXPECT_EQ(px(32, 6), 0);
    // The clear covers the lines the message needs, even where no glyph is.
    for (int x = 40; x < 128; ++x) M->screen->pix[size_t(12 * 128 + x)] = 5;
    vexel_print_col(M, "B", 7);
    EXPECT_EQ(px(100, 12), 0);
}

TEST_F(Gfx, FrameworkFontsComeFromTheirTable) {
    ASSERT_NE(fenn_font1, nullptr);
    ASSERT_NE(fenn_font2, nullptr);
    EXPECT_EQ(fenn_font_glyph(fenn_font1, 31), nullptr);
    EXPECT_EQ(fenn_font_glyph(fenn_font1, 128), nullptr);
    for (int code = 33; code < 128; ++code) {
        const fenn_bitmap* g1 = fenn_font_glyph(fenn_font1, code);
        const fenn_bitmap* g2 = fenn_font_glyph(fenn_font2, code);
        const fenn_bitmap* g32 = fenn_pod_get_bitmap(fenn_font1, 256 + code);
        ASSERT_TRUE(g1 && g2 && g32) << code;
        ASSERT_EQ(g1->w, 5);
        ASSERT_EQ(g2->w, 6);
        ASSERT_EQ(g32->depth, 32);
        // The 8-bit and 32-bit glyphs of a code show the same pixels.
        for (int i = 0; i < 25; ++i) ASSERT_EQ(g1->pix[size_t(i)] != 0, g32->pix32()[i] != 0) << code;
    }
    EXPECT_EQ(fenn_get_text_width("ab", fenn_font1), 11);
    EXPECT_EQ(fenn_get_text_width("", fenn_font1), -1);
}

// Every printable code needs a glyph of its own: a blank or a duplicate
// glyph is a slip in a table.
TEST_F(Gfx, FontTablesGiveEveryCodeItsOwnGlyph) {
    auto check = [](const uint8_t* table, const char* name) {
        for (int a = 1; a < 96; ++a) {
            bool blank = true;
            for (int r = 0; r < 5; ++r) blank &= table[a * 5 + r] == 0;
            EXPECT_FALSE(blank) << name << " code " << a + 32;
            for (int b = 1; b < a; ++b)
                EXPECT_NE(std::memcmp(table + a * 5, table + b * 5, 5), 0) << name << " codes " << a + 32 << " and " << b + 32;
        }
    };
    check(fenn_font1_dat, "fenn_font1_dat");
    check(vexel_console_font_dat, "vexel_console_font_dat");
    // The console font advances 4 pixels and lines are 6 apart.
    fenn_pod* font = vexel_create_console_font();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(fenn_pod_item_count(font), 256);
    EXPECT_EQ(fenn_get_text_width("abcd", font), 15);
    EXPECT_EQ(fenn_font_glyph(font, 'A')->h, 5);
    fenn_destroy_pod(font);
}

TEST_F(Gfx, ElidedTextLeavesTheClipAsItWas) {
    fenn_set_clip(M->screen, 20, 0, 30, 128);
    fenn_draw_text_ex(M->screen, "far too long for the clip", fenn_font1, 20, 10,
                      fenn_text_single_colour | fenn_text_keep_inside, 7);
    EXPECT_EQ(M->screen->clip_x0, 20);
    EXPECT_EQ(M->screen->clip_x1, 30);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            if (px(x, y)) {
                ASSERT_TRUE(x >= 20 && x < 30 && y >= 10 && y < 15) << x << "," << y;
            }
    EXPECT_EQ(px(22, 14), 7);  // the elision mark's first dot, at the clip's left edge
}

// pset takes a shorter path than the other drawing calls (the clip test
// first, one palette lookup): a point drawn with it is the one-pixel
// rectangle rectfill draws, under every camera, clip, palette, pen and
// fill pattern, and for points anywhere.
TEST_F(Gfx, PsetDrawsWhatAOnePixelRectangleDraws) {
    std::mt19937 rng(11);
    const vexel_fix far[] = {INT32_MAX, INT32_MIN, F(32767), F(-32768), F(128), F(-1), Fd(-0.5), Fd(127.99)};
    auto coord = [&] { return rng() % 4 == 0 ? far[rng() % 8] : vexel_fix(int32_t(rng() % (160 << 16)) - (16 << 16)); };
    std::vector<uint8_t> before(M->screen->pix.size());
    for (int i = 0; i < 3000; ++i) {
        if (i % 20 == 0) {
            vexel_camera(M, 2, F(int32_t(rng() % 40) - 20), F(int32_t(rng() % 40) - 20));
            vexel_clip(M, 4, F(int32_t(rng() % 60)), F(int32_t(rng() % 60)), F(int32_t(rng() % 100)), F(int32_t(rng() % 100)));
            vexel_pal(M, 2, F(int32_t(rng() % 16)), F(int32_t(rng() % 16)), 0);
            vexel_fillp(M, 1, vexel_fix(rng() % 0x30000u));
        }
        const vexel_fix x = coord(), y = coord();
        const int argc = 2 + int(rng() % 2);
        const vexel_fix c = F(int32_t(rng() % 512) - 128);
        if (argc == 2) vexel_color(M, 1, c);
        std::memcpy(before.data(), M->screen->pix.data(), before.size());
        vexel_pset(M, argc, x, y, c);
        const std::vector<uint8_t> by_pset = M->screen->pix;
        std::memcpy(M->screen->pix.data(), before.data(), before.size());
        vexel_rectfill(M, argc == 3 ? 5 : 4, x, y, x, y, c);
        ASSERT_EQ(by_pset, M->screen->pix) << i;
    }
}

TEST_F(Gfx, HostileArgumentsNeverReachOutsideTheScreen) {
    const vexel_fix values[] = {0,          F(1),       F(-1),       F(127),     F(128),      F(-128),
                                F(32767),   F(-32768),  INT32_MAX,   INT32_MIN,  Fd(0.5),     F(255),
                                F(256),     F(64),      F(-20000),   F(20000),   1,           -1};
    std::mt19937 rng(7);
    auto v = [&] { return values[rng() % (sizeof values / sizeof values[0])]; };
    for (int i = 0; i < 4000; ++i) {
        const int argc = int(rng() % 11);
        switch (rng() % 16) {
        case 0: vexel_line(M, argc, v(), v(), v(), v(), v()); break;
        case 1: vexel_rect(M, argc, v(), v(), v(), v(), v()); break;
        case 2: vexel_rectfill(M, argc, v(), v(), v(), v(), v()); break;
        case 3: vexel_circ(M, argc, v(), v(), v(), v()); break;
        case 4: vexel_circfill(M, argc, v(), v(), v(), v()); break;
        case 5: vexel_spr(M, argc, v(), v(), v(), v(), v(), rng() & 1, rng() & 1); break;
        case 6: vexel_sspr(M, argc, v(), v(), v(), v(), v(), v(), v(), v(), rng() & 1, rng() & 1); break;
        case 7: vexel_map(M, argc, v(), v(), v(), v(), v(), v(), v()); break;
        case 8: vexel_camera(M, argc, v(), v()); break;
        case 9: vexel_clip(M, argc, v(), v(), v(), v()); break;
        case 10: vexel_pal(M, argc, v(), v(), v()); break;
        case 11: vexel_fillp(M, argc, v()); break;
        case 12: vexel_sset(M, argc, v(), v(), v()); vexel_mset(M, argc, v(), v(), v()); break;
        case 13: vexel_fset(M, argc, v(), v(), rng() & 1); (void)vexel_fget(M, argc, v(), v()); break;
        case 14: (void)vexel_pget(M, argc, v(), v()); vexel_pset(M, argc, v(), v(), v()); break;
        case 15: vexel_script_print(M, argc, "hostile\ntext", 12, v(), v(), v()); break;
        }
    }
    for (uint8_t p : M->screen->pix) ASSERT_LT(p, 16);
    for (uint8_t p : M->cart->gfx->pix) ASSERT_LT(p, 16);
}

TEST_F(Gfx, WithoutScreenOrCartridgeNothingBreaks) {
    fenn_bitmap* s = M->screen;
    vexel_cart* c = M->cart;
    M->screen = nullptr;
    M->cart = nullptr;
    vexel_cls(M, 1, F(3));
    vexel_line(M, 5, 0, 0, F(5), F(5), F(7));
    vexel_circfill(M, 4, 0, 0, F(5), F(7));
    vexel_spr(M, 3, F(1), 0, 0, 0, 0, false, false);
    vexel_map(M, 4, 0, 0, 0, 0, 0, 0, 0);
    vexel_mset(M, 3, 0, 0, F(3));
    EXPECT_EQ(vexel_sget(M, 2, 0, 0), 0);
    EXPECT_EQ(vexel_fget(M, 1, F(1), 0).value, 0);
    vexel_script_print(M, 1, "x", 1, 0, 0, 0);
    M->screen = s;
    M->cart = c;
}

}  // namespace
