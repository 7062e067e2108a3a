// The map editor: edit operations on a cartridge record (see editor_map.h)
// and the page around them.
//
// The page owns its view (zoom, origin in 1/16 cells so that a mouse drag
// pans smoothly at every zoom), the keyboard cursor, the tool, the
// selection and a "floating" selection being moved, the picker strip and the
// mouse gesture in progress. The body is split, top to bottom, into the map
// view, a one-line tool bar and the picker.
//
// A floating selection keeps the map as it was beneath it (`under`) and the
// lifted cells, so moving it step by step never wipes what it passes over;
// the map itself always shows the result, so a program run meanwhile sees
// it. Dropping the float just forgets both.
//
// Mouse: the left button uses the tool (draw a stroke, fill, drag a
// selection or move it), the right button erases a stroke, the middle
// button or Ctrl+left pans, the wheel zooms (over the picker it scrolls);
// a drag in the picker chooses a block of sprites. Keys: arrows move the
// cursor (with the select tool and a selection, they move the selection),
// Shift+arrows select, Ctrl+arrows pan, Space or Enter use the tool at the
// cursor, d / f / s choose the tool, g the grid, + and - zoom, comma and
// period the previous / next sprite, 1-4 a bank, Tab the picker's size,
// Delete or Backspace erase.
//
// Invariants: the view origin stays within the map's limits for the zoom;
// the cursor is a map cell; every cell written goes through editor_mset on
// m->working_cart; drawing touches only the body rows and allocates nothing.
#include "app/editor_map.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstring>

#include "app/editor.h"
#include "cart/cart.h"
#include "cart/cart_rom.h"
#include "framework/fenn_input.h"
#include "machine/machine.h"

namespace {

constexpr int map_cells = editor_map_cols * editor_map_rows;
constexpr int sheet_side = 128;
constexpr int sprite_px = 8;
constexpr int sheet_sprites_across = 16;
constexpr int sheet_sprite_rows = 16;
constexpr int bank_rows = 4;  // a bank is 64 sprites: four rows of the sheet
constexpr int bank_count = sheet_sprite_rows / bank_rows;
constexpr int shared_sprite_row = 8;  // sprites 128-255 live in the shared half
constexpr int view_w = 128;
constexpr int bar_h = 7;
constexpr int picker_rows_small = 2;
constexpr int picker_rows_large = 8;
constexpr int cell_sizes[] = {1, 2, 4, 8, 16};
constexpr int zoom_count = int(sizeof cell_sizes / sizeof cell_sizes[0]);
constexpr int zoom_default = 3;  // 8-pixel cells: sprites at their own size
constexpr int sub = 16;          // view origin units per cell

// Colours of the page's own marks (machine colours).
constexpr int shared_colour = 14;
constexpr int cursor_colour = 10;
constexpr int hover_colour = 7;
constexpr int grid_colour = 5;
constexpr int screen_colour = 13;       // the outline of each 16x16-cell screen
constexpr int screen_cells = 16;        // cells a screen of the machine shows across and down
constexpr int screen_outline_max_px = 4; // cells of at most this size show a whole screen in the view
constexpr int empty_colour = 0;      // an empty cell (sprite 0), as map() leaves the screen
constexpr int outside_fallback = 1;  // past the map's edge when the theme's body is black like empty cells

// SDL scancodes the page reads.
constexpr int sc_right = 79, sc_left = 80, sc_down = 81, sc_up = 82, sc_delete = 76;

// Toolbar boxes (x of the left edge; each box_w wide).
constexpr int box_w = 7;
constexpr int bar_tool_x[3] = {1, 9, 17};
constexpr int bar_zoom_out_x = 27, bar_zoom_in_x = 35;
constexpr int bar_zoom_text_x = 44;
constexpr int bar_block_text_x = 62;
constexpr int bar_bank_x = 84;  // four boxes, 8 apart
constexpr int bar_toggle_x = 120;

enum gesture_kind { gesture_none, gesture_stroke, gesture_erase, gesture_pan, gesture_select, gesture_move, gesture_pick };

struct map_page_state {
    int zoom = zoom_default;
    int vx16 = 0, vy16 = 0;
    int cur_x = 0, cur_y = 0;
    int tool = editor_map_tool_draw;
    bool grid = false;
    bool picker_large = false;
    int picker_top = 0;
    int block_w = 1, block_h = 1, block_sprite = -1;

    bool has_sel = false;
    editor_map_rect sel;
    int sel_anchor_x = 0, sel_anchor_y = 0;
    bool floating = false;
    uint8_t under[map_cells] = {};
    editor_map_block lifted;
    bool key_moving = false;  // the last action moved the float by key (one undo step a run)

    gesture_kind gesture = gesture_none;
    int gesture_button = 0;
    int g_x = 0, g_y = 0;            // cell where the gesture began
    int g_last_x = 0, g_last_y = 0;  // last cell it reached (stamp position for strokes)
    int g_mouse_x = 0, g_mouse_y = 0, g_vx16 = 0, g_vy16 = 0;
    int g_pick = 0;
    bool g_moved = false;

    int mouse_x = -1, mouse_y = -1;
    bool hover = false;  // pointer over a map cell
    int hover_x = 0, hover_y = 0;

    // The map as this editor last left it (see map_load_state).
    uint8_t left_cells[editor_map_rows * editor_map_cols] = {};
};

}  // namespace

struct editor_map_state {
    map_page_state S;
};
editor_map_state* editor_map_state_new() { return new editor_map_state; }
void editor_map_state_free(editor_map_state* s) { delete s; }

namespace {

// This editor's record in the studio the frame works on (editor.h); the
// page is driven only while one is bound.
map_page_state& S() { return editor_studio_current()->map->S; }

int cell_px() { return cell_sizes[S().zoom]; }

int floor_div(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// ---- layout ------------------------------------------------------------------

int picker_rows() { return S().picker_large ? picker_rows_large : picker_rows_small; }
int picker_y0() { return editor_body_y1 - picker_rows() * sprite_px; }
int bar_y0() { return picker_y0() - bar_h; }
int view_y0() { return editor_body_y0; }
int view_y1() { return bar_y0(); }
int view_h() { return view_y1() - view_y0(); }

int max_vx16() { return std::max(0, editor_map_cols * sub - view_w * sub / cell_px()); }
int max_vy16() { return std::max(0, editor_map_rows * sub - view_h() * sub / cell_px()); }

void clamp_view() {
    S().vx16 = std::clamp(S().vx16, 0, max_vx16());
    S().vy16 = std::clamp(S().vy16, 0, max_vy16());
}

void clamp_picker() { S().picker_top = std::clamp(S().picker_top, 0, sheet_sprite_rows - picker_rows()); }

int off_x() { return S().vx16 * cell_px() / sub; }
int off_y() { return S().vy16 * cell_px() / sub; }

// Map cell under screen (sx, sy); false outside the view or the map.
bool cell_at(int sx, int sy, int* cx, int* cy) {
    if (sx < 0 || sx >= view_w || sy < view_y0() || sy >= view_y1()) return false;
    const int x = (off_x() + sx) / cell_px(), y = (off_y() + sy - view_y0()) / cell_px();
    if (x >= editor_map_cols || y >= editor_map_rows) return false;
    *cx = x;
    *cy = y;
    return true;
}

// The cell nearest screen (sx, sy), clamped to the map (for drags that leave the view).
void cell_near(int sx, int sy, int* cx, int* cy) {
    const int x = (off_x() + sx) / cell_px(), y = (off_y() + sy - view_y0()) / cell_px();
    *cx = std::clamp(sx < 0 ? -1 : x, 0, editor_map_cols - 1);
    *cy = std::clamp(sy < view_y0() ? -1 : y, 0, editor_map_rows - 1);
}

void scroll_to_cursor() {
    const int vis_w = view_w * sub / cell_px(), vis_h = view_h() * sub / cell_px();
    if (S().cur_x * sub < S().vx16) S().vx16 = S().cur_x * sub;
    if ((S().cur_x + 1) * sub > S().vx16 + vis_w) S().vx16 = (S().cur_x + 1) * sub - vis_w;
    if (S().cur_y * sub < S().vy16) S().vy16 = S().cur_y * sub;
    if ((S().cur_y + 1) * sub > S().vy16 + vis_h) S().vy16 = (S().cur_y + 1) * sub - vis_h;
    clamp_view();
}

// Keeps the cursor inside the view after the view moved on its own.
void cursor_into_view() {
    const int vis_w = view_w * sub / cell_px(), vis_h = view_h() * sub / cell_px();
    const int x0 = (S().vx16 + sub - 1) / sub, y0 = (S().vy16 + sub - 1) / sub;
    const int x1 = std::max(x0, (S().vx16 + vis_w) / sub - 1), y1 = std::max(y0, (S().vy16 + vis_h) / sub - 1);
    S().cur_x = std::clamp(S().cur_x, x0, std::min(x1, editor_map_cols - 1));
    S().cur_y = std::clamp(S().cur_y, y0, std::min(y1, editor_map_rows - 1));
}

// Zooms to level z keeping the map point under screen (fx, fy) in place.
void zoom_to(int z, int fx, int fy) {
    z = std::clamp(z, 0, zoom_count - 1);
    if (z == S().zoom) return;
    const int rx = fx, ry = fy - view_y0();
    const int px16 = S().vx16 + rx * sub / cell_px(), py16 = S().vy16 + ry * sub / cell_px();
    S().zoom = z;
    S().vx16 = px16 - rx * sub / cell_px();
    S().vy16 = py16 - ry * sub / cell_px();
    clamp_view();
}

void zoom_at_cursor(int z) {
    int sx, sy;
    editor_map_cell_screen(S().cur_x, S().cur_y, &sx, &sy);
    zoom_to(z, std::clamp(sx, 0, view_w - 1), std::clamp(sy, view_y0(), view_y1() - 1));
    scroll_to_cursor();
}

// ---- block, selection and float ------------------------------------------------

// The block the picker chose, as long as the shared selection still starts it.
void current_block(int* n, int* w, int* h) {
    *n = editor_selected_sprite();
    if (S().block_sprite != *n) S().block_w = S().block_h = 1;
    *w = std::min(S().block_w, sheet_sprites_across - *n % sheet_sprites_across);
    *h = std::min(S().block_h, sheet_sprite_rows - *n / sheet_sprites_across);
}

void select_sprite(int n) {
    n = std::clamp(n, 0, 255);
    editor_set_selected_sprite(n);
    S().block_sprite = n;
    S().block_w = S().block_h = 1;
    const int row = n / sheet_sprites_across;
    if (row < S().picker_top) S().picker_top = row;
    if (row >= S().picker_top + picker_rows()) S().picker_top = row - picker_rows() + 1;
    clamp_picker();
}

void drop_float() {
    if (!S().floating) return;
    S().floating = false;
    S().lifted = editor_map_block{};
    S().sel = editor_map_clip(S().sel);
    if (S().sel.w == 0) S().has_sel = false;
}

void clear_selection() {
    drop_float();
    S().has_sel = false;
    S().sel = editor_map_rect{};
}

void snapshot(const vexel_cart* cart, uint8_t* cells) {
    for (int y = 0; y < editor_map_rows; ++y)
        for (int x = 0; x < editor_map_cols; ++x) cells[y * editor_map_cols + x] = uint8_t(editor_mget(cart, x, y));
}

// Lifts the selection's cells off the map: what lies beneath becomes 0.
void lift(vexel_cart* cart) {
    if (S().floating || !S().has_sel) return;
    S().sel = editor_map_clip(S().sel);
    S().lifted = editor_map_read(cart, S().sel);
    editor_map_clear(cart, S().sel);
    snapshot(cart, S().under);
    editor_map_write(cart, S().lifted, S().sel.x, S().sel.y);
    S().floating = true;
}

// Moves the float to (x, y): what it covered comes back, then it lands anew.
void place_float(vexel_cart* cart, int x, int y) {
    if (!S().floating) return;
    const editor_map_rect old = editor_map_clip(S().sel);
    for (int cy = old.y; cy < old.y + old.h; ++cy)
        for (int cx = old.x; cx < old.x + old.w; ++cx) editor_mset(cart, cx, cy, S().under[cy * editor_map_cols + cx]);
    // Keep at least one cell of the float on the map so it can be brought back.
    S().sel.x = std::clamp(x, 1 - S().sel.w, editor_map_cols - 1);
    S().sel.y = std::clamp(y, 1 - S().sel.h, editor_map_rows - 1);
    editor_map_write(cart, S().lifted, S().sel.x, S().sel.y);
}

void move_selection(vexel_machine* m, int dx, int dy, bool new_step) {
    if (!S().has_sel) return;
    if (new_step || !S().floating) editor_checkpoint(m);
    lift(m->working_cart);
    place_float(m->working_cart, S().sel.x + dx, S().sel.y + dy);
    S().cur_x = std::clamp(S().cur_x + dx, 0, editor_map_cols - 1);
    S().cur_y = std::clamp(S().cur_y + dy, 0, editor_map_rows - 1);
}

// Another tool lands a floating selection where it is. The float's outline
// goes with it: it was only the handle of the cells being moved, and left
// behind it would bound the fill tool to a place the user never chose.
void set_tool(int tool) {
    if (tool != editor_map_tool_select && S().floating) clear_selection();
    S().tool = tool;
}

void fill_at(vexel_machine* m, int x, int y) {
    int n, w, h;
    current_block(&n, &w, &h);
    if (w == 1 && h == 1 && editor_mget(m->working_cart, x, y) == n) return;  // nothing would change
    const editor_map_rect bounds = S().has_sel ? editor_map_clip(S().sel) : editor_map_rect{0, 0, editor_map_cols, editor_map_rows};
    if (!editor_map_contains(bounds, x, y)) return;
    drop_float();
    editor_checkpoint(m);
    editor_map_fill(m->working_cart, x, y, n, w, h, bounds);
}

void erase_selection_or_cursor(vexel_machine* m) {
    editor_checkpoint(m);
    if (S().has_sel) {
        if (S().floating) {
            // The float goes; what it covered comes back.
            const editor_map_rect r = editor_map_clip(S().sel);
            for (int cy = r.y; cy < r.y + r.h; ++cy)
                for (int cx = r.x; cx < r.x + r.w; ++cx)
                    editor_mset(m->working_cart, cx, cy, S().under[cy * editor_map_cols + cx]);
            drop_float();
        } else {
            editor_map_clear(m->working_cart, S().sel);
        }
    } else {
        editor_mset(m->working_cart, S().cur_x, S().cur_y, 0);
    }
}

// One stamp of a stroke at cell (x, y): blocks snap to a grid of their size
// from where the stroke began, so a drag lays them edge to edge.
void stroke_at(vexel_machine* m, int x, int y) {
    int n, w, h;
    if (S().gesture == gesture_erase) {
        n = 0;
        w = h = 1;
    } else {
        current_block(&n, &w, &h);
    }
    const int sx = S().g_x + floor_div(x - S().g_x, w) * w, sy = S().g_y + floor_div(y - S().g_y, h) * h;
    if (S().gesture == gesture_erase) editor_mset(m->working_cart, sx, sy, 0);
    else editor_map_place(m->working_cart, sx, sy, n, w, h);
}

// Stamps every cell on the line from the last cell reached to (x, y), so a
// quick drag leaves no gaps.
void stroke_to(vexel_machine* m, int x, int y) {
    int x0 = S().g_last_x, y0 = S().g_last_y;
    const int dx = std::abs(x - x0), dy = -std::abs(y - y0);
    const int stx = x0 < x ? 1 : -1, sty = y0 < y ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        stroke_at(m, x0, y0);
        if (x0 == x && y0 == y) break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += stx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sty;
        }
    }
    S().g_last_x = x;
    S().g_last_y = y;
}

// ---- input ---------------------------------------------------------------------

int picker_sprite_at(int sx, int sy) {
    if (sx < 0 || sx >= view_w || sy < picker_y0() || sy >= editor_body_y1) return -1;
    const int row = S().picker_top + (sy - picker_y0()) / sprite_px, col = sx / sprite_px;
    return row * sheet_sprites_across + col;
}

void bar_click(int x) {
    for (int t = 0; t < 3; ++t)
        if (x >= bar_tool_x[t] && x < bar_tool_x[t] + box_w) set_tool(t);
    if (x >= bar_zoom_out_x && x < bar_zoom_out_x + box_w) zoom_at_cursor(S().zoom - 1);
    if (x >= bar_zoom_in_x && x < bar_zoom_in_x + box_w) zoom_at_cursor(S().zoom + 1);
    for (int b = 0; b < bank_count; ++b)
        if (x >= bar_bank_x + b * 8 && x < bar_bank_x + b * 8 + box_w) {
            S().picker_top = b * bank_rows;
            clamp_picker();
        }
    if (x >= bar_toggle_x && x < bar_toggle_x + box_w) {
        S().picker_large = !S().picker_large;
        clamp_picker();
        clamp_view();
        cursor_into_view();
    }
}

void begin_gesture(vexel_machine* m, const editor_input& in) {
    const int mx = in.mouse_x, my = in.mouse_y;
    const bool left = in.went_down & fenn_mouse_left, right = in.went_down & fenn_mouse_right;
    const bool middle = in.went_down & fenn_mouse_middle;
    S().key_moving = false;
    if (left && my >= bar_y0() && my < picker_y0()) {
        bar_click(mx);
        return;
    }
    if (left) {
        const int n = picker_sprite_at(mx, my);
        if (n >= 0) {
            select_sprite(n);
            if (S().tool == editor_map_tool_select) set_tool(editor_map_tool_draw);
            S().gesture = gesture_pick;
            S().gesture_button = fenn_mouse_left;
            S().g_pick = n;
            return;
        }
    }
    int cx, cy;
    const bool on_map = cell_at(mx, my, &cx, &cy);
    if (middle || (left && in.ctrl)) {
        if (my < view_y0() || my >= view_y1()) return;
        S().gesture = gesture_pan;
        S().gesture_button = middle ? fenn_mouse_middle : fenn_mouse_left;
        S().g_mouse_x = mx;
        S().g_mouse_y = my;
        S().g_vx16 = S().vx16;
        S().g_vy16 = S().vy16;
        return;
    }
    if (!on_map) return;
    S().g_x = S().g_last_x = cx;
    S().g_y = S().g_last_y = cy;
    if (right) {
        drop_float();
        editor_checkpoint(m);
        S().gesture = gesture_erase;
        S().gesture_button = fenn_mouse_right;
        stroke_to(m, cx, cy);
        return;
    }
    if (!left) return;
    S().cur_x = cx;
    S().cur_y = cy;
    S().gesture_button = fenn_mouse_left;
    switch (S().tool) {
    case editor_map_tool_draw:
        drop_float();
        editor_checkpoint(m);
        S().gesture = gesture_stroke;
        stroke_to(m, cx, cy);
        break;
    case editor_map_tool_fill: fill_at(m, cx, cy); break;
    default:
        if (S().has_sel && editor_map_contains(S().sel, cx, cy)) {
            S().gesture = gesture_move;
            S().g_moved = false;
            S().g_x = cx - S().sel.x;  // where in the selection it was grabbed
            S().g_y = cy - S().sel.y;
        } else {
            clear_selection();
            S().gesture = gesture_select;
            S().has_sel = true;
            S().sel_anchor_x = cx;
            S().sel_anchor_y = cy;
            S().sel = {cx, cy, 1, 1};
        }
        break;
    }
}

void continue_gesture(vexel_machine* m, const editor_input& in) {
    const int mx = in.mouse_x, my = in.mouse_y;
    int cx, cy;
    switch (S().gesture) {
    case gesture_stroke:
    case gesture_erase:
        if (cell_at(mx, my, &cx, &cy) && (cx != S().g_last_x || cy != S().g_last_y)) stroke_to(m, cx, cy);
        break;
    case gesture_pan:
        S().vx16 = S().g_vx16 - (mx - S().g_mouse_x) * sub / cell_px();
        S().vy16 = S().g_vy16 - (my - S().g_mouse_y) * sub / cell_px();
        clamp_view();
        break;
    case gesture_select:
        cell_near(mx, my, &cx, &cy);
        S().sel.x = std::min(cx, S().sel_anchor_x);
        S().sel.y = std::min(cy, S().sel_anchor_y);
        S().sel.w = std::abs(cx - S().sel_anchor_x) + 1;
        S().sel.h = std::abs(cy - S().sel_anchor_y) + 1;
        S().cur_x = cx;
        S().cur_y = cy;
        break;
    case gesture_move: {
        const int x = floor_div(off_x() + mx, cell_px()), y = floor_div(off_y() + my - view_y0(), cell_px());
        if (x - S().g_x == S().sel.x && y - S().g_y == S().sel.y) break;
        if (!S().g_moved) {
            // The undo step begins with the first real move, not the click.
            editor_checkpoint(m);
            lift(m->working_cart);
            S().g_moved = true;
        }
        place_float(m->working_cart, x - S().g_x, y - S().g_y);
        S().cur_x = std::clamp(S().sel.x + S().g_x, 0, editor_map_cols - 1);
        S().cur_y = std::clamp(S().sel.y + S().g_y, 0, editor_map_rows - 1);
        break;
    }
    case gesture_pick: {
        int n = picker_sprite_at(std::clamp(mx, 0, view_w - 1), std::clamp(my, picker_y0(), editor_body_y1 - 1));
        const int ax = S().g_pick % sheet_sprites_across, ay = S().g_pick / sheet_sprites_across;
        const int bx = n % sheet_sprites_across, by = n / sheet_sprites_across;
        const int x0 = std::min(ax, bx), y0 = std::min(ay, by);
        const int w = std::min(std::abs(bx - ax) + 1, editor_map_block_max);
        const int h = std::min(std::abs(by - ay) + 1, editor_map_block_max);
        n = y0 * sheet_sprites_across + x0;
        editor_set_selected_sprite(n);
        S().block_sprite = n;
        S().block_w = w;
        S().block_h = h;
        break;
    }
    default: break;
    }
}

void key_arrows(vexel_machine* m, const editor_input& in) {
    int dx = 0, dy = 0;
    if (editor_pressed(in, sc_left)) --dx;
    if (editor_pressed(in, sc_right)) ++dx;
    if (editor_pressed(in, sc_up)) --dy;
    if (editor_pressed(in, sc_down)) ++dy;
    if (dx == 0 && dy == 0) return;
    if (in.ctrl) {
        // Pan by a quarter of the view.
        S().vx16 += dx * std::max(sub, view_w * sub / cell_px() / 4);
        S().vy16 += dy * std::max(sub, view_h() * sub / cell_px() / 4);
        clamp_view();
        cursor_into_view();
        S().key_moving = false;
        return;
    }
    if (in.shift) {
        // Grow or shrink a selection from its anchor with the cursor.
        if (!S().has_sel || S().floating || S().tool != editor_map_tool_select) {
            clear_selection();
            set_tool(editor_map_tool_select);
            S().has_sel = true;
            S().sel_anchor_x = S().cur_x;
            S().sel_anchor_y = S().cur_y;
        }
        S().cur_x = std::clamp(S().cur_x + dx, 0, editor_map_cols - 1);
        S().cur_y = std::clamp(S().cur_y + dy, 0, editor_map_rows - 1);
        S().sel = {std::min(S().cur_x, S().sel_anchor_x), std::min(S().cur_y, S().sel_anchor_y),
                 std::abs(S().cur_x - S().sel_anchor_x) + 1, std::abs(S().cur_y - S().sel_anchor_y) + 1};
        S().key_moving = false;
        scroll_to_cursor();
        return;
    }
    if (S().tool == editor_map_tool_select && S().has_sel) {
        move_selection(m, dx, dy, !S().key_moving);
        S().key_moving = true;
        scroll_to_cursor();
        return;
    }
    S().cur_x = std::clamp(S().cur_x + dx, 0, editor_map_cols - 1);
    S().cur_y = std::clamp(S().cur_y + dy, 0, editor_map_rows - 1);
    scroll_to_cursor();
}

void key_typed(vexel_machine* m, int k) {
    S().key_moving = false;
    switch (k) {
    case 'd': set_tool(editor_map_tool_draw); break;
    case 'f': set_tool(editor_map_tool_fill); break;
    case 's': set_tool(editor_map_tool_select); break;
    case 'g': S().grid = !S().grid; break;
    case '+':
    case '=': zoom_at_cursor(S().zoom + 1); break;
    case '-': zoom_at_cursor(S().zoom - 1); break;
    case ',': select_sprite(editor_selected_sprite() - 1); break;
    case '.': select_sprite(editor_selected_sprite() + 1); break;
    case '1':
    case '2':
    case '3':
    case '4':
        S().picker_top = (k - '1') * bank_rows;
        clamp_picker();
        break;
    case 9:
        S().picker_large = !S().picker_large;
        clamp_picker();
        clamp_view();
        scroll_to_cursor();
        break;
    case 8: erase_selection_or_cursor(m); break;
    case ' ':
    case 13:
        if (S().tool == editor_map_tool_draw) {
            int n, w, h;
            current_block(&n, &w, &h);
            drop_float();
            editor_checkpoint(m);
            editor_map_place(m->working_cart, S().cur_x, S().cur_y, n, w, h);
        } else if (S().tool == editor_map_tool_fill) {
            fill_at(m, S().cur_x, S().cur_y);
        } else if (S().has_sel) {
            clear_selection();
        } else {
            S().has_sel = true;
            S().sel_anchor_x = S().cur_x;
            S().sel_anchor_y = S().cur_y;
            S().sel = {S().cur_x, S().cur_y, 1, 1};
        }
        break;
    default: break;
    }
}

void map_update_inner(vexel_machine* m, const editor_input& in) {
    if (!m->working_cart) return;
    S().mouse_x = in.mouse_x;
    S().mouse_y = in.mouse_y;

    if (S().gesture != gesture_none) {
        continue_gesture(m, in);
        if ((in.went_up & S().gesture_button) || !(in.buttons & S().gesture_button)) S().gesture = gesture_none;
    } else if (in.went_down) {
        begin_gesture(m, in);
        if (S().gesture != gesture_none && !(in.buttons & S().gesture_button)) S().gesture = gesture_none;  // a click within one update
    }

    if (in.wheel_y != 0) {
        if (in.mouse_y >= picker_y0() && in.mouse_y < editor_body_y1) {
            S().picker_top -= in.wheel_y;
            clamp_picker();
        } else if (in.mouse_y >= view_y0() && in.mouse_y < view_y1()) {
            zoom_to(S().zoom + (in.wheel_y > 0 ? 1 : -1), std::clamp(in.mouse_x, 0, view_w - 1), in.mouse_y);
        }
    }

    key_arrows(m, in);
    if (editor_pressed(in, sc_delete)) erase_selection_or_cursor(m);
    for (int i = 0; i < in.key_count; ++i) key_typed(m, in.keys[i]);

    S().hover = cell_at(in.mouse_x, in.mouse_y, &S().hover_x, &S().hover_y);
}

// ---- drawing -------------------------------------------------------------------

// Page pixel writes within the active clip.
struct clip_box {
    int x0, y0, x1, y1;
    bool in(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

void put(fenn_bitmap* page, const clip_box& c, int x, int y, int colour) {
    if (c.in(x, y)) page->pix[size_t(y) * size_t(page->w) + size_t(x)] = uint8_t(colour & 15);
}

// A rectangle outline in two alternating colours, so it shows on any cells.
void dashed_rect(fenn_bitmap* page, const clip_box& c, int x0, int y0, int x1, int y1, int a, int b) {
    for (int x = x0; x <= x1; ++x) {
        put(page, c, x, y0, ((x + y0) & 2) ? a : b);
        put(page, c, x, y1, ((x + y1) & 2) ? a : b);
    }
    for (int y = y0; y <= y1; ++y) {
        put(page, c, x0, y, ((x0 + y) & 2) ? a : b);
        put(page, c, x1, y, ((x1 + y) & 2) ? a : b);
    }
}

// The colour that stands for each sprite when a cell is one pixel: its most
// common colour other than 0 (a sprite of 0 alone shows 0).
void sprite_tints(const uint8_t* sheet, uint8_t* tint) {
    for (int n = 0; n < 256; ++n) {
        int count[16] = {};
        const uint8_t* s = sheet + (n / sheet_sprites_across) * sprite_px * sheet_side + (n % sheet_sprites_across) * sprite_px;
        for (int y = 0; y < sprite_px; ++y)
            for (int x = 0; x < sprite_px; ++x) ++count[s[y * sheet_side + x] & 15];
        int best = 0;
        for (int c = 1; c < 16; ++c)
            if (count[c] > 0 && (best == 0 || count[c] > count[best])) best = c;
        tint[n] = uint8_t(best);
    }
}

const uint8_t* sheet_pixels(const vexel_cart* cart) {
    const fenn_bitmap* g = cart ? cart->gfx : nullptr;
    if (!g || g->depth != 8 || g->w != sheet_side || g->h != sheet_side || g->pix.size() < size_t(sheet_side * sheet_side))
        return nullptr;
    return g->pix.data();
}

// The cells and sprites of the map view; each screen pixel samples the
// sprite pixel under it (near its middle when cells are smaller than sprites).
void draw_cells(vexel_machine* m, fenn_bitmap* page, const clip_box& c, const uint8_t* sheet, int outside) {
    const int cp = cell_px(), ox = off_x(), oy = off_y();
    const uint8_t outside_colour = uint8_t(outside & 15);
    const int x0 = std::max(c.x0, 0), x1 = std::min(c.x1, view_w);
    const int y0 = std::max(c.y0, view_y0()), y1 = std::min(c.y1, view_y1());
    if (x0 >= x1 || y0 >= y1) return;
    // Screen columns x0 .. map_x1 show the map, the rest the space past it.
    const int map_x1 = std::clamp(editor_map_cols * cp - ox, x0, x1);
    // Sprite 0 is the empty cell, which map() never draws: whatever a
    // cartridge keeps in sprite 0 would cover the map with copies. It gets
    // a pixel row of its own below, so that no screen pixel is tested for
    // it (bench_editor_map, 8-pixel cells: 20.7 -> 10.8 us).
    uint8_t empty_row[sprite_px];
    std::memset(empty_row, empty_colour, sizeof empty_row);
    // Per screen column: the map column and the sprite pixel column.
    int col_cell[view_w], col_px[view_w];
    const int step = sprite_px / std::min(cp, sprite_px);  // sprite pixels a screen pixel spans
    for (int sx = x0; sx < map_x1; ++sx) {
        const int X = ox + sx;
        col_cell[sx] = X / cp;
        col_px[sx] = cp >= sprite_px ? (X % cp) * sprite_px / cp : (X % cp) * step + step / 2;
    }
    uint8_t tint[256];  // cells of one pixel: each sprite's commonest colour
    if (cp == 1) {
        sprite_tints(sheet, tint);
        tint[0] = empty_colour;
    }
    uint8_t cells[editor_map_cols];
    const uint8_t* cell_row[editor_map_cols];  // each cell's sprite pixels on this screen row
    int cells_y = -1;
    for (int sy = y0; sy < y1; ++sy) {
        uint8_t* dst = page->pix.data() + size_t(sy) * size_t(page->w);
        const int Y = oy + sy - view_y0();
        const int cy = Y / cp;
        if (cy >= editor_map_rows) {
            std::memset(dst + x0, outside_colour, size_t(x1 - x0));
            continue;
        }
        if (cy != cells_y) {  // the whole row in one read (whole map: 41.2 -> 20.4 us)
            vexel_cart_map_row(m->working_cart, cy, cells);
            cells_y = cy;
        }
        if (map_x1 < x1) std::memset(dst + map_x1, outside_colour, size_t(x1 - map_x1));
        if (cp == 1) {
            for (int sx = x0; sx < map_x1; ++sx) dst[sx] = tint[cells[ox + sx]];
            continue;
        }
        if (x0 == map_x1) continue;
        const int py = cp >= sprite_px ? (Y % cp) * sprite_px / cp : (Y % cp) * step + step / 2;
        for (int x = col_cell[x0]; x <= col_cell[map_x1 - 1]; ++x) {
            const int n = cells[x];
            cell_row[x] = n == 0 ? empty_row : sheet + ((n >> 4) * sprite_px + py) * sheet_side + (n & 15) * sprite_px;
        }
        for (int sx = x0; sx < map_x1; ++sx) dst[sx] = uint8_t(cell_row[col_cell[sx]][col_px[sx]] & 15);
    }
}

// Outline around cells (x, y) .. (x + w - 1, y + h - 1) of the view.
void cell_rect(fenn_bitmap* page, const clip_box& c, int x, int y, int w, int h, int a, int b) {
    int sx, sy;
    editor_map_cell_screen(x, y, &sx, &sy);
    const int cp = cell_px();
    dashed_rect(page, c, sx - 1, sy - 1, sx + w * cp, sy + h * cp, a, b);
}

void draw_view_marks(fenn_bitmap* page, const clip_box& view) {
    const int cp = cell_px(), ox = off_x(), oy = off_y();
    if (S().grid && cp >= 4) {
        for (int cy = oy / cp; cy <= (oy + view_h()) / cp && cy < editor_map_rows; ++cy)
            for (int cx = ox / cp; cx <= (ox + view_w) / cp && cx < editor_map_cols; ++cx)
                put(page, view, cx * cp - ox, view_y0() + cy * cp - oy, grid_colour);
    }
    // At the zooms that show a whole screen, the screens' edges (every 16
    // cells), dotted so the cells under them still read.
    if (cp <= screen_outline_max_px) {
        const int screen_px = screen_cells * cp;
        const int right = std::min(view_w, editor_map_cols * cp - ox);
        const int bottom = std::min(view_y1(), view_y0() + editor_map_rows * cp - oy);
        for (int X = (ox + screen_px - 1) / screen_px * screen_px; X - ox < right; X += screen_px)
            for (int y = view_y0(); y < bottom; ++y)
                if ((y + oy) % 2 == 0) put(page, view, X - ox, y, screen_colour);
        for (int Y = (oy + screen_px - 1) / screen_px * screen_px; view_y0() + Y - oy < bottom; Y += screen_px)
            for (int x = 0; x < right; ++x)
                if ((x + ox) % 2 == 0) put(page, view, x, view_y0() + Y - oy, screen_colour);
    }
    // Where the shared half begins: a dashed line on the top of row 32 (a
    // sparser one when cells are tiny, so the row still shows).
    const int sy = view_y0() + editor_map_shared_row * cp - oy;
    const int period = cp <= 2 ? 3 : 4, on = cp <= 2 ? 1 : 2;
    const int map_right = std::min(view_w, editor_map_cols * cp - ox);
    for (int x = 0; x < map_right; ++x)
        if ((x + ox) % period < on) put(page, view, x, sy, shared_colour);

    if (S().has_sel) cell_rect(page, view, S().sel.x, S().sel.y, S().sel.w, S().sel.h, 7, 0);
    if (S().hover && S().gesture == gesture_none) {
        int n, w, h;
        current_block(&n, &w, &h);
        if (S().tool != editor_map_tool_draw) w = h = 1;
        cell_rect(page, view, S().hover_x, S().hover_y, w, h, hover_colour, hover_colour);
    }
    cell_rect(page, view, S().cur_x, S().cur_y, 1, 1, cursor_colour, cursor_colour);
}

void draw_bar(vexel_machine* m, fenn_bitmap* page, const editor_theme& t) {
    const int y0 = bar_y0(), y1 = picker_y0() - 1;
    editor_fill(page, 0, y0, view_w - 1, y1, t.bar_bg);
    auto button = [&](int x, const char* label, bool on, int fg) {
        editor_fill(page, x, y0 + 1, x + box_w - 1, y1, on ? t.tab_active_bg : t.tab_bg);
        editor_text(m, page, label, x + 2, y0 + 1, on ? t.tab_active_fg : fg);
    };
    static const char* const tool_labels[3] = {"d", "f", "s"};
    for (int i = 0; i < 3; ++i) button(bar_tool_x[i], tool_labels[i], S().tool == i, t.bar_fg);
    button(bar_zoom_out_x, "-", false, t.bar_fg);
    button(bar_zoom_in_x, "+", false, t.bar_fg);
    static const char* const zoom_labels[zoom_count] = {"1/8", "1/4", "1/2", "1", "2"};
    editor_text(m, page, zoom_labels[S().zoom], bar_zoom_text_x, y0 + 1, t.bar_fg);
    int n, w, h;
    current_block(&n, &w, &h);
    char block[16];
    std::snprintf(block, sizeof block, "%dx%d", w, h);
    editor_text(m, page, block, bar_block_text_x, y0 + 1, t.bar_fg);
    static const char* const bank_labels[bank_count] = {"1", "2", "3", "4"};
    for (int b = 0; b < bank_count; ++b)
        button(bar_bank_x + b * 8, bank_labels[b], S().picker_top / bank_rows == b,
               b * bank_rows >= shared_sprite_row ? shared_colour : t.bar_fg);
    button(bar_toggle_x, S().picker_large ? "v" : "^", false, t.bar_fg);
}

void draw_picker(fenn_bitmap* page, const clip_box& c, const uint8_t* sheet) {
    const int y0 = picker_y0();
    for (int sy = std::max(y0, c.y0); sy < std::min(editor_body_y1, c.y1); ++sy) {
        const int sheet_y = S().picker_top * sprite_px + (sy - y0);
        const uint8_t* src = sheet + sheet_y * sheet_side;
        uint8_t* dst = page->pix.data() + size_t(sy) * size_t(page->w);
        for (int sx = std::max(0, c.x0); sx < std::min(view_w, c.x1); ++sx) dst[sx] = src[sx] & 15;
    }
    // The shared half's first row of sprites.
    const int shared_y = y0 + (shared_sprite_row - S().picker_top) * sprite_px;
    if (shared_y > y0 && shared_y < editor_body_y1)
        for (int x = 0; x < view_w; x += 2) put(page, c, x, shared_y, shared_colour);
    int n, w, h;
    current_block(&n, &w, &h);
    const int x = (n % sheet_sprites_across) * sprite_px, y = y0 + (n / sheet_sprites_across - S().picker_top) * sprite_px;
    const clip_box pc{c.x0, std::max(c.y0, y0), c.x1, c.y1};
    dashed_rect(page, pc, x, y, x + w * sprite_px - 1, y + h * sprite_px - 1, 7, 0);
}

void map_draw(vexel_machine* m, fenn_bitmap* page, const editor_theme& t) {
    if (!page || page->depth != 8 || !m->working_cart) return;
    // Everything stays inside the body, whatever clip the page came with.
    const int sx0 = page->clip_x0, sy0 = page->clip_y0, sx1 = page->clip_x1, sy1 = page->clip_y1;
    fenn_set_clip(page, sx0, std::max(sy0, editor_body_y0), sx1, std::min(sy1, editor_body_y1));
    const clip_box body{page->clip_x0, page->clip_y0, page->clip_x1, page->clip_y1};
    const uint8_t* sheet = sheet_pixels(m->working_cart);
    if (sheet) {
        const clip_box view{body.x0, std::max(body.y0, view_y0()), body.x1, std::min(body.y1, view_y1())};
        draw_cells(m, page, view, sheet, t.body_bg != 0 ? t.body_bg : outside_fallback);
        draw_view_marks(page, view);
        draw_bar(m, page, t);
        draw_picker(page, body, sheet);
    }
    fenn_set_clip(page, sx0, sy0, sx1, sy1);
}

// ---- status, state, clipboard --------------------------------------------------

// What the tool-bar box under the pointer does, for the status line (null
// when the pointer is over none).
const char* bar_hint(int x, int y) {
    if (y < bar_y0() || y >= picker_y0()) return nullptr;
    static const char* const tool_hints[3] = {"d draw: place the sprite(s)", "f fill: same cells around",
                                              "s select: drag, then move"};
    for (int t = 0; t < 3; ++t)
        if (x >= bar_tool_x[t] && x < bar_tool_x[t] + box_w) return tool_hints[t];
    if (x >= bar_zoom_out_x && x < bar_zoom_out_x + box_w) return "- zoom out (wheel too)";
    if (x >= bar_zoom_in_x && x < bar_zoom_in_x + box_w) return "+ zoom in (wheel too)";
    if (x >= bar_zoom_text_x && x < bar_block_text_x) return "zoom: 1 = sprites at own size";
    if (x >= bar_block_text_x && x < bar_bank_x) return "sprites placed at once";
    static const char* const bank_hints[bank_count] = {"1 sprites 0-63", "2 sprites 64-127",
                                                       "3 sprites 128-191 shared", "4 sprites 192-255 shared"};
    for (int b = 0; b < bank_count; ++b)
        if (x >= bar_bank_x + b * 8 && x < bar_bank_x + b * 8 + box_w) return bank_hints[b];
    if (x >= bar_toggle_x && x < bar_toggle_x + box_w) return "tab taller or shorter strip";
    return nullptr;
}

std::string map_status(vexel_machine* m, bool* warn) {
    *warn = false;
    static const char* const zoom_labels[zoom_count] = {"1/8", "1/4", "1/2", "1", "2"};
    char text[64];
    if (S().gesture == gesture_none)
        if (const char* hint = bar_hint(S().mouse_x, S().mouse_y)) return hint;
    const int n = picker_sprite_at(S().mouse_x, S().mouse_y);
    if (n >= 0 && S().gesture != gesture_move && S().gesture != gesture_select) {
        // The sprite's flags as the digits of those set (map() layers).
        char flags[10] = "-";
        const int f = editor_fget(m->working_cart, n);
        for (int b = 0, k = 0; b < 8; ++b)
            if (f >> b & 1) {
                flags[k++] = char('0' + b);
                flags[k] = 0;
            }
        std::snprintf(text, sizeof text, "sprite %d flags %s%s", n, flags,
                      n / sheet_sprites_across >= shared_sprite_row ? " shared" : "");
        return text;
    }
    const bool on = S().hover && S().gesture == gesture_none;
    const int x = on ? S().hover_x : S().cur_x, y = on ? S().hover_y : S().cur_y;
    if (S().has_sel && (S().gesture == gesture_select || S().gesture == gesture_move || !on))
        std::snprintf(text, sizeof text, "%d,%d %dx%d zoom %s", S().sel.x, S().sel.y, S().sel.w, S().sel.h, zoom_labels[S().zoom]);
    else
        std::snprintf(text, sizeof text, "%d,%d spr %d zoom %s%s", x, y, editor_mget(m->working_cart, x, y),
                      zoom_labels[S().zoom], y >= editor_map_shared_row ? " shared" : "");
    return text;
}

// State layout: a tag, the 8192 cells, then the view as bytes.
constexpr char state_tag[4] = {'m', 'a', 'p', '1'};
constexpr int state_fields = 12;
constexpr size_t state_size = sizeof state_tag + map_cells + state_fields * 2;


void remember_cells(vexel_machine* m) {
    for (int y = 0; y < editor_map_rows; ++y)
        for (int x = 0; x < editor_map_cols; ++x) S().left_cells[y * editor_map_cols + x] = uint8_t(editor_mget(m->working_cart, x, y));
}

std::string map_save_state(vexel_machine* m) {
    std::string s(state_tag, sizeof state_tag);
    s.resize(state_size);
    snapshot(m->working_cart, reinterpret_cast<uint8_t*>(&s[sizeof state_tag]));
    const int fields[state_fields] = {S().zoom, S().vx16, S().vy16, S().cur_x, S().cur_y, S().tool,
                                      S().has_sel, S().sel.x + 256, S().sel.y + 256, S().sel.w, S().sel.h, S().picker_top};
    size_t at = sizeof state_tag + map_cells;
    for (int f : fields) {
        s[at++] = char(f & 0xff);
        s[at++] = char((f >> 8) & 0xff);
    }
    return s;
}

void map_load_state(vexel_machine* m, const std::string& s) {
    if (s.size() != state_size || std::memcmp(s.data(), state_tag, sizeof state_tag) != 0) return;
    const uint8_t* cells = reinterpret_cast<const uint8_t*>(s.data() + sizeof state_tag);
    // Only the cells that differ: the lower half rewrites sprite pixels.
    // A lower-half cell the sprite editor has changed since the map editor
    // last left it is that editor's edit, not this one's: it stays.
    for (int y = 0; y < editor_map_rows; ++y)
        for (int x = 0; x < editor_map_cols; ++x) {
            const int now = editor_mget(m->working_cart, x, y);
            const int i = y * editor_map_cols + x;
            if (now == cells[i]) continue;
            if (y >= editor_map_shared_row && now != S().left_cells[i]) continue;
            editor_mset(m->working_cart, x, y, cells[i]);
        }
    remember_cells(m);
    int f[state_fields];
    size_t at = sizeof state_tag + map_cells;
    for (int& v : f) {
        v = uint8_t(s[at]) | uint8_t(s[at + 1]) << 8;
        at += 2;
    }
    S().floating = false;
    S().lifted = editor_map_block{};
    S().gesture = gesture_none;
    S().key_moving = false;
    S().zoom = std::clamp(f[0], 0, zoom_count - 1);
    S().vx16 = f[1];
    S().vy16 = f[2];
    S().cur_x = std::clamp(f[3], 0, editor_map_cols - 1);
    S().cur_y = std::clamp(f[4], 0, editor_map_rows - 1);
    S().tool = std::clamp(f[5], 0, 2);
    S().sel = editor_map_clip({f[7] - 256, f[8] - 256, f[9], f[10]});
    S().has_sel = f[6] != 0 && S().sel.w > 0;
    S().picker_top = f[11];
    clamp_picker();
    clamp_view();
}

std::string map_copy_inner(vexel_machine* m, bool cut) {
    if (!S().has_sel) return "";
    const std::string text = editor_map_to_text(S().floating ? S().lifted : editor_map_read(m->working_cart, S().sel));
    if (cut) {
        // The frame took the undo step already.
        if (S().floating) {
            const editor_map_rect r = editor_map_clip(S().sel);
            for (int cy = r.y; cy < r.y + r.h; ++cy)
                for (int cx = r.x; cx < r.x + r.w; ++cx)
                    editor_mset(m->working_cart, cx, cy, S().under[cy * editor_map_cols + cx]);
            drop_float();
        } else {
            editor_map_clear(m->working_cart, S().sel);
        }
    }
    return text;
}

bool map_paste_inner(vexel_machine* m, const std::string& text) {
    editor_map_block block;
    std::string error;
    if (!editor_map_from_text(text, &block, &error)) return false;
    // At the cursor cell, where the user is looking, not where the copied
    // selection happened to be; the bottom bar says where it went.
    const int x = S().cur_x, y = S().cur_y;
    drop_float();
    // The pasted cells float, so they can be moved into place at once.
    snapshot(m->working_cart, S().under);
    S().lifted = std::move(block);
    S().sel = {x, y, S().lifted.w, S().lifted.h};
    S().has_sel = true;
    S().floating = true;
    S().tool = editor_map_tool_select;
    S().key_moving = false;
    editor_map_write(m->working_cart, S().lifted, x, y);
    char said[48];
    std::snprintf(said, sizeof said, "pasted %dx%d at %d,%d", S().lifted.w, S().lifted.h, x, y);
    editor_message(said);
    return true;
}

void map_open(vexel_machine*) {
    // The sheet may have changed in the sprite editor: a float's idea of
    // what lies beneath is stale, so it lands where it is.
    drop_float();
    S().gesture = gesture_none;
    S().key_moving = false;
    clamp_picker();
    clamp_view();
}

}  // namespace

// ---- edit operations -------------------------------------------------------------

editor_map_rect editor_map_clip(editor_map_rect r) {
    const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    const int x1 = std::min(r.x + std::max(r.w, 0), editor_map_cols), y1 = std::min(r.y + std::max(r.h, 0), editor_map_rows);
    if (x0 >= x1 || y0 >= y1) return editor_map_rect{};
    return {x0, y0, x1 - x0, y1 - y0};
}

bool editor_map_contains(editor_map_rect r, int x, int y) {
    return x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h;
}

namespace {
bool set_cell(vexel_cart* cart, int x, int y, int sprite) {
    if (x < 0 || y < 0 || x >= editor_map_cols || y >= editor_map_rows) return false;
    if (editor_mget(cart, x, y) == (sprite & 0xff)) return false;
    editor_mset(cart, x, y, sprite);
    return true;
}
}  // namespace

int editor_map_place(vexel_cart* cart, int x, int y, int sprite, int w, int h) {
    if (!cart) return 0;
    w = std::clamp(w, 1, editor_map_block_max);
    h = std::clamp(h, 1, editor_map_block_max);
    int changed = 0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) changed += set_cell(cart, x + i, y + j, sprite + i + sheet_sprites_across * j);
    return changed;
}

int editor_map_fill(vexel_cart* cart, int x, int y, int sprite, int w, int h, editor_map_rect bounds) {
    bounds = editor_map_clip(bounds);
    if (!cart || !editor_map_contains(bounds, x, y)) return 0;
    w = std::clamp(w, 1, editor_map_block_max);
    h = std::clamp(h, 1, editor_map_block_max);
    const int target = editor_mget(cart, x, y);
    // Find the region first, then write, so a patterned fill that writes the
    // target sprite itself cannot run on into cells it already changed.
    std::bitset<map_cells> seen;
    std::vector<int> todo, region;
    todo.reserve(map_cells);
    todo.push_back(y * editor_map_cols + x);
    seen.set(size_t(todo.back()));
    while (!todo.empty()) {
        const int at = todo.back();
        todo.pop_back();
        region.push_back(at);
        const int cx = at % editor_map_cols, cy = at / editor_map_cols;
        const int next[4][2] = {{cx - 1, cy}, {cx + 1, cy}, {cx, cy - 1}, {cx, cy + 1}};
        for (const auto& p : next) {
            if (!editor_map_contains(bounds, p[0], p[1])) continue;
            const int i = p[1] * editor_map_cols + p[0];
            if (seen.test(size_t(i)) || editor_mget(cart, p[0], p[1]) != target) continue;
            seen.set(size_t(i));
            todo.push_back(i);
        }
    }
    auto mod = [](int a, int b) { return ((a % b) + b) % b; };
    int changed = 0;
    for (int at : region) {
        const int cx = at % editor_map_cols, cy = at / editor_map_cols;
        changed += set_cell(cart, cx, cy, sprite + mod(cx - x, w) + sheet_sprites_across * mod(cy - y, h));
    }
    return changed;
}

editor_map_block editor_map_read(const vexel_cart* cart, editor_map_rect r) {
    r = editor_map_clip(r);
    editor_map_block b;
    b.w = r.w;
    b.h = r.h;
    b.cells.resize(size_t(r.w) * size_t(r.h));
    for (int j = 0; j < r.h; ++j)
        for (int i = 0; i < r.w; ++i) b.cells[size_t(j * r.w + i)] = uint8_t(editor_mget(cart, r.x + i, r.y + j));
    return b;
}

int editor_map_write(vexel_cart* cart, const editor_map_block& block, int x, int y) {
    if (!cart || block.w <= 0 || block.h <= 0 || block.cells.size() != size_t(block.w) * size_t(block.h)) return 0;
    int changed = 0;
    for (int j = 0; j < block.h; ++j)
        for (int i = 0; i < block.w; ++i) changed += set_cell(cart, x + i, y + j, block.cells[size_t(j * block.w + i)]);
    return changed;
}

int editor_map_clear(vexel_cart* cart, editor_map_rect r) {
    r = editor_map_clip(r);
    if (!cart) return 0;
    int changed = 0;
    for (int j = 0; j < r.h; ++j)
        for (int i = 0; i < r.w; ++i) changed += set_cell(cart, r.x + i, r.y + j, 0);
    return changed;
}

int editor_map_move(vexel_cart* cart, editor_map_rect r, int dx, int dy) {
    r = editor_map_clip(r);
    if (!cart || r.w == 0 || (dx == 0 && dy == 0)) return 0;
    const editor_map_block b = editor_map_read(cart, r);
    int changed = editor_map_clear(cart, r);
    changed += editor_map_write(cart, b, r.x + dx, r.y + dy);
    return changed;
}

namespace {
constexpr char text_open[] = "[map]";
constexpr char text_close[] = "[/map]";
constexpr size_t text_open_len = sizeof text_open - 1, text_close_len = sizeof text_close - 1;
constexpr char hex_digits[] = "0123456789abcdef";

}  // namespace

std::string editor_map_to_text(const editor_map_block& block) {
    if (block.w <= 0 || block.h <= 0 || block.w > editor_map_cols || block.h > editor_map_rows ||
        block.cells.size() != size_t(block.w) * size_t(block.h))
        return "";
    std::string s = text_open;
    s.reserve(text_open_len + 4 + block.cells.size() * 2 + text_close_len);
    for (int v : {block.w, block.h}) {
        s += hex_digits[(v >> 4) & 15];
        s += hex_digits[v & 15];
    }
    for (uint8_t c : block.cells) {
        s += hex_digits[c >> 4];
        s += hex_digits[c & 15];
    }
    s += text_close;
    return s;
}

bool editor_map_from_text(const std::string& text, editor_map_block* out, std::string* error) {
    auto fail = [&](const char* why) {
        if (error) *error = why;
        return false;
    };
    if (text.size() > editor_map_text_max) return fail("too long for map cells");
    size_t a = 0, b = text.size();
    while (a < b && editor_clip_blank(text[a])) ++a;
    while (b > a && editor_clip_blank(text[b - 1])) --b;
    if (b - a < text_open_len + 4 + text_close_len || text.compare(a, text_open_len, text_open) != 0 ||
        text.compare(b - text_close_len, text_close_len, text_close) != 0)
        return fail("not map cells");
    a += text_open_len;
    b -= text_close_len;
    int size[4];
    for (int& d : size)
        if ((d = editor_hex_value(text[a++])) < 0) return fail("bad map size");
    const int w = size[0] * 16 + size[1], h = size[2] * 16 + size[3];
    if (w < 1 || h < 1 || w > editor_map_cols || h > editor_map_rows) return fail("bad map size");
    // Count the digits before allocating: exactly two a cell, line breaks between.
    size_t digits = 0;
    for (size_t i = a; i < b; ++i) {
        if (text[i] == '\r' || text[i] == '\n') continue;
        if (editor_hex_value(text[i]) < 0) return fail("not a hex digit in map cells");
        ++digits;
    }
    if (digits != size_t(w) * size_t(h) * 2) return fail("wrong number of map cells");
    editor_map_block block;
    block.w = w;
    block.h = h;
    block.cells.reserve(size_t(w) * size_t(h));
    int high = -1;
    for (size_t i = a; i < b; ++i) {
        const int v = editor_hex_value(text[i]);
        if (v < 0) continue;
        if (high < 0) {
            high = v;
        } else {
            block.cells.push_back(uint8_t(high << 4 | v));
            high = -1;
        }
    }
    *out = std::move(block);
    return true;
}

// ---- the page's view ---------------------------------------------------------------

editor_map_view_info editor_map_view() {
    editor_map_view_info v{};
    v.cell_px = cell_px();
    v.origin_x16 = S().vx16;
    v.origin_y16 = S().vy16;
    v.view_y0 = view_y0();
    v.view_y1 = view_y1();
    v.picker_y0 = picker_y0();
    v.cursor_x = S().cur_x;
    v.cursor_y = S().cur_y;
    v.tool = S().tool;
    v.has_selection = S().has_sel;
    v.floating = S().floating;
    v.selection = S().sel;
    int n;
    current_block(&n, &v.block_w, &v.block_h);
    v.picker_top = S().picker_top;
    v.picker_large = S().picker_large;
    return v;
}


void editor_map_cell_screen(int cx, int cy, int* sx, int* sy) {
    *sx = cx * cell_px() - off_x();
    *sy = view_y0() + cy * cell_px() - off_y();
}

void map_update(vexel_machine* m, const editor_input& in) {
    map_update_inner(m, in);
    if (m->working_cart) remember_cells(m);
}

std::string map_copy(vexel_machine* m, bool cut) {
    std::string text = map_copy_inner(m, cut);
    if (m->working_cart) remember_cells(m);
    return text;
}

bool map_paste(vexel_machine* m, const std::string& text) {
    const bool ok = map_paste_inner(m, text);
    if (m->working_cart) remember_cells(m);
    return ok;
}

const editor_page editor_map_page = {"map",          map_open,       map_update, map_draw, map_status,
                                     map_save_state, map_load_state, map_copy,   map_paste, nullptr};
