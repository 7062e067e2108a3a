#include "machine/math.h"

#include "machine/cpu.h"
#include "machine/machine.h"

#include <array>
#include <cmath>

namespace {

constexpr long double two_pi = 6.283185307179586476925286766559L;
constexpr int32_t quarter_turn = 0x4000;
constexpr int32_t half_turn = 0x8000;

std::array<int32_t, vexel_cos_steps + 1> make_cos_table() {
    std::array<int32_t, vexel_cos_steps + 1> t{};
    for (int i = 0; i <= vexel_cos_steps; ++i)
        t[i] = static_cast<int32_t>(std::lround(std::cos(two_pi * i / 16384.0L) * 65536.0L));
    return t;
}

std::array<int32_t, vexel_atan_steps + 1> make_atan_table() {
    std::array<int32_t, vexel_atan_steps + 1> t{};
    for (int i = 0; i <= vexel_atan_steps; ++i)
        t[i] = static_cast<int32_t>(std::lround(std::atan(static_cast<long double>(i) / vexel_atan_steps) / two_pi * 65536.0L));
    return t;
}

// The tables are built on first use rather than during static
// initialisation: 6,000 long double evaluations were a third of the start-up
// time of a program that never calls the trigonometry (vexel-lua), and the
// functions are now safe to call from another static initialiser.
const std::array<int32_t, vexel_cos_steps + 1>& cos_table() {
    static const std::array<int32_t, vexel_cos_steps + 1> t = make_cos_table();
    return t;
}

const std::array<int32_t, vexel_atan_steps + 1>& atan_table() {
    static const std::array<int32_t, vexel_atan_steps + 1> t = make_atan_table();
    return t;
}

uint32_t rotl16(uint32_t v) { return (v << 16) | (v >> 16); }

}  // namespace


int32_t vexel_fix_cos(int32_t x) {
    // The fraction of a turn rounded to 1/16384 turn.
    int32_t i = static_cast<int32_t>(((static_cast<uint32_t>(x) + 2u) & 0xffffu) >> 2);
    if (i >= 8192) i = 16384 - i;
    const auto& table = cos_table();
    return i > 4095 ? -table[8192 - i] : table[i];
}

int32_t vexel_fix_sin(int32_t x) { return vexel_fix_cos(static_cast<int32_t>(static_cast<uint32_t>(x) + 0x4000u)); }

int32_t vexel_fix_atan2(int32_t dx, int32_t dy) {
    int32_t r;  // |slope|, 16.16, capped at 0x7fffffff
    int32_t s;  // its sign
    if (dx == 0) {
        if (dy <= 0) return quarter_turn;
        r = 0x7fffffff;
        s = -1;
    } else {
        int64_t q = -static_cast<int64_t>(dy) * 65536 / dx;
        if (q < -0x7fffffff) {
            r = 0x7fffffff;
            s = -1;
        } else if (q > 0x7fffffff) {
            r = 0x7fffffff;
            s = 1;
        } else {
            r = static_cast<int32_t>(q < 0 ? -q : q);
            s = q < 0 ? -1 : 1;
        }
    }
    int32_t angle;
    if (r <= vexel_fixed_one) {
        int32_t j = r >> 5;
        angle = s * atan_table()[j < vexel_atan_steps ? j : vexel_atan_steps];
    } else {
        // Steeper than 45 degrees: a quarter turn less the angle of 1/slope.
        int64_t j = ((INT64_C(1) << 32) / r) >> 5;
        angle = s * (quarter_turn - atan_table()[j < vexel_atan_steps ? j : vexel_atan_steps]);
    }
    if (dx < 0) angle += half_turn;
    return angle & 0xffff;
}

uint32_t vexel_rand(vexel_rng_state& rng) {
    rng.m_high = rotl16(rng.m_high) + rng.m_low;
    rng.m_low += rng.m_high;
    return rng.m_high;
}

uint32_t vexel_random(vexel_rng_state& rng, uint32_t n) {
    if (n == 0) return 0;
    return vexel_rand(rng) % n;
}

void vexel_srand(vexel_rng_state& rng, uint32_t seed) {
    uint32_t h = seed != 0 ? seed ^ 0xbead29bau : 0x60009755u;
    uint32_t l = seed != 0 ? seed : 0xdeadbeefu;
    for (int i = 0; i < 32; ++i) {
        h = rotl16(h) + l;
        l += h;
    }
    rng.m_high = h;
    rng.m_low = l;
}

int32_t vexel_math_mid(int32_t a, int32_t b, int32_t c) {
    if (a < b && a < c) return vexel_math_min(b, c);
    if (a <= b || b >= c) return vexel_math_min(a, b);
    return vexel_math_min(a, c);
}

int32_t vexel_math_sqrt(vexel_machine* m, int32_t x) {
    vexel_cpu_spend(m, vexel_math_sqrt_cycles + fixed_sqrt_cycles(x));
    return fixed_sqrt(x);
}

int32_t vexel_math_rnd(vexel_machine* m, int32_t x) {
    vexel_cpu_spend(m, vexel_math_rnd_cycles);
    return static_cast<int32_t>(vexel_random(m->rng, static_cast<uint32_t>(x)));
}

void vexel_math_srand(vexel_machine* m, int32_t x) { vexel_srand(m->rng, static_cast<uint32_t>(x) & 0x7fffffffu); }

int32_t vexel_math_shl(int32_t x, int32_t n) {
    int32_t k = n >> 16;
    if (k > 31) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(x) << (k & 31));
}

int32_t vexel_math_shr(int32_t x, int32_t n) {
    int32_t k = n >> 16;
    if (k > 31) return 0;
    return x >> (k & 31);
}
