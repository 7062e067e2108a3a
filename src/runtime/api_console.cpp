// The console's commands as script functions: thin adapters over
// runtime/commands. Those that change what the console shows (reboot,
// shutdown) yield the program when they took effect.
#include <string>
#include <vector>

#include "lua/lua.h"
#include "machine/cpu.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "runtime/api_impl.h"
#include "runtime/commands.h"
#include "runtime/web_export.h"

namespace {
constexpr int32_t import_export_cycles = 4096;
}  // namespace

int qz_folder(lua_State* L) {
    cmd_folder(api_machine(L));
    return 0;
}

int qz_ls(lua_State* L) {
    std::vector<std::string> stored;
    if (!cmd_ls(api_machine(L), api_string_arg(L, 1), &stored) || lua_gettop(L) >= 1) return 0;
    lua_createtable(L, int(stored.size()), 0);
    for (size_t i = 0; i < stored.size(); ++i) {
        lua_pushstring(L, stored[i].c_str());
        lua_rawseti(L, -2, int(i + 1));
    }
    return 1;
}

int qz_cd(lua_State* L) {
    cmd_cd(api_machine(L), api_string_arg(L, 1));
    return 0;
}

int qz_mkdir(lua_State* L) {
    cmd_mkdir(api_machine(L), api_string_arg(L, 1));
    return 0;
}

int qz_install_demos(lua_State* L) {
    vexel_machine* m = api_machine(L);
    cmd_install_demos(m, m->host ? m->host->resources : nullptr);
    return 0;
}

int qz_install_games(lua_State* L) {
    vexel_machine* m = api_machine(L);
    cmd_install_games(m, m->host ? m->host->resources : nullptr);
    return 0;
}

int qz_keyconfig(lua_State* L) {
    vexel_host_request(api_machine(L), vexel_request_keyconfig);
    return 0;
}

int qz_browse(lua_State* L) {
    cmd_browse(api_machine(L));
    return 0;
}

int qz_load(lua_State* L) {
    const int argc = lua_gettop(L);
    const bool ok = cmd_load(api_machine(L), argc, api_string_arg(L, 1), api_string_arg(L, 2), api_string_arg(L, 3));
    lua_pushboolean(L, ok);
    return 1;
}

int qz_save(lua_State* L) {
    cmd_save(api_machine(L), api_string_arg(L, 1));
    return 0;
}

int qz_reboot(lua_State* L) { return cmd_reboot(api_machine(L)) ? lua_yield(L, 0) : 0; }
int qz_new(lua_State* L) {
    cmd_new(api_machine(L));
    return 0;
}
int qz_shutdown(lua_State* L) { return cmd_shutdown(api_machine(L)) ? lua_yield(L, 0) : 0; }

int qz_help(lua_State* L) {
    cmd_help(api_machine(L));
    return 0;
}

int qz_info(lua_State* L) {
    cmd_info(api_machine(L));
    return 0;
}

int qz_export(lua_State* L) {
    cmd_export(api_machine(L), api_string_arg(L, 1));
    return 0;
}

int qz_import(lua_State* L) {
    vexel_cpu_spend(api_machine(L), import_export_cycles);
    return 0;
}
