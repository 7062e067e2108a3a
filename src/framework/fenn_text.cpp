#include "framework/fenn_text.h"

#include <algorithm>
#include <cstring>


namespace {

struct GlyphSet {
    int first_code;   // 0 for sets of 256, 32 for sets of 96
    int set_size;
    int set_count;
};

GlyphSet glyph_sets(const fenn_pod* font) {
    int n = int(font->items.size());
    if (n > 0 && n % 256 == 0) return {0, 256, n / 256};
    return {32, 96, std::max(1, n / 96)};
}

const fenn_bitmap* glyph_in_set(const fenn_pod* font, int set, int code) {
    GlyphSet gs = glyph_sets(font);
    int index = code - gs.first_code;
    if (index < 0 || index >= gs.set_size) return nullptr;
    size_t item = size_t(set) * size_t(gs.set_size) + size_t(index);
    if (item >= font->items.size()) return nullptr;
    const fenn_pod_item* it = font->items[item].get();
    return it && it->type == fenn_pod_type_bitmap ? it->bitmap.get() : nullptr;
}

void draw_glyph(fenn_bitmap* dst, const fenn_bitmap* g, int x, int y, bool single, uint32_t colour) {
    int x0 = std::max(x, dst->clip_x0), y0 = std::max(y, dst->clip_y0);
    int x1 = std::min(x + g->w, dst->clip_x1), y1 = std::min(y + g->h, dst->clip_y1);
    for (int py = y0; py < y1; ++py) {
        for (int px = x0; px < x1; ++px) {
            size_t gi = size_t(py - y) * size_t(g->w) + size_t(px - x);
            uint32_t v = g->depth == 8 ? g->pix[gi] : g->pix32()[gi];
            if (!v) continue;
            uint32_t c = single ? colour : v;
            size_t di = size_t(py) * size_t(dst->w) + size_t(px);
            if (dst->depth == 8) dst->pix[di] = uint8_t(c);
            else dst->pix32()[di] = c;
        }
    }
}

// The width of text counting only codes below 128, as alignment does.
int aligned_width(const char* text, const fenn_pod* font) {
    int w = 0;
    bool any = false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p >= 128) continue;
        const fenn_bitmap* g = fenn_font_glyph(font, *p);
        if (!g) continue;
        w += g->w + fenn_font_spacing;
        any = true;
    }
    return any ? w - fenn_font_spacing : -fenn_font_spacing;
}

}  // namespace

const fenn_bitmap* fenn_font_glyph(const fenn_pod* font, int code) {
    return font ? glyph_in_set(font, 0, code) : nullptr;
}

int fenn_get_text_width(const char* text, const fenn_pod* font) {
    if (!text || !font) return 0;
    int w = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const fenn_bitmap* g = fenn_font_glyph(font, *p);
        if (g) w += g->w + fenn_font_spacing;
    }
    return w - fenn_font_spacing;
}

std::vector<std::string> fenn_wrap_text(const char* text, const fenn_pod* font, int width) {
    std::vector<std::string> lines;
    const std::string s = text ? text : "";
    if (!font) {
        if (!s.empty()) lines.push_back(s);
        return lines;
    }
    size_t start = 0;
    while (start < s.size()) {
        size_t end = start, blank = std::string::npos;
        int advance = 0;  // of s[start, end), the spacing after its last glyph included
        for (; end < s.size(); ++end) {
            const fenn_bitmap* g = fenn_font_glyph(font, static_cast<unsigned char>(s[end]));
            const int step = g ? g->w + fenn_font_spacing : 0;
            if (end > start && g && advance + g->w > width) break;
            if (s[end] == ' ') blank = end;
            advance += step;
        }
        // Back to the last blank, unless the word cut there is too long for
        // a line of its own anyway: then it is cut where the line is full.
        if (end < s.size() && s[end] != ' ' && blank != std::string::npos && blank > start) {
            const size_t word_end = std::min(s.find(' ', end), s.size());
            const std::string word = s.substr(blank + 1, word_end - blank - 1);
            if (fenn_get_text_width(word.c_str(), font) <= width) end = blank;
        }
        std::string line = s.substr(start, end - start);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(line);
        start = end;
        while (start < s.size() && s[start] == ' ') ++start;
    }
    return lines;
}

int fenn_draw_text_ex(fenn_bitmap* bmp, const char* text, const fenn_pod* font, int x, int y, int flags, uint32_t colour,
                      int* end_x) {
    if (end_x) *end_x = x;
    if (!bmp || !text || !font || font->items.empty()) return y;
    GlyphSet gs = glyph_sets(font);
    int set = 0;
    bool single = flags & fenn_text_single_colour;
    if (!single) {
        set = -1;
        for (int s = 0; s < gs.set_count && set < 0; ++s) {
            // The set's pixel format is that of its first bitmap glyph.
            for (int c = gs.first_code; c < gs.first_code + gs.set_size; ++c) {
                const fenn_bitmap* g = glyph_in_set(font, s, c);
                if (g) {
                    if (g->depth == bmp->depth) set = s;
                    break;
                }
            }
        }
        if (set < 0) {
            set = gs.set_count - 1;
            single = true;
        }
    }
    // The whole clip is kept: narrowing a clip thinner than the mark would
    // otherwise widen its right edge for good.
    const int saved_clip_x0 = bmp->clip_x0, saved_clip_x1 = bmp->clip_x1;
    bool elided = false;
    if (flags & fenn_text_keep_inside) {
        int width = fenn_get_text_width(text, font);
        if (width > bmp->clip_x1 - x) {
            fenn_set_clip(bmp, bmp->clip_x0 + 15, bmp->clip_y0, bmp->clip_x1, bmp->clip_y1);
            x = saved_clip_x1 - width;
            elided = true;
        }
    }
    if (flags & fenn_text_centre) x -= aligned_width(text, font) / 2;
    if (flags & fenn_text_right) x += fenn_font_spacing - aligned_width(text, font);

    int start_x = x, line_y = y, first_y = y, tallest = 0;
    bool line_has_glyph = false;
    auto new_line = [&] {
        x = start_x;
        line_y += line_has_glyph ? tallest + fenn_font_spacing : fenn_font_spacing;
        tallest = 0;
        line_has_glyph = false;
    };
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == 10) {
            new_line();
            continue;
        }
        const fenn_bitmap* g = glyph_in_set(font, set, *p);
        if (g) {
            draw_glyph(bmp, g, x, line_y, single, colour);
            x += g->w + fenn_font_spacing;
            tallest = std::max(tallest, g->h);
            line_has_glyph = true;
            if (*p == 127) break;
            if (flags & fenn_text_wrap) {
                // The line ends when the next glyph would not fit. After the
                // last glyph (or before a newline) the glyph just drawn
                // stands in for it, so a full line ends there and text of
                // one width wraps as it always has.
                const fenn_bitmap* next = p[1] && p[1] != 10 ? glyph_in_set(font, set, p[1]) : nullptr;
                const int next_w = next ? next->w : g->w;
                if (x > bmp->clip_x1 - (next_w + fenn_font_spacing)) new_line();
            }
        } else if (*p == 127) {
            break;
        }
    }
    if (end_x) *end_x = x;
    if (elided) {
        fenn_set_clip(bmp, saved_clip_x0, bmp->clip_y0, saved_clip_x1, bmp->clip_y1);
        if (fenn_font1) fenn_draw_text_ex(bmp, "..", fenn_font1, saved_clip_x0, first_y, fenn_text_single_colour, colour);
    }
    return line_y;
}

int fenn_draw_text_phat(fenn_bitmap* bmp, const char* text, const fenn_pod* font, int x, int y, int flags,
                        uint32_t outline_colour, uint32_t colour) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (dx || dy) fenn_draw_text_ex(bmp, text, font, x + dx, y + dy, flags | fenn_text_single_colour, outline_colour);
    return fenn_draw_text_ex(bmp, text, font, x, y, flags, colour);
}

