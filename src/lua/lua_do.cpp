// Stack management, error unwinding and the protected parser.
#include "lua/lua_do.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "lua/lua_debug.h"
#include "lua/lua_func.h"
#include "lua/lua_gc.h"
#include "lua/lua_mem.h"
#include "lua/lua_parse.h"
#include "lua/lua_string.h"

namespace {
constexpr int ERRORSTACKSIZE = LUAI_MAXSTACK + 200;
}

void luaD_seterrorobj(lua_State* L, int errcode, StkId oldtop) {
    switch (errcode) {
    case LUA_ERRMEM: setsvalue(L, oldtop, G(L)->memerrmsg); break;
    case LUA_ERRERR: setsvalue(L, oldtop, luaS_newliteral(L, "error in error handling")); break;
    default: setobj(oldtop, L->top - 1); break;
    }
    L->top = oldtop + 1;
}

void luaD_throw(lua_State* L, int errcode) {
    if (L->errorJmp) {
        L->errorJmp->status = errcode;
        throw L->errorJmp;
    }
    global_State* g = G(L);
    L->status = lu_byte(errcode);
    if (g->mainthread->errorJmp) {  // main thread has a handler: propagate the error there
        setobj(g->mainthread->top++, L->top - 1);
        luaD_throw(g->mainthread, errcode);
    }
    if (g->panic) g->panic(L);
    std::abort();
}

int luaD_rawrunprotected(lua_State* L, Pfunc f, void* ud) {
    unsigned short oldnCcalls = L->nCcalls;
    lua_longjmp lj;
    lj.status = LUA_OK;
    lj.previous = L->errorJmp;
    L->errorJmp = &lj;
    try {
        f(L, ud);
    } catch (lua_longjmp* e) {
        if (e != &lj) {  // thrown past this level: cannot happen, treat as a run error
            lj.status = e->status ? e->status : LUA_ERRRUN;
        }
        if (lj.status == LUA_OK) lj.status = -1;
    } catch (const std::bad_alloc&) {
        // Host memory used by the interpreter's own helpers ran out.
        lj.status = LUA_ERRMEM;
    }
    L->errorJmp = lj.previous;
    L->nCcalls = oldnCcalls;
    return lj.status;
}

namespace {

void correctstack(lua_State* L, TValue* oldstack) {
    L->top = (L->top - oldstack) + L->stack;
    for (GCObject* up = L->openupval; up != nullptr; up = up->next) {
        auto* uv = static_cast<UpVal*>(up);
        uv->v = (uv->v - oldstack) + L->stack;
    }
    for (CallInfo* ci = L->ci; ci != nullptr; ci = ci->previous) {
        ci->top = (ci->top - oldstack) + L->stack;
        ci->func = (ci->func - oldstack) + L->stack;
        if (isLua(ci)) ci->u.l.base = (ci->u.l.base - oldstack) + L->stack;
    }
}

}  // namespace

void luaD_reallocstack(lua_State* L, int newsize) {
    lua_assert(newsize <= LUAI_MAXSTACK || newsize == ERRORSTACKSIZE);
    lua_assert(L->stack_last - L->stack == L->stacksize - EXTRA_STACK);
    TValue* oldstack = L->stack;
    int lim = L->stacksize;
    luaM_reallocvector(L, L->stack, size_t(L->stacksize), size_t(newsize));
    for (; lim < newsize; lim++) setnilvalue(L->stack + lim);
    L->stacksize = newsize;
    L->stack_last = L->stack + newsize - EXTRA_STACK;
    correctstack(L, oldstack);
}

void luaD_growstack(lua_State* L, int n) {
    int size = L->stacksize;
    if (size > LUAI_MAXSTACK) {  // error after extra size?
        luaD_throw(L, LUA_ERRERR);
    } else {
        int needed = int(L->top - L->stack) + n + EXTRA_STACK;
        int newsize = 2 * size;
        if (newsize > LUAI_MAXSTACK) newsize = LUAI_MAXSTACK;
        if (newsize < needed) newsize = needed;
        if (newsize > LUAI_MAXSTACK) {  // stack overflow?
            luaD_reallocstack(L, ERRORSTACKSIZE);
            luaG_runerror(L, "stack overflow");
        } else {
            luaD_reallocstack(L, newsize);
        }
    }
}

namespace {
int stackinuse(lua_State* L) {
    StkId lim = L->top;
    for (CallInfo* ci = L->ci; ci != nullptr; ci = ci->previous)
        if (lim < ci->top) lim = ci->top;
    return int(lim - L->stack) + 1;
}
}  // namespace

void luaD_shrinkstack(lua_State* L) {
    int inuse = stackinuse(L);
    int goodsize = inuse + (inuse / 8) + 2 * EXTRA_STACK;
    if (goodsize > LUAI_MAXSTACK) goodsize = LUAI_MAXSTACK;
    if (inuse > LUAI_MAXSTACK || goodsize >= L->stacksize) {
        luaE_freeCI(L);
    } else {
        luaE_freeCI(L);
        luaD_reallocstack(L, goodsize);
    }
}

int luaD_pcall(lua_State* L, Pfunc func, void* u, ptrdiff_t old_top, ptrdiff_t ef) {
    CallInfo* old_ci = L->ci;
    lu_byte old_allowhooks = L->allowhook;
    unsigned short old_nny = L->nny;
    ptrdiff_t old_errfunc = L->errfunc;
    L->errfunc = ef;
    int status = luaD_rawrunprotected(L, func, u);
    if (status != LUA_OK) {
        StkId oldtop = restorestack(L, old_top);
        luaF_close(L, oldtop);
        luaD_seterrorobj(L, status, oldtop);
        L->ci = old_ci;
        L->allowhook = old_allowhooks;
        L->nny = old_nny;
        luaD_shrinkstack(L);
    }
    L->errfunc = old_errfunc;
    return status;
}

// ---- the protected parser ----

namespace {

struct SParser {
    ZIO* z;
    Mbuffer buff;
    Dyndata* dyd;
    const char* mode;
    const char* name;
};

void f_parser(lua_State* L, void* ud) {
    auto* p = static_cast<SParser*>(ud);
    int c = zgetc(p->z);
    if (c == LUA_SIGNATURE[0]) {
        // Precompiled chunks are never loaded: their code is not checked.
        luaO_pushfstring(L, "attempt to load a %s chunk (mode is '%s')", "binary", "t");
        luaD_throw(L, LUA_ERRSYNTAX);
    }
    if (p->mode && std::strchr(p->mode, 't') == nullptr) {
        luaO_pushfstring(L, "attempt to load a %s chunk (mode is '%s')", "text", p->mode);
        luaD_throw(L, LUA_ERRSYNTAX);
    }
    Closure* cl = luaY_parser(L, p->z, &p->buff, p->dyd, p->name, c);
    // Fresh upvalues for the main function (its _ENV is set by lua_load).
    for (int i = 0; i < cl->l.nupvalues; i++) {
        UpVal* up = luaF_newupval(L);
        cl->l.upvals[i] = up;
        luaC_objbarrier(L, &cl->l, up);
    }
}

}  // namespace

int luaD_protectedparser(lua_State* L, ZIO* z, const char* name, const char* mode) {
    SParser p;
    L->nny++;  // cannot yield during parsing
    // Nor collect: the compiler's objects are not all anchored where the
    // collector would see them.
    lu_byte gcrunning = G(L)->gcrunning;
    G(L)->gcrunning = 0;
    p.z = z;
    p.name = name;
    p.mode = mode;
    Dyndata dyd{};
    dyd.L = L;
    p.dyd = &dyd;
    luaZ_initbuffer(L, &p.buff);
    int status = luaD_pcall(L, f_parser, &p, savestack(L, L->top), L->errfunc);
    luaZ_freebuffer(L, &p.buff);
    G(L)->gcrunning = gcrunning;
    L->nny--;
    return status;
}

Dyndata::~Dyndata() {
    luaM_freearray(L, actvar.arr, size_t(actvar.size));
    luaM_freearray(L, gt.arr, size_t(gt.size));
    luaM_freearray(L, label.arr, size_t(label.size));
}

