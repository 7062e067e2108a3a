#include "cart/code_tabs.h"

#include <cstring>

void code_tabs_split(const char* code, char* const* tabs, int tab_count, size_t capacity) {
    if (capacity == 0) return;
    for (int t = 0; t < tab_count; ++t)
        if (tabs[t]) tabs[t][0] = 0;
    const char* p = code ? code : "";
    for (int t = 0; t < tab_count; ++t) {
        // The last tab keeps the rest, separators and all: nothing is lost.
        const char* sep = t + 1 < tab_count ? std::strstr(p, code_tab_separator) : nullptr;
        size_t n = sep ? size_t(sep - p) : std::strlen(p);
        if (tabs[t]) {
            size_t keep = n < capacity - 1 ? n : capacity - 1;
            std::memcpy(tabs[t], p, keep);
            tabs[t][keep] = 0;
        }
        if (!sep) break;
        p = sep + code_tab_separator_len;
    }
}

size_t code_tabs_merge(const char* const* tabs, int tab_count, int current, char* out, size_t capacity) {
    int used = 1;
    for (int t = 0; t < tab_count; ++t)
        if ((tabs[t] && tabs[t][0]) || t == current) used = t + 1;
    if (used > tab_count) used = tab_count;
    size_t total = 0;
    auto put = [&](const char* s, size_t n) {
        if (out && capacity > 0 && total < capacity - 1) {
            size_t room = capacity - 1 - total;
            std::memcpy(out + total, s, n < room ? n : room);
        }
        total += n;
    };
    for (int t = 0; t < used; ++t) {
        if (tabs[t]) put(tabs[t], std::strlen(tabs[t]));
        if (t + 1 < used) put(code_tab_separator, code_tab_separator_len);
    }
    if (out && capacity > 0) out[total < capacity - 1 ? total : capacity - 1] = 0;
    return total;
}
