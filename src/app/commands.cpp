#include "app/commands.h"

#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "app/keyconfig.h"
#include "cart/cart_cmd.h"
#include "cart/cdata.h"
#include "cart/rom.h"
#include "machine/gfx.h"
#include "machine/pstate.h"
#include "machine/text.h"
#include "runtime/lua/lua.h"
#include "runtime/lua/lua_base.h"
#include "runtime/run.h"

namespace {
constexpr int32_t import_export_cycles = 4096;

int32_t arg(lua_State* L, int i) { return lua_tonumberx(L, i, nullptr); }

// Commands whose work belongs to modules still being connected: they take
// their arguments and do nothing.
int nothing(lua_State*) { return 0; }
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

// Reboot, shutdown and help belong to the console: a running program
// cannot use them.
int qz_reboot(lua_State*) { return 0; }
int qz_shutdown(lua_State*) { return 0; }
int qz_help(lua_State*) { return 0; }

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

int qz_folder(lua_State* L) { return nothing(L); }
int qz_ls(lua_State* L) { return nothing(L); }
int qz_cd(lua_State* L) { return nothing(L); }
int qz_mkdir(lua_State* L) { return nothing(L); }
int qz_install_demos(lua_State* L) { return nothing(L); }
int qz_install_games(lua_State* L) { return nothing(L); }
int qz_keyconfig(lua_State*) {
    keyconfig_open();
    return 0;
}
int qz_splore(lua_State* L) { return nothing(L); }
int qz_info(lua_State* L) { return nothing(L); }

namespace {
const char* opt_string(lua_State* L, int i) { return lua_gettop(L) >= i && lua_isstring(L, i) ? lua_tostring(L, i) : nullptr; }
}  // namespace

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
