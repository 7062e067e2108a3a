// commands: the console commands (load, save, cd, mkdir, ls, folder, the
// installers of the built-in cartridges, info, help, reboot, shutdown,
// browse), bound as script functions by api_console.cpp.
//
// Each takes its machine and plain arguments (null for a missing one), so it
// works without a script call. They report on the console and never raise a
// script error. Every path they reach is resolved by cmd_resolve and so
// stays inside the cartridge root (the host's carts_path), whatever name a
// program hands in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct fenn_pod;
struct vexel_machine;

constexpr size_t cmd_name_max = 511;          // longer folder names are refused
constexpr size_t cmd_save_name_max = 511;
constexpr size_t cmd_label_min = 2;
constexpr int32_t cmd_load_cost = 4194304;
constexpr int cmd_folder_launch_ms = 2000;
constexpr int cmd_unsaved_warning_ms = 1500;  // browse's warning of unsaved changes    // folder() opens the host browser at most this often
// What a command that reads or writes the host's folders charges the
// program, so a program calling one in a loop is slowed by the CPU budget
// like any other work instead of stalling the frame with file-system calls.
constexpr int32_t cmd_host_cycles = 4096;
constexpr const char* cmd_demos_folder = "demos";
constexpr const char* cmd_games_folder = "games";

// Resolves a name given to a console command against the root: a name
// beginning with '/' from the root, any other from the current folder. "."
// and ".." components are resolved ('\\' separates components too; "~" is
// an ordinary name). Returns 0 with `full` (root + relative path, no trailing
// '/') and `relative` (no leading or trailing '/', "" for the root itself);
// 1 when the path leaves the root, by ".." or through a symbolic link.
int cmd_resolve(const vexel_machine* m, const char* name, std::string* full, std::string* relative);

// The name and extension of a path for messages ("game" + ".qz").
void cmd_split_name(const char* path, char* name, size_t name_size, char* ext, size_t ext_size);

// load(name [, label [, parameters]]): argc is the number of arguments the
// program gave; absent ones are null. Returns true when a cartridge loaded.
bool cmd_load(vexel_machine* m, int argc, const char* name, const char* label, const char* params);
// save(name). Returns 0 when saved, 1 otherwise (refusals included).
int cmd_save(vexel_machine* m, const char* name);

void cmd_cd(vexel_machine* m, const char* name);
void cmd_mkdir(vexel_machine* m, const char* name);
// While a program is active: fills `stored` with the stored cartridges (names
// holding ".qz" and no "~" in the store folder, sorted) and returns true.
// Otherwise asks the host for a console listing of the current folder and
// returns false.
bool cmd_ls(vexel_machine* m, const char* filter, std::vector<std::string>* stored);
void cmd_info(vexel_machine* m);
// The help screen: the lines of the console-command table.
void cmd_help(vexel_machine* m);

// ---- the console's commands -------------------------------------------------
// What may be typed at the prompt without brackets. A command alone runs
// its `program`, or the call of the script function of its name when that
// is null; a function command followed by a space and a word (not in
// quotes) is called with the word as its one string argument ("cd games"
// runs cd("games")). The same table makes the help screen: each row's
// `help` in order, a `help_half` beside the next one, a row without a name
// being a line of help alone.
enum cmd_help_layout : uint8_t {
    cmd_help_none = 0,  // not on the help screen
    cmd_help_line,      // a line of its own
    cmd_help_half,      // the left or right half of a line
};

struct cmd_console_command {
    const char* name;     // null: a line of help, no command
    const char* program;  // null: name + "()"
    const char* help;
    cmd_help_layout layout;
    uint8_t colour;
    bool resumes;         // carries on the stopped program (the runner keeps its state)
};

const cmd_console_command* cmd_console_commands(size_t* count);
// The command named `word`, or null.
const cmd_console_command* cmd_find_console_command(std::string_view word);
// These are ignored while a program is active; they return true when they
// took effect (the caller then yields the program).
bool cmd_reboot(vexel_machine* m);
bool cmd_shutdown(vexel_machine* m);
// At the prompt: an empty cartridge in place of the working one (its
// unsaved changes go to the backup folder first). False while a program runs.
bool cmd_new(vexel_machine* m);
bool cmd_browse(vexel_machine* m);
// Opens the current folder in the host's file browser. 0 when handed over.
int cmd_folder(vexel_machine* m);
// Write the resource pod's built-in cartridges (items 3 and later) into
// "demos/" (all of them) or "games/" (all but the head cartridge, the first
// of them also added to the favourites) under the root. Existing files are
// never replaced. Return the number of cartridges written.
int cmd_install_demos(vexel_machine* m, const fenn_pod* pod);
int cmd_install_games(vexel_machine* m, const fenn_pod* pod);
