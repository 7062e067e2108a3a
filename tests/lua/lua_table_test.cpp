// Tables and strings of the interpreter, checked against simple models:
// the integer-key rule of the dialect, lookups through rehashes, traversal
// with next, the border search, and string interning.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "lua_oracle_harness.h"
#include "lua/lua_state.h"
#include "lua/lua_string.h"
#include "lua/lua_table.h"
#include "lua_test_util.h"

namespace {

class LuaTableModel : public testing::Test {
protected:
    void SetUp() override { L = luaL_newstate(); }
    void TearDown() override { lua_close(L); }
    Table* fresh() {
        Table* t = luaH_new(L);
        sethvalue(L, L->top, t);  // keep it on the stack
        L->top++;
        return t;
    }
    void set(Table* t, lua_Number k, lua_Number v) {
        TValue key, val;
        setnvalue(&key, k);
        setnvalue(&val, v);
        luaH_setvalue(L, t, &key, &val);
    }
    const TValue* get(Table* t, lua_Number k) {
        TValue key;
        setnvalue(&key, k);
        return luaH_get(t, &key);
    }
    lua_State* L = nullptr;
};

TEST_F(LuaTableModel, IntegerKeysAreTheWholeNumbersOneTo32767) {
    EXPECT_EQ(1, luaH_intkey(0x10000));
    EXPECT_EQ(32767, luaH_intkey(0x7fff0000));
    EXPECT_EQ(0, luaH_intkey(0));
    EXPECT_EQ(0, luaH_intkey(-0x10000));
    EXPECT_EQ(0, luaH_intkey(0x18000));  // 1.5
    EXPECT_EQ(0, luaH_intkey(0x7fff8000));
    EXPECT_EQ(0, luaH_intkey(INT32_MIN));
    Table* t = fresh();
    for (int i = 1; i <= 64; i++) set(t, int_to_fix(i), i);
    set(t, 0, 100);
    set(t, -0x10000, 101);
    set(t, 0x8000, 102);
    set(t, INT32_MIN, 103);
    EXPECT_GT(t->sizearray, 32) << "dense integer keys go to the array part";
    for (int i = 1; i <= 64; i++) EXPECT_EQ(i, nvalue(luaH_getint(t, i)));
    EXPECT_EQ(100, nvalue(get(t, 0)));
    EXPECT_EQ(101, nvalue(get(t, -0x10000)));
    EXPECT_EQ(102, nvalue(get(t, 0x8000)));
    EXPECT_EQ(103, nvalue(get(t, INT32_MIN)));
    EXPECT_EQ(64, luaH_getn(t));
}

// Random keys of every kind, inserted, overwritten and deleted across many
// rehashes, always read back as a std::map says.
TEST_F(LuaTableModel, LookupsSurviveRehashes) {
    Table* t = fresh();
    std::map<lua_Number, lua_Number> model;
    std::mt19937 rng(7);
    for (int step = 0; step < 20000; step++) {
        lua_Number k;
        switch (rng() % 4) {
        case 0: k = int_to_fix(int(rng() % 300) + 1); break;  // integer keys
        case 1: k = lua_Number(rng()); break;                  // anything
        case 2: k = -int_to_fix(int(rng() % 300)); break;      // zero and negatives
        default: k = lua_Number(rng() % 0x40000); break;       // small fractions
        }
        if (rng() % 5 == 0) {
            TValue key;
            setnvalue(&key, k);
            const TValue* slot = luaH_get(t, &key);
            if (slot != luaO_nilobject) setnilvalue(const_cast<TValue*>(slot));
            model.erase(k);
        } else {
            set(t, k, step);
            model[k] = step;
        }
    }
    for (auto [k, v] : model) {
        const TValue* got = get(t, k);
        ASSERT_TRUE(ttisnumber(got)) << k;
        EXPECT_EQ(v, nvalue(got)) << k;
    }
    // next visits every live key once, array keys as whole numbers
    std::set<lua_Number> seen;
    StkId key = L->top;
    setnilvalue(key);
    L->top += 2;
    while (luaH_next(L, t, key)) {
        if (ttisnil(key + 1)) continue;
        EXPECT_TRUE(seen.insert(nvalue(key)).second) << "key twice: " << nvalue(key);
        EXPECT_TRUE(model.count(nvalue(key))) << nvalue(key);
    }
    L->top -= 2;
    EXPECT_EQ(model.size(), seen.size());
}

TEST_F(LuaTableModel, BorderSearch) {
    Table* t = fresh();
    EXPECT_EQ(0, luaH_getn(t));
    for (int i = 1; i <= 10; i++) set(t, int_to_fix(i), i);
    EXPECT_EQ(10, luaH_getn(t));
    TValue nil;
    setnilvalue(&nil);
    luaH_setint(L, t, 10, &nil);
    EXPECT_EQ(9, luaH_getn(t));
    // Keys only in the hash part: powers of two, plus the keys that integer
    // indices past 32767 would wrap to. The search must stop at 32767.
    Table* h = fresh();
    for (int i = 1; i <= 16384; i *= 2) set(h, int_to_fix(i), 1);
    set(h, INT32_MIN, 1);
    set(h, 0, 1);
    int n = luaH_getn(h);
    EXPECT_TRUE(n == 0 || (ttisnumber(luaH_getint(h, n)) && ttisnil(luaH_getint(h, n + 1)))) << n;
    Table* full = fresh();
    for (int i = 1; i <= 32767; i++) set(full, int_to_fix(i), 1);
    EXPECT_EQ(32767, luaH_getn(full));
    EXPECT_LE(full->sizearray, 32767);
}

// # of the table at stack index 1 found by the border search alone, as if
// the table's length hint were unknown.
int searched_length(lua_State* L) {
    Table* t = hvalue(L->ci->func + 1);
    const int hint = t->lenhint;
    t->lenhint = LUAH_LEN_UNKNOWN;
    const int n = luaH_getn(t);
    t->lenhint = hint;
    lua_pushnumber(L, int_to_fix(n));
    return 1;
}

// The length hint (an array part filled from the start, nothing after) is
// kept through every way a program stores into a table, and # answers what
// the border search alone would: appends, removals from the end, holes
// made and filled, nil stored over values, constructors with and without
// nils, keys in the hash part, rebuilds as the table grows and shrinks.
TEST(LuaTableLength, TheHintAnswersAsTheSearch) {
    lua_test::State s;
    lua_register(s.L, "searched", searched_length);
    const std::string code = R"(
        local seed = 7
        local function rnd(n) seed = (seed * 17 + 11) % 1009 return seed % n + 1 end
        local function nils(...) return ... end
        local checks, wrong, hinted = 0, 0, 0
        local function check(t)
          checks = checks + 1
          if #t ~= searched(t) then wrong = wrong + 1 end
        end
        for trial = 1, 120 do
          local t
          local start = rnd(6)
          if start == 1 then t = {1, 2, 3}
          elseif start == 2 then t = {nil, 2}
          elseif start == 3 then t = {nils(1, nil, 3)}
          elseif start == 4 then t = {nils(1, 2, 3, 4, 5, 6)}
          elseif start == 5 then t = {1, 2, 3, 4, 5, 6, 7, 8, x = 1}
          else t = {} end
          check(t)
          for step = 1, 120 do
            local r = rnd(13)
            if r <= 4 then t[#t + 1] = step
            elseif r == 5 then t[#t] = nil
            elseif r == 6 then t[rnd(24)] = nil
            elseif r == 7 then t[rnd(24)] = step
            elseif r == 8 then t[#t + 2] = step
            elseif r == 9 then
              local k = rnd(24)
              if t[k] ~= nil then t[k] = -step end
            elseif r == 10 then t["k" .. rnd(6)] = step
            elseif r == 11 then
              for i = #t, 1, -1 do if i % 3 == 0 then t[i] = nil end end
            elseif r == 12 then
              for i = #t, 1, -1 do t[i] = nil end
            else
              local n = #t
              for i = 1, n do t[i] = t[i] or 0 end
            end
            check(t)
          end
        end
        out(checks .. " " .. wrong)
    )";
    ASSERT_EQ(s.run(code), LUA_OK) << s.error;
    EXPECT_EQ(s.out, "14520 0\n");
}

// The same through the C functions that store into tables.
TEST_F(LuaTableModel, TheLengthHintFollowsStoresThroughTheApi) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 200; trial++) {
        lua_newtable(L);
        Table* t = hvalue(L->top - 1);
        for (int step = 0; step < 100; step++) {
            const int k = int(rng() % 40) + 1;
            const bool nil = rng() % 4 == 0;
            if (nil) lua_pushnil(L); else lua_pushnumber(L, int_to_fix(step + 1));
            if (rng() % 2) {
                lua_rawseti(L, -2, k);
            } else {
                lua_pushnumber(L, int_to_fix(k));
                lua_insert(L, -2);
                lua_rawset(L, -3);
            }
            if (rng() % 16 == 0) luaH_resizearray(L, t, t->sizearray + int(rng() % 8));  // as SETLIST grows it
            const int got = luaH_getn(t);
            const int hint = t->lenhint;
            t->lenhint = LUAH_LEN_UNKNOWN;
            ASSERT_EQ(got, luaH_getn(t)) << "trial " << trial << " step " << step;
            t->lenhint = hint;
        }
        lua_pop(L, 1);
    }
}

TEST_F(LuaTableModel, ShortStringsAreInternedLongOnesCompareByContents) {
    std::string s40(40, 'a'), s41(41, 'a');
    TString* a = luaS_newlstr(L, s40.data(), s40.size());
    TString* b = luaS_newlstr(L, s40.data(), s40.size());
    EXPECT_EQ(a, b);
    EXPECT_EQ(LUA_TSHRSTR, a->tt);
    TString* c = luaS_newlstr(L, s41.data(), s41.size());
    TString* d = luaS_newlstr(L, s41.data(), s41.size());
    EXPECT_NE(c, d);
    EXPECT_EQ(LUA_TLNGSTR, c->tt);
    EXPECT_TRUE(luaS_eqstr(c, d));
    // equal long strings are one table key
    Table* t = fresh();
    TValue k1, k2, v;
    setsvalue(L, &k1, c);
    setsvalue(L, &k2, d);
    setnvalue(&v, 5);
    luaH_setvalue(L, t, &k1, &v);
    EXPECT_EQ(5, nvalue(luaH_get(t, &k2)));
    // embedded zeros are part of a string
    TString* z1 = luaS_newlstr(L, "a\0b", 3);
    TString* z2 = luaS_newlstr(L, "a\0c", 3);
    EXPECT_NE(z1, z2);
    // many strings grow the string table and stay findable
    std::vector<TString*> all;
    for (int i = 0; i < 5000; i++) all.push_back(luaS_new(L, ("s" + std::to_string(i)).c_str()));
    for (int i = 0; i < 5000; i++) EXPECT_EQ(all[size_t(i)], luaS_new(L, ("s" + std::to_string(i)).c_str()));
}

// Lexical details seen through what compiled code produces.
TEST(LuaLexer, LongBracketsEscapesAndLines) {
    lua_oracle::Run r = lua_oracle::run(
        "printh([==[a]]b]=]c]==]) printh([[\nfirst newline skipped]]) "
        "--[==[ comment ]] still ]==] printh('\\65\\0661\\x41\\z   \n   B') "
        "printh(#'\\0\\00\\000') printh('a\\\nb') printh(\"\\'\\\"\\\\\") "
        "printh(0xA.8) printh(1e1) printh(.5) printh(3 .. 4)");
    EXPECT_EQ(LUA_OK, r.status) << r.err;
    EXPECT_EQ("a]]b]=]c\nfirst newline skipped\nAB1AB\n3\na\nb\n'\"\\\n10.5\n10\n0.5\n34\n", r.out);
    // \r\n, \n\r, \r and \n each end one line
    lua_oracle::Run lines = lua_oracle::run("a = 1\r\nb = 2\n\rc = 3\rd = 4\ne = nil + 1");
    EXPECT_EQ(5, lines.runtime_line) << lines.err;
}

}  // namespace
