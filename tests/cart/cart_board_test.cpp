// Where a board keeps its files: the one mapping from ids and list keys to
// paths that the board builder and the browser share, and the folding of
// board text that both apply.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cart/cart_board.h"
#include "cart/cart_fold.h"

TEST(CartBoard, CartridgesLiveInTheBucketOfTheirId) {
    const std::string b = cart_board_bucket_path("12345");
    ASSERT_EQ(b.size(), std::string("bbs/c/000").size());
    EXPECT_EQ(cart_board_cart_path("12345"), b + "/12345.qz.png");
    EXPECT_EQ(cart_board_post_path("12345"), b + "/12345.html");
    EXPECT_EQ(cart_board_label_path("12345"), b + "/12345.png");
    for (const char* bad : {"", "a", "My_game", "my-game", "../x", "a/b", "a b", "x\n"}) {
        EXPECT_EQ(cart_board_cart_path(bad), "") << bad;
        EXPECT_EQ(cart_board_post_path(bad), "") << bad;
        EXPECT_EQ(cart_board_label_path(bad), "") << bad;
    }
    EXPECT_FALSE(cart_board_id_valid(std::string(129, 'a').c_str()));
    EXPECT_TRUE(cart_board_id_valid(std::string(128, 'a').c_str()));
    // Ids sharing their beginning spread over the buckets: at a million
    // cartridges no folder holds more than a few thousand files.
    std::set<std::string> buckets;
    for (int i = 0; i < 20000; ++i) buckets.insert(cart_board_bucket_path(("game_" + std::to_string(i)).c_str()));
    EXPECT_GT(buckets.size(), 4000u);
}

TEST(CartBoard, ListsAreFoldersOfPagesAndAHead) {
    EXPECT_EQ(cart_board_list_head_path("new"), "bbs/l/new/top.png");
    EXPECT_EQ(cart_board_list_page_path("featured", 0), "bbs/l/featured/0/0.png");
    EXPECT_EQ(cart_board_list_page_path("jam", 1234), "bbs/l/jam/1/1234.png");
    EXPECT_EQ(cart_board_list_head_path("search/ghost"), "bbs/s/gh/o/ghost/top.png");
    EXPECT_EQ(cart_board_list_head_path("search/gh"), "bbs/s/gh/_/gh/top.png");
    EXPECT_EQ(cart_board_list_page_path("search/ghost", 2), "bbs/s/gh/o/ghost/0/2.png");
    for (const char* bad : {"", "news", "search/", "search/a", "search/Ghost", "search/../x", "search/a b",
                            "search/abcdefghijklmnopqrstuvw", "../new", "new/"})
        EXPECT_EQ(cart_board_list_head_path(bad), "") << bad;
    EXPECT_EQ(cart_board_list_page_path("new", -1), "");
    EXPECT_EQ(cart_board_list_page_path("new", cart_board_page_max + 1), "");
    EXPECT_NE(cart_board_list_page_path("new", cart_board_page_max), "");
}

TEST(CartBoard, SearchWordsAreTheFirstFoldedWord) {
    EXPECT_EQ(cart_board_search_key("ghost town"), "ghost");
    EXPECT_EQ(cart_board_search_key("  Ghost"), "ghost");
    EXPECT_EQ(cart_board_search_key("Ñandú"), "nandu");
    EXPECT_EQ(cart_board_search_key("abcdefghijklmnopqrstuvwxyz"), "abcdefghijklmnopqrstuv");
    for (const char* none : {"", "a", "?!", "..", "a b", "★"}) EXPECT_EQ(cart_board_search_key(none), "") << none;
}

TEST(CartBoard, TheExampleServerBlockServesFilesWithCachingAndQuietMisses) {
    const std::string conf = cart_board_nginx_server("/srv/board", 8123);
    EXPECT_NE(conf.find("listen 8123;"), std::string::npos);
    EXPECT_NE(conf.find("root /srv/board;"), std::string::npos);
    EXPECT_NE(conf.find("log_not_found off;"), std::string::npos);
    EXPECT_NE(conf.find("Cache-Control"), std::string::npos);
    EXPECT_EQ(conf.find("rewrite"), std::string::npos);  // files as they are
    int depth = 0;
    for (char c : conf) {
        if (c == '{') ++depth;
        if (c == '}') --depth;
        EXPECT_GE(depth, 0);
    }
    EXPECT_EQ(depth, 0);
}

TEST(CartFold, AccentsFoldToTheirLettersAndTheUnknownToAQuestionMark) {
    EXPECT_EQ(cart_fold_text("Café Ñandú ★ über"), "Cafe Nandu ? uber");
    EXPECT_EQ(cart_fold_lower("José STRAßE Łódź Œuvre"), "jose strasse lodz oeuvre");
    EXPECT_EQ(cart_fold_text("“quoted” – it’s…"), "\"quoted\" - it's...");
    EXPECT_EQ(cart_fold_text("a\tb"), "a b");
    // Broken UTF-8: one "?" a bad byte, never a byte passed through.
    EXPECT_EQ(cart_fold_text("caf\xe9!"), "caf?!");
    EXPECT_EQ(cart_fold_text("x\xc3"), "x?");
    EXPECT_EQ(cart_fold_text("\xc0\xaf"), "?");      // an overlong '/'
    EXPECT_EQ(cart_fold_text("\xed\xa0\x80"), "?");  // a surrogate
    EXPECT_EQ(cart_fold_text("😀"), "?");
    // Never longer than the text (the browser folds in place).
    for (const char* s : {"ß", "æ", "…", "Ĳ", "Þ", "\xff\xfe"}) EXPECT_LE(cart_fold_text(s).size(), std::string(s).size()) << s;
}
