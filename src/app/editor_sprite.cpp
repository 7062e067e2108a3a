// The sprite editor: a zoomed canvas of the selected sprite (1x1, 2x2 or
// 4x4 sprites), the palette with a primary and a secondary colour, the
// selected sprite's eight flags, the tools, and a strip of the sheet, one
// bank of 64 sprites at a time (banks 2 and 3 are the map's lower half too).
//
// It owns the editor's view (zoom, tool, colours, bank, keyboard cursor),
// the selection of the select/move tool and a selection being moved. The
// selected sprite is the frame's, shared with the map editor. Invariants:
// the selection, when there is one, lies inside the shown area and only
// exists under the select tool; a moved selection ("floating") always shows
// in the sheet where it lies, so the cartridge is never behind the screen.
// Edits are the operations of editor_sprite.h, on m->working_cart only,
// each preceded by one undo checkpoint per action (a stroke, a shape, a
// flag, a move of a selection with its flips and turns until it is let go).
//
// Keys: arrows move the pixel cursor (with the select tool and a selection,
// they move the selection); Shift+arrows and - / = choose the sprite; Page
// Up/Down the bank shown; Space or Enter use the tool at the cursor (line,
// rectangle, circle and select take two presses; Shift uses the secondary
// colour, Ctrl fills a rectangle or circle); p f l r c s i choose pencil,
// fill, line, rectangle, circle, select, picker; , . and < > step the
// primary and secondary colour, x swaps them; z steps the zoom; h v flip
// and t turns the selection (or the shown sprites); 1-8 toggle the flags;
// Delete or Backspace clears the selection. The mouse: left draws with the
// primary colour, right with the secondary, Ctrl while dragging a shape
// fills it; the wheel zooms over the canvas and steps banks over the sheet.
#include "app/editor_sprite.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cart/cart.h"
#include "cart/cart_rom.h"
#include "framework/fenn_input.h"
#include "machine/machine.h"

// ---- geometry ------------------------------------------------------------------

editor_sprite_rect editor_sprite_span(int x0, int y0, int x1, int y1) {
    editor_sprite_rect r;
    r.x = std::min(x0, x1);
    r.y = std::min(y0, y1);
    r.w = std::abs(x1 - x0) + 1;
    r.h = std::abs(y1 - y0) + 1;
    return r;
}

editor_sprite_rect editor_sprite_clip(editor_sprite_rect a, editor_sprite_rect b) {
    const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    const int x1 = std::min(a.x + a.w, b.x + b.w), y1 = std::min(a.y + a.h, b.y + b.h);
    editor_sprite_rect r;
    if (x1 <= x0 || y1 <= y0) return r;
    r.x = x0;
    r.y = y0;
    r.w = x1 - x0;
    r.h = y1 - y0;
    return r;
}

editor_sprite_rect editor_sprite_area(int n, int size) {
    n &= editor_sprite_count - 1;
    editor_sprite_rect r;
    r.x = (n % 16) * 8;
    r.y = (n / 16) * 8;
    r.w = size * 8;
    r.h = size * 8;
    return editor_sprite_clip(r, {0, 0, editor_sprite_sheet_px, editor_sprite_sheet_px});
}

// ---- edits -----------------------------------------------------------------------

namespace {

constexpr editor_sprite_rect whole_sheet = {0, 0, editor_sprite_sheet_px, editor_sprite_sheet_px};

// Writes one pixel inside area; 1 when its colour changed.
int put_pixel(vexel_cart* cart, const editor_sprite_rect& area, int x, int y, int colour) {
    if (!area.contains(x, y) || editor_sget(cart, x, y) == (colour & 15)) return 0;
    editor_sset(cart, x, y, colour);
    return 1;
}

constexpr char clip_start[] = "[gfx]";
constexpr char clip_end[] = "[/gfx]";

}  // namespace

int editor_sprite_fill(vexel_cart* cart, editor_sprite_rect area, int x, int y, int colour) {
    area = editor_sprite_clip(area, whole_sheet);
    if (!cart || !area.contains(x, y)) return 0;
    const int from = editor_sget(cart, x, y);
    colour &= 15;
    if (from == colour) return 0;
    // Pixels are coloured as they are pushed, so each is pushed once and
    // the stack never holds more than the area.
    std::vector<int> stack;
    stack.reserve(size_t(area.w) * size_t(area.h));
    editor_sset(cart, x, y, colour);
    stack.push_back(y * editor_sprite_sheet_px + x);
    int changed = 1;
    while (!stack.empty()) {
        const int p = stack.back();
        stack.pop_back();
        const int px = p % editor_sprite_sheet_px, py = p / editor_sprite_sheet_px;
        constexpr int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
        for (int i = 0; i < 4; ++i) {
            const int nx = px + dx[i], ny = py + dy[i];
            if (!area.contains(nx, ny) || editor_sget(cart, nx, ny) != from) continue;
            editor_sset(cart, nx, ny, colour);
            stack.push_back(ny * editor_sprite_sheet_px + nx);
            ++changed;
        }
    }
    return changed;
}

int editor_sprite_line(vexel_cart* cart, editor_sprite_rect area, int x0, int y0, int x1, int y1, int colour) {
    int changed = 0;
    editor_sprite_line_pixels(x0, y0, x1, y1, [&](int x, int y) { changed += put_pixel(cart, area, x, y, colour); });
    return changed;
}

int editor_sprite_box(vexel_cart* cart, editor_sprite_rect area, int x0, int y0, int x1, int y1, int colour, bool filled) {
    int changed = 0;
    editor_sprite_rect_pixels(x0, y0, x1, y1, filled, [&](int x, int y) { changed += put_pixel(cart, area, x, y, colour); });
    return changed;
}

int editor_sprite_ellipse(vexel_cart* cart, editor_sprite_rect area, int x0, int y0, int x1, int y1, int colour,
                          bool filled) {
    int changed = 0;
    editor_sprite_ellipse_pixels(x0, y0, x1, y1, filled,
                                 [&](int x, int y) { changed += put_pixel(cart, area, x, y, colour); });
    return changed;
}

int editor_sprite_flip(vexel_cart* cart, editor_sprite_rect r, bool horizontal) {
    r = editor_sprite_clip(r, whole_sheet);
    if (!cart || r.empty()) return 0;
    int changed = 0;
    // Swap pairs from the two ends towards the middle.
    for (int y = 0; y < (horizontal ? r.h : r.h / 2); ++y)
        for (int x = 0; x < (horizontal ? r.w / 2 : r.w); ++x) {
            const int ax = r.x + x, ay = r.y + y;
            const int bx = horizontal ? r.x + r.w - 1 - x : ax, by = horizontal ? ay : r.y + r.h - 1 - y;
            const int a = editor_sget(cart, ax, ay), b = editor_sget(cart, bx, by);
            if (a == b) continue;
            editor_sset(cart, ax, ay, b);
            editor_sset(cart, bx, by, a);
            changed += 2;
        }
    return changed;
}

bool editor_sprite_rotate(vexel_cart* cart, editor_sprite_rect r) {
    if (!cart || r.empty() || r.w != r.h) return false;
    const editor_sprite_rect in = editor_sprite_clip(r, whole_sheet);
    if (in.w != r.w || in.h != r.h) return false;
    // Four-way cycles of the rings from the outside in: the top-left
    // pixel goes to the top-right, that one to the bottom-right, ...
    const int n = r.w;
    for (int y = 0; y < n / 2; ++y)
        for (int x = y; x < n - 1 - y; ++x) {
            const int tlx = r.x + x, tly = r.y + y;
            const int trx = r.x + n - 1 - y, try_ = r.y + x;
            const int brx = r.x + n - 1 - x, bry = r.y + n - 1 - y;
            const int blx = r.x + y, bly = r.y + n - 1 - x;
            const int tl = editor_sget(cart, tlx, tly), tr = editor_sget(cart, trx, try_);
            const int br = editor_sget(cart, brx, bry), bl = editor_sget(cart, blx, bly);
            editor_sset(cart, trx, try_, tl);
            editor_sset(cart, brx, bry, tr);
            editor_sset(cart, blx, bly, br);
            editor_sset(cart, tlx, tly, bl);
        }
    return true;
}

std::string editor_sprite_copy_text(const vexel_cart* cart, editor_sprite_rect r) {
    r = editor_sprite_clip(r, whole_sheet);
    if (!cart || r.empty()) return "";
    static const char digits[] = "0123456789abcdef";
    std::string text = clip_start;
    text.reserve(text.size() + 4 + size_t(r.w + 1) * size_t(r.h) + sizeof clip_end);
    char size[24];
    std::snprintf(size, sizeof size, "%02x%02x", r.w, r.h);
    text += size;
    // A line break before each row keeps the text readable in anything it
    // is pasted into; the reader skips white space between digits.
    for (int y = r.y; y < r.y + r.h; ++y) {
        text += '\n';
        for (int x = r.x; x < r.x + r.w; ++x) text += digits[editor_sget(cart, x, y)];
    }
    text += '\n';
    text += clip_end;
    return text;
}

const char* editor_sprite_paste_status_text(editor_sprite_paste_status status) {
    switch (status) {
    case editor_sprite_paste_ok: return "pasted";
    case editor_sprite_paste_not_gfx: return "not sprite pixels";
    case editor_sprite_paste_too_long: return "clipboard text too long";
    case editor_sprite_paste_bad_size: return "bad sprite paste size";
    case editor_sprite_paste_bad_pixel: return "bad pixel in sprite paste";
    case editor_sprite_paste_wrong_count: return "pixel count does not match size";
    case editor_sprite_paste_no_end: return "sprite paste not ended by [/gfx]";
    }
    return "cannot paste";
}

editor_sprite_paste_status editor_sprite_paste_text(vexel_cart* cart, const std::string& text, int x, int y,
                                                   editor_sprite_rect* pasted) {
    if (pasted) *pasted = {};
    if (text.size() > editor_sprite_clip_max_text) return editor_sprite_paste_too_long;
    size_t i = 0;
    while (i < text.size() && editor_clip_blank(uint8_t(text[i]))) ++i;
    const size_t start_len = sizeof clip_start - 1, end_len = sizeof clip_end - 1;
    if (text.compare(i, start_len, clip_start) != 0) return editor_sprite_paste_not_gfx;
    i += start_len;
    if (text.size() - i < 4) return editor_sprite_paste_bad_size;
    int side[2];
    for (int k = 0; k < 2; ++k) {
        const int hi = editor_hex_value(uint8_t(text[i])), lo = editor_hex_value(uint8_t(text[i + 1]));
        if (hi < 0 || lo < 0) return editor_sprite_paste_bad_size;
        side[k] = hi * 16 + lo;
        if (side[k] < 1 || side[k] > editor_sprite_clip_max_side) return editor_sprite_paste_bad_size;
        i += 2;
    }
    const int w = side[0], h = side[1];
    // The size is known to be within the sheet before anything is allocated.
    std::vector<uint8_t> pixels;
    pixels.reserve(size_t(w) * size_t(h));
    for (; i < text.size(); ++i) {
        const int c = uint8_t(text[i]);
        if (editor_clip_blank(c)) continue;
        if (c == '[') break;
        const int d = editor_hex_value(c);
        if (d < 0) return editor_sprite_paste_bad_pixel;
        if (pixels.size() == size_t(w) * size_t(h)) return editor_sprite_paste_wrong_count;
        pixels.push_back(uint8_t(d));
    }
    if (pixels.size() != size_t(w) * size_t(h)) {
        return i < text.size() ? editor_sprite_paste_wrong_count : editor_sprite_paste_no_end;
    }
    if (text.compare(i, end_len, clip_end) != 0) return editor_sprite_paste_no_end;
    for (i += end_len; i < text.size(); ++i)
        if (!editor_clip_blank(uint8_t(text[i]))) return editor_sprite_paste_no_end;

    const editor_sprite_rect r = editor_sprite_clip({x, y, w, h}, whole_sheet);
    if (cart)
        for (int py = r.y; py < r.y + r.h; ++py)
            for (int px = r.x; px < r.x + r.w; ++px)
                editor_sset(cart, px, py, pixels[size_t(py - y) * size_t(w) + size_t(px - x)]);
    if (pasted) *pasted = r;
    return editor_sprite_paste_ok;
}

// ---- the page ------------------------------------------------------------------

namespace {

enum sprite_tool : int {
    tool_pencil,
    tool_fill,
    tool_line,
    tool_rect,
    tool_circle,
    tool_select,
    tool_picker,
    tool_count,
};
// Typed key choosing each tool, in tool order.
constexpr char tool_keys[tool_count] = {'p', 'f', 'l', 'r', 'c', 's', 'i'};
constexpr const char* tool_names[tool_count] = {"pencil", "fill", "line", "rect", "circle", "select", "picker"};

// SDL scancodes read from `pressed`.
constexpr int sc_right = 79, sc_left = 80, sc_down = 81, sc_up = 82;
constexpr int sc_page_up = 75, sc_page_down = 78, sc_delete = 76, sc_space = 44, sc_return = 40, sc_kp_enter = 88;

// Layout of the body, in screen pixels.
constexpr int canvas_x = editor_sprite_canvas_x, canvas_y = editor_sprite_canvas_y, canvas_px = editor_sprite_canvas_px;
constexpr int pal_x = editor_sprite_palette_x, pal_y = editor_sprite_palette_y, swatch_px = editor_sprite_swatch_px;
constexpr int colour_box_x = 104, colour_box_y = 10, colour_box_px = 10;
constexpr int flags_x = editor_sprite_flags_x, flags_y = editor_sprite_flags_y, flag_step = editor_sprite_flag_step;
constexpr int flag_px = 5;
constexpr int tools_x = editor_sprite_tools_x, tools_y = editor_sprite_tools_y, tool_step = editor_sprite_tool_step;
constexpr int tool_px = 7;
constexpr int zoom_x = editor_sprite_zoom_x, zoom_y = editor_sprite_zoom_y, zoom_step = editor_sprite_zoom_step;
constexpr int zoom_w = 14, zoom_h = 7;
constexpr int number_x = 115, number_y = 64;
constexpr int bank_x = editor_sprite_bank_x, bank_y = editor_sprite_bank_y, bank_step = editor_sprite_bank_step;
constexpr int bank_w = 11, bank_h = 7;
constexpr int strip_x = editor_sprite_strip_x, strip_y = editor_sprite_strip_y, strip_w = 128, strip_h = 32;
constexpr int sprites_per_bank = 64, bank_count = 4, shared_bank = 2;  // banks 2 and 3 are shared
constexpr int zoom_sizes[] = {1, 2, 4};
constexpr int max_area_px = 32;  // the largest shown area (4x4 sprites) is 32 x 32 pixels
constexpr int flag_colours[editor_sprite_flag_count] = {8, 9, 10, 11, 12, 13, 14, 15};

// 7x7 tool icons, one byte a row, bit 6 the leftmost pixel.
constexpr uint8_t tool_icons[tool_count][tool_px] = {
    {0x03, 0x05, 0x0a, 0x14, 0x28, 0x70, 0x60},  // pencil
    {0x08, 0x14, 0x22, 0x7f, 0x3e, 0x1c, 0x09},  // fill: a tipped bucket
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40},  // line
    {0x7f, 0x41, 0x41, 0x41, 0x41, 0x41, 0x7f},  // rectangle
    {0x1c, 0x22, 0x41, 0x41, 0x41, 0x22, 0x1c},  // circle
    {0x55, 0x00, 0x41, 0x00, 0x41, 0x00, 0x55},  // select: a dashed box
    {0x03, 0x07, 0x0e, 0x1c, 0x28, 0x50, 0x60},  // picker: a dropper
};

// The undoable state: the sheet's bytes, the flags, then the view.
constexpr char state_magic[4] = {'s', 'p', 'r', '1'};
constexpr size_t sheet_bytes = vexel_addr_map - vexel_addr_gfx;  // 128 x 128 pixels, two a byte
constexpr size_t state_view_bytes = 7;  // sprite, zoom, tool, selection x, y, w, h
constexpr size_t state_bytes = sizeof state_magic + sheet_bytes + editor_sprite_count + state_view_bytes;

struct sheet_copy {
    uint8_t bytes[sheet_bytes];
    uint8_t flags[editor_sprite_count];
};

struct sprite_editor {
    int zoom = 0;  // index into zoom_sizes
    int tool = tool_pencil;
    int primary = 7, secondary = 0;
    int bank = 0;
    int shown_sprite = -1;  // the sprite the view was set up for
    // Keyboard cursor, a sheet pixel inside the shown area; shown after
    // the keyboard moved it, hidden when the mouse is used.
    int cur_x = 0, cur_y = 0;
    bool cursor_shown = false;
    bool key_anchor = false;  // a two-press shape started by the keyboard
    int anchor_x = 0, anchor_y = 0;
    // Mouse: the button that went down on the canvas (0: none), where,
    // and the last pixel a pencil stroke reached.
    int drag_button = 0;
    bool drag_filled = false;
    int last_x = 0, last_y = 0;
    int mouse_px = -1, mouse_py = -1;  // sheet pixel under the mouse on the canvas, -1 off it
    int hover_sprite = -1;
    int last_mouse_x = -1000, last_mouse_y = -1000;
    // The select tool's selection and its move.
    editor_sprite_rect sel;
    bool floating = false;
    int grab_x = 0, grab_y = 0;  // mouse offset inside a selection being dragged
    editor_sprite_rect base_area;
    uint8_t base[max_area_px * max_area_px];   // the shown area as it was when lifted, selection cleared
    uint8_t lifted[max_area_px * max_area_px];  // the selection's pixels, w x h
    // Undo grouping: while a group (a stroke, a move) is open, its first
    // change takes the checkpoint and the rest join it.
    bool group_open = false, group_checkpointed = false;
    std::string paste_error;
    sheet_copy before, after;  // scratch for edit(), kept here to stay off the stack
    sheet_copy mine;           // the sheet as this editor's last edit, undo or redo left it
    bool mine_valid = false;
};

}  // namespace

struct editor_sprite_state {
    sprite_editor ed;
};
editor_sprite_state* editor_sprite_state_new() { return new editor_sprite_state; }
void editor_sprite_state_free(editor_sprite_state* s) { delete s; }

namespace {

// This editor's record in the studio the frame works on (editor.h); the
// page is driven only while one is bound.
sprite_editor& ed() { return editor_studio_current()->sprite->ed; }

int zoom_size() { return zoom_sizes[ed().zoom]; }
int zoom_scale() { return canvas_px / (zoom_size() * 8); }
editor_sprite_rect shown_area() { return editor_sprite_area(editor_selected_sprite(), zoom_size()); }

void copy_out(const vexel_cart* cart, sheet_copy* c) {
    for (size_t a = 0; a < sheet_bytes; ++a) c->bytes[a] = uint8_t(vexel_cart_peek(cart, vexel_addr_gfx + uint32_t(a)));
    for (int n = 0; n < editor_sprite_count; ++n) c->flags[n] = uint8_t(editor_fget(cart, n));
}

void copy_in(vexel_cart* cart, const uint8_t* bytes, const uint8_t* flags) {
    for (size_t a = 0; a < sheet_bytes; ++a) vexel_cart_poke(cart, vexel_addr_gfx + uint32_t(a), bytes[a]);
    for (int n = 0; n < editor_sprite_count; ++n) editor_fset(cart, n, flags[n]);
}

// Remembers the sheet as this editor left it (see restore_state).
void remember_sheet(const vexel_cart* cart) {
    copy_out(cart, &ed().mine);
    ed().mine_valid = true;
}

// Runs op(cart), which returns how much it changed, so that a change is
// preceded by exactly one undo checkpoint (per group) and no change leaves
// none: the state before is put back for the checkpoint to record.
template <class Op>
int edit(vexel_machine* m, Op op) {
    vexel_cart* cart = m->working_cart;
    if (!cart) return 0;
    if (ed().group_checkpointed) {
        const int changed = op(cart);
        if (changed > 0) remember_sheet(cart);
        return changed;
    }
    copy_out(cart, &ed().before);
    const editor_sprite_rect sel_before = ed().sel;  // a move changes the selection too
    const int changed = op(cart);
    if (changed > 0) {
        copy_out(cart, &ed().after);
        const editor_sprite_rect sel_after = ed().sel;
        copy_in(cart, ed().before.bytes, ed().before.flags);
        ed().sel = sel_before;
        editor_checkpoint(m);
        copy_in(cart, ed().after.bytes, ed().after.flags);
        ed().sel = sel_after;
        if (ed().group_open) ed().group_checkpointed = true;
        remember_sheet(cart);
    }
    return changed;
}

// Puts a saved sheet and flags back. The sheet's lower half is also the
// map's, which the map editor changes with its own undo history: a byte
// that changed since this editor last left the sheet was changed there (or
// by anything else) and is kept, so undoing a sprite edit never undoes a
// map edit made after it.
void restore_state(vexel_cart* cart, const uint8_t* bytes, const uint8_t* flags) {
    for (size_t a = 0; a < sheet_bytes; ++a) {
        const uint32_t addr = vexel_addr_gfx + uint32_t(a);
        if (!ed().mine_valid || vexel_cart_peek(cart, addr) == ed().mine.bytes[a]) vexel_cart_poke(cart, addr, bytes[a]);
    }
    for (int n = 0; n < editor_sprite_count; ++n)
        if (!ed().mine_valid || editor_fget(cart, n) == ed().mine.flags[n]) editor_fset(cart, n, flags[n]);
    remember_sheet(cart);
}

void group_begin() {
    ed().group_open = true;
    ed().group_checkpointed = false;
}
void group_end() { ed().group_open = ed().group_checkpointed = false; }

// Lets go of a selection being moved: its pixels stay where they are.
void drop_float() {
    if (ed().floating) group_end();
    ed().floating = false;
}

void clear_selection() {
    drop_float();
    ed().sel = {};
}

// Puts the view in order after the selected sprite, the zoom or the
// cartridge changed: cursor inside the shown area, no selection left over.
// Ends whatever a press, drag or move had started; a stroke's or a move's
// undo group is closed so that the next edit takes its own checkpoint.
void stop_gestures() {
    drop_float();
    ed().key_anchor = false;
    ed().drag_button = 0;
    group_end();
}

void settle_view() {
    const int n = editor_selected_sprite();
    const editor_sprite_rect area = shown_area();
    if (n != ed().shown_sprite) {
        stop_gestures();
        clear_selection();
        // The cursor keeps its place within the sprite.
        if (ed().shown_sprite >= 0) {
            ed().cur_x = area.x + (ed().cur_x - (ed().shown_sprite % 16) * 8);
            ed().cur_y = area.y + (ed().cur_y - (ed().shown_sprite / 16) * 8);
        }
        ed().shown_sprite = n;
        ed().bank = n / sprites_per_bank;
    }
    if (!ed().sel.empty()) {
        const editor_sprite_rect inside = editor_sprite_clip(ed().sel, area);
        if (inside.w != ed().sel.w || inside.h != ed().sel.h || ed().tool != tool_select) clear_selection();
    }
    ed().cur_x = std::clamp(ed().cur_x, area.x, area.x + area.w - 1);
    ed().cur_y = std::clamp(ed().cur_y, area.y, area.y + area.h - 1);
}

void select_sprite(int n) {
    editor_set_selected_sprite(std::clamp(n, 0, editor_sprite_count - 1));
    settle_view();
}

void set_zoom(int index) {
    stop_gestures();
    ed().zoom = std::clamp(index, 0, int(std::size(zoom_sizes)) - 1);
    settle_view();
}

void set_tool(int tool) {
    if (tool == ed().tool) return;
    stop_gestures();
    clear_selection();
    ed().tool = tool;
}

// ---- moving a selection ---------------------------------------------------------

// Lifts the selection: remembers the shown area with the selection's
// pixels cleared to colour 0, and the selection's own pixels.
void lift(const vexel_cart* cart) {
    if (ed().floating || ed().sel.empty()) return;
    const editor_sprite_rect area = shown_area();
    ed().base_area = area;
    for (int y = 0; y < area.h; ++y)
        for (int x = 0; x < area.w; ++x) {
            const int sx = area.x + x, sy = area.y + y;
            ed().base[y * max_area_px + x] = ed().sel.contains(sx, sy) ? 0 : uint8_t(editor_sget(cart, sx, sy));
        }
    for (int y = 0; y < ed().sel.h; ++y)
        for (int x = 0; x < ed().sel.w; ++x)
            ed().lifted[y * max_area_px + x] = uint8_t(editor_sget(cart, ed().sel.x + x, ed().sel.y + y));
    ed().floating = true;
    group_begin();
}

// Shows the lifted pixels with their top-left at (x, y), kept inside the
// shown area; returns how many sheet pixels changed.
int place(vexel_cart* cart, int x, int y) {
    const editor_sprite_rect area = ed().base_area;
    ed().sel.x = std::clamp(x, area.x, area.x + area.w - ed().sel.w);
    ed().sel.y = std::clamp(y, area.y, area.y + area.h - ed().sel.h);
    int changed = 0;
    for (int py = 0; py < area.h; ++py)
        for (int px = 0; px < area.w; ++px) {
            const int sx = area.x + px, sy = area.y + py;
            const int c = ed().sel.contains(sx, sy) ? ed().lifted[(sy - ed().sel.y) * max_area_px + (sx - ed().sel.x)]
                                                  : ed().base[py * max_area_px + px];
            changed += put_pixel(cart, area, sx, sy, c);
        }
    return changed;
}

void move_selection(vexel_machine* m, int x, int y) {
    if (ed().sel.empty() || (x == ed().sel.x && y == ed().sel.y)) return;
    lift(m->working_cart);
    edit(m, [&](vexel_cart* cart) { return place(cart, x, y); });
}

// Flips or turns the selection (or, without one, the whole shown area).
void transform(vexel_machine* m, int how) {  // 0 horizontal, 1 vertical, 2 a quarter turn
    const editor_sprite_rect r = ed().sel.empty() ? shown_area() : ed().sel;
    if (how == 2 && r.w != r.h) {
        editor_message("only a square turns");
        return;
    }
    edit(m, [&](vexel_cart* cart) {
        if (how == 2) return editor_sprite_rotate(cart, r) ? 1 : 0;
        return editor_sprite_flip(cart, r, how == 0);
    });
    // A selection being moved keeps moving, turned: what lies beneath it
    // is unchanged, its own pixels are read back.
    if (ed().floating)
        for (int y = 0; y < ed().sel.h; ++y)
            for (int x = 0; x < ed().sel.w; ++x)
                ed().lifted[y * max_area_px + x] = uint8_t(editor_sget(m->working_cart, ed().sel.x + x, ed().sel.y + y));
}

void clear_selected_pixels(vexel_machine* m) {
    if (ed().sel.empty()) return;
    const editor_sprite_rect r = ed().sel;
    drop_float();
    edit(m, [&](vexel_cart* cart) { return editor_sprite_box(cart, r, r.x, r.y, r.x + r.w - 1, r.y + r.h - 1, 0, true); });
}

// ---- applying tools -------------------------------------------------------------

int colour_of(int button) { return button == fenn_mouse_right ? ed().secondary : ed().primary; }

// Completes a two-point tool from the anchor to (x, y).
void finish_shape(vexel_machine* m, int x, int y, int colour, bool filled) {
    const editor_sprite_rect area = shown_area();
    const int ax = ed().anchor_x, ay = ed().anchor_y;
    switch (ed().tool) {
    case tool_line:
        edit(m, [&](vexel_cart* c) { return editor_sprite_line(c, area, ax, ay, x, y, colour); });
        break;
    case tool_rect:
        edit(m, [&](vexel_cart* c) { return editor_sprite_box(c, area, ax, ay, x, y, colour, filled); });
        break;
    case tool_circle:
        edit(m, [&](vexel_cart* c) { return editor_sprite_ellipse(c, area, ax, ay, x, y, colour, filled); });
        break;
    case tool_select: {
        const editor_sprite_rect r = editor_sprite_clip(editor_sprite_span(ax, ay, x, y), area);
        ed().sel = r.w * r.h > 1 ? r : editor_sprite_rect{};  // a click without a drag selects nothing
        break;
    }
    default: break;
    }
}

void pick(int x, int y, const vexel_cart* cart, bool secondary) {
    (secondary ? ed().secondary : ed().primary) = editor_sget(cart, x, y);
}

// The keyboard's Space or Enter: the current tool at the cursor.
void key_action(vexel_machine* m, bool secondary, bool filled) {
    const int colour = secondary ? ed().secondary : ed().primary;
    const int x = ed().cur_x, y = ed().cur_y;
    const editor_sprite_rect area = shown_area();
    ed().cursor_shown = true;
    switch (ed().tool) {
    case tool_pencil: edit(m, [&](vexel_cart* c) { return put_pixel(c, area, x, y, colour); }); break;
    case tool_fill: edit(m, [&](vexel_cart* c) { return editor_sprite_fill(c, area, x, y, colour); }); break;
    case tool_picker: pick(x, y, m->working_cart, secondary); break;
    case tool_select:
        if (!ed().sel.empty() && !ed().key_anchor) {
            clear_selection();  // a press with a selection lets it go
            break;
        }
        [[fallthrough]];
    default:
        if (!ed().key_anchor) {
            ed().key_anchor = true;
            ed().anchor_x = x;
            ed().anchor_y = y;
        } else {
            ed().key_anchor = false;
            finish_shape(m, x, y, colour, filled);
        }
        break;
    }
}

// ---- input ------------------------------------------------------------------------

bool in_box(int x, int y, int x0, int y0, int w, int h) { return x >= x0 && y >= y0 && x < x0 + w && y < y0 + h; }

// The sheet pixel at screen (x, y) on the canvas, kept inside the shown
// area when clamp is set (a drag that leaves the canvas).
bool canvas_pixel(int x, int y, bool clamp, int* px, int* py) {
    const editor_sprite_rect area = shown_area();
    const int s = zoom_scale();
    int cx = x - canvas_x, cy = y - canvas_y;
    if (!clamp && (cx < 0 || cy < 0 || cx >= area.w * s || cy >= area.h * s)) return false;
    cx = cx < 0 ? -1 : cx / s;  // round towards the left even left of the canvas
    cy = cy < 0 ? -1 : cy / s;
    *px = std::clamp(area.x + cx, area.x, area.x + area.w - 1);
    *py = std::clamp(area.y + cy, area.y, area.y + area.h - 1);
    return true;
}

void mouse_down_on_canvas(vexel_machine* m, const editor_input& in, int button, int x, int y) {
    vexel_cart* cart = m->working_cart;
    const editor_sprite_rect area = shown_area();
    ed().cursor_shown = false;
    ed().key_anchor = false;
    ed().drag_button = button;
    ed().drag_filled = in.ctrl;
    ed().anchor_x = ed().last_x = x;
    ed().anchor_y = ed().last_y = y;
    const int colour = colour_of(button);
    switch (ed().tool) {
    case tool_pencil:
        group_begin();
        edit(m, [&](vexel_cart* c) { return put_pixel(c, area, x, y, colour); });
        break;
    case tool_fill:
        edit(m, [&](vexel_cart* c) { return editor_sprite_fill(c, area, x, y, colour); });
        ed().drag_button = 0;
        break;
    case tool_picker:
        pick(x, y, cart, button == fenn_mouse_right);
        ed().drag_button = 0;
        break;
    case tool_select:
        if (ed().sel.contains(x, y)) {
            ed().grab_x = x - ed().sel.x;
            ed().grab_y = y - ed().sel.y;
        } else {
            clear_selection();
        }
        break;
    default: break;
    }
}

void mouse_drag_on_canvas(vexel_machine* m, int x, int y) {
    const editor_sprite_rect area = shown_area();
    if (ed().tool == tool_pencil) {
        const int colour = colour_of(ed().drag_button);
        const int x0 = ed().last_x, y0 = ed().last_y;
        if (x != x0 || y != y0)
            edit(m, [&](vexel_cart* c) { return editor_sprite_line(c, area, x0, y0, x, y, colour); });
    } else if (ed().tool == tool_select && !ed().sel.empty()) {
        move_selection(m, x - ed().grab_x, y - ed().grab_y);
    }
    ed().last_x = x;
    ed().last_y = y;
}

void mouse_up_on_canvas(vexel_machine* m, int x, int y) {
    const int button = ed().drag_button;
    ed().drag_button = 0;
    if (ed().tool == tool_pencil) {
        group_end();
        return;
    }
    if (ed().tool == tool_select && !ed().sel.empty()) return;  // a move ends; the selection stays
    finish_shape(m, x, y, colour_of(button), ed().drag_filled);
}

void toggle_flag(vexel_machine* m, int bit) {
    const int n = editor_selected_sprite();
    edit(m, [&](vexel_cart* c) {
        editor_fset(c, n, editor_fget(c, n) ^ (1 << bit));
        return 1;
    });
}

// Clicks outside the canvas: palette, flags, tools, zoom, banks, strip.
void mouse_down_elsewhere(vexel_machine* m, int button, int x, int y) {
    if (in_box(x, y, pal_x, pal_y, 4 * swatch_px, 4 * swatch_px)) {
        const int c = (y - pal_y) / swatch_px * 4 + (x - pal_x) / swatch_px;
        (button == fenn_mouse_right ? ed().secondary : ed().primary) = c;
        return;
    }
    if (button != fenn_mouse_left) return;
    for (int i = 0; i < editor_sprite_flag_count; ++i)
        if (in_box(x, y, flags_x + i * flag_step, flags_y, flag_px, flag_px)) return toggle_flag(m, i);
    for (int t = 0; t < tool_count; ++t)
        if (in_box(x, y, tools_x + t * tool_step, tools_y, tool_px, tool_px)) return set_tool(t);
    for (int z = 0; z < int(std::size(zoom_sizes)); ++z)
        if (in_box(x, y, zoom_x + z * zoom_step, zoom_y, zoom_w, zoom_h)) return set_zoom(z);
    for (int b = 0; b < bank_count; ++b)
        if (in_box(x, y, bank_x + b * bank_step, bank_y, bank_w, bank_h)) {
            ed().bank = b;
            return;
        }
    if (in_box(x, y, strip_x, strip_y, strip_w, strip_h))
        select_sprite(ed().bank * sprites_per_bank + (y - strip_y) / 8 * 16 + (x - strip_x) / 8);
}

void update_hover(const editor_input& in) {
    ed().mouse_px = ed().mouse_py = -1;
    ed().hover_sprite = -1;
    int px, py;
    if (canvas_pixel(in.mouse_x, in.mouse_y, false, &px, &py)) {
        ed().mouse_px = px;
        ed().mouse_py = py;
        ed().hover_sprite = (py / 8) * 16 + px / 8;
    } else if (in_box(in.mouse_x, in.mouse_y, strip_x, strip_y, strip_w, strip_h)) {
        ed().hover_sprite = ed().bank * sprites_per_bank + (in.mouse_y - strip_y) / 8 * 16 + (in.mouse_x - strip_x) / 8;
    }
    const bool moved = in.mouse_x != ed().last_mouse_x || in.mouse_y != ed().last_mouse_y;
    ed().last_mouse_x = in.mouse_x;
    ed().last_mouse_y = in.mouse_y;
    // With cursor_snap the keyboard cursor jumps to the pixel the mouse
    // moved to, so switching from the mouse to the keys carries on there.
    if (moved && ed().mouse_px >= 0 && in.settings.cursor_snap) {
        ed().cur_x = ed().mouse_px;
        ed().cur_y = ed().mouse_py;
    }
}

void update_mouse(vexel_machine* m, const editor_input& in) {
    const bool left_down = in.went_down & fenn_mouse_left, right_down = in.went_down & fenn_mouse_right;
    if (ed().drag_button) {
        int px, py;
        canvas_pixel(in.mouse_x, in.mouse_y, true, &px, &py);
        if (in.went_up & ed().drag_button) mouse_up_on_canvas(m, px, py);
        else if (in.buttons & ed().drag_button) mouse_drag_on_canvas(m, px, py);
        else mouse_up_on_canvas(m, px, py);  // the release was missed (focus lost): end it here
        return;
    }
    if (!left_down && !right_down) return;
    const int button = left_down ? fenn_mouse_left : fenn_mouse_right;
    int px, py;
    if (canvas_pixel(in.mouse_x, in.mouse_y, false, &px, &py)) mouse_down_on_canvas(m, in, button, px, py);
    else mouse_down_elsewhere(m, button, in.mouse_x, in.mouse_y);
}

void update_wheel(const editor_input& in) {
    if (!in.wheel_y) return;
    if (in_box(in.mouse_x, in.mouse_y, strip_x, bank_y, strip_w, strip_y + strip_h - bank_y))
        ed().bank = std::clamp(ed().bank - in.wheel_y, 0, bank_count - 1);
    else if (in_box(in.mouse_x, in.mouse_y, canvas_x, canvas_y, canvas_px, canvas_px))
        set_zoom(ed().zoom + (in.wheel_y > 0 ? 1 : -1));
}

void update_arrows(vexel_machine* m, const editor_input& in) {
    int dx = 0, dy = 0;
    if (editor_pressed(in, sc_left)) --dx;
    if (editor_pressed(in, sc_right)) ++dx;
    if (editor_pressed(in, sc_up)) --dy;
    if (editor_pressed(in, sc_down)) ++dy;
    if (in.alt || (!dx && !dy)) return;
    if (in.shift) {  // through the sheet, a sprite or a row of sprites at a time
        const int n = editor_selected_sprite(), col = n % 16 + dx, row = n / 16 + dy;
        if (col >= 0 && col < 16 && row >= 0 && row < 16) select_sprite(row * 16 + col);
        return;
    }
    if (ed().tool == tool_select && !ed().sel.empty() && !ed().key_anchor && !ed().drag_button) {
        move_selection(m, ed().sel.x + dx, ed().sel.y + dy);
        return;
    }
    const editor_sprite_rect area = shown_area();
    ed().cur_x = std::clamp(ed().cur_x + dx, area.x, area.x + area.w - 1);
    ed().cur_y = std::clamp(ed().cur_y + dy, area.y, area.y + area.h - 1);
    ed().cursor_shown = true;
}

void update_keys(vexel_machine* m, const editor_input& in) {
    if (editor_pressed(in, sc_page_up)) ed().bank = std::max(ed().bank - 1, 0);
    if (editor_pressed(in, sc_page_down)) ed().bank = std::min(ed().bank + 1, bank_count - 1);
    if (editor_pressed(in, sc_delete)) clear_selected_pixels(m);
    // With Ctrl held no typed keys arrive, so Ctrl+Space / Ctrl+Enter (a
    // filled rectangle or ellipse) come by scancode.
    if (in.ctrl && !in.alt &&
        (editor_pressed(in, sc_space) || editor_pressed(in, sc_return) || editor_pressed(in, sc_kp_enter)))
        key_action(m, in.shift, true);
    for (int i = 0; i < in.key_count; ++i) {
        const int k = in.keys[i];
        if (k == ' ' || k == 13) {
            key_action(m, in.shift, false);
            continue;
        }
        if (k == 8) {
            clear_selected_pixels(m);
            continue;
        }
        if (k >= '1' && k <= '8') {
            toggle_flag(m, k - '1');
            continue;
        }
        switch (k) {
        case ',': ed().primary = (ed().primary + 15) & 15; continue;
        case '.': ed().primary = (ed().primary + 1) & 15; continue;
        case '<': ed().secondary = (ed().secondary + 15) & 15; continue;
        case '>': ed().secondary = (ed().secondary + 1) & 15; continue;
        case '-': case '_': select_sprite(editor_selected_sprite() - 1); continue;
        case '=': case '+': select_sprite(editor_selected_sprite() + 1); continue;
        default: break;
        }
        const int lower = k < 128 ? std::tolower(k) : k;
        if (lower == 'x') std::swap(ed().primary, ed().secondary);
        else if (lower == 'z') set_zoom((ed().zoom + 1) % int(std::size(zoom_sizes)));
        else if (lower == 'h') transform(m, 0);
        else if (lower == 'v') transform(m, 1);
        else if (lower == 't') transform(m, 2);
        else if (lower == 'o') set_tool(tool_circle);
        else
            for (int t = 0; t < tool_count; ++t)
                if (lower == tool_keys[t]) set_tool(t);
    }
    update_arrows(m, in);
}

// ---- the page's functions -----------------------------------------------------------

void sprite_open(vexel_machine*) {
    ed().shown_sprite = -1;  // the cartridge or the selection may have changed meanwhile
    ed().floating = false;
    group_end();
    settle_view();
}

void sprite_update(vexel_machine* m, const editor_input& in) {
    if (!m->working_cart) return;
    settle_view();  // the map editor may have chosen another sprite
    if (in.went_down || in.key_count) ed().paste_error.clear();
    update_hover(in);
    update_mouse(m, in);
    update_wheel(in);
    update_keys(m, in);
}

// ---- drawing ---------------------------------------------------------------------------

void dot(fenn_bitmap* page, int x, int y, int colour) { editor_fill(page, x, y, x, y, colour); }

// A colour that shows against c (for marks drawn over pixels of colour c).
int contrast(int c) {
    constexpr uint16_t light = (1 << 6) | (1 << 7) | (1 << 9) | (1 << 10) | (1 << 11) | (1 << 15) | (1 << 14) | (1 << 12);
    return (light >> (c & 15)) & 1 ? 0 : 7;
}

void draw_canvas(vexel_machine* m, fenn_bitmap* page, const editor_theme& theme) {
    const vexel_cart* cart = m->working_cart;
    const editor_sprite_rect area = shown_area();
    const int s = zoom_scale();
    editor_frame_rect(page, canvas_x - 1, canvas_y - 1, canvas_x + canvas_px, canvas_y + canvas_px, 0);
    editor_fill(page, canvas_x, canvas_y, canvas_x + canvas_px - 1, canvas_y + canvas_px - 1, theme.bar_bg);
    for (int y = 0; y < area.h; ++y)
        for (int x = 0; x < area.w; ++x) {
            const int sx = canvas_x + x * s, sy = canvas_y + y * s;
            editor_fill(page, sx, sy, sx + s - 1, sy + s - 1, editor_sget(cart, area.x + x, area.y + y));
        }
    auto cell = [&](int px, int py, int colour) {
        if (!area.contains(px, py)) return;
        const int sx = canvas_x + (px - area.x) * s, sy = canvas_y + (py - area.y) * s;
        editor_fill(page, sx, sy, sx + s - 1, sy + s - 1, colour);
    };
    // The shape a drag or a keyboard anchor is making, before it is made.
    const bool dragging = ed().drag_button != 0, keyed = ed().key_anchor;
    if ((dragging || keyed) && ed().tool >= tool_line && ed().tool <= tool_circle) {
        const int x1 = dragging ? ed().last_x : ed().cur_x, y1 = dragging ? ed().last_y : ed().cur_y;
        const int colour = dragging ? colour_of(ed().drag_button) : ed().primary;
        const bool filled = dragging && ed().drag_filled;
        auto plot = [&](int x, int y) { cell(x, y, colour); };
        if (ed().tool == tool_line) editor_sprite_line_pixels(ed().anchor_x, ed().anchor_y, x1, y1, plot);
        else if (ed().tool == tool_rect) editor_sprite_rect_pixels(ed().anchor_x, ed().anchor_y, x1, y1, filled, plot);
        else editor_sprite_ellipse_pixels(ed().anchor_x, ed().anchor_y, x1, y1, filled, plot);
    }
    // The selection, or the one being dragged out, as a dashed frame.
    editor_sprite_rect sel = ed().sel;
    if (ed().tool == tool_select && sel.empty() && (dragging || keyed))
        sel = editor_sprite_clip(editor_sprite_span(ed().anchor_x, ed().anchor_y, dragging ? ed().last_x : ed().cur_x,
                                                    dragging ? ed().last_y : ed().cur_y),
                                 area);
    if (!sel.empty()) {
        const int x0 = canvas_x + (sel.x - area.x) * s - 1, y0 = canvas_y + (sel.y - area.y) * s - 1;
        const int x1 = x0 + sel.w * s + 1, y1 = y0 + sel.h * s + 1;
        for (int x = x0; x <= x1; ++x) {
            dot(page, x, y0, (x >> 1) & 1 ? 0 : 7);
            dot(page, x, y1, (x >> 1) & 1 ? 0 : 7);
        }
        for (int y = y0; y <= y1; ++y) {
            dot(page, x0, y, (y >> 1) & 1 ? 0 : 7);
            dot(page, x1, y, (y >> 1) & 1 ? 0 : 7);
        }
    }
    if (ed().cursor_shown) {
        const int sx = canvas_x + (ed().cur_x - area.x) * s, sy = canvas_y + (ed().cur_y - area.y) * s;
        if (s > 2) editor_frame_rect(page, sx, sy, sx + s - 1, sy + s - 1, contrast(editor_sget(cart, ed().cur_x, ed().cur_y)));
        else editor_frame_rect(page, sx - 1, sy - 1, sx + s, sy + s, theme.cursor);
    }
}

void draw_palette(fenn_bitmap* page) {
    for (int c = 0; c < 16; ++c) {
        const int x = pal_x + (c % 4) * swatch_px, y = pal_y + (c / 4) * swatch_px;
        editor_fill(page, x, y, x + swatch_px - 1, y + swatch_px - 1, c);
        if (c == ed().secondary) editor_fill(page, x + 5, y + 5, x + 6, y + 6, contrast(c));
        if (c == ed().primary) {
            editor_frame_rect(page, x, y, x + swatch_px - 1, y + swatch_px - 1, 0);
            editor_frame_rect(page, x + 1, y + 1, x + swatch_px - 2, y + swatch_px - 2, 7);
        }
    }
    // Primary in front of secondary.
    const int sx = colour_box_x + 4, sy = colour_box_y + 4;
    editor_frame_rect(page, sx, sy, sx + colour_box_px - 1, sy + colour_box_px - 1, 0);
    editor_fill(page, sx + 1, sy + 1, sx + colour_box_px - 2, sy + colour_box_px - 2, ed().secondary);
    editor_frame_rect(page, colour_box_x, colour_box_y, colour_box_x + colour_box_px - 1,
                      colour_box_y + colour_box_px - 1, 0);
    editor_fill(page, colour_box_x + 1, colour_box_y + 1, colour_box_x + colour_box_px - 2,
                colour_box_y + colour_box_px - 2, ed().primary);
}

void draw_flags(vexel_machine* m, fenn_bitmap* page) {
    const int flags = editor_fget(m->working_cart, editor_selected_sprite());
    for (int i = 0; i < editor_sprite_flag_count; ++i) {
        const int x = flags_x + i * flag_step, y = flags_y, c = flag_colours[i];
        // A round dot: the 5x5 square without its corners.
        if (flags >> i & 1) {
            editor_fill(page, x + 1, y, x + 3, y + 4, c);
            editor_fill(page, x, y + 1, x + 4, y + 3, c);
        } else {
            editor_fill(page, x + 1, y, x + 3, y, 5);
            editor_fill(page, x + 1, y + 4, x + 3, y + 4, 5);
            editor_fill(page, x, y + 1, x, y + 3, 5);
            editor_fill(page, x + 4, y + 1, x + 4, y + 3, 5);
            dot(page, x + 2, y + 2, c);
        }
    }
}

void draw_tools(vexel_machine* m, fenn_bitmap* page, const editor_theme& theme) {
    for (int t = 0; t < tool_count; ++t) {
        const int x = tools_x + t * tool_step, y = tools_y;
        const bool on = t == ed().tool;
        if (on) editor_fill(page, x - 1, y - 1, x + tool_px, y + tool_px, theme.tab_active_bg);
        for (int row = 0; row < tool_px; ++row)
            for (int col = 0; col < tool_px; ++col)
                if (tool_icons[t][row] >> (tool_px - 1 - col) & 1) dot(page, x + col, y + row, on ? 0 : theme.text);
    }
    static constexpr const char* zoom_labels[] = {"1x1", "2x2", "4x4"};
    for (int z = 0; z < int(std::size(zoom_sizes)); ++z) {
        const int x = zoom_x + z * zoom_step;
        const bool on = z == ed().zoom;
        editor_fill(page, x, zoom_y, x + zoom_w - 1, zoom_y + zoom_h - 1, on ? theme.tab_active_bg : theme.tab_bg);
        editor_text(m, page, zoom_labels[z], x + 1, zoom_y + 1, on ? theme.tab_active_fg : theme.bar_fg);
    }
    char number[8];
    std::snprintf(number, sizeof number, "%03d", editor_selected_sprite());
    editor_text(m, page, number, number_x, number_y, theme.text);
}

void draw_sheet(vexel_machine* m, fenn_bitmap* page, const editor_theme& theme) {
    static constexpr const char* bank_labels[] = {"0", "1", "2", "3"};
    for (int b = 0; b < bank_count; ++b) {
        const int x = bank_x + b * bank_step;
        const bool on = b == ed().bank;
        editor_fill(page, x, bank_y, x + bank_w - 1, bank_y + bank_h - 1, on ? theme.tab_active_bg : theme.tab_bg);
        editor_text(m, page, bank_labels[b], x + 4, bank_y + 1, on ? theme.tab_active_fg : theme.bar_fg);
        if (b >= shared_bank) editor_fill(page, x, bank_y + bank_h - 1, x + bank_w - 1, bank_y + bank_h - 1, 12);
    }
    if (ed().bank >= shared_bank) editor_text(m, page, "shared with map", bank_x + bank_count * bank_step + 2, bank_y + 1, 12);
    editor_draw_sprite(m, page, ed().bank * sprites_per_bank, 16, 4, strip_x, strip_y, 1);
    // The shown area, where it lies in this bank.
    const editor_sprite_rect bank_rect = {0, ed().bank * 32, 128, 32};
    const editor_sprite_rect shown = editor_sprite_clip(shown_area(), bank_rect);
    if (!shown.empty())
        editor_frame_rect(page, strip_x + shown.x - 1, strip_y + shown.y - bank_rect.y - 1, strip_x + shown.x + shown.w,
                          strip_y + shown.y - bank_rect.y + shown.h, 7);
}

void sprite_draw(vexel_machine* m, fenn_bitmap* page, const editor_theme& theme) {
    if (!page || !m->working_cart) return;
    settle_view();
    draw_canvas(m, page, theme);
    draw_palette(page);
    draw_flags(m, page);
    draw_tools(m, page, theme);
    draw_sheet(m, page, theme);
}

std::string sprite_status(vexel_machine* m, bool* warn) {
    if (!ed().paste_error.empty()) {
        if (warn) *warn = true;
        return ed().paste_error;
    }
    char text[64];
    // Over a flag or a tool: what it is.
    const int mx = ed().last_mouse_x, my = ed().last_mouse_y;
    for (int i = 0; i < editor_sprite_flag_count; ++i)
        if (in_box(mx, my, flags_x + i * flag_step, flags_y, flag_px, flag_px)) {
            const bool on = editor_fget(m->working_cart, editor_selected_sprite()) >> i & 1;
            std::snprintf(text, sizeof text, "flag %d %s: fget(n,%d), key %d", i, on ? "on" : "off", i, i + 1);
            return text;
        }
    static constexpr const char* tool_hints[tool_count] = {"p pencil", "f fill same colour", "l line",
                                                           "r rect (ctrl: filled)", "c circle (ctrl: filled)",
                                                           "s select, then drag to move", "i pick a colour"};
    for (int t = 0; t < tool_count; ++t)
        if (in_box(mx, my, tools_x + t * tool_step, tools_y, tool_px, tool_px)) return tool_hints[t];
    int len = std::snprintf(text, sizeof text, "spr %03d", editor_selected_sprite());
    if (ed().mouse_px >= 0) len += std::snprintf(text + len, sizeof text - size_t(len), " %d,%d", ed().mouse_px, ed().mouse_py);
    else if (ed().cursor_shown) len += std::snprintf(text + len, sizeof text - size_t(len), " %d,%d", ed().cur_x, ed().cur_y);
    if (ed().hover_sprite >= 0) len += std::snprintf(text + len, sizeof text - size_t(len), " >%03d", ed().hover_sprite);
    std::snprintf(text + len, sizeof text - size_t(len), " %dx%d %s", zoom_size(), zoom_size(), tool_names[ed().tool]);
    return text;
}

std::string sprite_save_state(vexel_machine* m) {
    std::string s(state_bytes, '\0');
    if (!m->working_cart) return s;
    std::memcpy(&s[0], state_magic, sizeof state_magic);
    size_t at = sizeof state_magic;
    for (size_t a = 0; a < sheet_bytes; ++a) s[at++] = char(vexel_cart_peek(m->working_cart, vexel_addr_gfx + uint32_t(a)));
    for (int n = 0; n < editor_sprite_count; ++n) s[at++] = char(editor_fget(m->working_cart, n));
    const int view[state_view_bytes] = {editor_selected_sprite(), ed().zoom, ed().tool, ed().sel.x, ed().sel.y, ed().sel.w, ed().sel.h};
    for (int v : view) s[at++] = char(uint8_t(v));
    return s;
}

void sprite_load_state(vexel_machine* m, const std::string& state) {
    if (!m->working_cart || state.size() != state_bytes || std::memcmp(state.data(), state_magic, sizeof state_magic) != 0)
        return;
    const auto* p = reinterpret_cast<const uint8_t*>(state.data()) + sizeof state_magic;
    restore_state(m->working_cart, p, p + sheet_bytes);
    const uint8_t* view = p + sheet_bytes + editor_sprite_count;
    ed().drag_button = 0;
    ed().key_anchor = false;
    ed().floating = false;
    group_end();
    editor_set_selected_sprite(view[0]);
    ed().shown_sprite = view[0];
    ed().bank = view[0] / sprites_per_bank;
    ed().zoom = std::min(int(view[1]), int(std::size(zoom_sizes)) - 1);
    ed().tool = std::min(int(view[2]), tool_count - 1);
    ed().sel = {view[3], view[4], view[5], view[6]};
    if (ed().tool != tool_select) ed().sel = {};
    settle_view();
}

std::string sprite_copy(vexel_machine* m, bool cut) {
    if (!m->working_cart) return "";
    const editor_sprite_rect r = ed().sel.empty() ? shown_area() : ed().sel;
    std::string text = editor_sprite_copy_text(m->working_cart, r);
    if (cut && !text.empty()) {
        // The frame took the undo checkpoint already.
        drop_float();
        editor_sprite_box(m->working_cart, r, r.x, r.y, r.x + r.w - 1, r.y + r.h - 1, 0, true);
        remember_sheet(m->working_cart);
    }
    return text;
}

bool sprite_paste(vexel_machine* m, const std::string& text) {
    if (!m->working_cart) return false;
    const editor_sprite_rect area = shown_area();
    const int x = ed().sel.empty() ? area.x : ed().sel.x, y = ed().sel.empty() ? area.y : ed().sel.y;
    drop_float();
    editor_sprite_rect pasted;
    const editor_sprite_paste_status st = editor_sprite_paste_text(m->working_cart, text, x, y, &pasted);
    if (st != editor_sprite_paste_ok) {
        // The frame's own message covers ours for a moment; ours stays in
        // the status line until the next key or click.
        ed().paste_error = editor_sprite_paste_status_text(st);
        return false;
    }
    // What was pasted into the shown area stays selected, ready to move.
    const editor_sprite_rect shown = editor_sprite_clip(pasted, area);
    set_tool(tool_select);
    ed().sel = shown;
    remember_sheet(m->working_cart);
    return true;
}

}  // namespace

void editor_sprite_reset_view() {
    ed().zoom = 0;
    ed().tool = tool_pencil;
    ed().primary = 7;
    ed().secondary = 0;
    ed().cursor_shown = ed().key_anchor = false;
    ed().drag_button = 0;
    ed().paste_error.clear();
    ed().sel = {};
    ed().floating = false;
    group_end();
    ed().shown_sprite = -1;
    ed().mine_valid = false;
    settle_view();
    const editor_sprite_rect area = shown_area();
    ed().cur_x = area.x;
    ed().cur_y = area.y;
}

const editor_page editor_sprite_page = {
    "sprite",       sprite_open,       sprite_update, sprite_draw, sprite_status,
    sprite_save_state, sprite_load_state, sprite_copy,  sprite_paste, nullptr,
};
