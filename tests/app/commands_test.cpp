#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/console.h"
#include "browser/splore.h"
#include "browser/splore_list.h"
#include "cart/cart_cmd.h"
#include "cart/png_cart.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_pod.h"
#include "machine/text.h"
#include "runtime/run.h"
#include "cart/cart_io_fixture.h"

namespace fs = std::filesystem;

namespace {

class Commands : public CartIo {
protected:
    cpod* font = nullptr;
    void SetUp() override {
        CartIo::SetUp();
        cart_cmd_folder[0] = 0;
        console_reset();
        font = vexel_create_console_font();
        vexel_console_font = font;
    }
    void TearDown() override {
        console_reset();
        cart_cmd_folder[0] = 0;
        vexel_console_font = nullptr;
        fenn_destroy_pod(font);
        CartIo::TearDown();
    }

    // Everything a listing prints, page after page.
    std::string listing(const char* filter) {
        return console_of([&] {
            vexel_cmd_ls(filter, nullptr);
            for (int i = 0; i < 1000 && console_listing_active(); ++i) {
                if (console_listing_waiting()) console_listing_next_page();
                console_listing_update();
            }
        });
    }

    // A pod with the given cartridges as items 3 and later (32 KiB blocks).
    static cpod* pod_with(const std::vector<std::pair<std::string, std::string>>& carts) {
        cpod* pod = new cpod;
        for (int i = 0; i < 3; ++i) pod->items.push_back(std::make_unique<cpod_item>());
        for (const auto& [name, code] : carts) {
            CartPtr c = make_cart(code.c_str());
            auto item = std::make_unique<cpod_item>();
            item->type = cpod_type_data;
            item->bytes.resize(0x8000);
            EXPECT_EQ(save_vexel_cart_32k(c.get(), item->bytes.data()), cart_ok);
            std::snprintf(item->name, sizeof item->name, "%s", name.c_str());
            pod->items.push_back(std::move(item));
        }
        return pod;
    }
};

TEST_F(Commands, CdMovesThroughFoldersAndReportsWhereItIs) {
    fs::create_directories(root + "games/arcade");
    EXPECT_EQ(console_of([] { vexel_cmd_cd(nullptr); }), "** directory: /\n");
    EXPECT_EQ(console_of([] { vexel_cmd_cd("games"); }), "** /games\n");
    EXPECT_EQ(console_of([] { vexel_cmd_cd("./arcade/"); }), "** /games/arcade\n");
    EXPECT_EQ(console_of([] { vexel_cmd_cd(".."); }), "** /games\n");
    EXPECT_EQ(console_of([] { vexel_cmd_cd("/games/arcade/../.."); }), "** /\n");
    EXPECT_STREQ(cart_cmd_folder, "");
    EXPECT_EQ(console_of([] { vexel_cmd_cd("nowhere"); }), "** directory not found\n");
    write_file(root + "file.qz", "x");
    EXPECT_EQ(console_of([] { vexel_cmd_cd("file.qz"); }), "** directory not found\n");
    EXPECT_STREQ(cart_cmd_folder, "");
    EXPECT_EQ(console_of([] { vexel_cmd_cd(std::string(600, 'a').c_str()); }), "");

    // A load from inside a folder finds the cartridge there.
    write_cart(root + "games/arcade/inside.qz", "-- inside");
    vexel_cmd_cd("games/arcade");
    EXPECT_TRUE(vexel_load_command(1, "inside", nullptr, nullptr));
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
        EXPECT_EQ(console_of([&] { vexel_cmd_cd(name); }), "** cd: failed\n");
        EXPECT_STREQ(cart_cmd_folder, "");
        EXPECT_EQ(console_of([&] { vexel_cmd_mkdir((std::string(name) + "/new").c_str()); }), "** mkdir: failed\n");
    }
    EXPECT_FALSE(fs::exists(home + "/secret/new"));
    EXPECT_FALSE(fs::exists(home + "/new"));

    // "~" and absolute names are names under the root, never the host's.
    fs::create_directories(root + "etc");
    EXPECT_EQ(console_of([] { vexel_cmd_cd("/etc"); }), "** /etc\n");
    EXPECT_EQ(console_of([] { vexel_cmd_cd("~"); }), "** directory not found\n");

    // Loading and saving are held to the root the same way.
    vexel_cmd_cd("/");
    for (const char* name : {"../secret/outside", "link/outside", "games/outside.qz"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(vexel_load_command(1, name, nullptr, nullptr));
    }
    const std::string before = read_file(home + "/secret/outside.qz");
    EXPECT_EQ(console_of([] {
                  EXPECT_NE(vexel_save_command("../secret/outside"), 0);
                  EXPECT_NE(vexel_save_command("link/outside.qz"), 0);
                  EXPECT_NE(vexel_save_command("../evil"), 0);
              }),
              "** save: outside the cart folder\n** save: outside the cart folder\n** save: outside the cart folder\n");
    EXPECT_EQ(read_file(home + "/secret/outside.qz"), before);
    EXPECT_FALSE(fs::exists(home + "/evil.qz"));
}

TEST_F(Commands, MkdirMakesFoldersUnderTheCurrentOne) {
    EXPECT_EQ(console_of([] { vexel_cmd_mkdir(nullptr); }), "** mkdir [name]\n");
    EXPECT_EQ(console_of([] { vexel_cmd_mkdir("work"); }), "");
    EXPECT_TRUE(fs::is_directory(root + "work"));
    EXPECT_EQ(console_of([] { vexel_cmd_mkdir("work"); }), "");  // already there: nothing to say
    vexel_cmd_cd("work");
    vexel_cmd_mkdir("inner");
    vexel_cmd_mkdir("/top");
    EXPECT_TRUE(fs::is_directory(root + "work/inner"));
    EXPECT_TRUE(fs::is_directory(root + "top"));
    EXPECT_EQ(console_of([] { vexel_cmd_mkdir("no/such/parent"); }), "** could not create /work/no/such/parent\n");
    EXPECT_EQ(console_of([] { vexel_cmd_mkdir(std::string(512, 'b').c_str()); }), "");
}

TEST_F(Commands, ListingShowsFoldersThenCartridgesInOrderAndPages) {
    fs::create_directories(root + "zeta");
    fs::create_directories(root + "alpha");
    fs::create_directories(root + ".hidden");
    for (const char* f : {"b.qz", "a.qz.png", "notes.txt", "c.qz"}) write_file(root + f, "x");

    EXPECT_EQ(listing(""), "** directory: /\n** .hidden\n** alpha\n** zeta\n** a.qz.png\n** b.qz\n** c.qz\n");
    EXPECT_FALSE(console_listing_active());
    EXPECT_EQ(listing("*"),
              "** directory: /\n** .hidden\n** alpha\n** zeta\n** a.qz.png\n** b.qz\n** c.qz\n** notes.txt\n");
    EXPECT_EQ(listing("a"), "** directory: /\n** alpha\n** zeta\n** a.qz.png\n");

    // Seventeen entries to a page, then "--more--" until a key or button.
    for (int i = 0; i < 20; ++i) write_file(root + "game" + std::to_string(100 + i) + ".qz", "x");
    std::string out = console_of([] {
        vexel_cmd_ls(nullptr, nullptr);
        for (int i = 0; i < 50; ++i) console_listing_update();
    });
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1 + 17 + 1);
    EXPECT_NE(out.find("** --more--\n"), std::string::npos);
    EXPECT_TRUE(console_listing_waiting());
    out = console_of([] {
        console_listing_next_page();
        for (int i = 0; i < 50; ++i) console_listing_update();
    });
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3 + 3 + 20 - 17);
    EXPECT_FALSE(console_listing_active());

    // Exactly a page's worth ends without "--more--".
    fs::create_directories(root + "page");
    for (int i = 0; i < console_page_lines; ++i) write_file(root + "page/p" + std::to_string(10 + i) + ".qz", "x");
    vexel_cmd_cd("page");
    out = listing("");
    EXPECT_EQ(out.find("--more--"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1 + console_page_lines);
    EXPECT_EQ(out.substr(0, 24), "** directory: /page\n** p");
}

TEST_F(Commands, ListingAdvancesTwoEntriesPerUpdateInItsColours) {
    fs::create_directories(root + "dir");
    write_file(root + "cart.qz", "x");
    write_file(root + "readme.txt", "x");
    vexel_cmd_ls("*", nullptr);  // drawn on the screen: exec mode is off here
    EXPECT_EQ(pstate.cursor_y, 6);
    console_listing_update();
    EXPECT_EQ(pstate.cursor_y, 18);
    EXPECT_TRUE(console_listing_active());
    console_listing_update();
    EXPECT_FALSE(console_listing_active());
    auto colours_of_row = [](int line) {
        std::set<int> seen;
        for (int y = line * 6; y < line * 6 + 5; ++y)
            for (int x = 0; x < 128; ++x)
                if (int c = pstate.screen->pix[size_t(y) * 128 + size_t(x)]) seen.insert(c);
        return seen;
    };
    EXPECT_EQ(colours_of_row(0), std::set<int>{12});
    EXPECT_EQ(colours_of_row(1), std::set<int>{14});
    EXPECT_EQ(colours_of_row(2), std::set<int>{6});
    EXPECT_EQ(colours_of_row(3), std::set<int>{5});
}

TEST_F(Commands, LsFromAProgramReturnsTheStoredCartridgesAndPrintsNothing) {
    for (const char* f : {"b.qz", "a.qz", "backup~.qz", "data.bin"}) write_file(home + "/cstore/" + f, "x");
    fs::create_directories(home + "/cstore/folder.qz");
    pstate.program_active = 1;
    std::vector<std::string> stored;
    EXPECT_EQ(console_of([&] { EXPECT_TRUE(vexel_cmd_ls(nullptr, &stored)); }), "");
    EXPECT_EQ(stored, (std::vector<std::string>{"a.qz", "b.qz"}));
    EXPECT_FALSE(console_listing_active());
}

TEST_F(Commands, InfoReportsTheSizesAgainstTheLimits) {
    EXPECT_EQ(console_of([] { vexel_cmd_info(); }),
              "** tokens:         0 /  8192\n** chars:          0 / 65535\n** compressed:     0 / 15360\n");
    set_code("x = 1 + 2\nprint(x)");
    std::snprintf(cart_disk.filename, sizeof cart_disk.filename, "%sgame", root.c_str());
    EXPECT_EQ(console_of([] { vexel_cmd_info(); }),
              "** file: game.qz\n** tokens:         8 /  8192\n** chars:         18 / 65535\n"
              "** compressed:    18 / 15360\n");

    // Over the limits: red lines (colour 9) on the screen.
    std::string big;
    for (int i = 0; i < 8200; ++i) big += "a ";
    set_code(big.c_str());
    vexel_cmd_info();
    std::set<int> seen;
    for (uint8_t p : pstate.screen->pix) seen.insert(p);
    EXPECT_TRUE(seen.count(9));
}

TEST_F(Commands, HelpRebootAndShutdownOnlyAtTheConsole) {
    pstate.program_active = 1;
    EXPECT_EQ(console_of([] { vexel_cmd_help(); }), "");
    EXPECT_FALSE(vexel_cmd_reboot());
    EXPECT_FALSE(vexel_cmd_shutdown());
    EXPECT_EQ(pstate.pending, pending_none);
    EXPECT_EQ(fenn_quit, 0);

    pstate.program_active = 0;
    const std::string help = console_of([] { vexel_cmd_help(); });
    EXPECT_EQ(help.substr(0, 31), "** \n** commands\n** \n** load <fi");
    EXPECT_NE(help.find("** splore     to explore cartridges\n"), std::string::npos);
    EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 19);
    app.browser_flag = 1;
    EXPECT_TRUE(vexel_cmd_reboot());
    EXPECT_EQ(pstate.pending, pending_reboot);
    EXPECT_EQ(app.browser_flag, 0);
    EXPECT_TRUE(vexel_cmd_shutdown());
    EXPECT_NE(fenn_quit, 0);
    fenn_quit = 0;
}

TEST_F(Commands, InstallersWriteTheBuiltInCartridgesWithoutReplacingAnything) {
    cpod* pod = pod_with({{"menu.qz", "-- menu\n"}, {"game.qz", "-- ghost garden\nx=1\n"}, {"demo.qz", "-- lumen\n"}});
    fs::create_directories(root + "demos");
    write_file(root + "demos/game.qz", "my own game");
    EXPECT_EQ(console_of([&] { EXPECT_EQ(vexel_cmd_install_demos(pod), 2); }),
              "** installing demo carts to /demos/\n** menu.qz\n** kept your game.qz\n** demo.qz\n");
    EXPECT_EQ(read_file(root + "demos/game.qz"), "my own game");
    EXPECT_NE(read_file(root + "demos/demo.qz").find("-- lumen"), std::string::npos);
    // Again: the same files are there already, nothing is written.
    EXPECT_EQ(console_of([&] { EXPECT_EQ(vexel_cmd_install_demos(pod), 0); }),
              "** installing demo carts to /demos/\n** menu.qz\n** kept your game.qz\n** demo.qz\n");

    // A link planted where a cartridge goes is not followed.
    fs::create_directories(root + "games");
    fs::create_symlink(home + "/victim.txt", root + "games/demo.qz");
    write_file(home + "/victim.txt", "untouched");
    EXPECT_EQ(console_of([&] { EXPECT_EQ(vexel_cmd_install_games(pod), 1); }),
              "** kept your demo.qz\n** installed sample games\n** to splore favourites\n");
    EXPECT_EQ(read_file(home + "/victim.txt"), "untouched");
    EXPECT_FALSE(fs::exists(root + "games/menu.qz"));
    EXPECT_TRUE(fs::exists(root + "games/game.qz"));
    vexel_cmd_install_games(pod);  // the favourite is added once
    char favourite[256];
    std::snprintf(favourite, sizeof favourite, "|%-20s |%-20s |%-6d |%-16s |%-20s |%s\n", "0", "0", 0, "vexel",
                  "games/game.qz", "ghost garden");
    EXPECT_EQ(read_file(home + "/favourites.txt"), favourite);

    // The installed cartridge loads.
    EXPECT_TRUE(vexel_load_command(1, "/games/game", nullptr, nullptr));
    EXPECT_NE(std::string(pstate.working_cart->code).find("x=1"), std::string::npos);

    // A demos "folder" that is a link out of the root is refused.
    fs::remove_all(root + "demos");
    fs::create_symlink(home + "/cstore", root + "demos");
    EXPECT_EQ(console_of([&] { EXPECT_EQ(vexel_cmd_install_demos(pod), 0); }),
              "** installing demo carts to /demos/\n** could not create /demos/\n");
    EXPECT_FALSE(fs::exists(home + "/cstore/menu.qz"));
    fenn_destroy_pod(pod);
}

TEST_F(Commands, SploreOpensTheBrowserOnlyAtTheConsoleAndSeesInstalledGames) {
    pstate.program_active = 1;
    EXPECT_FALSE(vexel_cmd_splore());
    EXPECT_EQ(pstate.sub_screen, sub_screen_none);
    pstate.program_active = 0;
    EXPECT_TRUE(vexel_cmd_splore());
    EXPECT_EQ(pstate.sub_screen, sub_screen_browser);
    EXPECT_TRUE(splore_active());

    // Installing the games while the browser has its lists shows the game
    // among the favourites at once.
    cpod* pod = pod_with({{"menu.qz", "-- menu\n"}, {"game.qz", "-- ghost garden\n"}});
    console_of([&] { vexel_cmd_install_games(pod); });
    const splore_list* fav = splore_get_list(splore_fav);
    ASSERT_NE(fav, nullptr);
    bool found = false;
    for (const splore_item& it : fav->items) found = found || std::string(it.path) == "games/game.qz";
    EXPECT_TRUE(found);
    fenn_destroy_pod(pod);
    splore_shutdown();
    pstate.sub_screen = sub_screen_none;
}

TEST_F(Commands, FolderCommandsChargeTheProgram) {
    runner.frame_cycles = 0;
    console_of([] {
        vexel_cmd_cd(nullptr);
        vexel_cmd_cd("..");
        vexel_cmd_mkdir("x");
        vexel_cmd_info();
    });
    EXPECT_EQ(runner.frame_cycles, 4 * command_host_cycles);
    runner.frame_cycles = 0;
}

TEST_F(Commands, FolderOpensNothingWhenHeadlessOrTooOften) {
    app.exec_mode = 1;
    EXPECT_NE(vexel_cmd_folder(), 0);
}

TEST_F(Commands, PromptLineAtThePrintCursor) {
    pstate.mode = shell_console;
    pstate.cursor_y = 12;
    for (auto& p : pstate.screen->pix) p = 3;
    draw_command_string(false, true);  // the blinking cursor depends on the clock
    std::set<int> row, above;
    for (int y = 12; y < 18; ++y)
        for (int x = 0; x <= 12; ++x) row.insert(pstate.screen->pix[size_t(y) * 128 + size_t(x)]);
    for (int x = 0; x < 128; ++x) above.insert(pstate.screen->pix[11 * 128 + size_t(x)]);
    EXPECT_EQ(row, (std::set<int>{0, 7}));  // cleared, ">" in colour 7
    EXPECT_EQ(above, std::set<int>{3});
    EXPECT_EQ(pstate.screen->pix[12 * 128 + 13], 3);

    // Not while a listing is paged, nor outside console mode.
    for (int i = 0; i < 30; ++i) write_file(root + "c" + std::to_string(i) + ".qz", "x");
    vexel_cmd_ls(nullptr, nullptr);
    pstate.cursor_y = 12;
    for (auto& p : pstate.screen->pix) p = 3;
    draw_command_string(true, true);
    EXPECT_EQ(pstate.screen->pix[13 * 128 + 1], 3);
    console_listing_close();
    pstate.mode = shell_running;
    draw_command_string(true, true);
    EXPECT_EQ(pstate.screen->pix[13 * 128 + 1], 3);
}

TEST(ConsolePrompt, CursorBlinksEvery256MillisecondsOnlyInAnActiveWindow) {
    EXPECT_FALSE(console_cursor_visible(true, 0));
    EXPECT_FALSE(console_cursor_visible(true, 255));
    EXPECT_TRUE(console_cursor_visible(true, 256));
    EXPECT_TRUE(console_cursor_visible(true, 511));
    EXPECT_FALSE(console_cursor_visible(true, 512));
    EXPECT_FALSE(console_cursor_visible(false, 256));
}

TEST_F(Commands, ScrollingTheConsoleScreen) {
    pstate.cursor_y = 120;
    pstate.screen->pix[6 * 128] = 9;
    scroll_immediate_mode_screen();
    EXPECT_EQ(pstate.cursor_y, 114);
    EXPECT_EQ(pstate.screen->pix[0], 9);
}

}  // namespace
