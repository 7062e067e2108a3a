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
lua_NumberResult binary_bits(lua_State* L, int count, int32_t x, int32_t y, int32_t (*op)(int32_t, int32_t)) {
    if (count == 2) vexel_cpu_give_back(api_machine(L)->cpu, vexel_math_refund_binary);
    return api_result(op(x, y));
}

}  // namespace

// Each of these is a number function (lua.h); the arguments they do not
// read go unnamed.
lua_NumberResult qz_flr(lua_State* L, int count, lua_Number a, lua_Number, lua_Number, lua_Number) {
    if (count == 1) vexel_cpu_give_back(api_machine(L)->cpu, vexel_math_refund_unary);
    return api_result(vexel_math_flr(a));
}
// ceil(x) = -flr(-x), exact on 16.16 (the one value with no negation,
// -32768, is its own ceiling).
lua_NumberResult qz_ceil(lua_State* L, int count, lua_Number a, lua_Number, lua_Number, lua_Number) {
    if (count == 1) vexel_cpu_give_back(api_machine(L)->cpu, vexel_math_refund_unary);
    if (a == INT32_MIN) return api_result(a);
    return api_result(int32_t(0u - uint32_t(vexel_math_flr(-a))));
}
lua_NumberResult qz_abs(lua_State*, int, lua_Number a, lua_Number, lua_Number, lua_Number) {
    return api_result(vexel_math_abs(a));
}
lua_NumberResult qz_sgn(lua_State*, int, lua_Number a, lua_Number, lua_Number, lua_Number) {
    return api_result(vexel_math_sgn(a));
}
lua_NumberResult qz_min(lua_State*, int, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return api_result(vexel_math_min(a, b));
}
lua_NumberResult qz_max(lua_State*, int, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return api_result(vexel_math_max(a, b));
}
lua_NumberResult qz_mid(lua_State*, int, lua_Number a, lua_Number b, lua_Number c, lua_Number) {
    return api_result(vexel_math_mid(a, b, c));
}
lua_NumberResult qz_sin(lua_State*, int, lua_Number a, lua_Number, lua_Number, lua_Number) {
    return api_result(vexel_math_sin(a));
}
lua_NumberResult qz_cos(lua_State*, int, lua_Number a, lua_Number, lua_Number, lua_Number) {
    return api_result(vexel_math_cos(a));
}
lua_NumberResult qz_atan2(lua_State*, int, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return api_result(vexel_math_atan2(a, b));
}
lua_NumberResult qz_sqrt(lua_State* L, int, lua_Number a, lua_Number, lua_Number, lua_Number) {
    return api_result(vexel_math_sqrt(api_machine(L), a));
}
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
lua_NumberResult qz_band(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return binary_bits(L, count, a, b, vexel_math_band);
}
lua_NumberResult qz_bor(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return binary_bits(L, count, a, b, vexel_math_bor);
}
lua_NumberResult qz_bxor(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return binary_bits(L, count, a, b, vexel_math_bxor);
}
lua_NumberResult qz_shl(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return binary_bits(L, count, a, b, vexel_math_shl);
}
lua_NumberResult qz_shr(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return binary_bits(L, count, a, b, vexel_math_shr);
}
lua_NumberResult qz_lshr(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return binary_bits(L, count, a, b, fixed_lshr);
}
lua_NumberResult qz_rotl(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return binary_bits(L, count, a, b, fixed_rotl);
}
lua_NumberResult qz_rotr(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return binary_bits(L, count, a, b, fixed_rotr);
}
lua_NumberResult qz_bnot(lua_State* L, int count, lua_Number a, lua_Number, lua_Number, lua_Number) {
    if (count == 1) vexel_cpu_give_back(api_machine(L)->cpu, vexel_math_refund_unary);
    return api_result(vexel_math_bnot(a));
}
