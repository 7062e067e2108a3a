// board_site: a board as a static site, with its catalogue.
//
// The site (paths in cart/cart_board.h):
//
//   bbs/c/<bucket>/<id>.qz.png, .png, .html   each cartridge, its label and
//                                          its web page
//   bbs/l/<list>/top.png, <k>/<page>.png   the five lists as list pictures,
//                                          pages anchored from the oldest
//   bbs/l/<list>/top.html, <k>/<page>.html the same lists as web pages
//   bbs/s/<ab>/<c>/<word>/top.png, ...     search results for every word
//                                          prefix of every title and author
//   bbs/s/.../<word>/w.txt                 the newest 200 of them, for the
//                                          web search
//   bbs/a/<bucket>/<name>.html             a page per author
//   index.html, search.html, favicon.png   the newest cartridges, the search
//   nginx.conf                             an example server block
//   .vexel-board, .vexel-board.sqlite      the mark and the catalogue
//
// board_build makes a whole board from SOURCE/board.txt (board_manifest.h),
// read line by line (no size limit), in a fresh folder beside OUT which is
// renamed into place only when every line and every cartridge was sound;
// cartridges are converted and pages drawn by one worker process per core.
// A folder that exists, is not empty and does not carry the mark is never
// replaced. Work folders of builds that were killed are removed by the next
// build.
//
// board_add, board_remove and board_update change a built board in place:
// each runs in one catalogue transaction and rewrites only the files the
// change touches (the cartridge's files, the list and search pages it is
// on, its author's page, the index), each file written whole then renamed.
// A crash or kill leaves the catalogue as before or as after the command
// and every file either old or new; running the command again finishes it.
//
// board_check reads a built board back: every list picture decodes to
// 1024x544 and names cartridges that are on the board, every cartridge
// loads.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

struct cart_art;

constexpr const char* board_manifest_name = "board.txt";
constexpr const char* board_mark_name = ".vexel-board";
constexpr size_t board_list_picture_max = size_t(2) << 20;  // the browser fetches no larger list
constexpr size_t board_cart_file_max = size_t(1) << 20;     // nor a larger cartridge
constexpr int board_label_frames_max = 60;                  // frames run looking for a first picture
constexpr int board_default_port = 8080;
constexpr int board_workers_max = 16;                       // worker processes of a build
constexpr int board_search_file_entries = 200;              // entries of a word's web search file

struct board_build_options {
    std::string source;                 // folder of the manifest and the cartridges
    std::string out;                    // the site's folder
    int port = board_default_port;      // written into nginx.conf
    int workers = 0;                    // worker processes; 0: one per core
    const cart_art* art = nullptr;      // draws the PNG cartridges (null: a plain picture)
    const struct fenn_pod* font = nullptr;  // the text font programs print with (null: none drawn)
};

// What `add` and `update` are given; empty fields are not changed by update.
struct board_change {
    std::string cart;                   // a cartridge file (.qz or .qz.png)
    std::string id;                     // add: "" takes the post number
    std::string author, title, lists;   // lists: "new,wip"
    bool set_rating = false;
    int rating = 0;
};

struct board_report {
    std::vector<std::string> errors;    // one line each, "file:line: what" where there is a line
    int carts = 0;
    int pictures = 0;                   // list pictures written or checked
    int files = 0;                      // files written
    std::string id;                     // the cartridge added
};

bool board_build(const board_build_options& options, board_report* report);
bool board_add(const board_build_options& options, const board_change& change, board_report* report);
bool board_update(const board_build_options& options, const std::string& id, const board_change& change,
                  board_report* report);
bool board_remove(const board_build_options& options, const std::string& id, board_report* report);
bool board_check(const char* out, board_report* report);
