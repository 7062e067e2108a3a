#include "cart/sha1.h"

#include <cstring>

namespace {

inline uint32_t rol(uint32_t x, int n) { return x << n | x >> (32 - n); }

void process_block(uint32_t h[5], const uint8_t* p) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 |
               uint32_t(p[4 * i + 3]);
    for (int i = 16; i < 80; ++i) w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        uint32_t t = rol(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rol(b, 30);
        b = a;
        a = t;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

}  // namespace

void sha1_init(sha1_state* s) {
    s->h[0] = 0x67452301;
    s->h[1] = 0xEFCDAB89;
    s->h[2] = 0x98BADCFE;
    s->h[3] = 0x10325476;
    s->h[4] = 0xC3D2E1F0;
    s->length = 0;
    s->used = 0;
}

void sha1_update(sha1_state* s, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    s->length += size;
    if (s->used) {
        size_t take = 64 - s->used < size ? 64 - s->used : size;
        std::memcpy(s->block + s->used, p, take);
        s->used += take;
        p += take;
        size -= take;
        if (s->used < 64) return;
        process_block(s->h, s->block);
        s->used = 0;
    }
    for (; size >= 64; p += 64, size -= 64) process_block(s->h, p);
    if (size) std::memcpy(s->block, p, size);
    s->used = size;
}

void sha1_final(sha1_state* s, uint8_t digest[sha1_digest_size]) {
    const uint64_t bits = s->length * 8;
    // Padding: a 1 bit, zeros up to 56 bytes into a block, then the length.
    s->block[s->used++] = 0x80;
    if (s->used > 56) {
        std::memset(s->block + s->used, 0, 64 - s->used);
        process_block(s->h, s->block);
        s->used = 0;
    }
    std::memset(s->block + s->used, 0, 56 - s->used);
    for (int i = 0; i < 8; ++i) s->block[56 + i] = uint8_t(bits >> (56 - 8 * i));
    process_block(s->h, s->block);
    s->used = 0;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = uint8_t(s->h[i] >> (24 - 8 * j));
}

void sha1_hex(const void* data, size_t size, char out[sha1_hex_size + 1]) {
    sha1_state s;
    sha1_init(&s);
    sha1_update(&s, data, size);
    uint8_t digest[sha1_digest_size];
    sha1_final(&s, digest);
    static const char hex[] = "0123456789abcdef";
    for (size_t i = 0; i < sha1_digest_size; ++i) {
        out[2 * i] = hex[digest[i] >> 4];
        out[2 * i + 1] = hex[digest[i] & 15];
    }
    out[sha1_hex_size] = 0;
}
