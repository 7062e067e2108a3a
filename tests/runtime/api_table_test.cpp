// The one table of script functions: names, binding and the console's
// command shorthand.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "lua/lua.h"
#include "lua/lua_co.h"
#include "machine/machine.h"
#include "runtime/api.h"
#include "runtime/commands.h"
#include "test_support.h"

TEST(ApiTable, EveryEntryIsBoundOnceUnderItsName) {
    size_t count = 0;
    const api_function* table = api_functions(&count);
    ASSERT_GT(count, 100u);
    vexel_test::TestMachine tm;
    std::set<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        EXPECT_TRUE(names.insert(table[i].name).second) << "twice: " << table[i].name;
        // An ordinary C function or a number function, not both.
        EXPECT_NE(table[i].fn == nullptr, table[i].numbers == nullptr) << table[i].name;
        lua_getglobal(tm.m->L, table[i].name);
        EXPECT_EQ(lua_type(tm.m->L, -1), LUA_TFUNCTION) << table[i].name;
        lua_pop(tm.m->L, 1);
    }
    // coresume is bound as itself: the instruction loop recognises it by
    // its address and runs the coroutine without a C call.
    lua_getglobal(tm.m->L, "coresume");
    lua_pushcfunction(tm.m->L, luaB_coresume);
    EXPECT_TRUE(lua_rawequal(tm.m->L, -1, -2));
    lua_pop(tm.m->L, 2);
    EXPECT_TRUE(api_is_function("spr"));
    EXPECT_FALSE(api_is_function("t"));  // a common word: counted as a plain name
    EXPECT_FALSE(api_is_function("sprx"));
    EXPECT_FALSE(api_is_function(""));
    // Every name is found, as what it is; a name with a letter more or less
    // is not, unless that too is a name.
    for (size_t i = 0; i < count; ++i) {
        const std::string name = table[i].name;
        EXPECT_EQ(api_is_function(name), !(table[i].flags & api_common_word)) << name;
        EXPECT_FALSE(api_is_function(name + "z")) << name;
        const std::string shorter = name.substr(0, name.size() - 1);
        EXPECT_EQ(api_is_function(shorter), names.count(shorter) > 0 && api_is_function(shorter)) << name;
    }
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

TEST(ApiTable, EveryConsoleCommandRunsSomethingThatExists) {
    size_t count = 0;
    const cmd_console_command* commands = cmd_console_commands(&count);
    std::set<std::string> names;
    int on_help = 0;
    for (size_t i = 0; i < count; ++i) {
        const cmd_console_command& c = commands[i];
        if (c.layout != cmd_help_none) {
            ASSERT_NE(c.help, nullptr);
            ++on_help;
        }
        if (!c.name) continue;
        EXPECT_TRUE(names.insert(c.name).second) << "twice: " << c.name;
        // A command without a program of its own is the call of a function.
        // (A common word such as new is bound all the same.)
        if (!c.program) {
            size_t n = 0;
            const api_function* table = api_functions(&n);
            bool bound = false;
            for (size_t j = 0; j < n; ++j) bound = bound || std::string(table[j].name) == c.name;
            EXPECT_TRUE(bound) << c.name;
        }
    }
    EXPECT_GT(on_help, 10);
    // The stopped program carries on through its main loop; the word after
    // a command of its own is no argument.
    const std::string resume = api_expand_shorthand("resume");
    EXPECT_NE(resume.find("_mainloop()"), std::string::npos);
    EXPECT_TRUE(cmd_find_console_command("resume")->resumes);
    EXPECT_EQ(api_expand_shorthand("resume now"), "resume now");
    EXPECT_EQ(api_expand_shorthand("s games"), "s games");
    EXPECT_EQ(cmd_find_console_command("spr"), nullptr);
}
