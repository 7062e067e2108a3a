// The base library, number text, C API, hostile scripts and debug hooks of
// the interpreter, run through compiled scripts and the C API.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lua_test_util.h"
#include "fixed/fixed.h"
#include "lua/lua_numbers.h"
#include "lua/lua_state.h"
#include "lua/lua_vm.h"

using lua_test::State;

namespace {

std::string outputs(const std::string& code) {
    State s;
    EXPECT_EQ(s.run(code), LUA_OK) << s.error;
    return s.out;
}

// The output of one more chunk run in s.
std::string outputs_of(State& s, const std::string& code) {
    s.out.clear();
    EXPECT_EQ(s.run(code), LUA_OK) << s.error;
    return s.out;
}

// Number rules, numeric for, table keys and error messages are checked in
// lua_numbers_test and lua_errors_test and against stock Lua; here what the
// base library and the C API add.
TEST(LuaBase, LibraryFunctions) {
    EXPECT_EQ(outputs("out(type(1), type('s'), type({}), type(nil), type(type), type(true))"),
              "number string table nil function boolean\n");
    EXPECT_EQ(outputs("out(assert(1, 2))"), "1 2\n");
    EXPECT_EQ(outputs("local p = setmetatable({}, {__metatable = 'no'}) out(getmetatable(p))"), "no\n");
    EXPECT_EQ(outputs("out(getmetatable('x'), getmetatable(1))"), "[nil] [nil]\n");
}

// Conversions inside the interpreter (concatenation, lua_tolstring) take a
// shortcut for whole numbers, and the VM has its own number text: both must
// give the formatter's text, for every whole number and every fraction.
TEST(LuaBase, NumberTextMatchesTheFormatterEverywhere) {
    State s;
    char buff[32];
    for (int v = -32768; v <= 32767; v++) {
        lua_pushnumber(s.L, int_to_fix(v));
        vexel_fixed_to_string(buff, int_to_fix(v));
        ASSERT_STREQ(lua_tostring(s.L, -1), buff);
        lua_pop(s.L, 1);
    }
    char mine[LUAI_MAXNUMBER2STR];
    char ref[LUAI_MAXNUMBER2STR];
    for (int32_t ip : {0, 1, 9, 99, 32767}) {
        for (int32_t f = 0; f < 0x10000; f += (ip == 0 ? 1 : 7)) {
            for (int sign = 0; sign < 2; sign++) {
                int32_t raw = int32_t((uint32_t(ip) << 16) | uint32_t(f));
                if (sign) raw = int32_t(0u - uint32_t(raw));
                int a = luaV_fixed_text(mine, raw);
                int b = luaO_fixed_to_string(ref, raw);
                ASSERT_STREQ(mine, ref) << raw;
                ASSERT_EQ(a, b);
                vexel_fixed_to_string(buff, raw);
                ASSERT_STREQ(buff, ref) << raw;
            }
        }
    }
}

// Concatenation writes numbers' text straight into the joined string, at
// most eight numbers a pass: every mix of numbers (whole, fractional,
// negative), strings and empty strings, in runs up to 24 long, gives the
// text the formatter gives, and a __concat in the run still sees numbers
// as numbers and the part joined after it as one string (as lua5.2 does).
TEST(LuaBase, ConcatenationJoinsNumbersAsTheirText) {
    State s;
    const int32_t numbers[] = {0, int_to_fix(7), int_to_fix(-12), 0x18000, -0x4000, 1, int_to_fix(32767), 0x7fffffff,
                               int32_t(0x80000000u)};
    const char* strings[] = {"", "a", "-", "item", "xyz0"};
    std::vector<std::string> texts;
    lua_newtable(s.L);
    int n = 0;
    char buff[LUAI_MAXNUMBER2STR];
    for (int32_t v : numbers) {
        lua_pushnumber(s.L, v);
        lua_rawseti(s.L, -2, ++n);
        vexel_fixed_to_string(buff, v);
        texts.push_back(buff);
    }
    for (const char* t : strings) {
        lua_pushstring(s.L, t);
        lua_rawseti(s.L, -2, ++n);
        texts.push_back(t);
    }
    lua_setglobal(s.L, "v");
    std::string code, expected;
    uint32_t seed = 12345;
    for (int c = 0; c < 400; c++) {
        const int len = 2 + c % 23;
        std::string expr, text;
        for (int k = 0; k < len; k++) {
            seed = seed * 1103515245u + 12345u;
            // Mostly numbers, so that long runs of them come up.
            const int pick = (seed >> 16) % 4 != 0 ? int((seed >> 8) % 9) : 9 + int((seed >> 20) % 5);
            expr += (k ? " .. v[" : "v[") + std::to_string(pick + 1) + "]";
            text += texts[size_t(pick)];
        }
        code += "do local r = " + expr + " out(type(r), r == '" + text + "' or r) end\n";
        expected += "string true\n";
    }
    EXPECT_EQ(outputs_of(s, code), expected);
    EXPECT_EQ(outputs_of(s, "local t = setmetatable({}, {__concat = function(a, b) "
                            "local function show(x) return type(x) .. ':' .. (type(x) == 'table' and 't' or x) end "
                            "return show(a) .. '|' .. show(b) end}) "
                            "out(t .. 1 .. 2.5 .. 'x') out(1 .. t) out(1 .. 2 .. t .. 3 .. 4)"),
              "table:t|string:12.5x\nnumber:1|table:t\n12table:t|string:34\n");
}

// Strings order by their bytes, the same on every host: capitals before
// small letters (a collating locale puts "a" first), bytes above 127 after
// every ASCII one, and pieces after an embedded NUL compared in turn.
TEST(LuaBase, StringsCompareByBytes) {
    EXPECT_EQ(outputs("out('Z' < 'a', '\\xff' > 'z', 'a\\0b' < 'a\\0c', 'a\\0' > 'a', 'ab' < 'b', '' < '\\0')"),
              "true true true true true true\n");
}

// A store into a slot that holds nil is made in the loop when the table has
// no metatable: it keeps the length, refreshes what a table used as a
// metatable is known to lack, and leaves tables with a __newindex to it.
TEST(LuaBase, StoresIntoEmptySlotsAndNewKeys) {
    EXPECT_EQ(outputs("local t = {} for i = 1, 10 do t[i] = i end t[5] = nil t[10] = nil out(#t) "
                      "t[10] = 10 t[5] = 5 out(#t) local u = {} u[1] = 1 u[2] = nil u[2] = 2 out(#u)"),
              "9\n10\n2\n");
    EXPECT_EQ(outputs("local mt = {__index = 1} mt.__index = nil local o = setmetatable({}, mt) "
                      "out(o.x) mt.__index = function(t, k) return k .. '!' end out(o.x)"),
              "[nil]\nx!\n");
    EXPECT_EQ(outputs("local seen = {} local t = setmetatable({1, 2, 3}, {__newindex = function(t, k, v) "
                      "seen[#seen + 1] = k end}) t[2] = nil t[2] = 5 t[4] = 6 out(seen[1], seen[2], t[2], t[4])"),
              "2 4 [nil] [nil]\n");
    // New keys of every kind, enough to grow the hash part several times.
    EXPECT_EQ(outputs("local t = {} for i = 1, 40 do t['k' .. i] = i end t[0.5] = 'h' t[100] = 'far' t[true] = 1 "
                      "local s = 0 for k, v in pairs(t) do if type(v) == 'number' then s = s + v end end "
                      "out(s, t.k1, t.k40, t[0.5], t[100], t[true], #t)"),
              "821 1 40 h far 1 0\n");
    // A metatable known to lack __index gets it as a new key.
    EXPECT_EQ(outputs("local mt = {} local o = setmetatable({}, mt) out(o.y) "
                      "mt.__index = function(t, k) return k .. '?' end out(o.y)"),
              "[nil]\ny?\n");
}

TEST(LuaApi, ConversionsOfTheDialect) {
    State s;
    lua_State* L = s.L;
    lua_pushnumber(L, 0x18000);  // 1.5
    EXPECT_EQ(lua_tonumber(L, -1), 0x18000);
    EXPECT_EQ(lua_tointeger(L, -1), 1);
    lua_pushnumber(L, -0x8000);  // -0.5
    EXPECT_EQ(lua_tointeger(L, -1), -1);
    EXPECT_EQ(lua_tounsigned(L, -1), lua_Unsigned(-1));
    lua_pushunsigned(L, 3);
    EXPECT_EQ(lua_tonumber(L, -1), 3 << 16);
    lua_pushinteger(L, 3);
    EXPECT_EQ(lua_tonumber(L, -1), 3);
    lua_pushstring(L, "-2.5");
    int isnum = 0;
    EXPECT_EQ(lua_tonumberx(L, -1, &isnum), -0x28000);
    EXPECT_EQ(isnum, 1);
    lua_pushnumber(L, 0x5555);
    EXPECT_STREQ(lua_tostring(L, -1), "0.3333");
    EXPECT_EQ(lua_type(L, -1), LUA_TSTRING);  // converted in place
    EXPECT_STREQ(lua_pushfstring(L, "%d|%f|%s|%%", 0x30000, -0x8000, "x"), "3|-0.5|x|%");
    EXPECT_EQ(lua_type(L, 100), LUA_TNONE);
    EXPECT_EQ(lua_gettop(L), 7);
    lua_settop(L, 0);
    lua_pushnumber(L, 7 << 16);
    lua_pushnumber(L, 2 << 16);
    lua_arith(L, LUA_OPMOD);
    EXPECT_EQ(lua_tonumber(L, -1), 1 << 16);
    lua_pushnumber(L, 1 << 16);
    EXPECT_TRUE(lua_compare(L, -1, -2, LUA_OPEQ));
    EXPECT_TRUE(lua_rawequal(L, -1, -2));
    lua_pushnumber(L, 2 << 16);
    EXPECT_TRUE(lua_compare(L, -2, -1, LUA_OPLT));
}

TEST(LuaApi, TablesCallsAndProtectedErrors) {
    State s;
    lua_State* L = s.L;
    lua_createtable(L, 4, 0);
    for (int i = 1; i <= 4; i++) {
        lua_pushinteger(L, i * 10);
        lua_rawseti(L, -2, i);
    }
    EXPECT_EQ(lua_rawlen(L, -1), 4u);
    lua_rawgeti(L, -1, 3);
    EXPECT_EQ(lua_tonumber(L, -1), 30);
    lua_pop(L, 1);
    lua_pushliteral(L, "v");
    lua_setfield(L, -2, "k");
    lua_getfield(L, -1, "k");
    EXPECT_STREQ(lua_tostring(L, -1), "v");
    lua_pop(L, 1);
    int keys = 0;
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        keys++;
        lua_pop(L, 1);
    }
    EXPECT_EQ(keys, 5);
    lua_setglobal(L, "T");
    ASSERT_EQ(s.run("function twice(x) return x * 2, x end"), LUA_OK);
    lua_getglobal(L, "twice");
    lua_pushnumber(L, 21 << 16);
    lua_call(L, 1, LUA_MULTRET);
    ASSERT_EQ(lua_gettop(L), 2);
    EXPECT_EQ(lua_tonumber(L, 1), 42 << 16);
    lua_settop(L, 0);
    lua_getglobal(L, "twice");
    lua_newtable(L);
    EXPECT_EQ(lua_pcall(L, 1, 0, 0), LUA_ERRRUN);
    EXPECT_STREQ(lua_tostring(L, -1), "attempt to perform arithmetic on local 'x' (a table value)");
    lua_settop(L, 0);
    // A binary chunk is refused.
    EXPECT_EQ(luaL_loadbuffer(L, "\x1bLua", 4, "bin"), LUA_ERRSYNTAX);
}

namespace {

// Returns as many values as its first argument says (1, 2, 3, ...).
int returns_n(lua_State* L) {
    int n = int(lua_tointeger(L, 1));
    lua_checkstack(L, n);
    for (int i = 1; i <= n; i++) lua_pushnumber(L, int_to_fix(i));
    return n;
}

// Grows the stack far past the frame it was given (so the stack moves)
// and returns its argument, the last value it pushed.
int moves_the_stack(lua_State* L) {
    lua_checkstack(L, 5000);
    for (int i = 0; i < 5000; i++) lua_pushnumber(L, int_to_fix(i));
    lua_pushvalue(L, 1);
    return 1;
}

void count_returns(lua_State* L, lua_Debug* ar) {
    if (ar->event == LUA_HOOKRET) {
        lua_getfield(L, LUA_REGISTRYINDEX, "returns");
        lua_Number n = lua_tonumber(L, -1);
        lua_pop(L, 1);
        lua_pushnumber(L, n + int_to_fix(1));
        lua_setfield(L, LUA_REGISTRYINDEX, "returns");
    }
}

// Sets a return hook from inside the call: its own return must already be
// seen by it.
int sets_a_return_hook(lua_State* L) {
    lua_sethook(L, count_returns, LUA_MASKRET, 0);
    lua_pushnumber(L, int_to_fix(7));
    return 1;
}

}  // namespace

// C functions called from Lua code take a shorter path when no hook is
// set: the results must still be padded with nils, trimmed, or all kept,
// and found where they are when the function moved the stack.
TEST(LuaApi, CFunctionCallsFromLuaCode) {
    State s;
    lua_register(s.L, "returns_n", returns_n);
    lua_register(s.L, "moves_the_stack", moves_the_stack);
    lua_register(s.L, "sets_a_return_hook", sets_a_return_hook);
    EXPECT_EQ(outputs_of(s, "local a = returns_n(0) out(a)"), "[nil]\n");
    EXPECT_EQ(outputs_of(s, "local a, b, c = returns_n(1) out(a, b, c)"), "1 [nil] [nil]\n");
    EXPECT_EQ(outputs_of(s, "local a = returns_n(3) out(a)"), "1\n");
    EXPECT_EQ(outputs_of(s, "returns_n(3) out(#{returns_n(5)}, returns_n(2))"), "5 1 2\n");
    EXPECT_EQ(outputs_of(s, "local t = {returns_n(300)} out(#t, t[300])"), "300 300\n");
    EXPECT_EQ(outputs_of(s, "local x, y = 1, moves_the_stack('kept') out(x, y)"), "1 kept\n");
    EXPECT_EQ(outputs_of(s, "local function f(...) return moves_the_stack(...) end out(f(4))"), "4\n");
    EXPECT_EQ(outputs_of(s, "local v = sets_a_return_hook() out(v)"), "7\n");
    lua_sethook(s.L, nullptr, 0, 0);
    lua_getfield(s.L, LUA_REGISTRYINDEX, "returns");
    EXPECT_GE(lua_tonumber(s.L, -1), int_to_fix(1));
    lua_pop(s.L, 1);
}

// lua_vexel_numbers reads what lua_tonumberx reads, argument by argument,
// whatever the arguments are (numbers, numeric strings, other values, too
// few or too many), and returns the count: it pushes "same" or the first
// argument where they differ, then the count it returned.
static int numbers_like_tonumber(lua_State* L) {
    constexpr int wanted = 4;
    lua_Number got[wanted];
    const int count = lua_vexel_numbers(L, got);
    int differs = 0;
    for (int i = 0; i < wanted && !differs; i++)
        if (got[i] != lua_tonumberx(L, i + 1, nullptr)) differs = i + 1;
    if (differs) lua_pushnumber(L, int_to_fix(differs));
    else lua_pushstring(L, "same");
    lua_pushnumber(L, int_to_fix(count));
    return 2;
}

TEST(LuaApi, NumbersReadAsToNumberReadsThem) {
    State s;
    lua_register(s.L, "numbers", numbers_like_tonumber);
    EXPECT_EQ(outputs_of(s, "out(numbers())"), "same 0\n");
    EXPECT_EQ(outputs_of(s, "out(numbers(1, -2.5, 3, 4))"), "same 4\n");
    EXPECT_EQ(outputs_of(s, "out(numbers(1, 2))"), "same 2\n");
    EXPECT_EQ(outputs_of(s, "out(numbers(1, 2, 3, 4, 5, 6))"), "same 6\n");
    EXPECT_EQ(outputs_of(s, "out(numbers('7', ' 0x10 ', '1.5', 'x'))"), "same 4\n");
    EXPECT_EQ(outputs_of(s, "out(numbers(nil, true, {}, print))"), "same 4\n");
    EXPECT_EQ(outputs_of(s, "out(numbers(1, 'a'))"), "same 2\n");
    EXPECT_EQ(outputs_of(s, "out(numbers('2', nil, 3))"), "same 3\n");
}

// The host's pointer is kept with every thread: one made before it was set
// sees it as well as the main thread, and a thread made afterwards, from
// the main thread or from a coroutine, starts with it.
TEST(LuaApi, EveryThreadSeesTheHostPointer) {
    State s;
    EXPECT_EQ(lua_vexel_host(s.L), nullptr);
    lua_State* before = lua_newthread(s.L);
    int host = 0, other = 0;
    lua_vexel_set_host(s.L, &host);
    EXPECT_EQ(lua_vexel_host(s.L), &host);
    EXPECT_EQ(lua_vexel_host(before), &host);
    lua_State* after = lua_newthread(s.L);
    EXPECT_EQ(lua_vexel_host(after), &host);
    lua_State* nested = lua_newthread(after);
    EXPECT_EQ(lua_vexel_host(nested), &host);
    lua_vexel_set_host(after, &other);  // from any thread, for the whole state
    EXPECT_EQ(lua_vexel_host(s.L), &other);
    EXPECT_EQ(lua_vexel_host(before), &other);
    EXPECT_EQ(lua_vexel_host(nested), &other);
    lua_pop(after, 1);
    lua_pop(s.L, 2);
    lua_gc(s.L, LUA_GCCOLLECT, 0);  // the threads are freed from where they were allocated
    EXPECT_EQ(lua_vexel_host(s.L), &other);
}

TEST(LuaHostile, ScriptsCannotCrashTheHost) {
    State s(256 * 1024);
    EXPECT_EQ(s.run("local t = {} for i = 1, 32000 do t[i] = {i, i, i, i} end"), LUA_ERRMEM);
    EXPECT_EQ(s.error, "not enough memory");
    // Nothing allocated before the failure is lost track of.
    s.close();
    EXPECT_EQ(s.bytes(), 0);
}

TEST(LuaHostile, CloseFreesEverythingAfterErrors) {
    long long after = -1;
    {
        State s;
        s.run("local t = {} for i = 1, 1000 do t[i] = 'str' .. i end error_here()");
        s.run("local x = ('a'):rep(3)");
        s.run("local t = setmetatable({}, {__index = function() error({}) end}) return t.x");
        s.close();
        after = s.bytes();
    }
    EXPECT_EQ(after, 0);
}

}  // namespace

namespace {

// The virtual machine's modulo must agree bit for bit with the machine's.
TEST(LuaNumbers, ModuloMatchesTheFixedPointPrimitive) {
    const int32_t edges[] = {0, 1, -1, 2, -2, 3, 0x10000, -0x10000, 0x7fffffff, INT32_MIN, INT32_MIN + 1,
                             0x8000, -0x8000, 12345678, -12345678, 0x7fff0000, 65537};
    for (int32_t a : edges)
        for (int32_t b : edges) EXPECT_EQ(luaV_mod(a, b), fixed_mod(a, b)) << a << " % " << b;
    uint32_t x = 12345;
    for (int n = 0; n < 100000; n++) {
        x = x * 1103515245u + 12345u;
        int32_t a = int32_t(x);
        x = x * 1103515245u + 12345u;
        int32_t b = int32_t(x) >> (x & 31);
        ASSERT_EQ(luaV_mod(a, b), fixed_mod(a, b)) << a << " % " << b;
    }
    // Every power of two, either sign, takes its own path (a mask).
    for (int k = 0; k < 32; k++) {
        const int32_t p = int32_t(uint32_t(1) << k);
        for (int n = 0; n < 200; n++) {
            x = x * 1103515245u + 12345u;
            const int32_t a = n < 4 ? int32_t(edges[n + 6]) : int32_t(x);
            ASSERT_EQ(luaV_mod(a, p), fixed_mod(a, p)) << a << " % " << p;
            ASSERT_EQ(luaV_mod(a, int32_t(0u - uint32_t(p))), fixed_mod(a, int32_t(0u - uint32_t(p)))) << a << " % -" << p;
        }
    }
}

}  // namespace

namespace {

std::string g_lines;

// Tracebacks show each line as line / 65536, the way the console's number
// formatter prints the plain integer it is given (the runner scales back).
TEST(LuaDebug, TracebackFormatsLinesAsNumbers) {
    State s;
    lua_pushcfunction(s.L, [](lua_State* L) {
        luaL_traceback(L, L, "msg", 1);
        return lua_error(L);
    });
    lua_setglobal(s.L, "tb");
    std::string code(19, '\n');
    code = "local function f()\n" + code + "  tb()\nend\nf()\n";  // tb() on line 21, f() on line 23
    EXPECT_EQ(s.run(code), LUA_ERRRUN);
    EXPECT_EQ(s.error, "msg\nstack traceback:\n\ttest:0.0003: in function 'f'\n\ttest:0.0004: in main chunk");
}

TEST(LuaDebug, LineAndCallHooksSeeTheRunningCode) {
    State s;
    g_lines.clear();
    lua_sethook(
        s.L,
        [](lua_State* L, lua_Debug* ar) {
            if (ar->event == LUA_HOOKLINE) {
                g_lines += std::to_string(ar->currentline) + " ";
            } else if (ar->event == LUA_HOOKCALL) {
                lua_getinfo(L, "nS", ar);
                g_lines += std::string("call:") + (ar->name ? ar->name : "?") + " ";
            }
        },
        LUA_MASKLINE | LUA_MASKCALL, 0);
    ASSERT_EQ(s.run("local function g(x)\n  return x + 1\nend\nlocal y = g(1)\nfor i = 1, 2 do\n  y = y + i\nend\n"),
              LUA_OK);
    EXPECT_EQ(g_lines, "call:? 3 4 call:g 2 5 6 5 6 5 7 ");
}

}  // namespace

namespace {

// The runner's way of reporting: a message handler adds the traceback of
// the failing stack before it unwinds.
TEST(LuaDebug, MessageHandlerSeesTheFailingStack) {
    State s;
    lua_State* L = s.L;
    lua_pushcfunction(L, [](lua_State* L) {
        luaL_traceback(L, L, lua_tostring(L, 1), 1);
        return 1;
    });
    int handler = lua_gettop(L);
    ASSERT_EQ(luaL_loadbuffer(L, "local function boom() local x = nil; return x.y end\nboom()", 58, "=cart"), LUA_OK);
    EXPECT_EQ(lua_pcall(L, 0, 0, handler), LUA_ERRRUN);
    EXPECT_STREQ(lua_tostring(L, -1),
                 "attempt to index local 'x' (a nil value)\nstack traceback:\n\tcart:0: in function 'boom'\n"
                 "\tcart:0: in main chunk");
    EXPECT_EQ(lua_vexel_runtime_line(L), 1);
    lua_settop(L, 0);
    // A handler that fails itself gives the fixed message.
    lua_pushcfunction(L, [](lua_State* L) { return lua_error(L); });
    ASSERT_EQ(luaL_loadbuffer(L, "local a = nil + 1", 17, "=cart"), LUA_OK);
    EXPECT_EQ(lua_pcall(L, 0, 0, 1), LUA_ERRERR);
}

}  // namespace
