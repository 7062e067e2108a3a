// fenn_platform: the host under the framework — SDL start-up, the per-iteration
// input pass, the key state table and the typed-key buffer, time.
//
// With the headless setting there is no window and no SDL video or input:
// the input pass only sleeps, every key reads as up, and the rest of the
// system runs unchanged (capture and exec mode rely on this).
//
// Key states: 0 up, 1 held, 3 pressed this pass (or auto-repeated). The table
// is indexed by SDL scancode (fenn_key_count entries); 224..231 are the
// modifiers and 500/501 the left/right system keys.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int fenn_key_count = 512;
constexpr int fenn_typed_max = 32;
// A typed character beyond ASCII is this plus its code point (ASCII comes
// as itself, Enter, Backspace and Escape as 13, 8 and 27).
constexpr int fenn_typed_unicode = 0x1000000;
constexpr int fenn_key_repeat_delay_ms = 500;
constexpr int fenn_key_repeat_every_ms = 80;

constexpr int fenn_key_lctrl = 224, fenn_key_lshift = 225, fenn_key_lalt = 226, fenn_key_lgui = 227;
constexpr int fenn_key_rctrl = 228, fenn_key_rshift = 229, fenn_key_ralt = 230, fenn_key_rgui = 231;
constexpr int fenn_key_lsystem = 500, fenn_key_rsystem = 501;
// Negative codes for fenn_get_key_state: either of a pair of modifiers.
constexpr int fenn_mod_extra = -2, fenn_mod_system = -3, fenn_mod_alt = -4, fenn_mod_ctrl = -5,
              fenn_mod_shift = -6;

void fenn_system_init();
void fenn_system_exit();
void fenn_keys_init();
void fenn_joystick_init();
void fenn_joystick_exit();

// Sleep, then read keyboard, mouse, controllers and window events.
void fenn_handle_system_messages();

int fenn_get_key_state(int code);
int fenn_get_any_key_down();
void fenn_block_key(int code);        // reads as up until released
int fenn_keypressed();
int fenn_readkey();                   // oldest typed key, or 0 when none
void fenn_flush_keys();               // empties the typed-key buffer

// Whether a key is down now or went down since the machine last took its
// presses: a key pressed and released between two machine frames (a quick
// tap, scripted input) still counts as held for one frame.
// fenn_take_key_presses forgets the presses once a frame has read them.
// A key that went down with Ctrl or the system key held (a shortcut) reads
// as up here until it is released.
bool fenn_key_down_or_pressed(int code);
void fenn_take_key_presses();

// Mouse wheel movement, added up by the input pass and handed over (and
// zeroed) once per machine frame by the button reader.
void fenn_add_mouse_wheel(int x, int y);
void fenn_take_mouse_wheel(int* x, int* y);

// Mouse buttons that went down since the machine last took them (button
// bits). A click whose press and release arrive in one input pass (what
// xdotool, tap-to-click and remote desktops send) leaves the button up in
// the host's state; fenn_get_mouse reports these as held too, so the click
// is seen as a press and then a release.
void fenn_note_mouse_press(int buttons);
int fenn_mouse_presses();
void fenn_take_mouse_presses();

// The two halves of the input pass's key handling, exposed so that they can
// be driven without a window. fenn_keys_snapshot takes the host's key table
// (1 down, 0 up; modifier and system-key codes included) at time `now`:
// fresh presses become 3 and restart the repeat delay, and once the repeat
// time is reached every held, unblocked key becomes 3 again.
// fenn_keys_key_down records a key-down event: an up key becomes 3.
void fenn_keys_snapshot(const uint8_t* host, int n, int64_t now);
void fenn_keys_key_down(int code, int64_t now);

// Sets a key state directly (tests and scripted input).
void fenn_set_key_state(int code, int state);
// Appends a typed key to the buffer fenn_readkey reads (tests and scripted
// input); dropped when the buffer is full, as typed keys are.
void fenn_push_key(int c);
// Appends the characters of UTF-8 text as the text input of the input pass
// does (see fenn_typed_unicode); false when nothing was appended (no
// character, or not all of them fit).
bool fenn_push_typed_text(const char* text, size_t length);

int64_t fenn_get_time();              // ms since start
void fenn_delay(int ms);
int fenn_is_app_active();

// Whether the SDL video side is up (false when headless or before init).
bool fenn_platform_has_video();
