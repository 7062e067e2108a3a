#include "framework/fenn_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstring>
#include <mutex>

namespace {
// Lines come from the frame thread and from download workers (a failed
// write logs its reason): one lock keeps lines whole and the streams alive
// while a line is written.
std::mutex log_lock;
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
    std::lock_guard<std::mutex> guard(log_lock);
    depth = 0;
    // Never through a link planted under the log's name, and never on a FIFO
    // or device: the file is truncated only once it is known to be regular.
    const int fd = path ? ::open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644) : -1;
    if (fd < 0) return 1;
    struct stat st;
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) != 0 || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || !(log_stream = ::fdopen(fd, "w"))) {
        ::close(fd);
        return 1;
    }
    return 0;
}

void fenn_log_close() {
    std::lock_guard<std::mutex> guard(log_lock);
    if (log_stream) std::fclose(log_stream);
    log_stream = nullptr;
}

int fenn_log_depth() {
    std::lock_guard<std::mutex> guard(log_lock);
    return depth;
}

void fenn_debug(const char* format, ...) {
    char line[fenn_log_line_max + 2];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) return;
    std::lock_guard<std::mutex> guard(log_lock);
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
