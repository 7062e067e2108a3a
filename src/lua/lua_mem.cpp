// Allocation through the state's allocator, with the debt bookkeeping a
// collector needs and the out-of-memory error.
#include "lua/lua_mem.h"

#include "lua/lua_debug.h"
#include "lua/lua_do.h"
#include "lua/lua_gc.h"
#include "lua/lua_state.h"

namespace {
constexpr int MINSIZEARRAY = 4;
}

void* luaM_growaux_(lua_State* L, void* block, int* size, size_t size_elems, int limit, const char* what) {
    int newsize;
    if (*size >= limit / 2) {
        if (*size >= limit)
            luaG_runerror(L, "too many %s (limit is %d)", what, int(uint32_t(limit) << 16));
        newsize = limit;
    } else {
        newsize = (*size) * 2;
        if (newsize < MINSIZEARRAY) newsize = MINSIZEARRAY;
    }
    if (size_t(newsize) + 1 > MAX_SIZET / size_elems) luaM_toobig(L);
    void* newblock = luaM_realloc_(L, block, size_t(*size) * size_elems, size_t(newsize) * size_elems);
    *size = newsize;
    return newblock;
}

void luaM_toobig(lua_State* L) { luaG_runerror(L, "memory allocation error: block too big"); }

void* luaM_realloc_(lua_State* L, void* block, size_t osize, size_t nsize) {
    global_State* g = G(L);
    size_t realosize = block ? osize : 0;
    void* newblock = g->frealloc(g->ud, block, osize, nsize);
    if (newblock == nullptr && nsize > 0) {
        if (g->gcrunning) {  // collect what can be collected and try once more
            luaC_fullgc(L, 1);
            newblock = g->frealloc(g->ud, block, osize, nsize);
        }
        if (newblock == nullptr) luaD_throw(L, LUA_ERRMEM);
    }
    g->GCdebt += l_mem(nsize) - l_mem(realosize);
    return newblock;
}
