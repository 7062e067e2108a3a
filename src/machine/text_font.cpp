// The built-in console font: 3x5 glyphs for codes 32-127 which, with
// the text drawer's spacing of 1, advance 4 pixels and fill 6-pixel lines.
#include <memory>

#include "framework/fenn_bitmap.h"
#include "machine/text.h"

// Five row values per glyph, top row first; bit 2 is the leftmost column.
const uint8_t vexel_console_font_dat[vexel_console_font_glyphs * vexel_console_glyph_h] = {
    0, 0, 0, 0, 0,  //  
    2, 2, 2, 0, 2,  // !
    5, 5, 0, 0, 0,  // "
    5, 7, 5, 7, 5,  // #
    3, 6, 2, 3, 6,  // $
    5, 1, 2, 4, 5,  // %
    2, 5, 2, 5, 3,  // &
    2, 2, 0, 0, 0,  // '
    1, 2, 2, 2, 1,  // (
    4, 2, 2, 2, 4,  // )
    5, 2, 7, 2, 5,  // *
    0, 2, 7, 2, 0,  // +
    0, 0, 0, 2, 4,  // ,
    0, 0, 7, 0, 0,  // -
    0, 0, 0, 0, 2,  // .
    1, 1, 2, 4, 4,  // /
    7, 5, 5, 5, 7,  // 0
    6, 2, 2, 2, 7,  // 1
    7, 1, 7, 4, 7,  // 2
    7, 1, 3, 1, 7,  // 3
    5, 5, 7, 1, 1,  // 4
    7, 4, 7, 1, 7,  // 5
    4, 4, 7, 5, 7,  // 6
    7, 1, 1, 1, 1,  // 7
    7, 5, 7, 5, 7,  // 8
    7, 5, 7, 1, 1,  // 9
    0, 2, 0, 2, 0,  // :
    0, 2, 0, 2, 4,  // ;
    1, 2, 4, 2, 1,  // <
    0, 7, 0, 7, 0,  // =
    4, 2, 1, 2, 4,  // >
    7, 1, 3, 0, 2,  // ?
    2, 5, 5, 4, 3,  // @
    7, 5, 7, 5, 5,  // A
    7, 5, 6, 5, 7,  // B
    3, 4, 4, 4, 3,  // C
    6, 5, 5, 5, 6,  // D
    7, 4, 6, 4, 7,  // E
    7, 4, 6, 4, 4,  // F
    3, 4, 5, 5, 3,  // G
    5, 5, 7, 5, 5,  // H
    7, 2, 2, 2, 7,  // I
    7, 2, 2, 2, 6,  // J
    5, 5, 6, 5, 5,  // K
    4, 4, 4, 4, 7,  // L
    7, 7, 5, 5, 5,  // M
    6, 5, 5, 5, 5,  // N
    3, 5, 5, 5, 6,  // O
    7, 5, 7, 4, 4,  // P
    2, 5, 5, 6, 3,  // Q
    7, 5, 6, 5, 5,  // R
    3, 4, 7, 1, 6,  // S
    7, 2, 2, 2, 2,  // T
    5, 5, 5, 5, 3,  // U
    5, 5, 5, 7, 2,  // V
    5, 5, 5, 7, 7,  // W
    5, 5, 2, 5, 5,  // X
    5, 5, 7, 1, 7,  // Y
    7, 1, 2, 4, 7,  // Z
    6, 4, 4, 4, 6,  // [
    4, 4, 2, 1, 1,  // backslash
    3, 1, 1, 1, 3,  // ]
    2, 5, 0, 0, 0,  // ^
    0, 0, 0, 0, 7,  // _
    4, 2, 0, 0, 0,  // `
    0, 3, 5, 5, 3,  // a
    4, 6, 5, 5, 6,  // b
    0, 3, 4, 4, 3,  // c
    1, 3, 5, 5, 3,  // d
    0, 2, 7, 4, 3,  // e
    1, 2, 7, 2, 2,  // f
    0, 3, 5, 3, 6,  // g
    4, 6, 5, 5, 5,  // h
    2, 0, 6, 2, 7,  // i
    1, 0, 1, 5, 2,  // j
    4, 5, 6, 6, 5,  // k
    6, 2, 2, 2, 1,  // l
    0, 7, 7, 5, 5,  // m
    0, 6, 5, 5, 5,  // n
    0, 2, 5, 5, 2,  // o
    0, 6, 5, 6, 4,  // p
    0, 3, 5, 3, 1,  // q
    0, 3, 4, 4, 4,  // r
    0, 3, 6, 1, 6,  // s
    2, 7, 2, 2, 1,  // t
    0, 5, 5, 5, 3,  // u
    0, 5, 5, 7, 2,  // v
    0, 5, 5, 7, 7,  // w
    0, 5, 2, 2, 5,  // x
    0, 5, 5, 3, 6,  // y
    0, 7, 3, 4, 7,  // z
    3, 2, 6, 2, 3,  // {
    2, 2, 2, 2, 2,  // |
    6, 2, 3, 2, 6,  // }
    0, 1, 7, 4, 0,  // ~
    5, 2, 5, 2, 5,  // DEL
};

fenn_pod* vexel_create_console_font() {
    auto pod = std::make_unique<fenn_pod>();
    for (int code = 0; code < 256; ++code) {
        auto item = std::make_unique<fenn_pod_item>();
        const int index = code - 32;
        if (index >= 0 && index < vexel_console_font_glyphs) {
            fenn_bitmap* g = fenn_create_bitmap(vexel_console_glyph_w, vexel_console_glyph_h, 8);
            if (!g) return nullptr;
            item->type = fenn_pod_type_bitmap;
            item->bitmap.reset(g);
            for (int y = 0; y < vexel_console_glyph_h; ++y)
                for (int x = 0; x < vexel_console_glyph_w; ++x)
                    if ((vexel_console_font_dat[index * vexel_console_glyph_h + y] >> (vexel_console_glyph_w - 1 - x)) & 1)
                        g->pix[size_t(y * vexel_console_glyph_w + x)] = 7;
        }
        pod->items.push_back(std::move(item));
    }
    fenn_count_item_created();
    return pod.release();
}
