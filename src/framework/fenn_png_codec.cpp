// The PNG writer of every build and the PNG reader of builds without libpng,
// both over fenn_deflate. See fenn_png.h for the contract.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "framework/fenn_deflate.h"
#include "framework/fenn_png.h"

namespace {

constexpr uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// The compressed picture data may not exceed this many bytes, nor a chunk
// that holds no picture data (palette, transparency) its own size.
constexpr size_t max_idat_bytes = size_t(64) << 20;

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

uint32_t get32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

void put_chunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
    put32(out, uint32_t(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    put32(out, fenn_crc32(0, out.data() + start, out.size() - start));
}

int paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// The filters, one loop per type: choosing the type inside the loop, per
// byte, made the encoder's five trial filterings cost more than deflating.
// `up` is the row above, all zeros for the first row. The first `bpp` bytes
// have no left neighbour (a = c = 0), which the split loops express.
template <int Type>
inline int predict(int a, int b, int c) {
    if constexpr (Type == 1) return a;
    else if constexpr (Type == 2) return b;
    else if constexpr (Type == 3) return (a + b) / 2;
    else if constexpr (Type == 4) return paeth(a, b, c);
    else return 0;
}

template <int Type>
void filter_typed(const uint8_t* row, const uint8_t* up, size_t n, size_t bpp, uint8_t* out) {
    const size_t head = std::min(n, bpp);
    for (size_t i = 0; i < head; ++i) out[i] = uint8_t(row[i] - predict<Type>(0, up[i], 0));
    for (size_t i = head; i < n; ++i) out[i] = uint8_t(row[i] - predict<Type>(row[i - bpp], up[i], up[i - bpp]));
}

template <int Type>
void unfilter_typed(uint8_t* row, const uint8_t* up, size_t n, size_t bpp) {
    const size_t head = std::min(n, bpp);
    for (size_t i = 0; i < head; ++i) row[i] = uint8_t(row[i] + predict<Type>(0, up[i], 0));
    for (size_t i = head; i < n; ++i) row[i] = uint8_t(row[i] + predict<Type>(row[i - bpp], up[i], up[i - bpp]));
}

// Filters one row of `bpp`-byte pixels with filter `type` (0-4) into out.
void filter_row(int type, const uint8_t* row, const uint8_t* up, size_t n, int bpp, uint8_t* out) {
    switch (type) {
    case 1: filter_typed<1>(row, up, n, size_t(bpp), out); break;
    case 2: filter_typed<2>(row, up, n, size_t(bpp), out); break;
    case 3: filter_typed<3>(row, up, n, size_t(bpp), out); break;
    case 4: filter_typed<4>(row, up, n, size_t(bpp), out); break;
    default: std::memcpy(out, row, n); break;
    }
}

// Undoes a row's filter in place; false for an unknown filter type.
bool unfilter_row(int type, uint8_t* row, const uint8_t* up, size_t n, int bpp) {
    switch (type) {
    case 0: return true;
    case 1: unfilter_typed<1>(row, up, n, size_t(bpp)); return true;
    case 2: unfilter_typed<2>(row, up, n, size_t(bpp)); return true;
    case 3: unfilter_typed<3>(row, up, n, size_t(bpp)); return true;
    case 4: unfilter_typed<4>(row, up, n, size_t(bpp)); return true;
    default: return false;
    }
}

struct Header {
    uint32_t w = 0, h = 0;
    int depth = 0, type = 0, interlace = 0;
    int channels() const { return type == 0 ? 1 : type == 2 ? 3 : type == 3 ? 1 : type == 4 ? 2 : 4; }
    int bits_per_pixel() const { return channels() * depth; }
};

bool valid_header(const Header& h) {
    switch (h.type) {
    case 0: return h.depth == 1 || h.depth == 2 || h.depth == 4 || h.depth == 8 || h.depth == 16;
    case 3: return h.depth == 1 || h.depth == 2 || h.depth == 4 || h.depth == 8;
    case 2:
    case 4:
    case 6: return h.depth == 8 || h.depth == 16;
    default: return false;
    }
}

// One sample of a row of unfiltered bytes: sample index i at `depth` bits.
int sample(const uint8_t* row, size_t i, int depth) {
    switch (depth) {
    case 16: return row[2 * i];   // the high byte, as the 8-bit output keeps
    case 8: return row[i];
    default: {
        const size_t bit = i * size_t(depth);
        return (row[bit / 8] >> (8 - depth - int(bit % 8))) & ((1 << depth) - 1);
    }
    }
}

struct Transparency {
    bool present = false;
    uint8_t alpha[256];      // palette alpha
    int key[3] = {-1, -1, -1};   // colour key at the file's depth
};

// One pixel as 0xAARRGGBB from an unfiltered row.
uint32_t pixel(const Header& h, const uint8_t* row, size_t x, const uint8_t* palette, int palette_n,
               const Transparency& t) {
    const int ch = h.channels();
    auto raw = [&](int c) {   // full-precision sample for colour-key matching
        const size_t i = x * size_t(ch) + size_t(c);
        return h.depth == 16 ? (row[2 * i] << 8 | row[2 * i + 1]) : sample(row, i, h.depth);
    };
    auto scaled = [&](int c) {   // to 8 bits, as libpng's expansion does
        const int v = sample(row, x * size_t(ch) + size_t(c), h.depth);
        return h.depth >= 8 ? v : v * 255 / ((1 << h.depth) - 1);
    };
    int r = 0, g = 0, b = 0, a = 255;
    switch (h.type) {
    case 0:
        r = g = b = scaled(0);
        if (t.present && raw(0) == t.key[0]) a = 0;
        break;
    case 2:
        r = scaled(0), g = scaled(1), b = scaled(2);
        if (t.present && raw(0) == t.key[0] && raw(1) == t.key[1] && raw(2) == t.key[2]) a = 0;
        break;
    case 3: {
        const int i = sample(row, x, h.depth);
        if (i < palette_n) r = palette[3 * i], g = palette[3 * i + 1], b = palette[3 * i + 2];
        a = t.present ? t.alpha[i] : 255;
        break;
    }
    case 4: r = g = b = scaled(0), a = scaled(1); break;
    default: r = scaled(0), g = scaled(1), b = scaled(2), a = scaled(3); break;
    }
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

}  // namespace

namespace {

// quick: every row takes the Sub filter instead of the best of five.
int encode(const fenn_bitmap* bmp, std::vector<uint8_t>* png, bool quick) {
    png->clear();
    if (!bmp || bmp->depth != 32 || bmp->w < 1 || bmp->h < 1) return 1;
    const size_t w = size_t(bmp->w), h = size_t(bmp->h), stride = w * 4;
    std::vector<uint8_t> rows(h * (stride + 1));
    std::vector<uint8_t> line(stride), prev(stride), trial(stride), best(stride);
    const uint32_t* pix = bmp->pix32();
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            const uint32_t p = pix[y * w + x];
            line[4 * x] = uint8_t(p >> 16);
            line[4 * x + 1] = uint8_t(p >> 8);
            line[4 * x + 2] = uint8_t(p);
            line[4 * x + 3] = uint8_t(p >> 24);
        }
        // Each row takes the filter whose output has the smallest sum of
        // magnitudes, the usual cheap guess at what compresses best.
        int best_type = 0;
        uint64_t best_cost = UINT64_MAX;
        for (int type = quick ? 1 : 0; type <= (quick ? 1 : 4); ++type) {
            filter_row(type, line.data(), prev.data(), stride, 4, trial.data());   // prev starts as zeros
            uint64_t cost = 0;
            for (uint8_t v : trial) cost += uint64_t(v < 128 ? v : 256 - v);
            if (cost < best_cost) {
                best_cost = cost;
                best_type = type;
                best.swap(trial);
            }
        }
        uint8_t* out = rows.data() + y * (stride + 1);
        out[0] = uint8_t(best_type);
        std::memcpy(out + 1, best.data(), stride);
        prev.swap(line);
    }
    png->assign(signature, signature + 8);
    uint8_t ihdr[13] = {};
    for (int i = 0; i < 4; ++i) {
        ihdr[i] = uint8_t(w >> (24 - 8 * i));
        ihdr[4 + i] = uint8_t(h >> (24 - 8 * i));
    }
    ihdr[8] = 8;   // bits per sample
    ihdr[9] = 6;   // red, green, blue, alpha
    put_chunk(*png, "IHDR", ihdr, sizeof ihdr);
    std::vector<uint8_t> packed;
    fenn_deflate_zlib(rows.data(), rows.size(), &packed);
    put_chunk(*png, "IDAT", packed.data(), packed.size());
    put_chunk(*png, "IEND", nullptr, 0);
    return 0;
}

}  // namespace

int fenn_png_encode(const fenn_bitmap* bmp, std::vector<uint8_t>* png) { return encode(bmp, png, false); }

int fenn_png_encode_quick(const fenn_bitmap* bmp, std::vector<uint8_t>* png) { return encode(bmp, png, true); }

int fenn_png_decode_portable(const uint8_t* data, size_t size, fenn_bitmap** out, int max_w, int max_h) {
    *out = nullptr;
    if (!data || size < 8 || std::memcmp(data, signature, 8) != 0) return fenn_png_unreadable;
    const uint32_t limit_w = uint32_t(std::clamp(max_w, 0, fenn_max_bitmap_side));
    const uint32_t limit_h = uint32_t(std::clamp(max_h, 0, fenn_max_bitmap_side));
    Header hd;
    bool have_header = false, ended = false;
    uint8_t palette[768] = {};
    int palette_n = 0;
    Transparency trns;
    std::vector<uint8_t> idat;
    size_t pos = 8;
    while (!ended) {
        if (size - pos < 12) return fenn_png_unreadable;
        const uint32_t len = get32(data + pos);
        if (len > size - pos - 12) return fenn_png_unreadable;
        const uint8_t* type = data + pos + 4;
        const uint8_t* body = type + 4;
        if (fenn_crc32(0, type, size_t(len) + 4) != get32(body + len)) return fenn_png_unreadable;
        const bool critical = !(type[0] & 0x20);
        if (!have_header && std::memcmp(type, "IHDR", 4) != 0) return fenn_png_unreadable;
        if (!std::memcmp(type, "IHDR", 4)) {
            if (have_header || len != 13) return fenn_png_unreadable;
            hd.w = get32(body);
            hd.h = get32(body + 4);
            hd.depth = body[8];
            hd.type = body[9];
            hd.interlace = body[12];
            if (body[10] != 0 || body[11] != 0 || hd.interlace > 1 || !valid_header(hd)) return fenn_png_unreadable;
            if (hd.w < 1 || hd.h < 1) return fenn_png_unreadable;
            if (hd.w > limit_w || hd.h > limit_h) return fenn_png_too_big;
            have_header = true;
        } else if (!std::memcmp(type, "PLTE", 4)) {
            if (len % 3 != 0 || len > 768 || len == 0) return fenn_png_unreadable;
            std::memcpy(palette, body, len);
            palette_n = int(len / 3);
        } else if (!std::memcmp(type, "tRNS", 4)) {
            trns.present = true;
            if (hd.type == 3) {
                if (len > 256) return fenn_png_unreadable;
                std::memset(trns.alpha, 255, sizeof trns.alpha);
                std::memcpy(trns.alpha, body, len);
            } else if (hd.type == 0 && len >= 2) {
                trns.key[0] = body[0] << 8 | body[1];
            } else if (hd.type == 2 && len >= 6) {
                for (int c = 0; c < 3; ++c) trns.key[c] = body[2 * c] << 8 | body[2 * c + 1];
            } else {
                trns.present = false;   // not allowed with an alpha channel: ignored
            }
        } else if (!std::memcmp(type, "IDAT", 4)) {
            if (idat.size() + len > max_idat_bytes) return fenn_png_unreadable;
            idat.insert(idat.end(), body, body + len);
        } else if (!std::memcmp(type, "IEND", 4)) {
            ended = true;
        } else if (critical) {
            return fenn_png_unreadable;   // a critical chunk this reader does not know
        }
        pos += size_t(len) + 12;
    }
    if (hd.type == 3 && palette_n == 0) return fenn_png_unreadable;

    // The filtered bytes of every pass, then each pass unfiltered and spread.
    static constexpr int adam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    const int passes = hd.interlace ? 7 : 1;
    const int bpp_bits = hd.bits_per_pixel();
    const int bpp = std::max(1, bpp_bits / 8);
    size_t expected = 0;
    for (int p = 0; p < passes; ++p) {
        const uint32_t x0 = hd.interlace ? uint32_t(adam7[p][0]) : 0, y0 = hd.interlace ? uint32_t(adam7[p][1]) : 0;
        const uint32_t dx = hd.interlace ? uint32_t(adam7[p][2]) : 1, dy = hd.interlace ? uint32_t(adam7[p][3]) : 1;
        const size_t pw = hd.w > x0 ? (hd.w - x0 + dx - 1) / dx : 0, ph = hd.h > y0 ? (hd.h - y0 + dy - 1) / dy : 0;
        if (pw && ph) expected += ph * (1 + (pw * size_t(bpp_bits) + 7) / 8);
    }
    std::vector<uint8_t> raw;
    raw.reserve(expected);
    if (fenn_inflate_zlib(idat.data(), idat.size(), &raw, expected) != fenn_inflate_ok || raw.size() != expected)
        return fenn_png_unreadable;
    fenn_bitmap* bmp = fenn_create_bitmap(int(hd.w), int(hd.h), 32);
    if (!bmp) return fenn_png_unreadable;
    uint32_t* pix = bmp->pix32();
    size_t at = 0;
    for (int p = 0; p < passes; ++p) {
        const uint32_t x0 = hd.interlace ? uint32_t(adam7[p][0]) : 0, y0 = hd.interlace ? uint32_t(adam7[p][1]) : 0;
        const uint32_t dx = hd.interlace ? uint32_t(adam7[p][2]) : 1, dy = hd.interlace ? uint32_t(adam7[p][3]) : 1;
        const size_t pw = hd.w > x0 ? (hd.w - x0 + dx - 1) / dx : 0, ph = hd.h > y0 ? (hd.h - y0 + dy - 1) / dy : 0;
        if (!pw || !ph) continue;
        const size_t stride = (pw * size_t(bpp_bits) + 7) / 8;
        const std::vector<uint8_t> zero_row(stride, 0);
        const uint8_t* up = zero_row.data();
        for (size_t y = 0; y < ph; ++y) {
            const int filter = raw[at];
            uint8_t* row = raw.data() + at + 1;
            if (!unfilter_row(filter, row, up, stride, bpp)) {
                fenn_destroy_bitmap(bmp);
                return fenn_png_unreadable;
            }
            const size_t py = y0 + y * dy;
            for (size_t x = 0; x < pw; ++x)
                pix[py * hd.w + x0 + x * dx] = pixel(hd, row, x, palette, palette_n, trns);
            up = row;
            at += stride + 1;
        }
    }
    *out = bmp;
    return fenn_png_ok;
}
