// The instruction set of the virtual machine: the opcodes, argument layout
// and modes of Lua 5.2, so that the same source compiles to the same
// instructions (the CPU budget charges one cycle per instruction).
//
// An instruction is 32 bits:  B:9 C:9 A:8 OP:6  (iABC)
//                             Bx:18 A:8 OP:6    (iABx)
//                             sBx:18 A:8 OP:6   (iAsBx, Bx - MAXARG_sBx)
//                             Ax:26 OP:6        (iAx)
// In RK operands, a value with BITRK set names constant (value & ~BITRK),
// otherwise a register.
#pragma once

#include "lua/lua_limits.h"

enum OpMode { iABC, iABx, iAsBx, iAx };

constexpr int SIZE_C = 9;
constexpr int SIZE_B = 9;
constexpr int SIZE_Bx = SIZE_C + SIZE_B;
constexpr int SIZE_A = 8;
constexpr int SIZE_Ax = SIZE_C + SIZE_B + SIZE_A;
constexpr int SIZE_OP = 6;

constexpr int POS_OP = 0;
constexpr int POS_A = POS_OP + SIZE_OP;
constexpr int POS_C = POS_A + SIZE_A;
constexpr int POS_B = POS_C + SIZE_C;
constexpr int POS_Bx = POS_C;
constexpr int POS_Ax = POS_A;

constexpr int MAXARG_Bx = (1 << SIZE_Bx) - 1;
constexpr int MAXARG_sBx = MAXARG_Bx >> 1;
constexpr int MAXARG_Ax = (1 << SIZE_Ax) - 1;
constexpr int MAXARG_A = (1 << SIZE_A) - 1;
constexpr int MAXARG_B = (1 << SIZE_B) - 1;
constexpr int MAXARG_C = (1 << SIZE_C) - 1;

constexpr Instruction MASK1(int n, int p) { return (~((~Instruction(0)) << n)) << p; }
constexpr Instruction MASK0(int n, int p) { return ~MASK1(n, p); }

enum OpCode {
    OP_MOVE,      // A B     R(A) := R(B)
    OP_LOADK,     // A Bx    R(A) := Kst(Bx)
    OP_LOADKX,    // A       R(A) := Kst(extra arg)
    OP_LOADBOOL,  // A B C   R(A) := (Bool)B; if (C) pc++
    OP_LOADNIL,   // A B     R(A), ..., R(A+B) := nil
    OP_GETUPVAL,  // A B     R(A) := UpValue[B]
    OP_GETTABUP,  // A B C   R(A) := UpValue[B][RK(C)]
    OP_GETTABLE,  // A B C   R(A) := R(B)[RK(C)]
    OP_SETTABUP,  // A B C   UpValue[A][RK(B)] := RK(C)
    OP_SETUPVAL,  // A B     UpValue[B] := R(A)
    OP_SETTABLE,  // A B C   R(A)[RK(B)] := RK(C)
    OP_NEWTABLE,  // A B C   R(A) := {} (size = B,C)
    OP_SELF,      // A B C   R(A+1) := R(B); R(A) := R(B)[RK(C)]
    OP_ADD,       // A B C   R(A) := RK(B) + RK(C)
    OP_SUB,
    OP_MUL,
    OP_DIV,
    OP_MOD,
    OP_POW,
    OP_UNM,       // A B     R(A) := -R(B)
    OP_NOT,       // A B     R(A) := not R(B)
    OP_LEN,       // A B     R(A) := length of R(B)
    OP_CONCAT,    // A B C   R(A) := R(B).. ... ..R(C)
    OP_JMP,       // A sBx   pc+=sBx; if (A) close all upvalues >= R(A - 1)
    OP_EQ,        // A B C   if ((RK(B) == RK(C)) ~= A) then pc++
    OP_LT,
    OP_LE,
    OP_TEST,      // A C     if not (R(A) <=> C) then pc++
    OP_TESTSET,   // A B C   if (R(B) <=> C) then R(A) := R(B) else pc++
    OP_CALL,      // A B C   R(A), ... ,R(A+C-2) := R(A)(R(A+1), ... ,R(A+B-1))
    OP_TAILCALL,  // A B C   return R(A)(R(A+1), ... ,R(A+B-1))
    OP_RETURN,    // A B     return R(A), ... ,R(A+B-2)
    OP_FORLOOP,   // A sBx   R(A)+=R(A+2); if R(A) <?= R(A+1) then { pc+=sBx; R(A+3)=R(A) }
    OP_FORPREP,   // A sBx   R(A)-=R(A+2); pc+=sBx
    OP_TFORCALL,  // A C     R(A+3), ... ,R(A+2+C) := R(A)(R(A+1), R(A+2))
    OP_TFORLOOP,  // A sBx   if R(A+1) ~= nil then { R(A)=R(A+1); pc += sBx }
    OP_SETLIST,   // A B C   R(A)[(C-1)*FPF+i] := R(A+i), 1 <= i <= B
    OP_CLOSURE,   // A Bx    R(A) := closure(KPROTO[Bx])
    OP_VARARG,    // A B     R(A), R(A+1), ..., R(A+B-2) = vararg
    OP_EXTRAARG,  // Ax      extra (larger) argument for previous opcode
    // The dialect's operators, after Lua 5.2's own so that plain Lua keeps
    // its instruction numbers. Operands are numbers (or strings that convert
    // to them); there are no metamethods.
    OP_IDIV,      // A B C   R(A) := flr(RK(B) / RK(C))
    OP_BAND,      // A B C   R(A) := RK(B) & RK(C)
    OP_BOR,       // A B C   R(A) := RK(B) | RK(C)
    OP_BXOR,      // A B C   R(A) := RK(B) ^^ RK(C)
    OP_SHL,       // A B C   R(A) := RK(B) << RK(C)
    OP_SHR,       // A B C   R(A) := RK(B) >> RK(C)   (arithmetic)
    OP_LSHR,      // A B C   R(A) := RK(B) >>> RK(C)  (logical)
    OP_ROTL,      // A B C   R(A) := RK(B) <<> RK(C)
    OP_ROTR,      // A B C   R(A) := RK(B) >>< RK(C)
    OP_BNOT,      // A B     R(A) := ~R(B)

    // Specialised forms of hot instructions whose operand kinds the code
    // generator knows when it finishes a function (luaK_specialize): the
    // loop then skips the constant-or-register test and the type test on
    // the constant. Each one is an instruction of its base opcode in every
    // other respect: GET_OPCODE reports the base opcode, so listings, debug
    // information and the instruction count never see these, and the
    // operand fields are exactly the base instruction's.
    OP_GETTABUPK = int(OP_BNOT) + 1,  // GETTABUP, C a short-string constant
    OP_GETTABLEK,  // GETTABLE, C a short-string constant
    OP_GETTABLER,  // GETTABLE, C a register
    OP_SETTABLEK,  // SETTABLE, B a short-string constant
    OP_SETTABLER,  // SETTABLE, B a register
    OP_SELFK,      // SELF, C a short-string constant
    OP_ADDK,       // ADD, B a register and C a number constant
    OP_SUBK,       // SUB, likewise
    OP_MULK,       // MUL, likewise
    OP_MODK,       // MOD, B a register and C a number constant above zero
    OP_EQK,        // EQ, B a register and C a constant (never a metamethod)
    OP_LTK,        // LT, B a register and C a number constant
    OP_LEK,        // LE, likewise
    OP_ADDRR       // ADD, B and C registers
};
// Base opcodes (what the code generator emits and listings show).
constexpr int NUM_OPCODES = int(OP_BNOT) + 1;
// Base and specialised opcodes together (what the loop dispatches on).
constexpr int NUM_VMOPCODES = int(OP_ADDRR) + 1;
static_assert(NUM_VMOPCODES <= (1 << SIZE_OP), "opcodes must fit the opcode field");

// The base opcode of each opcode field value (itself for base opcodes).
extern const lu_byte luaP_baseop[1 << SIZE_OP];
inline OpCode GET_OPCODE(Instruction i) { return OpCode(luaP_baseop[(i >> POS_OP) & MASK1(SIZE_OP, 0)]); }
// The opcode field as it is, specialised forms included: for the loop.
inline OpCode GET_VMOP(Instruction i) { return OpCode((i >> POS_OP) & MASK1(SIZE_OP, 0)); }
inline void SET_OPCODE(Instruction& i, int o) {
    i = (i & MASK0(SIZE_OP, POS_OP)) | ((Instruction(o) << POS_OP) & MASK1(SIZE_OP, POS_OP));
}
inline int getarg(Instruction i, int pos, int size) { return int((i >> pos) & MASK1(size, 0)); }
inline void setarg(Instruction& i, int v, int pos, int size) {
    i = (i & MASK0(size, pos)) | ((Instruction(v) << pos) & MASK1(size, pos));
}
inline int GETARG_A(Instruction i) { return getarg(i, POS_A, SIZE_A); }
inline int GETARG_B(Instruction i) { return getarg(i, POS_B, SIZE_B); }
inline int GETARG_C(Instruction i) { return getarg(i, POS_C, SIZE_C); }
inline int GETARG_Bx(Instruction i) { return getarg(i, POS_Bx, SIZE_Bx); }
inline int GETARG_Ax(Instruction i) { return getarg(i, POS_Ax, SIZE_Ax); }
inline int GETARG_sBx(Instruction i) { return GETARG_Bx(i) - MAXARG_sBx; }
inline void SETARG_A(Instruction& i, int v) { setarg(i, v, POS_A, SIZE_A); }
inline void SETARG_B(Instruction& i, int v) { setarg(i, v, POS_B, SIZE_B); }
inline void SETARG_C(Instruction& i, int v) { setarg(i, v, POS_C, SIZE_C); }
inline void SETARG_Bx(Instruction& i, int v) { setarg(i, v, POS_Bx, SIZE_Bx); }
inline void SETARG_Ax(Instruction& i, int v) { setarg(i, v, POS_Ax, SIZE_Ax); }
inline void SETARG_sBx(Instruction& i, int v) { SETARG_Bx(i, v + MAXARG_sBx); }

constexpr Instruction CREATE_ABC(int o, int a, int b, int c) {
    return (Instruction(o) << POS_OP) | (Instruction(a) << POS_A) | (Instruction(b) << POS_B) |
           (Instruction(c) << POS_C);
}
constexpr Instruction CREATE_ABx(int o, int a, int bc) {
    return (Instruction(o) << POS_OP) | (Instruction(a) << POS_A) | (Instruction(bc) << POS_Bx);
}
constexpr Instruction CREATE_Ax(int o, int a) {
    return (Instruction(o) << POS_OP) | (Instruction(a) << POS_Ax);
}

// Constant / register operands.
constexpr int BITRK = 1 << (SIZE_B - 1);
constexpr bool ISK(int x) { return (x & BITRK) != 0; }
constexpr int INDEXK(int r) { return r & ~BITRK; }
constexpr int MAXINDEXRK = BITRK - 1;
constexpr int RKASK(int x) { return x | BITRK; }

// Register that marks "no register" in some instructions.
constexpr int NO_REG = MAXARG_A;

// Argument modes, per opcode:
//   bits 0-1: op mode; bits 2-3: C mode; bits 4-5: B mode;
//   bit 6: instruction sets register A; bit 7: instruction is a test
//   (the next instruction must be a jump).
enum OpArgMask { OpArgN, OpArgU, OpArgR, OpArgK };
extern const lu_byte luaP_opmodes[NUM_OPCODES];
inline OpMode getOpMode(int m) { return OpMode(luaP_opmodes[m] & 3); }
inline OpArgMask getBMode(int m) { return OpArgMask((luaP_opmodes[m] >> 4) & 3); }
inline OpArgMask getCMode(int m) { return OpArgMask((luaP_opmodes[m] >> 2) & 3); }
inline bool testAMode(int m) { return (luaP_opmodes[m] & (1 << 6)) != 0; }
inline bool testTMode(int m) { return (luaP_opmodes[m] & (1 << 7)) != 0; }

extern const char* const luaP_opnames[NUM_OPCODES + 1];
