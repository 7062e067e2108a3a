// The code generator. Expressions are kept as descriptors (expdesc) for as
// long as possible so that constants, registers and jumps are placed only
// when needed; the choices made here (register order, constant order, jump
// layout, folding) decide the instruction stream and follow Lua 5.2.3.
#include "lua/lua_code.h"

#include <cstdlib>
#include <new>
#include <string_view>
#include <unordered_map>

#include "lua/lua_mem.h"
#include "lua/lua_string.h"
#include "lua/lua_vm.h"

// ---- constant cache ----

namespace {

// Key of a constant: numbers by raw value, booleans by value, nil as its
// own kind, strings by contents (short strings are interned, and equal long
// strings must also share one constant).
struct KKey {
    int kind;  // LUA_TNIL, LUA_TBOOLEAN, LUA_TNUMBER, LUA_TSTRING
    int32_t n;
    std::string_view s;
    bool operator==(const KKey& o) const { return kind == o.kind && n == o.n && s == o.s; }
};

struct KKeyHash {
    size_t operator()(const KKey& k) const {
        size_t h = std::hash<std::string_view>()(k.s);
        return h ^ (size_t(uint32_t(k.n)) * 0x9e3779b1u) ^ size_t(k.kind);
    }
};

// Host containers of the compiler take their memory from the state's
// allocator (as untyped blocks), so compiling counts against the program's
// memory like everything else; running out raises "not enough memory".
template <class T>
struct StateAllocator {
    using value_type = T;
    lua_State* L;
    explicit StateAllocator(lua_State* l) : L(l) {}
    template <class U>
    StateAllocator(const StateAllocator<U>& o) : L(o.L) {}
    T* allocate(size_t n) {
        if (n > MAX_SIZET / sizeof(T)) luaM_toobig(L);
        return static_cast<T*>(luaM_realloc_(L, nullptr, 0, n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) { luaM_realloc_(L, p, n * sizeof(T), 0); }
    template <class U>
    bool operator==(const StateAllocator<U>& o) const { return L == o.L; }
};

using KMap = std::unordered_map<KKey, int, KKeyHash, std::equal_to<KKey>, StateAllocator<std::pair<const KKey, int>>>;

}  // namespace

struct KCache {
    lua_State* L;
    KMap map;
    explicit KCache(lua_State* l) : L(l), map(StateAllocator<std::pair<const KKey, int>>(l)) {}
};

KCache* luaK_newcache(lua_State* L) {
    void* mem = luaM_realloc_(L, nullptr, 0, sizeof(KCache));
    return new (mem) KCache(L);  // the map allocates nothing until used
}

void luaK_freecache(KCache* h) {
    if (h == nullptr) return;
    lua_State* L = h->L;
    h->~KCache();
    luaM_realloc_(L, h, sizeof(KCache), 0);
}

namespace {

inline bool hasjumps(const expdesc* e) { return e->t != e->f; }

inline bool isnumeral(const expdesc* e) { return e->k == VKNUM && e->t == NO_JUMP && e->f == NO_JUMP; }

int addk(FuncState* fs, const KKey& key, const TValue* v) {
    lua_State* L = fs->ls->L;
    auto found = fs->h->map.find(key);
    if (found != fs->h->map.end()) return found->second;
    Proto* f = fs->f;
    int oldsize = f->sizek;
    int k = fs->nk;
    luaM_growvector(L, f->k, k, f->sizek, MAXARG_Ax, "constants");
    while (oldsize < f->sizek) setnilvalue(&f->k[oldsize++]);
    setobj(&f->k[k], v);
    fs->nk++;
    fs->h->map.emplace(key, k);
    return k;
}

int boolK(FuncState* fs, int b) {
    TValue o;
    setbvalue(&o, b);
    return addk(fs, KKey{LUA_TBOOLEAN, b, {}}, &o);
}

int nilK(FuncState* fs) {
    TValue o;
    setnilvalue(&o);
    return addk(fs, KKey{LUA_TNIL, 0, {}}, &o);
}

}  // namespace

int luaK_stringK(FuncState* fs, TString* s) {
    TValue o;
    setsvalue(fs->ls->L, &o, s);
    return addk(fs, KKey{LUA_TSTRING, 0, std::string_view(getstr(s), s->len)}, &o);
}

int luaK_numberK(FuncState* fs, lua_Number r) {
    TValue o;
    setnvalue(&o, r);
    return addk(fs, KKey{LUA_TNUMBER, r, {}}, &o);
}

// ---- emitting ----

namespace {

int getjump(FuncState* fs, int pc) {
    int offset = GETARG_sBx(fs->f->code[pc]);
    if (offset == NO_JUMP) return NO_JUMP;  // a jump to itself ends the list
    return (pc + 1) + offset;
}

void fixjump(FuncState* fs, int pc, int dest) {
    Instruction* jmp = &fs->f->code[pc];
    int offset = dest - (pc + 1);
    if (std::abs(offset) > MAXARG_sBx) luaX_syntaxerror(fs->ls, "control structure too long");
    SETARG_sBx(*jmp, offset);
}

// The instruction that controls a jump: the test before it, if any.
Instruction* getjumpcontrol(FuncState* fs, int pc) {
    Instruction* pi = &fs->f->code[pc];
    if (pc >= 1 && testTMode(GET_OPCODE(*(pi - 1)))) return pi - 1;
    return pi;
}

// Whether some jump in the list does not produce a value (is not TESTSET).
bool need_value(FuncState* fs, int list) {
    for (; list != NO_JUMP; list = getjump(fs, list)) {
        Instruction i = *getjumpcontrol(fs, list);
        if (GET_OPCODE(i) != OP_TESTSET) return true;
    }
    return false;
}

// Makes a TESTSET store into reg, or turns it into a TEST when there is no
// register to fill or the value is already there. Returns false for other
// jumps.
bool patchtestreg(FuncState* fs, int node, int reg) {
    Instruction* i = getjumpcontrol(fs, node);
    if (GET_OPCODE(*i) != OP_TESTSET) return false;
    if (reg != NO_REG && reg != GETARG_B(*i))
        SETARG_A(*i, reg);
    else
        *i = CREATE_ABC(OP_TEST, GETARG_B(*i), 0, GETARG_C(*i));
    return true;
}

void removevalues(FuncState* fs, int list) {
    for (; list != NO_JUMP; list = getjump(fs, list)) patchtestreg(fs, list, NO_REG);
}

void patchlistaux(FuncState* fs, int list, int vtarget, int reg, int dtarget) {
    while (list != NO_JUMP) {
        int next = getjump(fs, list);
        if (patchtestreg(fs, list, reg))
            fixjump(fs, list, vtarget);
        else
            fixjump(fs, list, dtarget);
        list = next;
    }
}

void dischargejpc(FuncState* fs) {
    patchlistaux(fs, fs->jpc, fs->pc, NO_REG, fs->pc);
    fs->jpc = NO_JUMP;
}

int code(FuncState* fs, Instruction i) {
    Proto* f = fs->f;
    dischargejpc(fs);  // pending jumps to here now have a target
    luaM_growvector(fs->ls->L, f->code, fs->pc, f->sizecode, MAX_INT, "opcodes");
    f->code[fs->pc] = i;
    luaM_growvector(fs->ls->L, f->lineinfo, fs->pc, f->sizelineinfo, MAX_INT, "opcodes");
    f->lineinfo[fs->pc] = fs->ls->lastline;
    return fs->pc++;
}

int codeextraarg(FuncState* fs, int a) { return code(fs, CREATE_Ax(OP_EXTRAARG, a)); }

int condjump(FuncState* fs, OpCode op, int A, int B, int C) {
    luaK_codeABC(fs, op, A, B, C);
    return luaK_jump(fs);
}

void freereg(FuncState* fs, int reg) {
    if (!ISK(reg) && reg >= fs->nactvar) fs->freereg--;
}

void freeexp(FuncState* fs, expdesc* e) {
    if (e->k == VNONRELOC) freereg(fs, e->u.info);
}

}  // namespace

int luaK_codeABC(FuncState* fs, OpCode o, int a, int b, int c) { return code(fs, CREATE_ABC(o, a, b, c)); }

int luaK_codeABx(FuncState* fs, OpCode o, int a, unsigned int bc) { return code(fs, CREATE_ABx(o, a, int(bc))); }

int luaK_codek(FuncState* fs, int reg, int k) {
    if (k <= MAXARG_Bx) return luaK_codeABx(fs, OP_LOADK, reg, unsigned(k));
    int p = luaK_codeABx(fs, OP_LOADKX, reg, 0);
    codeextraarg(fs, k);
    return p;
}

void luaK_nil(FuncState* fs, int from, int n) {
    int l = from + n - 1;  // last register to set nil
    if (fs->pc > fs->lasttarget) {  // no jumps to the current position?
        Instruction* previous = &fs->f->code[fs->pc - 1];
        if (GET_OPCODE(*previous) == OP_LOADNIL) {  // merge with the previous LOADNIL
            int pfrom = GETARG_A(*previous);
            int pl = pfrom + GETARG_B(*previous);
            if ((pfrom <= from && from <= pl + 1) || (from <= pfrom && pfrom <= l + 1)) {
                if (pfrom < from) from = pfrom;
                if (pl > l) l = pl;
                SETARG_A(*previous, from);
                SETARG_B(*previous, l - from);
                return;
            }
        }
    }
    luaK_codeABC(fs, OP_LOADNIL, from, n - 1, 0);
}

int luaK_jump(FuncState* fs) {
    int jpc = fs->jpc;  // jumps to here go on with this one
    fs->jpc = NO_JUMP;
    int j = luaK_codeAsBx(fs, OP_JMP, 0, NO_JUMP);
    luaK_concat(fs, &j, jpc);
    return j;
}

void luaK_ret(FuncState* fs, int first, int nret) { luaK_codeABC(fs, OP_RETURN, first, nret + 1, 0); }

int luaK_getlabel(FuncState* fs) {
    fs->lasttarget = fs->pc;
    return fs->pc;
}

void luaK_patchlist(FuncState* fs, int list, int target) {
    if (target == fs->pc)
        luaK_patchtohere(fs, list);
    else
        patchlistaux(fs, list, target, NO_REG, target);
}

void luaK_patchclose(FuncState* fs, int list, int level) {
    level++;  // A = level + 1, as 0 means "close nothing"
    while (list != NO_JUMP) {
        int next = getjump(fs, list);
        SETARG_A(fs->f->code[list], level);
        list = next;
    }
}

void luaK_patchtohere(FuncState* fs, int list) {
    luaK_getlabel(fs);
    luaK_concat(fs, &fs->jpc, list);
}

void luaK_concat(FuncState* fs, int* l1, int l2) {
    if (l2 == NO_JUMP) return;
    if (*l1 == NO_JUMP) {
        *l1 = l2;
        return;
    }
    int list = *l1;
    int next;
    while ((next = getjump(fs, list)) != NO_JUMP) list = next;  // last element
    fixjump(fs, list, l2);
}

void luaK_checkstack(FuncState* fs, int n) {
    int newstack = fs->freereg + n;
    if (newstack > fs->f->maxstacksize) {
        if (newstack >= MAXREGS) luaX_syntaxerror(fs->ls, "function or expression too complex");
        fs->f->maxstacksize = lu_byte(newstack);
    }
}

void luaK_reserveregs(FuncState* fs, int n) {
    luaK_checkstack(fs, n);
    fs->freereg = lu_byte(fs->freereg + n);
}

void luaK_setreturns(FuncState* fs, expdesc* e, int nresults) {
    if (e->k == VCALL) {
        SETARG_C(getcode(fs, e), nresults + 1);
    } else if (e->k == VVARARG) {
        SETARG_B(getcode(fs, e), nresults + 1);
        SETARG_A(getcode(fs, e), fs->freereg);
        luaK_reserveregs(fs, 1);
    }
}

void luaK_setoneret(FuncState* fs, expdesc* e) {
    if (e->k == VCALL) {  // a call's single result is in its base register
        e->k = VNONRELOC;
        e->u.info = GETARG_A(getcode(fs, e));
    } else if (e->k == VVARARG) {
        SETARG_B(getcode(fs, e), 2);
        e->k = VRELOCABLE;
    }
}

void luaK_dischargevars(FuncState* fs, expdesc* e) {
    switch (e->k) {
    case VLOCAL: e->k = VNONRELOC; break;
    case VUPVAL:
        e->u.info = luaK_codeABC(fs, OP_GETUPVAL, 0, e->u.info, 0);
        e->k = VRELOCABLE;
        break;
    case VINDEXED: {
        OpCode op = OP_GETTABUP;
        freereg(fs, e->u.ind.idx);
        if (e->u.ind.vt == VLOCAL) {  // table in a register
            freereg(fs, e->u.ind.t);
            op = OP_GETTABLE;
        }
        e->u.info = luaK_codeABC(fs, op, 0, e->u.ind.t, e->u.ind.idx);
        e->k = VRELOCABLE;
        break;
    }
    case VVARARG:
    case VCALL: luaK_setoneret(fs, e); break;
    default: break;  // the value is available somewhere already
    }
}

namespace {

int code_label(FuncState* fs, int A, int b, int jump) {
    luaK_getlabel(fs);  // these instructions may be jump targets
    return luaK_codeABC(fs, OP_LOADBOOL, A, b, jump);
}

void discharge2reg(FuncState* fs, expdesc* e, int reg) {
    luaK_dischargevars(fs, e);
    switch (e->k) {
    case VNIL: luaK_nil(fs, reg, 1); break;
    case VFALSE:
    case VTRUE: luaK_codeABC(fs, OP_LOADBOOL, reg, e->k == VTRUE, 0); break;
    case VK: luaK_codek(fs, reg, e->u.info); break;
    case VKNUM: luaK_codek(fs, reg, luaK_numberK(fs, e->u.nval)); break;
    case VRELOCABLE: SETARG_A(getcode(fs, e), reg); break;
    case VNONRELOC:
        if (reg != e->u.info) luaK_codeABC(fs, OP_MOVE, reg, e->u.info, 0);
        break;
    default: return;  // VVOID or VJMP: nothing to do
    }
    e->u.info = reg;
    e->k = VNONRELOC;
}

void discharge2anyreg(FuncState* fs, expdesc* e) {
    if (e->k != VNONRELOC) {
        luaK_reserveregs(fs, 1);
        discharge2reg(fs, e, fs->freereg - 1);
    }
}

void exp2reg(FuncState* fs, expdesc* e, int reg) {
    discharge2reg(fs, e, reg);
    if (e->k == VJMP) luaK_concat(fs, &e->t, e->u.info);  // the jump goes to the true list
    if (hasjumps(e)) {
        int p_f = NO_JUMP;  // position of an eventual LOADBOOL false
        int p_t = NO_JUMP;  // position of an eventual LOADBOOL true
        if (need_value(fs, e->t) || need_value(fs, e->f)) {
            int fj = (e->k == VJMP) ? NO_JUMP : luaK_jump(fs);
            p_f = code_label(fs, reg, 0, 1);
            p_t = code_label(fs, reg, 1, 0);
            luaK_patchtohere(fs, fj);
        }
        int final = luaK_getlabel(fs);  // position after the whole expression
        patchlistaux(fs, e->f, final, reg, p_f);
        patchlistaux(fs, e->t, final, reg, p_t);
    }
    e->f = e->t = NO_JUMP;
    e->u.info = reg;
    e->k = VNONRELOC;
}

}  // namespace

void luaK_exp2nextreg(FuncState* fs, expdesc* e) {
    luaK_dischargevars(fs, e);
    freeexp(fs, e);
    luaK_reserveregs(fs, 1);
    exp2reg(fs, e, fs->freereg - 1);
}

int luaK_exp2anyreg(FuncState* fs, expdesc* e) {
    luaK_dischargevars(fs, e);
    if (e->k == VNONRELOC) {
        if (!hasjumps(e)) return e->u.info;  // already in a register
        if (e->u.info >= fs->nactvar) {      // a temporary: the value can go there
            exp2reg(fs, e, e->u.info);
            return e->u.info;
        }
    }
    luaK_exp2nextreg(fs, e);
    return e->u.info;
}

void luaK_exp2anyregup(FuncState* fs, expdesc* e) {
    if (e->k != VUPVAL || hasjumps(e)) luaK_exp2anyreg(fs, e);
}

void luaK_exp2val(FuncState* fs, expdesc* e) {
    if (hasjumps(e))
        luaK_exp2anyreg(fs, e);
    else
        luaK_dischargevars(fs, e);
}

int luaK_exp2RK(FuncState* fs, expdesc* e) {
    luaK_exp2val(fs, e);
    switch (e->k) {
    case VTRUE:
    case VFALSE:
    case VNIL:
        if (fs->nk <= MAXINDEXRK) {  // the constant fits in an RK operand
            e->u.info = (e->k == VNIL) ? nilK(fs) : boolK(fs, e->k == VTRUE);
            e->k = VK;
            return RKASK(e->u.info);
        }
        break;
    case VKNUM:
        e->u.info = luaK_numberK(fs, e->u.nval);
        e->k = VK;
        [[fallthrough]];
    case VK:
        if (e->u.info <= MAXINDEXRK) return RKASK(e->u.info);
        break;
    default: break;
    }
    return luaK_exp2anyreg(fs, e);  // not a constant in range: use a register
}

void luaK_storevar(FuncState* fs, expdesc* var, expdesc* ex) {
    switch (var->k) {
    case VLOCAL:
        freeexp(fs, ex);
        exp2reg(fs, ex, var->u.info);
        return;
    case VUPVAL: {
        int e = luaK_exp2anyreg(fs, ex);
        luaK_codeABC(fs, OP_SETUPVAL, e, var->u.info, 0);
        break;
    }
    case VINDEXED: {
        OpCode op = (var->u.ind.vt == VLOCAL) ? OP_SETTABLE : OP_SETTABUP;
        int e = luaK_exp2RK(fs, ex);
        luaK_codeABC(fs, op, var->u.ind.t, var->u.ind.idx, e);
        break;
    }
    default: break;
    }
    freeexp(fs, ex);
}

void luaK_self(FuncState* fs, expdesc* e, expdesc* key) {
    luaK_exp2anyreg(fs, e);
    int ereg = e->u.info;
    freeexp(fs, e);
    e->u.info = fs->freereg;  // base register of the call
    e->k = VNONRELOC;
    luaK_reserveregs(fs, 2);  // function and self
    luaK_codeABC(fs, OP_SELF, e->u.info, ereg, luaK_exp2RK(fs, key));
    freeexp(fs, key);
}

namespace {

void invertjump(FuncState* fs, expdesc* e) {
    Instruction* pc = getjumpcontrol(fs, e->u.info);
    SETARG_A(*pc, !GETARG_A(*pc));
}

int jumponcond(FuncState* fs, expdesc* e, int cond) {
    if (e->k == VRELOCABLE) {
        Instruction ie = getcode(fs, e);
        if (GET_OPCODE(ie) == OP_NOT) {  // test the operand of `not' directly
            fs->pc--;
            return condjump(fs, OP_TEST, GETARG_B(ie), 0, !cond);
        }
    }
    discharge2anyreg(fs, e);
    freeexp(fs, e);
    return condjump(fs, OP_TESTSET, NO_REG, e->u.info, cond);
}

}  // namespace

void luaK_goiftrue(FuncState* fs, expdesc* e) {
    int pc;  // pc of the new jump
    luaK_dischargevars(fs, e);
    switch (e->k) {
    case VJMP:
        invertjump(fs, e);
        pc = e->u.info;
        break;
    case VK:
    case VKNUM:
    case VTRUE: pc = NO_JUMP; break;  // always true
    default: pc = jumponcond(fs, e, 0); break;
    }
    luaK_concat(fs, &e->f, pc);
    luaK_patchtohere(fs, e->t);
    e->t = NO_JUMP;
}

void luaK_goiffalse(FuncState* fs, expdesc* e) {
    int pc;
    luaK_dischargevars(fs, e);
    switch (e->k) {
    case VJMP: pc = e->u.info; break;
    case VNIL:
    case VFALSE: pc = NO_JUMP; break;  // always false
    default: pc = jumponcond(fs, e, 1); break;
    }
    luaK_concat(fs, &e->t, pc);
    luaK_patchtohere(fs, e->f);
    e->f = NO_JUMP;
}

namespace {

void codenot(FuncState* fs, expdesc* e) {
    luaK_dischargevars(fs, e);
    switch (e->k) {
    case VNIL:
    case VFALSE: e->k = VTRUE; break;
    case VK:
    case VKNUM:
    case VTRUE: e->k = VFALSE; break;
    case VJMP: invertjump(fs, e); break;
    case VRELOCABLE:
    case VNONRELOC:
        discharge2anyreg(fs, e);
        freeexp(fs, e);
        e->u.info = luaK_codeABC(fs, OP_NOT, 0, e->u.info, 0);
        e->k = VRELOCABLE;
        break;
    default: break;
    }
    std::swap(e->f, e->t);
    removevalues(fs, e->f);
    removevalues(fs, e->t);
}

// Folds arithmetic on two numerals with the run-time arithmetic; a division
// or modulo by 0 is left to run time.
bool constfolding(OpCode op, expdesc* e1, expdesc* e2) {
    if (!isnumeral(e1) || !isnumeral(e2)) return false;
    if ((op == OP_DIV || op == OP_MOD || op == OP_IDIV) && e2->u.nval == 0) return false;
    if (op >= OP_IDIV)
        e1->u.nval = luaV_bitvalue(op, e1->u.nval, e2->u.nval);
    else
        e1->u.nval = luaO_arith(int(op) - OP_ADD + LUA_OPADD, e1->u.nval, e2->u.nval);
    return true;
}

void codearith(FuncState* fs, OpCode op, expdesc* e1, expdesc* e2, int line) {
    if (constfolding(op, e1, e2)) return;
    int o2 = (op != OP_UNM && op != OP_LEN && op != OP_BNOT) ? luaK_exp2RK(fs, e2) : 0;
    int o1 = luaK_exp2RK(fs, e1);
    if (o1 > o2) {  // free the higher register first
        freeexp(fs, e1);
        freeexp(fs, e2);
    } else {
        freeexp(fs, e2);
        freeexp(fs, e1);
    }
    e1->u.info = luaK_codeABC(fs, op, 0, o1, o2);
    e1->k = VRELOCABLE;
    luaK_fixline(fs, line);
}

void codecomp(FuncState* fs, OpCode op, int cond, expdesc* e1, expdesc* e2) {
    int o1 = luaK_exp2RK(fs, e1);
    int o2 = luaK_exp2RK(fs, e2);
    freeexp(fs, e2);
    freeexp(fs, e1);
    if (cond == 0 && op != OP_EQ) {  // a > b is b < a, a >= b is b <= a
        std::swap(o1, o2);
        cond = 1;
    }
    e1->u.info = condjump(fs, op, cond, o1, o2);
    e1->k = VJMP;
}

}  // namespace

void luaK_indexed(FuncState* fs, expdesc* t, expdesc* k) {
    t->u.ind.t = lu_byte(t->u.info);
    t->u.ind.idx = short(luaK_exp2RK(fs, k));
    t->u.ind.vt = lu_byte((t->k == VUPVAL) ? VUPVAL : VLOCAL);
    t->k = VINDEXED;
}

void luaK_prefix(FuncState* fs, UnOpr op, expdesc* e, int line) {
    expdesc e2;
    e2.t = e2.f = NO_JUMP;
    e2.k = VKNUM;
    e2.u.nval = 0;
    switch (op) {
    case OPR_MINUS:
        if (isnumeral(e))
            e->u.nval = luaO_arith(LUA_OPUNM, e->u.nval, 0);  // fold a negated numeral
        else {
            luaK_exp2anyreg(fs, e);
            codearith(fs, OP_UNM, e, &e2, line);
        }
        break;
    case OPR_NOT: codenot(fs, e); break;
    case OPR_BNOT:
        if (isnumeral(e))
            e->u.nval = luaV_bitvalue(OP_BNOT, e->u.nval, 0);  // fold ~numeral
        else {
            luaK_exp2anyreg(fs, e);
            codearith(fs, OP_BNOT, e, &e2, line);
        }
        break;
    case OPR_LEN:
        luaK_exp2anyreg(fs, e);  // there is no constant operand for LEN
        codearith(fs, OP_LEN, e, &e2, line);
        break;
    default: break;
    }
}

void luaK_infix(FuncState* fs, BinOpr op, expdesc* v) {
    switch (op) {
    case OPR_AND: luaK_goiftrue(fs, v); break;
    case OPR_OR: luaK_goiffalse(fs, v); break;
    case OPR_CONCAT: luaK_exp2nextreg(fs, v); break;  // operands of CONCAT are consecutive registers
    case OPR_ADD:
    case OPR_SUB:
    case OPR_MUL:
    case OPR_DIV:
    case OPR_MOD:
    case OPR_POW:
    case OPR_IDIV:
    case OPR_BAND:
    case OPR_BOR:
    case OPR_BXOR:
    case OPR_SHL:
    case OPR_SHR:
    case OPR_LSHR:
    case OPR_ROTL:
    case OPR_ROTR:
        if (!isnumeral(v)) luaK_exp2RK(fs, v);  // numerals wait for folding
        break;
    default: luaK_exp2RK(fs, v); break;
    }
}

void luaK_posfix(FuncState* fs, BinOpr op, expdesc* e1, expdesc* e2, int line) {
    switch (op) {
    case OPR_AND:
        luaK_dischargevars(fs, e2);
        luaK_concat(fs, &e2->f, e1->f);
        *e1 = *e2;
        break;
    case OPR_OR:
        luaK_dischargevars(fs, e2);
        luaK_concat(fs, &e2->t, e1->t);
        *e1 = *e2;
        break;
    case OPR_CONCAT:
        luaK_exp2val(fs, e2);
        if (e2->k == VRELOCABLE && GET_OPCODE(getcode(fs, e2)) == OP_CONCAT) {
            // a .. (b .. c): extend the CONCAT of the right operand
            freeexp(fs, e1);
            SETARG_B(getcode(fs, e2), e1->u.info);
            e1->k = VRELOCABLE;
            e1->u.info = e2->u.info;
        } else {
            luaK_exp2nextreg(fs, e2);
            codearith(fs, OP_CONCAT, e1, e2, line);
        }
        break;
    case OPR_ADD:
    case OPR_SUB:
    case OPR_MUL:
    case OPR_DIV:
    case OPR_MOD:
    case OPR_POW: codearith(fs, OpCode(op - OPR_ADD + OP_ADD), e1, e2, line); break;
    case OPR_IDIV:
    case OPR_BAND:
    case OPR_BOR:
    case OPR_BXOR:
    case OPR_SHL:
    case OPR_SHR:
    case OPR_LSHR:
    case OPR_ROTL:
    case OPR_ROTR: codearith(fs, OpCode(op - OPR_IDIV + OP_IDIV), e1, e2, line); break;
    case OPR_EQ:
    case OPR_LT:
    case OPR_LE: codecomp(fs, OpCode(op - OPR_EQ + OP_EQ), 1, e1, e2); break;
    case OPR_NE:
    case OPR_GT:
    case OPR_GE: codecomp(fs, OpCode(op - OPR_NE + OP_EQ), 0, e1, e2); break;
    default: break;
    }
}

void luaK_fixline(FuncState* fs, int line) { fs->f->lineinfo[fs->pc - 1] = line; }

void luaK_setlist(FuncState* fs, int base, int nelems, int tostore) {
    int c = (nelems - 1) / LFIELDS_PER_FLUSH + 1;
    int b = (tostore == LUA_MULTRET) ? 0 : tostore;
    if (c <= MAXARG_C) {
        luaK_codeABC(fs, OP_SETLIST, base, b, c);
    } else if (c <= MAXARG_Ax) {
        luaK_codeABC(fs, OP_SETLIST, base, b, 0);
        codeextraarg(fs, c);
    } else {
        luaX_syntaxerror(fs->ls, "constructor too long");
    }
    fs->freereg = lu_byte(base + 1);  // the list values are stored
}

// ---- specialised forms ----

void luaK_specialize(Proto* f) {
    auto isk = [f](int rk) { return ISK(rk) && INDEXK(rk) < f->sizek; };
    auto kstr = [&](int rk) { return isk(rk) && ttisshrstring(&f->k[INDEXK(rk)]); };
    auto knum = [&](int rk) { return isk(rk) && ttisnumber(&f->k[INDEXK(rk)]); };
    for (int pc = 0; pc < f->sizecode; pc++) {
        Instruction& i = f->code[pc];
        int b = GETARG_B(i);
        int c = GETARG_C(i);
        int op = GET_VMOP(i);
        switch (GET_VMOP(i)) {
        case OP_GETTABUP: if (kstr(c)) op = OP_GETTABUPK; break;
        case OP_GETTABLE: op = kstr(c) ? OP_GETTABLEK : !ISK(c) ? OP_GETTABLER : op; break;
        case OP_SETTABLE: op = kstr(b) ? OP_SETTABLEK : !ISK(b) ? OP_SETTABLER : op; break;
        case OP_SELF: if (kstr(c)) op = OP_SELFK; break;
        case OP_ADD: op = ISK(b) ? op : knum(c) ? OP_ADDK : !ISK(c) ? OP_ADDRR : op; break;
        case OP_SUB: if (!ISK(b) && knum(c)) op = OP_SUBK; break;
        case OP_MUL: if (!ISK(b) && knum(c)) op = OP_MULK; break;
        case OP_MOD: if (!ISK(b) && knum(c) && nvalue(&f->k[INDEXK(c)]) > 0) op = OP_MODK; break;
        case OP_EQ: if (!ISK(b) && isk(c)) op = OP_EQK; break;
        case OP_LT: if (!ISK(b) && knum(c)) op = OP_LTK; break;
        case OP_LE: if (!ISK(b) && knum(c)) op = OP_LEK; break;
        default: break;
        }
        SET_OPCODE(i, op);
    }
}
