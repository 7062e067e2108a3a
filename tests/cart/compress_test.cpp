#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "cart/compress.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string read_text(const std::string& name) {
    return vexel_test::read_file(std::string(VEXEL_SOURCE_DIR) + "/tests/cart/data/" + name);
}

Bytes compress(const std::string& s) {
    Bytes out(compress_mini_bound(s.size()));
    size_t n = compress_mini_pack(s.data(), s.size(), out.data(), out.size());
    out.resize(n);
    return out;
}

std::string decompress(const Bytes& block, size_t capacity = 65536, int* status = nullptr) {
    std::vector<char> out(capacity + 1, 'x');
    size_t len = 99;
    int st = compress_mini_unpack(block.data(), block.size(), out.data(), capacity, &len);
    if (status) *status = st;
    return std::string(out.data(), len);
}

// A second, deliberately naive encoder written from the format's description:
// it compares every candidate in full and keeps its own position table. The
// real compressor takes shortcuts; both must give the same bytes.
Bytes reference_compress(const std::string& s) {
    const std::string alphabet = "^\n 0123456789abcdefghijklmnopqrstuvwxyz!#%(){}[]<>+=/*:;.,~_";
    auto h = [&](int p) {
        return (7 * uint8_t(s[p]) + 1503 * uint8_t(s[p + 1]) + 51717 * uint8_t(s[p + 2])) & 8191;
    };
    std::vector<int> found(8192, -1);
    const int n = int(s.size());
    Bytes out = {':', 'c', ':', 0, uint8_t(n >> 8), uint8_t(n), 0, 0};
    int p = 0;
    while (p < n) {
        int best_len = 0, best_i = -1;
        int longest = std::min(n - p, 17), window = std::min(p, 3120);
        if (longest >= 3 && window >= 3 && found[h(p)] >= p - window) {
            for (int i = p - window; i <= found[h(p)]; ++i) {
                if (s[i] != s[p]) continue;
                int k = 0;
                while (k < longest && i + k < p && s[i + k] == s[p + k]) ++k;
                if (k > best_len) best_len = k, best_i = i;
            }
        }
        int old_p = p;
        if (best_len < 3) {
            size_t idx = alphabet.find(s[p], 1);
            if (idx == std::string::npos || s[p] == '^') {
                out.push_back(0);
                out.push_back(uint8_t(s[p]));
            } else {
                out.push_back(uint8_t(idx));
            }
            ++p;
        } else {
            int off = p - best_i;
            out.push_back(uint8_t(60 + off / 16));
            out.push_back(uint8_t(off % 16 + (best_len - 2) * 16));
            p += best_len;
        }
        for (int q = std::max(0, old_p - 2); q <= p - 3; ++q) found[h(q)] = q;
    }
    if (out.size() >= s.size()) return Bytes(s.begin(), s.end());
    return out;
}

// A long program built from the test cartridges with small changes per copy,
// so matches of every distance and length occur.
std::string long_program(size_t size) {
    std::string base = read_text("dungeon.lua") + read_text("orbit.lua");
    std::string s;
    for (int copy = 0; s.size() < size; ++copy) {
        for (size_t i = 0; i < base.size() && s.size() < size; ++i) {
            char c = base[i];
            if (c >= '0' && c <= '9' && (i + copy) % 7 == 0) c = char('0' + (c - '0' + copy) % 10);
            s += c;
        }
    }
    return s;
}

}  // namespace

// The byte layout itself (header, alphabet, two-byte literals, copies) is
// checked through the reference encoder below.
TEST(Compress, SmallTextsStayPlainWhenNotShorter) {
    EXPECT_EQ(compress("").size(), 0u);  // eight header bytes are not fewer than 0
    // abcabc: three literals and one copy make 13 bytes, not shorter than the text.
    Bytes abc = compress("abcabc");
    EXPECT_EQ(std::string(abc.begin(), abc.end()), "abcabc");
    EXPECT_EQ(reference_compress("abcabc"), abc);
}

TEST(Compress, MatchesTheReferenceOnRealPrograms) {
    for (const char* name : {"orbit.lua", "dungeon.lua"}) {
        std::string text = read_text(name);
        ASSERT_GT(text.size(), 500u) << name;
        Bytes b = compress(text);
        EXPECT_EQ(b, reference_compress(text)) << name;
        EXPECT_LT(b.size(), text.size() * 3 / 4) << name;
        EXPECT_EQ(decompress(b), text) << name;
    }
    // Long texts reach the 3120-character window and the 17-character
    // matches; a long run and a two-letter text make ties everywhere.
    std::mt19937 rng(77);
    std::string two_letters(8000, 'a');
    for (char& c : two_letters) c = "ab"[rng() % 2];
    for (const std::string& text : {long_program(9000), long_program(65535), two_letters,
                                    std::string(5000, 'x') + "y" + std::string(2000, 'x')}) {
        const size_t size = text.size();
        Bytes b = compress(text);
        EXPECT_EQ(b.size(), reference_compress(text).size()) << size;
        EXPECT_EQ(b, reference_compress(text)) << size;
        EXPECT_EQ(decompress(b), text) << size;
    }
}

TEST(Compress, RandomTextsRoundTripAndMatchTheReference) {
    std::mt19937 rng(1234);
    const std::string pool = "abc ab\n()=+-_ABCxyz0123\t\"";
    for (int round = 0; round < 200; ++round) {
        std::string s(rng() % 400, ' ');
        for (char& c : s) c = round % 4 == 0 ? char(1 + rng() % 255) : pool[rng() % pool.size()];
        Bytes b = compress(s);
        ASSERT_EQ(b, reference_compress(s)) << round;
        if (compress_is_block(b.data(), b.size())) {
            ASSERT_EQ(decompress(b), s) << round;
        } else {
            ASSERT_EQ(std::string(b.begin(), b.end()), s) << round;
        }
    }
}

TEST(Compress, RefusesTextsTooLongOrOutputTooSmall) {
    std::string big(compress_max_text + 1, 'a');
    Bytes out(compress_mini_bound(big.size()));
    EXPECT_EQ(compress_mini_pack(big.data(), big.size(), out.data(), out.size()), 0u);
    std::string ok = "print(1)";
    EXPECT_EQ(compress_mini_pack(ok.data(), ok.size(), out.data(), compress_mini_bound(ok.size()) - 1), 0u);
}

TEST(Decompress, LegacyTailsAreRemovedOnlyAtTheEnd) {
    const std::string tail1 = "if(_update60)_update=function()_update60()_update60()end";
    const std::string tail2 =
        "if(_update60)_update=function()_update60()_update_buttons()_update60()end";
    ASSERT_EQ(tail1.size(), 56u);
    ASSERT_EQ(tail2.size(), 73u);
    std::string prog = "function _update60() x+=1 end\n";
    EXPECT_EQ(decompress(compress(prog + tail1)), prog);
    EXPECT_EQ(decompress(compress(prog + tail2)), prog);
    EXPECT_EQ(decompress(compress(prog + tail1 + "\n")), prog + tail1 + "\n");
    EXPECT_EQ(decompress(compress(tail1 + prog)), tail1 + prog);
}

TEST(Decompress, DamagedBlocksAreRejectedAndLeaveTheOutputCleared) {
    Bytes good = compress("function _draw() cls() print(\"hi\") end -- function _draw()");
    ASSERT_TRUE(compress_is_block(good.data(), good.size()));
    int st = -1;

    // Header length above the capacity.
    std::vector<char> out(16, 'x');
    size_t len = 7;
    EXPECT_EQ(compress_mini_unpack(good.data(), good.size(), out.data(), 10, &len), decompress_too_long);
    EXPECT_EQ(len, 0u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], 0);

    // Stream cut short at every possible point.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        Bytes b(good.begin(), good.begin() + cut);
        EXPECT_EQ(decompress(b, 65536, &st), "") << cut;
        EXPECT_NE(st, decompress_ok) << cut;
    }

    // A copy reaching before the start of the text, and one of offset 0.
    Bytes before = {':', 'c', ':', 0, 0, 10, 0, 0, 14, 60, 0x12};
    EXPECT_EQ(decompress(before, 65536, &st), "");
    EXPECT_EQ(st, decompress_bad_reference);
    Bytes zero = {':', 'c', ':', 0, 0, 10, 0, 0, 14, 60, 0x10};
    decompress(zero, 65536, &st);
    EXPECT_EQ(st, decompress_bad_reference);

    Bytes plain = {'p', 'r', 'i', 'n', 't'};
    decompress(plain, 65536, &st);
    EXPECT_EQ(st, decompress_not_a_block);
}

TEST(Decompress, CopiesMayOverlapAndRunPastTheLengthButNotTheCapacity) {
    // "ab" then a copy of offset 2, length 17: the copy repeats its own output.
    Bytes b = {':', 'c', ':', 0, 0, 5, 0, 0, 13, 14, 60, 2 | (15 << 4)};
    std::string s = decompress(b);
    EXPECT_EQ(s, "abababababababababa");  // 2 + 17 characters, past the declared 5
    std::vector<char> out(8, 'x');
    size_t len = 0;
    EXPECT_EQ(compress_mini_unpack(b.data(), b.size(), out.data(), 7, &len), decompress_ok);
    EXPECT_EQ(len, 7u);
    EXPECT_EQ(std::string(out.data(), 7), "abababa");
    EXPECT_EQ(out[7], 'x');  // the byte after the capacity is untouched
}
