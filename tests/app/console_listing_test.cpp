// The console screen with the shell behind the machine: paged folder
// listings, the browser command, the prompt line and scrolling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "../machine/cart_io_fixture.h"
#include "app/app.h"
#include "app/console.h"
#include "app/shell.h"
#include "browser/browse.h"
#include "browser/browse_list.h"
#include "cart/png_cart.h"
#include "framework/fenn_pod.h"
#include "machine/text.h"
#include "runtime/commands.h"

namespace fs = std::filesystem;

namespace {

// A machine whose host is the shell (as the console's own machine is),
// keeping the test's capture of standard output.
class Commands : public CartIo {
protected:
    fenn_pod* font = nullptr;
    void SetUp() override {
        CartIo::SetUp();
        app = vexel_app{};
        shell_connect_host(tm.host);
        app.machine = M;
        console_reset();
        font = vexel_create_console_font();
        M->console_font = font;
    }
    void TearDown() override {
        console_reset();
        app.machine = nullptr;
        M->console_font = nullptr;
        fenn_destroy_pod(font);
        CartIo::TearDown();
    }

    // Everything a listing prints, page after page.
    std::string listing(const char* filter) {
        return console_of([&] {
            cmd_ls(M, filter, nullptr);
            for (int i = 0; i < 1000 && console_listing_active(); ++i) {
                if (console_listing_waiting()) console_listing_next_page();
                console_listing_update(M);
            }
        });
    }

};

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
    std::string out = console_of([&] {
        cmd_ls(M, nullptr, nullptr);
        for (int i = 0; i < 50; ++i) console_listing_update(M);
    });
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1 + 17 + 1);
    EXPECT_NE(out.find("** --more--\n"), std::string::npos);
    EXPECT_TRUE(console_listing_waiting());
    out = console_of([&] {
        console_listing_next_page();
        for (int i = 0; i < 50; ++i) console_listing_update(M);
    });
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3 + 3 + 20 - 17);
    EXPECT_FALSE(console_listing_active());

    // Exactly a page's worth ends without "--more--".
    fs::create_directories(root + "page");
    for (int i = 0; i < console_page_lines; ++i) write_file(root + "page/p" + std::to_string(10 + i) + ".qz", "x");
    cmd_cd(M, "page");
    out = listing("");
    EXPECT_EQ(out.find("--more--"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1 + console_page_lines);
    EXPECT_EQ(out.substr(0, 24), "** directory: /page\n** p");
}

TEST_F(Commands, AnEmptyListingSaysSoAndWhereCartridgesComeFrom) {
    EXPECT_EQ(listing(""), "** directory: /\n** no cartridges here\n** install_demos or install_games\n"
                           "** adds some; save NAME makes one\n");
    EXPECT_FALSE(console_listing_active());
    write_file(root + "notes.txt", "x");  // not a cartridge: still none shown
    EXPECT_EQ(listing("").substr(0, 48), "** directory: /\n** no cartridges here\n** install");
    EXPECT_EQ(listing("zz"), "** directory: /\n** nothing matches\n");
    fs::create_directories(root + "sub");
    cmd_cd(M, "sub");
    EXPECT_EQ(listing(""), "** directory: /sub\n** no cartridges here\n");
}

TEST_F(Commands, ListingAdvancesTwoEntriesPerUpdateInItsColours) {
    fs::create_directories(root + "dir");
    write_file(root + "cart.qz", "x");
    write_file(root + "readme.txt", "x");
    cmd_ls(M, "*", nullptr);  // drawn on the screen: exec mode is off here
    EXPECT_EQ(M->cursor_y, 6);
    console_listing_update(M);
    EXPECT_EQ(M->cursor_y, 18);
    EXPECT_TRUE(console_listing_active());
    console_listing_update(M);
    EXPECT_FALSE(console_listing_active());
    auto colours_of_row = [&](int line) {
        std::set<int> seen;
        for (int y = line * 6; y < line * 6 + 5; ++y)
            for (int x = 0; x < 128; ++x)
                if (int c = M->screen->pix[size_t(y) * 128 + size_t(x)]) seen.insert(c);
        return seen;
    };
    EXPECT_EQ(colours_of_row(0), std::set<int>{12});
    EXPECT_EQ(colours_of_row(1), std::set<int>{14});
    EXPECT_EQ(colours_of_row(2), std::set<int>{6});
    EXPECT_EQ(colours_of_row(3), std::set<int>{5});
}

TEST_F(Commands, BrowseOpensTheBrowserOnlyAtTheConsoleAndSeesInstalledGames) {
    M->program_active = 1;
    EXPECT_FALSE(cmd_browse(M));
    EXPECT_FALSE(browse_active());
    M->program_active = 0;
    EXPECT_TRUE(cmd_browse(M));
    EXPECT_EQ(app.mode, shell_console);
    EXPECT_TRUE(browse_active());

    // Installing the games while the browser has its lists shows the game
    // among the favourites at once.
    fenn_pod* pod = pod_with({{"menu.qz", "-- menu\n"}, {"game.qz", "-- ghost garden\n"}});
    console_of([&] { cmd_install_games(M, pod); });
    const browse_list* fav = browse_get_list(browse_fav);
    ASSERT_NE(fav, nullptr);
    bool found = false;
    for (const browse_item& it : fav->items) found = found || std::string(it.path) == "games/game.qz";
    EXPECT_TRUE(found);
    fenn_destroy_pod(pod);
    browse_shutdown();
    browse_screen = browse_screen_state();
}

TEST_F(Commands, PromptLineAtThePrintCursor) {
    app.mode = shell_console;
    M->cursor_y = 12;
    for (auto& p : M->screen->pix) p = 3;
    console_draw(M, false, true);  // the blinking cursor depends on the clock
    std::set<int> row, above;
    for (int y = 12; y < 18; ++y)
        for (int x = 0; x <= 12; ++x) row.insert(M->screen->pix[size_t(y) * 128 + size_t(x)]);
    for (int x = 0; x < 128; ++x) above.insert(M->screen->pix[11 * 128 + size_t(x)]);
    EXPECT_EQ(row, (std::set<int>{0, 7}));  // cleared, ">" in colour 7
    EXPECT_EQ(above, std::set<int>{3});
    EXPECT_EQ(M->screen->pix[12 * 128 + 13], 3);

    // Not while a listing is paged, nor outside console mode.
    for (int i = 0; i < 30; ++i) write_file(root + "c" + std::to_string(i) + ".qz", "x");
    cmd_ls(M, nullptr, nullptr);
    M->cursor_y = 12;
    for (auto& p : M->screen->pix) p = 3;
    console_draw(M, true, true);
    EXPECT_EQ(M->screen->pix[13 * 128 + 1], 3);
    console_listing_close();
    app.mode = shell_running;
    console_draw(M, true, true);
    EXPECT_EQ(M->screen->pix[13 * 128 + 1], 3);
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
    M->cursor_y = 120;
    M->screen->pix[6 * 128] = 9;
    vexel_scroll_screen(M);
    EXPECT_EQ(M->cursor_y, 114);
    EXPECT_EQ(M->screen->pix[0], 9);
}


}  // namespace
