// The web build's fenn_fetch: a page cannot wait for a download in the
// middle of a frame, so transfers are the page's business (the player
// fetches a cartridge before it starts the machine). Here every address
// is answered at once: file:// reads the page's own file system, anything
// else fails with a reason the browser screen can show.
#include <cstring>
#include <string>

#include "framework/fenn_fetch.h"
#include "framework/fenn_file.h"

namespace {

bool starts_with_ci(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix)
        if (!*s || (*s | 0x20) != (*prefix | 0x20)) return false;
    return true;
}

fenn_fetch_status fail(fenn_fetch_result* r, fenn_fetch_status status, const char* reason) {
    r->status = status;
    r->reason = reason;
    r->body.clear();
    return status;
}

}  // namespace

fenn_fetch_status fenn_fetch(const fenn_fetch_request& request, fenn_fetch_result* result) {
    if (!result) return fenn_fetch_failed;
    *result = fenn_fetch_result();
    if (!fenn_fetch_address_allowed(request.url.c_str())) return fail(result, fenn_fetch_bad_address, "unsupported address");
    if (!starts_with_ci(request.url.c_str(), "file://"))
        return fail(result, fenn_fetch_no_connection, "no downloads in the web player");
    const size_t cap = request.max_bytes ? request.max_bytes : fenn_fetch_size_ceiling;
    std::string body;
    if (!fenn_read_regular_file(request.url.c_str() + 7, cap, &body)) return fail(result, fenn_fetch_not_found, "not found");
    result->body.assign(body.begin(), body.end());
    result->status = fenn_fetch_ok;
    if (request.progress) request.progress->received.store(int64_t(result->body.size()));
    return fenn_fetch_ok;
}
