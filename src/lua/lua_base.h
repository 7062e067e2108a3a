// Library functions a cartridge sees from the interpreter itself: the stock
// Lua 5.2.3 functions bound under short names (sub, pairs, type, assert,
// setmetatable, getmetatable, trace, select, ipairs, next, unpack, pack and
// the raw accessors), the dialect's own tostr and tonum, and the byte and
// field helpers chr, ord and split (lua_cartlib.cpp).
//
// Each is an ordinary lua_CFunction; the API binding decides the global
// names. luaB_open_cart_base registers them under their usual names (the
// interpreter's own runner and tests use it).
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
// tostr(value [, flags]): one string. flags true or bit 0: a number in hex
// ("0x0001.0000"); bit 1: the raw 32-bit value as a whole number ("65536",
// with bit 0 "0x00010000").
int qz_tostr(lua_State* L);
// tonum(value [, flags]): the number, or no value at all when it is not
// one. Bit 0: hex digits without "0x"; bit 1: a whole number read as the raw
// 32-bit value; bit 2: 0 instead of nothing.
int qz_tonum(lua_State* L);

// Lua 5.2.3's select, ipairs and its iterator inext, table.unpack,
// table.pack, rawequal, rawlen, rawget and rawset.
int luaB_select(lua_State* L);
int luaB_ipairs(lua_State* L);
int luaB_inext(lua_State* L);
int luaB_unpack(lua_State* L);
int luaB_pack(lua_State* L);
int luaB_rawequal(lua_State* L);
int luaB_rawlen(lua_State* L);
int luaB_rawget(lua_State* L);
int luaB_rawset(lua_State* L);
// chr(...): the string of the byte values flr(v) & 255.
int luaB_chr(lua_State* L);
// ord(s [, i [, n]]): the byte values of n characters from i (1 and 1),
// fewer where the string ends, none when i lies outside it.
int luaB_ord(lua_State* L);
// split(s [, sep [, convert]]): the fields of s between separators (a
// string, "," by default; "" splits into characters) or in groups of n
// characters when sep is a number n; fields that read as numbers become
// numbers unless convert is false.
int luaB_split(lua_State* L);

void luaB_open_cart_base(lua_State* L);
// Gives strings their shared metatable, whose __index makes s[i] the i-th
// character (nil outside the string and for other keys). Part of
// luaB_open_cart_base.
void luaB_open_string_index(lua_State* L);

// Pushes the text tostr gives for the value at idx (hex: tostr's second
// argument) and returns it.
const char* luaB_pushtostr(lua_State* L, int idx, bool hex);
