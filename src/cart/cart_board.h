// cart_board: where a cartridge board keeps its files.
//
// A board is a static site: list pictures, PNG cartridges and discussion
// pages at fixed paths under one root. The browser asks for lists with a
// query ("/bbs/cpost_lister3.php?max=32&start_index=32&cat=7&sub=2&..."),
// which a web server answers from a static file; reading a board through a
// file:// address the browser maps the query itself. Both sides — the board
// builder that writes the files and the nginx server block it emits, and
// the browser's file:// reader — use the functions here, so the three can
// never disagree about a path.
//
// The mapping reads query values raw (not percent-decoded) and by the first
// occurrence of a name, as nginx's $arg_ variables do:
//   sub=2                -> lists/new         sub=2&orderby=rating -> lists/featured
//   sub=3                -> lists/wip         sub=4 -> lists/collab, sub=8 -> lists/jam
//   search=TEXT          -> lists/search/KEY, KEY being TEXT's leading run of
//                           a-z 0-9 _ (at most 22), or lists/search-none when
//                           that run is shorter than two characters
// and the page is "<start_index>.png". A request naming no list, or a
// start index that is not a plain number of at most six digits, maps to
// nothing; the server then answers, like for any list file that does not
// exist, with the empty list (cart_board_empty_list).
//
// Invariant: every path returned is relative, uses only a-z 0-9 _ - . and
// '/', and never holds "..": board ids and search keys are checked before
// they name a file.
#pragma once
#include <string>

constexpr int cart_board_page_entries = 32;   // entries of one list picture
constexpr int cart_board_search_key_min = 2;
constexpr int cart_board_search_key_max = 22;
constexpr int cart_board_start_max = 999999;  // six digits, as the server accepts
constexpr int cart_board_id_max = 128;

// The five lists a board serves besides search results, with the query
// values that ask for them.
struct cart_board_list_def {
    const char* name;     // folder under bbs/lists/
    const char* sub;      // value of "sub"
    const char* orderby;  // value of "orderby", "" for none
};
constexpr int cart_board_list_defs = 5;
extern const cart_board_list_def cart_board_lists[cart_board_list_defs];
constexpr const char* cart_board_search_none = "search-none";
// The empty list picture; the answer to a list query whose file does not
// exist (a search for a word no title or author holds, a page past the end).
constexpr const char* cart_board_empty_list = "bbs/lists/search-none/0.png";

// A board id: 2 to 128 characters of a-z 0-9 _ (a number or a name).
bool cart_board_id_valid(const char* id);
// "bbs/cposts/<id / 10000>/<id>.qz.png" for a numbered id of at most 15
// digits, "bbs/cposts/<first two>/<id>.qz.png" for a name; "" when the id
// is not valid.
std::string cart_board_cart_path(const char* id);
// The discussion page of a cartridge, "bbs/posts/<id>.html", or "".
std::string cart_board_post_path(const char* id);

// The raw value of the first `name=` in a query ("" when absent). Names
// compare without regard to case.
std::string cart_board_query_value(const char* query, const char* name);
// The search key of a raw search text, or "" when it has none.
std::string cart_board_search_key(const char* text);
// The list folder a query names ("new", "search/abc", "search-none"), or "".
std::string cart_board_list_key(const char* query);
// "bbs/lists/<key>/<start>.png" for a list request (the query without its
// start index) and a start index, or "" as described above.
std::string cart_board_list_path(const char* request, int start);

// An nginx server block that answers a board's endpoints from the static
// files under `root` (an absolute folder), listening on `port`.
std::string cart_board_nginx_server(const char* root, int port);
