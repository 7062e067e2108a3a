// Object creation and the garbage collector.
//
// The collector is a mark-and-sweep collector paced like Lua 5.2.3's: a
// cycle starts once the bytes allocated since the last one reach the pause
// (200%) of what survived it, and lua_gc controls it the same way. A cycle
// runs to its end in one go (the console stops the collector while a
// program runs and collects between frames, so there is nothing to gain
// from interleaving); the barrier functions therefore have nothing to do.
//
// Colours: objects are white (one of two whites: the current one for new
// and surviving objects, the other one for objects found dead by the last
// mark) or black (reached). Open upvalues are not on allgc: they belong to
// their thread's list and are freed with it or moved to allgc when closed.
// Objects with a __gc metamethod move from allgc to finobj when the
// metatable is set; unreached ones move to tobefnz, are marked again
// (resurrected for one cycle) and are finalized after the sweep.
#include "runtime/lua/lua_gc.h"

#include <cstring>

#include "runtime/lua/lua_do.h"
#include "runtime/lua/lua_func.h"
#include "runtime/lua/lua_mem.h"
#include "runtime/lua/lua_state.h"
#include "runtime/lua/lua_string.h"
#include "runtime/lua/lua_table.h"
#include "runtime/lua/lua_tm.h"

namespace {

constexpr lu_byte WHITE0BIT = 1 << 0;
constexpr lu_byte WHITE1BIT = 1 << 1;
constexpr lu_byte BLACKBIT = 1 << 2;
constexpr lu_byte SEPARATED = 1 << 4;  // on finobj or tobefnz
constexpr lu_byte WHITEBITS = WHITE0BIT | WHITE1BIT;
// Bytes counted as allocated between collections at least.
constexpr lu_mem GCMINDEBT = 1024;

inline lu_byte otherwhite(const global_State* g) { return lu_byte(g->currentwhite ^ WHITEBITS); }
inline bool iswhite(const GCObject* o) { return (o->marked & WHITEBITS) != 0; }
inline bool isblack(const GCObject* o) { return (o->marked & BLACKBIT) != 0; }
inline bool isdead(const global_State* g, const GCObject* o) { return (o->marked & otherwhite(g) & WHITEBITS) != 0; }
inline void makewhite(const global_State* g, GCObject* o) {
    o->marked = lu_byte((o->marked & ~(WHITEBITS | BLACKBIT)) | g->currentwhite);
}
inline GCObject* obj2gco(void* p) { return static_cast<GCObject*>(p); }

lu_mem gettotalbytes(const global_State* g) { return g->totalbytes + lu_mem(g->GCdebt); }

// Reserved words, tag-method names and the memory error message live as
// long as the state.
bool isfixed(const global_State* g, GCObject* o) {
    if (o->tt == LUA_TSHRSTR && isreserved(static_cast<TString*>(o))) return true;
    return o == g->memerrmsg;
}

// ---- marking ----

struct Marker {
    lua_State* L;
    global_State* g;
    GCObject* gray = nullptr;       // reached, contents not yet traversed
    GCObject* weak = nullptr;       // tables with weak values
    GCObject* ephemeron = nullptr;  // tables with weak keys
    GCObject* allweak = nullptr;    // tables with weak keys and values
};

GCObject** gclist_of(GCObject* o) {
    switch (o->tt) {
    case LUA_TTABLE: return &static_cast<Table*>(o)->gclist;
    case LUA_TLCL: return &reinterpret_cast<LClosure*>(o)->gclist;
    case LUA_TCCL: return &reinterpret_cast<CClosure*>(o)->gclist;
    case LUA_TTHREAD: return &static_cast<lua_State*>(o)->gclist;
    case LUA_TPROTO: return &static_cast<Proto*>(o)->gclist;
    default: return nullptr;
    }
}

void markobject(Marker& m, GCObject* o);

inline void markvalue(Marker& m, const TValue* v) {
    if (iscollectable(v) && iswhite(gcvalue(v))) markobject(m, gcvalue(v));
}
inline void markobj(Marker& m, GCObject* o) {
    if (o != nullptr && iswhite(o)) markobject(m, o);
}

void markobject(Marker& m, GCObject* o) {
    o->marked = lu_byte((o->marked & ~WHITEBITS) | BLACKBIT);
    switch (o->tt) {
    case LUA_TSHRSTR:
    case LUA_TLNGSTR: return;  // no references
    case LUA_TUSERDATA: {
        auto* u = static_cast<Udata*>(o);
        markobj(m, u->metatable);
        markobj(m, u->env);
        return;
    }
    case LUA_TUPVAL: {
        auto* uv = static_cast<UpVal*>(o);
        // An open upvalue's value lives in its thread's stack, marked with
        // the thread (or by the pass over open upvalues).
        if (uv->v == &uv->u.value) markvalue(m, uv->v);
        return;
    }
    default: {
        GCObject** list = gclist_of(o);
        if (list == nullptr) return;
        *list = m.gray;
        m.gray = o;
        return;
    }
    }
}

void linkgclist(GCObject* o, GCObject*& list) {
    *gclist_of(o) = list;
    list = o;
}

// Whether a weak entry's value is gone: strings are values, never cleared.
bool iscleared(Marker& m, const TValue* o) {
    if (!iscollectable(o)) return false;
    if (ttisstring(o)) {
        markobj(m, gcvalue(o));
        return false;
    }
    return iswhite(gcvalue(o));
}

void removeentry(Node* n) {
    TValue* k = tkey_tvalue(gkey(n));
    if (iscollectable(k)) setdeadvalue(k);  // keeps the pointer for next()
}

void traverseweakvalue(Marker& m, Table* h) {
    bool hasclears = h->sizearray > 0;
    for (int i = 0; i < sizenode(h); i++) {
        Node* n = gnode(h, i);
        if (ttisnil(gval(n))) {
            removeentry(n);
        } else {
            markvalue(m, tkey_tvalue(gkey(n)));
            if (!hasclears && iscleared(m, gval(n))) hasclears = true;
        }
    }
    if (hasclears) linkgclist(h, m.weak);
}

// Weak keys: a value is reached only through a reached key. Returns whether
// anything was marked.
bool traverseephemeron(Marker& m, Table* h) {
    bool marked = false;
    bool hasclears = false;
    bool prop = false;  // some white key with a white value
    for (int i = 0; i < h->sizearray; i++) {
        if (iscollectable(&h->array[i]) && iswhite(gcvalue(&h->array[i]))) {
            marked = true;
            markobject(m, gcvalue(&h->array[i]));
        }
    }
    for (int i = 0; i < sizenode(h); i++) {
        Node* n = gnode(h, i);
        if (ttisnil(gval(n))) {
            removeentry(n);
        } else if (iscleared(m, tkey_tvalue(gkey(n)))) {
            hasclears = true;
            if (iscollectable(gval(n)) && iswhite(gcvalue(gval(n)))) prop = true;
        } else if (iscollectable(gval(n)) && iswhite(gcvalue(gval(n)))) {
            marked = true;
            markobject(m, gcvalue(gval(n)));
        }
    }
    if (prop)
        linkgclist(h, m.ephemeron);
    else if (hasclears)
        linkgclist(h, m.allweak);
    return marked;
}

void traversestrongtable(Marker& m, Table* h) {
    for (int i = 0; i < h->sizearray; i++) markvalue(m, &h->array[i]);
    for (int i = 0; i < sizenode(h); i++) {
        Node* n = gnode(h, i);
        if (ttisnil(gval(n))) {
            removeentry(n);
        } else {
            markvalue(m, tkey_tvalue(gkey(n)));
            markvalue(m, gval(n));
        }
    }
}

void traversetable(Marker& m, Table* h) {
    markobj(m, h->metatable);
    const TValue* mode = luaT_fasttm(m.L, h->metatable, TM_MODE);
    if (mode && ttisstring(mode)) {
        const char* s = svalue(mode);
        bool weakkey = std::strchr(s, 'k') != nullptr;
        bool weakvalue = std::strchr(s, 'v') != nullptr;
        if (weakkey || weakvalue) {
            h->marked &= lu_byte(~BLACKBIT);  // revisited after the mark
            if (!weakkey)
                traverseweakvalue(m, h);
            else if (!weakvalue)
                traverseephemeron(m, h);
            else
                linkgclist(h, m.allweak);
            return;
        }
    }
    traversestrongtable(m, h);
}

void traverseproto(Marker& m, Proto* f) {
    if (f->cache && iswhite(&f->cache->l)) f->cache = nullptr;  // the cache does not keep a closure alive
    markobj(m, f->source);
    for (int i = 0; i < f->sizek; i++) markvalue(m, &f->k[i]);
    for (int i = 0; i < f->sizeupvalues; i++) markobj(m, f->upvalues[i].name);
    for (int i = 0; i < f->sizep; i++) markobj(m, f->p[i]);
    for (int i = 0; i < f->sizelocvars; i++) markobj(m, f->locvars[i].varname);
}

void traversethread(Marker& m, lua_State* th) {
    StkId o = th->stack;
    if (o == nullptr) return;  // being built
    for (; o < th->top; o++) markvalue(m, o);
    // Dead slots above the top may hold stale values: clear them so they
    // never point to freed objects.
    for (; o < th->stack + th->stacksize; o++) setnilvalue(o);
    for (GCObject* uv = th->openupval; uv != nullptr; uv = uv->next)
        if (iswhite(uv)) uv->marked = lu_byte((uv->marked & ~WHITEBITS) | BLACKBIT);
}

void propagatemark(Marker& m) {
    GCObject* o = m.gray;
    m.gray = *gclist_of(o);
    switch (o->tt) {
    case LUA_TTABLE: traversetable(m, static_cast<Table*>(o)); break;
    case LUA_TLCL: {
        auto* cl = reinterpret_cast<LClosure*>(o);
        markobj(m, cl->p);
        for (int i = 0; i < cl->nupvalues; i++) markobj(m, cl->upvals[i]);
        break;
    }
    case LUA_TCCL: {
        auto* cl = reinterpret_cast<CClosure*>(o);
        for (int i = 0; i < cl->nupvalues; i++) markvalue(m, &cl->upvalue[i]);
        break;
    }
    case LUA_TTHREAD: traversethread(m, static_cast<lua_State*>(o)); break;
    case LUA_TPROTO: traverseproto(m, static_cast<Proto*>(o)); break;
    default: break;
    }
}

void propagateall(Marker& m) {
    while (m.gray) propagatemark(m);
}

void convergeephemerons(Marker& m) {
    bool changed;
    do {
        GCObject* next = m.ephemeron;
        m.ephemeron = nullptr;
        changed = false;
        while (next) {
            GCObject* w = next;
            next = static_cast<Table*>(w)->gclist;
            if (traverseephemeron(m, static_cast<Table*>(w))) {
                propagateall(m);
                changed = true;
            }
        }
    } while (changed);
}

void clearkeys(Marker& m, GCObject* l) {
    for (; l; l = static_cast<Table*>(l)->gclist) {
        Table* h = static_cast<Table*>(l);
        for (int i = 0; i < sizenode(h); i++) {
            Node* n = gnode(h, i);
            if (!ttisnil(gval(n)) && iscleared(m, tkey_tvalue(gkey(n)))) {
                setnilvalue(gval(n));
                removeentry(n);
            }
        }
    }
}

// Clears the dead values of the weak tables on list l up to (not including)
// table `until`.
void clearvalues(Marker& m, GCObject* l, GCObject* until) {
    for (; l != until; l = static_cast<Table*>(l)->gclist) {
        Table* h = static_cast<Table*>(l);
        for (int i = 0; i < h->sizearray; i++)
            if (iscleared(m, &h->array[i])) setnilvalue(&h->array[i]);
        for (int i = 0; i < sizenode(h); i++) {
            Node* n = gnode(h, i);
            if (!ttisnil(gval(n)) && iscleared(m, gval(n))) {
                setnilvalue(gval(n));
                removeentry(n);
            }
        }
    }
}

// Moves the unreached objects of finobj (all of them with `all`) to the end
// of tobefnz, keeping their order.
void separatetobefnz(global_State* g, bool all) {
    GCObject** p = &g->finobj;
    GCObject** lastnext = &g->tobefnz;
    while (*lastnext) lastnext = &(*lastnext)->next;
    GCObject* curr;
    while ((curr = *p) != nullptr) {
        if (!(iswhite(curr) || all)) {
            p = &curr->next;
        } else {
            *p = curr->next;
            curr->next = *lastnext;
            *lastnext = curr;
            lastnext = &curr->next;
        }
    }
}

// ---- sweeping ----

void freeobj(lua_State* L, GCObject* o);

// Frees the dead objects of a list and whitens the survivors.
void sweeplist(lua_State* L, GCObject** p) {
    global_State* g = G(L);
    GCObject* curr;
    while ((curr = *p) != nullptr) {
        if (isdead(g, curr) && !isfixed(g, curr)) {
            *p = curr->next;
            freeobj(L, curr);
        } else {
            makewhite(g, curr);
            p = &curr->next;
        }
    }
}

// Unlinks dead short strings from the string table's chains (they are freed
// with the rest of allgc).
void sweepstrings(global_State* g) {
    for (int i = 0; i < g->strt.size; i++) {
        TString** p = &g->strt.hash[i];
        while (*p) {
            TString* ts = *p;
            if (isdead(g, ts) && !isfixed(g, ts)) {
                *p = ts->hnext;
                g->strt.nuse--;
            } else {
                p = &ts->hnext;
            }
        }
    }
}

void freeobj(lua_State* L, GCObject* o) {
    if (o->tt == LUA_TTHREAD) {
        // Closing the thread's open upvalues moves them to allgc, where
        // the live ones must be white and the dead ones must not land.
        auto* th = static_cast<lua_State*>(o);
        global_State* g = G(L);
        for (GCObject* uv = th->openupval; uv; uv = uv->next) makewhite(g, uv);
    }
    luaC_freeobj(L, o);
}

// ---- finalizers ----

void dothecall(lua_State* L, void*) { luaD_call(L, L->top - 2, 0, 0); }

void GCTM(lua_State* L) {
    global_State* g = G(L);
    GCObject* o = g->tobefnz;
    g->tobefnz = o->next;
    o->next = g->allgc;  // back to an ordinary object
    g->allgc = o;
    o->marked &= lu_byte(~SEPARATED);
    makewhite(g, o);
    TValue v;
    setgcovalue(&v, o);
    const TValue* tm = luaT_gettmbyobj(L, &v, TM_GC);
    if (tm == nullptr || !ttisfunction(tm)) return;
    lu_byte running = g->gcrunning;
    g->gcrunning = 0;  // no collection inside a finalizer
    // The hooks stay on: the count hook keeps charging (and can stop) a
    // finalizer that runs away.
    setobj(L->top, tm);
    setobj(L->top + 1, &v);
    L->top += 2;
    int status = luaD_pcall(L, dothecall, nullptr, savestack(L, L->top - 2), 0);
    g->gcrunning = running;
    if (status != LUA_OK) {
        // Reported to a protected caller as Lua 5.2.3 does; with none (the
        // host collecting between frames) the error is dropped rather than
        // ending the host.
        if (L->errorJmp != nullptr) {
            if (status == LUA_ERRRUN) {
                const char* msg = ttisstring(L->top - 1) ? svalue(L->top - 1) : "no message";
                luaO_pushfstring(L, "error in __gc metamethod (%s)", msg);
                status = LUA_ERRGCMM;
            }
            luaD_throw(L, status);
        }
        L->top--;  // drop the message
    }
}

void callallpendingfinalizers(lua_State* L) {
    global_State* g = G(L);
    while (g->tobefnz) GCTM(L);
}

// The next cycle starts when the total reaches pause% of what survived.
void setpause(global_State* g, lu_mem estimate) {
    lu_mem pause = lu_mem(g->gcpause > 0 ? g->gcpause : 0);
    lu_mem threshold = (estimate / 100 < MAX_LUMEM / (pause + 1)) ? (estimate / 100) * pause : MAX_LUMEM;
    if (pause >= 100 && threshold < estimate + GCMINDEBT) threshold = estimate + GCMINDEBT;
    luaE_setdebt(g, l_mem(gettotalbytes(g)) - l_mem(threshold));
}

// One whole collection cycle. An emergency cycle (inside a failed
// allocation) leaves the string table's size alone: the allocation may be
// inserting into it.
void fullcycle(lua_State* L, bool emergency) {
    global_State* g = G(L);
    Marker m{L, g};
    // Nothing may be black when a cycle starts (open upvalues are not swept).
    for (UpVal* uv = g->uvhead.u.l.next; uv != &g->uvhead; uv = uv->u.l.next) makewhite(g, uv);
    markobj(m, g->mainthread);
    markvalue(m, &g->l_registry);
    for (int i = 0; i < LUA_NUMTAGS; i++) markobj(m, g->mt[i]);
    for (int i = 0; i < TM_N; i++) markobj(m, g->tmname[i]);
    markobj(m, g->memerrmsg);
    for (GCObject* o = g->tobefnz; o; o = o->next) markobj(m, o);  // waiting for their finalizers
    propagateall(m);
    // Values of open upvalues whose threads may not have been reached.
    for (UpVal* uv = g->uvhead.u.l.next; uv != &g->uvhead; uv = uv->u.l.next)
        if (isblack(uv)) markvalue(m, uv->v);
    propagateall(m);
    convergeephemerons(m);
    clearvalues(m, m.weak, nullptr);
    clearvalues(m, m.allweak, nullptr);
    GCObject* origweak = m.weak;
    GCObject* origall = m.allweak;
    separatetobefnz(g, false);
    for (GCObject* o = g->tobefnz; o; o = o->next) markobj(m, o);  // resurrected until finalized
    propagateall(m);
    convergeephemerons(m);
    clearkeys(m, m.ephemeron);
    clearkeys(m, m.allweak);
    // Values of weak tables first reached through resurrected objects.
    clearvalues(m, m.weak, origweak);
    clearvalues(m, m.allweak, origall);
    g->currentwhite = otherwhite(g);  // what is still white is dead
    sweepstrings(g);
    sweeplist(L, &g->allgc);
    sweeplist(L, &g->finobj);
    sweeplist(L, &g->tobefnz);
    for (UpVal* uv = g->uvhead.u.l.next; uv != &g->uvhead; uv = uv->u.l.next) makewhite(g, uv);
    makewhite(g, g->mainthread);
    // Shrink the string table when it is mostly empty. The smaller table is
    // a new block: if memory refuses it, the old one simply stays (the
    // host may be collecting with no protected call around it).
    if (!emergency && int(g->strt.nuse) < g->strt.size / 4 && g->strt.size > MINSTRTABSIZE * 2) {
        lu_byte running = g->gcrunning;
        g->gcrunning = 0;  // no collection inside the collection
        ptrdiff_t top = savestack(L, L->top);
        luaD_rawrunprotected(L, [](lua_State* L1, void*) { luaS_resize(L1, G(L1)->strt.size / 2); }, nullptr);
        L->top = restorestack(L, top);
        g->gcrunning = running;
    }
    g->GCestimate = gettotalbytes(g);
}

}  // namespace

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
    // Every object with a finalizer gets it called, newest first.
    separatetobefnz(g, true);
    g->gcrunning = 0;
    callallpendingfinalizers(L);
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
    while (g->tobefnz) {
        GCObject* o = g->tobefnz;
        g->tobefnz = o->next;
        luaC_freeobj(L, o);
    }
}

void luaC_step(lua_State* L) {
    global_State* g = G(L);
    if (!g->gcrunning) {
        luaE_setdebt(g, -l_mem(GCMINDEBT) * 10);  // look again later
        return;
    }
    fullcycle(L, false);
    setpause(g, g->GCestimate);
    callallpendingfinalizers(L);
}

void luaC_checkGC(lua_State* L) {
    if (G(L)->GCdebt > 0) luaC_step(L);
}

void luaC_fullgc(lua_State* L, int isemergency) {
    global_State* g = G(L);
    if (!isemergency) callallpendingfinalizers(L);
    fullcycle(L, isemergency != 0);
    setpause(g, g->GCestimate);
    if (!isemergency) callallpendingfinalizers(L);
}

void luaC_checkfinalizer(lua_State* L, GCObject* o, Table* mt) {
    global_State* g = G(L);
    if ((o->marked & SEPARATED) || luaT_fasttm(L, mt, TM_GC) == nullptr) return;
    // Move o from allgc to finobj.
    GCObject** p = &g->allgc;
    while (*p != o) {
        if (*p == nullptr) return;
        p = &(*p)->next;
    }
    *p = o->next;
    o->next = g->finobj;
    g->finobj = o;
    o->marked |= SEPARATED;
}
