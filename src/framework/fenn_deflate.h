// fenn_deflate: zlib streams (RFC 1950 around RFC 1951 deflate), written
// here so that every build of vexel compresses to the same bytes and reads
// PNG data without a system library.
//
// The compressor is deterministic and small: LZ77 over a 32 KiB window with
// hash chains of bounded length, in blocks that each carry Huffman codes made
// for their own symbols (or use the fixed codes, where those come out
// shorter). The same input gives the same bytes on every host, which is what
// lets the web build write screenshots and cartridges byte-identical to the
// desktop's.
//
// The decompressor accepts every valid stream (stored, fixed and dynamic
// blocks) and treats its input as untrusted: every read is bounded, and the
// output may not grow past the caller's limit.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

enum fenn_inflate_status : int {
    fenn_inflate_ok = 0,
    fenn_inflate_damaged = 1,    // not a valid zlib stream, or it ends early
    fenn_inflate_too_large = 2,  // would produce more than the caller allows
};

// Compresses `size` bytes into a zlib stream, replacing the contents of `out`.
void fenn_deflate_zlib(const uint8_t* data, size_t size, std::vector<uint8_t>* out);

// Decompresses a zlib stream, appending to `out`, producing at most
// `max_out` bytes. The Adler-32 check value is verified.
int fenn_inflate_zlib(const uint8_t* data, size_t size, std::vector<uint8_t>* out, size_t max_out);

uint32_t fenn_crc32(uint32_t crc, const uint8_t* data, size_t size);     // start with 0
uint32_t fenn_adler32(uint32_t adler, const uint8_t* data, size_t size); // start with 1
