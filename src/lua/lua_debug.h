// Debug information and run-time error messages.
//
// The type errors describe the offending value as Lua 5.2.3 does
// ("attempt to index global 'x' (a nil value)"), found by symbolic
// execution of the running function's code. luaG_runerror raises the bare
// message (no chunk:line prefix) and sets the state's runtime line (lua_vexel_runtime_line) to the current
// line of the running Lua function (0 without line information).
#pragma once

#include "lua/lua_state.h"

inline int pcRel(const Instruction* pc, const Proto* p) { return int(pc - p->code) - 1; }
inline int getfuncline(const Proto* f, int pc) { return f->lineinfo ? f->lineinfo[pc] : 0; }
inline void resethookcount(lua_State* L) { L->hookcount = L->basehookcount; }

[[noreturn]] void luaG_typeerror(lua_State* L, const TValue* o, const char* opname);
[[noreturn]] void luaG_concaterror(lua_State* L, StkId p1, StkId p2);
[[noreturn]] void luaG_aritherror(lua_State* L, const TValue* p1, const TValue* p2);
// As luaG_aritherror, for the bit operators: "attempt to perform bitwise
// operation on ...".
[[noreturn]] void luaG_biterror(lua_State* L, const TValue* p1, const TValue* p2);
[[noreturn]] void luaG_ordererror(lua_State* L, const TValue* p1, const TValue* p2);
[[noreturn]] void luaG_runerror(lua_State* L, const char* fmt, ...);
// Raises the message on top of the stack as lua_vexel_stop's error.
[[noreturn]] void luaG_stoperror(lua_State* L);
[[noreturn]] void luaG_errormsg(lua_State* L);
