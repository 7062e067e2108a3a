// The music editor: edit operations on a cartridge record (see
// editor_music.h) and the page around them.
//
// The body, top to bottom: the pattern strip (all 64 patterns, 16 a row:
// number, which channels play, the flags), the flag toggles of the cursor's
// pattern, the four channels (on/off box, effect number, - and +), and the
// notes view (each channel's effect as 32 pitch bars, the note under the
// cursor spelled out below).
//
// Keys in the song: arrows move through the patterns (Shift+Left/Right
// selects a run of them for the clipboard), Tab / Shift+Tab the channel,
// digits type its effect number (and switch it on), - and + step it, e
// switches it on or off, Delete or Backspace off; [ and ] the loop start and
// loop end flags, s the stop flag; Space plays from the pattern or stops;
// Enter goes into the notes. In the notes: Left/Right the note, Tab the
// channel, Up/Down the pitch (Shift: an octave), - and + the volume, w / W
// the waveform, f / F the effect, i the instrument flag; Enter or Escape
// back to the song. The mouse clicks patterns, toggles and buttons, turns
// effect numbers with the wheel and draws pitches in the notes view.
//
// Playing: songs play from the page's own record (player_cart), whose
// sound bytes are copied from the working cartridge when a song starts and
// after every update while it plays. The working cartridge can be
// replaced from the console while a song still sounds; the mixer must
// never read a record that was freed.
//
// Invariants: the cursor is a pattern 0-63, channel 0-3 and note 0-31; the
// selection lies inside the song; every byte written goes through
// vexel_cart_poke on m->working_cart; drawing touches only the body rows
// and allocates nothing.
#include "app/editor_music.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/editor.h"
#include "app/editor_sfx.h"
#include "audio/audio.h"
#include "cart/cart.h"
#include "cart/cart_rom.h"
#include "framework/fenn_input.h"
#include "machine/machine.h"

namespace {

constexpr int music_bytes = editor_music_patterns * editor_music_channels;
constexpr int sfx_region_bytes = vexel_sfx_count * int(vexel_sfx_bytes);
constexpr int sound_first = int(vexel_addr_music);
constexpr int sound_bytes = music_bytes + sfx_region_bytes;  // 0x3100..0x42ff
constexpr int pitch_count = 64;
constexpr int field_mask = 7;  // waveform, volume and effect are three bits

// Layout (screen pixels).
constexpr int grid_cols = 16;
constexpr int cell_w = 8, cell_h = 9;
constexpr int grid_y0 = editor_body_y0 + 1;
constexpr int grid_y1 = grid_y0 + (editor_music_patterns / grid_cols) * cell_h;  // exclusive
constexpr int flags_y0 = grid_y1 + 2;
constexpr int row_h = 7;
constexpr int channels_y0 = flags_y0 + row_h + 1;
constexpr int column_w = 32;  // a channel's column in the channel row and notes view
constexpr int notes_y0 = channels_y0 + row_h + 2;
constexpr int notes_y1 = editor_body_y1 - row_h - 2;  // exclusive; the note line below
constexpr int note_line_y = notes_y1 + 2;
constexpr int bars_h = notes_y1 - notes_y0;

// Flag toggles: x of each box's left edge and its width (label + margins).
constexpr int flag_count = 3;
constexpr const char* flag_labels[flag_count] = {"start", "end", "stop"};
constexpr int flag_box_x[flag_count] = {52, 76, 92};
constexpr int flag_box_w[flag_count] = {22, 14, 18};
constexpr int flag_colour[flag_count] = {11, 12, 8};

// Channel row: offsets inside a channel's column.
constexpr int check_x = 1, check_w = 5;
constexpr int number_x = 8, number_w = 9;
constexpr int minus_x = 18, plus_x = 25, button_w = 6;

// Colours of the page's own marks (machine colours).
constexpr int on_colour = 11;
constexpr int play_colour = 10;
constexpr int dim_colour = 5;
constexpr int ink_colour = 0;
constexpr int bright_colour = 7;
constexpr int waveform_colour_base = 8;  // waveform w draws in colour 8 + w

// SDL scancodes the page reads.
constexpr int sc_right = 79, sc_left = 80, sc_down = 81, sc_up = 82, sc_delete = 76;
constexpr int sc_home = 74, sc_end = 77;

constexpr char state_tag[4] = {'m', 'u', 's', '1'};
constexpr int state_fields = 5;  // cursor and selection; the keys' focus stays where it is
constexpr size_t state_size = sizeof state_tag + size_t(sound_bytes) + state_fields;

enum hover_kind { hover_none, hover_pattern, hover_flag, hover_check, hover_number, hover_minus, hover_plus, hover_note };

struct cart_deleter {
    void operator()(vexel_cart* c) const { vexel_cart_destroy(c); }
};

struct music_page_state {
    int pattern = 0;
    int channel = 0;
    int sel_anchor = 0, sel_end = 0;  // the selected run: anchor..end either way round
    bool notes = false;
    int note = 0;
    bool digit_run = false;  // the last key typed a digit of this channel's number
    bool playing = false;
    int followed = -1;       // the song's pattern the cursor last followed
    bool drawing = false;    // a pitch stroke in the notes view
    int mouse_x = -100, mouse_y = -100;

    // The sound bytes as the page last left them: an undo step puts back
    // only the effect bytes the sound-effect editor has not changed since.
    uint8_t left_sound[sound_bytes] = {};
    // The copy of the sound bytes the song plays from.
    std::unique_ptr<vexel_cart, cart_deleter> player;
};

}  // namespace

struct editor_music_state {
    music_page_state S;
};
editor_music_state* editor_music_state_new() { return new editor_music_state; }
void editor_music_state_free(editor_music_state* s) { delete s; }

namespace {

// This editor's record in the studio the frame works on (editor.h); the
// page is driven only while one is bound.
music_page_state& S() { return editor_studio_current()->music->S; }


vexel_cart* player_cart() {
    if (!S().player) S().player.reset(vexel_cart_create());
    return S().player.get();
}

bool valid_pattern(int p) { return p >= 0 && p < editor_music_patterns; }
bool valid_channel(int c) { return c >= 0 && c < editor_music_channels; }
uint32_t music_addr(int p, int c) { return vexel_addr_music + uint32_t(p * editor_music_channels + c); }
uint32_t note_addr(int sfx, int i) { return vexel_addr_sfx + uint32_t(sfx) * vexel_sfx_bytes + uint32_t(i) * 2u; }

bool poke_changed(vexel_cart* cart, uint32_t a, int v) {
    if (vexel_cart_peek(cart, a) == (v & 0xff)) return false;
    vexel_cart_poke(cart, a, v & 0xff);
    return true;
}

// Copies the working cartridge's sound into the player's record, byte by
// byte as poke, only where they differ (the mixer may be reading it).
void sync_player(const vexel_cart* from) {
    if (!from) return;
    vexel_cart* to = player_cart();
    for (int i = 0; i < sound_bytes; ++i) {
        const uint32_t a = uint32_t(sound_first + i);
        poke_changed(to, a, vexel_cart_peek(from, a));
    }
}

void remember_sound(const vexel_cart* cart) {
    if (!cart) return;
    for (int i = 0; i < sound_bytes; ++i) S().left_sound[i] = uint8_t(vexel_cart_peek(cart, uint32_t(sound_first + i)));
}

int sel_first() { return std::min(S().sel_anchor, S().sel_end); }
int sel_count() { return std::abs(S().sel_end - S().sel_anchor) + 1; }
void collapse_selection() { S().sel_anchor = S().sel_end = S().pattern; }

int cursor_sfx(const vexel_machine* m) { return editor_music_sfx(m->working_cart, S().pattern, S().channel); }

// ---- playing ---------------------------------------------------------------------

void stop_song(vexel_machine* m) {
    if (S().playing && m->audio && S().player) vexel_audio_stop_song(m->audio, S().player.get());
    S().playing = false;
    S().followed = -1;
}

void start_song(vexel_machine* m) {
    if (!m->audio) return;
    if (editor_music_silent(m->working_cart, S().pattern)) {
        char text[48];
        std::snprintf(text, sizeof text, "pattern %d plays nothing", S().pattern);
        editor_message(text);
        return;
    }
    sync_player(m->working_cart);
    vexel_audio_play_song(m->audio, player_cart(), S().pattern, 0);
    S().playing = vexel_audio_music_playing(m->audio) != 0;
    S().followed = S().pattern;
}

// The cursor follows the song from pattern to pattern; a song that ended
// (a stop flag, running off the end, a silent pattern) is no longer shown.
void follow_song(vexel_machine* m) {
    if (!S().playing) return;
    if (!m->audio || !vexel_audio_music_playing(m->audio)) {
        S().playing = false;
        S().followed = -1;
        return;
    }
    sync_player(m->working_cart);
    const int p = vexel_audio_song_pattern(m->audio);
    if (valid_pattern(p) && p != S().followed) {
        S().followed = p;
        S().pattern = p;
        collapse_selection();
        S().digit_run = false;
    }
}

int playing_pattern(vexel_machine* m) {
    if (!S().playing || !m->audio) return -1;
    const int p = vexel_audio_song_pattern(m->audio);
    return valid_pattern(p) ? p : -1;
}

// ---- edits at the cursor -----------------------------------------------------------

void move_pattern(int p, bool extend) {
    S().pattern = std::clamp(p, 0, editor_music_patterns - 1);
    if (extend) S().sel_end = S().pattern;
    else collapse_selection();
    S().digit_run = false;
}

void step_sfx(vexel_machine* m, int c, int delta) {
    const int n = (editor_music_sfx(m->working_cart, S().pattern, c) + delta) & editor_music_sfx_max;
    editor_checkpoint(m);
    editor_music_set_sfx(m->working_cart, S().pattern, c, n, editor_music_enabled(m->working_cart, S().pattern, c));
}

void toggle_enabled(vexel_machine* m, int c) {
    editor_checkpoint(m);
    editor_music_set_enabled(m->working_cart, S().pattern, c, !editor_music_enabled(m->working_cart, S().pattern, c));
}

void toggle_flag(vexel_machine* m, int flag) {
    editor_checkpoint(m);
    editor_music_set_flag(m->working_cart, S().pattern, flag, !editor_music_flag_on(m->working_cart, S().pattern, flag));
}

// A digit typed for the channel's number: two digits in a row make one
// number when it stays an effect number, else the digit starts anew.
void type_digit(vexel_machine* m, int d) {
    const int old = editor_music_sfx(m->working_cart, S().pattern, S().channel);
    int n = d;
    if (S().digit_run && old * 10 + d <= editor_music_sfx_max) n = old * 10 + d;
    else editor_checkpoint(m);
    editor_music_set_sfx(m->working_cart, S().pattern, S().channel, n, true);
    S().digit_run = true;
}

void change_note(vexel_machine* m, int pitch_d, int volume_d, int waveform_d, int effect_d, bool flip_instrument) {
    const int sfx = cursor_sfx(m);
    editor_music_note n = editor_music_note_get(m->working_cart, sfx, S().note);
    n.pitch = std::clamp(n.pitch + pitch_d, 0, pitch_count - 1);
    n.volume = std::clamp(n.volume + volume_d, 0, field_mask);
    n.waveform = (n.waveform + waveform_d) & field_mask;
    n.effect = (n.effect + effect_d) & field_mask;
    if (flip_instrument) n.instrument = !n.instrument;
    const editor_music_note old = editor_music_note_get(m->working_cart, sfx, S().note);
    if (n.pitch == old.pitch && n.volume == old.volume && n.waveform == old.waveform && n.effect == old.effect &&
        n.instrument == old.instrument)
        return;  // at a limit: no empty undo step
    editor_checkpoint(m);
    editor_music_note_set(m->working_cart, sfx, S().note, n);
}

// ---- the mouse -------------------------------------------------------------------

struct hover_info {
    hover_kind kind = hover_none;
    int index = 0;    // pattern, flag or channel
    int note = 0;     // hover_note: the note
    int pitch = 0;    // hover_note: the pitch at the pointer's height
};

hover_info hover_at(int x, int y) {
    hover_info h;
    if (x < 0 || x >= 128) return h;
    if (y >= grid_y0 && y < grid_y1) {
        h.kind = hover_pattern;
        h.index = ((y - grid_y0) / cell_h) * grid_cols + x / cell_w;
        return h;
    }
    if (y >= flags_y0 && y < flags_y0 + row_h) {
        for (int f = 0; f < flag_count; ++f)
            if (x >= flag_box_x[f] && x < flag_box_x[f] + flag_box_w[f]) {
                h.kind = hover_flag;
                h.index = f;
            }
        return h;
    }
    const int c = x / column_w, dx = x % column_w;
    if (y >= channels_y0 && y < channels_y0 + row_h) {
        h.index = c;
        if (dx >= check_x && dx < check_x + check_w) h.kind = hover_check;
        else if (dx >= number_x && dx < number_x + number_w) h.kind = hover_number;
        else if (dx >= minus_x && dx < minus_x + button_w) h.kind = hover_minus;
        else if (dx >= plus_x && dx < plus_x + button_w) h.kind = hover_plus;
        return h;
    }
    if (y >= notes_y0 && y < notes_y1) {
        h.kind = hover_note;
        h.index = c;
        h.note = dx;
        // The inverse of the bar heights draw_notes gives, rounded.
        const int bar = notes_y1 - 1 - y;
        h.pitch = std::clamp((bar * (pitch_count - 1) + (bars_h - 1) / 2) / (bars_h - 1), 0, pitch_count - 1);
    }
    return h;
}

// Sets the pitch of the note under the pointer (a stroke in the notes
// view); a silent note gets a volume so that the drawn pitch is heard.
void draw_pitch(vexel_machine* m, const hover_info& h) {
    S().channel = h.index;
    S().note = h.note;
    S().notes = true;
    const int sfx = cursor_sfx(m);
    editor_music_note n = editor_music_note_get(m->working_cart, sfx, S().note);
    n.pitch = h.pitch;
    if (n.volume == 0) n.volume = field_mask - 2;
    editor_music_note_set(m->working_cart, sfx, S().note, n);
}

void mouse_update(vexel_machine* m, const editor_input& in) {
    S().mouse_x = in.mouse_x;
    S().mouse_y = in.mouse_y;
    const hover_info h = hover_at(in.mouse_x, in.mouse_y);
    if (S().drawing) {
        if (!(in.buttons & fenn_mouse_left)) S().drawing = false;
        else if (h.kind == hover_note) draw_pitch(m, h);
        return;
    }
    if (in.wheel_y != 0 && (h.kind == hover_number || h.kind == hover_minus || h.kind == hover_plus)) {
        S().channel = h.index;
        step_sfx(m, h.index, in.wheel_y > 0 ? 1 : -1);
        S().digit_run = false;
    }
    if (!(in.went_down & fenn_mouse_left)) return;
    switch (h.kind) {
    case hover_pattern: move_pattern(h.index, in.shift); break;
    case hover_flag: toggle_flag(m, h.index); break;
    case hover_check:
        S().channel = h.index;
        toggle_enabled(m, h.index);
        break;
    case hover_number:
        S().channel = h.index;
        S().notes = false;
        S().digit_run = false;
        break;
    case hover_minus:
    case hover_plus:
        S().channel = h.index;
        step_sfx(m, h.index, h.kind == hover_plus ? 1 : -1);
        S().digit_run = false;
        break;
    case hover_note:
        editor_checkpoint(m);
        S().drawing = true;
        draw_pitch(m, h);
        break;
    case hover_none: break;
    }
}

// ---- keys --------------------------------------------------------------------------

void song_key(vexel_machine* m, int k, bool shift) {
    if (k >= '0' && k <= '9') {
        type_digit(m, k - '0');
        return;
    }
    S().digit_run = false;
    switch (k) {
    case '-': step_sfx(m, S().channel, -1); break;
    case '+':
    case '=': step_sfx(m, S().channel, 1); break;
    case 'e': toggle_enabled(m, S().channel); break;
    case 8:
        if (editor_music_enabled(m->working_cart, S().pattern, S().channel)) toggle_enabled(m, S().channel);
        break;
    case '[': toggle_flag(m, editor_music_loop_start); break;
    case ']': toggle_flag(m, editor_music_loop_end); break;
    case 's': toggle_flag(m, editor_music_stop); break;
    case 9: S().channel = (S().channel + (shift ? editor_music_channels - 1 : 1)) % editor_music_channels; break;
    case 13: S().notes = true; break;
    default: break;
    }
}

void notes_key(vexel_machine* m, int k, bool shift) {
    switch (k) {
    case '-': change_note(m, 0, -1, 0, 0, false); break;
    case '+':
    case '=': change_note(m, 0, 1, 0, 0, false); break;
    case 'w': change_note(m, 0, 0, 1, 0, false); break;
    case 'W': change_note(m, 0, 0, -1, 0, false); break;
    case 'f': change_note(m, 0, 0, 0, 1, false); break;
    case 'F': change_note(m, 0, 0, 0, -1, false); break;
    case 'i': change_note(m, 0, 0, 0, 0, true); break;
    case 9: S().channel = (S().channel + (shift ? editor_music_channels - 1 : 1)) % editor_music_channels; break;
    case 13: S().notes = false; break;
    default: break;
    }
}

void music_update(vexel_machine* m, const editor_input& in) {
    if (!m->working_cart) return;
    follow_song(m);
    mouse_update(m, in);
    for (int i = 0; i < in.key_count; ++i) {
        const int k = in.keys[i];
        if (k == ' ') {
            S().digit_run = false;
            if (S().playing) stop_song(m);
            else start_song(m);
        } else if (S().notes) {
            notes_key(m, k, in.shift);
        } else {
            song_key(m, k, in.shift);
        }
    }
    const bool left = editor_pressed(in, sc_left), right = editor_pressed(in, sc_right);
    const bool up = editor_pressed(in, sc_up), down = editor_pressed(in, sc_down);
    if (S().notes) {
        if (left) S().note = std::max(0, S().note - 1);
        if (right) S().note = std::min(editor_music_notes - 1, S().note + 1);
        if (editor_pressed(in, sc_home)) S().note = 0;
        if (editor_pressed(in, sc_end)) S().note = editor_music_notes - 1;
        constexpr int octave = 12;
        if (up) change_note(m, in.shift ? octave : 1, 0, 0, 0, false);
        if (down) change_note(m, in.shift ? -octave : -1, 0, 0, 0, false);
    } else {
        if (left) move_pattern(S().pattern - 1, in.shift);
        if (right) move_pattern(S().pattern + 1, in.shift);
        if (up && S().pattern >= grid_cols) move_pattern(S().pattern - grid_cols, in.shift);
        if (down && S().pattern + grid_cols < editor_music_patterns) move_pattern(S().pattern + grid_cols, in.shift);
        if (editor_pressed(in, sc_home)) move_pattern(0, in.shift);
        if (editor_pressed(in, sc_end)) move_pattern(editor_music_patterns - 1, in.shift);
        if (editor_pressed(in, sc_delete) && editor_music_enabled(m->working_cart, S().pattern, S().channel)) {
            S().digit_run = false;
            toggle_enabled(m, S().channel);
        }
    }
    if (S().playing) sync_player(m->working_cart);  // what was just edited is heard at once
    remember_sound(m->working_cart);
}

// ---- drawing -----------------------------------------------------------------------

void draw_pattern_cell(vexel_machine* m, fenn_bitmap* page, const editor_theme& t, int p, int playing) {
    const vexel_cart* cart = m->working_cart;
    int x, y;
    editor_music_pattern_screen(p, &x, &y);
    const bool cursor = p == S().pattern, selected = sel_count() > 1 && p >= sel_first() && p < sel_first() + sel_count();
    int bg = t.body_bg;
    if (selected) bg = t.selection;
    if (cursor) bg = t.cursor;
    if (p == playing) bg = play_colour;
    // Every other cell a shade apart, so that the two-digit numbers of a
    // row do not run together ("000102...").
    if (bg == t.body_bg && (p % grid_cols + p / grid_cols) % 2) bg = t.body_bg == 0 ? 1 : 0;
    editor_fill(page, x, y, x + cell_w - 1, y + cell_h - 1, bg);
    char num[4];
    std::snprintf(num, sizeof num, "%02d", p);
    const bool silent = editor_music_silent(cart, p);
    const int fg = (cursor || p == playing) ? ink_colour : silent ? dim_colour : bright_colour;
    editor_text(m, page, num, x, y + 1, fg);
    for (int c = 0; c < editor_music_channels; ++c)
        if (editor_music_enabled(cart, p, c)) editor_fill(page, x + 2 * c, y + 6, x + 2 * c + 1, y + 6, on_colour);
    if (editor_music_flag_on(cart, p, editor_music_loop_start)) editor_fill(page, x, y + 7, x + 1, y + 8, flag_colour[0]);
    if (editor_music_flag_on(cart, p, editor_music_stop)) editor_fill(page, x + 3, y + 7, x + 4, y + 8, flag_colour[2]);
    if (editor_music_flag_on(cart, p, editor_music_loop_end)) editor_fill(page, x + 6, y + 7, x + 7, y + 8, flag_colour[1]);
}

void draw_button(vexel_machine* m, fenn_bitmap* page, int x, int y, int w, const char* label, bool on, int on_bg, const editor_theme& t) {
    if (on) editor_fill(page, x, y, x + w - 1, y + row_h - 1, on_bg);
    else editor_frame_rect(page, x, y, x + w - 1, y + row_h - 1, dim_colour);
    editor_text(m, page, label, x + 1 + (w - 1 - editor_text_width(m, label)) / 2, y + 1, on ? ink_colour : t.text);
}

void draw_channel(vexel_machine* m, fenn_bitmap* page, const editor_theme& t, int c) {
    const vexel_cart* cart = m->working_cart;
    const int x0 = c * column_w, y = channels_y0;
    const bool on = editor_music_enabled(cart, S().pattern, c);
    editor_frame_rect(page, x0 + check_x, y + 1, x0 + check_x + check_w - 1, y + check_w, on ? on_colour : dim_colour);
    if (on) editor_fill(page, x0 + check_x + 1, y + 2, x0 + check_x + check_w - 2, y + check_w - 1, on_colour);
    if (c == S().channel)
        editor_fill(page, x0 + number_x - 1, y, x0 + number_x + number_w - 1, y + row_h - 1, S().notes ? t.selection : t.cursor);
    char num[4];
    std::snprintf(num, sizeof num, "%02d", editor_music_sfx(cart, S().pattern, c));
    editor_text(m, page, num, x0 + number_x, y + 1, on ? bright_colour : dim_colour);
    draw_button(m, page, x0 + minus_x, y, button_w, "-", false, 0, t);
    draw_button(m, page, x0 + plus_x, y, button_w, "+", false, 0, t);
}

// One channel's effect as 32 bars: height the pitch, colour the waveform,
// dim when the note is silent or the channel is off in this pattern.
void draw_notes(vexel_machine* m, fenn_bitmap* page, const editor_theme& t, int c, int played_note) {
    const vexel_cart* cart = m->working_cart;
    const int x0 = c * column_w, sfx = editor_music_sfx(cart, S().pattern, c);
    const bool on = editor_music_enabled(cart, S().pattern, c);
    if (c == S().channel && S().notes) editor_fill(page, x0 + S().note, notes_y0, x0 + S().note, notes_y1 - 1, t.selection);
    for (int i = 0; i < editor_music_notes; ++i) {
        const editor_music_note n = editor_music_note_get(cart, sfx, i);
        const int h = 1 + n.pitch * (bars_h - 1) / (pitch_count - 1);
        const int colour = (!on || n.volume == 0) ? dim_colour : waveform_colour_base + n.waveform;
        editor_fill(page, x0 + i, notes_y1 - h, x0 + i, notes_y1 - 1, colour);
    }
    if (played_note >= 0 && played_note < editor_music_notes)
        editor_fill(page, x0 + played_note, notes_y1, x0 + played_note, notes_y1, play_colour);
}

void music_draw(vexel_machine* m, fenn_bitmap* page, const editor_theme& t) {
    if (!m->working_cart) return;
    const vexel_cart* cart = m->working_cart;
    const int playing = playing_pattern(m);
    editor_fill(page, 0, editor_body_y0, 127, editor_body_y1 - 1, t.body_bg);
    for (int p = 0; p < editor_music_patterns; ++p) draw_pattern_cell(m, page, t, p, playing);

    char text[48];
    std::snprintf(text, sizeof text, "pattern %02d", S().pattern);
    editor_text(m, page, text, 1, flags_y0 + 1, t.text);
    for (int f = 0; f < flag_count; ++f)
        draw_button(m, page, flag_box_x[f], flags_y0, flag_box_w[f], flag_labels[f], editor_music_flag_on(cart, S().pattern, f),
                    flag_colour[f], t);
    if (playing >= 0) editor_fill(page, 120, flags_y0 + 1, 124, flags_y0 + 5, play_colour);  // the "playing" light

    for (int c = 0; c < editor_music_channels; ++c) draw_channel(m, page, t, c);

    // While the song plays, the note each channel has reached.
    for (int c = 0; c < editor_music_channels; ++c) {
        int played = -1;
        if (playing >= 0 && m->audio && S().player) {
            const int sfx = editor_music_sfx(S().player.get(), playing, c);
            played = vexel_audio_playing_note(m->audio, &S().player->sfx[sfx]);
        }
        draw_notes(m, page, t, c, played);
    }

    const int sfx = cursor_sfx(m);
    const editor_music_note n = editor_music_note_get(cart, sfx, S().note);
    char pitch[4];
    editor_music_pitch_name(n.pitch, pitch);
    std::snprintf(text, sizeof text, "sfx %02d note %02d %s w%d v%d f%d%s", sfx, S().note, pitch, n.waveform, n.volume, n.effect,
                  n.instrument ? " i" : "");
    editor_text(m, page, text, 1, note_line_y, S().notes ? bright_colour : t.text);
}

// ---- status, undo, clipboard -----------------------------------------------------------

void describe_pattern(const vexel_cart* cart, int p, char* out, size_t size) {
    char ch[editor_music_channels][4];
    for (int c = 0; c < editor_music_channels; ++c) {
        if (editor_music_enabled(cart, p, c)) std::snprintf(ch[c], sizeof ch[c], "%02d", editor_music_sfx(cart, p, c));
        else std::snprintf(ch[c], sizeof ch[c], "--");
    }
    std::snprintf(out, size, "pattern %02d: %s %s %s %s%s%s%s", p, ch[0], ch[1], ch[2], ch[3],
                  editor_music_flag_on(cart, p, editor_music_loop_start) ? " start" : "",
                  editor_music_flag_on(cart, p, editor_music_loop_end) ? " end" : "",
                  editor_music_flag_on(cart, p, editor_music_stop) ? " stop" : "");
}

std::string music_status(vexel_machine* m, bool* warn) {
    *warn = false;
    if (!m->working_cart) return "";
    const vexel_cart* cart = m->working_cart;
    static const char* const flag_help[flag_count] = {"loop start: a loop end comes back here ([)",
                                                      "loop end: then back to the loop start (])",
                                                      "stop: the song ends after it (s)"};
    char text[96];
    const hover_info h = hover_at(S().mouse_x, S().mouse_y);
    switch (h.kind) {
    case hover_pattern: describe_pattern(cart, h.index, text, sizeof text); return text;
    case hover_flag: return flag_help[h.index];
    case hover_check:
        std::snprintf(text, sizeof text, "channel %d %s (e)", h.index, editor_music_enabled(cart, S().pattern, h.index) ? "on" : "off");
        return text;
    case hover_number:
    case hover_minus:
    case hover_plus:
        std::snprintf(text, sizeof text, "channel %d: sfx %02d (wheel, - +)", h.index, editor_music_sfx(cart, S().pattern, h.index));
        return text;
    case hover_note: {
        const int sfx = editor_music_sfx(cart, S().pattern, h.index);
        const editor_music_note n = editor_music_note_get(cart, sfx, h.note);
        char pitch[4], at[4];
        editor_music_pitch_name(n.pitch, pitch);
        editor_music_pitch_name(h.pitch, at);
        std::snprintf(text, sizeof text, "sfx %02d note %02d %s v%d, click: %s", sfx, h.note, pitch, n.volume, at);
        return text;
    }
    case hover_none: break;
    }
    if (sel_count() > 1) {
        std::snprintf(text, sizeof text, "patterns %02d-%02d", sel_first(), sel_first() + sel_count() - 1);
        return text;
    }
    describe_pattern(cart, S().pattern, text, sizeof text);
    const int playing = playing_pattern(m);
    if (playing >= 0) {
        char more[16];
        std::snprintf(more, sizeof more, " > %02d", playing);
        std::strncat(text, more, sizeof text - std::strlen(text) - 1);
    }
    return text;
}

std::string music_save_state(vexel_machine* m) {
    std::string s(state_tag, sizeof state_tag);
    s.resize(state_size);
    for (int i = 0; i < sound_bytes; ++i)
        s[sizeof state_tag + size_t(i)] = char(vexel_cart_peek(m->working_cart, uint32_t(sound_first + i)));
    const int fields[state_fields] = {S().pattern, S().channel, S().sel_anchor, S().sel_end, S().note};
    size_t at = sizeof state_tag + size_t(sound_bytes);
    for (int f : fields) s[at++] = char(f);
    return s;
}

void music_load_state(vexel_machine* m, const std::string& s) {
    if (!m->working_cart || s.size() != state_size || std::memcmp(s.data(), state_tag, sizeof state_tag) != 0) return;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(s.data() + sizeof state_tag);
    for (int i = 0; i < sound_bytes; ++i) {
        const uint32_t a = uint32_t(sound_first + i);
        // An effect byte the sound-effect editor changed since this page
        // last left it is that editor's edit: it stays.
        if (i >= music_bytes && vexel_cart_peek(m->working_cart, a) != S().left_sound[i]) continue;
        poke_changed(m->working_cart, a, bytes[i]);
    }
    remember_sound(m->working_cart);
    const uint8_t* f = bytes + sound_bytes;
    S().pattern = std::clamp(int(f[0]), 0, editor_music_patterns - 1);
    S().channel = std::clamp(int(f[1]), 0, editor_music_channels - 1);
    S().sel_anchor = std::clamp(int(f[2]), 0, editor_music_patterns - 1);
    S().sel_end = std::clamp(int(f[3]), 0, editor_music_patterns - 1);
    S().note = std::clamp(int(f[4]), 0, editor_music_notes - 1);
    S().digit_run = false;
    S().drawing = false;
    if (S().playing) sync_player(m->working_cart);
}

std::string music_copy(vexel_machine* m, bool cut) {
    if (!m->working_cart) return "";
    const int first = sel_first(), count = sel_count();
    std::string text = editor_music_to_text(m->working_cart, first, count);
    if (cut) {
        // The frame took the undo step already.
        for (int p = first; p < first + count; ++p) editor_music_clear(m->working_cart, p);
    }
    remember_sound(m->working_cart);
    return text;
}

bool music_paste(vexel_machine* m, const std::string& text) {
    if (!m->working_cart) return false;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!editor_music_from_text(text, &bytes, &error)) {
        // Someone else's text is simply not ours; our own form with a fault
        // in it gets the reason.
        if (text.find("[music]") != std::string::npos) editor_message(("not pasted: " + error).c_str());
        return false;
    }
    const int first = sel_count() > 1 ? sel_first() : S().pattern;
    const int want = int(bytes.size()) / editor_music_channels;
    const int written = editor_music_write(m->working_cart, first, bytes);
    S().sel_anchor = first;
    S().sel_end = first + written - 1;
    S().pattern = first;
    S().digit_run = false;
    if (written < want) {
        char msg[48];
        std::snprintf(msg, sizeof msg, "%d pattern%s past 63 left out", want - written, want - written == 1 ? "" : "s");
        editor_message(msg);
    }
    if (S().playing) sync_player(m->working_cart);
    remember_sound(m->working_cart);
    return true;
}

bool music_escape(vexel_machine*) {
    if (!S().notes) return false;
    S().notes = false;
    return true;
}

void music_open(vexel_machine* m) {
    S().drawing = false;
    S().digit_run = false;
    if (m->working_cart) remember_sound(m->working_cart);
}

constexpr char text_open[] = "[music]";
constexpr char text_close[] = "[/music]";
constexpr size_t text_open_len = sizeof text_open - 1, text_close_len = sizeof text_close - 1;
constexpr int hex_per_pattern = 2 * editor_music_channels;

}  // namespace

// ---- edit operations -------------------------------------------------------------

int editor_music_byte(const vexel_cart* cart, int p, int c) {
    if (!cart || !valid_pattern(p) || !valid_channel(c)) return 0;
    return vexel_cart_peek(cart, music_addr(p, c));
}

int editor_music_sfx(const vexel_cart* cart, int p, int c) { return editor_music_byte(cart, p, c) & editor_music_sfx_max; }

bool editor_music_enabled(const vexel_cart* cart, int p, int c) {
    return cart && valid_pattern(p) && valid_channel(c) && !(editor_music_byte(cart, p, c) & editor_music_none_bit);
}

bool editor_music_silent(const vexel_cart* cart, int p) {
    for (int c = 0; c < editor_music_channels; ++c)
        if (editor_music_enabled(cart, p, c)) return false;
    return true;
}

bool editor_music_set_sfx(vexel_cart* cart, int p, int c, int n, bool enable) {
    if (!cart || !valid_pattern(p) || !valid_channel(c) || n < 0 || n > editor_music_sfx_max) return false;
    const int flag = editor_music_byte(cart, p, c) & editor_music_flag_bit;
    return poke_changed(cart, music_addr(p, c), flag | (enable ? 0 : editor_music_none_bit) | n);
}

bool editor_music_set_enabled(vexel_cart* cart, int p, int c, bool on) {
    if (!cart || !valid_pattern(p) || !valid_channel(c)) return false;
    const int b = editor_music_byte(cart, p, c);
    return poke_changed(cart, music_addr(p, c), on ? b & ~editor_music_none_bit : b | editor_music_none_bit);
}

bool editor_music_flag_on(const vexel_cart* cart, int p, int flag) {
    return valid_channel(flag) && (editor_music_byte(cart, p, flag) & editor_music_flag_bit) != 0;
}

bool editor_music_set_flag(vexel_cart* cart, int p, int flag, bool on) {
    if (!cart || !valid_pattern(p) || !valid_channel(flag)) return false;
    const int b = editor_music_byte(cart, p, flag);
    return poke_changed(cart, music_addr(p, flag), on ? b | editor_music_flag_bit : b & ~editor_music_flag_bit);
}

bool editor_music_clear(vexel_cart* cart, int p) {
    if (!cart || !valid_pattern(p)) return false;
    bool changed = false;
    for (int c = 0; c < editor_music_channels; ++c) changed |= poke_changed(cart, music_addr(p, c), editor_music_silent_base + c);
    return changed;
}

std::string editor_music_to_text(const vexel_cart* cart, int first, int count) {
    static const char digits[] = "0123456789abcdef";
    first = std::clamp(first, 0, editor_music_patterns - 1);
    count = std::clamp(count, 0, editor_music_patterns - first);
    std::string s = text_open;
    for (int p = first; p < first + count; ++p) {
        if (p > first) s += '\n';
        for (int c = 0; c < editor_music_channels; ++c) {
            const int b = editor_music_byte(cart, p, c);
            s += digits[b >> 4];
            s += digits[b & 15];
        }
    }
    s += text_close;
    return s;
}

bool editor_music_from_text(const std::string& text, std::vector<uint8_t>* bytes, std::string* error) {
    auto fail = [&](const char* why) {
        if (error) *error = why;
        return false;
    };
    if (text.size() > editor_music_text_max) return fail("too long for music patterns");
    size_t a = 0, b = text.size();
    while (a < b && editor_clip_blank(text[a])) ++a;
    while (b > a && editor_clip_blank(text[b - 1])) --b;
    if (b - a < text_open_len + text_close_len || text.compare(a, text_open_len, text_open) != 0 ||
        text.compare(b - text_close_len, text_close_len, text_close) != 0)
        return fail("not music patterns");
    a += text_open_len;
    b -= text_close_len;
    // Count and check the digits first, so the size is known before anything is kept.
    size_t digit_count = 0;
    for (size_t i = a; i < b; ++i) {
        if (editor_clip_blank(text[i])) continue;
        if (editor_hex_value(text[i]) < 0) return fail("a pattern byte is not hex");
        ++digit_count;
    }
    if (digit_count == 0) return fail("no patterns");
    if (digit_count % hex_per_pattern != 0) return fail("a pattern is not 4 bytes");
    if (digit_count / hex_per_pattern > size_t(editor_music_patterns)) return fail("more than 64 patterns");
    std::vector<uint8_t> out;
    out.reserve(digit_count / 2);
    int high = -1;
    for (size_t i = a; i < b; ++i) {
        if (editor_clip_blank(text[i])) continue;
        const int d = editor_hex_value(text[i]);
        if (high < 0) high = d;
        else {
            out.push_back(uint8_t(high << 4 | d));
            high = -1;
        }
    }
    *bytes = std::move(out);
    return true;
}

int editor_music_write(vexel_cart* cart, int first, const std::vector<uint8_t>& bytes) {
    if (!cart || !valid_pattern(first)) return 0;
    const int count = std::min(int(bytes.size()) / editor_music_channels, editor_music_patterns - first);
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < editor_music_channels; ++c)
            poke_changed(cart, music_addr(first + i, c), bytes[size_t(i * editor_music_channels + c)]);
    return count;
}

editor_music_note editor_music_note_get(const vexel_cart* cart, int sfx, int i) {
    editor_music_note n;
    if (!cart || sfx < 0 || sfx >= vexel_sfx_count || i < 0 || i >= editor_music_notes) return n;
    const int lo = vexel_cart_peek(cart, note_addr(sfx, i)), hi = vexel_cart_peek(cart, note_addr(sfx, i) + 1);
    n.pitch = lo & 0x3f;
    n.waveform = (lo >> 6) | (hi & 1) << 2;
    n.volume = (hi >> 1) & field_mask;
    n.effect = (hi >> 4) & field_mask;
    n.instrument = (hi & 0x80) != 0;
    return n;
}

bool editor_music_note_set(vexel_cart* cart, int sfx, int i, const editor_music_note& n) {
    if (!cart || sfx < 0 || sfx >= vexel_sfx_count || i < 0 || i >= editor_music_notes) return false;
    const int lo = (n.pitch & 0x3f) | (n.waveform & 3) << 6;
    const int hi = ((n.waveform >> 2) & 1) | (n.volume & field_mask) << 1 | (n.effect & field_mask) << 4 | (n.instrument ? 0x80 : 0);
    const bool a = poke_changed(cart, note_addr(sfx, i), lo);
    const bool b = poke_changed(cart, note_addr(sfx, i) + 1, hi);
    return a || b;
}

void editor_music_pitch_name(int pitch, char* buf) {
    // The sound-effect editor's naming, so that one pitch number has one
    // name wherever a note is shown.
    editor_sfx_note_name(std::clamp(pitch, 0, pitch_count - 1), buf);
}

editor_music_view_info editor_music_view() {
    editor_music_view_info v{};
    v.pattern = S().pattern;
    v.channel = S().channel;
    v.sel_first = sel_first();
    v.sel_count = sel_count();
    v.notes = S().notes;
    v.note = S().note;
    v.playing = S().playing;
    v.playing_pattern = S().playing ? S().followed : -1;
    v.grid_y0 = grid_y0;
    v.flags_y0 = flags_y0;
    v.channels_y0 = channels_y0;
    v.notes_y0 = notes_y0;
    v.notes_y1 = notes_y1;
    return v;
}


void editor_music_pattern_screen(int p, int* sx, int* sy) {
    *sx = (p % grid_cols) * cell_w;
    *sy = grid_y0 + (p / grid_cols) * cell_h;
}

const vexel_cart* editor_music_player_cart() { return player_cart(); }

const editor_page editor_music_page = {"music",          music_open,       music_update, music_draw,  music_status,
                                       music_save_state, music_load_state, music_copy,   music_paste, music_escape};
