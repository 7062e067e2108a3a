// board_html: the web pages of a board, so that people can look at the same
// board in a web browser: list pages (newest, featured, work in progress,
// collaboration, jam), a page per cartridge, a page per author and a search
// page whose small script reads the search files the builder writes.
//
// Every link is relative: each page is given `root`, the way from its folder
// to the top of the site ("", "../../../"), so the pages work from any host
// and from a folder on disk. Every text from a manifest or a program is
// escaped. Pages carry a viewport line for phones and the board's favicon.
#pragma once
#include <string>
#include <vector>

// One cartridge as a list shows it.
struct board_html_entry {
    std::string id, title, author;
};

struct board_html_cart {
    std::string id, title, author, description, lists, date, controls;
    long long post = 0, size = 0;
    bool player = false;  // the site holds the web player (board_player_folder): the page plays the cartridge
};

// Where a site keeps the web player (vexel.html, player.js, vexel.js,
// vexel.wasm) and the script that puts it into a cartridge's page.
constexpr const char* board_player_folder = "play/";
constexpr const char* board_player_script_name = "board.js";

// Text with & < > " ' written as entities.
std::string board_html_escape(const std::string& text);
// Where an author's page lies, "bbs/a/<bucket>/<name>.html" (a folded,
// file-safe form of the name and a hash that tells apart names folding alike).
std::string board_author_path(const std::string& author);
// The page of a cartridge (at cart_board_post_path, beside its label and
// cartridge).
std::string board_cart_html(const board_html_cart& cart, const std::string& root);
// A page of a list: `list` its key, `entries` newest first, `older` the
// relative link to the next page ("" for none).
std::string board_list_html(const std::string& list, const std::vector<board_html_entry>& entries,
                            const std::string& older, const std::string& root);
// An author's page, every cartridge newest first.
std::string board_author_html(const std::string& author, const std::vector<board_html_entry>& entries,
                              const std::string& root);
// play/board.js: a cartridge page's "play" button puts the player there,
// in a frame, playing the page's cartridge; ?play=1 (and the player's own
// seed= and frames=) start it at once, and the player's "vexel done HASH"
// title becomes the page's.
std::string board_player_script();
// The search page (at the top of the site).
std::string board_search_html();
// One line of a search word's file (bbs/s/.../<word>/w.txt): id, title and
// author separated by tabs, which the texts never hold.
std::string board_search_line(const board_html_entry& e);
