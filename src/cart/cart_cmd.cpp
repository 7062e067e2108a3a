#include "cart/cart_cmd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "cart/cart_hex.h"
#include "cart/code_tabs.h"
#include "cart/disk.h"
#include "cart/png_cart.h"
#include "cart/rom.h"
#include "cart/vdisk.h"
#include "framework/fenn_input.h"
#include "framework/fenn_path.h"
#include "framework/fenn_write.h"
#include "machine/mem.h"
#include "machine/pstate.h"
#include "machine/text.h"
#include "runtime/run.h"

char cart_cmd_folder[cart_cmd_folder_max + 1] = {};

namespace {

cart_cmd_hooks hooks = {};
constexpr int message_backup_ms = 2500;

bool is_clipboard_name(const char* name) {
    return !std::strcmp(name, "@clip") || !std::strcmp(name, "@clip.qz") || !std::strcmp(name, "@clip.png") ||
           !std::strcmp(name, "@clip.qz.png");
}

constexpr const char* clip_file = "_clip.qz.png";
constexpr const char* clip_hex_file = "_clip.qz.png.hex";

// The clipboard's cartridge, written to the clip file in the data folder and
// loaded from there. 0 when it became the working cartridge.
int load_from_clipboard() {
    const std::string text = fenn_get_clipboard_text();
    std::vector<uint8_t> bytes;
    if (cart_hex_decode(text.data(), text.size(), &bytes) != 0) return 1;
    const std::string path = fenn_prefix_with_appdata_path(clip_file);
    if (!fenn_write_file(path.c_str(), bytes.data(), bytes.size()).ok()) return 1;
    return load_working_cart(path.c_str());
}

int save_to_clipboard() {
    const vexel_cart* cart = pstate.working_cart;
    bool blank = !cart->label;
    if (cart->label) {
        blank = true;
        for (uint8_t p : cart->label->pix) blank = blank && p == cart->label->pix[0];
    }
    if (blank) {
        vexel_print_col("warning: label is blank", 9);
        vexel_print_col("run cart and use f7 to capture", 10);
    }
    std::vector<uint8_t> png;
    if (vexel_cart_png_encode(cart, &png) != cart_ok) return 1;
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

int cart_cmd_resolve(const char* name, std::string* full, std::string* relative) {
    if (!name) name = "";
    std::string joined = name[0] == '/' ? std::string(name) : std::string(cart_cmd_folder) + "/" + name;
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
    const std::string root = without_trailing_slash(app.root_path);
    std::string rel;
    for (const std::string& part : parts) rel += (rel.empty() ? "" : "/") + part;
    if (fenn_path_confine(root, rel) == fenn_confine_outside) return 1;
    if (relative) *relative = rel;
    if (full) *full = rel.empty() ? root : fenn_with_slash(root) + rel;
    return 0;
}

void cart_cmd_set_hooks(const cart_cmd_hooks& h) { hooks = h; }

void cart_cmd_split_name(const char* path, char* name, size_t name_size, char* ext, size_t ext_size) {
    const char* base = vdisk_base_name(path);
    const char* dot = std::strchr(base, '.');
    const size_t n = dot ? size_t(dot - base) : std::strlen(base);
    std::snprintf(name, name_size, "%.*s", int(n), base);
    std::snprintf(ext, ext_size, "%s", dot ? dot : "");
}

bool vexel_load_command(int argc, const char* name, const char* label, const char* params) {
    const bool active = pstate.program_active != 0;
    if (!active && detect_unsaved_changes()) {
        save_backup(cart_disk.filename, false);
        if (app.show_backup_messages) show_message("backing up unsaved changes", message_backup_ms);
    }
    if (argc < 2) {
        label = nullptr;
        if (!active && hooks.reset_run_chain) hooks.reset_run_chain();
    }
    if (hooks.set_run_params) hooks.set_run_params(argc >= 3 ? params : nullptr);
    if (!name || !*name) return false;

    const std::string previous = cart_disk.filename;
    if (name[0] == '#' || (name[0] == '_' && name[1] == '_')) return false;
    const bool clipboard = is_clipboard_name(name);
    if (clipboard && active && !app.exec_mode) return false;

    cart_disk.future_version = 0;
    std::string path;
    const bool outside = !clipboard && cart_cmd_resolve(name, &path, nullptr) != 0;
    const std::string root = without_trailing_slash(app.root_path);
    if (outside || (clipboard ? load_from_clipboard() : load_working_cart(path.c_str(), root.c_str())) != 0) {
        if (!active) {
            if (cart_disk.future_version) vexel_print("could not load: future version");
            else vexel_print("could not load");
        }
        cart_disk.future_version = 0;
        return false;
    }
    if (clipboard) {
        cart_disk.filename[0] = 0;
        vexel_print("loaded from clipboard");
        vexel_print_2("(%d chars)", int(std::strlen(pstate.working_cart->code)), 0);
    } else if (!active) {
        char base[256], ext[64], line[400];
        cart_cmd_split_name(cart_disk.filename, base, sizeof base, ext, sizeof ext);
        std::snprintf(line, sizeof line, "loaded %s%s (%d chars)", base, ext,
                      int(std::strlen(pstate.working_cart->code)));
        vexel_print(line);
    }
    if (label && std::strlen(label) >= cart_cmd_label_min && hooks.push_run_chain)
        hooks.push_run_chain(previous.c_str(), label);
    if (hooks.reset_runtime_state) hooks.reset_runtime_state();
    else vexel_reset_draw_state(&pstate);
    vexel_reload(0, 0, vexel_rom_size);
    spend_cpu(cart_cmd_load_cost);
    if (active && !app.exec_mode) {
        pstate.pending = pending_run_cart;
        if (previous != cart_disk.filename) pstate.hold_frames = rom_hold_frames;
    }
    return true;
}

int vexel_save_command(const char* name) {
    if (pstate.program_active && !app.exec_mode) return 1;
    if (!name || !*name) {
        vexel_print("please specify filename");
        return 1;
    }
    if (std::strlen(name) > cart_cmd_save_name_max) {
        vexel_print("filename too long");
        return 1;
    }
    if (is_clipboard_name(name)) {
        merge_code_from_tabs();
        const int failed = save_to_clipboard();
        vexel_print(failed ? "failed to save to clipboard" : "saved to clipboard");
        return failed;
    }
    std::string target, relative;
    if (cart_cmd_resolve(name, &target, &relative) != 0) {
        vexel_print("save: outside the cart folder");
        return 1;
    }
    // "." or "/" name the root itself; adding the extension to a folder's
    // name would write a file beside it instead.
    if (relative.empty() || fenn_directory_exists(target.c_str())) {
        vexel_print("save: name is a folder");
        return 1;
    }
    const std::string path = inject_qz_extention(target.c_str());
    // The name with its extension is another entry, which may be a link or a folder.
    const std::string root = without_trailing_slash(app.root_path);
    switch (fenn_path_confine(root, path.compare(0, root.size(), root) == 0 ? path.substr(root.size()) : "..")) {
    case fenn_confine_outside: vexel_print("save: outside the cart folder"); return 1;
    case fenn_confine_folder: vexel_print("save: name is a folder"); return 1;
    case fenn_confine_inside: break;
    }
    if (save_working_cart(path.c_str()) != 0) return 1;
    char base[256], ext[64], line[400];
    cart_cmd_split_name(cart_disk.filename, base, sizeof base, ext, sizeof ext);
    std::snprintf(line, sizeof line, "saved %s%s", base, ext);
    vexel_print(line);
    return 0;
}
