#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cart/cart_hex.h"

TEST(CartHex, TextFormRoundTripsAndDamagedTextStops) {
    const uint8_t bytes[] = {0x89, 0x50, 0x00, 0xff, 0x0a};
    const std::string text = cart_hex_encode(bytes, sizeof bytes);
    EXPECT_EQ(text, "[cart]8950" "00ff0a[/cart]");
    std::vector<uint8_t> out;
    ASSERT_EQ(cart_hex_decode(text.data(), text.size(), &out), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(bytes, bytes + sizeof bytes));

    const std::string damaged = "[cart]0A0bzz11";
    ASSERT_EQ(cart_hex_decode(damaged.data(), damaged.size(), &out), 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x0a, 0x0b}));
    const std::string odd = "[cart]123";
    ASSERT_EQ(cart_hex_decode(odd.data(), odd.size(), &out), 0);
    EXPECT_EQ(out, std::vector<uint8_t>{0x12});
    for (const std::string& empty : {std::string("[cart][/cart]"), std::string("[cart]"), std::string()})
        EXPECT_EQ(cart_hex_decode(empty.data(), empty.size(), &out), 1) << empty;

    std::string huge = "[cart]" + std::string((cart_hex_max_bytes + 1) * 2, '0');
    EXPECT_EQ(cart_hex_decode(huge.data(), huge.size(), &out), 1);
    EXPECT_TRUE(out.empty());
}

