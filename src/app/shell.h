// shell: the console layer's side of the frame loop — start-up, the
// per-iteration update and draw, shutdown — and the pieces of it that other
// modules call: the resource pod, the screen conversion and the audio pause
// state.
#pragma once
#include <cstdint>

#include "framework/fenn_pod.h"

// The frame loop's four steps (fenn_main calls them): start-up with the
// command line and settings, one update of the console, its drawing, and
// shutdown.
void shell_init();
void shell_update();
void shell_draw();
void shell_exit();

constexpr int shell_frame_one = 65536;           // one frame of credit, 16.16
constexpr int shell_frame_credit_cap = 4 * 65536;

// The resource pod and its parts, loaded at start-up.
extern fenn_pod* shell_resource_pod;    // "data.pod"
extern fenn_pod* shell_system_graphics; // item 1
extern fenn_pod* shell_console_font;    // item 2
extern struct vexel_cart* shell_system_cart;  // item 0

// Points a host record's calls at the shell (requests become posted
// actions and mode changes, messages the overlay strip, listings the
// console's): what the console's own machine is given, and what a test
// machine uses to drive the shell. The values are left alone.
void shell_connect_host(struct vexel_host& h);

// Quitting as the user asks for it (the pause menu's "quit", shutdown, and
// through fenn_quit Ctrl+Q and the window's close button): in a window,
// with unsaved changes (or always, for `ask_always`), first a question
// answered with y or n. Without a window it quits at once.
void shell_request_quit(bool ask_always);
// The question is showing: input goes to it, the machine waits.
bool shell_quit_question_open();
// Whether the console's cursor is drawn now: blinking while the window
// has the focus; steady in a run with -seed, which repeats exactly.
bool shell_cursor_blink_on();

// Loads a cartridge file as the working cartridge (its code split into the
// tabs). Returns false, leaving the working cartridge alone, on failure.
bool shell_load_working_cart(const char* path);


// The audio pause state for the mixer, applied at the end of every update.
void shell_update_audio_pause(struct vexel_machine* m);

// Frame credit: adds f frames per second over `elapsed_ms` to the credit,
// clamps it to 0..4 frames and tells whether a machine frame is due.
bool shell_add_frame_credit(int64_t& credit, int fps, int64_t elapsed_ms);

// Whether a GIF frame is recorded this update (every update at 30 frames per
// second, every second one at 60).
bool shell_records_gif_frame(int paused, int target_fps, int frame_flipper);
