// Helpers for the language tests: running source with our interpreter (with
// an allocator that checks every byte comes back), and running the stock
// lua5.2 / luac5.2 programs as an oracle when they are installed.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_dump.h"
#include "lua/lua_base.h"
#include "test_support.h"

namespace lua_oracle {

inline std::string corpus_dir() { return std::string(VEXEL_SOURCE_DIR) + "/tests/lua/corpus"; }

inline std::vector<std::string> corpus_files() {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(corpus_dir()))
        if (e.path().extension() == ".lua") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// A file name for a scratch file of this process (other test runs may use
// the same temporary folder at the same time).
inline std::string scratch_path(const std::string& name) {
    return std::filesystem::temp_directory_path().string() + "/vexel_lua_" + std::to_string(getpid()) + "_" + name;
}

using vexel_test::read_file;

// Tracks live bytes (osize is the old size only for existing blocks) and
// refuses growth past a limit.
struct CountingAlloc {
    long long live = 0;
    long long limit = 1ll << 30;
    static void* fn(void* ud, void* p, size_t osize, size_t nsize) {
        auto* a = static_cast<CountingAlloc*>(ud);
        long long old = p ? static_cast<long long>(osize) : 0;
        if (nsize == 0) {
            a->live -= old;
            std::free(p);
            return nullptr;
        }
        if (a->live - old + static_cast<long long>(nsize) > a->limit) return nullptr;
        void* q = std::realloc(p, nsize);
        if (q) a->live += static_cast<long long>(nsize) - old;
        return q;
    }
};

struct Run {
    int status = LUA_OK;   // of loading and running
    std::string out;       // printh output
    std::string err;       // error message
    long long count = 0;   // instructions executed by the chunk (when counted)
    long long leaked = 0;  // bytes still allocated after lua_close
    int runtime_line = 0;  // lua_vexel_runtime_line after the run
    int last_line = 0;     // lua_vexel_last_line after the run
};

inline thread_local long long hook_count = 0;
inline void count_hook(lua_State*, lua_Debug*) { hook_count++; }

// printh(value): the value as tostr formats it and a newline, appended to
// the string in the first upvalue.
inline int printh(lua_State* L) {
    auto* s = static_cast<std::string*>(lua_touserdata(L, lua_upvalueindex(1)));
    size_t len;
    luaB_pushtostr(L, 1, false);
    const char* t = lua_tolstring(L, -1, &len);
    s->append(t, len);
    *s += '\n';
    return 0;
}

// The cartridge header's collection functions, as the stock prelude loads them.
inline std::string collection_functions() {
    return read_file(std::string(VEXEL_SOURCE_DIR) + "/tests/lua/diff/helpers.lua");
}

inline int open_globals(lua_State* L, std::string* out) {
    luaB_open_cart_base(L);
    lua_pushlightuserdata(L, out);
    lua_pushcclosure(L, printh, 1);
    lua_setglobal(L, "printh");
    std::string helpers = collection_functions();
    int status = luaL_loadbuffer(L, helpers.data(), helpers.size(), "=helpers");
    if (status == LUA_OK) status = lua_pcall(L, 0, 0, 0);
    return status;
}

// Compiles and runs src with the script globals. With count, a count hook
// of 1 counts the chunk's instructions.
inline Run run(const std::string& src, bool count = false, const char* chunkname = "=test") {
    Run r;
    CountingAlloc alloc;
    lua_State* L = lua_newstate(CountingAlloc::fn, &alloc);
    if (!L) {
        r.status = LUA_ERRMEM;
        return r;
    }
    r.status = open_globals(L, &r.out);
    if (r.status == LUA_OK) r.status = luaL_loadbuffer(L, src.data(), src.size(), chunkname);
    if (r.status == LUA_OK) {
        hook_count = 0;
        if (count) lua_sethook(L, count_hook, LUA_MASKCOUNT, 1);
        r.status = lua_pcall(L, 0, 0, 0);
        lua_sethook(L, nullptr, 0, 0);
        r.count = hook_count;
    }
    if (r.status != LUA_OK) {
        const char* m = lua_tostring(L, -1);
        r.err = m ? m : "";
    }
    r.runtime_line = lua_vexel_runtime_line(L);
    r.last_line = lua_vexel_last_line(L);
    lua_close(L);
    r.leaked = alloc.live;
    return r;
}

// The listing of src as luac -l -l prints it, addresses replaced by ADDR;
// the compiler's message when it fails.
inline std::string listing(const std::string& src, const std::string& chunkname) {
    lua_State* L = luaL_newstate();
    std::string out;
    if (luaL_loadbuffer(L, src.data(), src.size(), chunkname.c_str()) == LUA_OK)
        luaU_list_at(L, -1, true, out);
    else
        out = lua_tostring(L, -1);
    lua_close(L);
    return std::regex_replace(out, std::regex("0x[0-9a-f]+"), "ADDR");
}

inline bool have(const char* program) {
    std::string path = std::string("/usr/bin/") + program;
    return access(path.c_str(), X_OK) == 0;
}

inline std::string capture(const std::string& cmd) { return vexel_test::command_output(cmd); }

inline std::string stock_listing(const std::string& path) {
    return std::regex_replace(capture("luac5.2 -l -l -o /dev/null '" + path + "' 2>&1"), std::regex("0x[0-9a-f]+"),
                              "ADDR");
}

// What the stock interpreter prints for a script, given functions that
// behave like ours on integers. The last line is "COUNT n" with the number
// of instructions the hook counted around the script.
inline std::string stock_run(const std::string& path) {
    std::string prelude = std::string(VEXEL_SOURCE_DIR) + "/tests/lua/stock_prelude.lua";
    return capture("lua5.2 -e \"dofile('" + prelude +
                   "')\" -e \"local n = 0 debug.sethook(function() n = n + 1 end, '', 1) local ok, e = pcall(dofile, '" +
                   path + "') debug.sethook() if not ok then print('ERROR ' .. tostring(e)) end print('COUNT ' .. n)\" 2>&1");
}

}  // namespace lua_oracle
