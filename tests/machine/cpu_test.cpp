#include <gtest/gtest.h>

#include <climits>

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
