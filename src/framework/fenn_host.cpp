#include "framework/fenn_host.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "framework/fenn_log.h"

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool starts_with_ci(const std::string& s, const char* prefix) {
    size_t n = std::strlen(prefix);
    return s.size() >= n && lower(s.substr(0, n)) == prefix;
}

bool has_control_chars(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

// Fills the current entry from the directory stream; false when exhausted.
bool advance(fenn_search* s) {
    while (s->dir) {
        errno = 0;
        dirent* e = readdir(s->dir);
        if (!e) return false;
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        if (std::strlen(e->d_name) > size_t(fenn_find_name_max)) continue;
        std::string n = lower(e->d_name);
        if (!s->exact.empty() ? n != s->exact
                              : (n.size() < s->suffix.size() ||
                                 n.compare(n.size() - s->suffix.size(), s->suffix.size(), s->suffix) != 0))
            continue;
        std::string path = s->folder;
        if (!path.empty() && path.back() != '/') path += '/';
        path += e->d_name;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) continue;   // a dangling link
        // Only the file-type bits take part: permission bits are shared by
        // folders and files alike, so a mask of ~folder would match both.
        if (!(int(st.st_mode & S_IFMT) & s->mask)) continue;
        std::snprintf(s->name, sizeof s->name, "%s", e->d_name);
        s->mode = int(st.st_mode);
        s->size = int64_t(st.st_size);
        return true;
    }
    return false;
}

}  // namespace

fenn_search::~fenn_search() { fenn_find_close(this); }

bool fenn_pattern_matches(const char* name, const char* pattern) {
    std::string n = lower(name ? name : ""), p = lower(pattern ? pattern : "");
    if (p.empty() || p[0] != '*') return n == p;
    std::string suffix = p.substr(1);
    return n.size() >= suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int fenn_find_first(const char* folder, const char* pattern, fenn_search* search, int mask) {
    if (!search) return 1;
    fenn_find_close(search);
    std::snprintf(search->folder, sizeof search->folder, "%s", folder ? folder : "");
    search->name[0] = 0;
    std::string p = lower(pattern ? pattern : "*");
    search->suffix = !p.empty() && p[0] == '*' ? p.substr(1) : std::string();
    search->exact = !p.empty() && p[0] == '*' ? std::string() : p;
    search->mask = mask;
    search->dir = opendir(search->folder[0] ? search->folder : ".");
    if (!search->dir) return 1;
    return advance(search) ? 0 : 1;
}

int fenn_find_next(fenn_search* search) {
    if (!search || !search->dir) return 1;
    return advance(search) ? 0 : 1;
}

void fenn_find_close(fenn_search* search) {
    if (search && search->dir) {
        closedir(search->dir);
        search->dir = nullptr;
    }
}

std::string fenn_launch_target(const char* target) {
    std::string t = target ? target : "";
    if (t.empty() || has_control_chars(t)) return {};
    if (starts_with_ci(t, "http://") || starts_with_ci(t, "https://") || starts_with_ci(t, "file://")) return t;
    // Any other "scheme:" is refused; what remains is a path. A path is made
    // absolute so that it can never be taken for an option of the opener.
    size_t colon = t.find(':'), slash = t.find('/');
    if (colon != std::string::npos && (slash == std::string::npos || colon < slash)) return {};
    if (t[0] != '/') {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return {};
        std::string base = cwd;
        if (base.back() != '/') base += '/';
        t = base + t;
    }
    return t;
}
