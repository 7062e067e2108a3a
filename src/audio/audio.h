// audio: the console's synthesiser — sound effects, music and the mixer.
//
// Eight channels: 0-3 play sound effects, 4-7 are the four music voices. A
// sound effect on channel c mutes music voice c while it plays. Sound records
// are read live from the cartridge record on every tick, so writes into a
// playing sound are heard from the next tick on.
//
// Each machine has its own vexel_audio record (channels, music state, noise
// generator, fade clock); every call takes it. The mixer core
// (vexel_audio_mix) is a pure function of that record: it renders samples
// with or without an audio device. The process has at most one device and
// one lock: the device's callback, on the audio thread, mixes the record
// attached to it; without a device the runner mixes once per machine frame
// (for `-wav`). The main thread changes channel state only inside
// vexel_audio_lock / vexel_audio_unlock, which every function below takes
// itself where needed. All arithmetic is integer.
#pragma once
#include <cstdint>

#include "cart/cart.h"

struct vexel_audio;  // audio/audio_state.h

// --- start-up and the device ------------------------------------------------

// A record with every channel clear, full volumes and the noise generator's
// start values; `fx` is the machine's four effect registers (null: none).
vexel_audio* vexel_audio_create(const int32_t* fx);
// Closes the device first when it is playing this record.
void vexel_audio_destroy(vexel_audio* au);

// Clears all eight channels and the music state, restores full volumes and
// the noise generator's start values. Needs no device.
void vexel_audio_init(vexel_audio* au);

// Starts the noise generator from `seed` instead of its fixed start values
// (runs with -seed repeat exactly, and another seed sounds different).
void vexel_audio_seed(vexel_audio* au, uint32_t seed);

// Stops everything that plays from `cart` (its sound effects, its song):
// called before a cartridge record that may be playing is destroyed. The
// machine's programs play only from its own record (vexel_machine::cart),
// which lives as long as the machine; other owners release theirs.
void vexel_audio_release_cart(vexel_audio* au, const vexel_cart* cart);

// Opens the SDL device (22050 Hz, mono, signed 16-bit) with a buffer of
// `mix_buffer_size` samples, mixing `au`. Returns 0, also when no device
// could be opened (the console then runs silently;
// vexel_audio_device_is_open tells which). Each step is written to the
// framework log.
int vexel_audio_device_open(vexel_audio* au, int mix_buffer_size);
int vexel_audio_device_is_open();
// Closes the device if open.
void vexel_audio_device_close();

// Nesting audio lock: while held, the device callback does not run.
void vexel_audio_lock();
void vexel_audio_unlock();
int vexel_audio_lock_depth();

// --- settings and pause ---------------------------------------------------------
// The shell sets the volumes from its settings after vexel_audio_device_open (which
// starts them at 256); the mixer reads them on every pass.

void vexel_audio_set_sound_volume(vexel_audio* au, int v);   // master level 0-256, clamped
void vexel_audio_set_music_volume(vexel_audio* au, int v);   // music voices 0-256, clamped
int vexel_audio_sound_volume(const vexel_audio* au);
int vexel_audio_music_volume(const vexel_audio* au);
// Either non-zero makes the mixer produce silence and advance nothing.
void vexel_audio_set_framework_paused(vexel_audio* au, int paused);
void vexel_audio_set_pause_state(vexel_audio* au, int state);

// Music fades are timed by this clock (milliseconds). The default is SDL's
// tick counter; a headless runner passes its machine-frame clock.
using vexel_audio_clock_fn = uint32_t (*)(void* user);
void vexel_audio_set_clock(vexel_audio* au, vexel_audio_clock_fn clock, void* user);

// --- the mixer core ---------------------------------------------------------------

// Renders `n` samples of the eight mixed channels into `out` (any n >= 0;
// passes above 4096 are split). Reads the machine's audio_fx for the effect
// registers. Call it from the audio thread, or with no device open.
void vexel_audio_mix(vexel_audio* au, int16_t* out, int n);

// Samples one machine frame lasts at `fps` (30 or 60). 60 fps alternates 367
// and 368 so that every second frame adds up to 735; `frame` is the frame
// counter.
int vexel_audio_frame_samples(int fps, int64_t frame);

// With a device open, copies of the samples the callback produces can be
// collected by the main thread (for `-wav` with a window). The copy goes
// through a fixed ring; samples the main thread does not fetch in time are
// dropped and counted.
void vexel_audio_tap_enable(bool on);
int vexel_audio_tap_read(int16_t* dst, int max);
int64_t vexel_audio_tap_dropped();

// --- sound effects ----------------------------------------------------------------

// Starts `sfx` on `channel` (-1: chosen automatically, 0-7: taken whatever it
// plays) from note `offset` for `length` notes (0: to its end). Without a
// sound effect, stops `channel`, or channels 0-3 for -1. Returns the channel,
// or -1 when nothing started.
int vexel_audio_play_sfx(vexel_audio* au, const vexel_sfx_record* sfx, int offset, int length, vexel_cart* cart, int channel);
// Plays a sound effect without a cartridge (the boot sound).
void vexel_audio_play(vexel_audio* au, const vexel_sfx_record* sfx);
// Stops `sfx` on every channel, music voices included; null stops every
// channel that is not a music voice.
void vexel_audio_stop_sfx(vexel_audio* au, const vexel_sfx_record* sfx);
// Lets the sound effect on channel c (0-7) play past its loop.
void vexel_audio_release_channel(vexel_audio* au, int c);
void vexel_audio_stop_all(vexel_audio* au);

// The script's sfx(n, channel, offset, length) on whole numbers, for the
// cartridge `cart`. Returns the channel started, or -1.
int vexel_audio_sfx(vexel_audio* au, vexel_cart* cart, int n, int channel, int offset, int length);

// --- music ------------------------------------------------------------------------

void vexel_audio_play_song(vexel_audio* au, vexel_cart* cart, int pattern, int fade_ms);
void vexel_audio_stop_music(vexel_audio* au, int fade_ms);
void vexel_audio_update_fading(vexel_audio* au);
void vexel_audio_stop_song(vexel_audio* au, const vexel_cart* cart);
// The script's music(n, fade_ms, mask) on whole numbers.
void vexel_audio_music(vexel_audio* au, vexel_cart* cart, int n, int fade_ms, int mask);
int vexel_audio_music_channel_mask(vexel_audio* au);

// --- queries ----------------------------------------------------------------------

const vexel_sfx_record* vexel_audio_channel_sfx(vexel_audio* au, int c);
int vexel_audio_playing_note(vexel_audio* au, const vexel_sfx_record* sfx);
int vexel_audio_song_ticks(vexel_audio* au);
int vexel_audio_music_playing(vexel_audio* au);
int vexel_audio_song_pattern(vexel_audio* au);
int vexel_audio_song_patterns_played(vexel_audio* au);
// stat(16..26) against the sound records of `cart` (the running cartridge);
// 0 for any other n.
int vexel_audio_stat(vexel_audio* au, const vexel_cart* cart, int n);
