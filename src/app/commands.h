// commands: the console commands, bound as script functions. They manage
// cartridges and the system rather than draw, report on the console and
// never raise a script error.
#pragma once
struct lua_State;

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
