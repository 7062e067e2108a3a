// Prototypes, closures and upvalues.
#include "lua/lua_func.h"

#include "lua/lua_gc.h"
#include "lua/lua_mem.h"
#include "lua/lua_state.h"

Closure* luaF_newCclosure(lua_State* L, int n) {
    auto* c = reinterpret_cast<Closure*>(luaC_newobj(L, LUA_TCCL, sizeCclosure(n), nullptr, 0));
    c->c.nupvalues = lu_byte(n);
    c->c.gclist = nullptr;
    c->c.f = nullptr;
    c->c.numfn = nullptr;
    return c;
}

Closure* luaF_newLclosure(lua_State* L, int n) {
    auto* c = reinterpret_cast<Closure*>(luaC_newobj(L, LUA_TLCL, sizeLclosure(n), nullptr, 0));
    c->l.p = nullptr;
    c->l.nupvalues = lu_byte(n);
    c->l.gclist = nullptr;
    for (int i = 0; i < n; i++) c->l.upvals[i] = nullptr;
    return c;
}

UpVal* luaF_newupval(lua_State* L) {
    auto* uv = static_cast<UpVal*>(luaC_newobj(L, LUA_TUPVAL, sizeof(UpVal), nullptr, 0));
    uv->v = &uv->u.value;
    setnilvalue(uv->v);
    return uv;
}

UpVal* luaF_findupval(lua_State* L, StkId level) {
    global_State* g = G(L);
    GCObject** pp = &L->openupval;
    UpVal* p;
    while (*pp != nullptr && (p = static_cast<UpVal*>(*pp))->v >= level) {
        lua_assert(p->v != &p->u.value);  // the thread's list holds open upvalues only
        if (p->v == level) return p;
        pp = &p->next;
    }
    // Not found: create a new open upvalue, linked into the thread's list
    // (not on allgc while open) and the global list of open upvalues.
    auto* uv = static_cast<UpVal*>(luaM_realloc_(L, nullptr, LUA_TUPVAL, sizeof(UpVal)));
    uv->tt = LUA_TUPVAL;
    uv->marked = g->currentwhite;
    uv->v = level;
    uv->next = *pp;
    *pp = uv;
    uv->u.l.prev = &g->uvhead;
    uv->u.l.next = g->uvhead.u.l.next;
    uv->u.l.next->u.l.prev = uv;
    g->uvhead.u.l.next = uv;
    return uv;
}

namespace {
void unlinkupval(UpVal* uv) {
    lua_assert(uv->u.l.next->u.l.prev == uv && uv->u.l.prev->u.l.next == uv);
    uv->u.l.next->u.l.prev = uv->u.l.prev;
    uv->u.l.prev->u.l.next = uv->u.l.next;
}
}  // namespace

void luaF_freeupval(lua_State* L, UpVal* uv) {
    if (uv->v != &uv->u.value) unlinkupval(uv);  // still open
    luaM_freemem(L, uv, sizeof(UpVal));
}

void luaF_close(lua_State* L, StkId level) {
    global_State* g = G(L);
    UpVal* uv;
    while (L->openupval != nullptr && (uv = static_cast<UpVal*>(L->openupval))->v >= level) {
        lua_assert(uv->v != &uv->u.value);
        L->openupval = uv->next;
        unlinkupval(uv);
        setobj(&uv->u.value, uv->v);
        uv->v = &uv->u.value;
        uv->next = g->allgc;  // now an ordinary object
        g->allgc = uv;
        luaC_upvalclosed(L, uv);
    }
}

Proto* luaF_newproto(lua_State* L) {
    auto* f = static_cast<Proto*>(luaC_newobj(L, LUA_TPROTO, sizeof(Proto), nullptr, 0));
    f->k = nullptr;
    f->sizek = 0;
    f->p = nullptr;
    f->sizep = 0;
    f->code = nullptr;
    f->cache = nullptr;
    f->sizecode = 0;
    f->lineinfo = nullptr;
    f->sizelineinfo = 0;
    f->upvalues = nullptr;
    f->sizeupvalues = 0;
    f->numparams = 0;
    f->is_vararg = 0;
    f->maxstacksize = 0;
    f->framespan = 0;
    f->locvars = nullptr;
    f->sizelocvars = 0;
    f->linedefined = 0;
    f->lastlinedefined = 0;
    f->source = nullptr;
    f->gclist = nullptr;
    return f;
}

void luaF_freeproto(lua_State* L, Proto* f) {
    luaM_freearray(L, f->code, size_t(f->sizecode));
    luaM_freearray(L, f->p, size_t(f->sizep));
    luaM_freearray(L, f->k, size_t(f->sizek));
    luaM_freearray(L, f->lineinfo, size_t(f->sizelineinfo));
    luaM_freearray(L, f->locvars, size_t(f->sizelocvars));
    luaM_freearray(L, f->upvalues, size_t(f->sizeupvalues));
    luaM_freemem(L, f, sizeof(Proto));
}

const char* luaF_getlocalname(const Proto* f, int local_number, int pc) {
    for (int i = 0; i < f->sizelocvars && f->locvars[i].startpc <= pc; i++) {
        if (pc < f->locvars[i].endpc) {  // is variable active?
            local_number--;
            if (local_number == 0) return getstr(f->locvars[i].varname);
        }
    }
    return nullptr;
}
