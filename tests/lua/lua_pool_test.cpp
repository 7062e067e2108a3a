// The small-block pool under the interpreter's allocators: size classes,
// resizes that keep the contents, reuse over many cycles, chunks given back,
// shrinks that never fail, and the state that owns its pool.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_pool.h"

namespace {

void fill(void* p, size_t n, unsigned char seed) {
    auto* b = static_cast<unsigned char*>(p);
    for (size_t i = 0; i < n; i++) b[i] = static_cast<unsigned char>(seed + i * 7);
}

bool holds(const void* p, size_t n, unsigned char seed) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; i++)
        if (b[i] != static_cast<unsigned char>(seed + i * 7)) return false;
    return true;
}

bool aligned(const void* p) { return reinterpret_cast<uintptr_t>(p) % luaA_granule == 0; }

TEST(LuaPool, SizeClassesAreAlignedSeparateAndReused) {
    luaA_Pool pool;
    // One block of every pooled size, plus two large ones: all aligned, all
    // usable to their full size without touching each other.
    std::map<size_t, void*> blocks;
    for (size_t n : {size_t(1), size_t(600), size_t(5000)}) blocks[n] = nullptr;
    for (size_t n = 1; n <= luaA_max_small; n++) blocks[n] = nullptr;
    for (auto& [n, p] : blocks) {
        p = luaA_alloc(&pool, n);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(aligned(p)) << n;
        fill(p, n, static_cast<unsigned char>(n));
    }
    EXPECT_EQ(pool.live, blocks.size());
    for (auto& [n, p] : blocks) EXPECT_TRUE(holds(p, n, static_cast<unsigned char>(n))) << n;
    // A freed block is the next one its class hands out, whatever size in
    // the class is asked for; another class never gets it.
    void* b40 = blocks[40];
    luaA_free(&pool, b40, 40);
    void* other = luaA_alloc(&pool, 50);
    EXPECT_NE(other, b40);
    EXPECT_EQ(luaA_alloc(&pool, 33), b40);
    luaA_free(&pool, other, 50);
    blocks[40] = nullptr;
    luaA_free(&pool, b40, 33);
    for (auto& [n, p] : blocks)
        if (p) luaA_free(&pool, p, n);
    EXPECT_EQ(pool.live, 0u);
}

TEST(LuaPool, ResizesKeepTheContents) {
    luaA_Pool pool;
    // Grow one byte at a time from the smallest class to a large block,
    // then shrink back down: every step keeps what both sizes share.
    size_t n = 1;
    void* p = luaA_alloc(&pool, n);
    fill(p, n, 3);
    for (size_t m = 2; m <= 700; m++) {
        p = luaA_realloc(&pool, p, n, m);
        ASSERT_NE(p, nullptr);
        ASSERT_TRUE(holds(p, n, 3)) << n << " -> " << m;
        ASSERT_TRUE(aligned(p));
        fill(p, m, 3);
        n = m;
    }
    for (size_t m : {699, 513, 512, 500, 257, 40, 17, 16, 1}) {
        p = luaA_realloc(&pool, p, n, m);
        ASSERT_TRUE(holds(p, m, 3)) << n << " -> " << m;
        n = m;
    }
    // Within a class a resize keeps the block where it is.
    void* q = luaA_realloc(&pool, p, n, luaA_granule);
    EXPECT_EQ(q, p);
    // Large to large and straight from large into the smallest class.
    void* big = luaA_alloc(&pool, 3000);
    fill(big, 3000, 9);
    big = luaA_realloc(&pool, big, 3000, 9000);
    ASSERT_TRUE(holds(big, 3000, 9));
    void* small = luaA_realloc(&pool, big, 9000, 8);
    ASSERT_TRUE(holds(small, 8, 9));
    EXPECT_EQ(pool.live, 2u);
    luaA_free(&pool, q, luaA_granule);
    luaA_free(&pool, small, 8);
    EXPECT_EQ(pool.chunk_bytes, 0u);
}

// Random allocations, resizes and frees against a record of what each live
// block holds; the pool's chunks stay bounded by the live set because freed
// blocks are reused, and freeing everything gives every chunk back.
TEST(LuaPool, ManyCyclesReuseMemoryAndGiveChunksBack) {
    luaA_Pool pool;
    struct Live {
        size_t n;
        unsigned char seed;
    };
    std::map<void*, Live> live;
    std::mt19937 rng(1234);
    auto size = [&] { return rng() % 8 == 0 ? 513 + rng() % 2000 : 1 + rng() % luaA_max_small; };
    size_t most_chunks = 0;
    for (int round = 0; round < 200000; round++) {
        unsigned op = rng() % 10;
        if (op < 4 || live.empty()) {
            if (live.size() >= 300) continue;
            size_t n = size();
            void* p = luaA_alloc(&pool, n);
            ASSERT_NE(p, nullptr);
            ASSERT_EQ(live.count(p), 0u) << "a live block handed out again";
            auto seed = static_cast<unsigned char>(rng());
            fill(p, n, seed);
            live[p] = {n, seed};
        } else {
            auto it = live.begin();
            std::advance(it, rng() % live.size());
            auto [p, b] = *it;
            ASSERT_TRUE(holds(p, b.n, b.seed)) << "block of " << b.n << " bytes changed under its owner";
            live.erase(it);
            if (op < 7) {
                luaA_free(&pool, p, b.n);
            } else {
                size_t m = size();
                void* q = luaA_realloc(&pool, p, b.n, m);
                ASSERT_NE(q, nullptr);
                ASSERT_TRUE(holds(q, std::min(b.n, m), b.seed));
                fill(q, m, b.seed);
                live[q] = {m, b.seed};
            }
        }
        EXPECT_EQ(pool.live, live.size());
        most_chunks = std::max(most_chunks, pool.chunk_bytes);
    }
    // At most 300 blocks of at most 512 bytes: a few chunks, not one per
    // cycle.
    EXPECT_LE(most_chunks, size_t(512) * 1024);
    for (auto& [p, b] : live) luaA_free(&pool, p, b.n);
    EXPECT_EQ(pool.live, 0u);
    EXPECT_EQ(pool.chunk_bytes, 0u);
    EXPECT_EQ(pool.chunks, nullptr);
}

// When the host has no memory for another chunk, growths fail and leave the
// block as it was, while shrinks still succeed: a pooled block stays where
// it is, a large one becomes a chunk of its own.
TEST(LuaPool, ShrinksNeverFailWhenTheHostIsOutOfMemory) {
    luaA_Pool pool;
    std::vector<void*> filler;
    void* first = luaA_alloc(&pool, 64);
    pool.chunk_limit = pool.chunk_bytes;  // no further chunk
    for (;;) {                            // use up the current chunk
        void* p = luaA_alloc(&pool, luaA_granule);
        if (p == nullptr) break;
        filler.push_back(p);
    }
    fill(first, 64, 5);
    EXPECT_EQ(luaA_realloc(&pool, first, 64, 200), nullptr);
    ASSERT_TRUE(holds(first, 64, 5));
    void* shrunk = luaA_realloc(&pool, first, 64, 20);
    EXPECT_EQ(shrunk, first);
    ASSERT_TRUE(holds(shrunk, 20, 5));
    void* big = luaA_alloc(&pool, 4000);  // large blocks do not need chunks
    ASSERT_NE(big, nullptr);
    fill(big, 4000, 6);
    void* kept = luaA_realloc(&pool, big, 4000, luaA_max_small);
    EXPECT_EQ(kept, big);
    ASSERT_TRUE(holds(kept, luaA_max_small, 6));
    size_t held = pool.chunk_bytes;
    // The kept block is an ordinary pooled block from now on.
    luaA_free(&pool, kept, luaA_max_small);
    EXPECT_EQ(luaA_alloc(&pool, luaA_max_small - 3), kept);
    EXPECT_EQ(pool.chunk_bytes, held);
    luaA_free(&pool, kept, luaA_max_small - 3);
    luaA_free(&pool, shrunk, 20);
    for (void* p : filler) luaA_free(&pool, p, luaA_granule);
    EXPECT_EQ(pool.chunk_bytes, 0u);  // the kept block went back with the chunks
}

// luaL_newstate gives its state a pool of its own (the allocator's user
// data), which goes with the state; the sanitizer build's leak check sees
// anything left behind.
TEST(LuaPool, AStateOwnsItsPool) {
    for (int i = 0; i < 3; i++) {
        lua_State* L = luaL_newstate();
        ASSERT_NE(L, nullptr);
        void* ud = nullptr;
        lua_getallocf(L, &ud);
        auto* pool = static_cast<luaA_Pool*>(ud);
        ASSERT_NE(pool, nullptr);
        EXPECT_GT(pool->live, 0u);
        EXPECT_GT(pool->chunk_bytes, 0u);
        ASSERT_EQ(luaL_loadstring(L, "local t = {} for i = 1, 3000 do t[i % 50 + 1] = {i, 'x' .. i} end"), LUA_OK);
        ASSERT_EQ(lua_pcall(L, 0, 0, 0), LUA_OK);
        lua_close(L);
    }
}

#ifdef LUAA_ASAN
// With AddressSanitizer a pooled block freed with the wrong size, or twice,
// stops the process instead of handing the same memory out twice.
TEST(LuaPoolDeathTest, WrongSizesAndDoubleFreesStop) {
    EXPECT_DEATH(
        {
            luaA_Pool pool;
            void* p = luaA_alloc(&pool, 24);
            luaA_free(&pool, p, 40);
        },
        "not its size");
    EXPECT_DEATH(
        {
            luaA_Pool pool;
            void* keep = luaA_alloc(&pool, 24);
            void* p = luaA_alloc(&pool, 24);
            luaA_free(&pool, p, 24);
            luaA_free(&pool, p, 24);
            luaA_free(&pool, keep, 24);
        },
        "freed twice");
}
#endif

}  // namespace
