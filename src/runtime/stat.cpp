#include "runtime/stat.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "app/app.h"
#include "audio/audio.h"
#include "framework/fenn_input.h"
#include "framework/fenn_video.h"
#include "machine/button.h"
#include "machine/lua_alloc.h"
#include "machine/mem.h"
#include "machine/pstate.h"
#include "lua/lua.h"
#include "runtime/run.h"

namespace {

std::string clipboard_text;

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

int32_t mouse_query(int n) {
    if (pstate.ram[vexel_reg_devkit_mouse] != 1) return 0;
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

void stat_set_clipboard(const char* text) { clipboard_text = text ? text : ""; }

int qz_stat(lua_State* L) {
    int n = lua_gettop(L) >= 1 ? lua_tonumberx(L, 1, nullptr) >> 16 : 2;
    if (n == 4) {
        lua_pushstring(L, clipboard_text.c_str());
        return 1;
    }
    if (n == 6) {
        lua_pushstring(L, runner.params);
        return 1;
    }
    spend_cpu(stat_cycles);
    int32_t v = 0;
    switch (n) {
    case 0: {
        int64_t used = runner.L0 ? vexel_lua_program_memory() : 0;
        if (used > run_memory_limit) used = run_memory_limit;
        v = used < 0 ? 0 : int32_t(used * 64);
        break;
    }
    case 1: v = cycles_2_frame_capacity(runner.cycles_since_flip); break;
    case 2: v = cycles_2_frame_capacity(runner.api_cycles_since_flip); break;
    case 5: v = whole(stat_version); break;
    case 7: v = whole(runner.fps); break;
    case 8: v = whole(runner.base_fps); break;
    case 9: v = whole(fenn_get_fps()); break;
    case 10: v = whole(runner.penalty); break;
    case 16: case 17: case 18: case 19:
    case 20: case 21: case 22: case 23:
    case 24: case 25: case 26: v = whole(vexel_audio_stat(pstate.cart, n)); break;
    case 32: case 33: case 34: v = mouse_query(n); break;
    case 35: v = pstate.ram[vexel_reg_devkit_mouse] == 1 ? whole(vexel_buttons.wheel_x) : 0; break;
    case 36: v = pstate.ram[vexel_reg_devkit_mouse] == 1 ? whole(vexel_buttons.wheel_y) : 0; break;
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
