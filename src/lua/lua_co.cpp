// Coroutines: lua_resume / lua_yieldk, finishing calls interrupted by a
// yield, and the cartridge's coroutine functions.
//
// A yield unwinds the C stack (an exception to the recover point set by
// lua_resume); what was running is left on the thread's own stack and call
// list. Resuming rebuilds the C side: a C function that yielded is finished
// (its continuation runs, or its results are the resume arguments), then
// every interrupted Lua call finishes the instruction that was cut short
// (luaV_finishOp) and carries on in luaV_execute.
//
// coresume called from Lua code usually takes a shorter way: the
// instruction loop switches to the coroutine itself (luaCo_enter) and back
// (luaCo_leave), and only the unusual ends go through the steps above.
#include "lua/lua_co.h"

#include "lua/lua_aux.h"
#include "lua/lua_debug.h"
#include "lua/lua_do.h"
#include "lua/lua_func.h"
#include "lua/lua_gc.h"
#include "lua/lua_string.h"
#include "lua/lua_vm.h"

namespace {

// Status used to unwind out of resume() with a message that is not a
// run-time error of the coroutine itself (it stays resumable).
constexpr int ERR_RESUME = -1;

// Finishes a C call interrupted by a yield inside a lua_callk/lua_pcallk
// with a continuation: runs the continuation and returns its results.
void finishCcall(lua_State* L) {
    CallInfo* ci = L->ci;
    if (ci->callstatus & CIST_YPCALL) {  // was inside a yieldable pcall
        ci->callstatus &= static_cast<unsigned short>(~CIST_YPCALL);
        L->errfunc = ci->u.c.old_errfunc;
    }
    // finish lua_callk's result adjustment
    if (ci->nresults == LUA_MULTRET && ci->top < L->top) ci->top = L->top;
    if (!(ci->callstatus & CIST_STAT)) ci->u.c.status = LUA_YIELD;
    ci->callstatus = static_cast<unsigned short>((ci->callstatus & ~(CIST_YPCALL | CIST_STAT)) | CIST_YIELDED);
    int n = (*ci->u.c.k)(L);
    if (L->status == LUA_YIELD) return;  // the continuation yielded again
    luaD_poscall(L, L->top - n);
}

// Runs the interrupted calls of a resumed thread down to its base.
void unroll(lua_State* L, void*) {
    for (;;) {
        if (L->status == LUA_YIELD) return;  // yielded again without unwinding
        if (L->ci == &L->base_ci) return;  // the coroutine finished
        if (!isLua(L->ci)) {
            finishCcall(L);
        } else {
            luaV_finishOp(L);
            luaV_execute(L);
        }
    }
}

CallInfo* findpcall(lua_State* L) {
    for (CallInfo* ci = L->ci; ci != nullptr; ci = ci->previous)
        if (ci->callstatus & CIST_YPCALL) return ci;
    return nullptr;
}

// An error inside a resumed thread that a yieldable pcall catches: unwind
// to that pcall and let its continuation see the error status.
bool recover(lua_State* L, int status) {
    CallInfo* ci = findpcall(L);
    if (ci == nullptr) return false;
    StkId oldtop = restorestack(L, ci->extra);
    luaF_close(L, oldtop);
    luaD_seterrorobj(L, status, oldtop);
    L->ci = ci;
    L->allowhook = ci->u.c.old_allowhook;
    L->nny = 0;
    luaD_shrinkstack(L);
    L->errfunc = ci->u.c.old_errfunc;
    ci->callstatus |= CIST_STAT;
    ci->u.c.status = lu_byte(status);
    return true;
}

[[noreturn]] void resume_error(lua_State* L, const char* msg, StkId firstArg) {
    L->top = firstArg;  // drop the arguments
    setsvalue(L, L->top, luaS_new(L, msg));
    incr_top(L);
    luaD_throw(L, ERR_RESUME);
}

void resume(lua_State* L, void* ud) {
    StkId firstArg = static_cast<StkId>(ud);
    CallInfo* ci = L->ci;
    if (L->nCcalls >= LUAI_MAXCCALLS) resume_error(L, "C stack overflow", firstArg);
    if (L->status == LUA_OK) {  // starting a coroutine
        if (ci != &L->base_ci) resume_error(L, "cannot resume non-suspended coroutine", firstArg);
        if (firstArg - 1 <= ci->func) resume_error(L, "cannot resume dead coroutine", firstArg);
        if (!luaD_precall(L, firstArg - 1, LUA_MULTRET)) luaV_execute(L);
    } else if (L->status != LUA_YIELD) {
        resume_error(L, "cannot resume dead coroutine", firstArg);
    } else {  // resuming from a yield
        L->status = LUA_OK;
        ci->func = restorestack(L, ci->extra);
        if (isLua(ci)) {  // it yielded inside a hook: carry on with the same instruction
            luaV_execute(L);
        } else {
            if (ci->u.c.k != nullptr) {  // the C function has a continuation
                ci->u.c.status = LUA_YIELD;
                ci->callstatus |= CIST_YIELDED;
                int n = (*ci->u.c.k)(L);
                if (L->status == LUA_YIELD) return;
                firstArg = L->top - n;
            }
            luaD_poscall(L, firstArg);  // the resume arguments are its results
        }
        unroll(L, nullptr);
    }
}

// The end of a resume whose run stopped with status: a yield that returned
// instead of unwinding is a yield too; an error a yieldable pcall inside
// the thread catches lets the thread carry on (and stop again); any other
// error kills the thread, whose stack is kept for a traceback. Returns the
// final status.
int settle(lua_State* L, int status) {
    // A yield out of a C function called straight from the resumed Lua
    // code returns normally instead of unwinding.
    if (status == LUA_OK && L->status == LUA_YIELD) status = LUA_YIELD;
    while (status != LUA_OK && status != LUA_YIELD) {
        if (!G(L)->stopping && recover(L, status)) {
            status = luaD_rawrunprotected(L, unroll, nullptr);
            if (status == LUA_OK && L->status == LUA_YIELD) status = LUA_YIELD;
        } else {
            L->status = lu_byte(status);
            luaD_seterrorobj(L, status, L->top);
            L->ci->top = L->top;
            break;
        }
    }
    return status;
}

lua_State* getco(lua_State* L) {
    lua_State* co = lua_tothread(L, 1);
    luaL_argcheck(L, co, 1, "coroutine expected");
    return co;
}

// The values above a thread's running function (lua_gettop, without the
// call: a resume and its yield read it several times).
inline int nvalues(lua_State* L) { return int(L->top - (L->ci->func + 1)); }

// lua_checkstack with the common case inline: room for n more values.
inline bool roomfor(lua_State* L, int n) {
    if (L->stack_last - L->top > n && L->ci->top >= L->top + n) return true;
    return lua_checkstack(L, n) != 0;
}

// auxresume's answer when co was suspended by a hook yield: the resumer
// must be suspended too (see luaB_coresume).
constexpr int RESUME_HOOKYIELD = -2;

// What coresume makes of a resume of co that ended with status: the number
// of values moved back from co (pushed above a true), -1 with the error
// message on L's stack, or RESUME_HOOKYIELD.
int auxresume_end(lua_State* L, lua_State* co, int status) {
    if (status == LUA_YIELD && co->hookyielded) return RESUME_HOOKYIELD;
    if (status == LUA_OK || status == LUA_YIELD) {
        int nres = nvalues(co);
        if (!roomfor(L, nres + 1)) {
            lua_pop(co, nres);
            lua_pushliteral(L, "corolib: too many results to resume");
            return -1;
        }
        // coresume's true goes below the results now, so that nothing has
        // to be shifted up to make room for it afterwards.
        lua_pushboolean(L, 1);
        lua_xmove(co, L, nres);
        return nres;
    }
    lua_xmove(co, L, 1);  // the error message
    if (G(L)->stopping) lua_error(L);  // the whole program is stopping: pass it on
    return -1;
}

// Moves narg arguments into co and resumes it; returns as auxresume_end.
// `again` is set when the resume carries on a coroutine that a hook yield
// suspended in an earlier resume from L.
int auxresume(lua_State* L, lua_State* co, int narg, bool again) {
    if (co->status == LUA_YIELD && co->hookyielded && !again) {
        // Its resumer is suspended in the middle of resuming it.
        lua_pushliteral(L, "corolib: cannot resume non-suspended coroutine");
        return -1;
    }
    if (!roomfor(co, narg)) {
        lua_pushliteral(L, "corolib: too many arguments to resume");
        return -1;
    }
    if (co->status == LUA_OK && nvalues(co) == 0) {
        lua_pushliteral(L, "corolib: cannot resume dead coroutine");
        return -1;
    }
    lua_xmove(L, co, narg);
    return auxresume_end(L, co, lua_resume(co, L, narg));
}

int coresume_finish(lua_State* L, int r);

// coresume's continuation: carries on the coroutine (argument 1) that a
// hook yield suspended along with this thread.
int coresume_again(lua_State* L) {
    return coresume_finish(L, auxresume(L, lua_tothread(L, 1), 0, true));
}

int coresume_finish(lua_State* L, int r) {
    if (r == RESUME_HOOKYIELD) {
        // A hook yield (the host's CPU budget) suspends the whole chain of
        // resumes up to the host: this thread yields too, and when it is
        // resumed the coroutine is resumed where it stopped, so neither the
        // program nor coresume's results see anything of it.
        L->hookyielded = 1;
        return lua_yieldk(L, 0, 0, coresume_again);
    }
    if (r < 0) {
        lua_pushboolean(L, 0);
        lua_insert(L, -2);
        return 2;
    }
    return r + 1;  // true and the values, pushed by auxresume
}

}  // namespace

int lua_resume(lua_State* L, lua_State* from, int nargs) {
    L->vmrest = 0;
    unsigned short oldnny = L->nny;
    lua_State* oldresumer = L->resumer;
    L->resumer = from;
    L->hookyielded = 0;
    L->nCcalls = from ? static_cast<unsigned short>(from->nCcalls + 1) : 1;
    L->nny = 0;  // yields are allowed from here on
    unsigned short oldbase = L->baseCcalls;
    L->baseCcalls = L->nCcalls;
    int status = luaD_rawrunprotected(L, resume, L->top - nargs);
    status = status == ERR_RESUME ? LUA_ERRRUN : settle(L, status);
    L->nny = oldnny;
    L->baseCcalls = oldbase;
    L->resumer = oldresumer;
    L->nCcalls--;
    return status;
}

// ---- switches inside the instruction loop ----

namespace {

// Whether co, not marked vmrest, may be entered by luaCo_enter: at rest
// (the values a thread has between resumes), and either suspended by a C
// function without continuation (yield) whose callers are all Lua
// functions, so that what the resume's unrolling does for them is
// luaV_finishOp and the loop, or not started and holding a Lua function.
bool enterable(lua_State* L, lua_State* co) {
    if (co == L || co->hookyielded || co->errorJmp != nullptr || co->resumer != nullptr || co->nny != 1 ||
        co->baseCcalls != 0)
        return false;
    CallInfo* cci = co->ci;
    if (co->status == LUA_YIELD) {
        if (isLua(cci) || cci->u.c.k != nullptr) return false;
        for (CallInfo* c = cci->previous; c != &co->base_ci; c = c->previous)
            if (!isLua(c)) return false;
        return true;
    }
    return co->status == LUA_OK && cci == &co->base_ci && nvalues(co) > 0 && ttisLclosure(co->top - 1);
}

// coresume's call on L, as luaD_callC makes it, and the arguments moved to
// co and co started as lua_resume starts a thread. Returns the first
// argument's slot on co.
inline StkId startresume(lua_State* L, lua_State* co, StkId func, int nresults, int narg, luaCo_Switch* sw) {
    CallInfo* ci = L->ci = L->ci->next;
    ci->nresults = short(nresults);
    ci->func = func;
    ci->top = L->top + LUA_MINSTACK;
    ci->callstatus = 0;
    StkId from = L->top - narg;
    StkId firstArg = co->top;
    for (int j = 0; j < narg; j++) setobj(firstArg + j, from + j);
    co->top = firstArg + narg;
    L->top = from;
    co->vmrest = 0;
    co->resumer = L;
    co->nCcalls = static_cast<unsigned short>(L->nCcalls + 1);
    co->baseCcalls = co->nCcalls;
    co->nny = 0;
    co->errorJmp = &sw->lj;
    sw->running = co;
    return firstArg;
}

// luaCo_enter for a thread not marked vmrest: checked in full, and started
// or carried on through luaD_precall or luaD_poscall and luaV_finishOp.
[[gnu::noinline]] lua_State* enterslow(lua_State* L, lua_State* co, StkId func, int nresults, int narg,
                                       luaCo_Switch* sw) {
    if (!enterable(L, co)) return nullptr;
    StkId firstArg = startresume(L, co, func, nresults, narg, sw);
    if (co->status == LUA_OK) {
        luaD_precall(co, firstArg - 1, LUA_MULTRET);  // a Lua function: sets up its frame
    } else {
        CallInfo* cci = co->ci;
        co->status = LUA_OK;
        cci->func = restorestack(co, cci->extra);
        luaD_poscall(co, firstArg);  // the arguments are yield's results
        luaV_finishOp(co);           // ends the instruction that called it
    }
    return co;
}

}  // namespace

lua_State* luaCo_enter(lua_State* L, StkId func, int nresults, luaCo_Switch* sw) {
    constexpr int hooks = LUA_MASKCALL | LUA_MASKRET | LUA_MASKLINE;
    int narg = int(L->top - func) - 2;
    if (narg < 0 || !ttisthread(func + 1)) return nullptr;
    lua_State* co = thvalue(func + 1);
    // Anything unusual takes the C call, which checks and reports it: a
    // hook that sees calls or returns, resumes nested too deep, a stack to
    // grow, a CallInfo to allocate, a collection step due, a thread in any
    // other state.
    if ((L->hookmask | co->hookmask) & hooks) return nullptr;
    if (L->nCcalls + 1 >= LUAI_MAXCCALLS || co->stack_last - co->top <= narg ||
        L->stack_last - L->top <= LUA_MINSTACK || L->ci->next == nullptr || G(L)->GCdebt > 0)
        return nullptr;
    if (!co->vmrest) return enterslow(L, co, func, nresults, narg, sw);
    // Suspended by a yield the loop saw: the arguments are the results of
    // the OP_CALL that called yield (luaD_poscall and luaV_finishOp,
    // without the hook tests). This path makes no call, so fewer registers
    // are saved: 82 host instructions a resume instead of 93.
    StkId firstArg = startresume(L, co, func, nresults, narg, sw);
    CallInfo* cci = co->ci;
    co->status = LUA_OK;
    StkId res = restorestack(co, cci->extra);
    int wanted = cci->nresults;
    co->ci = cci = cci->previous;
    int n;
    for (n = wanted; n != 0 && firstArg < co->top; n--) setobj(res++, firstArg++);
    while (n-- > 0) setnilvalue(res++);
    co->top = wanted == LUA_MULTRET ? res : cci->top;
    return co;
}

namespace {

// luaCo_leave for the unusual ends: lua_resume's and coresume's own steps.
[[gnu::noinline]] lua_State* leaveslow(lua_State* co, int status, luaCo_Switch* sw) {
    for (;;) {
        lua_State* L = co->resumer;
        // The rest of lua_resume: after an error the thread's C call count
        // is what it was at the start (as luaD_rawrunprotected leaves it);
        // a return into a Lua function that a C call had entered (a yield
        // inside a metamethod) goes on through the unrolling.
        co->errorJmp = nullptr;
        co->nCcalls = co->baseCcalls;
        if (status == LUA_OK && co->ci != &co->base_ci) status = luaD_rawrunprotected(co, unroll, nullptr);
        status = settle(co, status);
        co->nny = 1;
        co->baseCcalls = 0;
        co->resumer = nullptr;
        co->nCcalls--;
        // The rest of coresume, and of its call on L (luaD_callC).
        sw->running = L;
        int n = coresume_finish(L, auxresume_end(L, co, status));
        if (L->status == LUA_YIELD) {  // a hook yield suspends L in its turn
            if (L == sw->entry) return nullptr;
            co = L;
            status = LUA_YIELD;
            continue;
        }
        if (luaD_poscall(L, L->top - n)) L->top = L->ci->top;
        return L;
    }
}

// What the C call to a yield function at func would do in a coroutine the
// loop entered (luaD_callC's frame for it and lua_yieldk), when nothing
// unusual is due: suspends L, yielding every value above func or none.
// Returns false, having changed nothing, for anything else: the thread the
// loop started with (its yield returns from the loop), a C call or a
// generator in progress below, a yield that is refused, a stack to grow, a
// CallInfo to allocate, a collection step due.
bool yieldhere(lua_State* L, StkId func, int nresults, bool all, luaCo_Switch* sw) {
    CallInfo* ci = L->ci->next;
    if (L == sw->entry || ci == nullptr || L->nny > 0 || L->hookyielded || L->tforactive ||
        L->nCcalls != L->baseCcalls || L->stack_last - L->top <= LUA_MINSTACK || G(L)->GCdebt > 0)
        return false;
    L->ci = ci;
    ci->nresults = short(nresults);
    ci->top = L->top + LUA_MINSTACK;
    ci->callstatus = 0;
    ci->extra = savestack(L, func);
    ci->func = all ? func : L->top - 1;  // only the yielded values above it
    ci->u.c.k = nullptr;
    L->status = LUA_YIELD;
    return true;
}

}  // namespace

lua_State* luaCo_switch(lua_State* L, lua_CFunction f, StkId func, int nresults, luaCo_Switch* sw) {
    if (f == luaB_coresume) return luaCo_enter(L, func, nresults, sw);
    if (!yieldhere(L, func, nresults, f == luaB_yield, sw)) return nullptr;
    // Never null: luaCo_leave gives null only for a chain that a hook yield
    // suspends, and yieldhere refused a thread marked by one.
    return luaCo_leave(L, LUACO_YIELDED, sw);
}

lua_State* luaCo_leave(lua_State* co, int status, luaCo_Switch* sw) {
    if (status == LUACO_YIELDED) {
        if (co->hookyielded || co->ci->u.c.k != nullptr) return leaveslow(co, LUA_YIELD, sw);
    } else if (status != LUA_OK || co->ci != &co->base_ci) {
        return leaveslow(co, status, sw);
    }
    // The usual ends, a yield out of a C function that the loop called or
    // a return of the coroutine's function: true and the values go
    // straight to where coresume's results belong (lua_resume's end,
    // auxresume_end, luaD_poscall).
    lua_State* L = co->resumer;
    CallInfo* ci = L->ci;  // coresume's call
    StkId from = co->ci->func + 1;
    int nres = int(co->top - from);
    StkId res = ci->func;
    if ((L->hookmask & (LUA_MASKRET | LUA_MASKLINE)) || L->stack_last - res <= nres + 1)
        return leaveslow(co, status == LUACO_YIELDED ? LUA_YIELD : status, sw);
    int wanted = ci->nresults;
    co->vmrest = status == LUACO_YIELDED;
    co->errorJmp = nullptr;
    co->nny = 1;
    co->baseCcalls = 0;
    co->resumer = nullptr;
    co->nCcalls = L->nCcalls;
    co->top = from;
    sw->running = L;
    L->ci = ci->previous;
    int total = nres + 1;  // true and the values
    int n = wanted == LUA_MULTRET ? total : wanted;
    if (n > 0) setbvalue(res, 1);
    int j;
    for (j = 1; j < n && j < total; j++) setobj(res + j, from + j - 1);
    for (; j < n; j++) setnilvalue(res + j);
    L->top = wanted == LUA_MULTRET ? res + total : L->ci->top;
    return L;
}

void lua_vexel_stop(lua_State* L) {
    G(L)->stopping = 1;
    luaG_stoperror(L);
}

int lua_vexel_stopping(lua_State* L) { return G(L)->stopping; }
void lua_vexel_clear_stop(lua_State* L) { G(L)->stopping = 0; }

int lua_vexel_canyieldall(lua_State* L) {
    for (lua_State* T = L; T != nullptr; T = T->resumer)
        if (T->nny > 0) return 0;
    return 1;
}

int lua_isyieldable(lua_State* L) { return L->nny == 0; }

int lua_yieldk(lua_State* L, int nresults, int ctx, lua_CFunction k) {
    CallInfo* ci = L->ci;
    if (L->nny > 0) {
        if (L != G(L)->mainthread)
            luaG_runerror(L, "attempt to yield across a C-call boundary");
        else
            luaG_runerror(L, "attempt to yield from outside a coroutine");
    }
    L->status = LUA_YIELD;
    // Generators in progress finish through the resume's unrolling from
    // now on, as those called through luaD_call do: their OP_TFORLOOP then
    // runs (and counts) as an instruction of its own.
    if (L->tforactive) {
        for (CallInfo* c = ci; c != &L->base_ci; c = c->previous) c->callstatus &= static_cast<unsigned short>(~CIST_TFOR);
        L->tforactive = 0;
    }
    ci->extra = savestack(L, ci->func);
    if (isLua(ci)) {  // inside a hook: the instruction loop unwinds (traceexec)
        L->hookyielded = 1;
        return 0;
    }
    ci->u.c.k = k;
    if (k != nullptr) ci->u.c.ctx = ctx;
    ci->func = L->top - nresults - 1;  // only the results stay above func
    // Called from Lua code the resume is running directly (no C call in
    // between, not in a hook): return, and the instruction loop returns to
    // the resume, much cheaper than unwinding.
    if (L->nCcalls == L->baseCcalls && !(ci->callstatus & CIST_HOOKED)) return -1;
    luaD_throw(L, LUA_YIELD);
}

// ---- the cartridge's functions ----

int luaB_cocreate(lua_State* L) {
    luaL_checktype(L, 1, LUA_TFUNCTION);
    lua_State* NL = lua_newthread(L);
    lua_pushvalue(L, 1);
    lua_xmove(L, NL, 1);
    return 1;
}

int luaB_coresume(lua_State* L) {
    lua_State* co = getco(L);
    return coresume_finish(L, auxresume(L, co, nvalues(L) - 1, false));
}

int luaB_costatus(lua_State* L) {
    lua_State* co = getco(L);
    if (L == co) {
        lua_pushliteral(L, "running");
        return 1;
    }
    switch (lua_status(co)) {
    case LUA_YIELD:
        if (co->hookyielded)
            lua_pushliteral(L, "normal");  // its resumer is suspended resuming it
        else
            lua_pushliteral(L, "suspended");
        break;
    case LUA_OK: {
        lua_Debug ar;
        if (lua_getstack(co, 0, &ar) > 0)
            lua_pushliteral(L, "normal");  // it resumed the running one
        else if (lua_gettop(co) == 0)
            lua_pushliteral(L, "dead");
        else
            lua_pushliteral(L, "suspended");  // not started yet
        break;
    }
    default: lua_pushliteral(L, "dead"); break;
    }
    return 1;
}

int luaB_yield(lua_State* L) { return lua_yield(L, nvalues(L)); }

int luaB_yieldnothing(lua_State* L) { return lua_yield(L, 0); }

void luaB_open_cart_co(lua_State* L) {
    static const luaL_Reg funcs[] = {
        {"cocreate", luaB_cocreate}, {"coresume", luaB_coresume}, {"costatus", luaB_costatus},
        {"yield", luaB_yield},       {nullptr, nullptr},
    };
    for (const luaL_Reg* r = funcs; r->name; r++) {
        lua_pushcfunction(L, r->func);
        lua_setglobal(L, r->name);
    }
}

