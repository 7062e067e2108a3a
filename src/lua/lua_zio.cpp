// Input streams and growable buffers.
#include "lua/lua_zio.h"

#include <cstring>

#include "lua/lua_mem.h"

int luaZ_fill(ZIO* z) {
    size_t size;
    const char* buff = z->reader(z->L, z->data, &size);
    if (buff == nullptr || size == 0) return EOZ;
    z->n = size - 1;  // one byte is consumed now
    z->p = buff;
    return static_cast<unsigned char>(*(z->p++));
}

void luaZ_init(lua_State* L, ZIO* z, lua_Reader reader, void* data) {
    z->L = L;
    z->reader = reader;
    z->data = data;
    z->n = 0;
    z->p = nullptr;
}

size_t luaZ_read(ZIO* z, void* b, size_t n) {
    while (n) {
        if (z->n == 0) {
            if (luaZ_fill(z) == EOZ) return n;  // bytes still missing
            z->n++;                             // luaZ_fill consumed the first byte: put it back
            z->p--;
        }
        size_t m = (n <= z->n) ? n : z->n;
        std::memcpy(b, z->p, m);
        z->n -= m;
        z->p += m;
        b = static_cast<char*>(b) + m;
        n -= m;
    }
    return 0;
}

void luaZ_resizebuffer(lua_State* L, Mbuffer* buff, size_t size) {
    buff->buffer = static_cast<char*>(luaM_realloc_(L, buff->buffer, buff->buffsize, size));
    buff->buffsize = size;
}

char* luaZ_openspace(lua_State* L, Mbuffer* buff, size_t n) {
    if (n > buff->buffsize) {
        if (n < LUA_MINBUFFER) n = LUA_MINBUFFER;
        luaZ_resizebuffer(L, buff, n);
    }
    return buff->buffer;
}
