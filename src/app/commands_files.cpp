// The folder commands: cd, mkdir, ls, folder and the installers of the
// built-in cartridges.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/commands.h"
#include "app/console.h"
#include "browser/splore_list.h"
#include "cart/cart_cmd.h"
#include "cart/cart_text.h"
#include "cart/disk.h"
#include "framework/fenn_file.h"
#include "framework/fenn_host.h"
#include "framework/fenn_path.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_pod.h"
#include "framework/fenn_write.h"
#include "machine/pstate.h"
#include "machine/text.h"
#include "runtime/run.h"

namespace {

constexpr int heading_colour = 12;
constexpr int failure_colour = 7;
constexpr int install_colour = 14;
constexpr int first_embedded_item = 3;
constexpr const char* favourites_file = "favourites.txt";
constexpr const char* favourite_author = "vexel";
constexpr size_t favourites_file_max = size_t(4) << 20;  // a larger list is left as it is

int64_t last_folder_launch = -command_folder_launch_ms;

enum write_result { written, same_file, kept_other, write_failed };

// Whether the regular file at `path` (not a link) holds exactly `bytes`.
bool file_holds(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && size_t(st.st_size) == bytes.size();
    std::string have;
    char buf[4096];
    ssize_t n;
    while (same && have.size() < bytes.size() && (n = ::read(fd, buf, sizeof buf)) > 0) have.append(buf, size_t(n));
    ::close(fd);
    return same && have == bytes;
}

// Creates `path` with the bytes, never replacing anything already there
// (nor following a link placed there): a file that exists is left alone.
write_result write_new_file(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST) return file_holds(path, bytes) ? same_file : kept_other;
        return write_failed;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += size_t(w);
    }
    const bool ok = ::close(fd) == 0 && done == bytes.size();
    if (!ok) ::unlink(path.c_str());  // ours alone: it did not exist before
    return ok ? written : write_failed;
}

struct builtin_cart {
    std::string name;
    std::string text;
    std::string title;
};

// The title a cartridge gives itself in its first line ("-- title").
std::string cart_title(const char* code, const std::string& fallback) {
    if (!code || std::strncmp(code, "--", 2) != 0) return fallback;
    const char* p = code + 2;
    while (*p == ' ') ++p;
    const char* e = p;
    while (*e && *e != '\n' && *e != '\r') ++e;
    std::string title(p, size_t(e - p));
    for (char& c : title)
        if (c == '|') c = '_';
    return title.empty() ? fallback : title;
}

std::vector<builtin_cart> builtin_carts(const cpod* pod, int first_item) {
    std::vector<builtin_cart> carts;
    for (int i = first_item; pod && i < cpod_item_count(pod); ++i) {
        const cpod_item* item = cpod_get_item(pod, i);
        // The name becomes a file name: nothing that could leave the folder.
        const std::string name = item ? item->name : "";
        if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
            name[0] == '.')
            continue;
        vexel_cart* cart = cart_from_pod_item(item);
        if (!cart) continue;
        carts.push_back({name, vexel_cart_to_text(cart), cart_title(cart->code, name.substr(0, name.find('.')))});
        vexel_cart_destroy(cart);
    }
    return carts;
}

// Writes the cartridges into root/folder/. Returns the number written, or
// -1 when the folder cannot be made.
int install_carts(const std::vector<builtin_cart>& carts, const char* folder, bool print_names) {
    std::string full;
    if (cart_cmd_resolve((std::string("/") + folder).c_str(), &full, nullptr) != 0 || fenn_mkdir(full.c_str()) != 0) {
        char line[128];
        std::snprintf(line, sizeof line, "could not create /%s/", folder);
        vexel_print_col(line, failure_colour);
        return -1;
    }
    int count = 0;
    for (const builtin_cart& c : carts) {
        char line[400];
        switch (write_new_file(full + "/" + c.name, c.text)) {
        case written: ++count; [[fallthrough]];
        case same_file:
            if (print_names) vexel_print(c.name.c_str());
            continue;
        case kept_other: std::snprintf(line, sizeof line, "kept your %s", c.name.c_str()); break;
        case write_failed: std::snprintf(line, sizeof line, "could not write %s", c.name.c_str()); break;
        }
        vexel_print_col(line, failure_colour);
    }
    return count;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r')) s.pop_back();
    size_t b = 0;
    while (b < s.size() && s[b] == ' ') ++b;
    return s.substr(b);
}

// Adds a local favourite (no online ids) at the end unless one with that
// path is already in the file. The file is rewritten whole, never appended
// to in place, so a failed write keeps the list as it was.
void add_local_favourite(const std::string& path, const std::string& title) {
    const std::string file = fenn_prefix_with_appdata_path(favourites_file);
    std::string text;
    if (!fenn_read_regular_file(file.c_str(), favourites_file_max, &text) && ::access(file.c_str(), F_OK) == 0)
        return;  // something unreadable is there: leave it alone
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] != '|') continue;
        std::vector<std::string> fields;
        std::string rest = line.substr(1);
        size_t bar;
        while ((bar = rest.find('|')) != std::string::npos) {
            fields.push_back(rest.substr(0, bar));
            rest = rest.substr(bar + 1);
        }
        fields.push_back(rest);
        if (fields.size() >= 5 && trimmed(fields[4]) == path) return;
    }
    if (!text.empty() && text.back() != '\n') text += '\n';
    char line[2048];
    std::snprintf(line, sizeof line, "|%-20s |%-20s |%-6d |%-16s |%-20s |%s\n", "0", "0", 0, favourite_author,
                  path.c_str(), title.c_str());
    text += line;
    fenn_write_file(file.c_str(), text.data(), text.size());
}

}  // namespace

void vexel_cmd_cd(const char* name) {
    spend_cpu(command_host_cycles);
    char line[cart_cmd_folder_max + 16];
    if (!name) {
        std::snprintf(line, sizeof line, "directory: /%s", cart_cmd_folder);
        vexel_print_col(line, heading_colour);
        return;
    }
    if (std::strlen(name) > command_name_max) return;
    std::string full, relative;
    if (cart_cmd_resolve(name, &full, &relative) != 0 || relative.size() > cart_cmd_folder_max) {
        vexel_print_col("cd: failed", failure_colour);
        return;
    }
    if (!fenn_directory_exists(full.c_str())) {
        vexel_print_col("directory not found", failure_colour);
        return;
    }
    std::snprintf(cart_cmd_folder, sizeof cart_cmd_folder, "%s", relative.c_str());
    std::snprintf(line, sizeof line, "/%s", cart_cmd_folder);
    vexel_print_col(line, heading_colour);
}

void vexel_cmd_mkdir(const char* name) {
    spend_cpu(command_host_cycles);
    if (!name) {
        vexel_print("mkdir [name]");
        return;
    }
    if (std::strlen(name) > command_name_max) return;
    std::string full, relative;
    if (cart_cmd_resolve(name, &full, &relative) != 0) {
        vexel_print_col("mkdir: failed", failure_colour);
        return;
    }
    if (relative.empty() || fenn_mkdir(full.c_str()) == 0) return;
    char line[cart_cmd_folder_max + 64];
    std::snprintf(line, sizeof line, "could not create /%s", relative.c_str());
    vexel_print_col(line, failure_colour);
}

bool vexel_cmd_ls(const char* filter, std::vector<std::string>* stored) {
    spend_cpu(command_host_cycles);
    if (pstate.program_active) {
        if (stored) {
            stored->clear();
            const std::string folder = fenn_prefix_with_appdata_path("cstore/");
            fenn_search search;
            for (int more = fenn_find_first(folder.c_str(), "*", &search, ~fenn_find_dir_bit); more == 0;
                 more = fenn_find_next(&search)) {
                const std::string name = search.name;
                if (name.find(".qz") != std::string::npos && name.find('~') == std::string::npos)
                    stored->push_back(name);
            }
            std::sort(stored->begin(), stored->end());
        }
        return true;
    }
    std::string full, relative;
    if (cart_cmd_resolve("", &full, &relative) != 0) {
        vexel_print_col("directory not found", failure_colour);
        return false;
    }
    console_start_listing(full.c_str(), relative.c_str(), filter);
    return false;
}

int vexel_cmd_folder() {
    spend_cpu(command_host_cycles);
    // A headless run opens nothing on the desktop; a program calling this
    // every frame opens one window, not thirty a second.
    if (app.exec_mode) return 1;
    const int64_t now = fenn_get_time();
    if (now - last_folder_launch < command_folder_launch_ms) return 1;
    std::string full;
    if (cart_cmd_resolve("", &full, nullptr) != 0) return 1;
    last_folder_launch = now;
    return fenn_launch_html(fenn_with_slash(full).c_str());
}

int vexel_cmd_install_demos(const cpod* pod) {
    spend_cpu(command_host_cycles);
    char line[64];
    std::snprintf(line, sizeof line, "installing demo carts to /%s/", command_demos_folder);
    vexel_print_col(line, install_colour);
    return std::max(install_carts(builtin_carts(pod, first_embedded_item), command_demos_folder, true), 0);
}

int vexel_cmd_install_games(const cpod* pod) {
    spend_cpu(command_host_cycles);
    // The head cartridge is the console's own menu, not a game.
    const std::vector<builtin_cart> games = builtin_carts(pod, first_embedded_item + 1);
    const int count = install_carts(games, command_games_folder, false);
    if (count < 0) return 0;
    if (!games.empty()) {
        // The favourites file is the browser's record (it writes it on every
        // change), so the line goes there and the browser reads it back.
        add_local_favourite(std::string(command_games_folder) + "/" + games.front().name, games.front().title);
        if (splore_data.created) splore_reload_favourites();
    }
    vexel_print("installed sample games");
    vexel_print("to splore favourites");
    return count;
}
