// The public C interface of the vexel Lua interpreter.
//
// The language is Lua 5.2 whose only number is a signed 16.16 fixed-point
// value: a lua_Number is the raw 32-bit two's-complement integer n standing
// for n / 65536. Everything else in this interface behaves as the Lua 5.2
// C API does, with these conversions:
//   lua_tonumberx / luaL_checknumber   the raw 32-bit value
//   lua_tointegerx / luaL_checkinteger the integer part (raw >> 16, as int16)
//   lua_tounsignedx                    raw >> 16 (arithmetic)
//   lua_pushnumber(n)                  pushes the raw value n
//   lua_pushunsigned(n)                pushes n << 16
//   lua_pushinteger(n)                 pushes n as a raw value, unscaled
//   lua_tolstring on a number          converts it in place (luaO_fixed_to_string)
//
// Errors unwind with a C++ exception of an interpreter-private type (see
// lua_do.h); C functions called from scripts must hold their resources in
// RAII objects so nothing is left behind when an error passes through.
// Binary chunks are refused by the loader.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#define LUA_VERSION_MAJOR "5"
#define LUA_VERSION_MINOR "2"
#define LUA_VERSION_NUM 502
#define LUA_VERSION_RELEASE "3"
#define LUA_VERSION "Lua " LUA_VERSION_MAJOR "." LUA_VERSION_MINOR
#define LUA_RELEASE LUA_VERSION "." LUA_VERSION_RELEASE

#define LUA_SIGNATURE "\033Lua"

// Option for multiple returns in lua_pcall and lua_call.
#define LUA_MULTRET (-1)

// Pseudo-indices.
constexpr int LUAI_MAXSTACK = 1000000;
#define LUA_REGISTRYINDEX (-LUAI_MAXSTACK - 1000)
#define lua_upvalueindex(i) (LUA_REGISTRYINDEX - (i))

// Thread status; 0 is OK.
#define LUA_OK 0
#define LUA_YIELD 1
#define LUA_ERRRUN 2
#define LUA_ERRSYNTAX 3
#define LUA_ERRMEM 4
#define LUA_ERRGCMM 5
#define LUA_ERRERR 6

struct lua_State;

using lua_Number = int32_t;    // raw 16.16 fixed point
using lua_Integer = int32_t;   // plain integer
using lua_Unsigned = uint32_t;

using lua_CFunction = int (*)(lua_State* L);
using lua_Reader = const char* (*)(lua_State* L, void* ud, size_t* sz);
using lua_Writer = int (*)(lua_State* L, const void* p, size_t sz, void* ud);
// Allocation function: nsize 0 frees; ptr null allocates, and then osize is
// the type tag of the object being created (0 for untyped memory).
using lua_Alloc = void* (*)(void* ud, void* ptr, size_t osize, size_t nsize);

// Basic types.
#define LUA_TNONE (-1)
#define LUA_TNIL 0
#define LUA_TBOOLEAN 1
#define LUA_TLIGHTUSERDATA 2
#define LUA_TNUMBER 3
#define LUA_TSTRING 4
#define LUA_TTABLE 5
#define LUA_TFUNCTION 6
#define LUA_TUSERDATA 7
#define LUA_TTHREAD 8
#define LUA_NUMTAGS 9

#define LUA_MINSTACK 20

// Predefined values in the registry.
#define LUA_RIDX_MAINTHREAD 1
#define LUA_RIDX_GLOBALS 2
#define LUA_RIDX_LAST LUA_RIDX_GLOBALS

// State manipulation.
lua_State* lua_newstate(lua_Alloc f, void* ud);
void lua_close(lua_State* L);
lua_State* lua_newthread(lua_State* L);
lua_CFunction lua_atpanic(lua_State* L, lua_CFunction panicf);
const lua_Number* lua_version(lua_State* L);

int lua_gettop(lua_State* L);
void lua_settop(lua_State* L, int idx);
void lua_pushvalue(lua_State* L, int idx);
void lua_remove(lua_State* L, int idx);
void lua_insert(lua_State* L, int idx);
void lua_replace(lua_State* L, int idx);
void lua_copy(lua_State* L, int fromidx, int toidx);
int lua_checkstack(lua_State* L, int sz);
void lua_xmove(lua_State* from, lua_State* to, int n);

// Access functions (stack -> C).
int lua_isnumber(lua_State* L, int idx);
int lua_isstring(lua_State* L, int idx);
int lua_type(lua_State* L, int idx);
const char* lua_typename(lua_State* L, int tp);

lua_Number lua_tonumberx(lua_State* L, int idx, int* isnum);
// lua_vexel_numbers, which reads all the numeric arguments of a builtin at
// once, is inline in lua_numbers.h.
lua_Integer lua_tointegerx(lua_State* L, int idx, int* isnum);
lua_Unsigned lua_tounsignedx(lua_State* L, int idx, int* isnum);
int lua_toboolean(lua_State* L, int idx);
const char* lua_tolstring(lua_State* L, int idx, size_t* len);
size_t lua_rawlen(lua_State* L, int idx);
void* lua_touserdata(lua_State* L, int idx);
lua_State* lua_tothread(lua_State* L, int idx);

// Arithmetic and comparison.
#define LUA_OPADD 0
#define LUA_OPSUB 1
#define LUA_OPMUL 2
#define LUA_OPDIV 3
#define LUA_OPMOD 4
#define LUA_OPPOW 5
#define LUA_OPUNM 6
void lua_arith(lua_State* L, int op);

#define LUA_OPEQ 0
#define LUA_OPLT 1
#define LUA_OPLE 2
int lua_rawequal(lua_State* L, int idx1, int idx2);
int lua_compare(lua_State* L, int idx1, int idx2, int op);

// Push functions (C -> stack).
void lua_pushnil(lua_State* L);
void lua_pushnumber(lua_State* L, lua_Number n);
void lua_pushinteger(lua_State* L, lua_Integer n);
void lua_pushunsigned(lua_State* L, lua_Unsigned n);
const char* lua_pushlstring(lua_State* L, const char* s, size_t l);
const char* lua_pushstring(lua_State* L, const char* s);
// %s %c %p %% as usual; %d and %f take a 32-bit fixed-point value and print
// it as numbers print.
const char* lua_pushvfstring(lua_State* L, const char* fmt, va_list argp);
const char* lua_pushfstring(lua_State* L, const char* fmt, ...);
void lua_pushcclosure(lua_State* L, lua_CFunction fn, int n);
void lua_pushboolean(lua_State* L, int b);
void lua_pushlightuserdata(lua_State* L, void* p);
int lua_pushthread(lua_State* L);

// Get functions (Lua -> stack).
void lua_getglobal(lua_State* L, const char* var);
void lua_getfield(lua_State* L, int idx, const char* k);
void lua_rawget(lua_State* L, int idx);
void lua_rawgeti(lua_State* L, int idx, int n);
void lua_createtable(lua_State* L, int narr, int nrec);
void* lua_newuserdata(lua_State* L, size_t sz);
int lua_getmetatable(lua_State* L, int objindex);
void lua_getuservalue(lua_State* L, int idx);

// Set functions (stack -> Lua).
void lua_setglobal(lua_State* L, const char* var);
void lua_setfield(lua_State* L, int idx, const char* k);
void lua_rawset(lua_State* L, int idx);
void lua_rawseti(lua_State* L, int idx, int n);
int lua_setmetatable(lua_State* L, int objindex);
void lua_setuservalue(lua_State* L, int idx);

// Load and call.
void lua_callk(lua_State* L, int nargs, int nresults, int ctx, lua_CFunction k);
#define lua_call(L, n, r) lua_callk(L, (n), (r), 0, nullptr)
int lua_getctx(lua_State* L, int* ctx);
int lua_pcallk(lua_State* L, int nargs, int nresults, int errfunc, int ctx, lua_CFunction k);
#define lua_pcall(L, n, r, f) lua_pcallk(L, (n), (r), (f), 0, nullptr)
// Text chunks only: a chunk starting with the binary signature is refused.
int lua_load(lua_State* L, lua_Reader reader, void* dt, const char* chunkname, const char* mode);
int lua_dump(lua_State* L, lua_Writer writer, void* data);

// Coroutines.
int lua_yieldk(lua_State* L, int nresults, int ctx, lua_CFunction k);
#define lua_yield(L, n) lua_yieldk(L, (n), 0, nullptr)
int lua_resume(lua_State* L, lua_State* from, int narg);
int lua_status(lua_State* L);
// Whether the running code of L may yield now (no C call without a
// continuation in the way); a count hook that yields should ask first.
int lua_isyieldable(lua_State* L);

// Garbage collection.
#define LUA_GCSTOP 0
#define LUA_GCRESTART 1
#define LUA_GCCOLLECT 2
#define LUA_GCCOUNT 3
#define LUA_GCCOUNTB 4
#define LUA_GCSTEP 5
#define LUA_GCSETPAUSE 6
#define LUA_GCSETSTEPMUL 7
#define LUA_GCSETMAJORINC 8
#define LUA_GCISRUNNING 9
#define LUA_GCGEN 10
#define LUA_GCINC 11
int lua_gc(lua_State* L, int what, int data);

// Miscellaneous.
int lua_error(lua_State* L);
int lua_next(lua_State* L, int idx);
void lua_concat(lua_State* L, int n);
lua_Alloc lua_getallocf(lua_State* L, void** ud);

#define lua_tonumber(L, i) lua_tonumberx(L, i, nullptr)
#define lua_tointeger(L, i) lua_tointegerx(L, i, nullptr)
#define lua_tounsigned(L, i) lua_tounsignedx(L, i, nullptr)
#define lua_pop(L, n) lua_settop(L, -(n)-1)
#define lua_newtable(L) lua_createtable(L, 0, 0)
#define lua_register(L, n, f) (lua_pushcfunction(L, (f)), lua_setglobal(L, (n)))
#define lua_pushcfunction(L, f) lua_pushcclosure(L, (f), 0)
#define lua_isfunction(L, n) (lua_type(L, (n)) == LUA_TFUNCTION)
#define lua_istable(L, n) (lua_type(L, (n)) == LUA_TTABLE)
#define lua_islightuserdata(L, n) (lua_type(L, (n)) == LUA_TLIGHTUSERDATA)
#define lua_isnil(L, n) (lua_type(L, (n)) == LUA_TNIL)
#define lua_isboolean(L, n) (lua_type(L, (n)) == LUA_TBOOLEAN)
#define lua_isthread(L, n) (lua_type(L, (n)) == LUA_TTHREAD)
#define lua_isnone(L, n) (lua_type(L, (n)) == LUA_TNONE)
#define lua_isnoneornil(L, n) (lua_type(L, (n)) <= 0)
#define lua_pushliteral(L, s) lua_pushlstring(L, "" s, (sizeof(s) / sizeof(char)) - 1)
#define lua_pushglobaltable(L) lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS)
#define lua_tostring(L, i) lua_tolstring(L, (i), nullptr)

// Debug interface: hooks.
#define LUA_HOOKCALL 0
#define LUA_HOOKRET 1
#define LUA_HOOKLINE 2
#define LUA_HOOKCOUNT 3
#define LUA_HOOKTAILCALL 4

#define LUA_MASKCALL (1 << LUA_HOOKCALL)
#define LUA_MASKRET (1 << LUA_HOOKRET)
#define LUA_MASKLINE (1 << LUA_HOOKLINE)
#define LUA_MASKCOUNT (1 << LUA_HOOKCOUNT)

constexpr int LUA_IDSIZE = 60;

struct CallInfo;
struct lua_Debug {
    int event;
    const char* name;
    const char* namewhat;
    const char* what;
    const char* source;
    int currentline;
    int linedefined;
    int lastlinedefined;
    unsigned char nups;
    unsigned char nparams;
    char isvararg;
    char istailcall;
    char short_src[LUA_IDSIZE];
    CallInfo* i_ci;  // active function
};

using lua_Hook = void (*)(lua_State* L, lua_Debug* ar);

int lua_getstack(lua_State* L, int level, lua_Debug* ar);
int lua_getinfo(lua_State* L, const char* what, lua_Debug* ar);
const char* lua_getlocal(lua_State* L, const lua_Debug* ar, int n);
const char* lua_setlocal(lua_State* L, const lua_Debug* ar, int n);
const char* lua_getupvalue(lua_State* L, int funcindex, int n);
const char* lua_setupvalue(lua_State* L, int funcindex, int n);
int lua_sethook(lua_State* L, lua_Hook func, int mask, int count);
lua_Hook lua_gethook(lua_State* L);
int lua_gethookmask(lua_State* L);
int lua_gethookcount(lua_State* L);

// Console extensions used by the program runner. The count-hook countdown of
// each thread doubles as its remaining CPU budget.
void lua_spend_cpu(lua_State* L, int n);
int lua_get_cpu(lua_State* L);
void lua_vexel_soft_yield(lua_State* L);
void lua_reset_call_state_vexel(lua_State* L);
// Whether a yield from the count hook would suspend L and every thread
// resuming it, up to the host's own lua_resume: no C call that cannot yield
// on any of their stacks. A hook yield inside a coroutine suspends that
// whole chain (coresume yields in turn and carries on the coroutine when
// resumed), so the host's resume returns.
int lua_vexel_canyieldall(lua_State* L);
// Names what keeps L (or a thread resuming it) from yielding: "__gc" inside
// a finalizer, else the C function that made the call that cannot yield
// ("pairs"), else "a c function". Writes at most size-1 characters.
void lua_vexel_blocker(lua_State* L, char* out, size_t size);
// Raises the value on top of the stack as an error that stops the whole
// program: until lua_vexel_clear_stop, coresume passes every error on to
// its own caller instead of returning false, and no finalizer runs (one
// that is running ends with the error). So the error reaches the host's
// lua_resume, or the host's collection step that ran the finalizer.
[[noreturn]] void lua_vexel_stop(lua_State* L);
int lua_vexel_stopping(lua_State* L);
void lua_vexel_clear_stop(lua_State* L);
// Parser messages that name a line ("function at line %d", "... (to close
// %s at line %d)", label and goto messages) show map(line) instead, where
// line is a line of the compiled text; a negative result shows as -1. Null
// restores the plain line. The runner maps to the line within a code tab.
void lua_vexel_set_linemap(lua_State* L, int (*map)(int line));

// The text form of a 16.16 number as scripts see it (tostr, concatenation,
// print): writes at most 31 characters and a NUL into buff (32 bytes) and
// returns the length.
int vexel_fixed_to_string(char* buff, int32_t value);

// A pointer the host keeps with the state (its threads share it): what its
// C functions need to find the host's own record. Null until set. Every
// thread holds a copy just before its own record (LX in lua_state.h), read
// here with one load: a builtin call asked for it twice (the binding and
// the wrapper that raises machine faults), each time through a call into
// the global state, 2.9% of bench_frame's host instructions.
void lua_vexel_set_host(lua_State* L, void* host);
inline void* lua_vexel_host(lua_State* L) { return reinterpret_cast<void* const*>(L)[-1]; }
// Number functions: builtins that read only numbers and give at most one.
// Such a function gets the count of arguments given and the first four as
// lua_tonumberx reads them (0 when missing or not a number), and returns
// how many results it gives (0 or 1) and the value. It must not use L's
// stack, allocate, yield or raise an error; it may charge the budget
// (lua_spend_cpu, through the charge callback). The instruction loop calls
// it in place, without a call frame and without the C function protocol's
// stack traffic; every other caller (a hook that watches calls, a
// metamethod, a tail call, lua_call from the host) reaches it as an
// ordinary C closure that reads the same arguments and pushes the same
// result. Both ways charge the same: a call costs its CALL instruction.
constexpr int LUA_NUMBERFUNCTION_ARGS = 4;
struct lua_NumberResult {
    int count;  // 0 or 1
    lua_Number value;
};
using lua_NumberFunction = lua_NumberResult (*)(lua_State* L, int given, lua_Number a, lua_Number b, lua_Number c,
                                                lua_Number d);
void lua_pushnumberfunction(lua_State* L, lua_NumberFunction fn);
// Line of the instruction that raised the last run-time error in L's state
// (0 when the failing function has no line information).
int lua_vexel_runtime_line(lua_State* L);
// Lexer line at the start of the statement being parsed; after a syntax
// error, the line where the failing statement began.
int lua_vexel_last_line(lua_State* L);
// What the square roots of the power operator cost: the interpreter calls
// fn with the cycles (null: nothing is charged).
using lua_ChargeFn = void (*)(lua_State* L, int cycles);
void lua_vexel_set_charge(lua_State* L, lua_ChargeFn fn);
// Called by assert with the message of a failed assertion (the program
// runner shows it); null by default.
using lua_AssertHook = void (*)(lua_State* L, const char* message);
void lua_set_assert_hook(lua_State* L, lua_AssertHook hook);
// Called with the error message of a finalizer (__gc) that failed where no
// protected call can take the error (a collection the host started, or
// lua_close), so that it is not dropped unseen; lua_vexel_runtime_line
// names the failing line. Null by default (the error is dropped).
using lua_GcErrorHook = void (*)(lua_State* L, const char* message);
void lua_set_gc_error_hook(lua_State* L, lua_GcErrorHook hook);
