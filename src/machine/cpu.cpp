#include "machine/cpu.h"

#include <algorithm>
#include <climits>

#include "lua/lua.h"
#include "machine/machine.h"

namespace {

// vexel_cpu_add for a charge that is itself 32-bit, as every charge here
// is: the overflow flag instead of a 64-bit sum and clamp. Builtins such as
// flr charge (refund) on every call; this cut the charge by a quarter,
// 0.8% of bench_frame's host instructions. The sum or the end of the range
// is chosen in one expression: the charge then compiles small enough to be
// inlined into vexel_cpu_refund, and flr's refund takes 25 host
// instructions instead of 36, 1.0% of bench_frame's.
inline void add32(int32_t& counter, int32_t cycles) {
    int32_t sum;
    const int32_t end = cycles > 0 ? INT32_MAX : INT32_MIN;
    counter = __builtin_add_overflow(counter, cycles, &sum) ? end : sum;
}

void charge(vexel_machine* m, int32_t cycles, bool api) {
    vexel_cpu& c = m->cpu;
    add32(c.frame_cycles, cycles);
    add32(c.cycles_since_flip, cycles);
    add32(c.unyielded_cycles, cycles);
    if (api) add32(c.api_cycles_since_flip, cycles);
    add32(c.residue, cycles);
    if (c.residue >= vexel_hook_every) {
        int32_t whole = c.residue / vexel_hook_every * vexel_hook_every;
        c.residue -= whole;
        if (m->L) lua_spend_cpu(m->L, whole);
    }
}

}  // namespace

void vexel_cpu_add(int32_t& counter, int64_t cycles) {
    counter = int32_t(std::clamp<int64_t>(int64_t(counter) + cycles, INT32_MIN, INT32_MAX));
}

int32_t vexel_cpu_spend(vexel_machine* m, int32_t cycles) {
    if (cycles < 1) cycles = 1;
    charge(m, cycles, true);
    return cycles;
}

void vexel_cpu_refund(vexel_machine* m, int32_t cycles) { charge(m, cycles, cycles > 0); }

void vexel_cpu_new_frame(vexel_machine* m) {
    m->cpu.frame_cycles = m->cpu.cycles_since_flip = m->cpu.api_cycles_since_flip = 0;
}
