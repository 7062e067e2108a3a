// Runtime faults raised inside machine operations and API calls.
//
// vexel_runtime_error never unwinds: it records the message in the machine
// (error_string, error_pending) and the operation that raised it carries
// on. While a program runs, the binding that called into the machine
// raises the message as the program's error when it returns (runtime/api),
// so it is reported like any other runtime error, at the calling line.
// With no program running it asks the host to report it
// (vexel_request_error). While the reset glitch runs, faults are not
// recorded (the glitch pokes random bytes on purpose).
#pragma once

struct vexel_machine;

void vexel_runtime_error(vexel_machine* m, const char* message);
