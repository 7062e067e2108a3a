// Opcode names (as listings print them) and argument modes.
#include "lua/lua_opcodes.h"

const char* const luaP_opnames[NUM_OPCODES + 1] = {
    "MOVE",     "LOADK",    "LOADKX",  "LOADBOOL", "LOADNIL", "GETUPVAL", "GETTABUP", "GETTABLE",
    "SETTABUP", "SETUPVAL", "SETTABLE", "NEWTABLE", "SELF",   "ADD",      "SUB",      "MUL",
    "DIV",      "MOD",      "POW",     "UNM",      "NOT",     "LEN",      "CONCAT",   "JMP",
    "EQ",       "LT",       "LE",      "TEST",     "TESTSET", "CALL",     "TAILCALL", "RETURN",
    "FORLOOP",  "FORPREP",  "TFORCALL", "TFORLOOP", "SETLIST", "CLOSURE", "VARARG",   "EXTRAARG",
    "IDIV",     "BAND",     "BOR",     "BXOR",     "SHL",     "SHR",      "LSHR",     "ROTL",
    "ROTR",     "BNOT",
    nullptr};

const lu_byte luaP_baseop[1 << SIZE_OP] = {
    // base opcodes map to themselves
    OP_MOVE, OP_LOADK, OP_LOADKX, OP_LOADBOOL, OP_LOADNIL, OP_GETUPVAL, OP_GETTABUP, OP_GETTABLE,
    OP_SETTABUP, OP_SETUPVAL, OP_SETTABLE, OP_NEWTABLE, OP_SELF, OP_ADD, OP_SUB, OP_MUL,
    OP_DIV, OP_MOD, OP_POW, OP_UNM, OP_NOT, OP_LEN, OP_CONCAT, OP_JMP,
    OP_EQ, OP_LT, OP_LE, OP_TEST, OP_TESTSET, OP_CALL, OP_TAILCALL, OP_RETURN,
    OP_FORLOOP, OP_FORPREP, OP_TFORCALL, OP_TFORLOOP, OP_SETLIST, OP_CLOSURE, OP_VARARG, OP_EXTRAARG,
    OP_IDIV, OP_BAND, OP_BOR, OP_BXOR, OP_SHL, OP_SHR, OP_LSHR, OP_ROTL,
    OP_ROTR, OP_BNOT,
    // the specialised forms, in their enum order
    OP_GETTABUP, OP_GETTABLE, OP_GETTABLE, OP_SETTABLE, OP_SETTABLE, OP_SELF,
    OP_ADD, OP_SUB, OP_MUL, OP_MOD, OP_EQ, OP_LT, OP_LE, OP_ADD,
};
static_assert(NUM_VMOPCODES == 1 << SIZE_OP, "luaP_baseop lists every specialised form in order");

namespace {
constexpr lu_byte opmode(int t, int a, int b, int c, int m) {
    return lu_byte((t << 7) | (a << 6) | (b << 4) | (c << 2) | m);
}
}  // namespace

const lu_byte luaP_opmodes[NUM_OPCODES] = {
    //     T  A  B       C       mode
    opmode(0, 1, OpArgR, OpArgN, iABC),   // MOVE
    opmode(0, 1, OpArgK, OpArgN, iABx),   // LOADK
    opmode(0, 1, OpArgN, OpArgN, iABx),   // LOADKX
    opmode(0, 1, OpArgU, OpArgU, iABC),   // LOADBOOL
    opmode(0, 1, OpArgU, OpArgN, iABC),   // LOADNIL
    opmode(0, 1, OpArgU, OpArgN, iABC),   // GETUPVAL
    opmode(0, 1, OpArgU, OpArgK, iABC),   // GETTABUP
    opmode(0, 1, OpArgR, OpArgK, iABC),   // GETTABLE
    opmode(0, 0, OpArgK, OpArgK, iABC),   // SETTABUP
    opmode(0, 0, OpArgU, OpArgN, iABC),   // SETUPVAL
    opmode(0, 0, OpArgK, OpArgK, iABC),   // SETTABLE
    opmode(0, 1, OpArgU, OpArgU, iABC),   // NEWTABLE
    opmode(0, 1, OpArgR, OpArgK, iABC),   // SELF
    opmode(0, 1, OpArgK, OpArgK, iABC),   // ADD
    opmode(0, 1, OpArgK, OpArgK, iABC),   // SUB
    opmode(0, 1, OpArgK, OpArgK, iABC),   // MUL
    opmode(0, 1, OpArgK, OpArgK, iABC),   // DIV
    opmode(0, 1, OpArgK, OpArgK, iABC),   // MOD
    opmode(0, 1, OpArgK, OpArgK, iABC),   // POW
    opmode(0, 1, OpArgR, OpArgN, iABC),   // UNM
    opmode(0, 1, OpArgR, OpArgN, iABC),   // NOT
    opmode(0, 1, OpArgR, OpArgN, iABC),   // LEN
    opmode(0, 1, OpArgR, OpArgR, iABC),   // CONCAT
    opmode(0, 0, OpArgR, OpArgN, iAsBx),  // JMP
    opmode(1, 0, OpArgK, OpArgK, iABC),   // EQ
    opmode(1, 0, OpArgK, OpArgK, iABC),   // LT
    opmode(1, 0, OpArgK, OpArgK, iABC),   // LE
    opmode(1, 0, OpArgN, OpArgU, iABC),   // TEST
    opmode(1, 1, OpArgR, OpArgU, iABC),   // TESTSET
    opmode(0, 1, OpArgU, OpArgU, iABC),   // CALL
    opmode(0, 1, OpArgU, OpArgU, iABC),   // TAILCALL
    opmode(0, 0, OpArgU, OpArgN, iABC),   // RETURN
    opmode(0, 1, OpArgR, OpArgN, iAsBx),  // FORLOOP
    opmode(0, 1, OpArgR, OpArgN, iAsBx),  // FORPREP
    opmode(0, 0, OpArgN, OpArgU, iABC),   // TFORCALL
    opmode(0, 1, OpArgR, OpArgN, iAsBx),  // TFORLOOP
    opmode(0, 0, OpArgU, OpArgU, iABC),   // SETLIST
    opmode(0, 1, OpArgU, OpArgN, iABx),   // CLOSURE
    opmode(0, 1, OpArgU, OpArgN, iABC),   // VARARG
    opmode(0, 0, OpArgU, OpArgU, iAx),    // EXTRAARG
    opmode(0, 1, OpArgK, OpArgK, iABC),   // IDIV
    opmode(0, 1, OpArgK, OpArgK, iABC),   // BAND
    opmode(0, 1, OpArgK, OpArgK, iABC),   // BOR
    opmode(0, 1, OpArgK, OpArgK, iABC),   // BXOR
    opmode(0, 1, OpArgK, OpArgK, iABC),   // SHL
    opmode(0, 1, OpArgK, OpArgK, iABC),   // SHR
    opmode(0, 1, OpArgK, OpArgK, iABC),   // LSHR
    opmode(0, 1, OpArgK, OpArgK, iABC),   // ROTL
    opmode(0, 1, OpArgK, OpArgK, iABC),   // ROTR
    opmode(0, 1, OpArgR, OpArgN, iABC),   // BNOT
};
