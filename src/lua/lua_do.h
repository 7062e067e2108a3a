// Calls, the stack and error unwinding.
//
// Errors unwind by throwing a lua_longjmp (a C++ exception) caught by
// luaD_rawrunprotected; nothing else catches it, so C++ objects on the way
// are destroyed properly. luaD_throw with no recover point calls the panic
// function and aborts. The stack is reallocated by luaD_reallocstack;
// callers keep stack positions as offsets (savestack/restorestack) across
// anything that can grow the stack.
#pragma once

#include "lua/lua_gc.h"
#include "lua/lua_state.h"

using Pfunc = void (*)(lua_State* L, void* ud);

// One recover point; thrown (as a pointer) to unwind to it.
struct lua_longjmp {
    lua_longjmp* previous;
    volatile int status;
};

inline ptrdiff_t savestack(lua_State* L, const TValue* p) {
    return reinterpret_cast<const char*>(p) - reinterpret_cast<const char*>(L->stack);
}
inline StkId restorestack(lua_State* L, ptrdiff_t n) {
    return reinterpret_cast<StkId>(reinterpret_cast<char*>(L->stack) + n);
}
void luaD_growstack(lua_State* L, int n);
inline void luaD_checkstack(lua_State* L, int n) {
    if (L->stack_last - L->top <= n) luaD_growstack(L, n);
}
// A vararg function's frame: its fixed parameters move from the first of
// the `actual` arguments below L->top (at least numparams of them, missing
// ones already nil) to above them, so the extra arguments stay below the
// new base where OP_VARARG finds them. Returns the new base; the caller has
// made room for numparams more values.
inline StkId luaD_adjustvarargs(lua_State* L, const Proto* p, int actual) {
    StkId fixed = L->top - actual;
    StkId base = L->top;
    for (int i = 0; i < p->numparams; i++) {
        setobj(L->top++, fixed + i);
        setnilvalue(fixed + i);
    }
    return base;
}
inline void incr_top(lua_State* L) {
    L->top++;
    luaD_checkstack(L, 0);
}

// Compiles the text chunk read from z (binary chunks are refused) and pushes
// the resulting closure; returns a status code.
int luaD_protectedparser(lua_State* L, ZIO* z, const char* name, const char* mode);
void luaD_hook(lua_State* L, int event, int line);
int luaD_precall(lua_State* L, StkId func, int nresults);
void luaD_call(lua_State* L, StkId func, int nResults, int allowyield);
int luaD_pcall(lua_State* L, Pfunc func, void* u, ptrdiff_t oldtop, ptrdiff_t ef);
int luaD_poscall(lua_State* L, StkId firstResult);
void luaD_reallocstack(lua_State* L, int newsize);
void luaD_shrinkstack(lua_State* L);
[[noreturn]] void luaD_throw(lua_State* L, int errcode);
int luaD_rawrunprotected(lua_State* L, Pfunc f, void* ud);
void luaD_seterrorobj(lua_State* L, int errcode, StkId oldtop);

// A C function called by OP_CALL while no call, return or line hook is
// set: luaD_precall's C case and luaD_poscall in one function, with the
// hook tests and the result loop for the usual one or no result left out.
// Builtins are most of the calls a drawing program makes; this path cut
// bench_frame's host instructions by about 6%, and having it inline in the
// instruction loop (this header) another 5%. Same results as luaD_precall:
// 1 done, 2 yielded.
inline int luaD_callC(lua_State* L, StkId func, int nresults, lua_CFunction f) {
    if (L->stack_last - L->top <= LUA_MINSTACK) {
        ptrdiff_t funcr = savestack(L, func);
        luaD_growstack(L, LUA_MINSTACK);
        func = restorestack(L, funcr);
    }
    CallInfo* ci = next_ci(L);
    ci->nresults = short(nresults);
    ci->func = func;
    ci->top = L->top + LUA_MINSTACK;
    ci->callstatus = 0;
    if (G(L)->GCdebt > 0) luaC_checkGC(L);
    int n = (*f)(L);
    if (L->status == LUA_YIELD) return 2;  // it yielded; the resume finishes the call
    StkId first = L->top - n;
    // The function may have set a hook (and the stack may have moved:
    // ci->func follows it, func does not).
    if (L->hookmask & (LUA_MASKRET | LUA_MASKLINE) || nresults > 1 || nresults < 0) {
        luaD_poscall(L, first);
        return 1;
    }
    StkId res = ci->func;
    L->ci = ci->previous;
    if (nresults == 1) {
        if (n > 0)
            setobj(res, first);
        else
            setnilvalue(res);
        res++;
    }
    L->top = res;
    return 1;
}
