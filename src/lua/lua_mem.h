// Memory through the state's allocator.
//
// Every byte the interpreter holds comes from luaM_realloc_, which calls the
// lua_Alloc of the state, keeps g->GCdebt up to date and raises "not enough
// memory" (LUA_ERRMEM) when the allocator returns null for a growth.
// New collectable objects pass their type tag as osize, as the console's
// allocator charges by object kind.
#pragma once

#include "lua/lua_limits.h"

struct lua_State;

void* luaM_realloc_(lua_State* L, void* block, size_t oldsize, size_t size);
// luaM_realloc_(L, block, oldsize, 0), in fewer instructions.
void luaM_free_(lua_State* L, void* block, size_t oldsize);
// The rest of luaM_realloc_ after the allocator refused a block whose
// debt was counted: takes the debt back, collects, tries once more or
// raises LUA_ERRMEM. For callers that call the allocator themselves.
[[gnu::noinline, gnu::cold]] void* luaM_refused(lua_State* L, void* block, size_t oldsize, size_t size);
[[noreturn]] void luaM_toobig(lua_State* L);
// Grows a vector to at least one more than *size elements (doubling), up to
// limit; raises "too many %s (limit is %d)" past it.
void* luaM_growaux_(lua_State* L, void* block, int* size, size_t size_elem, int limit, const char* what);

template <typename T>
T* luaM_newvector(lua_State* L, size_t n) {
    if (n + 1 > MAX_SIZET / sizeof(T)) luaM_toobig(L);
    return static_cast<T*>(luaM_realloc_(L, nullptr, 0, n * sizeof(T)));
}
template <typename T>
void luaM_freearray(lua_State* L, T* b, size_t n) {
    luaM_free_(L, b, n * sizeof(T));
}
template <typename T>
void luaM_reallocvector(lua_State* L, T*& v, size_t oldn, size_t n) {
    if (n + 1 > MAX_SIZET / sizeof(T)) luaM_toobig(L);
    v = static_cast<T*>(luaM_realloc_(L, v, oldn * sizeof(T), n * sizeof(T)));
}
// Ensures v has room for index nelems (grows *size as needed).
template <typename T>
void luaM_growvector(lua_State* L, T*& v, int nelems, int& size, int limit, const char* what) {
    if (nelems + 1 > size) v = static_cast<T*>(luaM_growaux_(L, v, &size, sizeof(T), limit, what));
}
inline void luaM_freemem(lua_State* L, void* b, size_t s) { luaM_free_(L, b, s); }
