// Cost of the CPU budget: runs bench/lua programs in-process on the main
// thread, resumed as the program runner resumes a cartridge, once without a
// hook and once with a count hook every 1024 instructions that yields the
// program whenever a frame's budget (139810 instructions at 30 frames per
// second) is spent. Prints the CPU time of each and the overhead in percent
// (best of five runs each).
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/lua/lua.h"
#include "runtime/lua/lua_aux.h"
#include "runtime/lua/lua_base.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 5;
constexpr int kHookEvery = 1024;
constexpr int kFrameBudget = 139810;

int g_cycles = 0;

// Charges the block; ends the frame on the main thread only (a coroutine
// that inherited the hook would otherwise return to its coresume).
void budget_hook(lua_State* L, lua_Debug*) {
    g_cycles += kHookEvery;
    if (g_cycles < kFrameBudget || !lua_isyieldable(L)) return;
    bool main = lua_pushthread(L) == 1;
    lua_pop(L, 1);
    if (main) {
        g_cycles = 0;
        lua_yield(L, 0);
    }
}

int quiet_printh(lua_State*) { return 0; }

// CPU seconds for one run; -1 on failure. frames receives the slices.
double run_once(const std::string& code, bool hooked, int* frames) {
    lua_State* L = luaL_newstate();
    luaB_open_cart_base(L);
    lua_register(L, "printh", quiet_printh);
    if (luaL_loadbuffer(L, code.data(), code.size(), "=bench") != LUA_OK) {
        lua_close(L);
        return -1;
    }
    g_cycles = 0;
    if (hooked) lua_sethook(L, budget_hook, LUA_MASKCOUNT, kHookEvery);
    std::clock_t t0 = std::clock();
    int status;
    *frames = 0;
    do {
        status = lua_resume(L, nullptr, 0);
        ++*frames;
    } while (status == LUA_YIELD);
    double t = double(std::clock() - t0) / CLOCKS_PER_SEC;
    lua_close(L);
    return status == LUA_OK ? t : -1;
}

}  // namespace

// Arguments name the programs to run (by stem); none runs them all.
int main(int argc, char** argv) {
    fs::path dir = fs::path(__FILE__).parent_path() / "lua";
    std::vector<fs::path> programs;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() != ".lua") continue;
        bool wanted = argc < 2;
        for (int a = 1; a < argc; a++) wanted = wanted || e.path().stem() == argv[a];
        if (wanted) programs.push_back(e.path());
    }
    std::sort(programs.begin(), programs.end());
    std::printf("%-14s %10s %10s %8s %8s\n", "program", "plain s", "hooked s", "frames", "cost %");
    bool ok = true;
    for (const auto& p : programs) {
        std::ifstream in(p, std::ios::binary);
        std::string code((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        double plain = 1e30, hooked = 1e30;
        int frames = 0, f = 0;
        for (int r = 0; r < kRuns; r++) {
            plain = std::min(plain, run_once(code, false, &f));
            hooked = std::min(hooked, run_once(code, true, &frames));
        }
        if (plain <= 0 || hooked <= 0) {
            std::printf("%-14s failed\n", p.stem().c_str());
            ok = false;
            continue;
        }
        std::printf("%-14s %10.3f %10.3f %8d %8.1f\n", p.stem().c_str(), plain, hooked, frames,
                    100.0 * (hooked - plain) / plain);
    }
    return ok ? 0 : 1;
}
