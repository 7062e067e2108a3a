// Numbers and bits: thin adapters over machine/math. Arguments are raw
// 16.16 values (missing ones read as 0), results are pushed raw, and the
// refunds that depend on how many arguments were given are applied here.
#include <algorithm>
#include <climits>

#include "fixed/fixed.h"
#include "lua/lua.h"
#include "machine/cpu.h"
#include "machine/machine.h"
#include "machine/math.h"
#include "runtime/api_impl.h"

namespace {

int32_t arg(lua_State* L, int i) { return api_arg(L, i); }

int push(lua_State* L, int32_t v) {
    lua_pushnumber(L, v);
    return 1;
}

// Bit operations cost less than the call that reaches them.
int binary_bits(lua_State* L, int32_t (*op)(int32_t, int32_t)) {
    const api_numbers<2> a(L);
    if (a.count == 2) vexel_cpu_refund(api_machine(L), -vexel_math_refund_binary);
    return push(L, op(a[0], a[1]));
}

}  // namespace

int qz_flr(lua_State* L) {
    const api_numbers<1> a(L);
    if (a.count == 1) vexel_cpu_refund(api_machine(L), -vexel_math_refund_unary);
    return push(L, vexel_math_flr(a[0]));
}
// ceil(x) = -flr(-x), exact on 16.16 (the one value with no negation,
// -32768, is its own ceiling).
int qz_ceil(lua_State* L) {
    const api_numbers<1> a(L);
    if (a.count == 1) vexel_cpu_refund(api_machine(L), -vexel_math_refund_unary);
    const int32_t x = a[0];
    if (x == INT32_MIN) return push(L, x);
    return push(L, int32_t(0u - uint32_t(vexel_math_flr(-x))));
}
int qz_abs(lua_State* L) { return push(L, vexel_math_abs(arg(L, 1))); }
int qz_sgn(lua_State* L) { return push(L, vexel_math_sgn(arg(L, 1))); }
int qz_min(lua_State* L) {
    const api_numbers<2> a(L);
    return push(L, vexel_math_min(a[0], a[1]));
}
int qz_max(lua_State* L) {
    const api_numbers<2> a(L);
    return push(L, vexel_math_max(a[0], a[1]));
}
int qz_mid(lua_State* L) {
    const api_numbers<3> a(L);
    return push(L, vexel_math_mid(a[0], a[1], a[2]));
}
int qz_sin(lua_State* L) { return push(L, vexel_math_sin(arg(L, 1))); }
int qz_cos(lua_State* L) { return push(L, vexel_math_cos(arg(L, 1))); }
int qz_atan2(lua_State* L) {
    const api_numbers<2> a(L);
    return push(L, vexel_math_atan2(a[0], a[1]));
}
int qz_sqrt(lua_State* L) { return push(L, vexel_math_sqrt(api_machine(L), arg(L, 1))); }
// rnd(t) picks t[1 + flr(rnd(#t))] (nil from an empty table) with the same
// generator and charge as a number would.
int qz_rnd(lua_State* L) {
    vexel_machine* m = api_machine(L);
    if (lua_type(L, 1) == LUA_TTABLE) {
        const int32_t n = int32_t(std::min<size_t>(lua_rawlen(L, 1), size_t(INT16_MAX)));
        const int32_t pick = vexel_math_rnd(m, n << 16) >> 16;
        if (n == 0) lua_pushnil(L);
        else lua_rawgeti(L, 1, 1 + pick);
        return 1;
    }
    return push(L, vexel_math_rnd(m, lua_gettop(L) >= 1 ? arg(L, 1) : vexel_math_rnd_default));
}
int qz_srand(lua_State* L) {
    vexel_math_srand(api_machine(L), arg(L, 1));
    return 0;
}
int qz_band(lua_State* L) { return binary_bits(L, vexel_math_band); }
int qz_bor(lua_State* L) { return binary_bits(L, vexel_math_bor); }
int qz_bxor(lua_State* L) { return binary_bits(L, vexel_math_bxor); }
int qz_shl(lua_State* L) { return binary_bits(L, vexel_math_shl); }
int qz_shr(lua_State* L) { return binary_bits(L, vexel_math_shr); }
int qz_lshr(lua_State* L) { return binary_bits(L, fixed_lshr); }
int qz_rotl(lua_State* L) { return binary_bits(L, fixed_rotl); }
int qz_rotr(lua_State* L) { return binary_bits(L, fixed_rotr); }
int qz_bnot(lua_State* L) {
    const api_numbers<1> a(L);
    if (a.count == 1) vexel_cpu_refund(api_machine(L), -vexel_math_refund_unary);
    return push(L, vexel_math_bnot(a[0]));
}
