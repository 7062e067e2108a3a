#include "gfx_scene.h"

// ------------------------------------------------------------ golden scenes
//
// Each scene draws through the script-level calls and compares the whole
// screen with its reviewed golden picture.

#include <gtest/gtest.h>

#include "framework/fenn_text.h"
#include "machine/sprite.h"
#include "machine/text.h"

namespace {

using namespace gfx_test;

class GoldenScene : public ::testing::Test {
protected:
    void SetUp() override { set_up(); }
    void TearDown() override { tear_down(); }
    void expect_golden(const char* name) { EXPECT_EQ(compare_golden(name), ""); }
};

// Lines crossing each side of a clip rectangle, from inside and from far
// away (huge and negative coordinates), rectangles in both corner orders,
// degenerate ones and a camera offset.
TEST_F(GoldenScene, LinesAndRectsAgainstTheClip) {
    vexel_cls(M, 1, F(1));
    vexel_rect(M, 5, F(9), F(9), F(118), F(118), F(5));  // just outside the clip below
    vexel_clip(M, 4, F(10), F(10), F(108), F(108));
    vexel_rectfill(M, 5, F(0), F(0), F(127), F(127), F(0));
    // Fans from the centre through every side.
    for (int i = 0; i <= 8; ++i) {
        vexel_line(M, 5, F(64), F(64), F(i * 16), F(-20), F(8 + i % 4));
        vexel_line(M, 5, F(64), F(64), F(i * 16), F(150), F(8 + i % 4));
        vexel_line(M, 5, F(64), F(64), F(-20), F(i * 16), F(12 + i % 4));
        vexel_line(M, 5, F(64), F(64), F(150), F(i * 16), F(12 + i % 4));
    }
    // Far ends: huge and negative coordinates.
    vexel_line(M, 5, F(-32768), F(-32000), F(32767), F(32000), F(7));
    vexel_line(M, 5, F(30000), F(20), F(-30000), F(100), F(11));
    vexel_line(M, 5, F(20), F(-32768), F(24), F(32767), F(10));
    // Single points, vertical drawn bottom-up.
    vexel_line(M, 5, F(100), F(100), F(100), F(100), F(7));
    vexel_line(M, 5, F(104), F(110), F(104), F(95), F(7));
    // Rectangles: reversed corners, one pixel, a line, one crossing the clip.
    vexel_rect(M, 5, F(30), F(30), F(20), F(20), F(9));
    vexel_rect(M, 5, F(33), F(22), F(33), F(22), F(9));
    vexel_rect(M, 5, F(36), F(20), F(44), F(20), F(9));
    vexel_rect(M, 5, F(-5), F(90), F(25), F(200), F(3));
    vexel_rectfill(M, 5, F(110), F(30), F(90), F(40), F(4));
    vexel_rectfill(M, 5, F(-40000), F(112), F(40000), F(114), F(2));
    // The camera moves shapes, not the clip.
    vexel_camera(M, 2, F(-50), F(-75));
    vexel_rect(M, 5, F(0), F(0), F(10), F(10), F(7));
    vexel_camera(M, 0, 0, 0);
    expect_golden("lines_rects");
}

TEST_F(GoldenScene, CirclesAgainstTheClip) {
    vexel_cls(M, 1, F(1));
    vexel_clip(M, 4, F(8), F(8), F(112), F(112));
    vexel_rectfill(M, 5, F(0), F(0), F(127), F(127), F(0));
    vexel_circ(M, 4, F(64), F(64), F(20), F(7));
    vexel_circfill(M, 4, F(64), F(64), F(10), F(8));
    vexel_circ(M, 2, F(30), F(100), 0, 0);  // default radius 4 in the pen colour (8)
    vexel_circ(M, 4, F(100), F(64), F(0), F(10));
    // Crossing each side.
    vexel_circfill(M, 4, F(119), F(40), F(12), F(12));
    vexel_circ(M, 4, F(40), F(8), F(12), F(14));
    vexel_circfill(M, 4, F(40), F(119), F(12), F(9));
    // Huge radius: only the arc through the clip shows.
    vexel_circ(M, 4, F(64), F(20000), F(19900), F(10));
    vexel_circfill(M, 4, F(-3000), F(64), F(3020), F(3));
    vexel_circ(M, 4, F(8), F(40), F(12), F(11));
    // Negative radius draws nothing.
    vexel_circ(M, 4, F(90), F(90), F(-1), F(7));
    vexel_circfill(M, 4, F(90), F(90), F(-5), F(7));
    // Fractions floor.
    vexel_circ(M, 4, Fd(90.9), Fd(90.9), Fd(6.99), F(15));
    expect_golden("circles");
}

// Fill patterns: opaque two-colour, transparent, anchored to the screen,
// with palette swaps applied to both colours.
TEST_F(GoldenScene, FillPatternsAndPalettes) {
    vexel_cls(M, 1, F(5));
    vexel_fillp(M, 1, F(0x5a5a));
    vexel_rectfill(M, 5, F(2), F(2), F(40), F(40), F(0x1c));  // 12 and 1
    vexel_fillp(M, 1, Fd(0x5a5a + 0.5));
    vexel_rectfill(M, 5, F(44), F(2), F(84), F(40), F(0x1c));
    vexel_fillp(M, 1, F(0x8000));  // only the top-left of each cell
    vexel_rectfill(M, 5, F(88), F(3), F(125), F(41), F(0x98));
    vexel_fillp(M, 1, Fd(0xcc33 + 0.5));
    vexel_circfill(M, 4, F(22), F(64), F(16), F(10));
    vexel_circ(M, 4, F(64), F(64), F(16), F(11));
    vexel_line(M, 5, F(44), F(84), F(84), F(44), F(7));
    vexel_fillp(M, 1, F(0x0ff0));
    vexel_pal(M, 2, F(2), F(14), 0);
    vexel_circfill(M, 4, F(105), F(64), F(16), F(0x27));
    vexel_fillp(M, 0, 0);
    vexel_pal(M, 2, F(8), F(12), 0);
    vexel_rectfill(M, 5, F(2), F(90), F(60), F(125), F(8));
    vexel_pal(M, 0, 0, 0, 0);
    vexel_rectfill(M, 5, F(64), F(90), F(125), F(125), F(8));
    vexel_fillp(M, 1, F(1));
    for (int i = 0; i < 16; ++i) vexel_pset(M, 3, F(2 + i * 4), F(84), F(0x21));
    expect_golden("fillp_pal");
}

TEST_F(GoldenScene, SpritesFlipsSizesAndTransparency) {
    vexel_cls(M, 1, F(13));
    vexel_spr(M, 3, F(1), F(2), F(2), 0, 0, false, false);
    vexel_spr(M, 6, F(1), F(12), F(2), F(1), F(1), true, false);
    vexel_spr(M, 7, F(1), F(22), F(2), F(1), F(1), false, true);
    vexel_spr(M, 7, F(1), F(32), F(2), F(1), F(1), true, true);
    vexel_spr(M, 5, F(1), F(42), F(2), Fd(0.5), F(1), false, false);
    vexel_spr(M, 5, F(1), F(52), F(2), Fd(1.5), Fd(1.5), false, false);
    vexel_spr(M, 5, F(17), F(72), F(2), F(2), F(2), true, false);
    vexel_spr(M, 5, F(15), F(92), F(2), F(2), F(1), false, false);  // runs off the sheet: colour 0 beyond
    vexel_spr(M, 7, F(15), F(92), F(12), F(2), F(1), true, false);  // flipped: only the sheet part mirrors
    vexel_spr(M, 4, F(1), F(2), F(20), F(1), 0, false, false);      // height missing: nothing
    vexel_spr(M, 3, F(256), F(20), F(20), 0, 0, false, false);
    vexel_spr(M, 3, F(-1), F(30), F(20), 0, 0, false, false);
    vexel_palt(M, 2, F(0), false);
    vexel_spr(M, 3, F(2), F(2), F(32), 0, 0, false, false);
    vexel_palt(M, 0, 0, false);
    vexel_pal(M, 2, F(3), F(8), 0);
    vexel_palt(M, 2, F(7), true);
    vexel_spr(M, 3, F(2), F(12), F(32), 0, 0, false, false);
    vexel_pal(M, 0, 0, 0, 0);
    // Across every edge of a clip and with the camera.
    vexel_clip(M, 4, F(40), F(50), F(40), F(40));
    vexel_rectfill(M, 5, F(0), F(0), F(127), F(127), F(1));
    vexel_spr(M, 5, F(20), F(36), F(46), F(2), F(2), false, false);
    vexel_spr(M, 5, F(21), F(74), F(86), F(2), F(2), false, false);
    vexel_camera(M, 2, F(-10), F(-10));
    vexel_spr(M, 3, F(22), F(50), F(50), 0, 0, false, false);
    vexel_camera(M, 0, 0, 0);
    vexel_clip(M, 0, 0, 0, 0, 0);
    vexel_spr(M, 3, F(9), F(-4), F(-4), 0, 0, false, false);
    vexel_spr(M, 3, F(9), F(124), F(124), 0, 0, false, false);
    expect_golden("sprites");
}

TEST_F(GoldenScene, StretchedAndMirroredSspr) {
    vexel_cls(M, 1, F(1));
    vexel_sspr(M, 6, F(8), F(0), F(8), F(8), F(0), F(0), 0, 0, false, false);
    vexel_sspr(M, 8, F(8), F(0), F(8), F(8), F(10), F(0), F(16), F(16), false, false);
    vexel_sspr(M, 8, F(8), F(0), F(8), F(8), F(44), F(0), F(-16), F(16), false, false);
    vexel_sspr(M, 8, F(8), F(0), F(8), F(8), F(54), F(36), F(16), F(-16), false, false);
    vexel_sspr(M, 10, F(8), F(0), F(8), F(8), F(64), F(0), F(24), F(12), true, true);
    vexel_sspr(M, 8, F(0), F(0), F(16), F(16), F(90), F(0), F(5), F(7), false, false);  // shrunk
    vexel_sspr(M, 8, F(120), F(0), F(16), F(8), F(0), F(20), F(32), F(16), false, false);  // half off the sheet
    vexel_sspr(M, 8, F(-4), F(-4), F(8), F(8), F(36), F(20), F(16), F(16), false, false);
    vexel_sspr(M, 6, F(0), F(0), F(0), F(8), F(0), F(60), 0, 0, false, false);  // zero width: nothing
    vexel_sspr(M, 8, F(8), F(8), F(8), F(8), F(60), F(60), F(8), 0, false, false);  // missing height: nothing
    vexel_clip(M, 4, F(4), F(60), F(40), F(40));
    vexel_sspr(M, 8, F(16), F(0), F(16), F(16), F(-30), F(40), F(100), F(90), false, false);
    vexel_clip(M, 0, 0, 0, 0, 0);
    vexel_sspr(M, 8, F(0), F(16), F(32), F(16), F(112), F(96), F(-64), F(-40), false, false);
    vexel_sspr(M, 8, F(0), F(0), F(128), F(128), F(100), F(100), F(28), F(28), false, false);
    expect_golden("sspr");
}

// The map with layers, camera and clip, and the shared half: cells set in
// map rows 32-63 are the sprite sheet's rows 64-127.
TEST_F(GoldenScene, MapLayersAndSharedHalf) {
    vexel_cls(M, 1, F(0));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 128; ++x) vexel_mset(M, 3, F(x), F(y), F((x + y) % 3 == 0 ? 0 : (x * 7 + y) % 64));
    for (int n = 1; n < 64; n += 4) vexel_fset(M, 3, F(n), F(1), true);
    vexel_map(M, 4, F(0), F(0), F(0), F(0), 0, 0, 0);
    vexel_clip(M, 4, F(4), F(60), F(100), F(30));
    vexel_rectfill(M, 5, F(0), F(0), F(127), F(127), F(2));
    vexel_camera(M, 2, F(3), F(-2));
    vexel_map(M, 7, F(2), F(1), F(-9), F(58), F(20), F(5), F(2));  // only sprites with flag 1
    vexel_camera(M, 0, 0, 0);
    vexel_clip(M, 0, 0, 0, 0, 0);
    // Write map rows 32-33 and draw the sprites they turned into.
    for (int x = 0; x < 128; ++x) {
        vexel_mset(M, 3, F(x), F(32), F(x % 2 ? 0x9a : 0xa9));
        vexel_mset(M, 3, F(x), F(33), F(0x70 + x % 16));
    }
    vexel_sset(M, 3, F(0), F(66), F(12));
    vexel_spr(M, 5, F(128), F(0), F(96), F(8), F(1), false, false);
    vexel_map(M, 6, F(0), F(32), F(0), F(106), F(16), F(3), 0);
    vexel_map(M, 6, F(0), F(0), F(0), F(120), F(0), F(1), 0);  // zero width: nothing
    expect_golden("map");
}

TEST_F(GoldenScene, TextWrappingScrollingAndFonts) {
    vexel_cls(M, 1, F(1));
    vexel_print_col(M, "a console line of forty characters!!", 7);
    vexel_print_col(M, "second", 12);
    vexel_script_print(M, 1, "print\nmoves the cursor", 22, 0, 0, 0);
    vexel_script_print(M, 4, "placed", 6, F(70), F(30), F(10));
    vexel_script_print(M, 1, "in colour 10 now", 16, 0, 0, 0);
    vexel_camera(M, 2, F(-4), F(0));
    vexel_script_print(M, 1, "camera moves it", 15, 0, 0, 0);
    vexel_camera(M, 0, 0, 0);
    vexel_pal(M, 2, F(10), F(14), 0);
    vexel_script_print(M, 1, "palette", 7, 0, 0, 0);
    vexel_pal(M, 0, 0, 0, 0);
    fenn_draw_text_ex(M->screen, "Font1 Ab!", fenn_font1, 64, 60, fenn_text_single_colour, 7);
    fenn_draw_text_ex(M->screen, "Font2 Ab!", fenn_font2, 64, 67, 0, 0);  // 8-bit set, its own ink
    fenn_draw_text_ex(M->screen, "mid", fenn_font1, 96, 74, fenn_text_single_colour | fenn_text_centre, 11);
    fenn_draw_text_ex(M->screen, "right", fenn_font1, 127, 81, fenn_text_single_colour | fenn_text_right, 11);
    fenn_draw_text_ex(M->screen, "kept inside the edge", fenn_font1, 70, 88,
                      fenn_text_single_colour | fenn_text_keep_inside, 9);
    fenn_set_clip(M->screen, 70, 96, 120, 127);
    fenn_draw_text_ex(M->screen, "wraps at the clip", fenn_font1, 70, 96, fenn_text_single_colour | fenn_text_wrap, 8);
    fenn_clear_clip(M->screen);
    expect_golden("text");
}

// Scrolling moves only what lies inside the clip; long console messages
// scroll first, then fill the lines they need.
TEST_F(GoldenScene, TextScrollsInsideTheClip) {
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) M->screen->pix[size_t(y) * 128 + size_t(x)] = uint8_t(y / 6 % 2 ? 5 : 13);
    vexel_clip(M, 4, F(0), F(0), F(64), F(128));
    vexel_script_print(M, 4, "one", 3, F(0), F(100), F(10));
    vexel_script_print(M, 1, "uno", 3, 0, 0, 0);
    vexel_script_print(M, 1, "two", 3, 0, 0, 0);
    vexel_script_print(M, 1, "three", 5, 0, 0, 0);  // at 118: scrolls
    vexel_script_print(M, 1, "four", 4, 0, 0, 0);
    vexel_clip(M, 0, 0, 0, 0, 0);
    M->cursor_x = 0;
    M->cursor_y = 60;
    vexel_print_col(M, "seventy characters of console message, wrapped over three lines.....", 7);
    vexel_print_col(M, "next", 12);
    expect_golden("text_scroll");
}

TEST_F(GoldenScene, TintedMenuBackgrounds) {
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) M->screen->pix[size_t(y) * 128 + size_t(x)] = uint8_t((x / 8 + y / 16) % 16);
    vexel_draw_tinted_rect(M->screen, 8, 8, 60, 119, false);
    vexel_draw_tinted_rect(M->screen, 119, 70, 68, 8, true);  // corners in either order
    vexel_draw_tinted_rect(M->screen, 100, 100, 400, 400, true);  // cut to the bitmap
    expect_golden("tint");
}

}  // namespace
