// Per-thread and global interpreter state.
//
// Owns lua_State (one per thread), CallInfo (one per active call, kept in a
// doubly linked list that is reused, never shrunk while running) and
// global_State (shared by all threads of a state: allocator, string table,
// registry, object lists, metatables of basic types, tag-method names).
//
// Invariants:
// - L->stack .. L->stack_last is the usable stack; EXTRA_STACK slots beyond
//   stack_last always exist, so an instruction may push a few values without
//   checking. L->top is the first free slot.
// - L->ci is the running call; L->base_ci is the bottom (the C call that
//   created the thread). ci->func is the called function's slot; for Lua
//   calls ci->u.l.base is its first register and ci->top its last + 1.
// - g->totalbytes + g->GCdebt is the number of bytes allocated through the
//   state's allocator; lua_close frees every object on g->allgc, the string
//   table, every thread's stack and CallInfo list, and the global state, so
//   it returns to zero.
// - Count-hook / CPU budget: when the hook mask has LUA_MASKCOUNT,
//   L->hookcount is decremented before every instruction and the hook fires
//   when it reaches 0 (then it is reloaded from L->basehookcount). The
//   runner's CPU budget uses this countdown; lua_spend_cpu lowers it,
//   lua_vexel_soft_yield saves it in L->softyield_saved and sets it to 1.
//   While luaV_execute runs, the countdown lives in one of its registers
//   and L->hookcount is brought up to date before anything that can read
//   or change it (see storetrap in lua_vm.cpp).
#pragma once

#include "lua/lua_object.h"
#include "lua/lua_tm.h"
#include "lua/lua_zio.h"

struct lua_longjmp;  // defined in lua_do.h

// Kinds of garbage collection (for a later collector).
constexpr int KGC_NORMAL = 0;
constexpr int KGC_EMERGENCY = 1;
constexpr int KGC_GEN = 2;

struct stringtable {
    TString** hash;
    lu_int32 nuse;  // number of elements
    int size;       // power of two
};

// Information about one call.
struct CallInfo {
    StkId func;  // function index in the stack
    StkId top;   // top for this function
    CallInfo* previous;
    CallInfo* next;
    short nresults;  // expected number of results
    unsigned short callstatus;
    ptrdiff_t extra;
    union {
        struct {  // only for Lua functions
            StkId base;
            const Instruction* savedpc;
            // The running closure and its constants, stored by the
            // instruction loop when this function calls a Lua function
            // (or enters a generator) in the same loop: the return reads
            // them back here instead of through func, closure and
            // prototype, a chain of dependent loads on every return.
            // Valid only while such a call is in progress.
            LClosure* cl;
            TValue* k;
        } l;
        struct {  // only for C functions
            int ctx;
            lua_CFunction k;
            ptrdiff_t old_errfunc;
            lu_byte old_allowhook;
            lu_byte status;
        } c;
    } u;
};

static_assert(sizeof(void*) != 8 || sizeof(CallInfo) == 80, "CallInfo keeps its size");

// Bits of CallInfo::callstatus.
constexpr int CIST_LUA = 1 << 0;       // call is running a Lua function
constexpr int CIST_HOOKED = 1 << 1;    // call is running a debug hook
constexpr int CIST_REENTRY = 1 << 2;   // call is running on the same invocation of luaV_execute
constexpr int CIST_YIELDED = 1 << 3;   // call reentered after suspension
constexpr int CIST_YPCALL = 1 << 4;    // call is a yieldable protected call
constexpr int CIST_STAT = 1 << 5;      // call has an error status (pcall)
constexpr int CIST_TAIL = 1 << 6;      // call was tail called
constexpr int CIST_HOOKYIELD = 1 << 7; // last hook called yielded
constexpr int CIST_NOYIELD = 1 << 8;   // call is calling a function that cannot yield (luaD_call from C)
// call is a Lua generator entered by OP_TFORCALL in the caller's loop: its
// return finishes that instruction (a yield inside it clears the flag, and
// the caller then resumes at the OP_TFORLOOP as an instruction of its own)
constexpr int CIST_TFOR = 1 << 9;

inline bool isLua(const CallInfo* ci) { return (ci->callstatus & CIST_LUA) != 0; }

struct global_State {
    lua_Alloc frealloc;  // function to reallocate memory
    void* ud;            // auxiliary data to frealloc
    lu_mem totalbytes;   // bytes allocated - GCdebt
    l_mem GCdebt;        // bytes allocated not yet compensated by the collector
    lu_mem GCmemtrav;
    lu_mem GCestimate;
    stringtable strt;
    TValue l_registry;
    unsigned int seed;   // randomized seed for string hashes
    lu_byte currentwhite;
    lu_byte gcstate;
    lu_byte gckind;
    lu_byte gcrunning;
    int sweepstrgc;
    GCObject* allgc;     // every collectable object except threads' own parts
    GCObject* finobj;    // objects with finalizers
    GCObject** sweepgc;
    GCObject** sweepfin;
    GCObject* gray;
    GCObject* grayagain;
    GCObject* weak;
    GCObject* ephemeron;
    GCObject* allweak;
    GCObject* tobefnz;
    UpVal uvhead;        // head of the double-linked list of all open upvalues
    struct Mbuffer buff; // temporary buffer for string concatenation
    int gcpause;
    int gcmajorinc;
    int gcstepmul;
    lua_CFunction panic;
    lua_State* mainthread;
    const lua_Number* version;
    TString* memerrmsg;  // "not enough memory"
    TString* tmname[TM_N];
    Table* mt[LUA_NUMTAGS];  // metatables of basic types
    // Maps a line of the compiled text to the line reported by parser
    // messages that name a line; null means the line itself. Set by the
    // program runner so messages name lines within a code tab.
    int (*linemap)(int line);
    // Set by lua_vexel_stop: an error is unwinding the whole program, and
    // nothing catches it on the way (see lua_co.h).
    lu_byte stopping;
    int nfinalizing;     // finalizers running (nested)
    lua_ChargeFn charge; // what the power operator's roots cost (lua_vexel_set_charge)
    lua_AssertHook assert_hook;  // sees the message of a failed assert
    lua_GcErrorHook gc_error_hook;  // sees a finalizer's error nothing else can take
    // Line of the instruction that raised the last run-time error (0 when
    // the failing function has no line information), and the lexer line at
    // the start of the statement being parsed (after a syntax error, where
    // the failing statement began).
    int runtime_line;
    int last_line_number;
};

struct lua_State : GCObject {
    lu_byte status;
    lu_byte hookyielded;       // suspended by a hook yield, its own or one of a thread it resumed
    lu_byte tforactive;        // some CallInfo may have CIST_TFOR (cleared when a yield clears them)
    lu_byte vmrest;            // suspended by a yield the loop saw, resumable inside it (luaCo_enter)
    StkId top;
    global_State* l_G;
    CallInfo* ci;
    const Instruction* oldpc;  // last pc traced
    StkId stack_last;          // last free slot in the stack
    StkId stack;
    int stacksize;
    unsigned short nny;        // number of non-yieldable calls in the stack
    unsigned short nCcalls;    // number of nested C calls
    unsigned short baseCcalls; // nCcalls when the running resume started
    lu_byte hookmask;
    lu_byte allowhook;
    int basehookcount;
    int hookcount;
    int softyield_saved;       // countdown saved by lua_vexel_soft_yield, 0 if none
    lua_Hook hook;
    GCObject* openupval;       // list of open upvalues in this stack
    GCObject* gclist;
    lua_State* resumer;        // the thread whose lua_resume is running this one, while it runs
    lua_longjmp* errorJmp;     // current error recover point
    ptrdiff_t errfunc;         // current error handling function (stack index)
    CallInfo base_ci;          // CallInfo for first level (C calling Lua)
};

inline global_State* G(lua_State* L) { return L->l_G; }

// A thread as allocated: the host's pointer (lua_vexel_set_host), then the
// thread, so that lua_vexel_host (lua.h) reads it with one load where a call
// went through the global state. The byte fields beside status fill what
// would be padding, so that a thread with its pointer takes the 232 bytes
// (64-bit hosts) a thread always took: memory counts do not change.
struct LX {
    void* host;
    lua_State l;
};
static_assert(sizeof(LX) == sizeof(void*) + sizeof(lua_State), "the host's pointer lies just before the thread");
static_assert(sizeof(void*) != 8 || sizeof(LX) == 232, "a thread's allocation keeps its size");

inline LX* fromstate(lua_State* L) { return reinterpret_cast<LX*>(reinterpret_cast<char*>(L) - sizeof(void*)); }

// Shared by the whole state: the main thread is allocated together with
// the global state.
struct LG {
    LX l;
    global_State g;
};

void luaE_setdebt(global_State* g, l_mem debt);
void luaE_freethread(lua_State* L, lua_State* L1);
CallInfo* luaE_extendCI(lua_State* L);
void luaE_freeCI(lua_State* L);  // free all CallInfo above L->ci
inline CallInfo* next_ci(lua_State* L) {
    return L->ci = (L->ci->next ? L->ci->next : luaE_extendCI(L));
}
