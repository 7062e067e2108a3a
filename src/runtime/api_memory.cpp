// Memory, cartridge ROM and save data: peek, poke (with their 16- and 32-bit
// forms), memcpy and memset over
// machine/mem; reload and cstore over machine/rom; cartdata, dget and dset
// over machine/cdata.
#include <algorithm>

#include "lua/lua.h"
#include "lua/lua_aux.h"
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

// peek(a [, n]): n bytes from a (one when n is missing; none when n < 1);
// a run longer than one byte is charged like a copy of it.
int qz_peek(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const int argc = lua_gettop(L);
    const int32_t addr = api_int_arg(L, 1);
    if (argc < 2 || lua_isnil(L, 2)) {
        if (argc == 1) vexel_cpu_give_back(m->cpu, vexel_peek_refund);
        return push(L, vexel_peek(m, m->cart, addr) << 16);
    }
    const int32_t n = std::min(api_int_arg(L, 2), vexel_peek_run_max);
    if (n < 1) return 0;
    if (n > 1) vexel_cpu_spend(m, vexel_memcpy_cycles(n));
    if (!lua_checkstack(L, n)) return luaL_error(L, "too many results to peek");
    for (int32_t i = 0; i < n; ++i) lua_pushnumber(L, vexel_peek(m, m->cart, addr + i) << 16);
    return n;
}

// poke(a, v1, v2, ...): consecutive bytes from a; more than one value is
// charged like a fill of that many bytes.
int qz_poke(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const int argc = lua_gettop(L);
    if (argc == 2) vexel_cpu_give_back(m->cpu, vexel_poke_refund);
    const int32_t addr = api_int_arg(L, 1);
    if (argc <= 2) {
        vexel_poke(m, m->cart, addr, api_int_arg(L, 2));
        return 0;
    }
    vexel_cpu_spend(m, vexel_memset_cycles(argc - 1));
    for (int i = 2; i <= argc; ++i) vexel_poke(m, m->cart, addr + (i - 2), api_int_arg(L, i));
    return 0;
}

// The 16-bit and 32-bit forms read and write little-endian byte by byte, so
// they see every register and view as single bytes would; they cost what
// peek and poke of one byte cost.
int qz_peek2(lua_State* L) {
    vexel_machine* m = api_machine(L);
    if (lua_gettop(L) == 1) vexel_cpu_give_back(m->cpu, vexel_peek_refund);
    return push(L, int32_t(vexel_peek16(m, m->cart, api_int_arg(L, 1))) << 16);
}

int qz_peek4(lua_State* L) {
    vexel_machine* m = api_machine(L);
    if (lua_gettop(L) == 1) vexel_cpu_give_back(m->cpu, vexel_peek_refund);
    return push(L, vexel_peek32(m, m->cart, api_int_arg(L, 1)));
}

int qz_poke2(lua_State* L) {
    vexel_machine* m = api_machine(L);
    if (lua_gettop(L) == 2) vexel_cpu_give_back(m->cpu, vexel_poke_refund);
    vexel_poke16(m, m->cart, api_int_arg(L, 1), api_int_arg(L, 2));
    return 0;
}

int qz_poke4(lua_State* L) {
    vexel_machine* m = api_machine(L);
    if (lua_gettop(L) == 2) vexel_cpu_give_back(m->cpu, vexel_poke_refund);
    vexel_poke32(m, m->cart, api_int_arg(L, 1), api_arg(L, 2));
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
    const int status = cdata_load(api_machine(L), id ? id : "");
    // A refused id records a runtime error, which the binding's caller
    // raises as an error of the calling line (as for dget and dset before
    // cartdata): a yield here failed inside a finalizer.
    lua_pushboolean(L, status == cdata_loaded);
    return 1;
}

// dget and dset before cartdata record a runtime error, which the binding's
// caller raises (api_register).
int qz_dget(lua_State* L) {
    lua_pushnumber(L, vexel_dget(api_machine(L), api_arg(L, 1), nullptr));
    return 1;
}

int qz_dset(lua_State* L) {
    vexel_dset(api_machine(L), api_arg(L, 1), api_arg(L, 2), nullptr);
    return 0;
}
