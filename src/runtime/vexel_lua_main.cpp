// vexel-lua: runs one script file with the language-level globals a
// cartridge sees, plus printh for output. The test and benchmark tool of the
// interpreter.
//
//   vexel-lua [--count] [-l] SCRIPT.lua
//
// An uncaught error prints its message to standard error and exits with
// status 1. --count also prints the number of instructions executed (as a
// count hook of 1 sees them) to standard error. -l prints the compiled
// listing (in the layout of luac -l -l) instead of running the script.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "framework/fenn_heap.h"
#include "machine/machine.h"
#include "runtime/api_impl.h"
#include "runtime/header.h"
#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_base.h"
#include "lua/lua_dump.h"
#include "lua/lua_object.h"

namespace {



int printh(lua_State* L) {
    lua_settop(L, 1);
    luaB_pushtostr(L, 1, false);
    size_t len;
    const char* s = lua_tolstring(L, -1, &len);
    std::fwrite(s, 1, len, stdout);
    std::fputc('\n', stdout);
    return 0;
}

// The tool's machine record (what the math functions need) and the count of
// instructions run; the state's host pointer leads to both.
struct Tool : vexel_machine {
    long long instructions = 0;
};

void count_hook(lua_State* L, lua_Debug*) {
    static_cast<Tool*>(static_cast<vexel_machine*>(lua_vexel_host(L)))->instructions++;
}

void open_globals(lua_State* L) {
    luaB_open_cart_base(L);
    // The console's math functions, bound as the console binds them (the
    // table of runtime/api.cpp is not linked in: it would bring the whole
    // console and its libraries, and 12 ms of loading to every run).
    static const struct {
        const char* name;
        api_number_fn* fn;
    } numbers[] = {
        {"flr", qz_flr},   {"abs", qz_abs}, {"sgn", qz_sgn},   {"min", qz_min},     {"max", qz_max},   {"mid", qz_mid},
        {"sin", qz_sin},   {"cos", qz_cos}, {"atan2", qz_atan2}, {"sqrt", qz_sqrt}, {"band", qz_band}, {"bor", qz_bor},
        {"bxor", qz_bxor}, {"bnot", qz_bnot}, {"shl", qz_shl}, {"shr", qz_shr},
    };
    for (const auto& f : numbers) {
        lua_pushnumberfunction(L, f.fn);
        lua_setglobal(L, f.name);
    }
    static const luaL_Reg funcs[] = {{"rnd", qz_rnd}, {"srand", qz_srand}, {"printh", printh}};
    for (const luaL_Reg& r : funcs) {
        lua_pushcfunction(L, r.func);
        lua_setglobal(L, r.name);
    }
}

void report(lua_State* L) {
    const char* msg = lua_tostring(L, -1);
    if (msg)
        std::fprintf(stderr, "%s\n", msg);
    else
        std::fprintf(stderr, "(error object is a %s value)\n", luaL_typename(L, -1));
}

struct StateCloser {
    lua_State* L;
    ~StateCloser() { lua_close(L); }
};

}  // namespace

int main(int argc, char** argv) {
    fenn_keep_freed_heap();
    bool count = false;
    bool list = false;
    const char* script = nullptr;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--count") == 0)
            count = true;
        else if (std::strcmp(argv[i], "-l") == 0)
            list = true;
        else if (script == nullptr)
            script = argv[i];
        else
            script = "";  // too many
    }
    if (script == nullptr || *script == '\0') {
        std::fprintf(stderr, "usage: vexel-lua [--count] [-l] SCRIPT.lua\n");
        return 2;
    }
    // The math functions find their random generator and CPU counters in a
    // machine record; this one has nothing else (no screen, no runner). It
    // outlives the state, whose finalizers may still call them.
    auto tool = std::make_unique<Tool>();
    lua_State* L = luaL_newstate();
    if (L == nullptr) {
        std::fprintf(stderr, "vexel-lua: cannot create the interpreter\n");
        return 1;
    }
    StateCloser closer{L};
    lua_vexel_set_host(L, static_cast<vexel_machine*>(tool.get()));
    open_globals(L);
    // The collection helpers, from the header every cartridge program starts with.
    if (luaL_loadbuffer(L, vexel_program_header, std::strlen(vexel_program_header), "=helpers") != LUA_OK ||
        lua_pcall(L, 0, 0, 0) != LUA_OK) {
        report(L);
        return 1;
    }
    if (luaL_loadfilex(L, script, nullptr) != LUA_OK) {
        report(L);
        return 1;
    }
    if (list) {
        std::string out;
        luaU_list_at(L, -1, true, out);
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    }
    if (count) lua_sethook(L, count_hook, LUA_MASKCOUNT, 1);
    int status = lua_pcall(L, 0, 0, 0);
    if (count) {
        lua_sethook(L, nullptr, 0, 0);
        std::fprintf(stderr, "instructions: %lld\n", tool->instructions);
    }
    std::fflush(stdout);
    if (status != LUA_OK) {
        report(L);
        return 1;
    }
    return 0;
}
