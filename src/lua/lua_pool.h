// A pool of small blocks under the interpreter's allocation functions
// (l_alloc of luaL_newstate, and the machine's vexel_lua_alloc).
//
// Why: a program that makes short-lived tables, closures and strings spends
// most of its allocation time in the host's malloc/free, which look for
// neighbours to merge and keep per-block headers the interpreter does not
// need (it always says how large a block is when it frees or resizes one).
// On bench/lua/garbage.lua glibc's malloc, free and realloc took 30% of all
// host instructions; with the pool the run takes 5.14 G instead of 7.00 G
// instructions (callgrind, vexel-lua), the pool's share being 0.37 G, and
// its time against stock lua5.2 (bench_lua_vs_stock) went from 0.99 to
// 0.73. The cost: freed blocks stay in their class, so the heap's peak on
// that program rose from 0.43 to 0.76 MB (massif).
//
// Blocks of up to luaA_max_small bytes come from size classes luaA_granule
// bytes apart. A freed block goes onto its class's free list and is handed
// out again for the next block of that class; new blocks are cut from the
// current chunk (a larger block taken from the host; each new chunk twice
// the last, from luaA_first_chunk up to luaA_max_chunk). Larger blocks go
// to the host's malloc/realloc/free. Pooled blocks carry no header: the
// class of a block is found from the size the caller gives back, so that
// size must be the one it asked for (the lua_Alloc rule).
//
// Ownership: a pool belongs to the user data of one allocation function and
// serves one interpreter state (with its threads) at a time: the
// vexel_heap of a machine holds one, and luaL_newstate makes one for its
// state, which l_alloc deletes when the state's last block (its main block,
// at lua_close) is freed.
//
// Invariants:
// - live is the number of blocks handed out (pooled or not) and not freed.
//   When a free brings it to zero every chunk goes back to the host; the
//   destructor gives back whatever chunks remain.
// - Every block is aligned to luaA_granule (16 bytes), as the host's
//   malloc aligns its blocks.
// - A resize that does not grow the block never fails. A large block is
//   taken with at least luaA_min_large bytes, so one that shrinks into the
//   pool's sizes can always be kept as a chunk of its own when no pooled
//   block can be had.
// - In builds with AddressSanitizer, free blocks and the unused ends of
//   blocks are poisoned, and a free or resize that names a pooled block
//   with another size than it was given (or frees it twice) stops the
//   process with a message.
// Not thread-safe: a pool is used from the thread that runs its state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define LUAA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUAA_ASAN 1
#endif
#endif

// Distance between size classes and alignment of every block.
constexpr size_t luaA_granule = 16;
// Largest block served from the pool; larger ones go to the host.
constexpr size_t luaA_max_small = 512;
constexpr size_t luaA_nclasses = luaA_max_small / luaA_granule;
// Sizes of the chunks taken from the host: the first, and the most any
// later one grows to.
constexpr size_t luaA_first_chunk = 4096;
constexpr size_t luaA_max_chunk = 65536;

// The record at the front of every chunk (or, for a large block kept as a
// chunk, at offset luaA_max_small), linking the pool's chunks.
struct luaA_Chunk {
    luaA_Chunk* next;
    void* base;  // what the host's malloc returned
};
static_assert(sizeof(luaA_Chunk) <= luaA_granule);
// Least size of a block taken from the host: room for any pooled block and
// a chunk record after it.
constexpr size_t luaA_min_large = luaA_max_small + luaA_granule;

// A free block: the link of its class's free list.
struct luaA_Free {
    luaA_Free* next;
};

struct luaA_Pool {
    luaA_Pool() = default;
    ~luaA_Pool();
    luaA_Pool(const luaA_Pool&) = delete;
    luaA_Pool& operator=(const luaA_Pool&) = delete;

    luaA_Free* free[luaA_nclasses] = {};  // per class: blocks freed and not yet reused
    char* bump = nullptr;                 // where the next new block is cut from the current chunk
    char* bump_end = nullptr;             // end of the current chunk
    luaA_Chunk* chunks = nullptr;         // every chunk held
    size_t chunk_bytes = 0;               // host bytes held in chunks
    size_t next_chunk = luaA_first_chunk;  // size of the next chunk taken
    size_t live = 0;                      // blocks handed out and not freed
    // Host bytes the chunks may take; a chunk past it is refused as if the
    // host had no memory (tests use it to reach the out-of-memory paths).
    size_t chunk_limit = SIZE_MAX;
};

// Out-of-line parts (lua_pool.cpp). In builds with AddressSanitizer every
// call takes them, as they poison and check blocks.
void* luaA_alloc_slow(luaA_Pool* p, size_t n);
void luaA_free_slow(luaA_Pool* p, void* block, size_t n);
void* luaA_realloc_slow(luaA_Pool* p, void* block, size_t osize, size_t nsize);
// Gives every chunk back to the host and empties the free lists; any
// pooled block still handed out becomes invalid.
void luaA_release(luaA_Pool* p);

// Class of a pooled block of n bytes (1 <= n <= luaA_max_small), and the
// size of its blocks.
inline size_t luaA_class(size_t n) { return (n - 1) / luaA_granule; }
inline size_t luaA_class_size(size_t c) { return (c + 1) * luaA_granule; }

// A new block of n > 0 bytes, or null when the host has no memory.
inline void* luaA_alloc(luaA_Pool* p, size_t n) {
#ifndef LUAA_ASAN
    if (n <= luaA_max_small) {
        size_t c = luaA_class(n);
        luaA_Free* b = p->free[c];
        if (b != nullptr) {
            p->free[c] = b->next;
            p->live++;
            return b;
        }
    }
#endif
    return luaA_alloc_slow(p, n);
}

// Frees a block of n bytes (n as asked for when it was made or last resized).
inline void luaA_free(luaA_Pool* p, void* block, size_t n) {
#ifndef LUAA_ASAN
    if (n <= luaA_max_small) {
        size_t c = luaA_class(n);
        auto* b = static_cast<luaA_Free*>(block);
        b->next = p->free[c];
        p->free[c] = b;
        if (--p->live == 0) luaA_release(p);
        return;
    }
#endif
    luaA_free_slow(p, block, n);
}

// Resizes a block of osize bytes to nsize > 0 bytes, keeping its first
// min(osize, nsize) bytes; null (the block untouched) when a growth cannot
// be had. A block that stays in its class is returned as it is.
inline void* luaA_realloc(luaA_Pool* p, void* block, size_t osize, size_t nsize) {
#ifndef LUAA_ASAN
    if (osize <= luaA_max_small && nsize <= luaA_max_small && luaA_class(osize) == luaA_class(nsize)) return block;
#endif
    return luaA_realloc_slow(p, block, osize, nsize);
}
