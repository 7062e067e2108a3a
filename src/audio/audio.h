// audio: the console's synthesiser — sound effects, music and the mixer.
//
// Eight channels: 0-3 play sound effects, 4-7 are the four music voices. A
// sound effect on channel c mutes music voice c while it plays. Sound records
// are read live from the cartridge record on every tick, so writes into a
// playing sound are heard from the next tick on.
//
// The mixer core (vexel_audio_mix) is a pure function of the channel state:
// it renders samples with or without an audio device. With a device, the SDL
// callback on the audio thread calls it; without one, the runner calls it
// once per machine frame (for `-wav`). The main thread changes channel state
// only inside fenn_lock_audio_plat / fenn_unlock_audio_plat, which every
// function below takes itself where needed. All arithmetic is integer.
#pragma once
#include <cstdint>

#include "cart/cart.h"

// --- start-up and the device ------------------------------------------------

constexpr int fenn_sdl_init_audio = 16;     // SDL_INIT_AUDIO

// Clears all eight channels and the music state, restores full volumes and
// the noise generator's start values, and makes destroyed cartridges stop
// their sounds first. Needs no device; tests and headless runs call it alone.
void vexel_audio_init();

// vexel_audio_init, then opens the SDL device (22050 Hz, mono, signed 16-bit)
// with a buffer of `mix_buffer_size` samples. Returns 1 when `flags` is not
// the audio flag; 0 otherwise, also when no device could be opened (the
// console then runs silently; fenn_sound_inited tells which). Each step is
// written to the framework log.
int fenn_sound_init(int flags, int mix_buffer_size);
int fenn_sound_inited();
// Closes the device if open.
void fenn_sound_exit();

// Nesting audio lock: while held, the device callback does not run.
void fenn_lock_audio_plat();
void fenn_unlock_audio_plat();
int fenn_audio_lock_depth();

// --- settings and pause ---------------------------------------------------------
// The shell sets the volumes from its settings after fenn_sound_init (which
// starts them at 256); the mixer reads them on every pass.

void fenn_set_sound_volume(int v);   // master level 0-256, clamped
void fenn_set_music_volume(int v);   // music voices 0-256, clamped
int fenn_get_sound_volume();
int fenn_get_music_volume();
// Either non-zero makes the mixer produce silence and advance nothing.
void fenn_set_audio_framework_paused(int paused);
void fenn_set_audio_pause_state(int state);

// Music fades are timed by this clock (milliseconds). The default is SDL's
// tick counter; a headless runner passes its machine-frame clock.
using fenn_sound_clock_fn = uint32_t (*)();
void fenn_set_sound_clock(fenn_sound_clock_fn clock);

// --- the mixer core ---------------------------------------------------------------

// Renders `n` samples of the eight mixed channels into `out` (any n >= 0;
// passes above 4096 are split). Reads pstate.audio_fx for the effect
// registers. Call it from the audio thread, or with no device open.
void vexel_audio_mix(int16_t* out, int n);

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
int fenn_play_sfx_ex(const sfx_record* sfx, int offset, int length, vexel_cart* cart, int channel);
// Plays a sound effect without a cartridge (the boot sound).
void fenn_play_sfx(const sfx_record* sfx);
// Stops `sfx` on every channel, music voices included; null stops every
// channel that is not a music voice.
void fenn_stop_sfx(const sfx_record* sfx);
// Lets the sound effect on channel c (0-7) play past its loop.
void fenn_release_looping_vexel_channel(int c);
void fenn_stop_all_sounds();

// The script's sfx(n, channel, offset, length) on whole numbers, for the
// cartridge `cart`. Returns the channel started, or -1.
int vexel_audio_sfx(vexel_cart* cart, int n, int channel, int offset, int length);

// --- music ------------------------------------------------------------------------

void fenn_play_vexel_song(vexel_cart* cart, int pattern, int fade_ms);
void cmusic_stop(int fade_ms);
void fenn_update_music_fading();
void fenn_stop_vexel_song(vexel_cart* cart);
// The script's music(n, fade_ms, mask) on whole numbers.
void vexel_audio_music(vexel_cart* cart, int n, int fade_ms, int mask);
int fenn_get_music_channel_mask();

// --- queries ----------------------------------------------------------------------

const sfx_record* fenn_get_vexel_channel_sfx(int c);
int fenn_get_sfx_playing_note(const sfx_record* sfx);
int fenn_get_vexel_song_ticks();
int fenn_music_is_playing();
int fenn_get_song_pattern();
int fenn_get_song_patterns_played();
// stat(16..26) against the sound records of `cart` (the running cartridge);
// 0 for any other n.
int vexel_audio_stat(const vexel_cart* cart, int n);
