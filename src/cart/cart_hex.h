// cart_hex: the clipboard form of a cartridge file, "[cart]" + two lower-case
// hex digits per byte + "[/cart]" on one line.
//
// The decoder takes clipboard text from anywhere: it never reads past the
// text, stops at the first '[' or pair that is not hex, and refuses to
// produce more than cart_hex_max_bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t cart_hex_max_bytes = size_t(1) << 20;  // bytes of a file put in the text form
constexpr size_t cart_hex_marker_len = 6;              // "[cart]"

// The text form of at most cart_hex_max_bytes bytes.
std::string cart_hex_encode(const uint8_t* data, size_t size);

// The bytes of a text form. Returns 0, or 1 when the text holds no bytes or
// would give more than cart_hex_max_bytes (`out` is then empty).
int cart_hex_decode(const char* text, size_t length, std::vector<uint8_t>* out);
