// Object creation and the incremental garbage collector (see lua_gc.h for
// the phases, colours and invariants).
//
// Pacing: a cycle starts when the debt becomes positive, that is when the
// total reaches pause% (200) of what survived the last cycle. Each step
// then converts the debt into units of work (bytes traversed, objects
// swept) multiplied by the step multiplier (200), so the collector runs
// about twice as fast as the program allocates.
//
// Objects with a __gc metamethod move from allgc to finobj when the
// metatable is set; unreached ones move to tobefnz in the atomic phase, are
// marked again (resurrected for one cycle) and are finalized a few per step.
#include "lua/lua_gc.h"

#include <cstring>

#include "lua/lua_do.h"
#include "lua/lua_func.h"
#include "lua/lua_mem.h"
#include "lua/lua_state.h"
#include "lua/lua_string.h"
#include "lua/lua_table.h"
#include "lua/lua_tm.h"

namespace {

// Bytes counted as allocated between collections at least.
constexpr lu_mem GCMINDEBT = 1024;
// Debt granted when a step is asked for while the collector is stopped, and
// the slack a step may leave behind.
constexpr l_mem GCSTEPSIZE = l_mem(100 * sizeof(TString));
// Converts between debt in bytes and units of work.
constexpr l_mem STEPMULADJ = 200;
// Objects (or string-table buckets) swept per step, and their cost in work.
constexpr int GCSWEEPMAX = 40;
constexpr lu_mem GCSWEEPCOST = 10;
// Finalizers called per step outside the end of a cycle.
constexpr int GCFINALIZENUM = 4;

inline lu_byte otherwhite(const global_State* g) { return lu_byte(g->currentwhite ^ WHITEBITS); }
inline bool isdead(const global_State* g, const GCObject* o) { return (o->marked & otherwhite(g) & WHITEBITS) != 0; }
inline void makewhite(const global_State* g, GCObject* o) {
    o->marked = lu_byte((o->marked & ~(WHITEBITS | BLACKBIT)) | g->currentwhite);
}
inline void white2gray(GCObject* o) { o->marked &= lu_byte(~WHITEBITS); }
inline void black2gray(GCObject* o) { o->marked &= lu_byte(~BLACKBIT); }
inline void gray2black(GCObject* o) { o->marked |= BLACKBIT; }
inline bool keepinvariant(const global_State* g) { return g->gcstate <= GCSatomic; }
inline bool issweepphase(const global_State* g) { return g->gcstate >= GCSsweepstring && g->gcstate <= GCSsweep; }

lu_mem gettotalbytes(const global_State* g) { return g->totalbytes + lu_mem(g->GCdebt); }

// Reserved words, tag-method names and the memory error message live as
// long as the state.
bool isfixed(const global_State* g, GCObject* o) {
    if (o->tt == LUA_TSHRSTR && isreserved(static_cast<TString*>(o))) return true;
    return o == g->memerrmsg;
}

// ---- marking ----

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

void linkgclist(GCObject* o, GCObject*& list) {
    *gclist_of(o) = list;
    list = o;
}

void reallymarkobject(global_State* g, GCObject* o);

inline void markvalue(global_State* g, const TValue* v) {
    if (iscollectable(v) && iswhite(gcvalue(v))) reallymarkobject(g, gcvalue(v));
}
inline void markobj(global_State* g, GCObject* o) {
    if (o != nullptr && iswhite(o)) reallymarkobject(g, o);
}

// Strings and userdata turn black at once; an upvalue marks its value (an
// open one stays gray: its value lives in a stack and may change); objects
// with references go on the gray list.
void reallymarkobject(global_State* g, GCObject* o) {
    lua_assert(iswhite(o) && !isdead(g, o));
    white2gray(o);
    switch (o->tt) {
    case LUA_TSHRSTR:
    case LUA_TLNGSTR:
        gray2black(o);
        g->GCmemtrav += sizestring(static_cast<TString*>(o)->len);
        return;
    case LUA_TUSERDATA: {
        auto* u = static_cast<Udata*>(o);
        markobj(g, u->metatable);
        markobj(g, u->env);
        gray2black(o);
        g->GCmemtrav += sizeof(Udata) + u->len;
        return;
    }
    case LUA_TUPVAL: {
        auto* uv = static_cast<UpVal*>(o);
        markvalue(g, uv->v);
        if (uv->v == &uv->u.value) gray2black(o);
        return;
    }
    default:
        if (gclist_of(o) != nullptr) linkgclist(o, g->gray);
        return;
    }
}

// Whether a weak entry's value is gone: strings are values, never cleared.
bool iscleared(global_State* g, const TValue* o) {
    if (!iscollectable(o)) return false;
    if (ttisstring(o)) {
        markobj(g, gcvalue(o));
        return false;
    }
    return iswhite(gcvalue(o));
}

void removeentry(Node* n) {
    TValue* k = tkey_tvalue(gkey(n));
    if (iscollectable(k)) setdeadvalue(k);  // keeps the pointer for next()
}

void traverseweakvalue(global_State* g, Table* h) {
    bool hasclears = h->sizearray > 0;
    for (int i = 0; i < sizenode(h); i++) {
        Node* n = gnode(h, i);
        if (ttisnil(gval(n))) {
            removeentry(n);
        } else {
            markvalue(g, tkey_tvalue(gkey(n)));
            if (!hasclears && iscleared(g, gval(n))) hasclears = true;
        }
    }
    if (g->gcstate == GCSpropagate)
        linkgclist(h, g->grayagain);  // traversed again in the atomic phase
    else if (hasclears)
        linkgclist(h, g->weak);
}

// Weak keys: a value is reached only through a reached key. Returns whether
// anything was marked.
bool traverseephemeron(global_State* g, Table* h) {
    bool marked = false;
    bool hasclears = false;
    bool prop = false;  // some white key with a white value
    for (int i = 0; i < h->sizearray; i++) {
        if (iscollectable(&h->array[i]) && iswhite(gcvalue(&h->array[i]))) {
            marked = true;
            reallymarkobject(g, gcvalue(&h->array[i]));
        }
    }
    for (int i = 0; i < sizenode(h); i++) {
        Node* n = gnode(h, i);
        if (ttisnil(gval(n))) {
            removeentry(n);
        } else if (iscleared(g, tkey_tvalue(gkey(n)))) {
            hasclears = true;
            if (iscollectable(gval(n)) && iswhite(gcvalue(gval(n)))) prop = true;
        } else if (iscollectable(gval(n)) && iswhite(gcvalue(gval(n)))) {
            marked = true;
            reallymarkobject(g, gcvalue(gval(n)));
        }
    }
    if (g->gcstate == GCSpropagate)
        linkgclist(h, g->grayagain);
    else if (prop)
        linkgclist(h, g->ephemeron);
    else if (hasclears)
        linkgclist(h, g->allweak);
    return marked;
}

void traversestrongtable(global_State* g, Table* h) {
    for (int i = 0; i < h->sizearray; i++) markvalue(g, &h->array[i]);
    for (int i = 0; i < sizenode(h); i++) {
        Node* n = gnode(h, i);
        if (ttisnil(gval(n))) {
            removeentry(n);
        } else {
            markvalue(g, tkey_tvalue(gkey(n)));
            markvalue(g, gval(n));
        }
    }
}

lu_mem traversetable(global_State* g, Table* h) {
    markobj(g, h->metatable);
    const TValue* mode = luaT_fasttm(g->mainthread, h->metatable, TM_MODE);
    bool weakkey = false, weakvalue = false;
    if (mode && ttisstring(mode)) {
        const char* s = svalue(mode);
        weakkey = std::strchr(s, 'k') != nullptr;
        weakvalue = std::strchr(s, 'v') != nullptr;
    }
    if (weakkey || weakvalue) {
        black2gray(h);  // weak tables stay gray: revisited in the atomic phase
        if (!weakkey)
            traverseweakvalue(g, h);
        else if (!weakvalue)
            traverseephemeron(g, h);
        else
            linkgclist(h, g->allweak);  // nothing to traverse now
    } else {
        traversestrongtable(g, h);
    }
    return sizeof(Table) + sizeof(TValue) * size_t(h->sizearray) + sizeof(Node) * size_t(sizenode(h));
}

lu_mem traverseproto(global_State* g, Proto* f) {
    if (f->cache && iswhite(&f->cache->l)) f->cache = nullptr;  // the cache does not keep a closure alive
    markobj(g, f->source);
    for (int i = 0; i < f->sizek; i++) markvalue(g, &f->k[i]);
    for (int i = 0; i < f->sizeupvalues; i++) markobj(g, f->upvalues[i].name);
    for (int i = 0; i < f->sizep; i++) markobj(g, f->p[i]);
    for (int i = 0; i < f->sizelocvars; i++) markobj(g, f->locvars[i].varname);
    return sizeof(Proto) + sizeof(Instruction) * size_t(f->sizecode) + sizeof(Proto*) * size_t(f->sizep) +
           sizeof(TValue) * size_t(f->sizek) + sizeof(int) * size_t(f->sizelineinfo) +
           sizeof(LocVar) * size_t(f->sizelocvars) + sizeof(Upvaldesc) * size_t(f->sizeupvalues);
}

lu_mem traversethread(global_State* g, lua_State* th) {
    StkId o = th->stack;
    if (o == nullptr) return 1;  // being built
    for (; o < th->top; o++) markvalue(g, o);
    if (g->gcstate == GCSatomic) {
        // Dead slots above the top may hold stale values: clear them so
        // they never point to objects this cycle frees.
        for (; o < th->stack + th->stacksize; o++) setnilvalue(o);
    }
    return sizeof(LX) + sizeof(TValue) * size_t(th->stacksize);
}

// Traverses one gray object, turning it black (threads and weak tables go
// back to a gray list instead).
void propagatemark(global_State* g) {
    GCObject* o = g->gray;
    lua_assert(isgray(o));
    g->gray = *gclist_of(o);
    gray2black(o);
    lu_mem size = 0;
    switch (o->tt) {
    case LUA_TTABLE: size = traversetable(g, static_cast<Table*>(o)); break;
    case LUA_TLCL: {
        auto* cl = reinterpret_cast<LClosure*>(o);
        markobj(g, cl->p);
        for (int i = 0; i < cl->nupvalues; i++) markobj(g, cl->upvals[i]);
        size = sizeLclosure(cl->nupvalues);
        break;
    }
    case LUA_TCCL: {
        auto* cl = reinterpret_cast<CClosure*>(o);
        for (int i = 0; i < cl->nupvalues; i++) markvalue(g, &cl->upvalue[i]);
        size = sizeCclosure(cl->nupvalues);
        break;
    }
    case LUA_TTHREAD: {
        // Stacks change without barriers: a thread stays gray and is
        // traversed again in the atomic phase.
        auto* th = static_cast<lua_State*>(o);
        linkgclist(th, g->grayagain);
        black2gray(o);
        size = traversethread(g, th);
        break;
    }
    case LUA_TPROTO: size = traverseproto(g, static_cast<Proto*>(o)); break;
    default: break;
    }
    g->GCmemtrav += size;
}

void propagateall(global_State* g) {
    while (g->gray) propagatemark(g);
}

void propagatelist(global_State* g, GCObject* l) {
    g->gray = l;
    propagateall(g);
}

// Traverses again the objects that changed or stayed gray while the
// program ran: barrier-caught tables, threads and weak tables.
void retraversegrays(global_State* g) {
    GCObject* weak = g->weak;
    GCObject* grayagain = g->grayagain;
    GCObject* ephemeron = g->ephemeron;
    g->weak = g->grayagain = g->ephemeron = nullptr;
    propagateall(g);
    propagatelist(g, grayagain);
    propagatelist(g, weak);
    propagatelist(g, ephemeron);
}

void convergeephemerons(global_State* g) {
    bool changed;
    do {
        GCObject* next = g->ephemeron;
        g->ephemeron = nullptr;
        changed = false;
        while (next) {
            GCObject* w = next;
            next = static_cast<Table*>(w)->gclist;
            if (traverseephemeron(g, static_cast<Table*>(w))) {
                propagateall(g);
                changed = true;
            }
        }
    } while (changed);
}

void clearkeys(global_State* g, GCObject* l) {
    for (; l; l = static_cast<Table*>(l)->gclist) {
        Table* h = static_cast<Table*>(l);
        for (int i = 0; i < sizenode(h); i++) {
            Node* n = gnode(h, i);
            if (!ttisnil(gval(n)) && iscleared(g, tkey_tvalue(gkey(n)))) {
                setnilvalue(gval(n));
                removeentry(n);
            }
        }
    }
}

// Clears the dead values of the weak tables on list l up to (not including)
// table `until`.
void clearvalues(global_State* g, GCObject* l, GCObject* until) {
    for (; l != until; l = static_cast<Table*>(l)->gclist) {
        Table* h = static_cast<Table*>(l);
        for (int i = 0; i < h->sizearray; i++) {
            if (iscleared(g, &h->array[i])) {
                setnilvalue(&h->array[i]);
                h->lenhint = LUAH_LEN_LATER;
            }
        }
        for (int i = 0; i < sizenode(h); i++) {
            Node* n = gnode(h, i);
            if (!ttisnil(gval(n)) && iscleared(g, gval(n))) {
                setnilvalue(gval(n));
                removeentry(n);
            }
        }
    }
}

// Marks the values of open upvalues reached through closures: their threads
// may be unreached, and the values may have changed since the mark.
void remarkupvals(global_State* g) {
    for (UpVal* uv = g->uvhead.u.l.next; uv != &g->uvhead; uv = uv->u.l.next)
        if (isgray(uv)) markvalue(g, uv->v);
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
            if (g->sweepfin == &curr->next) g->sweepfin = p;
            *p = curr->next;
            curr->next = *lastnext;
            *lastnext = curr;
            lastnext = &curr->next;
        }
    }
}

void markbeingfnz(global_State* g) {
    for (GCObject* o = g->tobefnz; o; o = o->next) markobj(g, o);
}

// Starts a cycle: everything outside the swept lists is whitened (open
// upvalues, objects waiting for finalizers, the main thread) and the roots
// are marked.
void restartcollection(global_State* g) {
    g->gray = g->grayagain = nullptr;
    g->weak = g->allweak = g->ephemeron = nullptr;
    for (UpVal* uv = g->uvhead.u.l.next; uv != &g->uvhead; uv = uv->u.l.next) makewhite(g, uv);
    for (GCObject* o = g->tobefnz; o; o = o->next) makewhite(g, o);
    makewhite(g, g->mainthread);
    markobj(g, g->mainthread);
    markvalue(g, &g->l_registry);
    for (int i = 0; i < LUA_NUMTAGS; i++) markobj(g, g->mt[i]);
    for (int i = 0; i < TM_N; i++) markobj(g, g->tmname[i]);
    markobj(g, g->memerrmsg);
    markbeingfnz(g);
}

// The indivisible end of the mark: returns the work done.
lu_mem atomic(lua_State* L) {
    global_State* g = G(L);
    g->gcstate = GCSatomic;
    lu_mem start = g->GCmemtrav;
    markobj(g, L);  // the running thread
    markvalue(g, &g->l_registry);
    for (int i = 0; i < LUA_NUMTAGS; i++) markobj(g, g->mt[i]);
    remarkupvals(g);
    propagateall(g);
    retraversegrays(g);
    convergeephemerons(g);
    // Now everything strongly reachable is marked.
    clearvalues(g, g->weak, nullptr);
    clearvalues(g, g->allweak, nullptr);
    GCObject* origweak = g->weak;
    GCObject* origall = g->allweak;
    separatetobefnz(g, false);
    markbeingfnz(g);  // resurrected until finalized
    propagateall(g);
    convergeephemerons(g);
    clearkeys(g, g->ephemeron);
    clearkeys(g, g->allweak);
    // Values of weak tables first reached through resurrected objects.
    clearvalues(g, g->weak, origweak);
    clearvalues(g, g->allweak, origall);
    g->currentwhite = otherwhite(g);  // what is still white is dead
    return g->GCmemtrav - start;
}

// ---- sweeping ----

void freeobj(lua_State* L, GCObject* o);

// Sweeps up to count objects of a list from p: frees the dead ones and
// whitens the survivors. Returns where to go on, or null at the end.
GCObject** sweeplist(lua_State* L, GCObject** p, lu_mem count) {
    global_State* g = G(L);
    GCObject* curr;
    while ((curr = *p) != nullptr && count-- > 0) {
        if (isdead(g, curr) && !isfixed(g, curr)) {
            *p = curr->next;
            freeobj(L, curr);
        } else {
            makewhite(g, curr);
            p = &curr->next;
        }
    }
    return *p == nullptr ? nullptr : p;
}

// Unlinks the dead short strings of one string-table chain (they are freed
// with the rest of allgc).
void sweepstringchain(global_State* g, TString** p) {
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

void entersweep(global_State* g) {
    g->gcstate = GCSsweepstring;
    g->sweepstrgc = 0;
    g->sweepfin = &g->finobj;
    g->sweepgc = &g->allgc;
}

// Shrinks the string table when it is mostly empty. The smaller table is a
// new block: if memory refuses it, the old one simply stays (the host may be
// collecting with no protected call around it).
void checksizes(lua_State* L) {
    global_State* g = G(L);
    if (g->gckind == KGC_EMERGENCY) return;  // the allocation may be inserting into the table
    if (int(g->strt.nuse) >= g->strt.size / 4 || g->strt.size <= MINSTRTABSIZE * 2) return;
    lu_byte running = g->gcrunning;
    g->gcrunning = 0;  // no collection inside the collection
    ptrdiff_t top = savestack(L, L->top);
    luaD_rawrunprotected(L, [](lua_State* L1, void*) { luaS_resize(L1, G(L1)->strt.size / 2); }, nullptr);
    L->top = restorestack(L, top);
    g->gcrunning = running;
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
    // While marking, o is marked (resurrected) and stays so; otherwise the
    // next cycle must find it white.
    if (!keepinvariant(g)) makewhite(g, o);
    TValue v;
    setgcovalue(&v, o);
    const TValue* tm = luaT_gettmbyobj(L, &v, TM_GC);
    if (tm == nullptr || !ttisfunction(tm)) return;
    if (g->stopping) return;  // a stopped program runs no more of its code
    lu_byte running = g->gcrunning;
    g->gcrunning = 0;  // no collection inside a finalizer
    // The host may collect while L is suspended: the finalizer is an
    // ordinary call on top of the suspended ones, and the calls it makes
    // must not take L's status for a yield of their own.
    const lu_byte suspended = L->status;
    L->status = LUA_OK;
    // The hooks stay on: the count hook keeps charging (and can stop) a
    // finalizer that runs away.
    setobj(L->top, tm);
    setobj(L->top + 1, &v);
    L->top += 2;
    g->nfinalizing++;
    int status = luaD_pcall(L, dothecall, nullptr, savestack(L, L->top - 2), 0);
    g->nfinalizing--;
    L->status = suspended;
    g->gcrunning = running;
    if (status != LUA_OK) {
        // Reported to a protected caller as Lua 5.2.3 does; with none (the
        // host collecting between frames, lua_close) the host's hook is told
        // and the error dropped rather than ending the host. The error that
        // stops a program passes unchanged.
        if (L->errorJmp != nullptr) {
            if (status == LUA_ERRRUN && !g->stopping) {
                const char* msg = ttisstring(L->top - 1) ? svalue(L->top - 1) : "no message";
                luaO_pushfstring(L, "error in __gc metamethod (%s)", msg);
                status = LUA_ERRGCMM;
            }
            luaD_throw(L, status);
        }
        if (status == LUA_ERRRUN && !g->stopping && g->gc_error_hook)
            g->gc_error_hook(L, ttisstring(L->top - 1) ? svalue(L->top - 1) : "no message");
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

// Does one indivisible piece of the cycle; returns its work.
lu_mem singlestep(lua_State* L) {
    global_State* g = G(L);
    switch (g->gcstate) {
    case GCSpause: {
        g->GCmemtrav = lu_mem(g->strt.size) * sizeof(GCObject*);
        restartcollection(g);
        g->gcstate = GCSpropagate;
        return g->GCmemtrav;
    }
    case GCSpropagate: {
        if (g->gray) {
            lu_mem before = g->GCmemtrav;
            propagatemark(g);
            return g->GCmemtrav - before;
        }
        g->gcstate = GCSatomic;  // no more gray objects
        return 0;
    }
    case GCSatomic: {
        propagateall(g);
        lu_mem work = atomic(L);
        entersweep(g);
        g->GCestimate = gettotalbytes(g);  // first estimate, lowered by the sweep
        return work;
    }
    case GCSsweepstring: {
        int i = 0;
        for (; i < GCSWEEPMAX && g->sweepstrgc + i < g->strt.size; i++)
            sweepstringchain(g, &g->strt.hash[g->sweepstrgc + i]);
        g->sweepstrgc += i;
        if (g->sweepstrgc >= g->strt.size) g->gcstate = GCSsweepudata;
        return lu_mem(i) * GCSWEEPCOST;
    }
    case GCSsweepudata:
    case GCSsweep: {
        GCObject**& where = g->gcstate == GCSsweepudata ? g->sweepfin : g->sweepgc;
        if (where != nullptr) {
            l_mem olddebt = g->GCdebt;
            where = sweeplist(L, where, GCSWEEPMAX);
            g->GCestimate += lu_mem(g->GCdebt - olddebt);  // what was freed
            return GCSWEEPMAX * GCSWEEPCOST;
        }
        if (g->gcstate == GCSsweepudata) {
            g->gcstate = GCSsweep;
            return 0;
        }
        makewhite(g, g->mainthread);
        checksizes(L);
        g->gcstate = GCSpause;
        return GCSWEEPCOST;
    }
    default: return 0;
    }
}

// Runs steps until the collector reaches one of the states in statesmask.
void runtilstate(lua_State* L, int statesmask) {
    global_State* g = G(L);
    while (!(statesmask & (1 << g->gcstate))) singlestep(L);
}

// Does work in proportion to the debt: the debt in bytes becomes units of
// work through the step multiplier.
void incstep(lua_State* L) {
    global_State* g = G(L);
    l_mem stepmul = g->gcstepmul < 40 ? 40 : g->gcstepmul;  // no ridiculously small steps
    l_mem debt = (g->GCdebt / STEPMULADJ) + 1;
    debt = (debt < MAX_LMEM / stepmul) ? debt * stepmul : MAX_LMEM;
    do {  // at least one piece of work
        debt -= l_mem(singlestep(L));
    } while (debt > -GCSTEPSIZE && g->gcstate != GCSpause);
    if (g->gcstate == GCSpause) {
        setpause(g, g->GCestimate);
    } else {
        debt = (debt / stepmul) * STEPMULADJ;
        luaE_setdebt(g, debt);
    }
}

}  // namespace

GCObject* luaC_newobj(lua_State* L, int tt, size_t sz, GCObject** list, int offset) {
    global_State* g = G(L);
    // luaM_realloc_'s steps for a new block, without the call to it: one
    // call level fewer for every object made (bench/lua/garbage 2% fewer
    // host instructions).
    g->GCdebt += l_mem(sz);
    void* block = g->frealloc(g->ud, nullptr, size_t(tt), sz);
    if (block == nullptr) [[unlikely]] block = luaM_refused(L, nullptr, size_t(tt), sz);
    char* raw = static_cast<char*>(block);
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

void luaC_forcestep(lua_State* L) {
    global_State* g = G(L);
    incstep(L);
    // A few finalizers per step, or all of them when a cycle has ended.
    for (int i = 0; g->tobefnz && (i < GCFINALIZENUM || g->gcstate == GCSpause); i++) GCTM(L);
}

int luaC_stepkb(lua_State* L, int kb) {
    global_State* g = G(L);
    if (kb < 0) kb = 0;
    l_mem debt = l_mem(kb) * 1024 - GCSTEPSIZE;
    if (g->gcrunning) debt += g->GCdebt;  // with what is owed already
    luaE_setdebt(g, debt);
    luaC_forcestep(L);
    return g->gcstate == GCSpause ? 1 : 0;
}

void luaC_step(lua_State* L) {
    global_State* g = G(L);
    if (g->gcrunning)
        luaC_forcestep(L);
    else
        luaE_setdebt(g, -GCSTEPSIZE);  // look again later
}

void luaC_checkGC(lua_State* L) {
    if (G(L)->GCdebt > 0) luaC_step(L);
}

void luaC_fullgc(lua_State* L, int isemergency) {
    global_State* g = G(L);
    lu_byte origkind = g->gckind;
    g->gckind = isemergency ? KGC_EMERGENCY : KGC_NORMAL;
    if (!isemergency) callallpendingfinalizers(L);
    // Black objects may exist while marking: sweeping with the white
    // unchanged turns them white again and frees nothing.
    if (keepinvariant(g)) entersweep(g);
    runtilstate(L, 1 << GCSpause);     // end the cycle under way
    runtilstate(L, ~(1 << GCSpause));  // start a new one
    runtilstate(L, 1 << GCSpause);     // and run it whole
    g->gckind = origkind;
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
    if (g->sweepgc == &o->next) g->sweepgc = p;  // the sweep goes on with what followed o
    *p = o->next;
    o->next = g->finobj;
    g->finobj = o;
    o->marked |= SEPARATED;
    if (issweepphase(g)) makewhite(g, o);  // finobj may be swept already
}

void luaC_upvalclosed(lua_State* L, UpVal* uv) {
    global_State* g = G(L);
    if (keepinvariant(g)) {
        // A reached (gray) open upvalue becomes an ordinary closed one: its
        // value leaves the stack, so mark it now.
        if (isgray(uv)) {
            gray2black(uv);
            markvalue(g, uv->v);
        }
    } else {
        makewhite(g, uv);
    }
}

void luaC_barrier_(lua_State* L, GCObject* o, GCObject* v) {
    global_State* g = G(L);
    lua_assert(isblack(o) && iswhite(v) && !isdead(g, v) && !isdead(g, o));
    lua_assert(g->gcstate != GCSpause);
    lua_assert(o->tt != LUA_TTABLE);  // tables take the barrier back
    if (keepinvariant(g))
        reallymarkobject(g, v);  // restore the invariant
    else
        makewhite(g, o);  // sweeping: no black object may be left behind
}

void luaC_barrierback_(lua_State* L, GCObject* o) {
    global_State* g = G(L);
    lua_assert(isblack(o) && !isdead(g, o) && o->tt == LUA_TTABLE);
    black2gray(o);  // traversed again in the atomic phase
    linkgclist(o, g->grayagain);
}
