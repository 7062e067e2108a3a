#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_clip.h"
#include "framework/fenn_bitmap.h"

namespace {

// A frame whose every pixel says which frame it is (mod 256), plus its
// number in the first two bytes so that order survives past 256 frames.
std::vector<uint8_t> numbered_frame(int n) {
    std::vector<uint8_t> f(capture_frame_bytes, uint8_t(n));
    f[0] = uint8_t(n >> 8);
    f[1] = uint8_t(n);
    return f;
}

int number_of(const uint8_t* f) { return f[0] << 8 | f[1]; }

}  // namespace

TEST(CaptureClip, SlotsFollowTheGifLengthWithinLimits) {
    EXPECT_EQ(capture_clip_slots(8), 240);
    EXPECT_EQ(capture_clip_slots(1), 30);
    EXPECT_EQ(capture_clip_slots(0), 30);
    EXPECT_EQ(capture_clip_slots(-5), 30);
    EXPECT_EQ(capture_clip_slots(120), 3600);
    EXPECT_EQ(capture_clip_slots(200), 3600);
    EXPECT_EQ(capture_clip_slots(0x7fffffff), 3600);  // no overflow on the way
}

TEST(CaptureClip, FullClipKeepsTheNewestFramesInOrder) {
    capture_clip clip;
    ASSERT_TRUE(capture_clip_allocate(clip, capture_clip_slots(8)));
    // Ten seconds of play: 300 frames into 240 slots.
    for (int n = 0; n < 300; ++n) capture_clip_record(clip, numbered_frame(n).data());
    ASSERT_EQ(clip.count, 239);
    for (int i = 0; i < clip.count; ++i) {
        const uint8_t* f = capture_clip_frame(clip, i);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(number_of(f), 300 - 239 + i) << i;
        EXPECT_EQ(f[capture_frame_bytes - 1], uint8_t(300 - 239 + i));
    }
    EXPECT_EQ(capture_clip_frame(clip, -1), nullptr);
    EXPECT_EQ(capture_clip_frame(clip, 239), nullptr);

    // Wrapping many times over still holds exactly the newest frames.
    for (int n = 300; n < 1000; ++n) capture_clip_record(clip, numbered_frame(n).data());
    EXPECT_EQ(clip.count, 239);
    EXPECT_EQ(number_of(capture_clip_frame(clip, 0)), 1000 - 239);
    EXPECT_EQ(number_of(capture_clip_frame(clip, 238)), 999);
}

TEST(CaptureClip, ClearStartsAgainWithTheNextFrame) {
    capture_clip clip;
    ASSERT_TRUE(capture_clip_allocate(clip, 30));
    for (int n = 0; n < 100; ++n) capture_clip_record(clip, numbered_frame(n).data());
    EXPECT_EQ(clip.count, 29);
    capture_clip_clear(clip);
    EXPECT_EQ(clip.count, 0);
    EXPECT_EQ(capture_clip_frame(clip, 0), nullptr);
    for (int n = 100; n < 110; ++n) capture_clip_record(clip, numbered_frame(n).data());
    ASSERT_EQ(clip.count, 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(number_of(capture_clip_frame(clip, i)), 100 + i);

    // Allocating again keeps the memory and the frames.
    const uint8_t* before = clip.pix.get();
    EXPECT_TRUE(capture_clip_allocate(clip, 3600));
    EXPECT_EQ(clip.pix.get(), before);
    EXPECT_EQ(clip.slots, 30);
    EXPECT_EQ(clip.count, 10);
}

TEST(CaptureClip, UnallocatedClipIgnoresFrames) {
    capture_clip clip;
    capture_clip_record(clip, numbered_frame(1).data());
    EXPECT_EQ(clip.count, 0);
    EXPECT_EQ(capture_clip_frame(clip, 0), nullptr);
}

TEST(CaptureClip, VideoClipTakesOnlyMachineSizedFrames) {
    capture_reset_video();
    fenn_bitmap* frame = fenn_create_bitmap(128, 128, 8);
    fenn_bitmap* wide = fenn_create_bitmap(160, 128, 8);
    fenn_bitmap* deep = fenn_create_bitmap(128, 128, 32);
    frame->pix[5] = 9;
    capture_record_frame(frame, 8);
    capture_record_frame(wide, 8);
    capture_record_frame(deep, 8);
    capture_record_frame(nullptr, 8);
    ASSERT_EQ(capture_video_clip.count, 1);
    EXPECT_EQ(capture_video_clip.slots, 240);
    EXPECT_EQ(capture_clip_frame(capture_video_clip, 0)[5], 9);
    capture_reset_video();
    EXPECT_EQ(capture_video_clip.count, 0);
    fenn_destroy_bitmap(frame);
    fenn_destroy_bitmap(wide);
    fenn_destroy_bitmap(deep);
}
