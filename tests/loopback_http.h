// A tiny HTTP server on 127.0.0.1 (on a port the system picks) for tests of
// the download client. Each connection gets the handler's reply for the
// request's path: raw bytes sent as they are, so a test can play any broken
// or hostile server; then the connection is closed or, for a stalling reply,
// held open in silence until the client leaves or the server is destroyed
// (which waits for all its threads).
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace vexel_test {

struct HttpReply {
    std::string bytes;
    bool stall = false;
};

inline std::string http_response(const std::string& status, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

class LoopbackHttp {
public:
    explicit LoopbackHttp(std::function<HttpReply(const std::string& path)> handler) : handler_(std::move(handler)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 16) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        acceptor_ = std::thread([this] {
            std::vector<std::thread> workers;
            while (readable(fd_))
                if (const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC); c >= 0) {
                    ++connections;
                    workers.emplace_back([this, c] { serve(c); });
                }
            for (std::thread& t : workers) t.join();
        });
    }
    ~LoopbackHttp() {
        stop_ = true;
        acceptor_.join();
        ::close(fd_);
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }

    int port = 0;  // 0 when the server could not start
    std::atomic<int> connections{0};

private:
    std::function<HttpReply(const std::string&)> handler_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;

    // Waits until fd can be read (or was closed); false once the server stops.
    bool readable(int fd) const {
        pollfd p{fd, POLLIN, 0};
        while (!stop_)
            if (::poll(&p, 1, 20) > 0) return true;
        return false;
    }
    void serve(int c) {
        std::string request;
        char buf[4096];
        ssize_t n = 0;
        while (request.find("\r\n\r\n") == std::string::npos && readable(c) && (n = ::recv(c, buf, sizeof buf, 0)) > 0)
            request.append(buf, size_t(n));
        const size_t a = request.find(' '), b = request.find(' ', a + 1);  // "GET /path HTTP/1.1"
        const HttpReply r = handler_(b == std::string::npos ? "" : request.substr(a + 1, b - a - 1));
        for (size_t sent = 0; sent < r.bytes.size() && (n = ::send(c, r.bytes.data() + sent, r.bytes.size() - sent, MSG_NOSIGNAL)) > 0;)
            sent += size_t(n);  // a client over its size cap hangs up half-way
        while (r.stall && readable(c) && ::recv(c, buf, sizeof buf, 0) > 0) {
        }
        ::close(c);
    }
};

}  // namespace vexel_test
