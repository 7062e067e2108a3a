// A tiny HTTP server on 127.0.0.1 for the tests of downloads, so that they
// exercise the real client without a network.
//
// It listens on a port the system picks, serves each connection on its own
// thread and answers every request with what the handler returns for its
// path: bytes sent as they are (status line, headers and body, so a test can
// send anything a broken or hostile server might), then either the
// connection is closed or, for a stalling reply, held open without another
// byte until the client gives up or the server is destroyed. The destructor
// stops everything and waits for its threads.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexel_test {

struct HttpReply {
    std::string bytes;   // sent as is; may be empty
    bool stall = false;  // then keep the connection open, silent

    static HttpReply ok(const std::string& body) {
        return {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\nConnection: close\r\n\r\n" + body,
                false};
    }
    static HttpReply status(int code, const std::string& body = "error page") {
        return {"HTTP/1.1 " + std::to_string(code) + " Whatever\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\nConnection: close\r\n\r\n" + body,
                false};
    }
    static HttpReply redirect(const std::string& location) {
        return {"HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                false};
    }
    // `body` in chunks of `chunk` bytes, with no Content-Length.
    static HttpReply chunked(const std::string& body, size_t chunk = 512) {
        std::string out = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
        for (size_t at = 0; at < body.size(); at += chunk) {
            const std::string part = body.substr(at, chunk);
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", part.size());
            out += size + part + "\r\n";
        }
        return {out + "0\r\n\r\n", false};
    }
    // Headers announcing `announced` bytes, `sent` of them, then silence.
    static HttpReply partial_then_stall(size_t announced, size_t sent) {
        return {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(announced) + "\r\n\r\n" + std::string(sent, 'x'),
                true};
    }
    static HttpReply silence() { return {"", true}; }
};

class LoopbackHttp {
public:
    using Handler = std::function<HttpReply(const std::string& path)>;

    explicit LoopbackHttp(Handler handler) : handler_(std::move(handler)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        socklen_t len = sizeof a;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] { accept_loop(); });
    }
    ~LoopbackHttp() {
        stop_ = true;
        if (acceptor_.joinable()) acceptor_.join();
        if (listener_ >= 0) ::close(listener_);
    }
    LoopbackHttp(const LoopbackHttp&) = delete;
    LoopbackHttp& operator=(const LoopbackHttp&) = delete;

    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int connections() const { return connections_.load(); }
    std::vector<std::string> paths() const {
        std::lock_guard<std::mutex> g(lock_);
        return paths_;
    }

    // A port on 127.0.0.1 where nothing listens (it was free a moment ago).
    static int closed_port() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        int port = 0;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        if (fd >= 0) ::close(fd);
        return port;
    }

private:
    static constexpr int poll_ms = 20;
    static constexpr size_t request_max = 16384;

    Handler handler_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex lock_;
    std::vector<std::string> paths_;
    std::thread acceptor_;

    // Whether fd has something to read (or was closed), waiting while the
    // server runs.
    bool wait_readable(int fd) {
        pollfd p{fd, POLLIN, 0};
        while (!stop_) {
            const int n = ::poll(&p, 1, poll_ms);
            if (n > 0) return true;
            if (n < 0 && errno != EINTR) return false;
        }
        return false;
    }

    void accept_loop() {
        std::vector<std::thread> workers;
        while (wait_readable(listener_)) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            ++connections_;
            workers.emplace_back([this, fd] { serve(fd); });
        }
        for (std::thread& t : workers) t.join();
    }

    void serve(int fd) {
        std::string request;
        char buf[1024];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < request_max && wait_readable(fd)) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            request.append(buf, size_t(n));
        }
        // "GET /path HTTP/1.1"
        const size_t a = request.find(' '), b = a == std::string::npos ? a : request.find(' ', a + 1);
        if (b != std::string::npos) {
            const std::string path = request.substr(a + 1, b - a - 1);
            {
                std::lock_guard<std::mutex> g(lock_);
                paths_.push_back(path);
            }
            const HttpReply reply = handler_(path);
            for (size_t sent = 0; sent < reply.bytes.size();) {
                const ssize_t n = ::send(fd, reply.bytes.data() + sent, reply.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;  // the client went away (say, over its size cap)
                sent += size_t(n);
            }
            // Held open until the client closes its end or the server stops.
            while (reply.stall && wait_readable(fd) && ::recv(fd, buf, sizeof buf, 0) > 0) {
            }
        }
        ::close(fd);
    }
};

}  // namespace vexel_test
