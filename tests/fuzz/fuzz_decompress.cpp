// Feeds arbitrary bytes to the code decompressor, with a capacity taken from
// the first byte so both the cartridge's and small capacities are exercised.
// Whatever comes back must be consistent: within the capacity and terminated.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cart/compress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t capacity = data[0] < 128 ? 65535 : data[0];
    std::vector<char> out(capacity + 1, '\x7f');
    size_t length = 0;
    int status = compress_mini_unpack(data + 1, size - 1, out.data(), capacity, &length);
    if (status != decompress_ok && length != 0) std::abort();
    if (length > capacity || out[capacity] != '\x7f') std::abort();

    // Whatever decoded must compress again and decode to the same text.
    size_t text_len = std::strlen(out.data());
    std::vector<uint8_t> block(compress_mini_bound(text_len));
    size_t n = compress_mini_pack(out.data(), text_len, block.data(), block.size());
    if (n && compress_is_block(block.data(), n)) {
        std::vector<char> again(text_len + 1);
        size_t again_len = 0;
        if (compress_mini_unpack(block.data(), n, again.data(), text_len, &again_len) != decompress_ok)
            std::abort();
        // The legacy tails are removed on reading, so only compare when none was.
        if (again_len == text_len && std::memcmp(again.data(), out.data(), text_len) != 0) std::abort();
    }
    return 0;
}
