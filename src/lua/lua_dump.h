// A text listing of compiled functions in the layout of `luac -l -l`:
// header line, instructions with line and operands and the constant /
// local / upvalue tables, then the nested functions. Used by the tests to
// compare code generation with the stock compiler, and by `vexel-lua -l`.
#pragma once

#include <string>

#include "lua/lua_object.h"

// Appends the listing of f (and, when full, its nested functions) to out.
void luaU_list(const Proto* f, bool full, std::string& out);

struct lua_State;
// Lists the Lua function at stack index idx; false when it is not one.
bool luaU_list_at(lua_State* L, int idx, bool full, std::string& out);
