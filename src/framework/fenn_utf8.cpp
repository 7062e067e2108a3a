#include "framework/fenn_utf8.h"

namespace {

constexpr uint32_t surrogate_first = 0xd800, surrogate_last = 0xdfff;

bool is_continuation(uint8_t b) { return (b & 0xc0) == 0x80; }

}  // namespace

int32_t fenn_utf8_decode(const char* text, size_t length, size_t* used) {
    *used = 1;
    if (!text || length == 0) return fenn_utf8_invalid;
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    const uint8_t lead = p[0];
    if (lead < 0x80) return lead;
    size_t n;
    uint32_t cp, least;
    if ((lead & 0xe0) == 0xc0) {
        n = 2, cp = lead & 0x1f, least = 0x80;
    } else if ((lead & 0xf0) == 0xe0) {
        n = 3, cp = lead & 0x0f, least = 0x800;
    } else if ((lead & 0xf8) == 0xf0) {
        n = 4, cp = lead & 0x07, least = 0x10000;
    } else {
        return fenn_utf8_invalid;  // a continuation byte, or 0xf8-0xff
    }
    if (length < n) return fenn_utf8_invalid;
    for (size_t i = 1; i < n; ++i) {
        if (!is_continuation(p[i])) return fenn_utf8_invalid;
        cp = cp << 6 | (p[i] & 0x3f);
    }
    // Overlong forms would let one character hide behind several spellings.
    if (cp < least || cp > fenn_utf8_max_code || (cp >= surrogate_first && cp <= surrogate_last))
        return fenn_utf8_invalid;
    *used = n;
    return int32_t(cp);
}
