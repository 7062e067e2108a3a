// api: the global table a cartridge program sees.
//
// add_c_functions binds every machine function under its global name in a
// fresh script machine, in a fixed order, and records the names (except
// `t`) in the API name list used by token counting. No standard library of
// the script language is opened. The functions the runner itself provides
// (flip, time, the main-loop helpers) live here too.
#pragma once
struct lua_State;

void add_c_functions(lua_State* L);

int qz_flip(lua_State* L);
int qz_time(lua_State* L);
int qz_yield(lua_State* L);
int qz_holdframe(lua_State* L);
int qz_update_buttons(lua_State* L);
int qz_update_frame_rate(lua_State* L);
int qz_set_mainloop_exists(lua_State* L);
int qz_set_fps(lua_State* L);
int qz_mark_cpu(lua_State* L);
int qz_set_paused(lua_State* L);
int qz_paused(lua_State* L);
int qz_menuitem(lua_State* L);
int qz_get_menu_item_selected(lua_State* L);
int qz_printh(lua_State* L);
int qz_sfx(lua_State* L);
int qz_music(lua_State* L);
int qz_stat(lua_State* L);
