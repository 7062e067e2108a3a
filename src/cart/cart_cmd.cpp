#include "cart/cart_cmd.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/app.h"
#include "cart/disk.h"
#include "cart/rom.h"
#include "cart/vdisk.h"
#include "framework/fenn_path.h"
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

std::string full_path(const char* name) {
    if (name[0] == '/') return fenn_with_slash(app.root_path) + (name + 1);
    return fenn_with_slash(app.root_path) + cart_cmd_folder + (cart_cmd_folder[0] ? "/" : "") + name;
}

}  // namespace

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
    // Clipboard cartridges are not supported by this build's loader.
    if (is_clipboard_name(name)) return false;

    cart_disk.future_version = 0;
    const std::string path = full_path(name);
    if (load_working_cart(path.c_str()) != 0) {
        if (!active) {
            if (cart_disk.future_version) vexel_print("could not load: future version");
            else vexel_print("could not load");
        }
        cart_disk.future_version = 0;
        return false;
    }
    if (!active) {
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
        vexel_print("failed to save to clipboard");
        return 1;
    }
    const std::string path = inject_qz_extention(full_path(name).c_str());
    if (save_working_cart(path.c_str()) != 0) return 1;
    char base[256], ext[64], line[400];
    cart_cmd_split_name(cart_disk.filename, base, sizeof base, ext, sizeof ext);
    std::snprintf(line, sizeof line, "saved %s%s", base, ext);
    vexel_print(line);
    return 0;
}
