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

// What luaM_realloc_ does when the allocator refuses a block: the debt it
// counted for the block is taken back, the collector frees what it can (if
// it may run) and the allocator is asked once more; a second refusal
// raises a memory error.
void* luaM_refused(lua_State* L, void* block, size_t osize, size_t nsize) {
    global_State* g = G(L);
    const l_mem change = l_mem(nsize) - l_mem(block ? osize : 0);
    g->GCdebt -= change;
    void* newblock = nullptr;
    if (g->gcrunning) {  // collect what can be collected and try once more
        luaC_fullgc(L, 1);
        newblock = g->frealloc(g->ud, block, osize, nsize);
    }
    if (newblock == nullptr) luaD_throw(L, LUA_ERRMEM);
    g->GCdebt += change;
    return newblock;
}

// The debt is counted before the allocator is called (luaM_refused takes it
// back), so that nothing but the new block is needed after the call; a
// free (luaM_free_) is a tail call that saves no registers. On
// bench/lua/garbage, which allocates and frees 20 million blocks, 4% fewer
// host instructions. The allocator must not read the debt (a lua_Alloc
// does not call into the interpreter).
void* luaM_realloc_(lua_State* L, void* block, size_t osize, size_t nsize) {
    if (nsize == 0) return luaM_free_(L, block, osize), nullptr;
    global_State* g = G(L);
    g->GCdebt += l_mem(nsize) - l_mem(block ? osize : 0);
    void* newblock = g->frealloc(g->ud, block, osize, nsize);
    if (newblock == nullptr) [[unlikely]] return luaM_refused(L, block, osize, nsize);
    return newblock;
}

void luaM_free_(lua_State* L, void* block, size_t osize) {
    global_State* g = G(L);
    g->GCdebt -= block ? l_mem(osize) : 0;
    g->frealloc(g->ud, block, osize, 0);
}
