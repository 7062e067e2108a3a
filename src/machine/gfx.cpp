#include "machine/gfx.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "framework/fenn_platform.h"
#include "machine/mem.h"
#include "machine/machine.h"
#include "machine/cpu.h"

namespace {

// Screen coordinates handed to the primitives stay within this range. Script
// values (a 16-bit integer part minus a 16-bit camera) never come near it;
// it only keeps hostile callers of the bitmap layer from overflowing the
// fixed-point walks or making them take billions of steps.
constexpr int64_t coord_limit = int64_t(1) << 20;

constexpr uint8_t fixed_tint[16] = {0, 0, 1, 1, 0, 0, 1, 5, 1, 5, 5, 5, 1, 1, 1, 5};
constexpr uint8_t col_to_b[16] = {0, 1, 3, 5, 4, 2, 11, 15, 7, 12, 13, 9, 8, 6, 10, 14};

// Divisions rounding down and up, for any signs (d > 0).
inline int64_t floor_div(int64_t n, int64_t d) { return n >= 0 ? n / d : -((-n + d - 1) / d); }
inline int64_t ceil_div(int64_t n, int64_t d) { return n >= 0 ? (n + d - 1) / d : -((-n) / d); }

inline bool out_of_range(int64_t v) { return v < -coord_limit || v > coord_limit; }

inline void plot(fenn_bitmap* b, int32_t x, int32_t y, uint8_t colour, vexel_pattern pat) {
    if (x < b->clip_x0 || x >= b->clip_x1 || y < b->clip_y0 || y >= b->clip_y1) return;
    uint8_t c = colour & 15;
    if ((pat.bits >> (15 - ((y & 3) * 4 + (x & 3)))) & 1) {
        if (pat.transparent) return;
        c = colour >> 4;
    }
    b->pix[size_t(y) * size_t(b->w) + size_t(x)] = c;
}

inline void span(fenn_bitmap* b, int32_t y, int32_t xa, int32_t xb, uint8_t colour, vexel_pattern pat) {
    if (y < b->clip_y0 || y >= b->clip_y1) return;
    int32_t xs = std::max(std::min(xa, xb), b->clip_x0);
    int32_t xe = std::min(std::max(xa, xb), b->clip_x1 - 1);
    if (xe < xs) return;
    uint8_t* row = b->pix.data() + size_t(y) * size_t(b->w);
    uint32_t nibble = (pat.bits >> ((3 - (y & 3)) * 4)) & 15;
    if (nibble == 0) {
        std::memset(row + xs, colour & 15, size_t(xe - xs + 1));
        return;
    }
    int cols[4];
    for (int k = 0; k < 4; ++k) {
        bool one = (nibble >> (3 - k)) & 1;
        cols[k] = !one ? (colour & 15) : pat.transparent ? -1 : (colour >> 4);
    }
    for (int32_t x = xs; x <= xe; ++x) {
        int c = cols[x & 3];
        if (c >= 0) row[x] = uint8_t(c);
    }
}

// Screen coordinate of a script value: floor, then the camera.
inline int32_t screen_x(vexel_machine* m, vexel_fix v) {
    return int32_t(std::clamp(int64_t(vexel_flr(v)) - m->camera_x, -coord_limit, coord_limit));
}
inline int32_t screen_y(vexel_machine* m, vexel_fix v) {
    return int32_t(std::clamp(int64_t(vexel_flr(v)) - m->camera_y, -coord_limit, coord_limit));
}

// An optional colour argument given: it becomes the pen colour.
inline void take_colour(vexel_machine* m, bool given, vexel_fix c) {
    if (given) m->pen_col = vexel_flr(c) & 0xff;
}

inline fenn_bitmap* screen(vexel_machine* m) {
    fenn_bitmap* s = m->screen;
    return s && s->depth == 8 ? s : nullptr;
}

// Number of integers of lo..hi (in any order) inside [a, b).
inline int64_t visible(int64_t lo, int64_t hi, int64_t a, int64_t b) {
    if (lo > hi) std::swap(lo, hi);
    return std::max<int64_t>(0, std::min(hi, b - 1) - std::max(lo, a) + 1);
}

inline int32_t charge_of(int64_t v) { return int32_t(std::clamp<int64_t>(v, 1, INT32_MAX)); }

// ---- ovals (the rule is in gfx.h) ----
//
// Box sides reach 2^21 pixels, so the rule's products need up to 86 bits.
__extension__ typedef unsigned __int128 oval_wide;

// floor(sqrt(n)): a floating estimate, then corrected to the exact root.
uint64_t oval_isqrt(oval_wide n) {
    uint64_t s = uint64_t(std::sqrt(static_cast<long double>(n)));
    while (s > 0 && oval_wide(s) * s > n) --s;
    while (oval_wide(s + 1) * (s + 1) <= n) ++s;
    return s;
}

// The box with sorted corners, a = x1 - x0 and b = y1 - y0.
struct oval_box {
    int64_t x0, y0, x1, y1, a, b;
};

oval_box oval_sorted(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    return {x0, y0, x1, y1, int64_t(x1) - x0, int64_t(y1) - y0};
}

// Row j of the box (0 the top) is the span x0 + k .. x1 - k; returns k, or
// -1 for a row outside the box.
int64_t oval_trim(const oval_box& o, int64_t j) {
    if (j < 0 || j > o.b) return -1;
    const int64_t v = o.b - 2 * j;
    if (v >= -1 && v <= 1) return 0;  // the middle row(s) fill the width
    // The widest u of A's parity with u^2 (B+1)^2 <= (A+1)^2 ((B+1)^2 - v^2).
    const oval_wide w = oval_wide(o.a + 1) * oval_wide(o.a + 1);
    const oval_wide h = oval_wide(o.b + 1) * oval_wide(o.b + 1);
    const oval_wide n = w * (h - oval_wide(v * v));
    int64_t u = int64_t(std::min<uint64_t>(oval_isqrt(n) / uint64_t(o.b + 1), uint64_t(o.a)));
    if ((o.a - u) & 1) --u;
    return std::min((o.a - u) / 2, o.a / 2);  // at least the middle pixel(s)
}

inline bool box_misses_clip(const fenn_bitmap* b, const oval_box& o) {
    return o.x1 < b->clip_x0 || o.x0 >= b->clip_x1 || o.y1 < b->clip_y0 || o.y0 >= b->clip_y1;
}

}  // namespace

void vexel_charge(vexel_machine* m, int32_t cycles) { m->draw_cycles += vexel_cpu_spend(m, cycles); }

vexel_pattern vexel_current_pattern(vexel_machine* m) {
    return {uint32_t(m->fill_pattern) & 0xffff, (m->fill_pattern & 0x10000) != 0};
}

uint8_t vexel_draw_colour(vexel_machine* m, int32_t c) {
    return uint8_t((m->draw_pal[c & 15] & 15) | ((m->draw_pal[(c >> 4) & 15] & 15) << 4));
}

void vexel_plot(fenn_bitmap* bmp, int32_t x, int32_t y, uint8_t colour, vexel_pattern pat) {
    if (bmp && bmp->depth == 8) plot(bmp, x, y, colour, pat);
}

void vexel_draw_span(fenn_bitmap* bmp, int32_t y, int32_t xa, int32_t xb, uint8_t colour, vexel_pattern pat) {
    if (bmp && bmp->depth == 8) span(bmp, y, xa, xb, colour, pat);
}

vexel_line_walk vexel_line_walk_of(const fenn_bitmap* b, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    vexel_line_walk w;
    if (!b || b->depth != 8) return w;
    if (out_of_range(x0) || out_of_range(y0) || out_of_range(x1) || out_of_range(y1)) return w;
    if (y1 < y0) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        w.reversed = true;
    }
    // 64-bit positions: the walk is the 16.16 one, but lines longer than
    // 32767 pixels would overflow a 32-bit accumulator and wander off.
    const int64_t xa = x0, ya = y0, xb = x1, yb = y1;
    const int64_t dy = yb - ya, dx = xb - xa;
    int64_t n = std::max(std::llabs(dx), std::llabs(dy));
    if (n == 0) n = 1;
    const int64_t left = b->clip_x0, top = b->clip_y0, right = b->clip_x1, bottom = b->clip_y1;
    w.steps = n;
    if (yb < top || ya >= bottom || (xa < left && xb < left) || (xa >= right && xb >= right)) return w;
    const int64_t sy = dy * 65536 / n, sx = dx * 65536 / n;

    // The walk's price: the steps left after skipping what lies beyond the
    // clip at either end. The skips estimate, from the slope alone, where the
    // walk enters and leaves the clip; the 32-bit cuts can only shorten them.
    auto skip = [](int64_t a, int64_t s) -> int64_t {
        if (s == 0) return 0;
        int64_t t = int32_t(uint32_t(uint64_t(a) * 65536u));
        int64_t q = t * 65536 / s;
        return int64_t(int32_t(uint32_t(uint64_t(q)))) >> 16;
    };
    int64_t k = 0, e = 0;
    if (ya < top) k = std::max<int64_t>(skip(top - ya, sy), 0);
    if (yb >= bottom) e = std::max<int64_t>(skip(yb - bottom + 1, sy), 0);
    if (xa < left) k = std::max(k, skip(left - xa, sx));
    if (xa >= right) k = std::max(k, skip(xa - right + 1, -sx));
    if (xb < left) e = std::max(e, skip(left - xb, -sx));
    if (xb >= right) e = std::max(e, skip(xb - right + 1, sx));
    if (k > 0) --k;
    const int64_t count = std::max<int64_t>(n - k - std::max<int64_t>(e - 1, 0), 0);

    // Which steps to plot is solved exactly instead: the estimates ignore the
    // half-pixel start offset, so on a shallow line crossing the top or
    // bottom edge they would skip up to half a row's worth of visible
    // pixels. Each coordinate moves monotonically, so the steps inside the
    // clip form one range; the walk covers exactly that range.
    const int64_t x0f = xa * 65536 + 0x8000, y0f = ya * 65536 + 0x8000;
    int64_t lo = 0, hi = n;
    auto keep_inside = [&](int64_t start, int64_t step, int64_t min, int64_t end) {
        // start + i * step must lie in [min * 65536, end * 65536).
        const int64_t a = min * 65536 - start, z = end * 65536 - 1 - start;
        if (step == 0) {
            if (a > 0 || z < 0) hi = -1;
        } else if (step > 0) {
            lo = std::max(lo, ceil_div(a, step));
            hi = std::min(hi, floor_div(z, step));
        } else {
            lo = std::max(lo, ceil_div(-z, -step));
            hi = std::min(hi, floor_div(-a, -step));
        }
    };
    keep_inside(x0f, sx, left, right);
    keep_inside(y0f, sy, top, bottom);
    w.x_start = x0f;
    w.y_start = y0f;
    w.step_x = sx;
    w.step_y = sy;
    w.lo = lo;
    w.hi = hi;
    w.count = int32_t(std::min<int64_t>(count, INT32_MAX));
    return w;
}

int32_t vexel_draw_line(fenn_bitmap* b, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t colour,
                  vexel_pattern pat) {
    const vexel_line_walk w = vexel_line_walk_of(b, x0, y0, x1, y1);
    for (int64_t i = w.lo; i <= w.hi; ++i)
        plot(b, int32_t((w.x_start + i * w.step_x) >> 16), int32_t((w.y_start + i * w.step_y) >> 16), colour, pat);
    return w.count;
}

void vexel_draw_circle(fenn_bitmap* b, int32_t cx, int32_t cy, int32_t r, uint8_t colour, vexel_pattern pat) {
    if (!b || b->depth != 8 || r < 0) return;
    if (out_of_range(cx) || out_of_range(cy) || out_of_range(r)) return;
    if (cx + r < b->clip_x0 || cx - r >= b->clip_x1 || cy + r < b->clip_y0 || cy - r >= b->clip_y1) return;
    int32_t x = r, y = 0, d = 1 - r;
    while (x >= y) {
        plot(b, cx + x, cy + y, colour, pat);
        plot(b, cx + y, cy + x, colour, pat);
        plot(b, cx - x, cy + y, colour, pat);
        plot(b, cx - y, cy + x, colour, pat);
        plot(b, cx - x, cy - y, colour, pat);
        plot(b, cx - y, cy - x, colour, pat);
        plot(b, cx + x, cy - y, colour, pat);
        plot(b, cx + y, cy - x, colour, pat);
        ++y;
        if (d >= 0) {
            --x;
            d += 2 * (y - x) + 1;
        } else {
            d += 2 * y + 1;
        }
    }
}

void vexel_draw_fillcircle(fenn_bitmap* b, int32_t cx, int32_t cy, int32_t r, uint8_t colour, vexel_pattern pat) {
    if (!b || b->depth != 8 || r < 0) return;
    if (out_of_range(cx) || out_of_range(cy) || out_of_range(r)) return;
    if (cx + r < b->clip_x0 || cx - r >= b->clip_x1 || cy + r < b->clip_y0 || cy - r >= b->clip_y1) return;
    int32_t x = r, y = 0, d = 1 - r;
    do {
        span(b, cy + y, cx - x, cx + x, colour, pat);
        span(b, cy - y, cx - x, cx + x, colour, pat);
        if (d >= 0) {
            // Rows cy +- x only at their widest, just before x shrinks.
            span(b, cy + x, cx - y, cx + y, colour, pat);
            span(b, cy - x, cx - y, cx + y, colour, pat);
            ++y;
            --x;
            d += 2 * (y - x) + 1;
        } else {
            ++y;
            d += 2 * y + 1;
        }
    } while (y <= x);
}

void vexel_draw_filloval(fenn_bitmap* b, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t colour,
                         vexel_pattern pat) {
    if (!b || b->depth != 8) return;
    if (out_of_range(x0) || out_of_range(y0) || out_of_range(x1) || out_of_range(y1)) return;
    const oval_box o = oval_sorted(x0, y0, x1, y1);
    if (box_misses_clip(b, o)) return;
    const int64_t ys = std::max<int64_t>(o.y0, b->clip_y0), ye = std::min<int64_t>(o.y1, b->clip_y1 - 1);
    for (int64_t y = ys; y <= ye; ++y) {
        const int64_t k = oval_trim(o, y - o.y0);
        span(b, int32_t(y), int32_t(o.x0 + k), int32_t(o.x1 - k), colour, pat);
    }
}

void vexel_draw_oval(fenn_bitmap* b, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t colour, vexel_pattern pat) {
    if (!b || b->depth != 8) return;
    if (out_of_range(x0) || out_of_range(y0) || out_of_range(x1) || out_of_range(y1)) return;
    const oval_box o = oval_sorted(x0, y0, x1, y1);
    if (box_misses_clip(b, o)) return;
    const int64_t ys = std::max<int64_t>(o.y0, b->clip_y0), ye = std::min<int64_t>(o.y1, b->clip_y1 - 1);
    // Each row's trim is worked out once, handed on as the rows go down.
    int64_t above = oval_trim(o, ys - o.y0 - 1), k = oval_trim(o, ys - o.y0);
    for (int64_t y = ys; y <= ye; ++y) {
        // A pixel is on the outline when the row above or below does not
        // reach it, or when it ends its own row. Outside the box counts as
        // reaching nowhere, so the top and bottom rows are drawn whole.
        const int64_t below = oval_trim(o, y - o.y0 + 1);
        const int64_t inner = above < 0 || below < 0 ? o.a + 1 : std::max(above, below);
        const int64_t left_end = std::max(o.x0 + inner - 1, o.x0 + k);
        const int64_t right_start = std::min(o.x1 - inner + 1, o.x1 - k);
        if (left_end + 1 >= right_start) {
            span(b, int32_t(y), int32_t(o.x0 + k), int32_t(o.x1 - k), colour, pat);
        } else {
            span(b, int32_t(y), int32_t(o.x0 + k), int32_t(left_end), colour, pat);
            span(b, int32_t(y), int32_t(right_start), int32_t(o.x1 - k), colour, pat);
        }
        above = k;
        k = below;
    }
}

void vexel_draw_tinted_rect(fenn_bitmap* b, int x0, int y0, int x1, int y1, bool adaptive) {
    if (!b || b->depth != 8) return;
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, b->w - 1);
    y1 = std::min(y1, b->h - 1);
    if (x1 < x0 || y1 < y0) return;
    uint8_t table[16];
    std::memcpy(table, fixed_tint, sizeof table);
    if (adaptive && fenn_get_key_state(fenn_key_lshift) == 0) {
        int64_t by_rank[16] = {};
        for (int y = y0; y <= y1; ++y) {
            const uint8_t* row = b->pix.data() + size_t(y) * size_t(b->w);
            for (int x = x0; x <= x1; ++x) ++by_rank[col_to_b[row[x] & 15]];
        }
        const int64_t target = 2 * int64_t(x1 - x0 + 1) * int64_t(y1 - y0 + 1) / 3;
        int best_k = 2;
        int64_t best_diff = -1, below = by_rank[0] + by_rank[1];
        for (int k = 2; k <= 15; ++k) {
            int64_t diff = std::llabs(below - target);
            if (best_diff < 0 || diff < best_diff) {
                best_diff = diff;
                best_k = k;
            }
            below += by_rank[k];
        }
        for (int c = 0; c < 16; ++c) table[c] = col_to_b[c] >= best_k ? 1 : 0;
    }
    for (int y = y0; y <= y1; ++y) {
        uint8_t* row = b->pix.data() + size_t(y) * size_t(b->w);
        for (int x = x0; x <= x1; ++x) row[x] = table[row[x] & 15];
    }
}

// ---------------------------------------------------------------- script calls

void vexel_set_clip_registers(vexel_machine* m, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    m->clip_x0 = x0;
    m->clip_y0 = y0;
    m->clip_x1 = x1;
    m->clip_y1 = y1;
    if (m->screen) fenn_set_clip(m->screen, std::max(x0, 0), std::max(y0, 0), std::min(128, x1), std::min(128, y1));
}

void vexel_cls(vexel_machine* m, int argc, vexel_fix c) {
    int32_t colour = argc >= 1 ? vexel_flr(c) & 15 : 0;
    if (fenn_bitmap* s = screen(m)) std::memset(s->pix.data(), colour, s->pix.size());
    m->cursor_x = 0;
    m->cursor_y = 0;
    vexel_set_clip_registers(m, 0, 0, vexel_screen_w, vexel_screen_h);
    if (m->screen) fenn_clear_clip(m->screen);
    vexel_charge(m, vexel_cls_charge);
}

void vexel_pset(vexel_machine* m, int argc, vexel_fix x, vexel_fix y, vexel_fix c) {
    if (argc < 2) return;
    take_colour(m, argc >= 3, c);
    fenn_bitmap* s = screen(m);
    if (!s) return;
    // plot with a point's own steps: the clip rectangle lies on the screen,
    // so the point is tested against it before any clamp, and only the
    // colour the pattern picks is looked up (16 host instructions fewer per
    // pset).
    const int64_t px = int64_t(vexel_flr(x)) - m->camera_x, py = int64_t(vexel_flr(y)) - m->camera_y;
    if (px < s->clip_x0 || px >= s->clip_x1 || py < s->clip_y0 || py >= s->clip_y1) return;
    const int32_t pen = m->pen_col;
    const uint32_t pattern = uint32_t(m->fill_pattern);
    int32_t colour = pen;
    if ((pattern >> (15 - ((py & 3) * 4 + (px & 3)))) & 1) {
        if (pattern & 0x10000) return;  // transparent where the pattern is set
        colour = pen >> 4;
    }
    s->pix[size_t(py) * size_t(s->w) + size_t(px)] = uint8_t(m->draw_pal[colour & 15] & 15);
}

int32_t vexel_pget(vexel_machine* m, int argc, vexel_fix x, vexel_fix y) {
    fenn_bitmap* s = screen(m);
    if (argc < 2 || !s) return 0;
    int32_t px = screen_x(m, x), py = screen_y(m, y);
    if (px < s->clip_x0 || px >= s->clip_x1 || py < s->clip_y0 || py >= s->clip_y1) return 0;
    return s->pix[size_t(py) * size_t(s->w) + size_t(px)] & 15;
}

void vexel_line(vexel_machine* m, int argc, vexel_fix x0, vexel_fix y0, vexel_fix x1, vexel_fix y1, vexel_fix c) {
    take_colour(m, argc >= 5, c);
    fenn_bitmap* s = screen(m);
    if (!s) return;
    int32_t count = vexel_draw_line(s, screen_x(m, x0), screen_y(m, y0), screen_x(m, x1), screen_y(m, y1),
                              vexel_draw_colour(m, m->pen_col), vexel_current_pattern(m));
    vexel_charge(m, count / 2 + 1);
}

void vexel_rect(vexel_machine* m, int argc, vexel_fix fx0, vexel_fix fy0, vexel_fix fx1, vexel_fix fy1, vexel_fix c) {
    take_colour(m, argc >= 5, c);
    fenn_bitmap* s = screen(m);
    if (!s) return;
    const int32_t x0 = screen_x(m, fx0), y0 = screen_y(m, fy0), x1 = screen_x(m, fx1), y1 = screen_y(m, fy1);
    const int32_t minx = std::min(x0, x1), maxx = std::max(x0, x1);
    const int32_t miny = std::min(y0, y1), maxy = std::max(y0, y1);
    const int32_t left = s->clip_x0, top = s->clip_y0, right = s->clip_x1, bottom = s->clip_y1;
    if (maxy < top || miny >= bottom || maxx < left || minx >= right) return;
    const uint8_t colour = vexel_draw_colour(m, m->pen_col);
    const vexel_pattern pat = vexel_current_pattern(m);
    vexel_draw_line(s, x0, y0, x1, y0, colour, pat);
    vexel_draw_line(s, x0, y1, x1, y1, colour, pat);
    vexel_draw_line(s, x0, y0, x0, y1, colour, pat);
    vexel_draw_line(s, x1, y0, x1, y1, colour, pat);
    auto clampx = [&](int32_t v) { return std::max(std::min(v, right - 1), left); };
    auto clampy = [&](int32_t v) { return std::max(std::min(v, bottom - 1), top); };
    const int32_t w = clampx(maxx) - clampx(minx);
    const int32_t h = std::max(clampy(maxy) - clampy(miny) - 1, 0);
    int32_t charge = 0;
    if (miny >= top) charge += (w + 3) / 4;
    if (maxy < bottom) charge += (w + 3) / 4;
    if (minx >= left) charge += h / 2;
    if (maxx < right) charge += h / 2;
    vexel_charge(m, std::max(charge, 1));
}

void vexel_rectfill(vexel_machine* m, int argc, vexel_fix fx0, vexel_fix fy0, vexel_fix fx1, vexel_fix fy1, vexel_fix c) {
    take_colour(m, argc >= 5, c);
    fenn_bitmap* s = screen(m);
    if (!s) return;
    const int32_t x0 = screen_x(m, fx0), y0 = screen_y(m, fy0), x1 = screen_x(m, fx1), y1 = screen_y(m, fy1);
    const uint8_t colour = vexel_draw_colour(m, m->pen_col);
    const vexel_pattern pat = vexel_current_pattern(m);
    // Rows outside the clip draw nothing, so only the visible ones are walked.
    const int32_t ys = std::max(std::min(y0, y1), s->clip_y0);
    const int32_t ye = std::min(std::max(y0, y1), s->clip_y1 - 1);
    for (int32_t y = ys; y <= ye; ++y) span(s, y, x0, x1, colour, pat);
    vexel_charge(m, charge_of((visible(x0, x1, s->clip_x0, s->clip_x1) * visible(y0, y1, s->clip_y0, s->clip_y1)) >> 4));
}

void vexel_circ(vexel_machine* m, int argc, vexel_fix x, vexel_fix y, vexel_fix fr, vexel_fix c) {
    if (argc < 2) return;
    take_colour(m, argc >= 4, c);
    const int32_t r = argc == 2 ? vexel_default_circle_radius : vexel_flr(fr);
    fenn_bitmap* s = screen(m);
    if (r < 0 || !s) return;
    const int32_t cx = screen_x(m, x), cy = screen_y(m, y);
    vexel_draw_circle(s, cx, cy, r, vexel_draw_colour(m, m->pen_col), vexel_current_pattern(m));
    const int64_t left = s->clip_x0, top = s->clip_y0, right = s->clip_x1, bottom = s->clip_y1;
    if (int64_t(cx) + r < left || int64_t(cx) - r >= right || int64_t(cy) + r < top || int64_t(cy) - r >= bottom) return;
    int64_t rows = std::max(std::min(bottom, int64_t(cy) + r), top) - std::max(int64_t(cy) - r, top);
    vexel_charge(m, charge_of(rows * 2 + 2));
}

void vexel_circfill(vexel_machine* m, int argc, vexel_fix x, vexel_fix y, vexel_fix fr, vexel_fix c) {
    if (argc < 2) return;
    const int32_t r = argc == 2 ? vexel_default_circle_radius : vexel_flr(fr);
    if (r < 0) return;
    take_colour(m, argc >= 4, c);
    fenn_bitmap* s = screen(m);
    if (!s) return;
    const int32_t cx = screen_x(m, x), cy = screen_y(m, y);
    vexel_draw_fillcircle(s, cx, cy, r, vexel_draw_colour(m, m->pen_col), vexel_current_pattern(m));
    const int64_t area = visible(int64_t(cx) - r, int64_t(cx) + r, s->clip_x0, s->clip_x1) *
                         visible(int64_t(cy) - r, int64_t(cy) + r, s->clip_y0, s->clip_y1);
    vexel_charge(m, charge_of(2 * int64_t(r) + (area >> 4)));
}

void vexel_oval(vexel_machine* m, int argc, vexel_fix fx0, vexel_fix fy0, vexel_fix fx1, vexel_fix fy1, vexel_fix c) {
    take_colour(m, argc >= 5, c);
    fenn_bitmap* s = screen(m);
    if (!s) return;
    const int32_t x0 = screen_x(m, fx0), y0 = screen_y(m, fy0), x1 = screen_x(m, fx1), y1 = screen_y(m, fy1);
    vexel_draw_oval(s, x0, y0, x1, y1, vexel_draw_colour(m, m->pen_col), vexel_current_pattern(m));
    // Priced as circ prices the circle of the same box.
    const oval_box o = oval_sorted(x0, y0, x1, y1);
    if (box_misses_clip(s, o)) return;
    const int64_t top = s->clip_y0, bottom = s->clip_y1;
    const int64_t rows = std::max(std::min(bottom, o.y1), top) - std::max(o.y0, top);
    vexel_charge(m, charge_of(rows * 2 + 2));
}

void vexel_ovalfill(vexel_machine* m, int argc, vexel_fix fx0, vexel_fix fy0, vexel_fix fx1, vexel_fix fy1, vexel_fix c) {
    take_colour(m, argc >= 5, c);
    fenn_bitmap* s = screen(m);
    if (!s) return;
    const int32_t x0 = screen_x(m, fx0), y0 = screen_y(m, fy0), x1 = screen_x(m, fx1), y1 = screen_y(m, fy1);
    vexel_draw_filloval(s, x0, y0, x1, y1, vexel_draw_colour(m, m->pen_col), vexel_current_pattern(m));
    // Priced as circfill prices a circle whose radius is half the larger side.
    const oval_box o = oval_sorted(x0, y0, x1, y1);
    const int64_t radius = std::max(o.a, o.b) / 2;
    const int64_t area = visible(o.x0, o.x1, s->clip_x0, s->clip_x1) * visible(o.y0, o.y1, s->clip_y0, s->clip_y1);
    vexel_charge(m, charge_of(2 * radius + (area >> 4)));
}

void vexel_clip(vexel_machine* m, int argc, vexel_fix x, vexel_fix y, vexel_fix w, vexel_fix h) {
    int32_t x0 = 0, y0 = 0, x1 = vexel_screen_w, y1 = vexel_screen_h;
    if (argc >= 4) {
        // Sums of two 16-bit integer parts cannot overflow 32 bits.
        x0 = vexel_flr(x);
        y0 = vexel_flr(y);
        x1 = x0 + vexel_flr(w);
        y1 = y0 + vexel_flr(h);
    }
    auto c = [](int32_t v) { return std::clamp(v, 0, 128); };
    vexel_set_clip_registers(m, c(x0), c(y0), c(x1), c(y1));
    vexel_charge(m, vexel_clip_charge);
}

void vexel_camera(vexel_machine* m, int argc, vexel_fix x, vexel_fix y) {
    // Written as memory bytes, low byte first: the registers hold signed
    // 16-bit values, so larger ones wrap.
    const int32_t cx = argc >= 1 ? vexel_flr(x) : 0;
    const int32_t cy = argc >= 2 ? vexel_flr(y) : 0;
    vexel_poke(m, m->cart, int32_t(vexel_reg_camera_x), cx & 0xff);
    vexel_poke(m, m->cart, int32_t(vexel_reg_camera_x) + 1, (cx >> 8) & 0xff);
    vexel_poke(m, m->cart, int32_t(vexel_reg_camera_y), cy & 0xff);
    vexel_poke(m, m->cart, int32_t(vexel_reg_camera_y) + 1, (cy >> 8) & 0xff);
}

void vexel_pal(vexel_machine* m, int argc, vexel_fix c0, vexel_fix c1, vexel_fix p) {
    if (argc < 2) {
        for (int i = 0; i < 16; ++i) m->draw_pal[i] = m->screen_pal[i] = i;
        m->draw_pal[0] = 0x10;
        return;
    }
    const int32_t from = vexel_flr(c0) & 15, to = vexel_flr(c1) & 15;
    if (argc >= 3 && vexel_flr(p) != 0) m->screen_pal[from] = to;
    else m->draw_pal[from] = to | (m->draw_pal[from] & 0x10);
}

void vexel_palt(vexel_machine* m, int argc, vexel_fix c, bool transparent) {
    if (argc < 2) {
        for (int i = 0; i < 16; ++i) m->draw_pal[i] &= 15;
        m->draw_pal[0] |= 0x10;
        return;
    }
    int32_t& entry = m->draw_pal[vexel_flr(c) & 15];
    entry = (entry & 15) | (transparent ? 0x10 : 0);
}

void vexel_color(vexel_machine* m, int argc, vexel_fix c) { m->pen_col = argc >= 1 ? vexel_flr(c) & 0xff : 0; }

void vexel_cursor(vexel_machine* m, int argc, vexel_fix x, vexel_fix y) {
    m->cursor_x = argc >= 1 ? vexel_flr(x) : 0;
    m->cursor_y = argc >= 2 ? vexel_flr(y) : 0;
}

void vexel_fillp(vexel_machine* m, int argc, vexel_fix p) {
    if (argc < 1) {
        m->fill_pattern = 0;
        return;
    }
    m->fill_pattern = int32_t((uint32_t(p) >> 16) & 0xffff) | ((p & 0x8000) ? 0x10000 : 0);
}
