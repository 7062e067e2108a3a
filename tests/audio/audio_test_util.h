// Shared set-up for the sound tests: a fresh mixer, a cartridge to write
// sound effects into, and helpers that render through the mixer core.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "audio/audio.h"
#include "audio/audio_state.h"
#include "cart/cart.h"
#include "machine/machine.h"
#include "test_support.h"

namespace audio_test {

inline uint32_t test_clock_ms = 0;
inline uint32_t test_clock(void*) { return test_clock_ms; }

inline void set_note(vexel_cart* cart, int sfx, int i, int pitch, int wave, int vol, int effect = 0,
                     bool instrument = false) {
    vexel_sfx_note& n = cart->sfx[sfx].notes[i];
    n.pitch = pitch;
    n.waveform = wave;
    n.volume = vol;
    n.effect = effect;
    n.instrument = instrument ? 128 : 0;
}

// Fills notes [first, last] of `sfx` with one note.
inline void fill_notes(vexel_cart* cart, int sfx, int first, int last, int pitch, int wave, int vol,
                       int effect = 0, bool instrument = false) {
    for (int i = first; i <= last; ++i) set_note(cart, sfx, i, pitch, wave, vol, effect, instrument);
}

inline int peak(const std::vector<int16_t>& v, size_t from = 0, size_t to = SIZE_MAX) {
    int p = 0;
    for (size_t j = from; j < v.size() && j < to; ++j) p = std::max(p, std::abs(static_cast<int>(v[j])));
    return p;
}

// A fresh machine's mixer and a new cartridge with a controllable clock.
class AudioTest : public ::testing::Test {
protected:
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    vexel_audio* au = M->audio;
    vexel_cart* cart = nullptr;
    void SetUp() override {
        vexel_audio_init(au);
        test_clock_ms = 1000;
        vexel_audio_set_clock(au, test_clock, nullptr);
        cart = vexel_cart_create();
    }
    void TearDown() override { vexel_cart_destroy(cart); }
    // Starts sound effect n on channel c and returns the channel.
    int play(int n, int c = -1, int offset = 0, int length = 0) {
        return vexel_audio_play_sfx(au, &cart->sfx[n], offset, length, cart, c);
    }
    std::vector<int16_t> mix(int n) {
        std::vector<int16_t> out(static_cast<size_t>(n));
        vexel_audio_mix(au, out.data(), n);
        return out;
    }
};

}  // namespace audio_test
