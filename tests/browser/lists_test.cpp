#include "browser_fixture.h"
#include "cart/cart_board.h"
#include "framework/fenn_text.h"

using Lists = Browser;

TEST_F(Lists, FolderListsFoldersFirstThenCartridgesByTitle) {
    write_file(root + "b game.qz", text_cart("-- b"));
    write_file(root + "a.qz.png", "not really a picture");
    write_file(root + "notes.txt", "x");
    write_file(root + ".hidden.qz", "x");
    write_file(root + "Zap.qz", text_cart(""));
    std::filesystem::create_directories(root + "zdir");
    std::filesystem::create_directories(root + ".git");
    ASSERT_EQ(browse_list_from_directory(browse_local, ""), 0);
    EXPECT_EQ(titles(browse_local), (std::vector<std::string>{"zdir", "a", "b game", "zap"}));
    const browse_list& l = list(browse_local);
    EXPECT_EQ(l.items[0].kind, browse_kind_dir);
    EXPECT_EQ(l.items[0].icon, browse_icon_dir);
    EXPECT_EQ(l.items[1].icon, browse_icon_png);
    EXPECT_EQ(l.items[2].icon, browse_icon_text);
    EXPECT_STREQ(l.items[3].path, "Zap.qz");  // the path keeps the file's own name

    write_file(root + "zdir/inner.qz", text_cart(""));
    browse_list_from_directory(browse_local, "zdir/");
    EXPECT_EQ(titles(browse_local), (std::vector<std::string>{"..", "inner"}));
    EXPECT_EQ(l.items[0].icon, browse_icon_parent);
    EXPECT_STREQ(l.items[1].path, "zdir/inner.qz");
}

TEST_F(Lists, TwoFilesOfOneNameShowTheirFileNames) {
    write_file(root + "mygame.qz", text_cart("-- text"));
    write_file(root + "mygame.qz.png", "a picture");
    write_file(root + "other.qz", text_cart(""));
    ASSERT_EQ(browse_list_from_directory(browse_local, ""), 0);
    EXPECT_EQ(titles(browse_local), (std::vector<std::string>{"mygame.qz", "mygame.qz.png", "other"}));
}

TEST_F(Lists, LabelPreviewsCutLongCommentsBetweenWords) {
    const std::string long_line = "-- a haunted house full of friendly ghosts who only want some company";
    const std::string shown = browse_comment_preview(long_line);
    EXPECT_EQ(shown, "-- a haunted house full of friendly ghosts who only want some");
    EXPECT_LE(shown.size(), 63u);
    EXPECT_EQ(browse_comment_preview("-- short"), "-- short");
    EXPECT_EQ(browse_comment_preview("--" + std::string(80, 'x')).size(), 63u);  // one long word: cut
}

TEST_F(Lists, FoldersOpenAndCloseButNeverLeaveTheRoot) {
    std::filesystem::create_directories(root + "sub/deeper");
    browse_open(M);
    ASSERT_EQ(titles(browse_local), (std::vector<std::string>{"sub"}));
    browse_action_current_item(M);
    EXPECT_STREQ(browse_data.subdir, "sub/");
    EXPECT_EQ(titles(browse_local), (std::vector<std::string>{"..", "deeper"}));
    list(browse_local).selection = 0;
    browse_action_current_item(M);  // ".."
    EXPECT_STREQ(browse_data.subdir, "");
    // A crafted entry pointing above the root does nothing.
    browse_item& it = list(browse_local).items[0];
    std::snprintf(it.path, sizeof it.path, "../../");
    browse_action_current_item(M);
    EXPECT_STREQ(browse_data.subdir, "");
    // A sub-folder that vanished between visits falls back to the root.
    std::snprintf(browse_data.subdir, sizeof browse_data.subdir, "gone/");
    browse_enter(M);
    EXPECT_STREQ(browse_data.subdir, "");
}

TEST_F(Lists, FavouritesAreReadAsFarAsTheyAreSound) {
    const std::string text =
        "a comment line\n"
        "|12345                |0                    |2      |Some Author!     |                     |My GAME|x\n"
        "|0                    |0                    |0      |me               |local/thing.qz       |Local Thing\n"
        "|12345                |                     |2      |dup              |                     |duplicate\n"
        "|                     |                     |0      |nobody           |                     |no way to find it\n"
        "|my_game|77|garbage|averyveryverylongauthorname|p.qz.png|Tab\there\r\n"
        "|short\n"
        "\x01\x02\xff binary\n";
    EXPECT_EQ(browse_read_favourites(browse_fav, text.data(), text.size()), 4);
    const browse_list& f = list(browse_fav);
    ASSERT_EQ(f.count(), 4);
    EXPECT_STREQ(f.items[0].lid, "12345");
    EXPECT_STREQ(f.items[0].mid, "");                // "0" means none
    EXPECT_STREQ(f.items[0].author, "some author?");
    EXPECT_STREQ(f.items[0].title, "my game/x");     // lower case, '|' of the rest turned to '/'
    EXPECT_EQ(f.items[0].icon, browse_icon_bbs);
    EXPECT_STREQ(f.items[1].lid, "");
    EXPECT_STREQ(f.items[1].path, "local/thing.qz");
    EXPECT_EQ(f.items[1].icon, browse_icon_text);
    EXPECT_STREQ(f.items[2].author, "averyveryverylon");  // 16 kept
    EXPECT_EQ(f.items[2].catsub, 0);
    EXPECT_STREQ(f.items[2].title, "tab here");
    EXPECT_STREQ(f.items[3].lid, "short");

    // A missing file leaves the list empty.
    EXPECT_EQ(browse_list_from_text_file(browse_fav, (home + "/none.txt").c_str()), 1);
    EXPECT_EQ(list(browse_fav).count(), 0);
}

TEST_F(Lists, LocalFavouriteMatchesByPathAndBoardByLid) {
    const std::string text =
        "|0                    |0                    |0      |me               |game.qz              |game\n"
        "|4242                 |0                    |2      |them             |                     |board game\n";
    write_file(home + "/favourites.txt", text);
    write_file(root + "game.qz", text_cart(""));
    write_file(root + "other.qz", text_cart(""));
    browse_init();
    browse_open(M);
    EXPECT_EQ(list(browse_local).items[0].favourite, 1);
    EXPECT_EQ(list(browse_local).items[1].favourite, 0);
    const auto pic = list_picture({{4242, 1, 2, "Board", "x", "", ""}, {99, 1, 2, "B", "y", "", ""}});
    ASSERT_EQ(browse_read_list_picture(browse_new, pic.data(), pic.size(), false), 0);
    EXPECT_EQ(list(browse_new).items[1].favourite, 1);
    EXPECT_EQ(list(browse_new).items[2].favourite, 0);
    // A board item equals a lid-less favourite made from the same path.
    browse_item board;
    std::snprintf(board.lid, sizeof board.lid, "555");
    std::snprintf(board.path, sizeof board.path, "game.qz");
    EXPECT_TRUE(browse_items_equal(board, list(browse_fav).items[0]));
    browse_item no_path;  // two items without ids or paths are not the same
    EXPECT_FALSE(browse_items_equal(no_path, browse_item()));
}

TEST_F(Lists, TogglingAFavouriteTwiceRestoresTheFile) {
    browse_item board;
    board.kind = browse_kind_cart;
    board.catsub = 2;
    std::snprintf(board.lid, sizeof board.lid, "4242");
    std::snprintf(board.author, sizeof board.author, "them");
    std::snprintf(board.title, sizeof board.title, "board game");
    const std::string line = browse_favourite_line(board);
    EXPECT_EQ(line, "|4242                 |                     |2      |them             |                     |board game\n");
    write_file(home + "/favourites.txt", line);
    write_file(root + "mine.qz", text_cart("-- mine"));
    browse_init();
    browse_open(M);
    const std::string before = read_file(home + "/favourites.txt");
    browse_data.current = browse_local;
    browse_toggle_favourite();
    ASSERT_EQ(list(browse_fav).count(), 2);
    EXPECT_STREQ(list(browse_fav).items[0].path, "mine.qz");  // new favourites come first
    EXPECT_EQ(list(browse_local).items[0].favourite, 1);
    const std::string during = read_file(home + "/favourites.txt");
    EXPECT_NE(during.find("|mine.qz"), std::string::npos);
    EXPECT_FALSE(exists(home + "/favourites.txt.part"));
    browse_toggle_favourite();
    EXPECT_EQ(read_file(home + "/favourites.txt"), before);
    EXPECT_EQ(list(browse_local).items[0].favourite, 0);

    // A favourite whose path would break the line format is not written.
    browse_item odd;
    odd.kind = browse_kind_cart;
    std::snprintf(odd.path, sizeof odd.path, "a|b.qz");
    list(browse_fav).items.push_back(odd);
    EXPECT_EQ(browse_save_favourites(), 0);
    EXPECT_EQ(read_file(home + "/favourites.txt"), before);
}

TEST_F(Lists, FavouriteOfABoardCartSavesItsLabelOnce) {
    const auto pic = list_picture({{31337, 5, 2, "Labelled", "x", "", ""}, {2, 3, 4, "b", "c", "", ""}});
    ASSERT_EQ(browse_read_list_picture(browse_new, pic.data(), pic.size(), false), 0);
    browse_data.current = browse_new;
    list(browse_new).selection = 1;
    browse_toggle_favourite();
    const std::string saved = home + "/bbs/labels/31337.png";
    ASSERT_TRUE(exists(saved));
    fenn_bitmap* label = browse_label_from_cart_lid("31337");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->pix[0], 8);
    fenn_destroy_bitmap(label);
    ASSERT_NE(list(browse_fav).items[0].label, nullptr);
    EXPECT_NE(list(browse_fav).items[0].label, list(browse_new).items[1].label);  // its own copy
}

TEST_F(Lists, ListPictureGivesItemsLabelsAndLoadMore) {
    std::vector<BoardEntry> e = entries(32);
    e[0].lid = "named_cart";
    e[0].title = "Title|With Bar";
    e[1].colour = 12;
    const auto pic = list_picture(e);
    ASSERT_EQ(browse_read_list_picture(browse_top, pic.data(), pic.size(), false), 0);
    const browse_list& l = list(browse_top);
    ASSERT_EQ(l.count(), 34);  // placeholder, 32 entries, "[load more]"
    EXPECT_EQ(l.items[0].kind, browse_kind_update);
    EXPECT_EQ(l.has_placeholder, 1);
    EXPECT_STREQ(l.items[1].lid, "named_cart");
    EXPECT_STREQ(l.items[1].title, "title/with bar");
    EXPECT_STREQ(l.items[2].lid, "1001");  // no lid: the post id
    EXPECT_STREQ(l.items[2].mid, "2001");
    EXPECT_STREQ(l.items[2].author, "maker-1");
    EXPECT_EQ(l.items[2].catsub, 2);
    ASSERT_NE(l.items[1].label, nullptr);
    EXPECT_EQ(l.items[1].label->pix[0], 8);
    EXPECT_EQ(l.items[2].label->pix[64 * 128 + 64], 12);
    EXPECT_EQ(l.items[33].kind, browse_kind_load_more);
    EXPECT_EQ(l.next_page, 0);

    // Appending replaces "[load more]" with the next page, which names none.
    const auto more = list_picture(entries(3, 5000));
    ASSERT_EQ(browse_read_list_picture(browse_top, more.data(), more.size(), true), 0);
    EXPECT_EQ(l.count(), 36);
    EXPECT_STREQ(l.items[35].lid, "5002");
    EXPECT_NE(l.items.back().kind, browse_kind_load_more);
    EXPECT_EQ(l.next_page, -1);

    // A page of a board anchored from its oldest entry: few entries, and
    // the pages below still to load.
    const auto head = list_picture(entries(2), browse_pic_w, browse_pic_h, 41);
    ASSERT_EQ(browse_read_list_picture(browse_wip, head.data(), head.size(), false), 0);
    EXPECT_EQ(list(browse_wip).count(), 4);
    EXPECT_EQ(list(browse_wip).items.back().kind, browse_kind_load_more);
    EXPECT_EQ(list(browse_wip).next_page, 41);
}

TEST_F(Lists, BoardTextIsFoldedForTheFont) {
    std::vector<BoardEntry> e = entries(2);
    e[0].title = "Café Ñandú ★ über";
    e[0].author = "José";
    e[1].title = "caf\xe9 latin-1";
    const auto pic = list_picture(e);
    ASSERT_EQ(browse_read_list_picture(browse_new, pic.data(), pic.size(), false), 0);
    EXPECT_STREQ(list(browse_new).items[1].title, "cafe nandu ? uber");
    EXPECT_STREQ(list(browse_new).items[1].author, "jose");
    EXPECT_STREQ(list(browse_new).items[2].title, "caf? latin-1");
    char search[browse_request_max + 1];
    browse_search_request("ÑANDÚ", search, sizeof search);
    EXPECT_STREQ(search, "search/nandu");
}

TEST_F(Lists, EmptyWrongSizeOrMissingPicturesLeaveThePlaceholder) {
    const auto none = list_picture({{0, 0, 0, "", "", "", ""}, {5, 5, 5, "after the end", "", "", ""}});
    ASSERT_EQ(browse_read_list_picture(browse_search, none.data(), none.size(), false), 0);
    EXPECT_EQ(titles(browse_search), (std::vector<std::string>{"[search]", "after the end"}));
    const auto ended = list_picture({{0, 0, 0, "", "", "", ""}});
    browse_read_list_picture(browse_jam, ended.data(), ended.size(), false);
    EXPECT_EQ(titles(browse_jam), (std::vector<std::string>{"[update]"}));

    const auto small = list_picture(entries(2), 512, 544);
    EXPECT_EQ(browse_read_list_picture(browse_wip, small.data(), small.size(), false), 2);
    EXPECT_EQ(titles(browse_wip), (std::vector<std::string>{"[update]"}));
    const auto big = list_picture(entries(2), 1025, 544);
    EXPECT_EQ(browse_read_list_picture(browse_wip, big.data(), big.size(), false), 2);
    EXPECT_EQ(browse_list_from_png_file(browse_wip, (home + "/missing.png").c_str(), false), 1);
    EXPECT_EQ(titles(browse_wip), (std::vector<std::string>{"[update]"}));

    // A failed continuation keeps its "[load more]" for another try.
    const auto full = list_picture(entries(32));
    browse_read_list_picture(browse_collab, full.data(), full.size(), false);
    const int n = list(browse_collab).count();
    const std::string junk = "junk";
    EXPECT_EQ(browse_read_list_picture(browse_collab, reinterpret_cast<const uint8_t*>(junk.data()), junk.size(), true), 1);
    EXPECT_EQ(list(browse_collab).count(), n);
    EXPECT_EQ(list(browse_collab).items.back().kind, browse_kind_load_more);
}

TEST_F(Lists, StartUpReadsTheCachedListPictures) {
    write_bytes(home + "/bbs/new.pip.png", list_picture(entries(4)));
    write_file(home + "/bbs/search.pip.png", "broken");
    browse_init();
    EXPECT_EQ(list(browse_new).count(), 5);
    EXPECT_EQ(titles(browse_search), (std::vector<std::string>{"[search]"}));
    EXPECT_STREQ(list(browse_search).request, "");
    EXPECT_STREQ(list(browse_top).request, "featured");
    EXPECT_STREQ(list(browse_jam).title, "jam");
    EXPECT_EQ(list(browse_jam).icon, browse_icon_list + 6);
}

TEST_F(Lists, CacheNamesAndAddressesComeOnlyFromSoundIds) {
    EXPECT_EQ(browse_cart_cache_path("12345"), home + "/bbs/1/12345.qz.png");
    EXPECT_EQ(browse_cart_url_path("12345"), "/" + cart_board_cart_path("12345"));
    EXPECT_EQ(browse_cart_cache_path("42"), home + "/bbs/0/42.qz.png");
    EXPECT_EQ(browse_cart_cache_path("my_game"), home + "/bbs/carts/my_game.qz.png");
    EXPECT_EQ(browse_cart_url_path("my_game"), "/" + cart_board_cart_path("my_game"));
    EXPECT_EQ(browse_label_cache_path("my_game"), home + "/bbs/labels/my_game.png");
    for (const char* bad : {"My_game", "my-game", "a", "", "../etc", "a/b", "x y"}) {
        EXPECT_EQ(browse_cart_url_path(bad), "") << bad;
        EXPECT_EQ(browse_cart_cache_path(bad), "") << bad;
        EXPECT_EQ(browse_discussion_url(bad), "") << bad;
    }
    EXPECT_EQ(browse_cart_url("12345"), browse_bbs_host() + "/" + cart_board_cart_path("12345"));
    EXPECT_EQ(browse_discussion_url("12345"), browse_bbs_host() + "/" + cart_board_post_path("12345"));
    // Lists are files: the head, then pages by number.
    EXPECT_EQ(browse_list_url("new", -1), "https://board.test/bbs/l/new/top.png");
    EXPECT_EQ(browse_list_url("new", 32), "https://board.test/bbs/l/new/0/32.png");
    EXPECT_EQ(browse_list_url("search/ghost", -1), "https://board.test/bbs/s/gh/o/ghost/top.png");
    for (const char* bad : {"", "cat=7&sub=2", "search/../../x", "search/a"}) EXPECT_EQ(browse_list_url(bad, -1), "") << bad;
    browse_init();
    EXPECT_EQ(browse_list_cache_path(browse_top), home + "/bbs/top.pip.png");
    EXPECT_EQ(browse_list_temp_path(browse_top, false), home + "/bbs/temp_top.pip.png");
    EXPECT_EQ(browse_list_temp_path(browse_top, true), home + "/bbs/temp_top__.pip.png");
}

TEST_F(Lists, OutOfRangeReadsTheZeroedDummy) {
    browse_init();
    browse_item& d = browse_get_item(browse_local, 5);
    d.kind = browse_kind_cart;  // a careless write does not stick
    EXPECT_EQ(browse_get_item(browse_local, -1).kind, browse_kind_none);
    EXPECT_EQ(browse_get_item(99, 0).title[0], 0);
}

TEST_F(Lists, LabelsFromCartridgeFiles) {
    write_file(root + "t.qz", text_cart("-- first line\n-- second\ncode()\n-- not a title"));
    fenn_bitmap* l = browse_label_from_file((root + "t.qz").c_str());
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->pix[0], 5);
    int ink = 0;
    for (int y = 22; y < 34; ++y)
        for (int x = 0; x < 128; ++x) ink += l->pix[size_t(y) * 128 + size_t(x)] == 6;
    EXPECT_GT(ink, 10);
    int below = 0;
    for (int y = 34; y < 52; ++y)
        for (int x = 0; x < 128; ++x) below += l->pix[size_t(y) * 128 + size_t(x)] == 6;
    EXPECT_EQ(below, 0);
    fenn_destroy_bitmap(l);

    write_bytes(root + "p.qz.png", png_cart("-- png"));
    l = browse_label_from_file((root + "p.qz.png").c_str());
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->pix[70 * 128 + 70], 12);
    fenn_destroy_bitmap(l);

    write_file(root + "x.qz", "just text\n");
    EXPECT_EQ(browse_label_from_file((root + "x.qz").c_str()), nullptr);
    write_file(root + "fake.qz.png", "not a png");
    EXPECT_EQ(browse_label_from_file((root + "fake.qz.png").c_str()), nullptr);
    EXPECT_EQ(browse_label_from_cart_lid("nothing_here"), nullptr);
}

namespace {

// Pixels of colour `c` in the rectangle [x0, x1) x [y0, y1).
int ink_in(const fenn_bitmap* b, int x0, int y0, int x1, int y1, int c) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += b->pix[size_t(y) * size_t(b->w) + size_t(x)] == c;
    return n;
}

}  // namespace

TEST_F(Lists, CommentLabelsWrapInsideTheLabel) {
    // Two lines far wider than the label: words, and one word longer than a row.
    const std::string words = "-- a very long title line for this text cartridge, past the edge";
    const std::string long_word = "--" + std::string(40, 'w') + " end";
    ASSERT_EQ(words.size(), 64u);  // the label keeps 63 characters of a line, cut between words
    const std::string kept = "-- a very long title line for this text cartridge, past the";
    EXPECT_EQ(browse_comment_preview(words), kept);
    const std::string cart = text_cart((words + "\n" + long_word + "\ncode()").c_str());
    fenn_bitmap* l = browse_label_from_bytes(reinterpret_cast<const uint8_t*>(cart.data()), cart.size());
    ASSERT_NE(l, nullptr);
    // Every glyph drawn: as much ink as the two texts drawn on one long row.
    fenn_bitmap* wide = fenn_create_bitmap(600, 8, 8);
    fenn_clear_bitmap(wide, 0);
    fenn_draw_text_ex(wide, kept.c_str(), font, 0, 0, fenn_text_single_colour, 6);
    const int want = ink_in(wide, 0, 0, 600, 8, 6);
    fenn_clear_bitmap(wide, 0);
    fenn_draw_text_ex(wide, long_word.c_str(), font, 0, 0, fenn_text_single_colour, 6);
    const int want_long = ink_in(wide, 0, 0, 600, 8, 6);
    fenn_destroy_bitmap(wide);
    EXPECT_EQ(ink_in(l, 0, 0, 128, 128, 6), want + want_long);
    // ... clear of both edges, and above the list panel (y 72 on).
    EXPECT_EQ(ink_in(l, 0, 0, 2, 128, 6), 0);
    EXPECT_EQ(ink_in(l, 126, 0, 128, 128, 6), 0);
    EXPECT_EQ(ink_in(l, 0, 72, 128, 128, 6), 0);
    // The first line starts on the first row, as a short one would.
    EXPECT_GT(ink_in(l, 0, 22, 128, 27, 6), 10);
    fenn_destroy_bitmap(l);

    // More comment than fits: the rows that fit, and still none on the panel.
    std::string many;
    for (int i = 0; i < 5; ++i) many += words + "\n";
    const std::string full = text_cart((many + "code()").c_str());
    l = browse_label_from_bytes(reinterpret_cast<const uint8_t*>(full.data()), full.size());
    ASSERT_NE(l, nullptr);
    EXPECT_GT(ink_in(l, 0, 64, 128, 69, 6), 10);
    EXPECT_EQ(ink_in(l, 0, 69, 128, 128, 6), 0);
    EXPECT_EQ(ink_in(l, 0, 0, 2, 128, 6), 0);
    EXPECT_EQ(ink_in(l, 126, 0, 128, 128, 6), 0);
    fenn_destroy_bitmap(l);
}

TEST_F(Lists, EnteringReadsFavouritesOthersAppended) {
    write_file(root + "mine.qz", text_cart(""));
    browse_open(M);
    EXPECT_EQ(list(browse_fav).count(), 0);
    // Another writer appends a favourite while the browser is closed.
    std::ofstream(home + "/favourites.txt", std::ios::app)
        << "|0                    |0                    |0      |vexel            |games/game.qz        |game\n";
    browse_open(M);
    ASSERT_EQ(list(browse_fav).count(), 1);
    browse_data.current = browse_local;
    browse_toggle_favourite();
    const std::string text = read_file(home + "/favourites.txt");
    EXPECT_NE(text.find("games/game.qz"), std::string::npos);
    EXPECT_NE(text.find("mine.qz"), std::string::npos);
}

// The board's address: only http, https and file addresses are taken; a
// board on disk is read from the files a server would answer with.
TEST_F(Lists, BoardAddressesAndBoardsOnDisk) {
    for (const char* bad : {"", "ftp://x", "board.test", "http://", "http://a b", "javascript:alert(1)", "file://"})
        EXPECT_FALSE(browse_set_bbs_host(bad)) << bad;
    EXPECT_EQ(browse_bbs_host(), "https://board.test");  // unchanged by the refusals
    ASSERT_TRUE(browse_set_bbs_host("HTTP://127.0.0.1:8080//"));
    EXPECT_EQ(browse_bbs_host(), "HTTP://127.0.0.1:8080");
    EXPECT_FALSE(browse_host_is_folder());

    // A board folder with a blank in its name.
    const std::string board = home + "/my board";
    for (const char* f : {"bbs/lists/new/0.png", "bbs/lists/featured/32.png", "bbs/lists/search/ghost/0.png"}) {
        std::filesystem::create_directories(std::filesystem::path(board + "/" + f).parent_path());
        write_file(board + "/" + f, "x");
    }
    const std::string url = "file://" + home + "/my%20board";
    ASSERT_TRUE(browse_set_bbs_host((url + "/").c_str()));
    EXPECT_TRUE(browse_host_is_folder());
    EXPECT_EQ(browse_host_folder_path("bbs/x"), board + "/bbs/x");
    EXPECT_EQ(browse_list_url(list(browse_new).request, -1), url + "/bbs/l/new/top.png");
    EXPECT_EQ(browse_list_url(list(browse_top).request, 1), url + "/bbs/l/featured/0/1.png");
    char search[browse_request_max + 1];
    browse_search_request("ghost town", search, sizeof search);
    EXPECT_STREQ(search, "search/ghost");
    EXPECT_EQ(browse_list_url(search, -1), url + "/bbs/s/gh/o/ghost/top.png");
    // A text without a word asks for nothing.
    browse_search_request("?!", search, sizeof search);
    EXPECT_STREQ(search, "");
    EXPECT_EQ(browse_list_url(list(browse_fav).request, -1), "");
    EXPECT_EQ(browse_cart_url("12345"), url + "/" + cart_board_cart_path("12345"));
    // A word the board on disk has no folder for: no results, nothing fetched.
    browse_init();
    std::snprintf(list(browse_search).request, sizeof list(browse_search).request, "search/zebra");
    EXPECT_FALSE(browse_download_list(browse_search, false));
    EXPECT_EQ(titles(browse_search), (std::vector<std::string>{"[search]"}));
    EXPECT_EQ(browse_discussion_url("my_game"), url + "/" + cart_board_post_path("my_game"));
}
