#include "framework/fenn_bitmap.h"

#include <algorithm>
#include <cstring>

namespace {
int items_created = 0;
int items_alive = 0;
}  // namespace

void fenn_count_item_created() { ++items_created; ++items_alive; }
void fenn_count_item_destroyed() { --items_alive; }
int fenn_items_created() { return items_created; }
int fenn_items_alive() { return items_alive; }

fenn_bitmap* fenn_create_bitmap(int w, int h, int depth) {
    if (w < 1 || h < 1 || w > fenn_max_bitmap_side || h > fenn_max_bitmap_side) return nullptr;
    if (depth != 8 && depth != 32) return nullptr;
    auto* bmp = new fenn_bitmap;
    bmp->w = w;
    bmp->h = h;
    bmp->depth = depth;
    bmp->pix.assign(size_t(w) * size_t(h) * size_t(depth / 8), 0);
    fenn_clear_clip(bmp);
    fenn_count_item_created();
    return bmp;
}

void fenn_destroy_bitmap(fenn_bitmap* bmp) {
    if (!bmp) return;
    delete bmp;
    fenn_count_item_destroyed();
}

void fenn_set_clip(fenn_bitmap* bmp, int x0, int y0, int x1, int y1) {
    if (!bmp) return;
    bmp->clip_x0 = std::clamp(x0, 0, bmp->w);
    bmp->clip_y0 = std::clamp(y0, 0, bmp->h);
    bmp->clip_x1 = std::clamp(x1, bmp->clip_x0, bmp->w);
    bmp->clip_y1 = std::clamp(y1, bmp->clip_y0, bmp->h);
}

void fenn_clear_clip(fenn_bitmap* bmp) { fenn_set_clip(bmp, 0, 0, bmp ? bmp->w : 0, bmp ? bmp->h : 0); }

void fenn_clear_bitmap(fenn_bitmap* bmp, uint32_t value) {
    if (!bmp) return;
    if (bmp->depth == 8) {
        std::memset(bmp->pix.data(), int(value & 0xff), bmp->pix.size());
    } else {
        std::fill(bmp->pix32(), bmp->pix32() + size_t(bmp->w) * size_t(bmp->h), value);
    }
}

void fenn_blit(const fenn_bitmap* src, int sx, int sy, fenn_bitmap* dst, int dx, int dy, int w, int h) {
    if (!src || !dst || src->depth != dst->depth) return;
    // Clip against the source bounds, then the destination clip, moving both
    // origins together so the same pixels stay paired.
    if (sx < 0) { dx -= sx; w += sx; sx = 0; }
    if (sy < 0) { dy -= sy; h += sy; sy = 0; }
    w = std::min(w, src->w - sx);
    h = std::min(h, src->h - sy);
    if (dx < dst->clip_x0) { int d = dst->clip_x0 - dx; sx += d; w -= d; dx = dst->clip_x0; }
    if (dy < dst->clip_y0) { int d = dst->clip_y0 - dy; sy += d; h -= d; dy = dst->clip_y0; }
    w = std::min(w, dst->clip_x1 - dx);
    h = std::min(h, dst->clip_y1 - dy);
    if (w <= 0 || h <= 0) return;
    const size_t bpp = size_t(src->depth / 8);
    for (int y = 0; y < h; ++y) {
        std::memcpy(dst->pix.data() + (size_t(dy + y) * size_t(dst->w) + size_t(dx)) * bpp,
                    src->pix.data() + (size_t(sy + y) * size_t(src->w) + size_t(sx)) * bpp,
                    size_t(w) * bpp);
    }
}
