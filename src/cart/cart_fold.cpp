#include "cart/cart_fold.h"

#include <cstdint>

namespace {

// U+00C0..U+017F: what each letter folds to ("" for none: unknown).
// Latin-1 Supplement letters, then Latin Extended-A, in code point order.
const char* const latin1[64] = {
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I",    // C0
    "D", "N", "O", "O", "O", "O", "O", "x", "O", "U", "U", "U", "U", "Y", "TH", "ss",   // D0
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",    // E0
    "d", "n", "o", "o", "o", "o", "o", "/", "o", "u", "u", "u", "u", "y", "th", "y",    // F0
};
// U+0100..U+017F, two by two (upper, lower) for most of the block.
const char latin_ext_a[128 + 1] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi"  // 0100..0131
    "??JjKkkLlLlLlLlLlNnNnNnnNnOoOoOo??RrRrRrSsSsSsSsTtTtTt"  // 0132..0167
    "UuUuUuUuUuUuWwYyYZzZzZzs";  // 0168..017F

// Decodes one UTF-8 character at s[i]; advances i. -1 for a malformed byte
// (i moves past that one byte).
long decode(std::string_view s, size_t& i) {
    const uint8_t c = uint8_t(s[i]);
    int extra = c < 0x80 ? 0 : (c & 0xe0) == 0xc0 ? 1 : (c & 0xf0) == 0xe0 ? 2 : (c & 0xf8) == 0xf0 ? 3 : -1;
    if (extra < 0 || i + size_t(extra) >= s.size() + (extra == 0 ? 1 : 0)) {
        ++i;
        return extra == 0 ? long(c) : -1;
    }
    long cp = extra == 0 ? c : extra == 1 ? (c & 0x1f) : extra == 2 ? (c & 0x0f) : (c & 0x07);
    for (int k = 1; k <= extra; ++k) {
        const uint8_t n = uint8_t(s[i + size_t(k)]);
        if ((n & 0xc0) != 0x80) {
            ++i;
            return -1;
        }
        cp = (cp << 6) | (n & 0x3f);
    }
    static const long least[4] = {0, 0x80, 0x800, 0x10000};
    i += size_t(extra) + 1;
    if (cp < least[extra] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return -1;
    return cp;
}

std::string fold_one(long cp) {
    if (cp >= 32 && cp < 127) return std::string(1, char(cp));
    if (cp >= 0 && cp < 32) return " ";
    if (cp >= 0xc0 && cp < 0x100) return latin1[cp - 0xc0];
    if (cp >= 0x100 && cp < 0x180) {
        const char c = latin_ext_a[cp - 0x100];
        if (cp == 0x132) return "IJ";
        if (cp == 0x133) return "ij";
        if (cp == 0x152) return "OE";
        if (cp == 0x153) return "oe";
        return std::string(1, c);
    }
    switch (cp) {
    case 0xa0: return " ";
    case 0x2018: case 0x2019: case 0x201a: case 0x2032: return "'";
    case 0x201c: case 0x201d: case 0x201e: case 0x2033: case 0xab: case 0xbb: return "\"";
    case 0x2010: case 0x2011: case 0x2012: case 0x2013: case 0x2014: case 0x2212: return "-";
    case 0x2026: return "...";
    case 0xb7: case 0x2022: return ".";
    default: return "?";
    }
}

}  // namespace

std::string cart_fold_text(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) out += fold_one(decode(utf8, i));
    return out;
}

std::string cart_fold_lower(std::string_view utf8) {
    std::string out = cart_fold_text(utf8);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}
