// The auxiliary library: argument checks and errors for C functions called
// from scripts, string buffers and the chunk loaders.
//
// Argument numbers reach the formatter shifted left by 16 so that they print
// as plain integers; the line of luaL_where's prefix and of traceback
// entries is passed unscaled (it prints as line / 65536, which the program
// runner turns back into the line).
#include "lua/lua_aux.h"
#include "lua/lua_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "lua/lua_object.h"
#include "lua/lua_pool.h"

namespace {

constexpr int LEVELS1 = 12;  // traceback entries shown before the gap
constexpr int LEVELS2 = 10;  // and after it

inline int argnum(int n) { return int(uint32_t(n) << 16); }

[[noreturn]] void tag_error(lua_State* L, int narg, int tag) {
    const char* msg = lua_pushfstring(L, "%s expected, got %s", lua_typename(L, tag), luaL_typename(L, narg));
    luaL_argerror(L, narg, msg);
    std::abort();  // not reached: luaL_argerror raises
}

void interror(lua_State* L, int narg) {
    if (lua_isnumber(L, narg))
        luaL_argerror(L, narg, "number has no integer representation");
    else
        tag_error(L, narg, LUA_TNUMBER);
}

struct LoadS {
    const char* s;
    size_t size;
};

const char* getS(lua_State*, void* ud, size_t* size) {
    auto* ls = static_cast<LoadS*>(ud);
    if (ls->size == 0) return nullptr;
    *size = ls->size;
    ls->size = 0;
    return ls->s;
}

struct FileCloser {
    void operator()(FILE* f) const {
        if (f && f != stdin) std::fclose(f);
    }
};

// Bytes read from a file at a time when loading it.
constexpr int load_file_chunk = 8192;

struct LoadF {
    int n;  // bytes already in buff (pre-read)
    FILE* f;
    char buff[load_file_chunk];
};

const char* getF(lua_State*, void* ud, size_t* size) {
    auto* lf = static_cast<LoadF*>(ud);
    if (lf->n > 0) {
        *size = size_t(lf->n);
        lf->n = 0;
    } else {
        if (std::feof(lf->f)) return nullptr;
        *size = std::fread(lf->buff, 1, sizeof(lf->buff), lf->f);
    }
    return lf->buff;
}

int errfile(lua_State* L, const char* what, int fnameindex) {
    const char* serr = std::strerror(errno);
    const char* filename = lua_tostring(L, fnameindex) + 1;
    lua_pushfstring(L, "cannot %s %s: %s", what, filename, serr);
    lua_remove(L, fnameindex);
    return LUA_ERRFILE;
}

// Skips an optional UTF-8 byte-order mark; returns the next character.
int skipBOM(LoadF* lf) {
    const char* p = "\xEF\xBB\xBF";
    lf->n = 0;
    int c;
    do {
        c = std::getc(lf->f);
        if (c == EOF || c != *reinterpret_cast<const unsigned char*>(p)) return c;
        lf->buff[lf->n++] = char(c);
    } while (*++p != '\0');
    lf->n = 0;  // the whole mark was read: drop it
    return std::getc(lf->f);
}

// A first line starting with '#' (a Unix exec line) is skipped; the newline
// is kept so line numbers stay right.
bool skipcomment(LoadF* lf, int* cp) {
    int c = *cp = skipBOM(lf);
    if (c != '#') return false;
    do {
        c = std::getc(lf->f);
    } while (c != EOF && c != '\n');
    *cp = std::getc(lf->f);
    return true;
}

// The allocation function of luaL_newstate: blocks come from the state's
// own pool (ud). The pool lives as long as some block of the state does:
// a call that leaves it holding none (the free of the main block at
// lua_close, or a failed first allocation in lua_newstate) deletes it.
void* l_alloc(void* ud, void* ptr, size_t osize, size_t nsize) {
    auto* pool = static_cast<luaA_Pool*>(ud);
    if (nsize != 0) {
        void* block = ptr != nullptr ? luaA_realloc(pool, ptr, osize, nsize) : luaA_alloc(pool, nsize);
        if (block == nullptr && pool->live == 0) delete pool;
        return block;
    }
    if (ptr != nullptr) luaA_free(pool, ptr, osize);
    if (pool->live == 0) delete pool;
    return nullptr;
}

int panic(lua_State* L) {
    const char* msg = lua_tostring(L, -1);
    std::fprintf(stderr, "PANIC: unprotected error in call to Lua API (%s)\n", msg ? msg : "?");
    return 0;
}

int countlevels(lua_State* L) {
    lua_Debug ar;
    int li = 1, le = 1;
    while (lua_getstack(L, le, &ar)) {  // find a level that does not exist
        li = le;
        le *= 2;
        if (le > (1 << 24)) break;
    }
    while (li < le) {  // then search back for the last one that does
        int m = (li + le) / 2;
        if (lua_getstack(L, m, &ar))
            li = m + 1;
        else
            le = m;
    }
    return le - 1;
}

}  // namespace

// ---- errors ----

int luaL_argerror(lua_State* L, int narg, const char* extramsg) {
    lua_Debug ar;
    if (!lua_getstack(L, 0, &ar)) return luaL_error(L, "bad argument #%d (%s)", argnum(narg), extramsg);
    lua_getinfo(L, "n", &ar);
    if (std::strcmp(ar.namewhat, "method") == 0) {
        narg--;  // self does not count
        if (narg == 0) return luaL_error(L, "calling '%s' on bad self (%s)", ar.name, extramsg);
    }
    if (ar.name == nullptr) ar.name = "?";
    return luaL_error(L, "bad argument #%d to '%s' (%s)", argnum(narg), ar.name, extramsg);
}

void luaL_where(lua_State* L, int level) {
    lua_Debug ar;
    if (lua_getstack(L, level, &ar)) {
        lua_getinfo(L, "Sl", &ar);
        if (ar.currentline > 0) {
            G(L)->runtime_line = ar.currentline;
            lua_pushfstring(L, "%s:%d: ", ar.short_src, ar.currentline);
            return;
        }
    }
    lua_pushlstring(L, "", 0);
}

int luaL_error(lua_State* L, const char* fmt, ...) {
    luaL_where(L, 1);
    va_list argp;
    va_start(argp, fmt);
    lua_pushvfstring(L, fmt, argp);
    va_end(argp);
    lua_concat(L, 2);
    return lua_error(L);
}

// ---- argument checks ----

void luaL_checktype(lua_State* L, int narg, int t) {
    if (lua_type(L, narg) != t) tag_error(L, narg, t);
}

void luaL_checkany(lua_State* L, int narg) {
    if (lua_type(L, narg) == LUA_TNONE) luaL_argerror(L, narg, "value expected");
}

const char* luaL_checklstring(lua_State* L, int narg, size_t* len) {
    const char* s = lua_tolstring(L, narg, len);
    if (!s) tag_error(L, narg, LUA_TSTRING);
    return s;
}

const char* luaL_optlstring(lua_State* L, int narg, const char* def, size_t* len) {
    if (lua_isnoneornil(L, narg)) {
        if (len) *len = def ? std::strlen(def) : 0;
        return def;
    }
    return luaL_checklstring(L, narg, len);
}

lua_Number luaL_checknumber(lua_State* L, int narg) {
    int isnum;
    lua_Number d = lua_tonumberx(L, narg, &isnum);
    if (!isnum) tag_error(L, narg, LUA_TNUMBER);
    return d;
}

lua_Integer luaL_checkinteger(lua_State* L, int narg) {
    int isnum;
    lua_Integer d = lua_tointegerx(L, narg, &isnum);
    if (!isnum) interror(L, narg);
    return d;
}

lua_Integer luaL_optinteger(lua_State* L, int narg, lua_Integer def) {
    return luaL_opt(L, luaL_checkinteger, narg, def);
}

// ---- metatables ----

int luaL_getmetafield(lua_State* L, int obj, const char* event) {
    if (!lua_getmetatable(L, obj)) return 0;
    lua_pushstring(L, event);
    lua_rawget(L, -2);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 2);
        return 0;
    }
    lua_remove(L, -2);  // keep only the field
    return 1;
}

// ---- loading ----

int luaL_loadbufferx(lua_State* L, const char* buff, size_t size, const char* name, const char* mode) {
    LoadS ls;
    ls.s = buff;
    ls.size = size;
    return lua_load(L, getS, &ls, name, mode);
}

int luaL_loadstring(lua_State* L, const char* s) { return luaL_loadbuffer(L, s, std::strlen(s), s); }

int luaL_loadfilex(lua_State* L, const char* filename, const char* mode) {
    auto lf = std::make_unique<LoadF>();
    int fnameindex = lua_gettop(L) + 1;
    std::unique_ptr<FILE, FileCloser> file;
    if (filename == nullptr) {
        lua_pushliteral(L, "=stdin");
        file.reset(stdin);
    } else {
        lua_pushfstring(L, "@%s", filename);
        file.reset(std::fopen(filename, "rb"));
        if (!file) return errfile(L, "open", fnameindex);
    }
    lf->f = file.get();
    int c;
    if (skipcomment(lf.get(), &c)) lf->buff[lf->n++] = '\n';
    if (c != EOF) lf->buff[lf->n++] = char(c);
    int status = lua_load(L, getF, lf.get(), lua_tostring(L, -1), mode);
    if (std::ferror(lf->f)) {
        lua_settop(L, fnameindex);
        return errfile(L, "read", fnameindex);
    }
    lua_remove(L, fnameindex);
    return status;
}

lua_State* luaL_newstate() {
    auto* pool = new (std::nothrow) luaA_Pool;
    if (pool == nullptr) return nullptr;
    lua_State* L = lua_newstate(l_alloc, pool);  // on failure l_alloc has deleted the pool
    if (L) lua_atpanic(L, &panic);
    return L;
}

// ---- tables and names ----

void luaL_traceback(lua_State* L, lua_State* L1, const char* msg, int level) {
    lua_Debug ar;
    int top = lua_gettop(L);
    int numlevels = countlevels(L1);
    int mark = (numlevels > LEVELS1 + LEVELS2) ? LEVELS1 : -1;
    if (msg) lua_pushfstring(L, "%s\n", msg);
    lua_pushliteral(L, "stack traceback:");
    while (lua_getstack(L1, level++, &ar)) {
        if (level == mark) {  // too many levels: skip the middle ones
            lua_pushliteral(L, "\n\t...");
            level = numlevels - LEVELS2;
        } else {
            lua_getinfo(L1, "Slnt", &ar);
            lua_pushfstring(L, "\n\t%s:", ar.short_src);
            if (ar.currentline > 0) lua_pushfstring(L, "%d:", ar.currentline);
            lua_pushliteral(L, " in ");
            if (*ar.namewhat != '\0')
                lua_pushfstring(L, "function '%s'", ar.name);
            else if (*ar.what == 'm')
                lua_pushliteral(L, "main chunk");
            else if (*ar.what == 'C')
                lua_pushliteral(L, "?");
            else
                lua_pushfstring(L, "function <%s:%d>", ar.short_src, argnum(ar.linedefined));
            if (ar.istailcall) lua_pushliteral(L, "\n\t(...tail calls...)");
            lua_concat(L, lua_gettop(L) - top);
        }
    }
    lua_concat(L, lua_gettop(L) - top);
}
