// The glyph table both ways: machine bytes to UTF-8 and back, the emoji
// forms, and what cannot be mapped. (Where each glyph sits in the table is
// checked end to end by tests/scripts/carts/glyphs.qz.)
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

}  // namespace

TEST(CartGlyphs, EveryByteGoesToUtf8AndBack) {
    std::string all;
    std::set<std::string> forms;
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, char(b));
        all += one;
        const std::string u = to_utf8(one);
        const bool ascii = b == 0 || b == '\t' || b == '\n' || b == '\r' || (b >= 0x20 && b < 0x7f);
        EXPECT_EQ(cart_is_glyph(uint8_t(b)), !ascii) << b;
        if (ascii) EXPECT_EQ(u, one) << b;
        else EXPECT_TRUE(uint8_t(u[0]) >= 0xc0 && forms.insert(u).second) << b;  // one character of its own
        EXPECT_EQ(to_machine(u), one) << b;
    }
    // The circle is byte 0x7f, which also reads as itself.
    EXPECT_EQ(to_machine("\xe2\x97\x8b"), "\x7f");
    EXPECT_EQ(to_machine("a\x7f"), "a\x7f");
    // As one text, where neighbours must not run into each other.
    int unknown = -1;
    EXPECT_EQ(to_machine(to_utf8(all + all), &unknown), all + all);
    EXPECT_EQ(unknown, 0);
}

TEST(CartGlyphs, EmojiFormsReadWithOrWithoutTheSelector) {
    const std::string selector = "\uFE0F";
    EXPECT_EQ(to_utf8("\x83\x8e"), "⬇" + selector + "🅾" + selector);
    EXPECT_EQ(to_utf8("\x82"), "🐱");  // no emoji form: written bare
    int unknown = -1;
    EXPECT_EQ(to_machine("⬇⬇" + selector + "x♥" + selector, &unknown), "\x83\x83x\x87");
    EXPECT_EQ(unknown, 0);
    EXPECT_EQ(cart_glyph_from_codepoint(cart_emoji_selector), -1);
}

TEST(CartGlyphs, WhatCannotBeMappedBecomesAQuestionMarkAndIsCounted) {
    const struct {
        std::string in, out;
        int unknown;
    } cases[] = {
        {"caf\u00e9", "caf?", 1},         // a character outside the table
        {"\u263A\uFE0F!", "?!", 1},          // its selector goes with it
        {"a\uFE0F", "a?", 1},                // a selector after ASCII is a character of its own
        {"\xe3\x81x", "??x", 2},             // a character cut short: one per byte
        {"\xc0\xaf\xed\xa0\x80", "?????", 5},  // an overlong '/' and a surrogate
        {std::string("a\0b", 3), std::string("a\0b", 3), 0},
    };
    for (const auto& c : cases) {
        int unknown = -1;
        EXPECT_EQ(to_machine(c.in, &unknown), c.out) << c.out;
        EXPECT_EQ(unknown, c.unknown) << c.out;
    }
}
