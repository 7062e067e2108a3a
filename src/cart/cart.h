// vexel_cart: one cartridge held in memory.
//
// The record owns its program text, sprite sheet, map, flags, sound effects,
// music patterns and optional label. Every other cartridge format is converted
// to and from this record, and the machine's ROM range 0x0000-0x42ff is a byte
// view onto it (see cart/cart_rom.h).
//
// Invariants:
//  - `code` is always NUL-terminated and holds at most vexel_code_held_max
//    bytes (a program may be longer than vexel_code_max, the limit it is
//    held to when it runs, is typed or is packed into a picture),
//    in the machine's character set (cart/cart_glyphs.h); the text format
//    turns it into UTF-8 and back.
//  - `gfx` is 128x128 and `map` 128x64, both 8-bit, always allocated.
//  - Every field the sound mixer reads (sound-effect and music values) is one
//    aligned 32-bit word, so the audio thread reads it whole while the main
//    thread writes it.
//  - `extra_sections` are the text sections this version does not know, each
//    its header line and its lines as read, every line ending in '\n'; they
//    are kept only to be written back.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "framework/fenn_bitmap.h"

constexpr int vexel_code_max = 65535;        // characters of program text that run, are typed or packed
// Characters a record holds: a text file's program over vexel_code_max is
// kept whole (and refused when it runs) rather than losing lines.
constexpr int vexel_code_held_max = 4 * 65536;
// The largest cartridge file read, text or picture: a larger one is
// refused (cart_too_large) before anything is read. The format readers'
// own caps (cart_text, png_cart) are this one.
constexpr size_t vexel_cart_file_max = size_t(16) << 20;
constexpr int vexel_code_buffer = vexel_code_held_max + 3;  // bytes in the code buffer
constexpr int vexel_sfx_count = 64;
constexpr int vexel_sfx_default_speed = 16;  // of every effect in a new cartridge
constexpr int vexel_sfx_notes = 32;
constexpr int vexel_music_count = 64;
constexpr int vexel_flag_count = 256;
constexpr int vexel_rom_size = 0x4300;       // 17152 bytes of cartridge data
constexpr int vexel_cart_newest_version = 15;  // written; newer files load with a warning
constexpr int vexel_cart_utf8_version = 15;    // from this version on, a text file's program is UTF-8
constexpr int vexel_cart_print_below_version = 15;  // from this version on print(s,x,y) moves the cursor below
constexpr int32_t vexel_music_silent_base = 0x41;  // new patterns hold 0x41..0x44

struct vexel_sfx_note {
    int32_t pitch;       // 0-63
    int32_t waveform;    // 0-7
    int32_t volume;      // 0-7
    int32_t effect;      // 0-7
    int32_t instrument;  // 0 or 128
};

struct vexel_sfx_record {
    int32_t editor_byte;
    int32_t speed;
    int32_t loop_start;
    int32_t loop_end;
    vexel_sfx_note notes[vexel_sfx_notes];
};

struct vexel_cart {
    char* code = nullptr;                  // vexel_code_buffer bytes
    fenn_bitmap* gfx = nullptr;            // 128x128 sprite sheet
    fenn_bitmap* map = nullptr;            // 128x64; rows 32-63 mirror gfx rows 64-127
    vexel_sfx_record sfx[vexel_sfx_count] = {};
    int32_t music[vexel_music_count][4] = {};   // channel_sfx per pattern
    int32_t music_flags[vexel_music_count] = {};
    int32_t flags[vexel_flag_count] = {};
    fenn_bitmap* label = nullptr;          // optional 128x128
    int32_t version = 0;                   // as read; the newest once upgraded (cart_apply_legacy_changes)
    int32_t file_version = 0;              // as read, kept through the upgrade: a newer one is warned of
    int32_t unknown_chars = 0;             // characters of the program the reader could not map ('?' now)
    int32_t dropped_lines = 0;             // program lines past vexel_code_held_max the reader could not keep
    std::vector<std::string> extra_sections;  // unknown text sections, written back as they were
};

// What reading or writing a cartridge came to. The readers of both formats
// and the writers return one of these; vexel_cart_status_text says it in
// words for messages.
enum vexel_cart_status : int {
    cart_ok = 0,
    cart_unreadable = 1,     // not a readable file of the format (or not a file)
    cart_no_picture = 2,     // no such file, or the picture is not 160x205
    cart_bad_code = 4,       // the compressed program is damaged
    cart_too_big = 5,        // saving: the program does not fit
    cart_write_failed = 6,   // saving: the file could not be written
    cart_not_a_cart = 7,     // the text is not a cartridge
    cart_too_large = 8,      // the file is larger than any cartridge
    cart_not_found = 9,      // no such file
};
const char* vexel_cart_status_text(int status);

// A new record: all zero except sound-effect speeds (vexel_sfx_default_speed
// for all 64) and silent music channels 0x41..0x44.
vexel_cart* vexel_cart_create();

// Frees the record; null is ignored. Whoever plays sound from it or shows
// it as machine memory lets go of it first.
void vexel_cart_destroy(vexel_cart* cart);

// Resets every sound effect as a text read does: all zero, speed
// vexel_sfx_default_speed.
void vexel_cart_reset_sfx(vexel_cart* cart);
