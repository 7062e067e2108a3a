// btn and btnp called from script code: argument forms, nil and fractional
// arguments, and the two result forms.
#include <gtest/gtest.h>

#include "framework/fenn_platform.h"
#include "machine/button.h"
#include "machine/machine.h"
#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "test_support.h"

namespace {

class ApiButton : public ::testing::Test {
protected:
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    lua_State* L = M->L;
    void SetUp() override {
        fenn_keys_init();
        M->target_fps = 30;
        vexel_buttons_reset(M);
        vexel_clear_button_replay(M);
    }
    void TearDown() override { fenn_keys_init(); }
    void run(const char* code) {
        if (luaL_loadstring(L, code) != LUA_OK || lua_pcall(L, 0, 0, 0) != LUA_OK) {
            ADD_FAILURE() << code << ": " << lua_tostring(L, -1);
            lua_pop(L, 1);
        }
    }
    // A global as the test sees it: -1 for false, -2 for true, else the integer.
    int value(const char* global) {
        lua_getglobal(L, global);
        int v = lua_type(L, -1) == LUA_TBOOLEAN ? (lua_toboolean(L, -1) ? -2 : -1)
                                                : int(lua_tonumberx(L, -1, nullptr) >> 16);
        lua_pop(L, 1);
        return v;
    }
};

TEST_F(ApiButton, ArgumentFormsAndResults) {
    // Player 0 holds left and O, player 1 right (the mask is 17 + 512).
    vexel_set_button_replay(M, {17 | 512, 17 | 512});
    vexel_buttons_update(M);
    vexel_buttons_read(M);
    vexel_buttons_update(M);
    vexel_buttons_read(M);
    M->buttons.program_reads = 0;
    run("a = btn() b = btn(4) c = btn(4.9) d = btn(1, 1) e = btn(1, nil) f = btn(0, 8) g = btn(0, -1)"
        " h = btn(9) i = btn(-3) j = btnp(4) k = btnp() l = btnp(4, 1)");
    EXPECT_EQ(value("a"), 17 + 512);
    EXPECT_EQ(value("b"), -2);
    EXPECT_EQ(value("c"), -2);   // the integer part counts
    EXPECT_EQ(value("d"), -2);
    EXPECT_EQ(value("e"), -1);   // nil is player 0
    EXPECT_EQ(value("f"), -1);
    EXPECT_EQ(value("g"), -1);
    EXPECT_EQ(value("h"), -1);   // clamped to button 7
    EXPECT_EQ(value("i"), -2);   // clamped to button 0
    EXPECT_EQ(value("j"), -2);
    EXPECT_EQ(value("k"), 17 + 512);
    EXPECT_EQ(value("l"), -1);
    EXPECT_EQ(M->buttons.program_reads, 1);

    vexel_buttons_update(M);
    vexel_buttons_read(M);  // the replay has ended: nothing is held
    run("a = btn() k = btnp() b = btn(4)");
    EXPECT_EQ(value("a"), 0);
    EXPECT_EQ(value("k"), 0);
    EXPECT_EQ(value("b"), -1);
}

}  // namespace
