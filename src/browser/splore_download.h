// splore_download: the one background download of the browser and the
// console (board lists and board cartridges), and what happens when it ends.
//
// A worker thread runs the fetch (the host's wget unless a test sets another
// fetcher) into a private temporary file and, only while its download is
// still the current one, moves the result to the destination and sets the
// state to finished or failed. Everything else happens on the frame thread.
//
// Invariants:
//  - At most one download is current. Cancelling (or a timeout) makes the
//    state idle at once and never waits for the worker: a worker that ends
//    later sees that it is no longer current, removes its temporary file and
//    touches nothing else, so a late worker can never finish a newer
//    download or overwrite its file.
//  - The destination exists after "finished" only when the fetch wrote it
//    and, for a ".png" name, it decodes as a PNG.
//  - The state (splore_download_state) is written on the frame thread only.
#pragma once
#include <cstdint>
#include <string>

struct vexel_machine;

enum splore_download_state : int32_t {
    splore_dl_idle = 0,
    splore_dl_busy = 1,
    splore_dl_finished = 2,
    splore_dl_failed = 3,
};

constexpr int splore_dl_text_max = 1024;
constexpr int splore_message_ms = 1500;
constexpr int64_t splore_dl_settle_ms = 500;   // results are looked at no sooner

// Fetches `url` into `file`; 0 on success. On failure the file may be left
// incomplete (the caller removes it).
using splore_fetch_func = int (*)(const char* url, const char* file);
// Null restores the host's wget.
void splore_set_fetcher(splore_fetch_func fetch);

struct splore_download_info {
    char url[splore_dl_text_max + 1];
    char file[splore_dl_text_max + 1];       // destination
    char cache_copy[splore_dl_text_max + 1]; // where a finished list picture is copied, or ""
    int64_t start_ms;
};
extern splore_download_info splore_dl;

int splore_download_state();
// Whether the last download ended in failure (the busy icon is then not drawn).
bool splore_download_failed();
// Starts a list download of list `list` (its request) from `start`.
// Ignored unless idle. Returns true when started.
bool splore_download_list(int list, int start);
// Starts a cartridge download into the cache. A lid that cannot name a
// cartridge stops any running download and shows "download failed".
bool splore_download_cart(vexel_machine* m, const char* lid);
// The same for the console's load of a board cartridge; `chained` when a
// running program's load waits for it (the program then starts after 20
// frames).
bool splore_download_cart_for_load(vexel_machine* m, const char* lid, bool chained);
// Back to idle at once; shows `message` (when not null) for 1500 ms.
void splore_cancel_download(vexel_machine* m, const char* message);

// The browser's per-frame poll (timeout, completion).
void splore_update_download(vexel_machine* m);
// The console's per-frame poll while a program's load waits for a download.
void splore_update_load_download(vexel_machine* m);

// Waits (up to `ms`) until the current download is no longer busy; for
// tests and for shutdown. True when it is not busy.
bool splore_download_wait(int ms);
// The seconds a download may take (the timeout setting, 1..240).
int splore_download_timeout_s();
