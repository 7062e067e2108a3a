// Which screen of the shell is on top, and that only the top one has keys.
#include <gtest/gtest.h>

#include "app/app.h"
#include "app/console.h"
#include "app/editor.h"
#include "app/screens.h"
#include "test_support.h"

namespace {

struct Screens : ::testing::Test {
    editor_studio_scope studio;  // fresh editors, closed, for this case
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    void SetUp() override {
        app = vexel_app{};
        app.key_script = 1;  // a keyboard, headless as the tests are
    }
    void TearDown() override { app = vexel_app{}; }
};

}  // namespace

TEST_F(Screens, TheModeDecidesTheBottomAndWhatStandsOverARunningProgram) {
    app.mode = shell_splash;
    EXPECT_EQ(shell_top_screen(), screen_splash);
    app.mode = shell_boot;
    EXPECT_EQ(shell_top_screen(), screen_boot);
    app.mode = shell_running;
    EXPECT_EQ(shell_top_screen(), screen_program);
    app.pause_menu = 1;
    EXPECT_EQ(shell_top_screen(), screen_pause_menu);
    EXPECT_FALSE(console_takes_keys());
    app.mode = shell_console;
    app.pause_menu = 0;
    EXPECT_EQ(shell_top_screen(), screen_console);
    EXPECT_TRUE(console_takes_keys());
}

TEST_F(Screens, OverTheConsoleOnlyTheTopScreenHasTheKeys) {
    app.mode = shell_console;
    app.machine = M;
    editor_open(M);
    EXPECT_EQ(shell_top_screen(), screen_editors);
    EXPECT_TRUE(shell_screen_has_keys(screen_editors));
    EXPECT_FALSE(console_takes_keys());
    // The key configuration opens over whatever the console shows.
    app.sub_screen = sub_screen_keyconfig;
    EXPECT_EQ(shell_top_screen(), screen_keyconfig);
    EXPECT_FALSE(shell_screen_has_keys(screen_editors));
    app.sub_screen = sub_screen_none;
    editor_close(M);
    // A posted action takes the keys from everyone until it is carried out.
    app.pending = pending_run_cart;
    EXPECT_EQ(shell_top_screen(), screen_none);
    EXPECT_FALSE(console_takes_keys());
    app.pending = pending_none;
    EXPECT_TRUE(console_takes_keys());
    // Without a window or a key script no screen has keys.
    app.key_script = 0;
    app.exec_mode = 1;
    EXPECT_EQ(shell_top_screen(), screen_console);
    EXPECT_FALSE(console_takes_keys());
    EXPECT_STREQ(shell_screen_name(screen_keyconfig), "key configuration");
}
