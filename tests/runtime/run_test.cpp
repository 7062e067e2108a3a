#include <gtest/gtest.h>

#include <cstring>

#include "machine/cpu.h"
#include "machine/machine.h"
#include "runtime/run.h"
#include "test_support.h"

TEST(Runner, OnlineIdIsTheNameRunBeforeTheExtension) {
    char id[64];
    run_online_id_of("/home/me/.brindle/vexel/bbs/carts/space_dog-3.qz.png", id, sizeof id);
    EXPECT_STREQ(id, "space_dog-3");
    run_online_id_of("bbs/Caps.qz", id, sizeof id);
    EXPECT_STREQ(id, "aps");  // the run stops at a character outside the set
    run_online_id_of("bbs/odd!.qz", id, sizeof id);
    EXPECT_STREQ(id, "");
    run_online_id_of("no extension", id, sizeof id);
    EXPECT_STREQ(id, "");
}

TEST(Runner, NthLineAndEndOfText) {
    char line[16];
    run_nth_line("a\nbb\nccc", 1, line, sizeof line);
    EXPECT_STREQ(line, "bb");
    run_nth_line("a\nbb\nccc", 2, line, sizeof line);
    EXPECT_STREQ(line, "ccc");
    run_nth_line("a\nbb\nccc", 3, line, sizeof line);
    EXPECT_STREQ(line, "<eof>");
    run_nth_line("a very long line indeed", 0, line, sizeof line);
    EXPECT_EQ(std::strlen(line), sizeof line - 1);
}

TEST(Runner, ProgramLinesMapToTabsCountingTheSeparatorLine) {
    char t0[] = "one\ntwo", t1[] = "x", empty[] = "";
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    char* saved[vexel_code_tabs];
    std::memcpy(saved, M->code_tabs, sizeof saved);
    for (char*& t : M->code_tabs) t = empty;
    M->code_tabs[0] = t0;
    M->code_tabs[1] = t1;
    int tab = -1;
    EXPECT_EQ(run_find_tab_line(M, 1, &tab), 1);
    EXPECT_EQ(tab, 0);
    EXPECT_EQ(run_find_tab_line(M, 3, &tab), 0);  // lines 0-1 are tab 0, line 2 the separator
    EXPECT_EQ(tab, 1);
    EXPECT_EQ(run_find_tab_line(M, 1000, &tab), -1);
    EXPECT_EQ(tab, 0);
    // Every tab counts, up to the sixteenth: tabs 2-14 are one line each.
    M->code_tabs[15] = t0;
    EXPECT_EQ(run_find_tab_line(M, 3 + 2 + 13 * 2 + 1, &tab), 1);
    EXPECT_EQ(tab, 15);
    std::memcpy(M->code_tabs, saved, sizeof saved);
}

TEST(Runner, RunChainKeepsLabelFileAndParameters) {
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    run_chain_reset(M);
    EXPECT_EQ(run_chain_label(M), nullptr);
    std::strcpy(M->runner->params, "level 2");
    run_chain_push(M, "menu.qz", "back to menu", 0);
    run_chain_push(M, "dl.qz", "back", 1);
    run_chain_cancel_pending(M);  // a pending entry whose download failed goes
    EXPECT_STREQ(run_chain_label(M), "back to menu");
    EXPECT_STREQ(run_chain_file(M), "menu.qz");
    EXPECT_STREQ(run_chain_params(M), "level 2");
    run_chain_cancel_pending(M);  // a confirmed one stays
    EXPECT_STREQ(run_chain_file(M), "menu.qz");
    run_chain_pop(M);
    EXPECT_EQ(run_chain_file(M), nullptr);
}

TEST(Runner, FrameCapacityIsAFractionOfTheBaseRateBudget) {
    vexel_test::TestMachine tm;
    tm.m->runner->base_fps = 30;
    EXPECT_EQ(run_frame_capacity(tm.m, vexel_cycles_per_second / 30), 65536);
    tm.m->runner->base_fps = 60;
    EXPECT_EQ(run_frame_capacity(tm.m, vexel_cycles_per_second / 60), 65536);
}
