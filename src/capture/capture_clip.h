// capture_clip: the sliding window of recent frames that a GIF is made from.
//
// A clip owns one block of frame memory, allocated once (on the first frame
// recorded into it) and reused for ever after: recording copies 128 x 128
// colour indices into the next slot of a ring and never allocates, so it is
// safe to call every frame. The clip has `slots` slots and holds at most
// slots - 1 frames, the newest ones in the order they were recorded.
//
// Invariants: 0 <= first < max(held_max, 1), 0 <= count <= held_max, where
// held_max = slots - 1; pix holds held_max frames whenever slots > 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

struct fenn_bitmap;

constexpr int capture_side = 128;  // frames are the machine's 128 x 128 picture
constexpr size_t capture_frame_bytes = size_t(capture_side) * capture_side;
constexpr int capture_fps = 30;  // frames recorded per second of play
constexpr int capture_clip_min_slots = 30;
constexpr int capture_clip_max_slots = 3600;  // 120 seconds

struct capture_clip {
    std::unique_ptr<uint8_t[]> pix;  // (slots - 1) frames, ring order
    int slots = 0;                   // 0 until the memory is allocated
    int first = 0;                   // ring index of the oldest frame held
    int count = 0;                   // frames held
};

// Slot count for a GIF length in seconds: length x 30, clamped to 30..3600.
int capture_clip_slots(int gif_len_seconds);

// Allocates the frame memory for `slots` slots (clamped as above) unless the
// clip already has memory. Returns false when the memory cannot be had; the
// clip then stays empty and recording into it does nothing.
bool capture_clip_allocate(capture_clip& clip, int slots);

// Copies one 128 x 128 frame (row after row) into the clip, dropping the
// oldest frame when the clip is full. Does nothing for an unallocated clip.
void capture_clip_record(capture_clip& clip, const uint8_t* frame);

// Forgets every frame held (the memory stays).
void capture_clip_clear(capture_clip& clip);

// Frame i of those held, 0 the oldest; null outside 0..count-1.
const uint8_t* capture_clip_frame(const capture_clip& clip, int i);

// The clip the frame loop records into, allocated for the gif_len setting on
// its first frame and kept for the life of the process.
extern capture_clip capture_video_clip;

// Records `frame` (a 128 x 128 8-bit bitmap; anything else is ignored) into
// capture_video_clip, which is made on first use to hold the last `seconds`.
void capture_record_frame(const fenn_bitmap* frame, int seconds);

// Empties capture_video_clip: the next GIF starts with the next recorded frame.
void capture_reset_video();
