// board_picture: the list pictures a board serves.
//
// A list picture is a 1024x544 PNG of up to 32 entries in 8 columns and 4
// rows of 128x136 cells. A cell's top 128 rows are the entry's label; the
// next five rows each carry a text of up to 128 characters, one per pixel
// in the green channel, a zero ending it: "post mid category" as three
// numbers, the title, the author, the board id and the second id. A cell
// whose first number is 0 is absent. The first cell's next row (133) says
// which page of the list comes after this one, "next N", or is empty when
// none does (cart_board.h: pages are anchored from the oldest entry, so
// "load more" goes to lower page numbers).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/fenn_bitmap.h"

constexpr int board_picture_w = 1024, board_picture_h = 544;
constexpr int board_cell_w = 128, board_cell_h = 136, board_picture_columns = 8;
constexpr int board_label_side = 128;
constexpr int board_text_row_chars = 128;
constexpr int board_next_row = 133;        // of the first cell

struct board_cell {
    long long post = 0;
    long long mid_number = 0;
    int category = 0;
    std::string title, author, id, mid;
    const fenn_bitmap* label = nullptr;  // 8-bit 128x128 label colours (0-15), or null for a blank label
};

// A new 32-bit 1024x544 picture of up to 32 cells (more are ignored).
// `next_page` is the page after it, -1 for none.
fenn_bitmap* board_make_list_picture(const std::vector<board_cell>& cells, int next_page);

// Reads the entries of a list picture (PNG bytes); labels are not kept.
// 0, 1 when it is not a PNG, 2 when it is not 1024x544. `ended` tells
// whether an absent entry was met; `next_page` the page after it, or -1.
int board_read_list_picture(const uint8_t* data, size_t size, std::vector<board_cell>* cells, bool* ended,
                            int* next_page);
