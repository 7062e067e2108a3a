#include <gtest/gtest.h>

#include <random>
#include <string>

#include "app/editor.h"
#include "app/editor_map.h"
#include "framework/fenn_bitmap.h"
#include "framework/fenn_input.h"
#include "machine/machine.h"
#include "test_support.h"

namespace {

constexpr int sc_right = 79, sc_left = 80, sc_down = 81, sc_up = 82;
constexpr int sc_z = 29, sc_y = 28;

// Every cell of the map, for comparing whole maps.
std::string cells_of(const vexel_cart* cart) {
    std::string s;
    for (int y = 0; y < editor_map_rows; ++y)
        for (int x = 0; x < editor_map_cols; ++x) s += char(editor_mget(cart, x, y));
    return s;
}

class MapEdit : public ::testing::Test {
protected:
    // The editors' state for this case alone, outliving the machine (a song
    // the music editor plays comes from it).
    editor_studio_scope studio;
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    vexel_cart* C = tm.m->working_cart;
};

TEST_F(MapEdit, PlacesSpritesAndBlocksClippedToTheMap) {
    EXPECT_EQ(editor_map_place(C, 3, 4, 5, 1, 1), 1);
    EXPECT_EQ(editor_mget(C, 3, 4), 5);
    EXPECT_EQ(editor_map_place(C, 3, 4, 5, 1, 1), 0);  // already there

    // A 2x3 block of sprites 18.. at the corner: only the cells on the map.
    EXPECT_EQ(editor_map_place(C, 126, 62, 18, 2, 3), 4);
    EXPECT_EQ(editor_mget(C, 126, 62), 18);
    EXPECT_EQ(editor_mget(C, 127, 62), 19);
    EXPECT_EQ(editor_mget(C, 126, 63), 34);
    EXPECT_EQ(editor_mget(C, 127, 63), 35);
    EXPECT_EQ(editor_mget(C, 0, 63), 0);  // nothing wrapped round
    EXPECT_EQ(editor_mget(C, 0, 0), 0);
    EXPECT_EQ(editor_map_place(C, -1, -1, 1, 2, 2), 1);
    EXPECT_EQ(editor_mget(C, 0, 0), 1 + 1 + 16);
}

TEST_F(MapEdit, FillsFourConnectedCellsWithinBounds) {
    // A ring of sprite 7 round (10..14, 10..14) with a diagonal gap at one corner.
    for (int i = 9; i <= 15; ++i) {
        editor_mset(C, i, 9, 7);
        editor_mset(C, i, 15, 7);
        editor_mset(C, 9, i, 7);
        editor_mset(C, 15, i, 7);
    }
    editor_mset(C, 15, 15, 0);  // a diagonal opening: no 4-connected way out
    EXPECT_EQ(editor_map_fill(C, 12, 12, 3, 1, 1, {0, 0, 128, 64}), 25);
    EXPECT_EQ(editor_mget(C, 10, 10), 3);
    EXPECT_EQ(editor_mget(C, 14, 14), 3);
    EXPECT_EQ(editor_mget(C, 15, 15), 0);
    EXPECT_EQ(editor_mget(C, 16, 16), 0);
    EXPECT_EQ(editor_mget(C, 9, 9), 7);
    EXPECT_EQ(editor_map_fill(C, 12, 12, 3, 1, 1, {0, 0, 128, 64}), 0);  // same sprite

    // Bounded: only the cells of the rectangle; a start outside it does nothing.
    EXPECT_EQ(editor_map_fill(C, 40, 40, 2, 1, 1, {38, 38, 4, 3}), 12);
    EXPECT_EQ(editor_mget(C, 37, 40), 0);
    EXPECT_EQ(editor_mget(C, 41, 40), 2);
    EXPECT_EQ(editor_mget(C, 42, 40), 0);
    EXPECT_EQ(editor_map_fill(C, 0, 0, 2, 1, 1, {38, 38, 4, 3}), 0);

    // A 2x2 block repeats from the start cell, even where it writes the
    // sprite being replaced (no run-away), and reaches the whole empty area.
    vexel_test::TestMachine fresh;
    vexel_cart* F = fresh.m->working_cart;
    editor_mset(F, 5, 5, 1);
    EXPECT_EQ(editor_map_fill(F, 3, 3, 0, 2, 2, {0, 0, 128, 64}), 128 * 64 - 1 - 128 * 64 / 4 + 1);
    EXPECT_EQ(editor_mget(F, 3, 3), 0);
    EXPECT_EQ(editor_mget(F, 4, 3), 1);
    EXPECT_EQ(editor_mget(F, 3, 4), 16);
    EXPECT_EQ(editor_mget(F, 2, 2), 17);
    EXPECT_EQ(editor_mget(F, 0, 0), 17);
}

TEST_F(MapEdit, MovesRegionsThatOverlapTheirDestination) {
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) editor_mset(C, 20 + x, 20 + y, 1 + y * 4 + x);
    const editor_map_block before = editor_map_read(C, {20, 20, 4, 3});

    editor_map_move(C, {20, 20, 4, 3}, 1, 1);  // overlaps its old place
    EXPECT_EQ(editor_map_read(C, {21, 21, 4, 3}).cells, before.cells);
    EXPECT_EQ(editor_mget(C, 20, 20), 0);
    EXPECT_EQ(editor_mget(C, 24, 20), 0);

    editor_map_move(C, {21, 21, 4, 3}, -2, -1);
    EXPECT_EQ(editor_map_read(C, {19, 20, 4, 3}).cells, before.cells);
    EXPECT_EQ(editor_mget(C, 23, 23), 0);

    // Past the edge the cells are clipped, not wrapped.
    editor_map_move(C, {19, 20, 4, 3}, 126 - 19, 0);
    EXPECT_EQ(editor_mget(C, 126, 20), 1);
    EXPECT_EQ(editor_mget(C, 127, 22), 10);
    EXPECT_EQ(editor_mget(C, 0, 21), 0);
    EXPECT_EQ(editor_mget(C, 19, 20), 0);
}

TEST_F(MapEdit, LowerHalfCellsAreSpriteSheetPixels) {
    // Map (5, 40) is byte 8 * 128 + 5 of the shared half: sheet row 80,
    // pixels 10 (low nibble) and 11.
    editor_map_place(C, 5, 40, 0x3a, 1, 1);
    EXPECT_EQ(editor_sget(C, 10, 80), 0xa);
    EXPECT_EQ(editor_sget(C, 11, 80), 0x3);
    editor_sset(C, 11, 80, 0xc);
    EXPECT_EQ(editor_mget(C, 5, 40), 0xca);
    // The upper half of the map is its own.
    editor_map_place(C, 5, 31, 0xff, 1, 1);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            if (y != 80 || (x != 10 && x != 11)) {
                ASSERT_EQ(editor_sget(C, x, y), 0) << x << "," << y;
            }
}

TEST_F(MapEdit, ClipboardTextRoundTripsAndRejectsMalformedText) {
    for (int i = 0; i < 128; ++i) editor_mset(C, i, 63, 255 - i);
    editor_mset(C, 0, 62, 0xab);
    const editor_map_block whole = editor_map_read(C, {0, 0, 128, 64});
    const std::string text = editor_map_to_text(whole);
    EXPECT_EQ(text.substr(0, 9), "[map]8040");
    editor_map_block back;
    std::string error;
    ASSERT_TRUE(editor_map_from_text(text, &back, &error)) << error;
    EXPECT_EQ(back.w, 128);
    EXPECT_EQ(back.h, 64);
    EXPECT_EQ(back.cells, whole.cells);

    // White space round it, line breaks between digits and upper case are fine.
    ASSERT_TRUE(editor_map_from_text(" \r\n[map]0202AB\r\n01\nff00[/map]\n", &back, &error)) << error;
    EXPECT_EQ(back.cells, (std::vector<uint8_t>{0xab, 0x01, 0xff, 0x00}));

    const std::string bad[] = {
        "",
        "[map]",
        "[map][/map]",
        "0101ab",
        "[map]0101ab",
        "0101ab[/map]",
        "[map]0001[/map]",          // no columns
        "[map]8101" + std::string(129 * 2, '0') + "[/map]",  // wider than the map
        "[map]0141" + std::string(65 * 2, '0') + "[/map]",   // taller than the map
        "[map]0101a[/map]",         // half a cell
        "[map]0101abc[/map]",
        "[map]0102ab[/map]",        // too few cells
        "[map]0101ag[/map]",
        "[map]0101a b[/map]",       // spaces inside
        "[map]0g01ab[/map]",
        "[map]0101ab[/map]x",
        std::string("[map]0101a\0b[/map]", 18),
        "[map]0101" + std::string(40000, '0') + "[/map]",
    };
    for (const std::string& t : bad) {
        back = editor_map_block{};
        error.clear();
        EXPECT_FALSE(editor_map_from_text(t, &back, &error)) << t.substr(0, 40);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(back.w, 0);
    }

    // Changed bytes anywhere in a good text: either a whole block or a reason.
    std::mt19937 rng(7);
    const std::string good = editor_map_to_text(editor_map_read(C, {0, 60, 9, 4}));
    for (int round = 0; round < 3000; ++round) {
        std::string t = good;
        for (int k = 0; k <= round % 4; ++k) t[rng() % t.size()] = char(rng() % 256);
        if (round % 5 == 0) t.resize(rng() % t.size());
        back = editor_map_block{};
        if (editor_map_from_text(t, &back, &error)) {
            ASSERT_EQ(back.cells.size(), size_t(back.w * back.h));
        } else {
            ASSERT_EQ(back.w, 0);
        }
    }
}

// ---- the page, driven through the frame with input ------------------------------

class MapPage : public MapEdit {
protected:
    void SetUp() override {
        editor_set_selected_sprite(1);
        editor_select(M, editor_map);
        editor_open(M);
    }
    static editor_input blank() {
        editor_input in{};
        in.mouse_x = in.mouse_y = -100;
        return in;
    }
    void send(const editor_input& in) { editor_update(M, in); }
    void key(int scancode, bool ctrl = false, bool shift = false) {
        editor_input in = blank();
        in.pressed[scancode] = true;
        in.ctrl = ctrl;
        in.shift = shift;
        send(in);
    }
    void type(const std::string& text) {
        for (char c : text) {
            editor_input in = blank();
            in.keys[0] = c;
            in.key_count = 1;
            send(in);
        }
    }
    void mouse(int x, int y, int buttons, int down, int up) {
        editor_input in = blank();
        in.mouse_x = x;
        in.mouse_y = y;
        in.buttons = buttons;
        in.went_down = down;
        in.went_up = up;
        send(in);
    }
    // A drag with `button` through the centres of the given cells.
    void drag_cells(std::initializer_list<std::pair<int, int>> cells, int button = fenn_mouse_left) {
        bool first = true;
        int sx = 0, sy = 0;
        const int half = editor_map_view().cell_px / 2;
        for (auto [cx, cy] : cells) {
            editor_map_cell_screen(cx, cy, &sx, &sy);
            mouse(sx + half, sy + half, button, first ? button : 0, 0);
            first = false;
        }
        mouse(sx + half, sy + half, 0, 0, button);
    }
};

TEST_F(MapPage, AStrokeIsOneUndoStep) {
    drag_cells({{1, 1}, {2, 1}, {5, 1}});  // the gap 3..4 is filled in
    for (int x = 1; x <= 5; ++x) EXPECT_EQ(editor_mget(C, x, 1), 1) << x;
    drag_cells({{1, 2}, {1, 3}});
    EXPECT_EQ(editor_mget(C, 1, 3), 1);

    key(sc_z, true);
    EXPECT_EQ(editor_mget(C, 1, 2), 0);
    EXPECT_EQ(editor_mget(C, 5, 1), 1);
    key(sc_z, true);
    EXPECT_EQ(cells_of(C), std::string(128 * 64, '\0'));
    key(sc_y, true);
    for (int x = 1; x <= 5; ++x) EXPECT_EQ(editor_mget(C, x, 1), 1) << x;
    EXPECT_EQ(editor_mget(C, 1, 2), 0);

    // A right-button stroke erases, also as one step.
    drag_cells({{1, 1}, {3, 1}}, fenn_mouse_right);
    EXPECT_EQ(editor_mget(C, 2, 1), 0);
    EXPECT_EQ(editor_mget(C, 4, 1), 1);
    key(sc_z, true);
    EXPECT_EQ(editor_mget(C, 2, 1), 1);
}

TEST_F(MapPage, UndoPutsBackTheSpriteSheetsLowerHalf) {
    editor_sset(C, 0, 64, 9);  // map (0, 32) is 0x09
    type("---");                // the whole map in view
    drag_cells({{0, 32}, {1, 32}});
    EXPECT_EQ(editor_sget(C, 0, 64), 1);
    EXPECT_EQ(editor_sget(C, 2, 64), 1);
    key(sc_z, true);
    EXPECT_EQ(editor_sget(C, 0, 64), 9);
    EXPECT_EQ(editor_sget(C, 2, 64), 0);
}

TEST_F(MapPage, UndoLeavesLaterSpriteEditsInTheSharedHalf) {
    type("---");
    drag_cells({{0, 32}, {1, 32}});
    // Meanwhile the sprite editor draws in a cell the stroke did not touch
    // and over one it did; undoing the stroke leaves both of its pixels.
    // Map cell (x, 32) is the byte at 0x1000 + x: sheet pixels (2x, 64)
    // and (2x + 1, 64).
    editor_sset(C, 2 * 5, 64, 7);      // map (5, 32)
    editor_sset(C, 2 * 1 + 1, 64, 3);  // map (1, 32): 0x01 becomes 0x31
    EXPECT_EQ(editor_mget(C, 5, 32), 0x07);
    EXPECT_EQ(editor_mget(C, 1, 32), 0x31);
    key(sc_z, true);
    EXPECT_EQ(editor_mget(C, 0, 32), 0);  // the map's own edit is undone
    EXPECT_EQ(editor_mget(C, 5, 32), 0x07);
    EXPECT_EQ(editor_mget(C, 1, 32), 0x31);
}

TEST_F(MapPage, PickerBlocksAndKeyboardPlacing) {
    const editor_map_view_info v = editor_map_view();
    // Drag over sprites 2..3 of the first two rows of the picker: a 2x2 block from 2.
    mouse(2 * 8 + 1, v.picker_y0 + 1, fenn_mouse_left, fenn_mouse_left, 0);
    mouse(3 * 8 + 1, v.picker_y0 + 9, fenn_mouse_left, 0, 0);
    mouse(3 * 8 + 1, v.picker_y0 + 9, 0, 0, fenn_mouse_left);
    EXPECT_EQ(editor_selected_sprite(), 2);
    EXPECT_EQ(editor_map_view().block_w, 2);
    EXPECT_EQ(editor_map_view().block_h, 2);

    // Keyboard: move the cursor and place with Space.
    key(sc_right);
    key(sc_right);
    key(sc_down);
    type(" ");
    EXPECT_EQ(editor_mget(C, 2, 1), 2);
    EXPECT_EQ(editor_mget(C, 3, 2), 19);
    // Next sprite: the block is back to one sprite.
    type(".");
    EXPECT_EQ(editor_selected_sprite(), 3);
    key(sc_left);
    type("\r");
    EXPECT_EQ(editor_mget(C, 1, 1), 3);
    EXPECT_EQ(editor_mget(C, 2, 1), 2);
    // Fill tool from the cursor, then erase the cell at the cursor.
    type("f");
    key(sc_up);
    type(" ");
    EXPECT_EQ(editor_mget(C, 100, 60), 3);
    EXPECT_EQ(editor_mget(C, 2, 1), 2);
    type("\b");
    EXPECT_EQ(editor_mget(C, 1, 0), 0);
}

TEST_F(MapPage, MovingASelectionPassesOverCellsWithoutWipingThem) {
    editor_mset(C, 0, 0, 5);
    editor_mset(C, 2, 0, 6);
    // Select cell (0, 0) with Shift+arrow and back, then move it right twice
    // and once more: over the 6 and beyond.
    key(sc_right, false, true);
    key(sc_left, false, true);
    EXPECT_TRUE(editor_map_view().has_selection);
    key(sc_right);
    key(sc_right);
    EXPECT_EQ(editor_mget(C, 2, 0), 5);
    key(sc_right);
    EXPECT_EQ(editor_mget(C, 2, 0), 6);
    EXPECT_EQ(editor_mget(C, 3, 0), 5);
    EXPECT_EQ(editor_mget(C, 0, 0), 0);
    // The run of moves is one undo step.
    key(sc_z, true);
    EXPECT_EQ(editor_mget(C, 0, 0), 5);
    EXPECT_EQ(editor_mget(C, 2, 0), 6);
    EXPECT_EQ(editor_mget(C, 3, 0), 0);
}

TEST_F(MapPage, CopyAndPasteAtTheCursorClippedToTheMap) {
    editor_map_place(C, 0, 0, 16, 3, 2);
    type("s");
    drag_cells({{0, 0}, {2, 1}});
    const std::string text = editor_map_page.copy(M, false);
    EXPECT_EQ(text, "[map]0302" "101112" "202122" "[/map]");

    // With the selection still there, the paste goes to the cursor cell
    // (where the drag ended, (2, 1)), not over the selection, and says so.
    EXPECT_TRUE(editor_map_page.paste(M, text));
    EXPECT_EQ(editor_mget(C, 2, 1), 0x10);
    EXPECT_EQ(editor_mget(C, 4, 2), 0x22);
    bool warn = false;
    EXPECT_EQ(editor_bottom_text(M, &warn), "pasted 3x2 at 2,1");

    type(" ");  // drop the selection; the cursor is where the drag ended, (2, 1)
    for (int i = 0; i < 38; ++i) key(sc_right);
    key(sc_up);
    EXPECT_TRUE(editor_map_page.paste(M, text));
    EXPECT_EQ(editor_mget(C, 40, 0), 0x10);
    EXPECT_EQ(editor_mget(C, 42, 1), 0x22);
    EXPECT_TRUE(editor_map_view().floating);

    // At the right edge the pasted cells are clipped.
    type(" ");
    for (int i = 0; i < 100; ++i) key(sc_right);
    EXPECT_TRUE(editor_map_page.paste(M, text));
    EXPECT_EQ(editor_mget(C, 127, 0), 0x10);
    EXPECT_EQ(editor_mget(C, 0, 1), 0x20);  // not wrapped round

    const std::string before = cells_of(C);
    EXPECT_FALSE(editor_map_page.paste(M, "[map]0101zz[/map]"));
    EXPECT_EQ(cells_of(C), before);
}

TEST_F(MapPage, ToolKeysLandAFloatingPasteAndThenWork) {
    editor_mset(C, 1, 0, 9);
    ASSERT_TRUE(editor_map_page.paste(M, "[map]0101" "07" "[/map]"));  // at the cursor, (0, 0)
    EXPECT_TRUE(editor_map_view().floating);
    // Keys that only change the view keep it floating.
    type("g+-");
    EXPECT_TRUE(editor_map_view().floating);
    key(sc_right);  // the float moves with the arrows, over the 9
    EXPECT_EQ(editor_mget(C, 1, 0), 7);
    // A tool key lands it where it is, and the tool then works at once.
    type("d");
    EXPECT_FALSE(editor_map_view().floating);
    EXPECT_EQ(editor_map_view().tool, editor_map_tool_draw);
    key(sc_right);
    type(" ");
    EXPECT_EQ(editor_mget(C, 1, 0), 7);
    EXPECT_EQ(editor_mget(C, 2, 0), 1);  // the selected sprite, placed
    EXPECT_EQ(editor_mget(C, 0, 0), 0);
    ASSERT_TRUE(editor_map_page.paste(M, "[map]0101" "07" "[/map]"));
    type("f");
    EXPECT_FALSE(editor_map_view().floating);
    EXPECT_FALSE(editor_map_view().has_selection);  // so the fill is not held inside the pasted cells
    EXPECT_EQ(editor_map_view().tool, editor_map_tool_fill);
    // Undo takes back the draw and both pastes in turn; the 9 is back.
    key(sc_z, true);
    key(sc_z, true);
    key(sc_z, true);
    EXPECT_EQ(editor_mget(C, 1, 0), 9);
    EXPECT_EQ(editor_mget(C, 2, 0), 0);
}

TEST_F(MapPage, TheToolBarAndThePickerExplainThemselves) {
    const editor_map_view_info v = editor_map_view();
    const int bar_y = v.picker_y0 - 3;
    bool warn = false;
    const auto status_at = [&](int x, int y) {
        mouse(x, y, 0, 0, 0);
        return editor_bottom_text(M, &warn);
    };
    EXPECT_EQ(status_at(3, bar_y).rfind("d draw", 0), 0u);
    EXPECT_EQ(status_at(11, bar_y).rfind("f fill", 0), 0u);
    EXPECT_EQ(status_at(19, bar_y).rfind("s select", 0), 0u);
    EXPECT_NE(status_at(86 + 16, bar_y).find("shared"), std::string::npos);
    editor_fset(C, 3, 0x05);
    EXPECT_EQ(status_at(3 * 8 + 2, v.picker_y0 + 2), "sprite 3 flags 02");
    EXPECT_EQ(status_at(4 * 8 + 2, v.picker_y0 + 2), "sprite 4 flags -");
    for (const int x : {0, 30, 50, 70, 80, 126}) EXPECT_LE(status_at(x, bar_y).size(), 32u) << x;
}

TEST_F(MapPage, PanningStopsAtTheMapsEdges) {
    const int cp = editor_map_view().cell_px;
    ASSERT_EQ(cp, 8);
    // Drag with the middle button far up and left: the view goes right and down.
    mouse(100, 90, fenn_mouse_middle, fenn_mouse_middle, 0);
    mouse(-5000, -5000, fenn_mouse_middle, 0, 0);
    mouse(-5000, -5000, 0, 0, fenn_mouse_middle);
    editor_map_view_info v = editor_map_view();
    const int view_h = v.view_y1 - v.view_y0;
    EXPECT_EQ(v.origin_x16, (128 - 128 / cp) * 16);
    EXPECT_EQ(v.origin_y16, 64 * 16 - view_h * 16 / cp);
    for (int i = 0; i < 50; ++i) key(sc_right, true);
    EXPECT_EQ(editor_map_view().origin_x16, v.origin_x16);
    // The cursor was kept in view.
    EXPECT_GE(editor_map_view().cursor_x * 16, v.origin_x16);

    for (int i = 0; i < 100; ++i) key(sc_up, true);
    for (int i = 0; i < 100; ++i) key(sc_left, true);
    EXPECT_EQ(editor_map_view().origin_x16, 0);
    EXPECT_EQ(editor_map_view().origin_y16, 0);

    // At the whole-map zoom nothing pans.
    type("----");
    EXPECT_EQ(editor_map_view().cell_px, 1);
    mouse(60, 40, fenn_mouse_middle, fenn_mouse_middle, 0);
    mouse(0, 0, fenn_mouse_middle, 0, 0);
    EXPECT_EQ(editor_map_view().origin_x16, 0);
    EXPECT_EQ(editor_map_view().origin_y16, 0);
}

TEST_F(MapPage, EmptyCellsShowNothingOfSpriteZero) {
    // A cartridge that keeps a mark in sprite 0: map() never draws it, and
    // the editor does not cover the empty map with it either.
    for (int i = 0; i < 8; ++i) {
        editor_sset(C, i, i, 8);
        editor_sset(C, 7 - i, i, 8);
    }
    editor_map_place(C, 5, 5, 1, 1, 1);  // clear of the cursor's outline
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) editor_sset(C, 8 + x, y, 12);
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    for (int z = 0; z < 5; ++z) {
        editor_map_page.draw(M, page, editor_theme_get(0));
        const editor_map_view_info v = editor_map_view();
        int eights = 0, twelves = 0;
        for (int y = v.view_y0; y < v.view_y1; ++y)
            for (int x = 0; x < 128; ++x) {
                eights += page->pix[size_t(y * 128 + x)] == 8;
                twelves += page->pix[size_t(y * 128 + x)] == 12;
            }
        EXPECT_EQ(eights, 0) << z;
        EXPECT_GT(twelves, 0) << z;  // sprite 1 still shows
        type("-");
    }
    fenn_destroy_bitmap(page);
}

TEST_F(MapPage, DrawsOnlyInsideTheBodyAndShowsTheCells) {
    // Sprite 1: every pixel a colour from its position.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) editor_sset(C, 8 + x, y, (x + y) % 15 + 1);
    editor_map_place(C, 0, 0, 1, 1, 1);
    editor_map_place(C, 10, 5, 1, 1, 1);
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    constexpr uint8_t untouched = 0xee;
    for (int z = 0; z < 5; ++z) {
        std::fill(page->pix.begin(), page->pix.end(), untouched);
        mouse(30, 30, 0, 0, 0);  // hover, plus a selection and the larger picker on some rounds
        if (z == 2) type("\t");
        if (z == 3) {
            type("s");
            drag_cells({{0, 0}, {1, 1}});
        }
        editor_map_page.draw(M, page, editor_theme_get(0));
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const uint8_t p = page->pix[size_t(y * 128 + x)];
                if (y < editor_body_y0 || y >= editor_body_y1) ASSERT_EQ(p, untouched) << z << ": " << x << "," << y;
                else ASSERT_LT(p, 16) << z << ": " << x << "," << y;
            }
        const editor_map_view_info v = editor_map_view();
        if (v.cell_px == 8) {
            // Inside the outline marks the pixels are the sprite's.
            for (int y = 1; y < 7; ++y)
                for (int x = 1; x < 7; ++x) EXPECT_EQ(page->pix[size_t((v.view_y0 + y) * 128 + x)], (x + y) % 15 + 1);
        }
        if (v.cell_px == 1) {
            // One pixel a cell: the sprite's most common colour (8, on 8
            // pixels) stands for it; the empty sprite shows 0.
            EXPECT_EQ(page->pix[size_t((v.view_y0 + 5) * 128 + 10)], 8);
            EXPECT_EQ(page->pix[size_t((v.view_y0 + 7) * 128 + 12)], 0);
        }
        if (v.cell_px <= 4) {
            // A whole screen fits: the edges of the 16x16-cell screens show,
            // dotted, and nothing between them.
            const int edge = 16 * v.cell_px;
            int dots = 0;
            for (int y = v.view_y0; y < v.view_y1 && y < v.view_y0 + 64 * v.cell_px; ++y)
                dots += page->pix[size_t(y * 128 + edge)] == 13;
            EXPECT_GT(dots, 4) << z;
            EXPECT_NE(page->pix[size_t((v.view_y0 + 7) * 128 + edge + 1)], 13) << z;
        }
        type("-");
    }
    fenn_destroy_bitmap(page);
}

}  // namespace
