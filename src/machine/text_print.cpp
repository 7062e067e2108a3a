#include "machine/text_print.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "framework/fenn_text.h"
#include "machine/gfx.h"
#include "machine/machine.h"
#include "machine/text.h"

namespace {

// The control bytes.
constexpr unsigned char code_repeat = 1;
constexpr unsigned char code_background = 2;
constexpr unsigned char code_move_x = 3;
constexpr unsigned char code_move_y = 4;
constexpr unsigned char code_move = 5;
constexpr unsigned char code_command = 6;
constexpr unsigned char code_sound = 7;
constexpr unsigned char code_back = 8;
constexpr unsigned char code_colour = 12;
constexpr unsigned char code_return = 13;
constexpr unsigned char newline = 10;
constexpr unsigned char last_byte = 127;  // ends the text after its glyph

constexpr int move_bias = 16;       // a move digit d moves d - 16 pixels
constexpr int jump_step = 4;        // \^j digits count 4-pixel steps
constexpr int one_off_size = 8;     // \^: glyphs are 8 x 8
constexpr size_t one_off_digits = 2 * one_off_size;
constexpr int narrow_cell_w = vexel_console_glyph_w + fenn_font_spacing;
// Keeps the pen's position far from overflow whatever a text does (moves,
// jumps and advances add at most a few dozen pixels per byte).
constexpr int64_t pen_limit = int64_t(1) << 40;

int hex_value(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A digit of base `base` (up to 36): 0-9, then letters of either case.
int digit_value(unsigned char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z') v = c - 'A' + 10;
    return v < base ? v : -1;
}

bool is_decimal(unsigned char c) { return c >= '0' && c <= '9'; }

bool is_mode_letter(unsigned char c) { return c && std::strchr("wt=pib#", c) != nullptr; }

size_t code_size(const unsigned char* p, size_t left) {
    switch (p[0]) {
    case code_back:
    case code_return: return 1;
    case code_background:
    case code_colour:
    case code_move_x:
    case code_move_y: return 2;
    case code_repeat:
    case code_move: return 3;
    case code_sound: {
        size_t n = 1;
        if (left > 1 && is_decimal(p[1])) {
            while (n < left && is_decimal(p[n])) ++n;
            return n;
        }
        while (n < left && p[n] && p[n] != ' ') ++n;
        return n < left && p[n] == ' ' ? n + 1 : n;
    }
    case code_command: {
        if (left < 2) return 2;
        const unsigned char c = p[1];
        if (c == '-' || c == '+') return 3;
        if (c == 'c') return 3;
        if (c == 'j') return 4;
        if (c == ':') return 2 + one_off_digits;
        if (c == 'g' || is_mode_letter(c)) return 2;
        return left > 2 && is_decimal(p[2]) ? 3 : 2;
    }
    default: return 0;
    }
}

// A glyph to draw: a font bitmap or the rows of a one-off glyph.
struct glyph_view {
    const fenn_bitmap* bitmap = nullptr;
    const uint8_t* rows = nullptr;  // one-off: bit 0 the leftmost pixel
    int w = 0, h = 0;

    bool ink(int gx, int gy) const {
        if (rows) return (rows[gy] >> gx) & 1;
        const size_t i = size_t(gy) * size_t(bitmap->w) + size_t(gx);
        return (bitmap->depth == 8 ? bitmap->pix[i] : bitmap->pix32()[i]) != 0;
    }
};

class printer {
public:
    printer(vexel_machine* m, const vexel_print_run& run)
        : m_(m), s_(m->screen), font_(m->console_font), run_(run),
          x_(run.x), y_(run.y), line_x_(run.x), colour_(run.colour & 15) {}

    vexel_print_end print(const unsigned char* p, const unsigned char* end) {
        while (p < end && !ended_) {
            const size_t left = size_t(end - p);
            const size_t size = code_size(p, left);
            if (size == 0) {
                const bool last = *p == last_byte;
                put(*p, p + 1, end);
                if (last) break;
                ++p;
                continue;
            }
            if (size > left) break;  // the argument is cut off: the text ends
            if (!run_.console || *p == code_colour || *p == code_background) act(p, size, end);
            p += size;
        }
        vexel_print_end e;
        e.x = x_;
        e.y = y_;
        e.last_line_h = line_has_cell_ ? tallest_ : 0;
        return e;
    }

private:
    vexel_machine* m_;
    fenn_bitmap* s_;
    const fenn_pod* font_;
    const vexel_print_run& run_;
    int64_t x_, y_, line_x_;
    int colour_;
    int background_ = 0;
    bool fill_ = false;
    bool wide_ = false, tall_ = false, striped_ = false, inverted_ = false, border_ = false;
    int tallest_ = 0;
    bool line_has_cell_ = false;
    int last_w_ = 0;  // width of the last cell drawn, for \b
    bool ended_ = false;  // byte 127 was drawn by a repeat

    int sx() const { return wide_ ? 2 : 1; }
    int sy() const { return tall_ ? 2 : 1; }
    int pad() const { return border_ ? 1 : 0; }
    int cell_w(int w) const { return (w + fenn_font_spacing) * sx() + 2 * pad(); }
    int cell_h(int h) const { return (h + fenn_font_spacing) * sy() + 2 * pad(); }

    uint8_t ink_colour(int c) const { return uint8_t(run_.palette ? m_->draw_pal[c & 15] & 15 : c & 15); }

    void set_x(int64_t x) { x_ = std::clamp(x, -pen_limit, pen_limit); }
    void set_y(int64_t y) { y_ = std::clamp(y, -pen_limit, pen_limit); }

    // The first byte at or after p that is not part of a control code: the
    // character the wrap rule looks at. -1 when the text ends first.
    int next_character(const unsigned char* p, const unsigned char* end) const {
        while (p < end) {
            const size_t left = size_t(end - p), size = code_size(p, left);
            if (size == 0) return *p;
            if (size > left) return -1;
            if (*p == code_repeat) return p[2];
            p += size;
        }
        return -1;
    }

    void line_feed() {
        set_x(line_x_);
        set_y(y_ + (line_has_cell_ ? tallest_ : fenn_font_spacing * sy()));
        tallest_ = 0;
        line_has_cell_ = false;
    }

    // One plain character. The wrap rule looks at the character after it:
    // the first one from `after` on, or c itself again when `after` is null
    // (inside a repeat).
    void put(unsigned char c, const unsigned char* after, const unsigned char* end) {
        if (c == newline) {
            line_feed();
            return;
        }
        const fenn_bitmap* g = fenn_font_glyph(font_, c);
        if (!g) return;
        glyph_view v;
        v.bitmap = g;
        v.w = g->w;
        v.h = g->h;
        draw_cell(v);
        if (!run_.wrap) return;
        // The line ends when the next glyph would not fit; after the last
        // glyph (or before a newline) the glyph just drawn stands in for it.
        const int next = after ? next_character(after, end) : c;
        const fenn_bitmap* n = next > 0 && next != newline ? fenn_font_glyph(font_, next) : nullptr;
        if (x_ > int64_t(clip_x1()) - cell_w(n ? n->w : g->w)) line_feed();
    }

    int clip_x1() const { return s_ ? s_->clip_x1 : vexel_screen_w; }

    void draw_cell(const glyph_view& g) {
        const int w = cell_w(g.w), h = cell_h(g.h);
        if (s_) paint_cell(g, w, h);
        set_x(x_ + w);
        last_w_ = w;
        tallest_ = std::max(tallest_, h);
        line_has_cell_ = true;
    }

    // Background, then the glyph's ink (or, inverted, the cell's ink round
    // the glyph), each pixel cut to the clip.
    void paint_cell(const glyph_view& g, int w, int h) {
        const int64_t x0 = std::max<int64_t>(x_, s_->clip_x0), y0 = std::max<int64_t>(y_, s_->clip_y0);
        const int64_t x1 = std::min<int64_t>(x_ + w, s_->clip_x1), y1 = std::min<int64_t>(y_ + h, s_->clip_y1);
        if (x0 >= x1 || y0 >= y1) return;
        // Inside the clip every coordinate fits an int.
        const int cx = int(x_ - x0), cy = int(y_ - y0);  // the cell's corner relative to (x0, y0)
        const int gx0 = cx + pad(), gy0 = cy + pad();     // the glyph's corner, likewise
        const int gw = g.w * sx(), gh = g.h * sy();
        const uint8_t ink = ink_colour(colour_), back = ink_colour(background_);
        const int cols = int(x1 - x0);
        if (cols <= 64) {
            // The pixels of a row that take the ink, as bits (bit 0 the
            // cell's first pixel inside the clip), from one look at each
            // glyph pixel of the row, instead of deciding each screen pixel
            // alone as the loop below does for wider cells. bench_print, a
            // megabyte: plain text 71.5 -> 51 ms, wide tall inverted 957 ->
            // 370 ms, one-off glyphs 13.3 -> 7.6 ms.
            const int wide = wide_ ? 1 : 0, tall = tall_ ? 1 : 0;
            const uint64_t cell = cols == 64 ? ~uint64_t(0) : (uint64_t(1) << cols) - 1;
            for (int py = 0; py < int(y1 - y0); ++py) {
                uint8_t* row = s_->pix.data() + size_t(y0 + py) * size_t(s_->w) + size_t(x0);
                const int ry = py - gy0;  // row within the scaled glyph
                if (fill_) std::memset(row, back, size_t(cols));
                if (striped_ && (ry & 1)) continue;
                uint64_t glyph = 0;
                if (ry >= 0 && ry < gh) {
                    for (int gx = 0; gx < g.w; ++gx) {
                        if (!g.ink(gx, ry >> tall)) continue;
                        for (int k = 0; k <= wide; ++k) {
                            const int bit = gx0 + (gx << wide) + k;
                            if (bit >= 0 && bit < cols) glyph |= uint64_t(1) << bit;
                        }
                    }
                }
                for (uint64_t paint = (inverted_ ? ~glyph : glyph) & cell; paint != 0; paint &= paint - 1)
                    row[std::countr_zero(paint)] = ink;
            }
            return;
        }
        for (int py = 0; py < int(y1 - y0); ++py) {
            uint8_t* row = s_->pix.data() + size_t(y0 + py) * size_t(s_->w) + size_t(x0);
            const int ry = py - gy0;  // row within the scaled glyph
            const bool striped_out = striped_ && (ry & 1);
            for (int px = 0; px < int(x1 - x0); ++px) {
                const int rx = px - gx0;
                const bool in_glyph = rx >= 0 && rx < gw && ry >= 0 && ry < gh;
                const bool glyph_ink = in_glyph && g.ink(rx / sx(), ry / sy());
                if (fill_) row[px] = back;
                if (striped_out) continue;
                if (inverted_ ? !glyph_ink : glyph_ink) row[px] = ink;
            }
        }
    }

    void set_mode(unsigned char letter, bool on) {
        switch (letter) {
        case 'w': wide_ = on; break;
        case 't': tall_ = on; break;
        case '=': striped_ = on; break;
        case 'p': wide_ = tall_ = striped_ = on; break;
        case 'i': inverted_ = on; break;
        case 'b': border_ = on; break;
        case '#': fill_ = on; break;
        default: break;
        }
    }

    void go_home() {
        set_x(run_.x);
        set_y(run_.y);
        line_x_ = x_;
    }

    // A complete code of `size` bytes at p.
    void act(const unsigned char* p, size_t size, const unsigned char* end) {
        switch (p[0]) {
        case code_colour:
            if (int h = hex_value(p[1]); h >= 0) colour_ = h;
            break;
        case code_background:
            if (int h = hex_value(p[1]); h >= 0) {
                background_ = h;
                fill_ = true;
            }
            break;
        case code_repeat: {
            const int n = digit_value(p[1], 36);
            for (int i = 0; i < n; ++i) {
                put(p[2], i + 1 < n ? nullptr : p + size, end);
                if (p[2] == last_byte) {
                    ended_ = true;
                    break;
                }
            }
            break;
        }
        case code_move_x:
            if (int d = digit_value(p[1], 32); d >= 0) set_x(x_ + d - move_bias);
            break;
        case code_move_y:
            if (int d = digit_value(p[1], 32); d >= 0) set_y(y_ + d - move_bias);
            break;
        case code_move: {
            const int dx = digit_value(p[1], 32), dy = digit_value(p[2], 32);
            if (dx >= 0 && dy >= 0) {
                set_x(x_ + dx - move_bias);
                set_y(y_ + dy - move_bias);
            }
            break;
        }
        case code_return: set_x(line_x_); break;
        case code_back: set_x(x_ - (last_w_ ? last_w_ : narrow_cell_w * sx())); break;
        case code_sound:
            if (size > 1 && is_decimal(p[1]) && run_.sound.play) {
                int n = 0;
                for (size_t i = 1; i < size; ++i) n = std::min(n * 10 + (p[i] - '0'), vexel_print_sound_max);
                run_.sound.play(run_.sound.context, n);
            }
            break;
        case code_command: command(p + 1); break;
        default: break;
        }
    }

    // The command after \^; its whole argument is there (code_size said so).
    void command(const unsigned char* a) {
        switch (a[0]) {
        case '-':
        case '+': set_mode(a[1], a[0] == '+'); break;
        case 'c':
            if (int h = hex_value(a[1]); h >= 0) {
                if (s_) std::memset(s_->pix.data(), h, s_->pix.size());
                vexel_charge(m_, vexel_cls_charge);
                go_home();
            }
            break;
        case 'g': go_home(); break;
        case 'j': {
            const int jx = digit_value(a[1], 32), jy = digit_value(a[2], 32);
            if (jx < 0 || jy < 0) break;
            set_x(int64_t(jx) * jump_step - run_.camera_x);
            set_y(int64_t(jy) * jump_step - run_.camera_y);
            line_x_ = x_;
            break;
        }
        case ':': {
            uint8_t rows[one_off_size];
            for (int r = 0; r < one_off_size; ++r) {
                const int hi = hex_value(a[1 + 2 * r]), lo = hex_value(a[2 + 2 * r]);
                if (hi < 0 || lo < 0) return;
                rows[r] = uint8_t(hi << 4 | lo);
            }
            glyph_view v;
            v.rows = rows;
            v.w = v.h = one_off_size;
            draw_cell(v);
            break;
        }
        default: set_mode(a[0], true); break;
        }
    }
};

}  // namespace

size_t vexel_print_code_size(const char* text, size_t left) {
    if (!text || left == 0) return 0;
    return code_size(reinterpret_cast<const unsigned char*>(text), left);
}

vexel_print_end vexel_print_text(vexel_machine* m, const char* text, size_t len, const vexel_print_run& run) {
    printer pr(m, run);
    if (!text) len = 0;
    // A NUL ends the text, also where a code would take it as its argument.
    if (const void* nul = len ? std::memchr(text, 0, len) : nullptr) len = size_t(static_cast<const char*>(nul) - text);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : "");
    return pr.print(p, p + len);
}
