#include "capture/capture_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/fenn_log.h"
#include "framework/fenn_path.h"
#include "framework/fenn_write.h"

namespace {

constexpr const char* temp_pattern = ".vexel-capture-XXXXXX";

bool entry_exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// A fresh empty file named after `pattern` (ending in XXXXXX); "" on failure.
std::string make_temp(const std::string& pattern) {
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return {};
    // mkstemp makes the file private; a capture gets the usual permissions
    // (set by name: emscripten's fchmod under node misses the file).
    ::close(fd);
    ::chmod(name.data(), 0666 & ~fenn_umask());
    return name.data();
}

int first_free(const std::string& base, int from, int digits, const char* ext) {
    for (int n = from; n <= capture_number_max; ++n)
        if (!entry_exists(fenn_prefix_with_desktop_path(capture_numbered_name(base, n, digits, ext).c_str())))
            return n;
    return -1;
}

// Gives the finished temporary file its final name unless that name is
// taken. 0 published, 1 name taken, 2 failed.
int publish(const std::string& temp, const std::string& final) {
    if (::link(temp.c_str(), final.c_str()) == 0) {
        ::unlink(temp.c_str());
        return 0;
    }
    if (errno == EEXIST) return 1;
    // Folders without hard links (some removable or network file systems):
    // a rename after a last look is the best that is left.
    if (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP || errno == EMLINK || errno == ENOSYS) {
        if (entry_exists(final)) return 1;
        return std::rename(temp.c_str(), final.c_str()) == 0 ? 0 : 2;
    }
    return 2;
}

}  // namespace

std::string capture_safe_base(const char* name) {
    std::string out;
    for (const char* p = name ? name : ""; *p && out.size() < capture_base_max; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_' || c == '.' || c >= 0x80;
        // A leading dot would hide the file.
        out += plain && !(c == '.' && out.empty()) ? char(c) : '_';
    }
    return out.empty() ? capture_default_base : out;
}

std::string capture_name_base(const char* cart_file) {
    const char* path = cart_file ? cart_file : "";
    const char* slash = std::strrchr(path, '/');
    std::string base = slash ? slash + 1 : path;
    base = base.substr(0, base.find('.'));
    return capture_safe_base(base.c_str());
}

std::string capture_numbered_name(const std::string& base, int n, int digits, const char* ext) {
    char number[32];
    std::snprintf(number, sizeof number, "%0*d", digits, n);
    return base + "_" + number + (ext ? ext : "");
}

int capture_write_numbered(const std::string& base, int digits, const char* ext,
                           const std::function<int(const char*, const char*)>& write, std::string* saved) {
    int n = first_free(base, 0, digits, ext);
    if (n < 0) {
        fenn_debug("** no free capture file name for %s\n", base.c_str());
        return 1;
    }
    const std::string temp = make_temp(fenn_prefix_with_desktop_path(temp_pattern));
    if (temp.empty()) {
        fenn_debug("** cannot write to the desktop folder %s: %s\n", fenn_prefix_with_desktop_path("").c_str(),
                   std::strerror(errno));
        return 1;
    }
    std::string final = fenn_prefix_with_desktop_path(capture_numbered_name(base, n, digits, ext).c_str());
    if (write(temp.c_str(), final.c_str()) != 0) {
        ::unlink(temp.c_str());
        return 1;
    }
    for (;;) {
        const int r = publish(temp, final);
        if (r == 0) break;
        if (r == 1) n = first_free(base, n + 1, digits, ext);
        if (r == 2 || n < 0) {
            fenn_debug("** cannot name the capture file %s\n", final.c_str());
            ::unlink(temp.c_str());
            return 1;
        }
        final = fenn_prefix_with_desktop_path(capture_numbered_name(base, n, digits, ext).c_str());
    }
    if (saved) *saved = final;
    return 0;
}

int capture_write_replacing(const char* path, const std::function<int(const char*)>& write) {
    if (!path || !*path) return 1;
    const std::string temp = make_temp(std::string(path) + ".XXXXXX");
    if (temp.empty()) return 1;
    if (write(temp.c_str()) != 0 || std::rename(temp.c_str(), path) != 0) {
        ::unlink(temp.c_str());
        return 1;
    }
    return 0;
}
