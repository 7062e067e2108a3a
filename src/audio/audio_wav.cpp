#include "audio/audio_wav.h"

#include <algorithm>
#include <cstring>

#include "audio/audio.h"
#include "audio/audio_state.h"

namespace {

constexpr int header_size = 44;

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xffff);
    put16(p + 2, v >> 16);
}
uint32_t get16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t get32(const uint8_t* p) { return get16(p) | (get16(p + 2) << 16); }

void make_header(uint8_t* h, int64_t samples) {
    uint32_t data_bytes = static_cast<uint32_t>(samples * 2);
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + data_bytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);                        // PCM
    put16(h + 22, 1);                        // mono
    put32(h + 24, vexel_sound_freq);
    put32(h + 28, vexel_sound_freq * 2);     // bytes per second
    put16(h + 32, 2);                        // bytes per frame
    put16(h + 34, 16);                       // bits per sample
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, data_bytes);
}

bool write_header(vexel_wav_writer& w) {
    uint8_t h[header_size];
    make_header(h, w.samples);
    FILE* f = w.file.get();
    return std::fseek(f, 0, SEEK_SET) == 0 && std::fwrite(h, 1, header_size, f) == header_size &&
           std::fseek(f, 0, SEEK_END) == 0 && std::fflush(f) == 0;
}

}  // namespace

int vexel_wav_open(vexel_wav_writer& w, const char* path) {
    w.file.reset(std::fopen(path, "wb"));
    w.samples = 0;
    if (!w.file) return wav_open_failed;
    if (!write_header(w)) {
        w.file.reset();
        return wav_write_failed;
    }
    return wav_ok;
}

int vexel_wav_write(vexel_wav_writer& w, const int16_t* samples, int n) {
    if (!w.file) return wav_not_open;
    if (n <= 0) return wav_ok;
    if (w.samples + n > vexel_wav_max_samples) return wav_too_long;
    uint8_t block[2 * 1024];
    for (int done = 0; done < n;) {
        int k = std::min(n - done, 1024);
        for (int j = 0; j < k; ++j) put16(block + 2 * j, static_cast<uint16_t>(samples[done + j]));
        if (std::fwrite(block, 2, k, w.file.get()) != static_cast<size_t>(k)) return wav_write_failed;
        done += k;
        w.samples += k;
    }
    return write_header(w) ? wav_ok : wav_write_failed;
}

int vexel_wav_close(vexel_wav_writer& w) {
    if (!w.file) return wav_not_open;
    int result = write_header(w) ? wav_ok : wav_write_failed;
    if (std::fclose(w.file.release()) != 0) result = wav_write_failed;
    return result;
}

int vexel_wav_parse(const uint8_t* data, size_t size, const uint8_t** samples, int64_t* count) {
    if (!data || size < 12 || std::memcmp(data, "RIFF", 4) || std::memcmp(data + 8, "WAVE", 4)) return 1;
    bool have_fmt = false;
    size_t pos = 12;
    while (size - pos >= 8) {
        const uint8_t* chunk = data + pos;
        uint32_t len = get32(chunk + 4);
        size_t body = pos + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (len < 16 || size - body < 16) return 1;
            const uint8_t* f = data + body;
            if (get16(f) != 1 || get16(f + 2) != 1 || get32(f + 4) != vexel_sound_freq ||
                get16(f + 14) != 16)
                return 1;
            have_fmt = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_fmt) return 1;
            size_t avail = size - body;
            size_t bytes = std::min<size_t>(len, avail);
            *samples = data + body;
            *count = static_cast<int64_t>(bytes / 2);
            return 0;
        }
        size_t skip = static_cast<size_t>(len) + (len & 1);
        if (skip > size - body) return 1;
        pos = body + skip;
    }
    return 1;
}

int vexel_audio_record_start(vexel_wav_writer& w, const char* path) {
    int result = vexel_wav_open(w, path);
    if (result == wav_ok && vexel_audio_device_is_open()) {
        int16_t discard[vexel_mix_max];
        while (vexel_audio_tap_read(discard, vexel_mix_max) > 0) {
        }
        vexel_audio_tap_enable(true);
    }
    return result;
}

int vexel_audio_record_frame(vexel_audio* au, vexel_wav_writer& w, int fps, int64_t frame) {
    int16_t buf[vexel_mix_max];
    if (vexel_audio_device_is_open()) {
        for (;;) {
            int n = vexel_audio_tap_read(buf, vexel_mix_max);
            if (n == 0) return wav_ok;
            if (int result = vexel_wav_write(w, buf, n)) return result;
        }
    }
    int n = vexel_audio_frame_samples(fps, frame);
    while (n > 0) {
        int k = std::min(n, vexel_mix_max);
        vexel_audio_mix(au, buf, k);
        if (int result = vexel_wav_write(w, buf, k)) return result;
        n -= k;
    }
    return wav_ok;
}

int vexel_audio_record_finish(vexel_audio* au, vexel_wav_writer& w) {
    vexel_audio_tap_enable(false);
    if (vexel_audio_device_is_open()) vexel_audio_record_frame(au, w, 30, 0);
    return vexel_wav_close(w);
}
