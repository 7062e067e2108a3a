// The control codes of printed text, family by family: what each draws in a
// small region of the screen, where it leaves the pen (the x print
// returns), and that a code cut off by the end of the text ends it quietly.
// Texts are written as a program writes them (see codes()); the pictures
// use the built-in console font, so they do not change with the assets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx_scene.h"
#include "machine/gfx.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "test_support.h"

namespace {

using namespace gfx_test;

// The escapes of the script language for the control bytes: "\^w" is 6 'w'.
std::string codes(const char* s) {
    std::string out;
    for (; *s; ++s) {
        if (*s != '\\' || !s[1]) {
            out += *s;
            continue;
        }
        switch (*++s) {
        case '*': out += '\1'; break;
        case '#': out += '\2'; break;
        case '-': out += '\3'; break;
        case '|': out += '\4'; break;
        case '+': out += '\5'; break;
        case '^': out += '\6'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        default: out += *s; break;
        }
    }
    return out;
}

// The glyph '0' of the built-in font: twelve pixels.
constexpr int zero_pixels = 12;

class PrintCodes : public ::testing::Test {
protected:
    std::vector<int> played;
    vexel_print_sound sound{[](void* self, int n) { static_cast<PrintCodes*>(self)->played.push_back(n); }, this};

    void SetUp() override {
        set_up();
        M->pen_col = 7;
    }
    void TearDown() override { tear_down(); }

    // print(text, x, y) as a program calls it; what it returns.
    int print_at(const char* text, int x, int y) {
        const std::string t = codes(text);
        return vexel_script_print(M, 3, t.c_str(), t.size(), F(x), F(y), 0, false, sound);
    }
    // print(text): the cursor moves down.
    void print_line(const char* text) {
        const std::string t = codes(text);
        vexel_script_print(M, 1, t.c_str(), t.size(), 0, 0, 0, false, sound);
    }
    // The region's pixels, rows joined by '|', colour 0 as '.'.
    static std::string pic(int x0, int y0, int w, int h) {
        std::string s;
        for (int y = y0; y < y0 + h; ++y) {
            if (y > y0) s += '|';
            for (int x = x0; x < x0 + w; ++x) s += px(x, y) ? "0123456789abcdef"[px(x, y)] : '.';
        }
        return s;
    }
    void clear() { vexel_cls(M, 0, 0); }
};

TEST_F(PrintCodes, ColourAndBackground) {
    EXPECT_EQ(print_at("\\f80", 0, 0), 4);
    EXPECT_EQ(pic(0, 0, 4, 6), "888.|8.8.|8.8.|8.8.|888.|....");
    EXPECT_EQ(M->pen_col, 7);  // the code colours this text only

    clear();
    EXPECT_EQ(print_at("\\#10", 0, 0), 4);  // the whole cell, spacing included
    EXPECT_EQ(pic(0, 0, 4, 6), "7771|7171|7171|7171|7771|1111");
    EXPECT_EQ(print_at("\\#1\\^-#0", 10, 0), 14);  // the fill turned off again
    EXPECT_EQ(pic(10, 0, 4, 1), "777.");

    // Both go through the draw palette.
    clear();
    M->draw_pal[8] = 9;
    M->draw_pal[1] = 13;
    print_at("\\f8\\#10", 0, 0);
    EXPECT_EQ(pic(0, 0, 4, 2), "999d|9d9d");

    // A bad digit is skipped with its code.
    clear();
    EXPECT_EQ(print_at("\\fz\\#g0", 0, 0), 4);
    EXPECT_EQ(pic(0, 0, 4, 2), "777.|7.7.");

    // \^# fills with the background colour, 0 until one is set.
    vexel_cls(M, 1, F(5));
    print_at("\\^#0", 0, 0);
    EXPECT_EQ(pic(0, 0, 5, 2), "777.5|7.7.5");
}

TEST_F(PrintCodes, RepeatDrawsTheCharacterCountTimes) {
    EXPECT_EQ(print_at("\\*30", 0, 0), 12);
    EXPECT_EQ(pic(0, 0, 13, 1), "777.777.777..");
    EXPECT_EQ(print_at("\\*a-", 0, 10), 40);  // a-z count 10-35
    EXPECT_EQ(print_at("\\*z-", 0, 20), 140);
    EXPECT_EQ(print_at("\\*0x", 5, 30), 5);
    EXPECT_EQ(print_at("\\*!x0", 0, 40), 4);  // a bad count skips the code and its character
    // Byte 127 ends the text after one glyph, repeated or not; a NUL ends it
    // before the repeat.
    EXPECT_EQ(print_at("\\*3\x7f" "0", 0, 50), 4);
    const char nul[] = "\x01" "3\0" "0";
    EXPECT_EQ(vexel_script_print(M, 3, nul, 4, F(9), F(60), 0), 9);

    // A repeated newline is a line feed each time (an empty line is one
    // spacing high, as in plain text).
    clear();
    EXPECT_EQ(print_at("0\\*2\\n1", 0, 0), 4);
    EXPECT_EQ(pic(0, 7, 3, 2), "77.|.7.");
}

TEST_F(PrintCodes, CursorMovesReturnAndBack) {
    EXPECT_EQ(print_at("\\-k0", 10, 0), 18);  // k = 20: four right
    EXPECT_EQ(pic(13, 0, 2, 1), ".7");
    EXPECT_EQ(print_at("\\-00", 20, 10), 8);  // 0: sixteen left
    EXPECT_EQ(px(4, 10), 7);
    EXPECT_EQ(print_at("\\-w0", 40, 0), 44);  // w is no base-32 digit: no move

    clear();
    EXPECT_EQ(print_at("\\|h0", 0, 10), 4);  // one down
    EXPECT_EQ(pic(0, 10, 1, 2), ".|7");
    EXPECT_EQ(print_at("\\+vv0", 20, 20), 39);  // 15 right, 15 down
    EXPECT_EQ(px(35, 35), 7);
    EXPECT_EQ(px(35, 34), 0);
    EXPECT_EQ(print_at("\\+gg0", 60, 0), 64);

    // \r goes back to the line's start, \b back one cell.
    clear();
    EXPECT_EQ(print_at("00\\r1", 10, 20), 14);
    EXPECT_EQ(pic(10, 20, 3, 2), "777|777");  // '1' over the first '0'
    EXPECT_EQ(print_at("00\\b1", 0, 0), 8);
    EXPECT_EQ(px(5, 1), 7);  // the '1' over the second '0'
    EXPECT_EQ(print_at("\\b0", 50, 0), 50);  // before any cell: a narrow one
    EXPECT_EQ(px(46, 0), 7);
    EXPECT_EQ(print_at("\\^w0\\b1", 0, 40), 8);  // back a whole wide cell
}

TEST_F(PrintCodes, WideTallStripedAndTheirLines) {
    EXPECT_EQ(print_at("\\^w0", 0, 0), 8);
    EXPECT_EQ(pic(0, 0, 8, 3), "777777..|77..77..|77..77..");

    clear();
    EXPECT_EQ(print_at("\\^t0", 0, 0), 4);
    EXPECT_EQ(pic(0, 0, 3, 11), "777|777|7.7|7.7|7.7|7.7|7.7|7.7|777|777|...");

    clear();
    EXPECT_EQ(print_at("\\^=0", 0, 0), 4);
    EXPECT_EQ(pic(0, 0, 3, 5), "777|...|7.7|...|777");

    clear();
    EXPECT_EQ(print_at("\\^p0", 0, 0), 8);  // wide, tall and striped
    EXPECT_EQ(pic(0, 0, 6, 10), "777777|......|77..77|......|77..77|......|77..77|......|777777|......");

    // - turns a mode off, + on.
    EXPECT_EQ(print_at("\\^w0\\^-w0", 0, 20), 12);
    EXPECT_EQ(print_at("\\^p\\^-p0", 0, 30), 4);
    EXPECT_EQ(print_at("\\^+w0", 0, 40), 8);

    // With print(text) a tall line counts as the lines it covers.
    M->cursor_y = 0;
    print_line("0");
    EXPECT_EQ(M->cursor_y, 6);
    M->cursor_y = 0;
    print_line("\\^t0");
    EXPECT_EQ(M->cursor_y, 12);
    M->cursor_y = 0;
    print_line("0\\n\\^t0");
    EXPECT_EQ(M->cursor_y, 18);
    M->cursor_y = 0;
    print_line("\\^t0\\^-t\\n0");  // the tall first line is 12 high
    EXPECT_EQ(M->cursor_y, 18);
}

TEST_F(PrintCodes, InvertedAndBorder) {
    EXPECT_EQ(print_at("\\^i0", 0, 0), 4);
    EXPECT_EQ(pic(0, 0, 4, 6), "...7|.7.7|.7.7|.7.7|...7|7777");
    clear();
    print_at("\\#1\\^i0", 0, 0);  // the glyph shows the background
    EXPECT_EQ(pic(0, 0, 4, 6), "1117|1717|1717|1717|1117|7777");

    clear();
    EXPECT_EQ(print_at("\\^b0", 0, 0), 6);
    EXPECT_EQ(pic(0, 0, 6, 8), "......|.777..|.7.7..|.7.7..|.7.7..|.777..|......|......");
    clear();
    print_at("\\#2\\^b0", 0, 0);
    EXPECT_EQ(pic(0, 0, 7, 8), "222222.|277722.|272722.|272722.|272722.|277722.|222222.|222222.");
}

TEST_F(PrintCodes, ClearHomeAndJump) {
    vexel_set_clip_registers(M, 0, 0, 64, 64);
    const int64_t before = M->draw_cycles;
    EXPECT_EQ(print_at("ab\\^c30", 10, 20), 14);  // cleared, then on from the start
    EXPECT_GE(M->draw_cycles - before, vexel_cls_charge);
    EXPECT_EQ(count_colour(7), zero_pixels);
    EXPECT_EQ(count_colour(3), 128 * 128 - zero_pixels);
    EXPECT_EQ(px(10, 20), 7);
    EXPECT_EQ(M->clip_x1, 64);  // the clip stays

    vexel_set_clip_registers(M, 0, 0, 128, 128);
    clear();
    EXPECT_EQ(print_at("00\\^g1", 10, 20), 14);
    EXPECT_EQ(pic(10, 20, 3, 1), "777");

    // (4a, 4b) in the program's coordinates; the line starts there.
    clear();
    EXPECT_EQ(print_at("\\^j850\\n1", 0, 0), 36);
    EXPECT_EQ(px(32, 20), 7);
    EXPECT_EQ(pic(32, 26, 3, 1), "77.");
    clear();
    M->camera_x = 2;
    EXPECT_EQ(print_at("\\^j850", 0, 0), 36);
    EXPECT_EQ(px(30, 20), 7);
    EXPECT_EQ(print_at("\\^jw50", 0, 0), 4);  // a bad digit: skipped
}

TEST_F(PrintCodes, OneOffGlyphs) {
    // Row r has bit r: the low bit is the leftmost pixel, the top row first.
    EXPECT_EQ(print_at("\\^:0102040810204080", 0, 0), 9);
    EXPECT_EQ(count_colour(7), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(px(i, i), 7) << i;

    clear();
    EXPECT_EQ(print_at("\\^w\\^:0300000000000000", 0, 0), 18);
    EXPECT_EQ(pic(0, 0, 5, 1), "7777.");

    clear();
    EXPECT_EQ(print_at("\\^:01020408102040zz0", 0, 0), 4);  // not hex: skipped with its digits
    EXPECT_EQ(count_colour(7), zero_pixels);

    // Unknown commands are skipped with a digit that follows them.
    EXPECT_EQ(print_at("\\^z50", 0, 20), 4);
    EXPECT_EQ(print_at("\\^zq0", 0, 30), 8);
    EXPECT_EQ(print_at("\\^-z0", 0, 40), 4);
}

TEST_F(PrintCodes, SoundCommands) {
    EXPECT_EQ(print_at("\\a12x", 0, 0), 4);
    EXPECT_EQ(played, std::vector<int>{12});
    played.clear();
    EXPECT_EQ(print_at("\\ac4e 0", 0, 10), 4);  // other commands run to the space
    EXPECT_EQ(print_at("\\ac4e", 0, 10), 0);
    EXPECT_TRUE(played.empty());
    print_at("\\a3\\a4\\a99999", 0, 20);
    EXPECT_EQ(played, (std::vector<int>{3, 4, vexel_print_sound_max}));

    // Without a player the command is only skipped.
    const std::string t = codes("\\a5");
    EXPECT_EQ(vexel_script_print(M, 3, t.c_str(), t.size(), F(7), 0, 0), 7);
}

TEST_F(PrintCodes, ACutOffCodeEndsTheTextQuietly) {
    for (const char* t : {"0\\f", "0\\#", "0\\*", "0\\*3", "0\\-", "0\\|", "0\\+1", "0\\^", "0\\^c", "0\\^j1",
                          "0\\^-", "0\\^:0102"}) {
        clear();
        EXPECT_EQ(print_at(t, 0, 0), 4) << t;
        EXPECT_EQ(count_colour(7), zero_pixels) << t;
    }
    // The length given is the end, whatever bytes follow in memory.
    clear();
    const char bytes[] = "0\f81";
    EXPECT_EQ(vexel_script_print(M, 3, bytes, 2, 0, 0, 0), 4);
    EXPECT_EQ(count_colour(7), zero_pixels);
    // A NUL ends the text too.
    EXPECT_EQ(vexel_script_print(M, 3, "0\0" "1", 3, 0, F(10), 0), 4);
}

TEST_F(PrintCodes, ScaledDrawingKeepsToClipCameraAndPalette) {
    // Inverted wide and tall into a 3 x 3 clip: rows 0-1 are the glyph's
    // solid top row, row 2 has ink only where the scaled glyph has a hole.
    vexel_set_clip_registers(M, 0, 0, 3, 3);
    print_at("\\^w\\^t\\^i0", 0, 0);
    EXPECT_EQ(count_colour(7), 1);
    EXPECT_EQ(px(2, 2), 7);
    print_at("\\^:ffffffffffffffff", 2, 0);
    EXPECT_EQ(count_colour(7), 3);  // only column 2 of the block

    vexel_set_clip_registers(M, 0, 0, 128, 128);
    clear();
    M->camera_x = -5;
    M->camera_y = -3;
    EXPECT_EQ(print_at("\\^w0", 0, 0), 8);  // in the program's coordinates
    EXPECT_EQ(pic(5, 3, 7, 1), "777777.");

    clear();
    M->camera_x = M->camera_y = 0;
    M->draw_pal[7] = 12;
    print_at("\\^t\\^:0100000000000000", 0, 0);
    EXPECT_EQ(pic(0, 0, 2, 3), "c.|c.|..");
}

TEST_F(PrintCodes, TheConsoleActsOnColoursAndSkipsTheRest) {
    M->cursor_y = 0;
    vexel_print_col(M, codes("\\f80\\#1\\^w0\\-z").c_str(), 7);
    EXPECT_EQ(M->cursor_y, 6);
    EXPECT_EQ(pic(0, 0, 8, 2), "888.8881|8.8.8181");  // the second '0' narrow

    // Codes take no column: 32 glyphs with codes between them are one line.
    clear();
    std::string line;
    for (int i = 0; i < 32; ++i) line += i % 2 ? "0" : "\f8\x02" "10";
    M->cursor_y = 0;
    vexel_print_col(M, line.c_str(), 7);
    EXPECT_EQ(M->cursor_y, 6);
    vexel_print_col(M, (line + "0").c_str(), 7);
    EXPECT_EQ(M->cursor_y, 18);
    EXPECT_EQ(pic(0, 12, 4, 1), "8881");  // the 33rd glyph on the second line, over the background

    // A newline with text after it takes a line; the next message starts
    // below it rather than over it. A trailing one takes none.
    clear();
    M->cursor_y = 0;
    vexel_print_col(M, "0\n00", 7);
    EXPECT_EQ(M->cursor_y, 12);
    vexel_print_col(M, "0\n", 7);
    EXPECT_EQ(M->cursor_y, 18);
    EXPECT_EQ(pic(4, 6, 4, 1), "777.");

    // A headless run's output shows the text without its codes.
    vexel_test::TestMachine tm;
    tm.host.exec_mode = true;
    vexel_print_col(tm.m, codes("\\f8red \\^wwide\\a1").c_str(), 7);
    EXPECT_EQ(tm.output, "** red wide\n");
}

}  // namespace
