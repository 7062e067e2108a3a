#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

#include "browser_fixture.h"
#include "loopback_http.h"

namespace {

using vexel_test::HttpReply;
using vexel_test::LoopbackHttp;

// What the fake board serves: the bytes for each address, or a failure.
std::string served_bytes;
std::atomic<fenn_fetch_status> served_status{fenn_fetch_ok};
std::atomic<bool> hold{false};      // the fetch waits while set
std::atomic<int> fetches{0};
std::atomic<int> cancels_seen{0};   // fetches that ended because they were cancelled
std::atomic<int64_t> held_received{-1};  // bytes a held fetch reports; -1: half the body
std::mutex request_lock;
fenn_fetch_request last_request_seen;
std::string last_url() {
    std::lock_guard<std::mutex> g(request_lock);
    return last_request_seen.url;
}
fenn_fetch_request last_request() {
    std::lock_guard<std::mutex> g(request_lock);
    return last_request_seen;
}

// Stands in for the network the way fenn_fetch behaves: part of the body
// is "received" while held, and a held fetch ends when it is cancelled.
fenn_fetch_status fake_fetch(const fenn_fetch_request& request, fenn_fetch_result* result) {
    ++fetches;
    {
        std::lock_guard<std::mutex> g(request_lock);
        last_request_seen = request;
    }
    const int64_t size = int64_t(served_bytes.size());
    auto report = [&] {
        if (!request.progress) return;
        request.progress->total.store(size);
        request.progress->received.store(held_received.load() >= 0 ? held_received.load() : size / 2);
    };
    report();
    while (hold.load()) {
        report();
        if (request.cancelled && request.cancelled()) {
            ++cancels_seen;
            return result->status = fenn_fetch_cancelled;
        }
        SDL_Delay(2);
    }
    if (served_status.load() != fenn_fetch_ok) return result->status = served_status.load();
    result->body.assign(served_bytes.begin(), served_bytes.end());
    return result->status = fenn_fetch_ok;
}

// The real client, sent to a server on the loopback instead of the board:
// the address keeps its path from "/bbs/" on.
std::string loopback_base;
std::atomic<int> real_fetches_done{0};
std::atomic<fenn_fetch_status> real_status{fenn_fetch_ok};
fenn_fetch_status loopback_fetch(const fenn_fetch_request& request, fenn_fetch_result* result) {
    fenn_fetch_request to_loopback = request;
    const size_t path = request.url.find("/bbs/");
    to_loopback.url = loopback_base + (path == std::string::npos ? "/" : request.url.substr(path));
    const fenn_fetch_status status = fenn_fetch(to_loopback, result);
    real_status = status;
    ++real_fetches_done;
    return status;
}

class Downloads : public Browser {
protected:
    void SetUp() override {
        Browser::SetUp();
        served_bytes.clear();
        served_status = fenn_fetch_ok;
        hold = false;
        fetches = 0;
        cancels_seen = 0;
        held_received = -1;
        splore_set_fetcher(fake_fetch);
        splore_open(M);
    }
    void TearDown() override {
        hold = false;
        splore_download_wait(2000);
        Browser::TearDown();
    }
    void serve(const std::vector<uint8_t>& b) { served_bytes.assign(b.begin(), b.end()); }
    // Waits (bounded) until `done` holds; false if it never did.
    template <typename F>
    static bool eventually(F done) {
        for (int i = 0; i < 1000 && !done(); ++i) SDL_Delay(5);
        return done();
    }
    // The data files under bbs/ that no download should leave: temporary
    // files of any kind.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::recursive_directory_iterator(home + "/bbs")) {
            const std::string name = e.path().filename().string();
            if (name.find(".dl") != std::string::npos || name.find(".part") != std::string::npos) found.push_back(name);
        }
        return found;
    }
    // Lets the worker end and the settle time pass, then polls once.
    void finish() {
        ASSERT_TRUE(splore_download_wait(5000));
        splore_dl.start_ms -= splore_dl_settle_ms;
        splore_update_download(M);
    }
};

}  // namespace

TEST_F(Downloads, ListDownloadFillsTheListAndTheCache) {
    serve(list_picture(entries(5)));
    splore_data.current = splore_new;
    list(splore_new).selection = 0;
    ASSERT_EQ(list(splore_new).items[0].kind, splore_kind_update);
    splore_action_current_item(M);  // "[update]"
    EXPECT_EQ(splore_download_state(), splore_dl_busy);
    // Results wait for the settle time even when the worker is done.
    ASSERT_TRUE(splore_download_wait(5000));
    splore_update_download(M);
    EXPECT_EQ(list(splore_new).count(), 1);
    finish();
    EXPECT_EQ(splore_download_state(), splore_dl_idle);
    EXPECT_EQ(list(splore_new).count(), 6);
    EXPECT_EQ(list(splore_new).selection, 1);
    EXPECT_EQ(read_file(home + "/bbs/new.pip.png"), served_bytes);
    EXPECT_EQ(last_url(), std::string(splore_bbs_host) +
                            "/bbs/cpost_lister3.php?max=32&start_index=0&cat=7&sub=2&version=000111dl");
}

TEST_F(Downloads, LoadMoreFetchesTheContinuationWithoutCaching) {
    const auto first = list_picture(entries(32));
    write_bytes(home + "/bbs/top.pip.png", first);
    splore_init();
    splore_data.current = splore_top;
    list(splore_top).selection = list(splore_top).count() - 1;  // "[load more]"
    serve(list_picture(entries(2, 7000)));
    splore_action_current_item(M);
    finish();
    EXPECT_NE(last_url().find("start_index=32&"), std::string::npos);
    EXPECT_EQ(list(splore_top).count(), 35);
    EXPECT_EQ(read_file(home + "/bbs/top.pip.png"), std::string(first.begin(), first.end()));
}

TEST_F(Downloads, FailuresAreMessagesAndTheBrowserCarriesOn) {
    served_status = fenn_fetch_http_error;
    splore_download_list(splore_jam, 0);
    finish();
    EXPECT_EQ(message(), "could not connect to bbs.");
    EXPECT_EQ(splore_download_state(), splore_dl_idle);
    EXPECT_FALSE(exists(home + "/bbs/temp_jam.pip.png"));

    // Something that is not a picture counts as a failure too.
    served_status = fenn_fetch_ok;
    served_bytes = "<html>gateway error</html>";
    splore_download_list(splore_jam, 0);
    finish();
    EXPECT_EQ(message(), "could not connect to bbs.");
    EXPECT_EQ(titles(splore_jam), (std::vector<std::string>{"[update]"}));

    // A picture of the wrong size.
    serve(list_picture(entries(2), 100, 100));
    splore_download_list(splore_jam, 0);
    finish();
    EXPECT_EQ(message(), "could not connect to bbs");

    // An id that cannot name a cartridge.
    tm.message.clear();
    EXPECT_FALSE(splore_download_cart(M, "Bad-Id"));
    EXPECT_EQ(message(), "download failed");
    EXPECT_EQ(fetches.load(), 3);
}

TEST_F(Downloads, OneAtATimeAndCancelNeverWaits) {
    hold = true;
    serve(list_picture(entries(3)));
    ASSERT_TRUE(splore_download_list(splore_new, 0));
    EXPECT_FALSE(splore_download_list(splore_top, 0));  // ignored while busy
    EXPECT_FALSE(splore_download_cart(M, "12345"));
    splore_cancel_download(M, "download cancelled");  // returns while the fetch still hangs
    EXPECT_EQ(splore_download_state(), splore_dl_idle);
    EXPECT_EQ(message(), "download cancelled");
    // The transfer itself learns of it and stops, though still held.
    EXPECT_TRUE(eventually([] { return cancels_seen.load() == 1; }));

    // A new download of the same list starts; the old worker, released now,
    // must neither finish it nor leave its file.
    ASSERT_TRUE(splore_download_list(splore_new, 0));
    served_status = fenn_fetch_timed_out;  // the new one fails...
    hold = false;
    ASSERT_TRUE(splore_download_wait(5000));
    SDL_Delay(50);
    splore_dl.start_ms -= splore_dl_settle_ms;
    splore_update_download(M);
    EXPECT_EQ(message(), "could not connect to bbs.");  // ...and is reported as failed
    EXPECT_EQ(list(splore_new).count(), 1);
    EXPECT_FALSE(exists(home + "/bbs/temp_new.pip.png"));
    EXPECT_EQ(leftovers(), std::vector<std::string>{});

    // And the next download goes through.
    serve(list_picture(entries(3)));
    served_status = fenn_fetch_ok;
    ASSERT_TRUE(splore_download_list(splore_new, 0));
    finish();
    EXPECT_EQ(list(splore_new).count(), 4);
}

TEST_F(Downloads, TimeoutStopsTheDownload) {
    hold = true;
    fenn_cfg.timeout = 2;
    splore_download_list(splore_wip, 0);
    splore_dl.start_ms -= 1000;
    splore_update_download(M);
    EXPECT_EQ(splore_download_state(), splore_dl_busy);
    M->hold_frames = 20;
    splore_dl.start_ms -= 1500;
    splore_update_download(M);
    EXPECT_EQ(splore_download_state(), splore_dl_idle);
    EXPECT_EQ(message(), "timeout");
    EXPECT_EQ(M->hold_frames, 0);
}

TEST_F(Downloads, BoardCartridgeIsFetchedCachedAndLaunched) {
    serve(png_cart("-- from the board\nprint(1)"));
    splore_item it;
    it.kind = splore_kind_cart;
    std::snprintf(it.lid, sizeof it.lid, "12345");
    list(splore_new).items.push_back(it);
    splore_data.current = splore_new;
    list(splore_new).selection = list(splore_new).count() - 1;
    splore_action_current_item(M);
    finish();
    EXPECT_EQ(last_url(), std::string(splore_bbs_host) + "/bbs/cposts/1/12345.qz.png");
    EXPECT_TRUE(exists(home + "/bbs/1/12345.qz.png"));
    EXPECT_EQ(splore_screen.launch, 1);
    EXPECT_STREQ(M->working_cart->code, "-- from the board\nprint(1)");
    EXPECT_STREQ(splore_data.running.lid, "12345");

    // Cached now: the next launch loads without fetching.
    splore_screen.launch = 0;
    const int before = fetches.load();
    splore_action_current_item(M);
    EXPECT_EQ(fetches.load(), before);
    EXPECT_EQ(splore_screen.launch, 1);
}

TEST_F(Downloads, ABrokenCartridgeIsReportedAndNotKept) {
    // A valid picture that is not a cartridge.
    serve(list_picture(entries(1), 100, 100));
    splore_download_cart(M, "my_game");
    finish();
    EXPECT_EQ(message(), "could not load");
    EXPECT_EQ(splore_screen.launch, 0);
    EXPECT_FALSE(exists(home + "/bbs/carts/my_game.qz.png"));
}

TEST_F(Downloads, ConsoleLoadPrintsWhatItGot) {
    tm.host.exec_mode = true;  // console lines go to the host's output
    serve(png_cart("-- console game\nx=1"));
    ASSERT_TRUE(splore_download_cart_for_load(M, "777", false));
    ASSERT_TRUE(splore_download_wait(5000));
    splore_dl.start_ms -= splore_dl_settle_ms;
    splore_update_load_download(M);
    const std::string out = tm.output;
    tm.host.exec_mode = false;
    EXPECT_NE(out.find("downloading.. ok"), std::string::npos) << out;
    EXPECT_NE(out.find("console game"), std::string::npos) << out;
    const std::string loaded = "loaded #777 (" + std::to_string(std::strlen(M->working_cart->code)) + " chars)";
    EXPECT_NE(out.find(loaded), std::string::npos) << out;

    // Chained: the program starts after 20 frames.
    ASSERT_TRUE(splore_download_cart_for_load(M, "778", true));
    ASSERT_TRUE(splore_download_wait(5000));
    splore_dl.start_ms -= splore_dl_settle_ms;
    splore_update_load_download(M);
    EXPECT_TRUE(tm.requested(vexel_request_run));
    EXPECT_EQ(M->hold_frames, 20);
}

TEST_F(Downloads, RequestsCarryTheTimeoutSettingAndTheCapOfTheirKind) {
    fenn_cfg.timeout = 7;
    serve(list_picture(entries(1)));
    splore_download_list(splore_new, 0);
    finish();
    fenn_fetch_request r = last_request();
    EXPECT_EQ(r.timeout_s, 7);
    EXPECT_EQ(r.connect_timeout_s, 7);
    EXPECT_EQ(r.max_bytes, splore_list_download_max);
    EXPECT_NE(r.progress, nullptr);
    EXPECT_TRUE(r.cancelled);

    fenn_cfg.timeout = 999;  // out of range: the longest allowed
    serve(png_cart("-- cap"));
    splore_download_cart(M, "12345");
    finish();
    r = last_request();
    EXPECT_EQ(r.timeout_s, fenn_timeout_max);
    EXPECT_EQ(r.max_bytes, splore_cart_download_max);
}

TEST_F(Downloads, ACartridgeThatIsNotAPictureLeavesNoFile) {
    served_bytes = "<html>please log in</html>";
    splore_download_cart(M, "12345");
    finish();
    EXPECT_EQ(message(), "could not connect to bbs.");
    EXPECT_EQ(splore_download_reason(), "not a picture");
    EXPECT_FALSE(exists(home + "/bbs/1/12345.qz.png"));
    EXPECT_EQ(leftovers(), std::vector<std::string>{});

    // A failed transfer says why.
    served_status = fenn_fetch_too_large;
    splore_download_cart(M, "12345");
    finish();
    EXPECT_EQ(splore_download_reason(), "too large");
    EXPECT_FALSE(exists(home + "/bbs/1/12345.qz.png"));
}

TEST_F(Downloads, ProgressIsReadableWhileBusyAndGoneAfter) {
    hold = true;
    held_received = 100;
    served_bytes = std::string(400, 'x');
    int64_t received = -5, total = -5;
    EXPECT_FALSE(splore_download_progress(&received, &total));
    EXPECT_EQ(received, 0);
    ASSERT_TRUE(splore_download_list(splore_new, 0));
    EXPECT_TRUE(eventually([&] { return splore_download_progress(&received, &total) && received == 100; }));
    EXPECT_EQ(total, 400);
    held_received = 300;
    EXPECT_TRUE(eventually([&] { return splore_download_progress(&received, &total) && received == 300; }));
    hold = false;
    finish();
    EXPECT_FALSE(splore_download_progress(&received, &total));

    char text[splore_progress_text_max];
    const std::pair<std::pair<int64_t, int64_t>, const char*> cases[] = {
        {{0, 400}, "0%"},       {{200, 400}, "50%"},     {{399, 400}, "99%"},   {{900, 400}, "100%"},
        {{0, -1}, "0b"},        {{1023, -1}, "1023b"},   {{1024, -1}, "1k"},    {{12 * 1024 + 900, -1}, "12k"},
        {{2 << 20, 0}, "2048k"}, {{-3, -1}, "0b"},
    };
    for (const auto& [in, want] : cases) {
        splore_progress_text(in.first, in.second, text, sizeof text);
        EXPECT_STREQ(text, want) << in.first << " of " << in.second;
    }
}

TEST_F(Downloads, ConsoleLoadShowsItsProgressOnOneLine) {
    // The console row the line is on, as pixels.
    auto row = [&](int y) {
        return std::vector<uint8_t>(M->screen->pix.begin() + y * 128, M->screen->pix.begin() + (y + 5) * 128);
    };
    auto inked = [](const std::vector<uint8_t>& r) {
        return std::count_if(r.begin(), r.end(), [](uint8_t c) { return c != 0; });
    };
    fenn_clear_bitmap(M->screen, 0);
    M->cursor_x = 0;
    M->cursor_y = 12;
    hold = true;
    served_bytes = std::string(400, 'x');
    ASSERT_TRUE(splore_download_cart_for_load(M, "777", false));
    held_received = 100;
    ASSERT_TRUE(eventually([] {
        int64_t r = 0;
        return splore_download_progress(&r, nullptr) && r == 100;
    }));
    splore_update_load_download(M);
    EXPECT_EQ(M->cursor_y, 18);
    const auto quarter = row(12);
    EXPECT_GT(inked(quarter), 0);
    splore_update_load_download(M);  // unchanged: drawn once
    EXPECT_EQ(M->cursor_y, 18);

    held_received = 300;
    ASSERT_TRUE(eventually([] {
        int64_t r = 0;
        return splore_download_progress(&r, nullptr) && r == 300;
    }));
    splore_update_load_download(M);
    EXPECT_EQ(M->cursor_y, 18);  // the same line, drawn again
    EXPECT_NE(row(12), quarter);
    EXPECT_EQ(inked(row(18)), 0);

    // The result takes the progress line's place.
    serve(png_cart("-- got it\nx=1"));
    hold = false;
    ASSERT_TRUE(splore_download_wait(5000));
    splore_dl.start_ms -= splore_dl_settle_ms;
    splore_update_load_download(M);
    EXPECT_EQ(M->cursor_y, 12 + 3 * vexel_line_height);  // "downloading.. ok", the title, "loaded #777"
}

// The real client against a server on the loopback: a body arrives whole,
// and a stalled transfer stops when cancelled and leaves nothing behind.
TEST_F(Downloads, TheRealClientFetchesAndIsCancelledThroughTheLoopback) {
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    static std::atomic<bool> stall{true};
    static std::string picture;
    stall = true;
    const auto pic = list_picture(entries(5));
    picture.assign(pic.begin(), pic.end());
    LoopbackHttp server([](const std::string&) {
        return stall.load() ? HttpReply::partial_then_stall(300000, 1000) : HttpReply::ok(picture);
    });
    ASSERT_TRUE(server.running());
    loopback_base = server.url("");
    real_fetches_done = 0;
    splore_set_fetcher(loopback_fetch);

    ASSERT_TRUE(splore_download_list(splore_new, 0));
    int64_t received = 0, total = 0;
    EXPECT_TRUE(eventually([&] { return splore_download_progress(&received, &total) && received == 1000; }));
    EXPECT_EQ(total, 300000);
    splore_cancel_download(M, "download cancelled");
    EXPECT_EQ(splore_download_state(), splore_dl_idle);
    ASSERT_TRUE(eventually([] { return real_fetches_done.load() == 1; }));
    EXPECT_EQ(real_status.load(), fenn_fetch_cancelled);
    EXPECT_FALSE(exists(home + "/bbs/temp_new.pip.png"));
    EXPECT_EQ(leftovers(), std::vector<std::string>{});

    stall = false;
    ASSERT_TRUE(splore_download_list(splore_new, 0));
    finish();
    EXPECT_EQ(real_status.load(), fenn_fetch_ok);
    EXPECT_EQ(list(splore_new).count(), 6);
    EXPECT_EQ(read_file(home + "/bbs/new.pip.png"), picture);
    EXPECT_NE(server.paths().back().find("/bbs/cpost_lister3.php?"), std::string::npos);
}
