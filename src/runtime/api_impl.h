// api_impl: the script functions behind the table of runtime/api.cpp, by
// family. Each finds its machine through api_machine(L), reads its
// arguments as the table's rules say and does its work through the machine
// layer. Most are ordinary lua_CFunctions that push their results; those
// of numbers only are number functions (api_number_fn below).
#pragma once
#include <cstdint>

#include "lua/lua.h"
#include "lua/lua_numbers.h"

struct vexel_machine;

// Shared by the implementations: argument i as a raw 16.16 value (0 when
// missing or not a number), its integer part, and a string argument or null.
int32_t api_arg(lua_State* L, int i);
int32_t api_int_arg(lua_State* L, int i);
const char* api_string_arg(lua_State* L, int i);
// The first N arguments as raw 16.16 values (api_arg's reading) and how
// many were given, read in one call (lua_vexel_numbers): the drawing and
// math builtins take their arguments this way. It cut a pset call by a
// fifth and bench_frame by about 4% of its host instructions (a pset call
// read its three arguments and the count in four calls before).
template <int N>
struct api_numbers {
    lua_Number v[N];
    int count;
    explicit api_numbers(lua_State* L) : count(lua_vexel_numbers(L, v)) {}
    lua_Number operator[](int i) const { return v[i]; }
};

// The machine whose script machine L is (vexel_lua_machine, without the
// extra calls: every binding asks for it).
inline vexel_machine* api_machine(lua_State* L) { return static_cast<vexel_machine*>(lua_vexel_host(L)); }
// Plays sound effect `effect` of the machine `machine` as sfx(effect) does:
// what print's sound command calls back (api_sound.cpp).
void api_play_print_sound(void* machine, int effect);

// The functions declared as api_number_fn are number functions (lua.h):
// they get the count of arguments given and the first four as raw 16.16
// values (0 when missing or not a number), and give one number (api_result)
// or nothing (api_none). The table binds them with lua_pushnumberfunction.
using api_number_fn = lua_NumberResult(lua_State* L, int count, lua_Number a, lua_Number b, lua_Number c,
                                       lua_Number d);
constexpr lua_NumberResult api_none{0, 0};
inline lua_NumberResult api_result(lua_Number v) { return {1, v}; }

// Drawing, sprites, the map and text (api_gfx.cpp).
api_number_fn qz_cls;
api_number_fn qz_pset;
api_number_fn qz_pget;
int qz_line(lua_State* L);
int qz_rect(lua_State* L);
int qz_rectfill(lua_State* L);
api_number_fn qz_circ;
api_number_fn qz_circfill;
api_number_fn qz_clip;
api_number_fn qz_camera;
int qz_pal(lua_State* L);
int qz_palt(lua_State* L);
api_number_fn qz_color;
api_number_fn qz_cursor;
api_number_fn qz_fillp;
int qz_print(lua_State* L);
int qz_spr(lua_State* L);
int qz_sspr(lua_State* L);
api_number_fn qz_sget;
api_number_fn qz_sset;
api_number_fn qz_mget;
api_number_fn qz_mset;
int qz_fget(lua_State* L);
int qz_fset(lua_State* L);
int qz_mapdraw(lua_State* L);
int qz_oval(lua_State* L);
int qz_ovalfill(lua_State* L);
int qz_tline(lua_State* L);

// Numbers and bits (api_math.cpp).
api_number_fn qz_flr;
api_number_fn qz_abs;
api_number_fn qz_sgn;
api_number_fn qz_min;
api_number_fn qz_max;
api_number_fn qz_mid;
api_number_fn qz_sin;
api_number_fn qz_cos;
api_number_fn qz_atan2;
api_number_fn qz_sqrt;
int qz_rnd(lua_State* L);
int qz_srand(lua_State* L);
api_number_fn qz_band;
api_number_fn qz_bor;
api_number_fn qz_bxor;
api_number_fn qz_bnot;
api_number_fn qz_shl;
api_number_fn qz_shr;
api_number_fn qz_ceil;
api_number_fn qz_lshr;
api_number_fn qz_rotl;
api_number_fn qz_rotr;

// Memory, cartridge ROM and save data (api_memory.cpp).
int qz_peek(lua_State* L);
int qz_poke(lua_State* L);
int qz_peek2(lua_State* L);
int qz_poke2(lua_State* L);
int qz_peek4(lua_State* L);
int qz_poke4(lua_State* L);
int qz_memcpy(lua_State* L);
int qz_memset(lua_State* L);
int qz_reload(lua_State* L);
int qz_cstore(lua_State* L);
int qz_cartdata(lua_State* L);
int qz_dget(lua_State* L);
int qz_dset(lua_State* L);

// Buttons (api_input.cpp).
int qz_btn(lua_State* L);
int qz_btnp(lua_State* L);

// Sound (api_sound.cpp).
int qz_sfx(lua_State* L);
int qz_music(lua_State* L);

// The program and the frame (api_system.cpp).
int qz_flip(lua_State* L);
int qz_time(lua_State* L);
int qz_printh(lua_State* L);
int qz_stat(lua_State* L);
int qz_run(lua_State* L);
int qz_stop(lua_State* L);
int qz_menuitem(lua_State* L);
int qz_holdframe(lua_State* L);
int qz_paused(lua_State* L);
int qz_get_menu_item_selected(lua_State* L);
int qz_update_buttons(lua_State* L);
int qz_update_frame_rate(lua_State* L);
int qz_set_mainloop_exists(lua_State* L);
int qz_set_fps(lua_State* L);
int qz_mark_cpu(lua_State* L);
int qz_set_paused(lua_State* L);
int qz_extcmd(lua_State* L);
int qz_login(lua_State* L);
int qz_logout(lua_State* L);
int qz_bbsreq(lua_State* L);
int qz_scoresub(lua_State* L);

// The console's commands (api_console.cpp).
int qz_folder(lua_State* L);
int qz_ls(lua_State* L);
int qz_cd(lua_State* L);
int qz_mkdir(lua_State* L);
int qz_install_demos(lua_State* L);
int qz_install_games(lua_State* L);
int qz_keyconfig(lua_State* L);
int qz_browse(lua_State* L);
int qz_load(lua_State* L);
int qz_save(lua_State* L);
int qz_reboot(lua_State* L);
int qz_shutdown(lua_State* L);
int qz_new(lua_State* L);
int qz_info(lua_State* L);
int qz_export(lua_State* L);
int qz_import(lua_State* L);
int qz_help(lua_State* L);
