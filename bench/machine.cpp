// Speed of the machine's hottest operations: the fixed-point primitives and
// single-byte memory access. Prints millions of operations per second.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "cart/cart.h"
#include "fixed/fixed.h"
#include "machine/math.h"
#include "machine/mem.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "runtime/machine_life.h"

namespace {

constexpr int value_count = 4096;  // a power of two, indexed with a mask
constexpr int rounds = 4000;       // passes over the values per measurement

volatile int64_t sink;

std::vector<int32_t> values(uint32_t seed, uint32_t mask, int32_t bias) {
    std::mt19937 rng(seed);
    std::vector<int32_t> v(value_count);
    for (auto& x : v) x = static_cast<int32_t>(rng() & mask) + bias;
    return v;
}

template <typename F>
void measure(const char* name, F&& op) {
    int64_t acc = 0;
    auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r)
        for (int i = 0; i < value_count; ++i) acc += op(i, r);
    auto end = std::chrono::steady_clock::now();
    sink = acc;
    double seconds = std::chrono::duration<double>(end - start).count();
    double ops = double(rounds) * value_count;
    std::printf("%-22s %9.1f Mops/s\n", name, ops / seconds / 1e6);
}

}  // namespace

int main() {
    auto a = values(1, 0xffffffffu, 0);
    auto b = values(2, 0xffffffffu, 0);
    auto small = values(3, 0x3ffffff, 1);       // positive, below 1024.0
    auto exps = values(4, 0x3ffff, 0);          // exponents below 4.0
    auto addrs = values(5, 0x7fff, 0);
    auto ram_addrs = values(6, 0x0fff, 0x4300);
    auto screen_addrs = values(7, 0x1fff, 0x6000);
    const int m = value_count - 1;
    static vexel_host host;
    vexel_machine* machine = vexel_machine_create(&host);

    std::printf("fixed-point primitives\n");
    measure("fixed_mul", [&](int i, int r) { return fixed_mul(a[i], b[(i + r) & m]); });
    measure("fixed_div_wrap", [&](int i, int r) { return fixed_div_wrap(a[i], b[(i + r) & m]); });
    measure("fixed_div", [&](int i, int r) { return fixed_div(a[i], b[(i + r) & m]); });
    measure("fixed_mod", [&](int i, int r) { return fixed_mod(a[i], b[(i + r) & m]); });
    measure("fixed_pow", [&](int i, int r) { return fixed_pow(small[i] & 0x7ffff, exps[(i + r) & m]); });
    measure("fixed_sqrt", [&](int i, int r) { return fixed_sqrt(small[(i + r) & m]); });
    measure("vexel_fix_sin", [&](int i, int r) { return vexel_fix_sin(a[(i + r) & m]); });
    measure("vexel_fix_cos", [&](int i, int r) { return vexel_fix_cos(a[(i + r) & m]); });
    measure("vexel_fix_atan2", [&](int i, int r) { return vexel_fix_atan2(a[i] >> 8, b[(i + r) & m] >> 8); });
    measure("vexel_math_rnd", [&](int i, int) { return vexel_math_rnd(machine, small[i]); });
    measure("vexel_math_mid", [&](int i, int r) { return vexel_math_mid(a[i], b[(i + r) & m], a[(i + 7) & m]); });
    measure("vexel_math_shl", [&](int i, int r) { return vexel_math_shl(a[i], b[(i + r) & m] & 0x3f0000); });

    vexel_cart* cart = machine->cart;
    vexel_reset_draw_state(machine);

    std::printf("memory access\n");
    measure("vexel_peek any", [&](int i, int) { return vexel_peek(machine, cart, addrs[i]); });
    measure("vexel_peek ram", [&](int i, int) { return vexel_peek(machine, cart, ram_addrs[i]); });
    measure("vexel_peek screen", [&](int i, int) { return vexel_peek(machine, cart, screen_addrs[i]); });
    measure("vexel_poke any", [&](int i, int r) {
        // Keep out of the persistent data and the clip registers, which do
        // extra work on purpose, to measure the plain decode.
        int32_t addr = addrs[i];
        if (addr >= 0x5e00 && addr < 0x6000) addr -= 0x1000;
        vexel_poke(machine, cart, addr, i + r);
        return 0;
    });
    measure("vexel_poke ram", [&](int i, int r) {
        vexel_poke(machine, cart, ram_addrs[i], i + r);
        return 0;
    });
    measure("vexel_poke screen", [&](int i, int r) {
        vexel_poke(machine, cart, screen_addrs[i], i + r);
        return 0;
    });

    vexel_machine_destroy(machine);
    return 0;
}
