// api_button: the script-facing button functions btn and btnp, as native
// functions of the script machine.
//
// Thin adapters over machine/button: arguments are read as raw 16.16 values
// and cut to their integer part (missing ones read as 0), and the answer is
// pushed as a boolean (with arguments) or as the two players' button mask
// (without). A call with arguments charges 4 cycles. Neither raises an error
// or holds a resource.
#pragma once

struct lua_State;

int qz_btn(lua_State* L);
int qz_btnp(lua_State* L);
