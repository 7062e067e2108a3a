// Runtime faults raised inside machine operations and API calls.
//
// vexel_runtime_error never unwinds: it records the message in the machine
// and asks the host to stop the program (vexel_request_error), which the
// runner reports at its next check. The operation that raised it carries
// on. While the reset glitch runs, faults are not recorded (the glitch
// pokes random bytes on purpose).
#pragma once

struct vexel_machine;

void vexel_runtime_error(vexel_machine* m, const char* message);
