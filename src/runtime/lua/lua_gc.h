// Object creation and the garbage collector.
//
// luaC_newobj allocates an object of tag tt (passed to the allocator as
// osize), sets its header and links it at the head of `list` (g->allgc when
// list is null). The collector (lua_gc.cpp) is mark and sweep, paced as Lua
// 5.2.3's incremental one (pause 200%): luaC_checkGC runs a whole cycle
// once the debt is positive. Since a cycle never pauses half-way, the write
// barriers have nothing to do. Weak tables (__mode "k", "v", "kv") and
// __gc finalizers on tables and userdata behave as in Lua 5.2.3; lua_close
// calls every pending finalizer, newest first, before freeing everything.
//
// Invariants outside a cycle: every object is white in g->currentwhite;
// objects whose metatable has __gc are on g->finobj (marked SEPARATED);
// unreached ones wait on g->tobefnz for their finalizer; a collection only
// happens where L->top covers every live stack slot (checkGC points) or in
// an emergency (a failed allocation, which skips finalizers and leaves the
// string table's size alone). The collector is stopped while a text chunk
// is compiled.
#pragma once

#include "runtime/lua/lua_object.h"

GCObject* luaC_newobj(lua_State* L, int tt, size_t sz, GCObject** list, int offset);
void luaC_freeallobjects(lua_State* L);
void luaC_freeobj(lua_State* L, GCObject* o);
void luaC_checkGC(lua_State* L);
void luaC_step(lua_State* L);
void luaC_fullgc(lua_State* L, int isemergency);
// Moves o to the objects with finalizers when mt has __gc.
void luaC_checkfinalizer(lua_State* L, GCObject* o, Table* mt);

inline void luaC_barrier(lua_State*, GCObject*, const TValue*) {}
inline void luaC_barrierback(lua_State*, GCObject*, const TValue*) {}
inline void luaC_objbarrier(lua_State*, GCObject*, GCObject*) {}
inline void luaC_objbarrierback(lua_State*, GCObject*, GCObject*) {}
