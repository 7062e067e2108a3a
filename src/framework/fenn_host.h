// fenn_host: services of the host system — directory search, and opening a
// folder or web page in the desktop's own program.
//
// Nothing here goes through a shell: a target is handed over whole, so names
// and addresses reach the opener verbatim whatever characters they hold
// (quotes, '$', ';'), and a path never starts with '-'.
#pragma once
#include <dirent.h>

#include <cstdint>
#include <string>

constexpr int fenn_find_name_max = 256;
constexpr int fenn_find_dir_bit = 0x4000;   // mode bit of folders, for the search mask

// A directory search in progress. Closing is idempotent; the destructor
// closes an open search.
struct fenn_search {
    char folder[fenn_find_name_max + 1] = {};
    char name[fenn_find_name_max + 1] = {};   // current entry
    int mode = 0;                             // its mode bits
    int64_t size = 0;                         // its size in bytes
    DIR* dir = nullptr;
    std::string suffix;                       // lower-case; empty matches every name
    std::string exact;                        // lower-case; a pattern without '*'
    int mask = 0;
    fenn_search() = default;
    fenn_search(const fenn_search&) = delete;
    fenn_search& operator=(const fenn_search&) = delete;
    ~fenn_search();
};

// Starts a search of `folder` for names matching `pattern` ("*" every name,
// "*SUFFIX" names ending in SUFFIX regardless of case, anything else that
// exact name regardless of case) whose file-type bits (S_IFMT) share a bit
// with `mask`: fenn_find_dir_bit selects folders, its complement the rest. "."
// and ".." are never returned. Returns 0 with the first entry filled in,
// non-zero when there is none.
int fenn_find_first(const char* folder, const char* pattern, fenn_search* search, int mask);
// The next entry: 0 when one was found, non-zero when none is left.
int fenn_find_next(fenn_search* search);
void fenn_find_close(fenn_search* search);

// Whether a name matches a search pattern (exposed for tests).
bool fenn_pattern_matches(const char* name, const char* pattern);

// Opens a web page (http, https) or a folder or file (a path, or file://) in
// the desktop's program for it. Returns 0 when it was handed over, 1 when the
// target is refused (another scheme, control characters), 2 when the host
// could not start the program.
int fenn_launch_html(const char* target);
// What fenn_launch_html hands to the host for a target, or "" when refused.
std::string fenn_launch_target(const char* target);
