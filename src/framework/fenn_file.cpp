#include "framework/fenn_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

fenn_file::~fenn_file() { fenn_file_close(*this); }

fenn_file::fenn_file(fenn_file&& other) noexcept
    : fp(std::exchange(other.fp, nullptr)),
      mem(std::exchange(other.mem, nullptr)),
      mem_len(std::exchange(other.mem_len, 0)),
      mem_pos(std::exchange(other.mem_pos, 0)),
      at_end(std::exchange(other.at_end, false)) {}

fenn_file& fenn_file::operator=(fenn_file&& other) noexcept {
    if (this != &other) {
        fenn_file_close(*this);
        fp = std::exchange(other.fp, nullptr);
        mem = std::exchange(other.mem, nullptr);
        mem_len = std::exchange(other.mem_len, 0);
        mem_pos = std::exchange(other.mem_pos, 0);
        at_end = std::exchange(other.at_end, false);
    }
    return *this;
}

void fenn_file_close(fenn_file& f) {
    if (f.fp) std::fclose(f.fp);
    f.fp = nullptr;
    f.mem = nullptr;
    f.mem_len = 0;
    f.mem_pos = 0;
    f.at_end = false;
}

int fenn_open_regular(const char* path) {
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    // Non-blocking, so that opening a FIFO with no writer returns at once
    // instead of waiting for one.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    int error = 0;
    if (::fstat(fd, &st) != 0) error = errno;
    else if (S_ISDIR(st.st_mode)) error = EISDIR;
    else if (!S_ISREG(st.st_mode)) error = EINVAL;
    else {
        // Regular files never block; plain blocking reads are what callers expect.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
    }
    if (error) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::FILE* fenn_fopen_regular(const char* path) {
    const int fd = fenn_open_regular(path);
    if (fd < 0) return nullptr;
    std::FILE* fp = ::fdopen(fd, "rb");
    if (!fp) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return fp;
}

bool fenn_read_regular_file(const char* path, size_t max_bytes, std::string* out) {
    out->clear();
    fenn_file f;
    if (!fenn_file_open(f, path)) return false;
    const int64_t n = fenn_file_remaining(f);
    if (n < 0 || uint64_t(n) > max_bytes) return false;
    out->resize(size_t(n));
    // A file that shrank meanwhile gives what it still holds.
    out->resize(fenn_file_read(f, out->data(), out->size()));
    return true;
}

bool fenn_file_open(fenn_file& f, const char* path) {
    fenn_file_close(f);
    std::FILE* fp = fenn_fopen_regular(path);
    if (!fp) return false;
    f.fp = fp;
    return true;
}

void fenn_file_wrap(fenn_file& f, const uint8_t* data, size_t len) {
    fenn_file_close(f);
    f.mem = data;
    f.mem_len = data ? len : 0;
}

bool fenn_file_is_open(const fenn_file& f) { return f.fp || f.mem; }

size_t fenn_file_read(fenn_file& f, void* dst, size_t n) {
    if (n == 0) return 0;
    size_t got = 0;
    if (f.fp) {
        got = std::fread(dst, 1, n, f.fp);
    } else if (f.mem_pos < f.mem_len) {
        got = std::min(n, f.mem_len - f.mem_pos);
        std::memcpy(dst, f.mem + f.mem_pos, got);
        f.mem_pos += got;
    }
    if (got < n) f.at_end = true;
    return got;
}

int fenn_file_getc(fenn_file& f) {
    uint8_t c;
    return fenn_file_read(f, &c, 1) == 1 ? c : -1;
}

int fenn_file_seek(fenn_file& f, int64_t offset, int whence) {
    int64_t base;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = fenn_file_tell(f); break;
    case SEEK_END: base = fenn_file_size(f); break;
    default: return -1;
    }
    if (base < 0) return -1;
    // Overflow-safe form of base + offset < 0 and base + offset > INT64_MAX.
    if (offset < 0 ? offset < -base : offset > INT64_MAX - base) return -1;
    int64_t pos = base + offset;
    if (f.fp) {
        if (fseeko(f.fp, off_t(pos), SEEK_SET) != 0) return -1;
    } else {
        if (uint64_t(pos) > SIZE_MAX) return -1;
        f.mem_pos = size_t(pos);
    }
    f.at_end = false;
    return 0;
}

int64_t fenn_file_tell(const fenn_file& f) {
    if (f.fp) return int64_t(ftello(f.fp));
    return int64_t(f.mem_pos);
}

int64_t fenn_file_size(const fenn_file& f) {
    if (f.fp) {
        struct stat st;
        if (fstat(fileno(f.fp), &st) != 0) return -1;
        return int64_t(st.st_size);
    }
    return int64_t(f.mem_len);
}

int64_t fenn_file_remaining(const fenn_file& f) {
    int64_t size = fenn_file_size(f), pos = fenn_file_tell(f);
    if (size < 0 || pos < 0 || pos >= size) return 0;
    return size - pos;
}

bool fenn_file_eof(const fenn_file& f) { return f.at_end; }
