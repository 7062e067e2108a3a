#include "machine/error.h"

#include <cstdio>

#include "machine/pstate.h"

void vexel_runtime_error(const char* message) {
    if (pstate.reset_glitch != 0) return;
    pstate.pending = pending_runtime_error;
    std::snprintf(pstate.error_string, sizeof pstate.error_string, "%s", message ? message : "");
}
