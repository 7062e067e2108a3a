#include "machine/error.h"

#include <cstdio>

#include "machine/host.h"
#include "machine/machine.h"

void vexel_runtime_error(vexel_machine* m, const char* message) {
    if (!m || m->reset_glitch != 0) return;
    std::snprintf(m->error_string, sizeof m->error_string, "%s", message ? message : "");
    m->error_pending = true;
    if (!m->running) vexel_host_request(m, vexel_request_error);
}
