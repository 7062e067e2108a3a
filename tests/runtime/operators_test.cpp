// The operators of cartridge format 15 give bit for bit what the machine's
// functions of the same meaning give: a \ b is flr(a / b), & | ^^ ~ << >> are
// band bor bxor bnot shl shr, over negative, fractional and extreme values
// and shift counts out of range, both computed by the interpreter and folded
// by the compiler. >>> <<> >>< have no function of their own: they are
// checked against a reference built from 64-bit arithmetic here, and inside a
// program against shl, shr, band, bor and bnot.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fixed/fixed.h"
#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "machine/machine.h"
#include "machine/math.h"
#include "runtime/frame.h"
#include "runtime/run.h"
#include "test_support.h"

namespace {

constexpr int op_count = 10;
const char* const op_text[op_count] = {"\\", "&", "|", "^^", "<<", ">>", ">>>", "<<>", ">><", "~"};

// The machine's functions, and a reference for the three without one.
int32_t lshr_ref(int32_t x, int32_t n) {
    const int64_t k = n >> 16;  // whole part, rounded down
    if (k > 31) return 0;
    return int32_t(uint32_t(uint64_t(uint32_t(x)) >> (k & 31)));
}
int32_t rot_ref(int32_t x, int32_t n, bool left) {
    uint64_t k = uint64_t(uint32_t(n >> 16)) % 32;
    if (!left) k = (32 - k) % 32;
    const uint64_t doubled = (uint64_t(uint32_t(x)) << 32) | uint32_t(x);
    return int32_t(uint32_t(doubled >> (32 - k)));  // k = 0 takes the low copy
}

int32_t expected(int op, int32_t a, int32_t b) {
    switch (op) {
    case 0: return vexel_math_flr(fixed_div_wrap(a, b));  // the machine's flr of what / gives
    case 1: return vexel_math_band(a, b);
    case 2: return vexel_math_bor(a, b);
    case 3: return vexel_math_bxor(a, b);
    case 4: return vexel_math_shl(a, b);
    case 5: return vexel_math_shr(a, b);
    case 6: return lshr_ref(a, b);
    case 7: return rot_ref(a, b, true);
    case 8: return rot_ref(a, b, false);
    default: return vexel_math_bnot(a);
    }
}

// Raw values: zero, ones, signs, fractions, the extremes and bit patterns.
std::vector<int32_t> values() {
    return {0,          1,           -1,          0x10000,     -0x10000,  0x8000,     -0x8000,
            0x7fffffff, INT32_MIN,   0x12345678,  -0x12345678, 0x00ff00ff, int32_t(0xdeadbeef),
            0x0001ffff, 0x7fff0000, int32_t(0x80000001), 0x55555555, 0x30000,  -0x2c000};
}

// Shift counts: whole ones from -40 to 40, with fractions either side.
std::vector<int32_t> counts() {
    std::vector<int32_t> c;
    for (int k = -40; k <= 40; ++k) {
        c.push_back(k * 0x10000);
        c.push_back(k * 0x10000 + 0x8000);
        c.push_back(k * 0x10000 + 0xffff);
        c.push_back(k * 0x10000 - 1);
    }
    return c;
}

// A numeral with exactly the raw value r.
std::string numeral(int32_t r) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%04x.%04x", unsigned(uint32_t(r) >> 16), unsigned(uint32_t(r) & 0xffff));
    return buf;
}

std::string hexval(int32_t r) { return numeral(r); }

}  // namespace

TEST(Operators, InterpretedGiveTheMachineFunctionsBitForBit) {
    lua_State* L = luaL_newstate();
    const std::string src =
        "local a, b = ... return a \\ b, a & b, a | b, a ^^ b, a << b, a >> b, a >>> b, a <<> b, a >>< b, ~a";
    ASSERT_EQ(luaL_loadbuffer(L, src.data(), src.size(), "=ops"), LUA_OK);
    lua_setglobal(L, "ops");
    std::vector<int32_t> rights = values();
    for (int32_t c : counts()) rights.push_back(c);
    int checked = 0;
    for (int32_t a : values()) {
        for (int32_t b : rights) {
            lua_getglobal(L, "ops");
            lua_pushnumber(L, a);
            lua_pushnumber(L, b);
            ASSERT_EQ(lua_pcall(L, 2, op_count, 0), LUA_OK);
            for (int op = 0; op < op_count; ++op) {
                const int32_t got = lua_tonumberx(L, -op_count + op, nullptr);
                ASSERT_EQ(hexval(got), hexval(expected(op, a, b)))
                    << numeral(a) << " " << op_text[op] << " " << numeral(b);
                ++checked;
            }
            lua_pop(L, op_count);
        }
    }
    lua_close(L);
    EXPECT_GT(checked, 60000);
}

TEST(Operators, FoldedGiveTheSameBits) {
    lua_State* L = luaL_newstate();
    std::vector<int32_t> rights = values();
    for (int k = -34; k <= 34; k += 3) rights.push_back(k * 0x10000 + (k & 1 ? 0x8000 : 0));
    for (int32_t a : values()) {
        for (int32_t b : rights) {
            std::string src = "return ";
            for (int op = 0; op < op_count - 1; ++op) src += numeral(a) + " " + op_text[op] + " " + numeral(b) + ", ";
            src += "~" + numeral(a);
            ASSERT_EQ(luaL_loadbuffer(L, src.data(), src.size(), "=folded"), LUA_OK);
            ASSERT_EQ(lua_pcall(L, 0, op_count, 0), LUA_OK);
            for (int op = 0; op < op_count; ++op) {
                const int32_t got = lua_tonumberx(L, -op_count + op, nullptr);
                ASSERT_EQ(hexval(got), hexval(expected(op, a, b))) << src;
            }
            lua_pop(L, op_count);
        }
    }
    lua_close(L);
}

TEST(Operators, EqualTheFunctionsInsideAProgram) {
    // Run as the console runs a cartridge: preprocessed, with the real API
    // functions (which a program could replace; the operators stay).
    const char* program = R"(
vals = {0, 0x0.0001, -0x0.0001, 1, -1, 0.5, -0.5, 0x7fff.ffff, 0x8000, 1.75, -2.25,
        0x1234.5678, 0xdead.beef, 0x00ff.ff00, 31, 32, 33, -31, -32, -33, 15.5, -15.5}
function k(n) return band(flr(n), 31) end
-- the three without a function of their own, from the five that have one
function lshr_ref(x, n)
  if (flr(n) > 31) return 0
  if (k(n) == 0) return x
  return band(shr(x, k(n)), bnot(shl(0xffff.ffff, 32 - k(n))))
end
function rotl_ref(x, n)
  if (k(n) == 0) return x
  return bor(shl(x, k(n)), lshr_ref(x, 32 - k(n)))
end
function rotr_ref(x, n)
  if (k(n) == 0) return x
  return bor(lshr_ref(x, k(n)), shl(x, 32 - k(n)))
end
bad, n = 0, 0
function check(name, got, want, a, b)
  n += 1
  if got != want then
    bad += 1
    printh(name.." "..tostr(a, true).." "..tostr(b, true).." "..tostr(got, true).." "..tostr(want, true))
  end
end
for a in all(vals) do
  check("~", ~a, bnot(a), a, 0)
  for b in all(vals) do
    check("\\", a \ b, flr(a / b), a, b)
    check("&", a & b, band(a, b), a, b)
    check("|", a | b, bor(a, b), a, b)
    check("^^", a ^^ b, bxor(a, b), a, b)
    check("<<", a << b, shl(a, b), a, b)
    check(">>", a >> b, shr(a, b), a, b)
    check(">>>", a >>> b, lshr_ref(a, b), a, b)
    check("<<>", a <<> b, rotl_ref(a, b), a, b)
    check(">><", a >>< b, rotr_ref(a, b), a, b)
    local c = a c \= b check("\\=", c, flr(a / b), a, b)
    c = a c &= b check("&=", c, band(a, b), a, b)
    c = a c |= b check("|=", c, bor(a, b), a, b)
    c = a c ^^= b check("^^=", c, bxor(a, b), a, b)
    c = a c <<= b check("<<=", c, shl(a, b), a, b)
    c = a c >>= b check(">>=", c, shr(a, b), a, b)
    c = a c >>>= b check(">>>=", c, lshr_ref(a, b), a, b)
    c = a c <<>= b check("<<>=", c, rotl_ref(a, b), a, b)
    c = a c >><= b check(">><=", c, rotr_ref(a, b), a, b)
  end
end
printh("checked "..n.." bad "..bad)
)";
    vexel_test::TestMachine tm;
    ASSERT_EQ(run_program(tm.m, program), 1) << tm.output;
    for (int f = 0; f < 300 && tm.m->running; ++f) {
        vexel_machine_frame(tm.m, vexel_frame_input{});
    }
    EXPECT_EQ(tm.output, "checked 8734 bad 0\n");
}
