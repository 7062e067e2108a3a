// The one table of script functions: names, binding and the console's
// command shorthand.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "lua/lua.h"
#include "machine/machine.h"
#include "runtime/api.h"
#include "test_support.h"

TEST(ApiTable, EveryEntryIsBoundOnceUnderItsName) {
    size_t count = 0;
    const api_function* table = api_functions(&count);
    ASSERT_GT(count, 100u);
    vexel_test::TestMachine tm;
    std::set<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        EXPECT_TRUE(names.insert(table[i].name).second) << "twice: " << table[i].name;
        ASSERT_NE(table[i].fn, nullptr) << table[i].name;
        lua_getglobal(tm.m->L, table[i].name);
        EXPECT_EQ(lua_type(tm.m->L, -1), LUA_TFUNCTION) << table[i].name;
        lua_pop(tm.m->L, 1);
    }
    EXPECT_TRUE(api_is_function("spr"));
    EXPECT_FALSE(api_is_function("t"));  // a common word: counted as a plain name
    EXPECT_FALSE(api_is_function("sprx"));
    EXPECT_FALSE(api_is_function(""));
}

TEST(ApiTable, CommandShorthandAtThePrompt) {
    EXPECT_EQ(api_expand_shorthand("ls"), "ls()");
    EXPECT_EQ(api_expand_shorthand("cd games"), "cd(\"games\")");
    EXPECT_EQ(api_expand_shorthand("load my game"), "load(\"my game\")");
    EXPECT_EQ(api_expand_shorthand("s"), "browse()");
    // Quoted words, calls and other statements stay as typed.
    EXPECT_EQ(api_expand_shorthand("cd \"games\""), "cd \"games\"");
    EXPECT_EQ(api_expand_shorthand("ls()"), "ls()");
    EXPECT_EQ(api_expand_shorthand("cls"), "cls()");
    EXPECT_EQ(api_expand_shorthand("spr"), "spr");  // not a command
    EXPECT_EQ(api_expand_shorthand("x = 1"), "x = 1");
    EXPECT_EQ(api_expand_shorthand("cd "), "cd ");
    EXPECT_EQ(api_expand_shorthand(nullptr), "");
}
