// The virtual machine: the instruction loop and the value operations that
// may call metamethods.
//
// luaV_execute keeps every instruction's common case inline and short; the
// cases that may call metamethods, raise errors or allocate go through the
// out-of-line helpers below (luaV_arith, luaV_gettable, ...), after which
// `base` is reloaded because the stack may have moved. Numbers are raw 16.16
// values: + and - wrap at 32 bits, * / % ^ are the machine's fixed-point
// primitives through luaO_arith so that folding and execution agree.
#include "lua/lua_vm.h"

#include <cstring>
#include <new>

#include "lua/lua_co.h"
#include "lua/lua_debug.h"
#include "lua/lua_func.h"
#include "lua/lua_gc.h"
#include "lua/lua_numbers.h"
#include "lua/lua_opcodes.h"
#include "lua/lua_string.h"
#include "lua/lua_table.h"
#include "lua/lua_tm.h"
#include "fixed/fixed.h"

namespace {

// Longest chain of __index/__newindex tables followed before giving up.
constexpr int MAXTAGLOOP = 100;

inline lua_Number wrap_add(lua_Number a, lua_Number b) {
    return static_cast<lua_Number>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline lua_Number wrap_sub(lua_Number a, lua_Number b) {
    return static_cast<lua_Number>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline lua_Number wrap_neg(lua_Number a) { return static_cast<lua_Number>(0u - static_cast<uint32_t>(a)); }

}  // namespace

namespace {

// a % m for m > 0 as fixed_mod computes it (the remainder in [0, m)), in
// 32-bit unsigned arithmetic: the same results (the remainder of |a| by a
// divisor never needs more than 32 bits), without the much slower 64-bit
// division.
inline lua_Number mod_by(lua_Number a, uint32_t m) {
    // A power of two (x % 16, x % 1: whole numbers of the machine's sizes,
    // or fractions) keeps the low bits, for either sign of a: the remainder
    // in [0, m) is then a & (m - 1). The hardware division it saves takes
    // ten times as long as this test; bench_frame spent 8% of its time in
    // the division.
    if ((m & (m - 1)) == 0) return static_cast<lua_Number>(static_cast<uint32_t>(a) & (m - 1));
    if (a >= 0) return static_cast<lua_Number>(static_cast<uint32_t>(a) % m);
    uint32_t r = (0u - static_cast<uint32_t>(a)) % m;
    return static_cast<lua_Number>(r == 0 ? 0 : m - r);
}

// x % k for a number constant k above zero, the only constants OP_MODK is
// made for (luaK_specialize): the zero test and the divisor's sign are
// known: 5 host instructions fewer per x % 1000 (bench/lua/loops 4.8%
// fewer, 3% less time).
inline lua_Number mod_positive(lua_Number a, lua_Number b) { return mod_by(a, static_cast<uint32_t>(b)); }

}  // namespace

lua_Number luaV_mod(lua_Number a, lua_Number b) {
    if (b == 0) return a;
    return mod_by(a, b < 0 ? 0u - static_cast<uint32_t>(b) : static_cast<uint32_t>(b));
}

namespace {

// Calls metamethod f(p1, p2[, p3]); with hasres the single result goes to p3.
void callTM(lua_State* L, const TValue* f, const TValue* p1, const TValue* p2, TValue* p3, bool hasres) {
    ptrdiff_t result = savestack(L, p3);
    setobj(L->top++, f);
    setobj(L->top++, p1);
    setobj(L->top++, p2);
    if (!hasres) setobj(L->top++, p3);
    // The metamethod may yield only when called from Lua code.
    luaD_call(L, L->top - (4 - int(hasres)), int(hasres), isLua(L->ci));
    if (hasres) {
        p3 = restorestack(L, result);
        setobj(p3, --L->top);
    }
}

bool call_binTM(lua_State* L, const TValue* p1, const TValue* p2, StkId res, TMS event) {
    const TValue* tm = luaT_gettmbyobj(L, p1, event);
    if (ttisnil(tm)) tm = luaT_gettmbyobj(L, p2, event);
    if (ttisnil(tm)) return false;
    callTM(L, tm, p1, p2, res, true);
    return true;
}

// Metamethod shared by both operands of == (both metatables must agree).
const TValue* get_equalTM(lua_State* L, Table* mt1, Table* mt2, TMS event) {
    const TValue* tm1 = luaT_fasttm(L, mt1, event);
    if (tm1 == nullptr) return nullptr;
    if (mt1 == mt2) return tm1;
    const TValue* tm2 = luaT_fasttm(L, mt2, event);
    if (tm2 == nullptr) return nullptr;
    if (luaV_rawequalobj(tm1, tm2)) return tm1;
    return nullptr;
}

// -1 when neither operand has the metamethod, else its truth value.
int call_orderTM(lua_State* L, const TValue* p1, const TValue* p2, TMS event) {
    if (!call_binTM(L, p1, p2, L->top, event)) return -1;
    return !l_isfalse(L->top);
}

// String order as Lua's, piece by NUL-separated piece, but by bytes
// (strcmp) rather than the host's collation (strcoll): a cartridge sorts
// the same on every machine whatever locale the host process runs in, and
// the comparison skips the locale machinery (bench/lua/strings 1.4% fewer
// host instructions). vexel never sets a locale, so in the "C" locale this
// is the order strcoll gave.
int l_strcmp(const TString* ls, const TString* rs) {
    const char* l = getstr(ls);
    size_t ll = ls->len;
    const char* r = getstr(rs);
    size_t lr = rs->len;
    for (;;) {
        int temp = std::strcmp(l, r);
        if (temp != 0) return temp;
        size_t len = std::strlen(l);  // both pieces are equal up to here
        if (len == lr) return len == ll ? 0 : 1;
        if (len == ll) return -1;
        len++;  // skip the NUL and compare the next pieces
        l += len;
        ll -= len;
        r += len;
        lr -= len;
    }
}

inline void setlength(TValue* o, size_t n) { setnvalue(o, int_to_fix(static_cast<int>(n))); }

// Builds a closure for p, reusing the upvalues of the running function or
// the open upvalues of its registers.
void pushclosure(lua_State* L, Proto* p, UpVal** encup, StkId base, StkId ra) {
    int nup = p->sizeupvalues;
    Upvaldesc* uv = p->upvalues;
    Closure* ncl = luaF_newLclosure(L, nup);
    ncl->l.p = p;
    setclLvalue(L, ra, ncl);  // anchor the new closure on the stack
    for (int i = 0; i < nup; i++) {
        if (uv[i].instack)
            ncl->l.upvals[i] = luaF_findupval(L, base + uv[i].idx);
        else
            ncl->l.upvals[i] = encup[uv[i].idx];
    }
    p->cache = ncl;  // later closures with the same upvalues share it
    luaC_objbarrier(L, p, &ncl->l);
}

// The cached closure of p when its upvalues are the ones a new closure
// would get, else null.
Closure* getcached(Proto* p, UpVal** encup, StkId base) {
    Closure* c = p->cache;
    if (c == nullptr) return nullptr;
    int nup = p->sizeupvalues;
    Upvaldesc* uv = p->upvalues;
    for (int i = 0; i < nup; i++) {
        TValue* v = uv[i].instack ? base + uv[i].idx : encup[uv[i].idx]->v;
        if (c->l.upvals[i]->v != v) return nullptr;
    }
    return c;
}

// The array slot of number key n in t, or null when n is not an integer
// key inside the array part (then the general lookup decides).
inline TValue* arrayslot(Table* t, const TValue* key) {
    if (!ttisnumber(key)) return nullptr;
    lua_Number n = nvalue(key);
    if ((n & 0xffff) != 0) return nullptr;
    unsigned idx = unsigned(n >> 16) - 1u;  // 0-based; keys below 1 wrap to huge
    return idx < unsigned(t->sizearray) ? &t->array[idx] : nullptr;
}

// Raw lookup of an interned string by the hash chain from its main
// position, as luaH_getstr does.
inline const TValue* faststr(Table* t, const TString* ks) {
    // First where this string was last found (TString::keyhint): a key
    // further down a collision chain than its main position is then found
    // at the first try, as are field names in tables built alike (hashing
    // 18% faster). An unsigned index needs no sign extension before it is
    // scaled.
    const unsigned mask = t->nodemask;
    Node* n = &t->node[ks->keyhint & mask];
    if (ttisshrstring(tkey_tvalue(gkey(n))) && tsvalue(tkey_tvalue(gkey(n))) == ks) return gval(n);
    // Then the chain from the main position, which the first try may have
    // been: an absent key costs no second look at the same node.
    Node* mp = &t->node[ks->hash & mask];
    for (n = n == mp ? gnext(mp) : mp; n != nullptr; n = gnext(n)) {
        if (ttisshrstring(tkey_tvalue(gkey(n))) && tsvalue(tkey_tvalue(gkey(n))) == ks) {
            ks->keyhint = unsigned(n - t->node);
            return gval(n);
        }
    }
    return luaO_nilobject;
}

// Raw lookup with the two common key kinds inline: interned strings (field
// and global names) and array-part integers. Never raises.
inline const TValue* fastget(Table* t, const TValue* key) {
    if (ttisshrstring(key)) return faststr(t, tsvalue(key));
    const TValue* slot = arrayslot(t, key);
    return slot ? slot : luaH_get(t, key);
}

// faststr with the key as a value known to hold a short string.
inline const TValue* faststrk(Table* t, const TValue* key) { return faststr(t, tsvalue(key)); }

// The count/line hook step before an instruction (the CPU budget).
void traceexec(lua_State* L) {
    CallInfo* ci = L->ci;
    lu_byte mask = L->hookmask;
    bool counthook = (mask & LUA_MASKCOUNT) && L->hookcount == 0;
    if (counthook) resethookcount(L);
    if (ci->callstatus & CIST_HOOKYIELD) {  // the hook ran and yielded before this instruction
        ci->callstatus &= static_cast<unsigned short>(~CIST_HOOKYIELD);
        return;
    }
    if (counthook) luaD_hook(L, LUA_HOOKCOUNT, -1);
    if (mask & LUA_MASKLINE) {
        Proto* p = clLvalue(ci->func)->p;
        int npc = pcRel(ci->u.l.savedpc, p);
        int newline = getfuncline(p, npc);
        if (npc == 0 || ci->u.l.savedpc <= L->oldpc || newline != getfuncline(p, pcRel(L->oldpc, p)))
            luaD_hook(L, LUA_HOOKLINE, newline);
    }
    L->oldpc = ci->u.l.savedpc;
    if (L->status == LUA_YIELD) {  // the hook yielded: suspend before this instruction
        if (counthook) L->hookcount = 1;  // resuming counts it down to the hook again
        ci->u.l.savedpc--;
        ci->callstatus |= CIST_HOOKYIELD;
        ci->func = L->top - 1;  // no values are yielded
        luaD_throw(L, LUA_YIELD);
    }
}

// The count hook's countdown lives in a register of luaV_execute (the
// trap counter) rather than in L->hookcount: one register decrement per
// instruction instead of a read-modify-write of memory. The register is the
// true countdown while the loop runs; storetrap writes it back before
// anything that can read or change L->hookcount (hooks, calls, metamethods,
// errors, allocation, collection) and trapcount reloads it afterwards.
// With a line hook every instruction traps and the countdown stays in
// memory; with neither hook the register counts down from no_trap and
// L->hookcount is left alone, as before.
constexpr unsigned no_trap = 0x7fffffffu;

inline unsigned trapcount(const lua_State* L) {
    int mask = L->hookmask & (LUA_MASKLINE | LUA_MASKCOUNT);
    if (mask == LUA_MASKCOUNT) return unsigned(L->hookcount);
    return mask != 0 ? 1u : no_trap;
}

inline void storetrap(lua_State* L, unsigned trap) {
    if ((L->hookmask & (LUA_MASKLINE | LUA_MASKCOUNT)) == LUA_MASKCOUNT) L->hookcount = int(trap);
}

// The trap counter ran out before an instruction: count it in memory as the
// hooks expect, run them, and return the next countdown.
unsigned hookstep(lua_State* L) {
    int mask = L->hookmask & (LUA_MASKLINE | LUA_MASKCOUNT);
    if (mask == LUA_MASKCOUNT) {
        L->hookcount = 0;  // the register reached zero: so did the countdown
        traceexec(L);
    } else if (mask != 0) {
        L->hookcount--;
        traceexec(L);
    }
    return trapcount(L);
}

// The rare work before a Lua function is entered inline: room on the stack,
// a free CallInfo and a collection step. Each may allocate, run finalizers
// or move the stack, so the caller has stored its state. Returns the called
// function's slot, which may have moved.
StkId prepinlinecall(lua_State* L, StkId func, const Proto* p) {
    ptrdiff_t funcr = savestack(L, func);
    int need = p->framespan;
    if (L->stack_last - L->top <= need) luaD_growstack(L, need);
    func = restorestack(L, funcr);
    for (int n = int(L->top - func) - 1; n < p->numparams; n++) setnilvalue(L->top++);
    if (L->ci->next == nullptr) luaE_extendCI(L);
    if (G(L)->GCdebt > 0) {
        // As when a Lua call is entered through luaD_precall: the whole new
        // frame counts as live (the caller's registers end below it); a
        // vararg function's frame starts above its arguments and the copy
        // of its fixed parameters.
        ptrdiff_t top = savestack(L, L->top);
        L->top = p->is_vararg ? L->top + p->numparams + p->maxstacksize : func + 1 + p->maxstacksize;
        luaC_checkGC(L);
        L->top = restorestack(L, top);
        func = restorestack(L, funcr);
    }
    return func;
}

// Enters the Lua generator at func for OP_TFORCALL as OP_CALL enters a
// Lua function (same stack, CallInfo and collection steps as luaD_precall)
// and returns its CallInfo; the caller has stored its state.
CallInfo* entergenerator(lua_State* L, StkId func, int nresults) {
    Proto* p = clLvalue(func)->p;
    if (L->stack_last - L->top <= p->framespan || L->ci->next == nullptr || G(L)->GCdebt > 0)
        func = prepinlinecall(L, func, p);
    for (int n = int(L->top - func) - 1; n < p->numparams; n++) setnilvalue(L->top++);
    StkId base = func + 1;
    if (p->is_vararg) base = luaD_adjustvarargs(L, p, int(L->top - func) - 1);
    CallInfo* ci = L->ci = L->ci->next;
    ci->nresults = short(nresults);
    ci->func = func;
    ci->u.l.base = base;
    ci->top = L->top = base + p->maxstacksize;
    ci->u.l.savedpc = p->code;
    ci->callstatus = CIST_LUA | CIST_REENTRY | CIST_TFOR;
    L->tforactive = 1;
    return ci;
}

[[noreturn]] void forerror(lua_State* L, const char* what) {
    luaG_runerror(L, "'for' %s must be a number", what);
}

// Numeric for preparation: coerce the three control values and step the
// index back once, so the first FORLOOP lands on the initial value.
void forprep(lua_State* L, StkId ra) {
    if (!ttisnumber(ra) && luaV_tonumber(ra, ra) == nullptr) forerror(L, "initial value");
    if (!ttisnumber(ra + 1) && luaV_tonumber(ra + 1, ra + 1) == nullptr) forerror(L, "limit");
    if (!ttisnumber(ra + 2) && luaV_tonumber(ra + 2, ra + 2) == nullptr) forerror(L, "step");
    setnvalue(ra, wrap_sub(nvalue(ra), nvalue(ra + 2)));
}

// Copying a long vararg list is work no instruction count sees, and a
// function that calls itself with one more argument each time does it over
// and over (quadratic in the list's length): past a free allowance every
// copies_per_cycle values cost the budget one cycle, counted twice since the
// values are usually copied on once more by the call or return that takes
// them. Short lists, all an ordinary program uses, cost nothing extra.
constexpr int free_varargs = 64;
constexpr int copies_per_cycle = 4;

void chargevarargs(lua_State* L, int n) {
    if (n <= free_varargs || !(L->hookmask & LUA_MASKCOUNT) || L->softyield_saved != 0) return;
    int cost = 2 * ((n - free_varargs) / copies_per_cycle);
    L->hookcount = L->hookcount > cost ? L->hookcount - cost : 1;  // the hook fires at the next instruction at most
}

// The first b of the running function's n extra arguments (which sit just
// below base) into ra.., nil past the last.
inline void copyvarargs(StkId ra, StkId base, int n, int b) {
    int copied = n < b ? n : b;
    StkId from = base - n;
    for (int j = 0; j < copied; j++) setobj(ra + j, from + j);
    for (int j = copied; j < b; j++) setnilvalue(ra + j);
}

// All the extra arguments into ra.. when the list is long: charged to the
// budget, and the stack may grow first (OP_VARARG copies the rest itself).
void dovarargs_all(lua_State* L, CallInfo* ci, LClosure* cl, StkId ra) {
    int n = int(ci->u.l.base - ci->func) - cl->p->numparams - 1;
    chargevarargs(L, n);
    ptrdiff_t rar = savestack(L, ra);
    luaD_checkstack(L, n);
    ra = restorestack(L, rar);
    L->top = ra + n;
    copyvarargs(ra, ci->u.l.base, n, n);
}

// Kept inside the loop: GCC stopped inlining it once the loop grew, and
// the call cost bench/lua/garbage 1.2% more instructions.
[[gnu::always_inline]] inline void dosetlist(lua_State* L, CallInfo* ci, StkId ra, int n, int c) {
    if (n == 0) n = int(L->top - ra) - 1;
    Table* h = hvalue(ra);
    int last = ((c - 1) * LFIELDS_PER_FLUSH) + n;
    if (last > h->sizearray) luaH_resizearray(L, h, last);
    if (last <= h->sizearray) {
        // Every index is in the array part now: store straight into it
        // rather than through luaH_setint (constructors: 3.4% fewer
        // instructions on bench/lua/varargs, 2.6% on bench/lua/garbage).
        for (; n > 0; n--, last--) {
            TValue* val = ra + n;
            setobj(&h->array[last - 1], val);
            luaC_barrierback(L, h, val);
        }
        // A constructor's new table: its length is worked out when asked.
        h->lenhint = LUAH_LEN_LATER;
        L->top = ci->top;
        return;
    }
    for (; n > 0; n--) {
        TValue* val = ra + n;
        luaH_setint(L, h, last--, val);
        luaC_barrierback(L, h, val);
    }
    L->top = ci->top;
}

}  // namespace

const TValue* luaV_tonumber(const TValue* obj, TValue* n) {
    if (ttisnumber(obj)) return obj;
    lua_Number num;
    if (ttisstring(obj) && luaO_str2d(svalue(obj), tsvalue(obj)->len, &num)) {
        setnvalue(n, num);
        return n;
    }
    return nullptr;
}

namespace {

// The fraction f/65536 rounded to `digits` decimals, half to even (as
// printf does on the exact value); *carry is set when it rounds up to 1.
unsigned round_fraction(unsigned f, int digits, bool* carry) {
    uint64_t scale = 1;
    for (int d = 0; d < digits; d++) scale *= 10;
    uint64_t num = uint64_t(f) * scale;
    uint64_t q = num >> 16;
    uint64_t r = num & 0xffff;
    if (r > 0x8000 || (r == 0x8000 && (q & 1))) q++;
    *carry = q >= scale;
    return unsigned(*carry ? q - scale : q);
}

// The number's text exactly as luaO_fixed_to_string gives it (printf with
// five decimals to choose three or four, trailing zeros cut), computed in
// integers: conversions are frequent and printf is slow.
int fixed_text(char* buff, lua_Number n) {
    bool neg = n < 0;
    uint32_t mag = neg ? 0u - uint32_t(n) : uint32_t(n);
    unsigned ip = mag >> 16;
    unsigned f = mag & 0xffff;
    // A whole number (the usual case: counters, indices, "item"..i) has no
    // fraction to round: bench/lua/strings 3% fewer host instructions.
    int digits = 0;
    unsigned q = 0;
    if (f != 0) {
        bool carry;
        unsigned q5 = round_fraction(f, 5, &carry);
        digits = (q5 / 10 == 9999 || q5 / 10 == 0) ? 3 : 4;
        q = round_fraction(f, digits, &carry);
        if (carry) ip++;
    }
    int len = 0;
    if (neg) buff[len++] = '-';
    char tmp[12];
    int nd = 0;
    do {
        tmp[nd++] = char('0' + ip % 10);
        ip /= 10;
    } while (ip != 0);
    while (nd > 0) buff[len++] = tmp[--nd];
    if (q != 0) {
        while (q % 10 == 0) {  // trailing zeros go
            q /= 10;
            digits--;
        }
        buff[len++] = '.';
        for (int d = digits - 1; d >= 0; d--) {
            tmp[d] = char('0' + q % 10);
            q /= 10;
        }
        for (int d = 0; d < digits; d++) buff[len++] = tmp[d];
    }
    buff[len] = '\0';
    return len;
}

}  // namespace

int luaV_fixed_text(char* buff, lua_Number n) { return fixed_text(buff, n); }

int luaV_tostring(lua_State* L, StkId obj) {
    if (!ttisnumber(obj)) return 0;
    char buff[LUAI_MAXNUMBER2STR];
    int len = fixed_text(buff, nvalue(obj));
    setsvalue(L, obj, luaS_newlstr(L, buff, size_t(len)));
    return 1;
}

void luaV_gettable(lua_State* L, const TValue* t, TValue* key, StkId val) {
    for (int loop = 0; loop < MAXTAGLOOP; loop++) {
        const TValue* tm;
        if (ttistable(t)) {
            Table* h = hvalue(t);
            const TValue* res = fastget(h, key);
            if (!ttisnil(res) || (tm = luaT_fasttm(L, h->metatable, TM_INDEX)) == nullptr) {
                setobj(val, res);
                return;
            }
        } else if (ttisnil(tm = luaT_gettmbyobj(L, t, TM_INDEX))) {
            luaG_typeerror(L, t, "index");
        }
        if (ttisfunction(tm)) {
            callTM(L, tm, t, key, val, true);
            return;
        }
        t = tm;  // repeat with the metamethod's value
    }
    luaG_runerror(L, "loop in gettable");
}

namespace {

// Puts val into slot, a slot of h, with what every store keeps: the length
// hint, the metamethods a metatable is known to lack, the collector's
// barrier.
inline void storeslot(lua_State* L, Table* h, TValue* slot, const TValue* val) {
    setobj(slot, val);
    luaH_noteset(h, slot);
    h->flags = 0;  // the table may now hold a metamethod name
    luaC_barrierback(L, h, val);
}

}  // namespace

void luaV_settable(lua_State* L, const TValue* t, TValue* key, StkId val) {
    for (int loop = 0; loop < MAXTAGLOOP; loop++) {
        const TValue* tm;
        if (ttistable(t)) {
            Table* h = hvalue(t);
            TValue* oldval = const_cast<TValue*>(fastget(h, key));
            if (!ttisnil(oldval) || (tm = luaT_fasttm(L, h->metatable, TM_NEWINDEX)) == nullptr) {
                if (oldval == luaO_nilobject) oldval = luaH_newkey(L, h, key);
                storeslot(L, h, oldval, val);
                return;
            }
        } else if (ttisnil(tm = luaT_gettmbyobj(L, t, TM_NEWINDEX))) {
            luaG_typeerror(L, t, "index");
        }
        if (ttisfunction(tm)) {
            callTM(L, tm, t, key, val, false);
            return;
        }
        t = tm;
    }
    luaG_runerror(L, "loop in settable");
}

int luaV_equalobj_(lua_State* L, const TValue* t1, const TValue* t2) {
    if (ttype(t1) != ttype(t2)) return 0;
    const TValue* tm;
    switch (ttype(t1)) {
    case LUA_TNIL: return 1;
    case LUA_TNUMBER: return nvalue(t1) == nvalue(t2);
    case LUA_TBOOLEAN: return bvalue(t1) == bvalue(t2);
    case LUA_TLIGHTUSERDATA: return pvalue(t1) == pvalue(t2);
    case LUA_TLCF: return fvalue(t1) == fvalue(t2);
    case LUA_TSHRSTR: return eqshrstr(tsvalue(t1), tsvalue(t2));
    case LUA_TLNGSTR: return luaS_eqlngstr(tsvalue(t1), tsvalue(t2));
    case LUA_TUSERDATA:
        if (uvalue(t1) == uvalue(t2)) return 1;
        if (L == nullptr) return 0;
        tm = get_equalTM(L, uvalue(t1)->metatable, uvalue(t2)->metatable, TM_EQ);
        break;
    case LUA_TTABLE:
        if (hvalue(t1) == hvalue(t2)) return 1;
        if (L == nullptr) return 0;
        tm = get_equalTM(L, hvalue(t1)->metatable, hvalue(t2)->metatable, TM_EQ);
        break;
    default: return gcvalue(t1) == gcvalue(t2);
    }
    if (tm == nullptr) return 0;
    callTM(L, tm, t1, t2, L->top, true);
    return !l_isfalse(L->top);
}

int luaV_lessthan(lua_State* L, const TValue* l, const TValue* r) {
    if (ttisnumber(l) && ttisnumber(r)) return nvalue(l) < nvalue(r);
    if (ttisstring(l) && ttisstring(r)) return l_strcmp(tsvalue(l), tsvalue(r)) < 0;
    int res = call_orderTM(L, l, r, TM_LT);
    if (res < 0) luaG_ordererror(L, l, r);
    return res;
}

int luaV_lessequal(lua_State* L, const TValue* l, const TValue* r) {
    if (ttisnumber(l) && ttisnumber(r)) return nvalue(l) <= nvalue(r);
    if (ttisstring(l) && ttisstring(r)) return l_strcmp(tsvalue(l), tsvalue(r)) <= 0;
    int res = call_orderTM(L, l, r, TM_LE);
    if (res >= 0) return res;
    res = call_orderTM(L, r, l, TM_LT);  // a <= b as not (b < a)
    if (res < 0) luaG_ordererror(L, l, r);
    return !res;
}

namespace {

bool concatenable(const TValue* o) { return ttisstring(o) || ttisnumber(o); }

// Numbers whose text one pass of luaV_concat holds; a run with more is
// joined in further passes.
constexpr int concat_numbers = 8;

}  // namespace

void luaV_concat(lua_State* L, int total) {
    do {
        StkId top = L->top;
        int n = 2;  // values concatenated in this pass
        if (!concatenable(top - 2) || !concatenable(top - 1)) {
            if (!call_binTM(L, top - 2, top - 1, top - 2, TM_CONCAT)) luaG_concaterror(L, top - 2, top - 1);
        } else if (ttisstring(top - 1) && tsvalue(top - 1)->len == 0) {
            (void)tostring(L, top - 2);  // the result is the first operand
        } else if (ttisstring(top - 2) && tsvalue(top - 2)->len == 0) {
            (void)tostring(L, top - 1);
            setobj(top - 2, top - 1);
        } else {
            // At least two non-empty operands: join as many as possible,
            // from the last one back. A number's text is written into the
            // joined string rather than made a string of its own first,
            // which "item" .. i would make, look up or intern, and throw
            // away: bench/lua/strings 4% fewer host instructions and 10%
            // less time, garbage 4% less time. The operands are the
            // instruction's temporaries, so that they stay numbers is not
            // seen.
            char num[concat_numbers][LUAI_MAXNUMBER2STR];
            size_t numlen[concat_numbers];
            int used = 0;  // texts in num, the last operand's first
            size_t tl = 0;
            int i = 0;  // operands joined: top - 1 down to top - i
            do {
                const TValue* o = top - i - 1;
                size_t l;
                if (ttisstring(o)) {
                    l = tsvalue(o)->len;
                } else {
                    if (used == concat_numbers) break;
                    l = numlen[used] = size_t(fixed_text(num[used], nvalue(o)));
                    used++;
                }
                if (l >= MAX_SIZET - tl) luaG_runerror(L, "string length overflow");
                tl += l;
                i++;
            } while (i < total && concatenable(top - i - 1));
            char* buffer = luaZ_openspace(L, &G(L)->buff, tl);
            tl = 0;
            n = i;
            do {
                const TValue* o = top - i;
                if (ttisstring(o)) {
                    std::memcpy(buffer + tl, svalue(o), tsvalue(o)->len);
                    tl += tsvalue(o)->len;
                } else {
                    used--;
                    std::memcpy(buffer + tl, num[used], numlen[used]);
                    tl += numlen[used];
                }
            } while (--i > 0);
            setsvalue(L, top - n, luaS_newlstr(L, buffer, tl));
        }
        total -= n - 1;
        L->top -= n - 1;
    } while (total > 1);
}

void luaV_objlen(lua_State* L, StkId ra, const TValue* rb) {
    const TValue* tm;
    switch (ttypenv(rb)) {
    case LUA_TTABLE: {
        Table* h = hvalue(rb);
        tm = luaT_fasttm(L, h->metatable, TM_LEN);
        if (tm) break;
        setlength(ra, size_t(luaH_getn(h)));
        return;
    }
    case LUA_TSTRING: setlength(ra, tsvalue(rb)->len); return;
    default:
        tm = luaT_gettmbyobj(L, rb, TM_LEN);
        if (ttisnil(tm)) luaG_typeerror(L, rb, "get length of");
        break;
    }
    callTM(L, tm, rb, rb, ra, true);
}

void luaV_arith(lua_State* L, StkId ra, const TValue* rb, const TValue* rc, TMS op) {
    TValue tempb, tempc;
    const TValue* b = luaV_tonumber(rb, &tempb);
    const TValue* c = b ? luaV_tonumber(rc, &tempc) : nullptr;
    if (b && c) {
        setnvalue(ra, luaO_arith(int(op) - TM_ADD + LUA_OPADD, nvalue(b), nvalue(c)));
    } else if (!call_binTM(L, rb, rc, ra, op)) {
        luaG_aritherror(L, rb, rc);
    }
}

lua_Number luaV_bitvalue(OpCode op, lua_Number b, lua_Number c) {
    switch (op) {
    case OP_IDIV: return fixed_idiv(b, c);
    case OP_BAND: return fixed_band(b, c);
    case OP_BOR: return fixed_bor(b, c);
    case OP_BXOR: return fixed_bxor(b, c);
    case OP_SHL: return fixed_shl(b, c);
    case OP_SHR: return fixed_shr(b, c);
    case OP_LSHR: return fixed_lshr(b, c);
    case OP_ROTL: return fixed_rotl(b, c);
    case OP_ROTR: return fixed_rotr(b, c);
    case OP_BNOT: return fixed_bnot(b);
    default: return 0;
    }
}

void luaV_bitarith(lua_State* L, StkId ra, const TValue* rb, const TValue* rc, OpCode op) {
    TValue tempb, tempc;
    const TValue* b = luaV_tonumber(rb, &tempb);
    const TValue* c = b ? luaV_tonumber(rc, &tempc) : nullptr;
    if (b && c) {
        setnvalue(ra, luaV_bitvalue(op, nvalue(b), nvalue(c)));
    } else if (op == OP_IDIV) {
        luaG_aritherror(L, rb, rc);
    } else {
        luaG_biterror(L, rb, rc);
    }
}

// Completes the instruction of the running Lua call that a yield inside a
// metamethod or a called function interrupted.
void luaV_finishOp(lua_State* L) {
    CallInfo* ci = L->ci;
    StkId base = ci->u.l.base;
    Instruction inst = *(ci->u.l.savedpc - 1);
    OpCode op = GET_OPCODE(inst);
    switch (op) {
    case OP_ADD: case OP_SUB: case OP_MUL: case OP_DIV: case OP_MOD: case OP_POW:
    case OP_UNM: case OP_LEN: case OP_GETTABUP: case OP_GETTABLE: case OP_SELF:
        setobj(base + GETARG_A(inst), --L->top);
        break;
    case OP_LE: case OP_LT: case OP_EQ: {
        int res = !l_isfalse(L->top - 1);
        L->top--;
        // "<=" answered by "not (b < a)" when there is no __le
        if (op == OP_LE && ttisnil(luaT_gettmbyobj(L, base + GETARG_B(inst), TM_LE))) res = !res;
        if (res != GETARG_A(inst)) ci->u.l.savedpc++;  // condition failed: skip the jump
        break;
    }
    case OP_CONCAT: {
        StkId top = L->top - 1;  // top when the metamethod was called
        int b = GETARG_B(inst);
        int total = int(top - 1 - (base + b));  // still to concatenate
        setobj(top - 2, top);                   // the metamethod's result in place
        if (total > 1) {
            L->top = top - 1;
            luaV_concat(L, total);  // may yield again
        }
        setobj(ci->u.l.base + GETARG_A(inst), L->top - 1);
        L->top = ci->top;
        break;
    }
    case OP_TFORCALL: L->top = ci->top; break;
    case OP_CALL:
        if (GETARG_C(inst) - 1 >= 0) L->top = ci->top;
        break;
    default: break;  // OP_TAILCALL, OP_SETTABUP, OP_SETTABLE: nothing left to do
    }
}

// ---- the instruction loop ----

namespace {

// log2 of sizeof(TValue): 16 bytes on 64-bit hosts, 8 on wasm32.
constexpr int TVALUE_SHIFT = sizeof(TValue) == 16 ? 4 : 3;
static_assert(sizeof(TValue) == 1u << TVALUE_SHIFT, "operand offsets are fields shifted by TVALUE_SHIFT");

// The power operator, out of the loop: the roots it takes cost the host's
// budget, which the charge callback may lower (the countdown the loop keeps
// in a register is saved and reloaded around it by Protect).
[[gnu::noinline]] void power(lua_State* L, StkId ra, lua_Number b, lua_Number c) {
    int32_t cycles = 0;
    setnvalue(ra, fixed_pow(b, c, &cycles));
    if (cycles != 0 && G(L)->charge != nullptr) G(L)->charge(L, cycles);
}

}  // namespace

// GCC's global common-subexpression pass hoists values such as the
// dispatch table's address out of the threaded handlers and then spills
// them, costing loads and stores on every instruction; its manual
// recommends turning the pass off for computed-goto code. 2-6% fewer
// instructions on bench/lua (fib 6%).
// Cross-jumping merges the handlers' identical tails (the fetch and the
// dispatch) into one, and the indirect jump copied back into each handler
// afterwards cannot reach past the countdown test that ends the tail: most
// handlers then shared one indirect jump, which predicts worse. Without
// it every handler has its own: 2% less time on bench/lua, varargs 9%.
// The loop starts on a cache line (64 bytes), so that where its handlers
// fall against line boundaries depends on the loop's own code only, not on
// the size of the code placed before it: the same host instructions ran
// bench_frame 4% slower (median of five runs) in a build whose loop
// started 16 bytes past a line.
#if defined(__GNUC__) && !defined(__clang__)
#define VM_LOOP_OPTIONS __attribute__((optimize("no-gcse", "no-crossjumping"), aligned(64)))
#else
#define VM_LOOP_OPTIONS
#endif
namespace {

// What the loop runs when it is not back from a switch (see execute).
constexpr int VM_RUNNING = -100;

// t[key] = val where the loop's lookup in table t found slot holding nil
// (luaO_nilobject: the key is absent). In a table with no metatable the
// value goes where luaV_settable would put it, without that call's second
// lookup: into the slot (the free end of the array part that t[#t + 1] = v
// fills, or a key whose value was removed; bench/lua/tables 9% fewer host
// instructions) or into a new key's node (a field of a new object, a new
// entry; bench/lua/garbage and hashing 3% fewer, 2% less time). Out of the
// loop, called where luaV_settable was: code for it in the loop changed the
// loop's register use enough to cost fib 3%.
[[gnu::noinline]] void settable_at(lua_State* L, const TValue* t, TValue* key, StkId val, TValue* slot) {
    Table* h = hvalue(t);
    if (h->metatable != nullptr) {
        luaV_settable(L, t, key, val);
        return;
    }
    if (slot == luaO_nilobject) slot = luaH_newkey(L, h, key);
    storeslot(L, h, slot, val);
}

// #t for a table t with no metatable (#t, t[#t + 1] = v): it can neither
// raise nor call out, so the loop stores no state around it. False for
// anything else, which luaV_objlen answers. bench/lua/garbage 4% less time
// (1% fewer host instructions). A call: the same code inside the loop
// changed its register use enough to cost fib 3% more instructions.
[[gnu::noinline]] bool tablelength(StkId ra, const TValue* rb) {
    if (!ttistable(rb) || hvalue(rb)->metatable != nullptr) return false;
    setlength(ra, size_t(luaH_getn(hvalue(rb))));
    return true;
}

// The instruction loop of luaV_execute. It runs L->ci, and with it every
// Lua call it makes and every coroutine it resumes inside the loop
// (luaCo_enter), until the call it started with returns or L yields.
// `stopped` is not VM_RUNNING when a thread the loop had switched to
// (sw->running) was unwound with that status: the loop first ends that
// resume and goes on with the resumer.
VM_LOOP_OPTIONS void execute(lua_State* L, luaCo_Switch* sw, int stopped) {
    if (stopped != VM_RUNNING) {
        L = luaCo_leave(L, stopped, sw);
        if (L == nullptr) return;  // the starting thread yielded
    }
    CallInfo* ci = L->ci;
    LClosure* cl;
    TValue* k;
    StkId base;
    // The running function's pc lives in a register; it is stored back into
    // ci->u.l.savedpc (savepc) before anything that may raise an error, call
    // a hook or another function, since those read it from there.
    const Instruction* pc;
    Instruction i;
    StkId ra;
    // The hook countdown (see storetrap); it carries across the frames that
    // this invocation enters and leaves.
    unsigned trap = trapcount(L);
newframe:
    cl = clLvalue(ci->func);
    k = cl->p->k;
    base = ci->u.l.base;
    pc = ci->u.l.savedpc;

// Operand fields A and C are shifted straight to byte offsets (index times
// sizeof(TValue)) and masked, one instruction fewer than shifting, masking
// and scaling: A is decoded for every instruction. 2-3% fewer instructions
// on bench/lua.
#define SLOT(p, off) reinterpret_cast<TValue*>(reinterpret_cast<char*>(p) + (off))
#define RA(i) SLOT(base, ((i) >> (POS_A - TVALUE_SHIFT)) & (MAXARG_A << TVALUE_SHIFT))
#define RB(i) (base + GETARG_B(i))
#define RC(i) SLOT(base, ((i) >> (POS_C - TVALUE_SHIFT)) & (MAXARG_C << TVALUE_SHIFT))
#define RKB(i) (ISK(GETARG_B(i)) ? KB(i) : RB(i))
#define RKC(i) (ISK(GETARG_C(i)) ? KC(i) : RC(i))
// Operands the specialised forms know to be constants.
#define KB(i) SLOT(k, ((i) >> (POS_B - TVALUE_SHIFT)) & (MAXINDEXRK << TVALUE_SHIFT))
#define KC(i) SLOT(k, ((i) >> (POS_C - TVALUE_SHIFT)) & (MAXINDEXRK << TVALUE_SHIFT))
#define savepc() (ci->u.l.savedpc = pc)
#define savetrap() storetrap(L, trap)
#define loadtrap() (trap = trapcount(L))
// Before this function calls a Lua function in the same loop: the closure
// and constants the return reads back (CallInfo::u.l).
#define savecaller()      \
    {                     \
        ci->u.l.cl = cl;  \
        ci->u.l.k = k;    \
    }
// Before anything that may raise, call out or allocate.
#define savestate() \
    {               \
        savepc();   \
        savetrap(); \
    }
// Runs x, which may move the stack or change the hooks, then reloads.
#define Protect(x)           \
    {                        \
        savestate();         \
        x;                   \
        base = ci->u.l.base; \
        loadtrap();          \
    }
#define dojump(i, e)                                                \
    {                                                               \
        int a_ = GETARG_A(i);                                       \
        if (a_ > 0) luaF_close(L, ci->u.l.base + a_ - 1);           \
        pc += GETARG_sBx(i) + (e);                     \
    }
#define donextjump() \
    {                \
        Instruction ni_ = *pc; \
        dojump(ni_, 1); \
    }
#define checkGC(c)                             \
    if (G(L)->GCdebt > 0) {                    \
        savestate();                           \
        L->top = (c);                          \
        luaC_checkGC(L);                       \
        L->top = ci->top;                      \
        base = ci->u.l.base;                   \
        loadtrap();                            \
    }
// Arithmetic: numbers inline (numbers says both operands are), anything
// else through luaV_arith and the metamethods.
#define arith_on(rb, rc, numbers, op, tm)                             \
    {                                                                 \
        if (numbers) {                                                \
            setnvalue(ra, op(nvalue(rb), nvalue(rc)));                \
        } else {                                                      \
            Protect(luaV_arith(L, ra, rb, rc, tm));                   \
        }                                                             \
    }
#define arith_op(op, tm)                                              \
    {                                                                 \
        TValue* rb = RKB(i);                                          \
        TValue* rc = RKC(i);                                          \
        arith_on(rb, rc, ttisnumber(rb) && ttisnumber(rc), op, tm);   \
    }
// An arithmetic operator whose second operand is a number constant.
#define arith_opk(op, tm)                                             \
    {                                                                 \
        TValue* rb = RB(i);                                           \
        TValue* rc = KC(i);                                           \
        arith_on(rb, rc, ttisnumber(rb), op, tm);                     \
    }

// A table read that needs no call when t is a table and the key is present
// (or absent with no metatable to ask): lookup(table) gives the slot.
#define fastindex(t, key, lookup)                                     \
    {                                                                 \
        if (ttistable(t)) {                                           \
            const TValue* res = lookup;                               \
            if (!ttisnil(res) || hvalue(t)->metatable == nullptr) {   \
                setobj(ra, res);                                      \
                vmbreak;                                              \
            }                                                         \
        }                                                             \
        Protect(luaV_gettable(L, t, key, ra));                        \
    }
// A table write that needs no call when the key is present in the table ra;
// any other goes to settable_at with the slot found, or to luaV_settable.
#define fastnewvalue(key, val, lookup)                                \
    {                                                                 \
        if (ttistable(ra)) {                                          \
            Table* h_ = hvalue(ra);                                   \
            TValue* slot = const_cast<TValue*>(lookup);               \
            if (!ttisnil(slot)) {                                     \
                setobj(slot, val);                                    \
                if (ttisnil(val)) luaH_noteset(h_, slot);             \
                luaC_barrierback(L, h_, val);                         \
                vmbreak;                                              \
            }                                                         \
            Protect(settable_at(L, ra, key, val, slot));              \
            vmbreak;                                                  \
        }                                                             \
        Protect(luaV_settable(L, ra, key, val));                      \
    }
// obj:name(): the object and its method, found without a call in the
// object itself or in the class table its metatable's __index names (the
// usual object layout: 13% fewer instructions, about 5% less time on
// bench/lua/methods); get is the raw lookup of the key.
#define self_op(obj, key, get)                                        \
    {                                                                 \
        setobj(ra + 1, obj);                                          \
        if (ttistable(obj)) {                                         \
            Table* h = hvalue(obj);                                   \
            const TValue* res = get(h, key);                          \
            if (!ttisnil(res)) {                                      \
                setobj(ra, res);                                      \
                vmbreak;                                              \
            }                                                         \
            Table* mt = h->metatable;                                 \
            if (mt != nullptr && !(mt->flags & (1u << TM_INDEX))) {   \
                const TValue* cls = faststr(mt, G(L)->tmname[TM_INDEX]); \
                if (ttistable(cls)) {                                 \
                    res = get(hvalue(cls), key);                      \
                    if (!ttisnil(res)) {                              \
                        setobj(ra, res);                              \
                        vmbreak;                                      \
                    }                                                 \
                }                                                     \
            }                                                         \
        }                                                             \
        Protect(luaV_gettable(L, obj, key, ra));                      \
    }
// An order comparison and its jump: numbers inline (numbers says both
// operands are), anything else through cmp, which may call __lt or __le.
#define order_op(rb, rc, numbers, op, cmp)                            \
    {                                                                 \
        if (numbers) {                                                \
            if (int(nvalue(rb) op nvalue(rc)) != GETARG_A(i))         \
                pc++;                                                 \
            else                                                      \
                donextjump();                                         \
        } else {                                                      \
            Protect(if (cmp(L, rb, rc) != GETARG_A(i)) pc++; else donextjump()); \
        }                                                             \
    }

// The dialect's operators: numbers inline, anything else through the one
// shared slow path (bitslow), which keeps the loop small.
#define bit_op(op)                                                    \
    {                                                                 \
        TValue* rb = RKB(i);                                          \
        TValue* rc = RKC(i);                                          \
        if (__builtin_expect(!ttisnumber(rb) || !ttisnumber(rc), 0)) goto bitslow; \
        setnvalue(ra, op(nvalue(rb), nvalue(rc)));                    \
    }

// Fetches the next instruction, counting it for the hooks (the CPU budget).
#define vmfetch()                              \
    {                                          \
        i = *(pc++);                           \
        if (__builtin_expect(--trap == 0, 0)) { \
            savepc();                          \
            trap = hookstep(L);                \
            base = ci->u.l.base;               \
        }                                      \
        ra = RA(i);                            \
    }
#if defined(__GNUC__)
// Each instruction ends with its own jump to the next one's code, which
// predicts better than the single jump of the switch.
#define vmbreak                                \
    {                                          \
        vmfetch();                             \
        goto* dispatch[i & 0xff];              \
    }
#define vmlabel(op) L_##op:
    // Indexed by the instruction's low byte: the opcode field and the two
    // low bits of A above it, each opcode's entry repeated four times.
    // Taking the byte as it is (one movzbl) saves copying and masking the
    // instruction on every dispatch: 3% fewer instructions on bench/lua.
#define VM_OPLABELS                                                                                    \
    &&L_OP_MOVE, &&L_OP_LOADK, &&L_OP_LOADKX, &&L_OP_LOADBOOL, &&L_OP_LOADNIL, &&L_OP_GETUPVAL,          \
        &&L_OP_GETTABUP, &&L_OP_GETTABLE, &&L_OP_SETTABUP, &&L_OP_SETUPVAL, &&L_OP_SETTABLE,             \
        &&L_OP_NEWTABLE, &&L_OP_SELF, &&L_OP_ADD, &&L_OP_SUB, &&L_OP_MUL, &&L_OP_DIV, &&L_OP_MOD,         \
        &&L_OP_POW, &&L_OP_UNM, &&L_OP_NOT, &&L_OP_LEN, &&L_OP_CONCAT, &&L_OP_JMP, &&L_OP_EQ, &&L_OP_LT,  \
        &&L_OP_LE, &&L_OP_TEST, &&L_OP_TESTSET, &&L_OP_CALL, &&L_OP_TAILCALL, &&L_OP_RETURN,             \
        &&L_OP_FORLOOP, &&L_OP_FORPREP, &&L_OP_TFORCALL, &&L_OP_TFORLOOP, &&L_OP_SETLIST,                \
        &&L_OP_CLOSURE, &&L_OP_VARARG, &&L_OP_EXTRAARG, &&L_OP_IDIV, &&L_OP_BAND, &&L_OP_BOR,            \
        &&L_OP_BXOR, &&L_OP_SHL, &&L_OP_SHR, &&L_OP_LSHR, &&L_OP_ROTL, &&L_OP_ROTR, &&L_OP_BNOT,         \
        &&L_OP_GETTABUPK, &&L_OP_GETTABLEK, &&L_OP_GETTABLER, &&L_OP_SETTABLEK, &&L_OP_SETTABLER,        \
        &&L_OP_SELFK, &&L_OP_ADDK, &&L_OP_SUBK, &&L_OP_MULK, &&L_OP_MODK, &&L_OP_EQK, &&L_OP_LTK,        \
        &&L_OP_LEK, &&L_OP_ADDRR
    static const void* const disptab[256] = {VM_OPLABELS, VM_OPLABELS, VM_OPLABELS, VM_OPLABELS};
#undef VM_OPLABELS
    // The table's address in a register of its own. Left to itself GCC
    // recomputes it (a lea) in every handler, since a constant address is
    // cheaper to remake than to keep; the empty asm makes it a value GCC
    // cannot remake, and a register is free in the loop. 2-3% fewer host
    // instructions on bench/lua, 1.3% less time.
    const void* const* dispatch = disptab;
#if !defined(__clang__)
    __asm__("" : "+r"(dispatch));
#endif
    static_assert(POS_OP == 0 && SIZE_OP == 6, "the dispatch table is indexed by the low byte");
#else
#define vmbreak break
#define vmlabel(op)
#endif

    for (;;) {
        vmfetch();
        switch (GET_VMOP(i)) {
        case OP_MOVE: vmlabel(OP_MOVE) setobj(ra, RB(i)); vmbreak;
        case OP_LOADK: vmlabel(OP_LOADK) setobj(ra, k + GETARG_Bx(i)); vmbreak;
        case OP_LOADKX: vmlabel(OP_LOADKX) setobj(ra, k + GETARG_Ax(*pc++)); vmbreak;
        case OP_LOADBOOL: vmlabel(OP_LOADBOOL)
            setbvalue(ra, GETARG_B(i));
            if (GETARG_C(i)) pc++;
            vmbreak;
        case OP_LOADNIL: vmlabel(OP_LOADNIL) {
            int b = GETARG_B(i);
            do {
                setnilvalue(ra++);
            } while (b--);
            vmbreak;
        }
        case OP_GETUPVAL: vmlabel(OP_GETUPVAL) setobj(ra, cl->upvals[GETARG_B(i)]->v); vmbreak;
        case OP_GETTABUP: vmlabel(OP_GETTABUP) {
            TValue* upv = cl->upvals[GETARG_B(i)]->v;
            TValue* rc = RKC(i);
            fastindex(upv, rc, fastget(hvalue(upv), rc));  // a global read that finds its value
            vmbreak;
        }
        case OP_GETTABLE: vmlabel(OP_GETTABLE) {
            TValue* rb = RB(i);
            TValue* rc = RKC(i);
            fastindex(rb, rc, fastget(hvalue(rb), rc));
            vmbreak;
        }
        case OP_SETTABUP: vmlabel(OP_SETTABUP) Protect(luaV_settable(L, cl->upvals[GETARG_A(i)]->v, RKB(i), RKC(i))); vmbreak;
        case OP_SETUPVAL: vmlabel(OP_SETUPVAL) {
            UpVal* uv = cl->upvals[GETARG_B(i)];
            setobj(uv->v, ra);
            luaC_barrier(L, uv, ra);
            vmbreak;
        }
        case OP_SETTABLE: vmlabel(OP_SETTABLE) {
            TValue* rb = RKB(i);
            TValue* rc = RKC(i);
            fastnewvalue(rb, rc, fastget(hvalue(ra), rb));  // overwriting a present key needs no metamethod
            vmbreak;
        }
        case OP_NEWTABLE: vmlabel(OP_NEWTABLE) {
            int b = GETARG_B(i);
            int c = GETARG_C(i);
            savestate();
            Table* t = luaH_new(L);
            sethvalue(L, ra, t);
            if (b != 0 || c != 0) luaH_resize(L, t, luaO_fb2int(b), luaO_fb2int(c));
            loadtrap();
            checkGC(ra + 1);
            vmbreak;
        }
        case OP_SELF: vmlabel(OP_SELF) {
            StkId rb = RB(i);
            TValue* rc = RKC(i);
            self_op(rb, rc, fastget);
            vmbreak;
        }
        case OP_ADD: vmlabel(OP_ADD) arith_op(wrap_add, TM_ADD); vmbreak;
        case OP_SUB: vmlabel(OP_SUB) arith_op(wrap_sub, TM_SUB); vmbreak;
        case OP_MUL: vmlabel(OP_MUL) arith_op(fixed_mul, TM_MUL); vmbreak;
        case OP_DIV: vmlabel(OP_DIV) arith_op(fixed_div_wrap, TM_DIV); vmbreak;
        case OP_MOD: vmlabel(OP_MOD) arith_op(luaV_mod, TM_MOD); vmbreak;
        case OP_POW: vmlabel(OP_POW) {
            TValue* rb = RKB(i);
            TValue* rc = RKC(i);
            if (ttisnumber(rb) && ttisnumber(rc)) {
                Protect(power(L, ra, nvalue(rb), nvalue(rc)));
            } else {
                Protect(luaV_arith(L, ra, rb, rc, TM_POW));
            }
            vmbreak;
        }
        case OP_UNM: vmlabel(OP_UNM) {
            TValue* rb = RB(i);
            if (ttisnumber(rb)) {
                setnvalue(ra, wrap_neg(nvalue(rb)));
            } else {
                Protect(luaV_arith(L, ra, rb, rb, TM_UNM));
            }
            vmbreak;
        }
        case OP_NOT: vmlabel(OP_NOT) setbvalue(ra, l_isfalse(RB(i))); vmbreak;
        case OP_LEN: vmlabel(OP_LEN)
            if (!tablelength(ra, RB(i))) Protect(luaV_objlen(L, ra, RB(i)));
            vmbreak;
        case OP_CONCAT: vmlabel(OP_CONCAT) {
            int b = GETARG_B(i);
            int c = GETARG_C(i);
            L->top = base + c + 1;  // mark the end of the operands
            Protect(luaV_concat(L, c - b + 1));
            ra = RA(i);  // the stack may have moved
            StkId rb = base + b;
            setobj(ra, rb);
            checkGC(ra >= rb ? ra + 1 : rb);
            L->top = ci->top;
            vmbreak;
        }
        case OP_JMP: vmlabel(OP_JMP) dojump(i, 0); vmbreak;
        case OP_EQ: vmlabel(OP_EQ) {
            TValue* rb = RKB(i);
            TValue* rc = RKC(i);
            Protect(if (int(equalobj(L, rb, rc)) != GETARG_A(i)) pc++; else donextjump());
            vmbreak;
        }
        case OP_LT: vmlabel(OP_LT) {
            TValue* rb = RKB(i);
            TValue* rc = RKC(i);
            order_op(rb, rc, ttisnumber(rb) && ttisnumber(rc), <, luaV_lessthan);
            vmbreak;
        }
        case OP_LE: vmlabel(OP_LE) {
            TValue* rb = RKB(i);
            TValue* rc = RKC(i);
            order_op(rb, rc, ttisnumber(rb) && ttisnumber(rc), <=, luaV_lessequal);
            vmbreak;
        }
        case OP_TEST: vmlabel(OP_TEST)
            if (GETARG_C(i) ? l_isfalse(ra) : !l_isfalse(ra))
                pc++;
            else
                donextjump();
            vmbreak;
        case OP_TESTSET: vmlabel(OP_TESTSET) {
            TValue* rb = RB(i);
            if (GETARG_C(i) ? l_isfalse(rb) : !l_isfalse(rb)) {
                pc++;
            } else {
                setobj(ra, rb);
                donextjump();
            }
            vmbreak;
        }
        case OP_CALL: vmlabel(OP_CALL) {
            int b = GETARG_B(i);
            int nresults = GETARG_C(i) - 1;
            // The argument end, kept in a local as well: the stores below
            // could alias L->top, which would be read back.
            StkId top = b != 0 ? ra + b : L->top;  // else the previous instruction set top
            L->top = top;
            savepc();  // the caller's pc, for the return and for errors
            if (ttisLclosure(ra) && !(L->hookmask & LUA_MASKCALL)) {
                // The common Lua-to-Lua call, entered without leaving the loop.
                Proto* p = clLvalue(ra)->p;
                CallInfo* nci = ci->next;
                if (L->stack_last - top <= p->framespan || nci == nullptr || G(L)->GCdebt > 0) {
                    savetrap();
                    ra = prepinlinecall(L, ra, p);
                    loadtrap();
                    nci = ci->next;
                    top = L->top;
                }
                for (int n = int(top - ra) - 1; n < p->numparams; n++) setnilvalue(top++);
                StkId nbase = ra + 1;
                // A vararg function is entered here too rather than through
                // luaD_precall: 9% fewer instructions on bench/lua/varargs.
                if (p->is_vararg) {
                    L->top = top;
                    nbase = luaD_adjustvarargs(L, p, int(top - ra) - 1);
                }
                savecaller();
                L->ci = nci;
                nci->nresults = short(nresults);
                nci->func = ra;
                nci->u.l.base = nbase;
                nci->top = L->top = nbase + p->maxstacksize;
                nci->u.l.savedpc = p->code;
                nci->callstatus = CIST_LUA | CIST_REENTRY;
                ci = nci;
                // The callee's closure, constants, base and pc are all at
                // hand: set them here rather than reloading them through
                // ci->func at newframe (a chain of dependent loads on every
                // call).
                cl = clLvalue(ra);
                k = p->k;
                base = nbase;
                pc = p->code;
                vmbreak;
            }
            if (!(L->hookmask & LUA_MASKCALL) && (ttislcf(ra) || ttisCclosure(ra))) {
                if (ttisCclosure(ra) && clCvalue(ra)->numfn) {
                    // A number function (lua.h): called with its arguments
                    // in registers and its result stored where the call's
                    // results go, with no call frame, no collection step
                    // and no stack traffic. bench_frame (a flr and a pset
                    // per loop) 7.5% fewer host instructions, 13-16% less
                    // time than through the C function protocol.
                    savetrap();
                    const lua_NumberResult r = luaV_callnumbers(L, clCvalue(ra)->numfn, ra + 1, int(top - ra) - 1);
                    loadtrap();
                    if (nresults == 0) {  // a statement: pset(x, y)
                        L->top = ci->top;
                    } else if (nresults == 1) {  // an operand: flr(x) + 1
                        if (r.count)
                            setnvalue(ra, r.value);
                        else
                            setnilvalue(ra);
                        L->top = ci->top;
                    } else if (nresults < 0) {  // all results: f(flr(x))
                        if (r.count) setnvalue(ra, r.value);
                        L->top = ra + r.count;
                    } else {
                        for (int n = 0; n < nresults; n++) {
                            if (n < r.count)
                                setnvalue(ra + n, r.value);
                            else
                                setnilvalue(ra + n);
                        }
                        L->top = ci->top;
                    }
                    vmbreak;
                }
                // A builtin: called and returned in one step (luaD_callC).
                lua_CFunction f = ttislcf(ra) ? fvalue(ra) : clCvalue(ra)->f;
                savetrap();
                // The loop switches threads itself for coresume and for
                // yield in a coroutine it entered (luaCo_switch). The yield
                // without its C call: bench/lua/coroutines 18% less time,
                // for about as many host instructions.
                if (f == luaB_coresume || f == luaB_yield || f == luaB_yieldnothing) {
                    if (lua_State* next = luaCo_switch(L, f, ra, nresults, sw)) {
                        L = next;
                        goto switched;
                    }
                }
                if (luaD_callC(L, ra, nresults, f) == 2) goto yielded;
                if (nresults >= 0) L->top = ci->top;
                base = ci->u.l.base;
                loadtrap();
                vmbreak;
            }
            savetrap();
            if (int r = luaD_precall(L, ra, nresults)) {  // C function: already done
                if (r == 2) goto yielded;
                if (nresults >= 0) L->top = ci->top;
                base = ci->u.l.base;
                loadtrap();
            } else {  // Lua function: run it in this same loop
                loadtrap();
                savecaller();
                ci = L->ci;
                ci->callstatus |= CIST_REENTRY;
                goto newframe;
            }
            vmbreak;
        }
        case OP_TAILCALL: vmlabel(OP_TAILCALL) {
            int b = GETARG_B(i);
            if (b != 0) L->top = ra + b;
            savestate();
            if (!(L->hookmask & LUA_MASKCALL)) {
                if (ttisLclosure(ra)) {
                    // A Lua function replaces the running one in its
                    // CallInfo, as luaD_precall and the frame move below
                    // would do, without the new CallInfo in between: 7%
                    // fewer instructions on bench/lua/varargs.
                    Proto* p = clLvalue(ra)->p;
                    if (L->stack_last - L->top <= p->framespan || ci->next == nullptr || G(L)->GCdebt > 0) {
                        ra = prepinlinecall(L, ra, p);
                        base = ci->u.l.base;
                    }
                    loadtrap();
                    for (int n = int(L->top - ra) - 1; n < p->numparams; n++) setnilvalue(L->top++);
                    if (cl->p->sizep > 0) luaF_close(L, base);
                    StkId func = ci->func;
                    int given = int(L->top - ra) - 1;
                    for (int n = 0; n <= given; n++) setobj(func + n, ra + n);
                    L->top = func + 1 + given;
                    StkId nbase = func + 1;
                    if (p->is_vararg) nbase = luaD_adjustvarargs(L, p, given);  // given >= numparams after the nils above
                    ci->u.l.base = nbase;
                    ci->top = nbase + p->maxstacksize;
                    ci->u.l.savedpc = p->code;
                    ci->callstatus |= CIST_TAIL;
                    L->top = ci->top;
                    cl = clLvalue(func);
                    k = p->k;
                    base = nbase;
                    pc = p->code;
                    vmbreak;
                }
                if (ttislcf(ra) || ttisCclosure(ra)) {  // a builtin, as in OP_CALL
                    lua_CFunction f = ttislcf(ra) ? fvalue(ra) : clCvalue(ra)->f;
                    if (luaD_callC(L, ra, LUA_MULTRET, f) == 2) goto yielded;
                    base = ci->u.l.base;
                    loadtrap();
                    vmbreak;
                }
            }
            if (int r = luaD_precall(L, ra, LUA_MULTRET)) {
                if (r == 2) goto yielded;
                base = ci->u.l.base;
                loadtrap();
            } else {
                loadtrap();
                // Move the called frame down over the caller's.
                CallInfo* nci = L->ci;
                CallInfo* oci = nci->previous;
                StkId nfunc = nci->func;
                StkId ofunc = oci->func;
                StkId lim = nci->u.l.base + getproto(nfunc)->numparams;
                if (cl->p->sizep > 0) luaF_close(L, oci->u.l.base);
                for (int aux = 0; nfunc + aux < lim; aux++) setobj(ofunc + aux, nfunc + aux);
                oci->u.l.base = ofunc + (nci->u.l.base - nfunc);
                oci->top = L->top = ofunc + (L->top - nfunc);
                oci->u.l.savedpc = nci->u.l.savedpc;
                oci->callstatus |= CIST_TAIL;
                ci = L->ci = oci;
                goto newframe;
            }
            vmbreak;
        }
        case OP_RETURN: vmlabel(OP_RETURN) {
            int b = GETARG_B(i);
            // The results' end, kept in a local until the return is done.
            StkId top = b != 0 ? ra + b - 1 : L->top;
            if (cl->p->sizep > 0) luaF_close(L, base);
            unsigned status = ci->callstatus;
            if (!(L->hookmask & (LUA_MASKRET | LUA_MASKLINE)) && (status & CIST_REENTRY)) {
                // Return to a Lua caller: move the results and carry on there.
                StkId res = ci->func;
                int wanted = ci->nresults;
                ci = L->ci = ci->previous;
                if (wanted == 1) {
                    // One result wanted, the usual case (an expression
                    // call): no copy loop. 11% fewer instructions on
                    // bench/lua/fib with the frame set up below.
                    if (ra < top)
                        setobj(res, ra);
                    else
                        setnilvalue(res);
                    L->top = ci->top;
                } else {
                    int n;
                    for (n = wanted; n != 0 && ra < top; n--) setobj(res++, ra++);
                    while (n-- > 0) setnilvalue(res++);
                    L->top = (wanted == LUA_MULTRET) ? res : ci->top;
                }
                // The caller's closure and constants as it left them at
                // the call: 2% less time on bench/lua's fib, closures and
                // varargs than reloading them through ci->func (1% more
                // instructions, but off the chain of dependent loads).
                cl = ci->u.l.cl;
                k = ci->u.l.k;
                base = ci->u.l.base;
                pc = ci->u.l.savedpc;
                if (status & CIST_TFOR) goto tforstep;
                vmbreak;
            }
            L->top = top;
            savestate();
            b = luaD_poscall(L, ra);
            if (!(ci->callstatus & CIST_REENTRY)) {  // called from C
                if (L == sw->entry) return;
                stopped = LUA_OK;  // a coroutine entered here returned
                goto leave;
            }
            loadtrap();
            status = ci->callstatus;  // a return hook may have yielded
            ci = L->ci;
            if (b) L->top = ci->top;
            if (status & CIST_TFOR) goto tforreturn;
            goto newframe;
        }
        case OP_FORLOOP: vmlabel(OP_FORLOOP) {
            lua_Number step = nvalue(ra + 2);
            lua_Number idx = nvalue(ra);
            lua_Number next = wrap_add(idx, step);
            // A loop counting up stops instead of wrapping past 32767.
            bool wrapped = step >= 0 && idx >= 0 && next <= 0;
            if (!wrapped && (step > 0 ? next <= nvalue(ra + 1) : next >= nvalue(ra + 1))) {
                pc += GETARG_sBx(i);
                setnvalue(ra, next);
                setnvalue(ra + 3, next);
            }
            vmbreak;
        }
        case OP_FORPREP: vmlabel(OP_FORPREP)
            Protect(forprep(L, ra));
            pc += GETARG_sBx(i);
            vmbreak;
        case OP_TFORCALL: vmlabel(OP_TFORCALL) {
            StkId cb = ra + 3;  // call base
            setobj(cb + 2, ra + 2);
            setobj(cb + 1, ra + 1);
            setobj(cb, ra);
            L->top = cb + 3;
            if (ttisLclosure(cb) && !(L->hookmask & LUA_MASKCALL)) {
                // A generator written in Lua (all(), or the program's own)
                // is entered like a called function, without a C call and a
                // nested run of this loop; its return comes back through
                // tforreturn to finish this instruction. 13% fewer
                // instructions for a loop over all() of a table that adds
                // up its values.
                savestate();
                savecaller();
                ci = entergenerator(L, cb, GETARG_C(i));
                loadtrap();
                goto newframe;
            }
            Protect(luaD_call(L, cb, GETARG_C(i), 1));
            goto tforstep;
        }
        case OP_TFORLOOP: vmlabel(OP_TFORLOOP)
            if (!ttisnil(ra + 1)) {
                setobj(ra, ra + 1);
                pc += GETARG_sBx(i);
            }
            vmbreak;
        case OP_SETLIST: vmlabel(OP_SETLIST) {
            int n = GETARG_B(i);
            int c = GETARG_C(i);
            if (c == 0) c = GETARG_Ax(*pc++);
            Protect(dosetlist(L, ci, ra, n, c));
            vmbreak;
        }
        case OP_CLOSURE: vmlabel(OP_CLOSURE) {
            Proto* p = cl->p->p[GETARG_Bx(i)];
            Closure* ncl = getcached(p, cl->upvals, base);
            if (ncl == nullptr) {
                Protect(pushclosure(L, p, cl->upvals, base, ra));
            } else {
                setclLvalue(L, ra, ncl);
            }
            checkGC(ra + 1);
            vmbreak;
        }
        case OP_VARARG: vmlabel(OP_VARARG) {
            // A fixed count, or all of a short list that fits the stack, is
            // copied here; a long list (charged to the budget, may grow the
            // stack) goes through dovarargs_all.
            int b = GETARG_B(i) - 1;
            int n = int(base - ci->func) - cl->p->numparams - 1;
            if (b < 0) {
                if (n > free_varargs || L->stack_last - L->top <= n) {
                    Protect(dovarargs_all(L, ci, cl, ra));
                    vmbreak;
                }
                b = n;
                L->top = ra + n;
            }
            copyvarargs(ra, base, n, b);
            vmbreak;
        }
        case OP_IDIV: vmlabel(OP_IDIV) bit_op(fixed_idiv); vmbreak;
        case OP_BAND: vmlabel(OP_BAND) bit_op(fixed_band); vmbreak;
        case OP_BOR: vmlabel(OP_BOR) bit_op(fixed_bor); vmbreak;
        case OP_BXOR: vmlabel(OP_BXOR) bit_op(fixed_bxor); vmbreak;
        case OP_SHL: vmlabel(OP_SHL) bit_op(fixed_shl); vmbreak;
        case OP_SHR: vmlabel(OP_SHR) bit_op(fixed_shr); vmbreak;
        case OP_LSHR: vmlabel(OP_LSHR) bit_op(fixed_lshr); vmbreak;
        case OP_ROTL: vmlabel(OP_ROTL) bit_op(fixed_rotl); vmbreak;
        case OP_ROTR: vmlabel(OP_ROTR) bit_op(fixed_rotr); vmbreak;
        case OP_BNOT: vmlabel(OP_BNOT) {
            TValue* rb = RB(i);
            if (__builtin_expect(!ttisnumber(rb), 0)) goto bitslow;
            setnvalue(ra, fixed_bnot(nvalue(rb)));
            vmbreak;
        }
        // ---- specialised forms (luaK_specialize): as their base opcode,
        // with the operand kinds known. With the GCSE change above, 1-17%
        // fewer instructions on the programs of bench/lua (loops 17%,
        // particles 10%, hashing 7%, methods 7%). ----
        case OP_GETTABUPK: vmlabel(OP_GETTABUPK) {  // a global read
            TValue* upv = cl->upvals[GETARG_B(i)]->v;
            TValue* rc = KC(i);
            fastindex(upv, rc, faststr(hvalue(upv), tsvalue(rc)));
            vmbreak;
        }
        case OP_GETTABLEK: vmlabel(OP_GETTABLEK) {  // t.name
            TValue* rb = RB(i);
            TValue* rc = KC(i);
            fastindex(rb, rc, faststr(hvalue(rb), tsvalue(rc)));
            vmbreak;
        }
        case OP_GETTABLER: vmlabel(OP_GETTABLER) {  // t[k], k in a register
            TValue* rb = RB(i);
            TValue* rc = RC(i);
            fastindex(rb, rc, fastget(hvalue(rb), rc));
            vmbreak;
        }
        case OP_SETTABLEK: vmlabel(OP_SETTABLEK) {  // t.name = v
            TValue* rb = KB(i);
            TValue* rc = RKC(i);
            fastnewvalue(rb, rc, faststr(hvalue(ra), tsvalue(rb)));
            vmbreak;
        }
        case OP_SETTABLER: vmlabel(OP_SETTABLER) {  // t[k] = v, k in a register
            TValue* rb = RB(i);
            TValue* rc = RKC(i);
            fastnewvalue(rb, rc, fastget(hvalue(ra), rb));
            vmbreak;
        }
        case OP_SELFK: vmlabel(OP_SELFK) {  // obj:name(...)
            StkId rb = RB(i);
            TValue* rc = KC(i);
            self_op(rb, rc, faststrk);
            vmbreak;
        }
        case OP_ADDK: vmlabel(OP_ADDK) arith_opk(wrap_add, TM_ADD); vmbreak;
        case OP_ADDRR: vmlabel(OP_ADDRR) {  // the commonest sum: two registers
            TValue* rb = RB(i);
            TValue* rc = RC(i);
            arith_on(rb, rc, ttisnumber(rb) && ttisnumber(rc), wrap_add, TM_ADD);
            vmbreak;
        }
        case OP_SUBK: vmlabel(OP_SUBK) arith_opk(wrap_sub, TM_SUB); vmbreak;
        case OP_MULK: vmlabel(OP_MULK) arith_opk(fixed_mul, TM_MUL); vmbreak;
        case OP_MODK: vmlabel(OP_MODK) arith_opk(mod_positive, TM_MOD); vmbreak;
        case OP_EQK: vmlabel(OP_EQK) {
            // A constant is never a table or userdata: no __eq to call.
            TValue* rb = RB(i);
            TValue* rc = KC(i);
            bool eq = ttisnumber(rc) ? ttisnumber(rb) && nvalue(rb) == nvalue(rc) : luaV_rawequalobj(rb, rc);
            if (int(eq) != GETARG_A(i))
                pc++;
            else
                donextjump();
            vmbreak;
        }
        case OP_LTK: vmlabel(OP_LTK) {
            TValue* rb = RB(i);
            TValue* rc = KC(i);
            order_op(rb, rc, ttisnumber(rb), <, luaV_lessthan);
            vmbreak;
        }
        case OP_LEK: vmlabel(OP_LEK) {
            TValue* rb = RB(i);
            TValue* rc = KC(i);
            order_op(rb, rc, ttisnumber(rb), <=, luaV_lessequal);
            vmbreak;
        }
        tforreturn: {
            // A generator that OP_TFORCALL entered in this loop returned its
            // values to the caller, now running again: tforstep finishes
            // that instruction.
            cl = clLvalue(ci->func);
            k = cl->p->k;
            base = ci->u.l.base;
            pc = ci->u.l.savedpc;
        }
        tforstep: {
            // The OP_TFORLOOP after an OP_TFORCALL runs as part of that
            // instruction (it is not counted on its own).
            L->top = ci->top;
            i = *(pc++);
            ra = RA(i);
            if (!ttisnil(ra + 1)) {
                setobj(ra, ra + 1);
                pc += GETARG_sBx(i);
            }
            vmbreak;
        }
        yielded:
            // A called C function yielded without unwinding: back to the
            // resume, which is this loop for a thread it switched to.
            if (L == sw->entry) return;
            stopped = LUACO_YIELDED;
        leave:
            L = luaCo_leave(L, stopped, sw);
            if (L == nullptr) return;  // a hook yield suspended the starting thread
        switched:
            // L is the thread to run now, from its L->ci.
            ci = L->ci;
            loadtrap();
            goto newframe;
        bitslow: {  // an operand of OP_IDIV ... OP_BNOT is no number
            TValue* rb = RKB(i);
            TValue* rc = GET_OPCODE(i) == OP_BNOT ? rb : RKC(i);
            Protect(luaV_bitarith(L, ra, rb, rc, GET_OPCODE(i)));
            vmbreak;
        }
        case OP_EXTRAARG: vmlabel(OP_EXTRAARG)
        default:
            // Never reached by code from the compiler.
            savestate();
            luaG_runerror(L, "invalid instruction");
        }
    }
#undef RA
#undef SLOT
#undef RB
#undef RC
#undef RKB
#undef RKC
#undef KB
#undef KC
#undef arith_opk
#undef fastindex
#undef fastnewvalue
#undef order_op
#undef self_op
#undef Protect
#undef dojump
#undef donextjump
#undef checkGC
#undef arith_op
#undef arith_on
#undef bit_op
#undef savepc
#undef savetrap
#undef loadtrap
#undef savestate
#undef vmfetch
#undef vmbreak
#undef vmlabel
}

}  // namespace

void luaV_execute(lua_State* L) {
    luaCo_Switch sw;
    sw.entry = sw.running = L;
    sw.lj.previous = nullptr;
    sw.lj.status = LUA_OK;
    int stopped = VM_RUNNING;
    for (;;) {
        try {
            execute(sw.running, &sw, stopped);
            return;
        } catch (lua_longjmp* e) {
            if (sw.running == sw.entry) throw;
            // A thread entered by the loop was unwound: as in
            // luaD_rawrunprotected, nothing past its recover point can be
            // the target.
            stopped = e == &sw.lj ? sw.lj.status : e->status;
            if (stopped == LUA_OK) stopped = LUA_ERRRUN;
        } catch (const std::bad_alloc&) {
            if (sw.running == sw.entry) throw;
            stopped = LUA_ERRMEM;
        }
    }
}
