#include "machine/api_button.h"

#include <cstdint>

#include "machine/button.h"
#include "lua/lua.h"
#include "runtime/run.h"

namespace {

constexpr int32_t button_query_cycles = 4;

inline int int_arg(lua_State* L, int i) { return int(lua_tonumberx(L, i, nullptr) >> 16); }

int query(lua_State* L, bool (*one)(int, int), int (*mask)()) {
    int n = lua_gettop(L);
    if (n == 0) {
        lua_pushnumber(L, lua_Number(uint32_t(mask()) << 16));
        return 1;
    }
    spend_cpu(button_query_cycles);
    lua_pushboolean(L, one(int_arg(L, 1), n >= 2 ? int_arg(L, 2) : 0) ? 1 : 0);
    return 1;
}

}  // namespace

int qz_btn(lua_State* L) { return query(L, vexel_btn, vexel_btn_mask); }
int qz_btnp(lua_State* L) { return query(L, vexel_btnp, vexel_btnp_mask); }
