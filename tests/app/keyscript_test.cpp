// Key-and-mouse scripts: every command parsed, faults named by line, and
// the player feeding the platform's key buffer, key states and pointer.
#include <gtest/gtest.h>

#include <SDL.h>

#include <fstream>
#include <string>

#include "app/keyscript.h"
#include "framework/fenn_input.h"
#include "framework/fenn_platform.h"
#include "test_support.h"

using namespace std::string_literals;

namespace {

keyscript parse_ok(const std::string& text) {
    keyscript s;
    int line = -1;
    std::string why;
    EXPECT_TRUE(keyscript_parse(text.data(), text.size(), &s, &line, &why)) << why << " at line " << line;
    return s;
}

// The line and reason of a refused script.
std::string fault(const std::string& text) {
    keyscript s;
    int line = 0;
    std::string why;
    EXPECT_FALSE(keyscript_parse(text.data(), text.size(), &s, &line, &why)) << text;
    return std::to_string(line) + ": " + why;
}

std::vector<int> typed() {
    std::vector<int> out;
    while (fenn_keypressed()) out.push_back(fenn_readkey());
    return out;
}

}  // namespace

TEST(KeyScript, EveryCommandParses) {
    const keyscript s = parse_ok(
        "# a comment\n"
        "\n"
        "type print(\"hi\")  two  blanks\n"
        "key escape\n"
        "KEY Ctrl+Shift+S\r\n"
        "key alt+right\n"
        "mouse 10 -3\n"
        "down\n"
        "up right\n"
        "click 64 4 right\n"
        "wheel -3\n"
        "wait 30\n"
        "key f12");
    ASSERT_EQ(s.steps.size(), 11u);
    EXPECT_EQ(s.steps[0].op, keyscript_type);
    EXPECT_EQ(s.steps[0].text, "print(\"hi\")  two  blanks");
    EXPECT_EQ(s.steps[0].line, 3);
    EXPECT_EQ(s.steps[1].scancode, SDL_SCANCODE_ESCAPE);
    EXPECT_EQ(s.steps[2].scancode, SDL_SCANCODE_S);
    EXPECT_EQ(s.steps[2].mods, keyscript_ctrl | keyscript_shift);
    EXPECT_EQ(s.steps[3].scancode, SDL_SCANCODE_RIGHT);
    EXPECT_EQ(s.steps[3].mods, keyscript_alt);
    EXPECT_EQ(s.steps[4].op, keyscript_mouse);
    EXPECT_EQ(s.steps[4].y, -3);
    EXPECT_EQ(s.steps[5].button, fenn_mouse_left);
    EXPECT_EQ(s.steps[6].op, keyscript_up);
    EXPECT_EQ(s.steps[6].button, fenn_mouse_right);
    EXPECT_EQ(s.steps[7].op, keyscript_click);
    EXPECT_EQ(s.steps[7].button, fenn_mouse_right);
    EXPECT_EQ(s.steps[8].n, -3);
    EXPECT_EQ(s.steps[9].n, 30);
    EXPECT_EQ(s.steps[10].scancode, SDL_SCANCODE_F12);
    EXPECT_EQ(s.steps[10].line, 13);
}

TEST(KeyScript, KeyNames) {
    for (const char* name : {"a", "z", "0", "9", "escape", "enter", "backspace", "tab", "delete", "left", "right",
                             "up", "down", "home", "end", "pageup", "pagedown", "f1", "f12", "space"})
        EXPECT_GE(keyscript_scancode(name), 0) << name;
    for (const char* name : {"", "f0", "f13", "f01", "f-1", "ab", "ctrl", "return"})
        EXPECT_EQ(keyscript_scancode(name), -1) << name;
}

TEST(KeyScript, FaultsAreNamedByLine) {
    EXPECT_EQ(fault("wait 2\njump 3\n"), "2: unknown command \"jump\"");
    EXPECT_EQ(fault("key\n"), "1: key: wrong number of arguments");
    EXPECT_EQ(fault("key ctrl+\n"), "1: key: unknown key name \"\"");
    EXPECT_EQ(fault("key hyper+a\n"), "1: key: unknown modifier \"hyper\"");
    EXPECT_EQ(fault("\n\nmouse 1\n"), "3: mouse: wrong number of arguments");
    EXPECT_EQ(fault("mouse 1 99999\n"), "1: mouse: X and Y are whole numbers from -1024 to 1024");
    EXPECT_EQ(fault("mouse 1 2x\n"), "1: mouse: X and Y are whole numbers from -1024 to 1024");
    EXPECT_EQ(fault("click 1 2 middle\n"), "1: click: the button after X Y can only be right");
    EXPECT_EQ(fault("down middle\n"), "1: down: left or right");
    EXPECT_EQ(fault("wheel 101\n"), "1: wheel: N is a whole number from -100 to 100");
    EXPECT_EQ(fault("wait 0\n"), "1: wait: N is a whole number from 1 to 1000000");
    EXPECT_EQ(fault("wait -5\n"), "1: wait: N is a whole number from 1 to 1000000");
    EXPECT_EQ(fault("type\n"), "1: type: nothing to type");
    EXPECT_EQ(fault("type a\x01" "b\n"), "1: type: not UTF-8 text, or a control character");
    EXPECT_EQ(fault("type \xff\n"), "1: type: not UTF-8 text, or a control character");
    EXPECT_EQ(fault("wait 1\nwait\0 1\n"s), "2: a NUL byte");
    EXPECT_EQ(fault(std::string(5000, 'w')), "1: line longer than 4096 bytes");
    EXPECT_EQ(fault(std::string(keyscript_file_max + 1, '\n')), "0: is larger than 1 MiB");
}

TEST(KeyScript, FilesAreReadWithTheSameChecks) {
    const std::string dir = vexel_test::temp_dir("keyscript");
    keyscript s;
    int line = 0;
    std::string why;
    EXPECT_FALSE(keyscript_load((dir + "/none.txt").c_str(), &s, &line, &why));
    EXPECT_EQ(why, "cannot be read");
    EXPECT_FALSE(keyscript_load(dir.c_str(), &s, &line, &why));  // a folder
    std::ofstream(dir + "/bad.txt") << "wait 1\nwait x\n";
    EXPECT_FALSE(keyscript_load((dir + "/bad.txt").c_str(), &s, &line, &why));
    EXPECT_EQ(line, 2);
    std::ofstream(dir + "/big.txt") << std::string(keyscript_file_max + 10, '#');
    EXPECT_FALSE(keyscript_load((dir + "/big.txt").c_str(), &s, &line, &why));
    EXPECT_EQ(why, "is larger than 1 MiB");
    std::ofstream(dir + "/good.txt") << "key enter\n";
    EXPECT_TRUE(keyscript_load((dir + "/good.txt").c_str(), &s, &line, &why));
    EXPECT_EQ(s.steps.size(), 1u);
}

TEST(KeyScript, KeysTypeWhatTheKeyboardTypes) {
    EXPECT_EQ(keyscript_typed_char(SDL_SCANCODE_A, 0), 'a');
    EXPECT_EQ(keyscript_typed_char(SDL_SCANCODE_A, keyscript_shift), 'A');
    EXPECT_EQ(keyscript_typed_char(SDL_SCANCODE_V, keyscript_ctrl), 'v');
    EXPECT_EQ(keyscript_typed_char(SDL_SCANCODE_2, keyscript_shift), '@');
    EXPECT_EQ(keyscript_typed_char(SDL_SCANCODE_RETURN, keyscript_ctrl), 13);
    EXPECT_EQ(keyscript_typed_char(SDL_SCANCODE_TAB, keyscript_alt), 0);
    EXPECT_EQ(keyscript_typed_char(SDL_SCANCODE_RIGHT, keyscript_alt), 0);
    EXPECT_EQ(keyscript_typed_char(SDL_SCANCODE_A, keyscript_alt), 0);
    EXPECT_EQ(keyscript_typed_char(SDL_SCANCODE_SPACE, 0), ' ');
}

TEST(KeyScript, ThePlayerFeedsThePlatformOneFrameACommand) {
    fenn_flush_keys();
    keyscript_player p;
    p.script = parse_ok(
        "key ctrl+s\n"
        "type abcdefghijklmnopqrstuvwxyz\n"
        "click 5 6\n"
        "wait 2\n"
        "down right\n"
        "wheel 4\n"
        "key left\n");
    ASSERT_TRUE(keyscript_playing(p));

    keyscript_advance(&p);
    EXPECT_EQ(fenn_get_key_state(SDL_SCANCODE_S), 3);
    EXPECT_NE(fenn_get_key_state(fenn_mod_ctrl), 0);
    EXPECT_EQ(typed(), std::vector<int>{'s'});
    keyscript_release(&p);  // the next pass: let go
    EXPECT_EQ(fenn_get_key_state(SDL_SCANCODE_S), 0);
    EXPECT_EQ(fenn_get_key_state(fenn_mod_ctrl), 0);

    // 26 letters take two frames.
    keyscript_advance(&p);
    EXPECT_EQ(typed().size(), size_t(keyscript_typed_per_frame));
    keyscript_release(&p);
    keyscript_advance(&p);
    EXPECT_EQ(typed().size(), size_t(26 - keyscript_typed_per_frame));
    keyscript_release(&p);

    int x = 0, y = 0, b = 0;
    keyscript_advance(&p);
    fenn_get_mouse(&x, &y, &b);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 6);
    EXPECT_EQ(b, fenn_mouse_left);
    keyscript_release(&p);
    fenn_get_mouse(&x, &y, &b);
    EXPECT_EQ(b, 0);  // a click lets go at the next pass

    keyscript_advance(&p);  // wait 2
    keyscript_advance(&p);
    keyscript_advance(&p);  // down right
    fenn_get_mouse(&x, &y, &b);
    EXPECT_EQ(b, fenn_mouse_right);
    keyscript_release(&p);
    fenn_get_mouse(&x, &y, &b);
    EXPECT_EQ(b, fenn_mouse_right);  // held until an up

    int wx = 0, wy = 0;
    fenn_take_mouse_wheel(&wx, &wy);
    keyscript_advance(&p);
    fenn_take_mouse_wheel(&wx, &wy);
    EXPECT_EQ(wy, 4);

    keyscript_advance(&p);
    EXPECT_EQ(fenn_get_key_state(SDL_SCANCODE_LEFT), 3);
    EXPECT_EQ(typed(), std::vector<int>{-1});  // a key that types nothing
    keyscript_release(&p);
    EXPECT_FALSE(keyscript_playing(p));
    keyscript_advance(&p);  // past the end: nothing
    EXPECT_FALSE(fenn_keypressed());
    fenn_clear_mouse_override();
}
