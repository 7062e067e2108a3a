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

using vexel_test::http_response;
using vexel_test::HttpReply;

std::string secret_file;  // what the hostile redirect points at

HttpReply serve(const std::string& path) {
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    if (path == "/hello") return {http_response("200 OK", "hello board")};
    if (path == "/missing") return {http_response("404 Not Found", "error page")};
    if (path == "/broken") return {http_response("500 Oops", "error page")};
    if (path == "/short") return {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(50, 's')};
    if (path.rfind("/hop/", 0) == 0) {
        const int left = std::atoi(path.c_str() + 5);
        if (left == 0) return {http_response("200 OK", "landed")};
        return {"HTTP/1.1 302 Found\r\nLocation: /hop/" + std::to_string(left - 1) + "\r\nContent-Length: 0\r\n\r\n"};
    }
    if (path == "/to-file") return {"HTTP/1.1 302 Found\r\nLocation: file://" + secret_file + "\r\nContent-Length: 0\r\n\r\n"};
    // Announces too much, sends a little and stalls: only a client that
    // heeds the Content-Length fails at once.
    if (path == "/announced-big") return {"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + std::string(500, 'b'), true};
    if (path == "/chunked-big") return {chunked + "3e8\r\n" + std::string(1000, 'c') + "\r\n3e8\r\n" + std::string(1000, 'c') + "\r\n0\r\n\r\n"};
    if (path == "/chunked-cap") return {chunked + "3e8\r\n" + std::string(1000, 'e') + "\r\n0\r\n\r\n"};
    if (path == "/silent") return {"", true};
    if (path == "/stall") return {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789", true};
    return {"", false};  // hangs up without a word
}

class Fetch : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("no_proxy", "127.0.0.1", 1);  // no proxy from the environment in between
        ASSERT_NE(server.port, 0);
    }
    fenn_fetch_result get(const std::string& url, size_t cap = 0, int timeout_s = 30) {
        fenn_fetch_request r;
        r.url = url;
        r.max_bytes = cap;
        r.connect_timeout_s = r.timeout_s = timeout_s;
        fenn_fetch_result out;
        EXPECT_EQ(fenn_fetch(r, &out), out.status);
        return out;
    }
    vexel_test::LoopbackHttp server{serve};
};

TEST_F(Fetch, AnswersOfTheServerBecomeABodyOrAReason) {
    const std::string dir = vexel_test::temp_dir("fetch");
    secret_file = dir + "/secret.txt";
    std::ofstream(secret_file) << "private";
    struct Case {
        const char* path;
        size_t cap;
        int timeout_s;
        fenn_fetch_status status;
        std::string body, reason;
    } cases[] = {
        {"/hello", 0, 30, fenn_fetch_ok, "hello board", ""},
        {"/missing", 0, 30, fenn_fetch_http_error, "", "http 404"},
        {"/broken", 0, 30, fenn_fetch_http_error, "", "http 500"},
        {"/short", 0, 30, fenn_fetch_failed, "", "transfer failed"},
        {"/hang-up", 0, 30, fenn_fetch_failed, "", "transfer failed"},
        {"/hop/5", 0, 30, fenn_fetch_ok, "landed", ""},
        {"/hop/6", 0, 30, fenn_fetch_bad_redirect, "", "bad redirect"},
        {"/to-file", 0, 30, fenn_fetch_bad_redirect, "", "bad redirect"},
        {"/announced-big", 1000, 5, fenn_fetch_too_large, "", "too large"},
        {"/chunked-big", 1000, 30, fenn_fetch_too_large, "", "too large"},
        {"/chunked-cap", 1000, 30, fenn_fetch_ok, std::string(1000, 'e'), ""},
        {"/silent", 0, 1, fenn_fetch_timed_out, "", "timed out"},
    };
    for (const Case& c : cases) {
        const fenn_fetch_result r = get(server.url(c.path), c.cap, c.timeout_s);
        EXPECT_EQ(r.status, c.status) << c.path << ": " << r.detail;
        EXPECT_EQ(std::string(r.body.begin(), r.body.end()), c.body) << c.path;
        EXPECT_EQ(r.reason, c.reason) << c.path;
    }
    EXPECT_EQ(get("http://127.0.0.1:1/").status, fenn_fetch_no_connection);  // nothing listens there
}

TEST_F(Fetch, CancellingFromAnotherThreadEndsAStalledTransfer) {
    std::atomic<bool> cancel{false};
    fenn_fetch_progress progress;
    fenn_fetch_request req;
    req.url = server.url("/stall");
    req.progress = &progress;
    req.cancelled = [&cancel] { return cancel.load(); };
    fenn_fetch_result r;
    std::thread worker([&] { fenn_fetch(req, &r); });
    for (int i = 0; i < 1000 && progress.received.load() < 10; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(progress.received.load(), 10);  // what came so far, readable meanwhile
    EXPECT_EQ(progress.total.load(), 1000);
    cancel = true;
    worker.join();
    EXPECT_EQ(r.status, fenn_fetch_cancelled);
    EXPECT_TRUE(r.body.empty());

    const int before = server.connections.load();
    fenn_fetch(req, &r);  // cancelled before it starts: never connects
    EXPECT_EQ(r.status, fenn_fetch_cancelled);
    EXPECT_EQ(server.connections.load(), before);
}

TEST_F(Fetch, OtherSchemesAndGarbageFailWithoutTouchingTheNetwork) {
    const std::string host = "127.0.0.1:" + std::to_string(server.port);
    for (const std::string& url : {"ftp://" + host + "/hello", "gopher://" + host + "/", host + "/hello",
                                   std::string("not a url"), std::string(""), "http://" + host + "/a b",
                                   "http://" + host + "/x\r\nX-Injected: 1", std::string("http://"),
                                   "http://" + host + "/" + std::string(fenn_fetch_url_max, 'a')})
        EXPECT_EQ(get(url).status, fenn_fetch_bad_address) << url;
    EXPECT_EQ(server.connections.load(), 0);
    EXPECT_EQ(get("HTTP://" + host + "/hello").status, fenn_fetch_ok);  // schemes match in any case
}

TEST_F(Fetch, FileAddressesReadLocalFiles) {
    const std::string dir = vexel_test::temp_dir("fetch_file");
    std::ofstream(dir + "/cart.txt") << "local bytes";
    const fenn_fetch_result r = get("file://" + dir + "/cart.txt");
    EXPECT_EQ(std::string(r.body.begin(), r.body.end()), "local bytes");
    EXPECT_EQ(get("FILE://" + dir + "/gone.txt").status, fenn_fetch_not_found);
    EXPECT_EQ(get("file://" + dir + "/cart.txt", 4).status, fenn_fetch_too_large);
}

}  // namespace
