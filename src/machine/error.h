// Runtime faults raised inside machine operations and API calls.
//
// vexel_runtime_error never unwinds: it records the message for the program
// runner, which stops the program at its next check. The operation that
// raised it carries on. While the reset glitch runs, faults are not recorded
// (the glitch pokes random bytes on purpose).
#pragma once

void vexel_runtime_error(const char* message);
