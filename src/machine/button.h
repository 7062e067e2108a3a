// button: the machine's buttons — eight players with eight buttons each,
// sampled once per machine frame from the keyboard (players 0 and 1), from
// game controllers, or from a recorded replay (-input).
//
// Works on the machine's `buttons` (held, last, blocked and pressed flags,
// the shared repeat countdown, the latched mouse wheel) and `replay`; the
// key bindings and the controller number come from the host. Invariants:
//   - every flag is 0 or 1;
//   - a blocked button is never held: `state` is 0 wherever `blocked` is 1;
//   - `repeat_countdown` is 0 before the first press or block, and while the
//     program has switched repeats off (0x5f5c = 255): 0 never repeats;
//   - `typed` holds typed_count characters, oldest first.
//
// Per frame the shell (or the program's main loop) calls vexel_buttons_update,
// which turns the samples of the previous read into this frame's btnp
// answers, and vexel_buttons_read, which takes a new sample. Button numbers: 0 left, 1 right,
// 2 up, 3 down, 4 O, 5 X, 6 pause, 7 (nothing reaches it).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct vexel_machine;

constexpr int vexel_players = 8;
constexpr int vexel_player_buttons = 8;
constexpr int vexel_button_down_value = 129;      // controller value that counts as held
constexpr int vexel_stick_threshold = 0x8000000;  // (y/2)*y + (x/2)*x above this is a deflection
constexpr int vexel_button_key_count = 13;        // configurable bindings
constexpr int vexel_typed_queue = 64;             // typed characters kept for stat(31)
constexpr int vexel_btnp_no_repeat = 255;         // 0x5f5c value: btnp never repeats

// Replay files: one decimal line per machine frame.
constexpr size_t vexel_replay_max_bytes = 64u << 20;
constexpr size_t vexel_replay_max_lines = 1u << 22;

enum vexel_button_id : int {
    button_left = 0, button_right = 1, button_up = 2, button_down = 3,
    button_o = 4, button_x = 5, button_pause = 6, button_spare = 7,
};

struct vexel_button_state {
    int32_t state[vexel_players][vexel_player_buttons];    // held now (after blocking)
    int32_t last[vexel_players][vexel_player_buttons];     // state at the previous update
    int32_t blocked[vexel_players][vexel_player_buttons];  // held since a block; ignored until released
    int32_t pressed[vexel_players][vexel_player_buttons];  // btnp answers of this frame
    int32_t pad_down[vexel_players][vexel_player_buttons]; // controller alone, last read
    int32_t pad_last[vexel_players][vexel_player_buttons]; // pad_down at the previous update
    int32_t repeat_countdown;    // shared by every button of every player
    int32_t program_reads;       // the program called btn or btnp
    int32_t wheel_x, wheel_y;    // mouse wheel movement latched by the last read (for stat)
    // Characters typed while a running program has keyboard input on (bit 0
    // of 0x5f2d), as machine bytes: Enter "\r", Backspace "\b".
    uint8_t typed[vexel_typed_queue];
    int32_t typed_count;
};

// Where controller readings come from: `read(index, &x, &y, &mask)` returns
// false when there is no such controller. Null reads the host's controllers.
using vexel_pad_reader = bool (*)(int index, int* x, int* y, uint32_t* mask);

// The input sources besides the keyboard: a recorded replay (-input) that
// replaces keyboard and controllers for players 0 and 1, the reader of
// controllers, and the buttons a caller of the frame step gives
// (runtime/frame.h), which replace every host source while `given` is set.
struct vexel_button_replay {
    std::vector<uint16_t> frames;
    size_t next = 0;
    bool active = false;
    vexel_pad_reader pad_reader = nullptr;
    bool given = false;
    uint16_t given_held = 0;  // bits 0-7 player 0, bits 8-15 player 1
};

// Typed text for stat(30) / stat(31): whether a character is waiting, and
// the oldest one (taken from the queue), or -1 when none is.
bool vexel_typed_waiting(const vexel_machine* m);
int vexel_typed_take(vexel_machine* m);

// Zeroes the state (not the replay).
void vexel_buttons_reset(vexel_machine* m);

void vexel_buttons_read(vexel_machine* m);
void vexel_buttons_update(vexel_machine* m);
// Takes the sample from `held` instead of the host: bits 0-7 player 0,
// bits 8-15 player 1 (as a replay line), every other player released.
// Blocking and the repeat countdown work as for a read, which does this
// with replay.given_held while replay.given is set.
void vexel_buttons_set(vexel_machine* m, uint16_t held);
void vexel_buttons_block(vexel_machine* m);
void vexel_buttons_clear(vexel_machine* m);

// Menu input: whether button b of player p went down this update, or repeats.
int vexel_button_pressed(const vexel_machine* m, int b, int p);
// The same for the game controller alone.
int vexel_button_pressed_pad(const vexel_machine* m, int b, int p);
// Whether any button of any player is held now (after blocking).
bool vexel_any_button_held(const vexel_machine* m);

// What btn and btnp answer. b is clamped to 0..7; p outside 0..7 gives false.
// The mask forms give bits 0-7 for player 0 and bits 8-15 for player 1.
bool vexel_btn(vexel_machine* m, int b, int p);
bool vexel_btnp(vexel_machine* m, int b, int p);
int vexel_btn_mask(vexel_machine* m);
int vexel_btnp_mask(vexel_machine* m);

// Repeat timing at the current rate: start value and interval.
int vexel_repeat_start(const vexel_machine* m);
int vexel_repeat_interval(const vexel_machine* m);

// Whether the keyboard holds button b of player p (the host's bindings and
// the default keys).
bool vexel_player_key(const vexel_machine* m, int b, int p);
// Whether a key (scancode) is one of the keys of button b of player p, with
// the given bindings (13 scancodes, 0 for the defaults; null: all defaults).
bool vexel_key_is_bound(const int32_t* bindings, int scancode, int b, int p);
// The controller's value for button b of player p, 0..255.
int vexel_player_pad(const vexel_machine* m, int b, int p);
// The same from given stick and button readings (for tests and menus).
int vexel_pad_value(int b, int x, int y, uint32_t mask);

// ---- replay (-input) ----------------------------------------------------
enum vexel_replay_error : int {
    replay_ok = 0,
    replay_cannot_open = 1,
    replay_too_large = 2,
    replay_not_a_number = 3,
    replay_out_of_range = 4,
    replay_too_many_lines = 5,
};

// Parses replay text: one line per frame, each a decimal 0..65535 with
// optional blanks around it ("\r\n" endings allowed). On failure `bad_line`
// (when given) receives the 1-based line number of the fault.
int vexel_parse_button_replay(const char* text, size_t len, std::vector<uint16_t>& out, int* bad_line);
// Reads a replay file and makes it the source of players 0 and 1; the
// keyboard and controllers are then ignored. Returns a vexel_replay_error.
int vexel_load_button_replay(vexel_machine* m, const char* path, int* bad_line);
void vexel_set_button_replay(vexel_machine* m, const std::vector<uint16_t>& frames);
void vexel_clear_button_replay(vexel_machine* m);
const char* vexel_replay_error_text(int error);
