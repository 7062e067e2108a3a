#include "machine/cpu.h"

#include <algorithm>
#include <climits>

#include "lua/lua.h"
#include "machine/machine.h"

namespace {

void charge(vexel_machine* m, int64_t cycles, bool api) {
    vexel_cpu& c = m->cpu;
    vexel_cpu_add(c.frame_cycles, cycles);
    vexel_cpu_add(c.cycles_since_flip, cycles);
    vexel_cpu_add(c.unyielded_cycles, cycles);
    if (api) vexel_cpu_add(c.api_cycles_since_flip, cycles);
    vexel_cpu_add(c.residue, cycles);
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
