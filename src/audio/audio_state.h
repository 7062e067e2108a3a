// audio_state: the mixer's channel records and the shared music values.
//
// Defines vexel_audio: the eight `audio_channel` records (0-3 sound
// effects, 4-7 the music voices) and the music values of one machine. The audio thread (or, without a
// device, whoever drives the mixer) is the only writer of channel fields while
// it mixes; the main thread writes them only under the audio lock. Values the
// mixer reads without the lock (fade level, music mask, volumes, pause) are
// atomics read relaxed; sound records and `audio_fx` are plain 32-bit words
// owned by the cartridge and the machine, read whole through load_word().
//
// Invariants: `tick_pos` is 0-183; `echo_pos` is 0-7; `voice` is 0-3; a
// channel with `is_music` set has a `cart`.
#pragma once
#include <atomic>
#include <cstdint>

#include "audio/audio.h"
#include "cart/cart.h"

constexpr int vexel_sound_freq = 22050;
constexpr int vexel_tick_samples = 183;      // one tick, about 8.3 ms
constexpr int vexel_xfade_samples = 64;      // every tick starts with this crossfade
constexpr int vexel_channel_count = 8;
constexpr int vexel_sfx_channels = 4;
constexpr int vexel_mix_max = 4096;          // most samples one mixer pass handles
constexpr int vexel_echo_slots = 8;
constexpr int vexel_fade_one = 65536;        // music fade level 1.0
constexpr int vexel_volume_one = 256;        // master and music volume 1.0

struct audio_osc_state {
    int32_t waveform;
    int32_t phase;        // 0-65535, one cycle is 65536
    int32_t dx;           // phase step per sample
    uint32_t phase2;      // second accumulator of the phaser (wraps)
    int32_t noise_level;
    int32_t noise_toggle;
    int32_t amp;          // 0-1792, 256 per volume step
    int32_t fine_pitch;   // 16.16, after effects and instrument offset
    int32_t pitch;        // whole pitch after the instrument offset
    int32_t volume;       // 0-7
    int32_t note_volume, note_pitch, note_waveform;
};

struct audio_channel {
    int16_t out[vexel_mix_max];
    vexel_cart* cart;
    const vexel_sfx_record* sfx;
    int32_t tick;
    int32_t loop_enabled;
    int32_t voice;
    int16_t tick_buf[vexel_tick_samples];
    int16_t echo[vexel_echo_slots][vexel_tick_samples];
    int32_t echo_pos;
    int32_t tick_pos;
    int32_t is_music;
    int32_t pattern;
    audio_osc_state osc;
    int32_t prev_pitch, prev_waveform, prev_volume;
    int32_t inst_prev_pitch, inst_prev_volume, inst_tick;
    int32_t ticks_left;
};


// Music and mixer values shared between the threads.
struct vexel_audio_shared {
    std::atomic<int32_t> fade_vol;          // 0-65536
    std::atomic<int32_t> fade0, fade1;
    std::atomic<int32_t> fade_len;          // ms
    std::atomic<uint32_t> fade_start_t;     // ms
    std::atomic<int32_t> advanced_pattern;
    std::atomic<int32_t> song_pattern;
    std::atomic<int32_t> song_patterns_played;
    std::atomic<int32_t> music_channel_mask;
    std::atomic<int32_t> sound_volume;      // 0-256
    std::atomic<int32_t> music_volume;      // 0-256
    std::atomic<int32_t> framework_paused;
    std::atomic<int32_t> pause_state;
};

// Reads a 32-bit word that another thread may write (sound records,
// `audio_fx`): whole, and without a data race.
inline int32_t load_word(const int32_t& word) {
#if defined(__cpp_lib_atomic_ref)
    return std::atomic_ref<int32_t>(const_cast<int32_t&>(word)).load(std::memory_order_relaxed);
#else
    // Older C++ libraries (the web build's) lack atomic_ref; the builtin is
    // what it is made of.
    return __atomic_load_n(&word, __ATOMIC_RELAXED);
#endif
}

inline int32_t sfx_speed(const vexel_sfx_record* sfx) {
    // Memory writes store 0-255. Like a memory read, take the low byte, so a
    // record filled by other code cannot overflow the tick arithmetic.
    int32_t s = load_word(sfx->speed) & 0xff;
    return s < 1 ? 1 : s;
}
// Loop fields, in their byte range for the same reason.
inline int32_t sfx_loop_start(const vexel_sfx_record* sfx) { return load_word(sfx->loop_start) & 0xff; }
inline int32_t sfx_loop_end(const vexel_sfx_record* sfx) { return load_word(sfx->loop_end) & 0xff; }
inline bool sfx_loops(const vexel_sfx_record* sfx) { return sfx_loop_end(sfx) > sfx_loop_start(sfx); }

// Noise generator of the audio thread. It runs the framework generator's
// algorithm on its own two words, so the main thread's draws (boot animation,
// reset effect) and the mixer's never interleave within a step.
struct vexel_noise_rng {
    uint32_t high = 0xdeadbeef;
    uint32_t low = 0x01234567;
};

// One machine's sound: the eight channels, the values shared with the
// mixer thread, the noise generator and the clock music fades are timed by.
struct vexel_audio {
    audio_channel ch[vexel_channel_count];
    vexel_audio_shared shared;
    vexel_noise_rng rng;
    vexel_audio_clock_fn clock = nullptr;  // null: SDL's millisecond counter
    void* clock_user = nullptr;
    const int32_t* fx = nullptr;           // the machine's four effect registers (audio_fx)
};

// The fade clock's time in milliseconds.
uint32_t audio_clock(const vexel_audio* au);
int32_t vexel_noise_random(vexel_noise_rng& rng, int32_t n);

// Synthesis (audio_synth.cpp).
void audio_calculate_osc_state(vexel_audio* au, audio_channel& ch, audio_osc_state& osc);
void audio_apply_meta_instrument(audio_channel& ch, const vexel_sfx_note& note, audio_osc_state& osc);
// Renders `count` samples of `osc` into `out`, advancing its phase and noise.
void audio_render_osc(vexel_audio* au, audio_osc_state& osc, int16_t* out, int count);
// Renders the next tick of the channel into `out` and advances it.
void audio_mix_sfx_tick(vexel_audio* au, audio_channel& ch, int16_t* out);

// Sequencing (audio_seq.cpp).
void audio_advance_channel(vexel_audio* au, audio_channel& ch, int32_t note_index, bool had_sfx);
void audio_stop_channel(audio_channel& ch);
int32_t audio_pattern_length(const vexel_cart* cart, int pattern);

// SDL's millisecond counter, the default clock of music fades (audio_device.cpp).
uint32_t vexel_audio_sdl_ticks();
// Closes the device when it plays `au`'s channels, so the callback never
// reads a destroyed record (audio_device.cpp).
void audio_device_forget(const vexel_audio* au);

// Mixer (audio_mix.cpp).
void audio_mix_sfx_channel(vexel_audio* au, audio_channel& ch, int n);
