#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "framework/fenn_loop.h"
#include "framework/fenn_platform.h"
#include "machine/button.h"
#include "machine/machine.h"
#include "test_support.h"

namespace {

// Scancodes used below.
constexpr int key_a = 4, key_f = 9, key_m = 16, key_s = 22, key_x = 27, key_z = 29, key_left = 80;

struct Pad {
    bool present = false;
    int x = 0, y = 0;
    uint32_t mask = 0;
};
Pad pads[8];

bool fake_pad(int index, int* x, int* y, uint32_t* mask) {
    if (index < 0 || index >= 8 || !pads[index].present) return false;
    *x = pads[index].x;
    *y = pads[index].y;
    *mask = pads[index].mask;
    return true;
}

// The host settings the buttons read: key bindings, the controller number,
// whether the pause menu is open.
struct Settings {
    int32_t keys[vexel_button_key_count] = {};
    bool menu_open = false;
};
Settings settings;

class Buttons : public ::testing::Test {
protected:
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;

    void SetUp() override {
        fenn_keys_init();
        settings = Settings{};
        tm.host.button_keys = settings.keys;
        tm.host.joystick_index = 0;
        tm.host.random_buttons = false;
        tm.host.menu_paused = [](void*) { return settings.menu_open; };
        fenn_set_paused(0);
        M->target_fps = 30;
        vexel_buttons_reset(M);
        vexel_clear_button_replay(M);
        for (Pad& p : pads) p = Pad{};
        M->replay.pad_reader = fake_pad;
    }
    void TearDown() override {
        M->replay.pad_reader = nullptr;
        vexel_clear_button_replay(M);
        fenn_keys_init();
    }
    // One machine frame as the shell runs it.
    void frame() {
        vexel_buttons_update(M);
        vexel_buttons_read(M);
    }
    // Frames (counted from 0) on which btnp(b, p) was true while `hold` ran.
    std::vector<int> pressed_frames(int b, int frames) {
        std::vector<int> out;
        for (int f = 0; f < frames; ++f) {
            frame();
            if (vexel_btnp(M, b, 0)) out.push_back(f);
        }
        return out;
    }
};

TEST_F(Buttons, HeldButtonRepeatsAfterTheStartDelayThenAtTheInterval) {
    // 30 frames a second: at once, 15 updates later, then every 4th.
    fenn_set_key_state(key_x, 1);
    EXPECT_EQ(pressed_frames(button_x, 30), (std::vector<int>{1, 16, 20, 24, 28}));
    for (int f = 0; f < 30; ++f) EXPECT_TRUE(vexel_btn(M, button_x, 0));

    // 60 frames a second: 30 updates later, then every 8th.
    SetUp();
    M->target_fps = 60;
    fenn_set_key_state(key_x, 1);
    EXPECT_EQ(pressed_frames(button_x, 50), (std::vector<int>{1, 31, 39, 47}));

    // Paused (framework flag or pause menu) always uses the 30-frame timing.
    SetUp();
    M->target_fps = 60;
    settings.menu_open = true;
    fenn_set_key_state(key_x, 1);
    EXPECT_EQ(pressed_frames(button_x, 25), (std::vector<int>{1, 16, 20, 24}));
    settings.menu_open = false;
}

TEST_F(Buttons, AFreshPressRestartsTheSharedCountdownForEveryHeldButton) {
    fenn_set_key_state(key_x, 1);
    for (int f = 0; f < 10; ++f) frame();
    fenn_set_key_state(key_z, 1);  // O pressed 10 frames into holding X
    std::vector<int> x_frames, o_frames;
    for (int f = 0; f < 20; ++f) {
        frame();
        if (vexel_btnp(M, button_x, 0)) x_frames.push_back(f);
        if (vexel_btnp(M, button_o, 0)) o_frames.push_back(f);
    }
    EXPECT_EQ(o_frames, (std::vector<int>{1, 16}));
    EXPECT_EQ(x_frames, (std::vector<int>{16}));  // X's repeat moved with O's

    // Two keys pressed within one frame both count.
    SetUp();
    frame();
    fenn_set_key_state(key_left, 1);
    fenn_set_key_state(key_s, 1);
    frame();
    frame();
    EXPECT_TRUE(vexel_btnp(M, button_left, 0));
    EXPECT_TRUE(vexel_btnp(M, button_left, 1));
}

TEST_F(Buttons, BlockedButtonsStayUpUntilReleasedAndPressedAgain) {
    fenn_set_key_state(key_x, 1);
    frame();
    frame();
    ASSERT_TRUE(vexel_btn(M, button_x, 0));
    vexel_buttons_block(M);  // a screen change (program start, pause menu)
    EXPECT_FALSE(vexel_btn(M, button_x, 0));
    for (int f = 0; f < 40; ++f) {
        frame();
        EXPECT_FALSE(vexel_btn(M, button_x, 0));
        EXPECT_FALSE(vexel_btnp(M, button_x, 0));
        EXPECT_FALSE(vexel_any_button_held(M));
    }
    fenn_set_key_state(key_x, 0);
    frame();
    fenn_set_key_state(key_x, 1);
    frame();
    EXPECT_TRUE(vexel_btn(M, button_x, 0));
    frame();
    EXPECT_TRUE(vexel_btnp(M, button_x, 0));

    vexel_buttons_clear(M);
    EXPECT_FALSE(vexel_btn(M, button_x, 0));
}

TEST_F(Buttons, DefaultKeysOfBothPlayersAndTheMask) {
    fenn_set_key_state(key_left, 1);
    fenn_set_key_state(key_z, 1);
    vexel_buttons_read(M);
    EXPECT_EQ(vexel_btn_mask(M), 17);
    fenn_set_key_state(key_f, 1);  // player 1 right
    vexel_buttons_read(M);
    EXPECT_EQ(vexel_btn_mask(M), 17 + 512);
    EXPECT_TRUE(vexel_btn(M, button_right, 1));
    EXPECT_FALSE(vexel_btn(M, button_right, 0));

    // Player 1's keys never reach players 2-7.
    for (int p = 2; p < 8; ++p)
        for (int b = 0; b < 8; ++b) EXPECT_FALSE(vexel_btn(M, b, p));

    // M is X only while no Ctrl key (or system key) is held.
    SetUp();
    fenn_set_key_state(key_m, 1);
    vexel_buttons_read(M);
    EXPECT_TRUE(vexel_btn(M, button_x, 0));
    fenn_set_key_state(fenn_key_rctrl, 1);
    vexel_buttons_read(M);
    EXPECT_FALSE(vexel_btn(M, button_x, 0));
    fenn_set_key_state(fenn_key_rctrl, 0);
    fenn_set_key_state(fenn_key_lsystem, 1);
    vexel_buttons_read(M);
    EXPECT_FALSE(vexel_btn(M, button_x, 0));
}

TEST_F(Buttons, CustomBindingsReplaceTheDefaultKeys) {
    settings.keys[0] = key_a;   // player 0 left on A
    settings.keys[12] = key_z;  // pause on Z
    fenn_set_key_state(key_left, 1);
    vexel_buttons_read(M);
    EXPECT_FALSE(vexel_btn(M, button_left, 0));
    fenn_set_key_state(key_a, 1);
    fenn_set_key_state(key_z, 1);
    vexel_buttons_read(M);
    EXPECT_TRUE(vexel_btn(M, button_left, 0));
    EXPECT_TRUE(vexel_btn(M, button_x, 1));   // A is still player 1's default X
    EXPECT_TRUE(vexel_btn(M, button_pause, 0));
    EXPECT_TRUE(vexel_btn(M, button_o, 0));   // Z keeps its default too

    // Player 1's bindings start at index 6; codes out of range mean defaults.
    SetUp();
    settings.keys[6] = key_left;
    settings.keys[1] = 9999;
    settings.keys[2] = -7;
    fenn_set_key_state(key_left, 1);
    fenn_set_key_state(79, 1);   // Right arrow
    fenn_set_key_state(82, 1);   // Up arrow
    vexel_buttons_read(M);
    EXPECT_TRUE(vexel_btn(M, button_left, 1));
    EXPECT_TRUE(vexel_btn(M, button_left, 0));
    EXPECT_TRUE(vexel_btn(M, button_right, 0));
    EXPECT_TRUE(vexel_btn(M, button_up, 0));
}

TEST_F(Buttons, StickNeedsHalfDeflectionAndValueOf129) {
    // At |x| = 16384 the stick is not yet deflected; just past it the value
    // (128) is still too small; from 16512 on it counts.
    EXPECT_EQ(vexel_pad_value(button_right, 16384, 0, 0), 0);
    EXPECT_EQ(vexel_pad_value(button_right, 16400, 0, 0), 128);
    EXPECT_EQ(vexel_pad_value(button_right, 16512, 0, 0), 129);
    EXPECT_EQ(vexel_pad_value(button_left, -32768, 0, 0), 255);
    EXPECT_EQ(vexel_pad_value(button_left, 32767, 0, 0), 0);
    EXPECT_EQ(vexel_pad_value(button_up, 0, -32768, 0), 255);
    EXPECT_EQ(vexel_pad_value(button_down, 20000, 20000, 0), 156);  // a diagonal deflects both
    EXPECT_EQ(vexel_pad_value(button_right, 20000, 20000, 0), 156);
    // Buttons: A or Y is O, B or X is X, Start is pause; the d-pad bits are not read.
    EXPECT_EQ(vexel_pad_value(button_o, 0, 0, 1u << 3), 255);
    EXPECT_EQ(vexel_pad_value(button_x, 0, 0, 1u << 2), 255);
    EXPECT_EQ(vexel_pad_value(button_spare, 0, 0, 0xffffffffu), 0);
    EXPECT_EQ(vexel_pad_value(button_up, 0, 0, 1u << 11), 0);

    pads[0] = {true, 16400, 0, 0};
    vexel_buttons_read(M);
    EXPECT_FALSE(vexel_btn(M, button_right, 0));
    pads[0] = {true, 16512, 0, 1u << 1};
    vexel_buttons_read(M);
    EXPECT_TRUE(vexel_btn(M, button_right, 0));
    EXPECT_TRUE(vexel_btn(M, button_x, 0));
}

TEST_F(Buttons, JoystickIndexShiftsControllersToLaterPlayers) {
    tm.host.joystick_index = 2;
    pads[0] = {true, 0, 0, 1u << 0};
    pads[1] = {true, 0, 0, 1u << 6};
    vexel_buttons_read(M);
    EXPECT_FALSE(vexel_btn(M, button_o, 0));
    EXPECT_TRUE(vexel_btn(M, button_o, 2));
    EXPECT_TRUE(vexel_btn(M, button_pause, 3));
    EXPECT_EQ(vexel_player_pad(M, button_o, 2), 255);
    EXPECT_EQ(vexel_player_pad(M, button_o, 1), 0);  // controller -1 does not exist
    EXPECT_EQ(vexel_button_pressed(M, 8, 0), 0);
    EXPECT_EQ(vexel_button_pressed_pad(M, 0, -1), 0);
}

TEST_F(Buttons, MenuQueriesFireOnPressAndOnRepeat) {
    fenn_set_key_state(key_z, 1);
    pads[0] = {true, 0, 0, 1u << 0};
    std::vector<int> any, pad_only;
    for (int f = 0; f < 22; ++f) {
        frame();
        if (vexel_button_pressed(M, button_o, 0)) any.push_back(f);
        if (vexel_button_pressed_pad(M, button_o, 0)) pad_only.push_back(f);
    }
    // button_pressed looks at the sample just read, one frame ahead of btnp.
    EXPECT_EQ(any, (std::vector<int>{0, 15, 19}));
    EXPECT_EQ(pad_only, (std::vector<int>{0, 15, 19}));

    // The keyboard alone does not reach the controller query.
    SetUp();
    fenn_set_key_state(key_z, 1);
    frame();
    EXPECT_EQ(vexel_button_pressed(M, button_o, 0), 1);
    EXPECT_EQ(vexel_button_pressed_pad(M, button_o, 0), 0);
    // A stick counts for menus as soon as it leaves the dead zone.
    pads[0] = {true, 0, 17000, 0};
    frame();
    EXPECT_EQ(vexel_button_pressed_pad(M, button_down, 0), 1);
}

TEST_F(Buttons, MouseWheelIsLatchedOncePerRead) {
    fenn_add_mouse_wheel(1, -2);
    fenn_add_mouse_wheel(0, -1);
    vexel_buttons_read(M);
    EXPECT_EQ(M->buttons.wheel_x, 1);
    EXPECT_EQ(M->buttons.wheel_y, -3);
    vexel_buttons_read(M);
    EXPECT_EQ(M->buttons.wheel_x, 0);
    EXPECT_EQ(M->buttons.wheel_y, 0);
}

TEST_F(Buttons, AKeyTappedBetweenTwoFramesIsHeldForOneFrame) {
    const uint8_t up[fenn_key_count] = {};
    uint8_t down[fenn_key_count] = {};
    down[key_z] = 1;
    // Pressed and released within one input pass, and within a pass that
    // is no machine frame: the next frame still reads it, once.
    fenn_keys_snapshot(up, fenn_key_count, 0);
    fenn_keys_key_down(key_z, 1);
    fenn_keys_snapshot(up, fenn_key_count, 2);
    fenn_keys_snapshot(up, fenn_key_count, 3);
    std::vector<int> seen;
    for (int f = 0; f < 3; ++f) {
        frame();
        if (vexel_btn(M, button_o, 0)) seen.push_back(f);
    }
    EXPECT_EQ(seen, std::vector<int>{0});
    // A key held across frames reads as held on every one of them.
    fenn_keys_key_down(key_z, 4);
    fenn_keys_snapshot(down, fenn_key_count, 5);
    seen.clear();
    for (int f = 0; f < 3; ++f) {
        frame();
        if (vexel_btn(M, button_o, 0)) seen.push_back(f);
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
}

TEST_F(Buttons, AKeyPressedWithCtrlNeverReachesTheProgram) {
    const uint8_t up[fenn_key_count] = {};
    // Ctrl+M (sound on/off) and Ctrl+X, let go before the machine's frame:
    // neither is the X button, also when bound by keyconfig.
    fenn_keys_snapshot(up, fenn_key_count, 0);
    for (int key : {key_m, key_x}) {
        fenn_set_key_state(fenn_key_lctrl, 1);
        fenn_keys_key_down(key, 1);
        fenn_set_key_state(fenn_key_lctrl, 0);
        fenn_keys_snapshot(up, fenn_key_count, 2);
        frame();
        EXPECT_FALSE(vexel_btn(M, button_x, 0)) << key;
    }
    // The same key alone is the button again.
    fenn_keys_key_down(key_m, 3);
    frame();
    EXPECT_TRUE(vexel_btn(M, button_x, 0));
}

TEST_F(Buttons, ReplayDrivesBothPlayersAndThenReleasesEverything) {
    fenn_set_key_state(key_left, 1);  // the keyboard is ignored during a replay
    pads[0] = {true, 0, 0, 1u << 0};
    vexel_set_button_replay(M, {32, 32, 0, 32 | 512, 0xffff});
    std::vector<int> masks, pressed;
    for (int f = 0; f < 7; ++f) {
        frame();
        masks.push_back(vexel_btn_mask(M));
        pressed.push_back(vexel_btnp_mask(M));
    }
    EXPECT_EQ(masks, (std::vector<int>{32, 32, 0, 32 | 512, 0xffff, 0, 0}));
    EXPECT_EQ(pressed, (std::vector<int>{0, 32, 0, 0, 32 | 512, 0xffdf & ~512, 0}));
    for (int p = 2; p < 8; ++p) EXPECT_FALSE(vexel_btn(M, button_o, p));

    // A button held in the replay while buttons are blocked (a program
    // starting) is not seen until the replay releases it.
    SetUp();
    vexel_set_button_replay(M, {32, 32, 32, 0, 32});
    frame();
    vexel_buttons_block(M);
    frame();
    EXPECT_FALSE(vexel_btn(M, button_x, 0));
    frame();
    EXPECT_FALSE(vexel_btn(M, button_x, 0));
    frame();
    frame();
    EXPECT_TRUE(vexel_btn(M, button_x, 0));
}

TEST(ButtonReplay, ParsesDecimalLinesAndRefusesAnythingElse) {
    std::vector<uint16_t> out;
    int line = -1;
    const std::string good = "0\n17\r\n  529 \n65535\n\n\n";
    EXPECT_EQ(vexel_parse_button_replay(good.data(), good.size(), out, &line), replay_ok);
    EXPECT_EQ(out, (std::vector<uint16_t>{0, 17, 529, 65535}));
    EXPECT_EQ(vexel_parse_button_replay("5", 1, out, &line), replay_ok);
    EXPECT_EQ(out, (std::vector<uint16_t>{5}));
    EXPECT_EQ(vexel_parse_button_replay("", 0, out, &line), replay_ok);
    EXPECT_TRUE(out.empty());

    struct Bad {
        std::string text;
        int error, line;
    };
    const Bad bad[] = {
        {"1\n2\nx\n", replay_not_a_number, 3},   {"1\n\n2\n", replay_not_a_number, 2},
        {"-1\n", replay_not_a_number, 1},        {"65536\n", replay_out_of_range, 1},
        {"99999999999999999999\n", replay_out_of_range, 1}, {"1 2\n", replay_not_a_number, 1},
        {std::string("1\0002\n", 4), replay_not_a_number, 1}, {"0x10\n", replay_not_a_number, 1},
    };
    for (const Bad& b : bad) {
        out.assign(3, 7);
        EXPECT_EQ(vexel_parse_button_replay(b.text.data(), b.text.size(), out, &line), b.error) << b.text;
        EXPECT_EQ(line, b.line) << b.text;
    }
    EXPECT_EQ(vexel_parse_button_replay("1", vexel_replay_max_bytes + 1, out, nullptr), replay_too_large);
    std::string many;
    for (size_t i = 0; i <= vexel_replay_max_lines; ++i) many += "1\n";
    EXPECT_EQ(vexel_parse_button_replay(many.data(), many.size(), out, &line), replay_too_many_lines);
}

TEST(ButtonReplay, LoadsFromAFileAndReportsMissingOrBrokenOnes) {
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    std::string dir = vexel_test::temp_dir("replay");
    std::string good = dir + "/good.txt", bad = dir + "/bad.txt";
    std::ofstream(good) << "16\n0\n";
    std::ofstream(bad) << "16\nleft\n";
    int line = 0;
    EXPECT_EQ(vexel_load_button_replay(M, (dir + "/missing.txt").c_str(), &line), replay_cannot_open);
    EXPECT_EQ(vexel_load_button_replay(M, dir.c_str(), &line), replay_cannot_open);  // a folder
    EXPECT_FALSE(M->replay.active);
    EXPECT_EQ(vexel_load_button_replay(M, bad.c_str(), &line), replay_not_a_number);
    EXPECT_EQ(line, 2);
    EXPECT_FALSE(M->replay.active);
    EXPECT_EQ(vexel_load_button_replay(M, good.c_str(), &line), replay_ok);
    EXPECT_TRUE(M->replay.active);
    vexel_buttons_reset(M);
    vexel_buttons_read(M);
    EXPECT_TRUE(vexel_btn(M, button_o, 0));
    vexel_clear_button_replay(M);
    EXPECT_STRNE(vexel_replay_error_text(replay_out_of_range), vexel_replay_error_text(replay_not_a_number));
}

}  // namespace
