// Sound: sfx and music over the machine's audio.
#include "audio/audio.h"
#include "lua/lua.h"
#include "machine/cpu.h"
#include "machine/machine.h"
#include "runtime/api_impl.h"

namespace {
constexpr int32_t sound_call_cycles = 16;
}  // namespace

int qz_sfx(lua_State* L) {
    vexel_machine* m = api_machine(L);
    const int channel = lua_gettop(L) >= 2 ? api_int_arg(L, 2) : -1;
    vexel_audio_sfx(m->audio, m->cart, api_int_arg(L, 1), channel, api_int_arg(L, 3), api_int_arg(L, 4));
    vexel_cpu_spend(m, sound_call_cycles);
    return 0;
}

void api_play_print_sound(void* machine, int effect) {
    vexel_machine* m = static_cast<vexel_machine*>(machine);
    vexel_audio_sfx(m->audio, m->cart, effect, -1, 0, 0);
    vexel_cpu_spend(m, sound_call_cycles);
}

int qz_music(lua_State* L) {
    vexel_machine* m = api_machine(L);
    vexel_audio_music(m->audio, m->cart, api_int_arg(L, 1), api_int_arg(L, 2), api_int_arg(L, 3));
    vexel_cpu_spend(m, sound_call_cycles);
    return 0;
}
