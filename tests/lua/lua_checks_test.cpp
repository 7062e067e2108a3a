// The interpreter's internal checks: on in the checked (sanitizer) build,
// where a broken invariant stops the process at the place it was broken.
#include <gtest/gtest.h>

#include "lua/lua_object.h"

#ifdef VEXEL_LUA_CHECKS

TEST(LuaChecksDeathTest, AValueReadAsTheWrongTypeStopsAtOnce) {
    TValue v;
    setnilvalue(&v);
    EXPECT_DEATH(static_cast<void>(nvalue(&v)), "interpreter check failed: ttisnumber");
    setnvalue(&v, 3);
    EXPECT_DEATH(static_cast<void>(hvalue(&v)), "interpreter check failed: ttistable");
    EXPECT_EQ(nvalue(&v), 3);
}

#else

TEST(LuaChecks, CompiledOutOfTheReleaseBuild) {
    // The accessors read the field whatever the tag says: no check, no cost.
    TValue v;
    setnvalue(&v, 3);
    EXPECT_EQ(bvalue(&v), 3);
}

#endif
