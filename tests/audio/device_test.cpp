// The SDL device path under SDL's dummy audio driver: opening, the callback
// driving the channels, pause, long device buffers and the sample tap.
#include <SDL.h>

#include <fstream>
#include <sstream>

#include "audio/audio_wav.h"
#include "audio_test_util.h"
#include "framework/fenn_log.h"
#include "test_support.h"

using namespace audio_test;

namespace {

int locked_tick(vexel_audio* au, int c) {
    vexel_audio_lock();
    int t = au->ch[c].tick;
    vexel_audio_unlock();
    return t;
}

// Waits (at most 3 s) until channel c has run `ticks` ticks.
bool wait_for_ticks(vexel_audio* au, int c, int ticks) {
    for (int i = 0; i < 300; ++i) {
        if (locked_tick(au, c) >= ticks) return true;
        SDL_Delay(10);
    }
    return false;
}

class DeviceTest : public AudioTest {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 0);   // ctest sets it too
        AudioTest::SetUp();
    }
    void TearDown() override {
        vexel_audio_device_close();
        AudioTest::TearDown();
    }
    // Opens the device and prepares sound effect 1; false without a device.
    bool open(int buffer) {
        if (vexel_audio_device_open(au, buffer) != 0 || !vexel_audio_device_is_open()) return false;
        // 512 ticks, about four seconds.
        fill_notes(cart, 1, 0, 31, 30, 3, 5);
        return true;
    }
};

TEST_F(DeviceTest, NoBufferOpensNoDevice) {
    EXPECT_EQ(vexel_audio_device_open(au, 0), 0);
    EXPECT_EQ(vexel_audio_device_is_open(), 0);
    // Without a device the lock is only a counter and the mixer runs here.
    vexel_audio_lock();
    EXPECT_EQ(vexel_audio_lock_depth(), 1);
    vexel_audio_unlock();
}

TEST_F(DeviceTest, CallbackDrivesTheChannelsAndLogsTheDevice) {
    std::string log = vexel_test::temp_dir("audio_log") + "/log.txt";
    fenn_log_open(log.c_str());
    bool opened = open(512);
    fenn_log_close();
    if (!opened) GTEST_SKIP() << "no audio device: " << SDL_GetError();
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    EXPECT_NE(text.str().find("vexel_audio_device_open mix_buffer_size: 512"), std::string::npos);
    EXPECT_NE(text.str().find("SDL_OpenAudio ok"), std::string::npos);
    EXPECT_NE(text.str().find("Current audio driver: dummy"), std::string::npos);

    EXPECT_EQ(vexel_audio_sfx(au, cart, 1, -1, 0, 0), 0);
    EXPECT_TRUE(wait_for_ticks(au, 0, 20));

    // Paused: the channel stands still.
    vexel_audio_set_pause_state(au, 1);
    SDL_Delay(60);
    int held = locked_tick(au, 0);
    SDL_Delay(100);
    EXPECT_EQ(locked_tick(au, 0), held);
    vexel_audio_set_pause_state(au, 0);
    EXPECT_TRUE(wait_for_ticks(au, 0, held + 10));
}

TEST_F(DeviceTest, LongDeviceBuffersAreMixedInParts) {
    if (!open(8192)) GTEST_SKIP() << "no audio device: " << SDL_GetError();
    vexel_audio_tap_enable(true);
    vexel_audio_sfx(au, cart, 1, -1, 0, 0);
    EXPECT_TRUE(wait_for_ticks(au, 0, 100));
    vexel_audio_tap_enable(false);
    std::vector<int16_t> got(70000);
    int n = vexel_audio_tap_read(got.data(), static_cast<int>(got.size()));
    EXPECT_GE(n, 8192);
    got.resize(static_cast<size_t>(n));
    EXPECT_GT(peak(got), 0);
    EXPECT_EQ(vexel_audio_tap_read(got.data(), 10), 0);
}

TEST_F(DeviceTest, RecordingWithADeviceWritesWhatTheDevicePlayed) {
    if (!open(1024)) GTEST_SKIP() << "no audio device: " << SDL_GetError();
    std::string path = vexel_test::temp_dir("audio_rec") + "/rec.wav";
    vexel_wav_writer w;
    ASSERT_EQ(vexel_audio_record_start(w, path.c_str()), wav_ok);
    vexel_audio_sfx(au, cart, 1, -1, 0, 0);
    for (int f = 0; f < 20; ++f) {
        SDL_Delay(20);
        ASSERT_EQ(vexel_audio_record_frame(au, w, 30, f), wav_ok);
    }
    int ticks = locked_tick(au, 0);
    ASSERT_EQ(vexel_audio_record_finish(au, w), wav_ok);
    // Closing the device while the lock is held neither hangs nor unbalances it.
    vexel_audio_lock();
    vexel_audio_device_close();
    vexel_audio_unlock();
    EXPECT_EQ(vexel_audio_lock_depth(), 0);
    // Every sample the callback produced is in the file, whole ticks apart
    // from the one in progress.
    EXPECT_GE(w.samples, static_cast<int64_t>(ticks - 1) * vexel_tick_samples);
    EXPECT_EQ(vexel_audio_tap_dropped(), 0);
}

}  // namespace

TEST_F(DeviceTest, DestroyingTheRecordTheDevicePlaysClosesTheDevice) {
    vexel_audio* other = vexel_audio_create(nullptr);
    if (!open(512)) {
        vexel_audio_destroy(other);
        GTEST_SKIP() << "no audio device: " << SDL_GetError();
    }
    vexel_audio_destroy(other);  // not the one playing: the device stays
    EXPECT_EQ(vexel_audio_device_is_open(), 1);
    vexel_audio* playing = vexel_audio_create(nullptr);
    vexel_audio_device_close();
    ASSERT_EQ(vexel_audio_device_open(playing, 512), 0);
    ASSERT_EQ(vexel_audio_device_is_open(), 1);
    vexel_audio_destroy(playing);
    EXPECT_EQ(vexel_audio_device_is_open(), 0);
}
