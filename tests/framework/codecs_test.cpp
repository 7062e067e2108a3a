// vexel's own codecs, which the web build reads and writes with instead of
// system libraries: zlib streams (fenn_deflate), PNG (fenn_png_codec) and
// LZ4 blocks (fenn_lz4). Round trips, agreement with zlib and liblz4 in
// both directions, and damaged input: every truncation and thousands of
// random corruptions give an error or bounded output, never a crash or a
// write past the buffer (the sanitizer build watches the last).
#include <gtest/gtest.h>
#include <lz4.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "framework/fenn_bitmap.h"
#include "framework/fenn_deflate.h"
#include "framework/fenn_lz4.h"
#include "framework/fenn_png.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int corruption_rounds = 1500;

// Inputs of every kind a compressor meets: nothing, one byte, noise, long
// runs past the 32 KiB window, text, and noise with repeats far apart.
std::vector<Bytes> samples() {
    std::mt19937 rng(7);
    std::vector<Bytes> v;
    v.push_back({});
    v.push_back({42});
    Bytes noise(70000);
    for (uint8_t& b : noise) b = uint8_t(rng());
    v.push_back(noise);
    v.push_back(Bytes(100000, 0x55));
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "function _draw() cls(" + std::to_string(i % 16) + ") end\n";
    v.push_back(Bytes(text.begin(), text.end()));
    Bytes far(noise.begin(), noise.begin() + 20000);
    far.insert(far.end(), noise.begin(), noise.begin() + 20000);  // a repeat 20000 back
    far.insert(far.end(), noise.begin() + 5, noise.begin() + 300);
    v.push_back(far);
    return v;
}

Bytes zlib_compress(const Bytes& in, int level) {
    uLongf n = compressBound(uLong(in.size()));
    Bytes out(n);
    EXPECT_EQ(compress2(out.data(), &n, in.data(), uLong(in.size()), level), Z_OK);
    out.resize(n);
    return out;
}

TEST(Deflate, RoundTripsAndZlibReadsWhatItWrites) {
    for (const Bytes& in : samples()) {
        Bytes packed;
        fenn_deflate_zlib(in.data(), in.size(), &packed);
        Bytes back;
        ASSERT_EQ(fenn_inflate_zlib(packed.data(), packed.size(), &back, in.size()), fenn_inflate_ok) << in.size();
        EXPECT_EQ(back, in);
        Bytes z(in.size() + 1);
        uLongf n = uLongf(z.size());
        ASSERT_EQ(uncompress(z.data(), &n, packed.data(), uLong(packed.size())), Z_OK) << in.size();
        z.resize(n);
        EXPECT_EQ(z, in);
        // The same input gives the same bytes: every build writes alike.
        Bytes again;
        fenn_deflate_zlib(in.data(), in.size(), &again);
        EXPECT_EQ(again, packed);
    }
}

TEST(Deflate, BlocksWithTheirOwnCodesComeCloseToZlib) {
    // Bytes that use few values often (a picture's, a program's text) take
    // codes of their own: within a fifth of zlib's default level, where the
    // fixed codes alone left a picture half as large again.
    std::mt19937 rng(3);
    Bytes skewed(60000);
    for (uint8_t& b : skewed) b = uint8_t(rng() % 7 == 0 ? rng() % 256 : 0x40 + rng() % 6);
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "x" + std::to_string(i * 7919 % 1000) + " = y * " + std::to_string(i % 13) + "\n";
    for (const Bytes& in : {skewed, Bytes(text.begin(), text.end())}) {
        Bytes packed;
        fenn_deflate_zlib(in.data(), in.size(), &packed);
        EXPECT_LT(packed.size(), zlib_compress(in, 6).size() * 6 / 5) << in.size();
        Bytes back;
        ASSERT_EQ(fenn_inflate_zlib(packed.data(), packed.size(), &back, in.size()), fenn_inflate_ok);
        EXPECT_EQ(back, in);
    }
}

TEST(Inflate, ReadsZlibsStoredFixedAndDynamicBlocks) {
    for (const Bytes& in : samples())
        for (int level : {0, 1, 9}) {
            const Bytes packed = zlib_compress(in, level);
            Bytes back;
            ASSERT_EQ(fenn_inflate_zlib(packed.data(), packed.size(), &back, in.size()), fenn_inflate_ok)
                << in.size() << " level " << level;
            EXPECT_EQ(back, in);
        }
}

TEST(Inflate, LimitsTruncationsAndCorruptionGiveErrorsNeverCrashes) {
    const Bytes in = samples()[4];
    const Bytes packed = zlib_compress(in, 9);
    Bytes out;
    EXPECT_EQ(fenn_inflate_zlib(packed.data(), packed.size(), &out, in.size() - 1), fenn_inflate_too_large);
    EXPECT_LE(out.size(), in.size() - 1);
    for (size_t n = 0; n < packed.size(); ++n) {
        out.clear();
        EXPECT_NE(fenn_inflate_zlib(packed.data(), n, &out, in.size()), fenn_inflate_ok) << "cut at " << n;
        EXPECT_LE(out.size(), in.size());
    }
    std::mt19937 rng(11);
    for (int round = 0; round < corruption_rounds; ++round) {
        Bytes bad = packed;
        for (int k = 1 + int(rng() % 4); k > 0; --k) bad[rng() % bad.size()] ^= uint8_t(1 + rng() % 255);
        out.clear();
        const int st = fenn_inflate_zlib(bad.data(), bad.size(), &out, in.size());
        EXPECT_TRUE(st == fenn_inflate_ok || st == fenn_inflate_damaged || st == fenn_inflate_too_large);
        EXPECT_LE(out.size(), in.size());
        // The check value catches what changed the output.
        if (st == fenn_inflate_ok) {
            EXPECT_EQ(out, in) << "round " << round;
        }
    }
}

fenn_bitmap* random_picture(std::mt19937& rng, int w, int h) {
    fenn_bitmap* b = fenn_create_bitmap(w, h, 32);
    for (int i = 0; i < w * h; ++i) b->pix32()[i] = (i % 7 == 0) ? 0xff102030u : uint32_t(rng());
    return b;
}

TEST(PngCodec, EveryPixelComesBackAndDamagedFilesAreRefused) {
    std::mt19937 rng(3);
    fenn_bitmap* pic = random_picture(rng, 37, 21);
    Bytes png, quick;
    ASSERT_EQ(fenn_png_encode(pic, &png), 0);
    ASSERT_EQ(fenn_png_encode_quick(pic, &quick), 0);
    for (const Bytes* file : {&png, &quick}) {
        fenn_bitmap* back = nullptr;
        ASSERT_EQ(fenn_png_decode_portable(file->data(), file->size(), &back), fenn_png_ok);
        ASSERT_EQ(back->w, 37);
        ASSERT_EQ(back->h, 21);
        EXPECT_EQ(std::memcmp(back->pix32(), pic->pix32(), size_t(37) * 21 * 4), 0);
        fenn_destroy_bitmap(back);
    }
    fenn_bitmap* out = nullptr;
    EXPECT_EQ(fenn_png_decode_portable(png.data(), png.size(), &out, 36, 21), fenn_png_too_big);
    EXPECT_EQ(out, nullptr);
    for (size_t n = 0; n < png.size(); ++n) {
        EXPECT_NE(fenn_png_decode_portable(png.data(), n, &out), fenn_png_ok) << "cut at " << n;
        EXPECT_EQ(out, nullptr);
    }
    for (int round = 0; round < corruption_rounds; ++round) {
        Bytes bad = png;
        for (int k = 1 + int(rng() % 3); k > 0; --k) bad[rng() % bad.size()] ^= uint8_t(1 + rng() % 255);
        const int st = fenn_png_decode_portable(bad.data(), bad.size(), &out);
        if (st == fenn_png_ok) {
            // Only a change the format carries no check for (an ancillary
            // chunk's CRC is still checked): the picture reads whole.
            ASSERT_NE(out, nullptr);
            EXPECT_LE(size_t(out->w) * size_t(out->h), size_t(fenn_max_bitmap_side) * fenn_max_bitmap_side);
            fenn_destroy_bitmap(out);
            out = nullptr;
        } else {
            EXPECT_EQ(out, nullptr);
        }
    }
    fenn_destroy_bitmap(pic);
}

TEST(Lz4, DecodesLiblz4BlocksAndRefusesDamageWithinItsBuffer) {
    constexpr size_t guard = 64;
    for (const Bytes& in : samples()) {
        Bytes packed(size_t(LZ4_compressBound(int(in.size()))));
        const int n = LZ4_compress_default(reinterpret_cast<const char*>(in.data()),
                                           reinterpret_cast<char*>(packed.data()), int(in.size()), int(packed.size()));
        ASSERT_GT(n, 0);
        packed.resize(size_t(n));
        Bytes out(in.size() + guard, 0xee);
        ASSERT_EQ(fenn_lz4_decode_block(packed.data(), packed.size(), out.data(), in.size()), long(in.size()));
        EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin()));
        for (size_t g = 0; g < guard; ++g) EXPECT_EQ(out[in.size() + g], 0xee);
        if (!in.empty()) {
            EXPECT_EQ(fenn_lz4_decode_block(packed.data(), packed.size(), out.data(), in.size() - 1), -1);
        }
    }
    const Bytes in = samples()[4];
    Bytes packed(size_t(LZ4_compressBound(int(in.size()))));
    packed.resize(size_t(LZ4_compress_default(reinterpret_cast<const char*>(in.data()),
                                              reinterpret_cast<char*>(packed.data()), int(in.size()),
                                              int(packed.size()))));
    std::mt19937 rng(5);
    Bytes out(in.size() + guard);
    auto bounded = [&](const Bytes& block, size_t size) -> long {
        std::fill(out.begin(), out.end(), 0xee);
        const long r = fenn_lz4_decode_block(block.data(), size, out.data(), in.size());
        EXPECT_GE(r, -1);
        EXPECT_LE(r, long(in.size()));
        bool kept = true;
        for (size_t g = 0; g < guard; ++g) kept = kept && out[in.size() + g] == 0xee;
        EXPECT_TRUE(kept) << "wrote past the buffer";
        return r;
    };
    for (size_t n = 0; n < packed.size(); n += 1 + n / 64)
        EXPECT_NE(bounded(packed, n), long(in.size())) << "cut at " << n;
    for (int round = 0; round < corruption_rounds; ++round) {
        Bytes bad = packed;
        for (int k = 1 + int(rng() % 4); k > 0; --k) bad[rng() % bad.size()] ^= uint8_t(1 + rng() % 255);
        bounded(bad, bad.size());
    }
    // Offsets before the start of the output and lengths past the input.
    EXPECT_EQ(bounded(Bytes{0x1f, 'a', 0xff, 0x00}, 4), -1);
    EXPECT_EQ(bounded(Bytes{0xf0, 0xff, 0xff}, 3), -1);
}

}  // namespace
