#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cart/sha1.h"

namespace {

std::string hex(const std::string& s) {
    char out[sha1_hex_size + 1];
    sha1_hex(s.data(), s.size(), out);
    return out;
}

std::string hex_of(const uint8_t d[sha1_digest_size]) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < sha1_digest_size; ++i) s += {digits[d[i] >> 4], digits[d[i] & 15]};
    return s;
}

}  // namespace

// The published test vectors of the algorithm (FIPS 180 examples, RFC 3174).
TEST(Sha1, PublishedVectors) {
    EXPECT_EQ(hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                  "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
              "a49b2446a02c645bf419f995b67091253a04a259");
    EXPECT_EQ(hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    std::string rep;
    for (int i = 0; i < 10; ++i) rep += "0123456701234567012345670123456701234567012345670123456701234567";
    EXPECT_EQ(hex(rep), "dea356a2cddd90c7a7ecedc5ebb563934f460452");
}

TEST(Sha1, PiecewiseFeedingGivesTheSameDigest) {
    // Lengths around the 55/56/64-byte padding boundaries, fed in uneven pieces.
    for (size_t len : {size_t(55), size_t(56), size_t(63), size_t(64), size_t(65), size_t(119), size_t(1000)}) {
        std::vector<uint8_t> data(len);
        for (size_t i = 0; i < len; ++i) data[i] = uint8_t(i * 31 + 7);
        char whole[sha1_hex_size + 1];
        sha1_hex(data.data(), len, whole);
        for (size_t piece : {size_t(1), size_t(3), size_t(63), size_t(64), size_t(100)}) {
            sha1_state s;
            sha1_init(&s);
            for (size_t at = 0; at < len; at += piece)
                sha1_update(&s, data.data() + at, std::min(piece, len - at));
            uint8_t d[sha1_digest_size];
            sha1_final(&s, d);
            EXPECT_EQ(hex_of(d), whole) << len << " " << piece;
        }
    }
}
