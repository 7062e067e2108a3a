#include <gtest/gtest.h>

#include "framework/fenn_platform.h"

TEST(Keys, ModifierQueriesCoverBothSidesAndSystemKeys) {
    fenn_keys_init();
    EXPECT_EQ(fenn_get_key_state(fenn_mod_ctrl), 0);
    fenn_set_key_state(fenn_key_rshift, 1);
    EXPECT_EQ(fenn_get_key_state(fenn_mod_shift), 1);
    fenn_set_key_state(fenn_key_lsystem, 3);
    EXPECT_EQ(fenn_get_key_state(fenn_mod_ctrl), 3);  // the system key counts as Ctrl
    EXPECT_EQ(fenn_get_key_state(fenn_mod_system), 3);
    EXPECT_EQ(fenn_get_key_state(fenn_mod_alt), 0);
    EXPECT_TRUE(fenn_get_any_key_down());
    fenn_keys_init();
}

TEST(Keys, BlockedKeysReadAsUpAndOutOfRangeCodesAreHarmless) {
    fenn_keys_init();
    fenn_set_key_state(41, 3);
    fenn_block_key(41);
    EXPECT_EQ(fenn_get_key_state(41), 0);
    EXPECT_EQ(fenn_get_key_state(100000), 0);
    EXPECT_EQ(fenn_get_key_state(-100), 0);
    fenn_set_key_state(fenn_key_count, 1);  // ignored
    fenn_block_key(-1);
    EXPECT_EQ(fenn_readkey(), 0);
    EXPECT_FALSE(fenn_keypressed());
    fenn_keys_init();
}
