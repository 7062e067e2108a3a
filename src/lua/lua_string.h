// Strings: creation, interning and the string table.
//
// Invariants: strings of at most LUAI_MAXSHORTLEN bytes are interned in
// g->strt (one TString per content, chained by hnext); longer strings are
// never interned and hash lazily. Every string is on g->allgc. Reserved
// words are interned at state creation and carry extra = token index + 1.
#pragma once

#include "lua/lua_object.h"

inline size_t sizestring(size_t len) { return sizeof(TString) + len + 1; }
inline bool isreserved(const TString* s) { return s->tt == LUA_TSHRSTR && s->extra > 0; }
// Equality of short strings is identity.
inline bool eqshrstr(const TString* a, const TString* b) { return a == b; }

unsigned int luaS_hash(const char* str, size_t l, unsigned int seed);
int luaS_eqlngstr(TString* a, TString* b);
int luaS_eqstr(TString* a, TString* b);
void luaS_resize(lua_State* L, int newsize);
void luaS_freeall(lua_State* L);  // frees the string table array (not the strings)
Udata* luaS_newudata(lua_State* L, size_t s, Table* e);
TString* luaS_newlstr(lua_State* L, const char* str, size_t l);
TString* luaS_new(lua_State* L, const char* str);
template <size_t N>
TString* luaS_newliteral(lua_State* L, const char (&s)[N]) { return luaS_newlstr(L, s, N - 1); }
