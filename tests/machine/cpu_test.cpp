#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "lua/lua.h"
#include "machine/cpu.h"
#include "machine/machine.h"
#include "test_support.h"

TEST(Cpu, ChargesGoToEveryCounterAndRefundsOnlyToTheFrame) {
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    vexel_cpu_new_frame(M);
    EXPECT_EQ(vexel_cpu_spend(M, 0), 1);  // every call costs something
    vexel_cpu_spend(M, 100);
    EXPECT_EQ(M->cpu.frame_cycles, 101);
    EXPECT_EQ(M->cpu.cycles_since_flip, 101);
    EXPECT_EQ(M->cpu.api_cycles_since_flip, 101);
    vexel_cpu_refund(M, -3);
    EXPECT_EQ(M->cpu.frame_cycles, 98);
    EXPECT_EQ(M->cpu.api_cycles_since_flip, 101);
    vexel_cpu_new_frame(M);
    EXPECT_EQ(M->cpu.frame_cycles, 0);
    EXPECT_EQ(M->cpu.api_cycles_since_flip, 0);
}

TEST(Cpu, WholeHookPeriodsReachTheScriptMachineAndCountersSaturate) {
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    M->cpu.residue = 0;
    lua_spend_cpu(M->L, -1000000);  // a countdown with room to go down
    const int before = lua_get_cpu(M->L);
    vexel_cpu_spend(M, vexel_hook_every * 3 + 5);
    EXPECT_EQ(M->cpu.residue, 5);
    EXPECT_EQ(before - lua_get_cpu(M->L), vexel_hook_every * 3);  // the countdown falls

    int32_t counter = INT32_MAX - 1;
    vexel_cpu_add(counter, 10);
    EXPECT_EQ(counter, INT32_MAX);
    counter = INT32_MIN + 1;
    vexel_cpu_add(counter, -10);
    EXPECT_EQ(counter, INT32_MIN);
}

// The inline refund of the builtins leaves every counter and the countdown
// as a negative vexel_cpu_refund does, saturation at the bottom included.
TEST(Cpu, GivingBackIsANegativeRefund) {
    vexel_test::TestMachine a, b;
    const int32_t starts[] = {0, 5, -7, 1000, INT32_MIN + 1, INT32_MIN, INT32_MAX};
    for (int32_t start : starts) {
        for (int32_t cycles : {1, 2, 3, 1023}) {
            for (vexel_machine* m : {a.m, b.m}) {
                m->cpu.frame_cycles = start;
                m->cpu.cycles_since_flip = start / 2;
                m->cpu.api_cycles_since_flip = start / 3;
                m->cpu.unyielded_cycles = start;
                m->cpu.residue = start % vexel_hook_every;
            }
            const int countdown = lua_get_cpu(a.m->L);
            vexel_cpu_refund(a.m, -cycles);
            vexel_cpu_give_back(b.m->cpu, cycles);
            EXPECT_EQ(0, std::memcmp(&a.m->cpu, &b.m->cpu, sizeof a.m->cpu)) << start << " " << cycles;
            EXPECT_EQ(lua_get_cpu(a.m->L), countdown);
        }
    }
}
