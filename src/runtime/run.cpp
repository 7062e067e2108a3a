// The runner's entry points, as the shell calls them. Until scripts can run,
// starting a cartridge shows that nothing runs and stopping returns to the
// console.
#include "runtime/run.h"

#include "app/app.h"
#include "framework/fenn_loop.h"
#include "machine/pstate.h"
#include "machine/text.h"

void run_cart() {
    vexel_print_col("this build cannot run programs yet", 8);
    pstate.mode = shell_console;
    pstate.program_active = 0;
    if (app.exec_mode) fenn_quit = 1;
}

void run_slice() {}

void suspend_program() {
    if (pstate.reset_glitch) return;
    pstate.mode = shell_console;
    pstate.program_active = 0;
    if (app.exec_mode) fenn_quit = 1;
}

void reset_lua_machine() {}

int32_t spend_cpu(int32_t cycles) { return cycles < 1 ? 1 : cycles; }
void refund_cpu(int32_t) {}
bool program_runs_main_loop() { return false; }
