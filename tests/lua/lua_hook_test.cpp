// The count hook as the CPU budget: it must fire after exactly the same
// instructions however the loop keeps its countdown. Each program runs
// twice: once with the hook every N instructions, once with a hook on every
// instruction that counts down a model of the budget itself (the reference).
// The places where the hook fires and every CPU reading the program takes
// must agree. Also: the collector runs when a Lua function is called.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

#include "lua_test_util.h"
#include "lua/lua_state.h"

namespace {

// The model of one thread's countdown, as lua_sethook, lua_spend_cpu,
// lua_get_cpu and lua_vexel_soft_yield keep it.
struct Countdown {
    int every = 0;
    int left = 0;
    int saved = 0;  // soft yield
    bool off = false;
};

struct Trace {
    bool reference = false;
    int every = 1;
    int yield_every = 0;  // real run: the hook yields the main thread at every n-th firing
    int firings = 0;
    std::map<lua_State*, Countdown> model;
    std::map<lua_State*, int> thread_ids;
    std::vector<std::string> fired;  // where the hook fired
    std::string log;                 // what the program read and did
};

Trace* g_trace = nullptr;

Countdown& model_of(lua_State* L) {
    auto it = g_trace->model.find(L);
    if (it == g_trace->model.end()) {
        Countdown c;
        c.every = c.left = g_trace->every;  // a new thread starts with its creator's count
        it = g_trace->model.emplace(L, c).first;
    }
    return it->second;
}

// The thread, its call depth and the instruction about to run.
std::string position(lua_State* L) {
    auto id = g_trace->thread_ids.emplace(L, int(g_trace->thread_ids.size())).first->second;
    int depth = 0;
    for (CallInfo* c = L->ci; c != &L->base_ci; c = c->previous) depth++;
    CallInfo* ci = L->ci;
    long pc = isLua(ci) ? long(ci->u.l.savedpc - clLvalue(ci->func)->p->code) : -1;
    return std::to_string(id) + ":" + std::to_string(depth) + ":" + std::to_string(pc);
}

// True when every running call is a Lua function called from Lua code.
// A yield from anywhere else interrupts an instruction that the resume
// finishes, after which the jump of a comparison or the loop test of a
// generic for runs as an instruction of its own (as in Lua 5.2): that
// changes the count, by design, so the comparison leaves those yields out.
bool only_inline_calls(lua_State* L) {
    for (CallInfo* c = L->ci; c->previous != &L->base_ci; c = c->previous)
        if (!isLua(c) || !(c->callstatus & CIST_REENTRY)) return false;
    return true;
}

void trace_hook(lua_State* L, lua_Debug*) {
    Trace& t = *g_trace;
    if (t.reference) {
        Countdown& c = model_of(L);
        if (c.off || --c.left != 0) return;
        c.left = c.every;
    }
    t.fired.push_back(position(L));
    if (!t.reference && t.yield_every > 0 && ++t.firings % t.yield_every == 0 && lua_isyieldable(L) &&
        only_inline_calls(L)) {
        bool main = lua_pushthread(L) == 1;
        lua_pop(L, 1);
        if (main) lua_yield(L, 0);
    }
}

int cpu_fn(lua_State* L) {
    int v = g_trace->reference ? model_of(L).left : lua_get_cpu(L);
    g_trace->log += "cpu " + std::to_string(v) + "\n";
    return 0;
}

int spend_fn(lua_State* L) {
    int n = int(luaL_checkinteger(L, 1));
    if (!g_trace->reference) {
        lua_spend_cpu(L, n);
        return 0;
    }
    Countdown& c = model_of(L);
    if (c.saved != 0) {
        c.left = c.saved;
        c.saved = 0;
    }
    long long left = (long long)c.left - n;
    c.left = int(left < 1 ? 1 : left > INT_MAX ? INT_MAX : left);
    return 0;
}

int softyield_fn(lua_State* L) {
    if (!g_trace->reference) {
        lua_vexel_soft_yield(L);
        return 0;
    }
    Countdown& c = model_of(L);
    if (c.saved == 0) c.saved = c.left;
    c.left = 1;
    return 0;
}

// rehook(n) arms the count hook anew every n instructions; rehook() takes it off.
int rehook_fn(lua_State* L) {
    int n = int(luaL_optinteger(L, 1, 0));
    g_trace->log += "rehook " + std::to_string(n) + "\n";
    if (g_trace->reference) {
        Countdown& c = model_of(L);
        c.off = n == 0;
        c.every = c.left = n;
        return 0;
    }
    if (n == 0)
        lua_sethook(L, nullptr, 0, 0);
    else
        lua_sethook(L, trace_hook, LUA_MASKCOUNT, n);
    return 0;
}

// callf(f, ...) calls f from C and returns its results.
int callf_fn(lua_State* L) {
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// pcall and error as C functions (the cartridge's base has neither).
int pcall_fn(lua_State* L) {
    int status = lua_pcall(L, lua_gettop(L) - 1, LUA_MULTRET, 0);
    lua_pushboolean(L, status == LUA_OK);
    lua_insert(L, 1);
    return lua_gettop(L);
}

int error_fn(lua_State* L) {
    lua_settop(L, 1);
    return lua_error(L);
}

// Runs code resumed as the runner resumes a program (the hook may yield).
Trace run_traced(const std::string& code, bool reference, int every, int yield_every) {
    Trace t;
    t.reference = reference;
    t.every = every;
    t.yield_every = yield_every;
    g_trace = &t;
    {
        lua_test::State s;
        lua_State* L = s.L;
        // A stack that never grows: growth at different moments would move
        // the collector's pace between the two runs.
        lua_checkstack(L, 4000);
        lua_register(L, "cpu", cpu_fn);
        lua_register(L, "spend", spend_fn);
        lua_register(L, "softyield", softyield_fn);
        lua_register(L, "rehook", rehook_fn);
        lua_register(L, "callf", callf_fn);
        lua_register(L, "pcall", pcall_fn);
        lua_register(L, "error", error_fn);
        lua_register(L, "log", [](lua_State* L) {
            g_trace->log += luaB_pushtostr(L, 1, false);
            g_trace->log += "\n";
            return 0;
        });
        if (luaL_loadbuffer(L, code.data(), code.size(), "=prog") != LUA_OK) {
            t.log += "load error";
            g_trace = nullptr;
            return t;
        }
        lua_sethook(L, trace_hook, LUA_MASKCOUNT, reference ? 1 : every);
        int status;
        do status = lua_resume(L, nullptr, 0);
        while (status == LUA_YIELD);
        if (status != LUA_OK) t.log += std::string("error ") + (lua_tostring(L, -1) ? lua_tostring(L, -1) : "?");
        lua_sethook(L, nullptr, 0, 0);
    }
    g_trace = nullptr;
    return t;
}

const char* const kPrograms[] = {
    // Lua calls entered inline, recursion, tail calls, varargs, closures.
    R"(
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
local function loop(n, acc) if n == 0 then return acc end return loop(n - 1, acc + n) end
local function va(...) local t = {...} return #t, ... end
local function counter() local c = 0 return function() c = c + 1 return c end end
local f = counter()
for i = 1, 30 do
  log(fib(i % 9) + loop(i, 0) + va(i, i, i) + f())
  cpu()
end)",
    // C functions that read and change the countdown, Lua called from C
    // (returning to C), the hook taken off and armed again.
    R"(
local function add(a, b) cpu() return a + b end
local s = 0
for i = 1, 40 do
  s = callf(add, s, i)
  if i % 7 == 0 then spend(i * 13) end
  if i % 11 == 0 then softyield() end
  if i % 13 == 0 then spend(3) end
  cpu()
  s = s + #tostr(i) + #sub("abcdef", 2, i % 5)
end
rehook(5)
for i = 1, 20 do s = s + i cpu() end
rehook()
for i = 1, 20 do s = s + i end
rehook(3)
for i = 1, 20 do s = s + callf(function(x) return x end, i) cpu() end
log(s))",
    // Metamethods written in Lua and in C, errors caught by pcall from Lua
    // code, metamethods and C functions.
    R"(
local mt = {}
mt.__index = function(t, k) cpu() return k * 2 end
mt.__newindex = function(t, k, v) rawv = v end
mt.__add = function(a, b) return 7 end
mt.__eq = function(a, b) return true end
mt.__lt = function(a, b) spend(2) return false end
mt.__le = function(a, b) return true end
mt.__concat = function(a, b) return "c" end
mt.__len = function(a) return 3 end
mt.__call = function(self, x) cpu() return x end
local a, b = setmetatable({}, mt), setmetatable({}, mt)
local typed = setmetatable({}, {__index = type})
local n = 0
for i = 1, 25 do
  n = n + a[i] + (a + b) + #a + a(i)
  a.x = i
  if a == b then n = n + 1 end
  if a < b then n = n + 1 end
  if a <= b then n = n + 1 end
  local c = a .. b
  local ok, e = pcall(function() local z = nil; return z.y end)
  local ok2 = pcall(error, "boom")
  local ok3 = pcall(function() return a[nil] + nil end)
  local ok4 = pcall(assert, i % 2 == 0, "odd")
  n = n + #typed[i]
  cpu()
end
log(n))",
    // Coroutines: each thread has its own countdown; yields from the hook
    // stop only the main thread.
    R"(
local function gen(n)
  return cocreate(function()
    for i = 1, n do cpu() spend(i) yield(i) end
    return -1
  end)
end
local total, keep = 0, {}
for r = 1, 6 do
  local co = gen(r * 3)
  keep[r] = co  -- every thread keeps its own address
  while true do
    local ok, v = coresume(co)
    if v == -1 or not ok then break end
    total = total + v
    cpu()
  end
end
log(total))",
    // Finalizers running Lua code at the collection points, including the
    // one of a Lua call.
    R"(
local fin = 0
local mt = {__gc = function(o) fin = fin + 1 local x = o.v * 2 end}
local function make(i) local t = setmetatable({v = i}, mt) return t end
local function grow(t, n) for i = 1, n do t[i] = i end end
for i = 1, 400 do
  make(i)
  local t = {}
  grow(t, 40)
  if i % 50 == 0 then cpu() end
end
log(fin > 0))",
};

TEST(LuaHook, CountHookFiresWhereCountingEachInstructionSaysItShould) {
    int index = 0;
    for (const char* code : kPrograms) {
        SCOPED_TRACE("program " + std::to_string(index++));
        for (int every : {1, 2, 3, 5, 17, 64, 1024}) {
            SCOPED_TRACE("every " + std::to_string(every));
            Trace ref = run_traced(code, true, every, 0);
            EXPECT_EQ(ref.log.find("error"), std::string::npos) << ref.log;
            EXPECT_EQ(ref.log.find("load error"), std::string::npos);
            for (int yield_every : {0, 1, 3}) {
                SCOPED_TRACE("yield every " + std::to_string(yield_every));
                Trace real = run_traced(code, false, every, yield_every);
                EXPECT_EQ(real.log, ref.log);
                ASSERT_EQ(real.fired.size(), ref.fired.size());
                for (size_t k = 0; k < ref.fired.size(); k++) ASSERT_EQ(real.fired[k], ref.fired[k]) << "firing " << k;
            }
        }
    }
}

// A line hook together with the count hook: every instruction traps, the
// count goes on in memory and still fires at the same places.
TEST(LuaHook, CountWithLineHookFiresAtTheSamePlaces) {
    Trace counted = run_traced(kPrograms[0], false, 7, 0);
    static std::vector<std::string>* fired;
    std::vector<std::string> with_line;
    fired = &with_line;
    Trace t;
    t.every = 7;
    g_trace = &t;
    {
        lua_test::State s;
        lua_checkstack(s.L, 4000);
        lua_register(s.L, "cpu", [](lua_State*) { return 0; });
        lua_register(s.L, "log", [](lua_State*) { return 0; });
        lua_sethook(
            s.L,
            [](lua_State* L, lua_Debug* ar) {
                if (ar->event == LUA_HOOKCOUNT) fired->push_back(position(L));
            },
            LUA_MASKCOUNT | LUA_MASKLINE, 7);
        ASSERT_EQ(s.run(kPrograms[0], "=prog"), LUA_OK) << s.error;
        lua_sethook(s.L, nullptr, 0, 0);
    }
    g_trace = nullptr;
    EXPECT_EQ(with_line, counted.fired);
}

// A loop whose only collection point is a Lua call: without the check on
// the call the collector never runs and the finalizer never sets `done`
// (the instruction limit then stops the loop).
TEST(LuaHook, CallingALuaFunctionRunsTheCollector) {
    lua_test::State s(64 << 20);
    lua_sethook(
        s.L, [](lua_State* L, lua_Debug*) { luaL_error(L, "instruction limit"); }, LUA_MASKCOUNT, 10000000);
    const char* code = R"(
done = false
setmetatable({}, {__gc = function() done = true end})
local big, f, i = {}, function() end, 1
while not done do big[i] = i; i = i + 1; f() end
out(i > 1)
)";
    ASSERT_EQ(s.run(code), LUA_OK) << s.error;
    EXPECT_EQ(s.out, "true\n");
}

// Garbage made only inside called Lua functions is collected while the
// program runs: the collector's count stays bounded.
TEST(LuaHook, GarbageMadeInsideCalledFunctionsStaysBounded) {
    const char* programs[] = {
        "local function f(i) local t = {} for k = 1, 20 do t[k] = {k, i} end return #t end "
        "local n = 0 for i = 1, 20000 do n = n + f(i) end",
        "local function g(i) return 'x' .. i .. 'y' end local function f(i) return #g(i) + #g(i + 1) end "
        "local n = 0 for i = 1, 20000 do n = n + f(i) end",
        "local function f(i) local t = {} for k = 1, 200 do t[k] = k end return t end "
        "local function h(i) return #f(i) end local n = 0 for i = 1, 5000 do n = n + h(i) end",
    };
    static int peak;
    for (const char* code : programs) {
        SCOPED_TRACE(code);
        lua_test::State s;
        peak = 0;
        lua_sethook(
            s.L,
            [](lua_State* L, lua_Debug*) {
                int kb = lua_gc(L, LUA_GCCOUNT, 0);
                if (kb > peak) peak = kb;
            },
            LUA_MASKCOUNT, 1000);
        ASSERT_EQ(s.run(code), LUA_OK) << s.error;
        lua_sethook(s.L, nullptr, 0, 0);
        EXPECT_GT(peak, 0);
        EXPECT_LT(peak, 1024);
    }
}

}  // namespace

// A function calling itself with one more argument each time copies its
// growing argument list again and again, work no instruction shows: long
// lists charge the budget, so such a program reaches the hook (and the
// runner's end of frame) soon instead of stalling the host.
TEST(LuaHook, LongVarargListsChargeTheBudget) {
    static int firings;
    auto count_firings = [](const char* code) {
        lua_test::State s;
        firings = 0;
        lua_sethook(s.L, [](lua_State*, lua_Debug*) { firings++; }, LUA_MASKCOUNT, 1000);
        EXPECT_EQ(s.run(code), LUA_OK) << s.error;
        return firings;
    };
    const char* grow = "local function g(n, ...) if n == 0 then return end return g(n - 1, 1, ...) end g(400)";
    const char* flat = "local function g(n, ...) if n == 0 then return end return g(n - 1, ...) end g(400, 1, 2, 3)";
    EXPECT_LE(count_firings(flat), 3);   // about 2400 instructions
    EXPECT_GT(count_firings(grow), 20);  // the same instructions, but lists up to 400 long
}
