// The console commands against a real cartridge folder: folders, info,
// help, the installers and what they charge a program.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "../machine/cart_io_fixture.h"
#include "cart/png_cart.h"
#include "framework/fenn_pod.h"
#include "machine/text.h"
#include "runtime/commands.h"

namespace fs = std::filesystem;

namespace {

class Commands : public CartIo {
protected:
    fenn_pod* font = nullptr;
    void SetUp() override {
        CartIo::SetUp();
        font = vexel_create_console_font();
        M->console_font = font;
    }
    void TearDown() override {
        M->console_font = nullptr;
        fenn_destroy_pod(font);
        CartIo::TearDown();
    }

};

TEST_F(Commands, CdMovesThroughFoldersAndReportsWhereItIs) {
    fs::create_directories(root + "games/arcade");
    EXPECT_EQ(console_of([&] { cmd_cd(M, nullptr); }), "** directory: /\n");
    EXPECT_EQ(console_of([&] { cmd_cd(M, "games"); }), "** /games\n");
    EXPECT_EQ(console_of([&] { cmd_cd(M, "./arcade/"); }), "** /games/arcade\n");
    EXPECT_EQ(console_of([&] { cmd_cd(M, ".."); }), "** /games\n");
    EXPECT_EQ(console_of([&] { cmd_cd(M, "/games/arcade/../.."); }), "** /\n");
    EXPECT_STREQ(M->file.folder, "");
    EXPECT_EQ(console_of([&] { cmd_cd(M, "nowhere"); }), "** directory not found\n");
    write_file(root + "file.qz", "x");
    EXPECT_EQ(console_of([&] { cmd_cd(M, "file.qz"); }), "** directory not found\n");
    EXPECT_STREQ(M->file.folder, "");
    EXPECT_EQ(console_of([&] { cmd_cd(M, std::string(600, 'a').c_str()); }), "");

    // A load from inside a folder finds the cartridge there.
    write_cart(root + "games/arcade/inside.qz", "-- inside");
    cmd_cd(M, "games/arcade");
    EXPECT_TRUE(cmd_load(M, 1, "inside", nullptr, nullptr));
}

TEST_F(Commands, NoPathLeavesTheRoot) {
    fs::create_directories(home + "/secret");
    write_cart(home + "/secret/outside.qz", "-- outside");
    fs::create_directories(root + "games");
    fs::create_symlink(home + "/secret", root + "link");
    fs::create_symlink(home + "/secret/outside.qz", root + "games/outside.qz");
    fs::create_symlink(root + "missing", root + "dangling");

    for (const char* name : {"..", "../secret", "games/../../secret", "/..", "/../secret", "link", "link/",
                             "./link/.", "dangling", "..\\secret"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(console_of([&] { cmd_cd(M, name); }), "** cd: failed\n");
        EXPECT_STREQ(M->file.folder, "");
        EXPECT_EQ(console_of([&] { cmd_mkdir(M, (std::string(name) + "/new").c_str()); }), "** mkdir: failed\n");
    }
    EXPECT_FALSE(fs::exists(home + "/secret/new"));
    EXPECT_FALSE(fs::exists(home + "/new"));

    // "~" and absolute names are names under the root, never the host's.
    fs::create_directories(root + "etc");
    EXPECT_EQ(console_of([&] { cmd_cd(M, "/etc"); }), "** /etc\n");
    EXPECT_EQ(console_of([&] { cmd_cd(M, "~"); }), "** directory not found\n");

    // Loading and saving are held to the root the same way.
    cmd_cd(M, "/");
    for (const char* name : {"../secret/outside", "link/outside", "games/outside.qz"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(cmd_load(M, 1, name, nullptr, nullptr));
    }
    const std::string before = read_file(home + "/secret/outside.qz");
    EXPECT_EQ(console_of([&] {
                  EXPECT_NE(cmd_save(M, "../secret/outside"), 0);
                  EXPECT_NE(cmd_save(M, "link/outside.qz"), 0);
                  EXPECT_NE(cmd_save(M, "../evil"), 0);
              }),
              "** save: outside the cart folder\n** save: outside the cart folder\n** save: outside the cart folder\n");
    EXPECT_EQ(read_file(home + "/secret/outside.qz"), before);
    EXPECT_FALSE(fs::exists(home + "/evil.qz"));
}

TEST_F(Commands, MkdirMakesFoldersUnderTheCurrentOne) {
    EXPECT_EQ(console_of([&] { cmd_mkdir(M, nullptr); }), "** mkdir [name]\n");
    EXPECT_EQ(console_of([&] { cmd_mkdir(M, "work"); }), "");
    EXPECT_TRUE(fs::is_directory(root + "work"));
    EXPECT_EQ(console_of([&] { cmd_mkdir(M, "work"); }), "");  // already there: nothing to say
    cmd_cd(M, "work");
    cmd_mkdir(M, "inner");
    cmd_mkdir(M, "/top");
    EXPECT_TRUE(fs::is_directory(root + "work/inner"));
    EXPECT_TRUE(fs::is_directory(root + "top"));
    EXPECT_EQ(console_of([&] { cmd_mkdir(M, "no/such/parent"); }), "** could not create /work/no/such/parent\n");
    EXPECT_EQ(console_of([&] { cmd_mkdir(M, std::string(512, 'b').c_str()); }), "");
}

TEST_F(Commands, LsFromAProgramReturnsTheStoredCartridgesAndPrintsNothing) {
    for (const char* f : {"b.qz", "a.qz", "backup~.qz", "data.bin"}) write_file(home + "/cstore/" + f, "x");
    fs::create_directories(home + "/cstore/folder.qz");
    M->program_active = 1;
    std::vector<std::string> stored;
    EXPECT_EQ(console_of([&] { EXPECT_TRUE(cmd_ls(M, nullptr, &stored)); }), "");
    EXPECT_EQ(stored, (std::vector<std::string>{"a.qz", "b.qz"}));
}

TEST_F(Commands, InfoReportsTheSizesAgainstTheLimits) {
    EXPECT_EQ(console_of([&] { cmd_info(M); }),
              "** tokens:         0 /  8192\n** chars:          0 / 65535\n** compressed:     0 / 15360\n");
    set_code("x = 1 + 2\nprint(x)");
    std::snprintf(M->file.filename, sizeof M->file.filename, "%sgame", root.c_str());
    EXPECT_EQ(console_of([&] { cmd_info(M); }),
              "** file: game.qz\n** tokens:         8 /  8192\n** chars:         18 / 65535\n"
              "** compressed:    18 / 15360\n** unsaved changes\n");  // the program is new

    // Over the limits: red lines (colour 9) on the screen.
    std::string big;
    for (int i = 0; i < 8200; ++i) big += "a ";
    set_code(big.c_str());
    cmd_info(M);
    std::set<int> seen;
    for (uint8_t p : M->screen->pix) seen.insert(p);
    EXPECT_TRUE(seen.count(9));
}

TEST_F(Commands, HelpRebootAndShutdownOnlyAtTheConsole) {
    M->program_active = 1;
    EXPECT_EQ(console_of([&] { cmd_help(M); }), "");
    EXPECT_FALSE(cmd_reboot(M));
    EXPECT_FALSE(cmd_shutdown(M));
    EXPECT_TRUE(tm.requests.empty());

    M->program_active = 0;
    const std::string help = console_of([&] { cmd_help(M); });
    EXPECT_EQ(help.substr(0, 31), "** \n** commands\n** \n** new     ");  // the first step of making a game
    EXPECT_NE(help.find("** browse     to explore cartridges\n"), std::string::npos);
    EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 22);
    EXPECT_TRUE(cmd_reboot(M));
    EXPECT_TRUE(tm.requested(vexel_request_reboot));
    EXPECT_TRUE(cmd_shutdown(M));
    EXPECT_TRUE(tm.requested(vexel_request_quit));
}

TEST_F(Commands, HelpPointsToTheManualAndFitsTheConsole) {
    const std::string help = console_of([&] { cmd_help(M); });
    EXPECT_NE(help.find("see vexel.txt beside the program"), std::string::npos);
    EXPECT_EQ(help.find("http"), std::string::npos);
    EXPECT_NE(help.find("esc at the prompt: the editors"), std::string::npos);
    // Each line as printed ("** " + text) fits the 32 columns of the console.
    size_t start = 0;
    for (size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = help.substr(start, end - start);
        ASSERT_EQ(line.rfind("** ", 0), 0u) << line;
        EXPECT_LE(line.size() - 3, 32u) << line;
    }
}

TEST_F(Commands, InstallersWriteTheBuiltInCartridgesWithoutReplacingAnything) {
    fenn_pod* pod = pod_with({{"menu.qz", "-- menu\n"}, {"game.qz", "-- ghost garden\nx=1\n"}, {"demo.qz", "-- lumen\n"}});
    fs::create_directories(root + "demos");
    write_file(root + "demos/game.qz", "my own game");
    EXPECT_EQ(console_of([&] { EXPECT_EQ(cmd_install_demos(M, pod), 2); }),
              "** installing demo carts to /demos/\n** menu.qz\n** kept your game.qz\n** demo.qz\n");
    EXPECT_EQ(read_file(root + "demos/game.qz"), "my own game");
    EXPECT_NE(read_file(root + "demos/demo.qz").find("-- lumen"), std::string::npos);
    // Again: the same files are there already, nothing is written.
    EXPECT_EQ(console_of([&] { EXPECT_EQ(cmd_install_demos(M, pod), 0); }),
              "** installing demo carts to /demos/\n** menu.qz\n** kept your game.qz\n** demo.qz\n");

    // A link planted where a cartridge goes is not followed.
    fs::create_directories(root + "games");
    fs::create_symlink(home + "/victim.txt", root + "games/demo.qz");
    write_file(home + "/victim.txt", "untouched");
    EXPECT_EQ(console_of([&] { EXPECT_EQ(cmd_install_games(M, pod), 1); }),
              "** kept your demo.qz\n** installed sample games\n** to browser favourites\n");
    EXPECT_EQ(read_file(home + "/victim.txt"), "untouched");
    EXPECT_FALSE(fs::exists(root + "games/menu.qz"));
    EXPECT_TRUE(fs::exists(root + "games/game.qz"));
    cmd_install_games(M, pod);  // the favourite is added once
    char favourite[256];
    std::snprintf(favourite, sizeof favourite, "|%-20s |%-20s |%-6d |%-16s |%-20s |%s\n", "0", "0", 0, "vexel",
                  "games/game.qz", "ghost garden");
    EXPECT_EQ(read_file(home + "/favourites.txt"), favourite);

    // The installed cartridge loads.
    EXPECT_TRUE(cmd_load(M, 1, "/games/game", nullptr, nullptr));
    EXPECT_NE(std::string(M->working_cart->code).find("x=1"), std::string::npos);

    // A demos "folder" that is a link out of the root is refused.
    fs::remove_all(root + "demos");
    fs::create_symlink(home + "/cstore", root + "demos");
    EXPECT_EQ(console_of([&] { EXPECT_EQ(cmd_install_demos(M, pod), 0); }),
              "** installing demo carts to /demos/\n** could not create /demos/\n");
    EXPECT_FALSE(fs::exists(home + "/cstore/menu.qz"));
    fenn_destroy_pod(pod);
}

TEST_F(Commands, FolderCommandsChargeTheProgram) {
    M->cpu.frame_cycles = 0;
    console_of([&] {
        cmd_cd(M, nullptr);
        cmd_cd(M, "..");
        cmd_mkdir(M, "x");
        cmd_info(M);
    });
    EXPECT_EQ(M->cpu.frame_cycles, 4 * cmd_host_cycles);
}

TEST_F(Commands, FolderOpensNothingWhenHeadlessOrTooOften) {
    tm.host.exec_mode = true;
    EXPECT_NE(cmd_folder(M), 0);
}


}  // namespace
