// Coroutines: lua_resume / lua_yieldk, finishing calls interrupted by a
// yield, and the cartridge's coroutine functions.
//
// A yield unwinds the C stack (an exception to the recover point set by
// lua_resume); what was running is left on the thread's own stack and call
// list. Resuming rebuilds the C side: a C function that yielded is finished
// (its continuation runs, or its results are the resume arguments), then
// every interrupted Lua call finishes the instruction that was cut short
// (luaV_finishOp) and carries on in luaV_execute.
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

// Moves narg arguments into co and resumes it; returns the number of values
// moved back (pushed above a true), -1 with the error message on L's stack,
// or RESUME_HOOKYIELD.
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
    int status = lua_resume(co, L, narg);
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
    unsigned short oldnny = L->nny;
    lua_State* oldresumer = L->resumer;
    L->resumer = from;
    L->hookyielded = 0;
    L->nCcalls = from ? static_cast<unsigned short>(from->nCcalls + 1) : 1;
    L->nny = 0;  // yields are allowed from here on
    unsigned short oldbase = L->baseCcalls;
    L->baseCcalls = L->nCcalls;
    int status = luaD_rawrunprotected(L, resume, L->top - nargs);
    // A yield out of a C function called straight from the resumed Lua
    // code returns normally instead of unwinding.
    if (status == LUA_OK && L->status == LUA_YIELD) status = LUA_YIELD;
    if (status == ERR_RESUME) {
        status = LUA_ERRRUN;
    } else {
        while (status != LUA_OK && status != LUA_YIELD) {
            if (!G(L)->stopping && recover(L, status)) {
                status = luaD_rawrunprotected(L, unroll, nullptr);
            } else {  // the thread dies; its stack is kept for a traceback
                L->status = lu_byte(status);
                luaD_seterrorobj(L, status, L->top);
                L->ci->top = L->top;
                break;
            }
        }
    }
    L->nny = oldnny;
    L->baseCcalls = oldbase;
    L->resumer = oldresumer;
    L->nCcalls--;
    return status;
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

