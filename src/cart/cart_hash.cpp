#include "cart/cart_hash.h"

#include <cstring>

#include "cart/png_cart.h"

void cart_hash(const vexel_cart* cart, char* out) {
    std::memset(out, '0', cart_hash_size);
    out[cart_hash_size] = 0;
    uint8_t block[cart_block_size];
    if (png_cart_save_32k(cart, block) != 0) {
        char text_digest[sha1_hex_size + 1];
        sha1_hex(cart->code, std::strlen(cart->code), text_digest);
        if (png_cart_save_32k_code(cart, text_digest, sha1_hex_size, block) != 0) return;
    }
    sha1_hex(block, cart_block_size, out);
}
