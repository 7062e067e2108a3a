// fenn_heap: how the process keeps the memory it frees.
#pragma once

// Keeps freed heap memory in the process (up to fenn_heap_keep_bytes at the
// top of the heap) instead of handing it back to the system at every free.
// A script's large blocks (a table's array part doubling as it fills, then
// freed) would otherwise be unmapped and faulted in again over and over:
// bench/lua/tables ran 35% slower once the interpreter's small blocks,
// which used to pin the heap's top, moved to its own pool. fenn_main calls
// it; so does any other program that runs scripts. No effect on hosts
// whose allocator has no such setting.
void fenn_keep_freed_heap();
