#include "capture/capture_clip.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "framework/fenn_bitmap.h"
#include "framework/fenn_log.h"

capture_clip capture_video_clip;

int capture_clip_slots(int gif_len_seconds) {
    // Clamp the seconds first so that the multiplication cannot overflow.
    const int seconds = std::clamp(gif_len_seconds, 0, capture_clip_max_slots / capture_fps);
    return std::clamp(seconds * capture_fps, capture_clip_min_slots, capture_clip_max_slots);
}

bool capture_clip_allocate(capture_clip& clip, int slots) {
    if (clip.slots > 0) return true;
    slots = std::clamp(slots, capture_clip_min_slots, capture_clip_max_slots);
    const size_t bytes = size_t(slots - 1) * capture_frame_bytes;
    clip.pix.reset(new (std::nothrow) uint8_t[bytes]);
    if (!clip.pix) return false;
    clip.slots = slots;
    clip.first = clip.count = 0;
    return true;
}

void capture_clip_record(capture_clip& clip, const uint8_t* frame) {
    if (clip.slots <= 0 || !frame) return;
    const int held_max = clip.slots - 1;
    const int slot = (clip.first + clip.count) % held_max;
    std::memcpy(clip.pix.get() + size_t(slot) * capture_frame_bytes, frame, capture_frame_bytes);
    if (clip.count < held_max) ++clip.count;
    else clip.first = (clip.first + 1) % held_max;
}

void capture_clip_clear(capture_clip& clip) { clip.first = clip.count = 0; }

const uint8_t* capture_clip_frame(const capture_clip& clip, int i) {
    if (clip.slots <= 0 || i < 0 || i >= clip.count) return nullptr;
    const int slot = (clip.first + i) % (clip.slots - 1);
    return clip.pix.get() + size_t(slot) * capture_frame_bytes;
}

void capture_record_frame(const fenn_bitmap* frame, int seconds) {
    if (!frame || frame->depth != 8 || frame->w != capture_side || frame->h != capture_side) return;
    if (capture_video_clip.slots == 0) {
        // Tried once: a clip that cannot be had is not asked for every frame.
        static bool failed = false;
        if (failed) return;
        if (!capture_clip_allocate(capture_video_clip, capture_clip_slots(seconds))) {
            failed = true;
            fenn_debug("** not enough memory for the video clip\n");
            return;
        }
    }
    capture_clip_record(capture_video_clip, frame->pix.data());
}

void capture_reset_video() { capture_clip_clear(capture_video_clip); }
