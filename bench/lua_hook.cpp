// Cost of the CPU budget: runs bench/lua programs in-process on the main
// thread, resumed as the program runner resumes a cartridge, three ways:
// without a hook; with the count hook every 1024 instructions charging the
// budget but never yielding (the cost of the hook itself); and with the
// same hook yielding the program whenever a frame's budget (139810
// instructions at 30 frames per second) is spent, as the runner does.
// Prints the CPU time of each and the overhead over no hook in percent
// (best of eleven runs each, the order of the three turned each time).
// glibc's heap trimming and mmap threshold are fixed first: otherwise
// whether a program's big arrays are unmapped and faulted in again on each
// growth depends on the heap the previous run left, which swamps the cost
// being measured.
// Arguments name the programs to run (by stem); none runs them all.
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_base.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 11;
constexpr int kHookEvery = 1024;
constexpr int kFrameBudget = 139810;

enum Mode { kPlain, kHook, kFrames, kModes };

int g_cycles = 0;
bool g_yields = false;

// Charges the block; ends the frame on the main thread only (a coroutine
// that inherited the hook would otherwise return to its coresume).
void budget_hook(lua_State* L, lua_Debug*) {
    g_cycles += kHookEvery;
    if (g_cycles < kFrameBudget) return;
    if (!g_yields) {
        g_cycles = 0;
        return;
    }
    if (!lua_isyieldable(L)) return;
    bool main = lua_pushthread(L) == 1;
    lua_pop(L, 1);
    if (main) {
        g_cycles = 0;
        lua_yield(L, 0);
    }
}

int quiet_printh(lua_State*) { return 0; }

// CPU seconds for one run; -1 on failure. frames receives the slices.
double run_once(const std::string& code, Mode mode, int* frames) {
    lua_State* L = luaL_newstate();
    luaB_open_cart_base(L);
    lua_register(L, "printh", quiet_printh);
    if (luaL_loadbuffer(L, code.data(), code.size(), "=bench") != LUA_OK) {
        lua_close(L);
        return -1;
    }
    g_cycles = 0;
    g_yields = mode == kFrames;
    if (mode != kPlain) lua_sethook(L, budget_hook, LUA_MASKCOUNT, kHookEvery);
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

int main(int argc, char** argv) {
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    fs::path dir = fs::path(VEXEL_BENCH_DIR) / "lua";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        std::printf("the bench programs are not in %s\n", dir.c_str());
        return 1;
    }
    std::vector<fs::path> programs;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() != ".lua") continue;
        bool wanted = argc < 2;
        for (int a = 1; a < argc; a++) wanted = wanted || e.path().stem() == argv[a];
        if (wanted) programs.push_back(e.path());
    }
    std::sort(programs.begin(), programs.end());
    std::printf("%-12s %9s %9s %7s %9s %7s %7s\n", "program", "plain s", "hook s", "hook %", "frames s", "frames",
                "frm %");
    bool ok = true;
    for (const auto& p : programs) {
        std::ifstream in(p, std::ios::binary);
        std::string code((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        double best[kModes] = {1e30, 1e30, 1e30};
        int frames = 0;
        for (int r = 0; r < kRuns; r++) {
            for (int k = 0; k < kModes; k++) {
                auto mode = Mode((r + k) % kModes);
                int f = 0;
                best[mode] = std::min(best[mode], run_once(code, mode, &f));
                if (mode == kFrames) frames = f;
            }
        }
        if (best[kPlain] <= 0 || best[kHook] <= 0 || best[kFrames] <= 0) {
            std::printf("%-12s failed\n", p.stem().c_str());
            ok = false;
            continue;
        }
        auto cost = [&](Mode m) { return 100.0 * (best[m] - best[kPlain]) / best[kPlain]; };
        std::printf("%-12s %9.3f %9.3f %7.1f %9.3f %7d %7.1f\n", p.stem().c_str(), best[kPlain], best[kHook],
                    cost(kHook), best[kFrames], frames, cost(kFrames));
    }
    return ok ? 0 : 1;
}
