// Text in the console font of the resource file: glyphs 128-255 are 7
// pixels wide and advance 8, the others advance 4. print, the x it returns,
// the wrapping of stop()'s message and the console's lines all go by each
// glyph's own advance, and the whole glyph set is checked against a golden
// picture.
#include <gtest/gtest.h>

#include <string>

#include "framework/fenn_pod.h"
#include "framework/fenn_text.h"
#include "gfx_scene.h"
#include "machine/machine.h"
#include "machine/text.h"

namespace {

using namespace gfx_test;

constexpr char block[] = "\x80";  // the full block: every pixel of its 7x5 inked

class WideText : public ::testing::Test {
protected:
    fenn_pod* data = nullptr;
    fenn_pod* font = nullptr;
    void SetUp() override {
        set_up();
        data = fenn_load_pod(VEXEL_BINARY_DIR "/data.pod");
        ASSERT_NE(data, nullptr) << "build the data_pod target first";
        font = fenn_pod_load_nested(data, 2);
        ASSERT_NE(font, nullptr);
        M->console_font = font;
        M->pen_col = 7;
    }
    void TearDown() override {
        tear_down();
        fenn_destroy_pod(font);
        fenn_destroy_pod(data);
    }
    // print(text, x, y) as a program calls it; what it returns.
    int print_at(const std::string& text, int x, int y) {
        return vexel_script_print(M, 3, text.c_str(), text.size(), F(x), F(y), 0);
    }
    static std::string repeat(const char* s, int n) {
        std::string r;
        for (int i = 0; i < n; ++i) r += s;
        return r;
    }
};

TEST_F(WideText, EachGlyphAdvancesByItsOwnWidth) {
    EXPECT_EQ(print_at("abc", 0, 0), 12);
    EXPECT_EQ(print_at("\x80\x87\xff", 0, 0), 24);
    EXPECT_EQ(print_at("\x0e\x1f", 0, 0), 8);  // the glyphs below 32 are narrow
    EXPECT_EQ(print_at("a\x87" "b\x92", 10, 0), 10 + 4 + 8 + 4 + 8);
    EXPECT_EQ(print_at("\x80\x80\nab", 0, 0), 8);  // the x after the last line
    M->camera_x = 5;
    EXPECT_EQ(print_at(block, 20, 0), 28);  // in the program's coordinates
    M->camera_x = 0;
    EXPECT_EQ(fenn_get_text_width("\x80\x80", font), 15);

    // Two blocks on the 8-pixel grid: a column of spacing between them.
    vexel_cls(M, 0, 0);
    print_at("\x80\x80", 0, 0);
    for (int y = 0; y < 5; ++y) {
        EXPECT_EQ(px(6, y), 7) << y;
        EXPECT_EQ(px(7, y), 0) << y;
        EXPECT_EQ(px(8, y), 7) << y;
        EXPECT_EQ(px(14, y), 7) << y;
        EXPECT_EQ(px(15, y), 0) << y;
    }
    EXPECT_EQ(px(0, 5), 0);
}

TEST_F(WideText, StopsMessageWrapsBeforeAGlyphThatWouldNotFit) {
    // 20 blocks: 16 fill the first line, 4 go on the next.
    const std::string twenty = repeat(block, 20);
    M->cursor_y = 0;
    vexel_script_print(M, 1, twenty.c_str(), twenty.size(), 0, 0, 0, true);
    EXPECT_EQ(M->cursor_y, 12);
    EXPECT_EQ(px(126, 0), 7);
    EXPECT_EQ(px(30, 6), 7);
    EXPECT_EQ(px(32, 6), 0);

    // 31 narrow glyphs leave 4 pixels: a block goes to the next line whole
    // rather than being cut at the edge; after 30 it still fits.
    vexel_cls(M, 0, 0);
    const std::string narrow31 = std::string(31, 'a') + block;
    M->cursor_y = 0;
    vexel_script_print(M, 1, narrow31.c_str(), narrow31.size(), 0, 0, 0, true);
    for (int x = 124; x < 128; ++x) EXPECT_EQ(px(x, 3), 0) << x;
    EXPECT_EQ(px(0, 6), 7);
    EXPECT_EQ(px(6, 10), 7);

    vexel_cls(M, 0, 0);
    const std::string narrow30 = std::string(30, 'a') + block;
    M->cursor_y = 0;
    vexel_script_print(M, 1, narrow30.c_str(), narrow30.size(), 0, 0, 0, true);
    EXPECT_EQ(px(120, 0), 7);
    EXPECT_EQ(px(126, 4), 7);
    EXPECT_EQ(px(0, 6), 0);
}

TEST_F(WideText, ConsoleMessagesTakeTheLinesTheirGlyphsNeed) {
    const std::string sixteen = repeat(block, 16);
    M->cursor_y = 0;
    vexel_print_col(M, sixteen.c_str(), 7);
    EXPECT_EQ(M->cursor_y, 6);
    EXPECT_EQ(px(126, 0), 7);

    vexel_cls(M, 0, 0);
    const std::string seventeen = repeat(block, 17);
    M->cursor_y = 0;
    vexel_print_col(M, seventeen.c_str(), 7);
    EXPECT_EQ(M->cursor_y, 12);
    EXPECT_EQ(px(6, 6), 7);

    vexel_cls(M, 0, 0);
    const std::string mixed = std::string(31, 'A') + block;
    M->cursor_y = 0;
    vexel_print_col(M, mixed.c_str(), 7);
    EXPECT_EQ(M->cursor_y, 12);
    EXPECT_EQ(px(6, 6), 7);

    // At the bottom the screen scrolls up by every line the message needs.
    vexel_cls(M, 0, 0);
    M->cursor_y = 120;
    vexel_print_col(M, seventeen.c_str(), 7);
    EXPECT_EQ(M->cursor_y, 120);
    EXPECT_EQ(px(0, 110), 7);
    EXPECT_EQ(px(0, 116), 7);
}

// Every glyph, printed the way a program prints: the narrow codes 32 to a
// line, the wide ones 16, then a line of mixed text. Codes 32-127 must never
// change here (programs' pictures depend on them).
TEST_F(WideText, GlyphSetMatchesItsGoldenPicture) {
    vexel_cls(M, 0, 0);
    for (int row = 0; row < 4; ++row) {
        std::string line;
        for (int c = row * 32; c < row * 32 + 32; ++c) {
            // A control code's glyph is shown by repeating it once (\*1).
            if (vexel_print_code_size(std::string(1, char(c)).c_str(), 1)) line += "\x01" "1";
            line += c == 0 || c == '\n' ? ' ' : char(c);
        }
        print_at(line, 0, 2 + row * 6);
    }
    for (int row = 0; row < 8; ++row) {
        std::string line;
        for (int c = 128 + row * 16; c < 128 + row * 16 + 16; ++c) line += char(c);
        print_at(line, 0, 30 + row * 6);
    }
    // "「こんにちは」 ♥★ x²"
    print_at("\x18\xa3\xc7\xaf\xaa\xb3\x19 \x87\x92 x\x01" "1\x02", 0, 84);  // \x02 alone sets a background
    EXPECT_EQ(compare_golden("glyphs"), "");
}

}  // namespace
