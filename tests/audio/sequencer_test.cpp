// Channel choice and stealing, starting, ending and releasing sound effects,
// the script-level sfx rules and the stat queries.
#include "audio_test_util.h"

using namespace audio_test;

namespace {

class SequencerTest : public AudioTest {
protected:
    void SetUp() override {
        AudioTest::SetUp();
        // Sound effects 1-9: a long audible note at their default speed 16.
        for (int n = 1; n < 10; ++n) fill_notes(cart, n, 0, 31, 30 + n, 0, 5);
    }
    void ticks(int n) { mix(n * vexel_tick_samples); }
    void set_pattern(int p, int c0, int c1, int c2, int c3, int flags = 0) {
        cart->music[p][0] = c0;
        cart->music[p][1] = c1;
        cart->music[p][2] = c2;
        cart->music[p][3] = c3;
        cart->music_flags[p] = flags;
    }
};

TEST_F(SequencerTest, AutomaticChoiceStealsTheFastestHighestChannel) {
    cart->sfx[2].speed = 8;
    cart->sfx[3].speed = 8;
    EXPECT_EQ(vexel_audio_sfx(au, cart, 1, -1, 0, 0), 0);
    EXPECT_EQ(vexel_audio_sfx(au, cart, 2, -1, 0, 0), 1);
    EXPECT_EQ(vexel_audio_sfx(au, cart, 3, -1, 0, 0), 2);
    EXPECT_EQ(vexel_audio_sfx(au, cart, 4, -1, 0, 0), 3);
    // Speeds 16, 8, 8, 16: the two 8s tie and the higher channel goes.
    EXPECT_EQ(vexel_audio_sfx(au, cart, 5, -1, 0, 0), 2);
    EXPECT_EQ(au->ch[2].sfx, &cart->sfx[5]);
    EXPECT_EQ(au->ch[1].sfx, &cart->sfx[2]);
}

TEST_F(SequencerTest, MusicMaskProtectsSoundingVoices) {
    set_pattern(0, 10, 11, 0x42, 0x43);
    fill_notes(cart, 10, 0, 31, 40, 0, 5);
    fill_notes(cart, 11, 0, 31, 41, 0, 5);
    vexel_audio_music(au, cart, 0, 0, 3);
    EXPECT_EQ(vexel_audio_music_channel_mask(au), 3);
    cart->sfx[6].speed = 4;
    EXPECT_EQ(vexel_audio_play_sfx(au, &cart->sfx[6], 0, 0, cart, 2), 2);
    EXPECT_EQ(vexel_audio_play_sfx(au, &cart->sfx[7], 0, 0, cart, 3), 3);
    // Channels 0 and 1 are free but reserved for the music: steal 2 (speed 4).
    EXPECT_EQ(vexel_audio_sfx(au, cart, 5, -1, 0, 0), 2);

    // With every voice reserved and sounding, nothing plays.
    set_pattern(1, 10, 11, 12, 13);
    for (int n = 12; n < 14; ++n) fill_notes(cart, n, 0, 31, 40, 0, 5);
    vexel_audio_stop_all(au);
    vexel_audio_music(au, cart, 1, 0, 15);
    EXPECT_EQ(vexel_audio_sfx(au, cart, 5, -1, 0, 0), -1);
    EXPECT_EQ(au->ch[0].sfx, nullptr);
}

TEST_F(SequencerTest, ChoicePrefersChannelsWhoseMusicVoiceIsSilent) {
    set_pattern(0, 10, 0x41, 0x42, 0x43);
    fill_notes(cart, 10, 0, 31, 40, 0, 5);
    vexel_audio_music(au, cart, 0, 0, 0);
    EXPECT_EQ(vexel_audio_sfx(au, cart, 1, -1, 0, 0), 1);
    EXPECT_EQ(vexel_audio_sfx(au, cart, 2, -1, 0, 0), 2);
    EXPECT_EQ(vexel_audio_sfx(au, cart, 3, -1, 0, 0), 3);
    EXPECT_EQ(vexel_audio_sfx(au, cart, 4, -1, 0, 0), 0);  // over the sounding voice last
}

TEST_F(SequencerTest, OffsetAndLengthAreInNotes) {
    EXPECT_EQ(vexel_audio_sfx(au, cart, 1, 0, 8, 0), 0);
    EXPECT_EQ(au->ch[0].tick, 8 * 16);
    EXPECT_EQ(vexel_audio_playing_note(au, &cart->sfx[1]), 8);
    vexel_audio_sfx(au, cart, 1, 0, 40, 0);
    EXPECT_EQ(vexel_audio_playing_note(au, &cart->sfx[1]), 31);
    // A looping effect with a length of 4 notes stops after them.
    cart->sfx[2].speed = 2;
    cart->sfx[2].loop_start = 0;
    cart->sfx[2].loop_end = 2;
    vexel_audio_sfx(au, cart, 2, 1, 0, 4);
    ticks(7);
    EXPECT_NE(au->ch[1].sfx, nullptr);
    ticks(1);
    EXPECT_EQ(au->ch[1].sfx, nullptr);
}

TEST_F(SequencerTest, SoundEffectEndsAfterItsLastAudibleNote) {
    cart->sfx[2].speed = 2;
    fill_notes(cart, 2, 8, 31, 0, 0, 0);
    play(2, 0);
    ticks(16);
    EXPECT_NE(au->ch[0].sfx, nullptr);
    ticks(1);   // the first tick of silent note 8
    EXPECT_EQ(au->ch[0].sfx, nullptr);

    set_note(cart, 2, 8, 0, 0, 0, 1);   // a silent slide keeps it a note longer
    play(2, 0);
    ticks(18);
    EXPECT_NE(au->ch[0].sfx, nullptr);
    ticks(1);
    EXPECT_EQ(au->ch[0].sfx, nullptr);
    EXPECT_EQ(au->ch[0].osc.amp, 0);
}

TEST_F(SequencerTest, ReleasedLoopPlaysOnAndThenHoldsTheChannel) {
    cart->sfx[2].speed = 1;
    cart->sfx[2].loop_start = 2;
    cart->sfx[2].loop_end = 4;
    set_pattern(0, 0x41, 0x41, 0x41, 10);
    fill_notes(cart, 10, 0, 31, 40, 0, 5);
    vexel_audio_music(au, cart, 0, 0, 0);
    play(2, 3);
    ticks(40);
    EXPECT_LT(au->ch[3].tick, 4);   // still looping
    vexel_audio_sfx(au, cart, -2, 3, 0, 0);
    ticks(40);
    EXPECT_GT(au->ch[3].tick, 32);
    EXPECT_EQ(au->ch[3].sfx, &cart->sfx[2]);   // holds the channel silently
    auto out = mix(vexel_tick_samples);
    EXPECT_EQ(peak(out), 0);                 // and music voice 3 stays muted
    vexel_audio_sfx(au, cart, -1, 3, 0, 0);
    mix(vexel_tick_samples);
    EXPECT_GT(peak(mix(vexel_tick_samples)), 0);
}

TEST_F(SequencerTest, StopRulesOfTheScriptFunction) {
    set_pattern(0, 10, 1, 0x42, 0x43);
    fill_notes(cart, 10, 0, 31, 40, 0, 5);
    vexel_audio_music(au, cart, 0, 0, 0);
    play(2, 0);
    play(3, 1);
    vexel_audio_sfx(au, cart, -1, -1, 0, 0);   // channels 0-3 only
    EXPECT_EQ(au->ch[0].sfx, nullptr);
    EXPECT_EQ(au->ch[1].sfx, nullptr);
    EXPECT_EQ(au->ch[4].sfx, &cart->sfx[10]);
    // Playing the effect the music uses stops that voice until the next song.
    vexel_audio_sfx(au, cart, 1, 2, 0, 0);
    EXPECT_EQ(au->ch[2].sfx, &cart->sfx[1]);
    EXPECT_EQ(au->ch[5].sfx, nullptr);
    EXPECT_EQ(au->ch[5].is_music, 0);
    // Channel -2 stops an effect everywhere, music voices included.
    vexel_audio_sfx(au, cart, 10, -2, 0, 0);
    EXPECT_EQ(au->ch[4].sfx, nullptr);
    EXPECT_EQ(au->ch[4].is_music, 0);
    // Out-of-range channels and sfx(-1, -2) do nothing.
    play(3, 0);
    EXPECT_EQ(vexel_audio_sfx(au, cart, 1, 4, 0, 0), -1);
    EXPECT_EQ(vexel_audio_sfx(au, cart, 1, -3, 0, 0), -1);
    vexel_audio_sfx(au, cart, -1, -2, 0, 0);
    EXPECT_EQ(au->ch[0].sfx, &cart->sfx[3]);
    // n is clamped to 0-63.
    EXPECT_EQ(vexel_audio_sfx(au, cart, 99, 1, 0, 0), 1);
    EXPECT_EQ(au->ch[1].sfx, &cart->sfx[63]);
    // A given channel 4-7 through the C function is taken whatever it plays.
    EXPECT_EQ(play(4, 6), 6);
    EXPECT_EQ(play(4, 8), -1);
}

TEST_F(SequencerTest, SpeedChangeMovesTheNoteNotTheTick) {
    play(1, 0);
    ticks(40);
    EXPECT_EQ(vexel_audio_playing_note(au, &cart->sfx[1]), 2);
    cart->sfx[1].speed = 4;
    EXPECT_EQ(au->ch[0].tick, 40);
    EXPECT_EQ(vexel_audio_playing_note(au, &cart->sfx[1]), 10);
}

TEST_F(SequencerTest, StatReportsEffectsNotesAndSong) {
    EXPECT_EQ(vexel_audio_stat(au, cart, 16), -1);
    EXPECT_EQ(vexel_audio_stat(au, cart, 20), -1);
    EXPECT_EQ(vexel_audio_stat(au, cart, 24), 0);
    set_pattern(3, 0x41, 7, 0x42, 0x43);
    vexel_audio_music(au, cart, 3, 0, 0);
    play(4, 0);
    ticks(33);
    EXPECT_EQ(vexel_audio_stat(au, cart, 16), 4);
    EXPECT_EQ(vexel_audio_stat(au, cart, 20), 2);
    EXPECT_EQ(vexel_audio_stat(au, cart, 17), 7);   // from music voice 1
    EXPECT_EQ(vexel_audio_stat(au, cart, 21), 2);
    EXPECT_EQ(vexel_audio_stat(au, cart, 18), -1);
    EXPECT_EQ(vexel_audio_stat(au, cart, 24), 3);
    EXPECT_EQ(vexel_audio_stat(au, cart, 25), 0);
    EXPECT_EQ(vexel_audio_stat(au, cart, 26), 33);
    EXPECT_EQ(vexel_audio_stat(au, cart, 27), 0);
    // A record of another cartridge has no index here.
    vexel_cart* other = vexel_cart_create();
    fill_notes(other, 1, 0, 31, 30, 0, 5);
    vexel_audio_play_sfx(au, &other->sfx[1], 0, 0, other, 0);
    EXPECT_EQ(vexel_audio_stat(au, cart, 16), -1);
    vexel_audio_release_cart(au, other);
    vexel_cart_destroy(other);
    EXPECT_EQ(au->ch[0].sfx, nullptr);
}

TEST_F(SequencerTest, ReleasedCartridgeStopsEverythingItPlays) {
    vexel_cart* other = vexel_cart_create();
    fill_notes(other, 1, 0, 31, 30, 0, 5);
    other->music[0][0] = 1;
    vexel_audio_play_sfx(au, &other->sfx[1], 0, 0, other, 2);
    vexel_audio_play_song(au, other, 0, 0);
    play(3, 0);
    vexel_audio_release_cart(au, other);
    vexel_cart_destroy(other);
    for (int c = 1; c < 8; ++c) {
        EXPECT_EQ(au->ch[c].sfx, nullptr) << c;
        EXPECT_EQ(au->ch[c].cart, nullptr) << c;
    }
    EXPECT_EQ(au->ch[0].sfx, &cart->sfx[3]);
    mix(4 * vexel_tick_samples);   // reads nothing of the freed record
}

TEST_F(SequencerTest, BootSoundPlaysWithoutACartridge) {
    cart->sfx[5].speed = 2;
    vexel_audio_play(au, &cart->sfx[5]);
    EXPECT_EQ(au->ch[0].sfx, &cart->sfx[5]);
    EXPECT_EQ(au->ch[0].cart, nullptr);
    EXPECT_EQ(au->ch[0].ticks_left, 64);
    cart->sfx[6].loop_end = 4;
    vexel_audio_play(au, &cart->sfx[6]);
    EXPECT_EQ(au->ch[1].ticks_left, -16);
    vexel_audio_play(au, &cart->sfx[5]);   // restarts rather than doubling up
    EXPECT_EQ(au->ch[0].sfx, &cart->sfx[5]);
    EXPECT_EQ(au->ch[2].sfx, nullptr);
}

TEST_F(SequencerTest, AudioLockNests) {
    EXPECT_EQ(vexel_audio_lock_depth(), 0);
    vexel_audio_lock();
    vexel_audio_lock();
    EXPECT_EQ(play(1, 0), 0);
    EXPECT_EQ(vexel_audio_lock_depth(), 2);
    vexel_audio_unlock();
    vexel_audio_unlock();
    vexel_audio_unlock();   // one too many is ignored
    EXPECT_EQ(vexel_audio_lock_depth(), 0);
}

}  // namespace
