#include "app/commands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/keyconfig.h"
#include "app/shell.h"
#include "browser/splore.h"
#include "cart/cart_cmd.h"
#include "cart/cdata.h"
#include "cart/code_tabs.h"
#include "cart/compress.h"
#include "cart/disk.h"
#include "cart/rom.h"
#include "framework/fenn_loop.h"
#include "machine/gfx.h"
#include "machine/pstate.h"
#include "machine/text.h"
#include "lua/lua.h"
#include "lua/lua_base.h"
#include "runtime/run.h"
#include "runtime/token.h"

namespace {
constexpr int32_t import_export_cycles = 4096;

int32_t arg(lua_State* L, int i) { return lua_tonumberx(L, i, nullptr); }

constexpr const char* help_web_site = "https://vexel.example.org";

const char* opt_string(lua_State* L, int i) { return lua_gettop(L) >= i && lua_isstring(L, i) ? lua_tostring(L, i) : nullptr; }
}  // namespace

int qz_run(lua_State* L) {
    const char* params = lua_gettop(L) >= 1 && lua_isstring(L, 1) ? lua_tostring(L, 1) : "";
    std::snprintf(runner.pending_params, sizeof runner.pending_params, "%s", params);
    pstate.pending = pending_run_cart;
    return 0;
}

int qz_stop(lua_State* L) {
    int argc = lua_gettop(L);
    pstate.pending = pending_stop_program;
    pstate.camera_x = pstate.camera_y = 0;
    if (argc >= 1) {
        size_t len = 0;
        const char* text = luaB_pushtostr(L, 1, false);
        len = text ? std::strlen(text) : 0;
        vexel_script_print(argc, text ? text : "", len, arg(L, 2), arg(L, 3), arg(L, 4));
    }
    return lua_yield(L, 0);
}

bool vexel_cmd_reboot() {
    if (pstate.program_active) return false;
    pstate.pending = pending_reboot;
    app.browser_flag = 0;
    return true;
}

bool vexel_cmd_shutdown() {
    if (pstate.program_active) return false;
    fenn_quit = 1;
    return true;
}

void vexel_cmd_help() {
    if (pstate.program_active) return;
    struct line {
        const char* text;
        int colour;
    };
    static const line lines[] = {
        {"", 6},
        {"commands", 12},
        {"", 6},
        {"load <filename>  save <filename>", 6},
        {"run              resume", 6},
        {"shutdown         reboot", 6},
        {"install_demos    ls", 6},
        {"cd <dirname>     mkdir <dirname>", 6},
        {"cd ..      to go up a directory", 6},
        {"keyconfig  to choose buttons", 6},
        {"splore     to explore cartridges", 14},
        {"", 6},
        {"press esc to toggle editor view", 6},
        {"alt+enter to toggle fullscreen", 6},
        {"alt+f4 or ctrl-q to fastquit", 6},
        {"", 6},
        {"see vexel.txt for more info", 12},
        {help_web_site, 12},
        {"", 6},
    };
    for (const line& l : lines) vexel_print_col(l.text, l.colour);
}

void vexel_cmd_info() {
    spend_cpu(command_host_cycles);
    char text[2 * cart_filename_max + 16];
    if (cart_disk.filename[0]) {
        char name[cart_filename_max + 1], ext[cart_filename_max + 1];
        cart_cmd_split_name(cart_disk.filename, name, sizeof name, ext, sizeof ext);
        std::snprintf(text, sizeof text, "file: %s%s", name, ext[0] ? ext : ".qz");
        vexel_print_col(text, 14);
    }
    merge_code_from_tabs();
    const char* code = pstate.working_cart && pstate.working_cart->code ? pstate.working_cart->code : "";
    const size_t length = std::strlen(code);
    std::vector<uint8_t> packed(compress_mini_bound(length));
    const size_t compressed = compress_mini(code, length, packed.data(), packed.size());
    vexel_info_line info[3];
    vexel_code_info_lines(count_tokens(code, length), int(length), int(compressed), info);
    for (const vexel_info_line& l : info) vexel_print_col(l.text, l.colour);
    if (detect_unsaved_changes()) vexel_print("unsaved changes");
}

int qz_reboot(lua_State* L) { return vexel_cmd_reboot() ? lua_yield(L, 0) : 0; }
int qz_shutdown(lua_State* L) { return vexel_cmd_shutdown() ? lua_yield(L, 0) : 0; }
int qz_help(lua_State*) {
    vexel_cmd_help();
    return 0;
}
int qz_info(lua_State*) {
    vexel_cmd_info();
    return 0;
}

int qz_export(lua_State* L) {
    spend_cpu(import_export_cycles);
    if (lua_gettop(L) < 1) vexel_print("please specify a file");
    return 0;
}

int qz_import(lua_State*) {
    spend_cpu(import_export_cycles);
    return 0;
}

int qz_login(lua_State* L) {
    vexel_print("login unavailable.");
    vexel_print("please update vexel!");
    lua_pushnil(L);
    return 1;
}

int qz_logout(lua_State* L) {
    lua_pushnil(L);
    return 1;
}

int qz_bbsreq(lua_State* L) {
    lua_pushnil(L);
    return 1;
}

int qz_scoresub(lua_State* L) {
    lua_pushnil(L);
    lua_pushnumber(L, 0);
    return 2;
}

int qz_extcmd(lua_State*) { return 0; }

int qz_folder(lua_State*) {
    vexel_cmd_folder();
    return 0;
}

int qz_ls(lua_State* L) {
    std::vector<std::string> stored;
    if (!vexel_cmd_ls(opt_string(L, 1), &stored) || lua_gettop(L) >= 1) return 0;
    lua_createtable(L, int(stored.size()), 0);
    for (size_t i = 0; i < stored.size(); ++i) {
        lua_pushstring(L, stored[i].c_str());
        lua_rawseti(L, -2, int(i + 1));
    }
    return 1;
}

int qz_cd(lua_State* L) {
    vexel_cmd_cd(opt_string(L, 1));
    return 0;
}

int qz_mkdir(lua_State* L) {
    vexel_cmd_mkdir(opt_string(L, 1));
    return 0;
}

int qz_install_demos(lua_State*) {
    vexel_cmd_install_demos(shell_resource_pod);
    return 0;
}

int qz_install_games(lua_State*) {
    vexel_cmd_install_games(shell_resource_pod);
    return 0;
}

int qz_keyconfig(lua_State*) {
    keyconfig_open();
    return 0;
}

bool vexel_cmd_splore() {
    if (pstate.program_active) return false;
    splore_open();  // the browser warns of unsaved changes itself
    return true;
}

int qz_splore(lua_State*) {
    vexel_cmd_splore();
    return 0;
}

int qz_load(lua_State* L) {
    int argc = lua_gettop(L);
    bool ok = vexel_load_command(argc, opt_string(L, 1), opt_string(L, 2), opt_string(L, 3));
    lua_pushboolean(L, ok);
    return 1;
}

int qz_save(lua_State* L) {
    vexel_save_command(opt_string(L, 1));
    return 0;
}

int qz_reload(lua_State* L) {
    int argc = lua_gettop(L);
    lua_pushnumber(L, vexel_reload_call(argc, arg(L, 1), arg(L, 2), arg(L, 3), opt_string(L, 4)) << 16);
    return 1;
}

int qz_cstore(lua_State* L) {
    int argc = lua_gettop(L);
    lua_pushnumber(L, vexel_cstore_call(argc, arg(L, 1), arg(L, 2), arg(L, 3), opt_string(L, 4)) << 16);
    return 1;
}

int qz_cartdata(lua_State* L) {
    const char* id = opt_string(L, 1);
    lua_pushboolean(L, vexel_cartdata(id ? id : ""));
    return 1;
}

int qz_dget(lua_State* L) {
    bool needs_yield = false;
    lua_pushnumber(L, vexel_dget(arg(L, 1), &needs_yield));
    if (needs_yield) return lua_yield(L, 1);
    return 1;
}

int qz_dset(lua_State* L) {
    bool needs_yield = false;
    vexel_dset(arg(L, 1), arg(L, 2), &needs_yield);
    if (needs_yield) return lua_yield(L, 0);
    return 0;
}
