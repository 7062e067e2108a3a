// Error messages: the lexer's and parser's messages of Lua 5.2.3 (with the
// line shown scaled, as the console formats numbers), bare run-time
// messages with variable descriptions and the state's runtime line, and the
// luaL_where prefix of library errors.
#include <gtest/gtest.h>

#include "lua_oracle_harness.h"

namespace {

int g_runtime_line = 0;  // of the last err()
int g_last_line = 0;

std::string err(const std::string& src) {
    lua_oracle::Run r = lua_oracle::run(src);
    EXPECT_EQ(0, r.leaked) << src;
    EXPECT_NE(LUA_OK, r.status) << src;
    g_runtime_line = r.runtime_line;
    g_last_line = r.last_line;
    return r.err;
}

// Syntax errors give "chunk:line: message near token", where the line
// prints as line / 65536 (so line 1 shows as 0) and the runner takes the
// real line from lua_vexel_last_line.
TEST(LuaErrors, LexerMessages) {
    EXPECT_EQ("test:0: invalid escape sequence near '\\q'", err("x = '\\q'"));
    EXPECT_EQ("test:0: decimal escape too large near '\\300'", err("x = '\\300'"));
    EXPECT_EQ("test:0: hexadecimal digit expected near '\\xz'", err("x = '\\xzz'"));
    EXPECT_EQ("test:0: malformed number near '1e'", err("x = 1e"));
    EXPECT_EQ("test:0: malformed number near '3..2'", err("x = 3..2"));
    EXPECT_EQ("test:0: unfinished long string near <eof>", err("x = [==[ ab"));
    EXPECT_EQ("test:0: unfinished long comment near <eof>", err("--[[ ab"));
    EXPECT_EQ("test:0: invalid long string delimiter near '[='", err("x = [=x"));
    EXPECT_EQ("test:0: unfinished string near '\"ab'", err("x = \"ab\ny\""));
    EXPECT_EQ("test:0: unfinished string near <eof>", err("x = 'ab"));
    EXPECT_EQ("test:0: unexpected symbol near char(1)", err("x = \x01"));
}

TEST(LuaErrors, ParserMessages) {
    EXPECT_EQ("test:0: unexpected symbol near 'end'", err("x = end"));
    EXPECT_EQ("test:0: syntax error near <eof>", err("x"));
    EXPECT_EQ("test:0: syntax error near <eof>", err("x.y"));
    EXPECT_EQ("test:0.0002: 'end' expected (to close 'function' at line 1) near <eof>",
              err("function f()\n\n\n\n\n\n\n\n\n\n\n"));
    EXPECT_EQ("test:0: 'end' expected near <eof>", err("do"));
    EXPECT_EQ("test:0: cannot use '...' outside a vararg function near '...'", err("function f() return ... end"));
    EXPECT_EQ("test:0: <break> at line 1 not inside a loop", err("break"));
    EXPECT_EQ("test:0: no visible label 'x' for <goto> at line 1", err("goto x"));
    EXPECT_EQ("test:0: label 'a' already defined on line 1", err("::a:: ::a::"));
    EXPECT_EQ("test:0: <goto a> at line 1 jumps into the scope of local 'y'", err("goto a local y ::a:: y = 1"));
    EXPECT_EQ("test:0: '=' or 'in' expected near 'do'", err("for x do end"));
    EXPECT_EQ("test:0: <name> or '...' expected near '1'", err("function f(1) end"));
    EXPECT_EQ("test:0: function arguments expected near '+'", err("a:b + 1"));
    std::string locals = "local a0";
    for (int i = 1; i < 201; i++) locals += ", a" + std::to_string(i);
    EXPECT_EQ("test:0: too many local variables (limit is 200) in main function near <eof>", err(locals));
    std::string deep = "x = ";
    for (int i = 0; i < 300; i++) deep += "(";
    EXPECT_NE(std::string::npos, err(deep).find("too many C levels (limit is 200)"));
}

// The runner maps lines of the joined program to lines within a code tab.
TEST(LuaErrors, ParserMessagesNameMappedLines) {
    lua_State* L = luaL_newstate();
    lua_vexel_set_linemap(L, [](int line) { return line <= 10 ? line - 3 : -1; });
    auto compile = [&](const std::string& src) {
        luaL_loadbuffer(L, src.data(), src.size(), "=t");
        std::string m = lua_tostring(L, -1);
        lua_pop(L, 1);
        return m;
    };
    EXPECT_EQ("t:0: 'end' expected (to close 'function' at line 2) near <eof>", compile("\n\n\n\nfunction f()\n"));
    EXPECT_EQ("t:0.0002: 'end' expected (to close 'do' at line -1) near <eof>",
              compile(std::string(11, '\n') + "do\n"));
    EXPECT_EQ("t:0: label 'a' already defined on line 1", compile("\n\n\n::a::\n::a::"));
    lua_vexel_set_linemap(L, nullptr);
    EXPECT_EQ("t:0: label 'a' already defined on line 4", compile("\n\n\n::a::\n::a::"));
    lua_close(L);
}

TEST(LuaErrors, LastLineNumberIsTheFailingStatement) {
    err("a = 1\nb = 2\nc = (\n\n3 +\n");
    EXPECT_EQ(3, g_last_line);
}

TEST(LuaErrors, BinaryChunksAreRefused) {
    EXPECT_NE(std::string::npos, err("\x1bLua\x52").find("binary chunk"));
}

// Run-time errors carry no chunk:line prefix (their texts are compared with
// stock Lua's in lua_diff_test); the line goes to lua_vexel_runtime_line.
TEST(LuaErrors, RunTimeErrorsRecordTheirLine) {
    EXPECT_EQ("attempt to index local 'b' (a nil value)", err("local a = 1\n\nlocal b = nil\nreturn b.c\n"));
    EXPECT_EQ(4, g_runtime_line);
}

TEST(LuaErrors, LibraryErrorsHaveTheWherePrefix) {
    // luaL_where prints the line as a number: line 2 shows as 0 (2 / 65536).
    EXPECT_EQ("test:0: bad argument #1 to 'sub' (string expected, got no value)", err("\nsub()"));
    EXPECT_EQ(2, g_runtime_line);
    EXPECT_EQ("test:0: assertion failed!", err("assert(false)"));
    EXPECT_EQ("test:0: boom", err("assert(nil, 'boom')"));
    EXPECT_EQ("test:0: bad argument #2 to 'setmetatable' (nil or table expected)", err("setmetatable({}, 1)"));
    EXPECT_EQ("test:0: cannot change a protected metatable",
              err("local t = setmetatable({}, {__metatable = 1}) setmetatable(t, {})"));
    EXPECT_EQ("test:0: bad argument #1 to 'pairs' (table expected, got nil)", err("for k in pairs(nil) do end"));
}

// Running out of memory anywhere in state creation or compilation gives
// "not enough memory" (or no state at all) and returns every byte.
TEST(LuaErrors, MemoryExhaustionIsCleanEverywhere) {
    std::string src = lua_oracle::read_file(lua_oracle::corpus_dir() + "/functions.lua");
    int refused = 0;
    for (long long limit = 0; limit < 200000; limit += limit < 20000 ? 97 : 2048) {
        lua_oracle::CountingAlloc alloc;
        alloc.limit = limit;
        lua_State* L = lua_newstate(lua_oracle::CountingAlloc::fn, &alloc);
        if (L != nullptr) {
            int status = luaL_loadbuffer(L, src.data(), src.size(), "=f");
            if (status != LUA_OK) {
                EXPECT_EQ(LUA_ERRMEM, status) << limit;
                EXPECT_STREQ("not enough memory", lua_tostring(L, -1)) << limit;
                refused++;
            }
            lua_close(L);
        }
        EXPECT_EQ(0, alloc.live) << "leak at limit " << limit;
    }
    EXPECT_GT(refused, 10);
}

TEST(LuaErrors, DeepRecursionIsAnErrorNotACrash) {
    EXPECT_NE(std::string::npos, err("local function f() return 1 + f() end f()").find("stack overflow"));
    EXPECT_EQ("C stack overflow", err("local t = setmetatable({}, {}) getmetatable(t).__index = function(t, k) return t[k] end return t.x"));
}

}  // namespace
