#include "framework/fenn_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "framework/fenn_log.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace {


constexpr const char* part_suffix = ".part";
constexpr size_t part_suffix_len = 5;
constexpr size_t random_digits = 16;  // hex digits of the random part of a temporary name
constexpr size_t pid_digits_max = 10;

// Closes a descriptor when it goes out of scope.
struct fd_guard {
    int fd;
    explicit fd_guard(int f) : fd(f) {}
    ~fd_guard() {
        if (fd >= 0) ::close(fd);
    }
    fd_guard(const fd_guard&) = delete;
    fd_guard& operator=(const fd_guard&) = delete;
    // Closes now and reports the close's own error (0 or an errno).
    int close_now() {
        const int r = ::close(fd);
        fd = -1;
        return r == 0 ? 0 : errno;
    }
};

struct dir_closer {
    void operator()(DIR* d) const { ::closedir(d); }
};

bool ends_with_part(const char* name, size_t len) {
    return len > part_suffix_len && std::memcmp(name + len - part_suffix_len, part_suffix, part_suffix_len) == 0;
}

uint64_t random_bits() {
    uint64_t r = 0;
#ifdef __EMSCRIPTEN__
    if (::getentropy(&r, sizeof r) == 0) return r;   // the web build's C library has no getrandom
#else
    if (::getrandom(&r, sizeof r, GRND_NONBLOCK) == ssize_t(sizeof r)) return r;
#endif
    // Without the kernel's generator the name is still unique enough: the
    // exclusive create refuses anything already there and a new name is tried.
    static std::atomic<uint64_t> counter{0};
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    r = uint64_t(ts.tv_nsec) * 0x9e3779b97f4a7c15ull ^ uint64_t(ts.tv_sec) << 32 ^ counter.fetch_add(1) ^
        uint64_t(::getpid()) << 16;
    return r;
}

// GNU and POSIX strerror_r differ in their result; both end up as text.
[[maybe_unused]] const char* error_text(int result, const char* buf) { return result == 0 ? buf : "unknown error"; }
[[maybe_unused]] const char* error_text(const char* result, const char*) { return result; }

bool write_all(int fd, const void* data, size_t size, int* error) {
    const auto* p = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = n < 0 ? errno : EIO;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

fenn_write_result failure(int error) {
    fenn_write_result r;
    r.error = error ? error : EIO;
    r.reason = fenn_error_reason(r.error);
    return r;
}

}  // namespace

std::string fenn_error_reason(int error) {
    switch (error) {
    case 0: return "";
    case ENOSPC: return "disk full";
    case EFBIG: return "file too large";
    case EACCES:
    case EPERM: return "permission denied";
    case EROFS: return "read-only file system";
    default: break;
    }
    char buf[128] = {};
    std::string text = error_text(::strerror_r(error, buf, sizeof buf), buf);
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool fenn_part_name_pid(const char* name, long* pid) {
    if (!name) return false;
    const size_t len = std::strlen(name);
    if (!ends_with_part(name, len)) return false;
    // NAME . pid . random .part, with NAME not empty.
    if (len < part_suffix_len + random_digits + 4) return false;
    const size_t random_start = len - part_suffix_len - random_digits;
    if (name[random_start - 1] != '.') return false;
    for (size_t i = random_start; i < random_start + random_digits; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    const size_t pid_end = random_start - 1;
    size_t pid_start = pid_end;
    while (pid_start > 0 && std::isdigit(static_cast<unsigned char>(name[pid_start - 1]))) --pid_start;
    const size_t digits = pid_end - pid_start;
    if (digits == 0 || digits > pid_digits_max || pid_start < 2 || name[pid_start - 1] != '.') return false;
    long value = 0;
    for (size_t i = pid_start; i < pid_end; ++i) value = value * 10 + (name[i] - '0');
    // Process 0 and negative numbers would address process groups in kill().
    if (value <= 0 || value > long(INT_MAX)) return false;
    if (pid) *pid = value;
    return true;
}

int fenn_remove_stale_parts(const char* folder) {
    std::unique_ptr<DIR, dir_closer> dir(::opendir(folder && *folder ? folder : "."));
    if (!dir) return 0;
    const int dfd = ::dirfd(dir.get());
    int removed = 0;
    while (const dirent* e = ::readdir(dir.get())) {
        const char* name = e->d_name;
        if (!ends_with_part(name, std::strlen(name))) continue;
        long pid = 0;
        if (fenn_part_name_pid(name, &pid)) {
            // EPERM means the process runs under another user: it is alive.
            if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
        }
        struct stat st;
        if (::fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) continue;
        // unlinkat removes the entry itself: a link is never followed.
        if (::unlinkat(dfd, name, 0) == 0) {
            ++removed;
            fenn_debug("removed stale temporary file %s\n", name);
        }
    }
    return removed;
}

mode_t fenn_umask() {
#ifdef __EMSCRIPTEN__
    // Emscripten keeps a umask of its own (0777 unless set), which is not
    // the host's: node's where there is one (the node runner), else 022.
    return mode_t(EM_ASM_INT({ return (typeof process !== "undefined" && process.umask) ? process.umask() : 18; }));
#else
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
#endif
}

fenn_write_result fenn_write_file(const char* path, const void* data, size_t size) {
    if (!path || !*path) return failure(ENOENT);
    if (size > 0 && !data) return failure(EINVAL);
    const std::string target = path;
    const size_t slash = target.rfind('/');
    const std::string prefix = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = target.substr(prefix.size());
    // A name that can only be a folder ("dir/", ".", "..") is never a file.
    if (base.empty() || base == "." || base == "..") return failure(EISDIR);
    const std::string folder = prefix.empty() ? "." : prefix;

    fenn_remove_stale_parts(folder.c_str());

    const std::string kept = base.substr(0, fenn_write_base_max);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < fenn_write_name_attempts && fd < 0; ++attempt) {
        char tail[64];
        std::snprintf(tail, sizeof tail, ".%ld.%016llx%s", long(::getpid()),
                      static_cast<unsigned long long>(random_bits()), part_suffix);
        temp = prefix + kept + tail;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644);
        if (fd < 0 && errno != EEXIST) return failure(errno);
    }
    if (fd < 0) return failure(EEXIST);
#ifdef __EMSCRIPTEN__
    // Emscripten's open applies its own umask (0777 unless set), which
    // left the node runner's files with no permission at all.
    ::chmod(temp.c_str(), 0644 & ~fenn_umask());
#endif

    fd_guard file(fd);
    int error = 0;
    if (write_all(file.fd, data, size, &error) && ::fsync(file.fd) != 0) error = errno;
    const int close_error = file.close_now();
    if (!error) error = close_error;
    if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        fenn_debug("** could not write %s: %s\n", path, fenn_error_reason(error).c_str());
        return failure(error);
    }
    return {};
}
