#include "framework/fenn_deflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr int window_size = 32768;
constexpr int min_match = 3;
constexpr int max_match = 258;
constexpr int hash_bits = 15;
// How many earlier positions with the same hash a match search visits:
// enough for pictures' long runs, few enough to stay fast on noise.
constexpr int chain_limit = 48;
constexpr int max_codes = 288;   // literal/length alphabet, the largest
constexpr int max_bits = 15;

constexpr uint16_t length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t dist_base[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t dist_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// ---- compression ----

struct BitWriter {
    std::vector<uint8_t>* out;
    uint32_t acc = 0;
    int count = 0;
    void put(uint32_t bits, int n) {   // n <= 16, least significant bit first
        acc |= bits << count;
        count += n;
        while (count >= 8) {
            out->push_back(uint8_t(acc));
            acc >>= 8;
            count -= 8;
        }
    }
    void flush() {
        if (count > 0) out->push_back(uint8_t(acc));
        acc = 0;
        count = 0;
    }
};

// The fixed literal/length codes, already reversed for the LSB-first writer:
// reversing bit by bit for every symbol cost a fifth of a picture's encode.
struct FixedCode {
    uint16_t bits;
    uint8_t length;
};

uint32_t reversed(uint32_t code, int n) {
    uint32_t rev = 0;
    for (int i = 0; i < n; ++i) rev |= ((code >> i) & 1u) << (n - 1 - i);
    return rev;
}

const std::array<FixedCode, max_codes>& fixed_codes() {
    static const auto table = [] {
        std::array<FixedCode, max_codes> t{};
        for (int v = 0; v < max_codes; ++v) {
            uint32_t code;
            int n;
            if (v < 144) code = uint32_t(0x30 + v), n = 8;
            else if (v < 256) code = uint32_t(0x190 + (v - 144)), n = 9;
            else if (v < 280) code = uint32_t(v - 256), n = 7;
            else code = uint32_t(0xc0 + (v - 280)), n = 8;
            t[size_t(v)] = {uint16_t(reversed(code, n)), uint8_t(n)};
        }
        return t;
    }();
    return table;
}

// How many bytes from a and b agree, up to limit; eight at a time, since
// the match search spends most of its time here on long picture runs.
int match_length(const uint8_t* a, const uint8_t* b, int limit) {
    int len = 0;
    while (len + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + len, 8);
        std::memcpy(&y, b + len, 8);
        if (x != y) {
            uint64_t diff = x ^ y;
            if constexpr (std::endian::native == std::endian::little) return len + (__builtin_ctzll(diff) >> 3);
            while (a[len] == b[len]) ++len;
            return len;
        }
        len += 8;
    }
    while (len < limit && a[len] == b[len]) ++len;
    return len;
}

// ---- blocks with their own codes ----

// One step of the match search: a literal byte (dist 0) or a match.
struct Token {
    uint16_t value;  // the byte, or the match length
    uint16_t dist;
};
// Tokens per block: each block gets codes for its own symbols.
constexpr size_t block_tokens = 16384;
constexpr int lit_codes = 286, dist_codes = 30, length_codes = 19;
constexpr int max_length_bits = 7;  // for the code-length alphabet
constexpr uint8_t length_order[length_codes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
// Extra bits after each code-length symbol: the repeat counts of 16, 17, 18.
constexpr uint8_t length_extra_bits[length_codes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};

int length_code(int length) {
    int l = 28;
    while (length_base[l] > length) --l;
    return l;
}
int dist_code(int distance) {
    int d = 29;
    while (dist_base[d] > distance) --d;
    return d;
}

// Huffman code lengths for n symbols of the given counts, none longer than
// limit: symbols never used get 0, and at least two symbols get a code, so
// that every code is complete (what every reader accepts). Too long a code
// halves the counts (keeping them above zero) and builds again. Ties go to
// the lower symbol, so the lengths depend on the counts alone.
void huffman_lengths(const uint32_t* count, int n, int limit, uint8_t* lengths) {
    std::vector<uint32_t> f(count, count + n);
    int used = 0;
    for (int s = 0; s < n; ++s) used += f[size_t(s)] != 0;
    for (int s = 0; s < n && used < 2; ++s)
        if (f[size_t(s)] == 0) f[size_t(s)] = 1, ++used;
    std::vector<int> leaf;  // symbols by count, then by symbol
    std::vector<uint64_t> weight;
    std::vector<int> parent, depth;
    for (;;) {
        leaf.clear();
        for (int s = 0; s < n; ++s)
            if (f[size_t(s)] != 0) leaf.push_back(s);
        std::stable_sort(leaf.begin(), leaf.end(), [&](int a, int b) { return f[size_t(a)] < f[size_t(b)]; });
        const size_t m = leaf.size(), nodes = 2 * m - 1;
        weight.assign(nodes, 0);
        parent.assign(nodes, 0);
        depth.assign(nodes, 0);
        for (size_t i = 0; i < m; ++i) weight[i] = f[size_t(leaf[i])];
        // Two queues: the leaves in order and the joined nodes as made
        // (their weights never fall); the lighter front goes first.
        size_t next_leaf = 0, next_joined = m;
        auto take = [&](size_t made) {
            if (next_leaf < m && (next_joined >= made || weight[next_leaf] <= weight[next_joined])) return next_leaf++;
            return next_joined++;
        };
        for (size_t k = m; k < nodes; ++k) {
            const size_t a = take(k), b = take(k);
            weight[k] = weight[a] + weight[b];
            parent[a] = parent[b] = int(k);
        }
        int longest = 0;
        for (size_t k = nodes - 1; k-- > 0;) {
            depth[k] = depth[size_t(parent[k])] + 1;
            if (k < m) longest = std::max(longest, depth[k]);
        }
        if (longest <= limit) {
            std::fill(lengths, lengths + n, 0);
            for (size_t i = 0; i < m; ++i) lengths[leaf[i]] = uint8_t(depth[i]);
            return;
        }
        for (uint32_t& c : f)
            if (c != 0) c = (c + 1) / 2;
    }
}

// Canonical codes for the lengths, reversed for the LSB-first writer.
void canonical_codes(const uint8_t* lengths, int n, uint16_t* codes) {
    int count[max_bits + 1] = {};
    for (int s = 0; s < n; ++s) ++count[lengths[s]];
    count[0] = 0;
    uint32_t next[max_bits + 1] = {};
    uint32_t code = 0;
    for (int bits = 1; bits <= max_bits; ++bits) {
        code = (code + uint32_t(count[bits - 1])) << 1;
        next[bits] = code;
    }
    for (int s = 0; s < n; ++s)
        codes[s] = lengths[s] ? uint16_t(reversed(next[lengths[s]]++, lengths[s])) : 0;
}

// The code lengths of both alphabets as the block header sends them: runs
// of zeros (17, 18) and repeats of the previous length (16) shortened.
struct LengthRun {
    uint8_t symbol, extra;
};
std::vector<LengthRun> length_runs(const uint8_t* lengths, int n) {
    std::vector<LengthRun> runs;
    for (int i = 0; i < n;) {
        const uint8_t v = lengths[i];
        int run = 1;
        while (i + run < n && lengths[i + run] == v) ++run;
        if (v == 0) {
            int left = run;
            while (left >= 11) {
                const int r = std::min(left, 138);
                runs.push_back({18, uint8_t(r - 11)});
                left -= r;
            }
            if (left >= 3) runs.push_back({17, uint8_t(left - 3)}), left = 0;
            while (left-- > 0) runs.push_back({0, 0});
        } else {
            runs.push_back({v, 0});
            int left = run - 1;
            while (left >= 3) {
                const int r = std::min(left, 6);
                runs.push_back({16, uint8_t(r - 3)});
                left -= r;
            }
            while (left-- > 0) runs.push_back({v, 0});
        }
        i += run;
    }
    return runs;
}

// One block of tokens, with codes made for it when they take fewer bits
// than the fixed codes (always, but for the shortest inputs): a picture's
// bytes take about a third fewer bits with codes of their own.
void put_block(BitWriter& w, const Token* tokens, size_t count, bool last) {
    uint32_t lit_count[lit_codes] = {}, dist_count[dist_codes] = {};
    for (size_t t = 0; t < count; ++t) {
        if (tokens[t].dist == 0) {
            ++lit_count[tokens[t].value];
        } else {
            ++lit_count[257 + length_code(tokens[t].value)];
            ++dist_count[dist_code(tokens[t].dist)];
        }
    }
    lit_count[256] = 1;
    uint8_t lengths[lit_codes + dist_codes];
    huffman_lengths(lit_count, lit_codes, max_bits, lengths);
    huffman_lengths(dist_count, dist_codes, max_bits, lengths + lit_codes);
    int hlit = lit_codes, hdist = dist_codes;
    while (hlit > 257 && lengths[hlit - 1] == 0) --hlit;
    while (hdist > 1 && lengths[lit_codes + hdist - 1] == 0) --hdist;
    uint8_t sent[lit_codes + dist_codes];  // both alphabets' lengths back to back
    std::copy(lengths, lengths + hlit, sent);
    std::copy(lengths + lit_codes, lengths + lit_codes + hdist, sent + hlit);
    const std::vector<LengthRun> runs = length_runs(sent, hlit + hdist);
    uint32_t run_count[length_codes] = {};
    for (const LengthRun& r : runs) ++run_count[r.symbol];
    uint8_t run_lengths[length_codes];
    huffman_lengths(run_count, length_codes, max_length_bits, run_lengths);
    int hclen = length_codes;
    while (hclen > 4 && run_lengths[length_order[hclen - 1]] == 0) --hclen;

    // Bits each way, leaving out the extra bits, which are the same.
    uint64_t fixed_bits = 0, own_bits = 14 + 3 * uint64_t(hclen);
    const auto& fixed = fixed_codes();
    for (int s = 0; s < lit_codes; ++s) {
        fixed_bits += uint64_t(lit_count[s]) * fixed[size_t(s)].length;
        own_bits += uint64_t(lit_count[s]) * lengths[s];
    }
    for (int s = 0; s < dist_codes; ++s) {
        fixed_bits += uint64_t(dist_count[s]) * 5;
        own_bits += uint64_t(dist_count[s]) * lengths[lit_codes + s];
    }
    for (const LengthRun& r : runs) own_bits += run_lengths[r.symbol] + length_extra_bits[r.symbol];

    w.put(last ? 1 : 0, 1);
    uint16_t lit_code[lit_codes], dist_code_bits[dist_codes];
    uint8_t lit_len[lit_codes], dist_len[dist_codes];
    if (own_bits < fixed_bits) {
        w.put(2, 2);  // codes of its own
        w.put(uint32_t(hlit - 257), 5);
        w.put(uint32_t(hdist - 1), 5);
        w.put(uint32_t(hclen - 4), 4);
        for (int k = 0; k < hclen; ++k) w.put(run_lengths[length_order[k]], 3);
        uint16_t run_codes[length_codes];
        canonical_codes(run_lengths, length_codes, run_codes);
        for (const LengthRun& r : runs) {
            w.put(run_codes[r.symbol], run_lengths[r.symbol]);
            if (length_extra_bits[r.symbol]) w.put(r.extra, length_extra_bits[r.symbol]);
        }
        canonical_codes(lengths, lit_codes, lit_code);
        canonical_codes(lengths + lit_codes, dist_codes, dist_code_bits);
        std::copy(lengths, lengths + lit_codes, lit_len);
        std::copy(lengths + lit_codes, lengths + lit_codes + dist_codes, dist_len);
    } else {
        w.put(1, 2);  // the fixed codes
        for (int s = 0; s < lit_codes; ++s) lit_code[s] = fixed[size_t(s)].bits, lit_len[s] = fixed[size_t(s)].length;
        for (int s = 0; s < dist_codes; ++s) dist_code_bits[s] = uint16_t(reversed(uint32_t(s), 5)), dist_len[s] = 5;
    }
    for (size_t t = 0; t < count; ++t) {
        const Token k = tokens[t];
        if (k.dist == 0) {
            w.put(lit_code[k.value], lit_len[k.value]);
            continue;
        }
        const int l = length_code(k.value), d = dist_code(k.dist);
        w.put(lit_code[257 + l], lit_len[257 + l]);
        if (length_extra[l]) w.put(uint32_t(k.value - length_base[l]), length_extra[l]);
        w.put(dist_code_bits[d], dist_len[d]);
        if (dist_extra[d]) w.put(uint32_t(k.dist - dist_base[d]), dist_extra[d]);
    }
    w.put(lit_code[256], lit_len[256]);
}

uint32_t hash3(const uint8_t* p) {
    return ((uint32_t(p[0]) << 10) ^ (uint32_t(p[1]) << 5) ^ p[2]) & ((1u << hash_bits) - 1);
}

// ---- decompression ----

struct BitReader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint32_t acc = 0;
    int count = 0;
    bool overrun = false;
    int bits(int n) {
        while (count < n) {
            if (pos >= size) {
                overrun = true;
                return 0;
            }
            acc |= uint32_t(data[pos++]) << count;
            count += 8;
        }
        const int v = int(acc & ((1u << n) - 1));
        acc >>= n;
        count -= n;
        return v;
    }
    void align() {
        acc = 0;
        count = 0;
    }
};

struct Huffman {
    std::array<uint16_t, max_bits + 1> counts{};
    std::array<uint16_t, max_codes> symbols{};
};

// Builds a canonical code from code lengths; false for an over-subscribed set.
// An incomplete set is allowed (a single distance code is common).
bool build(Huffman& h, const uint8_t* lengths, int n) {
    h.counts.fill(0);
    for (int i = 0; i < n; ++i) h.counts[lengths[i]]++;
    h.counts[0] = 0;
    int left = 1;
    for (int len = 1; len <= max_bits; ++len) {
        left <<= 1;
        left -= h.counts[len];
        if (left < 0) return false;
    }
    std::array<uint16_t, max_bits + 2> offs{};
    for (int len = 1; len <= max_bits; ++len) offs[len + 1] = uint16_t(offs[len] + h.counts[len]);
    for (int i = 0; i < n; ++i)
        if (lengths[i]) h.symbols[offs[lengths[i]]++] = uint16_t(i);
    return true;
}

int decode(BitReader& r, const Huffman& h) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= max_bits; ++len) {
        code |= r.bits(1);
        if (r.overrun) return -1;
        const int count = h.counts[len];
        if (code - count < first) return h.symbols[index + (code - first)];
        index += count;
        first += count;
        first <<= 1;
        code <<= 1;
    }
    return -1;
}

int inflate_block(BitReader& r, const Huffman& lit, const Huffman& dist, std::vector<uint8_t>* out,
                  size_t start, size_t max_out) {
    for (;;) {
        int sym = decode(r, lit);
        if (sym < 0) return fenn_inflate_damaged;
        if (sym < 256) {
            if (out->size() - start >= max_out) return fenn_inflate_too_large;
            out->push_back(uint8_t(sym));
            continue;
        }
        if (sym == 256) return fenn_inflate_ok;
        sym -= 257;
        if (sym >= 29) return fenn_inflate_damaged;
        const int length = length_base[sym] + r.bits(length_extra[sym]);
        const int dsym = decode(r, dist);
        if (dsym < 0 || dsym >= 30) return fenn_inflate_damaged;
        const size_t distance = size_t(dist_base[dsym]) + size_t(r.bits(dist_extra[dsym]));
        if (r.overrun || distance > out->size() - start) return fenn_inflate_damaged;
        if (out->size() - start + size_t(length) > max_out) return fenn_inflate_too_large;
        const size_t from = out->size() - distance;
        for (int i = 0; i < length; ++i) out->push_back((*out)[from + size_t(i)]);
    }
}

}  // namespace

uint32_t fenn_crc32(uint32_t crc, const uint8_t* data, size_t size) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xff] ^ (crc >> 8);
    return ~crc;
}

uint32_t fenn_adler32(uint32_t adler, const uint8_t* data, size_t size) {
    // The sums are reduced once per 5552 bytes, the most that cannot
    // overflow 32 bits, rather than once per byte.
    constexpr size_t block = 5552;
    uint32_t a = adler & 0xffff, b = adler >> 16;
    while (size > 0) {
        const size_t n = std::min(size, block);
        for (size_t i = 0; i < n; ++i) {
            a += data[i];
            b += a;
        }
        a %= 65521u;
        b %= 65521u;
        data += n;
        size -= n;
    }
    return (b << 16) | a;
}

void fenn_deflate_zlib(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
    out->clear();
    out->push_back(0x78);   // deflate, 32 KiB window
    out->push_back(0x01);   // no dictionary; check bits make 0x7801 a multiple of 31
    std::vector<Token> tokens;
    tokens.reserve(size / 2 + 16);
    std::vector<int32_t> head(size_t(1) << hash_bits, -1);
    std::vector<int32_t> prev(window_size, -1);
    auto insert = [&](size_t i) {
        if (i + min_match > size) return;
        const uint32_t h = hash3(data + i);
        prev[i & (window_size - 1)] = head[h];
        head[h] = int32_t(i);
    };
    size_t i = 0;
    while (i < size) {
        int best_len = 0, best_dist = 0;
        if (i + min_match <= size) {
            const int limit = int(std::min<size_t>(max_match, size - i));
            int32_t cand = head[hash3(data + i)];
            for (int chain = 0; cand >= 0 && chain < chain_limit; ++chain) {
                const size_t dist = i - size_t(cand);
                if (dist > size_t(window_size)) break;
                // A candidate that differs at best_len cannot be longer
                // than the match in hand: skipping it keeps the chosen
                // match, and so the output bytes, exactly as before.
                if (best_len == 0 || data[size_t(cand) + size_t(best_len)] == data[i + size_t(best_len)]) {
                    const int len = match_length(data + size_t(cand), data + i, limit);
                    if (len > best_len) {
                        best_len = len;
                        best_dist = int(dist);
                        if (len == limit) break;
                    }
                }
                const int32_t next = prev[size_t(cand) & (window_size - 1)];
                if (next >= cand) break;   // the slot was reused by a newer position
                cand = next;
            }
        }
        if (best_len >= min_match) {
            tokens.push_back({uint16_t(best_len), uint16_t(best_dist)});
            for (int k = 0; k < best_len; ++k) insert(i + size_t(k));
            i += size_t(best_len);
        } else {
            tokens.push_back({data[i], 0});
            insert(i);
            ++i;
        }
    }
    BitWriter w{out};
    size_t t = 0;
    do {
        const size_t n = std::min(block_tokens, tokens.size() - t);
        put_block(w, tokens.data() + t, n, t + n == tokens.size());
        t += n;
    } while (t < tokens.size());
    w.flush();
    const uint32_t adler = fenn_adler32(1, data, size);
    for (int s = 24; s >= 0; s -= 8) out->push_back(uint8_t(adler >> s));
}

int fenn_inflate_zlib(const uint8_t* data, size_t size, std::vector<uint8_t>* out, size_t max_out) {
    if (size < 6) return fenn_inflate_damaged;
    const int cmf = data[0], flg = data[1];
    if ((cmf & 0x0f) != 8 || (cmf >> 4) > 7 || ((cmf << 8) | flg) % 31 != 0 || (flg & 0x20)) return fenn_inflate_damaged;
    const size_t start = out->size();
    BitReader r{data + 2, size - 2};
    static const auto fixed = [] {
        std::array<Huffman, 2> f;
        uint8_t lengths[max_codes];
        for (int i = 0; i < 144; ++i) lengths[i] = 8;
        for (int i = 144; i < 256; ++i) lengths[i] = 9;
        for (int i = 256; i < 280; ++i) lengths[i] = 7;
        for (int i = 280; i < 288; ++i) lengths[i] = 8;
        build(f[0], lengths, 288);
        for (int i = 0; i < 30; ++i) lengths[i] = 5;
        build(f[1], lengths, 30);
        return f;
    }();
    int last = 0;
    do {
        last = r.bits(1);
        const int type = r.bits(2);
        if (r.overrun) return fenn_inflate_damaged;
        int st = fenn_inflate_ok;
        if (type == 0) {
            r.align();
            if (r.pos + 4 > r.size) return fenn_inflate_damaged;
            const size_t len = size_t(r.data[r.pos]) | size_t(r.data[r.pos + 1]) << 8;
            const size_t nlen = size_t(r.data[r.pos + 2]) | size_t(r.data[r.pos + 3]) << 8;
            r.pos += 4;
            if ((len ^ 0xffff) != nlen || r.pos + len > r.size) return fenn_inflate_damaged;
            if (out->size() - start + len > max_out) return fenn_inflate_too_large;
            out->insert(out->end(), r.data + r.pos, r.data + r.pos + len);
            r.pos += len;
        } else if (type == 1) {
            st = inflate_block(r, fixed[0], fixed[1], out, start, max_out);
        } else if (type == 2) {
            const int nlen = r.bits(5) + 257, ndist = r.bits(5) + 1, ncode = r.bits(4) + 4;
            if (r.overrun || nlen > 286 || ndist > 30) return fenn_inflate_damaged;
            static constexpr uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
            uint8_t lengths[max_codes + 32] = {};
            for (int k = 0; k < ncode; ++k) lengths[order[k]] = uint8_t(r.bits(3));
            Huffman lencode, lit, dist;
            if (r.overrun || !build(lencode, lengths, 19)) return fenn_inflate_damaged;
            int k = 0;
            while (k < nlen + ndist) {
                const int sym = decode(r, lencode);
                if (sym < 0) return fenn_inflate_damaged;
                if (sym < 16) {
                    lengths[k++] = uint8_t(sym);
                    continue;
                }
                int repeat = 0, value = 0;
                if (sym == 16) {
                    if (k == 0) return fenn_inflate_damaged;
                    value = lengths[k - 1];
                    repeat = 3 + r.bits(2);
                } else if (sym == 17) {
                    repeat = 3 + r.bits(3);
                } else {
                    repeat = 11 + r.bits(7);
                }
                if (r.overrun || k + repeat > nlen + ndist) return fenn_inflate_damaged;
                while (repeat--) lengths[k++] = uint8_t(value);
            }
            if (lengths[256] == 0) return fenn_inflate_damaged;   // no end-of-block code
            if (!build(lit, lengths, nlen) || !build(dist, lengths + nlen, ndist)) return fenn_inflate_damaged;
            st = inflate_block(r, lit, dist, out, start, max_out);
        } else {
            return fenn_inflate_damaged;
        }
        if (st != fenn_inflate_ok) return st;
    } while (!last);
    // The Adler-32 of the output follows on a byte boundary.
    r.align();
    if (r.pos + 4 > r.size) return fenn_inflate_damaged;
    uint32_t want = 0;
    for (int k = 0; k < 4; ++k) want = (want << 8) | r.data[r.pos + size_t(k)];
    if (fenn_adler32(1, out->data() + start, out->size() - start) != want) return fenn_inflate_damaged;
    return fenn_inflate_ok;
}
