#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/pausemenu.h"
#include "app/shell.h"
#include "framework/fenn_loop.h"
#include "machine/button.h"
#include "machine/machine.h"
#include "runtime/run.h"
#include "test_support.h"

namespace {

struct ShellFixture : ::testing::Test {
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    void SetUp() override { app = vexel_app{}; }
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

TEST_F(ShellFixture, AudioPauseStateFollowsTheMenuAndRegister) {
    int32_t& s = M->audio_pause_state;
    s = 0;
    app.mode = shell_running;
    app.pause_menu = 1;
    shell_update_audio_pause(M);
    EXPECT_EQ(s, 1);
    M->ram[0x5f2f] = 2;  // audio goes on under the menu: resume over four frames
    for (int expect : {2, 3, 4, 5, 0, 0}) {
        shell_update_audio_pause(M);
        EXPECT_EQ(s, expect);
    }
    M->ram[0x5f2f] = 1;
    app.pause_menu = 0;
    shell_update_audio_pause(M);
    EXPECT_EQ(s, 1);
}

TEST_F(ShellFixture, MessagesFlipColourAndHoverWaitsForTheCurrentOne) {
    app.message_colour = 0;
    shell_show_message("one", 1000);
    EXPECT_EQ(app.message_colour, 15);
    EXPECT_EQ(app.message_end - app.message_start, 1400);
    shell_show_message_exact("two", 1400);
    EXPECT_EQ(app.message_colour, 7);
    EXPECT_EQ(app.message_end - app.message_start, 1400);
    shell_show_hover_message("hover");
    EXPECT_STREQ(app.message, "two");  // the current message has a long way to go
    app.message_end = 0;
    shell_show_hover_message("hover");
    EXPECT_STREQ(app.message, "hover");
    EXPECT_EQ(app.message_start, 0);
    EXPECT_EQ(app.message_colour, 2);
}

TEST_F(ShellFixture, PauseMenuEndsWithAWayBackToTheConsole) {
    std::snprintf(M->runner->menu_labels[0], sizeof M->runner->menu_labels[0], "restart level");
    pause_menu_open(M);
    std::vector<std::string> labels;
    for (int i = 0; i < pause_menu_items; ++i) labels.push_back(pause_menu_state[i].label);
    EXPECT_EQ(labels, (std::vector<std::string>{"continue", "restart level", "reset cart", "quit", "exit to console"}));

    // Chosen, it closes the menu and stops the program the way stop() does.
    app.pause_selection = pause_menu_items - 1;
    M->buttons.state[0][button_o] = 1;  // O freshly down
    M->screen->pix[500] = 9;            // the program's picture
    M->cursor_y = 90;
    pause_menu_keys(M);
    EXPECT_EQ(app.pause_menu, 0);
    EXPECT_EQ(app.pending, pending_stop_program);
    EXPECT_EQ(M->screen->pix[500], 0);  // the prompt starts on a clear screen, at the top
    EXPECT_EQ(M->cursor_y, 0);

    // In exec mode nobody is at the console to come back to.
    app.exec_mode = 1;
    pause_menu_build(M);
    EXPECT_STREQ(pause_menu_state[pause_menu_items - 1].label, "quit");
}
