// fenn_bitmap: the framework's pixel buffers.
//
// A bitmap is either 8 bits per pixel (palette indices; the machine screen,
// sprite sheet, map and display bitmaps) or 32 bits per pixel (0xAARRGGBB;
// icons and presentation). Pixels are stored row after row from the top with
// no padding: pixel (x, y) of an 8-bit bitmap is pix[y * w + x], of a 32-bit
// bitmap pix32()[y * w + x].
//
// Every bitmap carries a clip rectangle, x1 and y1 exclusive, always inside
// the bitmap: 0 <= clip_x0 <= clip_x1 <= w and likewise for y. Drawing code may
// rely on that invariant and index without further checks.
#pragma once
#include <cstdint>
#include <vector>

struct fenn_bitmap {
    int w = 0, h = 0;
    int depth = 8;          // 8 or 32
    int attribute = 0;      // stored and restored by the pod format, no meaning here
    int clip_x0 = 0, clip_y0 = 0, clip_x1 = 0, clip_y1 = 0;
    std::vector<uint8_t> pix;  // w * h * depth / 8 bytes

    uint32_t* pix32() { return reinterpret_cast<uint32_t*>(pix.data()); }
    const uint32_t* pix32() const { return reinterpret_cast<const uint32_t*>(pix.data()); }
};

// Largest side the framework will create; keeps w * h * 4 well inside int.
constexpr int fenn_max_bitmap_side = 8192;

// Returns null when the size or depth is not allowed (w or h < 1 or above
// fenn_max_bitmap_side, depth not 8 or 32). Pixels start at 0, the clip is
// the whole bitmap.
fenn_bitmap* fenn_create_bitmap(int w, int h, int depth);
void fenn_destroy_bitmap(fenn_bitmap* bmp);  // null is ignored

// Sets the clip to the given rectangle intersected with the bitmap.
void fenn_set_clip(fenn_bitmap* bmp, int x0, int y0, int x1, int y1);
void fenn_clear_clip(fenn_bitmap* bmp);

// Fills the whole bitmap (ignoring the clip) with one value: a palette
// index for 8-bit bitmaps, a colour for 32-bit ones.
void fenn_clear_bitmap(fenn_bitmap* bmp, uint32_t value);

// Copies a w x h block from src (sx, sy) to dst (dx, dy), clipped against the
// source bounds and the destination clip. Both bitmaps must have the same
// depth; otherwise nothing is copied.
void fenn_blit(const fenn_bitmap* src, int sx, int sy, fenn_bitmap* dst, int dx, int dy, int w, int h);

// Count of framework items (bitmaps, pods, ...) created and not yet
// destroyed, logged at exit to show leaks.
int fenn_items_alive();
void fenn_count_item_created();
void fenn_count_item_destroyed();
int fenn_items_created();
