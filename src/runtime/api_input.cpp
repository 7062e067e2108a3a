// Buttons: btn and btnp. Arguments are cut to their integer part (missing
// ones read as 0); the answer is a boolean (with arguments) or the two
// players' button mask (without). A call with arguments charges 4 cycles.
#include <cstdint>

#include "lua/lua.h"
#include "machine/button.h"
#include "machine/cpu.h"
#include "runtime/api_impl.h"

namespace {

constexpr int32_t button_query_cycles = 4;

int query(lua_State* L, bool (*one)(vexel_machine*, int, int), int (*mask)(vexel_machine*)) {
    vexel_machine* m = api_machine(L);
    int n = lua_gettop(L);
    if (n == 0) {
        lua_pushnumber(L, lua_Number(uint32_t(mask(m)) << 16));
        return 1;
    }
    vexel_cpu_spend(m, button_query_cycles);
    lua_pushboolean(L, one(m, api_int_arg(L, 1), n >= 2 ? api_int_arg(L, 2) : 0) ? 1 : 0);
    return 1;
}

}  // namespace

int qz_btn(lua_State* L) { return query(L, vexel_btn, vexel_btn_mask); }
int qz_btnp(lua_State* L) { return query(L, vexel_btnp, vexel_btnp_mask); }
