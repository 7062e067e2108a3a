// audio_wav: writes the mixer's output as a WAV file (PCM, 22050 Hz, mono,
// signed 16-bit little-endian).
//
// The writer owns its file handle. The header's sizes are rewritten after
// every block of samples, so a file cut short by a crash is still a valid
// WAV of everything written so far. A file can hold at most
// vexel_wav_max_samples; samples past that are refused.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>

struct vexel_audio;

constexpr int64_t vexel_wav_max_samples = (INT64_C(0xffffffff) - 44) / 2;

enum vexel_wav_result : int {
    wav_ok = 0,
    wav_open_failed = 1,
    wav_write_failed = 2,
    wav_too_long = 3,
    wav_not_open = 4,
};

struct vexel_wav_writer {
    struct closer {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<FILE, closer> file;
    int64_t samples = 0;
};

// Creates (truncates) `path` and writes an empty header.
int vexel_wav_open(vexel_wav_writer& w, const char* path);
// Appends `n` samples and updates the header.
int vexel_wav_write(vexel_wav_writer& w, const int16_t* samples, int n);
// Finishes the file; the writer can be opened again afterwards.
int vexel_wav_close(vexel_wav_writer& w);

// Reads a file written by vexel_wav_write (or any PCM mono 16-bit WAV at
// 22050 Hz) from `data`, `size` bytes. On success sets *samples to the first
// sample (inside `data`) and *count; returns 0, or 1 for anything else.
int vexel_wav_parse(const uint8_t* data, size_t size, const uint8_t** samples, int64_t* count);

// Recording the console's sound (`-wav FILE`). Start opens the file and,
// when an audio device is open, starts the tap; once per machine frame,
// record_frame either renders the frame's samples through the mixer (no
// device: the frames drive the sound, so `-fast` runs stay exact) or writes
// what the device produced since the last call. Finish closes the file.
int vexel_audio_record_start(vexel_wav_writer& w, const char* path);
int vexel_audio_record_frame(vexel_audio* au, vexel_wav_writer& w, int fps, int64_t frame);
int vexel_audio_record_finish(vexel_audio* au, vexel_wav_writer& w);
