// fenn_png: PNG pictures to and from 32-bit bitmaps, in memory.
//
// Decoding accepts every PNG colour type and bit depth and always yields a
// 32-bit bitmap (0xAARRGGBB, opaque where the file has no alpha). Sample
// values are passed through unchanged: no gamma or colour-space correction,
// because callers (PNG cartridges) keep data in the low bits of each channel.
// 16-bit channels keep their high byte.
//
// The input is untrusted: every read is bounded by the buffer, the picture
// size is checked against the caller's limits before any pixel memory is
// allocated, and a damaged file gives an error code, never a crash.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/fenn_bitmap.h"

enum fenn_png_status : int {
    fenn_png_ok = 0,
    fenn_png_unreadable = 1,  // not a PNG, or damaged
    fenn_png_too_big = 2,     // wider or higher than the caller allows
};

// Decodes `size` bytes of PNG. On success *out is a new 32-bit bitmap owned by
// the caller; otherwise *out is null. Pictures wider than max_w or higher than
// max_h (both at most fenn_max_bitmap_side) are refused before decoding.
int fenn_png_decode(const uint8_t* data, size_t size, fenn_bitmap** out,
                    int max_w = fenn_max_bitmap_side, int max_h = fenn_max_bitmap_side);

// Encodes a 32-bit bitmap as an 8-bit red-green-blue-alpha PNG (colour type
// 6) into `png`, replacing its contents. Returns 0, or 1 for a bitmap that is
// not 32-bit or when the encoder fails.
int fenn_png_encode(const fenn_bitmap* bmp, std::vector<uint8_t>* png);
// The same, quickly: one row filter and light compression. For pictures
// made by the hundred thousand (a board's list pictures), where the
// default's search of every filter and its deep compression cost more than
// drawing them, for files a little larger.
int fenn_png_encode_quick(const fenn_bitmap* bmp, std::vector<uint8_t>* png);
