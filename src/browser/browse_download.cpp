#include "browser/browse_download.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <memory>
#include <vector>

#include "browser/browse.h"
#include "browser/browse_list.h"
#include "cart/cart_load.h"
#include "cart/png_cart.h"
#include "framework/fenn_config.h"
#include "framework/fenn_file.h"
#include "framework/fenn_log.h"
#include "framework/fenn_path.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_png.h"
#include "framework/fenn_write.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "machine/disk.h"
#include "runtime/run.h"

browse_download_info browse_dl;

namespace {

constexpr int console_start_frames = 20;
constexpr int picture_check_side = 2048;
constexpr int64_t bytes_per_k = 1024;

// Shared with the worker threads. Never destroyed: a worker may still be
// finishing when the program exits.
struct shared_state {
    std::mutex lock;
    std::atomic<int32_t> state{browse_dl_idle};
    // The current download's number. Changed under the lock; read without
    // it by a running transfer's cancel predicate.
    std::atomic<uint64_t> generation{0};
    std::string reason;  // under the lock: why the current download failed
    bool timed_out = false;  // under the lock: it failed by running out of time
};
shared_state& shared() {
    static shared_state* s = new shared_state;
    return *s;
}

std::atomic<browse_fetch_func> fetcher{nullptr};

// Frame thread only: the current download's progress record, which its
// worker shares (a late worker keeps its own record alive and alone).
std::shared_ptr<fenn_fetch_progress> current_progress;
// What the last download reported, taken when its result was collected.
std::string last_reason;
// The last download ran out of time in the client. The frame thread's own
// clock usually says so first; when the client's does, the message is the same.
bool last_timed_out = false;

// What the console does with a finished cartridge download.
bool console_chained = false;
// The last download ended with "download failed" on the screen.
bool last_failed = false;
// The console row of the "downloading.." line while a console load waits,
// so the line is updated in place; -1 while there is none.
int console_line_row = -1;
char console_line_text[browse_progress_text_max + 32];

struct job {
    std::string url, file;
    uint64_t generation;
    browse_fetch_func fetch;  // taken when the download starts
    size_t max_bytes;
    int timeout_s;
    std::shared_ptr<fenn_fetch_progress> progress;
};

bool valid_png(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return false;
    fenn_bitmap* pic = nullptr;
    const bool ok = fenn_png_decode(bytes.data(), bytes.size(), &pic, picture_check_side, picture_check_side) == fenn_png_ok;
    fenn_destroy_bitmap(pic);
    return ok;
}

size_t size_cap(const std::string& file) {
    return file.find(".pip") != std::string::npos ? browse_list_download_max : browse_cart_download_max;
}

int worker(void* data) {
    std::unique_ptr<job> owned(static_cast<job*>(data));
    const job& j = *owned;
    shared_state& s = shared();
    const uint64_t generation = j.generation;

    fenn_fetch_request request;
    request.url = j.url;
    request.connect_timeout_s = j.timeout_s;
    request.timeout_s = j.timeout_s;
    request.max_bytes = j.max_bytes;
    request.progress = j.progress.get();
    // Cancelling only moves the generation on; the transfer notices here.
    request.cancelled = [&s, generation] { return s.generation.load() != generation; };
    fenn_fetch_result result;
    const fenn_fetch_status status = (j.fetch ? j.fetch : fenn_fetch)(request, &result);
    bool ok = status == fenn_fetch_ok;
    std::string reason = ok ? std::string() : result.reason.empty() ? fenn_fetch_status_text(status) : result.reason;
    // Checked before taking the lock: decoding takes a while, and cancelling
    // must not wait for it.
    if (ok && j.file.find(".png") != std::string::npos && !valid_png(result.body)) {
        ok = false;
        reason = "not a picture";
    }

    std::lock_guard<std::mutex> guard(s.lock);
    // Written only while still current, under the lock that cancelling
    // takes: a late worker writes nothing at all.
    if (s.generation.load() != generation || s.state.load() != browse_dl_busy) return 0;
    if (ok) {
        const fenn_write_result written = fenn_write_file(j.file.c_str(), result.body.data(), result.body.size());
        if (!written.ok()) {
            ok = false;
            reason = written.reason;
        }
    }
    s.reason = reason;
    s.timed_out = status == fenn_fetch_timed_out;
    s.state.store(ok ? browse_dl_finished : browse_dl_failed);
    return 0;
}

bool start(const std::string& url, const std::string& file, const std::string& cache_copy) {
    shared_state& s = shared();
    uint64_t generation;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.state.load() != browse_dl_idle) return false;
        generation = s.generation.load() + 1;
        s.generation.store(generation);
        s.reason.clear();
        s.timed_out = false;
        s.state.store(browse_dl_busy);
    }
    std::snprintf(browse_dl.url, sizeof browse_dl.url, "%s", url.c_str());
    std::snprintf(browse_dl.file, sizeof browse_dl.file, "%s", file.c_str());
    std::snprintf(browse_dl.cache_copy, sizeof browse_dl.cache_copy, "%s", cache_copy.c_str());
    browse_dl.start_ms = fenn_get_time();
    browse_reset_animation();
    console_chained = false;
    last_failed = false;
    last_reason.clear();
    console_line_row = -1;
    current_progress = std::make_shared<fenn_fetch_progress>();
    job* j = new job{url, file, generation, fetcher.load(), size_cap(file), browse_download_timeout_s(), current_progress};
    // The old file goes now, so that a failed download never leaves the
    // previous one looking like its result.
    std::remove(file.c_str());
    fenn_debug("download: %s -> %s\n", url.c_str(), file.c_str());
    // Detached: cancelling never waits for the fetch to end.
    if (SDL_Thread* t = SDL_CreateThread(worker, "download", j)) {
        SDL_DetachThread(t);
    } else {
        delete j;
        std::lock_guard<std::mutex> guard(s.lock);
        s.reason = "no thread";
        s.state.store(browse_dl_failed);  // no thread: fails like any other download
    }
    return true;
}

void back_to_idle() {
    shared_state& s = shared();
    {
        std::lock_guard<std::mutex> guard(s.lock);
        last_reason = s.state.load() == browse_dl_failed ? s.reason : std::string();
        last_timed_out = s.state.load() == browse_dl_failed && s.timed_out;
        s.generation.fetch_add(1);  // a worker still running is no longer current, and its transfer stops
        s.state.store(browse_dl_idle);
    }
    if (!last_reason.empty()) fenn_debug("download failed: %s\n", last_reason.c_str());
    current_progress.reset();
}

bool timed_out() {
    return fenn_get_time() - browse_dl.start_ms > int64_t(browse_download_timeout_s()) * 1000;
}

bool settled() { return fenn_get_time() - browse_dl.start_ms >= browse_dl_settle_ms; }

// Loads a downloaded cartridge as the working cartridge (showing what it
// warns of). 0, or the code of what went wrong: 1 not a picture (the board
// sent something else), 2 not a cartridge. A file that does not load is
// removed from the cache so that the next try fetches it again.
int load_downloaded_cart(vexel_machine* m, const char* path) {
    vexel_cart* cart = nullptr;
    int version = 0;
    const int st = png_cart_load(path, &cart, &version);
    if (st == cart_ok && cart) {
        vexel_prepare_loaded_cart(m, cart, path);
        browse_show_load_warnings(m);
        return 0;
    }
    std::remove(path);
    if (st == cart_unreadable) return 1;
    return 2;
}

// What the screen says of a failed download: the cause the client or the
// picture check gave ("http 404", "not a picture", "too large"), not only
// that it failed.
std::string failure_text() {
    if (last_timed_out) return "timeout";
    if (last_reason.empty() || last_reason == fenn_fetch_status_text(fenn_fetch_no_connection))
        return "could not connect to bbs.";
    return "bbs: " + last_reason;
}

const char* load_error_text(int code) {
    switch (code) {
    case 1: return "not a cartridge picture";
    default: return "could not load";
    }
}

bool copy_file(const char* from, const char* to) {
    fenn_file f;
    if (!fenn_file_open(f, from)) return false;
    const int64_t n = fenn_file_remaining(f);
    if (n < 0 || uint64_t(n) > browse_file_max) return false;
    std::vector<uint8_t> bytes(size_t(n), 0);
    if (fenn_file_read(f, bytes.data(), bytes.size()) != bytes.size()) return false;
    return fenn_write_file(to, bytes.data(), bytes.size()).ok();
}

// The console's "downloading.. 45%" line while a load waits at the prompt,
// drawn again in place whenever its text changes. Not while a program's load
// waits (its own screen is shown; the busy icon carries the progress) nor in
// exec mode (where every console line is output).
void console_progress_line(vexel_machine* m) {
    if (console_chained || vexel_host_exec_mode(m) || !m->screen) return;
    int64_t received = 0, total = 0;
    if (!browse_download_progress(&received, &total)) return;
    char line[sizeof console_line_text];
    if (received <= 0 && total <= 0) {
        std::snprintf(line, sizeof line, "downloading..");
    } else {
        char amount[browse_progress_text_max];
        browse_progress_text(received, total, amount, sizeof amount);
        std::snprintf(line, sizeof line, "downloading.. %s", amount);
    }
    if (console_line_row >= 0 && !std::strcmp(line, console_line_text)) return;
    if (console_line_row >= 0) m->cursor_y = console_line_row;
    vexel_print(m, line);
    // The line just printed sits right above the cursor, whether the print
    // moved the cursor down or scrolled the screen up under it.
    console_line_row = m->cursor_y - vexel_line_height;
    std::snprintf(console_line_text, sizeof console_line_text, "%s", line);
}

// The download's last word, over its progress line when there is one.
void console_final_line(vexel_machine* m, const char* text) {
    if (console_line_row >= 0) m->cursor_y = console_line_row;
    console_line_row = -1;
    vexel_print(m, text);
}

}  // namespace

void browse_set_fetcher(browse_fetch_func fetch) { fetcher.store(fetch); }

int browse_download_state() { return shared().state.load(); }

bool browse_download_progress(int64_t* received, int64_t* total) {
    const bool busy = browse_download_state() == browse_dl_busy && current_progress;
    if (received) *received = busy ? current_progress->received.load() : 0;
    if (total) *total = busy ? current_progress->total.load() : 0;
    return busy;
}

void browse_progress_text(int64_t received, int64_t total, char* out, size_t size) {
    if (!out || size == 0) return;
    received = std::max<int64_t>(received, 0);
    if (total > 0) std::snprintf(out, size, "%d%%", int(std::min<int64_t>(received, total) * 100 / total));
    else if (received < bytes_per_k) std::snprintf(out, size, "%db", int(received));
    else std::snprintf(out, size, "%lldk", static_cast<long long>(received / bytes_per_k));
}

std::string browse_download_reason() { return last_reason; }

bool browse_download_failed() { return last_failed; }

int browse_download_timeout_s() {
    return std::clamp(fenn_cfg.timeout > 0 ? fenn_cfg.timeout : fenn_timeout_default, 1, fenn_timeout_max);
}

bool browse_download_list(int list, bool more) {
    const browse_list* l = browse_get_list(list);
    if (!l || browse_download_state() != browse_dl_idle) return false;
    if (more && l->next_page < 0) return false;
    const std::string url = browse_list_url(l->request, more ? l->next_page : -1);
    if (list == browse_search && browse_host_is_folder()) {
        const std::string path = url.empty() ? url : browse_host_folder_path(url.c_str() + browse_bbs_host().size() + 1);
        if (path.empty() || !fenn_file_exists(path.c_str())) {
            browse_list_no_results(list);
            return false;
        }
    }
    fenn_mkdir(fenn_prefix_with_appdata_path("bbs").c_str());
    return start(url, browse_list_temp_path(list, more), more ? std::string() : browse_list_cache_path(list));
}

bool browse_download_cart(vexel_machine* m, const char* lid) {
    const std::string url = browse_cart_url(lid);
    const std::string file = browse_cart_cache_path(lid);
    if (url.empty() || file.empty()) {
        browse_cancel_download(m, "download failed");
        last_failed = true;
        return false;
    }
    if (browse_download_state() != browse_dl_idle) return false;
    fenn_mkdir(fenn_prefix_with_appdata_path("bbs").c_str());
    const size_t slash = file.rfind('/');
    if (slash != std::string::npos) fenn_mkdir(file.substr(0, slash).c_str());
    return start(url, file, std::string());
}

bool browse_download_cart_for_load(vexel_machine* m, const char* lid, bool chained) {
    if (!browse_download_cart(m, lid)) return false;
    console_chained = chained;
    return true;
}

void browse_cancel_download(vexel_machine* m, const char* message) {
    back_to_idle();
    if (message) vexel_host_message(m, message, browse_message_ms);
}

bool browse_download_wait(int ms) {
    for (int waited = 0; browse_download_state() == browse_dl_busy; waited += 5) {
        if (waited >= ms) return false;
        SDL_Delay(5);
    }
    return true;
}

void browse_update_download(vexel_machine* m) {
    const int st = browse_download_state();
    if (st == browse_dl_busy && timed_out()) {
        browse_cancel_download(m, "timeout");
        m->hold_frames = 0;  // a delayed program start waits no longer
        return;
    }
    if (st == browse_dl_idle || st == browse_dl_busy || !settled()) return;
    const std::string file = browse_dl.file;
    const std::string cache_copy = browse_dl.cache_copy;
    back_to_idle();
    // A search word the board has no list for: the static host answers 404.
    if (st == browse_dl_failed && last_reason == "http 404" &&
        file == browse_list_temp_path(browse_search, false)) {
        browse_list_no_results(browse_search);
        browse_clamp_selection(browse_search);
        vexel_host_message(m, "no results", browse_message_ms);
        return;
    }
    if (st == browse_dl_failed) {
        if (last_timed_out) m->hold_frames = 0;
        vexel_host_message(m, failure_text().c_str(), browse_message_ms);
        return;
    }
    if (file.find(".pip") != std::string::npos) {
        int list = -1;
        for (int i = 1; i < browse_list_count && list < 0; ++i) {
            const std::string base = file.substr(file.rfind('/') == std::string::npos ? 0 : file.rfind('/') + 1);
            // "temp_<name>" names its list exactly, so "top" never matches a
            // longer name that merely contains it.
            const std::string name = browse_data.lists[i].name;
            if (base == "temp_" + name + ".pip.png" || base == "temp_" + name + "__.pip.png") list = i;
        }
        if (list < 0) return;
        const bool append = file.find("__") != std::string::npos;
        browse_list& l = browse_data.lists[list];
        if (browse_list_from_png_file(list, file.c_str(), append) != 0) {
            vexel_host_message(m, "bbs: not a list picture", browse_message_ms);
        } else {
            if (!cache_copy.empty()) copy_file(file.c_str(), cache_copy.c_str());
            if (!append && l.count() >= 2) l.selection = 1;
        }
        // Read (and kept as the cached list when it was sound): the
        // downloaded picture itself is no longer needed.
        std::remove(file.c_str());
        browse_clamp_selection(list);
        browse_stamp_selection();
        return;
    }
    if (file.find(".qz.png") != std::string::npos) {
        const int err = load_downloaded_cart(m, file.c_str());
        if (err) vexel_host_message(m, load_error_text(err), browse_message_ms);
        else browse_start_launch();
    }
}

void browse_update_load_download(vexel_machine* m) {
    const int st = browse_download_state();
    if (st == browse_dl_busy && timed_out()) {
        back_to_idle();
        run_chain_cancel_pending(m);
        console_final_line(m, "download timed out");
        return;
    }
    if (st == browse_dl_busy && fenn_get_key_state(SDL_SCANCODE_ESCAPE) == 3) {
        back_to_idle();
        run_chain_cancel_pending(m);
        console_final_line(m, "downloading.. cancelled");
        return;
    }
    if (st == browse_dl_busy) console_progress_line(m);
    if (st == browse_dl_idle || st == browse_dl_busy || !settled()) return;
    const std::string file = browse_dl.file;
    const bool chained = console_chained;
    back_to_idle();
    if (st == browse_dl_failed) {
        if (chained) run_chain_cancel_pending(m);
        if (last_timed_out) {
            console_final_line(m, "download timed out");
            return;
        }
        vexel_host_message(m, "download failed", browse_message_ms);
        console_final_line(m, "download failed");
        last_failed = true;
        return;
    }
    if (file.find(".qz.png") == std::string::npos) return;
    const int err = load_downloaded_cart(m, file.c_str());
    if (err) {
        if (chained) run_chain_cancel_pending(m);
        vexel_host_message(m, load_error_text(err), browse_message_ms);
        return;
    }
    if (chained) {
        run_chain_confirm_pending(m);
        vexel_host_request(m, vexel_request_run);
        m->hold_frames = console_start_frames;
        return;
    }
    char lid[browse_text_max + 1];
    run_online_id_of(file.c_str(), lid, sizeof lid);
    console_final_line(m, "downloading.. ok");
    const char* code = m->working_cart ? m->working_cart->code : "";
    // The title is the program's first comment line, as on the cartridge picture.
    if (std::strncmp(code, "--", 2) == 0) {
        char title[64];
        size_t n = 0;
        for (const char* p = code + 2; *p && *p != '\n' && n + 1 < sizeof title; ++p) title[n++] = *p;
        title[n] = 0;
        vexel_print_col(m, title, 14);
    }
    char line[browse_text_max + 64];
    std::snprintf(line, sizeof line, "loaded #%s (%d chars)", lid, int(std::strlen(code)));
    vexel_print(m, line);
}
