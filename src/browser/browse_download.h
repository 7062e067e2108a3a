// browse_download: the one background download of the browser and the
// console (board lists and board cartridges), and what happens when it ends.
//
// A worker thread fetches the address into memory in-process (fenn_fetch,
// unless a test sets another fetcher), checks the body and, only while its
// download is still the current one, writes it to the destination with the
// atomic writer (fenn_write_file) and sets the state to finished or failed,
// all under one lock. Everything else happens on the frame thread.
//
// Invariants:
//  - At most one download is current. Cancelling (or a timeout) makes the
//    state idle at once and never waits for the worker: the transfer stops
//    by itself (its cancel predicate sees that the download is no longer
//    current), and a worker that ends later writes nothing and changes
//    nothing, so a late worker can never finish a newer download or
//    overwrite its file.
//  - The destination exists after "finished" only when the whole body
//    arrived, stayed within its size cap and, for a ".png" name, decodes as
//    a PNG. No temporary file of a download outlives it.
//  - The state (browse_download_state) is written on the frame thread only,
//    except for the worker's busy -> finished/failed step under the lock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/fenn_fetch.h"

struct vexel_machine;

enum browse_download_state : int32_t {
    browse_dl_idle = 0,
    browse_dl_busy = 1,
    browse_dl_finished = 2,
    browse_dl_failed = 3,
};

constexpr int browse_dl_text_max = 1024;
constexpr int browse_message_ms = 1500;
constexpr int64_t browse_dl_settle_ms = 500;   // results are looked at no sooner
// The largest bodies accepted: a board list picture (names with ".pip") is a
// 1024x544 PNG of a few hundred KiB, a cartridge (".qz.png") a 160x205 one;
// anything much larger is not what the board sends.
constexpr size_t browse_list_download_max = size_t(2) << 20;
constexpr size_t browse_cart_download_max = size_t(1) << 20;
constexpr int browse_progress_text_max = 16;

// How a download fetches: fenn_fetch's form, so that tests can stand in for
// the network (or wrap fenn_fetch). Runs on the worker thread; returns the
// status it also leaves in the result.
using browse_fetch_func = fenn_fetch_status (*)(const fenn_fetch_request& request, fenn_fetch_result* result);
// Null restores fenn_fetch. Taken by each download when it starts.
void browse_set_fetcher(browse_fetch_func fetch);

struct browse_download_info {
    char url[browse_dl_text_max + 1];
    char file[browse_dl_text_max + 1];       // destination
    char cache_copy[browse_dl_text_max + 1]; // where a finished list picture is copied, or ""
    int64_t start_ms;
};
extern browse_download_info browse_dl;

int browse_download_state();
// Whether the last download ended in failure (the busy icon is then not drawn).
bool browse_download_failed();
// Starts a list download of list `list` (its request): its head, or with
// `more` the page its "[load more]" names. Ignored unless idle. Returns true
// when started. A search for a word the board has no list for ends with no
// results (a board read as a folder is not even asked).
bool browse_download_list(int list, bool more);
// Starts a cartridge download into the cache. A lid that cannot name a
// cartridge stops any running download and shows "download failed".
bool browse_download_cart(vexel_machine* m, const char* lid);
// The same for the console's load of a board cartridge; `chained` when a
// running program's load waits for it (the program then starts after 20
// frames).
bool browse_download_cart_for_load(vexel_machine* m, const char* lid, bool chained);
// Back to idle at once; shows `message` (when not null) for 1500 ms.
void browse_cancel_download(vexel_machine* m, const char* message);

// The browser's per-frame poll (timeout, completion).
void browse_update_download(vexel_machine* m);
// The console's per-frame poll while a program's load waits for a download.
void browse_update_load_download(vexel_machine* m);

// Waits (up to `ms`) until the current download is no longer busy; for
// tests and for shutdown. True when it is not busy.
bool browse_download_wait(int ms);
// The seconds a download may take (the timeout setting, 1..240).
int browse_download_timeout_s();

// The running download's progress: bytes received so far and the size the
// server announced (-1 while unknown). False, with both 0, when no download
// is busy.
bool browse_download_progress(int64_t* received, int64_t* total);
// Progress for the screen: "45%" when the total is known, else the amount
// received ("512b", "12k").
void browse_progress_text(int64_t received, int64_t total, char* out, size_t size);
// Why the last download failed, for the log ("http 404", "too large", "not
// a picture"); "" after one that did not fail.
std::string browse_download_reason();
