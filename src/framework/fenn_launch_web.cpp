// In the web build a page opens in a new tab; folders and files of the
// page's own file system mean nothing to the browser and are refused.
#include <emscripten.h>

#include <string>

#include "framework/fenn_host.h"
#include "framework/fenn_log.h"

namespace {

EM_JS(int, web_open_url, (const char* url), {
    if (typeof window === "undefined") return 0;
    return window.open(UTF8ToString(url), "_blank", "noopener") ? 1 : 0;
});

}  // namespace

int fenn_launch_html(const char* target) {
    const std::string t = fenn_launch_target(target);
    if (t.empty() || t.rfind("http", 0) != 0) return 1;
    const int result = web_open_url(t.c_str()) ? 0 : 2;
    fenn_debug("launch: [%s] result: %d\n", t.c_str(), result);
    return result;
}
