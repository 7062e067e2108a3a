// Runs arbitrary text as a program the way the program runner does: on the
// script machine's counting allocator, resumed on the main thread slice by
// slice, with a count hook that yields every few hundred instructions, a
// full collection between slices and the collector stopped while the
// program runs. Whatever the program does (coroutines, finalizers, weak
// tables, memory bombs), the host must survive, every slice must end, and
// closing the state must give back every byte.
#include <cstdint>
#include <cstdlib>

#include "machine/lua_alloc.h"
#include "runtime/lua/lua.h"
#include "runtime/lua/lua_aux.h"
#include "runtime/lua/lua_base.h"

namespace {

constexpr int kHookEvery = 257;
constexpr int kMaxSlices = 400;
// Hooks in a row that could not end the slice (inside a coroutine, a
// finalizer, a metamethod called from C) before the program is stopped.
constexpr int kMaxStuckHooks = 2000;

int g_stuck = 0;

void slice_hook(lua_State* L, lua_Debug*) {
    bool main = lua_pushthread(L) == 1;
    lua_pop(L, 1);
    if (main && lua_isyieldable(L)) {
        g_stuck = 0;
        lua_yield(L, 0);
        return;
    }
    if (++g_stuck > kMaxStuckHooks) {
        g_stuck = 0;
        luaL_error(L, "out of cpu");
    }
}

int flip(lua_State* L) { return lua_yield(L, 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lua_State* L = lua_newstate(vexel_lua_alloc, nullptr);
    if (L == nullptr) return 0;
    g_stuck = 0;
    vexel_lua_alloc_state = L;
    luaB_open_cart_base(L);
    lua_register(L, "flip", flip);
    vexel_lua_compiling = true;
    int status = luaL_loadbuffer(L, reinterpret_cast<const char*>(data), size, "=fuzz");
    vexel_lua_compiling = false;
    for (int slice = 0; status == LUA_OK || status == LUA_YIELD; slice++) {
        if (slice == kMaxSlices) break;
        lua_gc(L, LUA_GCCOLLECT, 0);
        lua_gc(L, LUA_GCSTOP, 0);
        lua_sethook(L, slice_hook, LUA_MASKCOUNT, kHookEvery);
        status = lua_resume(L, nullptr, 0);
        if (status == LUA_OK) break;
    }
    vexel_lua_alloc_state = nullptr;
    lua_close(L);
    if (lua_mem_used != 0 || vexel_lua_real_bytes() != 0) std::abort();  // something was not freed
    vexel_lua_soft_limit_reached = false;
    vexel_lua_alloc_refused = false;
    return 0;
}
