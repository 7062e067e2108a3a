// sha1: the SHA-1 message digest (FIPS 180-1, RFC 3174), used to name
// cartridges by their contents.
//
// sha1_state is a plain value: start it with sha1_init, feed any number of
// byte ranges with sha1_update, and sha1_final gives the 20-byte digest. The
// total length is counted in bits as a 64-bit value, which is enough for any
// message this system hashes.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t sha1_digest_size = 20;
constexpr size_t sha1_hex_size = 40;  // lower-case hex digits, without terminator

struct sha1_state {
    uint32_t h[5];
    uint64_t length;      // bytes fed so far
    uint8_t block[64];    // bytes of the current, incomplete block
    size_t used;          // bytes in `block`
};

void sha1_init(sha1_state* s);
void sha1_update(sha1_state* s, const void* data, size_t size);
void sha1_final(sha1_state* s, uint8_t digest[sha1_digest_size]);

// The digest of one byte range, as 40 lower-case hex digits and a terminator.
void sha1_hex(const void* data, size_t size, char out[sha1_hex_size + 1]);
