#include <gtest/gtest.h>

#include <cstring>

#include "machine/pstate.h"
#include "runtime/run.h"

TEST(Runner, OnlineIdIsTheNameRunBeforeTheExtension) {
    char id[64];
    get_lid_from_filename("/home/me/.brindle/vexel/bbs/carts/space_dog-3.qz.png", id, sizeof id);
    EXPECT_STREQ(id, "space_dog-3");
    get_lid_from_filename("bbs/Caps.qz", id, sizeof id);
    EXPECT_STREQ(id, "aps");  // the run stops at a character outside the set
    get_lid_from_filename("bbs/odd!.qz", id, sizeof id);
    EXPECT_STREQ(id, "");
    get_lid_from_filename("no extension", id, sizeof id);
    EXPECT_STREQ(id, "");
}

TEST(Runner, NthLineAndEndOfText) {
    char line[16];
    get_nth_line("a\nbb\nccc", 1, line, sizeof line);
    EXPECT_STREQ(line, "bb");
    get_nth_line("a\nbb\nccc", 2, line, sizeof line);
    EXPECT_STREQ(line, "ccc");
    get_nth_line("a\nbb\nccc", 3, line, sizeof line);
    EXPECT_STREQ(line, "<eof>");
    get_nth_line("a very long line indeed", 0, line, sizeof line);
    EXPECT_EQ(std::strlen(line), sizeof line - 1);
}

TEST(Runner, ProgramLinesMapToTabsCountingTheSeparatorLine) {
    char t0[] = "one\ntwo", t1[] = "x", empty[] = "";
    char* saved[vexel_code_tabs];
    std::memcpy(saved, pstate.code_tabs, sizeof saved);
    for (char*& t : pstate.code_tabs) t = empty;
    pstate.code_tabs[0] = t0;
    pstate.code_tabs[1] = t1;
    int tab = -1;
    EXPECT_EQ(find_tab_line(1, &tab), 1);
    EXPECT_EQ(tab, 0);
    EXPECT_EQ(find_tab_line(3, &tab), 0);  // lines 0-1 are tab 0, line 2 the separator
    EXPECT_EQ(tab, 1);
    EXPECT_EQ(find_tab_line(1000, &tab), -1);
    EXPECT_EQ(tab, 0);
    std::memcpy(pstate.code_tabs, saved, sizeof saved);
}

TEST(Runner, RunChainKeepsLabelFileAndParameters) {
    reset_run_chain();
    EXPECT_EQ(get_run_chain_label(), nullptr);
    std::strcpy(runner.params, "level 2");
    add_run_chain_item("menu.qz", "back to menu", 0);
    add_run_chain_item("dl.qz", "back", 1);
    run_chain_cancel_pending();  // a pending entry whose download failed goes
    EXPECT_STREQ(get_run_chain_label(), "back to menu");
    EXPECT_STREQ(get_run_chain_filename(), "menu.qz");
    EXPECT_STREQ(get_run_chain_param_str(), "level 2");
    run_chain_cancel_pending();  // a confirmed one stays
    EXPECT_STREQ(get_run_chain_filename(), "menu.qz");
    pop_run_chain();
    EXPECT_EQ(get_run_chain_filename(), nullptr);
    delete[] runner.chain;
    runner.chain = nullptr;
}

TEST(Runner, ChargesGoToEveryCounterAndRefundsOnlyToTheFrame) {
    runner.frame_cycles = runner.cycles_since_flip = runner.api_cycles_since_flip = runner.cpu_residue = 0;
    EXPECT_EQ(spend_cpu(0), 1);
    spend_cpu(100);
    EXPECT_EQ(runner.frame_cycles, 101);
    EXPECT_EQ(runner.api_cycles_since_flip, 101);
    refund_cpu(-3);
    EXPECT_EQ(runner.frame_cycles, 98);
    EXPECT_EQ(runner.api_cycles_since_flip, 101);
    runner.base_fps = 30;
    EXPECT_EQ(cycles_2_frame_capacity(4194304 / 30), 65536);
}
