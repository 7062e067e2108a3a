// frame: one machine frame of a running program — the one definition every
// front end, the board builder, the tests and the benches share, so a frame
// means the same thing in the window, headless and in the web build.
//
// A frame is, in order:
//   1. a held frame (after a cartridge swap, m->hold_frames > 0) only
//      counts down and runs nothing;
//   2. the front end's own keys on a running program (the shell's pause
//      button and Ctrl+R/S/V), which read the previous frame's buttons;
//   3. unless the program runs the generated main loop (which does this
//      itself, sampling at flip()), the buttons move on
//      (vexel_buttons_update), a new sample is taken, and the program's
//      frame counter (time()) advances; the sample comes from the host or
//      from the caller's bits, for flip() too;
//   4. one slice of the program (run_slice), skipped while the reset
//      effect has the screen (reset_glitch 3 and 4);
//   5. a frame the program still held when the slice ended tells the
//      frame-rate logic.
// Presenting the screen, mixing sound and pacing frames are the caller's.
#pragma once
#include <cstdint>

struct vexel_machine;

// Where a frame's button sample comes from.
enum vexel_frame_buttons : int {
    frame_buttons_host = 0,   // keyboard, controllers or a -input replay, through the host
    frame_buttons_given = 1,  // vexel_frame_input::held (headless runs, tests, other front ends)
};

struct vexel_frame_input {
    vexel_frame_buttons source = frame_buttons_given;
    uint16_t held = 0;  // with frame_buttons_given: bits 0-7 player 0, bits 8-15 player 1
    // The front end's keys on a running program (step 2); may be null.
    void (*front_end_keys)(vexel_machine* m, void* context) = nullptr;
    void* context = nullptr;
};

enum vexel_frame_result : int {
    frame_held = 0,  // a held frame: the program did not run
    frame_ran = 1,   // the program had its slice (or the reset effect skipped it)
};

vexel_frame_result vexel_machine_frame(vexel_machine* m, const vexel_frame_input& input);
