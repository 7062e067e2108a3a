// The mixer core: each channel's samples from its 183-sample ticks, the
// per-voice effect registers, the soft-clipped sum and the master volume.
// Touches only ms0, audio_shared and the sound records; allocates nothing.
#include <algorithm>
#include <cstring>

#include "audio/audio.h"
#include "audio/audio_state.h"
#include "machine/pstate.h"

sound_channel ms0[vexel_channel_count];
vexel_audio_shared audio_shared;
vexel_noise_rng audio_rng;

namespace {

constexpr int32_t clip_knee = 24576;      // soft clip starts above this magnitude
constexpr int32_t clip_slope = 5;         // and compresses 5:1 past it
constexpr uint32_t distort_mask = 0xf000; // distortion keeps the top four bits

int32_t soft_clip(int32_t x) {
    if (x > clip_knee - 1) return (x - clip_knee) / clip_slope + clip_knee;
    if (x < -(clip_knee - 1)) return (x + clip_knee) / clip_slope - clip_knee;
    return x;
}

void add_into(int16_t* a, const int16_t* b, int n) {
    for (int j = 0; j < n; ++j) a[j] = static_cast<int16_t>(soft_clip(a[j] + b[j]));
}

bool voice_bit(int reg, int voice) { return (load_word(pstate.audio_fx[reg]) >> voice) & 1; }

void release_cart(vexel_cart* cart) {
    fenn_stop_vexel_song(cart);
    fenn_lock_audio_plat();
    for (auto& ch : ms0) {
        bool own_sfx = ch.sfx >= cart->sfx && ch.sfx < cart->sfx + vexel_sfx_count;
        if (own_sfx || ch.cart == cart) stop_channel(ch);
    }
    fenn_unlock_audio_plat();
}

void mix_pass(int16_t* out, int n) {
    if (audio_shared.framework_paused.load(std::memory_order_relaxed) ||
        audio_shared.pause_state.load(std::memory_order_relaxed)) {
        std::memset(out, 0, sizeof(int16_t) * n);
        return;
    }
    audio_shared.advanced_pattern.store(0, std::memory_order_relaxed);
    for (auto& ch : ms0) {
        std::memset(ch.out, 0, sizeof(int16_t) * n);
        if (voice_bit(0, ch.voice)) {
            // Half speed: render half as many samples and play each twice.
            mix_sfx_channel(ch, n / 2 + 1);
            for (int j = n - 1; j >= 0; --j) ch.out[j] = ch.out[j / 2];
        } else {
            mix_sfx_channel(ch, n);
        }
    }
    if (audio_shared.advanced_pattern.load(std::memory_order_relaxed))
        audio_shared.song_patterns_played.fetch_add(1, std::memory_order_relaxed);
    for (int c = 4; c < vexel_channel_count; ++c)
        if (ms0[c - 4].sfx) std::memset(ms0[c].out, 0, sizeof(int16_t) * n);
    add_into(ms0[0].out, ms0[1].out, n);
    add_into(ms0[2].out, ms0[3].out, n);
    add_into(ms0[0].out, ms0[2].out, n);
    add_into(ms0[4].out, ms0[5].out, n);
    add_into(ms0[6].out, ms0[7].out, n);
    add_into(ms0[4].out, ms0[6].out, n);
    add_into(ms0[0].out, ms0[4].out, n);
    int32_t vol = audio_shared.sound_volume.load(std::memory_order_relaxed);
    if (vol != vexel_volume_one)
        for (int j = 0; j < n; ++j) ms0[0].out[j] = static_cast<int16_t>((ms0[0].out[j] * vol) >> 8);
    std::memcpy(out, ms0[0].out, sizeof(int16_t) * n);
}

}  // namespace

void mix_sfx_channel(sound_channel& ch, int n) {
    int done = 0;
    if (ch.tick_pos < vexel_tick_samples) {
        int k = std::min(n, vexel_tick_samples - ch.tick_pos);
        std::memcpy(ch.out, ch.tick_buf + ch.tick_pos, sizeof(int16_t) * k);
        ch.tick_pos += k;
        done = k;
    }
    while (done < n) {
        int v = ch.voice & 3;
        int32_t last = ch.tick_buf[vexel_tick_samples - 1];
        bool echo = voice_bit(1, v);
        if (echo) {
            std::memcpy(ch.echo[ch.echo_pos], ch.tick_buf, sizeof ch.tick_buf);
            ch.echo_pos = (ch.echo_pos + 1) & 7;
        }
        mix_sfx_tick(ch, ch.tick_buf);
        if (echo) {
            const int16_t* h = ch.echo[(ch.echo_pos + 4) & 7];
            for (int j = 0; j < vexel_tick_samples; ++j)
                ch.tick_buf[j] = static_cast<int16_t>((3 * ch.tick_buf[j] + 2 * h[j]) / 4);
        }
        if (voice_bit(2, v)) {
            for (auto& x : ch.tick_buf) {
                int32_t s = x;
                x = static_cast<int16_t>(s >= 0 ? static_cast<int32_t>(s & distort_mask)
                                                : -static_cast<int32_t>((-s) & distort_mask));
            }
        }
        if (voice_bit(3, v)) {
            int32_t y = last;
            for (auto& x : ch.tick_buf) {
                y = (x + 7 * y) / 8;
                x = static_cast<int16_t>(y);
            }
        }
        int k = std::min(n - done, vexel_tick_samples);
        std::memcpy(ch.out + done, ch.tick_buf, sizeof(int16_t) * k);
        ch.tick_pos = k;
        done += k;
    }
}

void vexel_audio_init() {
    fenn_lock_audio_plat();
    std::memset(static_cast<void*>(ms0), 0, sizeof ms0);
    for (int c = 0; c < vexel_channel_count; ++c) {
        ms0[c].voice = c & 3;
        // Nothing buffered: the first pass renders a fresh tick.
        ms0[c].tick_pos = vexel_tick_samples;
    }
    audio_rng = vexel_noise_rng{};
    audio_shared.fade_vol = 0;
    audio_shared.fade0 = 0;
    audio_shared.fade1 = 0;
    audio_shared.fade_len = 0;
    audio_shared.fade_start_t = 0;
    audio_shared.advanced_pattern = 0;
    audio_shared.song_pattern = 0;
    audio_shared.song_patterns_played = 0;
    audio_shared.music_channel_mask = 0;
    audio_shared.sound_volume = vexel_volume_one;
    audio_shared.music_volume = vexel_volume_one;
    audio_shared.framework_paused = 0;
    audio_shared.pause_state = 0;
    fenn_unlock_audio_plat();
    vexel_cart_add_release_hook(release_cart);
}

void vexel_audio_mix(int16_t* out, int n) {
    while (n > 0) {
        int k = std::min(n, vexel_mix_max);
        mix_pass(out, k);
        out += k;
        n -= k;
    }
}

int vexel_audio_frame_samples(int fps, int64_t frame) {
    if (fps <= 0) fps = 30;
    // Samples up to the end of this frame minus those up to its start, so
    // that frames add up exactly to the sample rate.
    int64_t end = (frame + 1) * vexel_sound_freq / fps;
    int64_t start = frame * vexel_sound_freq / fps;
    return static_cast<int>(end - start);
}

void fenn_set_sound_volume(int v) { audio_shared.sound_volume = std::clamp(v, 0, vexel_volume_one); }
void fenn_set_music_volume(int v) { audio_shared.music_volume = std::clamp(v, 0, vexel_volume_one); }
int fenn_get_sound_volume() { return audio_shared.sound_volume; }
int fenn_get_music_volume() { return audio_shared.music_volume; }
void fenn_set_audio_framework_paused(int paused) { audio_shared.framework_paused = paused; }
void fenn_set_audio_pause_state(int state) { audio_shared.pause_state = state; }
