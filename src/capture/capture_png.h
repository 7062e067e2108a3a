// capture_png: screenshots as PNG pictures.
//
// An 8-bit bitmap of colour indices is enlarged by pixel repetition and
// coloured through a 256-entry display palette (768 bytes, RGB), every pixel
// fully opaque, and encoded as an 8-bit RGBA PNG.
#pragma once
#include <cstdint>
#include <vector>

#include "framework/fenn_bitmap.h"

constexpr int capture_scale_min = 1;
constexpr int capture_scale_max = 32;

// Clamps a scale setting to 1..32.
int capture_clamp_scale(int scale);

// Encodes `src` (8-bit) enlarged `scale` times (clamped) through `palette`.
// Returns 0, or 1 when the bitmap is not 8-bit, the picture would be too
// large for a bitmap, memory is short or the encoder fails.
int capture_encode_png(const fenn_bitmap* src, const uint8_t* palette, int scale, std::vector<uint8_t>* png);

// Encodes as above and writes the file at `path`. 0 on success.
int capture_write_png(const char* path, const fenn_bitmap* src, const uint8_t* palette, int scale);
