#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "framework/fenn_heap.h"

// Freed memory at the heap's top stays in the process: a script that fills
// and drops large tables would otherwise hand the pages back and fault them
// in again at every round. Only glibc has the setting, and a sanitizer's
// own allocator replaces it.
TEST(Heap, FreedMemoryAtTheTopIsKept) {
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
    fenn_keep_freed_heap();
    // Blocks small enough to come from the heap under any threshold.
    constexpr size_t block = 64 << 10;
    constexpr int blocks = 64;
    std::vector<void*> held;
    for (int i = 0; i < blocks; i++) {
        void* p = std::malloc(block);
        ASSERT_NE(p, nullptr);
        static_cast<volatile char*>(p)[0] = 1;
        held.push_back(p);
    }
    void* top = sbrk(0);
    for (auto it = held.rbegin(); it != held.rend(); ++it) std::free(*it);
    EXPECT_EQ(sbrk(0), top) << "the freed 4 MiB were given back to the system";
#else
    GTEST_SKIP() << "no glibc allocator here";
#endif
}
