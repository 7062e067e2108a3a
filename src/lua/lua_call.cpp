// The call machinery: entering a function (luaD_precall), leaving it
// (luaD_poscall), calling from C (luaD_call) and running the debug hooks.
//
// A call's frame is [func, arg1, ..., argn]; precall turns it into a
// CallInfo. A Lua function with variable arguments gets its fixed
// parameters copied above the actual arguments, so the extra arguments stay
// below its base where OP_VARARG finds them. poscall moves the results down
// to where the function was and pads or trims them to the number wanted.
#include "lua/lua_debug.h"
#include "lua/lua_do.h"
#include "lua/lua_func.h"
#include "lua/lua_gc.h"
#include "lua/lua_opcodes.h"
#include "lua/lua_tm.h"
#include "lua/lua_vm.h"

namespace {

// Calling a non-function: its __call metamethod becomes the function and
// the value its first argument.
StkId tryfuncTM(lua_State* L, StkId func) {
    const TValue* tm = luaT_gettmbyobj(L, func, TM_CALL);
    ptrdiff_t funcr = savestack(L, func);
    if (!ttisfunction(tm)) luaG_typeerror(L, func, "call");
    for (StkId p = L->top; p > func; p--) setobj(p, p - 1);  // open a hole at func
    incr_top(L);
    func = restorestack(L, funcr);
    setobj(func, tm);
    return func;
}

void callhook(lua_State* L, CallInfo* ci) {
    int hook = LUA_HOOKCALL;
    ci->u.l.savedpc++;  // hooks expect pc already advanced
    if (isLua(ci->previous) && GET_OPCODE(*(ci->previous->u.l.savedpc - 1)) == OP_TAILCALL) {
        ci->callstatus |= CIST_TAIL;
        hook = LUA_HOOKTAILCALL;
    }
    luaD_hook(L, hook, -1);
    ci->u.l.savedpc--;
}

}  // namespace

void luaD_hook(lua_State* L, int event, int line) {
    lua_Hook hook = L->hook;
    if (hook == nullptr || !L->allowhook) return;
    CallInfo* ci = L->ci;
    ptrdiff_t top = savestack(L, L->top);
    ptrdiff_t ci_top = savestack(L, ci->top);
    lua_Debug ar;
    ar.event = event;
    ar.currentline = line;
    ar.i_ci = ci;
    luaD_checkstack(L, LUA_MINSTACK);  // the hook gets a minimum stack
    ci->top = L->top + LUA_MINSTACK;
    L->allowhook = 0;  // no hooks inside a hook
    ci->callstatus |= CIST_HOOKED;
    (*hook)(L, &ar);
    L->allowhook = 1;
    ci->top = restorestack(L, ci_top);
    L->top = restorestack(L, top);
    ci->callstatus &= static_cast<unsigned short>(~CIST_HOOKED);
}

int luaD_precall(lua_State* L, StkId func, int nresults) {
    ptrdiff_t funcr = savestack(L, func);
    lua_CFunction f;
    CallInfo* ci;
    switch (ttype(func)) {
    case LUA_TLCF: f = fvalue(func); goto cfunc;
    case LUA_TCCL: f = clCvalue(func)->f;
    cfunc: {
        // func is recomputed only when the stack moved: reading the stack
        // base back on every call costs a stall right after the caller set
        // the top.
        if (L->stack_last - L->top <= LUA_MINSTACK) {
            luaD_growstack(L, LUA_MINSTACK);
            func = restorestack(L, funcr);
        }
        ci = next_ci(L);
        ci->nresults = short(nresults);
        ci->func = func;
        ci->top = L->top + LUA_MINSTACK;
        ci->callstatus = 0;
        luaC_checkGC(L);
        if (L->hookmask & LUA_MASKCALL) luaD_hook(L, LUA_HOOKCALL, -1);
        int n = (*f)(L);
        if (L->status == LUA_YIELD) return 2;  // it yielded; the resume finishes the call
        luaD_poscall(L, L->top - n);
        return 1;
    }
    case LUA_TLCL: {
        Proto* p = clLvalue(func)->p;
        // A vararg function's frame starts above the arguments given, the
        // nils for missing fixed parameters and a copy of the fixed
        // parameters: up to two times numparams more than the frame itself
        // (without it, f(a1, ..., a200, ...) called with no arguments wrote
        // past the stack).
        luaD_checkstack(L, p->maxstacksize + (p->is_vararg ? 2 * p->numparams : 0));
        func = restorestack(L, funcr);
        int n = int(L->top - func) - 1;  // arguments given
        for (; n < p->numparams; n++) setnilvalue(L->top++);
        StkId base = p->is_vararg ? luaD_adjustvarargs(L, p, n) : func + 1;
        ci = next_ci(L);
        ci->nresults = short(nresults);
        ci->func = func;
        ci->u.l.base = base;
        ci->top = base + p->maxstacksize;
        ci->u.l.savedpc = p->code;
        ci->callstatus = CIST_LUA;
        L->top = ci->top;
        luaC_checkGC(L);
        if (L->hookmask & LUA_MASKCALL) callhook(L, ci);
        return 0;
    }
    default:
        func = tryfuncTM(L, func);
        return luaD_precall(L, func, nresults);
    }
}

int luaD_poscall(lua_State* L, StkId firstResult) {
    CallInfo* ci = L->ci;
    if (L->hookmask & (LUA_MASKRET | LUA_MASKLINE)) {
        if (L->hookmask & LUA_MASKRET) {
            ptrdiff_t fr = savestack(L, firstResult);
            luaD_hook(L, LUA_HOOKRET, -1);
            firstResult = restorestack(L, fr);
        }
        L->oldpc = ci->previous->u.l.savedpc;  // the caller's pc, for line hooks
    }
    StkId res = ci->func;
    int wanted = ci->nresults;
    lua_assert(ci->previous != nullptr);  // the base frame never returns
    lua_assert(firstResult <= L->top && res < firstResult);
    L->ci = ci = ci->previous;
    int i;
    for (i = wanted; i != 0 && firstResult < L->top; i--) setobj(res++, firstResult++);
    while (i-- > 0) setnilvalue(res++);
    L->top = res;
    return wanted - LUA_MULTRET;  // 0 when the caller takes every result
}

void luaD_call(lua_State* L, StkId func, int nResults, int allowyield) {
    if (++L->nCcalls >= LUAI_MAXCCALLS) {
        if (L->nCcalls == LUAI_MAXCCALLS)
            luaG_runerror(L, "C stack overflow");
        else if (L->nCcalls >= LUAI_MAXCCALLS_ERR)
            luaD_throw(L, LUA_ERRERR);  // error while handling the overflow
    }
    if (allowyield) {
        if (!luaD_precall(L, func, nResults)) luaV_execute(L);
    } else {
        // The caller is marked for the whole call, so a host that finds it
        // cannot yield (lua_vexel_blocker) can name the C function in the way.
        CallInfo* caller = L->ci;
        const unsigned short marked = caller->callstatus & CIST_NOYIELD;
        caller->callstatus |= CIST_NOYIELD;
        L->nny++;
        if (!luaD_precall(L, func, nResults)) luaV_execute(L);
        L->nny--;
        if (!marked) caller->callstatus &= static_cast<unsigned short>(~CIST_NOYIELD);
    }
    L->nCcalls--;
}
