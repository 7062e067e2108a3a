// Numbers and bits: thin adapters over machine/math. Arguments are raw
// 16.16 values (missing ones read as 0), results are pushed raw, and the
// refunds that depend on how many arguments were given are applied here.
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
    if (lua_gettop(L) == 2) vexel_cpu_refund(api_machine(L), -vexel_math_refund_binary);
    return push(L, op(arg(L, 1), arg(L, 2)));
}

}  // namespace

int qz_flr(lua_State* L) {
    if (lua_gettop(L) == 1) vexel_cpu_refund(api_machine(L), -vexel_math_refund_unary);
    return push(L, vexel_math_flr(arg(L, 1)));
}
int qz_abs(lua_State* L) { return push(L, vexel_math_abs(arg(L, 1))); }
int qz_sgn(lua_State* L) { return push(L, vexel_math_sgn(arg(L, 1))); }
int qz_min(lua_State* L) { return push(L, vexel_math_min(arg(L, 1), arg(L, 2))); }
int qz_max(lua_State* L) { return push(L, vexel_math_max(arg(L, 1), arg(L, 2))); }
int qz_mid(lua_State* L) { return push(L, vexel_math_mid(arg(L, 1), arg(L, 2), arg(L, 3))); }
int qz_sin(lua_State* L) { return push(L, vexel_math_sin(arg(L, 1))); }
int qz_cos(lua_State* L) { return push(L, vexel_math_cos(arg(L, 1))); }
int qz_atan2(lua_State* L) { return push(L, vexel_math_atan2(arg(L, 1), arg(L, 2))); }
int qz_sqrt(lua_State* L) { return push(L, vexel_math_sqrt(api_machine(L), arg(L, 1))); }
int qz_rnd(lua_State* L) {
    return push(L, vexel_math_rnd(api_machine(L), lua_gettop(L) >= 1 ? arg(L, 1) : vexel_math_rnd_default));
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
int qz_bnot(lua_State* L) {
    if (lua_gettop(L) == 1) vexel_cpu_refund(api_machine(L), -vexel_math_refund_unary);
    return push(L, vexel_math_bnot(arg(L, 1)));
}
