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
