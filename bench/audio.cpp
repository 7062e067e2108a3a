// How fast the mixer renders with all eight channels busy: four sound
// effects and four music voices, every shape, instruments and effects, the
// effect registers on for half the voices; then four sound-effect voices
// alone with every effect register bit on (half speed, echo, distortion,
// low pass) besides the notes' own effects. Prints the speed as a multiple
// of real time in CPU time (the console needs at least 200x to leave the frame its CPU;
// the goal for four voices with every effect is 1000x).
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

#include "audio/audio.h"
#include "audio/audio_state.h"
#include "cart/cart.h"

namespace {

// CPU time of this thread: other programs on a shared machine disturb it
// far less than wall-clock time.
double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

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
        double start = cpu_seconds();
        long total = 0;
        while (total < static_cast<long>(seconds) * vexel_sound_freq) {
            vexel_audio_mix(au, buf.data(), block);
            total += block;
            ++busy_checks;
            for (auto& ch : au->ch) busy += ch.sfx != nullptr;
        }
        double elapsed = cpu_seconds() - start;
        double audio = static_cast<double>(total) / vexel_sound_freq;
        std::printf("%-28s %6.1f s of audio in %6.3f s: %7.0fx real time\n",
                    fx ? "8 channels, effect registers" : "8 channels", audio, elapsed, audio / elapsed);
    };
    run(false);
    run(true);
    std::printf("channels busy on average: %.2f of 8\n", static_cast<double>(busy) / busy_checks);
    vexel_audio_destroy(au);

    // Four voices, every effect: best of three runs (the machine is shared).
    int32_t all_fx[4] = {0xf, 0xf, 0xf, 0xf};
    vexel_audio* four = vexel_audio_create(all_fx);
    for (int c = 0; c < 4; ++c) vexel_audio_play_sfx(four, &cart->sfx[c * 4 + 1], 0, 0, cart, c);
    double best = 1e30;
    for (int r = 0; r < 3; ++r) {
        double start = cpu_seconds();
        for (long total = 0; total < static_cast<long>(seconds) * vexel_sound_freq; total += block)
            vexel_audio_mix(four, buf.data(), block);
        best = std::min(best, cpu_seconds() - start);
    }
    std::printf("%-28s %6.1f s of audio in %6.3f s: %7.0fx real time\n", "4 voices, every effect",
                static_cast<double>(seconds), best, seconds / best);
    vexel_audio_destroy(four);
    vexel_cart_destroy(cart);
    return 0;
}
