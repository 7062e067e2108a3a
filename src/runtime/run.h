// run: the program runner — turns the working cartridge's code into a
// running program and advances it one machine frame at a time under the CPU
// budget. The frame loop calls run_cart through the run_cart pending action
// and run_slice once per machine frame in running mode.
#pragma once
#include <cstdint>

void run_cart();
void run_slice();
void suspend_program();
void reset_lua_machine();

// CPU charges of API calls; values below 1 charge 1. Return the charge.
int32_t spend_cpu(int32_t cycles);
void refund_cpu(int32_t cycles);

// Whether the program runs the generated main loop (which reads the buttons
// itself) rather than being driven frame by frame by the shell.
bool program_runs_main_loop();
