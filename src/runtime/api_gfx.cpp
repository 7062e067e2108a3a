#include "runtime/api_impl.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "machine/gfx.h"
#include "machine/sprite.h"
#include "machine/text.h"
#include "lua/lua.h"

namespace {

// Argument i (from 1) as a raw fixed-point value; missing or not a number: 0.
inline vexel_fix arg(lua_State* L, int i) { return lua_tonumberx(L, i, nullptr); }
inline bool truth(lua_State* L, int i) { return lua_toboolean(L, i) != 0; }
inline int push_integer(lua_State* L, int32_t v) {
    lua_pushnumber(L, vexel_fix(uint32_t(v) << 16));
    return 1;
}
inline lua_NumberResult result_integer(int32_t v) { return api_result(vexel_fix(uint32_t(v) << 16)); }

}  // namespace

lua_NumberResult qz_cls(lua_State* L, int count, lua_Number a, lua_Number, lua_Number, lua_Number) {
    vexel_cls(api_machine(L), count, a);
    return api_none;
}

lua_NumberResult qz_pset(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number c, lua_Number) {
    vexel_pset(api_machine(L), count, a, b, c);
    return api_none;
}

lua_NumberResult qz_pget(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return result_integer(vexel_pget(api_machine(L), count, a, b));
}

int qz_line(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<5> a(L);
    vexel_line(m, a.count, a[0], a[1], a[2], a[3], a[4]);
    return 0;
}

int qz_rect(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<5> a(L);
    vexel_rect(m, a.count, a[0], a[1], a[2], a[3], a[4]);
    return 0;
}

int qz_rectfill(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<5> a(L);
    vexel_rectfill(m, a.count, a[0], a[1], a[2], a[3], a[4]);
    return 0;
}

lua_NumberResult qz_circ(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number c, lua_Number d) {
    vexel_circ(api_machine(L), count, a, b, c, d);
    return api_none;
}

lua_NumberResult qz_circfill(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number c, lua_Number d) {
    vexel_circfill(api_machine(L), count, a, b, c, d);
    return api_none;
}

lua_NumberResult qz_clip(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number c, lua_Number d) {
    vexel_clip(api_machine(L), count, a, b, c, d);
    return api_none;
}

lua_NumberResult qz_camera(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    vexel_camera(api_machine(L), count, a, b);
    return api_none;
}

int qz_pal(lua_State* L) {
    vexel_machine* m = api_machine(L);
    if (lua_type(L, 1) == LUA_TTABLE) {
        // pal(t [, p]) is pal(k, t[k] [, p]) for every key k of t.
        const int argc = lua_gettop(L) >= 2 ? 3 : 2;
        const vexel_fix p = arg(L, 2);
        lua_pushnil(L);
        while (lua_next(L, 1)) {
            vexel_pal(m, argc, arg(L, -2), arg(L, -1), p);
            lua_pop(L, 1);
        }
        return 0;
    }
    vexel_pal(m, lua_gettop(L), arg(L, 1), arg(L, 2), arg(L, 3));
    return 0;
}

int qz_palt(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<1> a(L);
    vexel_palt(m, a.count, a[0], truth(L, 2));
    return 0;
}

lua_NumberResult qz_color(lua_State* L, int count, lua_Number a, lua_Number, lua_Number, lua_Number) {
    vexel_color(api_machine(L), count, a);
    return api_none;
}

lua_NumberResult qz_cursor(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    vexel_cursor(api_machine(L), count, a, b);
    return api_none;
}

lua_NumberResult qz_fillp(lua_State* L, int count, lua_Number a, lua_Number, lua_Number, lua_Number) {
    vexel_fillp(api_machine(L), count, a);
    return api_none;
}

int qz_print(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const int argc = lua_gettop(L);
    if (argc < 1) return 0;
    char other[64];
    const char* text = other;
    size_t len = 0;
    const int type = lua_type(L, 1);
    if (type == LUA_TSTRING || type == LUA_TNUMBER) {
        text = lua_tolstring(L, 1, &len);  // a number is formatted in place
    } else if (type == LUA_TBOOLEAN) {
        text = lua_toboolean(L, 1) ? "true" : "false";
        len = std::char_traits<char>::length(text);
    } else {
        int n = std::snprintf(other, sizeof other, "[%s]", lua_typename(L, type));
        len = n < 0 ? 0 : std::min(size_t(n), sizeof other - 1);
    }
    const vexel_print_sound sound{api_play_print_sound, m};
    return push_integer(L, vexel_script_print(m, argc, text, len, arg(L, 2), arg(L, 3), arg(L, 4), false, sound));
}

int qz_spr(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<5> a(L);
    vexel_spr(m, a.count, a[0], a[1], a[2], a[3], a[4], truth(L, 6), truth(L, 7));
    return 0;
}

int qz_sspr(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<8> a(L);
    vexel_sspr(m, a.count, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7],
               truth(L, 9), truth(L, 10));
    return 0;
}

lua_NumberResult qz_sget(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return result_integer(vexel_sget(api_machine(L), count, a, b));
}

lua_NumberResult qz_sset(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number c, lua_Number) {
    vexel_sset(api_machine(L), count, a, b, c);
    return api_none;
}

lua_NumberResult qz_mget(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number, lua_Number) {
    return result_integer(vexel_mget(api_machine(L), count, a, b));
}

lua_NumberResult qz_mset(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number c, lua_Number) {
    vexel_mset(api_machine(L), count, a, b, c);
    return api_none;
}

int qz_fget(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<2> a(L);
    const vexel_fget_result r = vexel_fget(m, a.count, a[0], a[1]);
    switch (r.kind) {
    case vexel_fget_result::none: return 0;
    case vexel_fget_result::number: return push_integer(L, r.value);
    case vexel_fget_result::boolean: lua_pushboolean(L, r.value); return 1;
    }
    return 0;
}

int qz_fset(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<2> a(L);
    vexel_fset(m, a.count, a[0], a[1], truth(L, 3));
    return 0;
}

int qz_mapdraw(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<7> a(L);
    vexel_map(m, a.count, a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
    return 0;
}

int qz_oval(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<5> a(L);
    vexel_oval(m, a.count, a[0], a[1], a[2], a[3], a[4]);
    return 0;
}

int qz_ovalfill(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<5> a(L);
    vexel_ovalfill(m, a.count, a[0], a[1], a[2], a[3], a[4]);
    return 0;
}

int qz_tline(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const api_numbers<9> a(L);
    vexel_tline(m, a.count, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7],
                a[8]);
    return 0;
}
