// Note synthesis: the shapes at known phases, the pitch table, instruments and
// the edge cases the golden recordings do not reach.
#include "audio_test_util.h"

using namespace audio_test;

namespace {

int16_t shape_at(int waveform, int32_t phase, int32_t amp = 1792) {
    audio_osc_state osc{};
    osc.waveform = waveform;
    osc.phase = phase;
    osc.amp = amp;
    osc.dx = 1;
    int16_t s = 0;
    vexel_audio au;
    audio_render_osc(&au, osc, &s, 1);
    return s;
}

class SynthTest : public AudioTest {
protected:
    // The settings of tick `t` of sound effect `n` on channel 0.
    audio_osc_state settings(int n, int t) {
        audio_channel& ch = au->ch[0];
        ch.sfx = &cart->sfx[n];
        ch.cart = cart;
        ch.tick = t;
        audio_calculate_osc_state(au, ch, ch.osc);
        return ch.osc;
    }
    // Renders one tick through the mixer and returns channel 0's settings.
    audio_osc_state tick() {
        mix(vexel_tick_samples);
        return au->ch[0].osc;
    }
};

TEST(SynthShapes, PeaksAndEdgesAtKnownPhases) {
    // Triangle: +-12288 at full volume is +-16128.
    EXPECT_EQ(shape_at(0, 0x8000), 16128);
    EXPECT_EQ(shape_at(0, 0), -16128);
    EXPECT_EQ(shape_at(0, 0x4000), 0);
    // Tilted saw rises over 7/8 of the cycle, then falls.
    EXPECT_EQ(shape_at(1, 0), -16125);
    EXPECT_EQ(shape_at(1, 0xdfff), 16124);
    EXPECT_EQ(shape_at(1, 0xe000), 16121);
    EXPECT_EQ(shape_at(1, 0xffff), -16125);
    // Saw.
    EXPECT_EQ(shape_at(2, 0), -10752);
    EXPECT_EQ(shape_at(2, 0xffff), 10750);
    // Square and pulse: +-8062 at full volume; the pulse is high from 0xb000.
    EXPECT_EQ(shape_at(3, 0x7fff), -8062);
    EXPECT_EQ(shape_at(3, 0x8000), 8062);
    EXPECT_EQ(shape_at(4, 0xafff), -8062);
    EXPECT_EQ(shape_at(4, 0xb000), 8062);
    // Organ: a tall triangle, then one two thirds as tall.
    EXPECT_EQ(shape_at(5, 0), -10752);
    EXPECT_EQ(shape_at(5, 0x4000), 10752);
    EXPECT_EQ(shape_at(5, 0x8000), -10752);
    EXPECT_EQ(shape_at(5, 0xc000), 3583);
    // Phaser: both triangles at their low point.
    EXPECT_EQ(shape_at(7, 0), -21504);
    EXPECT_EQ(shape_at(7, 0x8000), -1);
    // Volume 0 is silence whatever the shape.
    for (int w = 0; w < 8; ++w) EXPECT_EQ(shape_at(w, 0x8000, 0), 0) << "shape " << w;
}

TEST(SynthShapes, EveryShapeStaysInsideSixteenBits) {
    for (int w = 0; w < 8; ++w) {
        if (w == 6) continue;
        audio_osc_state osc{};
        osc.waveform = w;
        osc.amp = 1792;
        osc.volume = 7;
        osc.pitch = 60;
        osc.dx = 977;
        int16_t buf[4096];
        vexel_audio au;
        audio_render_osc(&au, osc, buf, 4096);
        int lo = 0, hi = 0;
        for (int16_t s : buf) lo = std::min<int>(lo, s), hi = std::max<int>(hi, s);
        EXPECT_LT(lo, 0) << "shape " << w;
        EXPECT_GT(hi, 0) << "shape " << w;
        EXPECT_GE(lo, -21504) << "shape " << w;
        EXPECT_LE(hi, 21504) << "shape " << w;
    }
}

TEST(SynthNoise, HighPitchedNoiseKeepsTheSignOfItsLevel) {
    // Each sample has the sign of the (unclamped) level, which the clamped
    // level keeps; a sample that wrapped past 16 bits would flip it.
    for (int dx : {977, 7392, 32768}) {
        audio_osc_state osc{};
        osc.waveform = 6;
        osc.amp = 1792;
        osc.volume = 7;
        osc.pitch = 63;
        osc.dx = dx;
        int flips = 0, loud = 0;
        vexel_audio au;
        for (int j = 0; j < 20000; ++j) {
            int16_t s = 0;
            audio_render_osc(&au, osc, &s, 1);
            if ((osc.noise_level > 0 && s < 0) || (osc.noise_level < 0 && s > 0)) ++flips;
            if (std::abs(s) > 30000) ++loud;
            ASSERT_GE(osc.noise_level, -6143);
            ASSERT_LE(osc.noise_level, 6143);
        }
        EXPECT_EQ(flips, 0) << "dx " << dx;
        if (dx > 977) {
            EXPECT_GT(loud, 0) << "dx " << dx;
        }
    }
}

TEST(SynthNoise, GeneratorFollowsTheFrameworkAlgorithm) {
    vexel_noise_rng rng;
    EXPECT_EQ(vexel_noise_random(rng, 0), 0);  // no step
    EXPECT_EQ(rng.high, 0xdeadbeefu);
    // One step from the start values: high = 0xc0132414, low = 0xc136697b.
    EXPECT_EQ(vexel_noise_random(rng, 1000), static_cast<int32_t>(0xc0132414u % 1000));
    EXPECT_EQ(rng.low, 0xc136697bu);
}

TEST_F(SynthTest, PitchTableGivesTheDocumentedSteps) {
    set_note(cart, 1, 0, 33, 0, 7);
    set_note(cart, 1, 1, 0, 0, 7);
    set_note(cart, 1, 2, 63, 0, 7);
    set_note(cart, 1, 3, 36, 0, 7);
    set_note(cart, 1, 4, 48, 0, 7);
    set_note(cart, 1, 5, 47, 0, 7);
    cart->sfx[1].speed = 1;
    const int expected[] = {1307, 194, 7392, 1554, 3108, 2924};  // 984 Hz, not 988
    for (int i = 0; i < 6; ++i) EXPECT_EQ(settings(1, i).dx, expected[i]) << "note " << i;
    audio_osc_state o = settings(1, 0);
    EXPECT_EQ(o.amp, 1792);
    EXPECT_EQ(o.fine_pitch, 33 << 16);
    // Past the 32 notes: silent, and nothing else touched.
    o = settings(1, 32);
    EXPECT_EQ(o.amp, 0);
    EXPECT_EQ(o.dx, 0);
    EXPECT_EQ(o.note_pitch, 33);
}

TEST_F(SynthTest, SpeedZeroPlaysLikeSpeedOne) {
    set_note(cart, 0, 0, 10, 0, 7);
    set_note(cart, 0, 1, 20, 0, 7);
    cart->sfx[0].speed = 0;
    EXPECT_EQ(settings(0, 1).note_pitch, 20);
}

TEST_F(SynthTest, SilentSlideFadesFromThePreviousNotesVolume) {
    cart->sfx[1].speed = 4;
    set_note(cart, 1, 0, 30, 0, 6);
    set_note(cart, 1, 1, 30, 0, 0, 1);
    play(1, 0);
    for (int t = 0; t < 4; ++t) tick();
    EXPECT_EQ(tick().amp, 1536);
    EXPECT_EQ(tick().amp, 1152);
    EXPECT_EQ(tick().amp, 768);
    EXPECT_EQ(tick().amp, 384);
}

// Slide, vibrato, drop, fades and arpeggios at both speeds are sample-exact
// in the golden melody, instrument and song recordings (wav_test).

TEST_F(SynthTest, InstrumentPlaysItsOwnNotesTransposed) {
    // Instrument 2: square at 24, then saw at 30, volume 3, two ticks each.
    cart->sfx[2].speed = 2;
    set_note(cart, 2, 0, 24, 3, 7);
    set_note(cart, 2, 1, 30, 2, 3);
    cart->sfx[1].speed = 16;
    set_note(cart, 1, 0, 24, 2, 7, 0, true);
    set_note(cart, 1, 1, 36, 2, 4, 0, true);
    play(1, 0);
    audio_osc_state o = tick();
    EXPECT_EQ(o.waveform, 3);
    EXPECT_EQ(o.fine_pitch >> 16, 24);
    EXPECT_EQ(o.amp, 1792);
    tick();
    o = tick();
    EXPECT_EQ(o.waveform, 2);
    EXPECT_EQ(o.pitch, 30);
    EXPECT_EQ(o.amp, 768);  // instrument volume 3 of outer 7
    for (int t = 3; t < 16; ++t) tick();
    // A new outer pitch restarts the instrument, one octave higher.
    o = tick();
    EXPECT_EQ(o.waveform, 3);
    EXPECT_EQ(o.pitch, 36);
    EXPECT_EQ(o.amp, 1024);
    tick();
    EXPECT_EQ(tick().pitch, 42);
}

TEST_F(SynthTest, InstrumentWithoutLoopEndsWithLoopSustains) {
    cart->sfx[3].speed = 2;
    fill_notes(cart, 3, 0, 31, 24, 0, 7);
    cart->sfx[1].speed = 80;
    set_note(cart, 1, 0, 24, 3, 7, 0, true);
    play(1, 0);
    for (int t = 0; t < 64; ++t) EXPECT_GT(tick().amp, 0) << "tick " << t;
    EXPECT_EQ(tick().amp, 0);  // its 32 notes are over

    cart->sfx[3].loop_start = 0;
    cart->sfx[3].loop_end = 2;
    play(1, 0);
    for (int t = 0; t < 79; ++t) EXPECT_GT(tick().amp, 0) << "tick " << t;
    EXPECT_LT(au->ch[0].inst_tick, 4);
}

TEST_F(SynthTest, RepeatedInstrumentNoteContinuesNewPitchRestarts) {
    cart->sfx[4].speed = 1;
    for (int i = 0; i < 32; ++i) set_note(cart, 4, i, 24 + i, 0, 7);
    cart->sfx[1].speed = 4;
    set_note(cart, 1, 0, 24, 4, 7, 0, true);
    set_note(cart, 1, 1, 24, 4, 7, 0, true);   // same pitch: carries on
    set_note(cart, 1, 2, 25, 4, 7, 0, true);   // new pitch: restarts
    set_note(cart, 1, 3, 25, 4, 7, 4, true);   // fade in: restarts even on the same pitch
    play(1, 0);
    for (int t = 0; t < 4; ++t) tick();
    EXPECT_EQ(tick().pitch, 24 + 4);
    for (int t = 5; t < 8; ++t) tick();
    EXPECT_EQ(tick().pitch, 25);
    for (int t = 9; t < 12; ++t) tick();
    EXPECT_EQ(tick().pitch, 25);
}

TEST_F(SynthTest, WithoutACartridgeTheInstrumentFlagPlaysTheShape) {
    cart->sfx[1].speed = 4;
    set_note(cart, 1, 0, 33, 3, 7, 3, true);   // drop, flagged
    au->ch[0].sfx = &cart->sfx[1];
    au->ch[0].cart = nullptr;
    au->ch[0].tick = 3;
    audio_calculate_osc_state(au, au->ch[0], au->ch[0].osc);
    EXPECT_EQ(au->ch[0].osc.waveform, 3);
    EXPECT_EQ(au->ch[0].osc.dx, 1307);  // drop does nothing to flagged notes
}

TEST_F(SynthTest, ExtremePitchesClampTheStep) {
    cart->sfx[5].speed = 1;
    set_note(cart, 5, 0, 63, 0, 7);
    cart->sfx[1].speed = 1;
    set_note(cart, 1, 0, 63, 5, 7, 0, true);
    EXPECT_EQ(settings(1, 0).dx, 32768);
    set_note(cart, 5, 0, 0, 0, 7);
    set_note(cart, 1, 0, 0, 5, 7, 0, true);
    audio_osc_state o = settings(1, 0);
    EXPECT_EQ(o.fine_pitch, -24 << 16);
    EXPECT_EQ(o.dx, 48);
}

// The 64-sample crossfade into a new note or volume is in every golden
// recording; here the fade to silence and the phase reset.
TEST_F(SynthTest, StoppedNoteFadesOutAndResetsThePhase) {
    cart->sfx[1].speed = 1;
    set_note(cart, 1, 0, 33, 3, 7);
    set_note(cart, 1, 1, 33, 3, 0);
    play(1, 0);
    mix(vexel_tick_samples);
    auto out = mix(vexel_tick_samples);   // volume 0: fades out, then silence
    EXPECT_EQ(std::abs(out[0]), 8062);
    EXPECT_EQ(peak(out, 64), 0);
    EXPECT_EQ(au->ch[0].osc.phase, 0);

    play(1, 0);
    mix(vexel_tick_samples);
    vexel_audio_play_sfx(au, nullptr, 0, 0, cart, 0);
    out = mix(vexel_tick_samples);        // stopped: the last sound fades out
    EXPECT_EQ(std::abs(out[0]), 8062);
    EXPECT_LT(std::abs(out[60]), 8062 * 5 / 64);
    EXPECT_EQ(peak(out, 64), 0);
}

}  // namespace
