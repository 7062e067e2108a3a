#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cart/cart_load.h"
#include "cart/cart_text.h"
#include "test_support.h"

namespace {

vexel_cart* parse(const std::string& s) { return vexel_cart_from_text(s.data(), s.size()); }

struct CartDeleter {
    void operator()(vexel_cart* c) const { vexel_cart_destroy(c); }
};
using CartPtr = std::unique_ptr<vexel_cart, CartDeleter>;

}  // namespace

TEST(CartText, HeaderOnlyGivesAnEmptyCartridge) {
    CartPtr c(parse("vexel cartridge // x\nversion 14\n"));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->version, 14);
    EXPECT_STREQ(c->code, "");
    for (const vexel_sfx_record& r : c->sfx) EXPECT_EQ(r.speed, 16);  // effect 0 too
    for (int p = 0; p < 64; ++p)
        for (int ch = 0; ch < 4; ++ch) EXPECT_GE(c->music[p][ch], 64);
}

TEST(CartText, RejectsNonCartridges) {
    auto status = [](const std::string& text) {
        vexel_cart* cart = nullptr;
        const int st = vexel_cart_read_text(text.data(), text.size(), &cart);
        EXPECT_EQ(cart != nullptr, st == cart_ok);
        vexel_cart_destroy(cart);
        return st;
    };
    EXPECT_EQ(parse("hello\nversion 1\n"), nullptr);
    EXPECT_EQ(status("hello\nversion 1\n"), cart_not_a_cart);
    CartPtr c(parse("vexel cartridge\nno version here\n__lua__\nx=1\n"));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->version, 0);
    EXPECT_EQ(vexel_cart_from_text("", 0), nullptr);
}

TEST(CartText, CodeKeepsItsLastLineAndLineEndingsAreNormalised) {
    CartPtr c(parse("vexel cartridge\nversion 14\n__lua__\r\na=1\r\nb=2\rc=3"));
    ASSERT_TRUE(c);
    EXPECT_STREQ(c->code, "a=1\nb=2\nc=3");
}

TEST(CartText, OldVersionsReadOneDigitFlagsAndUnprefixedMusic) {
    std::string s = "vexel cartridge\nversion 2\n__gff__\n1f\n__music__\n00050607\n";
    CartPtr c(parse(s));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->flags[0], 1);
    EXPECT_EQ(c->flags[1], 15);
    EXPECT_EQ(c->music_flags[0], 0);
    EXPECT_EQ(c->music[0][0], 0x41);  // channel 0 of an old file: silent
    EXPECT_EQ(c->music[0][1], 5);

    CartPtr n(parse("vexel cartridge\nversion 4\n__gff__\n1f\n__music__\n03 00050607\n"));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->flags[0], 0x1f);
    EXPECT_EQ(n->music_flags[0], 3);
    EXPECT_EQ(n->music[0][0], 0);  // from version 4 on, sound effect 0
}

TEST(CartText, NotesWithHighWaveformDigitsBecomeInstruments) {
    std::string sfx = "00100004" + std::string("2c957") + std::string(31 * 5, '0');
    CartPtr c(parse("vexel cartridge\nversion 14\n__sfx__\n" + sfx + "\n"));
    ASSERT_TRUE(c);
    const vexel_sfx_note& n = c->sfx[0].notes[0];
    EXPECT_EQ(n.pitch, 0x2c);
    EXPECT_EQ(n.waveform, 1);
    EXPECT_EQ(n.instrument, 128);
    EXPECT_EQ(n.volume, 5);
    EXPECT_EQ(n.effect, 7);
    EXPECT_EQ(c->sfx[0].speed, 0x10);
    EXPECT_EQ(c->sfx[0].loop_end, 4);
}

TEST(CartText, DamagedDataReadsAsZeroAndExtraRowsAreIgnored) {
    std::string s = "vexel cartridge\nversion 14\n__gfx__\n12AFz\n";
    for (int i = 0; i < 200; ++i) s += "f\n";  // far more rows than the sheet has
    s += "__map__\n0g1\n";
    CartPtr c(parse(s));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->gfx->pix[0], 1);
    EXPECT_EQ(c->gfx->pix[1], 2);
    EXPECT_EQ(c->gfx->pix[2], 0);  // upper case reads as 0
    EXPECT_EQ(c->gfx->pix[4], 0);
    EXPECT_EQ(c->gfx->pix[127 * 128], 15);
    EXPECT_EQ(c->map->pix[0], 0);
    EXPECT_EQ(c->map->pix[1], 0x10);
}

TEST(CartText, ProgramsPastTheRunLimitKeepEveryLine) {
    // One line longer than a program may run with, and lines after it: all
    // are kept (the limit is the runner's), and a save gives them back.
    const std::string long_line = "s=\"" + std::string(70000, 'a') + "\"";
    const std::string program = "x=1\n" + long_line + "\nshort\n" + std::string(100, 'b');
    CartPtr c(parse("vexel cartridge\nversion 15\n__lua__\n" + program + "\n__gfx__\n"));
    ASSERT_TRUE(c);
    EXPECT_EQ(std::string(c->code), program);
    EXPECT_EQ(c->dropped_lines, 0);
    EXPECT_TRUE(cart_load_warnings(c.get()).empty());
    CartPtr again(parse(vexel_cart_to_text(c.get())));
    ASSERT_TRUE(again);
    EXPECT_EQ(std::string(again->code), program);

    // Past what a record holds, whole lines are left out and counted, and
    // the load says so.
    std::string huge = "vexel cartridge\nversion 15\n__lua__\n";
    for (int i = 0; i < 6; ++i) huge += std::string(60000, char('a' + i)) + "\n";
    CartPtr cut(parse(huge));
    ASSERT_TRUE(cut);
    EXPECT_EQ(std::strlen(cut->code), size_t(4 * 60001 - 1));
    EXPECT_EQ(cut->dropped_lines, 2);
    const std::vector<std::string> warnings = cart_load_warnings(cut.get());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "program over 262144 chars: 2 lines not read");
}

TEST(CartText, SaveAndReloadKeepsEverything) {
    CartPtr c(vexel_cart_create());
    std::strcpy(c->code, "-- hello\nprint(\"hi\")\n\nx=1");
    for (int i = 0; i < 128 * 128; ++i) c->gfx->pix[i] = uint8_t(i % 16);
    for (int i = 0; i < 128 * 32; ++i) c->map->pix[i] = uint8_t(i * 7);
    for (int i = 0; i < 256; ++i) c->flags[i] = (i * 3) & 0xff;
    c->sfx[3].notes[7] = {63, 5, 7, 6, 128};
    c->sfx[3].loop_start = 2;
    c->music[9][2] = 12;
    c->music_flags[9] = 5;
    c->label = fenn_create_bitmap(128, 128, 8);
    c->label->pix[500] = 9;
    std::string text = vexel_cart_to_text(c.get());
    EXPECT_EQ(text.substr(0, text.find('\n')), "vexel cartridge");
    CartPtr r(parse(text));
    ASSERT_TRUE(r);
    EXPECT_STREQ(r->code, c->code);
    EXPECT_EQ(r->gfx->pix, c->gfx->pix);
    EXPECT_TRUE(std::equal(r->map->pix.begin(), r->map->pix.begin() + 128 * 32, c->map->pix.begin()));
    EXPECT_EQ(std::memcmp(r->flags, c->flags, sizeof c->flags), 0);
    EXPECT_EQ(std::memcmp(r->sfx, c->sfx, sizeof c->sfx), 0);
    EXPECT_EQ(r->music[9][2], 12);
    EXPECT_EQ(r->music_flags[9], 5);
    ASSERT_TRUE(r->label);
    EXPECT_EQ(r->label->pix[500], 9);
}

TEST(CartText, EmptyLabelIsNotWrittenAndLinesHaveFixedWidths) {
    CartPtr c(vexel_cart_create());
    c->label = fenn_create_bitmap(128, 128, 8);
    std::string text = vexel_cart_to_text(c.get());
    EXPECT_EQ(text.find("__label__"), std::string::npos);
    size_t sfx = text.find("__sfx__\n") + 8;
    EXPECT_EQ(text.find('\n', sfx) - sfx, 168u);
}

TEST(CartText, ShippedCartridgesHoldTheirLabelsAsTheConsoleWritesThem) {
    // tools/make_carts.py writes the built-in cartridges itself: read back
    // and written again, each keeps its program, sprites and label as they
    // were, so the label section is where the reader looks for it. (The
    // console writes all 64 sound effects, the tool only those in use, so
    // the comparison stops at the flags.)
    for (const char* name : {"menu", "game", "demo", "orbit", "frost", "band", "sumo", "fireworks"}) {
        SCOPED_TRACE(name);
        const std::string text =
            vexel_test::read_file(std::string(VEXEL_SOURCE_DIR "/assets/carts/") + name + ".qz");
        ASSERT_FALSE(text.empty());
        CartPtr c(parse(text));
        ASSERT_TRUE(c);
        const std::string again = vexel_cart_to_text(c.get());
        ASSERT_NE(text.find("__gff__"), std::string::npos);
        EXPECT_EQ(again.substr(0, again.find("__gff__")), text.substr(0, text.find("__gff__")));
        const bool labelled = std::strcmp(name, "menu") && std::strcmp(name, "game") && std::strcmp(name, "demo");
        ASSERT_EQ(c->label != nullptr, labelled);
        if (!labelled) continue;
        // a real picture, not a blank: several colours, none of them filling it
        int used[16] = {};
        for (uint8_t p : c->label->pix) used[p & 15]++;
        int colours = 0;
        for (int n : used) {
            colours += n > 0;
            EXPECT_LT(n, 128 * 128 * 9 / 10);
        }
        EXPECT_GE(colours, 6);
    }
}

// ------------------------------------------------------------ versions

TEST(CartText, NewerVersionsLoadWithAWarningThatOutlivesTheUpgrade) {
    CartPtr c(parse("vexel cartridge\nversion 16\n__lua__\nprint(\"\xe2\x98\x85\")\n__music__\n01 02030405\n"));
    ASSERT_TRUE(c);
    EXPECT_STREQ(c->code, "print(\"\x92\")");  // still read as UTF-8
    EXPECT_EQ(c->music[0][3], 5);
    const std::vector<std::string> warning = {"cartridge version 16: newer than this vexel; some things may not work"};
    EXPECT_EQ(cart_load_warnings(c.get()), warning);
    cart_apply_legacy_changes(c.get());
    EXPECT_EQ(c->version, vexel_cart_newest_version);
    EXPECT_EQ(cart_load_warnings(c.get()), warning);
    // An absurd number is clamped, never overflowed.
    CartPtr huge(parse("vexel cartridge\nversion 999999999999999999999\n"));
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->file_version, INT32_MAX);
}

// ------------------------------------------------------------ glyph text

TEST(CartText, Utf8CartridgesRoundTripByteForByte) {
    std::string every;  // every byte a program line can hold
    for (int b = 1; b < 256; ++b)
        if (b != '\n' && b != '\r') every += char(b);
    const std::string program = "s=\"" + every + "\"\n-- \x80\x8e\x83 end";
    CartPtr c(vexel_cart_create());
    std::snprintf(c->code, vexel_code_buffer, "%s", program.c_str());
    const std::string text = vexel_cart_to_text(c.get());
    EXPECT_NE(text.find("version 15\n"), std::string::npos);
    EXPECT_NE(text.find("\n-- █🅾️⬇️ end\n"), std::string::npos);

    CartPtr back(parse(text));
    ASSERT_TRUE(back);
    EXPECT_EQ(std::string(back->code), program);
    EXPECT_TRUE(cart_load_warnings(back.get()).empty());
    EXPECT_EQ(vexel_cart_to_text(back.get()), text);

    // Version 14 held machine bytes: they load as they are, UTF-8 lookalikes
    // included, and are written as version 15 text.
    const std::string raw = "a=\"\x80\x8e\xff\"\nb=\"\xc3\xa9\"";
    CartPtr old(parse("vexel cartridge\nversion 14\n__lua__\n" + raw + "\n__gfx__\n"));
    ASSERT_TRUE(old);
    EXPECT_EQ(std::string(old->code), raw);
    const std::string saved = vexel_cart_to_text(old.get());
    EXPECT_NE(saved.find("version 15\n__lua__\na=\"█🅾️◝\"\nb=\"れた\"\n"), std::string::npos);
    CartPtr again(parse(saved));
    ASSERT_TRUE(again);
    EXPECT_EQ(std::string(again->code), raw);
}

TEST(CartText, UnknownCharactersBecomeQuestionMarksAndAreCounted) {
    CartPtr c(parse("vexel cartridge\nversion 15\n__lua__\n-- caf\xc3\xa9 \xe2\x98\xba\xef\xb8\x8f\nx=\"\xff\"\n"));
    ASSERT_TRUE(c);
    EXPECT_STREQ(c->code, "-- caf? ?\nx=\"?\"");
    EXPECT_EQ(cart_load_warnings(c.get()), std::vector<std::string>{"3 unknown characters in the code became ?"});

    // A long line of glyphs (90000 bytes, 30000 characters) is read whole,
    // never split inside a character.
    std::string line;
    for (int i = 0; i < 30000; ++i) line += "\xe3\x81\x82";  // あ
    CartPtr wide(parse("vexel cartridge\nversion 15\n__lua__\n" + line + "\nx=1\n"));
    ASSERT_TRUE(wide);
    EXPECT_EQ(std::string(wide->code), std::string(30000, '\x9a') + "\nx=1");
}

// ------------------------------------------------------------ sections

TEST(CartText, UnknownSectionsAreSkippedAndWrittenBack) {
    CartPtr c(vexel_cart_create());
    c->music[0][0] = 7;
    c->music_flags[1] = 2;
    const std::string base = vexel_cart_to_text(c.get());
    // After the music, with a line that looks like a music row.
    const std::string kept = "__meta:title__\nmy game\n01 02030405\n\n__notes__\nsome words\n";
    CartPtr r(parse(base + kept));
    ASSERT_TRUE(r);
    EXPECT_EQ(std::memcmp(r->music, c->music, sizeof r->music), 0);
    EXPECT_EQ(std::memcmp(r->music_flags, c->music_flags, sizeof r->music_flags), 0);
    EXPECT_EQ(r->extra_sections.size(), 2u);
    EXPECT_EQ(vexel_cart_to_text(r.get()), base + kept);

    // Between known sections: the program before it stays whole, the
    // sprites after it are read, and it moves behind the known sections.
    CartPtr mid(parse("vexel cartridge\nversion 15\n__lua__\nx=1\n__meta:a__\nx=2\n__gfx__\n7\n"));
    ASSERT_TRUE(mid);
    EXPECT_STREQ(mid->code, "x=1");
    EXPECT_EQ(mid->gfx->pix[0], 7);
    const std::string again = vexel_cart_to_text(mid.get());
    EXPECT_EQ(again.substr(again.size() - 16), "\n__meta:a__\nx=2\n");

    // Lines that only look like headers are program.
    CartPtr code(parse("vexel cartridge\nversion 15\n__lua__\n__a b__\n____\n"));
    ASSERT_TRUE(code);
    EXPECT_STREQ(code->code, "__a b__\n____");
}
