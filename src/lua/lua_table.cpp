// Tables: an array part for the integer keys 1..sizearray and a hash part
// (chained scatter table with Brent's variation) for everything else.
#include "lua/lua_table.h"

#include "lua/lua_debug.h"
#include "lua/lua_gc.h"
#include "lua/lua_mem.h"
#include "lua/lua_state.h"
#include "lua/lua_string.h"
#include "lua/lua_vm.h"

namespace {

constexpr int MAX_INTKEY = 32767;  // largest integer key of the dialect

// Never written (every insertion checks for it first), so it can be a
// constant: a write would fault rather than corrupt every empty table.
const Node dummynode_ = {{{nullptr}, LUA_TNIL}, {{nullptr}, LUA_TNIL, nullptr}};
Node* const dummynode = const_cast<Node*>(&dummynode_);

inline bool isdummy(const Table* t) { return t->lastfree == nullptr; }

inline Node* hashpow2(const Table* t, unsigned int n) { return &t->node[n & t->nodemask]; }
inline Node* hashmod(const Table* t, unsigned int n) { return gnode(t, int(n % (t->nodemask | 1))); }

Node* hashnum(const Table* t, lua_Number n) {
    if (n == INT32_MIN) return gnode(t, 0);  // its magnitude cannot be negated
    return hashmod(t, unsigned(n < 0 ? -n : n));
}

Node* hashpointer(const Table* t, const void* p) {
    return hashmod(t, unsigned(reinterpret_cast<uintptr_t>(p) & 0xffffffffu));
}

// The main position of a key: where it goes when its slot is free.
Node* mainposition(const Table* t, const TValue* key) {
    switch (ttype(key)) {
    case LUA_TNUMBER: return hashnum(t, nvalue(key));
    case LUA_TLNGSTR: {
        TString* s = tsvalue(key);
        if (s->extra == 0) {  // no hash yet?
            s->hash = luaS_hash(getstr(s), s->len, s->hash);
            s->extra = 1;
        }
        return hashpow2(t, tsvalue(key)->hash);
    }
    case LUA_TSHRSTR: return hashpow2(t, tsvalue(key)->hash);
    case LUA_TBOOLEAN: return hashpow2(t, unsigned(bvalue(key)));
    case LUA_TLIGHTUSERDATA: return hashpointer(t, pvalue(key));
    case LUA_TLCF: return hashpointer(t, reinterpret_cast<void*>(fvalue(key)));
    default: return hashpointer(t, gcvalue(key));
    }
}

// The array index of a key, or 0 when it does not belong to the array part.
int arrayindex(const TValue* key) { return ttisnumber(key) ? luaH_intkey(nvalue(key)) : 0; }

// Position of a key in the traversal order: array part first, then nodes.
int findindex(lua_State* L, Table* t, StkId key) {
    if (ttisnil(key)) return -1;  // first iteration
    int i = arrayindex(key);
    if (0 < i && i <= t->sizearray) return i - 1;
    Node* n = mainposition(t, key);
    for (;;) {
        // The key may be dead already, but it is ok to use it in `next'. A
        // dead key is no longer tagged collectable: its object is read raw.
        if (luaV_rawequalobj(tkey_tvalue(gkey(n)), key) ||
            (ttisdeadkey(tkey_tvalue(gkey(n))) && iscollectable(key) && tkey_tvalue(gkey(n))->value_.gc == gcvalue(key))) {
            i = int(n - gnode(t, 0));
            return i + t->sizearray;
        }
        n = gnext(n);
        if (n == nullptr) luaG_runerror(L, "invalid key to 'next'");
    }
}

void setnodevector(lua_State* L, Table* t, int size) {
    int lsize;
    if (size == 0) {
        t->node = dummynode;
        lsize = 0;
    } else {
        lsize = luaO_ceillog2(unsigned(size));
        if (lsize > MAXBITS) luaG_runerror(L, "table overflow");
        size = twoto(lsize);
        t->node = luaM_newvector<Node>(L, size_t(size));
        for (int i = 0; i < size; i++) {
            Node* n = gnode(t, i);
            n->i_key.next = nullptr;
            n->i_key.tt_ = LUA_TNIL;
            setnilvalue(gval(n));
        }
    }
    t->lsizenode = lu_byte(lsize);
    t->nodemask = unsigned(twoto(lsize) - 1);
    t->lastfree = size == 0 ? nullptr : gnode(t, size);  // all positions are free
}

void setarrayvector(lua_State* L, Table* t, int size) {
    luaM_reallocvector(L, t->array, size_t(t->sizearray), size_t(size));
    for (int i = t->sizearray; i < size; i++) setnilvalue(&t->array[i]);
    t->sizearray = size;
}

// ---- rehash ----

int computesizes(int nums[], int* narray) {
    int a = 0;   // number of elements smaller than 2^i
    int na = 0;  // number of elements to go to array part
    int n = 0;   // optimal size for array part
    for (int i = 0, twotoi = 1; twotoi / 2 < *narray; i++, twotoi *= 2) {
        if (nums[i] > 0) {
            a += nums[i];
            if (a > twotoi / 2) {  // more than half elements present?
                n = twotoi;
                na = a;
            }
        }
        if (a == *narray) break;  // all elements already counted
    }
    *narray = n;
    return na;
}

int countint(const TValue* key, int* nums) {
    int k = arrayindex(key);
    if (k != 0) {
        nums[luaO_ceillog2(unsigned(k))]++;
        return 1;
    }
    return 0;
}

int numusearray(const Table* t, int* nums) {
    int ause = 0;
    int i = 1;
    for (int lg = 0, ttlg = 1; lg <= MAXBITS; lg++, ttlg *= 2) {
        int lc = 0;
        int lim = ttlg;
        if (lim > t->sizearray) {
            lim = t->sizearray;
            if (i > lim) break;  // no more elements to count
        }
        for (; i <= lim; i++)
            if (!ttisnil(&t->array[i - 1])) lc++;
        nums[lg] += lc;
        ause += lc;
    }
    return ause;
}

int numusehash(const Table* t, int* nums, int* pnasize) {
    int totaluse = 0;
    int ause = 0;
    int i = sizenode(t);
    while (i--) {
        Node* n = &t->node[i];
        if (!ttisnil(gval(n))) {
            ause += countint(tkey_tvalue(gkey(n)), nums);
            totaluse++;
        }
    }
    *pnasize += ause;
    return totaluse;
}

void rehash(lua_State* L, Table* t, const TValue* ek) {
    int nums[MAXBITS + 1];
    for (int i = 0; i <= MAXBITS; i++) nums[i] = 0;
    int nasize = numusearray(t, nums);
    int totaluse = nasize;
    totaluse += numusehash(t, nums, &nasize);
    nasize += countint(ek, nums);
    totaluse++;
    int na = computesizes(nums, &nasize);
    luaH_resize(L, t, nasize, totaluse - na);
}

Node* getfreepos(Table* t) {
    while (t->lastfree > t->node) {
        t->lastfree--;
        if (ttisnil(tkey_tvalue(gkey(t->lastfree)))) return t->lastfree;
    }
    return nullptr;  // could not find a free place
}

const TValue* getgeneric(Table* t, const TValue* key) {
    Node* n = mainposition(t, key);
    do {
        if (luaV_rawequalobj(tkey_tvalue(gkey(n)), key)) return gval(n);
        n = gnext(n);
    } while (n);
    return luaO_nilobject;
}

}  // namespace

namespace {

// The array part's border when the values fill it from the start with only
// nil after them (what lenhint records), else LUAH_LEN_UNKNOWN.
int denseborder(const Table* t) {
    int n = t->sizearray, i = 0;
    while (i < n && !ttisnil(&t->array[i])) i++;
    for (int j = i + 1; j < n; j++)
        if (!ttisnil(&t->array[j])) return LUAH_LEN_UNKNOWN;
    return i;
}

}  // namespace

void luaH_notestore(Table* t, const TValue* slot) {
    const uintptr_t k = (reinterpret_cast<uintptr_t>(slot) - reinterpret_cast<uintptr_t>(t->array)) / sizeof(TValue);
    const int h = t->lenhint;
    if (k >= uintptr_t(t->sizearray) || h < 0) return;  // the hash part
    if (ttisnil(slot)) {
        if (k + 1 == uintptr_t(h))
            t->lenhint = h - 1;
        else if (k < uintptr_t(h))
            t->lenhint = LUAH_LEN_UNKNOWN;
    } else if (k > uintptr_t(h)) {
        t->lenhint = LUAH_LEN_UNKNOWN;
    }
}

void luaH_resize(lua_State* L, Table* t, int nasize, int nhsize) {
    // Keys past 32767 are not integer keys (they do not exist as numbers),
    // so a longer array part could hold nothing reachable.
    if (nasize > MAX_INTKEY) nasize = MAX_INTKEY;
    // A table with no hash part that keeps none and whose array part only
    // grows has no key to move: the array part grows alone, without the
    // rebuild below ({...}, constructors of lists, SETLIST). The rebuild
    // would make the same table: no key lives in the hash part to migrate.
    if (isdummy(t) && nhsize == 0 && nasize >= t->sizearray) {
        if (nasize > t->sizearray) setarrayvector(L, t, nasize);
        return;
    }
    int oldasize = t->sizearray;
    int oldhsize = t->lsizenode;
    Node* nold = t->node;
    t->lenhint = LUAH_LEN_LATER;  // the next # finds it
    if (nasize > oldasize) setarrayvector(L, t, nasize);
    setnodevector(L, t, nhsize);
    if (nasize < oldasize) {  // array part must shrink?
        t->sizearray = nasize;
        for (int i = nasize; i < oldasize; i++) {
            if (!ttisnil(&t->array[i])) luaH_setint(L, t, i + 1, &t->array[i]);
        }
        luaM_reallocvector(L, t->array, size_t(oldasize), size_t(nasize));
    }
    // re-insert elements from the old hash part, last to first
    for (int i = twoto(oldhsize) - 1; i >= 0; i--) {
        Node* old = nold + i;
        if (!ttisnil(gval(old))) setobj(luaH_set(L, t, tkey_tvalue(gkey(old))), gval(old));
    }
    if (nold != dummynode) luaM_freearray(L, nold, size_t(twoto(oldhsize)));
}

void luaH_resizearray(lua_State* L, Table* t, int nasize) {
    int nsize = isdummy(t) ? 0 : sizenode(t);
    luaH_resize(L, t, nasize, nsize);
}

Table* luaH_new(lua_State* L) {
    auto* t = static_cast<Table*>(luaC_newobj(L, LUA_TTABLE, sizeof(Table), nullptr, 0));
    t->metatable = nullptr;
    t->flags = lu_byte(~0);
    t->array = nullptr;
    t->sizearray = 0;
    t->lenhint = 0;
    t->gclist = nullptr;
    setnodevector(L, t, 0);
    return t;
}

void luaH_free(lua_State* L, Table* t) {
    if (!isdummy(t)) luaM_freearray(L, t->node, size_t(sizenode(t)));
    luaM_freearray(L, t->array, size_t(t->sizearray));
    luaM_freemem(L, t, sizeof(Table));
}

// Inserts a new key. If its main position is taken, the colliding node is
// moved to a free slot when it is not in its own main position; otherwise
// the new key goes to the free slot.
TValue* luaH_newkey(lua_State* L, Table* t, const TValue* key) {
    if (ttisnil(key)) luaG_runerror(L, "table index is nil");
    Node* mp = mainposition(t, key);
    if (!ttisnil(gval(mp)) || isdummy(t)) {  // main position is taken?
        Node* f = getfreepos(t);
        if (f == nullptr) {  // cannot find a free place?
            rehash(L, t, key);
            return luaH_set(L, t, key);  // insert key into grown table
        }
        Node* othern = mainposition(t, tkey_tvalue(gkey(mp)));
        if (othern != mp) {  // colliding node is out of its main position?
            while (gnext(othern) != mp) othern = gnext(othern);
            othern->i_key.next = f;
            *f = *mp;  // copy colliding node into free pos. (mp->next also goes)
            mp->i_key.next = nullptr;
            setnilvalue(gval(mp));
        } else {  // colliding node is in its own main position: new node goes into free position
            f->i_key.next = gnext(mp);
            mp->i_key.next = f;
            mp = f;
        }
    }
    mp->i_key.value_ = key->value_;
    mp->i_key.tt_ = key->tt_;
    luaC_barrierback(L, t, key);
    return gval(mp);
}

const TValue* luaH_getint(Table* t, int key) {
    if (unsigned(key) - 1u < unsigned(t->sizearray)) return &t->array[key - 1];
    lua_Number nk = int_to_fix(key);
    for (Node* n = hashnum(t, nk); n; n = gnext(n)) {
        if (ttisnumber(tkey_tvalue(gkey(n))) && nvalue(tkey_tvalue(gkey(n))) == nk) return gval(n);
    }
    return luaO_nilobject;
}

const TValue* luaH_getstr(Table* t, TString* key) {
    lua_assert(key->tt == LUA_TSHRSTR);  // only interned strings compare by address
    Node* n = hashpow2(t, key->hash);
    do {
        if (ttisshrstring(tkey_tvalue(gkey(n))) && tsvalue(tkey_tvalue(gkey(n))) == key) return gval(n);
        n = gnext(n);
    } while (n);
    return luaO_nilobject;
}

const TValue* luaH_get(Table* t, const TValue* key) {
    switch (ttype(key)) {
    case LUA_TSHRSTR: return luaH_getstr(t, tsvalue(key));
    case LUA_TNIL: return luaO_nilobject;
    case LUA_TNUMBER: {
        lua_Number n = nvalue(key);
        int k = luaH_intkey(n);
        if (k != 0) return luaH_getint(t, k);
        // Other numbers compare as raw values along their chain, without
        // getgeneric's general equality call per node: 4% fewer
        // instructions on bench/lua/hashing.
        Node* nd = hashnum(t, n);
        do {
            const TValue* nk = tkey_tvalue(gkey(nd));
            if (ttisnumber(nk) && nvalue(nk) == n) return gval(nd);
            nd = gnext(nd);
        } while (nd);
        return luaO_nilobject;
    }
    default: return getgeneric(t, key);
    }
}

TValue* luaH_set(lua_State* L, Table* t, const TValue* key) {
    const TValue* p = luaH_get(t, key);
    if (p != luaO_nilobject) return const_cast<TValue*>(p);
    return luaH_newkey(L, t, key);
}

void luaH_setvalue(lua_State* L, Table* t, const TValue* key, const TValue* val) {
    TValue* slot = luaH_set(L, t, key);
    setobj(slot, val);
    luaH_noteset(t, slot);
}

void luaH_setint(lua_State* L, Table* t, int key, TValue* value) {
    const TValue* p = luaH_getint(t, key);
    TValue* cell;
    if (p != luaO_nilobject) {
        cell = const_cast<TValue*>(p);
    } else {
        TValue k;
        setnvalue(&k, int_to_fix(key));
        cell = luaH_newkey(L, t, &k);
    }
    setobj(cell, value);
    luaH_noteset(t, cell);
}

int luaH_next(lua_State* L, Table* t, StkId key) {
    int i = findindex(L, t, key);
    for (i++; i < t->sizearray; i++) {
        if (!ttisnil(&t->array[i])) {
            setnvalue(key, int_to_fix(i + 1));
            setobj(key + 1, &t->array[i]);
            return 1;
        }
    }
    for (i -= t->sizearray; i < sizenode(t); i++) {
        if (!ttisnil(gval(gnode(t, i)))) {
            setobj(key, tkey_tvalue(gkey(gnode(t, i))));
            setobj(key + 1, gval(gnode(t, i)));
            return 1;
        }
    }
    return 0;
}

namespace {

bool intpresent(Table* t, unsigned int j) {
    return j >= 1 && j <= unsigned(MAX_INTKEY) && !ttisnil(luaH_getint(t, int(j)));
}

int unbound_search(Table* t, unsigned int j) {
    unsigned int i = j;  // i is zero or a present index
    j++;
    while (intpresent(t, j)) {  // find i and j such that i is present and j is not
        i = j;
        j *= 2;
    }
    while (j - i > 1) {  // binary search between them
        unsigned int m = (i + j) / 2;
        if (intpresent(t, m)) i = m;
        else j = m;
    }
    return int(i);
}

}  // namespace

int luaH_getn(Table* t) {
    unsigned int j = unsigned(t->sizearray);
    if (j > 0 && ttisnil(&t->array[j - 1])) {
        // An array part filled from the start with nothing after: its
        // border is the only one, the search's answer (lists grown with
        // t[#t + 1] = v: bench/lua/strings spent 15% of its time in the
        // search). After a rebuild it is worked out once, at the first #
        // (a list that grows doubles its size at each rebuild, so this
        // stays linear).
        if (t->lenhint == LUAH_LEN_LATER) t->lenhint = denseborder(t);
        if (t->lenhint >= 0) return t->lenhint;
        // there is a border in the array part: binary search for it
        unsigned int i = 0;
        while (j - i > 1) {
            unsigned int m = (i + j) / 2;
            if (ttisnil(&t->array[m - 1])) j = m;
            else i = m;
        }
        return int(i);
    }
    if (isdummy(t)) return int(j);  // no hash part
    return unbound_search(t, j);
}
