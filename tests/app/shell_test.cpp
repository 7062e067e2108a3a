#include <gtest/gtest.h>

#include <cstring>

#include "app/app.h"
#include "app/shell.h"
#include "framework/fenn_loop.h"
#include "machine/pstate.h"

namespace {

struct ShellFixture : ::testing::Test {
    void SetUp() override {
        vexel_pstate_zero();
        std::memset(&app, 0, sizeof app);
        pstate.screen = fenn_create_bitmap(128, 128, 8);
        pstate.display = fenn_create_bitmap(128, 128, 8);
        for (int i = 0; i < 16; ++i) pstate.screen_pal[i] = i;
    }
    void TearDown() override {
        fenn_destroy_bitmap(pstate.screen);
        fenn_destroy_bitmap(pstate.display);
    }
    uint8_t shown(int x, int y) { return pstate.display->pix[size_t(y) * 128 + size_t(x)]; }
};

}  // namespace

TEST(FrameCredit, AStallGivesAtMostFourFramesOneAtATime) {
    int64_t credit = 0;
    EXPECT_TRUE(shell_add_frame_credit(credit, 30, 5000));
    EXPECT_EQ(credit, shell_frame_credit_cap);
    int frames = 0;
    // Each loop iteration runs at most one frame and pays for it.
    while (shell_add_frame_credit(credit, 30, 0)) {
        credit -= shell_frame_one;
        ++frames;
    }
    EXPECT_EQ(frames, 4);
}

TEST(FrameCredit, ThirtyFramesASecondAtThirtyAndSixtyAtSixty) {
    for (int fps : {30, 60}) {
        int64_t credit = 0;
        int frames = 0;
        for (int ms = 0; ms < 1000; ms += 5) {  // a loop spinning every 5 ms
            if (shell_add_frame_credit(credit, fps, 5)) {
                credit -= shell_frame_one;
                ++frames;
            }
        }
        EXPECT_NEAR(frames, fps, 1) << fps;
    }
    int64_t credit = -100000;  // a clock that went backwards never leaves debt
    EXPECT_FALSE(shell_add_frame_credit(credit, 30, 0));
    EXPECT_EQ(credit, 0);
}

TEST(FrameCredit, GifFramesEveryUpdateAtThirtyEverySecondAtSixty) {
    int at30 = 0, at60 = 0, paused60 = 0;
    for (int flip = 0; flip < 2; ++flip) {
        at30 += shell_records_gif_frame(0, 30, flip);
        at60 += shell_records_gif_frame(0, 60, flip);
        paused60 += shell_records_gif_frame(1, 60, flip);
    }
    EXPECT_EQ(at30, 2);
    EXPECT_EQ(at60, 1);
    EXPECT_EQ(paused60, 2);
}

TEST_F(ShellFixture, ScreenGoesThroughTheScreenPalette) {
    pstate.screen->pix[0] = 3;
    pstate.screen->pix[1] = 0x1f;  // only the low nibble is a colour
    pstate.screen_pal[3] = 0x8b;   // bit 7 is masked off without the extended palette
    pstate.screen_pal[15] = 2;
    blit_vexel_back_page_to_vexel_screen();
    EXPECT_EQ(shown(0, 0), 0x0b);
    EXPECT_EQ(shown(1, 0), 2);

    const uint8_t sig[4] = {0x5A, 0x3C, 0xA5, 0xC3};
    std::memcpy(pstate.ram + 0x5f60, sig, 4);
    pstate.screen_pal[3] = 0x8b;
    blit_vexel_back_page_to_vexel_screen();
    EXPECT_EQ(shown(0, 0), 0x8b);
    EXPECT_TRUE(pstate.ext_palette_on);
}

TEST_F(ShellFixture, ScreenModesApplyOnlyWhileAProgramRuns) {
    for (int x = 0; x < 128; ++x)
        for (int y = 0; y < 128; ++y) pstate.screen->pix[size_t(y) * 128 + size_t(x)] = uint8_t((x / 8 + y / 8) & 15);
    pstate.screen_mode = 3;
    blit_vexel_back_page_to_vexel_screen();
    EXPECT_EQ(shown(127, 127), ((127 / 8 + 127 / 8) & 15));  // console: unchanged

    pstate.mode = shell_running;
    pstate.program_active = 1;
    blit_vexel_back_page_to_vexel_screen();
    EXPECT_EQ(shown(127, 127), ((63 / 8 + 63 / 8) & 15));
    EXPECT_EQ(shown(17, 33), ((8 / 8 + 16 / 8) & 15));

    pstate.screen_mode = 7;
    blit_vexel_back_page_to_vexel_screen();
    EXPECT_EQ(shown(127, 127), shown(0, 0));
    EXPECT_EQ(shown(100, 20), shown(27, 20));
    EXPECT_EQ(shown(20, 100), shown(20, 27));

    pstate.screen_mode = 4;
    blit_vexel_back_page_to_vexel_screen();
    EXPECT_EQ(shown(127, 127), ((127 / 8 + 127 / 8) & 15));
}

TEST_F(ShellFixture, AudioPauseStateFollowsTheMenuAndRegister) {
    int& s = fenn_state.audio_pause_state;
    s = 0;
    pstate.mode = shell_running;
    app.pause_menu = 1;
    determine_audio_pause_state();
    EXPECT_EQ(s, 1);
    pstate.ram[0x5f2f] = 2;  // audio goes on under the menu: resume over four frames
    for (int expect : {2, 3, 4, 5, 0, 0}) {
        determine_audio_pause_state();
        EXPECT_EQ(s, expect);
    }
    pstate.ram[0x5f2f] = 1;
    app.pause_menu = 0;
    determine_audio_pause_state();
    EXPECT_EQ(s, 1);
}

TEST_F(ShellFixture, MessagesFlipColourAndHoverWaitsForTheCurrentOne) {
    app.message_colour = 0;
    show_message("one", 1000);
    EXPECT_EQ(app.message_colour, 15);
    EXPECT_EQ(app.message_end - app.message_start, 1400);
    show_message_exact("two", 1400);
    EXPECT_EQ(app.message_colour, 7);
    EXPECT_EQ(app.message_end - app.message_start, 1400);
    show_hover_message("hover");
    EXPECT_STREQ(app.message, "two");  // the current message has a long way to go
    app.message_end = 0;
    show_hover_message("hover");
    EXPECT_STREQ(app.message, "hover");
    EXPECT_EQ(app.message_start, 0);
    EXPECT_EQ(app.message_colour, 2);
}
