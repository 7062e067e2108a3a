// math: trigonometry, the script's random generator and the functions
// behind the script's math and bit operations, all on raw 16.16 values.
//
// Angles are in turns (1.0 is a full turn) and measured with the screen's y
// axis pointing down, so sin is the negated mathematical sine. Every result
// is computed from the lookup tables and integer steps below, bit-exact and
// free of floating point after the tables are built.
//
// The vexel_math_* functions are what the script sees: a binding only reads
// its arguments as raw values (a missing or non-numeric argument is 0),
// calls the function and pushes the raw result. CPU charges that do not
// depend on the argument count are made here; the refunds for calls with
// exactly the usual number of arguments are the binding's (constants below).
#pragma once
#include <cstdint>

#include "fixed/fixed.h"

struct vexel_machine;

// The trigonometry reads two tables built on first use: cosines,
// round(cos(2 pi i / 16384) * 65536), a quarter turn in vexel_cos_steps
// steps; and arctangents, round(atan(i / 2048) / 2 pi * 65536), the angle in
// turns of slopes 0..1 in vexel_atan_steps steps.
constexpr int vexel_cos_steps = 4096;
constexpr int vexel_atan_steps = 2048;

// Table cosine and sine of an angle in turns; only the fraction matters.
int32_t vexel_fix_cos(int32_t x);
int32_t vexel_fix_sin(int32_t x);  // vexel_fix_cos(x + 0.25)

// The angle in [0, 1) of the vector (dx, dy), with up on screen (dy < 0) at
// a quarter turn. atan2(0, 0) is 0.25.
int32_t vexel_fix_atan2(int32_t dx, int32_t dy);

// The script's pseudo-random generator (one per machine): two 32-bit words,
// reseeded when a program starts and by srand. Separate from the
// framework's generator.
struct vexel_rng_state {
    uint32_t m_high;
    uint32_t m_low;
};
constexpr vexel_rng_state vexel_rng_initial = {0xdeadbeefu, 0x01234567u};

uint32_t vexel_rand(vexel_rng_state& rng);                // one step; returns the new m_high
uint32_t vexel_random(vexel_rng_state& rng, uint32_t n);  // 0 for n = 0 (no step), else one step mod n
void vexel_srand(vexel_rng_state& rng, uint32_t seed);    // unmasked; program start seeds with the clock

// --- script functions ---------------------------------------------------

// Cycles the binding gives back when flr or bnot get exactly 1 argument,
// and when band, bor, bxor, shl or shr get exactly 2.
constexpr int32_t vexel_math_refund_unary = 2;
constexpr int32_t vexel_math_refund_binary = 3;
// Cycles charged by sqrt before the root itself (which charges its own 8).
constexpr int32_t vexel_math_sqrt_cycles = 16;
constexpr int32_t vexel_math_rnd_cycles = 4;
// rnd() with no argument at all draws below 1.0.
constexpr int32_t vexel_math_rnd_default = vexel_fixed_one;

inline int32_t vexel_math_flr(int32_t x) { return static_cast<int32_t>(static_cast<uint32_t>(x) & 0xffff0000u); }
// |x|; -32768.0 has no positive counterpart and stays as it is.
inline int32_t vexel_math_abs(int32_t x) {
    return x < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(x)) : x;
}
inline int32_t vexel_math_sgn(int32_t x) { return x < 0 ? -vexel_fixed_one : vexel_fixed_one; }
inline int32_t vexel_math_min(int32_t a, int32_t b) { return b < a ? b : a; }
inline int32_t vexel_math_max(int32_t a, int32_t b) { return a < b ? b : a; }
int32_t vexel_math_mid(int32_t a, int32_t b, int32_t c);
inline int32_t vexel_math_sin(int32_t x) { return vexel_fix_sin(x); }
inline int32_t vexel_math_cos(int32_t x) { return vexel_fix_cos(x); }
inline int32_t vexel_math_atan2(int32_t dx, int32_t dy) { return vexel_fix_atan2(dx, dy); }
int32_t vexel_math_sqrt(vexel_machine* m, int32_t x);
// A raw value r with 0 <= r < x, x read as unsigned (so a negative x draws
// from the whole unsigned range below it). rnd(0) gives 0 and draws nothing.
int32_t vexel_math_rnd(vexel_machine* m, int32_t x);
// Seeds with the raw bits of x, bit 31 cleared.
void vexel_math_srand(vexel_machine* m, int32_t x);

inline int32_t vexel_math_band(int32_t a, int32_t b) { return a & b; }
inline int32_t vexel_math_bor(int32_t a, int32_t b) { return a | b; }
inline int32_t vexel_math_bxor(int32_t a, int32_t b) { return a ^ b; }
inline int32_t vexel_math_bnot(int32_t x) { return ~x; }
// Shifts by the whole part of n: above 31 the result is 0; a negative
// count shifts by its low five bits (shl(x, -1) shifts by 31).
int32_t vexel_math_shl(int32_t x, int32_t n);
int32_t vexel_math_shr(int32_t x, int32_t n);  // arithmetic
