#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "framework/fenn_fetch.h"
#include "loopback_http.h"
#include "test_support.h"

namespace {

using vexel_test::HttpReply;
using vexel_test::LoopbackHttp;

constexpr int generous_s = 30;  // limits that only a broken client would reach

fenn_fetch_result fetch(const std::string& url, size_t max_bytes = 0, int timeout_s = generous_s) {
    fenn_fetch_request r;
    r.url = url;
    r.max_bytes = max_bytes;
    r.connect_timeout_s = timeout_s;
    r.timeout_s = timeout_s;
    fenn_fetch_result out;
    EXPECT_EQ(fenn_fetch(r, &out), out.status);
    return out;
}

std::string text(const fenn_fetch_result& r) { return std::string(r.body.begin(), r.body.end()); }

class Fetch : public ::testing::Test {
protected:
    void SetUp() override {
        // A proxy from the environment must not stand between the client
        // and the server on the loopback.
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        ASSERT_TRUE(server.running());
    }
    static HttpReply serve(const std::string& path) {
        if (path == "/hello") return HttpReply::ok("hello board");
        if (path == "/missing") return HttpReply::status(404);
        if (path == "/broken") return HttpReply::status(500);
        if (path.rfind("/hop/", 0) == 0) {
            const int left = std::atoi(path.c_str() + 5);
            return left > 0 ? HttpReply::redirect("/hop/" + std::to_string(left - 1)) : HttpReply::ok("landed");
        }
        if (path == "/to-file") return HttpReply::redirect(redirect_target);
        if (path == "/big") return HttpReply::ok(std::string(5000, 'b'));
        // Announces too much and then stalls: only a client that believes
        // the Content-Length fails at once instead of waiting.
        if (path == "/announced-big") return HttpReply::partial_then_stall(5000, 500);
        if (path == "/big-chunked") return HttpReply::chunked(std::string(5000, 'c'), 100);
        if (path == "/exact-chunked") return HttpReply::chunked(std::string(1000, 'e'), 100);
        if (path == "/short") return {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(50, 's'), false};
        if (path == "/hang-up") return {"", false};
        if (path == "/silent") return HttpReply::silence();
        if (path == "/stall") return HttpReply::partial_then_stall(1000, 10);
        return HttpReply::status(404);
    }
    static inline std::string redirect_target;
    LoopbackHttp server{serve};
};

TEST_F(Fetch, BodyArrivesWholeWithItsProgress) {
    fenn_fetch_progress progress;
    fenn_fetch_request r;
    r.url = server.url("/hello");
    r.progress = &progress;
    fenn_fetch_result out;
    EXPECT_EQ(fenn_fetch(r, &out), fenn_fetch_ok);
    EXPECT_TRUE(out.ok());
    EXPECT_EQ(text(out), "hello board");
    EXPECT_EQ(out.http_status, 200);
    EXPECT_EQ(out.reason, "");
    EXPECT_EQ(progress.received.load(), 11);
    EXPECT_EQ(progress.total.load(), 11);
}

TEST_F(Fetch, ErrorStatusesAndBrokenAnswersFailWithoutABody) {
    fenn_fetch_result r = fetch(server.url("/missing"));
    EXPECT_EQ(r.status, fenn_fetch_http_error);
    EXPECT_EQ(r.http_status, 404);
    EXPECT_EQ(r.reason, "http 404");
    EXPECT_TRUE(r.body.empty());  // never the error page

    r = fetch(server.url("/broken"));
    EXPECT_EQ(r.status, fenn_fetch_http_error);
    EXPECT_EQ(r.reason, "http 500");
    EXPECT_TRUE(r.body.empty());

    // Half a body, then the connection ends: nothing is returned.
    r = fetch(server.url("/short"));
    EXPECT_EQ(r.status, fenn_fetch_failed);
    EXPECT_TRUE(r.body.empty());
    // A server that hangs up without a word.
    r = fetch(server.url("/hang-up"));
    EXPECT_EQ(r.status, fenn_fetch_failed);
    EXPECT_FALSE(r.reason.empty());

    r = fetch("http://127.0.0.1:" + std::to_string(LoopbackHttp::closed_port()) + "/x");
    EXPECT_EQ(r.status, fenn_fetch_no_connection);
    EXPECT_EQ(r.reason, "could not connect");
}

TEST_F(Fetch, RedirectsAreFollowedFiveTimesAndNeverToAFile) {
    fenn_fetch_result r = fetch(server.url("/hop/5"));
    EXPECT_EQ(r.status, fenn_fetch_ok) << r.detail;
    EXPECT_EQ(text(r), "landed");

    r = fetch(server.url("/hop/6"));
    EXPECT_EQ(r.status, fenn_fetch_bad_redirect);
    EXPECT_TRUE(r.body.empty());

    const std::string secret = vexel_test::temp_dir("fetch_redirect") + "/secret.txt";
    std::ofstream(secret) << "private";
    redirect_target = "file://" + secret;
    r = fetch(server.url("/to-file"));
    EXPECT_EQ(r.status, fenn_fetch_bad_redirect);
    EXPECT_TRUE(r.body.empty());
    redirect_target = "FILE://" + secret;
    EXPECT_EQ(fetch(server.url("/to-file")).status, fenn_fetch_bad_redirect);
}

TEST_F(Fetch, BodiesOverTheCapFailWhetherAnnouncedOrNot) {
    fenn_fetch_progress progress;
    fenn_fetch_request req;
    req.url = server.url("/announced-big");
    req.max_bytes = 1000;
    req.timeout_s = 5;  // reached only when the announced size went unheeded
    req.progress = &progress;
    fenn_fetch_result r;
    EXPECT_EQ(fenn_fetch(req, &r), fenn_fetch_too_large);
    EXPECT_EQ(r.reason, "too large");
    EXPECT_TRUE(r.body.empty());
    EXPECT_EQ(progress.received.load(), 0);  // refused on its Content-Length, before any byte was kept

    r = fetch(server.url("/big-chunked"), 1000);
    EXPECT_EQ(r.status, fenn_fetch_too_large);
    EXPECT_TRUE(r.body.empty());

    // Exactly the cap is still within it.
    r = fetch(server.url("/exact-chunked"), 1000);
    EXPECT_EQ(r.status, fenn_fetch_ok);
    EXPECT_EQ(r.body.size(), 1000u);
    r = fetch(server.url("/big"), 5000);
    EXPECT_EQ(r.status, fenn_fetch_ok);
}

TEST_F(Fetch, ASilentServerTimesOut) {
    const fenn_fetch_result r = fetch(server.url("/silent"), 0, 1);
    EXPECT_EQ(r.status, fenn_fetch_timed_out);
    EXPECT_EQ(r.reason, "timed out");
    EXPECT_TRUE(r.body.empty());
}

TEST_F(Fetch, CancellingFromAnotherThreadEndsAStalledTransfer) {
    std::atomic<bool> cancel{false};
    fenn_fetch_progress progress;
    fenn_fetch_request req;
    req.url = server.url("/stall");
    req.connect_timeout_s = generous_s;
    req.timeout_s = generous_s;
    req.progress = &progress;
    req.cancelled = [&cancel] { return cancel.load(); };
    fenn_fetch_result r;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        fenn_fetch(req, &r);
        done = true;
    });
    // The first ten bytes arrive; the rest never will.
    for (int i = 0; i < 1000 && progress.received.load() < 10; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(progress.received.load(), 10);
    EXPECT_EQ(progress.total.load(), 1000);
    EXPECT_FALSE(done.load());
    cancel = true;
    worker.join();
    EXPECT_EQ(r.status, fenn_fetch_cancelled);
    EXPECT_EQ(r.reason, "cancelled");
    EXPECT_TRUE(r.body.empty());

    // Cancelled before it starts: the server is never contacted.
    const int before = server.connections();
    fenn_fetch(req, &r);
    EXPECT_EQ(r.status, fenn_fetch_cancelled);
    EXPECT_EQ(server.connections(), before);
}

TEST_F(Fetch, OtherSchemesAndGarbageFailWithoutTouchingTheNetwork) {
    const std::string port = std::to_string(server.port());
    for (const std::string& url :
         {"ftp://127.0.0.1:" + port + "/hello", "gopher://127.0.0.1:" + port + "/", "dict://127.0.0.1:" + port + "/x",
          "127.0.0.1:" + port + "/hello", std::string("not a url"), std::string(""), std::string("http:/x"),
          "http://127.0.0.1:" + port + "/a b", "http://127.0.0.1:" + port + "/x\r\nX-Injected: 1",
          "http://127.0.0.1:" + port + "/" + std::string(fenn_fetch_url_max, 'a')}) {
        const fenn_fetch_result r = fetch(url);
        EXPECT_EQ(r.status, fenn_fetch_bad_address) << url;
        EXPECT_EQ(r.reason, "unsupported address") << url;
    }
    // Passes the scheme check, but libcurl finds no host in it.
    EXPECT_EQ(fetch("http://").status, fenn_fetch_bad_address);
    EXPECT_EQ(server.connections(), 0);

    // The scheme is matched without regard to case.
    EXPECT_EQ(text(fetch("HTTP://127.0.0.1:" + port + "/hello")), "hello board");
    EXPECT_TRUE(fenn_fetch_address_allowed("HtTpS://example.com/"));
    EXPECT_FALSE(fenn_fetch_address_allowed(nullptr));
    EXPECT_FALSE(fenn_fetch_address_allowed("https:example.com"));
    fenn_fetch_request null_result;
    null_result.url = server.url("/hello");
    EXPECT_EQ(fenn_fetch(null_result, nullptr), fenn_fetch_failed);
}

TEST_F(Fetch, LocalFilesAreReadThroughFileAddresses) {
    const std::string dir = vexel_test::temp_dir("fetch_file");
    std::ofstream(dir + "/cart.txt") << "local bytes";
    fenn_fetch_result r = fetch("file://" + dir + "/cart.txt");
    EXPECT_EQ(r.status, fenn_fetch_ok) << r.detail;
    EXPECT_EQ(text(r), "local bytes");

    r = fetch("file://" + dir + "/gone.txt");
    EXPECT_EQ(r.status, fenn_fetch_not_found);
    EXPECT_TRUE(r.body.empty());

    // The cap holds for files too.
    EXPECT_EQ(fetch("file://" + dir + "/cart.txt", 4).status, fenn_fetch_too_large);
}

}  // namespace
