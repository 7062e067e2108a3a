#include "framework/fenn_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/fenn_config.h"
#include "framework/fenn_log.h"
#include "framework/fenn_loop.h"

namespace {
std::string argv0_folder;

std::string home_folder() {
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) : std::string();
}
}  // namespace

void fenn_path_set_argv0(const char* argv0) {
    std::string a = argv0 ? argv0 : "";
    size_t slash = a.find_last_of('/');
    argv0_folder = slash == std::string::npos ? std::string() : a.substr(0, slash + 1);
}

std::string fenn_with_slash(std::string path) {
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

bool fenn_file_exists(const char* path) {
    struct stat st;
    return path && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool fenn_directory_exists(const char* path) {
    struct stat st;
    return path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int fenn_mkdir(const char* path) {
    if (!path || !*path) return 1;
    if (::mkdir(path, 0755) == 0 || errno == EEXIST) return fenn_directory_exists(path) ? 0 : 1;
    return 1;
}

namespace {

bool same_or_below(const std::string& path, const std::string& root) {
    if (root == "/") return true;
    return path == root || (path.size() > root.size() && !path.compare(0, root.size(), root) && path[root.size()] == '/');
}

}  // namespace

fenn_confine_result fenn_path_confine(const std::string& root, const std::string& relative) {
    std::string base = root.empty() ? std::string(".") : root;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    char buf[PATH_MAX];
    struct stat st;
    if (!::realpath(base.c_str(), buf)) {
        // Nothing can be opened below a root that is missing, but a dangling
        // link there might be created through.
        return ::lstat(base.c_str(), &st) == 0 ? fenn_confine_outside : fenn_confine_inside;
    }
    const std::string real_root = buf;
    std::string path = base;
    bool all_exist = true;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string part = relative.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") return fenn_confine_outside;
        if (!all_exist) continue;
        const std::string next = path + "/" + part;
        if (::lstat(next.c_str(), &st) != 0) {
            all_exist = false;
            continue;
        }
        path = next;
    }
    if (!::realpath(path.c_str(), buf)) return fenn_confine_outside;  // a dangling link, or a loop
    if (!same_or_below(buf, real_root)) return fenn_confine_outside;
    if (all_exist && ::stat(buf, &st) == 0 && S_ISDIR(st.st_mode)) return fenn_confine_folder;
    return fenn_confine_inside;
}

std::string fenn_prefix_with_appdata_path(const char* name) {
    if (fenn_cfg.home[0]) {
        std::string home = fenn_cfg.home;
        fenn_mkdir(home.c_str());
        return fenn_with_slash(home) + name;
    }
    std::string home = home_folder();
    if (home.empty()) return name;
    std::string folder = home + "/.brindle";
    fenn_mkdir(folder.c_str());
    folder += "/";
    folder += fenn_application_title();
    fenn_mkdir(folder.c_str());
    return folder + "/" + name;
}

std::string fenn_prefix_with_program_path(const char* name) {
#ifdef __EMSCRIPTEN__
    // The running executable is node or the browser: the program is the
    // script named as argv[0] (vexel-x.js, or /vexel/vexel in the page).
    return argv0_folder + name;
#endif
    char buf[fenn_path_max + 1];
    ssize_t n = ::readlink("/proc/self/exe", buf, fenn_path_max);
    if (n <= 0) {
        fenn_debug("** ERROR: fenn_prefix_with_program_path failed.\n");
        return argv0_folder + name;
    }
    buf[n] = 0;
    std::string exe(buf);
    return exe.substr(0, exe.find_last_of('/') + 1) + name;
}

std::string fenn_prefix_with_desktop_path(const char* name) {
    if (fenn_cfg.desktop_path[0]) {
        std::string d = fenn_cfg.desktop_path;
        fenn_mkdir(d.c_str());
        return fenn_with_slash(d) + name;
    }
    std::string home = home_folder();
    if (home.empty()) return name;
    return home + "/Desktop/" + name;
}

std::string fenn_resolve_filename(const char* path) {
    std::string in = path ? path : "";
    std::vector<std::string> parts;
    std::string cur;
    auto flush = [&] {
        if (cur.empty() || cur == ".") {
        } else if (cur == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (cur == "~") {
            std::string home = home_folder();
            // $HOME is absolute: it replaces what came before.
            parts.clear();
            size_t start = 0;
            while (start < home.size()) {
                size_t end = home.find('/', start);
                if (end == std::string::npos) end = home.size();
                if (end > start) parts.push_back(home.substr(start, end - start));
                start = end + 1;
            }
        } else {
            parts.push_back(cur);
        }
        cur.clear();
    };
    for (char c : in) {
        if (c == '/' || c == '\\') flush();
        else cur += c;
    }
    flush();
    bool absolute = !in.empty() && (in[0] == '/' || in[0] == '\\' || in[0] == '~');
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += '/';
        out += parts[i];
    }
    return out;
}
