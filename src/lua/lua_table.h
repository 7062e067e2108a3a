// Tables: the array part and the hash part, the integer-key rule of the
// 16.16 dialect, and the border search for #.
//
// Integer keys are the numbers 1..32767 (raw values 0x10000..0x7fff0000 with
// zero low 16 bits). Key k lives in array[k-1] when k <= sizearray,
// otherwise in the hash part under the number k << 16. All other numbers
// (0, negatives, fractions) are plain hash keys, whose main position is
// |n| mod ((sizenode - 1) | 1), with -32768 at node 0. `next` reports array
// keys as (i + 1) << 16. A rehash counts exactly the integer keys above when
// sizing the array part. The border search is Lua 5.2's unbound search;
// while the array part is filled from its start with nothing after
// (Table::lenhint, kept by luaH_noteset at every store), its one border is
// known without the search.
#pragma once

#include "lua/lua_object.h"

inline Node* gnode(const Table* t, int i) { return &t->node[i]; }
inline TKey* gkey(Node* n) { return &n->i_key; }
inline TValue* gval(Node* n) { return &n->i_val; }
inline Node* gnext(Node* n) { return n->i_key.next; }

// The integer key of raw number n, or 0 when n is not one.
inline int luaH_intkey(lua_Number n) {
    return (n >= 0x10000 && n <= 0x7fff0000 && (n & 0xffff) == 0) ? (n >> 16) : 0;
}

const TValue* luaH_getint(Table* t, int key);
void luaH_setint(lua_State* L, Table* t, int key, TValue* value);
const TValue* luaH_getstr(Table* t, TString* key);
const TValue* luaH_get(Table* t, const TValue* key);
// The slot of a new key, or of key (made when absent). Whoever stores a
// value in it calls luaH_noteset afterwards; luaH_setvalue does both.
TValue* luaH_newkey(lua_State* L, Table* t, const TValue* key);
TValue* luaH_set(lua_State* L, Table* t, const TValue* key);
void luaH_setvalue(lua_State* L, Table* t, const TValue* key, const TValue* val);
Table* luaH_new(lua_State* L);
void luaH_resize(lua_State* L, Table* t, int nasize, int nhsize);
void luaH_resizearray(lua_State* L, Table* t, int nasize);
void luaH_free(lua_State* L, Table* t);
int luaH_next(lua_State* L, Table* t, StkId key);
int luaH_getn(Table* t);  // border, as a plain integer (caller shifts it)

// Table::lenhint when it holds no border.
constexpr int LUAH_LEN_UNKNOWN = -1;
constexpr int LUAH_LEN_LATER = -2;

void luaH_notestore(Table* t, const TValue* slot);
// Keeps t->lenhint true after a value was stored in slot, a slot of t
// (luaH_get, luaH_set, luaH_newkey): a value stored just past the dense
// start of the array part extends it (inline: appends), nil stored in its
// last element shortens it, a store that leaves a hole or a value above it
// makes it unknown. A slot of the hash part changes nothing.
inline void luaH_noteset(Table* t, const TValue* slot) {
    const int h = t->lenhint;
    if (unsigned(h) < unsigned(t->sizearray) && slot == t->array + h) {
        if (!ttisnil(slot)) t->lenhint = h + 1;
        return;
    }
    if (h >= 0) luaH_notestore(t, slot);
}
