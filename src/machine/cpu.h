// cpu: the machine's CPU budget.
//
// A program may spend run_cycles_per_second cycles a second: each script
// instruction costs one (counted by the script machine's count hook, which
// the runner installs), and API calls charge their own cost here. Every
// charge goes to the counters below and lowers the script machine's
// countdown, so the hook that ends the frame comes that much sooner.
//
// Invariants: the counters never overflow (they stop at the ends of the
// 32-bit range); cpu_residue stays below vexel_hook_every after a charge.
#pragma once
#include <cstdint>

struct vexel_machine;

constexpr int32_t vexel_cycles_per_second = 4194304;
constexpr int vexel_hook_every = 1024;  // instructions between budget checks
// A program that cannot be suspended where it runs (a finalizer, a
// metamethod called from C) is stopped after this many cycles without a
// yield to the runner: four frames' budget at 30 frames a second.
constexpr int32_t vexel_runaway_cycles = vexel_cycles_per_second / 30 * 4;

struct vexel_cpu {
    int32_t frame_cycles;           // this frame's spending, for the budget
    int32_t cycles_since_flip;      // stat(1)
    int32_t api_cycles_since_flip;  // stat(2)
    int32_t residue;                // charged cycles not yet passed to the countdown
    int32_t unyielded_cycles;       // since the runner last resumed the program
    int32_t budget_exhausted;       // the last frame ended because the budget ran out
};

// Adds `cycles` to a counter, stopping at the ends of the 32-bit range.
void vexel_cpu_add(int32_t& counter, int64_t cycles);
// Charges an API call's cycles; values below 1 charge 1. Returns the charge.
int32_t vexel_cpu_spend(vexel_machine* m, int32_t cycles);
// A signed adjustment; negative values give cycles back.
void vexel_cpu_refund(vexel_machine* m, int32_t cycles);
// vexel_cpu_refund(m, -cycles) for a few cycles (0 <= cycles < 2^31),
// inline: flr, the bit functions, peek and poke give cycles back on almost
// every call. A refund only lowers the counters, so the countdown is left
// alone (the residue stays below vexel_hook_every). flr's refund took 25
// host instructions and a call through vexel_cpu_refund.
inline void vexel_cpu_give_back(vexel_cpu& c, int32_t cycles) {
    auto lower = [cycles](int32_t& counter) {
        int32_t d;
        counter = __builtin_sub_overflow(counter, cycles, &d) ? INT32_MIN : d;
    };
    lower(c.frame_cycles);
    lower(c.cycles_since_flip);
    lower(c.unyielded_cycles);
    lower(c.residue);
}
// Zeroes the frame's counters (flip, a new program).
void vexel_cpu_new_frame(vexel_machine* m);
