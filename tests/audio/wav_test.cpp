// The WAV writer and reader, and whole sound effects and a song rendered
// frame by frame (as a headless run does) compared with golden files.
//
// The golden files were made once with VEXEL_UPDATE_GOLDEN=1 and checked by
// ear and by plotting them (tools/wav_plot.py).
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "audio/audio_wav.h"
#include "audio_test_util.h"
#include "test_support.h"

using namespace audio_test;

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<int16_t> read_wav(const std::string& path) {
    auto bytes = read_file(path);
    const uint8_t* data = nullptr;
    int64_t count = 0;
    if (vexel_wav_parse(bytes.data(), bytes.size(), &data, &count) != 0) return {};
    std::vector<int16_t> out(static_cast<size_t>(count));
    for (int64_t j = 0; j < count; ++j)
        out[j] = static_cast<int16_t>(data[2 * j] | (data[2 * j + 1] << 8));
    return out;
}

TEST(Wav, WrittenFileReadsBackWithAValidHeader) {
    std::string path = vexel_test::temp_dir("wav") + "/a.wav";
    vexel_wav_writer w;
    ASSERT_EQ(vexel_wav_open(w, path.c_str()), wav_ok);
    std::vector<int16_t> samples(3000);
    for (size_t j = 0; j < samples.size(); ++j) samples[j] = static_cast<int16_t>(j * 37 - 40000);
    ASSERT_EQ(vexel_wav_write(w, samples.data(), 1000), wav_ok);
    // Valid after every block, before it is closed.
    EXPECT_EQ(read_wav(path).size(), 1000u);
    ASSERT_EQ(vexel_wav_write(w, samples.data() + 1000, 2000), wav_ok);
    ASSERT_EQ(vexel_wav_close(w), wav_ok);
    EXPECT_EQ(read_wav(path), samples);
    auto bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 44u + 6000u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(bytes[4] | bytes[5] << 8 | bytes[6] << 16, 36 + 6000);
    EXPECT_EQ(bytes[24] | bytes[25] << 8, 22050);
    EXPECT_EQ(vexel_wav_close(w), wav_not_open);
    EXPECT_EQ(vexel_wav_write(w, samples.data(), 1), wav_not_open);
    EXPECT_EQ(vexel_wav_open(w, "/nonexistent-folder/x.wav"), wav_open_failed);
}

TEST(Wav, ReaderRejectsOtherFormatsAndClampsShortData) {
    std::string path = vexel_test::temp_dir("wav2") + "/b.wav";
    vexel_wav_writer w;
    int16_t s[4] = {1, 2, 3, 4};
    ASSERT_EQ(vexel_wav_open(w, path.c_str()), wav_ok);
    ASSERT_EQ(vexel_wav_write(w, s, 4), wav_ok);
    ASSERT_EQ(vexel_wav_close(w), wav_ok);
    auto good = read_file(path);
    const uint8_t* data;
    int64_t count;
    auto bad = good;
    bad[22] = 2;   // stereo
    EXPECT_EQ(vexel_wav_parse(bad.data(), bad.size(), &data, &count), 1);
    bad = good;
    bad[34] = 8;   // 8-bit
    EXPECT_EQ(vexel_wav_parse(bad.data(), bad.size(), &data, &count), 1);
    EXPECT_EQ(vexel_wav_parse(good.data(), 30, &data, &count), 1);
    // A data chunk claiming more than the file holds gives what is there.
    ASSERT_EQ(vexel_wav_parse(good.data(), good.size() - 3, &data, &count), 0);
    EXPECT_EQ(count, 2);
}

class GoldenTest : public AudioTest {
protected:
    // Renders `seconds` of sound at 30 frames per second, calling `frame`
    // before each frame, and compares it with the golden file `name`.
    template <typename Frame>
    void check(const std::string& name, int seconds, Frame frame) {
        std::string out = vexel_test::temp_dir("golden") + "/" + name + ".wav";
        vexel_wav_writer w;
        ASSERT_EQ(vexel_audio_record_start(w, out.c_str()), wav_ok);
        for (int f = 0; f < seconds * 30; ++f) {
            frame(f);
            test_clock_ms += 33;
            vexel_audio_update_fading(au);
            ASSERT_EQ(vexel_audio_record_frame(au, w, 30, f), wav_ok);
        }
        ASSERT_EQ(vexel_audio_record_finish(au, w), wav_ok);
        std::string golden = std::string(VEXEL_SOURCE_DIR) + "/tests/audio/golden/" + name + ".wav";
        if (std::getenv("VEXEL_UPDATE_GOLDEN")) {
            std::ofstream(golden, std::ios::binary) << std::ifstream(out, std::ios::binary).rdbuf();
        }
        auto expected = read_wav(golden);
        auto got = read_wav(out);
        ASSERT_EQ(got.size(), static_cast<size_t>(seconds) * 22050);
        ASSERT_EQ(expected.size(), got.size()) << "golden " << golden;
        size_t first_diff = 0;
        while (first_diff < got.size() && got[first_diff] == expected[first_diff]) ++first_diff;
        EXPECT_EQ(first_diff, got.size()) << name << " differs from sample " << first_diff;
    }
};

TEST_F(GoldenTest, MelodyThroughEveryShapeAndEffect) {
    cart->sfx[1].speed = 12;
    for (int i = 0; i < 24; ++i) set_note(cart, 1, i, 24 + (i * 5) % 24, i % 6, 3 + i % 5, i % 8);
    check("melody", 3, [&](int f) {
        if (f == 0) vexel_audio_sfx(au, cart, 1, -1, 0, 0);
    });
}

TEST_F(GoldenTest, InstrumentWithLoopAndArpeggio) {
    cart->sfx[0].speed = 3;
    cart->sfx[0].loop_start = 0;
    cart->sfx[0].loop_end = 4;
    for (int i = 0; i < 4; ++i) set_note(cart, 0, i, 24 + (i == 2 ? 7 : 0), i < 2 ? 4 : 5, 7 - i, 6);
    cart->sfx[2].speed = 20;
    const int pitches[8] = {24, 24, 31, 36, 29, 29, 24, 12};
    for (int i = 0; i < 8; ++i) set_note(cart, 2, i, pitches[i], 0, 6, i == 3 ? 2 : i == 4 ? 1 : 0, true);
    check("instrument", 3, [&](int f) {
        if (f == 0) vexel_audio_sfx(au, cart, 2, -1, 0, 0);
    });
}

TEST_F(GoldenTest, NoiseAndPhaserWithEchoAndLowPass) {
    cart->sfx[3].speed = 8;
    for (int i = 0; i < 8; ++i) set_note(cart, 3, i, 20 + i * 4, 6, 6, i % 2 ? 5 : 0);
    for (int i = 8; i < 16; ++i) set_note(cart, 3, i, 30 + i, 7, 5, 3);
    check("noise_fx", 2, [&](int f) {
        if (f == 0) vexel_audio_sfx(au, cart, 3, 0, 0, 0);
        if (f == 10) M->audio_fx[1] = 1;
        if (f == 30) M->audio_fx[3] = 1;
    });
}

TEST_F(GoldenTest, SongWithAnEffectOnTopAndAFadeOut) {
    for (int n = 10; n < 14; ++n) cart->sfx[n].speed = 6;
    for (int i = 0; i < 32; ++i) {
        set_note(cart, 10, i, 12 + (i % 4) * 5, 2, i % 4 ? 3 : 6);
        set_note(cart, 11, i, 36 + (i % 8), 3, 3, i % 8 == 0 ? 1 : 0);
        set_note(cart, 12, i, 40 - (i % 6), 5, 4, 7);
        set_note(cart, 13, i, 60, 6, i % 2 ? 0 : 2);
    }
    cart->music[0][0] = 10;
    cart->music[0][1] = 11;
    cart->music[1][0] = 10;
    cart->music[1][1] = 12;
    cart->music[1][2] = 13;
    cart->music_flags[1] = 2 | 1;
    cart->sfx[20].speed = 4;
    for (int i = 0; i < 8; ++i) set_note(cart, 20, i, 40 + i, 4, 7, 0);
    check("song", 5, [&](int f) {
        if (f == 0) vexel_audio_music(au, cart, 0, 500, 0);
        if (f == 40) vexel_audio_sfx(au, cart, 20, 1, 0, 0);
        if (f == 70) M->audio_fx[2] = 4;
        if (f == 110) vexel_audio_music(au, cart, -1, 1000, 0);
    });
}

}  // namespace
