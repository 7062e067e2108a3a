// The C API: how the console's functions read and push script values.
//
// Stack indices: positive counts from the called function's first
// argument, negative from the top, LUA_REGISTRYINDEX is the registry and
// below it are a C closure's upvalues. An index that names nothing reads as
// a shared nil (luaO_nilobject) and is never written. Number conversions
// follow the 16.16 dialect: see lua.h.
#include <cstring>

#include "lua/lua.h"
#include "lua/lua_debug.h"
#include "lua/lua_do.h"
#include "lua/lua_func.h"
#include "lua/lua_gc.h"
#include "lua/lua_mem.h"
#include "lua/lua_numbers.h"
#include "lua/lua_string.h"
#include "lua/lua_table.h"
#include "lua/lua_tm.h"
#include "lua/lua_vm.h"

namespace {

TValue* nonvalid() { return const_cast<TValue*>(luaO_nilobject); }
bool isvalid(const TValue* o) { return o != luaO_nilobject; }

TValue* index2addr(lua_State* L, int idx) {
    CallInfo* ci = L->ci;
    if (idx > 0) {
        TValue* o = ci->func + idx;
        return o >= L->top ? nonvalid() : o;
    }
    if (idx > LUA_REGISTRYINDEX) {
        if (-idx > L->top - (ci->func + 1)) return nonvalid();  // below the frame
        return L->top + idx;
    }
    if (idx == LUA_REGISTRYINDEX) return &G(L)->l_registry;
    idx = LUA_REGISTRYINDEX - idx;  // upvalue number
    if (!ttisCclosure(ci->func)) return nonvalid();  // light C functions have none
    CClosure* func = clCvalue(ci->func);
    return (idx <= func->nupvalues) ? &func->upvalue[idx - 1] : nonvalid();
}

// Room for one more value on the stack of the running C function.
// A C function that pushes past the room it asked for grows its frame
// instead of writing beyond the stack.
inline void api_incr_top(lua_State* L) {
    lua_assert(L->top >= L->ci->func && L->top < L->stack_last + EXTRA_STACK);
    L->top++;
    if (L->top > L->ci->top) {
        if (L->top >= L->stack_last) luaD_growstack(L, 1);
        L->ci->top = L->top;
    }
}

// Writes never go to the shared nil.

Table* globals(lua_State* L) {
    const TValue* gt = luaH_getint(hvalue(&G(L)->l_registry), LUA_RIDX_GLOBALS);
    return hvalue(gt);
}

struct CallS {
    StkId func;
    int nresults;
};

void f_call(lua_State* L, void* ud) {
    auto* c = static_cast<CallS*>(ud);
    luaD_call(L, c->func, c->nresults, 0);
}

void adjustresults(lua_State* L, int nres) {
    if (nres == LUA_MULTRET && L->ci->top < L->top) L->ci->top = L->top;
}

void growstack_p(lua_State* L, void* ud) { luaD_growstack(L, *static_cast<int*>(ud)); }

// The value of upvalue n of closure fi and the object holding it.
const char* aux_upvalue(StkId fi, int n, TValue** val, GCObject** owner = nullptr) {
    switch (ttype(fi)) {
    case LUA_TCCL: {
        CClosure* f = clCvalue(fi);
        if (!(1 <= n && n <= f->nupvalues)) return nullptr;
        *val = &f->upvalue[n - 1];
        if (owner) *owner = f;
        return "";
    }
    case LUA_TLCL: {
        LClosure* f = clLvalue(fi);
        Proto* p = f->p;
        if (!(1 <= n && n <= p->sizeupvalues)) return nullptr;
        *val = f->upvals[n - 1]->v;
        if (owner) *owner = f->upvals[n - 1];
        TString* name = p->upvalues[n - 1].name;
        return name == nullptr ? "" : getstr(name);
    }
    default: return nullptr;
    }
}

}  // namespace

// ---- number text ----

int vexel_fixed_to_string(char* buff, int32_t value) { return luaO_fixed_to_string(buff, value); }

// ---- state ----

lua_CFunction lua_atpanic(lua_State* L, lua_CFunction panicf) {
    lua_CFunction old = G(L)->panic;
    G(L)->panic = panicf;
    return old;
}

// ---- basic stack manipulation ----

int lua_gettop(lua_State* L) { return int(L->top - (L->ci->func + 1)); }

void lua_settop(lua_State* L, int idx) {
    StkId func = L->ci->func;
    if (idx >= 0) {
        while (L->top < func + 1 + idx) setnilvalue(L->top++);
        L->top = func + 1 + idx;
    } else {
        L->top += idx + 1;
    }
}

void lua_remove(lua_State* L, int idx) {
    StkId p = index2addr(L, idx);
    if (!isvalid(p)) return;
    while (++p < L->top) setobj(p - 1, p);
    L->top--;
}

void lua_insert(lua_State* L, int idx) {
    StkId p = index2addr(L, idx);
    if (!isvalid(p)) return;
    for (StkId q = L->top; q > p; q--) setobj(q, q - 1);
    setobj(p, L->top);
}

void lua_replace(lua_State* L, int idx) {
    lua_copy(L, -1, idx);
    L->top--;
}

void lua_copy(lua_State* L, int fromidx, int toidx) {
    TValue* fr = index2addr(L, fromidx);
    TValue* to = index2addr(L, toidx);
    if (isvalid(to)) {
        setobj(to, fr);
        if (toidx < LUA_REGISTRYINDEX) luaC_barrier(L, L->ci->func->value_.gc, fr);  // a C closure's upvalue
    }
}

void lua_pushvalue(lua_State* L, int idx) {
    setobj(L->top, index2addr(L, idx));
    api_incr_top(L);
}

int lua_checkstack(lua_State* L, int size) {
    CallInfo* ci = L->ci;
    int res;
    if (size < 0) return 0;
    if (L->stack_last - L->top > size) {
        res = 1;
    } else {
        int inuse = int(L->top - L->stack) + EXTRA_STACK;
        if (inuse > LUAI_MAXSTACK - size)
            res = 0;
        else
            res = luaD_rawrunprotected(L, growstack_p, &size) == LUA_OK;
    }
    if (res && ci->top < L->top + size) ci->top = L->top + size;
    return res;
}

void lua_xmove(lua_State* from, lua_State* to, int n) {
    if (from == to) return;
    from->top -= n;
    for (int i = 0; i < n; i++) setobj(to->top++, from->top + i);
}

// ---- access functions ----

int lua_type(lua_State* L, int idx) {
    StkId o = index2addr(L, idx);
    return isvalid(o) ? ttypenv(o) : LUA_TNONE;
}

const char* lua_typename(lua_State*, int t) { return ttypename(t); }

int lua_isnumber(lua_State* L, int idx) {
    TValue n;
    return luaV_tonumber(index2addr(L, idx), &n) != nullptr;
}

int lua_isstring(lua_State* L, int idx) {
    int t = lua_type(L, idx);
    return t == LUA_TSTRING || t == LUA_TNUMBER;
}

int lua_rawequal(lua_State* L, int index1, int index2) {
    StkId o1 = index2addr(L, index1);
    StkId o2 = index2addr(L, index2);
    return isvalid(o1) && isvalid(o2) && luaV_rawequalobj(o1, o2);
}

void lua_arith(lua_State* L, int op) {
    if (op == LUA_OPUNM) {  // a fake second operand
        setobj(L->top, L->top - 1);
        L->top++;
    }
    StkId o1 = L->top - 2;
    StkId o2 = L->top - 1;
    if (ttisnumber(o1) && ttisnumber(o2))
        setnvalue(o1, luaO_arith(op, nvalue(o1), nvalue(o2)));
    else
        luaV_arith(L, o1, o1, o2, TMS(op - LUA_OPADD + TM_ADD));
    L->top--;
}

int lua_compare(lua_State* L, int index1, int index2, int op) {
    StkId o1 = index2addr(L, index1);
    StkId o2 = index2addr(L, index2);
    if (!isvalid(o1) || !isvalid(o2)) return 0;
    switch (op) {
    case LUA_OPEQ: return equalobj(L, o1, o2);
    case LUA_OPLT: return luaV_lessthan(L, o1, o2);
    case LUA_OPLE: return luaV_lessequal(L, o1, o2);
    default: return 0;
    }
}

lua_Number lua_tonumberx(lua_State* L, int idx, int* isnum) {
    // A number argument, what nearly every call of a drawing or math
    // builtin passes, is read without the out-of-line conversion: the call
    // cost about a tenth of bench_frame's time.
    const TValue* arg = index2addr(L, idx);
    if (ttisnumber(arg)) {
        if (isnum) *isnum = 1;
        return nvalue(arg);
    }
    TValue n;
    const TValue* o = luaV_tonumber(arg, &n);
    if (isnum) *isnum = o != nullptr;
    return o ? nvalue(o) : 0;
}

// lua_vexel_numbers when an argument is missing or not a number: what
// lua_tonumberx makes of each (lua_numbers.h).
int lua_vexel_numbers_in_full(const TValue* arg, int given, lua_Number* out, int n) {
    for (int i = 0; i < n; i++) {
        TValue v;
        const TValue* o = i < given ? luaV_tonumber(arg + i, &v) : nullptr;
        out[i] = o ? nvalue(o) : 0;
    }
    return given;
}

lua_Integer lua_tointegerx(lua_State* L, int idx, int* isnum) {
    TValue n;
    const TValue* o = luaV_tonumber(index2addr(L, idx), &n);
    if (isnum) *isnum = o != nullptr;
    return o ? fix_to_int(nvalue(o)) : 0;
}

lua_Unsigned lua_tounsignedx(lua_State* L, int idx, int* isnum) {
    TValue n;
    const TValue* o = luaV_tonumber(index2addr(L, idx), &n);
    if (isnum) *isnum = o != nullptr;
    return o ? lua_Unsigned(nvalue(o) >> 16) : 0;
}

int lua_toboolean(lua_State* L, int idx) { return !l_isfalse(index2addr(L, idx)); }

const char* lua_tolstring(lua_State* L, int idx, size_t* len) {
    StkId o = index2addr(L, idx);
    if (!ttisstring(o)) {
        if (!ttisnumber(o) || !isvalid(o)) {
            if (len) *len = 0;
            return nullptr;
        }
        luaV_tostring(L, o);  // converts the number in place
        o = index2addr(L, idx);
    }
    if (len) *len = tsvalue(o)->len;
    return svalue(o);
}

size_t lua_rawlen(lua_State* L, int idx) {
    StkId o = index2addr(L, idx);
    switch (ttypenv(o)) {
    case LUA_TSTRING: return tsvalue(o)->len;
    case LUA_TUSERDATA: return uvalue(o)->len;
    case LUA_TTABLE: return size_t(luaH_getn(hvalue(o)));
    default: return 0;
    }
}

void* lua_touserdata(lua_State* L, int idx) {
    StkId o = index2addr(L, idx);
    switch (ttypenv(o)) {
    case LUA_TUSERDATA: return udata_memory(uvalue(o));
    case LUA_TLIGHTUSERDATA: return pvalue(o);
    default: return nullptr;
    }
}

lua_State* lua_tothread(lua_State* L, int idx) {
    StkId o = index2addr(L, idx);
    return ttisthread(o) ? thvalue(o) : nullptr;
}

// ---- push functions ----

void lua_pushnil(lua_State* L) {
    setnilvalue(L->top);
    api_incr_top(L);
}

void lua_pushnumber(lua_State* L, lua_Number n) {
    setnvalue(L->top, n);
    api_incr_top(L);
}

void lua_pushinteger(lua_State* L, lua_Integer n) {
    setnvalue(L->top, n);  // the raw value, unscaled
    api_incr_top(L);
}

void lua_pushunsigned(lua_State* L, lua_Unsigned u) {
    setnvalue(L->top, lua_Number(u << 16));
    api_incr_top(L);
}

const char* lua_pushlstring(lua_State* L, const char* s, size_t len) {
    luaC_checkGC(L);
    TString* ts = luaS_newlstr(L, s, len);
    setsvalue(L, L->top, ts);
    api_incr_top(L);
    return getstr(ts);
}

const char* lua_pushstring(lua_State* L, const char* s) {
    if (s == nullptr) {
        lua_pushnil(L);
        return nullptr;
    }
    return lua_pushlstring(L, s, std::strlen(s));
}

const char* lua_pushvfstring(lua_State* L, const char* fmt, va_list argp) {
    luaC_checkGC(L);
    return luaO_pushvfstring(L, fmt, argp);
}

const char* lua_pushfstring(lua_State* L, const char* fmt, ...) {
    luaC_checkGC(L);
    va_list argp;
    va_start(argp, fmt);
    const char* ret = luaO_pushvfstring(L, fmt, argp);
    va_end(argp);
    return ret;
}

void lua_pushcclosure(lua_State* L, lua_CFunction fn, int n) {
    if (n == 0) {
        setfvalue(L->top, fn);
    } else {
        luaC_checkGC(L);
        Closure* cl = luaF_newCclosure(L, n);
        cl->c.f = fn;
        L->top -= n;
        while (n--) setobj(&cl->c.upvalue[n], L->top + n);
        setclCvalue(L, L->top, cl);
    }
    api_incr_top(L);
}

namespace {

// The C function of every number function's closure: what a caller other
// than the instruction loop reaches.
int call_number_function(lua_State* L) {
    const StkId func = L->ci->func;
    const lua_NumberResult r = luaV_callnumbers(L, clCvalue(func)->numfn, func + 1, int(L->top - (func + 1)));
    if (r.count == 0) return 0;
    setnvalue(L->top, r.value);
    api_incr_top(L);
    return 1;
}

}  // namespace

void lua_pushnumberfunction(lua_State* L, lua_NumberFunction fn) {
    luaC_checkGC(L);
    Closure* cl = luaF_newCclosure(L, 0);
    cl->c.f = call_number_function;
    cl->c.numfn = fn;
    setclCvalue(L, L->top, cl);
    api_incr_top(L);
}

void lua_pushboolean(lua_State* L, int b) {
    setbvalue(L->top, b != 0);
    api_incr_top(L);
}

void lua_pushlightuserdata(lua_State* L, void* p) {
    setpvalue(L->top, p);
    api_incr_top(L);
}

int lua_pushthread(lua_State* L) {
    setthvalue(L, L->top, L);
    api_incr_top(L);
    return G(L)->mainthread == L;
}

// ---- get functions ----

void lua_getglobal(lua_State* L, const char* var) {
    Table* reg = globals(L);
    TValue gt;
    sethvalue(L, &gt, reg);
    setsvalue(L, L->top, luaS_new(L, var));
    api_incr_top(L);
    luaV_gettable(L, &gt, L->top - 1, L->top - 1);
}

void lua_getfield(lua_State* L, int idx, const char* k) {
    StkId t = index2addr(L, idx);
    TValue tv = *t;  // the string below may move the stack
    setsvalue(L, L->top, luaS_new(L, k));
    api_incr_top(L);
    luaV_gettable(L, &tv, L->top - 1, L->top - 1);
}

void lua_rawget(lua_State* L, int idx) {
    StkId t = index2addr(L, idx);
    if (!ttistable(t)) {
        setnilvalue(L->top - 1);
        return;
    }
    setobj(L->top - 1, luaH_get(hvalue(t), L->top - 1));
}

void lua_rawgeti(lua_State* L, int idx, int n) {
    StkId t = index2addr(L, idx);
    if (!ttistable(t)) {
        setnilvalue(L->top);
    } else if (luaH_intkey(int_to_fix(n)) == n) {
        setobj(L->top, luaH_getint(hvalue(t), n));
    } else {  // not an integer key of the dialect: look up the number
        TValue k;
        setnvalue(&k, int_to_fix(n));
        setobj(L->top, luaH_get(hvalue(t), &k));
    }
    api_incr_top(L);
}

void lua_createtable(lua_State* L, int narray, int nrec) {
    luaC_checkGC(L);
    Table* t = luaH_new(L);
    sethvalue(L, L->top, t);
    api_incr_top(L);
    if (narray > 0 || nrec > 0) luaH_resize(L, t, narray, nrec);
}

int lua_getmetatable(lua_State* L, int objindex) {
    const TValue* obj = index2addr(L, objindex);
    Table* mt;
    switch (ttypenv(obj)) {
    case LUA_TTABLE: mt = hvalue(obj)->metatable; break;
    case LUA_TUSERDATA: mt = uvalue(obj)->metatable; break;
    default: mt = isvalid(obj) ? G(L)->mt[ttypenv(obj)] : nullptr; break;
    }
    if (mt == nullptr) return 0;
    sethvalue(L, L->top, mt);
    api_incr_top(L);
    return 1;
}

void lua_getuservalue(lua_State* L, int idx) {
    StkId o = index2addr(L, idx);
    if (ttisuserdata(o) && uvalue(o)->env)
        sethvalue(L, L->top, uvalue(o)->env);
    else
        setnilvalue(L->top);
    api_incr_top(L);
}

// ---- set functions ----

void lua_setglobal(lua_State* L, const char* var) {
    TValue gt;
    sethvalue(L, &gt, globals(L));
    setsvalue(L, L->top, luaS_new(L, var));
    api_incr_top(L);
    luaV_settable(L, &gt, L->top - 1, L->top - 2);
    L->top -= 2;  // pop value and key
}

void lua_setfield(lua_State* L, int idx, const char* k) {
    StkId t = index2addr(L, idx);
    TValue tv = *t;
    setsvalue(L, L->top, luaS_new(L, k));
    api_incr_top(L);
    luaV_settable(L, &tv, L->top - 1, L->top - 2);
    L->top -= 2;
}

void lua_rawset(lua_State* L, int idx) {
    StkId t = index2addr(L, idx);
    if (ttistable(t)) {
        luaH_setvalue(L, hvalue(t), L->top - 2, L->top - 1);
        hvalue(t)->flags = 0;
        luaC_barrierback(L, hvalue(t), L->top - 1);
    }
    L->top -= 2;
}

void lua_rawseti(lua_State* L, int idx, int n) {
    StkId t = index2addr(L, idx);
    if (ttistable(t)) {
        if (luaH_intkey(int_to_fix(n)) == n) {
            luaH_setint(L, hvalue(t), n, L->top - 1);
        } else {
            TValue k;
            setnvalue(&k, int_to_fix(n));
            luaH_setvalue(L, hvalue(t), &k, L->top - 1);
        }
        luaC_barrierback(L, hvalue(t), L->top - 1);
    }
    L->top--;
}

int lua_setmetatable(lua_State* L, int objindex) {
    TValue* obj = index2addr(L, objindex);
    Table* mt = ttisnil(L->top - 1) ? nullptr : (ttistable(L->top - 1) ? hvalue(L->top - 1) : nullptr);
    switch (ttypenv(obj)) {
    case LUA_TTABLE:
        hvalue(obj)->metatable = mt;
        if (mt) {
            luaC_objbarrierback(L, hvalue(obj), mt);
            luaC_checkfinalizer(L, gcvalue(obj), mt);
        }
        break;
    case LUA_TUSERDATA:
        uvalue(obj)->metatable = mt;
        if (mt) {
            luaC_objbarrier(L, uvalue(obj), mt);
            luaC_checkfinalizer(L, gcvalue(obj), mt);
        }
        break;
    default:
        if (isvalid(obj)) G(L)->mt[ttypenv(obj)] = mt;
        break;
    }
    L->top--;
    return 1;
}

void lua_setuservalue(lua_State* L, int idx) {
    StkId o = index2addr(L, idx);
    if (ttisuserdata(o)) {
        uvalue(o)->env = ttistable(L->top - 1) ? hvalue(L->top - 1) : nullptr;
        if (uvalue(o)->env) luaC_objbarrier(L, uvalue(o), uvalue(o)->env);
    }
    L->top--;
}

// ---- load and call ----

void lua_callk(lua_State* L, int nargs, int nresults, int ctx, lua_CFunction k) {
    StkId func = L->top - (nargs + 1);
    if (k != nullptr && L->nny == 0) {  // may yield: remember the continuation
        L->ci->u.c.k = k;
        L->ci->u.c.ctx = ctx;
        luaD_call(L, func, nresults, 1);
    } else {
        luaD_call(L, func, nresults, 0);
    }
    adjustresults(L, nresults);
}

int lua_getctx(lua_State* L, int* ctx) {
    if (L->ci->callstatus & CIST_YIELDED) {
        if (ctx) *ctx = L->ci->u.c.ctx;
        return L->ci->u.c.status;
    }
    return LUA_OK;
}

int lua_pcallk(lua_State* L, int nargs, int nresults, int errfunc, int ctx, lua_CFunction k) {
    ptrdiff_t func = 0;
    if (errfunc != 0) {
        StkId o = index2addr(L, errfunc);
        func = savestack(L, o);
    }
    CallS c;
    c.func = L->top - (nargs + 1);
    int status;
    if (k == nullptr || L->nny > 0) {  // an ordinary protected call
        c.nresults = nresults;
        status = luaD_pcall(L, f_call, &c, savestack(L, c.func), func);
    } else {
        // Yieldable: the resume that runs this thread is the recover point;
        // an error comes back to the continuation (see lua_co.cpp).
        CallInfo* ci = L->ci;
        ci->u.c.k = k;
        ci->u.c.ctx = ctx;
        ci->extra = savestack(L, c.func);
        ci->u.c.old_allowhook = L->allowhook;
        ci->u.c.old_errfunc = L->errfunc;
        L->errfunc = func;
        ci->callstatus |= CIST_YPCALL;
        luaD_call(L, c.func, nresults, 1);
        ci->callstatus &= static_cast<unsigned short>(~CIST_YPCALL);
        L->errfunc = ci->u.c.old_errfunc;
        status = LUA_OK;
    }
    adjustresults(L, nresults);
    return status;
}

int lua_load(lua_State* L, lua_Reader reader, void* data, const char* chunkname, const char* mode) {
    ZIO z;
    if (!chunkname) chunkname = "?";
    luaZ_init(L, &z, reader, data);
    int status = luaD_protectedparser(L, &z, chunkname, mode);
    if (status == LUA_OK) {
        LClosure* f = clLvalue(L->top - 1);
        if (f->nupvalues == 1) {  // its one upvalue is _ENV: the globals
            const TValue* gt = luaH_getint(hvalue(&G(L)->l_registry), LUA_RIDX_GLOBALS);
            setobj(f->upvals[0]->v, gt);
            luaC_barrier(L, f->upvals[0], gt);
        }
    }
    return status;
}

// Precompiled chunks are never written (nor read).
int lua_dump(lua_State*, lua_Writer, void*) { return 1; }

int lua_status(lua_State* L) { return L->status; }

// ---- garbage collection ----

int lua_gc(lua_State* L, int what, int data) {
    global_State* g = G(L);
    auto total = [g] { return g->totalbytes + lu_mem(g->GCdebt); };
    switch (what) {
    case LUA_GCSTOP: g->gcrunning = 0; return 0;
    case LUA_GCRESTART:
        luaE_setdebt(g, 0);
        g->gcrunning = 1;
        return 0;
    case LUA_GCCOLLECT: luaC_fullgc(L, 0); return 0;
    case LUA_GCCOUNT: return int(total() >> 10);
    case LUA_GCCOUNTB: return int(total() & 0x3ff);
    case LUA_GCSTEP: return luaC_stepkb(L, data);
    case LUA_GCISRUNNING: return g->gcrunning;
    case LUA_GCSETPAUSE: {
        int old = g->gcpause;
        g->gcpause = data;
        return old;
    }
    case LUA_GCSETSTEPMUL: {
        int old = g->gcstepmul;
        g->gcstepmul = data;
        return old;
    }
    case LUA_GCSETMAJORINC: {
        int old = g->gcmajorinc;
        g->gcmajorinc = data;
        return old;
    }
    case LUA_GCGEN:
    case LUA_GCINC: return 0;  // one mode only
    default: return -1;
    }
}

// ---- miscellaneous ----

int lua_error(lua_State* L) { luaG_errormsg(L); }

int lua_next(lua_State* L, int idx) {
    StkId t = index2addr(L, idx);
    int more = luaH_next(L, hvalue(t), L->top - 1);
    if (more)
        api_incr_top(L);
    else
        L->top -= 1;  // nothing more: pop the key
    return more;
}

void lua_concat(lua_State* L, int n) {
    if (n >= 2) {
        luaC_checkGC(L);
        luaV_concat(L, n);
    } else if (n == 0) {
        setsvalue(L, L->top, luaS_newlstr(L, "", 0));
        api_incr_top(L);
    }
}

lua_Alloc lua_getallocf(lua_State* L, void** ud) {
    if (ud) *ud = G(L)->ud;
    return G(L)->frealloc;
}

void* lua_newuserdata(lua_State* L, size_t size) {
    luaC_checkGC(L);
    Udata* u = luaS_newudata(L, size, nullptr);
    setuvalue(L, L->top, u);
    api_incr_top(L);
    return udata_memory(u);
}

const char* lua_getupvalue(lua_State* L, int funcindex, int n) {
    TValue* val = nullptr;
    const char* name = aux_upvalue(index2addr(L, funcindex), n, &val);
    if (name) {
        setobj(L->top, val);
        api_incr_top(L);
    }
    return name;
}

const char* lua_setupvalue(lua_State* L, int funcindex, int n) {
    TValue* val = nullptr;
    GCObject* owner = nullptr;
    StkId fi = index2addr(L, funcindex);
    const char* name = aux_upvalue(fi, n, &val, &owner);
    if (name) {
        L->top--;
        setobj(val, L->top);
        luaC_barrier(L, owner, L->top);
    }
    return name;
}
