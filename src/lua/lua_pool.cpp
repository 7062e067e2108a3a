// The small-block pool: cutting new blocks from chunks, resizes across
// classes, giving the chunks back, and the AddressSanitizer bookkeeping.
#include "lua/lua_pool.h"

#include <algorithm>
#include <cstring>

#ifdef LUAA_ASAN
#include <sanitizer/asan_interface.h>

#include <cstdio>
#endif

namespace {

#ifdef LUAA_ASAN
// A block handed out for n bytes: those are usable, the rest of its class's
// room is not.
void mark_used(void* block, size_t n, size_t csize) {
    ASAN_UNPOISON_MEMORY_REGION(block, n);
    if (n < csize) ASAN_POISON_MEMORY_REGION(static_cast<char*>(block) + n, csize - n);
}

// A pooled block named as n bytes must have exactly its first n bytes
// usable: anything else is a wrong size or a block freed already, which
// would hand the same memory out twice.
void check_used(const void* block, size_t n, size_t csize) {
    auto* b = const_cast<char*>(static_cast<const char*>(block));
    if (__asan_region_is_poisoned(b, n) != nullptr || (n < csize && !__asan_address_is_poisoned(b + n))) {
        std::fprintf(stderr, "lua_pool: block %p freed or resized as %zu bytes, which is not its size, or freed twice\n",
                     block, n);
        std::abort();
    }
}
#endif

void push_free(luaA_Pool* p, void* block, size_t c) {
    auto* b = static_cast<luaA_Free*>(block);
#ifdef LUAA_ASAN
    ASAN_UNPOISON_MEMORY_REGION(b, sizeof *b);
#endif
    b->next = p->free[c];
    p->free[c] = b;
#ifdef LUAA_ASAN
    ASAN_POISON_MEMORY_REGION(b, luaA_class_size(c));
#endif
}

// Takes a new chunk from the host and makes it the current one; the rest of
// the old current chunk goes onto the free list of its size (it is smaller
// than the block that did not fit, so at most luaA_max_small).
bool new_chunk(luaA_Pool* p) {
    size_t size = p->next_chunk;
    if (size > p->chunk_limit - std::min(p->chunk_limit, p->chunk_bytes)) return false;
    auto* base = static_cast<char*>(std::malloc(size));
    if (base == nullptr) return false;
    size_t rest = size_t(p->bump_end - p->bump);
    if (rest > 0) push_free(p, p->bump, luaA_class(rest));
    auto* chunk = reinterpret_cast<luaA_Chunk*>(base);
    chunk->next = p->chunks;
    chunk->base = base;
    p->chunks = chunk;
    p->chunk_bytes += size;
    p->bump = base + luaA_granule;
    p->bump_end = base + size;
#ifdef LUAA_ASAN
    ASAN_POISON_MEMORY_REGION(p->bump, size - luaA_granule);
#endif
    p->next_chunk = std::min(size * 2, luaA_max_chunk);
    return true;
}

// A pooled block for n bytes, not yet counted in live; null when the host
// has no memory for a new chunk.
void* take_small(luaA_Pool* p, size_t n) {
    size_t c = luaA_class(n);
    void* block = p->free[c];
    if (block != nullptr) {
#ifdef LUAA_ASAN
        ASAN_UNPOISON_MEMORY_REGION(block, sizeof(luaA_Free));
#endif
        p->free[c] = p->free[c]->next;
    } else {
        size_t csize = luaA_class_size(c);
        if (size_t(p->bump_end - p->bump) < csize && !new_chunk(p)) return nullptr;
        block = p->bump;
        p->bump += csize;
    }
#ifdef LUAA_ASAN
    mark_used(block, n, luaA_class_size(c));
#endif
    return block;
}

// A host block for n > luaA_max_small bytes.
void* take_large(size_t n) { return std::malloc(std::max(n, luaA_min_large)); }

void give_back(luaA_Pool* p, void* block, size_t n) {
    if (n <= luaA_max_small)
        push_free(p, block, luaA_class(n));
    else
        std::free(block);
}

}  // namespace

luaA_Pool::~luaA_Pool() { luaA_release(this); }

void* luaA_alloc_slow(luaA_Pool* p, size_t n) {
    void* block = n <= luaA_max_small ? take_small(p, n) : take_large(n);
    if (block != nullptr) p->live++;
    return block;
}

void luaA_free_slow(luaA_Pool* p, void* block, size_t n) {
#ifdef LUAA_ASAN
    if (n <= luaA_max_small) check_used(block, n, luaA_class_size(luaA_class(n)));
#endif
    give_back(p, block, n);
    if (--p->live == 0) luaA_release(p);
}

void* luaA_realloc_slow(luaA_Pool* p, void* block, size_t osize, size_t nsize) {
    bool old_small = osize <= luaA_max_small;
    bool new_small = nsize <= luaA_max_small;
#ifdef LUAA_ASAN
    if (old_small) check_used(block, osize, luaA_class_size(luaA_class(osize)));
#endif
    if (old_small && new_small && luaA_class(osize) == luaA_class(nsize)) {
#ifdef LUAA_ASAN
        mark_used(block, nsize, luaA_class_size(luaA_class(nsize)));
#endif
        return block;
    }
    if (!old_small && !new_small) {
        void* resized = std::realloc(block, std::max(nsize, luaA_min_large));
        if (resized != nullptr) return resized;
        return nsize <= osize ? block : nullptr;  // a shrink keeps the larger block
    }
    void* moved = new_small ? take_small(p, nsize) : take_large(nsize);
    if (moved != nullptr) {
        std::memcpy(moved, block, std::min(osize, nsize));
        give_back(p, block, osize);
        return moved;
    }
    if (nsize > osize) return nullptr;
    // A shrink must not fail. A pooled block serves as it is: it is larger
    // than the blocks of the new class, and goes to that class's free list
    // when freed.
    if (old_small) {
#ifdef LUAA_ASAN
        mark_used(block, nsize, luaA_class_size(luaA_class(nsize)));
#endif
        return block;
    }
    // A large block (at least luaA_min_large bytes) becomes a chunk of its
    // own, its record after the room of the largest pooled block.
    auto* chunk = reinterpret_cast<luaA_Chunk*>(static_cast<char*>(block) + luaA_max_small);
    chunk->next = p->chunks;
    chunk->base = block;
    p->chunks = chunk;
    p->chunk_bytes += luaA_min_large;
#ifdef LUAA_ASAN
    mark_used(block, nsize, luaA_class_size(luaA_class(nsize)));
#endif
    return block;
}

void luaA_release(luaA_Pool* p) {
    luaA_Chunk* chunk = p->chunks;
    while (chunk != nullptr) {
        luaA_Chunk* next = chunk->next;
        std::free(chunk->base);
        chunk = next;
    }
    for (luaA_Free*& f : p->free) f = nullptr;
    p->chunks = nullptr;
    p->bump = p->bump_end = nullptr;
    p->chunk_bytes = 0;
    p->next_chunk = luaA_first_chunk;
}
