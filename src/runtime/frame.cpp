#include "runtime/frame.h"

#include "machine/button.h"
#include "machine/machine.h"
#include "runtime/run.h"

namespace {

// The reset effect (Ctrl+R) counts reset_glitch 1..4; from this stage on
// it has the screen and the program's slice waits for it to end.
constexpr int frame_reset_glitch_slice_limit = 3;

}  // namespace

vexel_frame_result vexel_machine_frame(vexel_machine* m, const vexel_frame_input& input) {
    if (m->hold_frames > 0) {
        m->hold_frames--;
        return frame_held;
    }
    if (input.front_end_keys) input.front_end_keys(m, input.context);
    // The program's own main loop samples at flip(), from the same source.
    m->replay.given = input.source == frame_buttons_given;
    m->replay.given_held = input.held;
    if (!run_program_runs_main_loop(m)) {
        vexel_buttons_update(m);
        vexel_buttons_read(m);
        m->program_frame++;
    }
    if (m->reset_glitch < frame_reset_glitch_slice_limit) run_slice(m);
    if (m->held_frame) run_note_held_frame(m);
    return frame_ran;
}
