// Fixed-point arithmetic against worked examples and against references
// written independently here (unsigned magnitudes, long double).
#include "fixed/fixed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int32_t one = 0x10000;
constexpr int32_t fx(double v) { return static_cast<int32_t>(v * 65536.0); }

// Raw values that cover signs, the extremes and the rounding boundaries,
// plus a deterministic spread of random ones.
std::vector<int32_t> sample_values() {
    std::vector<int32_t> v = {0, 1, -1, 2, -2, 0x7fff, 0x8000, 0xffff, one, -one, one + 1, -one - 1,
                              0x7fffffff, INT32_MIN, INT32_MIN + 1, 0x7ffffffe, 0x7fff0000, fx(-32767.0),
                              fx(181.0), fx(0.5), fx(-0.5), fx(3.25), fx(-3.25), fx(100.0), fx(-100.0)};
    std::mt19937 rng(12345);
    for (int i = 0; i < 400; ++i) v.push_back(static_cast<int32_t>(rng()));
    for (int i = 0; i < 200; ++i) v.push_back(static_cast<int32_t>(rng() % 0x40000) - 0x20000);
    return v;
}

uint32_t cut(int64_t v) { return static_cast<uint32_t>(static_cast<uint64_t>(v)); }

// floor(a * b / 65536) from the magnitudes, cut to 32 bits.
uint32_t ref_fmul(int32_t a, int32_t b) {
    uint64_t ma = a < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(a)) : static_cast<uint64_t>(a);
    uint64_t mb = b < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(b)) : static_cast<uint64_t>(b);
    uint64_t mag = ma * mb;
    bool neg = (a < 0) != (b < 0) && mag != 0;
    uint64_t q = neg ? (mag + 65535) / 65536 : mag / 65536;  // floor of a negative rounds away from 0
    return static_cast<uint32_t>(neg ? 0 - q : q);
}

// (a * 65536) / b truncated toward zero, from the magnitudes; 64-bit result.
int64_t ref_quotient(int32_t a, int32_t b) {
    uint64_t ma = a < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(a)) : static_cast<uint64_t>(a);
    uint64_t mb = b < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(b)) : static_cast<uint64_t>(b);
    int64_t q = static_cast<int64_t>((ma << 16) / mb);
    return (a < 0) != (b < 0) ? -q : q;
}

TEST(FixedArithmetic, MultiplyMatchesFlooredWideProduct) {
    EXPECT_EQ(fixed_mul(fx(32767), fx(2)), static_cast<int32_t>(0xfffe0000));  // wraps to -2.0
    EXPECT_EQ(fixed_mul(fx(1.5), fx(-2)), fx(-3));
    EXPECT_EQ(fixed_mul(-1, 1), -1);  // -1/65536^2 floors to -1 raw
    EXPECT_EQ(fixed_mul(1, 1), 0);
    auto values = sample_values();
    for (int32_t a : values)
        for (int32_t b : values) {
            ASSERT_EQ(static_cast<uint32_t>(fixed_mul(a, b)), ref_fmul(a, b)) << a << " * " << b;
            // Order does not matter: a product that shifted one operand
            // before multiplying would lose different bits each way round.
            ASSERT_EQ(fixed_mul(a, b), fixed_mul(b, a)) << a << " * " << b;
        }
}

TEST(FixedArithmetic, DivideTruncatesAndWraps) {
    EXPECT_EQ(fixed_div_wrap(one, 0), 0x7fffffff);
    EXPECT_EQ(fixed_div_wrap(-one, 0), -0x7fffffff);
    EXPECT_EQ(fixed_div_wrap(0, 0), 0x7fffffff);
    EXPECT_EQ(fixed_div_wrap(INT32_MIN, 0), -0x7fffffff);
    EXPECT_EQ(fixed_div_wrap(fx(7), fx(2)), fx(3.5));
    EXPECT_EQ(fixed_div_wrap(-1, 2 * one), 0);  // -0.5 raw truncates toward zero
    // 200 / 0.001 is far outside the range and wraps rather than saturating.
    EXPECT_EQ(static_cast<uint32_t>(fixed_div_wrap(fx(200), 66)), cut((int64_t{200} << 32) / 66));
    EXPECT_EQ(fixed_div_wrap(INT32_MIN, -one), INT32_MIN);  // 32768.0 wraps
    auto values = sample_values();
    for (int32_t a : values)
        for (int32_t b : values) {
            if (b == 0) continue;
            ASSERT_EQ(static_cast<uint32_t>(fixed_div_wrap(a, b)), cut(ref_quotient(a, b))) << a << " / " << b;
        }
}

TEST(FixedArithmetic, SaturatingDivideClampsOnlyOutOfRangeQuotients) {
    EXPECT_EQ(fixed_div(one, 0), 0x7fffffff);
    EXPECT_EQ(fixed_div(-one, 0), -0x7fffffff);
    EXPECT_EQ(fixed_div(fx(200), 66), 0x7fffffff);
    EXPECT_EQ(fixed_div(fx(-200), 66), -0x7fffffff);
    EXPECT_EQ(fixed_div(INT32_MIN, one), -0x7fffffff);  // never gives -32768.0
    EXPECT_EQ(fixed_div(fx(1), fx(4)), fx(0.25));
    auto values = sample_values();
    for (int32_t a : values)
        for (int32_t b : values) {
            if (b == 0) continue;
            int64_t q = ref_quotient(a, b);
            int64_t want = q > 0x7fffffff ? 0x7fffffff : q < -0x7fffffff ? -0x7fffffff : q;
            ASSERT_EQ(fixed_div(a, b), want) << a << " / " << b;
        }
}

TEST(FixedArithmetic, ModuloIsNonNegativeAndIgnoresDivisorSign) {
    EXPECT_EQ(fixed_mod(fx(-7), fx(3)), fx(2));
    EXPECT_EQ(fixed_mod(fx(7), fx(-3)), fx(1));
    EXPECT_EQ(fixed_mod(fx(5.5), 0), fx(5.5));
    EXPECT_EQ(fixed_mod(INT32_MIN, 0), INT32_MIN);
    EXPECT_EQ(fixed_mod(INT32_MIN, INT32_MIN), 0);
    EXPECT_EQ(fixed_mod(0x7fffffff, INT32_MIN), 0x7fffffff);
    EXPECT_EQ(fixed_mod(-1, INT32_MIN), 0x7fffffff);
    EXPECT_EQ(fixed_mod(fx(-0.25), fx(1)), fx(0.75));
    auto values = sample_values();
    for (int32_t a : values)
        for (int32_t b : values) {
            if (b == 0) continue;
            int64_t m = std::llabs(static_cast<int64_t>(b));
            int64_t want = static_cast<int64_t>(a) - static_cast<int64_t>(std::floor(static_cast<long double>(a) / m)) * m;
            ASSERT_EQ(fixed_mod(a, b), want) << a << " % " << b;
        }
}

TEST(FixedSquareRoot, WorkedExamples) {
    EXPECT_EQ(fixed_sqrt(fx(2)), 92843);
    EXPECT_EQ(fixed_sqrt(fx(10)), 207243);
    EXPECT_EQ(fixed_sqrt(fx(0.5)), 46260);
    EXPECT_EQ(fixed_sqrt(fx(4)), fx(2));
    EXPECT_EQ(fixed_sqrt(fx(1)), fx(1));
    EXPECT_EQ(fixed_sqrt(0), 0);
    EXPECT_EQ(fixed_sqrt(fx(32767)), fx(181));
    EXPECT_EQ(fixed_sqrt(fx(32761)), fx(181));
    EXPECT_EQ(fixed_sqrt(fx(-1)), -2);
    // The two smallest positive numbers still get small positive roots.
    EXPECT_EQ(fixed_sqrt(1), 256);
    EXPECT_EQ(fixed_sqrt(2), 362);
    EXPECT_EQ(fixed_sqrt(0x7fffffff), fx(181));
}

// Near the true root everywhere (one refinement step from a whole-number
// estimate), and bit for bit what programs have always been given: the
// digest of every result pins the exact bits that the worked examples above
// show a few of. Negative arguments are included (their values are defined).
TEST(FixedSquareRoot, FollowsTheTrueRootAndKeepsItsExactBits) {
    std::vector<int32_t> values = sample_values();
    for (int32_t x = -70000; x <= 70000; ++x) values.push_back(x);
    for (int32_t k = 1; k <= 181; ++k)
        for (int32_t d : {-1, 0, 1}) values.push_back(k * k * one + d);
    uint64_t digest = 14695981039346656037ull;  // FNV-1a over the results
    for (int32_t x : values) {
        const int32_t y = fixed_sqrt(x);
        digest = (digest ^ static_cast<uint32_t>(y)) * 1099511628211ull;
        if (x <= 0 || x > 0x7ff8ffff) continue;
        long double want = std::sqrt(static_cast<long double>(x) / 65536.0L);
        ASSERT_NEAR(y / 65536.0L, want, want * 0.025L + 2.0L / 65536) << x;
    }
    EXPECT_EQ(digest, 0xf21696ad9ca69359ull) << std::hex << digest;
}

TEST(FixedPower, WorkedExamples) {
    EXPECT_EQ(fixed_pow(fx(2), fx(0.5)), 92843);
    EXPECT_EQ(fixed_pow(fx(2), fx(-1)), fx(0.5));
    EXPECT_EQ(fixed_pow(0, 0), one);
    EXPECT_EQ(fixed_pow(fx(3), fx(4)), fx(81));
    EXPECT_EQ(fixed_pow(fx(16), fx(0.75)), fx(8));
    EXPECT_EQ(fixed_pow(fx(16), fx(0.25)), fx(2));
    EXPECT_EQ(fixed_pow(fx(-2), fx(3)), fx(-8));
    EXPECT_EQ(fixed_pow(0, fx(0.5)), 0);
    EXPECT_EQ(fixed_pow(fx(2), fx(16)), 0);  // 65536.0 wraps to 0
    EXPECT_EQ(fixed_pow(fx(0.5), fx(2)), fx(0.25));
    EXPECT_EQ(fixed_pow(0, fx(-1)), 0x7fffffff);  // 1/0 saturates, its square wraps
    EXPECT_EQ(fixed_pow(fx(2), INT32_MIN), one);  // the exponent's negation wraps
}

TEST(FixedPower, IntegerPowersAreExactAndFractionsClose) {
    for (int base = -6; base <= 6; ++base) {
        int64_t p = 1;
        for (int e = 0; e <= 14; ++e) {
            if (p >= -32768 && p <= 32767) {
                ASSERT_EQ(fixed_pow(base * one, e * one), static_cast<int32_t>(p * one)) << base << "^" << e;
            }
            p *= base;
        }
    }
    for (int32_t e = 0; e < 8 * one; e += 0x1234) {
        for (double base : {1.5, 2.0, 3.0, 0.75}) {
            long double want = std::pow(static_cast<long double>(base), e / 65536.0L);
            long double got = fixed_pow(fx(base), e) / 65536.0L;
            ASSERT_NEAR(got, want, want * 0.04L) << base << "^" << e / 65536.0;
        }
    }
}

// Roots cost cycles only when computed; a power pays per root taken.
TEST(FixedCosts, OnlyForWorkDone) {
    EXPECT_EQ(fixed_sqrt_cycles(0), 0);
    EXPECT_EQ(fixed_sqrt_cycles(0x7fffffff), 0);
    EXPECT_EQ(fixed_sqrt_cycles(fx(2)), 8);
    EXPECT_EQ(fixed_sqrt_cycles(-5), 8);
    const struct {
        int32_t a, b, cycles;
    } powers[] = {
        {fx(5), 0, 0},
        {fx(2), fx(3), 8},
        {fx(2), fx(0.75), 24},  // two roots taken
        {0, fx(0.75), 8},       // a zero base needs no root
    };
    for (const auto& c : powers) {
        int32_t cycles = -1;
        EXPECT_EQ(fixed_pow(c.a, c.b, &cycles), fixed_pow(c.a, c.b));
        EXPECT_EQ(cycles, c.cycles) << c.a << "," << c.b;
    }
}

}  // namespace
