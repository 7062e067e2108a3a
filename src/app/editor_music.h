// editor_music: the music editor — the 64 patterns of the working
// cartridge's song, each with the sound effect of its four channels (or
// none), the loop-start, loop-end and stop flags, playing the song from a
// pattern, and the notes of the four effects under the cursor.
//
// This header holds the edit operations, which work on a cartridge record
// alone (no drawing, no editor state) so that they can be tested directly,
// and a few questions about the page's view for tests that drive it with
// editor_input.
//
// Invariants: every pattern and note is read and written as its ROM bytes
// (vexel_cart_peek / vexel_cart_poke at 0x3100 + 4p + c and 0x3200 + 68n +
// 2i), so the record's fields change exactly as a program's poke changes
// them, and the mixer thread only ever sees whole words; a channel byte's
// bit 6 is its "none" bit (the effect number in bits 0-5 is kept while the
// channel is off), bit 7 of byte c is flag c of the pattern; clipboard text
// is checked against its limits before anything is allocated.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct vexel_cart;

constexpr int editor_music_patterns = 64;
constexpr int editor_music_channels = 4;
constexpr int editor_music_sfx_max = 63;
constexpr int editor_music_notes = 32;
constexpr int editor_music_none_bit = 0x40;  // channel silent in this pattern
constexpr int editor_music_flag_bit = 0x80;  // byte c carries flag c
constexpr int editor_music_silent_base = 0x41;  // a cleared pattern: 0x41..0x44, as in a new cartridge
// Longest clipboard text taken: all 64 patterns in hex with the tags, a
// line break between patterns and generous slack for other white space.
constexpr size_t editor_music_text_max = 4096;

// The pattern flags, by the channel byte that carries them.
enum editor_music_flag : int {
    editor_music_loop_start = 0,  // a later loop end comes back here
    editor_music_loop_end = 1,    // after this pattern, back to the nearest loop start
    editor_music_stop = 2,        // after this pattern the song stops
};

// The ROM byte of channel c of pattern p (0 out of range).
int editor_music_byte(const vexel_cart* cart, int p, int c);
// Channel c's effect number (0-63; kept while the channel is off) and
// whether it plays.
int editor_music_sfx(const vexel_cart* cart, int p, int c);
bool editor_music_enabled(const vexel_cart* cart, int p, int c);
bool editor_music_silent(const vexel_cart* cart, int p);  // no channel plays: the song stops on it
// Edits; each returns whether a byte changed. Out-of-range p, c, n do nothing.
bool editor_music_set_sfx(vexel_cart* cart, int p, int c, int n, bool enable);
bool editor_music_set_enabled(vexel_cart* cart, int p, int c, bool on);
bool editor_music_flag_on(const vexel_cart* cart, int p, int flag);
bool editor_music_set_flag(vexel_cart* cart, int p, int flag, bool on);
// Back to a new cartridge's pattern: channels off on effects 1-4, no flags.
bool editor_music_clear(vexel_cart* cart, int p);

// The text form of patterns first..first+count-1: "[music]", eight hex
// digits a pattern (its four ROM bytes), "[/music]".
std::string editor_music_to_text(const vexel_cart* cart, int first, int count);
// Reads that form (surrounding white space and white space between digits
// allowed, nothing else) into 4 bytes a pattern; false with a short
// reason when it is not one.
bool editor_music_from_text(const std::string& text, std::vector<uint8_t>* bytes, std::string* error);
// Writes those bytes from pattern `first` on, clipped to the song; returns
// the number of patterns written.
int editor_music_write(vexel_cart* cart, int first, const std::vector<uint8_t>& bytes);

// One note of a sound effect, as its two ROM bytes hold it.
struct editor_music_note {
    int pitch = 0;     // 0-63
    int waveform = 0;  // 0-7
    int volume = 0;    // 0-7
    int effect = 0;    // 0-7
    bool instrument = false;
};
editor_music_note editor_music_note_get(const vexel_cart* cart, int sfx, int i);
// Fields are wrapped to their bit widths; returns whether a byte changed.
bool editor_music_note_set(vexel_cart* cart, int sfx, int i, const editor_music_note& note);
// "C-4", "D#2": the sound-effect editor's names (pitch 0 is C-2, 24 is
// C-4); into buf (at least 4 bytes).
void editor_music_pitch_name(int pitch, char* buf);

// ---- the page's view (for tests and the status line) --------------------------

struct editor_music_view_info {
    int pattern;            // the cursor's pattern
    int channel;            // the cursor's channel 0-3
    int sel_first, sel_count;  // the patterns Ctrl+C copies (count 1: the cursor's)
    bool notes;             // the keys edit the notes view (else the song)
    int note;               // the notes view's cursor 0-31
    bool playing;           // the song started here is playing
    int playing_pattern;    // its pattern, -1 when not playing
    int grid_y0, flags_y0, channels_y0, notes_y0, notes_y1;  // screen rows of the parts
};
editor_music_view_info editor_music_view();
// Screen position of pattern p's cell in the strip (top-left; 8x9 pixels).
void editor_music_pattern_screen(int p, int* sx, int* sy);
// The cartridge record the page plays songs from: a copy of the working
// cartridge's sound kept current while it plays, so the song outlives
// nothing it reads when the working cartridge is replaced.
const vexel_cart* editor_music_player_cart();
