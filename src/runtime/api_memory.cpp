// Memory, cartridge ROM and save data: peek, poke, memcpy and memset over
// machine/mem; reload and cstore over machine/rom; cartdata, dget and dset
// over machine/cdata.
#include "lua/lua.h"
#include "machine/cdata.h"
#include "machine/cpu.h"
#include "machine/machine.h"
#include "machine/mem.h"
#include "machine/rom.h"
#include "runtime/api_impl.h"

namespace {

int push(lua_State* L, int32_t v) {
    lua_pushnumber(L, v);
    return 1;
}

}  // namespace

int qz_peek(lua_State* L) {
    vexel_machine* m = api_machine(L);
    if (lua_gettop(L) == 1) vexel_cpu_refund(m, -vexel_peek_refund);
    return push(L, vexel_peek(m, m->cart, api_int_arg(L, 1)) << 16);
}

int qz_poke(lua_State* L) {
    vexel_machine* m = api_machine(L);
    if (lua_gettop(L) == 2) vexel_cpu_refund(m, -vexel_poke_refund);
    vexel_poke(m, m->cart, api_int_arg(L, 1), api_int_arg(L, 2));
    return 0;
}

int qz_memcpy(lua_State* L) {
    vexel_machine* m = api_machine(L);
    int32_t len = api_int_arg(L, 3);
    vexel_cpu_spend(m, vexel_memcpy_cycles(len));
    vexel_memcpy(m, m->cart, api_int_arg(L, 1), api_int_arg(L, 2), len);
    return 0;
}

int qz_memset(lua_State* L) {
    vexel_machine* m = api_machine(L);
    int32_t len = api_int_arg(L, 3);
    vexel_cpu_spend(m, vexel_memset_cycles(len));
    vexel_memset(m, m->cart, api_int_arg(L, 1), api_int_arg(L, 2), len);
    return 0;
}

int qz_reload(lua_State* L) {
    const int argc = lua_gettop(L);
    lua_pushnumber(L, vexel_reload_call(api_machine(L), argc, api_arg(L, 1), api_arg(L, 2), api_arg(L, 3),
                                        api_string_arg(L, 4)) << 16);
    return 1;
}

int qz_cstore(lua_State* L) {
    const int argc = lua_gettop(L);
    lua_pushnumber(L, vexel_cstore_call(api_machine(L), argc, api_arg(L, 1), api_arg(L, 2), api_arg(L, 3),
                                        api_string_arg(L, 4)) << 16);
    return 1;
}

int qz_cartdata(lua_State* L) {
    const char* id = api_string_arg(L, 1);
    lua_pushboolean(L, vexel_cartdata(api_machine(L), id ? id : ""));
    return 1;
}

// dget and dset before cartdata raise a runtime error; the program is then
// suspended at once.
int qz_dget(lua_State* L) {
    bool needs_yield = false;
    lua_pushnumber(L, vexel_dget(api_machine(L), api_arg(L, 1), &needs_yield));
    if (needs_yield) return lua_yield(L, 1);
    return 1;
}

int qz_dset(lua_State* L) {
    bool needs_yield = false;
    vexel_dset(api_machine(L), api_arg(L, 1), api_arg(L, 2), &needs_yield);
    if (needs_yield) return lua_yield(L, 0);
    return 0;
}
