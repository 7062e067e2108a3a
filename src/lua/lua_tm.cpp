// Metamethod names, type names and metamethod lookup.
#include "lua/lua_tm.h"

#include "lua/lua_state.h"
#include "lua/lua_string.h"
#include "lua/lua_table.h"

namespace {
const char udatatypename[] = "userdata";
}

const char* const luaT_typenames_[LUA_TOTALTAGS + 1] = {
    "no value", "nil",      "boolean", udatatypename, "number", "string", "table",
    "function", udatatypename, "thread", "proto",    "upval"};

void luaT_init(lua_State* L) {
    static const char* const luaT_eventname[] = {
        "__index", "__newindex", "__gc", "__mode", "__len", "__eq",  "__add", "__sub",    "__mul",
        "__div",   "__mod",      "__pow", "__unm", "__lt",  "__le", "__concat", "__call"};
    for (int i = 0; i < TM_N; i++) G(L)->tmname[i] = luaS_new(L, luaT_eventname[i]);
}

const TValue* luaT_gettm(Table* events, TMS event, TString* ename) {
    const TValue* tm = luaH_getstr(events, ename);
    if (ttisnil(tm)) {  // no tag method?
        events->flags |= lu_byte(1u << event);  // cache this fact
        return nullptr;
    }
    return tm;
}

const TValue* luaT_fasttm(lua_State* L, Table* et, TMS e) {
    if (et == nullptr) return nullptr;
    if (et->flags & (1u << e)) return nullptr;
    return luaT_gettm(et, e, G(L)->tmname[e]);
}

const TValue* luaT_gettmbyobj(lua_State* L, const TValue* o, TMS event) {
    Table* mt;
    switch (ttypenv(o)) {
    case LUA_TTABLE: mt = hvalue(o)->metatable; break;
    case LUA_TUSERDATA: mt = uvalue(o)->metatable; break;
    default: mt = G(L)->mt[ttypenv(o)];
    }
    return mt ? luaH_getstr(mt, G(L)->tmname[event]) : luaO_nilobject;
}

const char* luaT_objtypename(const TValue* o) { return ttypename(ttypenv(o)); }
