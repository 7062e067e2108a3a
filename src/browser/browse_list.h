// browse_list: the cartridge browser's eight lists and what fills them.
//
// Owns the lists (local folder, favourites, six board lists), their items and
// the items' label bitmaps, the current list and sub-folder, the running item,
// the favourites file and the names of the download cache. The browser
// screen (browse.h) and the downloads (browse_download.h) act on this state.
//
// Invariants:
//  - Every text field of an item is NUL-terminated within its array.
//  - A label belongs to exactly one item (or to nobody): it is destroyed
//    when its list is refilled or its item removed. The running item never
//    owns a label.
//  - A list holds at most browse_items_max items; `selection` may lie outside
//    the list (clamped by the callers), and reading outside gives the dummy.
//  - File names are only ever formed from a lid that passed
//    browse_lid_is_valid, so a board id can never name a path outside the
//    cache.
//
// Readers of untrusted bytes (list pictures from the board, the favourites
// file) take a buffer and a length, check sizes before allocating and read
// what is sound; nothing they are given crashes them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/fenn_bitmap.h"

constexpr int browse_list_count = 8;
constexpr int browse_text_max = 128;         // title, author, lid, mid
constexpr int browse_path_max = 1024;        // relative path of a local cartridge
constexpr int browse_author_keep = 16;       // characters of an author name kept
constexpr int browse_request_max = 1024;
constexpr int browse_list_title_max = 32;
constexpr int browse_search_max = 22;        // characters of a search text
constexpr int browse_items_max = 1024;       // items of one list
constexpr int browse_label_size = 128;
constexpr int browse_pic_w = 1024, browse_pic_h = 544;  // list picture
constexpr int browse_pic_columns = 8, browse_pic_entries = 32, browse_pic_cell_h = 136;
constexpr int browse_pic_next_row = 133;     // of the first cell: "next N", the page after this one
constexpr size_t browse_file_max = size_t(16) << 20;    // largest picture or favourites file read
constexpr int browse_favourites_max_line = 4096;
constexpr int browse_view_rows = 6;          // rows of a list the browser shows at once

// Item kinds and icons.
enum browse_kind : int32_t {
    browse_kind_none = 0,
    browse_kind_cart = 1,
    browse_kind_dir = 2,
    browse_kind_update = 3,
    browse_kind_load_more = 5,
    browse_kind_search = 6,
};
constexpr int browse_icon_bbs = 176, browse_icon_text = 177, browse_icon_placeholder = 178,
              browse_icon_png = 180, browse_icon_dir = 181, browse_icon_parent = 185, browse_icon_list = 187;

enum browse_list_id : int {
    browse_local = 0, browse_fav = 1, browse_new = 2, browse_top = 3,
    browse_wip = 4, browse_collab = 5, browse_jam = 6, browse_search = 7,
};

struct browse_item {
    int32_t icon = 0;
    char title[browse_text_max + 1] = {};
    char author[browse_text_max + 1] = {};
    char path[browse_path_max + 1] = {};
    char lid[browse_text_max + 1] = {};
    char mid[browse_text_max + 1] = {};
    int32_t catsub = 0;
    fenn_bitmap* label = nullptr;            // 128x128 8-bit, owned by the list
    int32_t label_tried = 0;                 // a lazy label was looked for (and may be none)
    int32_t kind = browse_kind_none;
    int32_t favourite = 0;                   // recomputed, never stored
};

struct browse_list {
    std::vector<browse_item> items;
    char name[16] = {};
    char request[browse_request_max + 1] = {};
    char title[browse_list_title_max + 1] = {};
    int32_t icon = 0;
    int32_t selection = 0;
    int32_t has_placeholder = 0;
    int32_t first = 0;                       // first row in view (see browse_clamp_selection)
    int32_t scroll = 0;                      // 16.16 pixels, easing toward the row in view
    int32_t search_entry = 0;
    char search_text[browse_search_max + 1] = {};
    int32_t search_cursor = 0;
    int32_t next_page = -1;                  // the board page "[load more]" fetches, -1 for none
    int count() const { return int(items.size()); }
};

struct browse_lists_state {
    browse_list lists[browse_list_count];
    int32_t current = 0;                     // list shown
    char subdir[browse_path_max + 1] = {};   // local sub-folder under the root, "" or ending in '/'
    browse_item running;                     // the item last launched (label not owned)
    int32_t created = 0;
    std::string root;                        // the cartridge folder the local list shows (with '/')
    const struct fenn_pod* font = nullptr;       // console font of text-cartridge labels; null draws none
};
extern browse_lists_state browse_data;

// Creates the eight lists (idempotent), reads the favourites file and the
// cached board lists, clears the search request.
void browse_init();
// Only the first step: the eight empty lists with their names and requests.
void browse_create_lists();
// Destroys every label and empties every list.
void browse_shutdown();

browse_list* browse_get_list(int list);       // null outside 0..7
// The item, or a zeroed dummy for any index (or list) out of range.
browse_item& browse_get_item(int list, int index);
// Clamps the selection into the list and scrolls the view (`first`) only as
// far as needed to show it with one row of context above and below, where
// the list has such a row: moving down, the selection reaches the
// second-to-last row in view before the list moves; at the list's ends it
// may stand on the first or last row in view.
void browse_clamp_selection(int list);

// Fills the list from root (app.root_path) + subdir. Returns 0.
int browse_list_from_directory(int list, const char* subdir);
// Fills the list from a favourites file. 0, or 1 when it cannot be read.
int browse_list_from_text_file(int list, const char* path);
// The same from favourites text in memory; returns the number of items added.
int browse_read_favourites(int list, const char* text, size_t length);
// Fills (or extends) a board list from a list picture file: 0, 1 when there
// is no readable picture, 2 when it is not 1024x544. The picture names the
// page that comes after it (next_page); "[load more]" ends the list while
// there is one.
int browse_list_from_png_file(int list, const char* path, bool append);
// The same from PNG bytes in memory.
int browse_read_list_picture(int list, const uint8_t* data, size_t size, bool append);

// Favourites: equality, flags, the file.
bool browse_items_equal(const browse_item& item, const browse_item& stored);
void browse_update_favourite_flags(int list);
// Toggles the selected item of the current list (kind 1 only).
void browse_toggle_favourite();
// Removes favourite `index`, rewrites the file. 
void browse_remove_favourite(int index);
// Reads "favourites.txt" again (after another writer, such as the
// install_games command, changed it).
void browse_reload_favourites();
// Writes the favourites list to "favourites.txt" (temporary name, then
// rename). 0, or 1 when it could not be written.
int browse_save_favourites();
// One favourites line as written (no newline check; the writer skips items
// whose fields would break the format).
std::string browse_favourite_line(const browse_item& item);

// Board ids and the cache.
bool browse_lid_is_valid(const char* lid);   // 2+ chars of a-z 0-9 _
std::string browse_cart_url_path(const char* lid);    // "" when not valid
std::string browse_cart_url(const char* lid);         // host + path, or ""
std::string browse_cart_cache_path(const char* lid);  // under the data folder, or ""
std::string browse_label_cache_path(const char* lid); // bbs/labels/<lid>.png, or ""
// The address of a board list's head (page < 0) or of one of its pages;
// `request` is the list's key (cart_board.h: "new", "search/ghost"). "" when
// there is no board or no such list.
std::string browse_list_url(const char* request, int page);
// Empties a search list to its "[search]" row: a search word the board has
// no folder for has no results.
void browse_list_no_results(int list);
std::string browse_list_cache_path(int list);          // bbs/<name>.pip.png
std::string browse_list_temp_path(int list, bool more);  // bbs/temp_<name>[__].pip.png
std::string browse_discussion_url(const char* lid);   // "" when not valid

// The board's address ("http://host[:port]", "https://...", or "file:///folder"
// of a built board). Trailing slashes are dropped. False (nothing changes)
// for anything else. Until one is set every URL is "" and downloads fail.
bool browse_set_bbs_host(const char* host);
const std::string& browse_bbs_host();
bool browse_host_is_valid(const char* host);
// The board is a folder read through file:// (lists are read from the files
// a server would answer with, see cart/cart_board.h).
bool browse_host_is_folder();
// The local path of `relative` under a file:// board ("" for other boards).
std::string browse_host_folder_path(const char* relative);

// Labels (8-bit 128x128, caller owns) or null.
fenn_bitmap* browse_label_from_file(const char* path);
// A comment line of a text cartridge as its label shows it: at most
// label_comment_chars characters, cut at a blank rather than inside a word.
std::string browse_comment_preview(std::string line);
fenn_bitmap* browse_label_from_cart_lid(const char* lid);
// Label for a PNG cartridge or text cartridge held in memory.
fenn_bitmap* browse_label_from_bytes(const uint8_t* data, size_t size);
// Makes sure the item has had its label looked for (lazily, once).
void browse_ensure_label(browse_item& item);

// Title and author cleaning as applied to board and favourites items: the
// UTF-8 text folded to what the font shows (accents dropped, unknown
// characters as "?", see cart/cart_fold.h), in lower case.
void browse_clean_title(char* title);
void browse_clean_author(char* author);
// Icon of a cartridge item from its ids and path.
int browse_cart_icon(const browse_item& item);
