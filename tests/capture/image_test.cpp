#include <gif_lib.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "capture/capture_gif.h"
#include "capture/capture_png.h"
#include "capture_fixture.h"
#include "framework/fenn_png.h"

namespace {

struct BitmapDeleter {
    void operator()(fenn_bitmap* b) const { fenn_destroy_bitmap(b); }
};
using BitmapPtr = std::unique_ptr<fenn_bitmap, BitmapDeleter>;

struct GifCloser {
    void operator()(GifFileType* g) const {
        int error = 0;
        DGifCloseFile(g, &error);
    }
};
using GifPtr = std::unique_ptr<GifFileType, GifCloser>;

GifPtr slurp_gif(const std::string& path) {
    int error = 0;
    GifPtr gif(DGifOpenFileName(path.c_str(), &error));
    EXPECT_TRUE(gif) << path << " error " << error;
    if (gif) {
        EXPECT_EQ(DGifSlurp(gif.get()), GIF_OK) << gif->Error;
    }
    return gif;
}

// A picture with something in every colour and every corner.
BitmapPtr test_picture(int w, int h) {
    BitmapPtr b(fenn_create_bitmap(w, h, 8));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b->pix[size_t(y * w + x)] = uint8_t((x + 3 * y) % 16);
    return b;
}

std::vector<uint8_t> frame_of(int seed, bool extended = false) {
    std::vector<uint8_t> f(capture_frame_bytes);
    for (size_t i = 0; i < f.size(); ++i) f[i] = uint8_t((i / 7 + size_t(seed)) % 16);
    if (extended) f[100] = 0x8b;
    return f;
}

}  // namespace

TEST_F(CaptureTest, ScreenshotDecodesToTheScreenThroughThePaletteEnlarged) {
    BitmapPtr screen = test_picture(128, 128);
    screen->pix[0] = 0;       // colour 0 is written opaque, in its own colour
    screen->pix[1] = 0x8c;    // an extended colour
    std::vector<uint8_t> png;
    ASSERT_EQ(capture_encode_png(screen.get(), palette, 3, &png), 0);
    fenn_bitmap* raw = nullptr;
    ASSERT_EQ(fenn_png_decode(png.data(), png.size(), &raw), fenn_png_ok);
    BitmapPtr shot(raw);
    ASSERT_EQ(shot->w, 384);
    ASSERT_EQ(shot->h, 384);
    for (int y = 0; y < 384; ++y)
        for (int x = 0; x < 384; ++x)
            ASSERT_EQ(shot->pix32()[y * 384 + x], colour(screen->pix[size_t((y / 3) * 128 + x / 3)]))
                << x << "," << y;
    EXPECT_EQ(shot->pix32()[0], colour(0));
    EXPECT_EQ(shot->pix32()[3], colour(0x8c));
}

TEST_F(CaptureTest, ScreenshotScaleIsClampedToOneToThirtyTwo) {
    BitmapPtr small = test_picture(16, 8);
    for (auto [scale, side] : {std::pair{0, 16}, {-4, 16}, {1, 16}, {40, 512}, {32, 512}}) {
        std::vector<uint8_t> png;
        ASSERT_EQ(capture_encode_png(small.get(), palette, scale, &png), 0) << scale;
        fenn_bitmap* raw = nullptr;
        ASSERT_EQ(fenn_png_decode(png.data(), png.size(), &raw), fenn_png_ok);
        BitmapPtr shot(raw);
        EXPECT_EQ(shot->w, side) << scale;
        EXPECT_EQ(shot->h, side / 2) << scale;
        EXPECT_EQ(shot->pix32()[shot->w * shot->h - 1], colour(small->pix.back()));
    }
    std::vector<uint8_t> png;
    BitmapPtr deep(fenn_create_bitmap(8, 8, 32));
    EXPECT_EQ(capture_encode_png(deep.get(), palette, 1, &png), 1);
    EXPECT_EQ(capture_encode_png(nullptr, palette, 1, &png), 1);
    BitmapPtr huge(fenn_create_bitmap(1024, 8, 8));  // 1024 x 32 is wider than any bitmap
    EXPECT_EQ(capture_encode_png(huge.get(), palette, 32, &png), 1);
    EXPECT_TRUE(png.empty());
}

TEST_F(CaptureTest, GifHoldsEveryFrameScaledWithItsPaletteAndTiming) {
    capture_clip clip;
    ASSERT_TRUE(capture_clip_allocate(clip, 30));
    for (int n = 0; n < 40; ++n) capture_clip_record(clip, frame_of(n).data());  // 29 kept: 11..39
    const std::string path = desktop + "/clip.gif";
    ASSERT_EQ(capture_write_gif(path.c_str(), clip, palette, 2), 0);

    GifPtr gif = slurp_gif(path);
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->SWidth, 256);
    EXPECT_EQ(gif->SHeight, 256);
    EXPECT_EQ(gif->SBackGroundColor, 0);
    ASSERT_NE(gif->SColorMap, nullptr);
    ASSERT_EQ(gif->SColorMap->ColorCount, 16);
    for (int i = 0; i < 16; ++i) {
        const GifColorType c = gif->SColorMap->Colors[i];
        EXPECT_EQ(0xff000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue, colour(i)) << i;
    }
    ASSERT_EQ(gif->ImageCount, 29);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& img = gif->SavedImages[i];
        EXPECT_EQ(img.ImageDesc.Left, 0);
        EXPECT_EQ(img.ImageDesc.Width, 256);
        EXPECT_EQ(img.ImageDesc.Height, 256);
        EXPECT_FALSE(img.ImageDesc.Interlace);
        const std::vector<uint8_t> want = frame_of(11 + i);
        for (int y = 0; y < 256; y += 5)
            for (int x = 0; x < 256; x += 3)
                ASSERT_EQ(img.RasterBits[y * 256 + x], want[size_t((y / 2) * 128 + x / 2)]) << i << " " << x << "," << y;

        GraphicsControlBlock gcb;
        ASSERT_EQ(DGifSavedExtensionToGCB(gif.get(), i, &gcb), GIF_OK) << i;
        EXPECT_EQ(gcb.DelayTime, 3);
        EXPECT_EQ(gcb.DisposalMode, DISPOSE_BACKGROUND);
        EXPECT_EQ(gcb.TransparentColor, NO_TRANSPARENT_COLOR);

        bool loops = false;
        for (int e = 0; e < img.ExtensionBlockCount; ++e) {
            const ExtensionBlock& b = img.ExtensionBlocks[e];
            if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
                std::memcmp(b.Bytes, "NETSCAPE2.0", 11) == 0) {
                loops = true;
                ASSERT_LT(e + 1, img.ExtensionBlockCount);
                const ExtensionBlock& sub = img.ExtensionBlocks[e + 1];
                ASSERT_EQ(sub.ByteCount, 3);
                EXPECT_EQ(sub.Bytes[0], 1);
                EXPECT_EQ(sub.Bytes[1], 0);  // for ever
                EXPECT_EQ(sub.Bytes[2], 0);
            }
        }
        EXPECT_EQ(loops, i == 0) << i;
    }
}

TEST_F(CaptureTest, GifPaletteGrowsToTwoHundredFiftySixForExtendedColours) {
    capture_clip clip;
    ASSERT_TRUE(capture_clip_allocate(clip, 30));
    capture_clip_record(clip, frame_of(0).data());
    EXPECT_EQ(capture_gif_palette_size(clip), 16);
    capture_clip_record(clip, frame_of(1, true).data());
    capture_clip_record(clip, frame_of(2).data());
    EXPECT_EQ(capture_gif_palette_size(clip), 256);

    const std::string path = desktop + "/ext.gif";
    ASSERT_EQ(capture_write_gif(path.c_str(), clip, palette, 1), 0);
    GifPtr gif = slurp_gif(path);
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->SWidth, 128);
    ASSERT_EQ(gif->SColorMap->ColorCount, 256);
    const GifColorType c = gif->SColorMap->Colors[0x8b];
    EXPECT_EQ(c.Red, palette[0x8b * 3]);
    EXPECT_EQ(c.Green, palette[0x8b * 3 + 1]);
    EXPECT_EQ(c.Blue, palette[0x8b * 3 + 2]);
    ASSERT_EQ(gif->ImageCount, 3);
    EXPECT_EQ(gif->SavedImages[1].RasterBits[100], 0x8b);
    EXPECT_EQ(gif->SavedImages[1].RasterBits[101], frame_of(1)[101]);
}

TEST_F(CaptureTest, EmptyClipOrUnwritablePathWritesNoGif) {
    capture_clip clip;
    EXPECT_EQ(capture_write_gif((desktop + "/none.gif").c_str(), clip, palette, 2), 1);
    ASSERT_TRUE(capture_clip_allocate(clip, 30));
    EXPECT_EQ(capture_write_gif((desktop + "/none.gif").c_str(), clip, palette, 2), 1);
    EXPECT_TRUE(files().empty());
    capture_clip_record(clip, frame_of(0).data());
    EXPECT_EQ(capture_write_gif((desktop + "/no/such/folder.gif").c_str(), clip, palette, 2), 1);
}
