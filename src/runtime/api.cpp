#include "runtime/api.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "app/commands.h"
#include "audio/audio.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_text.h"
#include "machine/api_button.h"
#include "machine/api_gfx.h"
#include "machine/api_math.h"
#include "machine/button.h"
#include "machine/gfx.h"
#include "machine/pstate.h"
#include "machine/text.h"
#include "lua/lua.h"
#include "lua/lua_base.h"
#include "lua/lua_co.h"
#include "runtime/run.h"
#include "runtime/stat.h"
#include "runtime/token.h"

namespace {

constexpr int32_t sound_call_cycles = 16;

int32_t arg(lua_State* L, int i) { return lua_tonumberx(L, i, nullptr); }
int32_t int_arg(lua_State* L, int i) { return arg(L, i) >> 16; }

struct Binding {
    const char* name;
    lua_CFunction fn;
};

// Binding order is part of the system: it fixes the API name list.
const Binding bindings[] = {
    {"flip", qz_flip},
    {"camera", qz_camera}, {"clip", qz_clip}, {"cls", qz_cls},
    {"folder", qz_folder}, {"ls", qz_ls}, {"dir", qz_ls}, {"cd", qz_cd}, {"mkdir", qz_mkdir},
    {"install_demos", qz_install_demos}, {"install_games", qz_install_games}, {"keyconfig", qz_keyconfig},
    {"splore", qz_splore},
    {"pset", qz_pset}, {"pget", qz_pget}, {"color", qz_color},
    {"print", qz_print}, {"printh", qz_printh}, {"cursor", qz_cursor},
    {"tonum", qz_tonum}, {"tostr", qz_tostr},
    {"spr", qz_spr}, {"sspr", qz_sspr},
    {"rect", qz_rect}, {"rectfill", qz_rectfill}, {"circ", qz_circ}, {"circfill", qz_circfill},
    {"line", qz_line}, {"pal", qz_pal}, {"palt", qz_palt}, {"fillp", qz_fillp},
    {"mapdraw", qz_mapdraw}, {"map", qz_mapdraw}, {"mget", qz_mget}, {"mset", qz_mset}, {"fget", qz_fget},
    {"fset", qz_fset}, {"sget", qz_sget}, {"sset", qz_sset},
    {"music", qz_music}, {"sfx", qz_sfx},
    {"peek", qz_peek}, {"poke", qz_poke}, {"memcpy", qz_memcpy}, {"memset", qz_memset},
    {"reload", qz_reload}, {"cstore", qz_cstore},
    {"rnd", qz_rnd}, {"srand", qz_srand}, {"flr", qz_flr}, {"sgn", qz_sgn}, {"abs", qz_abs},
    {"min", qz_min}, {"max", qz_max}, {"mid", qz_mid}, {"cos", qz_cos}, {"sin", qz_sin},
    {"sqrt", qz_sqrt}, {"atan2", qz_atan2}, {"band", qz_band}, {"bor", qz_bor}, {"bxor", qz_bxor},
    {"bnot", qz_bnot}, {"shl", qz_shl}, {"shr", qz_shr},
    {"load", qz_load}, {"save", qz_save}, {"run", qz_run}, {"stop", qz_stop}, {"reboot", qz_reboot},
    {"shutdown", qz_shutdown}, {"exit", qz_shutdown}, {"info", qz_info}, {"export", qz_export},
    {"import", qz_import}, {"help", qz_help},
    {"time", qz_time}, {"t", qz_time},
    {"login", qz_login}, {"logout", qz_logout}, {"bbsreq", qz_bbsreq}, {"scoresub", qz_scoresub},
    {"extcmd", qz_extcmd},
    {"btn", qz_btn}, {"btnp", qz_btnp},
    {"_menuitem", qz_menuitem},
    {"cartdata", qz_cartdata}, {"dget", qz_dget}, {"dset", qz_dset},
    {"stat", qz_stat},
    {"sub", luaB_sub},
    {"pairs", luaB_pairs}, {"type", luaB_type}, {"assert", luaB_assert}, {"setmetatable", luaB_setmetatable},
    {"getmetatable", luaB_getmetatable},
    {"cocreate", luaB_cocreate}, {"coresume", luaB_coresume}, {"costatus", luaB_costatus},
    {"yield", qz_yield},
    {"trace", luaB_trace},
    {"_paused", qz_paused},
    {"holdframe", qz_holdframe},
    {"_get_menu_item_selected", qz_get_menu_item_selected},
    {"_update_buttons", qz_update_buttons},
    {"_update_framerate", qz_update_frame_rate},
    {"_set_mainloop_exists", qz_set_mainloop_exists},
    {"_set_fps", qz_set_fps},
    {"_mark_cpu", qz_mark_cpu},
    {"_set_paused", qz_set_paused},
};

}  // namespace

void add_c_functions(lua_State* L) {
    init_api_function_names();
    for (const Binding& b : bindings) {
        lua_pushcfunction(L, b.fn);
        lua_setglobal(L, b.name);
        if (std::strcmp(b.name, "t") != 0) add_api_function_name(b.name);
    }
}

int qz_flip(lua_State* L) {
    runner.frame_cycles = runner.cycles_since_flip = runner.api_cycles_since_flip = 0;
    read_buttons();
    pstate.held_frame = 0;
    return lua_yield(L, 0);
}

int qz_time(lua_State* L) {
    lua_pushnumber(L, int32_t((int64_t(pstate.program_frame) << 16) / 30));
    return 1;
}

int qz_yield(lua_State* L) { return lua_yield(L, 0); }

int qz_holdframe(lua_State*) {
    pstate.held_frame = 1;
    runner.held_any = 1;
    return 0;
}

int qz_update_buttons(lua_State*) {
    pstate.program_frame++;
    update_buttons();
    return 0;
}

int qz_update_frame_rate(lua_State*) {
    update_frame_rate();
    return 0;
}

int qz_set_mainloop_exists(lua_State* L) {
    runner.mainloop_kind = int_arg(L, 1);
    return 0;
}

int qz_set_fps(lua_State* L) {
    runner.fps = runner.base_fps = int_arg(L, 1);
    pstate.target_fps = runner.fps;
    return 0;
}

int qz_mark_cpu(lua_State* L) {
    int i = int_arg(L, 1);
    i = i < 0 ? 0 : i > 2 ? 2 : i;
    runner.cpu_mark[i] = runner.cycles_since_flip;
    runner.time_mark[i] = fenn_get_time();
    return 0;
}

int qz_set_paused(lua_State* L) {
    runner.program_paused = int_arg(L, 1);
    fenn_state.audio_pause_state = runner.program_paused;
    return 0;
}

int qz_paused(lua_State*) {
    fenn_bitmap* s = pstate.screen;
    if (!s) return 0;
    for (int y = 48; y <= 56; ++y)
        for (int x = 45; x <= 82; ++x) s->pix[size_t(y) * 128 + size_t(x)] = 1;
    fenn_draw_text_ex(s, "paused", vexel_console_font, 64, 50, fenn_text_single_colour | fenn_text_centre, 7);
    return 0;
}

int qz_menuitem(lua_State* L) {
    int i = int_arg(L, 1);
    if (i < 1 || i > run_menu_items) return 0;
    const char* label = lua_isstring(L, 2) ? lua_tostring(L, 2) : "";
    std::snprintf(runner.menu_labels[i - 1], sizeof runner.menu_labels[i - 1], "%s", label);
    return 0;
}

int qz_get_menu_item_selected(lua_State* L) {
    int i = int_arg(L, 1);
    bool selected = i >= 1 && i <= run_menu_items && runner.menu_selected[i - 1];
    if (selected) runner.menu_selected[i - 1] = 0;
    lua_pushboolean(L, selected);
    return 1;
}

// Debug output to the host's standard output, as the value prints. It
// costs a cycle a byte, one call writes at most run_printh_call_max bytes,
// and a headless run (whose output a program could otherwise flood) stops
// the program past run_printh_exec_total.
int qz_printh(lua_State* L) {
    const char* text = luaB_pushtostr(L, 1, false);
    const size_t length = std::min(text ? std::strlen(text) : 0, run_printh_call_max);
    spend_cpu(int32_t(length));
    runner.printh_bytes += int64_t(length) + 1;
    if (app.exec_mode && runner.printh_bytes > run_printh_exec_total) run_stop_program(L, "printh: too much output");
    std::fwrite(text ? text : "", 1, length, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return 0;
}

int qz_sfx(lua_State* L) {
    int channel = lua_gettop(L) >= 2 ? int_arg(L, 2) : -1;
    vexel_audio_sfx(pstate.cart, int_arg(L, 1), channel, int_arg(L, 3), int_arg(L, 4));
    spend_cpu(sound_call_cycles);
    return 0;
}

int qz_music(lua_State* L) {
    vexel_audio_music(pstate.cart, int_arg(L, 1), int_arg(L, 2), int_arg(L, 3));
    spend_cpu(sound_call_cycles);
    return 0;
}
