// Runs arbitrary text as a program the way the program runner does: on the
// script machine's counting allocator, resumed on the main thread slice by
// slice, with a count hook that yields every few hundred instructions, a
// full collection between slices (finalizers then run on the suspended
// main thread) and the collector stopped while the program runs. A hook
// yield suspends every coroutine up to the main thread; code that cannot
// yield (a finalizer, a metamethod called from C, a coroutine resumed from
// one) is stopped with lua_vexel_stop after a fixed number of hooks.
// Whatever the program does (coroutines, finalizers calling C functions,
// weak tables, memory bombs, number functions called every way), the host
// must survive, every slice must end, and closing the state must give back
// every byte.
#include <cstdint>
#include <cstdlib>

#include "machine/lua_alloc.h"
#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_base.h"

namespace {

constexpr int kHookEvery = 257;
constexpr int kMaxSlices = 400;
// Hooks without a yield before code that cannot yield is stopped.
constexpr int kMaxStuckHooks = 2000;

int g_stuck = 0;

void slice_hook(lua_State* L, lua_Debug*) {
    if (lua_vexel_canyieldall(L)) {
        g_stuck = 0;
        lua_yield(L, 0);
        return;
    }
    if (++g_stuck > kMaxStuckHooks || lua_vexel_stopping(L)) {
        lua_pushliteral(L, "out of cpu");
        lua_vexel_stop(L);
    }
}

int flip(lua_State* L) { return lua_yield(L, 0); }

// A C function that returns normally: called from a finalizer on the
// suspended main thread, it must not be taken for a yield.
int note(lua_State* L) {
    lua_pushinteger(L, lua_gettop(L));
    return 1;
}

// A number function, which the instruction loop calls without a call
// frame: it charges the budget (moving the next hook yield) by what it
// was given.
lua_NumberResult num(lua_State* L, int given, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    if (given > 1) lua_spend_cpu(L, (b >> 16) & 1023);
    if (given == 0) return {0, 0};
    return {1, lua_Number(uint32_t(a) + uint32_t(given))};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vexel_heap heap;
    lua_State* L = lua_newstate(vexel_lua_alloc, &heap);
    if (L == nullptr) return 0;
    g_stuck = 0;
    heap.yield_state = L;
    luaB_open_cart_base(L);
    lua_register(L, "flip", flip);
    lua_register(L, "note", note);
    lua_pushnumberfunction(L, num);
    lua_setglobal(L, "num");
    heap.compiling = true;
    int status = luaL_loadbuffer(L, reinterpret_cast<const char*>(data), size, "=fuzz");
    heap.compiling = false;
    for (int slice = 0; status == LUA_OK || status == LUA_YIELD; slice++) {
        if (slice == kMaxSlices) break;
        g_stuck = 0;
        lua_gc(L, LUA_GCCOLLECT, 0);
        lua_gc(L, LUA_GCSTOP, 0);
        if (lua_vexel_stopping(L)) break;  // a finalizer was stopped
        lua_sethook(L, slice_hook, LUA_MASKCOUNT, kHookEvery);
        status = lua_resume(L, nullptr, 0);
        if (status == LUA_OK) break;
    }
    heap.yield_state = nullptr;
    g_stuck = 0;
    lua_close(L);
    if (heap.mem_used != 0 || heap.real_bytes != 0) std::abort();  // something was not freed
    return 0;
}
