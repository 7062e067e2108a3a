// A script state for interpreter tests: counting allocator (so leaks and
// limits show), the cartridge's base functions, and an `out` function that
// collects what a script prints.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_base.h"

namespace lua_test {

struct Heap {
    long long bytes = 0;
    long long limit = -1;  // -1: no limit
};

inline void* counting_alloc(void* ud, void* ptr, size_t osize, size_t nsize) {
    auto* h = static_cast<Heap*>(ud);
    size_t old = ptr ? osize : 0;
    if (nsize == 0) {
        h->bytes -= static_cast<long long>(old);
        std::free(ptr);
        return nullptr;
    }
    if (h->limit >= 0 && h->bytes - static_cast<long long>(old) + static_cast<long long>(nsize) > h->limit)
        return nullptr;
    void* p = std::realloc(ptr, nsize);
    if (p) h->bytes += static_cast<long long>(nsize) - static_cast<long long>(old);
    return p;
}

class State {
public:
    explicit State(long long limit = -1) {
        heap_.limit = limit;
        L = lua_newstate(counting_alloc, &heap_);
        luaB_open_cart_base(L);
        lua_pushlightuserdata(L, &out);
        lua_pushcclosure(L, out_fn, 1);
        lua_setglobal(L, "out");
    }
    ~State() {
        if (L) lua_close(L);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    // Runs a chunk; returns its status and leaves the error message (if any)
    // in `error`.
    int run(const std::string& code, const char* name = "=test") {
        error.clear();
        int status = luaL_loadbuffer(L, code.data(), code.size(), name);
        if (status == LUA_OK) status = lua_pcall(L, 0, 0, 0);
        if (status != LUA_OK) {
            const char* m = lua_tostring(L, -1);
            error = m ? m : "(not a string)";
            lua_pop(L, 1);
        }
        return status;
    }

    long long bytes() const { return heap_.bytes; }
    void close() {
        lua_close(L);
        L = nullptr;
    }

    lua_State* L;
    std::string out;
    std::string error;

private:
    static int out_fn(lua_State* L) {
        auto* s = static_cast<std::string*>(lua_touserdata(L, lua_upvalueindex(1)));
        int n = lua_gettop(L);
        for (int i = 1; i <= n; i++) {
            luaB_pushtostr(L, i, false);
            if (i > 1) *s += ' ';
            *s += lua_tostring(L, -1);
            lua_pop(L, 1);
        }
        *s += '\n';
        return 0;
    }
    Heap heap_;
};

}  // namespace lua_test
