// The stock library functions a cartridge sees, and tostr / tonum.
//
// They behave as Lua 5.2.3's string.sub, pairs, type, assert,
// setmetatable, getmetatable and debug.traceback, with positions and levels
// read as integer parts of 16.16 numbers.
#include "lua/lua_base.h"

#include <cstdio>
#include <cstring>
#include <string>

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
    // The strings' shared metatable (their indexing) is no table of the
    // program's: programs see none, as before, and cannot change it.
    if (lua_type(L, 1) == LUA_TSTRING || !lua_getmetatable(L, 1)) {
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

namespace {

// tostr's and tonum's flag bits (a boolean true as tostr's second argument
// is the hex flag alone, as it has always been).
constexpr int flag_hex = 1;        // hex digits: tostr "0x0001.0000", tonum without "0x"
constexpr int flag_raw = 2;        // the raw 32-bit value as a whole number
constexpr int flag_zero = 4;       // tonum: 0 rather than nothing for text that is no number

int flags_arg(lua_State* L, int idx) {
    if (lua_type(L, idx) == LUA_TBOOLEAN) return lua_toboolean(L, idx) ? flag_hex : 0;
    return lua_type(L, idx) == LUA_TNUMBER ? int(lua_tonumberx(L, idx, nullptr) >> 16) : 0;
}

bool hex_digit(char c, unsigned* v) {
    if (c >= '0' && c <= '9') *v = unsigned(c - '0');
    else if (c >= 'a' && c <= 'f') *v = unsigned(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') *v = unsigned(c - 'A' + 10);
    else return false;
    return true;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// A whole number read as the raw bits of a value ("65536" is 1.0): an
// optional sign, then decimal digits, or hex digits after "0x" or when
// `hex`; it wraps modulo 2^32 as the bits would.
bool read_raw_integer(const char* s, size_t len, bool hex, lua_Number* out) {
    size_t i = 0;
    while (i < len && blank(s[i])) ++i;
    bool negative = false;
    if (i < len && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    if (!hex && i + 1 < len && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    const size_t first = i;
    uint32_t v = 0;
    for (unsigned d; i < len; ++i) {
        if (!hex_digit(s[i], &d) || (!hex && d > 9)) break;
        v = v * (hex ? 16u : 10u) + d;
    }
    if (i == first) return false;
    while (i < len && blank(s[i])) ++i;
    if (i != len) return false;
    *out = lua_Number(negative ? 0u - v : v);
    return true;
}

// Hex digits without the "0x": the text read with it put in after the sign.
bool read_bare_hex(const char* s, size_t len, lua_Number* out) {
    size_t i = 0;
    while (i < len && blank(s[i])) ++i;
    std::string text(s, i);
    if (i < len && (s[i] == '-' || s[i] == '+')) text += s[i++];
    if (!(i + 1 < len && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X'))) text += "0x";
    text.append(s + i, len - i);
    return luaO_str2d(text.data(), text.size(), out) != 0;
}

}  // namespace

int qz_tostr(lua_State* L) {
    const int flags = flags_arg(L, 2);
    if (lua_type(L, 1) == LUA_TNUMBER && (flags & flag_raw)) {
        const lua_Number n = lua_tonumber(L, 1);
        char buff[LUAI_MAXNUMBER2STR];
        if (flags & flag_hex) std::snprintf(buff, sizeof buff, "0x%08x", unsigned(uint32_t(n)));
        else std::snprintf(buff, sizeof buff, "%d", int(n));
        lua_pushstring(L, buff);
        return 1;
    }
    luaB_pushtostr(L, 1, (flags & flag_hex) != 0);
    return 1;
}

int qz_tonum(lua_State* L) {
    const int flags = flags_arg(L, 2);
    switch (lua_type(L, 1)) {
    case LUA_TNUMBER: lua_pushvalue(L, 1); return 1;
    case LUA_TSTRING: {
        size_t len;
        const char* s = lua_tolstring(L, 1, &len);
        lua_Number n;
        bool ok;
        if (flags & flag_raw) ok = read_raw_integer(s, len, flags & flag_hex, &n);
        else if (flags & flag_hex) ok = read_bare_hex(s, len, &n);
        else ok = luaO_str2d(s, len, &n) != 0;
        if (ok) {
            lua_pushnumber(L, n);
            return 1;
        }
        break;
    }
    case LUA_TBOOLEAN:
        // A flag used as a count: true is 1 and false is 0.
        lua_pushnumber(L, lua_toboolean(L, 1) ? lua_Number(1) << 16 : 0);
        return 1;
    default: break;
    }
    if (!(flags & flag_zero)) return 0;
    lua_pushnumber(L, 0);
    return 1;
}

namespace {

// The __index of every string: s[i] is the i-th character (as sub(s,i,i)),
// nil outside the string or for any other key. Strings reach it only
// through the shared metatable, so table indexing pays nothing for it.
int string_index(lua_State* L) {
    size_t len = 0;
    const char* s = lua_tolstring(L, 1, &len);
    if (!s || lua_type(L, 2) != LUA_TNUMBER) return 0;
    const lua_Number i = lua_tonumber(L, 2) >> 16;  // the whole part, as sub reads it
    if (i < 1 || size_t(i) > len) return 0;
    lua_pushlstring(L, s + i - 1, 1);
    return 1;
}

}  // namespace

void luaB_open_string_index(lua_State* L) {
    lua_pushliteral(L, "");
    lua_createtable(L, 0, 1);
    lua_pushcfunction(L, string_index);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, -2);
    lua_pop(L, 1);
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
        {"next", luaB_next},
        {"select", luaB_select},
        {"ipairs", luaB_ipairs},
        {"inext", luaB_inext},
        {"unpack", luaB_unpack},
        {"pack", luaB_pack},
        {"rawequal", luaB_rawequal},
        {"rawlen", luaB_rawlen},
        {"rawget", luaB_rawget},
        {"rawset", luaB_rawset},
        {"chr", luaB_chr},
        {"ord", luaB_ord},
        {"split", luaB_split},
        {nullptr, nullptr},
    };
    for (const luaL_Reg* r = funcs; r->name; r++) {
        lua_pushcfunction(L, r->func);
        lua_setglobal(L, r->name);
    }
    luaB_open_string_index(L);
    luaB_open_cart_co(L);
}
