// The counting allocator of the script machine.
#include "machine/lua_alloc.h"

#include <cstdlib>
#include <cstring>

#include "lua/lua.h"

int32_t lua_mem_used = 0;
int32_t vexel_lua_code_charge = 0;
bool vexel_lua_compiling = false;
bool vexel_lua_soft_limit_reached = false;
bool vexel_lua_alloc_refused = false;
lua_State* vexel_lua_alloc_state = nullptr;

namespace {

// Object tags as the interpreter passes them for new blocks.
constexpr size_t kTagShortString = 4;
constexpr size_t kTagFirstFixed = 7;   // userdata, threads, prototypes, upvalues, ...
constexpr size_t kTagLastFixed = 19;
constexpr uint32_t kFixedCharge = 32;
// A short string's charge leaves out this much of its header.
constexpr size_t kShortStringRebate = 8;

int64_t g_real_bytes = 0;

uint32_t read_charge(const unsigned char* block) {
    uint32_t c;
    std::memcpy(&c, block, sizeof c);
    return c;
}

void write_charge(unsigned char* block, uint32_t c) { std::memcpy(block, &c, sizeof c); }

void add_charge(int64_t delta) { lua_mem_used = int32_t(int64_t(lua_mem_used) + delta); }

// Checks made before any allocation or growth; false refuses it.
bool admit(size_t old_real, size_t nsize) {
    if (vexel_lua_program_memory() > kLuaSoftLimit) {
        vexel_lua_soft_limit_reached = true;
        if (vexel_lua_alloc_state) lua_vexel_soft_yield(vexel_lua_alloc_state);
        if (vexel_lua_program_memory() > kLuaHardLimit) {
            vexel_lua_alloc_refused = true;
            return false;
        }
    }
    if (nsize > size_t(kLuaRealLimit) ||
        g_real_bytes - int64_t(old_real) + int64_t(nsize + kLuaBlockHeader) > kLuaRealLimit) {
        vexel_lua_alloc_refused = true;
        return false;
    }
    return true;
}

}  // namespace

int64_t vexel_lua_program_memory() { return int64_t(lua_mem_used) + vexel_lua_code_charge; }

int64_t vexel_lua_real_bytes() { return g_real_bytes; }

uint32_t vexel_lua_new_charge(size_t osize, size_t nsize) {
    if (osize == 0) return vexel_lua_compiling ? 0 : uint32_t(nsize / 2);
    if (osize == kTagShortString) return nsize > kShortStringRebate ? uint32_t(nsize - kShortStringRebate) : 0;
    if (osize == 1 || osize == 3 || osize == 5 || osize == 6) return uint32_t(nsize / 2);
    if (osize >= kTagFirstFixed && osize <= kTagLastFixed) return kFixedCharge;
    return 0;  // tag 2 and tags from 20 up (long strings, C closures)
}

void* vexel_lua_alloc(void*, void* ptr, size_t osize, size_t nsize) {
    if (nsize == 0) {
        if (ptr == nullptr) return nullptr;
        auto* block = static_cast<unsigned char*>(ptr) - kLuaBlockHeader;
        add_charge(-int64_t(read_charge(block)));
        g_real_bytes -= int64_t(osize + kLuaBlockHeader);
        std::free(block);
        return nullptr;
    }
    if (ptr == nullptr) {
        if (!admit(0, nsize)) return nullptr;
        auto* block = static_cast<unsigned char*>(std::malloc(nsize + kLuaBlockHeader));
        if (block == nullptr) return nullptr;
        uint32_t charge = vexel_lua_new_charge(osize, nsize);
        write_charge(block, charge);
        add_charge(charge);
        g_real_bytes += int64_t(nsize + kLuaBlockHeader);
        return block + kLuaBlockHeader;
    }
    // Resize. Shrinking is never refused: the interpreter cannot handle a
    // failure there.
    size_t old_real = osize + kLuaBlockHeader;
    if (nsize > osize && !admit(old_real, nsize)) return nullptr;
    auto* block = static_cast<unsigned char*>(ptr) - kLuaBlockHeader;
    uint32_t old_charge = read_charge(block);
    uint32_t charge;
    if (old_charge == 0)
        charge = 0;
    else if (old_charge == osize / 2)
        charge = uint32_t(nsize / 2);
    else
        charge = uint32_t(nsize);
    add_charge(-int64_t(old_charge));
    auto* grown = static_cast<unsigned char*>(std::realloc(block, nsize + kLuaBlockHeader));
    if (grown == nullptr) {
        add_charge(old_charge);  // the old block is still there
        if (nsize <= osize) return ptr;  // keep the larger block rather than fail a shrink
        return nullptr;
    }
    write_charge(grown, charge);
    add_charge(charge);
    g_real_bytes += int64_t(nsize) - int64_t(osize);
    return grown + kLuaBlockHeader;
}
