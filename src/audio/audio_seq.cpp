// Channel sequencing and music: which channel a sound effect goes to, how a
// channel walks through its sound effect tick by tick, how music patterns
// follow one another, and the music fade.
#include <algorithm>

#include "audio/audio.h"
#include "audio/audio_state.h"

namespace {

constexpr int32_t pattern_notes = 32;
constexpr int32_t flag_loop_start = 1;
constexpr int32_t flag_loop_back = 2;
constexpr int32_t flag_stop = 4;
constexpr int32_t pattern_end = 64;      // song_pattern after running off the last pattern

struct audio_lock {
    audio_lock() { vexel_audio_lock(); }
    ~audio_lock() { vexel_audio_unlock(); }
    audio_lock(const audio_lock&) = delete;
    audio_lock& operator=(const audio_lock&) = delete;
};

int32_t wrap_add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

bool channel_idle(const audio_channel& ch) { return !ch.sfx && !ch.is_music; }

int32_t channel_sfx(const vexel_cart* cart, int pattern, int c) {
    return load_word(cart->music[pattern][c]);
}
bool audible(int32_t v) { return v >= 0 && v < vexel_sfx_count; }

bool pattern_all_silent(const vexel_cart* cart, int pattern) {
    for (int c = 0; c < 4; ++c)
        if (audible(channel_sfx(cart, pattern, c))) return false;
    return true;
}

void start_on_channel(audio_channel& ch, int c, const vexel_sfx_record* sfx, int offset, int length,
                      vexel_cart* cart) {
    int32_t s = sfx_speed(sfx);
    ch.sfx = sfx;
    ch.cart = cart;
    ch.voice = c & 3;
    ch.is_music = 0;
    ch.loop_enabled = 1;
    ch.tick = offset * s;
    int64_t left = static_cast<int64_t>(s) * (length != 0 ? length : -1);
    ch.ticks_left = static_cast<int32_t>(std::clamp<int64_t>(left, INT32_MIN / 2, INT32_MAX / 2));
}

int choose_channel(vexel_audio* au) {
    int32_t mask = au->shared.music_channel_mask.load(std::memory_order_relaxed);
    for (int c = 0; c < vexel_sfx_channels; ++c)
        if (!au->ch[c].sfx && channel_idle(au->ch[c + 4])) return c;
    for (int c = 0; c < vexel_sfx_channels; ++c)
        if (!au->ch[c].sfx && !au->ch[c + 4].sfx && !(mask & (1 << c))) return c;
    for (int c = 0; c < vexel_sfx_channels; ++c)
        if (!au->ch[c].sfx && !(mask & (1 << c))) return c;
    // Steal the channel playing the fastest sound effect; ties go to the
    // higher channel.
    int best = -1;
    int32_t best_speed = 0;
    for (int c = 0; c < vexel_sfx_channels; ++c) {
        if (!au->ch[c].sfx) continue;
        if ((mask & (1 << c)) && !channel_idle(au->ch[c + 4])) continue;
        int32_t speed = load_word(au->ch[c].sfx->speed);
        if (best < 0 || speed <= best_speed) {
            best = c;
            best_speed = speed;
        }
    }
    return best;
}

void stop_music_channels(vexel_audio* au) {
    for (int c = 4; c < vexel_channel_count; ++c)
        if (au->ch[c].is_music) audio_stop_channel(au->ch[c]);
}

int32_t fade_value(vexel_audio* au, int64_t t) {
    int64_t len = au->shared.fade_len.load();
    int64_t f0 = au->shared.fade0.load(), f1 = au->shared.fade1.load();
    return static_cast<int32_t>(std::clamp<int64_t>((t * f1 + (len - t) * f0) / len, 0, vexel_fade_one));
}

void next_pattern(vexel_audio* au, audio_channel& ch) {
    const vexel_cart* cart = ch.cart;
    int p = ch.pattern;
    int32_t flags = load_word(cart->music_flags[p]);
    au->shared.advanced_pattern.store(1, std::memory_order_relaxed);
    if (flags & flag_stop) {
        ch.pattern = -1;
        au->shared.song_pattern.store(-1, std::memory_order_relaxed);
        audio_stop_channel(ch);
        return;
    }
    int next;
    if (flags & flag_loop_back) {
        if (p == 0 || (flags & flag_loop_start)) {
            next = p;
        } else {
            next = 0;
            for (int q = p - 1; q >= 1; --q) {
                if (load_word(cart->music_flags[q]) & flag_loop_start) {
                    next = q;
                    break;
                }
            }
        }
    } else {
        next = p + 1;
        if (next == vexel_music_count) {
            ch.pattern = pattern_end;
            au->shared.song_pattern.store(pattern_end, std::memory_order_relaxed);
            audio_stop_channel(ch);
            return;
        }
    }
    ch.pattern = next;
    au->shared.song_pattern.store(next, std::memory_order_relaxed);
    if (pattern_all_silent(cart, next)) {
        audio_stop_channel(ch);
        return;
    }
    int32_t v = channel_sfx(cart, next, ch.voice);
    ch.sfx = audible(v) ? &cart->sfx[v] : nullptr;
    ch.tick = 0;
    ch.ticks_left = audio_pattern_length(cart, next);
}

bool sfx_ends(const audio_channel& ch, int32_t i) {
    const vexel_sfx_record* sfx = ch.sfx;
    if (ch.ticks_left == 0) return true;
    if (sfx_loops(sfx)) return false;
    if (i > 31 || i < 0) return true;
    if (i < 31 && (load_word(sfx->notes[i].effect) & 7) == 1) return false;
    for (int j = i; j < 32; ++j)
        if (load_word(sfx->notes[j].volume) & 7) return false;
    return true;
}

}  // namespace

void audio_stop_channel(audio_channel& ch) {
    ch.cart = nullptr;
    ch.sfx = nullptr;
    ch.is_music = 0;
    ch.loop_enabled = 0;
}

int32_t audio_pattern_length(const vexel_cart* cart, int pattern) {
    int32_t longest = 0;
    for (int c = 0; c < 4; ++c) {
        int32_t v = channel_sfx(cart, pattern, c);
        if (!audible(v)) continue;
        const vexel_sfx_record* sfx = &cart->sfx[v];
        int32_t len = pattern_notes * sfx_speed(sfx);
        if (!sfx_loops(sfx)) return len;
        longest = std::max(longest, len);
    }
    return longest;
}

void audio_advance_channel(vexel_audio* au, audio_channel& ch, int32_t note_index, bool had_sfx) {
    ch.tick = wrap_add(ch.tick, 1);
    ch.ticks_left = wrap_add(ch.ticks_left, -1);
    if (had_sfx) {
        ch.inst_tick = wrap_add(ch.inst_tick, 1);
        int32_t s = sfx_speed(ch.sfx);
        if (ch.loop_enabled && sfx_loops(ch.sfx) && ch.tick >= sfx_loop_end(ch.sfx) * s)
            ch.tick = sfx_loop_start(ch.sfx) * s;
        if (!ch.is_music && sfx_ends(ch, note_index)) ch.sfx = nullptr;
    }
    if (ch.is_music && ch.cart && ch.ticks_left == 0 && ch.pattern >= 0 &&
        ch.pattern < vexel_music_count)
        next_pattern(au, ch);
}

// --- sound effects ---------------------------------------------------------

int vexel_audio_play_sfx(vexel_audio* au, const vexel_sfx_record* sfx, int offset, int length, vexel_cart* cart, int channel) {
    audio_lock lock;
    if (!sfx) {
        if (channel == -1) {
            for (int c = 0; c < vexel_sfx_channels; ++c) audio_stop_channel(au->ch[c]);
        } else if (channel >= 0 && channel < vexel_channel_count) {
            audio_stop_channel(au->ch[channel]);
        }
        return -1;
    }
    int c = channel;
    if (channel == -1) c = choose_channel(au);
    if (c < 0 || c >= vexel_channel_count) return -1;
    start_on_channel(au->ch[c], c, sfx, std::clamp(offset, 0, 31), length, cart);
    return c;
}

void vexel_audio_play(vexel_audio* au, const vexel_sfx_record* sfx) {
    if (!sfx) return;
    audio_lock lock;
    vexel_audio_stop_sfx(au, sfx);
    vexel_audio_play_sfx(au, sfx, 0, sfx_loops(sfx) ? -1 : 32, nullptr, -1);
}

void vexel_audio_stop_sfx(vexel_audio* au, const vexel_sfx_record* sfx) {
    audio_lock lock;
    for (auto& ch : au->ch) {
        if (sfx ? ch.sfx == sfx : !ch.is_music) audio_stop_channel(ch);
    }
}

void vexel_audio_release_channel(vexel_audio* au, int c) {
    if (c < 0 || c >= vexel_channel_count) return;
    audio_lock lock;
    au->ch[c].loop_enabled = 0;
}

void vexel_audio_stop_all(vexel_audio* au) {
    audio_lock lock;
    for (auto& ch : au->ch) audio_stop_channel(ch);
}

int vexel_audio_sfx(vexel_audio* au, vexel_cart* cart, int n, int channel, int offset, int length) {
    if (channel < -2 || channel > 3) return -1;
    if (n == -1) {
        // Channel -2 names no channel: stop nothing.
        if (channel != -2) vexel_audio_play_sfx(au, nullptr, 0, 0, cart, channel);
        return -1;
    }
    if (n == -2) {
        if (channel >= 0) vexel_audio_release_channel(au, channel);
        return -1;
    }
    if (!cart) return -1;
    if (channel == -2) {
        if (n >= 0 && n < vexel_sfx_count) vexel_audio_stop_sfx(au, &cart->sfx[n]);
        return -1;
    }
    n = std::clamp(n, 0, vexel_sfx_count - 1);
    audio_lock lock;
    vexel_audio_stop_sfx(au, &cart->sfx[n]);
    return vexel_audio_play_sfx(au, &cart->sfx[n], std::clamp(offset, 0, 31), length, cart, channel);
}

// --- music ------------------------------------------------------------------

void vexel_audio_set_clock(vexel_audio* au, vexel_audio_clock_fn clock, void* user) {
    au->clock = clock;
    au->clock_user = user;
}

uint32_t audio_clock(const vexel_audio* au) { return au->clock ? au->clock(au->clock_user) : vexel_audio_sdl_ticks(); }

void vexel_audio_update_fading(vexel_audio* au) {
    int32_t vol = au->shared.fade_vol.load();
    int32_t f1 = au->shared.fade1.load();
    if (vol != f1) {
        int32_t len = au->shared.fade_len.load();
        int64_t t = static_cast<int64_t>(static_cast<int32_t>(audio_clock(au) - au->shared.fade_start_t.load()));
        if (len != 0 && t < len) {
            au->shared.fade_vol.store(fade_value(au, t));
            return;
        }
        au->shared.fade_vol.store(f1);
    }
    if (au->shared.fade_vol.load() == 0) {
        audio_lock lock;
        stop_music_channels(au);
    }
}

void vexel_audio_play_song(vexel_audio* au, vexel_cart* cart, int p, int fade_ms) {
    if (!cart) return;
    {
        audio_lock lock;
        for (auto& ch : au->ch)
            if (ch.is_music && ch.cart == cart) audio_stop_channel(ch);
        if (p < 0 || p >= vexel_music_count || pattern_all_silent(cart, p)) return;
        au->shared.song_patterns_played.store(0);
        au->shared.song_pattern.store(p);
        int32_t len = audio_pattern_length(cart, p);
        for (int c = 0; c < 4; ++c) {
            int32_t v = channel_sfx(cart, p, c);
            audio_channel& ch = au->ch[4 + c];
            int32_t n = std::clamp(v, 0, vexel_sfx_count - 1);
            start_on_channel(ch, 4 + c, &cart->sfx[n], 0, 0, cart);
            if (!audible(v)) ch.sfx = nullptr;
            ch.is_music = 1;
            ch.pattern = p;
            ch.voice = c;
            ch.ticks_left = len;
        }
        au->shared.fade_len.store(fade_ms);
        au->shared.fade_start_t.store(audio_clock(au));
        au->shared.fade0.store(0);
        au->shared.fade1.store(vexel_fade_one);
    }
    vexel_audio_update_fading(au);
}

void vexel_audio_stop_music(vexel_audio* au, int fade_ms) {
    int32_t vol = au->shared.fade_vol.load();
    au->shared.fade1.store(0);
    au->shared.fade0.store(vol);
    au->shared.fade_start_t.store(audio_clock(au));
    au->shared.fade_len.store(fade_ms);
    if (vol != 0 && fade_ms != 0) {
        // The frame updates carry the fade on and stop the voices at 0.
        au->shared.fade_vol.store(fade_value(au, 0));
        return;
    }
    au->shared.fade_vol.store(0);
    audio_lock lock;
    stop_music_channels(au);
}

void vexel_audio_stop_song(vexel_audio* au, const vexel_cart* cart) {
    audio_lock lock;
    for (auto& ch : au->ch)
        if (ch.is_music && ch.cart == cart) audio_stop_channel(ch);
}

void vexel_audio_music(vexel_audio* au, vexel_cart* cart, int n, int fade_ms, int mask) {
    if (n == -1) {
        vexel_audio_stop_music(au, fade_ms);
        return;
    }
    vexel_audio_play_song(au, cart, std::clamp(n, 0, vexel_music_count - 1), fade_ms);
    au->shared.music_channel_mask.store(mask);
}

int vexel_audio_music_channel_mask(vexel_audio* au) { return au->shared.music_channel_mask.load(); }

// --- queries ----------------------------------------------------------------

const vexel_sfx_record* vexel_audio_channel_sfx(vexel_audio* au, int c) {
    if (c < 0 || c >= vexel_channel_count) return nullptr;
    audio_lock lock;
    return au->ch[c].sfx;
}

int vexel_audio_playing_note(vexel_audio* au, const vexel_sfx_record* sfx) {
    if (!sfx) return -1;
    audio_lock lock;
    for (auto& ch : au->ch)
        if (ch.sfx == sfx) return ch.tick / sfx_speed(sfx);
    return -1;
}

int vexel_audio_song_ticks(vexel_audio* au) {
    audio_lock lock;
    int best = 0;
    for (auto& ch : au->ch)
        if (ch.is_music && ch.sfx) best = std::max(best, ch.tick);
    return best;
}

int vexel_audio_music_playing(vexel_audio* au) {
    audio_lock lock;
    for (auto& ch : au->ch)
        if (ch.is_music && ch.cart) return ch.pattern != -1;
    return 0;
}

int vexel_audio_song_pattern(vexel_audio* au) { return au->shared.song_pattern.load(); }
int vexel_audio_song_patterns_played(vexel_audio* au) { return au->shared.song_patterns_played.load(); }

int vexel_audio_stat(vexel_audio* au, const vexel_cart* cart, int n) {
    if (n >= 16 && n <= 23) {
        int c = n & 3;
        audio_lock lock;
        const vexel_sfx_record* sfx = au->ch[c].sfx ? au->ch[c].sfx : au->ch[c + 4].sfx;
        if (!sfx) return -1;
        if (n >= 20) return vexel_audio_playing_note(au, sfx);
        if (!cart) return -1;
        for (int i = 0; i < vexel_sfx_count; ++i)
            if (&cart->sfx[i] == sfx) return i;
        return -1;
    }
    if (n == 24) return vexel_audio_music_playing(au) ? vexel_audio_song_pattern(au) : 0;
    if (n == 25) return vexel_audio_music_playing(au) ? vexel_audio_song_patterns_played(au) : 0;
    if (n == 26) return vexel_audio_song_ticks(au);
    return 0;
}
