// The code generator: instruction emission, register allocation, jump
// lists, constants and constant folding, with the choices of Lua 5.2.3.
//
// Constant folding uses luaO_arith and luaV_bitvalue, the same arithmetic
// as the virtual machine, and never folds a division, integer division or
// modulo by the constant 0.
#pragma once

#include "lua/lua_lex.h"
#include "lua/lua_object.h"
#include "lua/lua_opcodes.h"
#include "lua/lua_parse.h"

// Marks the end of a patch list; an invalid value both as absolute address
// and as a list link.
constexpr int NO_JUMP = -1;

enum BinOpr {
    OPR_ADD, OPR_SUB, OPR_MUL, OPR_DIV, OPR_MOD, OPR_POW,
    OPR_CONCAT,
    OPR_EQ, OPR_LT, OPR_LE,
    OPR_NE, OPR_GT, OPR_GE,
    OPR_AND, OPR_OR,
    // the dialect's operators: \ & | ^^ << >> >>> <<> >><
    OPR_IDIV, OPR_BAND, OPR_BOR, OPR_BXOR,
    OPR_SHL, OPR_SHR, OPR_LSHR, OPR_ROTL, OPR_ROTR,
    OPR_NOBINOPR
};

// ~ is bnot; @ % $ are peek, peek2 and peek4 (compiled by the parser as
// calls, never given to luaK_prefix).
enum UnOpr { OPR_MINUS, OPR_NOT, OPR_LEN, OPR_BNOT, OPR_PEEK, OPR_PEEK2, OPR_PEEK4, OPR_NOUNOPR };

inline Instruction& getcode(FuncState* fs, expdesc* e) { return fs->f->code[e->u.info]; }

int luaK_codeABx(FuncState* fs, OpCode o, int A, unsigned int Bx);
int luaK_codeABC(FuncState* fs, OpCode o, int A, int B, int C);
inline int luaK_codeAsBx(FuncState* fs, OpCode o, int A, int sBx) { return luaK_codeABx(fs, o, A, unsigned(sBx + MAXARG_sBx)); }
int luaK_codek(FuncState* fs, int reg, int k);
void luaK_fixline(FuncState* fs, int line);
void luaK_nil(FuncState* fs, int from, int n);
void luaK_reserveregs(FuncState* fs, int n);
void luaK_checkstack(FuncState* fs, int n);
int luaK_stringK(FuncState* fs, TString* s);
int luaK_numberK(FuncState* fs, lua_Number r);
void luaK_dischargevars(FuncState* fs, expdesc* e);
int luaK_exp2anyreg(FuncState* fs, expdesc* e);
void luaK_exp2anyregup(FuncState* fs, expdesc* e);
void luaK_exp2nextreg(FuncState* fs, expdesc* e);
void luaK_exp2val(FuncState* fs, expdesc* e);
int luaK_exp2RK(FuncState* fs, expdesc* e);
void luaK_self(FuncState* fs, expdesc* e, expdesc* key);
void luaK_indexed(FuncState* fs, expdesc* t, expdesc* k);
void luaK_goiftrue(FuncState* fs, expdesc* e);
void luaK_goiffalse(FuncState* fs, expdesc* e);
void luaK_storevar(FuncState* fs, expdesc* var, expdesc* e);
void luaK_setreturns(FuncState* fs, expdesc* e, int nresults);
void luaK_setoneret(FuncState* fs, expdesc* e);
inline void luaK_setmultret(FuncState* fs, expdesc* e) { luaK_setreturns(fs, e, LUA_MULTRET); }
int luaK_jump(FuncState* fs);
// Gives the finished function's hot instructions their specialised forms
// (see OP_GETTABUPK in lua_opcodes.h); run once, as the function closes.
void luaK_specialize(Proto* f);
void luaK_ret(FuncState* fs, int first, int nret);
void luaK_patchlist(FuncState* fs, int list, int target);
void luaK_patchtohere(FuncState* fs, int list);
void luaK_patchclose(FuncState* fs, int list, int level);
void luaK_concat(FuncState* fs, int* l1, int l2);
int luaK_getlabel(FuncState* fs);
void luaK_prefix(FuncState* fs, UnOpr op, expdesc* v, int line);
void luaK_infix(FuncState* fs, BinOpr op, expdesc* v);
void luaK_posfix(FuncState* fs, BinOpr op, expdesc* v1, expdesc* v2, int line);
void luaK_setlist(FuncState* fs, int base, int nelems, int tostore);
inline void luaK_jumpto(FuncState* fs, int t) { luaK_patchlist(fs, luaK_jump(fs), t); }

// Constant cache of one function (created by open_func, freed by close_func
// or when the compilation unwinds). Its memory comes from the state's
// allocator as untyped blocks.
KCache* luaK_newcache(lua_State* L);
void luaK_freecache(KCache* h);
