// Plays arbitrary sound data: the input's bytes are written over the music
// and sound-effect memory and the effect registers, then read as a script of
// sfx/music calls between short mixes. Nothing may crash, overflow or read
// outside the records, whatever the data.
#include <cstdint>
#include <cstring>

#include "audio/audio.h"
#include "audio/audio_state.h"
#include "cart/cart.h"
#include "machine/mem.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "runtime/machine_life.h"

namespace {

struct reader {
    const uint8_t* data;
    size_t size, pos = 0;
    int byte() { return pos < size ? data[pos++] : 0; }
    int word() { return static_cast<int16_t>(byte() | byte() << 8); }
};

vexel_machine* m = nullptr;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vexel_host host;
    if (!m) m = vexel_machine_create(&host);
    vexel_cart* cart = m->cart;
    vexel_audio* au = m->audio;
    vexel_audio_init(au);
    reader in{data, size};
    if (size > 0x1200) in.pos = 0x1200;   // long inputs: the script follows the memory image
    // The first bytes fill music and sound memory, cycling over the input.
    for (int a = 0x3100; a < 0x4300 && size; ++a) vexel_poke(m, cart, a, data[(a - 0x3100) % size]);
    // Out-of-range values as a careless tool might leave in the record.
    if (size > 3 && data[0] == 0xff) {
        cart->sfx[data[1] & 63].speed = INT32_MAX;
        cart->sfx[data[2] & 63].loop_end = INT32_MAX;
        cart->sfx[data[3] & 63].notes[0].pitch = -1;
        cart->music[data[1] & 63][0] = -5;
    }
    int16_t out[1024];
    for (int step = 0; step < 32 && in.pos < size; ++step) {
        switch (in.byte() & 7) {
        case 0: vexel_audio_sfx(au, cart, in.word(), in.word() % 5, in.word(), in.word()); break;
        case 1: vexel_audio_music(au, cart, in.word(), in.word() * 37, in.byte()); break;
        case 2: vexel_poke(m, cart, 0x5f40 + (in.byte() & 3), in.byte()); break;
        case 3: vexel_audio_update_fading(au); break;
        case 4: vexel_audio_set_sound_volume(au, in.word()); break;
        case 5: vexel_audio_play(au, &cart->sfx[in.byte() & 63]); break;
        case 6: vexel_poke(m, cart, 0x3100 + (in.word() & 0x1fff) % 0x1200, in.byte()); break;
        default: break;
        }
        vexel_audio_mix(au, out, 1 + in.byte() * 2);
        for (int n = 16; n < 27; ++n) vexel_audio_stat(au, cart, n);
    }
    vexel_audio_mix(au, out, 1024);
    return 0;
}
