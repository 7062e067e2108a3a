#include <SDL.h>

#include <atomic>

#include "browser_fixture.h"
#include "app/app.h"
#include "app/shell.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_pod.h"
#include "framework/fenn_text.h"

namespace {

std::atomic<bool> hold_fetch{false};
fenn_fetch_status held_fetch(const fenn_fetch_request&, fenn_fetch_result* result) {
    while (hold_fetch.load()) SDL_Delay(2);
    return result->status = fenn_fetch_failed;
}

class Screen : public Browser {
protected:
    void SetUp() override {
        Browser::SetUp();
        fenn_cfg.sound_volume = fenn_cfg.music_volume = 256;
    }
    void TearDown() override {
        hold_fetch = false;
        browse_download_wait(2000);
        Browser::TearDown();
    }
    // Three local cartridges and a folder, the browser open on them.
    void local_carts() {
        std::filesystem::create_directories(root + "folder");
        write_file(root + "alpha.qz", text_cart("-- alpha\nprint(1)"));
        write_file(root + "beta.qz", text_cart("-- beta"));
        write_file(root + "gamma.qz", text_cart("-- gamma"));
        browse_open(M);
    }
    int selection() const { return browse_data.lists[browse_data.current].selection; }
    // A key that reaches the browser as a scan code only (page keys and such).
    void key(int scancode) {
        fenn_set_key_state(scancode, 3);
        browse_keypress(M, -1);
        fenn_set_key_state(scancode, 0);
    }
    void settle() {
        for (int i = 0; i < 60; ++i) frame(0);
    }
    // The rows (y) of the page whose pixel at x has colour c.
    static std::vector<int> rows_of(const fenn_bitmap* page, int x, int c) {
        std::vector<int> ys;
        for (int y = 0; y < 128; ++y)
            if (page->pix[size_t(y) * 128 + size_t(x)] == c) ys.push_back(y);
        return ys;
    }
    static std::vector<int> span(int from, int to) {
        std::vector<int> v;
        for (int y = from; y <= to; ++y) v.push_back(y);
        return v;
    }
};

}  // namespace

TEST_F(Screen, ListsWrapAndSelectionsStayInTheirLists) {
    local_carts();
    frame(0);
    tap(button_left);
    EXPECT_EQ(browse_data.current, browse_search);
    EXPECT_EQ(browse_screen.expanded, 1);
    tap(button_right);
    EXPECT_EQ(browse_data.current, browse_local);
    tap(button_right);
    tap(button_right);
    tap(button_right);
    tap(button_right);
    tap(button_right);
    tap(button_right);
    tap(button_right);
    EXPECT_EQ(browse_data.current, browse_search);
    tap(button_right);
    EXPECT_EQ(browse_data.current, browse_local);

    tap(button_down);
    EXPECT_EQ(browse_screen.expanded, 0);
    tap(button_down);
    tap(button_down);
    tap(button_down);
    tap(button_down);  // past the end: clamped
    EXPECT_EQ(selection(), 3);
    tap(button_up);
    EXPECT_EQ(selection(), 2);
    tap(button_right);  // another list keeps its own selection
    EXPECT_EQ(selection(), 0);
    tap(button_left);
    EXPECT_EQ(selection(), 2);
}

TEST_F(Screen, ALongListScrollsOnlyWhenTheSelectionWouldLeaveTheView) {
    for (int i = 0; i < 20; ++i) write_file(root + "c" + std::to_string(10 + i) + ".qz", text_cart(""));
    browse_open(M);
    frame(0);
    const browse_list& l = list(browse_local);
    ASSERT_EQ(l.count(), 20);
    ASSERT_EQ(browse_view_rows, 6);
    // Down: the view stays until the selection would pass the second-to-last
    // row in view, then keeps one row below it, and at the end none.
    for (int sel = 1; sel < 20; ++sel) {
        tap(button_down);
        ASSERT_EQ(l.selection, sel);
        EXPECT_EQ(l.first, std::clamp(sel - 4, 0, 14)) << "selection " << sel;
    }
    tap(button_down);
    EXPECT_EQ(l.first, 14);
    // Up: the view stays until one row above the selection is needed.
    for (int sel = 18; sel >= 0; --sel) {
        tap(button_up);
        ASSERT_EQ(l.selection, sel);
        EXPECT_EQ(l.first, std::clamp(sel - 1, 0, 14)) << "selection " << sel;
    }

    // Page keys jump, and the view follows the same way.
    key(SDL_SCANCODE_PAGEDOWN);
    EXPECT_EQ(l.selection, 6);
    EXPECT_EQ(l.first, 2);
    key(SDL_SCANCODE_PAGEDOWN);
    EXPECT_EQ(l.selection, 12);
    EXPECT_EQ(l.first, 8);
    key(SDL_SCANCODE_PAGEUP);
    EXPECT_EQ(l.selection, 6);
    EXPECT_EQ(l.first, 5);
    key(SDL_SCANCODE_END);
    EXPECT_EQ(l.first, 14);
    key(SDL_SCANCODE_HOME);
    EXPECT_EQ(l.first, 0);

    // Drawn: the selected bar stands on its row in view, the row above it shows.
    key(SDL_SCANCODE_PAGEDOWN);  // selection 6, rows 2..7 in view
    settle();
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    browse_draw(M, page);
    EXPECT_EQ(rows_of(page, 110, 14), span(111, 117));
    int above = 0;
    for (int y = 104; y <= 108; ++y)
        for (int x = 24; x < 60; ++x) above += page->pix[size_t(y) * 128 + size_t(x)] == 7;
    EXPECT_GT(above, 5);

    // An open menu takes the room under its row; closing it restores the view.
    tap(button_pause);
    ASSERT_EQ(browse_screen.cart_menu, browse_menu_cart);
    settle();
    EXPECT_EQ(l.scroll >> 16, 6 * browse_row_h);
    browse_keypress(M, 27);
    settle();
    EXPECT_EQ(l.first, 2);
    EXPECT_EQ(l.scroll >> 16, 2 * browse_row_h);
    fenn_destroy_bitmap(page);
}

TEST_F(Screen, AShortListNeverScrolls) {
    local_carts();  // four rows
    frame(0);
    const browse_list& l = list(browse_local);
    for (int i = 0; i < 5; ++i) {
        tap(button_down);
        EXPECT_EQ(l.first, 0);
    }
    key(SDL_SCANCODE_PAGEDOWN);
    EXPECT_EQ(l.first, 0);
    settle();
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    browse_draw(M, page);
    EXPECT_EQ(l.selection, 3);
    EXPECT_EQ(rows_of(page, 110, 14), span(104, 110));
    fenn_destroy_bitmap(page);
}

TEST_F(Screen, PauseOpensTheCartMenuOnlyOnCartridges) {
    local_carts();
    frame(0);
    tap(button_pause);  // on the folder: opens it
    EXPECT_STREQ(browse_data.subdir, "folder/");
    EXPECT_EQ(browse_screen.cart_menu, browse_menu_closed);
    tap(button_o);  // ".." back up
    EXPECT_STREQ(browse_data.subdir, "");
    tap(button_down);
    tap(button_pause);
    ASSERT_EQ(browse_screen.cart_menu, browse_menu_cart);
    ASSERT_EQ(browse_screen.menu_count, 4);
    EXPECT_STREQ(browse_screen.entries[1].label, "favourite");
    tap(button_up);  // wraps to "cancel"
    EXPECT_EQ(browse_screen.menu_index, 3);
    tap(button_o);
    EXPECT_EQ(browse_screen.cart_menu, browse_menu_closed);

    // favourite from the menu, then the menu says "remove from favourites"
    tap(button_pause);
    tap(button_down);
    tap(button_x);
    EXPECT_EQ(browse_data.lists[browse_fav].count(), 1);
    tap(button_pause);
    EXPECT_STREQ(browse_screen.entries[1].label, "remove from favourites");

    // options and back
    tap(button_down);
    tap(button_down);
    tap(button_o);
    ASSERT_EQ(browse_screen.cart_menu, browse_menu_options);
    EXPECT_EQ(browse_screen.entries[0].action, browse_act_volume);
    tap(button_o);  // volume: both off
    EXPECT_EQ(fenn_cfg.sound_volume, 0);
    EXPECT_EQ(fenn_cfg.music_volume, 0);
    tap(button_o);  // and both on again
    EXPECT_EQ(fenn_cfg.sound_volume, 256);
    EXPECT_EQ(fenn_cfg.music_volume, 256);
    tap(button_up);  // "back"
    tap(button_o);
    EXPECT_EQ(browse_screen.cart_menu, browse_menu_cart);
    browse_keypress(M, 27);  // Escape closes it
    EXPECT_EQ(browse_screen.cart_menu, browse_menu_closed);
}

namespace {

std::string opened_url;
void remember_url(void*, const char* url) { opened_url = url; }

bool menu_offers(int action) {
    for (int i = 0; i < browse_screen.menu_count; ++i)
        if (browse_screen.entries[i].action == action) return true;
    return false;
}

}  // namespace

TEST_F(Screen, TheBoardThreadIsOfferedOnlyForBoardCartridges) {
    opened_url.clear();
    tm.host.open_url = remember_url;
    // A local cartridge has no thread on the board.
    local_carts();
    frame(0);
    tap(button_down);
    tap(button_pause);
    ASSERT_EQ(browse_screen.cart_menu, browse_menu_cart);
    EXPECT_FALSE(menu_offers(browse_act_thread));
    browse_keypress(M, 27);

    // Neither has a favourite whose board id could not name one.
    const std::string fav = "|Bad-Id |0 |0 |someone | |odd one\n";
    ASSERT_EQ(browse_read_favourites(browse_fav, fav.c_str(), fav.size()), 1);
    browse_data.current = browse_fav;
    tap(button_pause);
    ASSERT_EQ(browse_screen.cart_menu, browse_menu_cart);
    EXPECT_FALSE(menu_offers(browse_act_thread));
    browse_keypress(M, 27);

    // A cartridge from a board list has one, and the entry opens it.
    const std::vector<uint8_t> pic = list_picture(entries(2));
    ASSERT_EQ(browse_read_list_picture(browse_new, pic.data(), pic.size(), false), 0);
    browse_data.current = browse_new;
    list(browse_new).selection = 1;
    tap(button_pause);
    ASSERT_EQ(browse_screen.cart_menu, browse_menu_cart);
    ASSERT_TRUE(menu_offers(browse_act_thread));
    while (browse_screen.entries[browse_screen.menu_index].action != browse_act_thread) tap(button_down);
    tap(button_o);
    EXPECT_EQ(opened_url, browse_discussion_url("1000"));
    EXPECT_EQ(browse_screen.cart_menu, browse_menu_closed);
}

TEST_F(Screen, RunCartLoadsAndStartsTwentyFramesLater) {
    local_carts();
    frame(0);
    tap(button_down);  // alpha
    tap(button_o);
    EXPECT_STREQ(M->working_cart->code, "-- alpha\nprint(1)");
    EXPECT_EQ(browse_screen.launch, 3);  // counted since the press
    for (int i = 0; i < 17; ++i) frame(0);
    EXPECT_FALSE(tm.requested(vexel_request_run));
    EXPECT_EQ(browse_screen.launch, 20);
    tap(button_down);  // ignored: the cartridge is about to start
    EXPECT_TRUE(tm.requested(vexel_request_run));
    EXPECT_EQ(selection(), 1);
    EXPECT_EQ(browse_screen.launch, 0);

    // A file that does not load is a message, not a launch.
    tm.clear_requests();
    write_file(root + "beta.qz", "garbage");
    tap(button_down);
    tap(button_o);
    EXPECT_EQ(message(), "could not load");
    EXPECT_EQ(browse_screen.launch, 0);

    // A newer cartridge starts, and its warning shows over the browser
    // (the console it is printed on is hidden).
    write_file(root + "beta.qz", "vexel cartridge\nversion 16\n__lua__\n-- beta\n");
    tap(button_o);
    EXPECT_STREQ(M->working_cart->code, "-- beta");
    EXPECT_EQ(browse_screen.launch, 3);
    EXPECT_EQ(message(), "cartridge version 16: newer than this vexel; some things may not work");
}

TEST_F(Screen, SearchEntryTurnsTheWheelAndEncodesTheQuery) {
    browse_data.current = browse_search;
    browse_open(M);
    ASSERT_EQ(titles(browse_search), (std::vector<std::string>{"[search]"}));
    frame(0);
    tap(button_o);
    browse_list& l = list(browse_search);
    ASSERT_EQ(l.search_entry, 1);
    tap_pad(button_up);
    EXPECT_STREQ(l.search_text, "a");
    tap_pad(button_up);
    EXPECT_STREQ(l.search_text, "b");
    tap_pad(button_right);
    tap_pad(button_down);
    EXPECT_STREQ(l.search_text, "b9");
    tap_pad(button_down);
    EXPECT_STREQ(l.search_text, "b8");
    tap_pad(button_left);
    tap_pad(button_left);
    EXPECT_EQ(l.search_cursor, 0);
    tap_pad(button_down);  // wraps from 'a'... here 'b' turns back to 'a'
    EXPECT_STREQ(l.search_text, "a8");
    tap_pad(button_down);
    tap_pad(button_down);
    EXPECT_STREQ(l.search_text, "98");  // past ' ' to the end of the wheel

    // Typing: at most 22 characters; backspace takes the one before the cursor.
    l.search_text[0] = 0;
    l.search_cursor = 0;
    for (const char* p = "Space & Things #1 ok!!!"; *p; ++p) browse_keypress(M, *p);
    EXPECT_STREQ(l.search_text, "space & things #1 ok!!");
    browse_keypress(M, 8);
    EXPECT_STREQ(l.search_text, "space & things #1 ok!");

    hold_fetch = true;
    browse_set_fetcher(held_fetch);
    browse_keypress(M, 13);
    EXPECT_EQ(l.search_entry, 0);
    EXPECT_STREQ(l.request, "search/space");  // the first word is the board's search word
    EXPECT_STREQ(l.title, "space & things #1 ok!");
    EXPECT_EQ(browse_download_state(), browse_dl_busy);
    // While busy only pause acts: it cancels, and the browser stays.
    tap(button_left);
    EXPECT_EQ(browse_data.current, browse_search);
    tap(button_pause);
    EXPECT_EQ(browse_download_state(), browse_dl_idle);
    EXPECT_EQ(message(), "download cancelled");
    EXPECT_TRUE(browse_active());
}

TEST_F(Screen, EscapeCancelsADownloadBeforeAnythingElse) {
    hold_fetch = true;
    browse_set_fetcher(held_fetch);
    browse_open(M);
    browse_download_list(browse_new, false);
    browse_keypress(M, 27);
    EXPECT_EQ(browse_download_state(), browse_dl_idle);
    EXPECT_TRUE(browse_active());
    browse_keypress(M, 27);  // then Escape leaves for the console
    EXPECT_FALSE(browse_active());
}

TEST_F(Screen, ExitMenuInBrowserMode) {
    tm.host.browser_only = true;
    browse_open(M);
    frame(0);
    browse_keypress(M, 27);
    ASSERT_EQ(browse_screen.exit_menu, 1);
    tap(button_up);  // wraps to "cancel"
    EXPECT_EQ(browse_screen.exit_selection, 2);
    tap(button_o);
    EXPECT_EQ(browse_screen.exit_menu, 0);
    browse_keypress(M, 27);
    tap(button_down);
    tap(button_x);  // "exit to console"
    EXPECT_FALSE(browse_active());
    EXPECT_GT(M->cursor_y, 0);  // the banner was printed
    browse_open(M);
    frame(0);  // opening blocks the buttons until they are released
    browse_keypress(M, 27);
    tap(button_pause);  // "shutdown vexel"
    EXPECT_TRUE(tm.requested(vexel_request_quit));
}

TEST_F(Screen, EscapeClosesAnOpenMenuBeforeOfferingShutdown) {
    tm.host.browser_only = true;
    local_carts();
    frame(0);
    tap(button_down);  // alpha
    tap(button_pause);
    ASSERT_EQ(browse_screen.cart_menu, browse_menu_cart);
    browse_keypress(M, 27);
    EXPECT_EQ(browse_screen.cart_menu, browse_menu_closed);
    EXPECT_EQ(browse_screen.exit_menu, 0);

    // From the options menu: back to the cart menu, closed, and only then
    // the shutdown box, which Escape closes again.
    browse_open_cart_menu(browse_menu_options);
    browse_keypress(M, 27);
    EXPECT_EQ(browse_screen.cart_menu, browse_menu_cart);
    EXPECT_EQ(browse_screen.exit_menu, 0);
    browse_keypress(M, 27);
    EXPECT_EQ(browse_screen.cart_menu, browse_menu_closed);
    EXPECT_EQ(browse_screen.exit_menu, 0);
    browse_keypress(M, 27);
    EXPECT_EQ(browse_screen.exit_menu, 1);
    browse_keypress(M, 27);
    EXPECT_EQ(browse_screen.exit_menu, 0);
    EXPECT_TRUE(browse_active());
    EXPECT_FALSE(tm.requested(vexel_request_quit));
}

TEST_F(Screen, KeyboardShortcuts) {
    for (int i = 0; i < 20; ++i) write_file(root + "c" + std::to_string(10 + i) + ".qz", text_cart(""));
    browse_open(M);
    fenn_set_key_state(SDL_SCANCODE_PAGEDOWN, 3);
    browse_keypress(M, -1);
    fenn_set_key_state(SDL_SCANCODE_PAGEDOWN, 0);
    EXPECT_EQ(selection(), 6);
    fenn_set_key_state(SDL_SCANCODE_END, 3);
    browse_keypress(M, -1);
    fenn_set_key_state(SDL_SCANCODE_END, 0);
    EXPECT_EQ(selection(), 19);
    fenn_set_key_state(SDL_SCANCODE_HOME, 3);
    browse_keypress(M, -1);
    fenn_set_key_state(SDL_SCANCODE_HOME, 0);
    EXPECT_EQ(selection(), 0);

    browse_keypress(M, 'f');
    ASSERT_EQ(list(browse_fav).count(), 1);
    browse_data.current = browse_fav;
    browse_keypress(M, 'f');  // not in the favourites list itself
    EXPECT_EQ(list(browse_fav).count(), 1);
    browse_keypress(M, 8);  // there backspace removes it
    EXPECT_EQ(list(browse_fav).count(), 0);

    // With F bound to a console button, 'f' is that button.
    browse_data.current = browse_local;
    button_keys[4] = SDL_SCANCODE_F;
    browse_keypress(M, 'f');
    EXPECT_EQ(list(browse_fav).count(), 0);
}

TEST_F(Screen, MessagesFitOnTheScreen) {
    local_carts();
    fenn_pod* saved_font = shell_console_font;
    shell_console_font = font;
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    fenn_bitmap* wide = fenn_create_bitmap(1200, 8, 8);
    // The browser's own messages, and one as long as a saved cartridge's
    // name can make a message.
    const std::vector<std::string> messages = {
        "could not connect to bbs.", "bbs: not a list picture", "bbs: http 404",
        "cartridge version 16: newer than this vexel; some things may not work",
        "download failed", "download cancelled", "could not load", "not a bbs cart", "timeout", "cancelled",
        "saved a_cartridge_with_a_rather_long_name_in_a_folder.qz",
    };
    for (const std::string& text : messages) {
        SCOPED_TRACE(text);
        shell_show_message(text.c_str(), browse_message_ms);
        app.message_start -= 1000;  // slid in
        app.message_colour = 7;
        browse_draw(M, page);
        shell_draw_message(page);
        fenn_clear_bitmap(wide, 0);
        fenn_draw_text_ex(wide, text.c_str(), font, 0, 0, fenn_text_single_colour, 7);
        int want = 0, ink = 0, edges = 0, strip_top = 128;
        for (uint8_t c : wide->pix) want += c == 7;
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const uint8_t c = page->pix[size_t(y) * 128 + size_t(x)];
                if (c == 8) strip_top = std::min(strip_top, y);
                if (c == 7 && y >= strip_top) {
                    ++ink;
                    edges += x == 0 || x == 127;
                }
            }
        // Every glyph is drawn on the strip, none on the screen's edge, and
        // the strip stands on the bottom of the screen.
        EXPECT_EQ(ink, want);
        EXPECT_EQ(edges, 0);
        EXPECT_EQ(page->pix[127 * 128 + 64], 8);
        EXPECT_LE(strip_top, 121);
    }
    app.message[0] = 0;
    shell_console_font = saved_font;
    fenn_destroy_bitmap(wide);
    fenn_destroy_bitmap(page);
}

TEST_F(Screen, FinishedBarWaitsForAButton) {
    local_carts();
    browse_program_ended();
    ASSERT_EQ(browse_screen.finished, 1);
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    fenn_clear_bitmap(page, 3);
    browse_draw(M, page);
    EXPECT_EQ(page->pix[0], 3);  // the program's last picture stays
    EXPECT_EQ(page->pix[120 * 128 + 5], 0);
    EXPECT_EQ(page->pix[127 * 128 + 127], 6);
    int ink = 0;
    for (int x = 0; x < 128; ++x) ink += page->pix[124 * 128 + x] == 1;
    EXPECT_GT(ink, 10);
    frame(0);
    const int sel = selection();
    tap(button_down);  // only clears the bar
    EXPECT_EQ(browse_screen.finished, 0);
    EXPECT_EQ(selection(), sel);

    // Escape clears it too, and does nothing else.
    browse_program_ended();
    browse_keypress(M, 'f');
    EXPECT_EQ(list(browse_fav).count(), 0);
    browse_keypress(M, 27);
    EXPECT_EQ(browse_screen.finished, 0);
    EXPECT_TRUE(browse_active());

    // Leaving from the pause menu shows no bar.
    browse_program_left_from_menu();
    browse_program_ended();
    EXPECT_EQ(browse_screen.finished, 0);
    fenn_destroy_bitmap(page);
}

TEST_F(Screen, DrawShowsLabelPanelAndSelectedRow) {
    write_file(root + "alpha.qz", text_cart("-- alpha"));
    write_file(root + "beta.qz", text_cart("-- beta"));
    browse_open(M);
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    for (int i = 0; i < 40; ++i) frame(0);  // let the scroll settle
    browse_draw(M, page);
    // The label of a text cartridge: colour 5 with its comment in colour 6.
    EXPECT_EQ(page->pix[40 * 128 + 100], 5);
    // The selected row's bar in colour 14 at y 83..89 (scrolled to the top).
    EXPECT_EQ(page->pix[83 * 128 + 110], 14);
    EXPECT_EQ(page->pix[89 * 128 + 110], 14);
    // The next row's text in colour 7 somewhere on y 91..95.
    int white = 0;
    for (int y = 91; y <= 95; ++y)
        for (int x = 24; x < 60; ++x) white += page->pix[size_t(y) * 128 + size_t(x)] == 7;
    EXPECT_GT(white, 5);
    // The title of the list along the top.
    int title = 0;
    for (int y = 10; y <= 17; ++y)
        for (int x = 40; x < 90; ++x) title += page->pix[size_t(y) * 128 + size_t(x)] == 7;
    EXPECT_GT(title, 5);

    // A cartridge without a readable label shows a plain background.
    write_file(root + "alpha.qz", "not a cartridge any more");
    browse_enter(M);
    frame(0);
    browse_draw(M, page);
    EXPECT_EQ(page->pix[40 * 128 + 100], 5);
    EXPECT_EQ(page->pix[30 * 128 + 10], 5);

    fenn_destroy_bitmap(page);
}

TEST_F(Screen, ASelectedTitleOfWideGlyphsScrollsToItsEnd) {
    // Glyphs 128-255 of the console font advance 8 pixels, not 4: the scroll
    // measures the title in pixels, so its last glyph comes into view.
    fenn_pod* data = fenn_load_pod(VEXEL_BINARY_DIR "/data.pod");
    ASSERT_NE(data, nullptr) << "build the data_pod target first";
    fenn_pod* console_font = fenn_pod_load_nested(data, 2);
    ASSERT_NE(console_font, nullptr);
    M->console_font = console_font;
    write_file(root + "alpha.qz", text_cart("-- alpha"));
    browse_open(M);
    settle();
    browse_item& it = browse_data.lists[browse_data.current].items[size_t(selection())];
    EXPECT_EQ(it.kind, browse_kind_cart);
    std::snprintf(it.title, sizeof it.title, "%s", std::string(20, '\x80').c_str());  // 160 pixels of full blocks
    it.author[0] = 0;
    browse_screen.selection_time = fenn_get_time() - 60000;  // selected long ago: scrolled all the way
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    browse_draw(M, page);
    // The selected row's text (colour 1 on the colour-14 bar, y 84..88)
    // ends with the last block at x 97..103, the bar showing after it.
    EXPECT_EQ(page->pix[86 * 128 + 100], 1);
    EXPECT_EQ(page->pix[86 * 128 + 110], 14);
    fenn_destroy_bitmap(page);
    M->console_font = font;
    fenn_destroy_pod(console_font);
    fenn_destroy_pod(data);
}

TEST_F(Screen, AnEmptyFavouritesListExplainsItselfBelowTheTitle) {
    browse_open(M);
    browse_data.current = browse_fav;
    frame(0);
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    browse_draw(M, page);
    EXPECT_EQ(page->pix[100 * 128 + 2], 5);
    // The title's outline (colour 0) and the explaining text (colour 6) keep
    // to rows of their own, the text below the title.
    int title_last = -1, text_first = 128, text_ink = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            const uint8_t c = page->pix[size_t(y) * 128 + size_t(x)];
            if (c == 0) title_last = std::max(title_last, y);
            if (c == 6) {
                text_first = std::min(text_first, y);
                ++text_ink;
            }
        }
    ASSERT_GE(title_last, 10);
    EXPECT_GT(text_ink, 100);
    EXPECT_GT(text_first, title_last + 1);
    fenn_destroy_bitmap(page);
}

TEST_F(Screen, IconsComeFromTheSystemGraphics) {
    fenn_pod* data = fenn_load_pod(VEXEL_BINARY_DIR "/data.pod");
    ASSERT_NE(data, nullptr) << "build the data_pod target first";
    fenn_pod* graphics = fenn_pod_load_nested(data, 1);
    ASSERT_NE(graphics, nullptr);
    tm.host.system_graphics = graphics;
    local_carts();
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    for (int i = 0; i < 40; ++i) frame(0);
    browse_draw(M, page);
    // The folder icon of the selected row, in front of its colour-14 bar.
    const fenn_bitmap* icon = fenn_pod_get_bitmap(graphics, browse_icon_dir);
    ASSERT_NE(icon, nullptr);
    int same = 0, lit = 0;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) {
            const uint8_t c = icon->pix[size_t(y) * 7 + size_t(x)];
            if (!c) continue;
            ++lit;
            same += page->pix[size_t(83 + y) * 128 + size_t(13 + x)] == c;
        }
    EXPECT_GT(lit, 0);
    EXPECT_EQ(same, lit);

    // Over a running program that waits: the busy spinner, or the download
    // arrow while a download runs, and nothing after "download failed".
    fenn_clear_bitmap(page, 0);
    browse_draw_program_busy(M, page);
    int ink = 0;
    for (int y = 3; y < 15; ++y)
        for (int x = 3; x < 15; ++x) ink += page->pix[size_t(y) * 128 + size_t(x)] != 0;
    EXPECT_GT(ink, 0);
    fenn_clear_bitmap(page, 0);
    browse_set_fetcher([](const fenn_fetch_request&, fenn_fetch_result* r) { return r->status = fenn_fetch_no_connection; });
    ASSERT_TRUE(browse_download_cart_for_load(M, "gone", true));
    ASSERT_TRUE(browse_download_wait(5000));
    browse_dl.start_ms -= browse_dl_settle_ms;
    browse_update_load_download(M);
    ASSERT_TRUE(browse_download_failed());
    browse_draw_program_busy(M, page);
    for (uint8_t c : page->pix) ASSERT_EQ(c, 0);

    fenn_destroy_bitmap(page);
    tm.host.system_graphics = nullptr;
    fenn_destroy_pod(graphics);
    fenn_destroy_pod(data);
}
