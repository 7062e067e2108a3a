// The mixer core: each channel's samples from its 183-sample ticks, the
// per-voice effect registers, the soft-clipped sum and the master volume.
// Touches only the record's channels and shared values and the sound
// records; allocates nothing.
#include <algorithm>
#include <cstring>

#include "audio/audio.h"
#include "audio/audio_state.h"

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

bool voice_bit(const vexel_audio* au, int reg, int voice) { return au->fx && ((load_word(au->fx[reg]) >> voice) & 1); }

void mix_pass(vexel_audio* au, int16_t* out, int n) {
    if (au->shared.framework_paused.load(std::memory_order_relaxed) ||
        au->shared.pause_state.load(std::memory_order_relaxed)) {
        std::memset(out, 0, sizeof(int16_t) * n);
        return;
    }
    au->shared.advanced_pattern.store(0, std::memory_order_relaxed);
    for (auto& ch : au->ch) {
        std::memset(ch.out, 0, sizeof(int16_t) * n);
        if (voice_bit(au, 0, ch.voice)) {
            // Half speed: render half as many samples and play each twice.
            audio_mix_sfx_channel(au, ch, n / 2 + 1);
            for (int j = n - 1; j >= 0; --j) ch.out[j] = ch.out[j / 2];
        } else {
            audio_mix_sfx_channel(au, ch, n);
        }
    }
    if (au->shared.advanced_pattern.load(std::memory_order_relaxed))
        au->shared.song_patterns_played.fetch_add(1, std::memory_order_relaxed);
    for (int c = 4; c < vexel_channel_count; ++c)
        if (au->ch[c - 4].sfx) std::memset(au->ch[c].out, 0, sizeof(int16_t) * n);
    add_into(au->ch[0].out, au->ch[1].out, n);
    add_into(au->ch[2].out, au->ch[3].out, n);
    add_into(au->ch[0].out, au->ch[2].out, n);
    add_into(au->ch[4].out, au->ch[5].out, n);
    add_into(au->ch[6].out, au->ch[7].out, n);
    add_into(au->ch[4].out, au->ch[6].out, n);
    add_into(au->ch[0].out, au->ch[4].out, n);
    int32_t vol = au->shared.sound_volume.load(std::memory_order_relaxed);
    if (vol != vexel_volume_one)
        for (int j = 0; j < n; ++j) au->ch[0].out[j] = static_cast<int16_t>((au->ch[0].out[j] * vol) >> 8);
    std::memcpy(out, au->ch[0].out, sizeof(int16_t) * n);
}

}  // namespace

void audio_mix_sfx_channel(vexel_audio* au, audio_channel& ch, int n) {
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
        bool echo = voice_bit(au, 1, v);
        if (echo) {
            std::memcpy(ch.echo[ch.echo_pos], ch.tick_buf, sizeof ch.tick_buf);
            ch.echo_pos = (ch.echo_pos + 1) & 7;
        }
        audio_mix_sfx_tick(au, ch, ch.tick_buf);
        if (echo) {
            const int16_t* h = ch.echo[(ch.echo_pos + 4) & 7];
            for (int j = 0; j < vexel_tick_samples; ++j)
                ch.tick_buf[j] = static_cast<int16_t>((3 * ch.tick_buf[j] + 2 * h[j]) / 4);
        }
        if (voice_bit(au, 2, v)) {
            for (auto& x : ch.tick_buf) {
                int32_t s = x;
                x = static_cast<int16_t>(s >= 0 ? static_cast<int32_t>(s & distort_mask)
                                                : -static_cast<int32_t>((-s) & distort_mask));
            }
        }
        if (voice_bit(au, 3, v)) {
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

void vexel_audio_init(vexel_audio* au) {
    vexel_audio_lock();
    std::memset(static_cast<void*>(au->ch), 0, sizeof au->ch);
    for (int c = 0; c < vexel_channel_count; ++c) {
        au->ch[c].voice = c & 3;
        // Nothing buffered: the first pass renders a fresh tick.
        au->ch[c].tick_pos = vexel_tick_samples;
    }
    au->rng = vexel_noise_rng{};
    au->shared.fade_vol = 0;
    au->shared.fade0 = 0;
    au->shared.fade1 = 0;
    au->shared.fade_len = 0;
    au->shared.fade_start_t = 0;
    au->shared.advanced_pattern = 0;
    au->shared.song_pattern = 0;
    au->shared.song_patterns_played = 0;
    au->shared.music_channel_mask = 0;
    au->shared.sound_volume = vexel_volume_one;
    au->shared.music_volume = vexel_volume_one;
    au->shared.framework_paused = 0;
    au->shared.pause_state = 0;
    vexel_audio_unlock();
}

void vexel_audio_seed(vexel_audio* au, uint32_t seed) {
    vexel_audio_lock();
    au->rng = vexel_noise_rng{};
    au->rng.high ^= seed;
    au->rng.low += seed * 2654435761u;
    vexel_audio_unlock();
}

vexel_audio* vexel_audio_create(const int32_t* fx) {
    auto* au = new vexel_audio;
    au->fx = fx;
    vexel_audio_init(au);
    return au;
}

void vexel_audio_destroy(vexel_audio* au) {
    if (!au) return;
    audio_device_forget(au);
    delete au;
}

void vexel_audio_release_cart(vexel_audio* au, const vexel_cart* cart) {
    if (!au || !cart) return;
    vexel_audio_stop_song(au, cart);
    vexel_audio_lock();
    for (auto& ch : au->ch) {
        bool own_sfx = ch.sfx >= cart->sfx && ch.sfx < cart->sfx + vexel_sfx_count;
        if (own_sfx || ch.cart == cart) audio_stop_channel(ch);
    }
    vexel_audio_unlock();
}

void vexel_audio_mix(vexel_audio* au, int16_t* out, int n) {
    while (n > 0) {
        int k = std::min(n, vexel_mix_max);
        mix_pass(au, out, k);
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

void vexel_audio_set_sound_volume(vexel_audio* au, int v) { au->shared.sound_volume = std::clamp(v, 0, vexel_volume_one); }
void vexel_audio_set_music_volume(vexel_audio* au, int v) { au->shared.music_volume = std::clamp(v, 0, vexel_volume_one); }
int vexel_audio_sound_volume(const vexel_audio* au) { return au->shared.sound_volume; }
int vexel_audio_music_volume(const vexel_audio* au) { return au->shared.music_volume; }
void vexel_audio_set_framework_paused(vexel_audio* au, int paused) { au->shared.framework_paused = paused; }
void vexel_audio_set_pause_state(vexel_audio* au, int state) { au->shared.pause_state = state; }
