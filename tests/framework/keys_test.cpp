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
