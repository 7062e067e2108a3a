#include "machine/sprite.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <tmmintrin.h>
#endif

#include "cart/cart_rom.h"
#include "machine/mem.h"
#include "machine/machine.h"
#include "machine/cpu.h"

namespace {

constexpr int box_max = vexel_sheet_size;
constexpr uint8_t box_transparent = 16;

// The sprite box of spr and sspr (vexel_machine::sprite_box): the sheet
// rectangle after flipping and the draw palette, one byte per pixel, values
// 16 and above transparent. It lives in the machine, so drawing allocates
// nothing.
static_assert(sizeof(vexel_machine::sprite_box) == size_t(box_max) * box_max);

// Draws eight box pixels (each a colour 0-15 or box_transparent) over the
// eight screen pixels at dst, keeping the screen's where the box is
// transparent: one 64-bit blend instead of a test and a branch per pixel.
// Those branches follow the picture's data, and what they cost moved with
// code placement: the same instructions drew a full-screen map in 8.4 us in
// one build and 11.6 us in another. With the blend (bench_gfx): spr 8x8
// 0.071 -> 0.064 us, a frame of 256 sprites 17.7 -> 15.6 us. sspr and the
// map's portable path use it too.
// The eight pixels come as one number, the first in its low byte: built
// with shifts it stays in a register (eight byte stores read back as one
// number stall the read: the map took 18 us that way).
static_assert(box_transparent == 16, "transparency is bit 4 of a box pixel");
static_assert(std::endian::native == std::endian::little, "screen bytes are read as little-endian numbers");
inline void blend8(uint8_t* dst, uint64_t px) {
    uint64_t under;
    std::memcpy(&under, dst, 8);
    const uint64_t keep = ((px >> 4) & 0x0101010101010101u) * 0xffu;  // 0xff where transparent
    under = (under & keep) | (px & ~keep);
    std::memcpy(dst, &under, 8);
}

// Rows of map cells drawn with the draw palette: a whole row of a cell
// (eight sheet pixels) per step. On x86-64 hosts with SSSE3 (every one made
// since 2008; the build targets the plain x86-64 baseline, so it is asked at
// run time) the palette lookup of all eight pixels is one byte shuffle;
// elsewhere it is eight table reads and blend8. Full-screen map (bench_gfx):
// 10.8 -> 2.4 us.
// dst and src point at the first pixel of the first row; rows are
// dst_stride and vexel_sheet_size bytes apart. lut maps a sheet colour to a
// box pixel (a colour or box_transparent).
#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::target("ssse3")]] void map_rows_ssse3(uint8_t* dst, size_t dst_stride, const uint8_t* src, int rows,
                                             const uint8_t (&lut)[16]) {
    const __m128i table = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lut));
    const __m128i low = _mm_set1_epi8(15), transparent = _mm_set1_epi8(char(box_transparent));
    for (int r = 0; r < rows; ++r, dst += dst_stride, src += vexel_sheet_size) {
        const __m128i colours = _mm_and_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src)), low);
        const __m128i box = _mm_shuffle_epi8(table, colours);
        const __m128i keep = _mm_cmpeq_epi8(box, transparent);  // box pixels are 0-15 or box_transparent
        const __m128i under = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst),
                         _mm_or_si128(_mm_and_si128(keep, under), _mm_andnot_si128(keep, box)));
    }
}

bool host_has_ssse3() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
}
#endif

void map_rows(uint8_t* dst, size_t dst_stride, const uint8_t* src, int rows, const uint8_t (&lut)[16], bool shuffle) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (shuffle) {
        map_rows_ssse3(dst, dst_stride, src, rows, lut);
        return;
    }
#else
    (void)shuffle;
#endif
    for (int r = 0; r < rows; ++r, dst += dst_stride, src += vexel_sheet_size) {
        uint64_t box = 0;
        for (int b = 0; b < 8; ++b) box |= uint64_t(lut[src[b] & 15]) << (8 * b);
        blend8(dst, box);
    }
}

inline fenn_bitmap* screen(vexel_machine* m) {
    fenn_bitmap* s = m->screen;
    return s && s->depth == 8 ? s : nullptr;
}

inline bool sheet_ok(const vexel_cart* c) {
    return c && c->gfx && c->gfx->w == vexel_sheet_size && c->gfx->h == vexel_sheet_size && c->gfx->depth == 8;
}
inline bool map_ok(const vexel_cart* c) {
    return c && c->map && c->map->w == vexel_map_w && c->map->h == vexel_map_h && c->map->depth == 8;
}

inline int32_t screen_coord(vexel_fix v, int32_t camera) {
    // Same range guard as the primitives: keeps every sum below in 32 bits.
    constexpr int64_t limit = int64_t(1) << 20;
    return int32_t(std::clamp(int64_t(vexel_flr(v)) - camera, -limit, limit));
}

// Fills the W x H box from sheet rectangle (sx, sy). Parts of the rectangle
// off the sheet stay colour 0 (drawn opaque); flipping mirrors only the part
// on the sheet.
void fill_box(vexel_machine* m, const fenn_bitmap* sheet, int32_t sx, int32_t sy, int w, int h, bool flip_x, bool flip_y) {
    std::memset(m->sprite_box, 0, size_t(w) * size_t(h));
    if (sx >= vexel_sheet_size || sy >= vexel_sheet_size) return;
    int32_t ox = 0, oy = 0, cw = w, ch = h;
    if (sx < 0) {
        cw += sx;
        ox = -sx;
        sx = 0;
    }
    if (sy < 0) {
        ch += sy;
        oy = -sy;
        sy = 0;
    }
    cw = std::min(cw, vexel_sheet_size - sx);
    ch = std::min(ch, vexel_sheet_size - sy);
    if (cw <= 0 || ch <= 0) return;
    uint8_t lut[16];
    for (int i = 0; i < 16; ++i) {
        uint32_t e = uint32_t(m->draw_pal[i]);
        lut[i] = e < 16 ? uint8_t(e) : box_transparent;
    }
    for (int32_t j = 0; j < ch; ++j) {
        const uint8_t* src = sheet->pix.data() + size_t(sy + (flip_y ? ch - 1 - j : j)) * vexel_sheet_size + size_t(sx);
        uint8_t* dst = m->sprite_box + size_t(oy + j) * size_t(w) + size_t(ox);
        if (flip_x)
            for (int32_t i = 0; i < cw; ++i) dst[i] = lut[src[cw - 1 - i] & 15];
        else
            for (int32_t i = 0; i < cw; ++i) dst[i] = lut[src[i] & 15];
    }
}

// Draws the box unscaled at screen (x, y); returns the box pixels inside the
// clip.
int64_t draw_box(vexel_machine* m, fenn_bitmap* s, int w, int h, int32_t x, int32_t y) {
    const int32_t x0 = std::max(x, s->clip_x0), x1 = std::min(x + w, s->clip_x1);
    const int32_t y0 = std::max(y, s->clip_y0), y1 = std::min(y + h, s->clip_y1);
    if (x1 <= x0 || y1 <= y0) return 0;
    for (int32_t py = y0; py < y1; ++py) {
        const uint8_t* src = m->sprite_box + size_t(py - y) * size_t(w) + size_t(x0 - x);
        uint8_t* dst = s->pix.data() + size_t(py) * size_t(s->w);
        int32_t px = x0;
        for (; px + 8 <= x1; px += 8, src += 8) {
            uint64_t box;
            std::memcpy(&box, src, 8);
            blend8(dst + px, box);
        }
        for (; px < x1; ++px, ++src)
            if (*src < box_transparent) dst[px] = *src;
    }
    return int64_t(x1 - x0) * (y1 - y0);
}

// Draws the sw x sh box stretched to dw x dh (both positive) at (dx, dy),
// sampling it with 16.16 steps from the middle of the first destination
// pixel; returns the destination pixels inside the clip.
int64_t draw_box_stretched(vexel_machine* m, fenn_bitmap* s, int sw, int sh, int32_t dx, int32_t dy, int32_t dw, int32_t dh) {
    const int64_t step_x = int64_t(sw) * 65536 / dw, step_y = int64_t(sh) * 65536 / dh;
    const int64_t left = s->clip_x0, top = s->clip_y0;
    const int64_t first_x = std::max<int64_t>(dx, left), first_y = std::max<int64_t>(dy, top);
    int64_t acc_x = step_x / 2 + (dx < left ? (left - dx) * step_x : 0);
    int64_t acc_y = step_y / 2 + (dy < top ? (top - dy) * step_y : 0);
    const int64_t cols = std::min<int64_t>(dw - (first_x - dx), s->clip_x1 - first_x);
    const int64_t rows = std::min<int64_t>(first_y + dh - (first_y - dy), s->clip_y1) - first_y;
    if (cols <= 0 || rows <= 0) return 0;
    // At most a screen width of columns: their source columns once per call.
    int16_t src_col[vexel_screen_w];
    for (int64_t i = 0; i < cols; ++i, acc_x += step_x) src_col[i] = int16_t(std::min<int64_t>(acc_x >> 16, sw - 1));
    // A source row stretched to the destination's width, made once for the
    // run of destination rows that sample it (an enlarged sprite repeats
    // each row): sspr 32x32 -> 128x128 9.4 -> 4.2 us (bench_gfx).
    uint8_t line[vexel_screen_w];
    int64_t line_row = -1;
    for (int64_t j = 0; j < rows; ++j, acc_y += step_y) {
        const int64_t row = std::min<int64_t>(acc_y >> 16, sh - 1);
        if (row != line_row) {
            const uint8_t* src = m->sprite_box + size_t(row) * size_t(sw);
            for (int64_t i = 0; i < cols; ++i) line[i] = src[src_col[i]];
            line_row = row;
        }
        uint8_t* dst = s->pix.data() + size_t(first_y + j) * size_t(s->w) + size_t(first_x);
        int64_t i = 0;
        for (; i + 8 <= cols; i += 8) {
            uint64_t box;
            std::memcpy(&box, line + i, 8);
            blend8(dst + i, box);
        }
        for (; i < cols; ++i)
            if (line[i] < box_transparent) dst[i] = line[i];
    }
    return cols * rows;
}

inline int32_t charge_of(int64_t v) { return int32_t(std::clamp<int64_t>(v, 1, INT32_MAX)); }

}  // namespace

#if defined(__x86_64__) && defined(__GNUC__)
bool vexel_blit_vector = host_has_ssse3();
#else
bool vexel_blit_vector = false;
#endif

void vexel_spr(vexel_machine* m, int argc, vexel_fix n, vexel_fix x, vexel_fix y, vexel_fix w, vexel_fix h, bool flip_x, bool flip_y) {
    const uint32_t num = uint32_t(vexel_flr(n));
    if (num >= uint32_t(vexel_sprite_count)) return;
    int bw = 8, bh = 8;
    if (argc >= 4) {
        // Sizes count in sprites and may be fractional: 1.5 is 12 pixels.
        const int64_t pw = (int64_t(w) * 8) >> 16;
        const int64_t ph = argc >= 5 ? (int64_t(h) * 8) >> 16 : 0;
        if (pw < 1 || ph < 1) return;
        bw = int(std::min<int64_t>(pw, box_max));
        bh = int(std::min<int64_t>(ph, box_max));
    }
    fenn_bitmap* s = screen(m);
    if (!s || !sheet_ok(m->cart)) return;
    fill_box(m, m->cart->gfx, int32_t(num % 16) * 8, int32_t(num / 16) * 8, bw, bh, argc >= 6 && flip_x,
             argc >= 7 && flip_y);
    const int64_t shown = draw_box(m, s, bw, bh, screen_coord(x, m->camera_x), screen_coord(y, m->camera_y));
    vexel_charge(m, charge_of(shown));
}

void vexel_sspr(vexel_machine* m, int argc, vexel_fix fsx, vexel_fix fsy, vexel_fix fsw, vexel_fix fsh, vexel_fix fdx, vexel_fix fdy,
                vexel_fix fdw, vexel_fix fdh, bool flip_x, bool flip_y) {
    const int32_t sw = vexel_flr(fsw), sh = vexel_flr(fsh);
    int32_t dw = sw, dh = sh;
    if (argc > 6) {
        dw = vexel_flr(fdw);
        dh = argc > 7 ? vexel_flr(fdh) : 0;
    }
    bool fx = argc > 8 && flip_x, fy = argc >= 10 && flip_y;
    if (sw < 1 || sw > box_max || sh < 1 || sh > box_max || dw == 0 || dh == 0) return;
    int32_t dx = screen_coord(fdx, m->camera_x), dy = screen_coord(fdy, m->camera_y);
    // A negative size draws mirrored, ending at the given position.
    if (dw < 0) {
        dx += dw;
        dw = -dw;
        fx = !fx;
    }
    if (dh < 0) {
        dy += dh;
        dh = -dh;
        fy = !fy;
    }
    fenn_bitmap* s = screen(m);
    if (!s || !sheet_ok(m->cart)) return;
    fill_box(m, m->cart->gfx, vexel_flr(fsx), vexel_flr(fsy), sw, sh, fx, fy);
    const int64_t shown = dw == sw && dh == sh ? draw_box(m, s, sw, sh, dx, dy) : draw_box_stretched(m, s, sw, sh, dx, dy, dw, dh);
    vexel_charge(m, charge_of(shown));
}

int32_t vexel_sget(vexel_machine* m, int, vexel_fix fx, vexel_fix fy) {
    const int32_t x = vexel_flr(fx), y = vexel_flr(fy);
    if (!sheet_ok(m->cart) || x < 0 || y < 0 || x >= vexel_sheet_size || y >= vexel_sheet_size) return 0;
    return m->cart->gfx->pix[size_t(y) * vexel_sheet_size + size_t(x)] & 15;
}

void vexel_sset(vexel_machine* m, int argc, vexel_fix fx, vexel_fix fy, vexel_fix c) {
    const int32_t x = vexel_flr(fx), y = vexel_flr(fy);
    // In the shared half the map cell holding this pixel pair changes too.
    vexel_cart_set_pixel(m->cart, x, y, argc >= 3 ? vexel_flr(c) : 0);
    // ram keeps every byte as written, as a poke of the pixel pair would.
    if (x >= 0 && y >= 0 && x < vexel_sheet_size && y < vexel_sheet_size) {
        const int32_t addr = y * 64 + x / 2;
        m->ram[addr] = uint8_t(vexel_cart_peek(m->cart, addr));
    }
}

int32_t vexel_mget(vexel_machine* m, int, vexel_fix fx, vexel_fix fy) {
    const int32_t x = vexel_flr(fx), y = vexel_flr(fy);
    if (!map_ok(m->cart) || x < 0 || y < 0 || x >= vexel_map_w || y >= vexel_map_h) return 0;
    return m->cart->map->pix[size_t(y) * vexel_map_w + size_t(x)];
}

void vexel_mset(vexel_machine* m, int argc, vexel_fix fx, vexel_fix fy, vexel_fix fv) {
    const int32_t x = vexel_flr(fx), y = vexel_flr(fy);
    // In the shared half the two sheet pixels of the cell change too.
    vexel_cart_set_cell(m->cart, x, y, argc >= 3 ? vexel_flr(fv) : 0);
}

vexel_fget_result vexel_fget(vexel_machine* m, int argc, vexel_fix fn, vexel_fix ff) {
    vexel_fget_result r;
    if (argc < 1) return r;
    const int32_t n = vexel_flr(fn);
    const bool n_ok = m->cart && n >= 0 && n < vexel_sprite_count;
    if (argc == 1) {
        r.kind = vexel_fget_result::number;
        r.value = n_ok ? m->cart->flags[n] & 0xff : 0;
        return r;
    }
    const int32_t f = vexel_flr(ff);
    r.kind = vexel_fget_result::boolean;
    r.value = n_ok && f >= 0 && f < 8 && ((m->cart->flags[n] >> f) & 1);
    return r;
}

void vexel_fset(vexel_machine* m, int argc, vexel_fix fn, vexel_fix ff, bool v) {
    const int32_t n = vexel_flr(fn);
    if (argc < 2 || !m->cart || n < 0 || n >= vexel_sprite_count) return;
    int32_t& flags = m->cart->flags[n];
    const int32_t f = vexel_flr(ff);
    if (argc == 2) {
        flags = f & 0xff;
        return;
    }
    if (f < 0 || f > 7) return;
    flags = v ? (flags | (1 << f)) : (flags & ~(1 << f));
}

void vexel_map(vexel_machine* m, int argc, vexel_fix fcx, vexel_fix fcy, vexel_fix fsx, vexel_fix fsy, vexel_fix fcw, vexel_fix fch,
               vexel_fix flayer) {
    int32_t cx = vexel_flr(fcx), cy = vexel_flr(fcy);
    int32_t sx = screen_coord(fsx, m->camera_x), sy = screen_coord(fsy, m->camera_y);
    int32_t cw = vexel_map_default_w, ch = vexel_map_default_h, layer = 0;
    if (argc >= 5) {
        cw = vexel_flr(fcw);
        ch = argc >= 6 ? vexel_flr(fch) : 0;
        layer = argc >= 7 ? vexel_flr(flayer) : 0;
        if (cw < 1 || ch < 1) return;
    }
    fenn_bitmap* s = screen(m);
    const vexel_cart* cart = m->cart;
    if (!s || !map_ok(cart) || !sheet_ok(cart)) return;
    const int32_t left = s->clip_x0, top = s->clip_y0, right = s->clip_x1, bottom = s->clip_y1;
    // Whole cells left of or above the clip are skipped without a look.
    if (sx < left - 7) {
        const int32_t k = (left - sx) / 8;
        cw -= k;
        cx += k;
        sx += 8 * k;
    }
    if (sy < top - 7) {
        const int32_t k = (top - sy) / 8;
        ch -= k;
        cy += k;
        sy += 8 * k;
    }
    const int32_t cols = std::min(cw, (right - left + 7) / 8 + 1);
    const int32_t rows = std::min((bottom - top + 7) / 8 + 1, ch);
    if (rows < 1) {
        vexel_charge(m, 1);
        return;
    }
    uint8_t lut[16];
    for (int i = 0; i < 16; ++i) {
        const int32_t e = m->draw_pal[i];
        lut[i] = (e & 0xf0) ? box_transparent : uint8_t(e & 15);
    }
    int64_t shown = 0;
    const uint8_t* sheet = cart->gfx->pix.data();
    const bool shuffle = vexel_blit_vector;
    for (int32_t row = 0; row < rows; ++row) {
        const int32_t my = cy + row, py = sy + 8 * row;
        const int32_t y0 = std::max(py, top), y1 = std::min(py + 8, bottom);
        for (int32_t col = 0; col < cols; ++col) {
            const int32_t mx = cx + col;
            if (mx < 0 || my < 0 || mx >= vexel_map_w || my >= vexel_map_h) continue;
            const uint8_t v = cart->map->pix[size_t(my) * vexel_map_w + size_t(mx)];
            if (v == 0 || (layer != 0 && (cart->flags[v] & layer) == 0)) continue;
            const int32_t px = sx + 8 * col;
            const int32_t x0 = std::max(px, left), x1 = std::min(px + 8, right);
            if (x1 <= x0 || y1 <= y0) continue;
            shown += int64_t(x1 - x0) * (y1 - y0);
            const uint8_t* spr = sheet + size_t(v / 16) * 8 * vexel_sheet_size + size_t(v % 16) * 8;
            if (x1 - x0 == 8) {  // whole rows of the cell
                map_rows(s->pix.data() + size_t(y0) * size_t(s->w) + size_t(x0), size_t(s->w),
                         spr + size_t(y0 - py) * vexel_sheet_size, y1 - y0, lut, shuffle);
                continue;
            }
            for (int32_t y = y0; y < y1; ++y) {
                const uint8_t* src = spr + size_t(y - py) * vexel_sheet_size + size_t(x0 - px);
                uint8_t* dst = s->pix.data() + size_t(y) * size_t(s->w);
                for (int32_t x = x0; x < x1; ++x, ++src) {
                    const uint8_t e = lut[*src & 15];
                    if (e < box_transparent) dst[x] = e;
                }
            }
        }
    }
    vexel_charge(m, charge_of(shown));
}

void vexel_tline(vexel_machine* m, int argc, vexel_fix fx0, vexel_fix fy0, vexel_fix fx1, vexel_fix fy1, vexel_fix mx,
                 vexel_fix my, vexel_fix mdx, vexel_fix mdy, vexel_fix flayers) {
    fenn_bitmap* s = screen(m);
    if (!s) return;
    const uint32_t step_u = uint32_t(argc >= 7 ? mdx : vexel_tline_default_step);
    const uint32_t step_v = uint32_t(argc >= 8 ? mdy : 0);
    const int32_t layers = argc >= 9 ? vexel_flr(flayers) : 0;
    vexel_line_walk w = vexel_line_walk_of(s, screen_coord(fx0, m->camera_x), screen_coord(fy0, m->camera_y),
                                           screen_coord(fx1, m->camera_x), screen_coord(fy1, m->camera_y));
    // A line of one point steps twice on it; the texture takes one step.
    if (w.step_x == 0 && w.step_y == 0) w.hi = std::min<int64_t>(w.hi, 0);
    const vexel_cart* cart = m->cart;
    if (map_ok(cart) && sheet_ok(cart)) {
        const uint8_t wrap_w = m->ram[vexel_reg_tline_wrap_w], wrap_h = m->ram[vexel_reg_tline_wrap_h];
        const int32_t offset_x = m->ram[vexel_reg_tline_offset_x], offset_y = m->ram[vexel_reg_tline_offset_y];
        uint8_t lut[16];
        for (int i = 0; i < 16; ++i) {
            const int32_t e = m->draw_pal[i];
            lut[i] = (e & 0xf0) ? box_transparent : uint8_t(e & 15);
        }
        const uint8_t* sheet = cart->gfx->pix.data();
        for (int64_t i = w.lo; i <= w.hi; ++i) {
            // Step i of the walk is texture step t from (x0, y0); the
            // products wrap in 32 bits exactly as repeated adding would.
            const uint32_t t = uint32_t(w.reversed ? w.steps - i : i);
            const int32_t u = int32_t(uint32_t(mx) + t * step_u), v = int32_t(uint32_t(my) + t * step_v);
            int32_t cx = vexel_flr(u), cy = vexel_flr(v);
            if (wrap_w) cx &= wrap_w - 1;
            if (wrap_h) cy &= wrap_h - 1;
            cx += offset_x;
            cy += offset_y;
            if (cx < 0 || cy < 0 || cx >= vexel_map_w || cy >= vexel_map_h) continue;
            const uint8_t n = cart->map->pix[size_t(cy) * vexel_map_w + size_t(cx)];
            if (n == 0 || (layers != 0 && (cart->flags[n] & layers) != layers)) continue;
            const int32_t px = (u >> 13) & 7, py = (v >> 13) & 7;
            const uint8_t e = lut[sheet[size_t(n / 16 * 8 + py) * vexel_sheet_size + size_t(n % 16 * 8 + px)] & 15];
            if (e >= box_transparent) continue;
            const int32_t x = int32_t((w.x_start + i * w.step_x) >> 16), y = int32_t((w.y_start + i * w.step_y) >> 16);
            s->pix[size_t(y) * size_t(s->w) + size_t(x)] = e;
        }
    }
    vexel_charge(m, w.count / 2 + 1);
}
