#include "cart/code_tabs.h"

#include <cstring>

#include "machine/pstate.h"

namespace {
int current_tab = 0;
}

void split_code_text(const char* code, char* const* tabs, int tab_count, size_t capacity) {
    if (capacity == 0) return;
    for (int t = 0; t < tab_count; ++t)
        if (tabs[t]) tabs[t][0] = 0;
    const char* p = code ? code : "";
    for (int t = 0; t < tab_count; ++t) {
        const char* sep = std::strstr(p, code_tab_separator);
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

size_t merge_code_text(const char* const* tabs, int tab_count, int current, char* out, size_t capacity) {
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

void split_code_to_tabs() {
    if (!pstate.working_cart) return;
    for (char* tab : pstate.code_tabs)
        if (!tab) return;
    split_code_text(pstate.working_cart->code, pstate.code_tabs, vexel_code_tabs, vexel_code_buffer);
}

size_t merge_code_from_tabs() {
    vexel_cart* cart = pstate.working_cart;
    if (!cart) return 0;
    for (char* tab : pstate.code_tabs)
        if (!tab) return std::strlen(cart->code);
    size_t length = merge_code_text(pstate.code_tabs, vexel_code_tabs, current_tab, nullptr, 0);
    if (length > size_t(vexel_code_max)) return length;
    merge_code_text(pstate.code_tabs, vexel_code_tabs, current_tab, cart->code, vexel_code_buffer);
    return length;
}

int current_code_tab() { return current_tab; }

void select_code_tab(int tab) { current_tab = tab < 0 ? 0 : tab >= vexel_code_tabs ? vexel_code_tabs - 1 : tab; }
