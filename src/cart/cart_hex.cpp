#include "cart/cart_hex.h"

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string cart_hex_encode(const uint8_t* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    if (size > cart_hex_max_bytes) size = cart_hex_max_bytes;
    std::string out = "[cart]";
    out.reserve(size * 2 + 13);
    for (size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    out += "[/cart]";
    return out;
}

int cart_hex_decode(const char* text, size_t length, std::vector<uint8_t>* out) {
    out->clear();
    if (!text || length <= cart_hex_marker_len) return 1;
    for (size_t i = cart_hex_marker_len; i + 2 <= length && text[i] != '['; i += 2) {
        const int hi = hex_digit(text[i]), lo = hex_digit(text[i + 1]);
        if (hi < 0 || lo < 0) break;
        if (out->size() >= cart_hex_max_bytes) {
            out->clear();
            return 1;
        }
        out->push_back(uint8_t(hi << 4 | lo));
    }
    return out->empty() ? 1 : 0;
}
