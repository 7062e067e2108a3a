// commands: the console commands, bound as script functions. They manage
// cartridges and the system rather than draw, report on the console and
// never raise a script error.
//
// The work of the folder, listing, information and system commands is in
// the vexel_cmd_ functions, which take plain arguments (null for a missing
// one) so they can be used without a script machine; the qz_ functions bind
// them. Every path a command reaches is resolved by cart_cmd_resolve and so
// stays inside the cartridge root, whatever name a program hands in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct lua_State;
struct cpod;

constexpr size_t command_name_max = 511;        // longer folder names are refused
constexpr int command_folder_launch_ms = 2000;  // folder() opens the host browser at most this often
// What a command that reads or writes the host's folders charges the
// program, so a program calling one in a loop is slowed by the CPU budget
// like any other work instead of stalling the frame with file-system calls.
constexpr int32_t command_host_cycles = 4096;
constexpr const char* command_demos_folder = "demos";
constexpr const char* command_games_folder = "games";

void vexel_cmd_cd(const char* name);
void vexel_cmd_mkdir(const char* name);
// While a program is active: fills `stored` with the stored cartridges (names
// holding ".qz" and no "~" in the store folder, sorted) and returns true.
// Otherwise starts a console listing of the current folder and returns false.
bool vexel_cmd_ls(const char* filter, std::vector<std::string>* stored);
void vexel_cmd_info();
void vexel_cmd_help();
// These are ignored while a program is active; they return true when
// they took effect (the caller then yields the program).
bool vexel_cmd_reboot();
bool vexel_cmd_shutdown();
// Opens the browser as the console's sub-screen.
bool vexel_cmd_splore();
// Opens the current folder in the host's file browser. 0 when handed over.
int vexel_cmd_folder();
// Write the resource pod's built-in cartridges (items 3 and later) into
// "demos/" (all of them) or "games/" (all but the head cartridge, the first
// of them also added to the favourites) under the root. Existing files are
// never replaced. Return the number of cartridges written.
int vexel_cmd_install_demos(const cpod* pod);
int vexel_cmd_install_games(const cpod* pod);

int qz_folder(lua_State* L);
int qz_ls(lua_State* L);
int qz_cd(lua_State* L);
int qz_mkdir(lua_State* L);
int qz_install_demos(lua_State* L);
int qz_install_games(lua_State* L);
int qz_keyconfig(lua_State* L);
int qz_splore(lua_State* L);
int qz_reload(lua_State* L);
int qz_cstore(lua_State* L);
int qz_load(lua_State* L);
int qz_save(lua_State* L);
int qz_run(lua_State* L);
int qz_stop(lua_State* L);
int qz_reboot(lua_State* L);
int qz_shutdown(lua_State* L);
int qz_info(lua_State* L);
int qz_export(lua_State* L);
int qz_import(lua_State* L);
int qz_help(lua_State* L);
int qz_login(lua_State* L);
int qz_logout(lua_State* L);
int qz_bbsreq(lua_State* L);
int qz_scoresub(lua_State* L);
int qz_extcmd(lua_State* L);
int qz_cartdata(lua_State* L);
int qz_dget(lua_State* L);
int qz_dset(lua_State* L);
