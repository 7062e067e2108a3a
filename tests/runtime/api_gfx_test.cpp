// The script-facing drawing functions, called from real script code: the
// argument count, nil and missing arguments, truth values, the text forms of
// print and the three result forms of fget reach the machine as they should.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "gfx_scene.h"
#include "machine/machine.h"
#include "lua/lua.h"
#include "lua/lua_aux.h"

namespace {

using namespace gfx_test;

class ApiGfx : public ::testing::Test {
protected:
    lua_State* L = nullptr;
    void SetUp() override {
        set_up();
        L = M->L;  // the machine's script machine, with every function bound
        ASSERT_NE(L, nullptr);
    }
    void TearDown() override { tear_down(); }
    void run(const char* code) {
        if (luaL_loadstring(L, code) != LUA_OK || lua_pcall(L, 0, 0, 0) != LUA_OK) {
            ADD_FAILURE() << code << ": " << lua_tostring(L, -1);
            lua_pop(L, 1);
        }
    }
    lua_Number number(const char* global) {
        lua_getglobal(L, global);
        lua_Number n = lua_tonumberx(L, -1, nullptr);
        lua_pop(L, 1);
        return n;
    }
    int type(const char* global) {
        lua_getglobal(L, global);
        int t = lua_type(L, -1);
        lua_pop(L, 1);
        return t;
    }
    int64_t cycles(const char* code) {
        int64_t before = M->draw_cycles;
        run(code);
        return M->draw_cycles - before;
    }
};

TEST_F(ApiGfx, ArgumentsCountNilAndTruth) {
    run("pset(1, 2, 8) a = pget(1, 2) b = pget(1)");
    EXPECT_EQ(number("a"), F(8));
    EXPECT_EQ(number("b"), 0);
    run("pset(3, 2, nil)");  // a nil colour counts as given: colour 0
    EXPECT_EQ(M->pen_col, 0);
    run("color(9) pset(4, 2)");
    EXPECT_EQ(px(4, 2), 9);
    run("circ(64, 64)");  // two arguments: radius 4
    EXPECT_EQ(px(68, 64), 9);
    run("cls() spr(1, 0, 0, 1, 1, true)");  // flipped: the mark moves left
    EXPECT_EQ(px(2, 5), 7);
    run("cls() spr(1, 0, 0, 1, 1, nil, 1)");  // nil is false, 1 is true
    EXPECT_EQ(px(5, 2), 7);
    run("palt(0, false) spr(1, 8, 8)");
    EXPECT_EQ(px(9, 9), 0);
    EXPECT_EQ(M->draw_pal[0], 0);
    run("fillp(0x5a5a.8)");
    EXPECT_EQ(M->fill_pattern, 0x15a5a);
    run("fillp()");
    EXPECT_EQ(M->fill_pattern, 0);
    run("camera(-128) clip(1, 2, 3, 4) cursor(5, 6)");
    EXPECT_EQ(M->camera_x, -128);
    EXPECT_EQ(M->clip_x1, 4);
    EXPECT_EQ(M->cursor_y, 6);
}

// Every argument is read as lua_tonumber reads it: numeric strings are
// numbers, other values read 0 but still count as given.
TEST_F(ApiGfx, ArgumentsOfOtherTypes) {
    run("cls() pset('5', ' 6 ', '12')");
    EXPECT_EQ(px(5, 6), 12);
    run("pset(7, 8, 'x')");  // a colour given, not a number: colour 0
    EXPECT_EQ(M->pen_col, 0);
    run("cls(12) color(3) rectfill(0, 0, '2', 1, {}) circfill(20, 20, 1, 0x1.8)");
    EXPECT_EQ(px(2, 1), 0);
    EXPECT_EQ(px(3, 1), 12);
    EXPECT_EQ(px(20, 21), 1);
    run("color(4) pset(true, 9)");  // x reads 0, two arguments: the pen colour
    EXPECT_EQ(px(0, 9), 4);
    run("pset(30) x = pget(30)");  // too few: nothing drawn, pget reads 0
    EXPECT_EQ(number("x"), 0);
}

TEST_F(ApiGfx, SheetMapAndFlagsResults) {
    run("sset(0, 64, 5) s = sget(0, 64) m = mget(0, 32) mset(1, 40, 0x23) t = sget(2, 80)");
    EXPECT_EQ(number("s"), F(5));
    EXPECT_EQ((number("m") >> 16) & 15, 5);  // the low nibble: pixel (0, 64)
    EXPECT_EQ(number("t"), F(3));
    run("fset(1, 3) fset(1, 3, true) n = fget(1) f = fget(1, 3) g = fget(1, 2) none = {fget()}");
    EXPECT_EQ(number("n"), F(11));
    EXPECT_EQ(type("f"), LUA_TBOOLEAN);
    run("ok = f == true and g == false and #none == 0");
    lua_getglobal(L, "ok");
    EXPECT_TRUE(lua_toboolean(L, -1));
    lua_pop(L, 1);
    run("mset(0, 0, 1) cls() map(0, 0, 0, 0, 1, 1) mapdraw(0, 0, 8, 0, 1, 1)");
    EXPECT_EQ(px(0, 0), 2);
    EXPECT_EQ(px(8, 0), 2);
}

// print turns any value into text: the charge of 8 cycles per byte plus 2
// shows how long that text was.
TEST_F(ApiGfx, PrintTurnsValuesIntoText) {
    EXPECT_EQ(cycles("print(nil)"), 8 * 5 + 2);      // [nil]
    EXPECT_EQ(cycles("print(true)"), 8 * 4 + 2);     // true
    EXPECT_EQ(cycles("print(false)"), 8 * 5 + 2);    // false
    EXPECT_EQ(cycles("print(12.5)"), 8 * 4 + 2);     // 12.5
    EXPECT_EQ(cycles("print({})"), 8 * 7 + 2);       // [table]
    EXPECT_EQ(cycles("print('hi')"), 8 * 2 + 2);
    EXPECT_EQ(cycles("print()"), 0);
    M->cursor_y = 0;
    run("print('hi')");
    EXPECT_EQ(M->cursor_y, 6);
    run("print('hi', 10, 20, 8)");
    EXPECT_EQ(M->cursor_x, 10);
    EXPECT_EQ(M->pen_col, 8);
}

// pal with a table is pal(k, t[k]) for each key, with p passed on.
TEST_F(ApiGfx, PalWithATableEqualsItsSeparateCalls) {
    run("pal(8, 12) pal(1, 2) pal(3, 4, 1) pal(0, 5, 1)");
    int32_t draw[16], shown[16];
    std::copy(M->draw_pal, M->draw_pal + 16, draw);
    std::copy(M->screen_pal, M->screen_pal + 16, shown);
    run("pal()");
    run("pal({[8] = 12, [1] = 2}) pal({[3] = 4, [0] = 5}, 1)");
    EXPECT_TRUE(std::equal(draw, draw + 16, M->draw_pal));
    EXPECT_TRUE(std::equal(shown, shown + 16, M->screen_pal));
    // A list sets colours 1, 2, ...; the transparency bit stays as pal leaves it.
    run("pal() palt(2, true) pal({9, 10})");
    EXPECT_EQ(M->draw_pal[1], 9);
    EXPECT_EQ(M->draw_pal[2], 10 | 0x10);
    EXPECT_EQ(M->screen_pal[1], 1);
    run("pal({})");
    EXPECT_EQ(M->draw_pal[1], 9);  // an empty table changes nothing, resets nothing
}

TEST_F(ApiGfx, OvalAndTlineArguments) {
    run("oval(0, 0, 4, 4, 8) ovalfill(10, 0, 14, 4)");
    EXPECT_EQ(px(2, 0), 8);
    EXPECT_EQ(px(0, 0), 0);
    EXPECT_EQ(px(12, 2), 8);  // no colour: the pen's, which oval set
    // Sprite 1 in cell 0; six arguments walk one sheet pixel a step.
    run("mset(0, 0, 1) cls() tline(0, 0, 7, 0, 0, 0)");
    for (int x = 0; x < 8; ++x) EXPECT_EQ(px(x, 0), int(M->cart->gfx->pix[size_t(x) + 8])) << x;
    // Given steps: 0 stays on one texel; 1 cell a pixel leaves the map.
    run("cls() tline(0, 1, 7, 1, 0.5, 0, 0)");
    for (int x = 0; x < 8; ++x) EXPECT_EQ(px(x, 1), int(M->cart->gfx->pix[4 + 8])) << x;
    run("cls(3) poke(0x5f3a, 200) tline(0, 2, 7, 2, 0, 0) a = peek(0x5f3a)");
    EXPECT_EQ(count_colour(3), 128 * 128);
    EXPECT_EQ(number("a"), F(200));
}

}  // namespace
