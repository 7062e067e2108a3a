#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "browser_fixture.h"
#include "cart/cart_board.h"

namespace {

// What the fake board serves: the bytes for each address, or a failure.
std::string served_bytes;
std::atomic<fenn_fetch_status> served_status{fenn_fetch_ok};
std::atomic<bool> hold{false};      // the fetch waits while set, reporting held_received bytes
std::atomic<int64_t> held_received{0};
std::atomic<int> fetches{0};
std::atomic<int> cancels_seen{0};   // held fetches that saw they were cancelled
std::mutex url_lock;
fenn_fetch_request last_seen;
fenn_fetch_request last_request() {
    std::lock_guard<std::mutex> g(url_lock);
    return last_seen;
}
std::string last_url() { return last_request().url; }

fenn_fetch_status fake_fetch(const fenn_fetch_request& request, fenn_fetch_result* result) {
    ++fetches;
    {
        std::lock_guard<std::mutex> g(url_lock);
        last_seen = request;
    }
    request.progress->total.store(int64_t(served_bytes.size()));
    while (hold.load()) {
        request.progress->received.store(held_received.load());
        if (request.cancelled()) {
            ++cancels_seen;
            return result->status = fenn_fetch_cancelled;
        }
        SDL_Delay(2);
    }
    if (served_status.load() == fenn_fetch_http_error) result->reason = "http 404";
    if (served_status.load() != fenn_fetch_ok) return result->status = served_status.load();
    result->body.assign(served_bytes.begin(), served_bytes.end());
    return result->status = fenn_fetch_ok;
}

// Whether `done` comes true within a few seconds.
template <typename F>
bool eventually(F done) {
    for (int i = 0; i < 1000 && !done(); ++i) SDL_Delay(5);
    return done();
}

class Downloads : public Browser {
protected:
    void SetUp() override {
        Browser::SetUp();
        served_bytes.clear();
        served_status = fenn_fetch_ok;
        hold = false;
        held_received = 0;
        fetches = 0;
        cancels_seen = 0;
        browse_set_fetcher(fake_fetch);
        browse_open(M);
    }
    void TearDown() override {
        hold = false;
        browse_download_wait(2000);
        Browser::TearDown();
    }
    void serve(const std::vector<uint8_t>& b) { served_bytes.assign(b.begin(), b.end()); }
    // Lets the worker end and the settle time pass, then polls once.
    void finish() {
        ASSERT_TRUE(browse_download_wait(5000));
        browse_dl.start_ms -= browse_dl_settle_ms;
        browse_update_download(M);
    }
};

}  // namespace

TEST_F(Downloads, ListDownloadFillsTheListAndTheCache) {
    serve(list_picture(entries(5)));
    browse_data.current = browse_new;
    list(browse_new).selection = 0;
    ASSERT_EQ(list(browse_new).items[0].kind, browse_kind_update);
    browse_action_current_item(M);  // "[update]"
    EXPECT_EQ(browse_download_state(), browse_dl_busy);
    // Results wait for the settle time even when the worker is done.
    ASSERT_TRUE(browse_download_wait(5000));
    browse_update_download(M);
    EXPECT_EQ(list(browse_new).count(), 1);
    finish();
    EXPECT_EQ(browse_download_state(), browse_dl_idle);
    EXPECT_EQ(list(browse_new).count(), 6);
    EXPECT_EQ(list(browse_new).selection, 1);
    EXPECT_EQ(read_file(home + "/bbs/new.pip.png"), served_bytes);
    EXPECT_EQ(last_url(), browse_bbs_host() + "/bbs/l/new/top.png");
    EXPECT_EQ(last_request().timeout_s, 30);  // the timeout setting
    EXPECT_EQ(last_request().max_bytes, browse_list_download_max);
}

TEST_F(Downloads, LoadMoreFetchesTheContinuationWithoutCaching) {
    const auto first = list_picture(entries(32));
    write_bytes(home + "/bbs/top.pip.png", first);
    browse_init();
    browse_data.current = browse_top;
    list(browse_top).selection = list(browse_top).count() - 1;  // "[load more]"
    serve(list_picture(entries(2, 7000)));
    browse_action_current_item(M);
    finish();
    EXPECT_EQ(last_url(), browse_bbs_host() + "/bbs/l/featured/0/0.png");  // the page the head named
    EXPECT_EQ(list(browse_top).count(), 35);
    EXPECT_EQ(read_file(home + "/bbs/top.pip.png"), std::string(first.begin(), first.end()));
}

TEST_F(Downloads, FailuresAreMessagesAndTheBrowserCarriesOn) {
    // The screen names the cause, as the log does.
    served_status = fenn_fetch_http_error;
    browse_download_list(browse_jam, false);
    finish();
    EXPECT_EQ(message(), "bbs: http error");
    // A search word the board has no list for is answered 404 by a static
    // host: no results, not a failure.
    std::snprintf(list(browse_search).request, sizeof list(browse_search).request, "search/zebra");
    ASSERT_TRUE(browse_download_list(browse_search, false));
    finish();
    EXPECT_EQ(message(), "no results");
    EXPECT_EQ(titles(browse_search), (std::vector<std::string>{"[search]"}));
    EXPECT_FALSE(exists(home + "/bbs/temp_search.pip.png"));
    EXPECT_EQ(browse_download_state(), browse_dl_idle);
    EXPECT_FALSE(exists(home + "/bbs/temp_jam.pip.png"));

    // Something that is not a picture counts as a failure too.
    served_status = fenn_fetch_ok;
    served_bytes = "<html>gateway error</html>";
    browse_download_list(browse_jam, false);
    finish();
    EXPECT_EQ(message(), "bbs: not a picture");
    EXPECT_EQ(titles(browse_jam), (std::vector<std::string>{"[update]"}));

    // A picture of the wrong size.
    serve(list_picture(entries(2), 100, 100));
    browse_download_list(browse_jam, false);
    finish();
    EXPECT_EQ(message(), "bbs: not a list picture");

    // Too large, and no server at all.
    served_status = fenn_fetch_too_large;
    browse_download_list(browse_jam, false);
    finish();
    EXPECT_EQ(message(), "bbs: too large");
    served_status = fenn_fetch_no_connection;
    browse_download_list(browse_jam, false);
    finish();
    EXPECT_EQ(message(), "could not connect to bbs.");
    served_status = fenn_fetch_ok;

    // An id that cannot name a cartridge.
    tm.message.clear();
    EXPECT_FALSE(browse_download_cart(M, "Bad-Id"));
    EXPECT_EQ(message(), "download failed");
    EXPECT_EQ(fetches.load(), 6);
}

TEST_F(Downloads, OneAtATimeAndCancelNeverWaits) {
    hold = true;
    serve(list_picture(entries(3)));
    ASSERT_TRUE(browse_download_list(browse_new, false));
    EXPECT_FALSE(browse_download_list(browse_top, false));  // ignored while busy
    EXPECT_FALSE(browse_download_cart(M, "12345"));
    browse_cancel_download(M, "download cancelled");  // returns while the fetch still hangs
    EXPECT_EQ(browse_download_state(), browse_dl_idle);
    EXPECT_EQ(message(), "download cancelled");
    EXPECT_TRUE(eventually([] { return cancels_seen.load() == 1; }));  // the transfer itself stops

    // A new download of the same list starts; the old worker, released now,
    // must neither finish it nor leave its file.
    ASSERT_TRUE(browse_download_list(browse_new, false));
    served_status = fenn_fetch_no_connection;  // the new one fails...
    hold = false;
    ASSERT_TRUE(browse_download_wait(5000));
    SDL_Delay(50);
    browse_dl.start_ms -= browse_dl_settle_ms;
    browse_update_download(M);
    EXPECT_EQ(message(), "could not connect to bbs.");  // ...and is reported as failed
    EXPECT_EQ(list(browse_new).count(), 1);
    EXPECT_FALSE(exists(home + "/bbs/temp_new.pip.png"));
    for (const auto& e : std::filesystem::recursive_directory_iterator(home + "/bbs"))
        EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();

    // The next download goes through.
    serve(list_picture(entries(3)));
    served_status = fenn_fetch_ok;
    ASSERT_TRUE(browse_download_list(browse_new, false));
    finish();
    EXPECT_EQ(list(browse_new).count(), 4);
}

TEST_F(Downloads, TimeoutStopsTheDownload) {
    hold = true;
    fenn_cfg.timeout = 2;
    browse_download_list(browse_wip, false);
    browse_dl.start_ms -= 1000;
    browse_update_download(M);
    EXPECT_EQ(browse_download_state(), browse_dl_busy);
    M->hold_frames = 20;
    browse_dl.start_ms -= 1500;
    browse_update_download(M);
    EXPECT_EQ(browse_download_state(), browse_dl_idle);
    EXPECT_EQ(message(), "timeout");
    EXPECT_EQ(M->hold_frames, 0);

    // The client's own clock may run out first: the same message.
    hold = false;
    served_status = fenn_fetch_timed_out;
    ASSERT_TRUE(browse_download_list(browse_wip, false));
    M->hold_frames = 20;
    finish();
    EXPECT_EQ(message(), "timeout");
    EXPECT_EQ(M->hold_frames, 0);
}

TEST_F(Downloads, BoardCartridgeIsFetchedCachedAndLaunched) {
    serve(png_cart("-- from the board\nprint(1)"));
    browse_item it;
    it.kind = browse_kind_cart;
    std::snprintf(it.lid, sizeof it.lid, "12345");
    list(browse_new).items.push_back(it);
    browse_data.current = browse_new;
    list(browse_new).selection = list(browse_new).count() - 1;
    browse_action_current_item(M);
    finish();
    EXPECT_EQ(last_url(), browse_bbs_host() + "/" + cart_board_cart_path("12345"));
    EXPECT_EQ(last_request().max_bytes, browse_cart_download_max);
    EXPECT_TRUE(exists(home + "/bbs/1/12345.qz.png"));
    EXPECT_EQ(browse_screen.launch, 1);
    EXPECT_STREQ(M->working_cart->code, "-- from the board\nprint(1)");
    EXPECT_STREQ(browse_data.running.lid, "12345");

    // Cached now: the next launch loads without fetching.
    browse_screen.launch = 0;
    const int before = fetches.load();
    browse_action_current_item(M);
    EXPECT_EQ(fetches.load(), before);
    EXPECT_EQ(browse_screen.launch, 1);
}

TEST_F(Downloads, ABrokenCartridgeIsReportedAndNotKept) {
    // A valid picture that is not a cartridge.
    serve(list_picture(entries(1), 100, 100));
    browse_download_cart(M, "my_game");
    finish();
    EXPECT_EQ(message(), "could not load");
    EXPECT_EQ(browse_screen.launch, 0);
    EXPECT_FALSE(exists(home + "/bbs/carts/my_game.qz.png"));

    // Not a picture at all: no file, and the log says why.
    served_bytes = "<html>please log in</html>";
    browse_download_cart(M, "my_game");
    finish();
    EXPECT_EQ(message(), "bbs: not a picture");
    EXPECT_EQ(browse_download_reason(), "not a picture");
    EXPECT_FALSE(exists(home + "/bbs/carts/my_game.qz.png"));
}

TEST_F(Downloads, ConsoleLoadPrintsWhatItGot) {
    tm.host.exec_mode = true;  // console lines go to the host's output
    serve(png_cart("-- console game\nx=1"));
    ASSERT_TRUE(browse_download_cart_for_load(M, "777", false));
    ASSERT_TRUE(browse_download_wait(5000));
    browse_dl.start_ms -= browse_dl_settle_ms;
    browse_update_load_download(M);
    const std::string out = tm.output;
    tm.host.exec_mode = false;
    EXPECT_NE(out.find("downloading.. ok"), std::string::npos) << out;
    EXPECT_NE(out.find("console game"), std::string::npos) << out;
    const std::string loaded = "loaded #777 (" + std::to_string(std::strlen(M->working_cart->code)) + " chars)";
    EXPECT_NE(out.find(loaded), std::string::npos) << out;

    // Chained: the program starts after 20 frames.
    ASSERT_TRUE(browse_download_cart_for_load(M, "778", true));
    ASSERT_TRUE(browse_download_wait(5000));
    browse_dl.start_ms -= browse_dl_settle_ms;
    browse_update_load_download(M);
    EXPECT_TRUE(tm.requested(vexel_request_run));
    EXPECT_EQ(M->hold_frames, 20);
}

TEST_F(Downloads, ProgressMovesAndAConsoleLoadShowsItOnOneLine) {
    fenn_clear_bitmap(M->screen, 0);
    M->cursor_y = 12;
    hold = true;
    serve(png_cart("-- got it\nx=1"));
    const int64_t size = int64_t(served_bytes.size());
    ASSERT_TRUE(browse_download_cart_for_load(M, "777", false));
    auto reaches = [](int64_t n) {
        held_received = n;
        return eventually([n] {
            int64_t r = 0;
            return browse_download_progress(&r, nullptr) && r == n;
        });
    };
    ASSERT_TRUE(reaches(size / 4));
    int64_t received = 0, total = 0;
    EXPECT_TRUE(browse_download_progress(&received, &total));
    EXPECT_EQ(total, size);
    browse_update_load_download(M);
    const std::vector<uint8_t> quarter(M->screen->pix.begin() + 12 * 128, M->screen->pix.begin() + 17 * 128);
    ASSERT_TRUE(reaches(size * 3 / 4));
    browse_update_load_download(M);
    EXPECT_EQ(M->cursor_y, 18);  // "downloading.. 75%" over "downloading.. 25%"
    EXPECT_NE(std::vector<uint8_t>(M->screen->pix.begin() + 12 * 128, M->screen->pix.begin() + 17 * 128), quarter);

    hold = false;
    ASSERT_TRUE(browse_download_wait(5000));
    browse_dl.start_ms -= browse_dl_settle_ms;
    browse_update_load_download(M);
    EXPECT_EQ(M->cursor_y, 12 + 3 * vexel_line_height);  // "downloading.. ok" in its place, title, "loaded"
    EXPECT_FALSE(browse_download_progress(&received, &total));

    char text[browse_progress_text_max];
    browse_progress_text(900, 400, text, sizeof text);
    EXPECT_STREQ(text, "100%");
    browse_progress_text(12 * 1024 + 900, -1, text, sizeof text);  // no total: the amount
    EXPECT_STREQ(text, "12k");
}
