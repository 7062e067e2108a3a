// The auxiliary library (luaL_*): argument checks, error helpers with the
// luaL_where prefix, buffers and the loaders used by the console.
//
// Messages are those of Lua 5.2.3. Argument numbers and limits are passed
// to the formatter as integers shifted left by 16 (they print as plain
// integers); the line in luaL_where's "%s:%d: " and in luaL_traceback is
// passed unscaled, so it prints as line / 65536 (the program runner
// multiplies such numbers back).
#pragma once

#include "lua/lua.h"

#define LUA_ERRFILE (LUA_ERRERR + 1)

struct luaL_Reg {
    const char* name;
    lua_CFunction func;
};

int luaL_getmetafield(lua_State* L, int obj, const char* e);
int luaL_argerror(lua_State* L, int numarg, const char* extramsg);
const char* luaL_checklstring(lua_State* L, int numArg, size_t* l);
const char* luaL_optlstring(lua_State* L, int numArg, const char* def, size_t* l);
lua_Number luaL_checknumber(lua_State* L, int numArg);
lua_Integer luaL_checkinteger(lua_State* L, int numArg);
lua_Integer luaL_optinteger(lua_State* L, int nArg, lua_Integer def);
void luaL_checktype(lua_State* L, int narg, int t);
void luaL_checkany(lua_State* L, int narg);
void luaL_where(lua_State* L, int lvl);
int luaL_error(lua_State* L, const char* fmt, ...);
int luaL_loadbufferx(lua_State* L, const char* buff, size_t sz, const char* name, const char* mode);
#define luaL_loadbuffer(L, s, sz, n) luaL_loadbufferx(L, s, sz, n, nullptr)
int luaL_loadstring(lua_State* L, const char* s);
int luaL_loadfilex(lua_State* L, const char* filename, const char* mode);
lua_State* luaL_newstate();
void luaL_traceback(lua_State* L, lua_State* L1, const char* msg, int level);

#define luaL_argcheck(L, cond, numarg, extramsg) ((void)((cond) || luaL_argerror(L, (numarg), (extramsg))))
#define luaL_checkstring(L, n) (luaL_checklstring(L, (n), nullptr))
#define luaL_optstring(L, n, d) (luaL_optlstring(L, (n), (d), nullptr))
#define luaL_typename(L, i) lua_typename(L, lua_type(L, (i)))
#define luaL_getmetatable(L, n) (lua_getfield(L, LUA_REGISTRYINDEX, (n)))
#define luaL_opt(L, f, n, d) (lua_isnoneornil(L, (n)) ? (d) : f(L, (n)))
#define luaL_dostring(L, s) (luaL_loadstring(L, s) || lua_pcall(L, 0, LUA_MULTRET, 0))

