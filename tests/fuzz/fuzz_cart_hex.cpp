// Any clipboard text gives bytes or nothing, never more than the limit, and
// bytes put in the text form come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cart/cart_hex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes;
    const int st = cart_hex_decode(reinterpret_cast<const char*>(data), size, &bytes);
    if ((st == 0) == bytes.empty() || bytes.size() > cart_hex_max_bytes ||
        (!bytes.empty() && bytes.size() * 2 + 6 > size)) std::abort();
    const std::string text = cart_hex_encode(data, size);
    std::vector<uint8_t> back;
    cart_hex_decode(text.data(), text.size(), &back);
    if (back != std::vector<uint8_t>(data, data + size)) std::abort();
    return 0;
}
