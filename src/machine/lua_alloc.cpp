// The counting allocator of the script machine.
#include "machine/lua_alloc.h"

#include <cstring>

#include "lua/lua.h"

namespace {

// Object tags as the interpreter passes them for new blocks.
constexpr size_t tag_short_string = 4;
constexpr size_t tag_first_fixed = 7;   // userdata, threads, prototypes, upvalues, ...
constexpr size_t tag_last_fixed = 19;
constexpr uint32_t fixed_charge = 32;
// A short string's charge leaves out this much of its header.
constexpr size_t short_string_rebate = 8;

uint32_t read_charge(const unsigned char* block) {
    uint32_t c;
    std::memcpy(&c, block, sizeof c);
    return c;
}

void write_charge(unsigned char* block, uint32_t c) { std::memcpy(block, &c, sizeof c); }

void add_charge(vexel_heap* h, int64_t delta) { h->mem_used = int32_t(int64_t(h->mem_used) + delta); }

// Checks made before any allocation or growth; false refuses it.
bool admit(vexel_heap* h, size_t old_real, size_t nsize) {
    if (vexel_lua_program_memory(h) > vexel_lua_soft_limit) {
        h->soft_limit_reached = true;
        if (h->yield_state) lua_vexel_soft_yield(h->yield_state);
        if (vexel_lua_program_memory(h) > vexel_lua_hard_limit) {
            h->alloc_refused = true;
            return false;
        }
    }
    if (nsize > size_t(vexel_lua_real_limit) ||
        h->real_bytes - int64_t(old_real) + int64_t(nsize + vexel_lua_block_header) > vexel_lua_real_limit) {
        h->alloc_refused = true;
        return false;
    }
    return true;
}

}  // namespace

int64_t vexel_lua_program_memory(const vexel_heap* heap) { return int64_t(heap->mem_used) + heap->code_charge; }

vexel_heap* vexel_lua_heap(lua_State* L) {
    void* ud = nullptr;
    lua_getallocf(L, &ud);
    return static_cast<vexel_heap*>(ud);
}

vexel_machine* vexel_lua_machine(lua_State* L) { return static_cast<vexel_machine*>(lua_vexel_host(L)); }

uint32_t vexel_lua_new_charge(const vexel_heap* heap, size_t osize, size_t nsize) {
    if (osize == 0) return heap->compiling ? 0 : uint32_t(nsize / 2);
    if (osize == tag_short_string) return nsize > short_string_rebate ? uint32_t(nsize - short_string_rebate) : 0;
    if (osize == 1 || osize == 3 || osize == 5 || osize == 6) return uint32_t(nsize / 2);
    if (osize >= tag_first_fixed && osize <= tag_last_fixed) return fixed_charge;
    return 0;  // tag 2 and tags from 20 up (long strings, C closures)
}

void* vexel_lua_alloc(void* ud, void* ptr, size_t osize, size_t nsize) {
    auto* h = static_cast<vexel_heap*>(ud);
    if (nsize == 0) {
        if (ptr == nullptr) return nullptr;
        auto* block = static_cast<unsigned char*>(ptr) - vexel_lua_block_header;
        add_charge(h, -int64_t(read_charge(block)));
        h->real_bytes -= int64_t(osize + vexel_lua_block_header);
        luaA_free(&h->pool, block, osize + vexel_lua_block_header);
        return nullptr;
    }
    if (ptr == nullptr) {
        if (!admit(h, 0, nsize)) return nullptr;
        auto* block = static_cast<unsigned char*>(luaA_alloc(&h->pool, nsize + vexel_lua_block_header));
        if (block == nullptr) return nullptr;
        uint32_t charge = vexel_lua_new_charge(h, osize, nsize);
        write_charge(block, charge);
        add_charge(h, charge);
        h->real_bytes += int64_t(nsize + vexel_lua_block_header);
        return block + vexel_lua_block_header;
    }
    // Resize. Shrinking is never refused: the interpreter cannot handle a
    // failure there.
    size_t old_real = osize + vexel_lua_block_header;
    if (nsize > osize && !admit(h, old_real, nsize)) return nullptr;
    auto* block = static_cast<unsigned char*>(ptr) - vexel_lua_block_header;
    uint32_t old_charge = read_charge(block);
    uint32_t charge;
    if (old_charge == 0)
        charge = 0;
    else if (old_charge == osize / 2)
        charge = uint32_t(nsize / 2);
    else
        charge = uint32_t(nsize);
    add_charge(h, -int64_t(old_charge));
    auto* grown = static_cast<unsigned char*>(
        luaA_realloc(&h->pool, block, old_real, nsize + vexel_lua_block_header));
    if (grown == nullptr) {  // only a growth fails; the old block is still there
        add_charge(h, old_charge);
        return nullptr;
    }
    write_charge(grown, charge);
    add_charge(h, charge);
    h->real_bytes += int64_t(nsize) - int64_t(osize);
    return grown + vexel_lua_block_header;
}
