// The virtual machine's number, table, error and budget rules, run through
// compiled scripts and the C API.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lua_test_util.h"
#include "machine/fixed.h"
#include "runtime/lua/lua_state.h"
#include "runtime/lua/lua_vm.h"

using lua_test::State;

namespace {

std::string outputs(const std::string& code) {
    State s;
    EXPECT_EQ(s.run(code), LUA_OK) << s.error;
    return s.out;
}

std::string error_of(const std::string& code) {
    State s;
    EXPECT_NE(s.run(code), LUA_OK);
    return s.error;
}

TEST(LuaNumbers, ArithmeticWrapsAndUsesTheFixedPointPrimitives) {
    EXPECT_EQ(outputs("local a = 32767 out(a + 1)"), "-32768\n");
    EXPECT_EQ(outputs("local a = -32768 out(-a)"), "-32768\n");
    EXPECT_EQ(outputs("local a, b = 1, 3 out(a / b, tostr(a / b, true))"), "0.3333 0x0000.5555\n");
    EXPECT_EQ(outputs("local a, b = 7, -3 out(a % b, -a % b)"), "1 2\n");
    EXPECT_EQ(outputs("local a, z = 5, 0 out(tostr(a / z, true), tostr(-a / z, true), a % z)"),
              "0x7fff.ffff 0x8000.0001 5\n");
    EXPECT_EQ(outputs("local a = 1.5 out(a * a, a ^ 2, 2 ^ 0)"), "2.25 2.25 1\n");
    EXPECT_EQ(outputs("local s = '10' out(s + 1, '0x10' * 2, -'3')"), "11 32 -3\n");
    EXPECT_EQ(outputs("out('-1' + 0, tostr(tonum('-0.1'), true))"), "-1 0xffff.e667\n");
    EXPECT_EQ(outputs("local a, b = -1, 1 out(a < b, a <= -1, 0.5 < 0.25)"), "true true false\n");
    // Folded and executed results agree, and x / 0 is left to run time.
    EXPECT_EQ(outputs("local one = 1 out(tostr(1 / 3, true) == tostr(one / 3, true), 1 / 0 == one / 0)"),
              "true true\n");
}

TEST(LuaNumbers, LengthShiftsAndWraps) {
    EXPECT_EQ(outputs("out(#'abc', #{1, 2, 3, nil})"), "3 3\n");
    EXPECT_EQ(outputs("local s = 'x' for i = 1, 15 do s = s .. s end s = s .. sub(s, 1, 7232) out(#s < 0)"),
              "true\n");
}

TEST(LuaNumbers, NumericForRules) {
    EXPECT_EQ(outputs("local n = 0 for i = 32760, 32767 do n = n + 1 end out(n)"), "8\n");
    EXPECT_EQ(outputs("local n = 0 for i = 0, 0, 0 do n = n + 1 end out(n)"), "0\n");
    EXPECT_EQ(outputs("local n = 0 for i = 0, -5, 0 do n = n + 1 end out(n)"), "0\n");
    EXPECT_EQ(outputs("local n = 0 for i = 1, 0 do n = n + 1 end out(n)"), "0\n");
    EXPECT_EQ(outputs("local n = 0 for i = 3, 1, -1 do n = n * 10 + i end out(n)"), "321\n");
    EXPECT_EQ(outputs("local n = 0 for i = 0, 1, 0.25 do n = n + 1 end out(n)"), "5\n");
    EXPECT_EQ(outputs("local n = 0 for i = '1', '3' do n = n + i end out(n)"), "6\n");
    EXPECT_EQ(error_of("for i = {}, 2 do end"), "'for' initial value must be a number");
    EXPECT_EQ(error_of("for i = 1, 'x' do end"), "'for' limit must be a number");
    EXPECT_EQ(error_of("for i = 1, 2, nil do end"), "'for' step must be a number");
}

TEST(LuaNumbers, ZeroStepLoopNeverEndsUntilTheBudgetStopsIt) {
    State s;
    lua_sethook(
        s.L, [](lua_State* L, lua_Debug*) { luaL_error(L, "budget"); }, LUA_MASKCOUNT, 100000);
    EXPECT_EQ(s.run("local n = 0 for i = 5, 0, 0 do n = n + 1 end"), LUA_ERRRUN);
    EXPECT_NE(s.error.find("budget"), std::string::npos);
}

TEST(LuaTables, IntegerKeysAndHashKeys) {
    EXPECT_EQ(outputs("local t = {} t[1] = 'a' out(t[1.0], t[1]) t[1.0] = 'b' out(t[1])"), "a a\nb\n");
    EXPECT_EQ(outputs("local t = {} t[0] = 0 t[-1] = -1 t[0.5] = 0.5 t[32767] = 'top' "
                      "out(t[0], t[-1], t[0.5], t[32767], #t)"),
              "0 -1 0.5 top 0\n");
    EXPECT_EQ(outputs("local t = {} for i = 1, 100 do t[i] = i end t[50] = nil out(#t == 100 or #t == 49)"),
              "true\n");
    EXPECT_EQ(outputs("local t = {} for i = 1, 64 do t[i] = i end local s = 0 "
                      "for k, v in pairs(t) do s = s + k - v end out(s)"),
              "0\n");
    EXPECT_EQ(error_of("local t = {} t[nil] = 1"), "table index is nil");
    EXPECT_EQ(outputs("local t = setmetatable({}, {__len = function() return 7 end}) out(#t)"), "7\n");
}

TEST(LuaErrors, MessagesNameTheValueAsLua52Does) {
    EXPECT_EQ(error_of("out(x.y)"), "attempt to index global 'x' (a nil value)");
    EXPECT_EQ(error_of("local t = {} t.f()"), "attempt to call field 'f' (a nil value)");
    EXPECT_EQ(error_of("local a a = a + 1"), "attempt to perform arithmetic on local 'a' (a nil value)");
    EXPECT_EQ(error_of("local t = {} t:m()"), "attempt to call method 'm' (a nil value)");
    EXPECT_EQ(error_of("local u = {} local function f() return u .. 'x' end f()"),
              "attempt to concatenate upvalue 'u' (a table value)");
    EXPECT_EQ(error_of("return #true"), "attempt to get length of a boolean value");
    EXPECT_EQ(error_of("local a = 1 < {}"), "attempt to compare number with table");
    EXPECT_EQ(error_of("local a = {} < {}"), "attempt to compare two table values");
    EXPECT_EQ(error_of("local s = 'abc' s.x.y = 1"), "attempt to index local 's' (a string value)");
    EXPECT_EQ(error_of("local t = {} t.x.y = 1"), "attempt to index field 'x' (a nil value)");
    // Strings have no metatable: methods on them fail as plain indexing.
    EXPECT_EQ(error_of("local c = ('abc'):sub(1, 1)"), "attempt to index constant 'abc' (a string value)");
    EXPECT_EQ(error_of("local t = setmetatable({}, {}) t.__index = t setmetatable(t, t) return t.x"),
              "loop in gettable");
}

TEST(LuaErrors, RuntimeLineIsRecordedWithoutAPrefix) {
    State s;
    vexel_runtime_line = 0;
    EXPECT_EQ(s.run("local a = 1\nlocal b = 2\nlocal c = a + nil_global\n"), LUA_ERRRUN);
    EXPECT_EQ(s.error, "attempt to perform arithmetic on global 'nil_global' (a nil value)");
    EXPECT_EQ(vexel_runtime_line, 3);
    // Errors raised through luaL_error carry luaL_where's prefix, whose line
    // is printed as line / 65536, and record the line too.
    vexel_runtime_line = 0;
    EXPECT_EQ(s.run("\n\n\n\n\n\n\n\n\n\n\n\nsetmetatable(1, {})", "=cart"), LUA_ERRRUN);
    EXPECT_EQ(s.error, "cart:0.0002: bad argument #1 to 'setmetatable' (table expected, got number)");
    EXPECT_EQ(vexel_runtime_line, 13);
}

TEST(LuaBase, LibraryFunctions) {
    EXPECT_EQ(outputs("out(sub('abcdef', 2.9, 4.2), sub('abc', -2), sub(12345, 2, 3), sub('abc', 3, 1) == '')"),
              "bcd bc 23 true\n");
    EXPECT_EQ(outputs("out(type(1), type('s'), type({}), type(nil), type(type), type(true))"),
              "number string table nil function boolean\n");
    // Library errors carry luaL_where's prefix; line 1 prints as 1 / 65536.
    EXPECT_EQ(error_of("type()"), "test:0: bad argument #1 to 'type' (value expected)");
    EXPECT_EQ(error_of("assert(false)"), "test:0: assertion failed!");
    EXPECT_EQ(error_of("assert(nil, 'boom')"), "test:0: boom");
    EXPECT_EQ(outputs("out(assert(1, 2))"), "1 2\n");
    EXPECT_EQ(outputs("local p = setmetatable({}, {__metatable = 'no'}) out(getmetatable(p))"), "no\n");
    EXPECT_EQ(error_of("local p = setmetatable({}, {__metatable = 'no'}) setmetatable(p, {})"),
              "test:0: cannot change a protected metatable");
    EXPECT_EQ(error_of("setmetatable({}, 1)"), "test:0: bad argument #2 to 'setmetatable' (nil or table expected)");
    EXPECT_EQ(outputs("out(getmetatable('x'), getmetatable(1))"), "[nil] [nil]\n");
    EXPECT_EQ(error_of("pairs(nil)"), "test:0: bad argument #1 to 'pairs' (table expected, got nil)");
}

TEST(LuaBase, NumberText) {
    char buff[32];
    const struct {
        int32_t raw;
        const char* text;
    } cases[] = {{0, "0"},           {10 << 16, "10"},         {-0x8000, "-0.5"}, {0x5555, "0.3333"},
                 {0x1999, "0.1"},    {0x7fffffff, "32768"},    {0xffff, "1"},     {1, "0"},
                 {-1, "-0"},         {INT32_MIN, "-32768"},    {0x28000, "2.5"},  {-(3 << 16), "-3"}};
    for (const auto& c : cases) {
        EXPECT_EQ(vexel_fixed_to_string(buff, c.raw), int(std::strlen(c.text)));
        EXPECT_STREQ(buff, c.text);
    }
}

// Conversions inside the interpreter (concatenation, lua_tolstring) take a
// shortcut for whole numbers that must give the same text.
TEST(LuaBase, WholeNumbersConvertAsTheFormatterDoes) {
    State s;
    char buff[32];
    for (int v = -32768; v <= 32767; v++) {
        lua_pushnumber(s.L, int_to_fix(v));
        const char* text = lua_tostring(s.L, -1);
        vexel_fixed_to_string(buff, int_to_fix(v));
        ASSERT_STREQ(text, buff);
        lua_pop(s.L, 1);
    }
    for (int32_t raw : {0x10001, -0x10001, 0x7fffffff, -0x7fffffff, 0x8000}) {
        lua_pushnumber(s.L, raw);
        vexel_fixed_to_string(buff, raw);
        EXPECT_STREQ(lua_tostring(s.L, -1), buff);
        lua_pop(s.L, 1);
    }
}

TEST(LuaBase, TraceReturnsTheTraceback) {
    EXPECT_EQ(outputs("local function f() return trace('here') end\nout(f())"),
              "here\nstack traceback:\n\ttest:0: in function 'f'\n\ttest:0: in main chunk\n");
    EXPECT_EQ(outputs("out(trace())"), "stack traceback:\n\ttest:0: in main chunk\n");
    EXPECT_EQ(outputs("local t = {} out(trace(t) == t)"), "true\n");
}

// The interpreter's own number text must be the formatter's, for every
// fraction and the integer parts where rounding carries or the sign shows.
TEST(LuaBase, NumberTextMatchesTheFormatterEverywhere) {
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
            }
        }
    }
}

TEST(LuaBase, TostrAndTonum) {
    EXPECT_EQ(outputs("out(tostr(1/3), tostr(-0x0.0001), tostr(32767.99998), tostr(2.5))"), "0.3333 -0 32768 2.5\n");
    EXPECT_EQ(outputs("out(tostr(-1, true), tostr(), tostr(nil), tostr({}), tostr(true), tostr('s'))"),
              "0xffff.0000 [no value] [nil] [table] true s\n");
    EXPECT_EQ(outputs("out(tonum('-0x10'), '-0x10' + 0, tonum(' 12 '), tonum(5))"), "-16 -16 12 5\n");
    EXPECT_EQ(outputs("out(tonum('0x') == nil, tonum('abc') == nil, tonum({}) == nil)"), "true true true\n");
    // A failed conversion returns no value at all, not nil.
    EXPECT_EQ(outputs("local function n(...) return #{...} end out(n(tonum('z')), n(tonum('1')))"), "0 1\n");
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

TEST(LuaHostile, ScriptsCannotCrashTheHost) {
    EXPECT_EQ(error_of("local function f() return 1 + f() end f()"), "stack overflow");
    EXPECT_EQ(error_of("local t = setmetatable({}, {}) getmetatable(t).__index = function(t, k) return t[k] end "
                       "return t.x"),
              "C stack overflow");
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

TEST(LuaBudget, CountHookChargesEveryInstruction) {
    State s;
    static int fired;
    const char* loop = "local n = 0 for i = 1, 100 do n = n + 1 end";
    fired = 0;
    lua_sethook(
        s.L, [](lua_State*, lua_Debug*) { fired++; }, LUA_MASKCOUNT, 1);
    ASSERT_EQ(s.run(loop), LUA_OK);
    // Five to set up, two per pass (ADD, FORLOOP), the last FORLOOP, RETURN.
    EXPECT_EQ(fired, 5 + 2 * 100 + 1 + 1);
    int every = fired;
    fired = 0;
    lua_sethook(
        s.L, [](lua_State*, lua_Debug*) { fired++; }, LUA_MASKCOUNT, 10);
    ASSERT_EQ(s.run(loop), LUA_OK);
    EXPECT_EQ(fired, every / 10);
    // lua_spend_cpu brings the next hook closer but never below one
    // instruction away; a soft yield makes it fire at the next one.
    lua_sethook(
        s.L, [](lua_State*, lua_Debug*) {}, LUA_MASKCOUNT, 1000);
    lua_spend_cpu(s.L, 400);
    EXPECT_EQ(lua_get_cpu(s.L), 600);
    lua_spend_cpu(s.L, 5000);
    EXPECT_EQ(lua_get_cpu(s.L), 1);
    lua_sethook(
        s.L, [](lua_State*, lua_Debug*) {}, LUA_MASKCOUNT, 1000);
    lua_vexel_soft_yield(s.L);
    EXPECT_EQ(lua_get_cpu(s.L), 1);
    lua_spend_cpu(s.L, 100);  // restores the saved count first
    EXPECT_EQ(lua_get_cpu(s.L), 900);
}

}  // namespace

namespace {

// The virtual machine's modulo must agree bit for bit with the machine's.
TEST(LuaNumbers, ModuloMatchesTheFixedPointPrimitive) {
    const int32_t edges[] = {0, 1, -1, 2, -2, 3, 0x10000, -0x10000, 0x7fffffff, INT32_MIN, INT32_MIN + 1,
                             0x8000, -0x8000, 12345678, -12345678, 0x7fff0000, 65537};
    for (int32_t a : edges)
        for (int32_t b : edges) EXPECT_EQ(luaV_mod(a, b), qz_fmod(a, b)) << a << " % " << b;
    uint32_t x = 12345;
    for (int n = 0; n < 100000; n++) {
        x = x * 1103515245u + 12345u;
        int32_t a = int32_t(x);
        x = x * 1103515245u + 12345u;
        int32_t b = int32_t(x) >> (x & 31);
        ASSERT_EQ(luaV_mod(a, b), qz_fmod(a, b)) << a << " % " << b;
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
    EXPECT_EQ(vexel_runtime_line, 1);
    lua_settop(L, 0);
    // A handler that fails itself gives the fixed message.
    lua_pushcfunction(L, [](lua_State* L) { return lua_error(L); });
    ASSERT_EQ(luaL_loadbuffer(L, "local a = nil + 1", 17, "=cart"), LUA_OK);
    EXPECT_EQ(lua_pcall(L, 0, 0, 1), LUA_ERRERR);
}

}  // namespace
