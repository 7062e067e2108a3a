// editor_map: the map editor — the 128x64 cells of the working cartridge's
// map, shown with their sprites at five zoom levels, with a sprite picker
// strip, tools to place, fill, select, move, copy and erase cells.
//
// This header holds the edit operations, which work on a cartridge record
// alone (no drawing, no editor state) so that they can be tested directly,
// and a few questions about the page's view for tests that drive it with
// editor_input.
//
// Invariants: every cell is read and written through editor_mget /
// editor_mset, so map rows 32-63 and sprite-sheet rows 64-127 stay the same
// bytes; operations clip to the map and never write outside it; the text
// form of a block is parsed with its sizes checked before anything is
// allocated.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct vexel_cart;

constexpr int editor_map_cols = 128;
constexpr int editor_map_rows = 64;
constexpr int editor_map_shared_row = 32;  // rows 32-63 are sprite-sheet rows 64-127
constexpr int editor_map_block_max = 16;   // a block of sprites is at most the sheet's 16x16
// Longest clipboard text taken: the whole map as hex with its tags, line
// breaks between rows and some slack.
constexpr size_t editor_map_text_max = 32768;

// A rectangle of cells; w or h 0 is empty.
struct editor_map_rect {
    int x = 0, y = 0, w = 0, h = 0;
};
editor_map_rect editor_map_clip(editor_map_rect r);
bool editor_map_contains(editor_map_rect r, int x, int y);

// Cells row by row, e.g. a copied region or parsed clipboard text.
struct editor_map_block {
    int w = 0, h = 0;
    std::vector<uint8_t> cells;  // w * h
};

// Places a block of w x h sprites whose top-left is `sprite` (sprite + i +
// 16 * j at cell (x + i, y + j)) at (x, y), clipped to the map. Returns the
// count of cells that changed.
int editor_map_place(vexel_cart* cart, int x, int y, int sprite, int w, int h);
// Flood fill: the 4-connected cells inside `bounds` holding the same sprite
// as (x, y) become `sprite`, or with a w x h block its pattern repeated from
// (x, y). Returns the count of cells that changed.
int editor_map_fill(vexel_cart* cart, int x, int y, int sprite, int w, int h, editor_map_rect bounds);
// The cells of r clipped to the map.
editor_map_block editor_map_read(const vexel_cart* cart, editor_map_rect r);
// Writes a block with its top-left at (x, y), clipped to the map; returns
// the count of cells that changed.
int editor_map_write(vexel_cart* cart, const editor_map_block& block, int x, int y);
// Sets the cells of r (clipped) to sprite 0.
int editor_map_clear(vexel_cart* cart, editor_map_rect r);
// Moves the cells of r (clipped) by (dx, dy): the source becomes sprite 0,
// then the cells land at their new place, clipped; overlapping source and
// destination are handled. Returns the count of cells that changed.
int editor_map_move(vexel_cart* cart, editor_map_rect r, int dx, int dy);

// The text form of a block: "[map]" WW HH (two hex digits each) then two
// hex digits a cell, row by row, then "[/map]".
std::string editor_map_to_text(const editor_map_block& block);
// Reads that form (surrounding white space and line breaks between digits
// allowed, nothing else); false with a short reason when it is not one.
bool editor_map_from_text(const std::string& text, editor_map_block* out, std::string* error);

// ---- the page's view (for tests and the status line) --------------------------

enum editor_map_tool : int {
    editor_map_tool_draw = 0,
    editor_map_tool_fill = 1,
    editor_map_tool_select = 2,
};

struct editor_map_view_info {
    int cell_px;                 // screen pixels a cell: 1, 2, 4, 8 or 16
    int origin_x16, origin_y16;  // the map position at the view's top-left, 1/16 cells
    int view_y0, view_y1;        // screen rows of the map view (y1 exclusive)
    int picker_y0;               // first screen row of the sprite picker
    int cursor_x, cursor_y;      // the keyboard cursor (cell)
    int tool;                    // editor_map_tool
    bool has_selection, floating;
    editor_map_rect selection;
    int block_w, block_h;        // the block the picker selected
    int picker_top;              // first sheet row of sprites in the picker
    bool picker_large;
};
editor_map_view_info editor_map_view();
// The screen position of cell (cx, cy)'s top-left under the current view.
void editor_map_cell_screen(int cx, int cy, int* sx, int* sy);
