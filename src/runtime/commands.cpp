// commands: the console's commands, which manage cartridges and the system
// rather than draw. They report on the console and never raise a script
// error; every path they reach is resolved by cmd_resolve and so stays
// inside the cartridge root, whatever name a program hands in.
#include "runtime/commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "cart/cart_hex.h"
#include "cart/cart_load.h"
#include "cart/cart_text.h"
#include "cart/compress.h"
#include "cart/png_cart.h"
#include "cart/vdisk.h"
#include "framework/fenn_file.h"
#include "framework/fenn_host.h"
#include "framework/fenn_input.h"
#include "framework/fenn_path.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_pod.h"
#include "framework/fenn_write.h"
#include "machine/cpu.h"
#include "machine/disk.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/mem.h"
#include "machine/rom.h"
#include "machine/text.h"
#include "runtime/run.h"
#include "runtime/token.h"

namespace {

bool is_clipboard_name(const char* name) {
    return !std::strcmp(name, "@clip") || !std::strcmp(name, "@clip.qz") || !std::strcmp(name, "@clip.png") ||
           !std::strcmp(name, "@clip.qz.png");
}

constexpr const char* clip_file = "_clip.qz.png";
constexpr const char* clip_hex_file = "_clip.qz.png.hex";

// The clipboard's cartridge, written to the clip file in the data folder and
// loaded from there; or the text of a .qz file copied as it is, read like
// the file (UTF-8 glyphs included). 0 when it became the working cartridge.
int load_from_clipboard(vexel_machine* m) {
    const std::string text = fenn_get_clipboard_text();
    std::vector<uint8_t> bytes;
    if (cart_hex_decode(text.data(), text.size(), &bytes) != 0) {
        vexel_cart* cart = nullptr;
        if (text.size() > vexel_cart_text_file_max ||
            vexel_cart_read_text(text.data(), text.size(), &cart) != cart_ok)
            return 1;
        vexel_prepare_loaded_cart(m, cart, nullptr);
        return 0;
    }
    const std::string path = fenn_prefix_with_appdata_path(clip_file);
    if (!fenn_write_file(path.c_str(), bytes.data(), bytes.size()).ok()) return 1;
    return vexel_load_working_cart(m, path.c_str()) == cart_ok ? 0 : 1;
}

int save_to_clipboard(vexel_machine* m) {
    const vexel_cart* cart = m->working_cart;
    bool blank = !cart->label;
    if (cart->label) {
        blank = true;
        for (uint8_t p : cart->label->pix) blank = blank && p == cart->label->pix[0];
    }
    if (blank) {
        vexel_print_col(m, "warning: label is blank", 9);
        vexel_print_col(m, "run cart and use f7 to capture", 10);
    }
    std::vector<uint8_t> png;
    if (vexel_cart_png_encode(cart, m->art, &png) != cart_ok) return 1;
    const std::string path = fenn_prefix_with_appdata_path(clip_file);
    if (!fenn_write_file(path.c_str(), png.data(), png.size()).ok()) return 1;
    const std::string hex = cart_hex_encode(png.data(), png.size());
    const std::string hex_path = fenn_prefix_with_appdata_path(clip_hex_file);
    if (!fenn_write_file(hex_path.c_str(), hex.data(), hex.size()).ok()) return 1;
    return fenn_set_clipboard_text(hex.c_str()) == 0 ? 0 : 1;
}

std::string without_trailing_slash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

namespace {

constexpr int heading_colour = 12;
constexpr int failure_colour = 7;
constexpr int install_colour = 14;
constexpr int first_embedded_item = 3;
constexpr const char* favourites_file = "favourites.txt";
constexpr const char* favourite_author = "vexel";
constexpr size_t favourites_file_max = size_t(4) << 20;  // a larger list is left as it is

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

std::vector<builtin_cart> builtin_carts(const fenn_pod* pod, int first_item) {
    std::vector<builtin_cart> carts;
    for (int i = first_item; pod && i < fenn_pod_item_count(pod); ++i) {
        const fenn_pod_item* item = fenn_pod_get_item(pod, i);
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
int install_carts(vexel_machine* m, const std::vector<builtin_cart>& carts, const char* folder, bool print_names) {
    std::string full;
    if (cmd_resolve(m, (std::string("/") + folder).c_str(), &full, nullptr) != 0 || fenn_mkdir(full.c_str()) != 0) {
        char line[128];
        std::snprintf(line, sizeof line, "could not create /%s/", folder);
        vexel_print_col(m, line, failure_colour);
        return -1;
    }
    int count = 0;
    for (const builtin_cart& c : carts) {
        char line[400];
        switch (write_new_file(full + "/" + c.name, c.text)) {
        case written: ++count; [[fallthrough]];
        case same_file:
            if (print_names) vexel_print(m, c.name.c_str());
            continue;
        case kept_other: std::snprintf(line, sizeof line, "kept your %s", c.name.c_str()); break;
        case write_failed: std::snprintf(line, sizeof line, "could not write %s", c.name.c_str()); break;
        }
        vexel_print_col(m, line, failure_colour);
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


int cmd_resolve(const vexel_machine* m, const char* name, std::string* full, std::string* relative) {
    if (!name) name = "";
    std::string joined = name[0] == '/' ? std::string(name) : std::string(m->file.folder) + "/" + name;
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= joined.size(); ++i) {
        if (i < joined.size() && joined[i] != '/' && joined[i] != '\\') continue;
        std::string part = joined.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (parts.empty()) return 1;
            parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    const std::string root = without_trailing_slash(vexel_host_carts_path(m));
    std::string rel;
    for (const std::string& part : parts) rel += (rel.empty() ? "" : "/") + part;
    if (fenn_path_confine(root, rel) == fenn_confine_outside) return 1;
    if (relative) *relative = rel;
    if (full) *full = rel.empty() ? root : fenn_with_slash(root) + rel;
    return 0;
}

void cmd_split_name(const char* path, char* name, size_t name_size, char* ext, size_t ext_size) {
    const char* base = vdisk_base_name(path);
    const char* dot = std::strchr(base, '.');
    const size_t n = dot ? size_t(dot - base) : std::strlen(base);
    std::snprintf(name, name_size, "%.*s", int(n), base);
    std::snprintf(ext, ext_size, "%s", dot ? dot : "");
}

namespace {

// A running program's relative load("other.qz") means the cartridge beside
// it, however it was started (from the browser's list of a subfolder, the
// command line, the prompt in another folder): it is tried in the running
// cartridge's own folder first, confined to that folder. Returns whether it
// loaded there.
bool load_beside_running_cart(vexel_machine* m, const char* name) {
    if (!m->program_active || name[0] == '/' || m->file.filename[0] != '/') return false;
    const char* slash = std::strrchr(m->file.filename, '/');
    const std::string folder(m->file.filename, size_t(slash - m->file.filename));
    if (folder.empty() || fenn_path_confine(folder, name) != fenn_confine_inside) return false;
    return vexel_load_working_cart(m, (folder + "/" + name).c_str(), folder.c_str()) == cart_ok;
}

}  // namespace

bool cmd_load(vexel_machine* m, int argc, const char* name, const char* label, const char* params) {
    const bool active = m->program_active != 0;
    if (argc < 2) {
        label = nullptr;
        if (!active) run_chain_reset(m);
    }
    std::snprintf(m->runner->pending_params, sizeof m->runner->pending_params, "%s",
                  argc >= 3 && params ? params : "");
    if (!name || !*name) return false;

    const std::string previous = m->file.filename;
    if (name[0] == '#' || (name[0] == '_' && name[1] == '_')) return false;
    const bool clipboard = is_clipboard_name(name);
    if (clipboard && active && !vexel_host_exec_mode(m)) return false;

    std::string path;
    const bool beside = !clipboard && load_beside_running_cart(m, name);
    const bool outside = !beside && !clipboard && cmd_resolve(m, name, &path, nullptr) != 0;
    const std::string root = without_trailing_slash(vexel_host_carts_path(m));
    const int status = beside || outside ? cart_ok
                       : clipboard       ? load_from_clipboard(m)
                                         : vexel_load_working_cart(m, path.c_str(), root.c_str());
    if (!beside && (outside || status != 0)) {
        // Always with the reason: "file not found" and "damaged program"
        // call for different next steps; a file too large says its size.
        if (!active && status == cart_too_large) {
            vexel_print(m, ("could not load: " + cart_load_failure_text(status, path.c_str())).c_str());
        } else if (!active) {
            vexel_print(m, "could not load");
            const char* why = outside ? "outside the cart folder"
                              : clipboard ? "not a readable cartridge"
                                          : vexel_cart_status_text(status);
            vexel_print(m, (std::string("(") + why + ")").c_str());
        }
        return false;
    }
    if (clipboard) {
        m->file.filename[0] = 0;
        vexel_print(m, "loaded from clipboard");
        vexel_print_2(m, "(%d chars)", int(std::strlen(m->working_cart->code)), 0);
    } else if (!active) {
        char base[256], ext[64], line[400];
        cmd_split_name(m->file.filename, base, sizeof base, ext, sizeof ext);
        std::snprintf(line, sizeof line, "loaded %s%s (%d chars)", base, ext,
                      int(std::strlen(m->working_cart->code)));
        vexel_print(m, line);
    }
    if (label && std::strlen(label) >= cmd_label_min) run_chain_push(m, previous.c_str(), label, 0);
    m->runner->error_line = 0;  // an error position of the cartridge that was replaced
    run_reset_state(m);
    vexel_reload(m, 0, 0, vexel_rom_size);
    vexel_cpu_spend(m, cmd_load_cost);
    if (active && !vexel_host_exec_mode(m)) {
        m->runner->program_restart = 1;   // the program chose to load: its write bounds carry over
        vexel_host_request(m, vexel_request_run);
        if (previous != m->file.filename) m->hold_frames = rom_hold_frames;
    }
    return true;
}

int cmd_save(vexel_machine* m, const char* name) {
    if (m->program_active && !vexel_host_exec_mode(m)) return 1;
    if (!name || !*name) {
        vexel_print(m, "please specify filename");
        return 1;
    }
    if (std::strlen(name) > cmd_save_name_max) {
        vexel_print(m, "filename too long");
        return 1;
    }
    if (is_clipboard_name(name)) {
        vexel_merge_code_from_tabs(m);
        const int failed = save_to_clipboard(m);
        vexel_print(m, failed ? "failed to save to clipboard" : "saved to clipboard");
        return failed;
    }
    std::string target, relative;
    if (cmd_resolve(m, name, &target, &relative) != 0) {
        vexel_print(m, "save: outside the cart folder");
        return 1;
    }
    // "." or "/" name the root itself; adding the extension to a folder's
    // name would write a file beside it instead.
    if (relative.empty() || fenn_directory_exists(target.c_str())) {
        vexel_print(m, "save: name is a folder");
        return 1;
    }
    const std::string path = cart_with_qz_extension(target.c_str());
    // The name with its extension is another entry, which may be a link or a folder.
    const std::string root = without_trailing_slash(vexel_host_carts_path(m));
    switch (fenn_path_confine(root, path.compare(0, root.size(), root) == 0 ? path.substr(root.size()) : "..")) {
    case fenn_confine_outside: vexel_print(m, "save: outside the cart folder"); return 1;
    case fenn_confine_folder: vexel_print(m, "save: name is a folder"); return 1;
    case fenn_confine_inside: break;
    }
    if (vexel_save_working_cart(m, path.c_str()) != 0) return 1;
    char base[256], ext[64], line[400];
    cmd_split_name(m->file.filename, base, sizeof base, ext, sizeof ext);
    std::snprintf(line, sizeof line, "saved %s%s", base, ext);
    vexel_print(m, line);
    return 0;
}



void cmd_cd(vexel_machine* m, const char* name) {
    vexel_cpu_spend(m, cmd_host_cycles);
    char line[vexel_cart_filename_max + 16];
    if (!name) {
        std::snprintf(line, sizeof line, "directory: /%s", m->file.folder);
        vexel_print_col(m, line, heading_colour);
        return;
    }
    if (std::strlen(name) > cmd_name_max) return;
    std::string full, relative;
    if (cmd_resolve(m, name, &full, &relative) != 0 || relative.size() > size_t(vexel_cart_filename_max)) {
        vexel_print_col(m, "cd: failed", failure_colour);
        return;
    }
    if (!fenn_directory_exists(full.c_str())) {
        vexel_print_col(m, "directory not found", failure_colour);
        return;
    }
    std::snprintf(m->file.folder, sizeof m->file.folder, "%s", relative.c_str());
    std::snprintf(line, sizeof line, "/%s", m->file.folder);
    vexel_print_col(m, line, heading_colour);
}

void cmd_mkdir(vexel_machine* m, const char* name) {
    vexel_cpu_spend(m, cmd_host_cycles);
    if (!name) {
        vexel_print(m, "mkdir [name]");
        return;
    }
    if (std::strlen(name) > cmd_name_max) return;
    std::string full, relative;
    if (cmd_resolve(m, name, &full, &relative) != 0) {
        vexel_print_col(m, "mkdir: failed", failure_colour);
        return;
    }
    if (relative.empty() || fenn_mkdir(full.c_str()) == 0) return;
    char line[vexel_cart_filename_max + 64];
    std::snprintf(line, sizeof line, "could not create /%s", relative.c_str());
    vexel_print_col(m, line, failure_colour);
}

bool cmd_ls(vexel_machine* m, const char* filter, std::vector<std::string>* stored) {
    vexel_cpu_spend(m, cmd_host_cycles);
    if (m->program_active) {
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
    if (cmd_resolve(m, "", &full, &relative) != 0) {
        vexel_print_col(m, "directory not found", failure_colour);
        return false;
    }
    if (m->host && m->host->list_folder) m->host->list_folder(m->host->user, full.c_str(), relative.c_str(), filter);
    return false;
}

int cmd_folder(vexel_machine* m) {
    vexel_cpu_spend(m, cmd_host_cycles);
    // A headless run opens nothing on the desktop; a program calling this
    // every frame opens one window, not thirty a second.
    if (vexel_host_exec_mode(m)) return 1;
    const int64_t now = fenn_get_time();
    if (m->runner->folder_launched_ms != 0 && now - m->runner->folder_launched_ms < cmd_folder_launch_ms) return 1;
    std::string full;
    if (cmd_resolve(m, "", &full, nullptr) != 0) return 1;
    m->runner->folder_launched_ms = now;
    vexel_host_open_url(m, fenn_with_slash(full).c_str());
    return 0;
}

int cmd_install_demos(vexel_machine* m, const fenn_pod* pod) {
    vexel_cpu_spend(m, cmd_host_cycles);
    char line[64];
    std::snprintf(line, sizeof line, "installing demo carts to /%s/", cmd_demos_folder);
    vexel_print_col(m, line, install_colour);
    return std::max(install_carts(m, builtin_carts(pod, first_embedded_item), cmd_demos_folder, true), 0);
}

int cmd_install_games(vexel_machine* m, const fenn_pod* pod) {
    vexel_cpu_spend(m, cmd_host_cycles);
    // The head cartridge is the console's own menu, not a game.
    const std::vector<builtin_cart> games = builtin_carts(pod, first_embedded_item + 1);
    const int count = install_carts(m, games, cmd_games_folder, false);
    if (count < 0) return 0;
    if (!games.empty()) {
        // The favourites file is the browser's record (it writes it on every
        // change), so the line goes there and the browser reads it back.
        add_local_favourite(std::string(cmd_games_folder) + "/" + games.front().name, games.front().title);
        if (m->host && m->host->favourites_changed) m->host->favourites_changed(m->host->user);
    }
    vexel_print(m, "installed sample games");
    vexel_print(m, "to browser favourites");
    return count;
}

bool cmd_reboot(vexel_machine* m) {
    if (m->program_active) return false;
    vexel_host_request(m, vexel_request_reboot);
    return true;
}

bool cmd_new(vexel_machine* m) {
    if (m->program_active) return false;
    vexel_new_working_cart(m);
    run_reset_state(m);
    vexel_reload(m, 0, 0, vexel_rom_size);
    vexel_print(m, "new cartridge: the editors (esc)");
    vexel_print(m, "make it; save NAME keeps it");
    return true;
}

bool cmd_shutdown(vexel_machine* m) {
    if (m->program_active) return false;
    vexel_host_request(m, vexel_request_quit);
    return true;
}

namespace {

constexpr uint8_t help_text = 6, help_heading = 12, help_browse = 14;
constexpr int help_half_width = 17;  // the left half of a line, with its blanks
constexpr const char* resume_program = "if (_mainloop) then _mainloop() else print(\"no _mainloop()\") end";

// The console is 32 characters wide: no help line is longer.
const cmd_console_command console_commands[] = {
    {nullptr, nullptr, "", cmd_help_line, help_text, false},
    {nullptr, nullptr, "commands", cmd_help_line, help_heading, false},
    {nullptr, nullptr, "", cmd_help_line, help_text, false},
    {"new", nullptr, "new     to start a new cartridge", cmd_help_line, help_text, false},  // the first step
    {"load", nullptr, "load <filename>", cmd_help_half, help_text, false},
    {"save", nullptr, "save <filename>", cmd_help_half, help_text, false},
    {"run", nullptr, "run", cmd_help_half, help_text, false},
    {"resume", resume_program, "resume", cmd_help_half, help_text, true},
    {"ls", nullptr, "ls [filter]", cmd_help_half, help_text, false},
    {"info", nullptr, "info", cmd_help_half, help_text, false},
    {"cd", nullptr, "cd <dirname>", cmd_help_half, help_text, false},
    {"mkdir", nullptr, "mkdir <dirname>", cmd_help_half, help_text, false},
    {nullptr, nullptr, "cd ..", cmd_help_half, help_text, false},
    {"export", nullptr, "export x.html", cmd_help_half, help_text, false},
    {"folder", nullptr, "folder     to open it on desktop", cmd_help_line, help_text, false},
    {"install_demos", nullptr, "install_demos", cmd_help_half, help_text, false},
    {"install_games", nullptr, "install_games", cmd_help_half, help_text, false},
    {"shutdown", nullptr, "shutdown", cmd_help_half, help_text, false},
    {"reboot", nullptr, "reboot", cmd_help_half, help_text, false},
    {"keyconfig", nullptr, "keyconfig  to choose buttons", cmd_help_line, help_text, false},
    {"browse", nullptr, "browse     to explore cartridges", cmd_help_line, help_browse, false},
    {nullptr, nullptr, "", cmd_help_line, help_text, false},
    {nullptr, nullptr, "esc at the prompt: the editors", cmd_help_line, help_text, false},
    {nullptr, nullptr, "esc to pause a running program", cmd_help_line, help_text, false},
    {nullptr, nullptr, "alt+enter to toggle fullscreen", cmd_help_line, help_text, false},
    {nullptr, nullptr, "alt+f4 or ctrl+q to quit", cmd_help_line, help_text, false},
    {nullptr, nullptr, "", cmd_help_line, help_text, false},
    {nullptr, nullptr, "see vexel.txt beside the program", cmd_help_line, help_heading, false},
    {nullptr, nullptr, "", cmd_help_line, help_text, false},
    // Commands the help screen leaves out.
    {"cls", nullptr, nullptr, cmd_help_none, 0, false},
    {"dir", nullptr, nullptr, cmd_help_none, 0, false},
    {"import", nullptr, nullptr, cmd_help_none, 0, false},
    {"help", nullptr, nullptr, cmd_help_none, 0, false},
    {"login", nullptr, nullptr, cmd_help_none, 0, false},
    {"logout", nullptr, nullptr, cmd_help_none, 0, false},
    {"s", "browse()", nullptr, cmd_help_none, 0, false},  // the browser's short name
};

}  // namespace

const cmd_console_command* cmd_console_commands(size_t* count) {
    if (count) *count = std::size(console_commands);
    return console_commands;
}

const cmd_console_command* cmd_find_console_command(std::string_view word) {
    for (const cmd_console_command& c : console_commands)
        if (c.name && word == c.name) return &c;
    return nullptr;
}

void cmd_help(vexel_machine* m) {
    if (m->program_active) return;
    std::string half;  // a left half waiting for its right one
    for (const cmd_console_command& c : console_commands) {
        if (c.layout == cmd_help_none) continue;
        if (c.layout == cmd_help_half && half.empty()) {
            half = c.help;
            half.resize(help_half_width, ' ');
            continue;
        }
        const std::string line = half + c.help;
        half.clear();
        vexel_print_col(m, line.c_str(), c.colour);
    }
}

void cmd_info(vexel_machine* m) {
    vexel_cpu_spend(m, cmd_host_cycles);
    char text[2 * cart_filename_max + 16];
    if (m->file.filename[0]) {
        char name[cart_filename_max + 1], ext[cart_filename_max + 1];
        cmd_split_name(m->file.filename, name, sizeof name, ext, sizeof ext);
        std::snprintf(text, sizeof text, "file: %s%s", name, ext[0] ? ext : ".qz");
        vexel_print_col(m, text, 14);
    }
    vexel_merge_code_from_tabs(m);
    // The program as it runs: included files count.
    const std::string joined = vexel_join_working_program(m).text;
    const char* code = joined.c_str();
    const size_t length = joined.size();
    std::vector<uint8_t> packed(compress_mini_bound(length));
    const size_t compressed = compress_mini_pack(code, length, packed.data(), packed.size());
    vexel_info_line info[3];
    vexel_code_info_lines(token_count(code, length), int(length), int(compressed), info);
    for (const vexel_info_line& l : info) vexel_print_col(m, l.text, l.colour);
    if (vexel_unsaved_changes(m, true)) vexel_print(m, "unsaved changes");
}

bool cmd_browse(vexel_machine* m) {
    if (m->program_active) return false;
    vexel_host_request(m, vexel_request_browser);
    // The browser loads other cartridges over this one (its edits then go
    // to the backup folder): say so while there is still time to save.
    if (vexel_unsaved_changes(m, true)) vexel_host_message(m, "** warning: unsaved changes **", cmd_unsaved_warning_ms);
    return true;
}

