#include "cart/compress.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// Index 0 is a placeholder: it marks "not in the alphabet" and is never
// emitted as a one-byte literal.
constexpr char literal_alphabet[] =
    "^\n 0123456789abcdefghijklmnopqrstuvwxyz!#%(){}[]<>+=/*:;.,~_";
constexpr int literal_count = sizeof literal_alphabet - 1;  // 60 incl. placeholder
static_assert(literal_count == 60);
constexpr int first_reference_byte = literal_count;         // 60

constexpr uint8_t block_magic[4] = {':', 'c', ':', 0};

constexpr std::array<uint8_t, 256> make_literal_index() {
    std::array<uint8_t, 256> index{};
    for (int i = 1; i < literal_count; ++i) index[uint8_t(literal_alphabet[i])] = uint8_t(i);
    return index;
}
constexpr std::array<uint8_t, 256> literal_index = make_literal_index();

// Texts that old versions of the console appended to every program to run
// _update60 at 30 frames per second; reading a program drops them again,
// checked in this order, each against what the one before left.
constexpr const char* legacy_tails[] = {
    "if(_update60)_update=function()_update60()_update60()end",
    "if(_update60)_update=function()_update60()_update_buttons()_update60()end",
};

inline int hash3(const uint8_t* t) {
    return (7 * t[0] + 1503 * t[1] + 51717 * t[2]) & (compress_hash_size - 1);
}

// Positions of the text grouped by the hash of their three characters, in
// increasing order within each group: group h is order[begin[h]] up to
// order[begin[h + 1] - 1], and rank[q] is the index of position q in order.
struct hash_groups {
    std::vector<int32_t> order, rank, begin;

    hash_groups(const uint8_t* t, int length) {
        const int count = length >= 3 ? length - 2 : 0;
        order.resize(size_t(count));
        rank.resize(size_t(count));
        begin.assign(compress_hash_size + 1, 0);
        for (int q = 0; q < count; ++q) ++begin[size_t(hash3(t + q)) + 1];
        for (int h = 0; h < compress_hash_size; ++h) begin[size_t(h) + 1] += begin[size_t(h)];
        std::vector<int32_t> next(begin.begin(), begin.end() - 1);
        for (int q = 0; q < count; ++q) {
            const int32_t slot = next[size_t(hash3(t + q))]++;
            rank[size_t(q)] = slot;
            order[size_t(slot)] = q;
        }
    }
};

// Finds the earliest of the longest earlier matches for position p. Returns
// the match length (0 when there is none of at least three characters) and
// sets *offset.
//
// The rule: every position from the window start up to `last`, the latest
// recorded position whose three characters hashed like those at p, is a
// candidate, and a candidate's match may not run into p itself. Only matches
// of three or more characters are used; those begin with p's three
// characters and so share p's hash group. The search therefore visits that
// group's positions from the window start up to `last`, in order, which
// gives the same result as scanning the whole window.
int find_match(const uint8_t* t, int length, int p, const int32_t* found, const hash_groups& groups,
               int* offset) {
    const int longest = length - p < compress_max_match ? length - p : compress_max_match;
    const int window = p < compress_window ? p : compress_window;
    if (longest < compress_min_match || window < compress_min_match) return 0;
    const int start = p - window;
    const int h = hash3(t + p);
    const int last = found[h];
    if (last < start) return 0;

    const int32_t* first = groups.order.data() + groups.begin[size_t(h)];
    const int32_t* end = groups.order.data() + groups.rank[size_t(last)] + 1;
    int best = compress_min_match - 1;  // a match must beat this to count
    int best_pos = -1;
    for (const int32_t* it = std::lower_bound(first, end, start); it != end; ++it) {
        const int i = *it;
        const int cap = p - i < longest ? p - i : longest;
        if (cap <= best) break;  // later candidates are capped even lower
        if (t[i + best] != t[p + best]) continue;
        int k = 0;
        while (k < cap && t[i + k] == t[p + k]) ++k;
        if (k > best) {  // strictly longer: ties keep the earlier position
            best = k;
            best_pos = i;
            if (best == longest) break;
        }
    }
    if (best_pos < 0) return 0;
    *offset = p - best_pos;
    return best;
}

}  // namespace

bool compress_is_block(const uint8_t* data, size_t size) {
    return size >= sizeof block_magic && std::memcmp(data, block_magic, sizeof block_magic) == 0;
}

size_t compress_mini_pack(const char* text, size_t length, uint8_t* out, size_t out_capacity) {
    if (length > compress_max_text || out_capacity < compress_mini_bound(length)) return 0;
    if (length == 0) return 0;
    const auto* t = reinterpret_cast<const uint8_t*>(text);
    const int n = int(length);

    int32_t found[compress_hash_size];
    std::fill(std::begin(found), std::end(found), -1);
    const hash_groups groups(t, n);

    size_t o = 0;
    std::memcpy(out, block_magic, sizeof block_magic);
    o += sizeof block_magic;
    out[o++] = uint8_t(n >> 8);
    out[o++] = uint8_t(n & 0xff);
    out[o++] = 0;
    out[o++] = 0;

    int p = 0;
    while (p < n) {
        int offset = 0;
        int match = find_match(t, n, p, found, groups, &offset);
        int old_p = p;
        if (match < compress_min_match) {
            uint8_t index = literal_index[t[p]];
            out[o++] = index;
            if (index == 0) out[o++] = t[p];
            p += 1;
        } else {
            out[o++] = uint8_t(first_reference_byte + offset / 16);
            out[o++] = uint8_t(offset % 16 + (match - 2) * 16);
            p += match;
        }
        // Remember every three-character group that now lies wholly before p.
        for (int q = old_p - 2 < 0 ? 0 : old_p - 2; q <= p - 3; ++q) found[hash3(t + q)] = q;
    }

    if (o >= length) {
        std::memcpy(out, text, length);
        return length;
    }
    return o;
}

int compress_mini_unpack(const uint8_t* block, size_t size, char* out, size_t capacity,
                    size_t* out_length) {
    *out_length = 0;
    if (capacity) std::memset(out, 0, capacity);
    if (size < compress_header_size || !compress_is_block(block, size)) return decompress_not_a_block;
    const size_t length = size_t(block[4]) << 8 | block[5];
    if (length > capacity) return decompress_too_long;

    size_t o = 0;
    size_t r = compress_header_size;
    int status = decompress_ok;
    while (o < length) {
        if (r >= size) { status = decompress_truncated; break; }
        const uint8_t b = block[r++];
        if (b < first_reference_byte) {
            if (b == 0) {
                if (r >= size) { status = decompress_truncated; break; }
                out[o++] = char(block[r++]);
            } else {
                out[o++] = literal_alphabet[b];
            }
            continue;
        }
        if (r >= size) { status = decompress_truncated; break; }
        const uint8_t c = block[r++];
        const size_t offset = size_t(b - first_reference_byte) * 16 + (c & 15);
        size_t count = size_t(c >> 4) + 2;
        if (offset == 0 || offset > o) { status = decompress_bad_reference; break; }
        if (count > capacity - o) count = capacity - o;
        // Byte by byte, so a copy that overlaps its own output repeats it.
        for (size_t k = 0; k < count; ++k, ++o) out[o] = out[o - offset];
    }
    if (status != decompress_ok) {
        std::memset(out, 0, capacity);
        return status;
    }

    for (const char* tail : legacy_tails) {
        size_t tail_len = std::strlen(tail);
        if (o >= tail_len && std::memcmp(out + o - tail_len, tail, tail_len) == 0) {
            o -= tail_len;
            std::memset(out + o, 0, tail_len);
        }
    }
    *out_length = o;
    return decompress_ok;
}
