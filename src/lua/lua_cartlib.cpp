// The later library functions a cartridge sees: Lua 5.2.3's select,
// ipairs (with its iterator inext), unpack, pack and the raw accessors
// under their usual names, and the byte and field helpers chr, ord and
// split.
//
// Counts and positions are integer parts of 16.16 numbers. Every function
// that returns a variable number of values checks the stack first and
// refuses (with an error, never a crash) a count the stack cannot hold.
#include <algorithm>
#include <cstring>
#include <string>

#include "lua/lua_aux.h"
#include "lua/lua_base.h"
#include "lua/lua_object.h"
#include "lua/lua_state.h"

namespace {

// More results than this from one call is a mistake in the program
// (unpack of a huge range, ord of a long string) rather than a need.
constexpr int results_max = 8192;

void check_results(lua_State* L, long n, const char* what) {
    if (n > results_max || !lua_checkstack(L, int(n))) luaL_error(L, "too many results to %s", what);
}

// A field of split: a number when it reads as one and conversion is on,
// otherwise the text itself.
void push_field(lua_State* L, const char* s, size_t len, bool convert) {
    lua_Number n;
    if (convert && len > 0 && luaO_str2d(s, len, &n)) lua_pushnumber(L, n);
    else lua_pushlstring(L, s, len);
}

// A whole number as a script number (lua_pushinteger pushes raw values).
void push_whole(lua_State* L, long n) { lua_pushnumber(L, lua_Number(uint32_t(n) << 16)); }

}  // namespace

int luaB_select(lua_State* L) {
    const int n = lua_gettop(L);
    // select('#', ...), the common use, read straight off the stack rather
    // than through lua_type and lua_tostring: bench/lua/varargs 1.5% less
    // time.
    const TValue* first = L->ci->func + 1;
    if (n >= 1 && ttisstring(first) && svalue(first)[0] == '#') {
        push_whole(L, n - 1);
        return 1;
    }
    int i = luaL_checkinteger(L, 1);
    if (i < 0) i = n + i;
    else if (i > n) i = n;
    luaL_argcheck(L, 1 <= i, 1, "index out of range");
    return n - i;
}

int luaB_inext(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    const int i = luaL_checkinteger(L, 2) + 1;
    push_whole(L, i);
    lua_rawgeti(L, 1, i);
    return lua_isnil(L, -1) ? 0 : 2;
}

int luaB_ipairs(lua_State* L) {
    if (luaL_getmetafield(L, 1, "__ipairs")) {
        lua_pushvalue(L, 1);
        lua_call(L, 1, 3);
        return 3;
    }
    luaL_checktype(L, 1, LUA_TTABLE);
    lua_pushcfunction(L, luaB_inext);
    lua_pushvalue(L, 1);
    push_whole(L, 0);
    return 3;
}

int luaB_unpack(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    const long i = luaL_optinteger(L, 2, 1);
    const long e = lua_isnoneornil(L, 3) ? long(lua_rawlen(L, 1)) : long(luaL_checkinteger(L, 3));
    if (i > e) return 0;
    const long n = e - i + 1;
    check_results(L, n, "unpack");
    for (long k = i; k <= e; ++k) lua_rawgeti(L, 1, int(k));
    return int(n);
}

int luaB_pack(lua_State* L) {
    const int n = lua_gettop(L);
    lua_createtable(L, n, 1);
    lua_insert(L, 1);
    for (int i = n; i >= 1; --i) lua_rawseti(L, 1, i);
    push_whole(L, n);
    lua_setfield(L, 1, "n");
    return 1;
}

int luaB_rawequal(lua_State* L) {
    luaL_checkany(L, 1);
    luaL_checkany(L, 2);
    lua_pushboolean(L, lua_rawequal(L, 1, 2));
    return 1;
}

int luaB_rawlen(lua_State* L) {
    const int t = lua_type(L, 1);
    luaL_argcheck(L, t == LUA_TTABLE || t == LUA_TSTRING, 1, "table or string expected");
    push_whole(L, long(lua_rawlen(L, 1)));
    return 1;
}

int luaB_rawget(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    lua_rawget(L, 1);
    return 1;
}

int luaB_rawset(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checkany(L, 2);
    luaL_checkany(L, 3);
    lua_settop(L, 3);
    lua_rawset(L, 1);
    return 1;
}

int luaB_chr(lua_State* L) {
    const int n = lua_gettop(L);
    std::string bytes(size_t(n), '\0');
    for (int i = 1; i <= n; ++i) bytes[size_t(i - 1)] = char((lua_tonumberx(L, i, nullptr) >> 16) & 0xff);
    lua_pushlstring(L, bytes.data(), bytes.size());
    return 1;
}

int luaB_ord(lua_State* L) {
    size_t len = 0;
    const char* s = lua_type(L, 1) == LUA_TSTRING || lua_type(L, 1) == LUA_TNUMBER ? lua_tolstring(L, 1, &len) : nullptr;
    if (!s) return 0;
    const long i = lua_isnoneornil(L, 2) ? 1 : long(luaL_checkinteger(L, 2));
    long n = lua_isnoneornil(L, 3) ? 1 : long(luaL_checkinteger(L, 3));
    if (i < 1 || size_t(i) > len || n < 1) return 0;
    if (size_t(n) > len - size_t(i) + 1) n = long(len - size_t(i) + 1);
    check_results(L, n, "ord");
    for (long k = 0; k < n; ++k) push_whole(L, static_cast<unsigned char>(s[i - 1 + k]));
    return int(n);
}

int luaB_split(lua_State* L) {
    size_t len;
    const char* s = luaL_checklstring(L, 1, &len);
    const bool convert = !(lua_type(L, 3) == LUA_TBOOLEAN && !lua_toboolean(L, 3));
    lua_settop(L, 3);  // the result table goes above the arguments
    lua_newtable(L);
    int index = 0;
    auto add = [&](const char* p, size_t n) {
        push_field(L, p, n, convert);
        lua_rawseti(L, -2, ++index);
    };
    if (lua_type(L, 2) == LUA_TNUMBER) {
        // Groups of n characters; the last may be shorter.
        long n = long(lua_tointegerx(L, 2, nullptr));
        if (n < 1) n = 1;
        for (size_t at = 0; at < len; at += size_t(n)) add(s + at, std::min(size_t(n), len - at));
        return 1;
    }
    size_t seplen = 1;
    const char* sep = lua_isnoneornil(L, 2) ? "," : luaL_checklstring(L, 2, &seplen);
    if (seplen == 0) {
        for (size_t at = 0; at < len; ++at) add(s + at, 1);
        return 1;
    }
    // Every separator ends a field, so "a,b," has an empty last field and
    // "" one empty field.
    size_t start = 0;
    for (size_t at = 0; at + seplen <= len;) {
        if (std::memcmp(s + at, sep, seplen) == 0) {
            add(s + start, at - start);
            at += seplen;
            start = at;
        } else {
            ++at;
        }
    }
    add(s + start, len - start);
    return 1;
}
