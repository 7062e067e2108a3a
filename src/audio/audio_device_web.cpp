// The web build's audio device: the page's Web Audio graph pulls samples
// by calling vexel_web_audio_fill, which runs the same mixer core as the
// desktop's SDL callback. Everything runs on the page's one thread, so the
// audio lock only counts. Browsers start sound after a user gesture; the
// page resumes its audio context on the first key or tap.
#include <emscripten.h>

#include <algorithm>

#include "audio/audio.h"
#include "audio/audio_state.h"
#include "framework/fenn_log.h"
#include "framework/fenn_platform.h"

namespace {

constexpr int tap_capacity = 1 << 16;   // samples, about 3 s

int lock_depth = 0;
vexel_audio* device_audio = nullptr;
bool tap_on = false;
int16_t tap_ring[tap_capacity];
uint32_t tap_head = 0, tap_tail = 0;
int64_t tap_lost = 0;

EM_JS(int, web_audio_open, (int freq, int buffer), {
    return Module.vexelAudioOpen ? Module.vexelAudioOpen(freq, buffer) : 0;
});

EM_JS(void, web_audio_close, (), {
    if (Module.vexelAudioClose) Module.vexelAudioClose();
});

void tap_push(const int16_t* samples, int n) {
    const int room = tap_capacity - int(tap_head - tap_tail);
    const int k = std::min(n, room);
    for (int j = 0; j < k; ++j) tap_ring[(tap_head + uint32_t(j)) & (tap_capacity - 1)] = samples[j];
    tap_head += uint32_t(k);
    if (k < n) tap_lost += n - k;
}

}  // namespace

extern "C" {
// Mixes n samples (22050 Hz mono signed 16-bit) into out for the page.
EMSCRIPTEN_KEEPALIVE void vexel_web_audio_fill(int16_t* out, int n) {
    if (!device_audio || n <= 0) {
        std::fill(out, out + std::max(n, 0), int16_t(0));
        return;
    }
    vexel_audio_mix(device_audio, out, n);
    if (tap_on) tap_push(out, n);
}
}

uint32_t vexel_audio_sdl_ticks() { return uint32_t(fenn_get_time()); }

int vexel_audio_device_open(vexel_audio* au, int mix_buffer_size) {
    if (mix_buffer_size == 0 || device_audio) return 0;
    if (!web_audio_open(vexel_sound_freq, std::clamp(mix_buffer_size, 256, 16384))) {
        fenn_debug("no Web Audio in this page\n");
        return 0;
    }
    device_audio = au;
    return 0;
}

int vexel_audio_device_is_open() { return device_audio ? 1 : 0; }

void vexel_audio_device_close() {
    if (!device_audio) return;
    web_audio_close();
    device_audio = nullptr;
}

void audio_device_forget(const vexel_audio* au) {
    if (device_audio == au) vexel_audio_device_close();
}

void vexel_audio_lock() { ++lock_depth; }

void vexel_audio_unlock() {
    if (lock_depth > 0) --lock_depth;
}

int vexel_audio_lock_depth() { return lock_depth; }

void vexel_audio_tap_enable(bool on) { tap_on = on; }

int vexel_audio_tap_read(int16_t* dst, int max) {
    const int k = std::min(max, int(tap_head - tap_tail));
    for (int j = 0; j < k; ++j) dst[j] = tap_ring[(tap_tail + uint32_t(j)) & (tap_capacity - 1)];
    tap_tail += uint32_t(k);
    return k;
}

int64_t vexel_audio_tap_dropped() { return tap_lost; }
