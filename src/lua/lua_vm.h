// The virtual machine: instruction execution and the value operations it
// shares with the C API (comparison, arithmetic, concatenation, length,
// indexing with metamethods, coercions between numbers and strings).
//
// luaV_execute runs the Lua function of L->ci until it returns (or L
// yields); a coroutine it resumes from Lua code runs in the same loop
// (lua_co.h, luaCo_enter). Before each
// instruction, when the count or line hook is armed, it counts down
// L->hookcount (held in a register while the loop runs) and calls the hook
// at zero (the CPU budget of the console).
// Errors raised here carry no "chunk:line:" prefix; the failing line is
// stored in the state's runtime line (lua_vexel_runtime_line).
#pragma once

#include "lua/lua_do.h"
#include "lua/lua_opcodes.h"

inline bool tostring(lua_State* L, TValue* o);  // defined below
int luaV_tostring(lua_State* L, StkId obj);
const TValue* luaV_tonumber(const TValue* obj, TValue* n);
inline bool tostring(lua_State* L, TValue* o) { return ttisstring(o) || luaV_tostring(L, o); }

int luaV_equalobj_(lua_State* L, const TValue* t1, const TValue* t2);
// Primitive equality (no metamethods); values of different types differ.
inline bool luaV_rawequalobj(const TValue* t1, const TValue* t2) {
    return ttype(t1) == ttype(t2) && luaV_equalobj_(nullptr, t1, t2);
}
inline bool equalobj(lua_State* L, const TValue* o1, const TValue* o2) {
    return ttype(o1) == ttype(o2) && luaV_equalobj_(L, o1, o2);
}
int luaV_lessthan(lua_State* L, const TValue* l, const TValue* r);
int luaV_lessequal(lua_State* L, const TValue* l, const TValue* r);
void luaV_gettable(lua_State* L, const TValue* t, TValue* key, StkId val);
void luaV_settable(lua_State* L, const TValue* t, TValue* key, StkId val);
void luaV_finishOp(lua_State* L);
void luaV_execute(lua_State* L);
void luaV_concat(lua_State* L, int total);
void luaV_arith(lua_State* L, StkId ra, const TValue* rb, const TValue* rc, TMS op);
// The dialect's operators (OP_IDIV ... OP_BNOT) when an operand is not a
// number: strings that convert are used as numbers, anything else raises
// an error (there are no metamethods for them). For OP_BNOT rc is rb.
void luaV_bitarith(lua_State* L, StkId ra, const TValue* rb, const TValue* rc, OpCode op);
// The value of one of those operators on two numbers (rc ignored by OP_BNOT).
lua_Number luaV_bitvalue(OpCode op, lua_Number b, lua_Number c);
void luaV_objlen(lua_State* L, StkId ra, const TValue* rb);
// a % b of two numbers, as fixed_mod (remainder in [0, |b|); b = 0 gives a).
lua_Number luaV_mod(lua_Number a, lua_Number b);
// The text of a number, identical to luaO_fixed_to_string's but computed
// without printf; returns the length (buff holds LUAI_MAXNUMBER2STR bytes).
int luaV_fixed_text(char* buff, lua_Number n);
