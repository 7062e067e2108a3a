// What both builds' fenn_fetch share: which addresses a transfer may use
// and the words for each status.
#include <cstring>

#include "framework/fenn_fetch.h"

namespace {

// Case-blind, for the scheme of an address only (ASCII letters).
bool starts_with_ci(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix)
        if (!*s || (*s | 0x20) != (*prefix | 0x20)) return false;
    return true;
}

}  // namespace

bool fenn_fetch_address_allowed(const char* url) {
    if (!url) return false;
    const size_t n = std::strlen(url);
    if (n > fenn_fetch_url_max) return false;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (c <= 0x20 || c == 0x7f) return false;
    }
    return starts_with_ci(url, "http://") || starts_with_ci(url, "https://") || starts_with_ci(url, "file://");
}

const char* fenn_fetch_status_text(fenn_fetch_status status) {
    switch (status) {
    case fenn_fetch_ok: return "";
    case fenn_fetch_bad_address: return "unsupported address";
    case fenn_fetch_no_connection: return "could not connect";
    case fenn_fetch_timed_out: return "timed out";
    case fenn_fetch_http_error: return "http error";
    case fenn_fetch_too_large: return "too large";
    case fenn_fetch_cancelled: return "cancelled";
    case fenn_fetch_bad_redirect: return "bad redirect";
    case fenn_fetch_not_found: return "not found";
    case fenn_fetch_failed: break;
    }
    return "transfer failed";
}
