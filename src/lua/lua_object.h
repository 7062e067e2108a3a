// Values and objects of the interpreter.
//
// Owns the tagged value (TValue), the garbage-collected object layouts
// (strings, userdata, prototypes, upvalues, closures, tables) and the
// number/text conversions of the 16.16 dialect.
//
// Invariants:
// - A TValue is a Value plus a type tag. The low 4 bits of the tag are the
//   basic type (LUA_T*), bits 4-5 the variant (short/long string, Lua/C
//   function), bit 6 (BIT_ISCOLLECTABLE) says the value points to a
//   GCObject. Numbers are raw 32-bit 16.16 values stored in Value::n.
// - Every collectable object starts with the GCObject header (next, tt,
//   marked) and is linked on exactly one of the global lists of
//   global_State (allgc normally; short strings are on allgc too and are
//   additionally chained through TString::hnext in the string table).
//   A later incremental collector walks these lists; until then all
//   objects are freed by lua_close.
// - A GCObject's tt equals the variant tag of the values that point to it,
//   and is what the allocator receives as osize when the object is created.
// - Short strings (len <= LUAI_MAXSHORTLEN) are interned: equal contents
//   means the same TString, so they compare by pointer. Long strings
//   compare by contents. String bytes follow the header and are always
//   NUL-terminated.
#pragma once

#include <bit>
#include <cstring>

#include "lua/lua_limits.h"

// Extra tags for non-value objects.
constexpr int LUA_TPROTO = LUA_NUMTAGS;
constexpr int LUA_TUPVAL = LUA_NUMTAGS + 1;
constexpr int LUA_TDEADKEY = LUA_NUMTAGS + 2;
constexpr int LUA_TOTALTAGS = LUA_TUPVAL + 2;

// Variant tags.
constexpr int LUA_TLCL = LUA_TFUNCTION | (0 << 4);  // Lua closure
constexpr int LUA_TLCF = LUA_TFUNCTION | (1 << 4);  // light C function
constexpr int LUA_TCCL = LUA_TFUNCTION | (2 << 4);  // C closure
constexpr int LUA_TSHRSTR = LUA_TSTRING | (0 << 4);
constexpr int LUA_TLNGSTR = LUA_TSTRING | (1 << 4);

constexpr int BIT_ISCOLLECTABLE = 1 << 6;
constexpr int ctb(int t) { return t | BIT_ISCOLLECTABLE; }

struct lua_State;
struct Table;
struct TString;
struct Udata;
struct Proto;
struct UpVal;
union Closure;

// Common header of every collectable object.
struct GCObject {
    GCObject* next;  // next object on its global list
    lu_byte tt;      // variant tag
    lu_byte marked;  // collector colour bits
};

union Value {
    GCObject* gc;
    void* p;          // light userdata
    int b;            // boolean
    lua_CFunction f;  // light C function
    lua_Number n;     // raw 16.16 number
    uintptr_t bits;   // the whole word, as setnvalue and setbvalue store it
};

struct TValue {
    Value value_;
    int tt_;
};

using StkId = TValue*;  // index into a thread's stack

// ---- tag tests and accessors ----
inline int rttype(const TValue* o) { return o->tt_; }
inline int ttype(const TValue* o) { return o->tt_ & 0x3f; }  // tag without collectable bit
inline int ttypenv(const TValue* o) { return o->tt_ & 0x0f; }  // basic type
inline bool checktag(const TValue* o, int t) { return o->tt_ == t; }

inline bool ttisnumber(const TValue* o) { return checktag(o, LUA_TNUMBER); }
inline bool ttisnil(const TValue* o) { return checktag(o, LUA_TNIL); }
inline bool ttisboolean(const TValue* o) { return checktag(o, LUA_TBOOLEAN); }
inline bool ttislightuserdata(const TValue* o) { return checktag(o, LUA_TLIGHTUSERDATA); }
inline bool ttisstring(const TValue* o) { return ttypenv(o) == LUA_TSTRING; }
inline bool ttisshrstring(const TValue* o) { return checktag(o, ctb(LUA_TSHRSTR)); }
inline bool ttislngstring(const TValue* o) { return checktag(o, ctb(LUA_TLNGSTR)); }
inline bool ttistable(const TValue* o) { return checktag(o, ctb(LUA_TTABLE)); }
inline bool ttisfunction(const TValue* o) { return ttypenv(o) == LUA_TFUNCTION; }
inline bool ttisclosure(const TValue* o) { return (o->tt_ & 0x1f) == LUA_TFUNCTION; }
inline bool ttisCclosure(const TValue* o) { return checktag(o, ctb(LUA_TCCL)); }
inline bool ttisLclosure(const TValue* o) { return checktag(o, ctb(LUA_TLCL)); }
inline bool ttislcf(const TValue* o) { return checktag(o, LUA_TLCF); }
inline bool ttisuserdata(const TValue* o) { return checktag(o, ctb(LUA_TUSERDATA)); }
inline bool ttisthread(const TValue* o) { return checktag(o, ctb(LUA_TTHREAD)); }
inline bool ttisdeadkey(const TValue* o) { return checktag(o, LUA_TDEADKEY); }
inline bool iscollectable(const TValue* o) { return (o->tt_ & BIT_ISCOLLECTABLE) != 0; }

inline lua_Number nvalue(const TValue* o) { return check_exp(ttisnumber(o), o->value_.n); }
inline GCObject* gcvalue(const TValue* o) { return check_exp(iscollectable(o), o->value_.gc); }
inline void* pvalue(const TValue* o) { return check_exp(ttislightuserdata(o), o->value_.p); }
inline int bvalue(const TValue* o) { return check_exp(ttisboolean(o), o->value_.b); }
inline lua_CFunction fvalue(const TValue* o) { return check_exp(ttislcf(o), o->value_.f); }
inline TString* tsvalue(const TValue* o) { return check_exp(ttisstring(o), reinterpret_cast<TString*>(o->value_.gc)); }
inline Table* hvalue(const TValue* o) { return check_exp(ttistable(o), reinterpret_cast<Table*>(o->value_.gc)); }
inline Udata* uvalue(const TValue* o) { return check_exp(ttisuserdata(o), reinterpret_cast<Udata*>(o->value_.gc)); }
inline Closure* clvalue(const TValue* o) { return check_exp(ttisclosure(o), reinterpret_cast<Closure*>(o->value_.gc)); }
inline lua_State* thvalue(const TValue* o) { return check_exp(ttisthread(o), reinterpret_cast<lua_State*>(o->value_.gc)); }

inline bool l_isfalse(const TValue* o) { return ttisnil(o) || (ttisboolean(o) && bvalue(o) == 0); }

// ---- setters ----
// Numbers and booleans are stored as the whole value word, and setobj copies
// the word and the tag as two moves, each the size of the store that wrote
// it: a copy of a value just computed (a MOVE, a RETURN, a table store after
// arithmetic) then reads straight from the processor's store buffer. A
// 4-byte number copied by a 16-byte move made that read wait for the store
// to reach the cache: 6-9% of the time of bench/lua/fib, methods,
// particles and closures.
static_assert(std::endian::native == std::endian::little, "nvalue reads the low half of the word setnvalue writes");
inline void setnilvalue(TValue* o) { o->tt_ = LUA_TNIL; }
inline void setnvalue(TValue* o, lua_Number n) {
    o->value_.bits = uintptr_t(uint32_t(n));
    o->tt_ = LUA_TNUMBER;
}
inline void setbvalue(TValue* o, int b) {
    o->value_.bits = uintptr_t(uint32_t(b));
    o->tt_ = LUA_TBOOLEAN;
}
inline void setpvalue(TValue* o, void* p) { o->value_.p = p; o->tt_ = LUA_TLIGHTUSERDATA; }
inline void setfvalue(TValue* o, lua_CFunction f) { o->value_.f = f; o->tt_ = LUA_TLCF; }
inline void setgcovalue(TValue* o, GCObject* g) { o->value_.gc = g; o->tt_ = ctb(g->tt); }
inline void setdeadvalue(TValue* o) { o->tt_ = LUA_TDEADKEY; }
inline void setobj(TValue* o1, const TValue* o2) {
    o1->value_ = o2->value_;
    o1->tt_ = o2->tt_;
}
// The lua_State argument of the setters below is where a later collector
// puts its write barrier checks.
void setsvalue(lua_State* L, TValue* o, TString* s);
void sethvalue(lua_State* L, TValue* o, Table* t);
void setuvalue(lua_State* L, TValue* o, Udata* u);
void setthvalue(lua_State* L, TValue* o, lua_State* th);
void setclLvalue(lua_State* L, TValue* o, Closure* cl);
void setclCvalue(lua_State* L, TValue* o, Closure* cl);

// ---- strings ----
struct TString : GCObject {
    lu_byte extra;      // short: reserved-word index + 1 (0 = not reserved); long: hash computed
    TString* hnext;     // chain in the string table (short strings)
    unsigned int hash;
    // Short strings: the node index at which this string was last found as
    // a key by the instruction loop's lookups (faststr), tried before the
    // chain from the main position; only a hint, checked against the key
    // there, so any value is safe. Starts as the hash, which makes the
    // first try the main position. Sits in what was padding on 64-bit
    // hosts; the web build's 32-bit strings grow by 4 bytes.
    mutable unsigned int keyhint;
    size_t len;         // bytes, not counting the terminating NUL
    // followed by len + 1 bytes
};

static_assert(sizeof(void*) != 8 || sizeof(TString) == 48, "TString keeps its size");
inline char* getstr(TString* ts) { return reinterpret_cast<char*>(ts + 1); }
inline const char* getstr(const TString* ts) { return reinterpret_cast<const char*>(ts + 1); }
inline const char* svalue(const TValue* o) { return getstr(tsvalue(o)); }

// ---- userdata ----
struct Udata : GCObject {
    Table* metatable;
    Table* env;   // user value
    size_t len;   // bytes of the block that follows
};
inline void* udata_memory(Udata* u) { return u + 1; }

// ---- prototypes ----
struct Upvaldesc {
    TString* name;  // for debug information
    lu_byte instack;  // 1 when it is a register of the enclosing function
    lu_byte idx;      // register or upvalue index in the enclosing function
};

struct LocVar {
    TString* varname;
    int startpc;  // first pc where the variable is active
    int endpc;    // first pc where it is dead
};

struct Proto : GCObject {
    TValue* k;             // constants
    Instruction* code;
    Proto** p;             // nested functions
    int* lineinfo;         // source line of each instruction
    LocVar* locvars;
    Upvaldesc* upvalues;
    Closure* cache;        // last closure built from this prototype
    TString* source;
    int sizeupvalues;
    int sizek;
    int sizecode;
    int sizelineinfo;
    int sizep;
    int sizelocvars;
    int linedefined;
    int lastlinedefined;
    GCObject* gclist;
    lu_byte numparams;
    lu_byte is_vararg;
    lu_byte maxstacksize;  // registers used
    // Stack room a call needs above the arguments given: the frame, and for
    // a vararg function the nils for missing fixed parameters and the copy
    // of the fixed parameters above the arguments (luaD_adjustvarargs).
    // Set when the function is finished; it lies in what was padding.
    unsigned short framespan;
};

// ---- upvalues ----
// Open upvalues point into a thread's stack and are kept on the thread's
// openupval list sorted by stack level (highest first); closing copies the
// value into u.value and points v there.
struct UpVal : GCObject {
    TValue* v;
    union {
        TValue value;  // when closed
        struct {
            UpVal* prev;
            UpVal* next;
        } l;           // when open: doubly linked list of all open upvalues
    } u;
};

// ---- closures ----
struct CClosure : GCObject {
    lu_byte nupvalues;
    GCObject* gclist;
    lua_CFunction f;
    // Set for a number function (lua_pushnumberfunction), which the
    // instruction loop calls directly; f then reaches it through the C
    // function protocol for every other caller.
    lua_NumberFunction numfn;
    TValue upvalue[1];  // nupvalues entries
};

struct LClosure : GCObject {
    lu_byte nupvalues;
    GCObject* gclist;
    Proto* p;
    UpVal* upvals[1];  // nupvalues entries
};

// Both layouts share the header and nupvalues; the tag tells which is live.
union Closure {
    CClosure c;
    LClosure l;
};
inline CClosure* clCvalue(const TValue* o) { return check_exp(ttisCclosure(o), &clvalue(o)->c); }
inline LClosure* clLvalue(const TValue* o) { return check_exp(ttisLclosure(o), &clvalue(o)->l); }
constexpr size_t sizeCclosure(int n) { return sizeof(CClosure) + sizeof(TValue) * (n > 0 ? n - 1 : 0); }
constexpr size_t sizeLclosure(int n) { return sizeof(LClosure) + sizeof(UpVal*) * (n > 0 ? n - 1 : 0); }
inline Proto* getproto(const TValue* o) { return clLvalue(o)->p; }

// ---- tables ----
struct Node;
struct TKey {
    Value value_;
    int tt_;
    Node* next;  // collision chain
};
inline TValue* tkey_tvalue(TKey* k) { return reinterpret_cast<TValue*>(k); }

struct Node {
    TValue i_val;
    TKey i_key;
};

// Array part holds the integer keys 1..sizearray (keys whose raw value is
// k << 16); every other key lives in the hash part. See lua_table.h.
struct Table : GCObject {
    lu_byte flags;      // bit p set means metamethod p is known absent
    lu_byte lsizenode;  // log2 of the size of node
    // sizenode - 1, the mask of a key's main position: kept rather than
    // computed from lsizenode (three instructions fewer on every lookup of
    // a field name or global). It sits in what was padding.
    unsigned nodemask;
    Table* metatable;
    TValue* array;
    Node* node;
    Node* lastfree;     // every free position is before this one
    GCObject* gclist;
    int sizearray;
    // When >= 0, array[0 .. lenhint-1] all hold values and the rest of the
    // array part is nil, so lenhint is the part's one border: the one the
    // binary search of # finds (luaH_getn). Kept up by every write into the
    // array part (luaH_noteset). LUAH_LEN_UNKNOWN: a write broke it, until
    // the next rebuild; LUAH_LEN_LATER: rebuilt, to be worked out at the
    // next #. It sits in what was padding.
    int lenhint;
};

// A program's memory readings charge half of every table's record: the mask
// above must not grow it on 64-bit hosts.
static_assert(sizeof(void*) != 8 || sizeof(Table) == 72, "Table keeps its size");

constexpr int twoto(int x) { return 1 << x; }
inline int sizenode(const Table* t) { return twoto(t->lsizenode); }

// The single nil value used where a TValue* to nothing is needed.
extern const TValue luaO_nilobject_;
#define luaO_nilobject (&luaO_nilobject_)

// ---- fixed-point numbers ----
constexpr lua_Number FIX_ONE = 0x10000;
// Integer part: arithmetic shift right by 16, as a signed 16-bit value.
constexpr int fix_to_int(lua_Number n) { return static_cast<int16_t>(n >> 16); }
// Integer to number: shift left by 16, wrapping.
constexpr lua_Number int_to_fix(int i) { return static_cast<lua_Number>(static_cast<uint32_t>(i) << 16); }

// Numeral conversion: 1 when the whole text (with optional trailing white
// space) is one numeral, with its raw value in *result; 0 otherwise.
// Decimal text is rounded on its magnitude and then signed, so "-1" is
// exactly -1.0.
int luaO_str2d(const char* s, size_t len, lua_Number* result);
// Writes the text form of a number into buff (LUAI_MAXNUMBER2STR bytes) and
// returns its length.
int luaO_fixed_to_string(char* buff, lua_Number n);
// The arithmetic of the dialect (op is LUA_OPADD..LUA_OPUNM), shared by the
// virtual machine and the constant folder so their results agree.
lua_Number luaO_arith(int op, lua_Number v1, lua_Number v2);

int luaO_int2fb(unsigned int x);
int luaO_fb2int(int x);
int luaO_ceillog2(unsigned int x);
int luaO_hexavalue(int c);
const char* luaO_pushvfstring(lua_State* L, const char* fmt, va_list argp);
const char* luaO_pushfstring(lua_State* L, const char* fmt, ...);
void luaO_chunkid(char* out, const char* source, size_t len);
