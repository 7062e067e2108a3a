// How fast the mixer renders with all eight channels busy: four sound
// effects and four music voices, every shape, instruments and effects, the
// effect registers on for half the voices. Prints the speed as a multiple
// of real time (the console needs at least 200x to leave the frame its CPU).
#include <chrono>
#include <cstdio>
#include <vector>

#include "audio/audio.h"
#include "audio/audio_state.h"
#include "cart/cart.h"

namespace {

void fill(vexel_cart* cart, int n, int wave_base, int speed, bool instrument) {
    vexel_sfx_record& s = cart->sfx[n];
    s.speed = speed;
    s.loop_start = 0;
    s.loop_end = 32;
    for (int i = 0; i < 32; ++i) {
        s.notes[i] = {20 + (i * 7 + n) % 40, (wave_base + i) % 8, 4 + i % 4, i % 8, instrument && i % 3 == 0 ? 128 : 0};
    }
}

}  // namespace

int main() {
    int32_t fx_registers[4] = {};
    vexel_audio* au = vexel_audio_create(fx_registers);
    vexel_cart* cart = vexel_cart_create();
    for (int n = 0; n < 8; ++n) fill(cart, n, n, 3, false);
    for (int n = 8; n < 16; ++n) fill(cart, n, n, 5, true);
    for (int c = 0; c < 4; ++c) cart->music[0][c] = 8 + c;
    cart->music_flags[0] = 3;   // repeat pattern 0 for ever
    vexel_audio_music(au, cart, 0, 0, 0);
    for (int c = 0; c < 4; ++c) vexel_audio_play_sfx(au, &cart->sfx[12 + c], 0, 0, cart, c);

    const int seconds = 120;
    const int block = 1024;
    std::vector<int16_t> buf(block);
    int busy_checks = 0, busy = 0;
    auto run = [&](bool fx) {
        for (int r = 0; r < 4; ++r) fx_registers[r] = fx ? 0x5 : 0;
        auto start = std::chrono::steady_clock::now();
        long total = 0;
        while (total < static_cast<long>(seconds) * vexel_sound_freq) {
            vexel_audio_mix(au, buf.data(), block);
            total += block;
            ++busy_checks;
            for (auto& ch : au->ch) busy += ch.sfx != nullptr;
        }
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        double audio = static_cast<double>(total) / vexel_sound_freq;
        std::printf("%-28s %6.1f s of audio in %6.3f s: %7.0fx real time\n",
                    fx ? "8 channels, effect registers" : "8 channels", audio, elapsed, audio / elapsed);
    };
    run(false);
    run(true);
    std::printf("channels busy on average: %.2f of 8\n", static_cast<double>(busy) / busy_checks);
    vexel_audio_destroy(au);
    vexel_cart_destroy(cart);
    return 0;
}
