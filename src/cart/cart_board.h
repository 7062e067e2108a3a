// cart_board: where a cartridge board keeps its files.
//
// A board is a static site: list pictures, PNG cartridges and web pages at
// fixed paths under one root, which the browser requests directly as files,
// so that any static host or CDN serves a board with no rewrite rules. The
// board builder that writes the files and the browser that reads them (over
// http(s) or file://) both use the functions here, so the two can never
// disagree about a path.
//
// Cartridges: every id lies in one of 4096 bucket folders named by a hash of
// the id (three hex digits), with its PNG cartridge, its label and its page:
//   bbs/c/<bucket>/<id>.qz.png, <id>.png, <id>.html
// so that no folder holds more than a few thousand entries at a million
// cartridges.
//
// Lists: a list is a key, "new", "featured", "wip", "collab", "jam" or
// "search/<word>", kept in a folder of list pictures (board_picture.h):
//   bbs/l/<list>/                          the five lists
//   bbs/s/<w0w1>/<w2 or _>/<word>/         a search word (fanned out by its
//                                          first letters)
// Its pages are anchored from the oldest entry: page p holds the entries that
// joined the list as its 32p-th to 32p+31-th (newest first within the page),
// at <folder>/<p / 1000>/<p>.png, and the newest page is also the head,
// <folder>/top.png, the only file a browser asks for first. Every picture
// names the page to load after it ("load more"). Adding an entry rewrites the
// head and, when the newest page fills up, one page: a bounded number of
// files whatever the list's length. A list that has no folder is empty (a
// search for a word no title or author holds).
//
// Search words are folded (cart_fold.h): lower case, accents dropped, a-z 0-9
// and _ only; a search text's word is its first run of those, at most 22
// characters, at least two.
//
// Invariant: every path returned is relative, uses only a-z 0-9 _ - . and
// '/', and never holds "..": ids and search words are checked before they
// name a file.
#pragma once
#include <cstdint>
#include <string>

constexpr int cart_board_page_entries = 32;   // entries of one list picture
constexpr int cart_board_search_key_min = 2;
constexpr int cart_board_search_key_max = 22;
constexpr int cart_board_page_max = 99999999; // pages of one list (3.2 billion entries)
constexpr int cart_board_pages_per_folder = 1000;
constexpr int cart_board_buckets = 4096;
constexpr int cart_board_id_max = 128;
constexpr int cart_board_list_key_max = 8 + cart_board_search_key_max;  // "search/" + word

// The five lists a board serves besides search results.
struct cart_board_list_def {
    const char* name;     // its key and folder under bbs/l/
    const char* title;    // shown on the web pages
};
constexpr int cart_board_list_defs = 5;
extern const cart_board_list_def cart_board_lists[cart_board_list_defs];
constexpr const char* cart_board_search_prefix = "search/";

// A board id: 2 to 128 characters of a-z 0-9 _ (a number or a name).
bool cart_board_id_valid(const char* id);
// The bucket folder of an id, "bbs/c/<3 hex digits>", or "" when not valid.
std::string cart_board_bucket_path(const char* id);
// "bbs/c/<bucket>/<id>.qz.png", or "" when the id is not valid.
std::string cart_board_cart_path(const char* id);
// The web page of a cartridge, "bbs/c/<bucket>/<id>.html", or "".
std::string cart_board_post_path(const char* id);
// The label picture of a cartridge, "bbs/c/<bucket>/<id>.png", or "".
std::string cart_board_label_path(const char* id);

// The search word of a search text (UTF-8; folded), or "" when it has none.
std::string cart_board_search_key(const char* text);
// Whether a list key is one of the five lists or "search/<word>" with a
// sound word.
bool cart_board_list_key_valid(const char* key);
// The folder of a list ("bbs/l/new", "bbs/s/gh/o/ghost"), or "".
std::string cart_board_list_folder(const char* key);
// The head of a list, "<folder>/top.png", or "".
std::string cart_board_list_head_path(const char* key);
// Page `page` of a list, "<folder>/<page / 1000>/<page>.png", or "" for a
// key that is not valid or a page outside 0..cart_board_page_max.
std::string cart_board_list_page_path(const char* key, int page);

// An example nginx server block serving a board's files from `root` (an
// absolute folder) on `port`, with caching headers: lists and pages are
// looked at again soon, cartridges and labels are kept longer. A missing
// search word is an ordinary 404, not logged.
std::string cart_board_nginx_server(const char* root, int port);
