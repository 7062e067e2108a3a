// The glyph table both ways: machine bytes to UTF-8 and back, the emoji
// forms, and what cannot be mapped.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cart/cart_glyphs.h"

namespace {

std::string to_utf8(const std::string& machine) {
    std::string out;
    cart_machine_to_utf8(machine.data(), machine.size(), &out);
    return out;
}

std::string to_machine(const std::string& utf8, int* unknown = nullptr) {
    std::string out;
    cart_utf8_to_machine(utf8.data(), utf8.size(), &out, unknown);
    return out;
}

std::string byte(int b) { return std::string(1, char(b)); }

}  // namespace

TEST(CartGlyphs, EveryByteGoesToUtf8AndBack) {
    std::string all;
    std::set<std::string> forms;
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        all += char(b);
        const std::string u = to_utf8(byte(b));
        const bool ascii = b == 0 || b == '\t' || b == '\n' || b == '\r' || (b >= 0x20 && b < 0x80);
        EXPECT_EQ(cart_is_glyph(uint8_t(b)), !ascii);
        if (ascii) {
            EXPECT_EQ(u, byte(b));  // ASCII stands for itself
        } else {
            ASSERT_GE(u.size(), 2u);
            EXPECT_GE(uint8_t(u[0]), 0xc0);  // one non-ASCII character, never a raw byte
            EXPECT_LE(u.size(), cart_glyph_utf8_max);
            EXPECT_TRUE(forms.insert(u).second) << "two bytes share a character";
        }
        int unknown = -1;
        EXPECT_EQ(to_machine(u, &unknown), byte(b));
        EXPECT_EQ(unknown, 0);
    }
    // And as one text, where neighbours must not run into each other.
    const std::string twice = all + all;
    EXPECT_EQ(to_machine(to_utf8(twice)), twice);
}

TEST(CartGlyphs, RowsStartAndEndWhereTheTableSays) {
    const struct {
        int b;
        const char* utf8;
    } edges[] = {
        {0x01, "¹"}, {0x08, "⁸"}, {0x0b, "ᵇ"}, {0x0c, "ᶜ"}, {0x0e, "ᵉ"}, {0x0f, "ᶠ"},
        {0x10, "▮"}, {0x1a, "¥"}, {0x1f, "゜"}, {0x80, "█"}, {0x82, "🐱"}, {0x8c, "😐"},
        {0x99, "▥"}, {0x9a, "あ"}, {0xc7, "ん"}, {0xc8, "っ"}, {0xcb, "ょ"}, {0xcc, "ア"},
        {0xf9, "ン"}, {0xfa, "ッ"}, {0xfd, "ョ"}, {0xfe, "◜"}, {0xff, "◝"},
    };
    for (const auto& e : edges) EXPECT_EQ(to_utf8(byte(e.b)), e.utf8) << e.b;
}

TEST(CartGlyphs, EmojiFormsReadWithOrWithoutTheSelector) {
    const std::string selector = "\uFE0F";
    const struct {
        int b;
        const char* bare;
    } emoji[] = {{0x83, "⬇"}, {0x8b, "⬅"}, {0x8e, "🅾"}, {0x91, "➡"}, {0x94, "⬆"}};
    for (const auto& e : emoji) {
        SCOPED_TRACE(e.b);
        EXPECT_EQ(to_utf8(byte(e.b)), e.bare + selector);  // written in the emoji form
        int unknown = -1;
        EXPECT_EQ(to_machine(e.bare, &unknown), byte(e.b));
        EXPECT_EQ(to_machine(std::string(e.bare) + selector + "x" + e.bare + "y", &unknown),
                  byte(e.b) + "x" + byte(e.b) + "y");
        EXPECT_EQ(unknown, 0);
    }
    // Characters without an emoji form are written bare, and a selector after
    // one is still dropped.
    EXPECT_EQ(to_utf8("\x82\x87"), "🐱♥");
    EXPECT_EQ(to_machine("♥" + selector), "\x87");
    EXPECT_EQ(cart_glyph_from_codepoint(cart_emoji_selector), -1);
    EXPECT_EQ(cart_glyph_from_codepoint(0x2665), 0x87);
    EXPECT_EQ(cart_glyph_from_codepoint('a'), 'a');
}

TEST(CartGlyphs, WhatCannotBeMappedBecomesAQuestionMarkAndIsCounted) {
    const struct {
        std::string in, out;
        int unknown;
    } cases[] = {
        {"caf\u00e9", "caf?", 1},                 // a character outside the table
        {"\u263A\uFE0F!", "?!", 1},                  // its selector goes with it
        {"a\uFE0F", "a?", 1},                        // a selector after ASCII is a character of its own
        {"\xff\xfe", "??", 2},                       // bytes that never start a character
        {"\xe3\x81", "??", 2},                       // a character cut short by the end
        {"\xe3\x81x", "??x", 2},                     // ... or by the next character
        {"\xc0\xaf", "??", 2},                       // an overlong '/'
        {"\xed\xa0\x80", "???", 3},                  // a surrogate
        {"\xf4\x90\x80\x80", "????", 4},             // above U+10FFFF
        {"\x80\xbf", "??", 2},                       // lone continuation bytes
        {std::string("a\0b", 3), std::string("a\0b", 3), 0},  // NUL is ASCII
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        int unknown = -1;
        EXPECT_EQ(to_machine(c.in, &unknown), c.out);
        EXPECT_EQ(unknown, c.unknown);
    }
    // Output is appended, the count is of this call.
    std::string out = "k";
    int unknown = 5;
    cart_utf8_to_machine("\xff", 1, &out, &unknown);
    EXPECT_EQ(out, "k?");
    EXPECT_EQ(unknown, 1);
    cart_utf8_to_machine(nullptr, 3, &out, &unknown);
    EXPECT_EQ(unknown, 0);
}
