#include <gtest/gtest.h>

#include "framework/fenn_video.h"

TEST(Video, PixelPerfectScalingCentresTheLargestWholeMultiple) {
    int none[4] = {0, 0, 4096, 4096};
    fenn_rect r = fenn_compute_dest_rect(1280, 720, 128, 128, 1, none);
    EXPECT_EQ(r.x, 320);
    EXPECT_EQ(r.y, 40);
    EXPECT_EQ(r.w, 640);
    EXPECT_EQ(r.h, 640);
    // Smaller than the picture: 1x, centred at a negative offset.
    r = fenn_compute_dest_rect(100, 100, 128, 128, 1, none);
    EXPECT_EQ(r.w, 128);
    EXPECT_EQ(r.x, -14);
    EXPECT_EQ(r.y, -14);
}

TEST(Video, AspectFitAndExplicitDrawRectangle) {
    int none[4] = {0, 0, 4096, 4096};
    fenn_rect r = fenn_compute_dest_rect(1000, 500, 128, 128, 0, none);
    EXPECT_EQ(r.x, 250);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.w, 500);
    EXPECT_EQ(r.h, 500);
    r = fenn_compute_dest_rect(300, 900, 128, 128, 0, none);
    EXPECT_EQ(r.w, 300);
    EXPECT_EQ(r.y, 300);
    int given[4] = {5, 6, 70, 80};
    r = fenn_compute_dest_rect(1000, 500, 128, 128, 1, given);
    EXPECT_EQ(r.x, 5);
    EXPECT_EQ(r.h, 80);
}

TEST(Video, FrameRateSmoothingConvergesWithoutOvershoot) {
    for (int i = 0; i < 400; ++i) fenn_measure_frame(33);  // 1000/33 + 1 = 31
    EXPECT_EQ(fenn_get_fps(), 31);
    fenn_measure_frame(16);  // r = 63: one step moves up but stays below
    EXPECT_GT(fenn_get_fps(), 31);
    EXPECT_LT(fenn_get_fps(), 63);
    for (int i = 0; i < 400; ++i) fenn_measure_frame(5000);  // capped at 1000 ms: r = 2
    EXPECT_EQ(fenn_get_fps(), 2);
}

TEST(Video, PaletteConversionIsOpaque) {
    fenn_bitmap* b = fenn_create_bitmap(2, 1, 8);
    b->pix[0] = 0;
    b->pix[1] = 255;
    uint8_t pal[768] = {};
    pal[0] = 1; pal[1] = 2; pal[2] = 3;
    pal[765] = 0xaa; pal[766] = 0xbb; pal[767] = 0xcc;
    uint32_t out[2];
    fenn_convert_to_argb(b, pal, out);
    EXPECT_EQ(out[0], 0xFF010203u);
    EXPECT_EQ(out[1], 0xFFAABBCCu);
    fenn_destroy_bitmap(b);
}
