#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>

#include "framework/fenn_config.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_platform.h"

namespace {

// Drives the real input pass with events pushed into SDL's queue (the dummy
// video driver has no keyboard of its own, so the host key table stays up).
class InputPass : public ::testing::Test {
protected:
    void SetUp() override {
        fenn_config_default();
        fenn_cfg.foreground_sleep_ms = fenn_cfg.background_sleep_ms = 0;
        fenn_cfg.headless = 0;
        fenn_system_init();
        ASSERT_TRUE(fenn_platform_has_video());
        fenn_keys_init();
        fenn_quit = 0;
    }
    void TearDown() override {
        fenn_system_exit();
        fenn_keys_init();
        fenn_cfg.emulate_textinput = 0;
        fenn_quit = 0;
    }
    static void key(int scancode) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.scancode = SDL_Scancode(scancode);
        SDL_PushEvent(&e);
    }
    static void text(const char* t) {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        std::strncpy(e.text.text, t, sizeof e.text.text - 1);
        SDL_PushEvent(&e);
    }
    static void pass() { fenn_handle_system_messages(); }
};

TEST_F(InputPass, CtrlLettersAreTypedButNotWithRightAlt) {
    key(SDL_SCANCODE_LCTRL);
    key(SDL_SCANCODE_R);
    pass();
    ASSERT_TRUE(fenn_keypressed());
    EXPECT_EQ(fenn_readkey(), 'r');
    EXPECT_EQ(fenn_get_key_state(SDL_SCANCODE_R), 3);   // pressed in this pass
    EXPECT_FALSE(fenn_keypressed());

    // Right Alt (AltGr) with Ctrl and a letter is no Ctrl shortcut: the key
    // press is recorded without a character.
    fenn_keys_init();
    key(SDL_SCANCODE_LCTRL);
    key(SDL_SCANCODE_RALT);
    key(SDL_SCANCODE_R);
    pass();
    EXPECT_EQ(fenn_readkey(), -1);
    EXPECT_FALSE(fenn_keypressed());
    EXPECT_EQ(fenn_get_key_state(fenn_mod_ctrl), 0);
}

TEST_F(InputPass, SpecialKeysTextAndTheBufferLimit) {
    key(SDL_SCANCODE_RETURN);
    key(SDL_SCANCODE_ESCAPE);
    key(SDL_SCANCODE_BACKSPACE);
    text("a");
    text("\xc3\xa9");          // beyond ASCII: its code point, above the key codes
    text("\xe2\xac\x87\xef\xb8\x8f");  // two characters in one event (an emoji form)
    text("b\xff");             // bytes that are no UTF-8 type nothing
    pass();
    EXPECT_EQ(fenn_readkey(), 13);
    EXPECT_EQ(fenn_readkey(), 27);
    EXPECT_EQ(fenn_readkey(), 8);
    EXPECT_EQ(fenn_readkey(), 'a');
    EXPECT_EQ(fenn_readkey(), fenn_typed_unicode + 0xe9);
    EXPECT_EQ(fenn_readkey(), fenn_typed_unicode + 0x2b07);
    EXPECT_EQ(fenn_readkey(), fenn_typed_unicode + 0xfe0f);
    EXPECT_EQ(fenn_readkey(), 'b');
    EXPECT_EQ(fenn_readkey(), 0);

    for (int i = 0; i < 40; ++i) text("x");
    pass();
    int n = 0;
    while (fenn_keypressed()) {
        fenn_readkey();
        ++n;
    }
    EXPECT_EQ(n, fenn_typed_max);
}

TEST_F(InputPass, EmulatedTextFollowsAUsLayout) {
    fenn_cfg.emulate_textinput = 1;
    text("z");  // ignored while emulating
    key(SDL_SCANCODE_LSHIFT);
    key(SDL_SCANCODE_1);
    key(SDL_SCANCODE_SLASH);
    pass();
    EXPECT_EQ(fenn_readkey(), '!');
    EXPECT_EQ(fenn_readkey(), '?');
    EXPECT_EQ(fenn_readkey(), 0);
}

TEST_F(InputPass, WheelEventsAddUpAndQuitShortcutsEndTheLoop) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = 2;
    SDL_PushEvent(&e);
    e.wheel.y = -5;
    e.wheel.x = 1;
    SDL_PushEvent(&e);
    pass();
    int x = 0, y = 0;
    fenn_take_mouse_wheel(&x, &y);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, -3);

    key(SDL_SCANCODE_LCTRL);
    key(SDL_SCANCODE_Q);
    pass();
    EXPECT_NE(fenn_quit, 0);
    EXPECT_FALSE(fenn_keypressed());  // the shortcut is not typed
}

}  // namespace
