#include "machine/api_math.h"

#include "fixed/fixed.h"
#include "machine/math.h"
#include "machine/mem.h"
#include "machine/pstate.h"
#include "lua/lua.h"
#include "runtime/run.h"

namespace {

int32_t arg(lua_State* L, int i) { return lua_tonumberx(L, i, nullptr); }
int32_t int_arg(lua_State* L, int i) { return arg(L, i) >> 16; }

int push(lua_State* L, int32_t v) {
    lua_pushnumber(L, v);
    return 1;
}

// Bit operations cost less than the call that reaches them.
int binary_bits(lua_State* L, int32_t (*op)(int32_t, int32_t)) {
    if (lua_gettop(L) == 2) refund_cpu(-vexel_math_refund_binary);
    return push(L, op(arg(L, 1), arg(L, 2)));
}

}  // namespace

int qz_flr(lua_State* L) {
    if (lua_gettop(L) == 1) refund_cpu(-vexel_math_refund_unary);
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
int qz_sqrt(lua_State* L) { return push(L, vexel_math_sqrt(arg(L, 1))); }
int qz_rnd(lua_State* L) {
    return push(L, vexel_math_rnd(lua_gettop(L) >= 1 ? arg(L, 1) : vexel_math_rnd_default));
}
int qz_srand(lua_State* L) {
    vexel_math_srand(arg(L, 1));
    return 0;
}
int qz_band(lua_State* L) { return binary_bits(L, vexel_math_band); }
int qz_bor(lua_State* L) { return binary_bits(L, vexel_math_bor); }
int qz_bxor(lua_State* L) { return binary_bits(L, vexel_math_bxor); }
int qz_shl(lua_State* L) { return binary_bits(L, vexel_math_shl); }
int qz_shr(lua_State* L) { return binary_bits(L, vexel_math_shr); }
int qz_bnot(lua_State* L) {
    if (lua_gettop(L) == 1) refund_cpu(-vexel_math_refund_unary);
    return push(L, vexel_math_bnot(arg(L, 1)));
}

int qz_peek(lua_State* L) {
    if (lua_gettop(L) == 1) refund_cpu(-vexel_peek_refund);
    return push(L, vexel_peek(&pstate, pstate.cart, int_arg(L, 1)) << 16);
}

int qz_poke(lua_State* L) {
    if (lua_gettop(L) == 2) refund_cpu(-vexel_poke_refund);
    vexel_poke(&pstate, pstate.cart, int_arg(L, 1), int_arg(L, 2));
    return 0;
}

int qz_memcpy(lua_State* L) {
    int32_t len = int_arg(L, 3);
    spend_cpu(vexel_memcpy_cycles(len));
    vexel_memcpy(&pstate, pstate.cart, int_arg(L, 1), int_arg(L, 2), len);
    return 0;
}

int qz_memset(lua_State* L) {
    int32_t len = int_arg(L, 3);
    spend_cpu(vexel_memset_cycles(len));
    vexel_memset(&pstate, pstate.cart, int_arg(L, 1), int_arg(L, 2), len);
    return 0;
}
