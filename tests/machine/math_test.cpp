// Trigonometry, random generator and the script's math and bit functions.
#include "machine/math.h"
#include "machine/machine.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

namespace {

// The machine whose generator and CPU counters the script functions use.
vexel_machine* machine() {
    static vexel_test::TestMachine tm;
    return tm.m;
}
vexel_rng_state& rng() { return machine()->rng; }

constexpr int32_t one = 0x10000;
constexpr int32_t fx(double v) { return static_cast<int32_t>(v * 65536.0); }
const long double two_pi = 2 * std::acos(-1.0L);

// Distance between two angles in raw turns, around the circle.
int32_t turn_distance(int32_t a, int32_t b) {
    int32_t d = (a - b) & 0xffff;
    return d > 0x8000 ? 0x10000 - d : d;
}

TEST(MathTrig, WorkedExamples) {
    EXPECT_EQ(vexel_fix_sin(fx(0.25)), -one);
    EXPECT_EQ(vexel_fix_cos(0), one);
    EXPECT_EQ(vexel_fix_cos(fx(0.5)), -one);
    EXPECT_EQ(vexel_fix_sin(0), 0);
    EXPECT_EQ(vexel_fix_cos(fx(1.25)), vexel_fix_cos(fx(0.25)));
    EXPECT_EQ(vexel_fix_cos(fx(0.25)), 0);
    EXPECT_EQ(vexel_fix_cos(fx(-0.25)), 0);
    EXPECT_EQ(vexel_fix_sin(fx(0.75)), one);
    EXPECT_EQ(vexel_fix_cos(0x7fffffff), one);  // the fraction 0.99998 rounds to a whole turn
    EXPECT_EQ(vexel_fix_cos(INT32_MIN), one);
    EXPECT_EQ(vexel_math_sin(fx(0.125)), -46341);
    EXPECT_EQ(vexel_math_cos(fx(0.125)), 46341);
}

TEST(MathTrig, FollowsTrueCosineAndSine) {
    // Rounding the angle to 1/16384 turn moves the value by at most
    // 2 pi / 32768 of a unit, about 12.6 raw, plus the table's own rounding.
    std::mt19937 rng(7);
    for (int n = 0; n < 200000; ++n) {
        int32_t x = n < 70000 ? n - 2 : static_cast<int32_t>(rng());
        long double turns = (x & 0xffff) / 65536.0L;
        ASSERT_NEAR(vexel_fix_cos(x), std::cos(two_pi * turns) * 65536, 13.1L) << x;
        ASSERT_NEAR(vexel_fix_sin(x), -std::sin(two_pi * turns) * 65536, 13.1L) << x;
        ASSERT_EQ(vexel_fix_sin(x), vexel_fix_cos(static_cast<int32_t>(static_cast<uint32_t>(x) + 0x4000u)));
    }
}

TEST(MathTrig, ArctangentExamplesAndQuadrants) {
    EXPECT_EQ(vexel_fix_atan2(one, 0), 0);
    EXPECT_EQ(vexel_fix_atan2(0, -one), fx(0.25));
    EXPECT_EQ(vexel_fix_atan2(-one, 0), fx(0.5));
    EXPECT_EQ(vexel_fix_atan2(0, one), fx(0.75));
    EXPECT_EQ(vexel_fix_atan2(0, 0), fx(0.25));
    EXPECT_EQ(vexel_fix_atan2(one, -one), fx(0.125));
    EXPECT_EQ(vexel_fix_atan2(-one, one), fx(0.625));
    EXPECT_EQ(vexel_fix_atan2(one, one), fx(0.875));
    EXPECT_EQ(vexel_math_atan2(-one, -one), fx(0.375));
    EXPECT_EQ(vexel_fix_atan2(0, INT32_MIN), fx(0.25));
    EXPECT_EQ(vexel_fix_atan2(1, INT32_MIN), fx(0.25));   // a slope beyond the range still points up
    EXPECT_EQ(vexel_fix_atan2(-1, INT32_MIN), fx(0.25));
    EXPECT_EQ(vexel_fix_atan2(1, 0x7fffffff), fx(0.75));
    EXPECT_EQ(vexel_fix_atan2(INT32_MIN, 0), fx(0.5));
}

TEST(MathTrig, ArctangentFollowsTrueAngle) {
    std::vector<int32_t> coords = {0, 1, -1, 3, -3, one, -one, fx(0.3), fx(-7.5), fx(100), fx(-100),
                                   fx(32767), INT32_MIN, 0x7fffffff};
    std::mt19937 rng(99);
    for (int i = 0; i < 120; ++i) coords.push_back(static_cast<int32_t>(rng() % 0x2000000) - 0x1000000);
    for (int32_t dx : coords)
        for (int32_t dy : coords) {
            int32_t got = vexel_fix_atan2(dx, dy);
            ASSERT_GE(got, 0);
            ASSERT_LT(got, one);
            if (dx == 0 && dy == 0) continue;
            long double want = std::atan2(-static_cast<long double>(dy), static_cast<long double>(dx)) / two_pi;
            want -= std::floor(want);
            // Table steps of 1/2048 in slope plus the truncated division;
            // raw-unit vectors are coarse, so allow a little more there.
            int32_t limit = (std::abs(static_cast<long long>(dx)) < 64 || std::abs(static_cast<long long>(dy)) < 64) ? 24 : 8;
            ASSERT_LE(turn_distance(got, static_cast<int32_t>(std::lround(want * 65536)) & 0xffff), limit)
                << dx << "," << dy;
        }
}

TEST(MathRandom, GeneratorStepsAndSeeds) {
    rng() = vexel_rng_initial;
    EXPECT_EQ(vexel_rand(rng()), 0xc0132414u);  // rotl(0xdeadbeef, 16) + 0x01234567
    EXPECT_EQ(rng().m_low, 0x01234567u + 0xc0132414u);

    vexel_rng_state before = rng();
    EXPECT_EQ(vexel_random(rng(), 0), 0u);
    EXPECT_EQ(vexel_math_rnd(machine(), 0), 0);
    EXPECT_EQ(rng().m_high, before.m_high);
    EXPECT_EQ(rng().m_low, before.m_low);

    // Seeding makes sequences repeat, different seeds differ, and seed 0 is
    // a valid seed of its own.
    auto run = [](uint32_t seed) {
        vexel_srand(rng(), seed);
        std::vector<uint32_t> out;
        for (int i = 0; i < 16; ++i) out.push_back(vexel_rand(rng()));
        return out;
    };
    EXPECT_EQ(run(42), run(42));
    EXPECT_NE(run(42), run(43));
    EXPECT_EQ(run(0), run(0));
    EXPECT_NE(run(0), run(1));
    EXPECT_NE(run(0)[0], 0u);

    // The script's srand seeds with the raw bits, bit 31 cleared.
    auto next_after = [](auto seed_fn) {
        seed_fn();
        std::vector<uint32_t> out;
        for (int i = 0; i < 4; ++i) out.push_back(vexel_rand(rng()));
        return out;
    };
    EXPECT_EQ(next_after([] { vexel_math_srand(machine(), fx(1)); }), next_after([] { vexel_srand(rng(), 0x10000); }));
    EXPECT_EQ(next_after([] { vexel_math_srand(machine(), fx(-1)); }), next_after([] { vexel_srand(rng(), 0x7fff0000); }));
    EXPECT_EQ(next_after([] { vexel_math_srand(machine(), INT32_MIN); }), next_after([] { vexel_srand(rng(), 0); }));
}

TEST(MathRandom, RndStaysBelowItsLimit) {
    vexel_srand(rng(), 1234);
    std::set<int32_t> seen;
    for (int i = 0; i < 5000; ++i) {
        int32_t r = vexel_math_rnd(machine(), vexel_math_rnd_default);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, one);
        seen.insert(r >> 12);
    }
    EXPECT_EQ(seen.size(), 16u);  // spread over the whole interval
    for (int32_t limit : {1, 2, 3, fx(10), fx(32767), 0x7fffffff}) {
        for (int i = 0; i < 2000; ++i) {
            int32_t r = vexel_math_rnd(machine(), limit);
            ASSERT_GE(r, 0);
            ASSERT_LT(r, limit);
        }
    }
    // A negative limit reads as a large unsigned one.
    for (int i = 0; i < 2000; ++i)
        ASSERT_LT(static_cast<uint32_t>(vexel_math_rnd(machine(), -one)), static_cast<uint32_t>(-one));
}

TEST(MathScript, FloorAbsSignMinMax) {
    EXPECT_EQ(vexel_math_flr(fx(-0.5)), fx(-1));
    EXPECT_EQ(vexel_math_flr(fx(3.99)), fx(3));
    EXPECT_EQ(vexel_math_flr(INT32_MIN), INT32_MIN);
    EXPECT_EQ(vexel_math_flr(0x7fffffff), fx(32767));
    EXPECT_EQ(vexel_math_flr(-1), -one);
    EXPECT_EQ(vexel_math_abs(fx(-2.5)), fx(2.5));
    EXPECT_EQ(vexel_math_abs(-1), 1);
    EXPECT_EQ(vexel_math_abs(INT32_MIN), INT32_MIN);
    EXPECT_EQ(vexel_math_abs(0x7fffffff), 0x7fffffff);
    EXPECT_EQ(vexel_math_sgn(0), one);
    EXPECT_EQ(vexel_math_sgn(-1), -one);
    EXPECT_EQ(vexel_math_sgn(INT32_MIN), -one);
    EXPECT_EQ(vexel_math_min(fx(5), 0), 0);  // min(5) with the missing argument
    EXPECT_EQ(vexel_math_max(fx(-5), 0), 0);
    EXPECT_EQ(vexel_math_min(INT32_MIN, 0x7fffffff), INT32_MIN);
    EXPECT_EQ(vexel_math_max(INT32_MIN, 0x7fffffff), 0x7fffffff);
}

TEST(MathScript, MidIsTheMedian) {
    EXPECT_EQ(vexel_math_mid(fx(3), fx(1), fx(2)), fx(2));
    std::vector<int32_t> v = {INT32_MIN, -one, -1, 0, 1, one, 0x7fffffff};
    for (int32_t a : v)
        for (int32_t b : v)
            for (int32_t c : v) {
                int32_t s[3] = {a, b, c};
                std::sort(s, s + 3);
                ASSERT_EQ(vexel_math_mid(a, b, c), s[1]) << a << " " << b << " " << c;
            }
}

TEST(MathScript, BitOperations) {
    EXPECT_EQ(vexel_math_band(0x0ff0ff00, 0x00ffff0f), 0x00f0ff00);
    EXPECT_EQ(vexel_math_bor(fx(1), fx(0.5)), fx(1.5));
    EXPECT_EQ(vexel_math_bxor(-1, one), ~one);
    EXPECT_EQ(vexel_math_bnot(0), -1);
    EXPECT_EQ(vexel_math_shl(fx(3), fx(1.75)), fx(6));      // the count's fraction is dropped
    EXPECT_EQ(vexel_math_shr(fx(3), INT32_MIN), fx(3));     // -32768 has low bits 0
    // Against shifts done on 64-bit values: negative counts take their low
    // five bits, counts past 31 clear everything.
    for (int32_t x : {0, 1, -1, 0x12345678, INT32_MIN, 0x7fffffff, fx(-3.5)})
        for (int k = -40; k <= 40; ++k) {
            int32_t n = k * one + (k & 1) * 0x8000;
            int e = k & 31;
            int64_t left = k > 31 ? 0 : static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(x)) << e & 0xffffffffu);
            int64_t right = k > 31 ? 0 : static_cast<int64_t>(std::floor(static_cast<long double>(x) / std::ldexp(1.0L, e)));
            ASSERT_EQ(static_cast<uint32_t>(vexel_math_shl(x, n)), static_cast<uint32_t>(left)) << x << " << " << k;
            ASSERT_EQ(vexel_math_shr(x, n), right) << x << " >> " << k;
        }
}

TEST(MathScript, ChargesForSqrtAndRnd) {
    auto charged = [](auto&& call) {
        machine()->cpu.api_cycles_since_flip = 0;
        call();
        return machine()->cpu.api_cycles_since_flip;
    };
    EXPECT_EQ(charged([] { EXPECT_EQ(vexel_math_sqrt(machine(), fx(4)), fx(2)); }), 24);
    EXPECT_EQ(charged([] { vexel_math_rnd(machine(), one); }), 4);
    EXPECT_EQ(charged([] {
                  vexel_math_sin(1);
                  vexel_math_atan2(1, 2);
                  vexel_math_mid(1, 2, 3);
              }),
              0);
}

}  // namespace
