#include "framework/fenn_lz4.h"

#include <cstring>

namespace {
constexpr size_t min_match = 4;
}  // namespace

long fenn_lz4_decode_block(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) {
    size_t ip = 0, op = 0;
    // A length is a 4-bit field; 15 means more bytes follow, each added,
    // until one below 255.
    auto read_length = [&](size_t base, bool& ok) {
        size_t len = base;
        if (base != 15) return len;
        for (;;) {
            if (ip >= size) {
                ok = false;
                return len;
            }
            const uint8_t b = in[ip++];
            len += b;
            if (b != 255) return len;
        }
    };
    while (ip < size) {
        const uint8_t token = in[ip++];
        bool ok = true;
        const size_t literals = read_length(token >> 4, ok);
        if (!ok || literals > size - ip || literals > capacity - op) return -1;
        if (literals) std::memcpy(out + op, in + ip, literals);  // out may be null when nothing is expected
        ip += literals;
        op += literals;
        if (ip == size) break;   // the last sequence has literals only
        if (size - ip < 2) return -1;
        const size_t offset = size_t(in[ip]) | size_t(in[ip + 1]) << 8;
        ip += 2;
        if (offset == 0 || offset > op) return -1;
        const size_t match = read_length(token & 15, ok) + min_match;
        if (!ok || match > capacity - op) return -1;
        // Byte by byte: a match may overlap what it is writing (runs).
        for (size_t i = 0; i < match; ++i, ++op) out[op] = out[op - offset];
    }
    return long(op);
}
