// Compiles and runs arbitrary text as a script under a CPU budget (the count
// hook raises an error after a fixed number of instructions) and a memory
// ceiling, as a hostile cartridge would be run, once with the collector's
// usual pacing and once with a collection cycle always under way in small
// steps (every write barrier matters then). Whatever happens, the host must
// survive and closing the state must give back every byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_base.h"

namespace {

constexpr long long kMemoryLimit = 4 << 20;
constexpr int kBudget = 200000;  // instructions before the hook stops the script

struct Heap {
    long long bytes = 0;
};

void* alloc(void* ud, void* ptr, size_t osize, size_t nsize) {
    auto* h = static_cast<Heap*>(ud);
    size_t old = ptr ? osize : 0;
    if (nsize == 0) {
        h->bytes -= static_cast<long long>(old);
        std::free(ptr);
        return nullptr;
    }
    if (h->bytes - static_cast<long long>(old) + static_cast<long long>(nsize) > kMemoryLimit) return nullptr;
    void* p = std::realloc(ptr, nsize);
    if (p) h->bytes += static_cast<long long>(nsize) - static_cast<long long>(old);
    return p;
}

void budget_hook(lua_State* L, lua_Debug*) { luaL_error(L, "out of cpu"); }

}  // namespace

namespace {

void run_once(const uint8_t* data, size_t size, bool eager_collector) {
    Heap heap;
    lua_State* L = lua_newstate(alloc, &heap);
    if (L == nullptr) return;
    luaB_open_cart_base(L);
    if (eager_collector) {
        lua_gc(L, LUA_GCSETPAUSE, 0);
        lua_gc(L, LUA_GCSETSTEPMUL, 40);
    }
    lua_sethook(L, budget_hook, LUA_MASKCOUNT, kBudget);
    if (luaL_loadbuffer(L, reinterpret_cast<const char*>(data), size, "=fuzz") == LUA_OK) {
        lua_pcall(L, 0, 0, 0);
    }
    lua_close(L);
    if (heap.bytes != 0) std::abort();  // something was not freed
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    run_once(data, size, false);
    run_once(data, size, true);
    return 0;
}
