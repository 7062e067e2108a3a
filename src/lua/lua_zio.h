// Buffered input streams for the loader and growable byte buffers.
//
// A ZIO pulls blocks from a lua_Reader; n is the number of bytes left in the
// current block and p the next byte. zgetc returns EOZ at the end. An
// Mbuffer is memory owned by the state's allocator, grown by luaZ_resizebuffer.
#pragma once

#include "lua/lua.h"
#include "lua/lua_limits.h"

constexpr int EOZ = -1;

struct Zio {
    size_t n;          // bytes still unread
    const char* p;     // current position in buffer
    lua_Reader reader;
    void* data;        // additional data for the reader
    lua_State* L;
};
using ZIO = Zio;

struct Mbuffer {
    char* buffer;
    size_t n;
    size_t buffsize;
};

void luaZ_init(lua_State* L, ZIO* z, lua_Reader reader, void* data);
int luaZ_fill(ZIO* z);
size_t luaZ_read(ZIO* z, void* b, size_t n);
inline int zgetc(ZIO* z) {
    return (z->n--) > 0 ? static_cast<unsigned char>(*z->p++) : luaZ_fill(z);
}

inline void luaZ_initbuffer(lua_State*, Mbuffer* buff) { buff->buffer = nullptr; buff->n = 0; buff->buffsize = 0; }
inline char* luaZ_buffer(Mbuffer* buff) { return buff->buffer; }
inline size_t luaZ_sizebuffer(Mbuffer* buff) { return buff->buffsize; }
inline size_t luaZ_bufflen(Mbuffer* buff) { return buff->n; }
inline void luaZ_resetbuffer(Mbuffer* buff) { buff->n = 0; }
void luaZ_resizebuffer(lua_State* L, Mbuffer* buff, size_t size);
inline void luaZ_freebuffer(lua_State* L, Mbuffer* buff) { luaZ_resizebuffer(L, buff, 0); }
char* luaZ_openspace(lua_State* L, Mbuffer* buff, size_t n);
