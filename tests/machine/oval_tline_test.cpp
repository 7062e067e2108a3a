// Ovals and textured lines: exact pixels on small cases worked out by hand,
// the shape rules (symmetry, touching the box) over many boxes, and tline's
// map lookup, wrap registers, palette and charges against line.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "gfx_scene.h"
#include "machine/machine.h"
#include "machine/mem.h"
#include "machine/sprite.h"

namespace {

using namespace gfx_test;

// The w x h screen area at (x, y) as rows of '#' (colour c) and '.' (any
// other colour).
std::vector<std::string> picture(int x, int y, int w, int h, int c) {
    std::vector<std::string> rows;
    for (int j = 0; j < h; ++j) {
        std::string row;
        for (int i = 0; i < w; ++i) row += px(x + i, y + j) == c ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

// The colours of screen row y from x0 to x1.
std::vector<int> row_of(int y, int x0, int x1) {
    std::vector<int> out;
    for (int x = x0; x <= x1; ++x) out.push_back(px(x, y));
    return out;
}

class Shapes : public ::testing::Test {
protected:
    void SetUp() override { set_up(); }
    void TearDown() override { tear_down(); }
    template <class F>
    int64_t charged(F f) {
        int64_t before = M->draw_cycles;
        f();
        return M->draw_cycles - before;
    }
};

// ---------------------------------------------------------------- ovals

TEST_F(Shapes, OvalsOfSmallBoxesHitTheExpectedPixels) {
    vexel_ovalfill(M, 5, F(0), F(0), F(4), F(4), F(7));
    EXPECT_EQ(picture(0, 0, 5, 5, 7), (std::vector<std::string>{".###.", "#####", "#####", "#####", ".###."}));
    vexel_cls(M, 0, 0);
    vexel_oval(M, 5, F(0), F(0), F(4), F(4), F(7));
    EXPECT_EQ(picture(0, 0, 5, 5, 7), (std::vector<std::string>{".###.", "#...#", "#...#", "#...#", ".###."}));

    // An even-sized box: its centre lies between pixels, and both halves
    // mirror each other.
    vexel_cls(M, 0, 0);
    vexel_ovalfill(M, 5, F(0), F(0), F(7), F(3), F(7));
    EXPECT_EQ(picture(0, 0, 8, 4, 7), (std::vector<std::string>{".######.", "########", "########", ".######."}));
    vexel_cls(M, 0, 0);
    vexel_oval(M, 5, F(0), F(0), F(7), F(3), F(7));
    EXPECT_EQ(picture(0, 0, 8, 4, 7), (std::vector<std::string>{".######.", "#......#", "#......#", ".######."}));

    // 11x11: the trims of (u^2 + v^2) * 121 <= 121^2 in half pixels.
    const std::vector<std::string> ring = {
        "...#####...", "..#.....#..", ".#.......#.", "#.........#", "#.........#", "#.........#",
        "#.........#", "#.........#", ".#.......#.", "..#.....#..", "...#####...",
    };
    vexel_cls(M, 0, 0);
    vexel_oval(M, 5, F(20), F(20), F(30), F(30), F(7));
    EXPECT_EQ(picture(20, 20, 11, 11, 7), ring);
    EXPECT_EQ(count_colour(7), 28);
    // The corners in any order give the same pixels.
    for (auto [xa, ya, xb, yb] : {std::array<int, 4>{30, 30, 20, 20}, {20, 30, 30, 20}, {30, 20, 20, 30}}) {
        vexel_cls(M, 0, 0);
        vexel_oval(M, 5, F(xa), F(ya), F(xb), F(yb), F(7));
        EXPECT_EQ(picture(20, 20, 11, 11, 7), ring);
    }
}

TEST_F(Shapes, ThinBoxesAreLinesAndPixels) {
    vexel_oval(M, 5, F(3), F(2), F(3), F(9), F(7));  // one pixel wide
    EXPECT_EQ(count_colour(7), 8);
    for (int y = 2; y <= 9; ++y) EXPECT_EQ(px(3, y), 7);
    vexel_cls(M, 0, 0);
    vexel_ovalfill(M, 5, F(9), F(5), F(2), F(5), F(7));  // one pixel high
    EXPECT_EQ(count_colour(7), 8);
    for (int x = 2; x <= 9; ++x) EXPECT_EQ(px(x, 5), 7);
    vexel_cls(M, 0, 0);
    vexel_oval(M, 5, F(4), F(4), F(4), F(4), F(7));
    vexel_ovalfill(M, 5, F(6), F(4), F(6), F(4), F(7));
    EXPECT_EQ(count_colour(7), 2);
    EXPECT_EQ(px(4, 4), 7);
    EXPECT_EQ(px(6, 4), 7);
    // Two wide and tall: the ellipse alone would leave the end rows empty;
    // every row keeps its middle pixels instead.
    vexel_cls(M, 0, 0);
    vexel_ovalfill(M, 5, F(0), F(0), F(1), F(9), F(7));
    EXPECT_EQ(count_colour(7), 20);
}

// Over many boxes: both axes mirror, the shape turned on its side is the
// shape of the turned box, it touches all four sides of the box and never
// leaves it, and the outline lies on the filled shape's border.
TEST_F(Shapes, OvalsAreSymmetricAndTouchTheirBox) {
    std::mt19937 rng(21);
    for (int n = 0; n < 400; ++n) {
        const int w = 1 + int(rng() % 48), h = 1 + int(rng() % 48);
        for (int filled = 0; filled < 2; ++filled) {
            auto draw = [&](int bw, int bh) {
                vexel_cls(M, 0, 0);
                if (filled) vexel_ovalfill(M, 5, F(10), F(10), F(10 + bw - 1), F(10 + bh - 1), F(7));
                else vexel_oval(M, 5, F(10), F(10 + bh - 1), F(10 + bw - 1), F(10), F(7));
                return picture(10, 10, 48, 48, 7);
            };
            const std::vector<std::string> p = draw(w, h), turned = draw(h, w);
            bool top = false, bottom = false, left = false, right = false;
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 48; ++x) {
                    const bool on = p[y][x] == '#';
                    if (x >= w || y >= h) {
                        ASSERT_FALSE(on) << w << "x" << h << " leaves its box at " << x << "," << y;
                        continue;
                    }
                    ASSERT_EQ(on, p[y][w - 1 - x] == '#') << w << "x" << h << " at " << x << "," << y;
                    ASSERT_EQ(on, p[h - 1 - y][x] == '#') << w << "x" << h << " at " << x << "," << y;
                    ASSERT_EQ(on, turned[x][y] == '#') << w << "x" << h << " at " << x << "," << y;
                    top |= on && y == 0;
                    bottom |= on && y == h - 1;
                    left |= on && x == 0;
                    right |= on && x == w - 1;
                }
            EXPECT_TRUE(top && bottom && left && right) << w << "x" << h;
        }
        // Outline pixels are filled pixels with a 4-neighbour outside.
        vexel_cls(M, 0, 0);
        vexel_ovalfill(M, 5, F(10), F(10), F(10 + w - 1), F(10 + h - 1), F(7));
        vexel_oval(M, 5, F(10), F(10), F(10 + w - 1), F(10 + h - 1), F(8));
        for (int y = 9; y <= 10 + h; ++y)
            for (int x = 9; x <= 10 + w; ++x) {
                if (px(x, y) == 0) continue;
                const bool border = px(x - 1, y) == 0 || px(x + 1, y) == 0 || px(x, y - 1) == 0 || px(x, y + 1) == 0;
                ASSERT_EQ(px(x, y) == 8, border) << w << "x" << h << " at " << x << "," << y;
            }
    }
}

TEST_F(Shapes, OvalsUseClipCameraPaletteAndPattern) {
    vexel_ovalfill(M, 5, F(20), F(20), F(30), F(30), F(7));
    const std::vector<std::string> disc = picture(20, 20, 11, 11, 7);
    vexel_cls(M, 0, 0);
    vexel_camera(M, 2, F(-5), F(3));
    vexel_pal(M, 2, F(8), F(7), 0);
    vexel_ovalfill(M, 5, F(15), F(23), F(25), F(33), F(8));
    EXPECT_EQ(picture(20, 20, 11, 11, 7), disc);
    EXPECT_EQ(M->pen_col, 8);
    vexel_camera(M, 0, 0, 0);
    vexel_pal(M, 0, 0, 0, 0);

    // The clip cuts the shape; what is left is exactly the part inside it.
    vexel_cls(M, 0, 0);
    vexel_clip(M, 4, F(25), F(18), F(20), F(8));
    vexel_ovalfill(M, 4, F(20), F(20), F(30), F(30), 0);  // no colour: the pen's
    for (int y = 18; y < 34; ++y)
        for (int x = 18; x < 34; ++x) {
            const bool inside = x >= 25 && y < 26 && x < 31 && y >= 20 && disc[y - 20][x - 20] == '#';
            ASSERT_EQ(px(x, y) == 8, inside) << x << "," << y;
        }
    vexel_clip(M, 0, 0, 0, 0, 0);

    // The fill pattern works as the span rule: 1 bits take the high nibble.
    vexel_cls(M, 0, 0);
    vexel_fillp(M, 1, F(0x5a5a));
    vexel_ovalfill(M, 5, F(20), F(20), F(30), F(30), F(0x1c));
    vexel_fillp(M, 0, 0);
    for (int y = 20; y <= 30; ++y)
        for (int x = 20; x <= 30; ++x) {
            if (disc[y - 20][x - 20] != '#') continue;
            const int bit = (0x5a5a >> (15 - ((y & 3) * 4 + (x & 3)))) & 1;
            ASSERT_EQ(px(x, y), bit ? 1 : 12) << x << "," << y;
        }
}

TEST_F(Shapes, OvalsChargeAsCirclesOfTheirBox) {
    EXPECT_EQ(charged([] { vexel_oval(M, 5, F(0), F(0), F(10), F(10), F(7)); }), 10 * 2 + 2);
    EXPECT_EQ(charged([] { vexel_oval(M, 5, F(0), F(-20), F(10), F(10), F(7)); }), 10 * 2 + 2);
    EXPECT_EQ(charged([] { vexel_oval(M, 5, F(0), F(200), F(10), F(300), F(7)); }), 0);
    // 11x7 box: radius 5, area 77 >> 4.
    EXPECT_EQ(charged([] { vexel_ovalfill(M, 5, F(0), F(0), F(10), F(6), F(7)); }), 10 + 4);
    EXPECT_EQ(charged([] { vexel_ovalfill(M, 5, F(0), F(200), F(10), F(206), F(7)); }), 10);
    // Far outside or enormous: nothing drawn that should not be, and the
    // walk stays within the clip's rows.
    vexel_cls(M, 0, 0);
    vexel_ovalfill(M, 5, F(-32768), F(-32768), F(32767), F(32767), F(7));
    EXPECT_EQ(count_colour(7), 128 * 128);
    vexel_cls(M, 0, 0);
    vexel_oval(M, 5, F(-32768), F(-32768), F(32767), F(32767), F(7));
    EXPECT_EQ(count_colour(7), 0);
}

// ---------------------------------------------------------------- tline

class Tline : public Shapes {
protected:
    void SetUp() override {
        Shapes::SetUp();
        // Sprite 1: colour (x + 3y) mod 16 at (x, y), so 0 (transparent)
        // at (0,0), (4,4), (7,3) and (1,5). Sprite 2: solid 9.
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                vexel_sset(M, 3, F(8 + x), F(y), F((x + 3 * y) % 16));
                vexel_sset(M, 3, F(16 + x), F(y), F(9));
            }
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 128; ++x) vexel_mset(M, 3, F(x), F(y), 0);
        vexel_mset(M, 3, F(1), F(0), F(1));
        vexel_mset(M, 3, F(2), F(0), F(2));
        vexel_fset(M, 2, F(1), F(1), false);
        vexel_fset(M, 2, F(2), F(3), false);
        vexel_cls(M, 1, F(12));
    }
    // tline with every argument given.
    void tline(double x0, double y0, double x1, double y1, double mx, double my, double mdx = 0.125, double mdy = 0,
               int layers = 0) {
        vexel_tline(M, 9, Fd(x0), Fd(y0), Fd(x1), Fd(y1), Fd(mx), Fd(my), Fd(mdx), Fd(mdy), F(layers));
    }
};

TEST_F(Tline, WalksTheSpriteInTheMapCell) {
    // Row 0 of sprite 1 from cell (1, 0), pixel 0 transparent.
    tline(0, 0, 7, 0, 1, 0);
    EXPECT_EQ(row_of(0, 0, 7), (std::vector<int>{12, 1, 2, 3, 4, 5, 6, 7}));
    // Sixteen pixels run on into cell (2, 0).
    tline(0, 1, 15, 1, 1, 0);
    EXPECT_EQ(row_of(1, 8, 15), (std::vector<int>{9, 9, 9, 9, 9, 9, 9, 9}));
    // Steps of two sheet pixels along row 4 of sprite 1 (12 13 14 15 0 1 2
    // 3), then on into cell (2, 0).
    tline(0, 2, 7, 2, 1, 0.5, 0.25, 0);
    EXPECT_EQ(row_of(2, 0, 7), (std::vector<int>{12, 14, 12, 2, 9, 9, 9, 9}));
    // The diagonal of sprite 1: 4i mod 16, transparent at 0 and 4.
    vexel_cls(M, 1, F(12));
    tline(0, 0, 7, 7, 1, 0, 0.125, 0.125);
    std::vector<int> diagonal;
    for (int i = 0; i < 8; ++i) diagonal.push_back(px(i, i));
    EXPECT_EQ(diagonal, (std::vector<int>{12, 4, 8, 12, 12, 4, 8, 12}));
    // From right to left and from bottom to top the texture still starts
    // at (x0, y0).
    vexel_cls(M, 1, F(12));
    tline(7, 0, 0, 0, 1, 0);
    EXPECT_EQ(row_of(0, 0, 7), (std::vector<int>{7, 6, 5, 4, 3, 2, 1, 12}));
    tline(0, 7, 0, 0, 1, 0, 0, 0.125);
    std::vector<int> column;
    for (int y = 7; y >= 0; --y) column.push_back(px(0, y));
    EXPECT_EQ(column, (std::vector<int>{12, 3, 6, 9, 12, 15, 2, 5}));
    // A line of one point takes one texel, not the next.
    tline(3, 3, 3, 3, 1.125, 0);
    EXPECT_EQ(px(3, 3), 1);
}

TEST_F(Tline, SkipsSpriteZeroOtherLayersAndCellsOffTheMap) {
    tline(0, 0, 7, 0, 0, 0);  // cell (0, 0) holds sprite 0, which has pixels
    vexel_mset(M, 3, F(127), F(0), F(2));
    tline(0, 1, 7, 1, 127.5, 0);  // runs off the map's right edge at pixel 4
    EXPECT_EQ(row_of(1, 0, 7), (std::vector<int>{9, 9, 9, 9, 12, 12, 12, 12}));
    tline(0, 2, 7, 2, -1, 0);
    tline(0, 3, 7, 3, 1, 64);
    EXPECT_EQ(count_colour(12), 128 * 128 - 4);
    // Layers: every bit must be among the sprite's flags (1 has 1, 2 has 3).
    tline(0, 4, 15, 4, 1, 0, 0.125, 0, 2);
    EXPECT_EQ(row_of(4, 0, 15), (std::vector<int>{12, 12, 12, 12, 12, 12, 12, 12, 9, 9, 9, 9, 9, 9, 9, 9}));
    tline(0, 5, 15, 5, 1, 0, 0.125, 0, 1);
    EXPECT_EQ(px(1, 5), 1);
    EXPECT_EQ(px(8, 5), 9);
    tline(0, 6, 15, 6, 1, 0, 0.125, 0, 4);
    EXPECT_EQ(count_colour(12), 128 * 128 - 4 - 8 - 15);
}

TEST_F(Tline, WrapAndOffsetRegistersMoveTheWindow) {
    // Wrap two cells wide: cell 5 is cell 1, and -1 is cell 1 too.
    vexel_poke(M, M->cart, int32_t(vexel_reg_tline_wrap_w), 2);
    tline(0, 0, 7, 0, 5, 0);
    EXPECT_EQ(row_of(0, 0, 7), (std::vector<int>{12, 1, 2, 3, 4, 5, 6, 7}));
    tline(0, 1, 7, 1, -1, 0);
    EXPECT_EQ(row_of(1, 0, 7), (std::vector<int>{12, 1, 2, 3, 4, 5, 6, 7}));
    // A wrap of one cell plus an offset of 2: every x is cell 2.
    vexel_poke(M, M->cart, int32_t(vexel_reg_tline_wrap_w), 1);
    vexel_poke(M, M->cart, int32_t(vexel_reg_tline_offset_x), 2);
    tline(0, 2, 7, 2, 40.5, 0);
    EXPECT_EQ(row_of(2, 0, 7), (std::vector<int>(8, 9)));
    // The offset alone, without a wrap, and past the map's edge.
    vexel_poke(M, M->cart, int32_t(vexel_reg_tline_wrap_w), 0);
    vexel_poke(M, M->cart, int32_t(vexel_reg_tline_offset_x), 1);
    tline(0, 3, 7, 3, 0, 0);
    EXPECT_EQ(row_of(3, 0, 7), (std::vector<int>{12, 1, 2, 3, 4, 5, 6, 7}));
    tline(0, 4, 7, 4, 127, 0);
    EXPECT_EQ(row_of(4, 0, 7), (std::vector<int>(8, 12)));
    // The same in y: rows wrap four high and move down by 3.
    vexel_poke(M, M->cart, int32_t(vexel_reg_tline_offset_x), 0);
    vexel_mset(M, 3, F(1), F(3), F(2));
    vexel_poke(M, M->cart, int32_t(vexel_reg_tline_wrap_h), 4);
    vexel_poke(M, M->cart, int32_t(vexel_reg_tline_offset_y), 3);
    tline(0, 5, 7, 5, 1, 12);
    EXPECT_EQ(row_of(5, 0, 7), (std::vector<int>(8, 9)));
    // They read back as written, and a program starts without them.
    EXPECT_EQ(vexel_peek(M, M->cart, 0x5f38), 0);
    EXPECT_EQ(vexel_peek(M, M->cart, 0x5f39), 4);
    EXPECT_EQ(vexel_peek(M, M->cart, 0x5f3a), 0);
    EXPECT_EQ(vexel_peek(M, M->cart, 0x5f3b), 3);
    vexel_reset_draw_state(M);
    for (int a = 0x5f38; a <= 0x5f3b; ++a) EXPECT_EQ(vexel_peek(M, M->cart, a), 0) << a;
}

TEST_F(Tline, UsesPaletteCameraClipAndDefaults) {
    vexel_pal(M, 2, F(1), F(8), 0);
    vexel_palt(M, 2, F(3), true);
    vexel_camera(M, 2, F(2), F(-1));
    vexel_clip(M, 4, F(1), F(0), F(5), F(128));
    // Six arguments: one sheet pixel a step. Screen pixels 1-5 are kept;
    // the texture still counts from the line's start at screen 0.
    vexel_tline(M, 6, F(2), F(-1), F(9), F(-1), F(1), 0, 0, 0, 0);
    EXPECT_EQ(row_of(0, 0, 7), (std::vector<int>{12, 8, 2, 12, 4, 5, 12, 12}));
    // A given mdx of 0 stays on one texel.
    vexel_camera(M, 0, 0, 0);
    vexel_cls(M, 1, F(12));
    vexel_tline(M, 7, F(0), F(0), F(7), F(0), Fd(1.25), 0, 0, 0, 0);
    EXPECT_EQ(row_of(0, 0, 7), (std::vector<int>(8, 2)));
}

// tline draws exactly line's pixels, and is charged as line is.
TEST_F(Tline, CoversTheLinesPixelsAndChargesAsLine) {
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 128; ++x) vexel_mset(M, 3, F(x), F(y), F(2));
    std::mt19937 rng(5);
    auto coord = [&] { return int(rng() % 200) - 36; };
    for (int n = 0; n < 500; ++n) {
        const int x0 = coord(), y0 = coord(), x1 = coord(), y1 = coord();
        vexel_cls(M, 0, 0);
        const int64_t line_cost = charged([&] { vexel_line(M, 5, F(x0), F(y0), F(x1), F(y1), F(9)); });
        const std::vector<uint8_t> drawn = M->screen->pix;
        vexel_cls(M, 0, 0);
        const int64_t tline_cost = charged([&] { tline(x0, y0, x1, y1, 5, 5, 0, 0); });
        ASSERT_EQ(M->screen->pix, drawn) << x0 << "," << y0 << " " << x1 << "," << y1;
        ASSERT_EQ(tline_cost, line_cost);
    }
    EXPECT_EQ(charged([&] { tline(0, 0, 100, 10, 1, 0); }), 100 / 2 + 1);
}

}  // namespace
