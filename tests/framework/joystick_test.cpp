#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "framework/fenn_config.h"
#include "framework/fenn_joystick.h"
#include "framework/fenn_platform.h"
#include "test_support.h"

namespace {

using vexel_test::read_file;

TEST(Joystick, ValidationIgnoresButtonsAndAxesUntilReleasedOrCentred) {
    fenn_pad_validation v{};
    // Button 3 is held when the device appears: not a press.
    EXPECT_EQ(fenn_validate_buttons(v, 1u << 3, 0), 0u);
    EXPECT_EQ(v.warned, 1);
    EXPECT_EQ(fenn_validate_buttons(v, 1u << 3 | 1u << 0, 0), 1u << 0);  // others count at once
    EXPECT_EQ(fenn_validate_buttons(v, 0, 0), 0u);                       // released once...
    EXPECT_EQ(fenn_validate_buttons(v, 1u << 3, 0), 1u << 3);            // ...then it counts

    fenn_pad_validation a{};
    EXPECT_EQ(fenn_validate_axis(a, 0, 30000), 0);   // resting off-centre
    EXPECT_EQ(fenn_validate_axis(a, 1, -200), -200); // centred axes count at once
    EXPECT_EQ(fenn_validate_axis(a, 0, -30000), 0);
    EXPECT_EQ(fenn_validate_axis(a, 0, 100), 100);
    EXPECT_EQ(fenn_validate_axis(a, 0, 30000), 30000);
    EXPECT_EQ(fenn_validate_axis(a, 40, 5), 0);      // out of range axis numbers read 0
    EXPECT_EQ(fenn_validate_axis(a, -1, 5), 0);
}

class JoystickDevices : public ::testing::Test {
protected:
    std::string home;
    void SetUp() override {
        ASSERT_EQ(SDL_Init(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
        home = vexel_test::temp_dir("joyhome");
        std::snprintf(fenn_cfg.home, sizeof fenn_cfg.home, "%s", home.c_str());
    }
    void TearDown() override {
        fenn_joystick_exit();
        while (SDL_NumJoysticks() > 0) SDL_JoystickDetachVirtual(0);
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        fenn_cfg.home[0] = 0;
    }
};

TEST_F(JoystickDevices, BuiltInMappingsAreAllAcceptedAndDistinct) {
    ASSERT_GT(fenn_builtin_mapping_count(), 20);
    for (int i = 0; i < fenn_builtin_mapping_count(); ++i) {
        const char* m = fenn_builtin_mapping(i);
        ASSERT_NE(m, nullptr);
        EXPECT_GE(SDL_GameControllerAddMapping(m), 0) << m;
        EXPECT_NE(std::string(m).find(",platform:Linux,"), std::string::npos) << m;
        for (int j = 0; j < i; ++j)
            EXPECT_NE(std::string(m).substr(0, 32), std::string(fenn_builtin_mapping(j)).substr(0, 32)) << m;
    }
    EXPECT_EQ(fenn_builtin_mapping(-1), nullptr);
    EXPECT_EQ(fenn_builtin_mapping(fenn_builtin_mapping_count()), nullptr);
}

TEST_F(JoystickDevices, MappingTextSkipsCommentsBlanksAndBrokenLines) {
    const std::string text =
        "// a comment\n"
        "\n"
        "  03000000aaaa00000100000000010000,Test Pad,a:b0,b:b1,leftx:a0,lefty:a1,platform:Linux,  \r\n"
        "not a mapping\n"
        "03000000aaaa00000100000000010000,Test Pad Renamed,a:b1,b:b0,platform:Linux,";
    EXPECT_EQ(fenn_add_mappings_from_text(text.data(), text.size()), 2);
    EXPECT_EQ(fenn_add_mappings_from_text(nullptr, 10), 0);
}

TEST_F(JoystickDevices, InitCreatesTheUserMappingFileAndReadsIt) {
    std::string file = home + "/" + fenn_controller_file;
    fenn_joystick_init();
    EXPECT_EQ(read_file(file), "// add SDL2 game controller mappings to this file\n");
    fenn_joystick_exit();
    std::ofstream(file) << "// mine\n03000000bbbb00000200000000010000,Mine,a:b0,platform:Linux,\n";
    fenn_joystick_init();
    char* m = SDL_GameControllerMappingForGUID(SDL_JoystickGetGUIDFromString("03000000bbbb00000200000000010000"));
    ASSERT_NE(m, nullptr);
    EXPECT_NE(std::string(m).find("Mine"), std::string::npos);
    SDL_free(m);
}

TEST_F(JoystickDevices, VirtualControllerReadsThroughValidation) {
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 0);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* j = SDL_JoystickOpen(index);
    ASSERT_NE(j, nullptr);
    // Held A and a pushed stick when the controller is found.
    SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_A, 1);
    SDL_JoystickSetVirtualAxis(j, 0, 30000);
    SDL_JoystickUpdate();
    fenn_joystick_init();
    ASSERT_EQ(fenn_count_joysticks(), 1);
    int x = 1, y = 1;
    uint32_t buttons = 1;
    EXPECT_EQ(fenn_get_joystick(0, &x, &y, &buttons), 1);
    EXPECT_EQ(buttons, 0u);
    EXPECT_EQ(x, 0);

    SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_A, 0);
    SDL_JoystickSetVirtualAxis(j, 0, 0);
    SDL_JoystickUpdate();
    fenn_get_joystick(0, &x, &y, &buttons);
    SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_A, 1);
    SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_START, 1);
    SDL_JoystickSetVirtualAxis(j, 0, -30000);
    SDL_JoystickUpdate();
    fenn_get_joystick(0, &x, &y, &buttons);
    EXPECT_EQ(buttons, (1u << SDL_CONTROLLER_BUTTON_A) | (1u << SDL_CONTROLLER_BUTTON_START));
    EXPECT_EQ(x, -30000);
    int axes[8] = {};
    EXPECT_EQ(fenn_get_joystick_axes(0, axes, 8), 6);
    EXPECT_EQ(axes[0], -30000);

    // Controllers that are not there read as nothing.
    EXPECT_EQ(fenn_get_joystick(1, &x, &y, &buttons), 0);
    EXPECT_EQ(buttons, 0u);
    EXPECT_EQ(fenn_get_joystick(-1, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(fenn_get_joystick_axes(0, nullptr, 8), 0);

    // Unplugged: reads as nothing until a rescan forgets it.
    SDL_JoystickClose(j);
    SDL_JoystickDetachVirtual(0);
    SDL_JoystickUpdate();
    EXPECT_EQ(fenn_get_joystick(0, &x, &y, &buttons), 0);
    fenn_joystick_rescan();
    EXPECT_EQ(fenn_count_joysticks(), 0);
}

}  // namespace
