// fenn_lz4: the LZ4 block format's decoder (the pod format stores items as
// LZ4 blocks). Written here so that every build reads pods without a
// system library; the input is untrusted and every copy is bounded.
#pragma once
#include <cstddef>
#include <cstdint>

// Decodes one block of `size` bytes into `out` (room for `capacity` bytes).
// Returns the number of bytes written, or -1 for a damaged block or one
// that would write past `capacity`.
long fenn_lz4_decode_block(const uint8_t* in, size_t size, uint8_t* out, size_t capacity);
