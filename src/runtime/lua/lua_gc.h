// Object creation and (later) garbage collection.
//
// luaC_newobj allocates an object of tag tt (passed to the allocator as
// osize), sets its header and links it at the head of `list` (g->allgc when
// list is null). Until the incremental collector exists, objects live until
// lua_close, which frees them all through luaC_freeallobjects. The barrier
// functions are the hook points the collector will need; today they do
// nothing.
#pragma once

#include "runtime/lua/lua_object.h"

GCObject* luaC_newobj(lua_State* L, int tt, size_t sz, GCObject** list, int offset);
void luaC_freeallobjects(lua_State* L);
void luaC_freeobj(lua_State* L, GCObject* o);
void luaC_checkGC(lua_State* L);
void luaC_step(lua_State* L);
void luaC_fullgc(lua_State* L, int isemergency);
void luaC_checkfinalizer(lua_State* L, GCObject* o, Table* mt);

inline void luaC_barrier(lua_State*, GCObject*, const TValue*) {}
inline void luaC_barrierback(lua_State*, GCObject*, const TValue*) {}
inline void luaC_objbarrier(lua_State*, GCObject*, GCObject*) {}
inline void luaC_objbarrierback(lua_State*, GCObject*, GCObject*) {}
