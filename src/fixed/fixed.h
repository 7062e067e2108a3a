// fixed: the machine's 16.16 fixed-point number and its arithmetic.
//
// Every script number is a signed 32-bit value v standing for v / 65536:
// bits 16-31 are the integer part (floor), bits 0-15 the fraction. The
// functions here work on the raw 32-bit values and are bit-exact: results
// are cut to 32 bits (two's complement wrap) unless a function says it
// saturates. Every intermediate that could leave 32 bits is computed in
// 64 bits, so no input, however extreme, overflows a C++ integer.
//
// The leaf of the layers: it knows nothing of the machine. What the square
// root and the power cost a program is reported to the caller, who charges
// it (fixed_sqrt_cycles, fixed_pow's cycles).
#pragma once
#include <cstdint>

using vexel_fixed = int32_t;

constexpr int32_t vexel_fixed_one = 0x10000;
constexpr int32_t vexel_fixed_max = 0x7fffffff;
constexpr int32_t vexel_fixed_min = INT32_MIN;
// What a division by zero gives for a negative dividend: -0x7fffffff, so
// that x / 0 and -x / 0 are exact negatives of each other.
constexpr int32_t vexel_fixed_neg_huge = -0x7fffffff;
constexpr int32_t vexel_sqrt_cycles = 8;  // charged per square root taken


namespace vexel_fixed_detail {
// Two's complement cut to 32 bits (well defined for any int64).
inline int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
}  // namespace vexel_fixed_detail

// a * b: the 64-bit product shifted right by 16 (rounds toward minus
// infinity), cut to 32 bits.
inline int32_t fixed_mul(int32_t a, int32_t b) {
    return vexel_fixed_detail::wrap32((static_cast<int64_t>(a) * b) >> 16);
}

// a / b: (a * 65536) / b truncated toward zero and cut to 32 bits (it wraps,
// it does not saturate). Division by zero gives 0x7fffffff for a >= 0 and
// -0x7fffffff for a < 0.
inline int32_t fixed_div_wrap(int32_t a, int32_t b) {
    if (b == 0) return a >= 0 ? vexel_fixed_max : vexel_fixed_neg_huge;
    return vexel_fixed_detail::wrap32(static_cast<int64_t>(a) * 65536 / b);
}

// a % b: the remainder in [0, |b|); the sign of b is ignored. b = 0 gives a.
inline int32_t fixed_mod(int32_t a, int32_t b) {
    if (b == 0) return a;
    int64_t m = b < 0 ? -static_cast<int64_t>(b) : static_cast<int64_t>(b);
    int64_t wide = a;
    int64_t r = wide >= 0 ? wide % m : (m - (-wide) % m) % m;
    return static_cast<int32_t>(r);  // 0 <= r < m <= 2^31
}

// a ^ b by repeated squaring for the integer part of b and repeated square
// roots for its fraction. Costs 8 cycles per square root taken and 8 at the
// end (b = 0 gives 1.0 at no cost), written to *cycles when given.
int32_t fixed_pow(int32_t a, int32_t b, int32_t* cycles = nullptr);

// As fixed_div_wrap, but a quotient outside 32 bits saturates to 0x7fffffff or
// -0x7fffffff instead of wrapping.
inline int32_t fixed_div(int32_t a, int32_t b) {
    if (b == 0) return a >= 0 ? vexel_fixed_max : vexel_fixed_neg_huge;
    int64_t q = static_cast<int64_t>(a) * 65536 / b;
    if (q > vexel_fixed_max) return vexel_fixed_max;
    if (q < vexel_fixed_neg_huge) return vexel_fixed_neg_huge;
    return static_cast<int32_t>(q);
}

// Square root: a whole-number estimate refined by one Bakhshali step, with
// arguments below 1.0 inverted first and the result inverted back. 0 gives
// 0 and anything above 0x7ff8ffff gives 181.0. Negative arguments give
// values without meaning (sqrt(-1) is raw -2) and never fail.
int32_t fixed_sqrt(int32_t x);
// What fixed_sqrt(x) costs a program: 8 cycles, none for 0 or above 0x7ff8ffff.
int32_t fixed_sqrt_cycles(int32_t x);

// ---- the language's integer division and bit operators ----
// The operators a \ b, a & b, a | b, a ^^ b, ~a, a << n, a >> n, a >>> n,
// a <<> n and a >>< n, folded by the compiler and run by the interpreter.
// Each works on the raw 32 bits, fraction included, and gives bit for bit
// what the machine's functions of the same meaning give (flr(a / b), band,
// bor, bxor, bnot, shl, shr); the logical shift and the rotations count
// their shifts by the same rule.

// flr(a / b): the quotient of fixed_div_wrap (division by zero included)
// rounded down to a whole number.
inline int32_t fixed_idiv(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(fixed_div_wrap(a, b)) & 0xffff0000u);
}
inline int32_t fixed_band(int32_t a, int32_t b) { return a & b; }
inline int32_t fixed_bor(int32_t a, int32_t b) { return a | b; }
inline int32_t fixed_bxor(int32_t a, int32_t b) { return a ^ b; }
inline int32_t fixed_bnot(int32_t a) { return ~a; }

// Shift counts are the whole part of n (a fraction rounds down); a count
// above 31 shifts every bit out and gives 0 (for >> too, as shr does); a
// negative count shifts by its low five bits (-1 shifts by 31).
inline int32_t fixed_shl(int32_t x, int32_t n) {
    const int32_t k = n >> 16;
    if (k > 31) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(x) << (k & 31));
}
// Arithmetic: the sign bit is copied in.
inline int32_t fixed_shr(int32_t x, int32_t n) {
    const int32_t k = n >> 16;
    if (k > 31) return 0;
    return x >> (k & 31);
}
// Logical: zeros are shifted in.
inline int32_t fixed_lshr(int32_t x, int32_t n) {
    const int32_t k = n >> 16;
    if (k > 31) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(x) >> (k & 31));
}
// Rotations by the low five bits of the whole count (any count: 32 is 0,
// -1 is 31).
inline int32_t fixed_rotl(int32_t x, int32_t n) {
    const unsigned k = static_cast<unsigned>(n >> 16) & 31u;
    const uint32_t v = static_cast<uint32_t>(x);
    return k == 0 ? x : static_cast<int32_t>((v << k) | (v >> (32u - k)));
}
inline int32_t fixed_rotr(int32_t x, int32_t n) {
    const unsigned k = static_cast<unsigned>(n >> 16) & 31u;
    const uint32_t v = static_cast<uint32_t>(x);
    return k == 0 ? x : static_cast<int32_t>((v >> k) | (v << (32u - k)));
}
