// capture_gif: a clip of frames as an animated GIF.
//
// The GIF is square, 128 x scale pixels (scale clamped to 1..32), and loops
// for ever. Its colour table has 16 entries, the first 16 colours of the
// display palette, or 256 entries when any frame uses a colour index above
// 15. Every frame fills the whole picture, carries the same colour table and
// shows for 3 hundredths of a second (disposal: restore to background).
//
// Frames are encoded one row at a time, so the memory needed does not grow
// with the length of the clip or the scale beyond one row.
#pragma once
#include <cstdint>

#include "capture/capture_clip.h"

constexpr int capture_gif_delay_cs = 3;  // hundredths of a second per frame

// 16, or 256 when any frame held uses a colour above 15.
int capture_gif_palette_size(const capture_clip& clip);

// Writes every frame of `clip`, oldest first, to the file at `path`
// (created or truncated). `palette` is the 256-entry display palette (768
// bytes, RGB). Returns 0, or 1 when the clip holds no frame (nothing is
// written) or the file cannot be written.
int capture_write_gif(const char* path, const capture_clip& clip, const uint8_t* palette, int scale);
