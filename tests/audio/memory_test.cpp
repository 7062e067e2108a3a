// Writes through the memory map reach a playing sound from its next tick.
#include "audio_test_util.h"
#include "machine/mem.h"

using namespace audio_test;

namespace {

TEST_F(AudioTest, PokesIntoAPlayingSoundAreHeardFromTheNextTick) {
    cart->sfx[1].speed = 200;
    set_note(cart, 1, 0, 33, 3, 7);
    play(1, 0);
    auto out = mix(2 * vexel_tick_samples);
    EXPECT_EQ(std::abs(out[300]), 8062);
    // Note 0's high byte: volume 3 of the square (bits 1-3).
    vexel_poke(M, cart, 0x3200 + 68 + 1, 3 << 1);
    out = mix(vexel_tick_samples);
    EXPECT_EQ(std::abs(out[100]), 3455);
    // Distortion on every voice through its register.
    vexel_poke(M, cart, 0x5f42, 0xff);
    EXPECT_EQ(M->audio_fx[2], 0x0f);
    out = mix(vexel_tick_samples);
    EXPECT_EQ(std::abs(out[100]), 0);   // 3455 keeps no bit above 0x0fff
    vexel_poke(M, cart, 0x5f42, 0);
    // Speed through the header byte: the tick counter is kept.
    int tick = au->ch[0].tick;
    vexel_poke(M, cart, 0x3200 + 68 + 65, 1);
    EXPECT_EQ(au->ch[0].tick, tick);
    EXPECT_EQ(vexel_audio_playing_note(au, &cart->sfx[1]), tick);
}

}  // namespace
