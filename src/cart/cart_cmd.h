// cart_cmd: the program-facing load and save commands.
//
// Paths are built from the cartridge root (app.root_path), the current
// folder (relative to the root, no leading '/') and the given name. The run
// chain, run parameters and runtime reset belong to the program runner; it
// plugs them in through cart_cmd_hooks (unset hooks are skipped), so these
// commands work before and after it exists.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t cart_cmd_folder_max = 1024;
constexpr size_t cart_cmd_save_name_max = 511;
constexpr size_t cart_cmd_label_min = 2;
constexpr int32_t cart_cmd_load_cost = 4194304;

struct cart_cmd_hooks {
    void (*reset_run_chain)();
    void (*push_run_chain)(const char* file, const char* label);
    void (*set_run_params)(const char* params);  // null clears them
    void (*reset_runtime_state)();
};
void cart_cmd_set_hooks(const cart_cmd_hooks& hooks);

// The current folder, relative to the root ("" at the root).
extern char cart_cmd_folder[cart_cmd_folder_max + 1];

// load(name [, label [, parameters]]): argc is the number of arguments the
// program gave; absent ones are null. Returns true when a cartridge loaded.
bool vexel_load_command(int argc, const char* name, const char* label, const char* params);

// save(name). Returns 0 when saved, 1 otherwise (refusals included).
int vexel_save_command(const char* name);

// Resolves a name given to a console command against the root: a name
// beginning with '/' from the root, any other from the current folder. "."
// and ".." components are resolved ('\\' separates components too; "~" is
// an ordinary name). Returns 0 with `full` (root + relative path, no trailing
// '/') and `relative` (no leading or trailing '/', "" for the root itself);
// 1 when the path leaves the root, by ".." or through a symbolic link.
// Cartridge programs hand these names in, so nothing outside the root is
// ever reached through them.
int cart_cmd_resolve(const char* name, std::string* full, std::string* relative);

// The name and extension of a path for messages ("game" + ".qz").
void cart_cmd_split_name(const char* path, char* name, size_t name_size, char* ext, size_t ext_size);
