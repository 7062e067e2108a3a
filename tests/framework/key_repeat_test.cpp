#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "framework/fenn_platform.h"

namespace {

constexpr int key_x = 27, key_z = 29, key_esc = 41;

// Runs input passes every 20 ms from `from` to `to` (inclusive) with the
// given keys held and lists the times at which `code` read as pressed (3).
std::vector<int> pressed_times(const std::vector<int>& held, int code, int from, int to) {
    uint8_t host[fenn_key_count] = {};
    for (int k : held) host[k] = 1;
    std::vector<int> out;
    for (int t = from; t <= to; t += 20) {
        fenn_keys_snapshot(host, fenn_key_count, t);
        if (fenn_get_key_state(code) == 3) out.push_back(t);
    }
    return out;
}

TEST(KeyRepeat, PressedAtOnceThenAfter500MsThenEvery80Ms) {
    fenn_keys_init();
    fenn_keys_key_down(key_x, 0);  // the event comes with the pump that sets the host table
    EXPECT_EQ(fenn_get_key_state(key_x), 3);
    // The next pass finds the key down already: held, not pressed a second time.
    EXPECT_EQ(pressed_times({key_x}, key_x, 20, 700), (std::vector<int>{500, 580, 660}));
    EXPECT_EQ(fenn_get_key_state(key_x), 1);

    // A key found down by the snapshot alone is pressed too, once.
    fenn_keys_init();
    EXPECT_EQ(pressed_times({key_z}, key_z, 0, 100), (std::vector<int>{0}));

    // A newer press restarts the delay for every held key.
    fenn_keys_init();
    fenn_keys_key_down(key_x, 0);
    pressed_times({key_x}, key_x, 20, 400);
    fenn_keys_key_down(key_z, 400);
    EXPECT_EQ(pressed_times({key_x, key_z}, key_x, 420, 980), (std::vector<int>{900, 980}));
    fenn_keys_init();
}

TEST(KeyRepeat, ShortPressesAreSeenAndBlockedKeysWaitForRelease) {
    fenn_keys_init();
    // Down and up between two passes: pressed for one pass, then up.
    fenn_keys_key_down(key_esc, 0);
    EXPECT_EQ(fenn_get_key_state(key_esc), 3);
    EXPECT_TRUE(fenn_get_any_key_down());
    EXPECT_TRUE(pressed_times({}, key_esc, 20, 20).empty());
    EXPECT_EQ(fenn_get_key_state(key_esc), 0);

    // A blocked key reads as up, is not repeated, and is freed by releasing it.
    fenn_keys_key_down(key_x, 1000);
    fenn_block_key(key_x);
    EXPECT_EQ(fenn_get_key_state(key_x), 0);
    EXPECT_TRUE(pressed_times({key_x}, key_x, 1020, 1700).empty());
    pressed_times({}, key_x, 1720, 1720);
    fenn_keys_key_down(key_x, 1740);
    EXPECT_EQ(fenn_get_key_state(key_x), 3);

    // Repeated key-down events of a held key change nothing.
    pressed_times({key_x}, key_x, 1760, 1760);
    fenn_keys_key_down(key_x, 1770);
    EXPECT_EQ(fenn_get_key_state(key_x), 1);

    // Bad codes and tables are harmless.
    fenn_keys_key_down(-1, 0);
    fenn_keys_key_down(fenn_key_count, 0);
    fenn_keys_snapshot(nullptr, 5, 2000);
    fenn_set_key_state(fenn_key_count, 1);
    fenn_block_key(-1);
    EXPECT_EQ(fenn_get_key_state(100000), 0);
    EXPECT_EQ(fenn_get_key_state(-100), 0);
    EXPECT_FALSE(fenn_get_any_key_down());
    fenn_keys_init();
}

}  // namespace
