// keyscript: key-and-mouse scripts (-keys FILE) — the user's hands, played
// one command a machine frame into the same platform buffers the host's
// keyboard and pointer fill (the typed-key buffer, the key-state table, the
// mouse wheel, and the framework's scripted pointer), so the console and
// the editors take them headless exactly as they take a person's input.
//
// The text format, one command a line (blank lines and lines starting with
// '#' are skipped; a line may end in CR LF):
//   type TEXT        the rest of the line typed as characters (UTF-8)
//   key NAME         a key press, with modifiers: key ctrl+s, key alt+right
//   mouse X Y        move the pointer (machine pixels)
//   down [left|right] / up [left|right]   press / release a mouse button
//   click X Y [right]  move and press; released at the next pass
//   wheel N          turn the wheel N steps (negative: towards the user)
//   wait N           do nothing for N frames
// Key names: a-z, 0-9, escape, enter, backspace, tab, delete, left, right,
// up, down, home, end, pageup, pagedown, f1-f12, space; modifiers ctrl,
// shift, alt, joined with '+'. Case does not matter.
//
// Invariants: a parsed script holds only valid steps (every number within
// its limit, every key a known scancode); the player owns which keys it
// holds down and lets them go at the start of the next pass, so no scripted
// key stays held; a `type` longer than keyscript_typed_per_frame characters
// goes on over the following frames.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t keyscript_file_max = size_t(1) << 20;  // larger files are refused
constexpr int keyscript_line_max = 4096;                // bytes in one line
constexpr int keyscript_wait_max = 1000000;             // frames one wait may take
constexpr int keyscript_wheel_max = 100;                // steps one wheel command may turn
constexpr int keyscript_coord_min = -1024, keyscript_coord_max = 1024;
constexpr int keyscript_typed_per_frame = 16;           // the typed-key buffer holds 32

enum keyscript_op : int {
    keyscript_type,
    keyscript_key,
    keyscript_mouse,
    keyscript_down,
    keyscript_up,
    keyscript_click,
    keyscript_wheel,
    keyscript_wait,
};

// Modifier bits of a key step.
constexpr int keyscript_ctrl = 1, keyscript_shift = 2, keyscript_alt = 4;

struct keyscript_step {
    keyscript_op op = keyscript_wait;
    int line = 0;          // in the file, from 1
    std::string text;      // type
    int scancode = 0;      // key
    int mods = 0;          // key: keyscript_ctrl | _shift | _alt
    int x = 0, y = 0;      // mouse, click
    int button = 0;        // down, up, click: fenn_mouse_left or fenn_mouse_right
    int n = 0;             // wheel steps, wait frames
};

struct keyscript {
    std::vector<keyscript_step> steps;
};

// Parses `length` bytes of script text. On a fault returns false with the
// line (from 1; 0 for the file as a whole) and what is wrong with it.
bool keyscript_parse(const char* text, size_t length, keyscript* out, int* bad_line, std::string* why);
// Reads and parses a file (at most keyscript_file_max bytes). On a fault
// returns false with the line and the reason, as keyscript_parse does.
bool keyscript_load(const char* path, keyscript* out, int* bad_line, std::string* why);
// The scancode of a key name ("escape", "f3", "q"), or -1.
int keyscript_scancode(const std::string& name);
// The typed character a key press gives with the modifiers (as the host's
// keyboard gives it: 13, 8, 27, 9, a letter, a digit or its shifted
// symbol, ' '), or 0 when the press types nothing.
int keyscript_typed_char(int scancode, int mods);

// Plays a script into the platform's input.
struct keyscript_player {
    keyscript script;
    size_t next = 0;          // the next step
    int wait_left = 0;        // frames of a wait still to pass
    std::string typing;       // the rest of a `type` still to go
    std::vector<int> held;    // scancodes this player set down in the last pass
    int click_button = 0;     // a click's button, which goes up at the next pass
    int mouse_x = 0, mouse_y = 0, buttons = 0;
    bool pointer = false;     // the script has taken the pointer over
};

// Whether steps (or the rest of a type or wait) remain.
bool keyscript_playing(const keyscript_player& p);
// The start of every pass of the frame loop: lets go of the keys the last
// step pressed (and a click's button).
void keyscript_release(keyscript_player* p);
// One machine frame: carries out the next command (or goes on with a long
// type or a wait).
void keyscript_advance(keyscript_player* p);
