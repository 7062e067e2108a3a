// The script machine's counting allocator: charges per object kind, the soft
// and hard limits, the cap on real bytes, and a whole interpreter running on
// it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "machine/lua_alloc.h"
#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_base.h"

namespace {

class LuaAlloc : public ::testing::Test {
protected:
    vexel_heap heap;
    void TearDown() override {
        EXPECT_EQ(heap.mem_used, 0);
        EXPECT_EQ(heap.real_bytes, 0);
    }
    void* alloc(size_t tag, size_t n) { return vexel_lua_alloc(&heap, nullptr, tag, n); }
    void release(void* p, size_t n) { vexel_lua_alloc(&heap, p, n, 0); }
};

TEST_F(LuaAlloc, ChargesNewBlocksByObjectKind) {
    struct Case {
        size_t tag, size;
        int32_t charge;
    } cases[] = {
        {5, 56, 28},     // table: half
        {4, 30, 22},     // short string: size - 8
        {7, 9000, 32},   // userdata: 32 whatever its size
        {8, 200, 32},    // thread
        {9, 120, 32},    // prototype
        {10, 40, 32},    // upvalue
        {6, 48, 24},     // Lua closure: half
        {0, 100, 50},    // untyped: half
        {20, 5000, 0},   // long string: nothing
        {38, 64, 0},     // C closure: nothing
        {2, 16, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        void* p = alloc(c.tag, c.size);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(heap.mem_used, c.charge);
        EXPECT_EQ(heap.real_bytes, int64_t(c.size + vexel_lua_block_header));
        std::memset(p, 0xab, c.size);  // the whole block is usable
        release(p, c.size);
        EXPECT_EQ(heap.mem_used, 0);
    }
}

TEST_F(LuaAlloc, ResizesKeepTheKindOfCharge) {
    // Half-charged blocks stay half-charged.
    void* a = alloc(0, 100);
    a = vexel_lua_alloc(&heap, a, 100, 300);
    EXPECT_EQ(heap.mem_used, 150);
    // Blocks made while compiling are free, and stay free when resized.
    heap.compiling = true;
    void* b = alloc(0, 1000);
    EXPECT_EQ(heap.mem_used, 150);
    heap.compiling = false;
    b = vexel_lua_alloc(&heap, b, 1000, 4000);
    EXPECT_EQ(heap.mem_used, 150);
    // Anything else is charged in full once resized.
    void* c = alloc(7, 16);  // 32
    c = vexel_lua_alloc(&heap, c, 16, 100);
    EXPECT_EQ(heap.mem_used, 250);
    release(a, 300);
    release(b, 4000);
    release(c, 100);
}

TEST_F(LuaAlloc, SoftLimitAsksForAYieldAndHardLimitRefuses) {
    lua_State* L = luaL_newstate();
    ASSERT_NE(L, nullptr);
    lua_sethook(L, [](lua_State*, lua_Debug*) {}, LUA_MASKCOUNT, 1000);
    heap.yield_state = L;
    heap.code_charge = int32_t(vexel_lua_soft_limit);  // exactly at the limit: fine
    void* p = alloc(0, 64);
    EXPECT_FALSE(heap.soft_limit_reached);
    heap.code_charge = int32_t(vexel_lua_soft_limit) + 1;
    void* q = alloc(0, 64);
    ASSERT_NE(q, nullptr);
    EXPECT_TRUE(heap.soft_limit_reached);
    EXPECT_EQ(lua_get_cpu(L), 1);  // the hook runs at the next instruction
    EXPECT_FALSE(heap.alloc_refused);
    heap.code_charge = int32_t(vexel_lua_hard_limit) + 1;
    EXPECT_EQ(alloc(0, 64), nullptr);
    EXPECT_TRUE(heap.alloc_refused);
    EXPECT_EQ(vexel_lua_alloc(&heap, p, 64, 128), nullptr);  // no growth either
    // Shrinking and freeing still work above the limit.
    void* s = vexel_lua_alloc(&heap, p, 64, 16);
    ASSERT_NE(s, nullptr);
    release(s, 16);
    release(q, 64);
    heap.code_charge = 0;
    lua_close(L);
}

// A whole interpreter on the allocator: memory returns to zero on close,
// and a program that doubles a string until the host would run out is
// stopped with the ordinary out-of-memory error although long strings are
// charged nothing.
TEST_F(LuaAlloc, InterpreterRunsOnItAndMemoryBombsAreStopped) {
    lua_State* L = lua_newstate(vexel_lua_alloc, &heap);
    ASSERT_NE(L, nullptr);
    luaB_open_cart_base(L);
    EXPECT_GT(heap.mem_used, 0);
    const char* bomb = "local s = 'xxxxxxxxxxxxxxxx' for i = 1, 40 do s = s .. s end";
    ASSERT_EQ(luaL_loadstring(L, bomb), LUA_OK);
    EXPECT_EQ(lua_pcall(L, 0, 0, 0), LUA_ERRMEM);
    EXPECT_STREQ(lua_tostring(L, -1), "not enough memory");
    EXPECT_TRUE(heap.alloc_refused);
    EXPECT_LE(heap.real_bytes, vexel_lua_real_limit);
    EXPECT_LT(heap.mem_used, int32_t(vexel_lua_hard_limit));  // the charges alone never stop it
    lua_pop(L, 1);
    // Charged growth: tables are refused at the hard limit.
    heap.alloc_refused = false;
    heap.code_charge = int32_t(vexel_lua_hard_limit) - heap.mem_used - 100000;
    ASSERT_EQ(luaL_loadstring(L, "local t = {} for i = 1, 30000 do t[i] = {i} end"), LUA_OK);
    EXPECT_EQ(lua_pcall(L, 0, 0, 0), LUA_ERRMEM);
    EXPECT_TRUE(heap.alloc_refused);
    lua_pop(L, 1);
    heap.code_charge = 0;
    // The state still works afterwards.
    ASSERT_EQ(luaL_loadstring(L, "x = 1 + 2"), LUA_OK);
    EXPECT_EQ(lua_pcall(L, 0, 0, 0), LUA_OK);
    lua_close(L);
}

// The heap's pool gives its chunks back when the state is closed, and a
// new state on the same heap starts afresh.
TEST_F(LuaAlloc, ClosingTheStateGivesThePoolsChunksBack) {
    for (int i = 0; i < 2; i++) {
        lua_State* L = lua_newstate(vexel_lua_alloc, &heap);
        ASSERT_NE(L, nullptr);
        luaB_open_cart_base(L);
        ASSERT_EQ(luaL_loadstring(L, "local t = {} for i = 1, 2000 do t[i % 40 + 1] = {i} end"), LUA_OK);
        ASSERT_EQ(lua_pcall(L, 0, 0, 0), LUA_OK);
        EXPECT_GT(heap.pool.chunk_bytes, 0u);
        lua_close(L);
        EXPECT_EQ(heap.pool.live, 0u);
        EXPECT_EQ(heap.pool.chunk_bytes, 0u);
    }
}

}  // namespace
