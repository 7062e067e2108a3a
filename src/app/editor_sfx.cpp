// The sound-effect editor: one of the cartridge's 64 effects at a time, in
// two views switched with Tab. The tracker view lists the 32 notes as rows
// (note name and octave, waveform, volume, effect) in two columns of 16,
// typed with a piano layout; the pitch view draws them as bars with the
// mouse (pitch by height, volume in a strip below) with the waveform and
// effect of the pen chosen from pickers. Both show the header line (effect
// number, speed, loop start and end) and the preview toggles.
//
// It owns the view, the cursor (row -1 is the header line), the octave of
// the piano keys, the pen of the pitch view, the stroke being drawn and
// the preview: Space plays the effect on editor_sfx_preview_channel, and
// while it plays the four effect registers of the audio carry the bits of
// that channel the toggles ask for; they are put back as they were when
// the preview stops or ends. Invariants: every change of the cartridge is
// a write of its ROM bytes through vexel_cart_poke (editor_sfx.h), made to
// effect `n` only and preceded by one undo checkpoint per action (a key,
// a stroke from mouse-down to mouse-up); the undo state holds all 64
// effects, so undo and redo are right whichever effect is shown.
//
// Keys: Tab switches views; Space plays or stops; - and = choose the
// effect; [ and ] the octave; Ctrl+1..4 toggle half speed, echo,
// distortion and low-pass for the preview. Tracker: arrows move the
// cursor (Up from row 0 reaches the header line), Page Up/Down jump 16
// rows, Home/End first/last row; in the pitch column the piano keys
// (z s x d c v g b h n j m, q 2 w 3 e r 5 t 6 y 7 u) enter a note, in the
// other columns 0-7 set the value; Shift+Up/Down step the field under the
// cursor; i toggles the note's instrument flag; Backspace clears the note,
// Insert inserts a silent row, Delete removes the row, Ctrl+D duplicates
// it. Header line: digits type the value, Shift+Up/Down step it. Pitch
// view: Left/Right choose the note, Up/Down its pitch, Shift+Up/Down its
// volume, piano keys set its pitch, Page Up/Down the pen's waveform,
// Shift+Page Up/Down its effect, Enter puts the pen on the note.
#include "app/editor_sfx.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/editor.h"
#include "audio/audio.h"
#include "cart/cart.h"
#include "cart/cart_rom.h"
#include "framework/fenn_input.h"
#include "machine/machine.h"
#include "machine/mem.h"

namespace {

constexpr int sfx_bytes = int(vexel_sfx_bytes);
constexpr int all_bytes = vexel_sfx_count * sfx_bytes;
constexpr int rows_per_column = 16;
constexpr int header_max = 255;
constexpr int default_volume = 5;

// SDL scancodes the page reads.
constexpr int sc_right = 79, sc_left = 80, sc_down = 81, sc_up = 82;
constexpr int sc_home = 74, sc_page_up = 75, sc_end = 77, sc_page_down = 78;
constexpr int sc_insert = 73, sc_delete = 76, sc_d = 7, sc_1 = 30;

uint32_t addr_of(int n) { return vexel_addr_sfx + uint32_t(n) * vexel_sfx_bytes; }
bool valid(const vexel_cart* cart, int n, int i = 0) {
    return cart && n >= 0 && n < vexel_sfx_count && i >= 0 && i < vexel_sfx_notes;
}

constexpr char clip_start[] = "[sfx]";
constexpr char clip_end[] = "[/sfx]";

// Both bytes of a note.
void note_bytes(int pitch, int waveform, int volume, int effect, bool instrument, int* b0, int* b1) {
    *b0 = (pitch & 0x3f) | (waveform & 3) << 6;
    *b1 = ((waveform >> 2) & 1) | (volume & 7) << 1 | (effect & 7) << 4 | (instrument ? 0x80 : 0);
}

bool poke_changed(vexel_cart* cart, uint32_t a, int value) {
    if (vexel_cart_peek(cart, a) == (value & 0xff)) return false;
    vexel_cart_poke(cart, a, value);
    return true;
}

constexpr int field_max[5] = {63, 7, 7, 7, 1};

}  // namespace

// ---- notes and pitches ---------------------------------------------------------------

int editor_sfx_piano_semitone(int key) {
    static const char lower[] = "zsxdcvgbhnjm";
    static const char upper[] = "q2w3er5t6y7u";
    if (key <= 0 || key > 127) return -1;
    const int k = key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key;
    for (int i = 0; i < 12; ++i) {
        if (lower[i] == k) return i;
        if (upper[i] == k) return 12 + i;
    }
    return -1;
}

int editor_sfx_piano_pitch(int key, int octave) {
    const int s = editor_sfx_piano_semitone(key);
    if (s < 0) return -1;
    const int pitch = (std::clamp(octave, editor_sfx_octave_min, editor_sfx_octave_max) - editor_sfx_octave_min) * 12 + s;
    return pitch <= field_max[editor_sfx_pitch] ? pitch : -1;
}

void editor_sfx_note_name(int pitch, char* out) {
    static const char names[12][3] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
    pitch = std::clamp(pitch, 0, 63);
    out[0] = names[pitch % 12][0];
    out[1] = names[pitch % 12][1];
    out[2] = char('0' + editor_sfx_octave_min + pitch / 12);
    out[3] = 0;
}

// ---- fields ------------------------------------------------------------------------------

int editor_sfx_get(const vexel_cart* cart, int n, int i, editor_sfx_field f) {
    if (!valid(cart, n, i)) return 0;
    const int b0 = vexel_cart_peek(cart, addr_of(n) + uint32_t(2 * i));
    const int b1 = vexel_cart_peek(cart, addr_of(n) + uint32_t(2 * i + 1));
    switch (f) {
    case editor_sfx_pitch: return b0 & 0x3f;
    case editor_sfx_waveform: return (b0 >> 6) | (b1 & 1) << 2;
    case editor_sfx_volume: return (b1 >> 1) & 7;
    case editor_sfx_effect: return (b1 >> 4) & 7;
    case editor_sfx_instrument: return b1 >> 7;
    }
    return 0;
}

int editor_sfx_get_header(const vexel_cart* cart, int n, editor_sfx_header h) {
    if (!valid(cart, n) || h < 0 || h > editor_sfx_loop_end) return 0;
    return vexel_cart_peek(cart, addr_of(n) + 65u + uint32_t(h));
}

bool editor_sfx_set_note(vexel_cart* cart, int n, int i, int pitch, int waveform, int volume, int effect, bool instrument) {
    if (!valid(cart, n, i)) return false;
    int b0, b1;
    note_bytes(std::clamp(pitch, 0, 63), std::clamp(waveform, 0, 7), std::clamp(volume, 0, 7), std::clamp(effect, 0, 7),
               instrument, &b0, &b1);
    const uint32_t a = addr_of(n) + uint32_t(2 * i);
    const bool c0 = poke_changed(cart, a, b0);
    const bool c1 = poke_changed(cart, a + 1, b1);
    return c0 || c1;
}

bool editor_sfx_set(vexel_cart* cart, int n, int i, editor_sfx_field f, int value) {
    if (!valid(cart, n, i) || f < 0 || f > editor_sfx_instrument) return false;
    int v[5];
    for (int k = 0; k < 5; ++k) v[k] = editor_sfx_get(cart, n, i, editor_sfx_field(k));
    v[f] = std::clamp(value, 0, field_max[f]);
    return editor_sfx_set_note(cart, n, i, v[0], v[1], v[2], v[3], v[4] != 0);
}

bool editor_sfx_set_header(vexel_cart* cart, int n, editor_sfx_header h, int value) {
    if (!valid(cart, n) || h < 0 || h > editor_sfx_loop_end) return false;
    return poke_changed(cart, addr_of(n) + 65u + uint32_t(h), std::clamp(value, 0, header_max));
}

void editor_sfx_read_bytes(const vexel_cart* cart, int n, uint8_t out[68]) {
    for (int b = 0; b < sfx_bytes; ++b) out[b] = valid(cart, n) ? uint8_t(vexel_cart_peek(cart, addr_of(n) + uint32_t(b))) : 0;
}

bool editor_sfx_write_bytes(vexel_cart* cart, int n, const uint8_t bytes[68]) {
    if (!valid(cart, n)) return false;
    bool changed = false;
    for (int b = 0; b < sfx_bytes; ++b) changed = poke_changed(cart, addr_of(n) + uint32_t(b), bytes[b]) || changed;
    return changed;
}

// ---- rows ----------------------------------------------------------------------------------

bool editor_sfx_insert_row(vexel_cart* cart, int n, int i) {
    if (!valid(cart, n, i)) return false;
    uint8_t b[68];
    editor_sfx_read_bytes(cart, n, b);
    std::memmove(b + 2 * (i + 1), b + 2 * i, size_t(2 * (vexel_sfx_notes - 1 - i)));
    b[2 * i] = b[2 * i + 1] = 0;
    return editor_sfx_write_bytes(cart, n, b);
}

bool editor_sfx_delete_row(vexel_cart* cart, int n, int i) {
    if (!valid(cart, n, i)) return false;
    uint8_t b[68];
    editor_sfx_read_bytes(cart, n, b);
    std::memmove(b + 2 * i, b + 2 * (i + 1), size_t(2 * (vexel_sfx_notes - 1 - i)));
    b[2 * (vexel_sfx_notes - 1)] = b[2 * (vexel_sfx_notes - 1) + 1] = 0;
    return editor_sfx_write_bytes(cart, n, b);
}

bool editor_sfx_copy_row(vexel_cart* cart, int n, int i, int to) {
    if (!valid(cart, n, i) || !valid(cart, n, to)) return false;
    const uint32_t from = addr_of(n) + uint32_t(2 * i), dest = addr_of(n) + uint32_t(2 * to);
    const bool c0 = poke_changed(cart, dest, vexel_cart_peek(cart, from));
    const bool c1 = poke_changed(cart, dest + 1, vexel_cart_peek(cart, from + 1));
    return c0 || c1;
}

// ---- clipboard ------------------------------------------------------------------------------

std::string editor_sfx_copy_text(const vexel_cart* cart, int n) {
    static const char hex[] = "0123456789abcdef";
    uint8_t b[68];
    editor_sfx_read_bytes(cart, n, b);
    std::string s = clip_start;
    for (uint8_t v : b) {
        s += hex[v >> 4];
        s += hex[v & 15];
    }
    return s + clip_end;
}

const char* editor_sfx_paste_status_text(editor_sfx_paste_status status) {
    switch (status) {
    case editor_sfx_paste_ok: return "pasted";
    case editor_sfx_paste_not_sfx: return "not a sound effect";
    case editor_sfx_paste_too_long: return "clipboard text too long";
    case editor_sfx_paste_bad_digit: return "bad digit in sound paste";
    case editor_sfx_paste_wrong_count: return "sound paste is not 68 bytes";
    case editor_sfx_paste_no_end: return "sound paste not ended by [/sfx]";
    }
    return "cannot paste";
}

editor_sfx_paste_status editor_sfx_parse_text(const std::string& text, uint8_t out[68]) {
    if (text.size() > editor_sfx_clip_max_text) return editor_sfx_paste_too_long;
    size_t i = 0;
    while (i < text.size() && editor_clip_blank(uint8_t(text[i]))) ++i;
    const size_t start_len = sizeof clip_start - 1, end_len = sizeof clip_end - 1;
    if (text.compare(i, start_len, clip_start) != 0) return editor_sfx_paste_not_sfx;
    i += start_len;
    uint8_t bytes[68];
    int digits = 0;
    for (; i < text.size() && text[i] != '['; ++i) {
        const int c = uint8_t(text[i]);
        if (editor_clip_blank(c)) continue;
        const int d = editor_hex_value(c);
        if (d < 0) return editor_sfx_paste_bad_digit;
        if (digits == 2 * sfx_bytes) return editor_sfx_paste_wrong_count;
        if (digits % 2 == 0) bytes[digits / 2] = uint8_t(d << 4);
        else bytes[digits / 2] = uint8_t(bytes[digits / 2] | d);
        ++digits;
    }
    if (i >= text.size()) return editor_sfx_paste_no_end;
    if (digits != 2 * sfx_bytes) return editor_sfx_paste_wrong_count;
    if (text.compare(i, end_len, clip_end) != 0) return editor_sfx_paste_no_end;
    for (i += end_len; i < text.size(); ++i)
        if (!editor_clip_blank(uint8_t(text[i]))) return editor_sfx_paste_no_end;
    std::memcpy(out, bytes, sizeof bytes);
    return editor_sfx_paste_ok;
}

// ---- the page ----------------------------------------------------------------------------------

namespace {

// Layout, in machine pixels. Header line and toggles at the top of the
// body; below them the tracker's two columns or the pitch view.
constexpr int head_y = editor_body_y0 + 2;
constexpr int toggle_y = editor_body_y0 + 9;
constexpr int list_y = editor_body_y0 + 17;
constexpr int row_h = 6;
constexpr int column_w = 64;
constexpr int bars_bottom = 91;  // y of pitch 0
constexpr int bars_top = bars_bottom - 63;
constexpr int strip_bottom = 103;  // y of volume 0
constexpr int strip_top = strip_bottom - 7;
constexpr int picker_y = 107, picker_h = 8, picker_w = 7;
constexpr int instrument_x = 57, instrument_w = 13;
constexpr int effect_picker_x = 72;

// A clickable box of the header and toggle lines.
struct hot_box {
    int x0, y0, x1, y1;  // inclusive
    bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};
constexpr hot_box box_prev = {13, head_y - 1, 18, head_y + 5};
constexpr hot_box box_number = {19, head_y - 1, 28, head_y + 5};
constexpr hot_box box_next = {29, head_y - 1, 34, head_y + 5};
constexpr hot_box box_header[3] = {{50, head_y - 1, 62, head_y + 5},
                                   {74, head_y - 1, 82, head_y + 5},
                                   {86, head_y - 1, 94, head_y + 5}};
constexpr hot_box box_view = {104, head_y - 1, 127, head_y + 5};
constexpr hot_box box_toggle[4] = {{0, toggle_y - 1, 14, toggle_y + 5},
                                   {16, toggle_y - 1, 30, toggle_y + 5},
                                   {32, toggle_y - 1, 46, toggle_y + 5},
                                   {48, toggle_y - 1, 62, toggle_y + 5}};
constexpr hot_box box_octave = {72, toggle_y - 1, 96, toggle_y + 5};
constexpr hot_box box_play = {104, toggle_y - 1, 127, toggle_y + 5};

constexpr const char* toggle_names[4] = {"half speed", "echo", "distortion", "low-pass"};
constexpr const char* toggle_labels[4] = {"hlf", "ech", "dst", "low"};
constexpr const char* header_names[3] = {"speed", "loop start", "loop end"};
constexpr const char* waveform_names[8] = {"triangle", "tilted saw", "saw", "square", "pulse", "organ", "noise", "phaser"};
constexpr const char* effect_names[8] = {"none", "slide", "vibrato", "drop", "fade in", "fade out", "fast arpeggio", "slow arpeggio"};
constexpr uint8_t waveform_colours[8] = {12, 14, 11, 9, 10, 13, 6, 15};

// Tracker cells of a row: x offsets in its column of the four fields.
constexpr int field_x[4] = {10, 25, 31, 37};
constexpr int field_w[4] = {14, 5, 5, 5};

enum drag_kind : int { drag_none, drag_bars, drag_erase, drag_strip };

struct sfx_editor {
    int n = 1;
    bool live_notes = false;  // the setting, from the last update's input
    bool pitch_view = false;
    int row = 0, field = 0;   // tracker cursor; row -1 the header line
    int note = 0;             // pitch view cursor
    int octave = 4;
    bool typing = false;      // a digit was typed into the header field since the cursor came
    int pen_waveform = 0, pen_effect = 0;
    bool pen_instrument = false;
    bool toggles[4] = {};
    // The preview: whether this editor started the effect on the preview
    // channel, and the effect registers it put its bits into.
    bool playing = false;
    bool fx_set = false;
    int fx_saved[4] = {};
    // Mouse: where it is, and the stroke being drawn.
    int mouse_x = -1000, mouse_y = -1000;
    drag_kind drag = drag_none;
    int last_note = -1;
    bool group_open = false, group_checkpointed = false;
};

}  // namespace

struct editor_sfx_state {
    sfx_editor ed;
};
editor_sfx_state* editor_sfx_state_new() { return new editor_sfx_state; }
void editor_sfx_state_free(editor_sfx_state* s) { delete s; }

namespace {

// This editor's record in the studio the frame works on (editor.h); the
// page is driven only while one is bound.
sfx_editor& ed() { return editor_studio_current()->sfx->ed; }

vexel_cart* cart_of(vexel_machine* m) { return m ? m->working_cart : nullptr; }

// Runs op(cart) on the shown effect so that a change gets exactly one undo
// checkpoint per action: the bytes before are put back for the checkpoint
// to record, then the change again.
template <class Op>
bool edit(vexel_machine* m, Op op) {
    vexel_cart* cart = cart_of(m);
    if (!cart) return false;
    if (ed().group_checkpointed) return op(cart);
    uint8_t before[68], after[68];
    editor_sfx_read_bytes(cart, ed().n, before);
    if (!op(cart)) return false;
    editor_sfx_read_bytes(cart, ed().n, after);
    editor_sfx_write_bytes(cart, ed().n, before);
    editor_checkpoint(m);
    editor_sfx_write_bytes(cart, ed().n, after);
    if (ed().group_open) ed().group_checkpointed = true;
    return true;
}

// ---- the preview ----

bool preview_sounding(vexel_machine* m) {
    vexel_cart* cart = cart_of(m);
    return cart && m->audio && vexel_audio_channel_sfx(m->audio, editor_sfx_preview_channel) == &cart->sfx[ed().n];
}

// The effect registers with the preview channel's bit as the toggles ask,
// the values found there kept to put back.
void apply_fx(vexel_machine* m) {
    if (!ed().fx_set) {
        for (int i = 0; i < 4; ++i) ed().fx_saved[i] = vexel_peek(m, m->cart, int32_t(vexel_reg_audio_fx) + i);
        ed().fx_set = true;
    }
    constexpr int bit = 1 << editor_sfx_preview_channel;
    for (int i = 0; i < 4; ++i)
        vexel_poke(m, m->cart, int32_t(vexel_reg_audio_fx) + i, ed().toggles[i] ? ed().fx_saved[i] | bit : ed().fx_saved[i] & ~bit);
}

// Only the preview channel's bit goes back: a program run meanwhile (Ctrl+R
// while the preview played) may have set the others since.
void restore_fx(vexel_machine* m) {
    if (!ed().fx_set) return;
    constexpr int bit = 1 << editor_sfx_preview_channel;
    for (int i = 0; i < 4; ++i) {
        const int32_t a = int32_t(vexel_reg_audio_fx) + i;
        vexel_poke(m, m->cart, a, (vexel_peek(m, m->cart, a) & ~bit) | (ed().fx_saved[i] & bit));
    }
    ed().fx_set = false;
}

void stop_preview(vexel_machine* m) {
    if (preview_sounding(m)) vexel_audio_play_sfx(m->audio, nullptr, 0, 0, cart_of(m), editor_sfx_preview_channel);
    ed().playing = false;
    restore_fx(m);
}

void start_preview(vexel_machine* m) {
    vexel_cart* cart = cart_of(m);
    if (!cart || !m->audio) return;
    apply_fx(m);
    ed().playing = vexel_audio_play_sfx(m->audio, &cart->sfx[ed().n], 0, 0, cart, editor_sfx_preview_channel) >= 0;
    if (!ed().playing) restore_fx(m);
}

// The preview ended by itself: the registers go back.
void watch_preview(vexel_machine* m) {
    if (ed().playing && !preview_sounding(m)) {
        ed().playing = false;
        restore_fx(m);
    }
}

// With live_notes on, a changed note is heard at once (unless the whole
// effect is playing, which the note would cut off).
void hear_note(vexel_machine* m, int i) {
    vexel_cart* cart = cart_of(m);
    if (!ed().live_notes || ed().playing || !cart || !m->audio) return;
    vexel_audio_play_sfx(m->audio, &cart->sfx[ed().n], i, 1, cart, editor_sfx_preview_channel);
}

int playing_note(vexel_machine* m) {
    if (!ed().playing || !preview_sounding(m)) return -1;
    return vexel_audio_playing_note(m->audio, &cart_of(m)->sfx[ed().n]);
}

void select_effect(vexel_machine* m, int n) {
    n = std::clamp(n, 0, vexel_sfx_count - 1);
    if (n == ed().n) return;
    if (ed().playing) stop_preview(m);
    ed().n = n;
    ed().typing = false;
}

// ---- edits at the cursor ----

// A piano key at note i: the pitch, and for a silent note the pen's
// waveform, effect and instrument at the usual volume.
bool enter_pitch(vexel_machine* m, int i, int pitch) {
    const bool changed = edit(m, [&](vexel_cart* c) {
        if (editor_sfx_get(c, ed().n, i, editor_sfx_volume) > 0) return editor_sfx_set(c, ed().n, i, editor_sfx_pitch, pitch);
        return editor_sfx_set_note(c, ed().n, i, pitch, ed().pen_waveform, default_volume, ed().pen_effect, ed().pen_instrument);
    });
    hear_note(m, i);
    return changed;
}

void step_field(vexel_machine* m, int i, editor_sfx_field f, int delta) {
    const int v = editor_sfx_get(cart_of(m), ed().n, i, f);
    if (edit(m, [&](vexel_cart* c) { return editor_sfx_set(c, ed().n, i, f, v + delta); })) hear_note(m, i);
}

void step_header(vexel_machine* m, int h, int delta) {
    const int v = editor_sfx_get_header(cart_of(m), ed().n, editor_sfx_header(h));
    edit(m, [&](vexel_cart* c) { return editor_sfx_set_header(c, ed().n, editor_sfx_header(h), v + delta); });
}

void type_header_digit(vexel_machine* m, int d) {
    const int v = editor_sfx_get_header(cart_of(m), ed().n, editor_sfx_header(ed().field));
    int next = ed().typing ? v * 10 + d : d;
    if (next > header_max) next = d;
    ed().typing = true;
    edit(m, [&](vexel_cart* c) { return editor_sfx_set_header(c, ed().n, editor_sfx_header(ed().field), next); });
}

void toggle_instrument(vexel_machine* m, int i) {
    const int v = editor_sfx_get(cart_of(m), ed().n, i, editor_sfx_instrument);
    edit(m, [&](vexel_cart* c) { return editor_sfx_set(c, ed().n, i, editor_sfx_instrument, !v); });
}

void move_cursor(int row, int field) {
    ed().row = std::clamp(row, -1, vexel_sfx_notes - 1);
    ed().field = std::clamp(field, 0, ed().row < 0 ? 2 : 3);
    ed().typing = false;
}

void tracker_key(vexel_machine* m, int k) {
    if (ed().row < 0) {
        if (k >= '0' && k <= '9') type_header_digit(m, k - '0');
        if (k == 8) {
            const int v = editor_sfx_get_header(cart_of(m), ed().n, editor_sfx_header(ed().field));
            edit(m, [&](vexel_cart* c) { return editor_sfx_set_header(c, ed().n, editor_sfx_header(ed().field), v / 10); });
            ed().typing = true;
        }
        return;
    }
    if (k == 'i' || k == 'I') {
        toggle_instrument(m, ed().row);
        return;
    }
    if (k == 8) {
        edit(m, [&](vexel_cart* c) { return editor_sfx_set_note(c, ed().n, ed().row, 0, 0, 0, 0, false); });
        return;
    }
    if (ed().field == editor_sfx_pitch) {
        const int pitch = editor_sfx_piano_pitch(k, ed().octave);
        if (pitch >= 0) {
            enter_pitch(m, ed().row, pitch);
            move_cursor(ed().row + 1, ed().field);
        } else if (editor_sfx_piano_semitone(k) >= 0) {
            editor_message("that note is above the highest pitch");
        }
        return;
    }
    if (k >= '0' && k <= '7') {
        if (edit(m, [&](vexel_cart* c) { return editor_sfx_set(c, ed().n, ed().row, editor_sfx_field(ed().field), k - '0'); }))
            hear_note(m, ed().row);
        move_cursor(ed().row + 1, ed().field);
    }
}

void tracker_keys(vexel_machine* m, const editor_input& in) {
    const bool shift = in.shift;
    if (editor_pressed(in, sc_up)) {
        if (shift && ed().row < 0) step_header(m, ed().field, 1);
        else if (shift) step_field(m, ed().row, editor_sfx_field(ed().field), 1);
        else move_cursor(ed().row - 1, ed().field);
    }
    if (editor_pressed(in, sc_down)) {
        if (shift && ed().row < 0) step_header(m, ed().field, -1);
        else if (shift) step_field(m, ed().row, editor_sfx_field(ed().field), -1);
        else move_cursor(ed().row + 1, ed().field);
    }
    const int last_field = ed().row < 0 ? 2 : 3;
    if (editor_pressed(in, sc_left)) {
        if (ed().field > 0) move_cursor(ed().row, ed().field - 1);
        else if (ed().row >= rows_per_column) move_cursor(ed().row - rows_per_column, 3);
    }
    if (editor_pressed(in, sc_right)) {
        if (ed().field < last_field) move_cursor(ed().row, ed().field + 1);
        else if (ed().row >= 0 && ed().row < rows_per_column) move_cursor(ed().row + rows_per_column, 0);
    }
    if (editor_pressed(in, sc_page_up)) move_cursor(ed().row < 0 ? -1 : std::max(0, ed().row - rows_per_column), ed().field);
    if (editor_pressed(in, sc_page_down)) move_cursor(std::max(0, ed().row + rows_per_column), ed().field);
    if (editor_pressed(in, sc_home)) move_cursor(0, ed().field);
    if (editor_pressed(in, sc_end)) move_cursor(vexel_sfx_notes - 1, ed().field);
    if (ed().row < 0) return;
    if (editor_pressed(in, sc_insert)) edit(m, [&](vexel_cart* c) { return editor_sfx_insert_row(c, ed().n, ed().row); });
    if (editor_pressed(in, sc_delete)) edit(m, [&](vexel_cart* c) { return editor_sfx_delete_row(c, ed().n, ed().row); });
    if (in.ctrl && editor_pressed(in, sc_d) && ed().row < vexel_sfx_notes - 1) {
        edit(m, [&](vexel_cart* c) {
            const bool a = editor_sfx_insert_row(c, ed().n, ed().row + 1);
            const bool b = editor_sfx_copy_row(c, ed().n, ed().row, ed().row + 1);
            return a || b;
        });
        move_cursor(ed().row + 1, ed().field);
    }
}

void apply_pen(vexel_machine* m, int i) {
    if (edit(m, [&](vexel_cart* c) {
            const int pitch = editor_sfx_get(c, ed().n, i, editor_sfx_pitch);
            const int vol = editor_sfx_get(c, ed().n, i, editor_sfx_volume);
            return editor_sfx_set_note(c, ed().n, i, pitch, ed().pen_waveform, vol ? vol : default_volume, ed().pen_effect,
                                       ed().pen_instrument);
        }))
        hear_note(m, i);
}

void pitch_view_keys(vexel_machine* m, const editor_input& in) {
    if (editor_pressed(in, sc_left)) ed().note = std::max(0, ed().note - 1);
    if (editor_pressed(in, sc_right)) ed().note = std::min(vexel_sfx_notes - 1, ed().note + 1);
    const editor_sfx_field f = in.shift ? editor_sfx_volume : editor_sfx_pitch;
    if (editor_pressed(in, sc_up)) step_field(m, ed().note, f, 1);
    if (editor_pressed(in, sc_down)) step_field(m, ed().note, f, -1);
    const int step = editor_pressed(in, sc_page_up) ? -1 : editor_pressed(in, sc_page_down) ? 1 : 0;
    if (step && in.shift) ed().pen_effect = (ed().pen_effect + step + 8) & 7;
    else if (step) ed().pen_waveform = (ed().pen_waveform + step + 8) & 7;
}

// ---- the mouse ----

int bar_at(int x) { return x >= 0 && x < vexel_sfx_notes * editor_sfx_bar_w ? x / editor_sfx_bar_w : -1; }

// The tracker cell under (x, y): row and field, false off the rows.
bool tracker_cell_at(int x, int y, int* row, int* field) {
    if (y < list_y || y >= list_y + rows_per_column * row_h || x < 0 || x >= 2 * column_w) return false;
    const int col = x / column_w, cx = x % column_w;
    *row = col * rows_per_column + (y - list_y) / row_h;
    *field = 0;
    for (int f = 3; f >= 0; --f)
        if (cx >= field_x[f]) {
            *field = f;
            break;
        }
    return true;
}

void stroke_to(vexel_machine* m, int x, int y) {
    const int i = bar_at(std::clamp(x, 0, vexel_sfx_notes * editor_sfx_bar_w - 1));
    const int from = ed().last_note < 0 ? i : ed().last_note;
    const int lo = std::min(from, i), hi = std::max(from, i);
    for (int k = lo; k <= hi; ++k) {
        // The note the stroke came from keeps the pitch it was drawn at.
        if (k == ed().last_note && k != i) continue;
        bool changed = false;
        if (ed().drag == drag_bars) {
            const int pitch = std::clamp(bars_bottom - y, 0, 63);
            changed = edit(m, [&](vexel_cart* c) {
                const int vol = editor_sfx_get(c, ed().n, k, editor_sfx_volume);
                return editor_sfx_set_note(c, ed().n, k, pitch, ed().pen_waveform, vol ? vol : default_volume, ed().pen_effect,
                                           ed().pen_instrument);
            });
        } else if (ed().drag == drag_erase) {
            changed = edit(m, [&](vexel_cart* c) { return editor_sfx_set(c, ed().n, k, editor_sfx_volume, 0); });
        } else if (ed().drag == drag_strip) {
            const int vol = std::clamp(strip_bottom - y, 0, 7);
            changed = edit(m, [&](vexel_cart* c) { return editor_sfx_set(c, ed().n, k, editor_sfx_volume, vol); });
        }
        if (changed && k == i) hear_note(m, k);
    }
    ed().last_note = i;
    ed().note = i;
}

void header_click(vexel_machine* m, int x, int y, int button, int wheel) {
    const int delta = wheel ? wheel : button == fenn_mouse_right ? -1 : 1;
    if (box_prev.contains(x, y) && !wheel) select_effect(m, ed().n - 1);
    if (box_next.contains(x, y) && !wheel) select_effect(m, ed().n + 1);
    if (box_number.contains(x, y)) select_effect(m, ed().n + delta);
    for (int h = 0; h < 3; ++h)
        if (box_header[h].contains(x, y)) {
            step_header(m, h, delta);
            if (!ed().pitch_view) move_cursor(-1, h);
        }
    if (wheel) return;
    if (box_view.contains(x, y)) ed().pitch_view = !ed().pitch_view;
    for (int t = 0; t < 4; ++t)
        if (box_toggle[t].contains(x, y)) {
            ed().toggles[t] = !ed().toggles[t];
            if (ed().fx_set) apply_fx(m);
        }
    if (box_octave.contains(x, y))
        ed().octave = std::clamp(ed().octave + delta, editor_sfx_octave_min, editor_sfx_octave_max);
    if (box_play.contains(x, y)) {
        if (ed().playing) stop_preview(m);
        else start_preview(m);
    }
}

void mouse(vexel_machine* m, const editor_input& in) {
    const int x = in.mouse_x, y = in.mouse_y;
    const int down = in.went_down & (fenn_mouse_left | fenn_mouse_right);
    if (down && y < list_y) header_click(m, x, y, down & fenn_mouse_left ? fenn_mouse_left : fenn_mouse_right, 0);
    if (in.wheel_y && y >= editor_body_y0 && y < list_y) header_click(m, x, y, 0, in.wheel_y > 0 ? 1 : -1);
    if (!ed().pitch_view) {
        int row, field;
        if ((in.went_down & fenn_mouse_left) && tracker_cell_at(x, y, &row, &field)) move_cursor(row, field);
        return;
    }
    // The pitch view: pickers, then strokes over the bars and the strip.
    if ((in.went_down & fenn_mouse_left) && y >= picker_y && y < picker_y + picker_h) {
        if (x >= 0 && x < 8 * picker_w) ed().pen_waveform = x / picker_w;
        if (x >= instrument_x && x < instrument_x + instrument_w) ed().pen_instrument = !ed().pen_instrument;
        if (x >= effect_picker_x && x < effect_picker_x + 8 * picker_w) ed().pen_effect = (x - effect_picker_x) / picker_w;
    }
    if (down && ed().drag == drag_none && bar_at(x) >= 0) {
        if (y >= bars_top - 1 && y <= bars_bottom) ed().drag = down & fenn_mouse_left ? drag_bars : drag_erase;
        else if (y >= strip_top - 1 && y <= strip_bottom) ed().drag = drag_strip;
        if (ed().drag != drag_none) {
            ed().group_open = true;
            ed().group_checkpointed = false;
            ed().last_note = -1;
        }
    }
    if (ed().drag != drag_none && (in.buttons & (fenn_mouse_left | fenn_mouse_right))) stroke_to(m, x, y);
    if (ed().drag != drag_none && !(in.buttons & (fenn_mouse_left | fenn_mouse_right))) {
        ed().drag = drag_none;
        ed().group_open = ed().group_checkpointed = false;
    }
}

// ---- the page's functions ----

void sfx_open(vexel_machine* m) {
    ed().n = std::clamp(ed().n, 0, vexel_sfx_count - 1);
    move_cursor(ed().row, ed().field);
    watch_preview(m);
}

void sfx_update(vexel_machine* m, const editor_input& in) {
    ed().live_notes = in.settings.live_notes;
    if (!cart_of(m)) return;
    watch_preview(m);
    ed().mouse_x = in.mouse_x;
    ed().mouse_y = in.mouse_y;
    for (int i = 0; i < in.key_count; ++i) {
        const int k = in.keys[i];
        if (k == 9) {
            ed().pitch_view = !ed().pitch_view;
        } else if (k == ' ') {
            if (ed().playing) stop_preview(m);
            else start_preview(m);
        } else if (k == '-' || k == '_') {
            select_effect(m, ed().n - 1);
        } else if (k == '=' || k == '+') {
            select_effect(m, ed().n + 1);
        } else if (k == '[') {
            ed().octave = std::max(editor_sfx_octave_min, ed().octave - 1);
        } else if (k == ']') {
            ed().octave = std::min(editor_sfx_octave_max, ed().octave + 1);
        } else if (!ed().pitch_view) {
            tracker_key(m, k);
        } else if (k == 13) {
            apply_pen(m, ed().note);
        } else if (k == 'i' || k == 'I') {
            toggle_instrument(m, ed().note);
        } else if (const int pitch = editor_sfx_piano_pitch(k, ed().octave); pitch >= 0) {
            enter_pitch(m, ed().note, pitch);
            ed().note = std::min(vexel_sfx_notes - 1, ed().note + 1);
        }
    }
    if (in.ctrl)
        for (int t = 0; t < 4; ++t)
            if (editor_pressed(in, sc_1 + t)) {
                ed().toggles[t] = !ed().toggles[t];
                if (ed().fx_set) apply_fx(m);
            }
    if (ed().pitch_view) pitch_view_keys(m, in);
    else tracker_keys(m, in);
    mouse(m, in);
}

// Text in a small box, highlighted when on.
void label_box(vexel_machine* m, fenn_bitmap* page, const hot_box& b, const char* text, bool on, const editor_theme& t) {
    if (on) editor_fill(page, b.x0, b.y0, b.x1, b.y1, t.selection);
    editor_text(m, page, text, b.x0 + 1, b.y0 + 1, on ? t.punct : t.text);
}

void draw_header(vexel_machine* m, fenn_bitmap* page, const editor_theme& t, const vexel_cart* cart) {
    char buf[16];
    editor_text(m, page, "sfx", 1, head_y, t.comment);
    editor_text(m, page, "<", box_prev.x0 + 1, head_y, t.punct);
    std::snprintf(buf, sizeof buf, "%02d", ed().n);
    editor_text(m, page, buf, box_number.x0 + 1, head_y, t.number);
    editor_text(m, page, ">", box_next.x0 + 1, head_y, t.punct);
    editor_text(m, page, "spd", 37, head_y, t.comment);
    editor_text(m, page, "lp", 65, head_y, t.comment);
    for (int h = 0; h < 3; ++h) {
        const hot_box& b = box_header[h];
        const bool cur = !ed().pitch_view && ed().row < 0 && ed().field == h;
        if (cur) editor_fill(page, b.x0, b.y0, b.x1, b.y1, t.cursor);
        std::snprintf(buf, sizeof buf, h == 0 ? "%3d" : "%02d", editor_sfx_get_header(cart, ed().n, editor_sfx_header(h)));
        editor_text(m, page, buf, b.x0 + 1, head_y, cur ? t.punct : t.number);
    }
    label_box(m, page, box_view, ed().pitch_view ? "pitch" : "notes", false, t);
    for (int i = 0; i < 4; ++i) label_box(m, page, box_toggle[i], toggle_labels[i], ed().toggles[i], t);
    if (!ed().pitch_view) {
        std::snprintf(buf, sizeof buf, "oct %d", ed().octave);
        label_box(m, page, box_octave, buf, false, t);
    }
    label_box(m, page, box_play, ed().playing ? "stop" : "play", ed().playing, t);
}

void draw_tracker(vexel_machine* m, fenn_bitmap* page, const editor_theme& t, const vexel_cart* cart, int playing) {
    char buf[8];
    for (int i = 0; i < vexel_sfx_notes; ++i) {
        const int x = (i / rows_per_column) * column_w, y = list_y + (i % rows_per_column) * row_h;
        if (i == playing) editor_fill(page, x, y - 1, x + column_w - 2, y + row_h - 2, t.selection);
        std::snprintf(buf, sizeof buf, "%02d", i);
        editor_text(m, page, buf, x + 1, y, t.comment);
        const int vol = editor_sfx_get(cart, ed().n, i, editor_sfx_volume);
        for (int f = 0; f < 4; ++f) {
            const int v = editor_sfx_get(cart, ed().n, i, editor_sfx_field(f));
            const bool cur = i == ed().row && f == ed().field;
            if (cur) editor_fill(page, x + field_x[f] - 1, y - 1, x + field_x[f] + field_w[f] - 1, y + row_h - 2, t.cursor);
            if (f == editor_sfx_pitch) editor_sfx_note_name(v, buf);
            else std::snprintf(buf, sizeof buf, "%d", v);
            int colour = vol ? t.text : t.comment;
            if (f == editor_sfx_waveform && editor_sfx_get(cart, ed().n, i, editor_sfx_instrument)) colour = t.warn;
            if (cur) colour = t.punct;
            editor_text(m, page, buf, x + field_x[f], y, colour);
        }
    }
}

void draw_pitch_view(vexel_machine* m, fenn_bitmap* page, const editor_theme& t, const vexel_cart* cart, int playing) {
    editor_frame_rect(page, 0, bars_top - 1, 127, bars_bottom + 1, t.comment);
    for (int i = 0; i < vexel_sfx_notes; ++i) {
        const int x = editor_sfx_bar_x(i);
        const int pitch = editor_sfx_get(cart, ed().n, i, editor_sfx_pitch);
        const int vol = editor_sfx_get(cart, ed().n, i, editor_sfx_volume);
        const int wave = editor_sfx_get(cart, ed().n, i, editor_sfx_waveform);
        const int colour = i == playing ? 7 : vol ? waveform_colours[wave] : t.comment;
        if (vol) editor_fill(page, x, editor_sfx_pitch_y(pitch), x + editor_sfx_bar_w - 2, bars_bottom, colour);
        else editor_fill(page, x, editor_sfx_pitch_y(pitch), x + editor_sfx_bar_w - 2, editor_sfx_pitch_y(pitch), colour);
        editor_fill(page, x, editor_sfx_volume_y(vol), x + editor_sfx_bar_w - 2, strip_bottom, i == playing ? 7 : t.number);
        if (i == ed().note) editor_fill(page, x, bars_bottom + 2, x + editor_sfx_bar_w - 2, bars_bottom + 3, t.cursor);
    }
    char buf[4];
    for (int w = 0; w < 8; ++w) {
        const int x = w * picker_w;
        editor_fill(page, x, picker_y, x + picker_w - 2, picker_y + picker_h - 2, w == ed().pen_waveform ? 7 : waveform_colours[w]);
        std::snprintf(buf, sizeof buf, "%d", w);
        editor_text(m, page, buf, x + 1, picker_y + 1, 0);
    }
    const hot_box ins = {instrument_x, picker_y, instrument_x + instrument_w - 2, picker_y + picker_h - 2};
    label_box(m, page, ins, "ins", ed().pen_instrument, t);
    for (int e = 0; e < 8; ++e) {
        const int x = effect_picker_x + e * picker_w;
        editor_fill(page, x, picker_y, x + picker_w - 2, picker_y + picker_h - 2, e == ed().pen_effect ? t.cursor : t.selection);
        std::snprintf(buf, sizeof buf, "%d", e);
        editor_text(m, page, buf, x + 1, picker_y + 1, t.punct);
    }
}

void sfx_draw(vexel_machine* m, fenn_bitmap* page, const editor_theme& t) {
    const vexel_cart* cart = cart_of(m);
    if (!cart) return;
    const int playing = playing_note(m);
    draw_header(m, page, t, cart);
    if (ed().pitch_view) draw_pitch_view(m, page, t, cart, playing);
    else draw_tracker(m, page, t, cart, playing);
}

std::string note_text(const vexel_cart* cart, int i) {
    char name[4], buf[64];
    editor_sfx_note_name(editor_sfx_get(cart, ed().n, i, editor_sfx_pitch), name);
    const int w = editor_sfx_get(cart, ed().n, i, editor_sfx_waveform);
    std::snprintf(buf, sizeof buf, "note %d %s %s%d v%d fx%d", i, name,
                  editor_sfx_get(cart, ed().n, i, editor_sfx_instrument) ? "ins" : "w", w,
                  editor_sfx_get(cart, ed().n, i, editor_sfx_volume), editor_sfx_get(cart, ed().n, i, editor_sfx_effect));
    return buf;
}

std::string sfx_status(vexel_machine* m, bool* warn) {
    *warn = false;
    const vexel_cart* cart = cart_of(m);
    if (!cart) return "";
    const int x = ed().mouse_x, y = ed().mouse_y;
    char buf[64];
    if (box_prev.contains(x, y) || box_next.contains(x, y) || box_number.contains(x, y)) return "effect number (- =)";
    for (int h = 0; h < 3; ++h)
        if (box_header[h].contains(x, y)) {
            std::snprintf(buf, sizeof buf, "%s %d", header_names[h], editor_sfx_get_header(cart, ed().n, editor_sfx_header(h)));
            return buf;
        }
    for (int i = 0; i < 4; ++i)
        if (box_toggle[i].contains(x, y)) {
            std::snprintf(buf, sizeof buf, "%s preview %s (ctrl+%d)", toggle_names[i], ed().toggles[i] ? "on" : "off", i + 1);
            return buf;
        }
    if (box_view.contains(x, y)) return "switch view (tab)";
    if (box_play.contains(x, y)) return "play / stop (space)";
    if (!ed().pitch_view && box_octave.contains(x, y)) return "piano octave ([ ])";
    if (ed().pitch_view) {
        if (y >= picker_y && y < picker_y + picker_h) {
            if (x >= 0 && x < 8 * picker_w) return std::string("waveform ") + waveform_names[x / picker_w];
            if (x >= instrument_x && x < instrument_x + instrument_w) return "waveform names an instrument";
            if (x >= effect_picker_x && x < effect_picker_x + 8 * picker_w)
                return std::string("effect ") + effect_names[(x - effect_picker_x) / picker_w];
        }
        if (bar_at(x) >= 0 && y >= bars_top - 1 && y <= strip_bottom) return note_text(cart, bar_at(x));
        return note_text(cart, ed().note);
    }
    // In the note list the line follows the cursor, where typing goes, not
    // the mouse that happens to rest over another row.
    if (ed().row >= 0) return note_text(cart, ed().row);
    std::snprintf(buf, sizeof buf, "%s: type a number", header_names[ed().field]);
    return buf;
}

// Undo state: a tag, the shown effect and cursor, then all 64 effects.
constexpr char state_tag[] = "SFX1";
constexpr size_t state_head = sizeof state_tag - 1 + 3;

std::string sfx_save_state(vexel_machine* m) {
    const vexel_cart* cart = cart_of(m);
    std::string s(state_tag);
    s += char(ed().n);
    s += char(ed().row + 1);
    s += char(ed().field);
    for (int a = 0; a < all_bytes; ++a) s += char(cart ? vexel_cart_peek(cart, vexel_addr_sfx + uint32_t(a)) : 0);
    return s;
}

void sfx_load_state(vexel_machine* m, const std::string& state) {
    vexel_cart* cart = cart_of(m);
    if (!cart || state.size() != state_head + size_t(all_bytes) || state.compare(0, sizeof state_tag - 1, state_tag) != 0) return;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(state.data()) + sizeof state_tag - 1;
    select_effect(m, p[0]);
    move_cursor(int(p[1]) - 1, p[2]);
    for (int n = 0; n < vexel_sfx_count; ++n) editor_sfx_write_bytes(cart, n, p + 3 + n * sfx_bytes);
}

std::string sfx_copy(vexel_machine* m, bool cut) {
    vexel_cart* cart = cart_of(m);
    if (!cart) return "";
    std::string text = editor_sfx_copy_text(cart, ed().n);
    if (cut) {
        // The notes and loop go; speed stays, so what is typed next keeps its pace.
        uint8_t b[68];
        editor_sfx_read_bytes(cart, ed().n, b);
        std::memset(b, 0, 2 * vexel_sfx_notes);
        b[66] = b[67] = 0;
        editor_sfx_write_bytes(cart, ed().n, b);
    }
    return text;
}

bool sfx_paste(vexel_machine* m, const std::string& text) {
    vexel_cart* cart = cart_of(m);
    if (!cart) return false;
    uint8_t b[68];
    const editor_sfx_paste_status st = editor_sfx_parse_text(text, b);
    if (st != editor_sfx_paste_ok) {
        editor_message(editor_sfx_paste_status_text(st));
        return false;
    }
    editor_sfx_write_bytes(cart, ed().n, b);
    editor_message("pasted");
    return true;
}

// Escape closes the editors: a preview still playing stops with them.
bool sfx_escape(vexel_machine* m) {
    stop_preview(m);
    return false;
}

}  // namespace

// ---- state for tests ----

int editor_sfx_selected() { return ed().n; }
void editor_sfx_select(int n) {
    ed().n = std::clamp(n, 0, vexel_sfx_count - 1);
    ed().typing = false;
}
bool editor_sfx_pitch_view() { return ed().pitch_view; }
int editor_sfx_cursor_row() { return ed().row; }
int editor_sfx_cursor_field() { return ed().field; }
int editor_sfx_octave() { return ed().octave; }
int editor_sfx_bar_x(int i) { return i * editor_sfx_bar_w; }
int editor_sfx_pitch_y(int pitch) { return bars_bottom - pitch; }
int editor_sfx_volume_y(int volume) { return strip_bottom - volume; }

const editor_page editor_sfx_page = {"sfx",          sfx_open,        sfx_update, sfx_draw,  sfx_status,
                                     sfx_save_state, sfx_load_state,  sfx_copy,   sfx_paste, sfx_escape};
