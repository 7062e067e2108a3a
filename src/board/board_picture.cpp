#include "board/board_picture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cart/cart_art.h"
#include "framework/fenn_png.h"

namespace {

using bitmap_ptr = std::unique_ptr<fenn_bitmap, void (*)(fenn_bitmap*)>;

void put_text(fenn_bitmap* pic, int x, int y, const std::string& text) {
    uint32_t* row = pic->pix32() + size_t(y) * size_t(pic->w) + size_t(x);
    // A text cut short ends before a whole UTF-8 character, never inside one.
    size_t n = std::min(text.size(), size_t(board_text_row_chars));
    if (n < text.size())
        while (n > 0 && (uint8_t(text[n]) & 0xc0) == 0x80) --n;
    for (int i = 0; i < board_text_row_chars; ++i) {
        const uint8_t c = i < int(n) ? uint8_t(text[size_t(i)]) : 0;
        row[i] = 0xff000000u | uint32_t(c) << 8;
        if (c == 0) break;
    }
}

std::string get_text(const fenn_bitmap* pic, int x, int y) {
    const uint32_t* row = pic->pix32() + size_t(y) * size_t(pic->w) + size_t(x);
    std::string s;
    for (int i = 0; i < board_text_row_chars; ++i) {
        const char c = char((row[i] >> 8) & 0xff);
        if (!c) break;
        s += c;
    }
    return s;
}

}  // namespace

fenn_bitmap* board_make_list_picture(const std::vector<board_cell>& cells, int next_page) {
    fenn_bitmap* pic = fenn_create_bitmap(board_picture_w, board_picture_h, 32);
    if (!pic) return nullptr;
    fenn_clear_bitmap(pic, 0xff000000u);
    const int count = std::min(int(cells.size()), (board_picture_w / board_cell_w) * (board_picture_h / board_cell_h));
    for (int i = 0; i < count; ++i) {
        const board_cell& c = cells[size_t(i)];
        const int x0 = (i % board_picture_columns) * board_cell_w, y0 = (i / board_picture_columns) * board_cell_h;
        const bool label = c.label && c.label->depth == 8 && c.label->w == board_label_side &&
                           c.label->h == board_label_side;
        for (int y = 0; y < board_label_side; ++y)
            for (int x = 0; x < board_label_side; ++x)
                pic->pix32()[size_t(y0 + y) * board_picture_w + size_t(x0 + x)] =
                    cart_art_colour(label ? c.label->pix[size_t(y) * board_label_side + size_t(x)] & 15 : 0);
        char numbers[64];
        std::snprintf(numbers, sizeof numbers, "%lld %lld %d", c.post, c.mid_number, c.category);
        put_text(pic, x0, y0 + board_label_side, numbers);
        put_text(pic, x0, y0 + board_label_side + 1, c.title);
        put_text(pic, x0, y0 + board_label_side + 2, c.author);
        put_text(pic, x0, y0 + board_label_side + 3, c.id);
        put_text(pic, x0, y0 + board_label_side + 4, c.mid);
    }
    if (next_page >= 0) put_text(pic, 0, board_next_row, "next " + std::to_string(next_page));
    return pic;
}

int board_read_list_picture(const uint8_t* data, size_t size, std::vector<board_cell>* cells, bool* ended,
                            int* next_page) {
    fenn_bitmap* decoded = nullptr;
    if (fenn_png_decode(data, size, &decoded, board_picture_w * 2, board_picture_h * 2) != fenn_png_ok) return 1;
    bitmap_ptr pic(decoded, fenn_destroy_bitmap);
    if (pic->w != board_picture_w || pic->h != board_picture_h) return 2;
    *ended = false;
    const std::string next = get_text(pic.get(), 0, board_next_row);
    int n = -1;
    *next_page = std::sscanf(next.c_str(), "next %d", &n) == 1 && n >= 0 ? n : -1;
    for (int i = 0; i < (board_picture_w / board_cell_w) * (board_picture_h / board_cell_h); ++i) {
        const int x0 = (i % board_picture_columns) * board_cell_w, y0 = (i / board_picture_columns) * board_cell_h;
        board_cell c;
        const std::string numbers = get_text(pic.get(), x0, y0 + board_label_side);
        c.post = std::atoll(numbers.c_str());
        if (c.post == 0) {
            *ended = true;
            continue;
        }
        long long post = 0, mid = 0;
        int category = 0;
        std::sscanf(numbers.c_str(), "%lld %lld %d", &post, &mid, &category);
        c.mid_number = mid;
        c.category = category;
        c.title = get_text(pic.get(), x0, y0 + board_label_side + 1);
        c.author = get_text(pic.get(), x0, y0 + board_label_side + 2);
        c.id = get_text(pic.get(), x0, y0 + board_label_side + 3);
        c.mid = get_text(pic.get(), x0, y0 + board_label_side + 4);
        cells->push_back(c);
    }
    return 0;
}
