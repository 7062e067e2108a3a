// Prototypes, closures and upvalues.
//
// Invariants: a thread's open upvalues are on L->openupval sorted by stack
// level, highest first, at most one per stack slot; each is also on the
// global doubly linked list g->uvhead. luaF_close closes every open upvalue
// at or above a level (copying the value into the upvalue). Closed
// upvalues and closures are ordinary objects on g->allgc.
#pragma once

#include "lua/lua_object.h"

Proto* luaF_newproto(lua_State* L);
Closure* luaF_newCclosure(lua_State* L, int nelems);
Closure* luaF_newLclosure(lua_State* L, int nelems);
UpVal* luaF_newupval(lua_State* L);
UpVal* luaF_findupval(lua_State* L, StkId level);
void luaF_close(lua_State* L, StkId level);
void luaF_freeproto(lua_State* L, Proto* f);
void luaF_freeupval(lua_State* L, UpVal* uv);
// Name of local variable local_number (1-based) active at pc, or null.
const char* luaF_getlocalname(const Proto* func, int local_number, int pc);
