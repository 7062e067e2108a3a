// What the machine shows: its screen through the screen palette, the
// extended palette and the screen modes.
#include <gtest/gtest.h>

#include <cstring>

#include "machine/machine.h"
#include "machine/present.h"
#include "test_support.h"

namespace {

struct Present : ::testing::Test {
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    uint8_t shown(int x, int y) { return M->display->pix[size_t(y) * 128 + size_t(x)]; }
};

}  // namespace

TEST_F(Present, ScreenGoesThroughTheScreenPalette) {
    M->screen->pix[0] = 3;
    M->screen->pix[1] = 0x1f;  // only the low nibble is a colour
    M->screen_pal[3] = 0x8b;   // bit 7 is masked off without the extended palette
    M->screen_pal[15] = 2;
    vexel_present_screen(M, true);
    EXPECT_EQ(shown(0, 0), 0x0b);
    EXPECT_EQ(shown(1, 0), 2);

    const uint8_t sig[4] = {0x5A, 0x3C, 0xA5, 0xC3};
    std::memcpy(M->ram + 0x5f60, sig, 4);
    M->screen_pal[3] = 0x8b;
    vexel_present_screen(M, true);
    EXPECT_EQ(shown(0, 0), 0x8b);
    EXPECT_TRUE(M->ext_palette_on);
}

TEST_F(Present, ScreenModesApplyOnlyWhenAsked) {
    for (int x = 0; x < 128; ++x)
        for (int y = 0; y < 128; ++y) M->screen->pix[size_t(y) * 128 + size_t(x)] = uint8_t((x / 8 + y / 8) & 15);
    M->screen_mode = 3;
    vexel_present_screen(M, false);
    EXPECT_EQ(shown(127, 127), ((127 / 8 + 127 / 8) & 15));  // console: unchanged

    vexel_present_screen(M, true);
    EXPECT_EQ(shown(127, 127), ((63 / 8 + 63 / 8) & 15));
    EXPECT_EQ(shown(17, 33), ((8 / 8 + 16 / 8) & 15));

    M->screen_mode = 7;
    vexel_present_screen(M, true);
    EXPECT_EQ(shown(127, 127), shown(0, 0));
    EXPECT_EQ(shown(100, 20), shown(27, 20));
    EXPECT_EQ(shown(20, 100), shown(20, 27));

    M->screen_mode = 4;
    vexel_present_screen(M, true);
    EXPECT_EQ(shown(127, 127), ((127 / 8 + 127 / 8) & 15));
}
