// Object creation and release. Every object is linked on g->allgc when it is
// created; until the incremental collector exists nothing is reclaimed
// before lua_close, which frees them all here.
#include "runtime/lua/lua_gc.h"

#include "runtime/lua/lua_func.h"
#include "runtime/lua/lua_mem.h"
#include "runtime/lua/lua_state.h"
#include "runtime/lua/lua_string.h"
#include "runtime/lua/lua_table.h"

GCObject* luaC_newobj(lua_State* L, int tt, size_t sz, GCObject** list, int offset) {
    global_State* g = G(L);
    char* raw = static_cast<char*>(luaM_realloc_(L, nullptr, size_t(tt), sz));
    auto* o = reinterpret_cast<GCObject*>(raw + offset);
    if (list == nullptr) list = &g->allgc;
    o->marked = g->currentwhite;
    o->tt = lu_byte(tt);
    o->next = *list;
    *list = o;
    return o;
}

void luaC_freeobj(lua_State* L, GCObject* o) {
    switch (o->tt) {
    case LUA_TPROTO: luaF_freeproto(L, static_cast<Proto*>(o)); break;
    case LUA_TLCL: {
        auto* cl = static_cast<LClosure*>(o);
        luaM_freemem(L, cl, sizeLclosure(cl->nupvalues));
        break;
    }
    case LUA_TCCL: {
        auto* cl = static_cast<CClosure*>(o);
        luaM_freemem(L, cl, sizeCclosure(cl->nupvalues));
        break;
    }
    case LUA_TUPVAL: luaF_freeupval(L, static_cast<UpVal*>(o)); break;
    case LUA_TTABLE: luaH_free(L, static_cast<Table*>(o)); break;
    case LUA_TTHREAD: luaE_freethread(L, static_cast<lua_State*>(o)); break;
    case LUA_TUSERDATA: {
        auto* u = static_cast<Udata*>(o);
        luaM_freemem(L, u, sizeof(Udata) + u->len);
        break;
    }
    case LUA_TSHRSTR:
    case LUA_TLNGSTR: {
        auto* ts = static_cast<TString*>(o);
        luaM_freemem(L, ts, sizestring(ts->len));
        break;
    }
    default: break;
    }
}

void luaC_freeallobjects(lua_State* L) {
    global_State* g = G(L);
    // Close the open upvalues of every thread first: closing moves them to
    // allgc, so they are freed with everything else.
    luaF_close(L, L->stack);
    for (GCObject* o = g->allgc; o; o = o->next)
        if (o->tt == LUA_TTHREAD) {
            auto* th = static_cast<lua_State*>(o);
            if (th->stack) luaF_close(th, th->stack);
        }
    while (g->allgc) {
        GCObject* o = g->allgc;
        g->allgc = o->next;
        luaC_freeobj(L, o);
    }
    while (g->finobj) {
        GCObject* o = g->finobj;
        g->finobj = o->next;
        luaC_freeobj(L, o);
    }
}

void luaC_checkGC(lua_State*) {}
void luaC_step(lua_State*) {}
void luaC_fullgc(lua_State*, int) {}
void luaC_checkfinalizer(lua_State*, GCObject*, Table*) {}
