// board_manifest: the text file that says what a board holds.
//
// One cartridge per line, the file name first, then key=value fields
// (values with blanks in double quotes); '#' starts a comment line:
//
//   ghost_garden.qz  id=ghost_garden author=vexel post=1002 lists=new,featured rating=9
//   tunes.qz.png     id=20417 author="ana b" post=1003 lists=wip title="tunes, take 2"
//
//   id        the board id: 2 to 128 characters of a-z 0-9 _ (required)
//   author    who made it (required)
//   post      the post number, a whole number from 1 (required); the "new"
//             list shows larger numbers first
//   lists     one or more of new, featured, wip, collab, jam (required)
//   rating    a whole number ordering "featured", highest first (default 0)
//   category  the category number shown with the entry (default: 2 for new
//             and featured, 3 wip, 4 collab, 8 jam, after the first list)
//   mid       a second id of digits (optional)
//   title     the title (default: the program's first comment line)
//
// The reader takes the text and a name for messages, checks every line and
// reports each problem as "NAME:LINE: what"; ids and post numbers must be
// unique.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

constexpr size_t board_manifest_max = size_t(1) << 20;   // the in-memory reader's limit (the build streams)
constexpr size_t board_manifest_line_max = 16384;         // a longer line is refused, naming its line
constexpr int board_text_max = 127;                       // title and author bytes kept
constexpr long long board_number_max = 2147483647;   // post and second ids are read back with %d

struct board_entry {
    std::string file;        // as written, relative to the source folder
    std::string id;
    std::string author;
    std::string title;       // "" when the cartridge's own is taken
    std::string mid;
    long long post = 0;
    int rating = 0;
    int category = 0;
    unsigned lists = 0;      // bit i: cart_board_lists[i]
    int line = 0;            // in the manifest, for messages
};

// At most `max` bytes of a UTF-8 text, cut before a whole character.
std::string board_cut_text(const std::string& text, size_t max);

// Parses one line (without its newline) numbered `number`: 1 and `out` set
// for an entry, 0 for a blank or comment line, -1 with its problems added to
// `errors`. Uniqueness of ids and posts is the caller's to check.
int board_read_manifest_line(const std::string& line, int number, const char* name, board_entry* out,
                             std::vector<std::string>* errors);
// Parses a whole manifest held in memory. Returns true when every line was sound; otherwise
// `errors` holds one message per problem (and `entries` what was sound).
bool board_read_manifest(const char* text, size_t length, const char* name, std::vector<board_entry>* entries,
                         std::vector<std::string>* errors);
