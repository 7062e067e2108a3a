// Compiles arbitrary bytes as a Lua chunk: whatever the input, the compiler
// must return a status (never crash, hang or leak), within a memory limit.
// Chunks that compile are listed too, which walks every generated
// instruction and constant.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_dump.h"

namespace {

struct Limited {
    long long live = 0;
};

void* limited_alloc(void* ud, void* p, size_t osize, size_t nsize) {
    auto* a = static_cast<Limited*>(ud);
    long long old = p ? static_cast<long long>(osize) : 0;
    if (nsize == 0) {
        a->live -= old;
        std::free(p);
        return nullptr;
    }
    if (a->live - old + static_cast<long long>(nsize) > (64ll << 20)) return nullptr;
    void* q = std::realloc(p, nsize);
    if (q) a->live += static_cast<long long>(nsize) - old;
    return q;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Limited a;
    lua_State* L = lua_newstate(limited_alloc, &a);
    if (!L) return 0;
    if (luaL_loadbufferx(L, reinterpret_cast<const char*>(data), size, "=fuzz", "t") == LUA_OK) {
        std::string out;
        luaU_list_at(L, -1, true, out);
    }
    lua_close(L);
    if (a.live != 0) std::abort();  // every byte must come back
    return 0;
}
