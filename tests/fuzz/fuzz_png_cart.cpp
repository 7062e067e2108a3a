// Feeds arbitrary bytes to the PNG cartridge reader. The first byte picks the
// way in, so the deep layers get fuzzed too and not only the PNG checksums:
//   0: the bytes are a PNG file;
//   1: the bytes are a 32 KiB block (zero-padded) read into a record;
//   2: the bytes are hidden in a cartridge picture, which is then read
//      (without the PNG codec, which way 0 covers).
// A record that loads must keep its invariants: code terminated and within
// its limit, so it saves and hashes again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cart/cart_art.h"
#include "cart/cart_hash.h"
#include "cart/png_cart.h"

namespace {

void check(vexel_cart* cart) {
    if (std::memchr(cart->code, 0, vexel_code_max + 1) == nullptr) std::abort();
    char hash[cart_hash_size + 1];
    cart_hash(cart, hash);
    if (std::strlen(hash) != size_t(cart_hash_size)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int mode = data[0] % 3;
    ++data;
    --size;
    vexel_cart* cart = nullptr;
    if (mode == 0) {
        int version = 0;
        if (png_cart_load_memory(data, size, true, &cart, &version) == cart_ok) {
            if (!cart || !cart->label) std::abort();
        } else if (cart) {
            std::abort();
        }
    } else if (mode == 1) {
        std::vector<uint8_t> block(cart_block_size, 0);
        std::memcpy(block.data(), data, size < block.size() ? size : block.size());
        cart = vexel_cart_create();
        png_cart_load_32k(cart, block.data(), block.size());
    } else {
        fenn_bitmap* pic = fenn_create_bitmap(cart_picture_w, cart_picture_h, 32);
        for (size_t i = 0; i < size && i < cart_png_block_size; ++i) {
            const uint8_t b = data[i];
            pic->pix32()[i] = uint32_t(b >> 6) << 24 | uint32_t(b >> 4 & 3) << 16 | uint32_t(b >> 2 & 3) << 8 | (b & 3);
        }
        int version = 0;
        png_cart_load_from_picture(pic, false, &cart, &version);
        fenn_destroy_bitmap(pic);
    }
    if (cart) check(cart);
    vexel_cart_destroy(cart);
    return 0;
}
