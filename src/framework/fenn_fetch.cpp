#include "framework/fenn_fetch.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <type_traits>

namespace {

constexpr const char* fetch_protocols = "http,https,file";
constexpr const char* redirect_protocols = "http,https";  // a server never makes us read a local file
constexpr const char* user_agent = "vexel";

// libcurl is loaded on the first fetch, not linked: with the 25 libraries
// it brings (TLS, Kerberos, LDAP, ...) it was a quarter of every start-up
// (`vexel -x` spent 13 ms of 53 loading it), and most runs fetch nothing.
// Its entry points, looked up once.
struct curl_api {
    CURLcode (*global_init)(long flags);
    CURL* (*easy_init)();
    CURLcode (*easy_setopt)(CURL* h, CURLoption option, ...);
    CURLcode (*easy_perform)(CURL* h);
    CURLcode (*easy_getinfo)(CURL* h, CURLINFO info, ...);
    void (*easy_cleanup)(CURL* h);
    const char* (*easy_strerror)(CURLcode code);
};

// The names Debian's libcurl packages install the library under (OpenSSL,
// then GnuTLS builds), and the development link as a last resort.
constexpr const char* curl_library_names[] = {"libcurl.so.4", "libcurl-gnutls.so.4", "libcurl.so"};

curl_api curl;
char curl_load_error[256] = "";

bool load_curl() {
    void* lib = nullptr;
    for (const char* name : curl_library_names)
        if ((lib = dlopen(name, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
    if (!lib) {
        std::snprintf(curl_load_error, sizeof curl_load_error, "downloads need libcurl, which is not installed (%s)",
                      curl_library_names[0]);
        return false;
    }
    bool found = true;
    auto find = [&](auto& fn, const char* symbol) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, symbol));
        found = found && fn != nullptr;
    };
    find(curl.global_init, "curl_global_init");
    find(curl.easy_init, "curl_easy_init");
    find(curl.easy_setopt, "curl_easy_setopt");
    find(curl.easy_perform, "curl_easy_perform");
    find(curl.easy_getinfo, "curl_easy_getinfo");
    find(curl.easy_cleanup, "curl_easy_cleanup");
    find(curl.easy_strerror, "curl_easy_strerror");
    if (!found) {
        std::snprintf(curl_load_error, sizeof curl_load_error, "the installed libcurl lacks an entry point");
        return false;
    }
    if (curl.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        std::snprintf(curl_load_error, sizeof curl_load_error, "libcurl could not be initialised");
        return false;
    }
    return true;
}

// libcurl is loaded and its global state made once, from whichever thread
// fetches first, and never torn down: a detached worker may still be
// running at exit.
bool global_ready() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = load_curl(); });
    return ready;
}

struct easy_deleter {
    void operator()(CURL* h) const { curl.easy_cleanup(h); }
};
using easy_handle = std::unique_ptr<CURL, easy_deleter>;

// What the callbacks share with fenn_fetch during one transfer.
struct transfer {
    const fenn_fetch_request* request;
    std::vector<uint8_t>* body;
    size_t cap;
    bool too_large = false;
};

size_t on_write(char* data, size_t size, size_t count, void* user) {
    transfer& t = *static_cast<transfer*>(user);
    const size_t n = size * count;
    // Counted here rather than trusted to Content-Length, which a chunked
    // (or lying) server does not send.
    if (n > t.cap - t.body->size()) {
        t.too_large = true;
        return 0;  // anything but n aborts the transfer
    }
    t.body->insert(t.body->end(), data, data + n);
    if (t.request->progress) t.request->progress->received.store(int64_t(t.body->size()));
    return n;
}

int on_progress(void* user, curl_off_t total, curl_off_t, curl_off_t, curl_off_t) {
    const transfer& t = *static_cast<transfer*>(user);
    if (t.request->progress) t.request->progress->total.store(total > 0 ? int64_t(total) : -1);
    return t.request->cancelled && t.request->cancelled() ? 1 : 0;
}

long clamp_seconds(int s) { return long(std::clamp(s, 1, fenn_fetch_timeout_max_s)); }

fenn_fetch_status fail(fenn_fetch_result* r, fenn_fetch_status status, const char* detail = "") {
    r->status = status;
    r->body.clear();
    r->body.shrink_to_fit();
    if (status == fenn_fetch_http_error) r->reason = "http " + std::to_string(r->http_status);
    else r->reason = fenn_fetch_status_text(status);
    r->detail = detail;
    return status;
}

fenn_fetch_status status_of(CURLcode code, const transfer& t) {
    switch (code) {
    case CURLE_OK: return fenn_fetch_ok;
    case CURLE_HTTP_RETURNED_ERROR: return fenn_fetch_http_error;
    case CURLE_OPERATION_TIMEDOUT: return fenn_fetch_timed_out;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT: return fenn_fetch_no_connection;
    case CURLE_ABORTED_BY_CALLBACK: return fenn_fetch_cancelled;
    case CURLE_FILESIZE_EXCEEDED: return fenn_fetch_too_large;
    case CURLE_WRITE_ERROR: return t.too_large ? fenn_fetch_too_large : fenn_fetch_failed;
    // The first address's scheme was checked already, so a refused
    // protocol can only come from a redirect.
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_TOO_MANY_REDIRECTS: return fenn_fetch_bad_redirect;
    case CURLE_URL_MALFORMAT: return fenn_fetch_bad_address;
    case CURLE_FILE_COULDNT_READ_FILE: return fenn_fetch_not_found;
    default: return fenn_fetch_failed;
    }
}

}  // namespace

fenn_fetch_status fenn_fetch(const fenn_fetch_request& request, fenn_fetch_result* result) {
    if (!result) return fenn_fetch_failed;
    *result = fenn_fetch_result();
    if (request.progress) {
        request.progress->received.store(0);
        request.progress->total.store(-1);
    }
    if (!fenn_fetch_address_allowed(request.url.c_str())) return fail(result, fenn_fetch_bad_address);
    if (request.cancelled && request.cancelled()) return fail(result, fenn_fetch_cancelled);
    if (!global_ready()) return fail(result, fenn_fetch_failed, curl_load_error);
    easy_handle handle(curl.easy_init());
    if (!handle) return fail(result, fenn_fetch_failed, "no libcurl handle");
    CURL* h = handle.get();

    transfer t{&request, &result->body, request.max_bytes ? std::min(request.max_bytes, fenn_fetch_size_ceiling)
                                                          : fenn_fetch_size_ceiling};
    char error[CURL_ERROR_SIZE] = {};
    // Every option is one libcurl has had for years; a failure to set one
    // means a libcurl built without it (say without a protocol), and the
    // transfer then is not tried rather than tried with weaker limits.
    bool set = curl.easy_setopt(h, CURLOPT_URL, request.url.c_str()) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_PROTOCOLS_STR, fetch_protocols) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, redirect_protocols) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_MAXREDIRS, long(fenn_fetch_redirects_max)) == CURLE_OK &&
               // Signals would be the only way libcurl could time out a name
               // lookup on some builds, and they do not mix with threads.
               curl.easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_CONNECTTIMEOUT, clamp_seconds(request.connect_timeout_s)) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_TIMEOUT, clamp_seconds(request.timeout_s)) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
               // A Content-Length over the cap fails before any body is read.
               curl.easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(t.cap)) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_WRITEFUNCTION, on_write) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_WRITEDATA, &t) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_XFERINFOFUNCTION, on_progress) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_XFERINFODATA, &t) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_ERRORBUFFER, error) == CURLE_OK &&
               curl.easy_setopt(h, CURLOPT_USERAGENT, user_agent) == CURLE_OK;
    if (!set) return fail(result, fenn_fetch_failed, "libcurl refused an option");

    const CURLcode code = curl.easy_perform(h);
    long http = 0;
    if (curl.easy_getinfo(h, CURLINFO_RESPONSE_CODE, &http) == CURLE_OK) result->http_status = int(http);
    fenn_fetch_status status = status_of(code, t);
    // FAILONERROR lets a few statuses through (an authentication answer);
    // a body that came with one is an error page all the same.
    if (status == fenn_fetch_ok && result->http_status >= 400) status = fenn_fetch_http_error;
    if (status != fenn_fetch_ok) {
        // Not logged here: the log belongs to the frame thread, and the
        // caller decides whether the words are worth keeping.
        return fail(result, status, error[0] ? error : curl.easy_strerror(code));
    }
    result->status = fenn_fetch_ok;
    if (request.progress) request.progress->received.store(int64_t(result->body.size()));
    return fenn_fetch_ok;
}
