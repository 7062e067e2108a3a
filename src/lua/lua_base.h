// Library functions a cartridge sees from the interpreter itself: the stock
// Lua 5.2.3 functions bound under short names (sub, pairs, type, assert,
// setmetatable, getmetatable, trace) and the dialect's own tostr and tonum.
//
// Each is an ordinary lua_CFunction; the API binding decides the global
// names. luaB_open_cart_base registers all eight under their usual names.
#pragma once

#include "lua/lua.h"

int luaB_sub(lua_State* L);
int luaB_pairs(lua_State* L);
int luaB_next(lua_State* L);
int luaB_type(lua_State* L);
int luaB_assert(lua_State* L);
int luaB_setmetatable(lua_State* L);
int luaB_getmetatable(lua_State* L);
// trace([thread,] [message [, level]]): debug.traceback.
int luaB_trace(lua_State* L);
// tostr(value [, hex]): one string; see qz_tostr in lua_base.cpp.
int qz_tostr(lua_State* L);
// tonum(value): the number, or no value at all when it is not one.
int qz_tonum(lua_State* L);

void luaB_open_cart_base(lua_State* L);

// Pushes the text tostr gives for the value at idx (hex: tostr's second
// argument) and returns it.
const char* luaB_pushtostr(lua_State* L, int idx, bool hex);
