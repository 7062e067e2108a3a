// Where a board keeps its files: the one mapping from ids and list queries
// to paths that the board builder, its server block and the browser share.
#include <gtest/gtest.h>

#include <string>

#include "cart/cart_board.h"

TEST(CartBoard, CartridgesAndPagesLiveAtTheirIdsPaths) {
    EXPECT_EQ(cart_board_cart_path("12345"), "bbs/cposts/1/12345.qz.png");
    EXPECT_EQ(cart_board_cart_path("42"), "bbs/cposts/0/42.qz.png");
    EXPECT_EQ(cart_board_cart_path("my_game"), "bbs/cposts/my/my_game.qz.png");
    // Too many digits to divide: a name.
    EXPECT_EQ(cart_board_cart_path("1234567890123456"), "bbs/cposts/12/1234567890123456.qz.png");
    EXPECT_EQ(cart_board_post_path("my_game"), "bbs/posts/my_game.html");
    for (const char* bad : {"", "a", "My_game", "my-game", "../x", "a/b", "a b", "x\n"}) {
        EXPECT_EQ(cart_board_cart_path(bad), "") << bad;
        EXPECT_EQ(cart_board_post_path(bad), "") << bad;
    }
    EXPECT_FALSE(cart_board_id_valid(std::string(129, 'a').c_str()));
    EXPECT_TRUE(cart_board_id_valid(std::string(128, 'a').c_str()));
}

TEST(CartBoard, QueryValuesAreRawFirstAndCaseBlindInTheName) {
    EXPECT_EQ(cart_board_query_value("max=32&start_index=0&cat=7&sub=2", "sub"), "2");
    EXPECT_EQ(cart_board_query_value("sub=3&sub=2", "sub"), "3");
    EXPECT_EQ(cart_board_query_value("SUB=4", "sub"), "4");
    EXPECT_EQ(cart_board_query_value("search=a%20b&x", "search"), "a%20b");
    EXPECT_EQ(cart_board_query_value("subx=2&xsub=3", "sub"), "");
    EXPECT_EQ(cart_board_query_value("sub", "sub"), "");
    EXPECT_EQ(cart_board_query_value("", "sub"), "");
}

TEST(CartBoard, ListRequestsMapToOneFolderEach) {
    EXPECT_EQ(cart_board_list_path("cat=7&sub=2", 0), "bbs/lists/new/0.png");
    EXPECT_EQ(cart_board_list_path("cat=7&sub=2&orderby=rating", 32), "bbs/lists/featured/32.png");
    EXPECT_EQ(cart_board_list_path("cat=7&sub=3", 64), "bbs/lists/wip/64.png");
    EXPECT_EQ(cart_board_list_path("cat=7&sub=4", 0), "bbs/lists/collab/0.png");
    EXPECT_EQ(cart_board_list_path("cat=7&sub=8", 0), "bbs/lists/jam/0.png");
    // Search: the leading word of the text, at most 22 characters.
    EXPECT_EQ(cart_board_list_path("cat=7&search=ghost&max=32", 0), "bbs/lists/search/ghost/0.png");
    EXPECT_EQ(cart_board_list_path("cat=7&search=ghost%20town&max=32", 0), "bbs/lists/search/ghost/0.png");
    EXPECT_EQ(cart_board_list_path("search=abcdefghijklmnopqrstuvwxyz", 0),
              "bbs/lists/search/abcdefghijklmnopqrstuv/0.png");
    EXPECT_EQ(cart_board_list_path("search=a", 0), "bbs/lists/search-none/0.png");
    EXPECT_EQ(cart_board_list_path("search=%2e%2e", 0), "bbs/lists/search-none/0.png");
    EXPECT_EQ(cart_board_list_path("search=..%2f..%2fetc", 0), "bbs/lists/search-none/0.png");
    EXPECT_EQ(cart_board_list_path("search=Ghost", 0), "bbs/lists/search-none/0.png");
    // Nothing else names a file.
    for (const char* none : {"", "cat=7", "cat=7&orderby=favourites&uid=1", "sub=2/../..", "sub=5", "sub=2&orderby=x"})
        EXPECT_EQ(cart_board_list_path(none, 0), "") << none;
    EXPECT_EQ(cart_board_list_path("sub=2", -1), "");
    EXPECT_EQ(cart_board_list_path("sub=2", cart_board_start_max + 1), "");
    EXPECT_EQ(cart_board_list_path("sub=2", cart_board_start_max), "bbs/lists/new/999999.png");
}

TEST(CartBoard, TheServerBlockNamesEveryListAndTheChecksOfTheMapping) {
    const std::string conf = cart_board_nginx_server("/srv/board", 8123);
    EXPECT_NE(conf.find("listen 8123;"), std::string::npos);
    EXPECT_NE(conf.find("root /srv/board;"), std::string::npos);
    for (const cart_board_list_def& d : cart_board_lists)
        EXPECT_NE(conf.find(std::string("set $board_list ") + d.name + ";"), std::string::npos) << d.name;
    EXPECT_NE(conf.find("[a-z0-9_]{2,22}"), std::string::npos);
    EXPECT_NE(conf.find(cart_board_search_none), std::string::npos);
    // Braces balance, so nginx reads it as one block.
    int depth = 0;
    for (char c : conf) {
        if (c == '{') ++depth;
        if (c == '}') --depth;
        EXPECT_GE(depth, 0);
    }
    EXPECT_EQ(depth, 0);
}
