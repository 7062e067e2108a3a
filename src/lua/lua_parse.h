// The parser: one pass over the tokens, generating code through lua_code.h
// as it goes, exactly in the order Lua 5.2.3 does, so that listings match.
//
// Owns the expression descriptors, the per-function compile state
// (FuncState, a stack following the nesting of functions) and the dynamic
// lists of active locals, pending gotos and labels (Dyndata) shared by the
// whole compilation. the state's last line (lua_vexel_last_line) is set before each statement.
#pragma once

#include <memory>

#include "lua/lua_lex.h"
#include "lua/lua_object.h"

enum expkind {
    VVOID,      // no value
    VNIL,
    VTRUE,
    VFALSE,
    VK,         // info = index of constant in `k'
    VKNUM,      // nval = numerical value
    VNONRELOC,  // info = result register
    VLOCAL,     // info = local register
    VUPVAL,     // info = index of upvalue in `upvalues'
    VINDEXED,   // t = table register/upvalue; idx = index R/K
    VJMP,       // info = instruction pc
    VRELOCABLE, // info = instruction pc
    VCALL,      // info = instruction pc
    VVARARG     // info = instruction pc
};

inline bool vkisvar(expkind k) { return VLOCAL <= k && k <= VINDEXED; }
inline bool vkisinreg(expkind k) { return k == VNONRELOC || k == VLOCAL; }

struct expdesc {
    expkind k;
    union {
        struct {
            short idx;  // index (R/K)
            lu_byte t;  // table (register or upvalue)
            lu_byte vt; // whether 't' is register (VLOCAL) or upvalue (VUPVAL)
        } ind;
        int info;
        lua_Number nval;
    } u;
    int t;  // patch list of `exit when true'
    int f;  // patch list of `exit when false'
};

// Description of an active local variable.
struct Vardesc {
    short idx;  // variable index in stack
};

// Description of pending goto statements and label statements.
struct Labeldesc {
    TString* name;
    int pc;          // position in code
    int line;        // line where it appeared
    lu_byte nactvar; // local level where it appears in current block
};

struct Labellist {
    Labeldesc* arr;
    int n;
    int size;
};

// Dynamic structures used by the parser, freed when the parse ends (or
// unwinds): Dyndata's destructor returns them to the state's allocator.
struct Dyndata {
    struct {
        Vardesc* arr;
        int n;
        int size;
    } actvar;
    Labellist gt;
    Labellist label;
    lua_State* L;
    ~Dyndata();
};

struct BlockCnt;
struct KCache;  // constant index of one function (lua_code.cpp)

struct FuncState {
    Proto* f;
    KCache* h = nullptr;  // finds existing constants (freed by the destructor)
    FuncState* prev;   // enclosing function
    LexState* ls;
    BlockCnt* bl;      // chain of current blocks
    int pc;            // next position to code (equivalent to `ncode')
    int lasttarget;    // `label' of last `jump label'
    int jpc;           // list of pending jumps to `pc'
    int nk;            // number of elements in `k'
    int np;            // number of elements in `p'
    int firstlocal;    // index of first local var (in Dyndata array)
    short nlocvars;    // number of elements in `f->locvars'
    lu_byte nactvar;   // number of active locals
    lu_byte nups;      // number of upvalues
    lu_byte freereg;   // first free register
    FuncState() = default;
    FuncState(const FuncState&) = delete;
    FuncState& operator=(const FuncState&) = delete;
    ~FuncState();
};

// Compiles a whole chunk; returns the main closure (pushed on the stack).
Closure* luaY_parser(lua_State* L, ZIO* z, Mbuffer* buff, Dyndata* dyd, const char* name, int firstchar);
