// The script machine's allocator: every byte the Lua interpreter of a
// running program holds comes from vexel_lua_alloc, which charges each block
// to the program by object kind and stops a program that grows too large.
//
// Its state is a vexel_heap (one per machine, passed as the allocator's
// user data): the charge counter, the program's code charge, the compile
// flag, the two flags the program runner reads (soft limit reached,
// allocation refused) and a count of the real host bytes held.
//
// Invariants:
// - Every block carries a header in front of the memory handed to the
//   interpreter holding its charge (4 bytes, padded for alignment); mem_used is the sum of the charges of
//   all live blocks (0 once every block is freed).
// - The program's memory is mem_used + code_charge (what
//   stat(0) shows). Above vexel_lua_soft_limit an allocation or growth sets the
//   soft-limit flag and asks the interpreter to yield soon; above
//   vexel_lua_hard_limit it is refused (null: "not enough memory").
// - Charges undercount some kinds (long strings and C closures are free), so
//   the real bytes held (blocks plus headers) are capped separately at
//   vexel_lua_real_limit: a growth past it is refused the same way.
// - A block is never refused when it shrinks or stays the same size (the
//   interpreter relies on that, for instance while collecting garbage).
// - Blocks come from the heap's small-block pool (lua/lua_pool.h), asked
//   for with their header; the pool's chunks are not counted in real_bytes
//   and go back to the host when the state's last block is freed (at
//   lua_close) or with the heap.
// Called only from the thread that runs the machine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lua/lua_pool.h"

struct lua_State;

// Program memory above which the runner is asked to collect (2 MiB).
constexpr int64_t vexel_lua_soft_limit = 0x200000;
// Program memory above which allocations are refused (128 MiB).
constexpr int64_t vexel_lua_hard_limit = 0x8000000;
// Real host bytes the script machine may hold (256 MiB).
constexpr int64_t vexel_lua_real_limit = int64_t(256) << 20;
// Bytes of the header in front of each block: the 4-byte charge, padded so
// the interpreter's objects stay aligned as the host's allocator aligns
// them (a 4-byte header would misalign every 8-byte field).
constexpr size_t vexel_lua_block_header = alignof(std::max_align_t);

struct vexel_heap {
    int32_t mem_used = 0;             // sum of the charges of all live blocks
    int32_t code_charge = 0;          // 16 x the program's token count, set by the runner after compiling
    bool compiling = false;           // set by the runner while it compiles: untyped blocks are then free
    bool soft_limit_reached = false;  // an allocation found the program above the soft limit
    bool alloc_refused = false;       // an allocation was refused (the runner then prints no traceback)
    int64_t real_bytes = 0;           // real host bytes held by live blocks, headers included
    // The thread asked to yield at its next instruction when the soft limit
    // is reached (the runner's script machine); null: nobody is asked.
    lua_State* yield_state = nullptr;
    luaA_Pool pool;                   // where the blocks come from
};

// The allocation function given to lua_newstate; ud is a vexel_heap.
void* vexel_lua_alloc(void* ud, void* ptr, size_t osize, size_t nsize);

// mem_used + the code charge.
int64_t vexel_lua_program_memory(const vexel_heap* heap);
// The heap of a state made with vexel_lua_alloc; the machine a state belongs
// to (set with lua_vexel_set_host).
vexel_heap* vexel_lua_heap(lua_State* L);
struct vexel_machine* vexel_lua_machine(lua_State* L);
// The charge a new block of nsize bytes for object tag osize gets.
uint32_t vexel_lua_new_charge(const vexel_heap* heap, size_t osize, size_t nsize);
