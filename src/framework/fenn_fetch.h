// fenn_fetch: downloading one address into memory, in-process, with libcurl.
//
// fenn_fetch runs one transfer to its end on the calling thread (normally a
// worker thread) and returns the whole body, or nothing. It owns the libcurl
// handle of that transfer (made and freed inside the call) and the one-time
// global set-up of libcurl; no libcurl type appears here.
//
// Invariants:
//  - Only http, https and file addresses are fetched. The scheme is checked
//    (without regard to case) before libcurl sees the address, and libcurl
//    is told the same, so nothing else is ever opened. Redirects are followed
//    at most fenn_fetch_redirects_max times and only to http or https, never
//    to a file on this machine.
//  - The body is returned only when the transfer ended well: the status is
//    fenn_fetch_ok, every byte arrived and the size stayed within the cap.
//    On any failure the body is empty.
//  - An HTTP status of 400 or more is a failure, whatever body came with it.
//  - A transfer never outlives its time limits, and stops within about a
//    second of its cancel predicate turning true (libcurl asks the progress
//    function at least that often), so a worker can be left to end on its
//    own; the caller never has to wait for it.
//  - The progress record is written by the transfer and may be read from
//    any thread while it runs.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr int fenn_fetch_redirects_max = 5;
constexpr int fenn_fetch_timeout_max_s = 3600;        // longer limits are cut to this
constexpr size_t fenn_fetch_url_max = 4096;            // longer addresses are refused
constexpr size_t fenn_fetch_size_ceiling = size_t(64) << 20;  // the cap when the caller names none

enum fenn_fetch_status : int32_t {
    fenn_fetch_ok = 0,
    fenn_fetch_bad_address,    // not http/https/file, malformed: nothing was sent
    fenn_fetch_no_connection,  // the host could not be resolved or reached
    fenn_fetch_timed_out,
    fenn_fetch_http_error,     // the server answered with a status of 400 or more
    fenn_fetch_too_large,      // over the caller's size cap
    fenn_fetch_cancelled,
    fenn_fetch_bad_redirect,   // too many redirects, or one to a refused scheme
    fenn_fetch_not_found,      // a file:// address whose file cannot be read
    fenn_fetch_failed,         // anything else (a broken connection, TLS, ...)
};

// How far a transfer has come. received counts body bytes kept so far;
// total is the size the server announced, or -1 while it is unknown.
struct fenn_fetch_progress {
    std::atomic<int64_t> received{0};
    std::atomic<int64_t> total{-1};
};

struct fenn_fetch_request {
    std::string url;
    int connect_timeout_s = 10;   // for reaching the server; 1..fenn_fetch_timeout_max_s
    int timeout_s = 30;           // for the whole transfer; 1..fenn_fetch_timeout_max_s
    size_t max_bytes = 0;         // largest body accepted; 0 takes fenn_fetch_size_ceiling
    // Asked from the transfer's thread while it runs; true stops it
    // (fenn_fetch_cancelled). May be empty.
    std::function<bool()> cancelled;
    // Updated while the transfer runs; may be null. Must outlive the call.
    fenn_fetch_progress* progress = nullptr;
};

struct fenn_fetch_result {
    fenn_fetch_status status = fenn_fetch_failed;
    int http_status = 0;          // the last response's status; 0 when none came
    std::string reason;           // short, for messages: "http 404", "timed out"; "" when ok
    std::string detail;           // libcurl's own words, for the log; may be ""
    std::vector<uint8_t> body;    // the whole body when ok, else empty
    bool ok() const { return status == fenn_fetch_ok; }
};

// Fetches request.url into result->body. Returns result->status. Safe to
// call from several threads at once (each call has its own handle).
fenn_fetch_status fenn_fetch(const fenn_fetch_request& request, fenn_fetch_result* result);

// Whether fenn_fetch would try an address at all: http://, https:// or
// file:// (any case), no control characters or spaces, at most
// fenn_fetch_url_max bytes.
bool fenn_fetch_address_allowed(const char* url);

// The short reason for a status ("http error" stands for the numbered form
// that fenn_fetch fills in).
const char* fenn_fetch_status_text(fenn_fetch_status status);
