// board_site: a board as a static site, built from a folder of cartridges.
//
// board_build reads SOURCE/board.txt (board_manifest.h) and the cartridges it
// names, and writes the whole site under OUT:
//
//   bbs/cposts/...              every cartridge as a PNG cartridge, at the
//                               path of its id (cart_board_cart_path)
//   bbs/lists/<list>/<n>.png    the five lists, 32 entries a picture, n the
//                               start index (0, 32, ...; a full last page is
//                               followed by an empty one, so "load more" ends)
//   bbs/lists/search/<key>/<n>.png   search results for every word of every
//                               title and author and each prefix of two or
//                               more characters; search-none/0.png is empty
//   bbs/posts/<id>.html, .png   a page per cartridge and its label
//   index.html                  every cartridge, newest first
//   nginx.conf                  a server block answering the board's queries
//   .vexel-board                marks the folder as a board (see below)
//
// A text cartridge is converted with its own label, or the picture its
// program shows first. Nothing is written unless every cartridge and every
// manifest line is sound: the site is made in a fresh folder beside OUT and
// put in place by renaming, replacing an earlier board there. A folder that
// exists, is not empty and does not carry the mark is never replaced.
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

struct board_build_options {
    std::string source;                 // folder of the manifest and the cartridges
    std::string out;                    // the site's folder
    int port = board_default_port;      // written into nginx.conf
    const cart_art* art = nullptr;      // draws the PNG cartridges (null: a plain picture)
    const struct fenn_pod* font = nullptr;  // the text font programs print with (null: none drawn)
};

struct board_report {
    std::vector<std::string> errors;    // one line each, "file:line: what" where there is a line
    int carts = 0;
    int pictures = 0;                   // list pictures written or checked
};

bool board_build(const board_build_options& options, board_report* report);
bool board_check(const char* out, board_report* report);
