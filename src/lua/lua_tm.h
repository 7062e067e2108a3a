// Tag methods (metamethods): their names, fast absence cache and lookup.
//
// Invariant: the order of TMS is that of Lua 5.2 (the first TM_EQ+1 entries
// are the "fast" ones cached as absent in Table::flags), and the names are
// interned at state creation in global_State::tmname.
#pragma once

#include "lua/lua_object.h"

enum TMS {
    TM_INDEX,
    TM_NEWINDEX,
    TM_GC,
    TM_MODE,
    TM_LEN,
    TM_EQ,  // last tag method with the fast absence cache
    TM_ADD,
    TM_SUB,
    TM_MUL,
    TM_DIV,
    TM_MOD,
    TM_POW,
    TM_UNM,
    TM_LT,
    TM_LE,
    TM_CONCAT,
    TM_CALL,
    TM_N  // number of elements in the enum
};

struct global_State;

const TValue* luaT_gettm(Table* events, TMS event, TString* ename);
const TValue* luaT_gettmbyobj(lua_State* L, const TValue* o, TMS event);
void luaT_init(lua_State* L);

// Metamethod `e` of metatable `et`, or null; caches absence in et->flags.
const TValue* luaT_fasttm(lua_State* L, Table* et, TMS e);

extern const char* const luaT_typenames_[LUA_TOTALTAGS + 1];  // index tag + 1
inline const char* ttypename(int x) { return luaT_typenames_[x + 1]; }
const char* luaT_objtypename(const TValue* o);
