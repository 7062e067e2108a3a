// Limits and basic internal types of the interpreter.
//
// Every numeric limit of the compiler and the virtual machine lives here as a
// named constant, with the values of Lua 5.2.3 so that programs hit the same
// limits with the same messages.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "lua/lua.h"

using lu_int32 = uint32_t;
using lu_mem = size_t;
using l_mem = ptrdiff_t;
using lu_byte = uint8_t;

// Internal checks. The invariants the interpreter's headers state are
// checked where they matter (value tags, collector colours, the stack,
// upvalues, strings, tables) when VEXEL_LUA_CHECKS is defined — the
// sanitizer build defines it, so a collector fault stops where it starts
// rather than where freed memory is read later. Otherwise the checks
// compile to nothing. lua_assert(c) checks c; check_exp(c, e) checks c and
// gives e.
#ifdef VEXEL_LUA_CHECKS
[[noreturn]] void lua_check_failed(const char* condition, const char* file, int line);
#define lua_assert(c) ((c) ? static_cast<void>(0) : lua_check_failed(#c, __FILE__, __LINE__))
#define check_exp(c, e) (lua_assert(c), (e))
#else
#define lua_assert(c) static_cast<void>(0)
#define check_exp(c, e) (e)
#endif

// One virtual machine instruction (see lua_opcodes.h for its layout).
using Instruction = uint32_t;

constexpr size_t MAX_SIZET = ~size_t(0) - 2;
constexpr lu_mem MAX_LUMEM = ~lu_mem(0) - 2;
constexpr l_mem MAX_LMEM = l_mem(MAX_LUMEM >> 1);
constexpr int MAX_INT = INT_MAX - 2;

// Largest string kept interned; longer strings are created afresh.
constexpr int LUAI_MAXSHORTLEN = 40;
// Nesting of C calls and of syntactic constructs.
constexpr int LUAI_MAXCCALLS = 200;
// Upvalues of one Lua function (the B and C fields of some instructions).
constexpr int MAXUPVAL = 255;
// Local variables of one function.
constexpr int MAXVARS = 200;
// Registers of one function (limited by the 8-bit A field).
constexpr int MAXREGS = 250;
// Minimum size of the string table.
constexpr int MINSTRTABSIZE = 32;
// Minimum size of a lexer token buffer.
constexpr int LUA_MINBUFFER = 32;
// Stack slots given to a fresh thread and kept spare above the top.
constexpr int BASIC_STACK_SIZE = 2 * LUA_MINSTACK;
constexpr int EXTRA_STACK = 5;
// Error-handler nesting beyond which an error in the handler is given up.
constexpr int LUAI_MAXCCALLS_ERR = LUAI_MAXCCALLS + (LUAI_MAXCCALLS >> 3);
// Items flushed by one SETLIST.
constexpr int LFIELDS_PER_FLUSH = 50;
// Largest table hash part (as a power of two).
constexpr int MAXBITS = 30;
// Bytes of a buffer for converting a number to text (31 chars + NUL).
constexpr int LUAI_MAXNUMBER2STR = 32;
