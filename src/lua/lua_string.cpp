// Strings and the string table.
#include "lua/lua_string.h"

#include "lua/lua_gc.h"
#include "lua/lua_mem.h"
#include "lua/lua_state.h"

namespace {
// Hashing skips characters of long texts so hashing stays cheap.
constexpr int LUAI_HASHLIMIT = 5;
}

unsigned int luaS_hash(const char* str, size_t l, unsigned int seed) {
    unsigned int h = seed ^ unsigned(l);
    size_t step = (l >> LUAI_HASHLIMIT) + 1;
    for (size_t l1 = l; l1 >= step; l1 -= step)
        h = h ^ ((h << 5) + (h >> 2) + static_cast<unsigned char>(str[l1 - 1]));
    return h;
}

int luaS_eqlngstr(TString* a, TString* b) {
    size_t len = a->len;
    return a == b || (len == b->len && std::memcmp(getstr(a), getstr(b), len) == 0);
}

int luaS_eqstr(TString* a, TString* b) {
    return a->tt == b->tt && (a->tt == LUA_TSHRSTR ? eqshrstr(a, b) : luaS_eqlngstr(a, b));
}

void luaS_resize(lua_State* L, int newsize) {
    stringtable* tb = &G(L)->strt;
    TString** nh = luaM_newvector<TString*>(L, size_t(newsize));
    for (int i = 0; i < newsize; i++) nh[i] = nullptr;
    for (int i = 0; i < tb->size; i++) {
        TString* p = tb->hash[i];
        while (p) {
            TString* next = p->hnext;
            unsigned int h = p->hash & unsigned(newsize - 1);
            p->hnext = nh[h];
            nh[h] = p;
            p = next;
        }
    }
    luaM_freearray(L, tb->hash, size_t(tb->size));
    tb->hash = nh;
    tb->size = newsize;
}

void luaS_freeall(lua_State* L) {
    stringtable* tb = &G(L)->strt;
    luaM_freearray(L, tb->hash, size_t(tb->size));
    tb->hash = nullptr;
    tb->size = 0;
    tb->nuse = 0;
}

namespace {

TString* createstrobj(lua_State* L, const char* str, size_t l, int tag, unsigned int h) {
    size_t totalsize = sizestring(l);
    auto* ts = static_cast<TString*>(luaC_newobj(L, tag, totalsize, nullptr, 0));
    ts->len = l;
    ts->hash = h;
    ts->keyhint = h;
    ts->extra = 0;
    ts->hnext = nullptr;
    std::memcpy(getstr(ts), str, l);
    getstr(ts)[l] = '\0';
    return ts;
}

TString* internshrstr(lua_State* L, const char* str, size_t l) {
    global_State* g = G(L);
    lua_assert(l <= size_t(LUAI_MAXSHORTLEN));
    lua_assert((g->strt.size & (g->strt.size - 1)) == 0);  // a power of two: the hash is masked
    unsigned int h = luaS_hash(str, l, g->seed);
    for (TString* ts = g->strt.hash[h & unsigned(g->strt.size - 1)]; ts; ts = ts->hnext) {
        if (l == ts->len && std::memcmp(str, getstr(ts), l) == 0) {
            // Found dead but not yet swept: it lives again.
            if (ts->marked & (g->currentwhite ^ WHITEBITS) & WHITEBITS) ts->marked ^= WHITEBITS;
            return ts;
        }
    }
    stringtable* tb = &g->strt;
    if (tb->nuse >= lu_int32(tb->size) && tb->size <= MAX_INT / 2) luaS_resize(L, tb->size * 2);
    TString* ts = createstrobj(L, str, l, LUA_TSHRSTR, h);
    TString** list = &tb->hash[h & unsigned(tb->size - 1)];
    ts->hnext = *list;
    *list = ts;
    tb->nuse++;
    return ts;
}

}  // namespace

TString* luaS_newlstr(lua_State* L, const char* str, size_t l) {
    if (l <= size_t(LUAI_MAXSHORTLEN)) return internshrstr(L, str, l);
    if (l + 1 > (MAX_SIZET - sizeof(TString)) / sizeof(char)) luaM_toobig(L);
    return createstrobj(L, str, l, LUA_TLNGSTR, G(L)->seed);
}

TString* luaS_new(lua_State* L, const char* str) { return luaS_newlstr(L, str, std::strlen(str)); }

Udata* luaS_newudata(lua_State* L, size_t s, Table* e) {
    if (s > MAX_SIZET - sizeof(Udata)) luaM_toobig(L);
    auto* u = static_cast<Udata*>(luaC_newobj(L, LUA_TUSERDATA, sizeof(Udata) + s, nullptr, 0));
    u->len = s;
    u->metatable = nullptr;
    u->env = e;
    return u;
}
