#include <gtest/gtest.h>
#include <png.h>

#include <vector>

#include "framework/fenn_png.h"

namespace {

using Bytes = std::vector<uint8_t>;

void append(png_structp png, png_bytep data, size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

// Writes a PNG of another colour type with libpng directly, to check that the
// decoder turns every kind into the same 32-bit form.
Bytes write_png(int w, int h, int type, int depth, const std::vector<Bytes>& rows,
                const std::vector<png_color>& palette = {}, const Bytes& trns = {},
                int interlace = PNG_INTERLACE_NONE) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, append, nullptr);
    png_set_IHDR(png, info, w, h, depth, type, interlace, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!trns.empty()) png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
    png_write_info(png, info);
    std::vector<png_bytep> ptrs;
    for (auto& r : rows) ptrs.push_back(const_cast<png_bytep>(r.data()));
    png_write_image(png, ptrs.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace

TEST(Png, RgbaRoundTripKeepsEveryBitIncludingUnderTransparency) {
    fenn_bitmap* b = fenn_create_bitmap(7, 5, 32);
    for (size_t i = 0; i < 35; ++i) b->pix32()[i] = uint32_t(i * 0x01030507u) ^ (i % 3 == 0 ? 0xff000000u : 0);
    b->pix32()[0] = 0x00ffffffu;  // fully transparent yet coloured: must survive
    Bytes png;
    ASSERT_EQ(fenn_png_encode(b, &png), 0);
    fenn_bitmap* back = nullptr;
    ASSERT_EQ(fenn_png_decode(png.data(), png.size(), &back), fenn_png_ok);
    EXPECT_EQ(back->w, 7);
    EXPECT_EQ(back->h, 5);
    EXPECT_EQ(back->pix, b->pix);
    fenn_destroy_bitmap(b);
    fenn_destroy_bitmap(back);

    fenn_bitmap* grey = fenn_create_bitmap(2, 2, 8);
    EXPECT_EQ(fenn_png_encode(grey, &png), 1);
    EXPECT_TRUE(png.empty());
    fenn_destroy_bitmap(grey);
}

TEST(Png, OtherColourTypesBecomeArgb) {
    fenn_bitmap* b = nullptr;
    // 8-bit grey, interlaced.
    Bytes grey = write_png(3, 2, PNG_COLOR_TYPE_GRAY, 8, {{0, 0x7f, 0xff}, {1, 2, 3}}, {}, {}, PNG_INTERLACE_ADAM7);
    ASSERT_EQ(fenn_png_decode(grey.data(), grey.size(), &b), fenn_png_ok);
    EXPECT_EQ(b->pix32()[1], 0xff7f7f7fu);
    EXPECT_EQ(b->pix32()[5], 0xff030303u);
    fenn_destroy_bitmap(b);

    // 4-bit palette with a transparent entry.
    std::vector<png_color> pal = {{10, 20, 30}, {200, 100, 50}};
    Bytes indexed = write_png(2, 1, PNG_COLOR_TYPE_PALETTE, 4, {{0x01}}, pal, {0x00});
    ASSERT_EQ(fenn_png_decode(indexed.data(), indexed.size(), &b), fenn_png_ok);
    EXPECT_EQ(b->pix32()[0], 0x000a141eu);
    EXPECT_EQ(b->pix32()[1], 0xffc86432u);
    fenn_destroy_bitmap(b);

    // 16-bit RGB keeps the high bytes.
    Bytes deep = write_png(1, 1, PNG_COLOR_TYPE_RGB, 16, {{0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc}});
    ASSERT_EQ(fenn_png_decode(deep.data(), deep.size(), &b), fenn_png_ok);
    EXPECT_EQ(b->pix32()[0], 0xff12569au);
    fenn_destroy_bitmap(b);
}

TEST(Png, LimitsAndDamageAreReported) {
    fenn_bitmap* b = fenn_create_bitmap(40, 30, 32);
    Bytes png;
    ASSERT_EQ(fenn_png_encode(b, &png), 0);
    fenn_destroy_bitmap(b);
    fenn_bitmap* out = reinterpret_cast<fenn_bitmap*>(1);
    EXPECT_EQ(fenn_png_decode(png.data(), png.size(), &out, 39, 30), fenn_png_too_big);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(fenn_png_decode(png.data(), png.size(), &out, 40, 29), fenn_png_too_big);
    EXPECT_EQ(fenn_png_decode(png.data(), png.size(), &out, 40, 30), fenn_png_ok);
    fenn_destroy_bitmap(out);

    // Cut anywhere before the end of the picture data (the final 12-byte end
    // marker carries nothing, so a file missing only that still reads).
    for (size_t cut = 0; cut < png.size() - 12; ++cut) {
        EXPECT_NE(fenn_png_decode(png.data(), cut, &out), fenn_png_ok) << cut;
        EXPECT_EQ(out, nullptr);
    }
    Bytes bad = png;
    bad[20] ^= 1;  // inside the header chunk: its checksum no longer matches
    EXPECT_EQ(fenn_png_decode(bad.data(), bad.size(), &out), fenn_png_unreadable);
    EXPECT_EQ(fenn_png_decode(nullptr, 0, &out), fenn_png_unreadable);
}
