#include "framework/fenn_log.h"

#include "framework/fenn_utf8.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstring>
#include <mutex>
#include <string>

namespace {
// Lines come from the frame thread and from download workers (a failed
// write logs its reason): one lock keeps lines whole and the streams alive
// while a line is written.
std::mutex log_lock;
FILE* log_stream = nullptr;
FILE* debug_stream = nullptr;
int depth = 0;
long log_bytes = 0;       // the log file's size
std::string last_line;    // the last line written, indentation included
long repeats = 0;         // times last_line came again since it was written

constexpr char dropped_notice[] = "[older lines dropped: the log is kept under its size limit]\n";

void emit(FILE* f, const std::string& text) {
    if (!f) return;
    std::fputs(text.c_str(), f);
    std::fflush(f);
}

// Keeps the newer half of the file (from a line start) behind a notice, so
// that a program logging in a loop cannot fill the disk.
void drop_older_half() {
    if (!log_stream) return;
    std::fflush(log_stream);
    const int fd = ::fileno(log_stream);
    off_t from = off_t(log_bytes - fenn_log_size_max / 2);
    char buffer[16384];
    // Start at the next line.
    for (bool found = false; !found && from < log_bytes;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, from);
        if (got <= 0) break;
        const void* nl = std::memchr(buffer, '\n', size_t(got));
        if (nl) {
            from += off_t(static_cast<const char*>(nl) - buffer) + 1;
            found = true;
        } else {
            from += off_t(got);
        }
    }
    off_t to = off_t(sizeof dropped_notice - 1);
    bool ok = ::pwrite(fd, dropped_notice, size_t(to), 0) == ssize_t(to);
    while (ok && from < log_bytes) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, from);
        if (got <= 0) break;
        ok = ::pwrite(fd, buffer, size_t(got), to) == got;
        from += off_t(got);
        to += off_t(got);
    }
    if (::ftruncate(fd, to) != 0 || std::fseek(log_stream, long(to), SEEK_SET) != 0) ok = false;
    log_bytes = long(to);
    if (!ok) {
        // The file can no longer be kept in shape: stop logging to it.
        std::fclose(log_stream);
        log_stream = nullptr;
    }
}

void write_line(const std::string& text) {
    if (log_stream) {
        if (log_bytes + long(text.size()) > fenn_log_size_max) drop_older_half();
        if (log_stream) {
            emit(log_stream, text);
            log_bytes += long(text.size());
        }
    }
    emit(debug_stream, text);
}

// A line the same as the last one is only counted; the count is written
// when another line comes or the log closes.
void flush_repeats() {
    if (repeats == 0) return;
    size_t indent = last_line.find_first_not_of(' ');
    if (indent == std::string::npos) indent = last_line.size();
    write_line(std::string(indent, ' ') + "... repeated " + std::to_string(repeats) + (repeats == 1 ? " time\n" : " times\n"));
    repeats = 0;
}

// The log is UTF-8 text: a byte that is not part of a well-formed
// character (a machine glyph in a name a program gave, say) is written as
// \xNN, so the line stays readable and nothing about it is lost.
void append_as_utf8(std::string& line, const char* text) {
    const size_t length = std::strlen(text);
    for (size_t i = 0; i < length;) {
        size_t used = 1;
        if (fenn_utf8_decode(text + i, length - i, &used) == fenn_utf8_invalid) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(uint8_t(text[i])));
            line += escaped;
        } else {
            line.append(text + i, used);
        }
        i += used;
    }
}

void log_line(const char* text) {
    std::string line(size_t(depth) * 2, ' ');
    append_as_utf8(line, text);
    if (line == last_line) {
        ++repeats;
        return;
    }
    flush_repeats();
    write_line(line);
    last_line = std::move(line);
}
}  // namespace

int fenn_log_open(const char* path) {
    fenn_log_close();
    std::lock_guard<std::mutex> guard(log_lock);
    depth = 0;
    log_bytes = 0;
    last_line.clear();
    repeats = 0;
    // Never through a link planted under the log's name, and never on a FIFO
    // or device: the file is truncated only once it is known to be regular.
    // Read access lets the size cap move the newer half to the front.
    const int fd = path ? ::open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644) : -1;
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
    flush_repeats();
    last_line.clear();
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
        log_line(line + 1);
        ++depth;
        return;
    } else if (line[0] == '<') {
        if (depth > 0) --depth;
        text = line + 1;
    }
    log_line(text);
}
