// Argument readers shared by the bindings. Kept apart from the binding
// table (api.cpp) so a program that uses a few builtins (vexel-lua) links
// only those, not every binding and through them the whole platform layer.
#include "runtime/api_impl.h"

#include "lua/lua.h"

int32_t api_arg(lua_State* L, int i) { return lua_tonumberx(L, i, nullptr); }
int32_t api_int_arg(lua_State* L, int i) { return api_arg(L, i) >> 16; }
const char* api_string_arg(lua_State* L, int i) {
    return lua_gettop(L) >= i && lua_isstring(L, i) ? lua_tostring(L, i) : nullptr;
}
