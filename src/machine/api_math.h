// api_math: the script-facing math, bit and memory functions, as native
// functions of the script machine. Thin adapters over machine/math and
// machine/mem: arguments are raw 16.16 values (missing ones read as 0),
// results are pushed raw, and the refunds that depend on how many
// arguments were given are applied here. None raises an error.
#pragma once
struct lua_State;

int qz_flr(lua_State* L);
int qz_abs(lua_State* L);
int qz_sgn(lua_State* L);
int qz_min(lua_State* L);
int qz_max(lua_State* L);
int qz_mid(lua_State* L);
int qz_sin(lua_State* L);
int qz_cos(lua_State* L);
int qz_atan2(lua_State* L);
int qz_sqrt(lua_State* L);
int qz_rnd(lua_State* L);
int qz_srand(lua_State* L);
int qz_band(lua_State* L);
int qz_bor(lua_State* L);
int qz_bxor(lua_State* L);
int qz_bnot(lua_State* L);
int qz_shl(lua_State* L);
int qz_shr(lua_State* L);

int qz_peek(lua_State* L);
int qz_poke(lua_State* L);
int qz_memcpy(lua_State* L);
int qz_memset(lua_State* L);
