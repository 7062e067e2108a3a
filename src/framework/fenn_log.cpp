#include "framework/fenn_log.h"

#include <cstdarg>
#include <cstring>

namespace {
FILE* log_stream = nullptr;
FILE* debug_stream = nullptr;
int depth = 0;

void emit(FILE* f, const char* text) {
    if (!f) return;
    for (int i = 0; i < depth; ++i) std::fputs("  ", f);
    std::fputs(text, f);
    std::fflush(f);
}
}  // namespace

int fenn_log_open(const char* path) {
    fenn_log_close();
    depth = 0;
    log_stream = std::fopen(path, "w");
    return log_stream ? 0 : 1;
}

void fenn_log_close() {
    if (log_stream) std::fclose(log_stream);
    log_stream = nullptr;
}

void fenn_log_set_debug_stream(FILE* stream) { debug_stream = stream; }

int fenn_log_depth() { return depth; }

void fenn_debug(const char* format, ...) {
    char line[fenn_log_line_max + 2];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) return;
    const char* text = line;
    if (n > fenn_log_line_max) {
        text = "[debug string too long!]\n";
    } else if (line[0] == '>') {
        emit(log_stream, line + 1);
        emit(debug_stream, line + 1);
        ++depth;
        return;
    } else if (line[0] == '<') {
        if (depth > 0) --depth;
        text = line + 1;
    }
    emit(log_stream, text);
    emit(debug_stream, text);
}
