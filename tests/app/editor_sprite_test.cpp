#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "app/editor.h"
#include "app/editor_sprite.h"
#include "cart/cart.h"
#include "framework/fenn_bitmap.h"
#include "framework/fenn_input.h"
#include "machine/machine.h"
#include "test_support.h"

namespace {

constexpr int sc_right = 79, sc_left = 80, sc_down = 81;
constexpr int sc_delete = 76;

using pixel_set = std::set<std::pair<int, int>>;

// Sheet pixels of colour c inside r.
pixel_set pixels_of(const vexel_cart* cart, editor_sprite_rect r, int c) {
    pixel_set out;
    for (int y = r.y; y < r.y + r.h; ++y)
        for (int x = r.x; x < r.x + r.w; ++x)
            if (editor_sget(cart, x, y) == c) out.insert({x, y});
    return out;
}

// Distinct colours over r, for operations that move pixels.
void paint_pattern(vexel_cart* cart, editor_sprite_rect r) {
    for (int y = r.y; y < r.y + r.h; ++y)
        for (int x = r.x; x < r.x + r.w; ++x) editor_sset(cart, x, y, (x * 3 + y * 5 + 1) & 15);
}

// Every sheet pixel, to compare a whole sheet before and after.
std::string sheet_of(const vexel_cart* cart) {
    std::string s;
    for (int y = 0; y < editor_sprite_sheet_px; ++y)
        for (int x = 0; x < editor_sprite_sheet_px; ++x) s += char('a' + editor_sget(cart, x, y));
    return s;
}

// ---- the edit operations on a record ---------------------------------------------

class SpriteOps : public ::testing::Test {
protected:
    vexel_test::TestMachine tm;
    vexel_cart* cart = tm.m->working_cart;
    const editor_sprite_rect sprite0 = {0, 0, 8, 8};
};

TEST_F(SpriteOps, LineRectangleAndEllipsePixels) {
    EXPECT_EQ(editor_sprite_line(cart, sprite0, 0, 0, 3, 3, 9), 4);
    EXPECT_EQ(pixels_of(cart, sprite0, 9), (pixel_set{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    // A shallow line takes one step down, and reversed ends give it again.
    pixel_set a, b;
    editor_sprite_line_pixels(0, 0, 4, 1, [&](int x, int y) { a.insert({x, y}); });
    editor_sprite_line_pixels(4, 1, 0, 0, [&](int x, int y) { b.insert({x, y}); });
    EXPECT_EQ(a.size(), 5u);
    EXPECT_TRUE(a.count({0, 0}) && a.count({4, 1}));
    EXPECT_EQ(a, b);

    const editor_sprite_rect r = {8, 0, 8, 8};
    EXPECT_EQ(editor_sprite_box(cart, r, 12, 3, 9, 1, 5, false), 10);  // corners in any order: a 4 x 3 outline
    EXPECT_EQ(editor_sget(cart, 10, 2), 0);                             // inside left empty
    EXPECT_EQ(editor_sprite_box(cart, r, 9, 1, 12, 3, 5, true), 2);    // filling adds the two inside
    EXPECT_EQ(pixels_of(cart, r, 5).size(), 12u);

    // The ellipse fits its box: touches each side, stays inside, is
    // symmetric both ways, for odd and even sizes; filled holds the outline.
    for (int w = 1; w <= 12; ++w)
    for (int h = 1; h <= 12; ++h) {
        pixel_set ring, disc;
        editor_sprite_ellipse_pixels(10, 20, 10 + w - 1, 20 + h - 1, false, [&](int x, int y) { ring.insert({x, y}); });
        editor_sprite_ellipse_pixels(10 + w - 1, 20 + h - 1, 10, 20, true, [&](int x, int y) { disc.insert({x, y}); });
        int min_x = 999, max_x = -1, min_y = 999, max_y = -1;
        for (auto [x, y] : ring) {
            min_x = std::min(min_x, x), max_x = std::max(max_x, x);
            min_y = std::min(min_y, y), max_y = std::max(max_y, y);
            EXPECT_TRUE(ring.count({10 + 10 + w - 1 - x, y}) && ring.count({x, 20 + 20 + h - 1 - y})) << w << "x" << h;
            EXPECT_TRUE(disc.count({x, y}));
        }
        EXPECT_EQ(min_x, 10);
        EXPECT_EQ(max_x, 10 + w - 1) << w << "x" << h;
        EXPECT_EQ(min_y, 20);
        EXPECT_EQ(max_y, 20 + h - 1) << w << "x" << h;
        if (w >= 5 && h >= 5) {
            EXPECT_FALSE(ring.count({10 + w / 2, 20 + h / 2}));  // hollow middle
        }
        EXPECT_TRUE(disc.count({10 + w / 2, 20 + h / 2}));
    }
    pixel_set one;
    editor_sprite_ellipse_pixels(3, 3, 3, 3, false, [&](int x, int y) { one.insert({x, y}); });
    EXPECT_EQ(one, (pixel_set{{3, 3}}));

    // Shapes never reach outside the area they are given.
    const editor_sprite_rect tiny = {40, 40, 3, 3};
    editor_sprite_ellipse(cart, tiny, 35, 35, 50, 50, 6, true);
    editor_sprite_line(cart, tiny, 30, 41, 60, 41, 6);
    EXPECT_EQ(pixels_of(cart, {0, 0, 128, 128}, 6), pixels_of(cart, tiny, 6));
}

TEST_F(SpriteOps, FillStaysFourConnectedInsideTheArea) {
    // A diagonal wall of colour 1 splits sprite 0; the fill must not leak
    // through its corners, nor out of the sprite into its neighbours.
    for (int i = 0; i < 8; ++i) editor_sset(cart, i, 7 - i, 1);
    editor_sset(cart, 8, 0, 0);  // sprite 1, same colour as the fill's start
    const int n = editor_sprite_fill(cart, sprite0, 0, 0, 12);
    EXPECT_EQ(n, 28);  // the triangle above the wall
    EXPECT_EQ(editor_sget(cart, 7, 7), 0);
    EXPECT_EQ(editor_sget(cart, 8, 0), 0);
    EXPECT_EQ(editor_sget(cart, 0, 8), 0);
    EXPECT_EQ(editor_sprite_fill(cart, sprite0, 1, 1, 12), 0);  // same colour: nothing
    EXPECT_EQ(editor_sprite_fill(cart, sprite0, 20, 20, 3), 0);  // outside the area
    // Over the whole sheet the fill reaches every pixel of its colour.
    vexel_test::TestMachine other;
    EXPECT_EQ(editor_sprite_fill(other.m->working_cart, {0, 0, 128, 128}, 64, 64, 2), 128 * 128);
}

TEST_F(SpriteOps, FlipAndRotate) {
    const editor_sprite_rect r = {16, 8, 3, 2};
    paint_pattern(cart, r);
    const std::string before = sheet_of(cart);
    const int tl = editor_sget(cart, 16, 8), tr = editor_sget(cart, 18, 8), bl = editor_sget(cart, 16, 9);
    editor_sprite_flip(cart, r, true);
    EXPECT_EQ(editor_sget(cart, 18, 8), tl);
    EXPECT_EQ(editor_sget(cart, 16, 8), tr);
    editor_sprite_flip(cart, r, true);
    editor_sprite_flip(cart, r, false);
    EXPECT_EQ(editor_sget(cart, 16, 9), tl);
    EXPECT_EQ(editor_sget(cart, 16, 8), bl);
    editor_sprite_flip(cart, r, false);
    EXPECT_EQ(sheet_of(cart), before);

    EXPECT_FALSE(editor_sprite_rotate(cart, r));             // not square
    EXPECT_FALSE(editor_sprite_rotate(cart, {126, 0, 4, 4}));  // past the sheet
    EXPECT_EQ(sheet_of(cart), before);

    // A quarter turn clockwise: the top row becomes the right column.
    const editor_sprite_rect sq = {40, 40, 3, 3};
    paint_pattern(cart, sq);
    int old[3][3];
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) old[y][x] = editor_sget(cart, 40 + x, 40 + y);
    ASSERT_TRUE(editor_sprite_rotate(cart, sq));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(editor_sget(cart, 40 + x, 40 + y), old[2 - x][y]) << x << "," << y;
    for (int k = 0; k < 3; ++k) editor_sprite_rotate(cart, sq);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(editor_sget(cart, 40 + x, 40 + y), old[y][x]);
    const editor_sprite_rect even = {0, 0, 4, 4};
    paint_pattern(cart, even);
    const std::string start = sheet_of(cart);
    for (int k = 0; k < 4; ++k) editor_sprite_rotate(cart, even);
    EXPECT_EQ(sheet_of(cart), start);
}

TEST_F(SpriteOps, SharedHalfIsTheMapsLowerHalf) {
    // Sprite 128's top-left pixel pair is map cell (0, 32).
    editor_sprite_line(cart, editor_sprite_area(128, 1), 0, 64, 1, 64, 0xa);
    EXPECT_EQ(editor_mget(cart, 0, 32), 0xaa);
    editor_sprite_fill(cart, editor_sprite_area(255, 1), 127, 127, 3);
    EXPECT_EQ(editor_mget(cart, 127, 63), 0x33);
    EXPECT_EQ(editor_mget(cart, 0, 31), 0);  // the upper map is its own
}

TEST_F(SpriteOps, ClipboardRoundTrip) {
    const editor_sprite_rect r = {5, 3, 11, 7};
    paint_pattern(cart, r);
    const std::string text = editor_sprite_copy_text(cart, r);
    EXPECT_EQ(text.rfind("[gfx]0b07", 0), 0u);
    editor_sprite_rect pasted;
    ASSERT_EQ(editor_sprite_paste_text(cart, text, 60, 70, &pasted), editor_sprite_paste_ok);
    EXPECT_EQ(pasted.x, 60);
    EXPECT_EQ(pasted.w, 11);
    EXPECT_EQ(editor_sprite_copy_text(cart, pasted), text);
    // Upper-case digits and different line breaks read the same.
    std::string loose = text;
    for (size_t i = 5; i + 6 < loose.size(); ++i)
        if (loose[i] >= 'a' && loose[i] <= 'f') loose[i] = char(loose[i] - 'a' + 'A');
    std::string crlf;
    for (char c : loose) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_EQ(editor_sprite_paste_text(cart, "  " + crlf + "\n", 0, 100, &pasted), editor_sprite_paste_ok);
    EXPECT_EQ(editor_sprite_copy_text(cart, pasted), text);
    // A paste past the sheet's edge is cut there.
    ASSERT_EQ(editor_sprite_paste_text(cart, text, 120, 125, &pasted), editor_sprite_paste_ok);
    EXPECT_EQ(pasted.w, 8);
    EXPECT_EQ(pasted.h, 3);
    EXPECT_EQ(editor_sget(cart, 127, 127), editor_sget(cart, 5 + 7, 3 + 2));
    // The whole sheet fits.
    const std::string all = editor_sprite_copy_text(cart, {0, 0, 128, 128});
    EXPECT_EQ(all.rfind("[gfx]8080", 0), 0u);
    EXPECT_EQ(editor_sprite_paste_text(cart, all, 0, 0, nullptr), editor_sprite_paste_ok);
}

TEST_F(SpriteOps, MalformedClipboardTextIsRejectedAndChangesNothing) {
    const std::string before = sheet_of(cart);
    const struct {
        std::string text;
        editor_sprite_paste_status status;
    } cases[] = {
        {"", editor_sprite_paste_not_gfx},
        {"hello", editor_sprite_paste_not_gfx},
        {"[map]0101a[/map]", editor_sprite_paste_not_gfx},
        {"[gfx]", editor_sprite_paste_bad_size},
        {"[gfx]02", editor_sprite_paste_bad_size},
        {"[gfx]0g01a[/gfx]", editor_sprite_paste_bad_size},
        {"[gfx]0001[/gfx]", editor_sprite_paste_bad_size},
        {"[gfx]8101" + std::string(129, '1') + "[/gfx]", editor_sprite_paste_bad_size},  // wider than the sheet
        {"[gfx]ffff[/gfx]", editor_sprite_paste_bad_size},
        {"[gfx]0202 12 3z[/gfx]", editor_sprite_paste_bad_pixel},
        {std::string("[gfx]0202\x01\xff\x80\x00[/gfx]", 19), editor_sprite_paste_bad_pixel},
        {"[gfx]0202123[/gfx]", editor_sprite_paste_wrong_count},
        {"[gfx]020212345[/gfx]", editor_sprite_paste_wrong_count},
        {"[gfx]02021234", editor_sprite_paste_no_end},
        {"[gfx]0202123", editor_sprite_paste_no_end},
        {"[gfx]02021234[/gfx]x", editor_sprite_paste_no_end},
        {"[gfx]02021234[gfx]", editor_sprite_paste_no_end},
        {"[gfx]0101" + std::string(editor_sprite_clip_max_text, '0'), editor_sprite_paste_too_long},
    };
    for (const auto& c : cases) {
        editor_sprite_rect pasted = {1, 1, 1, 1};
        EXPECT_EQ(editor_sprite_paste_text(cart, c.text, 0, 0, &pasted), c.status) << c.text.substr(0, 40);
        EXPECT_TRUE(pasted.empty());
        EXPECT_STRNE(editor_sprite_paste_status_text(c.status), "");
    }
    EXPECT_EQ(sheet_of(cart), before);
}

// ---- the page, driven with input as the frame hands it over ---------------------

class SpritePage : public ::testing::Test {
protected:
    editor_studio_scope studio;  // the editors' state for this case alone
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    vexel_cart* cart = tm.m->working_cart;

    void SetUp() override {
        editor_set_selected_sprite(0);
        editor_open(M);
        editor_select(M, editor_sprite);
    }

    static editor_input idle() {
        editor_input in{};
        in.mouse_x = in.mouse_y = -50;
        return in;
    }
    void send(const editor_input& in) { editor_update(M, in); }
    void type(const std::string& keys, bool shift = false) {
        editor_input in = idle();
        for (char k : keys) in.keys[in.key_count++] = uint8_t(k);
        in.shift = shift;
        send(in);
    }
    void press(int scancode, bool shift = false, bool ctrl = false) {
        editor_input in = idle();
        in.pressed[scancode] = true;
        in.shift = shift;
        in.ctrl = ctrl;
        send(in);
    }
    void ctrl(char letter) { press(4 + (letter - 'a'), false, true); }
    // Screen position of sheet pixel (px, py) on the canvas at the zoom
    // given (in sprites), for the selected sprite.
    static std::pair<int, int> on_canvas(int px, int py, int size = 1) {
        const int n = editor_selected_sprite(), s = editor_sprite_canvas_px / (size * 8);
        return {editor_sprite_canvas_x + (px - (n % 16) * 8) * s + s / 2,
                editor_sprite_canvas_y + (py - (n / 16) * 8) * s + s / 2};
    }
    void mouse(std::pair<int, int> at, int held, int down, int up, bool with_ctrl = false) {
        editor_input in = idle();
        in.mouse_x = at.first;
        in.mouse_y = at.second;
        in.buttons = held;
        in.went_down = down;
        in.went_up = up;
        in.ctrl = with_ctrl;
        send(in);
    }
    void click(std::pair<int, int> at, int button = fenn_mouse_left) {
        mouse(at, button, button, 0);
        mouse(at, 0, 0, button);
    }
    // A drag with one button through the given points.
    void drag(std::initializer_list<std::pair<int, int>> points, int button = fenn_mouse_left, bool with_ctrl = false) {
        auto it = points.begin();
        mouse(*it, button, button, 0, with_ctrl);
        for (++it; it != points.end(); ++it) mouse(*it, button, 0, 0, with_ctrl);
        mouse(*(points.end() - 1), 0, 0, button, with_ctrl);
    }
    std::string status() {
        bool warn = false;
        return editor_sprite_page.status(M, &warn);
    }
};

TEST_F(SpritePage, PencilStrokeIsOneUndoStep) {
    click(on_canvas(7, 7));
    EXPECT_EQ(editor_sget(cart, 7, 7), 7);
    // A drag that skips pixels between updates still draws a solid line.
    drag({on_canvas(0, 0), on_canvas(3, 0), on_canvas(5, 2)});
    EXPECT_EQ(pixels_of(cart, {0, 0, 8, 3}, 7).size(), 6u);
    EXPECT_EQ(editor_sget(cart, 1, 0), 7);
    EXPECT_EQ(editor_sget(cart, 5, 2), 7);
    // Right button paints the secondary colour, chosen on the palette.
    click({editor_sprite_palette_x + 2 * editor_sprite_swatch_px + 1, editor_sprite_palette_y + 2 * 8 + 1},
          fenn_mouse_right);  // colour 10
    click(on_canvas(0, 7), fenn_mouse_right);
    EXPECT_EQ(editor_sget(cart, 0, 7), 10);

    ctrl('z');  // the right click
    EXPECT_EQ(editor_sget(cart, 0, 7), 0);
    ctrl('z');  // the whole drag
    EXPECT_TRUE(pixels_of(cart, {0, 0, 8, 3}, 7).empty());
    EXPECT_EQ(editor_sget(cart, 7, 7), 7);
    ctrl('y');
    EXPECT_EQ(pixels_of(cart, {0, 0, 8, 3}, 7).size(), 6u);
    // A click on a pixel already that colour leaves no empty undo step.
    click(on_canvas(0, 0));
    ctrl('z');
    EXPECT_TRUE(pixels_of(cart, {0, 0, 8, 3}, 7).empty());
}

TEST_F(SpritePage, ShapeToolsByMouseAndFilledWithCtrl) {
    type("r");
    drag({on_canvas(1, 1), on_canvas(3, 2), on_canvas(4, 4)});
    EXPECT_EQ(pixels_of(cart, {0, 0, 8, 8}, 7).size(), 12u);  // 4 x 4 outline
    EXPECT_EQ(editor_sget(cart, 2, 2), 0);
    ctrl('z');
    drag({on_canvas(1, 1), on_canvas(4, 4)}, fenn_mouse_left, true);
    EXPECT_EQ(pixels_of(cart, {0, 0, 8, 8}, 7).size(), 16u);
    ctrl('z');
    type("l");
    drag({on_canvas(0, 7), on_canvas(7, 0)});
    EXPECT_EQ(pixels_of(cart, {0, 0, 8, 8}, 7).size(), 8u);
    ctrl('z');
    // The circle is the ellipse of its drag box; a fill inside stays inside.
    type("c");
    drag({on_canvas(0, 0), on_canvas(7, 7)});
    pixel_set ring;
    editor_sprite_ellipse_pixels(0, 0, 7, 7, false, [&](int x, int y) { ring.insert({x, y}); });
    EXPECT_EQ(pixels_of(cart, {0, 0, 8, 8}, 7), ring);
    type("f");
    click(on_canvas(3, 3));
    EXPECT_EQ(editor_sget(cart, 4, 4), 7);
    EXPECT_EQ(editor_sget(cart, 0, 0), 0);
    EXPECT_EQ(editor_sget(cart, 7, 7), 0);
    editor_sset(cart, 2, 5, 13);
    type("i");
    click(on_canvas(2, 5));
    type("p");
    click(on_canvas(6, 0));
    EXPECT_EQ(editor_sget(cart, 6, 0), 13);
}

TEST_F(SpritePage, KeyboardAlone) {
    // Cursor starts at the sprite's top-left; Space paints.
    press(sc_right);
    press(sc_down);
    type(" ");
    EXPECT_EQ(editor_sget(cart, 1, 1), 7);
    // Colour keys, then a line with two presses.
    type("..l ");
    press(sc_right);
    press(sc_right);
    press(sc_right);
    type(" ");
    EXPECT_EQ(pixels_of(cart, {0, 0, 8, 8}, 9), (pixel_set{{1, 1}, {2, 1}, {3, 1}, {4, 1}}));
    // The cursor stays inside the shown sprite.
    for (int i = 0; i < 12; ++i) press(sc_right);
    type("p ");
    EXPECT_EQ(editor_sget(cart, 7, 1), 9);
    EXPECT_EQ(editor_sget(cart, 8, 1), 0);
    // Next sprite, zoom, flags by number.
    type("=");
    EXPECT_EQ(editor_selected_sprite(), 1);
    press(sc_down, true);  // Shift+Down: a row of sprites on
    EXPECT_EQ(editor_selected_sprite(), 17);
    type("z");
    EXPECT_NE(status().find("2x2"), std::string::npos);
    EXPECT_NE(status().find("spr 017"), std::string::npos);
    type("38");
    EXPECT_EQ(editor_fget(cart, 17), 0x84);
    ctrl('z');
    EXPECT_EQ(editor_fget(cart, 17), 0x04);
}

TEST_F(SpritePage, SelectionMovesFlipsAndTurns) {
    editor_sprite_reset_view();
    paint_pattern(cart, {0, 0, 8, 8});
    const std::string start = sheet_of(cart);
    const int a = editor_sget(cart, 1, 1), b = editor_sget(cart, 2, 1);
    type("s");
    drag({on_canvas(1, 1), on_canvas(2, 2)});
    // Two arrow steps right move the 2x2 block; what it leaves is colour 0.
    press(sc_right);
    press(sc_right);
    EXPECT_EQ(editor_sget(cart, 3, 1), a);
    EXPECT_EQ(editor_sget(cart, 4, 1), b);
    EXPECT_EQ(editor_sget(cart, 1, 1), 0);
    // A selection cannot leave the shown sprite.
    for (int i = 0; i < 10; ++i) press(sc_right);
    EXPECT_EQ(editor_sget(cart, 7, 1), b);
    type("h");  // flip: the block's columns swap
    EXPECT_EQ(editor_sget(cart, 6, 1), b);
    EXPECT_EQ(editor_sget(cart, 7, 1), a);
    // The whole move and flip is undone as one.
    ctrl('z');
    EXPECT_EQ(sheet_of(cart), start);

    // Drag the selection with the mouse, then turn it.
    type("s");
    drag({on_canvas(0, 0), on_canvas(1, 1)});
    const int tl = editor_sget(cart, 0, 0), bl = editor_sget(cart, 0, 1);
    drag({on_canvas(0, 0), on_canvas(3, 4)});
    EXPECT_EQ(editor_sget(cart, 3, 4), tl);
    type("t");
    EXPECT_EQ(editor_sget(cart, 4, 4), tl);  // top-left went to top-right
    EXPECT_EQ(editor_sget(cart, 3, 4), bl);
    // Delete clears the selected pixels.
    press(sc_delete);
    EXPECT_EQ(editor_sget(cart, 3, 4), 0);
    EXPECT_EQ(editor_sget(cart, 4, 5), 0);
    // A 3x2 selection does not turn.
    type("s");
    drag({on_canvas(0, 6), on_canvas(2, 7)});
    const std::string wide = sheet_of(cart);
    type("t");
    EXPECT_EQ(sheet_of(cart), wide);
}

TEST_F(SpritePage, FlagsSheetStripAndTheSharedHalf) {
    // The fourth flag dot toggles flag 3 of the selected sprite.
    const std::pair<int, int> dot3 = {editor_sprite_flags_x + 3 * editor_sprite_flag_step + 2, editor_sprite_flags_y + 2};
    click(dot3);
    EXPECT_EQ(editor_fget(cart, 0), 8);
    EXPECT_EQ(status(), "flag 3 on: fget(n,3), key 4");  // the pointer on it says what it is
    click(dot3);
    EXPECT_EQ(editor_fget(cart, 0), 0);
    EXPECT_EQ(status(), "flag 3 off: fget(n,3), key 4");
    mouse({editor_sprite_tools_x + 1 * editor_sprite_tool_step + 2, editor_sprite_tools_y + 2}, 0, 0, 0);
    EXPECT_EQ(status(), "f fill same colour");
    // Bank tab 2, then the strip's second row, third column: sprite 146.
    click({editor_sprite_bank_x + 2 * editor_sprite_bank_step + 3, editor_sprite_bank_y + 3});
    click({editor_sprite_strip_x + 2 * 8 + 3, editor_sprite_strip_y + 8 + 3});
    EXPECT_EQ(editor_selected_sprite(), 128 + 16 + 2);
    // A pixel drawn there is a map cell of the lower half.
    click(on_canvas(16 + 1, 72 + 0));
    EXPECT_EQ(editor_mget(cart, 8, 36), 0x70);
    mouse(on_canvas(17, 72), 0, 0, 0);
    EXPECT_NE(status().find("17,72"), std::string::npos);
    EXPECT_NE(status().find(">146"), std::string::npos);
    // Hovering the strip names the sprite under the mouse.
    mouse({editor_sprite_strip_x + 5 * 8 + 1, editor_sprite_strip_y + 3 * 8 + 1}, 0, 0, 0);
    EXPECT_NE(status().find(">181"), std::string::npos);
    // Zoom 4x4 at sprite 146 shows 4 x 4 sprites; a click at its far
    // corner lands in sprite 146 + 3 * 16 + 3.
    click({editor_sprite_zoom_x + 2 * editor_sprite_zoom_step + 2, editor_sprite_zoom_y + 2});
    click(on_canvas(16 + 31, 72 + 31, 4));
    EXPECT_EQ(editor_sget(cart, 47, 103), 7);
}

TEST_F(SpritePage, UndoKeepsMapEditsMadeSinceInTheSharedHalf) {
    editor_set_selected_sprite(128);
    drag({on_canvas(0, 64), on_canvas(3, 64)});
    EXPECT_EQ(editor_mget(cart, 0, 32), 0x77);
    // The map editor then places sprite 5 on another cell of the lower
    // half and on a cell the stroke touched.
    editor_mset(cart, 10, 40, 5);
    editor_mset(cart, 1, 32, 5);
    ctrl('z');
    EXPECT_EQ(editor_mget(cart, 0, 32), 0);   // the stroke is undone
    EXPECT_EQ(editor_mget(cart, 10, 40), 5);  // the map's later edits stay
    EXPECT_EQ(editor_mget(cart, 1, 32), 5);
    ctrl('y');
    EXPECT_EQ(editor_mget(cart, 0, 32), 0x77);
    EXPECT_EQ(editor_mget(cart, 10, 40), 5);
}

TEST_F(SpritePage, ClipboardThroughThePage) {
    paint_pattern(cart, {0, 0, 8, 8});
    const std::string text = editor_sprite_page.copy(M, false);  // nothing selected: the shown sprite
    EXPECT_EQ(text, editor_sprite_copy_text(cart, {0, 0, 8, 8}));
    type("=");
    editor_checkpoint(M);
    ASSERT_TRUE(editor_sprite_page.paste(M, text));
    EXPECT_EQ(editor_sprite_copy_text(cart, {8, 0, 8, 8}), text);
    ASSERT_TRUE(editor_undo(M));
    EXPECT_TRUE(pixels_of(cart, {8, 0, 8, 8}, 0).size() == 64u);
    // Bad text says why in the status line and changes nothing.
    const std::string before = sheet_of(cart);
    EXPECT_FALSE(editor_sprite_page.paste(M, "[gfx]0202zz[/gfx]"));
    EXPECT_EQ(sheet_of(cart), before);
    bool warn = false;
    EXPECT_EQ(editor_sprite_page.status(M, &warn), "bad pixel in sprite paste");
    EXPECT_TRUE(warn);
    // Cutting a selection clears it.
    type("-s");
    drag({on_canvas(0, 0), on_canvas(1, 1)});
    const std::string cut = editor_sprite_page.copy(M, true);
    EXPECT_EQ(cut.rfind("[gfx]0202", 0), 0u);
    EXPECT_EQ(pixels_of(cart, {0, 0, 2, 2}, 0).size(), 4u);
}

TEST_F(SpritePage, SavedStateRestoresSheetFlagsAndView) {
    paint_pattern(cart, {0, 64, 16, 16});
    editor_fset(cart, 200, 0x5a);
    editor_set_selected_sprite(130);
    type("z");
    const std::string state = editor_sprite_page.save_state(M);
    const std::string sheet = sheet_of(cart);
    editor_sprite_box(cart, {0, 0, 128, 128}, 0, 0, 127, 127, 15, true);
    editor_fset(cart, 200, 0);
    editor_set_selected_sprite(3);
    type("zr");
    editor_sprite_page.load_state(M, state);
    EXPECT_EQ(sheet_of(cart), sheet);
    EXPECT_EQ(editor_fget(cart, 200), 0x5a);
    EXPECT_EQ(editor_selected_sprite(), 130);
    EXPECT_NE(status().find("2x2 pencil"), std::string::npos);
    // A state of the wrong size or kind is ignored.
    editor_sprite_page.load_state(M, "");
    editor_sprite_page.load_state(M, std::string(state.size(), 'x'));
    editor_sprite_page.load_state(M, state.substr(0, state.size() - 1));
    EXPECT_EQ(sheet_of(cart), sheet);
}

TEST_F(SpritePage, DrawsOnlyInsideTheBody) {
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    ASSERT_NE(page, nullptr);
    const editor_theme& theme = editor_theme_get(0);
    auto check = [&](const char* what) {
        fenn_clear_bitmap(page, 14);
        fenn_clear_clip(page);
        editor_sprite_page.draw(M, page, theme);
        bool changed_inside = false;
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const bool body = y >= editor_body_y0 && y < editor_body_y1;
                const uint8_t p = page->pix[size_t(y) * 128 + size_t(x)];
                if (!body) ASSERT_EQ(p, 14) << what << " at " << x << "," << y;
                else changed_inside |= p != 14;
            }
        EXPECT_TRUE(changed_inside) << what;
    };
    check("pencil at 1x1");
    editor_set_selected_sprite(255);
    type("zz");  // 4x4 at the sheet's corner: only one sprite is there
    press(sc_left);
    check("4x4 at the corner");
    editor_set_selected_sprite(0);
    type("s");
    drag({on_canvas(0, 0, 4), on_canvas(31, 31, 4)});
    check("a selection over the whole area");
    type("l ");
    press(sc_down);
    check("a line started by the keyboard");
    fenn_destroy_bitmap(page);
}

}  // namespace
