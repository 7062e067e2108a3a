// The garbage collector: weak tables and finalizers against stock Lua,
// bounded memory for programs that make garbage, collections at every
// opportunity leaving every test program's output unchanged, lua_gc.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lua_test_util.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const fs::path kDiffDir = fs::path(VEXEL_SOURCE_DIR) / "tests/lua/diff";

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<fs::path> programs_in(const fs::path& dir) {
    std::vector<fs::path> v;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".lua") v.push_back(e.path());
    return v;
}

// A state with printh (collected into *sink, which outlives the state so
// that finalizers run by lua_close can print) and collect().
struct GcState : lua_test::State {
    explicit GcState(std::string* sink) {
        lua_pushlightuserdata(L, sink);
        lua_pushcclosure(L, printh_fn, 1);
        lua_setglobal(L, "printh");
        lua_register(L, "collect", [](lua_State* L) {
            lua_gc(L, LUA_GCCOLLECT, 0);
            return 0;
        });
    }
    static int printh_fn(lua_State* L) {
        auto* s = static_cast<std::string*>(lua_touserdata(L, lua_upvalueindex(1)));
        lua_settop(L, 1);
        *s += luaB_pushtostr(L, 1, false);
        *s += '\n';
        return 0;
    }
};

std::string stock_output(const fs::path& program) {
    std::string out;
    std::string cmd = "lua5.2 " + (kDiffDir / "stock_co_driver.lua").string() + " " + program.string() + " " +
                      (kDiffDir / "co_prelude.lua").string();
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

TEST(LuaGc, WeakTablesAndFinalizersAsStockLua) {
    if (std::system("lua5.2 -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "lua5.2 is not installed";
    std::string prelude = slurp(kDiffDir / "co_prelude.lua");
    int programs = 0;
    for (const fs::path& program : programs_in(kDiffDir / "gcprograms")) {
        SCOPED_TRACE(program.filename().string());
        std::string out;
        {
            GcState s(&out);
            EXPECT_EQ(s.run(prelude + slurp(program), "=prog"), LUA_OK) << s.error;
        }  // closing runs the last finalizers
        EXPECT_EQ(out, stock_output(program));
        EXPECT_GT(out.size(), 20u);
        programs++;
    }
    EXPECT_GE(programs, 2);
}

// Every test program prints the same when the collector runs at every
// point it may (pause 0), in big steps or in the smallest ones, so that a
// cycle is spread thinly over the program: nothing live is ever collected,
// whatever the program changes while a cycle is under way. (The programs
// about weak tables and finalizers show when collections happen, so they
// are left out, and so is boundary.lua: every Lua call is a collection
// point, so its runaway recursion would run a whole cycle over an ever
// deeper stack at each of its hundreds of thousands of calls.)
TEST(LuaGc, CollectingAtEveryOpportunityChangesNothing) {
    std::string helpers = slurp(kDiffDir / "helpers.lua");
    std::string prelude = slurp(kDiffDir / "co_prelude.lua");
    std::vector<fs::path> all = programs_in(kDiffDir / "programs");
    for (const fs::path& p : programs_in(kDiffDir / "coprograms")) all.push_back(p);
    for (const fs::path& program : all) {
        if (program.filename() == "boundary.lua") continue;
        SCOPED_TRACE(program.filename().string());
        std::string code = helpers + prelude + slurp(program);
        std::string plain;
        {
            GcState s(&plain);
            lua_gc(s.L, LUA_GCSTOP, 0);
            EXPECT_EQ(s.run(code, "=prog"), LUA_OK) << s.error;
        }
        const int configs[][2] = {{0, 200}, {0, 40}, {0, 1000000}};
        for (const auto& c : configs) {
            SCOPED_TRACE("pause " + std::to_string(c[0]) + " stepmul " + std::to_string(c[1]));
            std::string eager;
            {
                GcState s(&eager);
                lua_gc(s.L, LUA_GCSETPAUSE, c[0]);
                lua_gc(s.L, LUA_GCSETSTEPMUL, c[1]);
                EXPECT_EQ(s.run(code, "=prog"), LUA_OK) << s.error;
            }
            EXPECT_EQ(eager, plain);
        }
    }
}

// Under a tight memory ceiling allocations fail all over the interpreter
// and emergency collections run at those points: a program either prints
// what it prints with plenty of memory or stops with "not enough memory"
// (or a coroutine reports that error and the program goes on).
TEST(LuaGc, EmergencyCollectionsUnderAMemoryCeiling) {
    std::string helpers = slurp(kDiffDir / "helpers.lua");
    std::string prelude = slurp(kDiffDir / "co_prelude.lua");
    std::vector<fs::path> all = programs_in(kDiffDir / "programs");
    for (const fs::path& p : programs_in(kDiffDir / "coprograms")) all.push_back(p);
    int stopped = 0, finished = 0;
    for (const fs::path& program : all) {
        SCOPED_TRACE(program.filename().string());
        std::string code = helpers + prelude + slurp(program);
        std::string plain;
        {
            GcState s(&plain);
            ASSERT_EQ(s.run(code, "=prog"), LUA_OK) << s.error;
        }
        for (long long limit : {40000LL, 60000LL, 90000LL, 150000LL, 400000LL}) {
            SCOPED_TRACE(limit);
            std::string out;
            lua_test::Heap heap;
            heap.limit = limit;
            lua_State* L = lua_newstate(lua_test::counting_alloc, &heap);
            if (L == nullptr) continue;
            luaB_open_cart_base(L);
            lua_pushlightuserdata(L, &out);
            lua_pushcclosure(L, GcState::printh_fn, 1);
            lua_setglobal(L, "printh");
            int status = luaL_loadbuffer(L, code.data(), code.size(), "=prog");
            if (status == LUA_OK) status = lua_pcall(L, 0, 0, 0);
            // A coroutine may have caught the memory error and gone on.
            bool caught = out.find("not enough memory") != std::string::npos;
            if (status == LUA_OK) {
                if (!caught) {
                    EXPECT_EQ(out, plain);
                }
                finished++;
            } else {
                const char* m = lua_tostring(L, -1);
                std::string msg = m ? m : "";
                EXPECT_TRUE(status == LUA_ERRMEM || msg.find("not enough memory") != std::string::npos ||
                            msg.find("out of memory") != std::string::npos)
                    << status << " " << msg;
                if (!caught) {
                    EXPECT_EQ(out, plain.substr(0, out.size()));
                }
                stopped++;
            }
            // The collector's count of the bytes in use stays exact through
            // refused allocations and the collections and retries after them.
            EXPECT_EQ(lua_gc(L, LUA_GCCOUNT, 0) * 1024LL + lua_gc(L, LUA_GCCOUNTB, 0), heap.bytes);
            lua_close(L);
            EXPECT_EQ(heap.bytes, 0);
        }
    }
    EXPECT_GT(stopped, 0);
    EXPECT_GT(finished, 0);
}

// Long-running programs that make garbage of every kind stay within a
// fixed amount of memory.
TEST(LuaGc, GarbageMakingLoopsStayBounded) {
    const char* programs[] = {
        "for i = 1, 200000 do local t = {i, i + 1, x = i} end",
        "local s = '' for i = 1, 20000 do s = 'abc' .. i .. 'def' .. (i * 3) end",
        "for i = 1, 50000 do local f = function() return i end f() end",
        "for i = 1, 20000 do local co = cocreate(function(a) yield(a) return a end) coresume(co, i) coresume(co) end",
        "for i = 1, 20000 do local co = cocreate(function(a) yield(a) end) coresume(co, i) end",  // left suspended
        "local keep = {} for i = 1, 100000 do keep[i % 100 + 1] = {i} end",
        "for i = 1, 20000 do setmetatable({}, {__gc = function(o) local x = {o} end}) end",
        "local w = setmetatable({}, {__mode = 'k'}) for i = 1, 50000 do w[{}] = {} end",
    };
    for (const char* code : programs) {
        SCOPED_TRACE(code);
        lua_test::State s;
        long long start = s.bytes();
        ASSERT_EQ(s.run(code), LUA_OK) << s.error;
        EXPECT_LT(s.bytes() - start, 4 << 20);
        EXPECT_LT(lua_gc(s.L, LUA_GCCOUNT, 0), 4096);
    }
}

TEST(LuaGc, ControlsOfTheCollector) {
    lua_test::State s;
    EXPECT_EQ(lua_gc(s.L, LUA_GCISRUNNING, 0), 1);
    EXPECT_EQ(lua_gc(s.L, LUA_GCSETPAUSE, 150), 200);
    EXPECT_EQ(lua_gc(s.L, LUA_GCSETPAUSE, 200), 150);
    EXPECT_EQ(lua_gc(s.L, LUA_GCSETSTEPMUL, 300), 200);
    lua_gc(s.L, LUA_GCSTOP, 0);
    EXPECT_EQ(lua_gc(s.L, LUA_GCISRUNNING, 0), 0);
    // Stopped: garbage piles up until a collection is asked for.
    ASSERT_EQ(s.run("for i = 1, 20000 do local t = {i} end"), LUA_OK);
    int kb = lua_gc(s.L, LUA_GCCOUNT, 0);
    EXPECT_GT(kb, 500);
    EXPECT_EQ(lua_gc(s.L, LUA_GCCOUNTB, 0), int((s.bytes()) & 0x3ff));
    lua_gc(s.L, LUA_GCCOLLECT, 0);
    EXPECT_LT(lua_gc(s.L, LUA_GCCOUNT, 0), kb / 10);
    EXPECT_EQ(lua_gc(s.L, LUA_GCISRUNNING, 0), 0);  // a collection does not restart it
    ASSERT_EQ(s.run("for i = 1, 20000 do local t = {i} end"), LUA_OK);
    // A step does a little of a cycle; steps go on until one ends it.
    int steps = 1;
    while (lua_gc(s.L, LUA_GCSTEP, 0) == 0) ASSERT_LT(++steps, 100000);
    EXPECT_GT(steps, 10);
    EXPECT_LT(lua_gc(s.L, LUA_GCCOUNT, 0), kb / 10);
    // A big step ends a cycle at once.
    ASSERT_EQ(s.run("for i = 1, 20000 do local t = {i} end"), LUA_OK);
    EXPECT_EQ(lua_gc(s.L, LUA_GCSTEP, 1 << 20), 1);
    EXPECT_LT(lua_gc(s.L, LUA_GCCOUNT, 0), kb / 10);
    lua_gc(s.L, LUA_GCRESTART, 0);
    EXPECT_EQ(lua_gc(s.L, LUA_GCISRUNNING, 0), 1);
    EXPECT_EQ(lua_gc(s.L, 12345, 0), -1);
}

// A finalizer's error reaches a protected caller as Lua 5.2.3 reports it;
// with no protected caller (the host collecting between frames) the host's
// gc-error hook is told, with the failing line, and the host carries on.
std::string gc_hook_seen;
int gc_hook_line = 0;

TEST(LuaGc, FinalizerErrors) {
    std::string out;
    GcState s(&out);
    ASSERT_EQ(s.run("setmetatable({}, {__gc = function() local x = nil + 1 end})"), LUA_OK);
    EXPECT_EQ(s.run("collect()"), LUA_ERRGCMM);
    EXPECT_EQ(s.error, "error in __gc metamethod (attempt to perform arithmetic on a nil value)");
    gc_hook_seen.clear();
    lua_set_gc_error_hook(s.L, [](lua_State* L, const char* message) {
        gc_hook_seen += message;
        gc_hook_line = lua_vexel_runtime_line(L);
    });
    ASSERT_EQ(s.run("setmetatable({}, {__gc = function()\n local x = nil + 1 end}) printh('made')"), LUA_OK);
    lua_gc(s.L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(lua_gettop(s.L), 0);
    EXPECT_EQ(gc_hook_seen, "attempt to perform arithmetic on a nil value");
    EXPECT_EQ(gc_hook_line, 2);
    ASSERT_EQ(s.run("printh('still fine')"), LUA_OK);
    EXPECT_EQ(out, "made\nstill fine\n");
    // At the close too.
    gc_hook_seen.clear();
    ASSERT_EQ(s.run("keep = setmetatable({}, {__gc = function() assert(false, 'at close') end})"), LUA_OK);
    lua_close(s.L);
    s.L = nullptr;
    EXPECT_NE(gc_hook_seen.find("at close"), std::string::npos);
}

// Collections while the main thread is suspended in a program (as the
// runner collects between frames) keep everything the program still uses.
TEST(LuaGc, CollectingBetweenSlicesKeepsTheSuspendedProgram) {
    std::string out;
    GcState s(&out);
    lua_register(s.L, "flip", [](lua_State* L) { return lua_yield(L, 0); });
    const char* code = R"(
        local items = {}
        for f = 1, 30 do
          items[f] = {f, tostr(f) .. "x", function() return f end}
          local tmp = {} for i = 1, 50 do tmp[i] = {i} end
          flip()
        end
        local sum = 0
        for i = 1, 30 do sum = sum + items[i][1] + items[i][3]() + #items[i][2] end
        printh(sum)
    )";
    ASSERT_EQ(luaL_loadbuffer(s.L, code, std::strlen(code), "=prog"), LUA_OK);
    lua_gc(s.L, LUA_GCSTOP, 0);
    int status;
    do {
        lua_gc(s.L, LUA_GCCOLLECT, 0);
        status = lua_resume(s.L, nullptr, 0);
    } while (status == LUA_YIELD);
    ASSERT_EQ(status, LUA_OK) << lua_tostring(s.L, -1);
    EXPECT_EQ(out, "1011\n");
}

}  // namespace

// Stores through the C API into old objects while a cycle is always under
// way in small steps: raw sets, a C closure's upvalues (lua_setupvalue and
// lua_replace from inside it), a Lua closure's upvalue, user values and
// metatables. Each store goes to its own old object, which then lives
// through many cycles: a stored object the collector missed would be freed
// and read afterwards (the sanitizer build sees it).
TEST(LuaGc, ApiStoresIntoOldObjectsKeepTheirValues) {
    constexpr int kRounds = 300;
    lua_test::State s;
    lua_State* L = s.L;
    ASSERT_EQ(s.run("lfs = {} for i = 1, 300 do local up = 0 lfs[i] = function() return up end end"), LUA_OK);
    lua_newtable(L);  // 1: the old objects
    for (int r = 1; r <= kRounds; r++) {
        lua_newuserdata(L, 8);
        lua_rawseti(L, 1, r);
        lua_pushnil(L);
        lua_pushnil(L);
        lua_pushcclosure(L, [](lua_State* L1) {
            lua_newtable(L1);
            lua_pushvalue(L1, 1);
            lua_rawseti(L1, -2, 1);
            lua_replace(L1, lua_upvalueindex(2));  // {argument} into the second upvalue
            return 0;
        }, 2);
        lua_rawseti(L, 1, kRounds + r);
    }
    lua_getglobal(L, "lfs");  // 2
    lua_gc(L, LUA_GCCOLLECT, 0);
    lua_gc(L, LUA_GCSETPAUSE, 0);
    lua_gc(L, LUA_GCSETSTEPMUL, 40);
    auto garbage = [L] {
        for (int j = 0; j < 50; j++) {
            lua_newtable(L);
            lua_pushstring(L, "garbage garbage garbage garbage garbage garbage");
            lua_rawseti(L, -2, 1);
            lua_pop(L, 1);
        }
    };
    auto tagged = [L](const std::string& tag) {  // pushes {tag = tag}
        lua_newtable(L);
        lua_pushstring(L, tag.c_str());
        lua_setfield(L, -2, "tag");
    };
    for (int r = 1; r <= kRounds; r++) {
        std::string tag = "v" + std::to_string(r);
        lua_rawgeti(L, 1, r);  // userdata
        tagged(tag);
        lua_setuservalue(L, -2);
        lua_newtable(L);
        tagged(tag + "m");
        lua_setfield(L, -2, "__index");
        lua_setmetatable(L, -2);
        lua_pop(L, 1);
        lua_rawgeti(L, 1, kRounds + r);  // C closure
        lua_pushstring(L, tag.c_str());
        lua_setupvalue(L, -2, 1);
        lua_pushstring(L, (tag + "r").c_str());
        lua_call(L, 1, 0);
        lua_rawgeti(L, 2, r);  // Lua closure
        tagged(tag);
        lua_setupvalue(L, -2, 1);
        lua_pop(L, 1);
        lua_pushstring(L, (tag + "k").c_str());
        lua_pushstring(L, (tag + "v").c_str());
        lua_rawset(L, 1);  // new key and value in the old table
        garbage();
    }
    for (int i = 0; i < 3; i++) {
        garbage();
        lua_gc(L, LUA_GCCOLLECT, 0);
    }
    auto field_is = [L](const char* field, const std::string& want) {
        lua_getfield(L, -1, field);
        EXPECT_EQ(std::string(lua_tostring(L, -1) ? lua_tostring(L, -1) : "(none)"), want);
        lua_pop(L, 2);  // the field and its table
    };
    for (int r = 1; r <= kRounds; r++) {
        SCOPED_TRACE(r);
        std::string tag = "v" + std::to_string(r);
        lua_rawgeti(L, 1, r);
        lua_getuservalue(L, -1);
        field_is("tag", tag);
        field_is("tag", tag + "m");  // through the metatable's __index
        lua_rawgeti(L, 1, kRounds + r);
        lua_getupvalue(L, -1, 1);
        EXPECT_EQ(std::string(lua_tostring(L, -1)), tag);
        lua_pop(L, 1);
        lua_getupvalue(L, -1, 2);
        lua_rawgeti(L, -1, 1);
        EXPECT_EQ(std::string(lua_tostring(L, -1)), tag + "r");
        lua_pop(L, 3);
        lua_rawgeti(L, 2, r);
        lua_getupvalue(L, -1, 1);
        field_is("tag", tag);
        lua_pop(L, 1);
        lua_pushstring(L, (tag + "k").c_str());
        lua_rawget(L, 1);
        EXPECT_EQ(std::string(lua_tostring(L, -1)), tag + "v");
        lua_pop(L, 1);
    }
}
