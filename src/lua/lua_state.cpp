// State creation and teardown, threads' CallInfo lists.
#include "lua/lua_state.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "lua/lua_do.h"
#include "lua/lua_func.h"
#include "lua/lua_gc.h"
#include "lua/lua_lex.h"
#include "lua/lua_mem.h"
#include "lua/lua_string.h"
#include "lua/lua_table.h"
#include "lua/lua_tm.h"


namespace {

constexpr int LUAI_GCPAUSE = 200;
constexpr int LUAI_GCMAJOR = 200;
constexpr int LUAI_GCMUL = 200;

unsigned int makeseed() {
    // Table iteration order over string keys depends on this seed; a fixed
    // value keeps runs of the same program repeatable.
    return 0x2b7e1516u;
}

void stack_init(lua_State* L1, lua_State* L) {
    L1->stack = luaM_newvector<TValue>(L, BASIC_STACK_SIZE);
    L1->stacksize = BASIC_STACK_SIZE;
    for (int i = 0; i < BASIC_STACK_SIZE; i++) setnilvalue(L1->stack + i);
    L1->top = L1->stack;
    L1->stack_last = L1->stack + L1->stacksize - EXTRA_STACK;
    CallInfo* ci = &L1->base_ci;
    ci->next = ci->previous = nullptr;
    ci->callstatus = 0;
    ci->func = L1->top;
    setnilvalue(L1->top++);  // 'function' entry for this 'ci'
    ci->top = L1->top + LUA_MINSTACK;
    L1->ci = ci;
}

void freestack(lua_State* L) {
    if (L->stack == nullptr) return;
    L->ci = &L->base_ci;
    luaE_freeCI(L);
    luaM_freearray(L, L->stack, size_t(L->stacksize));
}

void init_registry(lua_State* L, global_State* g) {
    Table* registry = luaH_new(L);
    sethvalue(L, &g->l_registry, registry);
    luaH_resize(L, registry, LUA_RIDX_LAST, 0);
    TValue mt;
    setthvalue(L, &mt, L);
    luaH_setint(L, registry, LUA_RIDX_MAINTHREAD, &mt);
    sethvalue(L, &mt, luaH_new(L));
    luaH_setint(L, registry, LUA_RIDX_GLOBALS, &mt);
}

void f_luaopen(lua_State* L, void*) {
    global_State* g = G(L);
    stack_init(L, L);
    init_registry(L, g);
    luaS_resize(L, MINSTRTABSIZE);
    luaT_init(L);
    luaX_init(L);
    g->memerrmsg = luaS_newliteral(L, "not enough memory");
    g->gcrunning = 1;
    g->version = lua_version(nullptr);
}

void preinit_state(lua_State* L, global_State* g) {
    L->l_G = g;
    L->stack = nullptr;
    L->ci = nullptr;
    L->stacksize = 0;
    L->errorJmp = nullptr;
    L->resumer = nullptr;
    L->hookyielded = 0;
    L->tforactive = 0;
    L->vmrest = 0;
    L->nCcalls = 0;
    L->baseCcalls = 0;
    L->hook = nullptr;
    L->hookmask = 0;
    L->basehookcount = 0;
    L->allowhook = 1;
    L->hookcount = 0;
    L->softyield_saved = 0;
    L->openupval = nullptr;
    L->nny = 1;
    L->status = LUA_OK;
    L->errfunc = 0;
    L->oldpc = nullptr;
    L->gclist = nullptr;
}

void close_state(lua_State* L) {
    global_State* g = G(L);
    luaC_freeallobjects(L);
    luaS_freeall(L);
    luaZ_freebuffer(L, &g->buff);
    freestack(L);
    (*g->frealloc)(g->ud, reinterpret_cast<LG*>(fromstate(L)), sizeof(LG), 0);
}

}  // namespace

#ifdef VEXEL_LUA_CHECKS
// A broken invariant stops the process at once, where it was found: going
// on would read freed or mistyped memory somewhere far from the cause.
void lua_check_failed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: interpreter check failed: %s\n", file, line, condition);
    std::abort();
}
#endif

void luaE_setdebt(global_State* g, l_mem debt) {
    g->totalbytes -= lu_mem(debt - g->GCdebt);
    g->GCdebt = debt;
}

CallInfo* luaE_extendCI(lua_State* L) {
    auto* ci = static_cast<CallInfo*>(luaM_realloc_(L, nullptr, 0, sizeof(CallInfo)));
    L->ci->next = ci;
    ci->previous = L->ci;
    ci->next = nullptr;
    return ci;
}

void luaE_freeCI(lua_State* L) {
    CallInfo* ci = L->ci;
    CallInfo* next = ci->next;
    ci->next = nullptr;
    while ((ci = next) != nullptr) {
        next = ci->next;
        luaM_freemem(L, ci, sizeof(CallInfo));
    }
}

lua_State* lua_newthread(lua_State* L) {
    auto* L1 = static_cast<lua_State*>(luaC_newobj(L, LUA_TTHREAD, sizeof(LX), nullptr, int(sizeof(void*))));
    fromstate(L1)->host = fromstate(L)->host;
    setthvalue(L, L->top, L1);
    incr_top(L);
    preinit_state(L1, G(L));
    L1->hookmask = L->hookmask;
    L1->basehookcount = L->basehookcount;
    L1->hook = L->hook;
    L1->hookcount = L1->basehookcount;
    stack_init(L1, L);
    return L1;
}

void luaE_freethread(lua_State* L, lua_State* L1) {
    if (L1->stack) luaF_close(L1, L1->stack);
    freestack(L1);
    luaM_freemem(L, fromstate(L1), sizeof(LX));
}

lua_State* lua_newstate(lua_Alloc f, void* ud) {
    void* mem = (*f)(ud, nullptr, LUA_TTHREAD, sizeof(LG));
    if (mem == nullptr) return nullptr;
    LG* l = static_cast<LG*>(mem);
    l->l.host = nullptr;
    lua_State* L = &l->l.l;
    global_State* g = &l->g;
    L->next = nullptr;
    L->tt = LUA_TTHREAD;
    g->currentwhite = 1;  // the first of the collector's two whites
    L->marked = 1;
    preinit_state(L, g);
    g->frealloc = f;
    g->ud = ud;
    g->mainthread = L;
    g->seed = makeseed();
    g->uvhead.u.l.prev = &g->uvhead;
    g->uvhead.u.l.next = &g->uvhead;
    g->gcrunning = 0;
    g->GCestimate = 0;
    g->strt.size = 0;
    g->strt.nuse = 0;
    g->strt.hash = nullptr;
    setnilvalue(&g->l_registry);
    luaZ_initbuffer(L, &g->buff);
    g->panic = nullptr;
    g->version = nullptr;
    g->gcstate = GCSpause;
    g->gckind = KGC_NORMAL;
    g->allgc = nullptr;
    g->finobj = nullptr;
    g->tobefnz = nullptr;
    g->sweepgc = g->sweepfin = nullptr;
    g->gray = g->grayagain = nullptr;
    g->weak = g->ephemeron = g->allweak = nullptr;
    g->totalbytes = sizeof(LG);
    g->GCdebt = 0;
    g->GCmemtrav = 0;
    g->sweepstrgc = 0;
    g->gcpause = LUAI_GCPAUSE;
    g->gcmajorinc = LUAI_GCMAJOR;
    g->gcstepmul = LUAI_GCMUL;
    g->memerrmsg = nullptr;
    g->linemap = nullptr;
    g->stopping = 0;
    g->nfinalizing = 0;
    g->charge = nullptr;
    g->assert_hook = nullptr;
    g->gc_error_hook = nullptr;
    g->runtime_line = 0;
    g->last_line_number = 0;
    for (int i = 0; i < TM_N; i++) g->tmname[i] = nullptr;
    for (int i = 0; i < LUA_NUMTAGS; i++) g->mt[i] = nullptr;
    if (luaD_rawrunprotected(L, f_luaopen, nullptr) != LUA_OK) {
        close_state(L);  // memory allocation error: free partial state
        L = nullptr;
    }
    return L;
}

void lua_close(lua_State* L) {
    L = G(L)->mainthread;  // only the main thread can be closed
    L->ci = &L->base_ci;
    L->errfunc = 0;
    L->nCcalls = 0;
    close_state(L);
}

const lua_Number* lua_version(lua_State* L) {
    static const lua_Number version = LUA_VERSION_NUM;
    if (L == nullptr) return &version;
    return G(L)->version;
}

// Every thread keeps its own copy (LX); a thread made later copies its
// maker's.
void lua_vexel_set_host(lua_State* L, void* host) {
    global_State* g = G(L);
    fromstate(g->mainthread)->host = host;
    for (GCObject* o = g->allgc; o != nullptr; o = o->next)
        if (o->tt == LUA_TTHREAD) fromstate(static_cast<lua_State*>(o))->host = host;
}
int lua_vexel_runtime_line(lua_State* L) { return G(L)->runtime_line; }
int lua_vexel_last_line(lua_State* L) { return G(L)->last_line_number; }
void lua_vexel_set_charge(lua_State* L, lua_ChargeFn fn) { G(L)->charge = fn; }
void lua_set_assert_hook(lua_State* L, lua_AssertHook hook) { G(L)->assert_hook = hook; }
void lua_set_gc_error_hook(lua_State* L, lua_GcErrorHook hook) { G(L)->gc_error_hook = hook; }

void lua_vexel_set_linemap(lua_State* L, int (*map)(int line)) { G(L)->linemap = map; }
