#include "cart/cart_art.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "framework/fenn_file.h"
#include "framework/fenn_png.h"
#include "framework/fenn_video.h"

namespace {

constexpr uint32_t plain_body = 0xff2d3142;
constexpr size_t max_asset_bytes = size_t(1) << 20;

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool read_file(const std::string& path, std::vector<uint8_t>* out) {
    std::unique_ptr<std::FILE, file_closer> f(fenn_fopen_regular(path.c_str()));
    if (!f) return false;
    out->clear();
    uint8_t buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
        if (out->size() + n > max_asset_bytes) return false;
        out->insert(out->end(), buf, buf + n);
    }
    return !std::ferror(f.get());
}

}  // namespace

int cart_art_set_from_png(cart_art* art, const uint8_t* template_png, size_t template_size, const uint8_t* font_png,
                          size_t font_size) {
    if (!art) return 1;
    fenn_bitmap* picture = nullptr;
    fenn_bitmap* sheet = nullptr;
    fenn_png_decode(template_png, template_size, &picture, cart_picture_w, cart_picture_h);
    fenn_png_decode(font_png, font_size, &sheet, 256, 256);
    bool ok = picture && sheet && picture->w == cart_picture_w && picture->h == cart_picture_h &&
              sheet->w % cart_font_columns == 0 && sheet->h % cart_font_rows == 0 &&
              sheet->w / cart_font_columns >= 2 && sheet->h / cart_font_rows >= 2;
    if (!ok) {
        fenn_destroy_bitmap(picture);
        fenn_destroy_bitmap(sheet);
        return 1;
    }
    // The font keeps only which pixels are drawn: opaque enough and not black.
    fenn_bitmap* font = fenn_create_bitmap(sheet->w, sheet->h, 8);
    for (size_t i = 0; i < font->pix.size(); ++i) {
        uint32_t v = sheet->pix32()[i];
        font->pix[i] = (v >> 24) >= 0x80 && (v & 0xffffff) != 0;
    }
    cart_art& a = *art;
    a.cell_w = sheet->w / cart_font_columns;
    a.cell_h = sheet->h / cart_font_rows;
    fenn_destroy_bitmap(sheet);
    a.picture.reset(picture);
    a.font.reset(font);
    return 0;
}

int cart_art_load_folder(cart_art* art, const char* folder) {
    std::string base = folder ? folder : ".";
    if (!base.empty() && base.back() != '/') base += '/';
    std::vector<uint8_t> tpl, font;
    if (!read_file(base + "cart_template.png", &tpl) || !read_file(base + "cart_font.png", &font)) return 1;
    return cart_art_set_from_png(art, tpl.data(), tpl.size(), font.data(), font.size());
}

fenn_bitmap* cart_art_new_picture(const cart_art* art) {
    fenn_bitmap* pic = fenn_create_bitmap(cart_picture_w, cart_picture_h, 32);
    if (art && art->picture) {
        pic->pix = art->picture->pix;
    } else {
        fenn_clear_bitmap(pic, plain_body);
    }
    return pic;
}

uint32_t cart_art_colour(int index) {
    const uint8_t* p = fenn_get_palette() + 3 * (index & (cart_label_colours - 1));
    return 0xff000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

int cart_art_nearest_colour(uint32_t argb) {
    const int r = (argb >> 16) & 0xff, g = (argb >> 8) & 0xff, b = argb & 0xff;
    const uint8_t* palette = fenn_get_palette();
    int best = 0;
    long best_d = -1;
    for (int i = 0; i < cart_label_colours; ++i) {
        const uint8_t* p = palette + 3 * i;
        long d = long(r - p[0]) * (r - p[0]) + long(g - p[1]) * (g - p[1]) + long(b - p[2]) * (b - p[2]);
        if (best_d < 0 || d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return best;
}

int cart_art_advance(const cart_art* art) { return art ? art->cell_w : 0; }

int cart_art_draw_text(const cart_art* art, fenn_bitmap* picture, const char* text, size_t length, int x, int y,
                       uint32_t rgb) {
    if (!art || !art->font || !picture || picture->depth != 32) return x;
    const cart_art& a = *art;
    const uint32_t colour = 0xff000000u | (rgb & 0xffffff);
    for (size_t i = 0; i < length; ++i, x += a.cell_w) {
        const int code = uint8_t(text[i]);
        if (code < 32 || code > 127) continue;
        const int gx = (code - 32) % cart_font_columns * a.cell_w;
        const int gy = (code - 32) / cart_font_columns * a.cell_h;
        for (int row = 0; row < a.cell_h; ++row) {
            const int py = y + row;
            if (py < picture->clip_y0 || py >= picture->clip_y1) continue;
            for (int col = 0; col < a.cell_w; ++col) {
                const int px = x + col;
                if (px < picture->clip_x0 || px >= picture->clip_x1) continue;
                if (a.font->pix[size_t(gy + row) * a.font->w + gx + col])
                    picture->pix32()[size_t(py) * picture->w + px] = colour;
            }
        }
    }
    return x;
}
