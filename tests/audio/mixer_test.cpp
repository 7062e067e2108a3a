// The mixer: summing and soft clipping, volumes, pause, how requests consume
// ticks, the four effect registers and long requests.
#include <cstring>

#include "audio_test_util.h"

using namespace audio_test;

namespace {

class MixerTest : public AudioTest {
protected:
    // Puts a constant tick into channel c's buffer, as if just rendered,
    // and silence into every other channel's.
    void preload(int c, int16_t value, bool others_silent = true) {
        for (int o = 0; o < vexel_channel_count; ++o) {
            if (o == c || !others_silent) continue;
            std::memset(au->ch[o].tick_buf, 0, sizeof au->ch[o].tick_buf);
            au->ch[o].tick_pos = 0;
        }
        for (auto& s : au->ch[c].tick_buf) s = value;
        au->ch[c].tick_pos = 0;
    }
    // Sound effect 1: one square note at pitch 33, volume 7, speed 1, and
    // nothing after it.
    void short_square() {
        cart->sfx[1].speed = 1;
        set_note(cart, 1, 0, 33, 3, 7);
    }
};

TEST_F(MixerTest, ChannelsAddPairwiseWithASoftClip) {
    // Channels 0 and 4 meet only in the last sum.
    preload(0, 20000);
    preload(4, 10000, false);
    EXPECT_EQ(mix(1)[0], 25660);
    preload(0, -20000);
    preload(4, -10000, false);
    EXPECT_EQ(mix(1)[0], -25660);
    preload(0, 24575);
    EXPECT_EQ(mix(1)[0], 24575);
    // Every sum is clipped, so a loud pair is compressed again by the two
    // sums it passes through after its own.
    preload(0, 32767);
    preload(1, 32767, false);
    EXPECT_EQ(mix(1)[0], 24903);   // 32767, then 26214, then 24903
    preload(0, -32768);
    preload(1, -32768, false);
    EXPECT_EQ(mix(1)[0], -24903);
    // Eight channels at 10000: 20000 per pair, 27660 per four, 30724 in all.
    for (int c = 0; c < 8; ++c) preload(c, 10000, false);
    EXPECT_EQ(mix(1)[0], 30724);
}

TEST_F(MixerTest, MasterVolumeScalesTowardsMinusInfinity) {
    preload(0, -3);
    vexel_audio_set_sound_volume(au, 128);
    EXPECT_EQ(mix(1)[0], -2);
    preload(0, 1001);
    EXPECT_EQ(mix(1)[0], 500);
    vexel_audio_set_sound_volume(au, 0);
    preload(0, 20000);
    EXPECT_EQ(mix(1)[0], 0);
    vexel_audio_set_sound_volume(au, 256);
    preload(0, 20000);
    EXPECT_EQ(mix(1)[0], 20000);
    vexel_audio_set_sound_volume(au, -5);
    EXPECT_EQ(vexel_audio_sound_volume(au), 0);
}

TEST_F(MixerTest, PauseGivesSilenceAndFreezesEveryChannel) {
    short_square();
    cart->sfx[1].loop_end = 1;
    play(1, 0);
    mix(100);
    vexel_audio_set_pause_state(au, 1);
    EXPECT_EQ(peak(mix(1000)), 0);
    EXPECT_EQ(au->ch[0].tick_pos, 100);
    vexel_audio_set_pause_state(au, 0);
    vexel_audio_set_framework_paused(au, 1);
    EXPECT_EQ(peak(mix(1000)), 0);
    vexel_audio_set_framework_paused(au, 0);
    EXPECT_GT(peak(mix(83)), 0);
    EXPECT_EQ(au->ch[0].tick_pos, 183);
}

TEST_F(MixerTest, RequestsConsumeWholeTicks) {
    short_square();
    cart->sfx[1].speed = 200;
    play(1, 0);
    mix(100);
    EXPECT_EQ(au->ch[0].tick, 1);
    EXPECT_EQ(au->ch[0].tick_pos, 100);
    mix(100);   // 83 left of the first tick, then a second tick
    EXPECT_EQ(au->ch[0].tick, 2);
    EXPECT_EQ(au->ch[0].tick_pos, 17);
    mix(166);   // finish it
    for (int j = 0; j < vexel_tick_samples; ++j) mix(1);
    EXPECT_EQ(au->ch[0].tick, 3);
    EXPECT_EQ(au->ch[0].tick_pos, 183);
}

TEST_F(MixerTest, LongRequestsAreSplitWithoutChangingTheSound) {
    short_square();
    cart->sfx[1].speed = 8;
    fill_notes(cart, 1, 0, 31, 33, 6, 7);   // noise, to catch any reordering
    play(1, 0);
    auto whole = mix(10000);
    vexel_audio_init(au);
    play(1, 0);
    auto a = mix(4096), b = mix(4096), c = mix(1808);
    a.insert(a.end(), b.begin(), b.end());
    a.insert(a.end(), c.begin(), c.end());
    EXPECT_EQ(whole, a);
}

TEST_F(MixerTest, HalfSpeedPlaysEachSampleTwice) {
    short_square();
    cart->sfx[1].speed = 50;
    play(1, 0);
    M->audio_fx[0] = 1;
    auto out = mix(1024);
    // 513 samples produced: three ticks, 147 samples of the third used.
    EXPECT_EQ(au->ch[0].tick, 3);
    EXPECT_EQ(au->ch[0].tick_pos, 147);
    for (int j = 0; j < 1024; j += 2) ASSERT_EQ(out[j], out[j + 1]) << j;
    // Channel 1 is on another voice and runs at full rate.
    EXPECT_EQ(au->ch[1].tick_pos, 1024 - 5 * 183);
}

// Echo, low pass and distortion are sample-exact in the golden noise_fx and
// song recordings (wav_test); here which channels a voice's bit reaches.
TEST_F(MixerTest, EffectRegistersFollowTheVoice) {
    short_square();
    cart->sfx[1].loop_end = 1;
    vexel_audio_play_sfx(au, &cart->sfx[1], 0, 0, cart, 6);
    M->audio_fx[2] = 1 << 2;   // distortion on voice 2: channels 2 and 6
    auto out = mix(2 * vexel_tick_samples);
    EXPECT_EQ(std::abs(out[300]), 0x1000);
    M->audio_fx[2] = 1 << 1;
    out = mix(vexel_tick_samples);
    EXPECT_EQ(std::abs(out[100]), 8062);
}

TEST(MixerFrames, FramesAddUpToTheSampleRate) {
    EXPECT_EQ(vexel_audio_frame_samples(30, 0), 735);
    EXPECT_EQ(vexel_audio_frame_samples(60, 0), 367);
    EXPECT_EQ(vexel_audio_frame_samples(60, 1), 368);
    int total = 0;
    for (int f = 0; f < 60; ++f) total += vexel_audio_frame_samples(60, f);
    EXPECT_EQ(total, 22050);
    EXPECT_EQ(vexel_audio_frame_samples(0, 0), 735);
}

}  // namespace
