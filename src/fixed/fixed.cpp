#include "fixed/fixed.h"

#include <cmath>

using vexel_fixed_detail::wrap32;

namespace {

constexpr int64_t two_pow_32 = INT64_C(1) << 32;
// Above this the square root is pinned at 181.0: 181 * 181 = 32761 is the
// first whole square the number range cannot hold.
constexpr int32_t sqrt_ceiling_arg = 0x7ff8ffff;
constexpr int32_t sqrt_ceiling = 181 * vexel_fixed_one;

// num / den truncated toward zero and cut to 32 bits; a zero divisor gives
// the same huge values as a division by zero in a program, signed by num.
int32_t div_or_huge(int64_t num, int64_t den) {
    if (den == 0) return num >= 0 ? vexel_fixed_max : vexel_fixed_neg_huge;
    return wrap32(num / den);
}

// The largest k with k * k <= v, for 0 <= v <= 0x10000.
int32_t whole_sqrt(int32_t v) {
    int32_t k = static_cast<int32_t>(std::sqrt(static_cast<double>(v)));
    while (k * k > v) --k;
    while ((k + 1) * (k + 1) <= v) ++k;
    return k;
}

}  // namespace

int32_t fixed_sqrt_cycles(int32_t x) { return x == 0 || x > sqrt_ceiling_arg ? 0 : vexel_sqrt_cycles; }

int32_t fixed_sqrt(int32_t x) {
    if (x == 0) return 0;
    if (x > sqrt_ceiling_arg) return sqrt_ceiling;

    // Below 1.0 the whole-number estimate would be 0, so work on 1/x and
    // invert the result at the end. 1/x is kept in 64 bits while it is
    // positive: for the two smallest arguments (raw 1 and 2) it does not fit
    // 32 bits, and cutting it would give a negative root of a positive
    // number.
    bool invert = false;
    int64_t wide = x;
    if (x <= 0xffff) {
        invert = true;
        wide = two_pow_32 / x;
        if (wide < 0) wide = wrap32(wide);
    }
    int32_t s;  // whole-number estimate (a multiple of 1.0)
    int32_t r;  // what is left of x above s * s
    if (wide < 0) {
        // Only reached from a negative argument: no real root, but the
        // refinement below still yields a defined value.
        s = -vexel_fixed_one;
        r = wrap32(wide - vexel_fixed_one);
    } else {
        int32_t k = whole_sqrt(static_cast<int32_t>(wide >> 16));
        s = k * vexel_fixed_one;
        r = wrap32(wide - (static_cast<int64_t>(k) * k << 16));
    }

    // One Bakhshali step: d = r / 2s, t = s + d, y = t - d^2 / 2t.
    // s is a whole number j, so (r * 65536) / (2s) is the same quotient as
    // r / 2j, which a 32-bit division gives faster (2j is even, never -1).
    int32_t j = s / vexel_fixed_one;
    int32_t d = j == 0 ? (r >= 0 ? vexel_fixed_max : vexel_fixed_neg_huge) : r / (2 * j);
    int32_t t = wrap32(static_cast<int64_t>(s) + d);
    int32_t dd = fixed_mul(d, d);
    int32_t c = div_or_huge(static_cast<int64_t>(dd) * 65536, 2 * static_cast<int64_t>(t));
    int32_t y = wrap32(static_cast<int64_t>(t) - c);

    if (invert) y = y == 0 ? vexel_fixed_max : wrap32(two_pow_32 / y);
    return y;
}

int32_t fixed_pow(int32_t a, int32_t b, int32_t* cycles) {
    int32_t spent = 0;
    if (b == 0) {
        if (cycles) *cycles = 0;
        return vexel_fixed_one;
    }
    if (b < 0) {
        a = fixed_div(vexel_fixed_one, a);
        // -(-32768.0) does not exist: the negation wraps back to -32768.0,
        // whose integer part then reads as negative and multiplies nothing
        // in, so a ^ -32768 is 1.0.
        b = wrap32(-static_cast<int64_t>(b));
    }

    int32_t result = vexel_fixed_one;

    // Integer part: square-and-multiply over the bits of the whole number.
    int32_t p = static_cast<int32_t>(static_cast<uint32_t>(b) & 0xffff0000u);
    int32_t base = a;
    while (p > 0xffff) {
        if (p & 0x10000) result = fixed_mul(result, base);
        p >>= 1;
        base = fixed_mul(base, base);
    }

    // Fraction: each set bit, from the most significant down, multiplies in
    // the next square root of a (a^(1/2), a^(1/4), ...).
    int32_t f = b & 0xffff;
    base = a;
    while (f > 0) {
        if (f > 0xffff) {
            result = fixed_mul(result, base);
            f -= 0x10000;
            continue;
        }
        if (base > sqrt_ceiling_arg) base = sqrt_ceiling;
        else if (base != 0) {
            spent += fixed_sqrt_cycles(base);
            base = fixed_sqrt(base);
        }
        f *= 2;
    }

    if (cycles) *cycles = spent + vexel_sqrt_cycles;
    return result;
}
