// api_gfx: the script-facing drawing functions (qz_cls ... qz_sset), as
// native functions of the script machine.
//
// Each is a thin adapter: it reads its arguments off the script stack as raw
// 16.16 values (missing ones read as 0), truth values as bool and the count
// of arguments given, calls the machine-level function of machine/gfx,
// machine/sprite or machine/text, and pushes its result. All argument rules,
// drawing and CPU charges live in those functions. None raises an error or
// holds a resource, so an error unwinding through them leaves nothing behind.
#pragma once

struct lua_State;

int qz_cls(lua_State* L);
int qz_pset(lua_State* L);
int qz_pget(lua_State* L);
int qz_line(lua_State* L);
int qz_rect(lua_State* L);
int qz_rectfill(lua_State* L);
int qz_circ(lua_State* L);
int qz_circfill(lua_State* L);
int qz_clip(lua_State* L);
int qz_camera(lua_State* L);
int qz_pal(lua_State* L);
int qz_palt(lua_State* L);
int qz_color(lua_State* L);
int qz_cursor(lua_State* L);
int qz_fillp(lua_State* L);
int qz_print(lua_State* L);
int qz_spr(lua_State* L);
int qz_sspr(lua_State* L);
int qz_sget(lua_State* L);
int qz_sset(lua_State* L);
int qz_mget(lua_State* L);
int qz_mset(lua_State* L);
int qz_fget(lua_State* L);
int qz_fset(lua_State* L);
int qz_mapdraw(lua_State* L);  // bound as both map and mapdraw
