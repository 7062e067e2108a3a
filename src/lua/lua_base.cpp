// The stock library functions a cartridge sees, and tostr / tonum.
//
// They behave as Lua 5.2.3's string.sub, pairs, type, assert,
// setmetatable, getmetatable and debug.traceback, with positions and levels
// read as integer parts of 16.16 numbers.
#include "lua/lua_base.h"

#include <cstdio>
#include <cstring>

#include "lua/lua_aux.h"
#include "lua/lua_co.h"
#include "lua/lua_object.h"
#include "lua/lua_vm.h"

namespace {

// A string position: negative counts from the end; 0 and too far back
// become 0.
size_t posrelat(int pos, size_t len) {
    if (pos >= 0) return size_t(pos);
    if (size_t(-static_cast<long>(pos)) > len) return 0;
    return len - size_t(-static_cast<long>(pos)) + 1;
}

}  // namespace

int luaB_sub(lua_State* L) {
    size_t l;
    const char* s = luaL_checklstring(L, 1, &l);
    size_t start = posrelat(luaL_checkinteger(L, 2), l);
    size_t end = posrelat(luaL_optinteger(L, 3, -1), l);
    if (start < 1) start = 1;
    if (end > l) end = l;
    if (start <= end)
        lua_pushlstring(L, s + start - 1, end - start + 1);
    else
        lua_pushliteral(L, "");
    return 1;
}

int luaB_next(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    lua_settop(L, 2);  // a missing key is nil: start the traversal
    if (lua_next(L, 1)) return 2;
    lua_pushnil(L);
    return 1;
}

int luaB_pairs(lua_State* L) {
    if (!luaL_getmetafield(L, 1, "__pairs")) {
        luaL_checktype(L, 1, LUA_TTABLE);
        lua_pushcfunction(L, luaB_next);
        lua_pushvalue(L, 1);
        lua_pushnil(L);
    } else {
        lua_pushvalue(L, 1);  // self for the metamethod
        lua_call(L, 1, 3);
    }
    return 3;
}

int luaB_type(lua_State* L) {
    luaL_checkany(L, 1);
    lua_pushstring(L, luaL_typename(L, 1));
    return 1;
}

int luaB_assert(lua_State* L) {
    if (!lua_toboolean(L, 1)) {
        const char* msg = luaL_optstring(L, 2, "assertion failed!");
        if (lua_AssertHook hook = G(L)->assert_hook) hook(L, msg);
        return luaL_error(L, "%s", msg);
    }
    return lua_gettop(L);
}

int luaB_trace(lua_State* L) {
    int arg = 0;
    lua_State* L1 = L;
    if (lua_isthread(L, 1)) {
        L1 = lua_tothread(L, 1);
        arg = 1;
    }
    const char* msg = lua_tostring(L, arg + 1);
    if (msg == nullptr && !lua_isnoneornil(L, arg + 1)) {
        lua_pushvalue(L, arg + 1);  // a message that is no string comes back untouched
    } else {
        int level = luaL_optinteger(L, arg + 2, L == L1 ? 1 : 0);
        luaL_traceback(L, L1, msg, level);
    }
    return 1;
}

int luaB_setmetatable(lua_State* L) {
    int t = lua_type(L, 2);
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_argcheck(L, t == LUA_TNIL || t == LUA_TTABLE, 2, "nil or table expected");
    if (luaL_getmetafield(L, 1, "__metatable")) return luaL_error(L, "cannot change a protected metatable");
    lua_settop(L, 2);
    lua_setmetatable(L, 1);
    return 1;
}

int luaB_getmetatable(lua_State* L) {
    luaL_checkany(L, 1);
    if (!lua_getmetatable(L, 1)) {
        lua_pushnil(L);
        return 1;
    }
    luaL_getmetafield(L, 1, "__metatable");  // the protected value, if any
    return 1;
}

const char* luaB_pushtostr(lua_State* L, int idx, bool hex) {
    switch (lua_type(L, idx)) {
    case LUA_TSTRING: lua_pushvalue(L, idx); break;
    case LUA_TNUMBER: {
        lua_Number n = lua_tonumber(L, idx);
        char buff[LUAI_MAXNUMBER2STR];
        if (hex) {
            uint32_t u = uint32_t(n);
            std::snprintf(buff, sizeof buff, "0x%04x.%04x", unsigned(u >> 16), unsigned(u & 0xffff));
            lua_pushstring(L, buff);
        } else {
            int len = luaV_fixed_text(buff, n);
            lua_pushlstring(L, buff, size_t(len));
        }
        break;
    }
    case LUA_TBOOLEAN: lua_pushstring(L, lua_toboolean(L, idx) ? "true" : "false"); break;
    default: lua_pushfstring(L, "[%s]", luaL_typename(L, idx)); break;
    }
    return lua_tostring(L, -1);
}

int qz_tostr(lua_State* L) {
    luaB_pushtostr(L, 1, lua_toboolean(L, 2) != 0);
    return 1;
}

int qz_tonum(lua_State* L) {
    switch (lua_type(L, 1)) {
    case LUA_TNUMBER: lua_pushvalue(L, 1); return 1;
    case LUA_TSTRING: {
        size_t len;
        const char* s = lua_tolstring(L, 1, &len);
        lua_Number n;
        if (!luaO_str2d(s, len, &n)) return 0;
        lua_pushnumber(L, n);
        return 1;
    }
    default: return 0;
    }
}

void luaB_open_cart_base(lua_State* L) {
    static const luaL_Reg funcs[] = {
        {"sub", luaB_sub},
        {"pairs", luaB_pairs},
        {"type", luaB_type},
        {"assert", luaB_assert},
        {"setmetatable", luaB_setmetatable},
        {"getmetatable", luaB_getmetatable},
        {"trace", luaB_trace},
        {"tostr", qz_tostr},
        {"tonum", qz_tonum},
        {nullptr, nullptr},
    };
    for (const luaL_Reg* r = funcs; r->name; r++) {
        lua_pushcfunction(L, r->func);
        lua_setglobal(L, r->name);
    }
    luaB_open_cart_co(L);
}
