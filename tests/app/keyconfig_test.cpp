#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/keyconfig.h"
#include "framework/fenn_platform.h"
#include "machine/button.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "test_support.h"

namespace {

constexpr int key_a = 4, key_b = 5, key_esc = 41, key_backspace = 42, key_delete = 76, key_left = 80;

class KeyConfig : public ::testing::Test {
protected:
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    void SetUp() override {
        fenn_keys_init();
        settings_set_defaults();
        app.sub_screen = sub_screen_none;
        M->cursor_y = 0;
        int32_t discard[keyconfig_bindings];
        keyconfig_take_result(discard);
    }
    void TearDown() override { fenn_keys_init(); }
    // Holds a key for one update, then releases it for one update.
    void tap(int code) {
        fenn_set_key_state(code, 3);
        keyconfig_update(M);
        fenn_set_key_state(code, 0);
        keyconfig_update(M);
    }
};

TEST_F(KeyConfig, AssignsOneKeyPerPressAndPostsTheResultAtTheEnd) {
    fenn_set_key_state(key_a, 1);  // held from the command that opened the screen
    keyconfig_open(M);
    EXPECT_EQ(app.sub_screen, sub_screen_keyconfig);
    keyconfig_update(M);
    keyconfig_update(M);
    EXPECT_EQ(keyconfig_cursor(), 0);   // waits for the release first
    fenn_set_key_state(key_a, 0);
    keyconfig_update(M);

    // Two keys down in one update take one binding; the screen then waits.
    fenn_set_key_state(key_a, 3);
    fenn_set_key_state(key_b, 3);
    keyconfig_update(M);
    keyconfig_update(M);
    EXPECT_EQ(keyconfig_cursor(), 1);
    fenn_set_key_state(key_a, 0);
    fenn_set_key_state(key_b, 0);
    keyconfig_update(M);

    tap(key_delete);      // binding 1 back to its defaults
    tap(key_backspace);   // binding 2 likewise
    for (int i = 3; i < keyconfig_bindings; ++i) {
        int32_t none[keyconfig_bindings];
        EXPECT_FALSE(keyconfig_take_result(none));
        tap(key_left + (i % 4));
    }
    EXPECT_EQ(keyconfig_cursor(), keyconfig_bindings);
    EXPECT_EQ(app.sub_screen, sub_screen_keyconfig);  // "any key to quit"

    // The live table changes only when the loop takes the result.
    EXPECT_EQ(app.button_keys[0], 0);
    ASSERT_TRUE(keyconfig_take_result(app.button_keys));
    EXPECT_FALSE(keyconfig_take_result(app.button_keys));
    EXPECT_EQ(app.button_keys[0], key_a);
    EXPECT_EQ(app.button_keys[1], 0);
    EXPECT_EQ(app.button_keys[2], 0);
    EXPECT_EQ(app.button_keys[12], key_left);

    tap(key_esc);  // any key leaves now, Escape included
    EXPECT_EQ(app.sub_screen, sub_screen_none);
    EXPECT_EQ(M->cursor_y, vexel_line_height);  // "key configuration saved" on a clean screen
    EXPECT_FALSE(fenn_keypressed());
}

TEST_F(KeyConfig, AKeyPressedAndReleasedBetweenTwoFramesIsTaken) {
    keyconfig_open(M);
    keyconfig_update(M);
    // Down and up again within one input pass that was no machine frame
    // (a quick tap, a remote desktop): the next frame still takes it.
    const uint8_t up[fenn_key_count] = {};
    fenn_keys_snapshot(up, fenn_key_count, 0);
    fenn_keys_key_down(key_delete, 1);
    fenn_keys_snapshot(up, fenn_key_count, 2);
    keyconfig_update(M);
    EXPECT_EQ(keyconfig_cursor(), 1);
    fenn_take_key_presses();
}

TEST_F(KeyConfig, EscapeCancelsWithoutTouchingTheBindings) {
    app.button_keys[4] = key_b;
    keyconfig_open(M);
    keyconfig_update(M);
    tap(key_a);
    tap(key_a);
    EXPECT_EQ(keyconfig_cursor(), 2);
    keyconfig_draw(M);
    tap(key_esc);
    EXPECT_EQ(app.sub_screen, sub_screen_none);
    int32_t keys[keyconfig_bindings];
    EXPECT_FALSE(keyconfig_take_result(keys));
    EXPECT_EQ(app.button_keys[0], 0);
    EXPECT_EQ(app.button_keys[4], key_b);
    // Nothing of the key picture (or the rejected keys on it) stays under
    // the prompt.
    EXPECT_EQ(std::count(M->screen->pix.begin(), M->screen->pix.end(), uint8_t(0)), 128 * 128);
    EXPECT_EQ(M->cursor_y, vexel_line_height);
    EXPECT_EQ(M->buttons.blocked[0][0], 1);  // leaving blocks the buttons
}

TEST_F(KeyConfig, RowsShowLabelsAndLowerCaseKeyNames) {
    app.button_keys[0] = key_a;
    app.button_keys[12] = 225;
    keyconfig_open(M);
    char row[300];
    keyconfig_row_text(0, row, sizeof row);
    EXPECT_STREQ(row, "p1 left     : a");
    keyconfig_row_text(5, row, sizeof row);
    EXPECT_STREQ(row, "p1 button x : x");
    keyconfig_row_text(10, row, sizeof row);
    EXPECT_STREQ(row, "p2 button o : tab");
    keyconfig_row_text(12, row, sizeof row);
    EXPECT_STREQ(row, "pause       : left shift");
    keyconfig_row_text(13, row, sizeof row);
    EXPECT_STREQ(row, "");
    char tiny[4];
    keyconfig_row_text(0, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "p1 ");
    for (int i = 0; i < keyconfig_bindings; ++i) EXPECT_EQ(std::strlen(keyconfig_label(i)), 11u);
    app.sub_screen = sub_screen_none;
}

}  // namespace
