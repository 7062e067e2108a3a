#include "framework/fenn_heap.h"

// Any C library header defines __GLIBC__ on glibc hosts; the test below
// needs one included first.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {
// Blocks above this size are mapped on their own; below it they come from
// the heap and are reused (glibc's upper bound for this threshold).
constexpr int fenn_heap_map_min = 32 << 20;
// Free memory at the heap's top kept before any is given back.
constexpr int fenn_heap_keep_bytes = 64 << 20;
}  // namespace

void fenn_keep_freed_heap() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, fenn_heap_map_min);
    mallopt(M_TRIM_THRESHOLD, fenn_heap_keep_bytes);
#endif
}
