// Music: pattern order, flags, lengths, silent voices, fades and the music
// volume.
#include "audio_test_util.h"

using namespace audio_test;

namespace {

constexpr int flag_start = 1, flag_back = 2, flag_stop = 4;

class MusicTest : public AudioTest {
protected:
    void SetUp() override {
        AudioTest::SetUp();
        // Sound effects 1-8: audible, speed 1, so a pattern lasts 32 ticks.
        for (int n = 1; n <= 8; ++n) {
            fill_notes(cart, n, 0, 31, 20 + n, 0, 7);
            cart->sfx[n].speed = 1;
        }
        // Patterns 0-9 play sound effect 1 on voice 0, the rest silent.
        for (int p = 0; p < 10; ++p) set_pattern(p, 1, 0x41, 0x42, 0x43);
    }
    void set_pattern(int p, int c0, int c1, int c2, int c3, int flags = 0) {
        cart->music[p][0] = c0;
        cart->music[p][1] = c1;
        cart->music[p][2] = c2;
        cart->music[p][3] = c3;
        cart->music_flags[p] = flags;
    }
    void ticks(int n) { mix(n * vexel_tick_samples); }
    // Plays pattern lengths one after another and records the patterns.
    std::vector<int> follow(int start, int patterns) {
        vexel_audio_music(au, cart, start, 0, 0);
        std::vector<int> seen{vexel_audio_song_pattern(au)};
        for (int i = 1; i < patterns; ++i) {
            ticks(32);
            seen.push_back(vexel_audio_song_pattern(au));
        }
        return seen;
    }
};

TEST_F(MusicTest, PatternsFollowInOrderAndCountChanges) {
    set_pattern(1, 2, 3, 0x42, 0x43);
    vexel_audio_music(au, cart, 0, 0, 0);
    EXPECT_TRUE(vexel_audio_music_playing(au));
    EXPECT_EQ(au->ch[4].sfx, &cart->sfx[1]);
    EXPECT_EQ(au->ch[5].sfx, nullptr);
    EXPECT_EQ(au->ch[5].is_music, 1);
    ticks(31);
    EXPECT_EQ(vexel_audio_song_pattern(au), 0);
    ticks(1);
    EXPECT_EQ(vexel_audio_song_pattern(au), 1);
    EXPECT_EQ(au->ch[4].sfx, &cart->sfx[2]);
    EXPECT_EQ(au->ch[5].sfx, &cart->sfx[3]);   // the silent voice kept time
    EXPECT_EQ(au->ch[5].tick, 0);
    // All four voices moved on in the same mixer call: one change counted.
    EXPECT_EQ(vexel_audio_song_patterns_played(au), 1);
    EXPECT_EQ(vexel_audio_stat(au, cart, 25), 1);
}

TEST_F(MusicTest, LoopBackFlags) {
    cart->music_flags[1] = flag_start;
    cart->music_flags[3] = flag_start;
    cart->music_flags[5] = flag_back;
    EXPECT_EQ(follow(4, 4), (std::vector<int>{4, 5, 3, 4}));
    // A pattern with both flags repeats itself.
    cart->music_flags[7] = flag_start | flag_back;
    EXPECT_EQ(follow(7, 3), (std::vector<int>{7, 7, 7}));
    // Without an earlier loop start, back to pattern 0; pattern 0 to itself.
    cart->music_flags[9] = flag_back;
    cart->music_flags[1] = cart->music_flags[3] = cart->music_flags[7] = 0;
    EXPECT_EQ(follow(9, 2), (std::vector<int>{9, 0}));
    cart->music_flags[0] = flag_back;
    EXPECT_EQ(follow(0, 3), (std::vector<int>{0, 0, 0}));
}

TEST_F(MusicTest, StopFlagEndOfSongAndSilentPatternsStopTheMusic) {
    cart->music_flags[2] = flag_stop;
    follow(1, 2);
    ticks(32);
    EXPECT_EQ(vexel_audio_song_pattern(au), -1);
    EXPECT_FALSE(vexel_audio_music_playing(au));
    for (int c = 4; c < 8; ++c) EXPECT_EQ(au->ch[c].is_music, 0);
    EXPECT_EQ(vexel_audio_stat(au, cart, 24), 0);

    set_pattern(63, 1, 0x41, 0x42, 0x43);
    vexel_audio_music(au, cart, 63, 0, 0);
    ticks(32);
    EXPECT_EQ(vexel_audio_song_pattern(au), 64);
    EXPECT_EQ(au->ch[4].is_music, 0);

    set_pattern(6, 0x40, 0x41, 0x7f, 0x43);   // all silent: never played
    vexel_audio_music(au, cart, 5, 0, 0);
    ticks(32);
    EXPECT_EQ(au->ch[4].is_music, 0);
    vexel_audio_music(au, cart, 6, 0, 0);
    EXPECT_EQ(au->ch[4].is_music, 0);
    EXPECT_EQ(vexel_audio_song_pattern(au), 6);    // left as it was
}

TEST_F(MusicTest, PatternLengthComesFromTheFirstNonLoopingVoice) {
    for (int n : {2, 3}) cart->sfx[n].loop_end = 4;
    cart->sfx[2].speed = 8;
    cart->sfx[3].speed = 16;
    cart->sfx[4].speed = 4;
    set_pattern(0, 2, 3, 4, 0x43);
    EXPECT_EQ(audio_pattern_length(cart, 0), 128);
    set_pattern(0, 2, 3, 0x42, 0x43);
    EXPECT_EQ(audio_pattern_length(cart, 0), 512);   // all loop: the longest
    cart->sfx[5].speed = 0;
    set_pattern(0, 0x40, 5, 4, 0x43);
    EXPECT_EQ(audio_pattern_length(cart, 0), 32);    // speed 0 counts as 1
}

TEST_F(MusicTest, LoopingVoiceLoopsInsideItsPattern) {
    cart->sfx[2].loop_start = 1;
    cart->sfx[2].loop_end = 3;
    set_pattern(0, 2, 1, 0x42, 0x43);
    vexel_audio_music(au, cart, 0, 0, 0);
    ticks(20);
    EXPECT_LT(au->ch[4].tick, 3);
    ticks(12);
    EXPECT_EQ(vexel_audio_song_pattern(au), 1);
}

TEST_F(MusicTest, FadeInAndOutFollowTheClock) {
    vexel_audio_music(au, cart, 0, 2000, 0);
    EXPECT_EQ(au->shared.fade_vol.load(), 0);
    test_clock_ms += 1000;
    vexel_audio_update_fading(au);
    EXPECT_EQ(au->shared.fade_vol.load(), 32768);
    ticks(1);
    EXPECT_EQ(au->ch[4].osc.amp, 896);   // half of 1792
    test_clock_ms += 1000;
    vexel_audio_update_fading(au);
    EXPECT_EQ(au->shared.fade_vol.load(), 65536);

    vexel_audio_music(au, cart, -1, 2000, 0);
    test_clock_ms += 500;
    vexel_audio_update_fading(au);
    EXPECT_EQ(au->shared.fade_vol.load(), 49152);
    EXPECT_EQ(au->ch[4].is_music, 1);
    test_clock_ms += 1500;
    vexel_audio_update_fading(au);
    EXPECT_EQ(au->shared.fade_vol.load(), 0);
    EXPECT_EQ(au->ch[4].is_music, 0);   // freed at the end of the fade
}

TEST_F(MusicTest, ImmediateStopsAndLongFades) {
    vexel_audio_music(au, cart, 0, 0, 5);
    EXPECT_EQ(au->shared.fade_vol.load(), 65536);
    vexel_audio_music(au, cart, -1, 0, 0);
    EXPECT_EQ(au->ch[4].is_music, 0);
    EXPECT_EQ(vexel_audio_music_channel_mask(au), 5);   // music(-1) keeps the mask

    // Stopping with a fade while a fade-in is still silent stops at once.
    vexel_audio_music(au, cart, 0, 1000, 0);
    vexel_audio_music(au, cart, -1, 500, 0);
    EXPECT_EQ(au->ch[4].is_music, 0);

    // Fades past 32767 ms do not overflow.
    vexel_audio_music(au, cart, 0, 40000, 0);
    test_clock_ms += 30000;
    vexel_audio_update_fading(au);
    EXPECT_EQ(au->shared.fade_vol.load(), 49152);
}

TEST_F(MusicTest, MusicVolumeScalesOnlyTheMusic) {
    vexel_audio_set_music_volume(au, 128);
    vexel_audio_music(au, cart, 0, 0, 0);
    cart->sfx[9].speed = 1;
    fill_notes(cart, 9, 0, 31, 30, 0, 7);
    play(9, 1);
    ticks(1);
    EXPECT_EQ(au->ch[4].osc.amp, 896);
    EXPECT_EQ(au->ch[1].osc.amp, 1792);
    vexel_audio_set_music_volume(au, 999);
    EXPECT_EQ(vexel_audio_music_volume(au), 256);
}

TEST_F(MusicTest, SoundEffectMutesItsMusicVoiceWhileItPlays) {
    set_pattern(0, 0x40, 0x41, 0x42, 1);
    vexel_audio_music(au, cart, 0, 0, 0);
    EXPECT_GT(peak(mix(2 * vexel_tick_samples)), 0);
    cart->sfx[9].speed = 1;
    set_note(cart, 9, 0, 30, 0, 0);
    cart->sfx[9].loop_end = 1;   // silent, and holds the channel
    play(9, 3);
    EXPECT_EQ(peak(mix(2 * vexel_tick_samples)), 0);
    EXPECT_EQ(au->ch[7].tick, 4);                 // but the music voice kept going
    vexel_audio_play_sfx(au, nullptr, 0, 0, cart, 3);
    mix(1);
    EXPECT_GT(peak(mix(2 * vexel_tick_samples)), 0);
}

}  // namespace
