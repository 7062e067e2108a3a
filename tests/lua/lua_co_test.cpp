// Coroutines, yields from C functions and from the count hook, resuming the
// main thread as the program runner does, the CPU-budget hooks and `trace`.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lua_test_util.h"
#include "lua/lua_co.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const fs::path kDiffDir = fs::path(VEXEL_SOURCE_DIR) / "tests/lua/diff";
const fs::path kVexelLua = fs::path(VEXEL_BINARY_DIR) / "vexel-lua";

std::string slurp(const fs::path& p) { return vexel_test::read_file(p.string()); }

// ---- the runner's way of running a program: resume the main thread ----

// A state whose printh collects output, as vexel-lua's prints it.
struct Machine : lua_test::State {
    Machine() {
        lua_pushlightuserdata(L, &out);
        lua_pushcclosure(L, printh_fn, 1);
        lua_setglobal(L, "printh");
    }
    static int printh_fn(lua_State* L) {
        auto* s = static_cast<std::string*>(lua_touserdata(L, lua_upvalueindex(1)));
        lua_settop(L, 1);
        *s += luaB_pushtostr(L, 1, false);
        *s += '\n';
        return 0;
    }
};

int g_hook_calls = 0;
bool g_yield_only_when_possible = true;
// Yields as the runner's budget hook does: the running thread and every
// coroutine resuming it, when none of them is inside a call that cannot
// yield.
void yielding_hook(lua_State* L, lua_Debug*) {
    g_hook_calls++;
    if (!g_yield_only_when_possible || lua_vexel_canyieldall(L)) lua_yield(L, 0);
}

struct SliceResult {
    int status = -1;
    int slices = 0;
    std::string error;
};

// Loads code as the program and resumes the main thread until it finishes,
// with a count hook that yields every `every` instructions (0: no hook).
SliceResult run_sliced(lua_State* L, const std::string& code, int every, int max_slices = 10000000) {
    SliceResult r;
    if (luaL_loadbuffer(L, code.data(), code.size(), "=prog") != LUA_OK) {
        r.error = lua_tostring(L, -1);
        return r;
    }
    g_hook_calls = 0;
    if (every > 0) lua_sethook(L, yielding_hook, LUA_MASKCOUNT, every);
    do {
        r.status = lua_resume(L, nullptr, 0);
        r.slices++;
    } while (r.status == LUA_YIELD && r.slices < max_slices);
    lua_sethook(L, nullptr, 0, 0);
    if (r.status != LUA_OK && r.status != LUA_YIELD) {
        const char* m = lua_tostring(L, -1);
        r.error = m ? m : "(no message)";
    }
    return r;
}

std::vector<fs::path> programs_in(const fs::path& dir) {
    std::vector<fs::path> v;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".lua") v.push_back(e.path());
    return v;
}

// ---- differential tests against stock Lua ----

TEST(LuaCoroutines, ProgramsPrintAsStockLua) {
    if (std::system("lua5.2 -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "lua5.2 is not installed";
    ASSERT_TRUE(fs::exists(kVexelLua));
    fs::path tmp = vexel_test::temp_dir("lua_co_diff");
    std::string prelude = slurp(kDiffDir / "co_prelude.lua");
    int programs = 0;
    for (const fs::path& program : programs_in(kDiffDir / "coprograms")) {
        SCOPED_TRACE(program.filename().string());
        // vexel-lua runs one file: the prelude goes in front (it is one line
        // of globals per function, so the line numbers shift alike).
        fs::path joined = tmp / program.filename();
        std::ofstream(joined) << prelude << slurp(program);
        int vs = -1, ss = -1;
        std::string v = vexel_test::command_output(kVexelLua.string() + " " + joined.string() + " 2>&1", &vs);
        std::string s = vexel_test::command_output("lua5.2 " + (kDiffDir / "stock_co_driver.lua").string() + " " +
                                        program.string() + " " + (kDiffDir / "co_prelude.lua").string() + " 2>&1",
                                    &ss);
        EXPECT_EQ(vs, 0) << v;
        EXPECT_EQ(ss, 0) << s;
        EXPECT_EQ(v, s);
        EXPECT_GT(v.size(), 20u);
        programs++;
    }
    EXPECT_GE(programs, 4);
}

// Every test program gives the same output when the count hook yields every
// few instructions (the main thread and every coroutine resuming the one
// running) and the host resumes it each time: hook yields land in the
// middle of expressions, calls, loops, metamethods and coroutines and must
// leave no trace.
TEST(LuaCoroutines, HookYieldsEveryFewInstructionsChangeNothing) {
    std::string helpers = slurp(kDiffDir / "helpers.lua");
    std::string prelude = slurp(kDiffDir / "co_prelude.lua");
    std::vector<fs::path> all = programs_in(kDiffDir / "programs");
    for (const fs::path& p : programs_in(kDiffDir / "coprograms")) all.push_back(p);
    ASSERT_GE(all.size(), 8u);
    for (const fs::path& program : all) {
        SCOPED_TRACE(program.filename().string());
        std::string code = helpers + prelude + slurp(program);
        Machine plain;
        SliceResult base = run_sliced(plain.L, code, 0);
        ASSERT_EQ(base.status, LUA_OK) << base.error;
        ASSERT_EQ(base.slices, 1);
        // boundary.lua nests coroutines two hundred deep, and each hook
        // yield suspends and re-enters that whole chain: a yield after every
        // instruction would take minutes there.
        const bool deep = program.filename() == "boundary.lua";
        for (int every : deep ? std::vector<int>{97, 1024} : std::vector<int>{1, 3, 1024}) {
            SCOPED_TRACE(every);
            Machine m;
            SliceResult r = run_sliced(m.L, code, every);
            EXPECT_EQ(r.status, LUA_OK) << r.error;
            EXPECT_EQ(m.out, plain.out);
            if (every == 1 && !plain.out.empty()) {
                EXPECT_GT(r.slices, 10);
            }
        }
    }
}

// A generator written in Lua runs in the loop that calls it, and its return
// finishes the OP_TFORCALL together with the OP_TFORLOOP after it, which is
// not counted on its own. A hook yield inside the generator hands the rest
// to the resume, which counts that OP_TFORLOOP as an instruction: exactly
// one more instruction per yield inside a generator, as when generators
// were always called through a C call.
int g_counted = 0;
void count_every_instruction(lua_State*, lua_Debug*) { g_counted++; }

TEST(LuaCoroutines, HookYieldInsideAGeneratorCountsItsLoopStepOnce) {
    const std::string code =
        "local function gen(n) local i = 0 return function() i = i + 1 if i <= n then return i end end end\n"
        "local s = 0\n"
        "for v in gen(10) do s = s + v end\n"
        "printh(s)\n";
    Machine counted;
    g_counted = 0;
    ASSERT_EQ(luaL_loadbuffer(counted.L, code.data(), code.size(), "=prog"), LUA_OK);
    lua_sethook(counted.L, count_every_instruction, LUA_MASKCOUNT, 1);
    ASSERT_EQ(lua_pcall(counted.L, 0, 0, 0), LUA_OK);
    lua_sethook(counted.L, nullptr, 0, 0);
    EXPECT_EQ(counted.out, "55\n");
    const int plain = g_counted;

    // A yield before every instruction: each of the 11 generator calls
    // (10 values and the end) yields inside the generator.
    Machine sliced;
    SliceResult r = run_sliced(sliced.L, code, 1);
    ASSERT_EQ(r.status, LUA_OK) << r.error;
    EXPECT_EQ(sliced.out, "55\n");
    EXPECT_EQ(g_hook_calls, plain + 11);

    // Yields that never land inside the generator change nothing.
    Machine rare;
    r = run_sliced(rare.L, code, 1000000);
    ASSERT_EQ(r.status, LUA_OK) << r.error;
    EXPECT_EQ(r.slices, 1);
}

// coresume and the yields under other names: the same functions reached
// through a C call, which the instruction loop does not recognise, so every
// resume takes the way through lua_resume and every yield is a C call.
int coresume_through_c(lua_State* L) { return luaB_coresume(L); }
int yield_through_c(lua_State* L) { return luaB_yield(L); }
int yieldnothing_through_c(lua_State* L) { return luaB_yieldnothing(L); }
// callback(f): calls f from C without a continuation (no yield gets out).
int call_back(lua_State* L) {
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// Runs code twice, each in a fresh state that bind(L, second) prepares:
// the instructions the count hook sees and the output must be the same
// both ways, and so must the slices, hook calls and output when hook yields
// suspend the program every `every` instructions. Returns the count and
// the output of the first way.
struct BothWays {
    int count = 0;
    std::string out;
};
BothWays expect_same_both_ways(const std::string& code, void (*bind)(lua_State* L, bool second),
                               const std::vector<int>& everies) {
    int counts[2] = {};
    std::string outs[2];
    for (int second = 0; second < 2; ++second) {
        Machine m;
        bind(m.L, second == 1);
        EXPECT_EQ(luaL_loadbuffer(m.L, code.data(), code.size(), "=prog"), LUA_OK);
        g_counted = 0;
        lua_sethook(m.L, count_every_instruction, LUA_MASKCOUNT, 1);
        EXPECT_EQ(lua_pcall(m.L, 0, 0, 0), LUA_OK) << lua_tostring(m.L, -1);
        lua_sethook(m.L, nullptr, 0, 0);
        counts[second] = g_counted;
        outs[second] = m.out;
    }
    EXPECT_EQ(counts[0], counts[1]);
    EXPECT_EQ(outs[0], outs[1]);
    const BothWays first{counts[0], outs[0]};
    for (int every : everies) {
        SCOPED_TRACE(every);
        SliceResult r[2];
        int hooks[2] = {};
        for (int second = 0; second < 2; ++second) {
            Machine m;
            bind(m.L, second == 1);
            r[second] = run_sliced(m.L, code, every);
            hooks[second] = g_hook_calls;
            outs[second] = m.out;
        }
        EXPECT_EQ(r[0].status, LUA_OK) << r[0].error;
        EXPECT_EQ(r[0].slices, r[1].slices);
        EXPECT_EQ(hooks[0], hooks[1]);
        EXPECT_EQ(outs[0], outs[1]);
    }
    return first;
}

// The loop's own switches to and from coroutines are invisible to the CPU
// budget: every coroutine program counts the same instructions, yields to
// the host at the same points and prints the same as when every resume and
// every yield is a C call.
TEST(LuaCoroutines, SwitchesInsideTheLoopCountAsTheCCallsDid) {
    std::string prelude = slurp(kDiffDir / "helpers.lua") + slurp(kDiffDir / "co_prelude.lua");
    for (const fs::path& program : programs_in(kDiffDir / "coprograms")) {
        SCOPED_TRACE(program.filename().string());
        // boundary.lua nests coroutines two hundred deep: sliced every 97
        // instructions only.
        const bool deep = program.filename() == "boundary.lua";
        const BothWays r = expect_same_both_ways(
            prelude + slurp(program),
            [](lua_State* L, bool through_c) {
                if (through_c) {
                    lua_register(L, "coresume", coresume_through_c);
                    lua_register(L, "yield", yield_through_c);
                }
            },
            deep ? std::vector<int>{97} : std::vector<int>{2, 97});
        EXPECT_GT(r.count, 1000);
    }
}

// The console's yield passes nothing, whatever it is given, and the loop's
// own yield with it leaves the threads as the C call does: in every shape
// of call, inside a generator's loop, and under a C call without
// continuation, where the C call makes it and refuses it.
TEST(LuaCoroutines, YieldsPassingNothingSwitchInsideTheLoopAsTheCCallDoes) {
    const char* code = R"(
        local function show(...) local t = {...} local s = select('#', ...) .. ":"
          for i = 1, select('#', ...) do s = s .. " " .. tostr(t[i]) end printh(s) end
        local co = cocreate(function(a)
          local n = 0
          while n < 40 do
            n = n + 1
            local x, y = yield(n, a)
            show(x, y)
            show(yield())
            yield(n) yield(n, n)
          end
          return "done", n
        end)
        for i = 1, 170 do show(coresume(co, i, -i)) end
        local gen = cocreate(function()
          for k, v in function(_, k) if k < 5 then yield(k) return k + 1, k * k end end, nil, 0 do
            show(k, v)
          end
          return "gen done"
        end)
        for i = 1, 9 do show(coresume(gen)) end
        show(coresume(cocreate(function() return callback(function() yield(1) end) end)))
    )";
    const BothWays r = expect_same_both_ways(
        code,
        [](lua_State* L, bool through_c) {
            lua_register(L, "yield", through_c ? yieldnothing_through_c : luaB_yieldnothing);
            lua_register(L, "callback", call_back);
            if (through_c) lua_register(L, "coresume", coresume_through_c);
        },
        {1, 3, 50});
    EXPECT_GT(r.count, 5000);
    // The resumer sees true alone after every yield, and the values it
    // passes are yield's results.
    EXPECT_NE(r.out.find("1: true\n2: 2 -2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3: true done 40\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2: 5 16\n2: true gen done\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2: false attempt to yield across a C-call boundary"), std::string::npos) << r.out;
}

int flip_count = 0;
int flip(lua_State* L) {
    flip_count++;
    return lua_yield(L, 0);
}

// Coroutines inherit the count hook. A hook yield three coroutines deep
// suspends all of them and the main thread; each resume of the main thread
// carries the innermost one on where it stopped, and no coresume sees
// anything of it: values pass through yields and returns unchanged.
TEST(LuaCoroutines, HookYieldInsideCoroutinesSuspendsTheWholeChain) {
    const char* code = R"(
        local function sum(n) local s = 0 for i = 1, n do s = s + i end return s end
        local c3 = cocreate(function(a) local b = yield(sum(a)) return sum(b), "three" end)
        local c2 = cocreate(function(a)
          local ok1, v1 = coresume(c3, a)
          local ok2, v2, w2 = coresume(c3, a + 10)
          printh(costatus(c3) .. " " .. tostr(ok1) .. " " .. v1 .. " " .. tostr(ok2) .. " " .. v2 .. " " .. w2)
          return v1 + v2
        end)
        local c1 = cocreate(function() return coresume(c2, 100) end)
        printh(costatus(c1))
        local ok, ok2, total = coresume(c1)
        printh(tostr(ok) .. " " .. tostr(ok2) .. " " .. total .. " " .. costatus(c1) .. " " .. costatus(c2))
    )";
    Machine plain;
    ASSERT_EQ(run_sliced(plain.L, code, 0).status, LUA_OK);
    EXPECT_EQ(plain.out, "suspended\ndead true 5050 true 6105 three\ntrue true 11155 dead dead\n");
    for (int every : {1, 5, 100}) {
        SCOPED_TRACE(every);
        Machine m;
        SliceResult r = run_sliced(m.L, code, every);
        EXPECT_EQ(r.status, LUA_OK) << r.error;
        EXPECT_EQ(m.out, plain.out);
        EXPECT_GT(r.slices, 400 / every);  // the host got control all along
    }
}

// While the chain is suspended, the coroutines in it are in the middle of
// being resumed: code run meanwhile (a finalizer, say) sees them as
// "normal" and cannot resume them.
TEST(LuaCoroutines, ACoroutineSuspendedWithItsResumerCannotBeResumedElsewhere) {
    Machine m;
    const char* code = "inner = cocreate(function() local s = 0 for i = 1, 200 do s = s + i end return s end)\n"
                       "local ok, s = coresume(inner) printh(tostr(ok) .. ' ' .. s)";
    ASSERT_EQ(luaL_loadbuffer(m.L, code, std::strlen(code), "=prog"), LUA_OK);
    lua_sethook(m.L, yielding_hook, LUA_MASKCOUNT, 50);
    int status = lua_resume(m.L, nullptr, 0);
    for (int i = 0; i < 3 && status == LUA_YIELD; ++i) status = lua_resume(m.L, nullptr, 0);
    ASSERT_EQ(status, LUA_YIELD);
    // Another thread of the state runs while the program is suspended.
    lua_State* other = lua_newthread(m.L);
    const char* peek = "printh(costatus(inner)) local ok, e = coresume(inner) printh(tostr(ok) .. ' ' .. e)";
    ASSERT_EQ(luaL_loadbuffer(other, peek, std::strlen(peek), "=peek"), LUA_OK);
    ASSERT_EQ(lua_pcall(other, 0, 0, 0), LUA_OK);
    lua_pop(m.L, 1);
    EXPECT_EQ(m.out, "normal\nfalse corolib: cannot resume non-suspended coroutine\n");
    do status = lua_resume(m.L, nullptr, 0);
    while (status == LUA_YIELD);
    EXPECT_EQ(status, LUA_OK);
    EXPECT_EQ(m.out, "normal\nfalse corolib: cannot resume non-suspended coroutine\ntrue 20100\n");
    lua_sethook(m.L, nullptr, 0, 0);
}

// The runner collects garbage between slices, while the program is
// suspended: finalizers run on the suspended main thread, and the C
// functions they call return to them as ordinary calls.
TEST(LuaCoroutines, FinalizersRunOnTheSuspendedProgram) {
    Machine m;
    lua_register(m.L, "flip", flip);
    const char* code = R"(
        local keep = {}
        for i = 1, 3 do
          setmetatable({}, {__gc = function() printh("gc " .. tostr(i)) end})
          keep[i] = setmetatable({}, {__gc = function() printh(type(i) .. " at exit") end})
          flip()
        end
        printh("end")
    )";
    ASSERT_EQ(luaL_loadbuffer(m.L, code, std::strlen(code), "=prog"), LUA_OK);
    int status = lua_resume(m.L, nullptr, 0);
    while (status == LUA_YIELD) {
        lua_gc(m.L, LUA_GCCOLLECT, 0);
        status = lua_resume(m.L, nullptr, 0);
    }
    ASSERT_EQ(status, LUA_OK) << lua_tostring(m.L, -1);
    EXPECT_EQ(m.out, "gc 1\ngc 2\ngc 3\nend\n");
    m.close();
    EXPECT_EQ(m.out, "gc 1\ngc 2\ngc 3\nend\nnumber at exit\nnumber at exit\nnumber at exit\n");
}

// Code that cannot yield (a metamethod called from C, a finalizer, a
// coroutine resumed from either) is stopped by the host with
// lua_vexel_stop, and nothing in the program catches that error.
int g_stuck_hooks = 0;
std::string g_blocker;
void stopping_hook(lua_State* L, lua_Debug*) {
    if (lua_vexel_canyieldall(L)) {
        g_stuck_hooks = 0;
        lua_yield(L, 0);
        return;
    }
    if (++g_stuck_hooks < 20) return;
    char where[32];
    lua_vexel_blocker(L, where, sizeof where);
    g_blocker = where;
    lua_pushliteral(L, "stopped");
    lua_vexel_stop(L);
}

TEST(LuaCoroutines, CodeThatCannotYieldIsStoppedAndNothingCatchesIt) {
    struct Case {
        const char* code;
        const char* blocker;
    } cases[] = {
        {"t = setmetatable({}, {__pairs = function() while true do end end}) for k in pairs(t) do end", "pairs"},
        {"local function spin() while true do end end\n"
         "t = setmetatable({}, {__pairs = function() while true do printh(coresume(cocreate(spin))) end end})\n"
         "printh(coresume(cocreate(function() for k in pairs(t) do end end)))",
         "pairs"},
        {"t = setmetatable({}, {__pairs = function() while true do coresume(cocreate(function() flip() end)) end end})\n"
         "for k in pairs(t) do end",
         "pairs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Machine m;
        lua_register(m.L, "flip", flip);
        ASSERT_EQ(luaL_loadbuffer(m.L, c.code, std::strlen(c.code), "=prog"), LUA_OK);
        lua_sethook(m.L, stopping_hook, LUA_MASKCOUNT, 100);
        g_stuck_hooks = 0;
        g_blocker.clear();
        int status = lua_resume(m.L, nullptr, 0);
        for (int slices = 0; status == LUA_YIELD && slices < 1000; ++slices) status = lua_resume(m.L, nullptr, 0);
        EXPECT_EQ(status, LUA_ERRRUN);
        EXPECT_STREQ(lua_tostring(m.L, -1), "stopped");
        EXPECT_EQ(m.out, "");  // no coresume returned
        EXPECT_EQ(g_blocker, c.blocker);
        EXPECT_TRUE(lua_vexel_stopping(m.L));
        lua_vexel_clear_stop(m.L);
        lua_sethook(m.L, nullptr, 0, 0);
    }
}

// A finalizer that runs away in the host's collection is stopped; the rest
// are not run while the stop stands, neither then nor when the state closes.
TEST(LuaCoroutines, ARunawayFinalizerStopsTheOthers) {
    Machine m;
    const char* code = R"(
        setmetatable({}, {__gc = function() printh("first") end})
        setmetatable({}, {__gc = function() while true do end end})
        setmetatable({}, {__gc = function() printh("third") end})
        keep = setmetatable({}, {__gc = function() printh("at exit") end})
    )";
    ASSERT_EQ(m.run(code), LUA_OK) << m.error;
    lua_sethook(m.L, stopping_hook, LUA_MASKCOUNT, 100);
    g_stuck_hooks = 0;
    lua_gc(m.L, LUA_GCCOLLECT, 0);  // finalizers run newest first
    EXPECT_EQ(m.out, "third\n");
    EXPECT_TRUE(lua_vexel_stopping(m.L));
    EXPECT_EQ(g_blocker, "__gc");
    m.close();
    EXPECT_EQ(m.out, "third\n");
}

// ---- the main thread driven as the runner drives it ----

TEST(LuaCoroutines, MainThreadYieldsFromACFunctionAndResumes) {
    Machine m;
    lua_register(m.L, "flip", flip);
    flip_count = 0;
    const char* code = R"(
        local frames = 0
        local t = {}
        while frames < 5 do
          frames = frames + 1
          t[frames] = frames * frames
          local a, b = flip()
          printh(tostr(a) .. " " .. tostr(b))
        end
        printh(t[5])
        return "end", 7
    )";
    ASSERT_EQ(luaL_loadbuffer(m.L, code, std::strlen(code), "=prog"), LUA_OK);
    int status = lua_resume(m.L, nullptr, 0);
    int resumes = 1;
    while (status == LUA_YIELD) {
        EXPECT_EQ(lua_gettop(m.L), 0);  // flip yields no values
        EXPECT_EQ(lua_status(m.L), LUA_YIELD);
        if (resumes == 2) {  // the resume arguments become flip's results
            lua_pushnumber(m.L, 1 << 16);
            lua_pushboolean(m.L, 1);
            status = lua_resume(m.L, nullptr, 2);
        } else {
            status = lua_resume(m.L, nullptr, 0);
        }
        resumes++;
    }
    ASSERT_EQ(status, LUA_OK);
    EXPECT_EQ(flip_count, 5);
    EXPECT_EQ(resumes, 6);
    EXPECT_EQ(m.out, "[nil] [nil]\n1 true\n[nil] [nil]\n[nil] [nil]\n[nil] [nil]\n25\n");
    ASSERT_EQ(lua_gettop(m.L), 2);  // what the program returned
    EXPECT_STREQ(lua_tostring(m.L, 1), "end");
    EXPECT_EQ(lua_status(m.L), LUA_OK);
}

TEST(LuaCoroutines, ErrorInResumedProgramLeavesThreadDeadAndResettable) {
    Machine m;
    lua_register(m.L, "flip", flip);
    const char* code = "local function f(x) flip() return x.y end\nlocal function g() return f(nil) + 1 end\ng()\n";
    SliceResult r = run_sliced(m.L, code, 0);
    ASSERT_EQ(r.status, LUA_ERRRUN);
    EXPECT_EQ(r.error, "attempt to index local 'x' (a nil value)");
    EXPECT_EQ(lua_status(m.L), LUA_ERRRUN);
    EXPECT_EQ(lua_vexel_runtime_line(m.L), 1);
    // The dead thread keeps its frames: the traceback names them.
    lua_getglobal(m.L, "trace");
    ASSERT_EQ(lua_pcall(m.L, 0, 1, 0), LUA_OK);
    std::string tb = lua_tostring(m.L, -1);
    EXPECT_EQ(tb.rfind("stack traceback:", 0), 0u) << tb;
    EXPECT_NE(tb.find("in function 'f'"), std::string::npos) << tb;
    EXPECT_NE(tb.find("in function 'g'"), std::string::npos) << tb;
    // Resuming a dead program fails cleanly.
    lua_settop(m.L, 0);
    EXPECT_EQ(lua_resume(m.L, nullptr, 0), LUA_ERRRUN);
    EXPECT_STREQ(lua_tostring(m.L, -1), "cannot resume dead coroutine");
    // After a reset the thread runs a new program.
    lua_reset_call_state_vexel(m.L);
    EXPECT_EQ(lua_status(m.L), LUA_OK);
    EXPECT_EQ(lua_gettop(m.L), 0);
    m.out.clear();
    SliceResult again = run_sliced(m.L, "printh(1 + 2)", 1);
    EXPECT_EQ(again.status, LUA_OK) << again.error;
    EXPECT_EQ(m.out, "3\n");
}

TEST(LuaCoroutines, ResetAbandonsASuspendedProgramAndItsOpenUpvalues) {
    Machine m;
    lua_register(m.L, "flip", flip);
    // The first program leaves a closure over a live local, then is dropped
    // while suspended.
    ASSERT_EQ(run_sliced(m.L, "local v = 5 keep = function() return v end flip() v = 6", 0, 1).status, LUA_YIELD);
    lua_reset_call_state_vexel(m.L);
    m.out.clear();
    SliceResult r = run_sliced(m.L, "local a, b, c = 1, 2, 3 printh(keep())", 0);
    EXPECT_EQ(r.status, LUA_OK) << r.error;
    EXPECT_EQ(m.out, "5\n");
}

TEST(LuaCoroutines, HostileProgramsUnderTheRunnerFailCleanly) {
    struct Case {
        const char* code;
        const char* error;
    } cases[] = {
        {"local function r() return 1 + r() end r()", "stack overflow"},
        {"local function n() local c = cocreate(n) local ok, e = coresume(c) assert(ok, e) end n()", "C stack overflow"},
        {"local t = setmetatable({}, {__index = function(t, k) return t[k] end}) local x = t.a", "C stack overflow"},
        {"yield_from_pairs = setmetatable({}, {__pairs = function() coresume(nil) end}) for k in pairs(yield_from_pairs) do end",
         "coroutine expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Machine m;
        SliceResult r = run_sliced(m.L, c.code, 1024);
        EXPECT_EQ(r.status, LUA_ERRRUN);
        EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    }
}

// ---- where yields are refused ----

TEST(LuaCoroutines, YieldsAcrossACallWithoutContinuationAreRefused) {
    lua_test::State s;
    EXPECT_EQ(s.run("yield(1)"), LUA_ERRRUN);
    EXPECT_EQ(s.error, "attempt to yield from outside a coroutine");
    s.out.clear();
    EXPECT_EQ(s.run(R"(
        local t = setmetatable({}, {__pairs = function(t) yield() return function() end, t end})
        out(coresume(cocreate(function() for k in pairs(t) do end end)))
    )"), LUA_OK);
    EXPECT_EQ(s.out, "false attempt to yield across a C-call boundary\n");
    // The count hook meets the same limit inside a call it cannot unwind; a
    // hook that asks first lets the program run on.
    Machine m;
    const char* code = R"(
        local t = setmetatable({}, {__pairs = function(t) local s = 0 for i = 1, 50 do s = s + i end return function() end, t end})
        for k in pairs(t) do end
        printh("ran")
    )";
    g_yield_only_when_possible = false;
    SliceResult refused = run_sliced(m.L, code, 1);
    g_yield_only_when_possible = true;
    EXPECT_EQ(refused.status, LUA_ERRRUN);
    EXPECT_EQ(refused.error, "attempt to yield from outside a coroutine");
    Machine m2;
    SliceResult r = run_sliced(m2.L, code, 1);
    EXPECT_EQ(r.status, LUA_OK) << r.error;
    EXPECT_EQ(m2.out, "ran\n");
}

TEST(LuaCoroutines, CorolibMessages) {
    lua_test::State s;
    EXPECT_EQ(s.run(R"(
        local co = cocreate(function() return 1 end)
        out(coresume(co))
        out(coresume(co))
        out(costatus(co))
        out(coresume(cocreate(function() local x = nil .. 1 end)))
    )"), LUA_OK);
    EXPECT_EQ(s.out,
              "true 1\nfalse corolib: cannot resume dead coroutine\ndead\n"
              "false attempt to concatenate a nil value\n");
    EXPECT_EQ(s.run("cocreate(1)"), LUA_ERRRUN);
    EXPECT_NE(s.error.find("bad argument #1 to 'cocreate' (function expected, got number)"), std::string::npos) << s.error;
    EXPECT_EQ(s.run("coresume({})"), LUA_ERRRUN);
    EXPECT_NE(s.error.find("coroutine expected"), std::string::npos) << s.error;
}

// ---- continuations of C functions ----

int k_calls = 0;
int k_status = -1;
int k_ctx = -1;

int after_yield(lua_State* L) {
    k_calls++;
    k_status = lua_getctx(L, &k_ctx);
    lua_pushstring(L, "from k");
    return lua_gettop(L);
}
int yield_with_k(lua_State* L) { return lua_yieldk(L, 0, 42, after_yield); }

int after_call(lua_State* L) {
    k_calls++;
    k_status = lua_getctx(L, &k_ctx);
    return lua_gettop(L);  // the called function's results
}
int call_with_k(lua_State* L) {
    lua_callk(L, lua_gettop(L) - 1, LUA_MULTRET, 7, after_call);
    return after_call(L);
}
int pcall_with_k(lua_State* L) {
    int status = lua_pcallk(L, lua_gettop(L) - 1, 1, 0, 9, after_call);
    k_calls++;
    k_status = status;
    return 1;
}

TEST(LuaCoroutines, CFunctionsContinueAfterYields) {
    lua_test::State s;
    lua_register(s.L, "ywk", yield_with_k);
    lua_register(s.L, "cwk", call_with_k);
    lua_register(s.L, "pwk", pcall_with_k);
    k_calls = 0;
    EXPECT_EQ(s.run(R"(
        local co = cocreate(function(a) local x, y = ywk() out("k gave", x, y) return 1 end)
        out(coresume(co))
        out(coresume(co, "arg"))
    )"), LUA_OK) << s.error;
    EXPECT_EQ(s.out, "true\nk gave arg from k\ntrue 1\n");
    EXPECT_EQ(k_calls, 1);
    EXPECT_EQ(k_status, LUA_YIELD);
    EXPECT_EQ(k_ctx, 42);

    s.out.clear();
    k_calls = 0;
    EXPECT_EQ(s.run(R"(
        local co = cocreate(function() return cwk(function(a) local b = yield(a + 1) return a, b end, 10) end)
        out(coresume(co))
        out(coresume(co, 5))
    )"), LUA_OK) << s.error;
    EXPECT_EQ(s.out, "true 11\ntrue 10 5\n");
    EXPECT_EQ(k_calls, 1);
    EXPECT_EQ(k_ctx, 7);

    // A yieldable pcall catches an error raised after a yield.
    s.out.clear();
    k_calls = 0;
    EXPECT_EQ(s.run(R"(
        local co = cocreate(function() local m = pwk(function() yield() local t = nil return t.x end) return "caught: " .. m end)
        out(coresume(co))
        out(coresume(co))
    )"), LUA_OK) << s.error;
    EXPECT_EQ(s.out, "true\ntrue caught: attempt to index local 't' (a nil value)\n");
    EXPECT_EQ(k_status, LUA_ERRRUN);
    EXPECT_EQ(k_ctx, 9);

    // A thread the host resumes yields after such a pcall caught an error:
    // lua_resume reports the yield (it reported LUA_OK, as if the thread
    // had finished), and the next resume carries on.
    s.out.clear();
    lua_State* T = lua_newthread(s.L);
    const char* code = "local m = pwk(function() local t = nil return t.x end) yield() out('after', m)";
    ASSERT_EQ(luaL_loadbuffer(T, code, std::strlen(code), "=thread"), LUA_OK);
    EXPECT_EQ(lua_resume(T, nullptr, 0), LUA_YIELD);
    EXPECT_EQ(s.out, "");
    EXPECT_EQ(lua_resume(T, nullptr, 0), LUA_OK);
    EXPECT_EQ(s.out, "after attempt to index local 't' (a nil value)\n");
    lua_pop(s.L, 1);
}

// ---- CPU budget hooks ----

int g_count_hooks = 0;
void counting_hook(lua_State*, lua_Debug*) { g_count_hooks++; }

TEST(LuaCoroutines, CpuBudgetHooksMoveTheCountdown) {
    lua_test::State s;
    lua_sethook(s.L, counting_hook, LUA_MASKCOUNT, 1000);
    EXPECT_EQ(lua_get_cpu(s.L), 1000);
    lua_spend_cpu(s.L, 300);
    EXPECT_EQ(lua_get_cpu(s.L), 700);
    lua_spend_cpu(s.L, 5000);
    EXPECT_EQ(lua_get_cpu(s.L), 1);  // never below 1
    lua_spend_cpu(s.L, INT_MAX);
    EXPECT_EQ(lua_get_cpu(s.L), 1);
    lua_spend_cpu(s.L, INT_MIN);  // a refund as large as can be
    EXPECT_EQ(lua_get_cpu(s.L), INT_MAX);
    lua_sethook(s.L, counting_hook, LUA_MASKCOUNT, 1000);
    lua_vexel_soft_yield(s.L);
    EXPECT_EQ(lua_get_cpu(s.L), 1);
    lua_vexel_soft_yield(s.L);  // a second request keeps the first saved count
    lua_spend_cpu(s.L, 100);    // the saved count comes back first
    EXPECT_EQ(lua_get_cpu(s.L), 900);
    // A soft yield makes the hook run at the very next instruction.
    g_count_hooks = 0;
    lua_vexel_soft_yield(s.L);
    ASSERT_EQ(s.run("local a = 1"), LUA_OK);
    EXPECT_EQ(g_count_hooks, 1);
    lua_sethook(s.L, nullptr, 0, 0);
}

TEST(LuaCoroutines, CountHookFiresOncePerBlockAcrossHookYields) {
    Machine m;
    const char* code = "local s = 0 for i = 1, 3000 do s = s + i end printh(s)";
    Machine plain;
    long long instructions = 0;
    {
        // Count the program's instructions with a hook of 1 that never yields.
        lua_sethook(plain.L, counting_hook, LUA_MASKCOUNT, 1);
        g_count_hooks = 0;
        ASSERT_EQ(plain.run(code), LUA_OK);
        instructions = g_count_hooks;
        lua_sethook(plain.L, nullptr, 0, 0);
    }
    SliceResult r = run_sliced(m.L, code, 100);
    ASSERT_EQ(r.status, LUA_OK) << r.error;
    // One hook (and one yield) per 100 instructions, none repeated when the
    // interrupted instruction runs again.
    EXPECT_EQ(g_hook_calls, instructions / 100);
    EXPECT_EQ(r.slices, instructions / 100 + 1);

    // The runner arms the hook afresh before every slice: each slice then
    // runs the 99 instructions before its hook, and the instruction cut
    // short runs once, in the next slice.
    Machine again;
    ASSERT_EQ(luaL_loadbuffer(again.L, code, std::strlen(code), "=prog"), LUA_OK);
    int slices = 0, status;
    g_hook_calls = 0;
    do {
        lua_sethook(again.L, yielding_hook, LUA_MASKCOUNT, 100);
        status = lua_resume(again.L, nullptr, 0);
        slices++;
    } while (status == LUA_YIELD);
    ASSERT_EQ(status, LUA_OK);
    EXPECT_EQ(again.out, m.out);
    EXPECT_EQ(slices, instructions / 99 + 1);
    EXPECT_EQ(g_hook_calls, slices - 1);
}

// ---- trace ----

TEST(LuaCoroutines, TraceShowsTheCallStackInStockLayout) {
    lua_test::State s;
    ASSERT_EQ(s.run("function inner() return trace('msg') end\n"
                    "function outer() local t = inner() return t end\n"
                    "out(outer())\n",
                    "=prog"),
              LUA_OK)
        << s.error;
    // Line numbers are passed to %d unscaled: line 1 prints as "0".
    EXPECT_EQ(s.out,
              "msg\nstack traceback:\n\tprog:0: in function 'inner'\n\tprog:0: in function 'outer'\n"
              "\tprog:0: in main chunk\n");
    s.out.clear();
    ASSERT_EQ(s.run(R"(
        local co = cocreate(function() local function deep() yield() end deep() end)
        coresume(co)
        local t = trace(co)
        out(sub(t, 1, 16))
        out(trace(co, "hdr", 1) ~= t)
        local tab = {}
        out(trace(tab) == tab)
        out(trace(nil))
    )"), LUA_OK) << s.error;
    EXPECT_EQ(s.out.substr(0, 43), "stack traceback:\ntrue\ntrue\nstack traceback:");
}

// ---- number functions ----

// A number function that shows what it was given and charges the budget
// when given exactly two arguments, as the console's bit functions refund.
lua_NumberResult sum_numbers(lua_State* L, int given, lua_Number a, lua_Number b, lua_Number c, lua_Number d) {
    if (given == 2) lua_spend_cpu(L, 7);
    if (given == 0) return {0, 0};
    return {1, lua_Number(uint32_t(a) + uint32_t(b) * 3 + uint32_t(c) * 5 + uint32_t(d) * 7 + uint32_t(given) * 65536)};
}
lua_NumberResult no_result(lua_State*, int, lua_Number, lua_Number, lua_Number, lua_Number) { return {0, 0}; }

// The same two as ordinary C functions, reading their arguments through
// the API.
template <lua_NumberFunction F>
int through_api(lua_State* L) {
    lua_Number a[LUA_NUMBERFUNCTION_ARGS];
    const int given = lua_gettop(L);
    for (int i = 0; i < LUA_NUMBERFUNCTION_ARGS; i++) a[i] = lua_tonumberx(L, i + 1, nullptr);
    const lua_NumberResult r = F(L, given, a[0], a[1], a[2], a[3]);
    if (r.count == 0) return 0;
    lua_pushnumber(L, r.value);
    return 1;
}

void bind_numbers(lua_State* L, bool as_number_functions) {
    if (as_number_functions) {
        lua_pushnumberfunction(L, sum_numbers);
        lua_setglobal(L, "sum");
        lua_pushnumberfunction(L, no_result);
        lua_setglobal(L, "none");
    } else {
        lua_register(L, "sum", through_api<sum_numbers>);
        lua_register(L, "none", through_api<no_result>);
    }
}

// Every way a call's results are used, arguments of every kind, and the
// callers that reach a number function other than through the loop's CALL
// (tail calls, metamethods, coroutines, the iterator of a generic for).
constexpr const char* number_calls = R"(
  local function show(...)
    local s = select('#', ...) .. ":"
    for i = 1, select('#', ...) do s = s .. " " .. tostr((select(i, ...))) end
    printh(s)
  end
  local args = {{}, {1}, {1, 2}, {1.5, -2, 3}, {1, 2, 3, 4}, {1, 2, 3, 4, 5, 6},
                {"12", 2}, {"x", 2}, {nil, 3}, {true, 4}, {{}, 5}, {0x7fff.ffff, -32768, 1},
                {1, 2, 3, "4"}, {1, 2, 3, {}, 5}}
  for n, a in ipairs(args) do
    local k = #a + (n == 9 and 2 or 0)
    show(sum(unpack(a, 1, k)))
    show(none(unpack(a, 1, k)))
    local x = sum(unpack(a, 1, k)) local y, z = sum(unpack(a, 1, k))
    local p, q = none(unpack(a, 1, k))
    show(x, y, z, p, q)
    sum(unpack(a, 1, k)) none(unpack(a, 1, k))
    show((function(...) return sum(...) end)(unpack(a, 1, k)))
    local t = {sum(unpack(a, 1, k))} show(#t, t[1])
  end
  local s = 0
  for i = 1, 300 do s = s + sum(i, 2) + sum(i) + (none(i) or 1) + sum(i, i, i, i) end
  show(s, sum(1, 2), none(), sum(sum(1), sum(2, 3)))
  local mt = {__add = sum, __index = sum, __call = sum}
  local o = setmetatable({}, mt)
  show(o + 1, o[2] ~= nil, o(3))
  local co = cocreate(function(a) for i = 1, 50 do a = yield(sum(a, i)) end return none(a) end)
  local v = 1
  for i = 1, 51 do local ok, r = coresume(co, v) v = r or v end
  show(v, costatus(co))
)";

// A number function, which the loop calls without a call frame, gives the
// same results and costs the same as the ordinary C function that does
// the same: the instructions the count hook sees, the points where hook
// yields suspend the program and the charges it makes all stay as they are.
TEST(LuaNumberFunctions, AnswerAndCountAsCFunctionsDo) {
    const std::string out =
        expect_same_both_ways(number_calls, [](lua_State* L, bool loop) { bind_numbers(L, loop); }, {1, 2, 97}).out;
    EXPECT_NE(out.find("0:\n0:\n"), std::string::npos) << out;  // sum() and none() give nothing
    EXPECT_NE(out.find("1: 20\n0:\n5: 20 20 [nil] [nil] [nil]\n1: 20\n2: 1 20\n"), std::string::npos)
        << out;  // sum("12", 2): 12 + 2 * 3 + 2 given
    EXPECT_NE(out.find("1: 56\n"), std::string::npos) << out;  // six given, four read
    EXPECT_NE(out.find("2: 3926 dead\n"), std::string::npos) << out;
}

// A hook that watches calls sees a number function called like any other
// C function: the loop leaves such calls to the C function protocol.
TEST(LuaNumberFunctions, CallHooksSeeTheCall) {
    Machine m;
    bind_numbers(m.L, true);
    static int c_calls;
    c_calls = 0;
    lua_sethook(
        m.L,
        [](lua_State* L, lua_Debug* ar) {
            lua_getinfo(L, "S", ar);
            if (std::strcmp(ar->what, "C") == 0) c_calls++;
        },
        LUA_MASKCALL, 0);
    ASSERT_EQ(m.run("local s = 0 for i = 1, 10 do s = s + sum(i) end printh(s)"), LUA_OK) << m.error;
    lua_sethook(m.L, nullptr, 0, 0);
    EXPECT_GE(c_calls, 10);
    EXPECT_EQ(m.out, "65\n");
}

}  // namespace
