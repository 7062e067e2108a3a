// The console's load and save commands against a real cartridge folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "../machine/cart_io_fixture.h"
#include "machine/cdata.h"
#include "machine/rom.h"
#include "runtime/frame.h"
#include "runtime/commands.h"
#include "runtime/run.h"

class LoadCommand : public CartIo {
protected:
    void SetUp() override {
        CartIo::SetUp();
        write_cart(root + "game.qz", "-- game", 7);
        ASSERT_EQ(vexel_load_working_cart(M, (root + "game.qz").c_str()), 0);
    }
    int mem(int addr) { return vexel_peek(M, M->cart, addr); }
};

TEST_F(LoadCommand, LoadAndSaveCommands) {
    M->program_active = 0;
    std::string out = console_of([&] { EXPECT_FALSE(cmd_load(M, 1, "#12345", nullptr, nullptr)); });
    EXPECT_EQ(out, "");
    // A failed load always says why.
    out = console_of([&] { EXPECT_FALSE(cmd_load(M, 1, "nothing", nullptr, nullptr)); });
    EXPECT_EQ(out, "** could not load\n** (file not found)\n");
    write_file(root + "junk.qz", "not a cartridge at all");
    out = console_of([&] { EXPECT_FALSE(cmd_load(M, 1, "junk", nullptr, nullptr)); });
    EXPECT_EQ(out.substr(0, 20), "** could not load\n**");
    EXPECT_NE(out, "** could not load\n** (file not found)\n");
    out = console_of([&] { EXPECT_FALSE(cmd_load(M, 1, "../../x", nullptr, nullptr)); });
    EXPECT_EQ(out, "** could not load\n** (outside the cart folder)\n");

    set_code("-- saved");
    out = console_of([&] { EXPECT_EQ(cmd_save(M, "mine"), 0); });
    EXPECT_EQ(out, "** saved mine.qz\n");
    EXPECT_TRUE(exists(root + "mine.qz"));
    out = console_of([&] { EXPECT_EQ(cmd_save(M, ""), 1); });
    EXPECT_EQ(out, "** please specify filename\n");
    out = console_of([&] { EXPECT_EQ(cmd_save(M, std::string(512, 'x').c_str()), 1); });
    EXPECT_EQ(out, "** filename too long\n");

    out = console_of([&] { EXPECT_TRUE(cmd_load(M, 1, "game", nullptr, nullptr)); });
    EXPECT_EQ(out, "** loaded game.qz (7 chars)\n");
    EXPECT_EQ(mem(0), 7);

    // From a running program: the same file restarts at once, another waits.
    M->program_active = 1;
    M->hold_frames = 0;
    EXPECT_TRUE(cmd_load(M, 1, "game", nullptr, nullptr));
    EXPECT_EQ(tm.requested(vexel_request_run), true);
    EXPECT_EQ(M->hold_frames, 0);
    EXPECT_TRUE(cmd_load(M, 1, "/mine.qz", nullptr, nullptr));
    EXPECT_EQ(M->hold_frames, rom_hold_frames);
    EXPECT_EQ(cmd_save(M, "refused"), 1);
    EXPECT_FALSE(exists(root + "refused.qz"));
}

TEST_F(LoadCommand, NewStartsAnEmptyCartridgeAfterBackingUpUnsavedChanges) {
    M->program_active = 0;
    set_code("-- my edit");
    std::string out = console_of([&] { EXPECT_TRUE(cmd_new(M)); });
    EXPECT_NE(out.find("new cartridge"), std::string::npos);
    EXPECT_STREQ(M->working_cart->code, "");
    EXPECT_STREQ(M->file.filename, "");
    EXPECT_FALSE(vexel_unsaved_changes(M, true));
    EXPECT_NE(read_file(home + "/backup/game.qz").find("-- my edit"), std::string::npos);
    EXPECT_EQ(read_file(root + "game.qz").find("-- my edit"), std::string::npos);  // the file itself untouched
    // Saved by name, it is a cartridge of its own.
    EXPECT_EQ(cmd_save(M, "fresh"), 0);
    EXPECT_TRUE(exists(root + "fresh.qz"));
    // Not from a running program.
    M->program_active = 1;
    EXPECT_FALSE(cmd_new(M));
}

TEST_F(LoadCommand, SaveNamesMustBeFilesInsideTheCartFolder) {
    namespace fs = std::filesystem;
    M->program_active = 0;
    set_code("-- mine");
    fs::create_directories(root + "games");
    fs::create_directories(root + "odd.qz");
    fs::create_directories(home + "/elsewhere");
    write_file(home + "/elsewhere/victim.qz", "victim");
    fs::create_symlink(home + "/elsewhere/victim.qz", root + "victim.qz");
    const auto entries_of = [](const std::string& dir) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> home_before = entries_of(home), root_before = entries_of(root);

    std::string out = console_of([&] {
        for (const char* name : {".", "/", "games", "games/", "games/..", "odd"}) EXPECT_EQ(cmd_save(M, name), 1);
    });
    std::string want;
    for (int i = 0; i < 6; ++i) want += "** save: name is a folder\n";
    EXPECT_EQ(out, want);
    // The name with its extension is judged too: a link there leads out.
    out = console_of([&] { EXPECT_EQ(cmd_save(M, "victim"), 1); });
    EXPECT_EQ(out, "** save: outside the cart folder\n");
    EXPECT_EQ(read_file(home + "/elsewhere/victim.qz"), "victim");
    EXPECT_EQ(entries_of(home), home_before);  // no carts.qz beside the folder
    EXPECT_EQ(entries_of(root), root_before);
    EXPECT_TRUE(fs::is_empty(home + "/backup"));  // nothing copied from outside either

    // Nor is a cartridge loaded through such a link under a name without its extension.
    write_cart(home + "/elsewhere/away.qz", "-- away");
    fs::create_symlink(home + "/elsewhere/away.qz", root + "away.qz");
    EXPECT_FALSE(cmd_load(M, 1, "away", nullptr, nullptr));
    EXPECT_FALSE(cmd_load(M, 1, ".", nullptr, nullptr));
    EXPECT_STREQ(M->working_cart->code, "-- mine");
}

TEST_F(LoadCommand, AFailedSaveSaysWhyAndKeepsTheOldFile) {
    M->program_active = 0;
    set_code("-- first");
    ASSERT_EQ(cmd_save(M, "mine"), 0);
    const std::string before = read_file(root + "mine.qz");
    set_code("-- second");
    const std::string out = console_of([&] {
        vexel_test::FileSizeLimit limit(1000);
        EXPECT_EQ(cmd_save(M, "mine"), 1);
        EXPECT_EQ(cmd_save(M, "other"), 1);
    });
    // Over its own file the copy for backup/ fails first: said, and the save
    // itself then fails too, keeping the old file.
    EXPECT_EQ(out, "** backup: file too large\n** save: file too large\n** save: file too large\n");
    EXPECT_EQ(read_file(root + "mine.qz"), before);
    EXPECT_FALSE(exists(root + "other.qz"));
}

TEST_F(LoadCommand, ClipboardWithoutAWindowFailsCleanly) {
    M->program_active = 0;
    std::string out = console_of([&] { EXPECT_EQ(cmd_save(M, "@clip"), 1); });
    EXPECT_NE(out.find("failed to save to clipboard"), std::string::npos);
    out = console_of([&] { EXPECT_FALSE(cmd_load(M, 1, "@clip.png", nullptr, nullptr)); });
    EXPECT_EQ(out, "** could not load\n** (not a readable cartridge)\n");
    EXPECT_STREQ(M->working_cart->code, "-- game");
    // A running program may not read the clipboard.
    M->program_active = 1;
    EXPECT_FALSE(cmd_load(M, 1, "@clip", nullptr, nullptr));
}

TEST_F(LoadCommand, LoadHandsTheRunChainAndParametersToTheRunner) {
    write_cart(root + "next.qz", "-- next", 2);
    run_chain_push(M, "older.qz", "stale", 0);
    std::snprintf(M->runner->params, sizeof M->runner->params, "old");
    ASSERT_EQ(M->runner->chain_items, 1);

    M->program_active = 0;
    EXPECT_TRUE(cmd_load(M, 1, "next", nullptr, nullptr));
    EXPECT_EQ(M->runner->chain_items, 0);  // a plain load from the console starts a new chain
    EXPECT_STREQ(M->runner->pending_params, "");
    EXPECT_EQ(mem(0), 2);  // the new ROM is in memory

    M->program_active = 1;
    EXPECT_TRUE(cmd_load(M, 3, "game", "back to next", "level=2"));
    EXPECT_STREQ(run_chain_file(M), (root + "next.qz").c_str());
    EXPECT_STREQ(run_chain_label(M), "back to next");
    EXPECT_STREQ(M->runner->pending_params, "level=2");

    EXPECT_TRUE(cmd_load(M, 2, "next", "x", nullptr));  // one-letter labels push nothing
    EXPECT_EQ(M->runner->chain_items, 1);  // a running program keeps its chain
    EXPECT_STREQ(M->runner->pending_params, "");
}

TEST_F(LoadCommand, ARunningProgramLoadsTheCartridgeBesideIt) {
    namespace fs = std::filesystem;
    fs::create_directories(root + "demos");
    write_cart(root + "demos/menu.qz", "-- menu", 1);
    write_cart(root + "demos/game.qz", "-- demo game", 2);
    write_cart(root + "demos/only.qz", "-- only here", 3);
    // Started from the browser's list, with the console's folder at the root.
    ASSERT_EQ(vexel_load_working_cart(M, (root + "demos/menu.qz").c_str()), 0);
    std::snprintf(M->file.folder, sizeof M->file.folder, "/");
    M->program_active = 1;

    EXPECT_TRUE(cmd_load(M, 2, "only", "back to menu", nullptr));  // the extension is found too
    EXPECT_EQ(mem(0), 3);
    ASSERT_EQ(vexel_load_working_cart(M, (root + "demos/menu.qz").c_str()), 0);
    EXPECT_TRUE(cmd_load(M, 1, "game.qz", nullptr, nullptr));  // beside it, not the root's game.qz
    EXPECT_EQ(mem(0), 2);
    EXPECT_STREQ(M->file.filename, (root + "demos/game.qz").c_str());

    // A name missing beside it falls back to the console's folder; a name
    // leading up out of it is resolved there too, under its rules.
    ASSERT_EQ(vexel_load_working_cart(M, (root + "demos/menu.qz").c_str()), 0);
    write_cart(root + "top.qz", "-- top", 4);
    EXPECT_TRUE(cmd_load(M, 1, "top.qz", nullptr, nullptr));
    EXPECT_EQ(mem(0), 4);
    ASSERT_EQ(vexel_load_working_cart(M, (root + "demos/menu.qz").c_str()), 0);
    EXPECT_FALSE(cmd_load(M, 1, "../../outside.qz", nullptr, nullptr));

    // At the prompt (no program running) names are the console folder's.
    M->program_active = 0;
    EXPECT_TRUE(cmd_load(M, 1, "game.qz", nullptr, nullptr));
    EXPECT_EQ(mem(0), 7);
}

// A program that restarts itself with run() (or load()) keeps
// the bounds on what it may leave on disk; a start by a person resets them.
TEST_F(LoadCommand, RestartsByTheProgramKeepItsWriteBounds) {
    set_code("n=tonum(stat(6)) or 0\n"
             "cartdata('restart_'..n) dset(0,n+1)\n"
             "cstore(0,0,16,'r'..n..'.qz')\n"
             "run(tostr(n+1))\n");
    ASSERT_EQ(cmd_save(M, "game"), 0);
    M->program_active = 0;
    ASSERT_TRUE(cmd_load(M, 1, "game", nullptr, nullptr));
    auto files_in = [&](const std::string& folder) {
        return std::distance(std::filesystem::directory_iterator(home + "/" + folder), {});
    };
    const int restarts = cdata_ids_per_start + 10;
    const std::string out = console_of([&] {
        run_cart(M);
        // cstore and load hold the program a few frames each time.
        for (int i = 0; i < restarts * (rom_hold_frames + 2); ++i) {
            tm.clear_requests();
            vexel_machine_frame(M, vexel_frame_input{});
            if (tm.requested(vexel_request_run)) run_cart(M);   // as the shell carries it out
        }
    });
    EXPECT_EQ(files_in("cdata"), cdata_ids_per_start);
    EXPECT_NE(out.find("** cartdata: too many save ids since the program was started"), std::string::npos);
    // A person starting it again gets a fresh allowance.
    run_suspend(M);
    std::snprintf(M->runner->pending_params, sizeof M->runner->pending_params, "100");
    run_cart(M);
    vexel_machine_frame(M, vexel_frame_input{});
    EXPECT_EQ(files_in("cdata"), cdata_ids_per_start + 1);
}
