#include <gtest/gtest.h>

#include <string>

#include "framework/fenn_utf8.h"

TEST(Utf8, DecodesEveryLengthAndRefusesWhatIsNotUtf8) {
    const struct {
        std::string text;
        int32_t cp;
        size_t used;
    } cases[] = {
        {"A", 'A', 1},
        {std::string(1, '\0'), 0, 1},
        {"\xc2\xa5", 0xa5, 2},
        {"\xe3\x81\x82!", 0x3042, 3},
        {"\xf0\x9f\x90\xb1", 0x1f431, 4},
        {"\xf4\x8f\xbf\xbf", 0x10ffff, 4},           // the last code point
        {"\x80", fenn_utf8_invalid, 1},              // continuation without a lead
        {"\xc1\xbf", fenn_utf8_invalid, 1},          // overlong
        {"\xe0\x9f\xbf", fenn_utf8_invalid, 1},      // overlong
        {"\xf0\x8f\xbf\xbf", fenn_utf8_invalid, 1},  // overlong
        {"\xed\xbf\xbf", fenn_utf8_invalid, 1},      // surrogate
        {"\xf4\x90\x80\x80", fenn_utf8_invalid, 1},  // beyond U+10FFFF
        {"\xf8\x88\x80\x80\x80", fenn_utf8_invalid, 1},
        {"\xe3\x81", fenn_utf8_invalid, 1},          // cut short by the end
        {"\xe3\x41\x82", fenn_utf8_invalid, 1},      // cut short by a character
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        size_t used = 99;
        EXPECT_EQ(fenn_utf8_decode(c.text.data(), c.text.size(), &used), c.cp);
        EXPECT_EQ(used, c.used);
    }
    size_t used = 0;
    EXPECT_EQ(fenn_utf8_decode("\xe3\x81\x82", 2, &used), fenn_utf8_invalid);  // the length counts, not the bytes
    EXPECT_EQ(fenn_utf8_decode(nullptr, 0, &used), fenn_utf8_invalid);
    EXPECT_EQ(used, 1u);
}
