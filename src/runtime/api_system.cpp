// The program and the frame: flip, time, yield, printh, stat, run and stop,
// the pause menu's items, and the helpers of the generated main loop (the
// functions whose names start with '_' and holdframe). Also the board
// functions of other consoles, which answer that no board is there.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "audio/audio.h"
#include "framework/fenn_input.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_text.h"
#include "framework/fenn_video.h"
#include "lua/lua.h"
#include "lua/lua_base.h"
#include "machine/button.h"
#include "machine/cpu.h"
#include "machine/host.h"
#include "machine/lua_alloc.h"
#include "machine/machine.h"
#include "machine/mem.h"
#include "machine/text.h"
#include "runtime/api_impl.h"
#include "runtime/run.h"

namespace {

constexpr int32_t stat_cycles = 16;
constexpr int32_t stat_version = 14;

int32_t whole(int64_t v) { return int32_t(uint32_t(uint64_t(v) << 16)); }

// Six clock fields, formatted and read back as the C library gives them.
bool clock_fields(bool local, int out[6]) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (!(local ? localtime_r(&now, &tm) : gmtime_r(&now, &tm))) return false;
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return std::sscanf(buf, "%d-%d-%d %d:%d:%d", &out[0], &out[1], &out[2], &out[3], &out[4], &out[5]) == 6;
}

// Bit 0 of 0x5f2d turns on the mouse and keyboard readings (a program that
// also sets other bits of it still gets them).
bool devkit_on(const vexel_machine* m) { return (m->ram[vexel_reg_devkit_mouse] & vexel_devkit_keyboard) != 0; }

int32_t mouse_query(const vexel_machine* m, int n) {
    if (!devkit_on(m)) return 0;
    int x = 0, y = 0, buttons = 0;
    fenn_get_mouse(&x, &y, &buttons);
    switch (n) {
    case 32: return whole(x);
    case 33: return whole(y);
    case 34: return whole(buttons);
    default: return 0;
    }
}

}  // namespace

int qz_flip(lua_State* L) {
    vexel_machine* m = api_machine(L);
    vexel_cpu_new_frame(m);
    vexel_buttons_read(m);
    m->held_frame = 0;
    return lua_yield(L, 0);
}

int qz_time(lua_State* L) {
    lua_pushnumber(L, int32_t((int64_t(api_machine(L)->program_frame) << 16) / 30));
    return 1;
}

int qz_holdframe(lua_State* L) {
    vexel_machine* m = api_machine(L);
    m->held_frame = 1;
    m->runner->held_any = 1;
    return 0;
}

int qz_update_buttons(lua_State* L) {
    vexel_machine* m = api_machine(L);
    m->program_frame++;
    vexel_buttons_update(m);
    return 0;
}

int qz_update_frame_rate(lua_State* L) {
    run_update_frame_rate(api_machine(L));
    return 0;
}

int qz_set_mainloop_exists(lua_State* L) {
    api_machine(L)->runner->mainloop_kind = api_int_arg(L, 1);
    return 0;
}

int qz_set_fps(lua_State* L) {
    vexel_machine* m = api_machine(L);
    m->runner->fps = m->runner->base_fps = api_int_arg(L, 1);
    m->target_fps = m->runner->fps;
    return 0;
}

int qz_mark_cpu(lua_State* L) {
    vexel_machine* m = api_machine(L);
    int i = std::clamp(api_int_arg(L, 1), 0, 2);
    m->runner->cpu_mark[i] = m->cpu.cycles_since_flip;
    m->runner->time_mark[i] = fenn_get_time();
    return 0;
}

int qz_set_paused(lua_State* L) {
    vexel_machine* m = api_machine(L);
    m->runner->program_paused = api_int_arg(L, 1);
    m->audio_pause_state = m->runner->program_paused;
    return 0;
}

// The pause menu's "paused" box, drawn into the machine screen.
int qz_paused(lua_State* L) {
    vexel_machine* m = api_machine(L);
    fenn_bitmap* s = m->screen;
    if (!s) return 0;
    for (int y = 48; y <= 56; ++y)
        for (int x = 45; x <= 82; ++x) s->pix[size_t(y) * 128 + size_t(x)] = 1;
    fenn_draw_text_ex(s, "paused", m->console_font, 64, 50, fenn_text_single_colour | fenn_text_centre, 7);
    return 0;
}

int qz_menuitem(lua_State* L) {
    vexel_machine* m = api_machine(L);
    int i = api_int_arg(L, 1);
    if (i < 1 || i > run_menu_items) return 0;
    const char* label = lua_isstring(L, 2) ? lua_tostring(L, 2) : "";
    std::snprintf(m->runner->menu_labels[i - 1], sizeof m->runner->menu_labels[i - 1], "%s", label);
    return 0;
}

int qz_get_menu_item_selected(lua_State* L) {
    vexel_machine* m = api_machine(L);
    int i = api_int_arg(L, 1);
    bool selected = i >= 1 && i <= run_menu_items && m->runner->menu_selected[i - 1];
    if (selected) m->runner->menu_selected[i - 1] = 0;
    lua_pushboolean(L, selected);
    return 1;
}

// Debug output to the host's standard output, as the value prints. It
// costs a cycle a byte, one call writes at most run_printh_call_max bytes,
// and a headless run (whose output a program could otherwise flood) stops
// the program past run_printh_exec_total.
int qz_printh(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const char* text = luaB_pushtostr(L, 1, false);
    const size_t length = std::min(text ? std::strlen(text) : 0, run_printh_call_max);
    vexel_cpu_spend(m, int32_t(length));
    m->runner->printh_bytes += int64_t(length) + 1;
    if (vexel_host_exec_mode(m) && m->runner->printh_bytes > run_printh_exec_total)
        run_stop_program(L, "printh: too much output");
    std::string line(text ? text : "", length);
    line += '\n';
    vexel_host_output(m, line.data(), line.size());
    return 0;
}

int qz_stat(lua_State* L) {
    vexel_machine* m = api_machine(L);
    int n = lua_gettop(L) >= 1 ? api_int_arg(L, 1) : 2;
    if (n == 4) {
        lua_pushstring(L, m->clipboard.c_str());
        return 1;
    }
    if (n == 6) {
        lua_pushstring(L, m->runner->params);
        return 1;
    }
    vexel_cpu_spend(m, stat_cycles);
    if (n == 30) {
        lua_pushboolean(L, devkit_on(m) && vexel_typed_waiting(m));
        return 1;
    }
    if (n == 31) {
        const int c = devkit_on(m) ? vexel_typed_take(m) : -1;
        const char byte = char(c);
        lua_pushlstring(L, &byte, c < 0 ? 0 : 1);
        return 1;
    }
    int32_t v = 0;
    switch (n) {
    case 0: {
        int64_t used = m->L ? vexel_lua_program_memory(&m->heap) : 0;
        if (used > run_memory_limit) used = run_memory_limit;
        v = used < 0 ? 0 : int32_t(used * 64);
        break;
    }
    case 1: v = run_frame_capacity(m, m->cpu.cycles_since_flip); break;
    case 2: v = run_frame_capacity(m, m->cpu.api_cycles_since_flip); break;
    case 5: v = whole(stat_version); break;
    case 7: v = whole(m->runner->fps); break;
    case 8: {
        // Before the main loop sets it (at load, in _init) the rate is the
        // one the loop will choose, never 0, which programs divide by.
        int32_t fps = m->runner->base_fps;
        if (fps <= 0) {
            lua_getglobal(L, "_update60");
            fps = lua_isnil(L, -1) ? 30 : 60;
            lua_pop(L, 1);
        }
        v = whole(fps);
        break;
    }
    case 9: v = whole(fenn_get_fps()); break;
    case 10: v = whole(m->runner->penalty); break;
    case 16: case 17: case 18: case 19:
    case 20: case 21: case 22: case 23:
    case 24: case 25: case 26: v = whole(vexel_audio_stat(m->audio, m->cart, n)); break;
    case 32: case 33: case 34: v = mouse_query(m, n); break;
    case 35: v = devkit_on(m) ? whole(m->buttons.wheel_x) : 0; break;
    case 36: v = devkit_on(m) ? whole(m->buttons.wheel_y) : 0; break;
    case 80: case 81: case 82: case 83: case 84: case 85:
    case 90: case 91: case 92: case 93: case 94: case 95: {
        int f[6];
        if (clock_fields(n >= 90, f)) v = whole(f[n % 10]);
        break;
    }
    default: break;
    }
    lua_pushnumber(L, v);
    return 1;
}

int qz_run(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const char* params = api_string_arg(L, 1);
    std::snprintf(m->runner->pending_params, sizeof m->runner->pending_params, "%s", params ? params : "");
    m->runner->program_restart = 1;
    vexel_host_request(m, vexel_request_run);
    return 0;
}

int qz_stop(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const int argc = lua_gettop(L);
    vexel_host_request(m, vexel_request_stop);
    m->camera_x = m->camera_y = 0;
    if (argc >= 1) {
        const char* text = luaB_pushtostr(L, 1, false);
        const size_t len = text ? std::strlen(text) : 0;
        const vexel_print_sound sound{api_play_print_sound, m};
        vexel_script_print(m, argc, text ? text : "", len, api_arg(L, 2), api_arg(L, 3), api_arg(L, 4), true, sound);
    }
    // Where no yield is possible (a finalizer, a metamethod called from C)
    // the program ends from here, its message kept.
    if (!lua_vexel_canyieldall(L)) run_end_program(L);
    return lua_yield(L, 0);
}

int qz_extcmd(lua_State*) { return 0; }

int qz_login(lua_State* L) {
    vexel_machine* m = api_machine(L);
    vexel_print(m, "login unavailable.");
    vexel_print(m, "please update vexel!");
    lua_pushnil(L);
    return 1;
}

int qz_logout(lua_State* L) {
    lua_pushnil(L);
    return 1;
}

int qz_bbsreq(lua_State* L) {
    lua_pushnil(L);
    return 1;
}

int qz_scoresub(lua_State* L) {
    lua_pushnil(L);
    lua_pushnumber(L, 0);
    return 2;
}
