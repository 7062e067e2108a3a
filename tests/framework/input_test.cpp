#include <gtest/gtest.h>

#include <string>

#include "framework/fenn_input.h"
#include "framework/fenn_platform.h"

namespace {

TEST(Mouse, MapsWindowPointsThroughTheDestinationRectangle) {
    int x = -1, y = -1;
    // A 512x512 picture centred in a 640x512 window: 64-pixel bars at the sides.
    fenn_rect r{64, 0, 512, 512};
    fenn_map_mouse(64, 0, r, 128, 128, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    fenn_map_mouse(64 + 511, 511, r, 128, 128, &x, &y);
    EXPECT_EQ(x, 127);
    EXPECT_EQ(y, 127);
    fenn_map_mouse(64 + 4 * 50 + 3, 4 * 90, r, 128, 128, &x, &y);
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 90);
    // Uneven scaling (a -draw_rect) maps each axis on its own.
    fenn_map_mouse(30, 300, fenn_rect{10, 100, 256, 800}, 128, 128, &x, &y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 32);
    // A rectangle without area (minimised window) gives 0, never a division by zero.
    fenn_map_mouse(100, 100, fenn_rect{0, 0, 0, 0}, 128, 128, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    fenn_map_mouse(1, 1, r, 128, 128, nullptr, nullptr);
}

TEST(Mouse, RightClickKeyTurnsALeftClickIntoARightClick) {
    EXPECT_EQ(fenn_apply_rmb_key(fenn_mouse_left, true), fenn_mouse_right);
    EXPECT_EQ(fenn_apply_rmb_key(fenn_mouse_left | fenn_mouse_middle, true), fenn_mouse_right | fenn_mouse_middle);
    EXPECT_EQ(fenn_apply_rmb_key(fenn_mouse_left, false), fenn_mouse_left);
    EXPECT_EQ(fenn_apply_rmb_key(fenn_mouse_middle, true), fenn_mouse_middle);
    int x, y, b;
    fenn_get_mouse(&x, &y, &b);   // no window: nothing, and no crash
    EXPECT_EQ(b, 0);
}

TEST(KeyNames, AreUpperCaseHostNamesOrAQuestionMark) {
    EXPECT_STREQ(fenn_get_key_name(4), "A");
    EXPECT_STREQ(fenn_get_key_name(80), "LEFT");
    EXPECT_STREQ(fenn_get_key_name(225), "LEFT SHIFT");
    EXPECT_STREQ(fenn_get_key_name(0), "?");       // no name
    EXPECT_STREQ(fenn_get_key_name(310), "?");
    EXPECT_STREQ(fenn_get_key_name(311), "");
    EXPECT_STREQ(fenn_get_key_name(-1), "");
    for (int i = 0; i < fenn_key_name_count; ++i) EXPECT_LT(std::string(fenn_get_key_name(i)).size(), 20u);
}

}  // namespace
