// editor_sfx: the edits of the sound-effect editor, on a cartridge record,
// apart from its page so that they can be tested alone.
//
// Every write goes through vexel_cart_poke of the effect's ROM bytes
// (0x3200 + 68 n), exactly as a program's poke would store them: the mixer
// thread reads the fields while they are written, and a program run next
// sees the same bytes it would have poked.
#pragma once
#include <cstdint>
#include <string>

struct vexel_cart;

constexpr int editor_sfx_preview_channel = 3;  // the channel the editor plays on
constexpr int editor_sfx_octave_min = 2;      // note names: pitch 0 is C-2, pitch 33 A-4
constexpr int editor_sfx_octave_max = 6;      // the upper piano row then ends at B-7
constexpr size_t editor_sfx_clip_max_text = 4096;  // longer clipboard text is refused unread

// A note's fields, in the order the tracker shows them.
enum editor_sfx_field : int {
    editor_sfx_pitch = 0,
    editor_sfx_waveform = 1,
    editor_sfx_volume = 2,
    editor_sfx_effect = 3,
    editor_sfx_instrument = 4,  // 0 or 1
};
// An effect's header fields.
enum editor_sfx_header : int {
    editor_sfx_speed = 0,
    editor_sfx_loop_start = 1,
    editor_sfx_loop_end = 2,
};

// The semitone (0-23) a key of the piano layout plays: z s x d c v g b h n
// j m the lower octave, q 2 w 3 e r 5 t 6 y 7 u the upper; -1 for others.
int editor_sfx_piano_semitone(int key);
// The pitch a piano key plays at `octave` (editor_sfx_octave_min..max),
// or -1 when the key is none or the note lies above pitch 63.
int editor_sfx_piano_pitch(int key, int octave);
// "C-4", "C#4", ... of pitch 0-63, into out (at least 4 bytes).
void editor_sfx_note_name(int pitch, char* out);

// Fields of effect n (0-63), note i (0-31); out of range reads 0.
int editor_sfx_get(const vexel_cart* cart, int n, int i, editor_sfx_field f);
int editor_sfx_get_header(const vexel_cart* cart, int n, editor_sfx_header h);
// Writes clamp to the field's range; return whether a byte changed.
bool editor_sfx_set(vexel_cart* cart, int n, int i, editor_sfx_field f, int value);
bool editor_sfx_set_header(vexel_cart* cart, int n, editor_sfx_header h, int value);
// Puts pitch with waveform, volume, effect and instrument into note i.
bool editor_sfx_set_note(vexel_cart* cart, int n, int i, int pitch, int waveform, int volume, int effect, bool instrument);

// Whole rows: insert a silent note at i (the last note drops off), delete
// note i (the rest move up, a silent note comes in at the end), copy note
// i over note `to`. Return whether anything changed.
bool editor_sfx_insert_row(vexel_cart* cart, int n, int i);
bool editor_sfx_delete_row(vexel_cart* cart, int n, int i);
bool editor_sfx_copy_row(vexel_cart* cart, int n, int i, int to);

// The 68 bytes of effect n, and putting them back.
void editor_sfx_read_bytes(const vexel_cart* cart, int n, uint8_t out[68]);
bool editor_sfx_write_bytes(vexel_cart* cart, int n, const uint8_t bytes[68]);

// Clipboard text of a whole effect: "[sfx]", the 68 bytes as 136 hex
// digits, "[/sfx]". Reading it back is strict: white space may surround
// the text and lie between digits, nothing else.
std::string editor_sfx_copy_text(const vexel_cart* cart, int n);
enum editor_sfx_paste_status : int {
    editor_sfx_paste_ok = 0,
    editor_sfx_paste_not_sfx,     // does not start with [sfx]
    editor_sfx_paste_too_long,
    editor_sfx_paste_bad_digit,   // something other than a hex digit inside
    editor_sfx_paste_wrong_count, // not 136 digits
    editor_sfx_paste_no_end,      // no [/sfx], or text after it
};
const char* editor_sfx_paste_status_text(editor_sfx_paste_status status);
// Parses text; on success writes its bytes into out.
editor_sfx_paste_status editor_sfx_parse_text(const std::string& text, uint8_t out[68]);

// ---- the page's state, for tests ---------------------------------------------------

int editor_sfx_selected();
void editor_sfx_select(int n);
bool editor_sfx_pitch_view();
int editor_sfx_cursor_row();    // -1: the header line (speed, loops), else 0-31
int editor_sfx_cursor_field();  // tracker: editor_sfx_field 0-3; header: editor_sfx_header
int editor_sfx_octave();
// Where the pitch view draws note i's bar: its left x and the y of pitch
// p; the volume strip's y of volume v. Bars are editor_sfx_bar_w wide.
constexpr int editor_sfx_bar_w = 4;
int editor_sfx_bar_x(int i);
int editor_sfx_pitch_y(int pitch);
int editor_sfx_volume_y(int volume);
