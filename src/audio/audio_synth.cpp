// Note synthesis: one tick's oscillator settings from the current note, its
// effect and an optional instrument; the eight shapes; the per-tick render
// with its crossfade from the previous settings.
#include <algorithm>
#include <cstring>

#include "audio/audio_state.h"

namespace {

enum : int32_t {
    fx_none = 0,
    fx_slide = 1,
    fx_vibrato = 2,
    fx_drop = 3,
    fx_fade_in = 4,
    fx_fade_out = 5,
    fx_arp_fast = 6,
    fx_arp_slow = 7,
};

enum : int32_t {
    wave_triangle = 0,
    wave_tilted_saw = 1,
    wave_saw = 2,
    wave_square = 3,
    wave_pulse = 4,
    wave_organ = 5,
    wave_noise = 6,
    wave_phaser = 7,
};

constexpr int32_t pitch_one = 65536;       // one semitone in fine pitch
constexpr int32_t inst_base_pitch = 24;    // the pitch at which an instrument plays as written
constexpr int32_t dx_min = 8;
constexpr int32_t dx_max = 32768;

// Octave 3 (pitches 36-48) in Hz. The twelfth entry is 984 on purpose: the
// console has always sounded that way.
constexpr int32_t note_dx[13] = {523, 554, 587, 622, 659, 698, 740, 784, 831, 880, 932, 984, 1046};
constexpr int32_t vibrato_table[8] = {128, 129, 130, 129, 128, 127, 126, 127};

// Fields of a note read whole and masked to their ranges, so that a record
// changed behind the memory map cannot index past a table.
struct note_fields {
    int32_t pitch, waveform, volume, effect, instrument;
};

note_fields read_note(const vexel_sfx_note& n) {
    return {load_word(n.pitch) & 63, load_word(n.waveform) & 7, load_word(n.volume) & 7,
            load_word(n.effect) & 7, load_word(n.instrument) != 0};
}

int32_t arp_step(int32_t stored_speed, int32_t effect) {
    bool slow = effect == fx_arp_slow;
    if (stored_speed < 9) return slow ? 4 : 2;
    return slow ? 8 : 4;
}

int32_t floor_div(int32_t a, int32_t b) {
    int32_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

int32_t pitch_to_dx(int32_t fine_pitch) {
    int32_t q = fine_pitch >> 16;
    int32_t f = fine_pitch & 0xffff;
    int32_t o = floor_div(q, 12);
    int32_t m = q - 12 * o;
    int32_t base = (note_dx[m] * (65536 - f) + note_dx[m + 1] * f) / vexel_sound_freq;
    if (o < 3) {
        for (int32_t i = 0; i < 3 - o && base; ++i) base /= 2;
    } else {
        for (int32_t i = 0; i < o - 3 && base < dx_max; ++i) base *= 2;
    }
    return std::clamp(base, dx_min, dx_max);
}

// Each shape has its own loop, so the choice is made once per block.
template <typename Shape>
void render_shape(audio_osc_state& osc, int16_t* out, int count, Shape shape) {
    int32_t a = (osc.amp * 3) / 2;
    int32_t phase = osc.phase;
    for (int j = 0; j < count; ++j) {
        out[j] = static_cast<int16_t>((shape(phase) * a) / 2048);
        phase = (phase + osc.dx) & 0xffff;
    }
    osc.phase = phase;
}

void render_noise(vexel_audio* au, audio_osc_state& osc, int16_t* out, int count) {
    int32_t dx = osc.dx;
    int32_t g_rand = std::max(0, dx > 78 ? dx * 8 + 1120 : (dx - 79) * 60 + 1752);
    int32_t threshold = (dx + 500) / 3;
    int32_t gain = osc.pitch <= 47 ? 80 : std::max(2048 / (osc.pitch + 16) + 48, 64);
    int32_t a = (osc.amp * 3) / 2;
    int32_t phase = osc.phase;
    for (int j = 0; j < count; ++j) {
        osc.noise_toggle = (osc.noise_toggle + 1) & 1;
        if (osc.noise_toggle)
            osc.noise_level += vexel_noise_random(au->rng, g_rand) - (g_rand >> 1);
        int32_t x = osc.noise_level;
        // The product overflows 32 bits; only its low 13 bits matter.
        uint32_t up = static_cast<uint32_t>(phase);
        if (static_cast<int32_t>(((up + 317u) * (up + 101u)) & 0x1fff) < threshold)
            x += ((vexel_noise_random(au->rng, 12286) - 6143) * osc.volume) / 7;
        osc.noise_level = std::clamp(x, -6143, 6143);
        int32_t w = (x >> 6) * gain;
        // At high pitches the level swings past 16 bits; saturate rather
        // than let the sample wrap round to the opposite sign.
        out[j] = static_cast<int16_t>(std::clamp((w * a) / 2048, -32768, 32767));
        phase = (phase + dx) & 0xffff;
    }
    osc.phase = phase;
}

void render_phaser(audio_osc_state& osc, int16_t* out, int count) {
    int32_t a = (osc.amp * 3) / 2;
    int32_t phase = osc.phase;
    uint32_t dx = static_cast<uint32_t>(osc.dx);
    for (int j = 0; j < count; ++j) {
        // 32-bit wrap-around arithmetic, then a signed division.
        uint32_t raw = osc.phase2 * 127u + static_cast<uint32_t>(j) * dx * 127u;
        int32_t u = static_cast<int32_t>(raw) / 128;
        int32_t U = u & 0xffff;
        int32_t tri = phase < 0x8000 ? phase >> 1 : (0xffff - phase) >> 1;
        int32_t tri2 = (u & 0x8000) ? (0xffff - U) >> 2 : U >> 2;
        int32_t w = tri + tri2 - 0x4000;
        out[j] = static_cast<int16_t>((w * a) / 2048);
        phase = (phase + osc.dx) & 0xffff;
    }
    osc.phase = phase;
    osc.phase2 += dx * static_cast<uint32_t>(count);
}

}  // namespace

int32_t vexel_noise_random(vexel_noise_rng& rng, int32_t n) {
    if (n == 0) return 0;
    rng.high = ((rng.high << 16) | (rng.high >> 16)) + rng.low;
    rng.low += rng.high;
    return static_cast<int32_t>(rng.high % static_cast<uint32_t>(n));
}

void audio_render_osc(vexel_audio* au, audio_osc_state& osc, int16_t* out, int count) {
    switch (osc.waveform & 7) {
    case wave_triangle:
        render_shape(osc, out, count, [](int32_t p) {
            return p < 0x8000 ? (3 * p - 0xc000) / 4 : 3 * (0xc000 - p) / 4;
        });
        break;
    case wave_tilted_saw:
        render_shape(osc, out, count, [](int32_t p) {
            return (p < 0xe000 ? p * 6143 / 14336 : (0xffff - p) * 6143 / 2048) - 12286;
        });
        break;
    case wave_saw:
        render_shape(osc, out, count, [](int32_t p) { return (p - 32768) / 4; });
        break;
    case wave_square:
        render_shape(osc, out, count, [](int32_t p) { return p < 0x8000 ? -6143 : 6143; });
        break;
    case wave_pulse:
        render_shape(osc, out, count, [](int32_t p) { return p < 0xb000 ? -6143 : 6143; });
        break;
    case wave_organ:
        render_shape(osc, out, count, [](int32_t p) {
            int32_t t;
            if (p < 0x8000) {
                t = (p & 0x4000) ? 0x8000 - p : p;
            } else {
                t = (p & 0x4000) ? 0x10000 - p : p - 0x8000;
                t = 2 * t / 3;
            }
            return t - 8192;
        });
        break;
    case wave_noise:
        render_noise(au, osc, out, count);
        break;
    case wave_phaser:
        render_phaser(osc, out, count);
        break;
    }
}

void audio_apply_meta_instrument(audio_channel& ch, const vexel_sfx_note& note, audio_osc_state& osc) {
    if (!ch.cart) return;
    note_fields n = read_note(note);
    const vexel_sfx_record* inst = &ch.cart->sfx[std::min(n.waveform, 7)];
    int32_t S = sfx_speed(inst);
    int32_t t = ch.inst_tick;
    if (sfx_loops(inst) && t >= sfx_loop_end(inst) * S) {
        t = sfx_loop_start(inst) * S;
        ch.inst_tick = t;
    }
    int32_t a = t / S, b = t % S;
    if (a < 0 || a > 31) {
        osc.amp = 0;
        osc.waveform = 0;
        return;
    }
    note_fields m = read_note(inst->notes[a]);
    int32_t v = m.volume * 256;
    int32_t offset = m.pitch * pitch_one;
    if (b == S - 1) {
        ch.inst_prev_pitch = m.pitch;
        ch.inst_prev_volume = m.volume;
    }
    switch (m.effect) {
    case fx_slide: {
        int32_t start_pitch = a == 0 ? inst_base_pitch : ch.inst_prev_pitch;
        int32_t start_vol = a == 0 ? v : ch.inst_prev_volume * 256;
        offset = (m.pitch * pitch_one * b + start_pitch * pitch_one * (S - b)) / S;
        v = (v * b + start_vol * (S - b)) / S;
        break;
    }
    case fx_fade_in:
        v = b * v / S;
        break;
    case fx_fade_out:
        v = (S - b) * v / S;
        break;
    case fx_arp_fast:
    case fx_arp_slow: {
        int32_t d = arp_step(load_word(inst->speed) & 0xff, m.effect);
        int32_t j = (t / d) % 4;
        offset = read_note(inst->notes[(a & 28) + j]).pitch * pitch_one;
        break;
    }
    default:
        break;
    }
    osc.amp = (v * osc.amp) / 1792;
    osc.volume = m.volume;
    osc.waveform = m.waveform;
    osc.fine_pitch += offset - inst_base_pitch * pitch_one;
    osc.pitch += m.pitch - inst_base_pitch;
}

void audio_calculate_osc_state(vexel_audio* au, audio_channel& ch, audio_osc_state& osc) {
    const vexel_sfx_record* sfx = ch.sfx;
    int32_t s = sfx_speed(sfx);
    int32_t i = ch.tick / s, k = ch.tick % s;
    if (ch.tick < 0 || i > 31) {
        osc.amp = 0;
        osc.waveform = 0;
        osc.dx = 0;
        return;
    }
    note_fields n = read_note(sfx->notes[i]);
    osc.waveform = osc.note_waveform = n.waveform;
    osc.note_pitch = n.pitch;
    osc.note_volume = n.volume;
    osc.amp = n.volume * 256;
    osc.fine_pitch = n.pitch * pitch_one;

    if (ch.is_music) {
        int32_t fade = au->shared.fade_vol.load(std::memory_order_relaxed);
        int32_t mvol = au->shared.music_volume.load(std::memory_order_relaxed);
        osc.amp = ((((fade >> 8) * osc.amp) / 256) * mvol) / 256;
    }

    switch (n.effect) {
    case fx_slide: {
        int32_t start_vol = i > 0 ? ch.prev_volume * 256 : osc.amp;
        int32_t start_pitch = (i > 0 ? ch.prev_pitch : inst_base_pitch) * pitch_one;
        osc.fine_pitch = (n.pitch * pitch_one * k + start_pitch * (s - k)) / s;
        osc.amp = (osc.amp * k + start_vol * (s - k)) / s;
        break;
    }
    case fx_fade_in:
        osc.amp = osc.amp * k / s;
        break;
    case fx_fade_out:
        osc.amp = osc.amp * (s - k) / s;
        break;
    case fx_arp_fast:
    case fx_arp_slow: {
        int32_t d = arp_step(load_word(sfx->speed) & 0xff, n.effect);
        int32_t j = (ch.tick / d) % 4;
        osc.fine_pitch = read_note(sfx->notes[(i & 28) + j]).pitch * pitch_one;
        break;
    }
    default:
        break;
    }

    osc.pitch = n.pitch;
    osc.volume = n.volume;

    if (n.instrument) {
        if (k == 0) {
            bool is_new = i == 0 || n.pitch != ch.prev_pitch;
            if (n.effect != fx_slide && is_new) {
                if (!(n.effect == fx_drop && n.waveform == ch.prev_waveform)) ch.inst_tick = 0;
            } else if (n.effect == fx_drop || n.effect == fx_fade_in ||
                       n.waveform != ch.prev_waveform) {
                ch.inst_tick = 0;
            }
        }
        audio_apply_meta_instrument(ch, sfx->notes[i], osc);
    } else {
        ch.inst_tick = 0;
    }

    osc.dx = pitch_to_dx(osc.fine_pitch);
    if (n.effect == fx_vibrato) osc.dx = (osc.dx * vibrato_table[(ch.tick >> 1) & 7]) >> 7;
    if (n.effect == fx_drop && !n.instrument) osc.dx = osc.dx * (s - k) / s;
}

void audio_mix_sfx_tick(vexel_audio* au, audio_channel& ch, int16_t* out) {
    std::memset(out, 0, sizeof(int16_t) * vexel_tick_samples);
    if (!ch.sfx) {
        // Fade whatever sounded last out over the crossfade length.
        if (ch.osc.dx && ch.osc.amp) {
            audio_render_osc(au, ch.osc, out, vexel_xfade_samples);
            for (int j = 0; j < vexel_xfade_samples; ++j)
                out[j] = static_cast<int16_t>(out[j] * (vexel_xfade_samples - j) / vexel_xfade_samples);
        }
        ch.osc.amp = 0;
        ch.inst_tick = 1;
        audio_advance_channel(au, ch, 0, false);
        return;
    }
    int32_t s = sfx_speed(ch.sfx);
    int32_t note_index = ch.tick / s;
    audio_osc_state old = ch.osc;
    if (ch.tick % s == 0) {
        ch.prev_pitch = ch.osc.note_pitch;
        ch.prev_waveform = ch.osc.note_waveform;
        ch.prev_volume = ch.osc.note_volume;
    }
    audio_calculate_osc_state(au, ch, ch.osc);
    if (ch.osc.amp == 0) {
        ch.osc.phase = 0;
    } else {
        audio_render_osc(au, ch.osc, out, vexel_tick_samples);
    }
    int16_t scratch[vexel_xfade_samples] = {};
    if (old.amp != 0) audio_render_osc(au, old, scratch, vexel_xfade_samples);
    for (int j = 0; j < vexel_xfade_samples; ++j)
        out[j] = static_cast<int16_t>((scratch[j] * (vexel_xfade_samples - j) + out[j] * j) /
                                      vexel_xfade_samples);
    audio_advance_channel(au, ch, note_index, true);
}
