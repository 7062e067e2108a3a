// The SDL audio device: a thin wrapper whose callback runs the mixer core,
// the audio lock, and the tap that hands the produced samples to the main
// thread. The callback allocates nothing and takes no lock of its own.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "audio/audio.h"
#include "audio/audio_state.h"
#include "framework/fenn_log.h"

namespace {

constexpr int tap_capacity = 1 << 16;  // samples, about 3 s

int sound_inited = 0;
int lock_depth = 0;
const vexel_audio* device_audio = nullptr;  // whose channels the open device plays

// Single-producer (audio thread), single-consumer (main thread) ring.
int16_t tap_ring[tap_capacity];
std::atomic<bool> tap_on{false};
std::atomic<uint32_t> tap_head{0};   // written by the producer
std::atomic<uint32_t> tap_tail{0};   // written by the consumer
std::atomic<int64_t> tap_lost{0};

void tap_push(const int16_t* samples, int n) {
    uint32_t head = tap_head.load(std::memory_order_relaxed);
    uint32_t tail = tap_tail.load(std::memory_order_acquire);
    int room = tap_capacity - static_cast<int>(head - tail);
    int k = std::min(n, room);
    for (int j = 0; j < k; ++j) tap_ring[(head + j) & (tap_capacity - 1)] = samples[j];
    tap_head.store(head + k, std::memory_order_release);
    if (k < n) tap_lost.fetch_add(n - k, std::memory_order_relaxed);
}

void mixer_callback(void* user, Uint8* stream, int len) {
    auto* out = reinterpret_cast<int16_t*>(stream);
    int n = len / 2;
    vexel_audio_mix(static_cast<vexel_audio*>(user), out, n);
    if (len & 1) stream[len - 1] = 0;
    if (tap_on.load(std::memory_order_relaxed)) tap_push(out, n);
}

void log_drivers() {
    int count = SDL_GetNumAudioDrivers();
    if (count > 0) {
        char line[1024] = "Built-in audio drivers:";
        for (int i = 0; i < count; ++i) {
            size_t used = std::strlen(line);
            std::snprintf(line + used, sizeof line - used, " %d %s", i, SDL_GetAudioDriver(i));
        }
        fenn_debug("%s\n", line);
    } else {
        fenn_debug("No built-in audio drivers\n");
    }
    const char* current = SDL_GetCurrentAudioDriver();
    fenn_debug("Current audio driver: %s\n", current ? current : "(none)");
}

int open_device(vexel_audio* au, int mix_buffer_size) {
    if (mix_buffer_size == 0) return 0;
    if (sound_inited) return 0;  // already open: keep it
    fenn_debug("vexel_audio_device_open\n");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        fenn_debug("SDL_INIT_AUDIO ok\n");
        SDL_AudioSpec want{}, got{};
        want.freq = vexel_sound_freq;
        want.format = AUDIO_S16LSB;
        want.channels = 1;
        want.silence = 0;
        want.samples = static_cast<Uint16>(std::clamp(mix_buffer_size, 1, 65535));
        want.callback = mixer_callback;
        want.userdata = au;
        if (SDL_OpenAudio(&want, &got) == 0) {
            fenn_debug("SDL_OpenAudio ok\n");
            if (got.freq != want.freq) fenn_debug("freq differs; got: %d\n", got.freq);
            if (got.format != want.format) fenn_debug("format differs; got: %d\n", got.format);
            if (got.channels != want.channels) fenn_debug("channels differs; got: %d\n", got.channels);
            if (got.silence != want.silence) fenn_debug("silence differs; got: %d\n", got.silence);
            if (got.samples != want.samples) fenn_debug("samples differs; got: %d\n", got.samples);
            if (got.callback != want.callback) fenn_debug("callback differs\n");
            SDL_PauseAudio(0);
            sound_inited = 1;
            device_audio = au;
        } else {
            fenn_debug("SDL_OpenAudio failed: %s\n", SDL_GetError());
        }
    } else {
        fenn_debug("SDL_INIT_AUDIO failed: %s\n", SDL_GetError());
    }
    log_drivers();
    return 0;
}

}  // namespace

uint32_t vexel_audio_sdl_ticks() { return SDL_GetTicks(); }

int vexel_audio_device_open(vexel_audio* au, int mix_buffer_size) {
    fenn_debug("vexel_audio_device_open mix_buffer_size: %d\n", mix_buffer_size);
    return open_device(au, mix_buffer_size);
}

int vexel_audio_device_is_open() { return sound_inited; }

void vexel_audio_device_close() {
    if (!sound_inited) return;
    // Closing waits for the callback, which would wait for our lock.
    if (lock_depth > 0) SDL_UnlockAudio();
    SDL_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sound_inited = 0;
    device_audio = nullptr;
}

void audio_device_forget(const vexel_audio* au) {
    if (sound_inited && device_audio == au) vexel_audio_device_close();
}

void vexel_audio_lock() {
    if (lock_depth++ == 0 && sound_inited) SDL_LockAudio();
}

void vexel_audio_unlock() {
    if (lock_depth <= 0) return;
    if (--lock_depth == 0 && sound_inited) SDL_UnlockAudio();
}

int vexel_audio_lock_depth() { return lock_depth; }

void vexel_audio_tap_enable(bool on) { tap_on.store(on, std::memory_order_relaxed); }

int vexel_audio_tap_read(int16_t* dst, int max) {
    uint32_t tail = tap_tail.load(std::memory_order_relaxed);
    uint32_t head = tap_head.load(std::memory_order_acquire);
    int k = std::min(max, static_cast<int>(head - tail));
    for (int j = 0; j < k; ++j) dst[j] = tap_ring[(tail + j) & (tap_capacity - 1)];
    tap_tail.store(tail + k, std::memory_order_release);
    return k;
}

int64_t vexel_audio_tap_dropped() { return tap_lost.load(std::memory_order_relaxed); }
