// Debug information and run-time errors.
//
// Error messages name the offending value the way Lua 5.2.3 does: the
// running function's code is scanned (symbolic execution) for the last
// instruction before the failing one that set the register, which tells
// whether the value came from a local, a global, a field, an upvalue, a
// constant or a method lookup. Errors raised here carry no "chunk:line:"
// prefix; the failing line goes to the state's runtime line instead.
#include "lua/lua_debug.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "lua/lua_do.h"
#include "lua/lua_func.h"
#include "lua/lua_opcodes.h"
#include "lua/lua_string.h"
#include "lua/lua_table.h"
#include "lua/lua_tm.h"
#include "lua/lua_vm.h"

namespace {

constexpr const char* LUA_ENV = "_ENV";

LClosure* ci_func(CallInfo* ci) { return clLvalue(ci->func); }

int currentpc(CallInfo* ci) { return pcRel(ci->u.l.savedpc, ci_func(ci)->p); }

int currentline(CallInfo* ci) { return getfuncline(ci_func(ci)->p, currentpc(ci)); }

const char* upvalname(Proto* p, int uv) {
    if (uv >= p->sizeupvalues) return "?";
    TString* s = p->upvalues[uv].name;
    return s == nullptr ? "?" : getstr(s);
}

const char* getobjname(Proto* p, int lastpc, int reg, const char** name);

// Name of an RK key operand when it is a constant string.
void kname(Proto* p, int pc, int c, const char** name) {
    if (ISK(c)) {
        TValue* kvalue = &p->k[INDEXK(c)];
        if (ttisstring(kvalue)) {
            *name = svalue(kvalue);
            return;
        }
    } else {
        const char* what = getobjname(p, pc, c, name);
        if (what && *what == 'c') return;  // a constant: name already set
    }
    *name = "?";
}

int filterpc(int pc, int jmptarget) {
    return pc < jmptarget ? -1 : pc;  // code inside a jump cannot be known to run
}

// The last instruction before lastpc that set register reg, or -1.
int findsetreg(Proto* p, int lastpc, int reg) {
    int setreg = -1;
    int jmptarget = 0;  // code before this address is conditional
    for (int pc = 0; pc < lastpc; pc++) {
        Instruction i = p->code[pc];
        OpCode op = GET_OPCODE(i);
        int a = GETARG_A(i);
        switch (op) {
        case OP_LOADNIL: {
            int b = GETARG_B(i);
            if (a <= reg && reg <= a + b) setreg = filterpc(pc, jmptarget);
            break;
        }
        case OP_TFORCALL:
            if (reg >= a + 2) setreg = filterpc(pc, jmptarget);
            break;
        case OP_CALL:
        case OP_TAILCALL:
            if (reg >= a) setreg = filterpc(pc, jmptarget);
            break;
        case OP_JMP: {
            int dest = pc + 1 + GETARG_sBx(i);
            if (pc < dest && dest <= lastpc && dest > jmptarget) jmptarget = dest;
            break;
        }
        case OP_TEST:
            if (reg == a) setreg = filterpc(pc, jmptarget);
            break;
        default:
            if (testAMode(op) && reg == a) setreg = filterpc(pc, jmptarget);
            break;
        }
    }
    return setreg;
}

const char* getobjname(Proto* p, int lastpc, int reg, const char** name) {
    *name = luaF_getlocalname(p, reg + 1, lastpc);
    if (*name) return "local";
    int pc = findsetreg(p, lastpc, reg);
    if (pc == -1) return nullptr;
    Instruction i = p->code[pc];
    OpCode op = GET_OPCODE(i);
    switch (op) {
    case OP_MOVE: {
        int b = GETARG_B(i);
        if (b < GETARG_A(i)) return getobjname(p, pc, b, name);
        break;
    }
    case OP_GETTABUP:
    case OP_GETTABLE: {
        int key = GETARG_C(i);
        int t = GETARG_B(i);
        const char* vn = op == OP_GETTABLE ? luaF_getlocalname(p, t + 1, pc) : upvalname(p, t);
        kname(p, pc, key, name);
        return (vn && std::strcmp(vn, LUA_ENV) == 0) ? "global" : "field";
    }
    case OP_GETUPVAL: *name = upvalname(p, GETARG_B(i)); return "upvalue";
    case OP_LOADK:
    case OP_LOADKX: {
        int b = op == OP_LOADK ? GETARG_Bx(i) : GETARG_Ax(p->code[pc + 1]);
        if (ttisstring(&p->k[b])) {
            *name = svalue(&p->k[b]);
            return "constant";
        }
        break;
    }
    case OP_SELF: kname(p, pc, GETARG_C(i), name); return "method";
    default: break;
    }
    return nullptr;
}

// How the function running in ci was called, seen from its caller.
const char* getfuncname(lua_State* L, CallInfo* ci, const char** name) {
    Proto* p = ci_func(ci)->p;
    int pc = currentpc(ci);
    Instruction i = p->code[pc];
    TMS tm;
    switch (GET_OPCODE(i)) {
    case OP_CALL:
    case OP_TAILCALL: return getobjname(p, pc, GETARG_A(i), name);
    case OP_TFORCALL: *name = "for iterator"; return "for iterator";
    case OP_SELF:
    case OP_GETTABUP:
    case OP_GETTABLE: tm = TM_INDEX; break;
    case OP_SETTABUP:
    case OP_SETTABLE: tm = TM_NEWINDEX; break;
    case OP_EQ: tm = TM_EQ; break;
    case OP_ADD: tm = TM_ADD; break;
    case OP_SUB: tm = TM_SUB; break;
    case OP_MUL: tm = TM_MUL; break;
    case OP_DIV: tm = TM_DIV; break;
    case OP_MOD: tm = TM_MOD; break;
    case OP_POW: tm = TM_POW; break;
    case OP_UNM: tm = TM_UNM; break;
    case OP_LEN: tm = TM_LEN; break;
    case OP_LT: tm = TM_LT; break;
    case OP_LE: tm = TM_LE; break;
    case OP_CONCAT: tm = TM_CONCAT; break;
    default: return nullptr;
    }
    *name = getstr(G(L)->tmname[tm]);
    return "metamethod";
}

bool isinstack(CallInfo* ci, const TValue* o) {
    for (StkId p = ci->u.l.base; p < ci->top; p++)
        if (o == p) return true;
    return false;
}

const char* getupvalname(CallInfo* ci, const TValue* o, const char** name) {
    LClosure* c = ci_func(ci);
    for (int i = 0; i < c->nupvalues; i++) {
        if (c->upvals[i]->v == o) {
            *name = upvalname(c->p, i);
            return "upvalue";
        }
    }
    return nullptr;
}

void funcinfo(lua_Debug* ar, const TValue* cl) {
    if (ttisLclosure(cl)) {
        Proto* p = clLvalue(cl)->p;
        ar->source = p->source ? getstr(p->source) : "=?";
        ar->linedefined = p->linedefined;
        ar->lastlinedefined = p->lastlinedefined;
        ar->what = ar->linedefined == 0 ? "main" : "Lua";
    } else {
        ar->source = "=[C]";
        ar->linedefined = -1;
        ar->lastlinedefined = -1;
        ar->what = "C";
    }
    luaO_chunkid(ar->short_src, ar->source, LUA_IDSIZE);
}

void collectvalidlines(lua_State* L, const TValue* f) {
    if (!ttisLclosure(f)) {
        setnilvalue(L->top);
        incr_top(L);
        return;
    }
    Proto* p = clLvalue(f)->p;
    Table* t = luaH_new(L);
    sethvalue(L, L->top, t);
    incr_top(L);
    TValue v;
    setbvalue(&v, 1);
    for (int i = 0; i < p->sizelineinfo; i++) {
        int line = p->lineinfo[i];
        if (line >= 1 && line <= 32767) luaH_setint(L, t, line, &v);
    }
}

int auxgetinfo(lua_State* L, const char* what, lua_Debug* ar, const TValue* f, CallInfo* ci) {
    int status = 1;
    for (; *what; what++) {
        switch (*what) {
        case 'S': funcinfo(ar, f); break;
        case 'l': ar->currentline = (ci && isLua(ci)) ? currentline(ci) : -1; break;
        case 'u':
            ar->nups = ttislcf(f) ? 0 : clvalue(f)->c.nupvalues;
            if (!ttisLclosure(f)) {
                ar->isvararg = 1;
                ar->nparams = 0;
            } else {
                ar->isvararg = char(clLvalue(f)->p->is_vararg);
                ar->nparams = clLvalue(f)->p->numparams;
            }
            break;
        case 't': ar->istailcall = ci ? char(ci->callstatus & CIST_TAIL) : 0; break;
        case 'n':
            if (ci && !(ci->callstatus & CIST_TAIL) && ci->previous && isLua(ci->previous))
                ar->namewhat = getfuncname(L, ci->previous, &ar->name);
            else
                ar->namewhat = nullptr;
            if (ar->namewhat == nullptr) {
                ar->namewhat = "";
                ar->name = nullptr;
            }
            break;
        case 'L':
        case 'f': break;  // handled by lua_getinfo
        default: status = 0;
        }
    }
    return status;
}

const char* findvararg(CallInfo* ci, int n, StkId* pos) {
    int nparams = clLvalue(ci->func)->p->numparams;
    if (n >= int(ci->u.l.base - ci->func) - nparams) return nullptr;
    *pos = ci->func + nparams + n;
    return "(*vararg)";
}

const char* findlocal(lua_State* L, CallInfo* ci, int n, StkId* pos) {
    const char* name = nullptr;
    StkId base;
    if (isLua(ci)) {
        if (n < 0) return findvararg(ci, -n, pos);
        base = ci->u.l.base;
        name = luaF_getlocalname(ci_func(ci)->p, n, currentpc(ci));
    } else {
        base = ci->func + 1;
    }
    if (name == nullptr) {
        StkId limit = (ci == L->ci) ? L->top : ci->next->func;
        if (limit - base >= n && n > 0)
            name = "(*temporary)";
        else
            return nullptr;
    }
    *pos = base + (n - 1);
    return name;
}

}  // namespace


// ---- errors ----

void luaG_typeerror(lua_State* L, const TValue* o, const char* op) {
    CallInfo* ci = L->ci;
    const char* name = nullptr;
    const char* t = luaT_objtypename(o);
    const char* kind = nullptr;
    if (isLua(ci)) {
        kind = getupvalname(ci, o, &name);
        if (!kind && isinstack(ci, o))
            kind = getobjname(ci_func(ci)->p, currentpc(ci), int(o - ci->u.l.base), &name);
    }
    if (kind)
        luaG_runerror(L, "attempt to %s %s '%s' (a %s value)", op, kind, name, t);
    else
        luaG_runerror(L, "attempt to %s a %s value", op, t);
}

void luaG_concaterror(lua_State* L, StkId p1, StkId p2) {
    if (ttisstring(p1) || ttisnumber(p1)) p1 = p2;
    luaG_typeerror(L, p1, "concatenate");
}

void luaG_aritherror(lua_State* L, const TValue* p1, const TValue* p2) {
    TValue temp;
    if (luaV_tonumber(p1, &temp) == nullptr) p2 = p1;  // the first operand is the wrong one
    luaG_typeerror(L, p2, "perform arithmetic on");
}

void luaG_biterror(lua_State* L, const TValue* p1, const TValue* p2) {
    TValue temp;
    if (luaV_tonumber(p1, &temp) == nullptr) p2 = p1;
    luaG_typeerror(L, p2, "perform bitwise operation on");
}

void luaG_ordererror(lua_State* L, const TValue* p1, const TValue* p2) {
    const char* t1 = luaT_objtypename(p1);
    const char* t2 = luaT_objtypename(p2);
    if (t1 == t2)
        luaG_runerror(L, "attempt to compare two %s values", t1);
    else
        luaG_runerror(L, "attempt to compare %s with %s", t1, t2);
}

void luaG_errormsg(lua_State* L) {
    if (L->errfunc != 0) {  // an error handler is set: call it with the message
        StkId errfunc = restorestack(L, L->errfunc);
        if (!ttisfunction(errfunc)) luaD_throw(L, LUA_ERRERR);
        setobj(L->top, L->top - 1);
        setobj(L->top - 1, errfunc);
        incr_top(L);
        luaD_call(L, L->top - 2, 1, 0);
    }
    luaD_throw(L, LUA_ERRRUN);
}

void luaG_stoperror(lua_State* L) {
    // Raised from a hook, the running call is still the Lua function whose
    // instruction was about to run; from a C function, its caller's line.
    CallInfo* ci = L->ci;
    while (ci && !isLua(ci)) ci = ci->previous;
    if (ci) G(L)->runtime_line = currentline(ci);
    luaD_throw(L, LUA_ERRRUN);
}

void luaG_runerror(lua_State* L, const char* fmt, ...) {
    CallInfo* ci = L->ci;
    va_list argp;
    va_start(argp, fmt);
    luaO_pushvfstring(L, fmt, argp);
    va_end(argp);
    if (ci && isLua(ci)) G(L)->runtime_line = currentline(ci);
    luaG_errormsg(L);
}

// ---- the debug interface ----

int lua_getstack(lua_State* L, int level, lua_Debug* ar) {
    if (level < 0) return 0;
    CallInfo* ci;
    for (ci = L->ci; level > 0 && ci != &L->base_ci; ci = ci->previous) level--;
    if (level == 0 && ci != &L->base_ci) {
        ar->i_ci = ci;
        return 1;
    }
    return 0;
}

int lua_getinfo(lua_State* L, const char* what, lua_Debug* ar) {
    CallInfo* ci = nullptr;
    StkId func;
    if (*what == '>') {
        func = L->top - 1;
        if (!ttisfunction(func)) return 0;
        what++;
        L->top--;  // pop the function
    } else {
        ci = ar->i_ci;
        func = ci->func;
    }
    TValue fv = *func;  // the stack may move below
    int status = auxgetinfo(L, what, ar, &fv, ci);
    if (std::strchr(what, 'f')) {
        setobj(L->top, &fv);
        incr_top(L);
    }
    if (std::strchr(what, 'L')) collectvalidlines(L, &fv);
    return status;
}

const char* lua_getlocal(lua_State* L, const lua_Debug* ar, int n) {
    if (ar == nullptr) {  // parameters of the function on the top
        if (!ttisLclosure(L->top - 1)) return nullptr;
        return luaF_getlocalname(clLvalue(L->top - 1)->p, n, 0);
    }
    StkId pos = nullptr;
    const char* name = findlocal(L, ar->i_ci, n, &pos);
    if (name) {
        setobj(L->top, pos);
        incr_top(L);
    }
    return name;
}

const char* lua_setlocal(lua_State* L, const lua_Debug* ar, int n) {
    StkId pos = nullptr;
    const char* name = findlocal(L, ar->i_ci, n, &pos);
    if (name) setobj(pos, L->top - 1);
    L->top--;
    return name;
}

int lua_sethook(lua_State* L, lua_Hook func, int mask, int count) {
    if (func == nullptr || mask == 0) {
        mask = 0;
        func = nullptr;
    }
    if (isLua(L->ci)) {
        L->oldpc = L->ci->u.l.savedpc;
        // The countdown starts afresh, so an instruction re-run after a hook
        // yield must not skip the next hook.
        L->ci->callstatus &= static_cast<unsigned short>(~CIST_HOOKYIELD);
    }
    L->hook = func;
    L->basehookcount = count;
    resethookcount(L);
    L->hookmask = lu_byte(mask);
    return 1;
}

lua_Hook lua_gethook(lua_State* L) { return L->hook; }
int lua_gethookmask(lua_State* L) { return L->hookmask; }
int lua_gethookcount(lua_State* L) { return L->basehookcount; }

// ---- the console's CPU budget ----

namespace {

// The name of the innermost C function on T's stack that is making a call
// that cannot yield, as its caller knows it; null if none has a name.
const char* noyield_caller(lua_State* T) {
    for (CallInfo* ci = T->ci; ci != nullptr && ci != &T->base_ci; ci = ci->previous) {
        if (isLua(ci) || !(ci->callstatus & CIST_NOYIELD)) continue;
        lua_Debug ar;
        ar.i_ci = ci;
        return lua_getinfo(T, "n", &ar) ? ar.name : nullptr;
    }
    return nullptr;
}

}  // namespace

void lua_vexel_blocker(lua_State* L, char* out, size_t size) {
    if (size == 0) return;
    const char* what = nullptr;
    if (G(L)->nfinalizing > 0) what = "__gc";
    for (lua_State* T = L; T != nullptr && what == nullptr; T = T->resumer) what = noyield_caller(T);
    std::snprintf(out, size, "%s", what ? what : "a c function");
}

void lua_spend_cpu(lua_State* L, int n) {
    if (L->softyield_saved != 0) {  // a soft yield is pending: undo it first
        L->hookcount = L->softyield_saved;
        L->softyield_saved = 0;
    }
    // Any charge (or refund) is taken without overflowing the countdown.
    long long left = static_cast<long long>(L->hookcount) - n;
    if (left < 1) left = 1;
    if (left > INT_MAX) left = INT_MAX;
    L->hookcount = static_cast<int>(left);
}

int lua_get_cpu(lua_State* L) { return L->hookcount; }

void lua_vexel_soft_yield(lua_State* L) {
    if (L->softyield_saved == 0) L->softyield_saved = L->hookcount;
    L->hookcount = 1;
}

// Makes a thread whose run failed or was abandoned (dead, or suspended in
// the middle of a program) usable for a new run: no calls, no open upvalues
// into the old frames, hooks allowed again (an error inside a hook leaves
// them off), an empty stack.
void lua_reset_call_state_vexel(lua_State* L) {
    L->ci = &L->base_ci;
    L->base_ci.callstatus = 0;
    luaF_close(L, L->stack);
    L->status = LUA_OK;
    L->vmrest = 0;
    L->nCcalls = 0;
    L->allowhook = 1;
    L->errfunc = 0;
    L->top = L->base_ci.func + 1;
    L->base_ci.top = L->top + LUA_MINSTACK;
}
