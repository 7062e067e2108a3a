#include <gtest/gtest.h>

#include "framework/fenn_bitmap.h"

TEST(Bitmap, CreateRejectsBadSizesAndDepths) {
    EXPECT_EQ(fenn_create_bitmap(0, 10, 8), nullptr);
    EXPECT_EQ(fenn_create_bitmap(10, -1, 8), nullptr);
    EXPECT_EQ(fenn_create_bitmap(10, 10, 16), nullptr);
    EXPECT_EQ(fenn_create_bitmap(fenn_max_bitmap_side + 1, 1, 8), nullptr);
    fenn_bitmap* b = fenn_create_bitmap(3, 2, 32);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->pix.size(), 24u);
    fenn_destroy_bitmap(b);
}

TEST(Bitmap, ClipStaysInsideTheBitmap) {
    fenn_bitmap* b = fenn_create_bitmap(128, 128, 8);
    fenn_set_clip(b, -5, 10, 300, 5);
    EXPECT_EQ(b->clip_x0, 0);
    EXPECT_EQ(b->clip_x1, 128);
    EXPECT_EQ(b->clip_y0, 10);
    EXPECT_EQ(b->clip_y1, 10);  // empty, never inverted
    fenn_destroy_bitmap(b);
}

TEST(Bitmap, BlitClipsBothEnds) {
    fenn_bitmap* src = fenn_create_bitmap(4, 4, 8);
    fenn_bitmap* dst = fenn_create_bitmap(4, 4, 8);
    for (int i = 0; i < 16; ++i) src->pix[i] = uint8_t(i + 1);
    fenn_set_clip(dst, 1, 1, 3, 3);
    fenn_blit(src, -1, 0, dst, 0, 0, 4, 4);  // source column -1 does not exist
    // dst(1,1) pairs with src(0,1) after the shift; only the 2x2 clip is written.
    EXPECT_EQ(dst->pix[0], 0);
    EXPECT_EQ(dst->pix[1 * 4 + 1], src->pix[1 * 4 + 0]);
    EXPECT_EQ(dst->pix[2 * 4 + 2], src->pix[2 * 4 + 1]);
    EXPECT_EQ(dst->pix[3 * 4 + 3], 0);
    fenn_destroy_bitmap(src);
    fenn_destroy_bitmap(dst);
}
