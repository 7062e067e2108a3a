#include "framework/fenn_pod.h"

#include "framework/fenn_log.h"
#include "framework/fenn_lz4.h"

#include <climits>
#include <cstring>

namespace {

// Each item is charged this much on top of its bytes, so a flood of empty
// items is bounded as well.
constexpr size_t item_overhead = 64;

// LZ4 cannot expand a block by more than this factor (one literal-length or
// match-length byte stands for at most 255 output bytes), so a claimed size
// beyond it is a lie that must not reach the allocator.
constexpr size_t lz4_max_ratio = 255;

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool tag_is(const uint8_t* tag, const char* want) { return std::memcmp(tag, want, 4) == 0; }

struct pod_reader {
    fenn_file& f;
    const char* label;
    size_t used = 0;  // bytes charged against fenn_pod_max_total_bytes
    bool damaged = false;

    // Marks the pod damaged; always returns false so callers can `return fail(..)`.
    bool fail(const char* why) {
        fenn_debug("fenn_load_pod_file: %s: %s\n", label ? label : "?", why);
        damaged = true;
        return false;
    }

    bool read_exact(void* dst, size_t n) { return fenn_file_read(f, dst, n) == n || fail("truncated chunk"); }

    bool read_u32(uint32_t& v) {
        uint8_t b[4];
        if (!read_exact(b, 4)) return false;
        v = le32(b);
        return true;
    }

    // Checks that n more bytes may be allocated for this pod and that the
    // stream still holds at least `needs` bytes to fill them.
    bool reserve(uint64_t n, uint64_t needs) {
        if (n > fenn_pod_max_total_bytes - used) return fail("pod too large");
        if (needs > uint64_t(fenn_file_remaining(f))) return fail("truncated chunk");
        used += size_t(n);
        return true;
    }

    // Reads "u32 N, N bytes of LZ4" and decodes it into exactly out_len bytes.
    bool read_lz4(uint8_t* out, size_t out_len) {
        uint32_t n;
        if (!read_u32(n)) return false;
        if (n > uint64_t(fenn_file_remaining(f))) return fail("truncated chunk");
        if (n > uint32_t(INT_MAX) || out_len > size_t(INT_MAX)) return fail("LZ4 block too large");
        if (out_len > uint64_t(n) * lz4_max_ratio + 64) return fail("LZ4 block too short for its size");
        std::vector<uint8_t> packed(n);
        if (!read_exact(packed.data(), n)) return false;
        if (n == 0 && out_len == 0) return true;
        const long got = fenn_lz4_decode_block(packed.data(), n, out, out_len);
        if (got < 0 || size_t(got) != out_len) return fail("damaged LZ4 block");
        return true;
    }

    bool read_bitmap(fenn_pod& pod, bool compressed) {
        uint32_t w, h, bpp, attribute, reserved;
        if (!read_u32(w) || !read_u32(h) || !read_u32(bpp) || !read_u32(attribute) || !read_u32(reserved))
            return false;
        if (w < 1 || h < 1 || w > uint32_t(fenn_max_bitmap_side) || h > uint32_t(fenn_max_bitmap_side) ||
            (bpp != 8 && bpp != 32))
            return fail("bad bitmap size or depth");
        uint64_t raw = uint64_t(w) * h * (bpp / 8);
        if (!reserve(raw + item_overhead, compressed ? 4 : raw)) return false;
        auto item = std::make_unique<fenn_pod_item>();
        item->type = fenn_pod_type_bitmap;
        item->bitmap.reset(fenn_create_bitmap(int(w), int(h), int(bpp)));
        if (!item->bitmap) return fail("out of memory");
        item->bitmap->attribute = int(attribute);
        uint8_t* px = item->bitmap->pix.data();
        if (compressed ? !read_lz4(px, size_t(raw)) : !read_exact(px, size_t(raw))) return false;
        pod.items.push_back(std::move(item));
        return true;
    }

    bool read_palette(fenn_pod& pod) {
        if (!reserve(fenn_pod_palette_size + item_overhead, fenn_pod_palette_size)) return false;
        auto item = std::make_unique<fenn_pod_item>();
        item->type = fenn_pod_type_palette;
        item->bytes.resize(fenn_pod_palette_size);
        if (!read_exact(item->bytes.data(), fenn_pod_palette_size)) return false;
        pod.items.push_back(std::move(item));
        return true;
    }

    bool read_data(fenn_pod& pod, bool compressed) {
        uint32_t len;
        if (!read_u32(len)) return false;
        auto item = std::make_unique<fenn_pod_item>();
        item->type = fenn_pod_type_data;
        if (!read_exact(item->name, fenn_pod_data_name_size)) return false;
        item->name[fenn_pod_data_name_size - 1] = 0;
        if (!reserve(uint64_t(len) + item_overhead, compressed ? 4 : len)) return false;
        item->bytes.resize(len);
        if (compressed ? !read_lz4(item->bytes.data(), len) : !read_exact(item->bytes.data(), len))
            return false;
        pod.items.push_back(std::move(item));
        return true;
    }

    bool read_header(fenn_pod& pod) {
        uint8_t body[68];
        if (!read_exact(body, sizeof body)) return false;
        pod.version = le32(body);
        std::memcpy(pod.name, body + 4, fenn_pod_name_size);
        pod.name[fenn_pod_name_size] = 0;
        // The item count at body + 36 is advisory: items are read until the pod ends.
        return true;
    }

    bool skip(uint32_t size) {
        if (size > uint64_t(fenn_file_remaining(f))) return fail("truncated chunk");
        if (fenn_file_seek(f, int64_t(size), SEEK_CUR) != 0) return fail("seek failed");
        return true;
    }
};

}  // namespace

fenn_pod* fenn_load_pod_file(const char* name, fenn_file& stream) {
    pod_reader r{stream, name};
    auto pod = std::make_unique<fenn_pod>();
    bool have_header = false;
    for (;;) {
        const int64_t chunk_start = fenn_file_tell(stream);
        uint8_t head[8];
        size_t got = fenn_file_read(stream, head, sizeof head);
        if (got == 0) break;
        static const uint8_t zero_tag[4] = {};
        if (got >= 4 && std::memcmp(head, zero_tag, 4) == 0) break;
        if (got < sizeof head) {
            r.fail("truncated chunk");
            break;
        }
        const uint32_t size = le32(head + 4);
        if (!have_header) {
            if (!tag_is(head, "CPOD")) {
                fenn_debug("fenn_load_pod_file: %s: not a pod\n", name ? name : "?");
                return nullptr;
            }
            if (!r.read_header(*pod)) break;
            have_header = true;
            continue;
        }
        if (tag_is(head, "CPOD") || tag_is(head, "CNOP")) {
            // The next pod of this stream: leave it for the next read.
            fenn_file_seek(stream, chunk_start, SEEK_SET);
            break;
        }
        if (pod->items.size() >= fenn_pod_max_items) {
            r.fail("too many items");
            break;
        }
        bool ok;
        if (tag_is(head, "CBMP")) ok = r.read_bitmap(*pod, false);
        else if (tag_is(head, "cBMP")) ok = r.read_bitmap(*pod, true);
        else if (tag_is(head, "CPAL")) ok = r.read_palette(*pod);
        else if (tag_is(head, "CFIL")) ok = r.read_data(*pod, false);
        else if (tag_is(head, "cFIL")) ok = r.read_data(*pod, true);
        else {
            fenn_debug("fenn_load_pod_file: Unknown Chunk!\n");
            ok = r.skip(size);
        }
        if (!ok) break;
    }
    if (r.damaged || !have_header || pod->items.empty()) return nullptr;
    fenn_count_item_created();
    return pod.release();
}

fenn_pod* fenn_load_pod(const char* path) {
    fenn_file f;
    fenn_pod* pod = nullptr;
    if (fenn_file_open(f, path)) pod = fenn_load_pod_file(path, f);
    fenn_debug("fenn_load_pod: %s %s \n", path ? path : "(null)", pod ? "ok" : "failed");
    return pod;
}

fenn_pod* fenn_load_pod_memory(const char* name, const uint8_t* data, size_t len) {
    fenn_file f;
    fenn_file_wrap(f, data, len);
    return fenn_load_pod_file(name, f);
}

void fenn_destroy_pod(fenn_pod* pod) {
    if (!pod) return;
    delete pod;
    fenn_count_item_destroyed();
}

int fenn_pod_item_count(const fenn_pod* pod) { return pod ? int(pod->items.size()) : 0; }

fenn_pod_item* fenn_pod_get_item(const fenn_pod* pod, int index) {
    if (!pod || index < 0 || size_t(index) >= pod->items.size()) return nullptr;
    return pod->items[size_t(index)].get();
}

fenn_pod_item* fenn_pod_first(const fenn_pod* pod) { return fenn_pod_get_item(pod, 0); }

fenn_pod_item* fenn_pod_next(const fenn_pod* pod, const fenn_pod_item* item) {
    if (!pod || !item) return nullptr;
    // Pods are small and walked rarely; a search keeps the item free of
    // back-references that could go stale.
    for (size_t i = 0; i + 1 < pod->items.size(); ++i)
        if (pod->items[i].get() == item) return pod->items[i + 1].get();
    return nullptr;
}

fenn_bitmap* fenn_pod_get_bitmap(const fenn_pod* pod, int index) {
    fenn_pod_item* it = fenn_pod_get_item(pod, index);
    return it && it->type == fenn_pod_type_bitmap ? it->bitmap.get() : nullptr;
}

const uint8_t* fenn_pod_get_palette(const fenn_pod* pod, int index) {
    fenn_pod_item* it = fenn_pod_get_item(pod, index);
    return it && it->type == fenn_pod_type_palette ? it->bytes.data() : nullptr;
}

const fenn_pod_item* fenn_pod_get_data(const fenn_pod* pod, int index) {
    fenn_pod_item* it = fenn_pod_get_item(pod, index);
    return it && it->type == fenn_pod_type_data ? it : nullptr;
}

fenn_pod* fenn_pod_load_nested(const fenn_pod* pod, int index) {
    const fenn_pod_item* it = fenn_pod_get_data(pod, index);
    if (!it) return nullptr;
    return fenn_load_pod_memory(it->name, it->bytes.data(), it->bytes.size());
}

bool fenn_pod_open_data(const fenn_pod* pod, int index, fenn_file& stream) {
    const fenn_pod_item* it = fenn_pod_get_data(pod, index);
    if (!it) {
        fenn_file_close(stream);
        return false;
    }
    // An empty vector may have no storage; a stream needs a non-null base to count as open.
    static const uint8_t empty = 0;
    fenn_file_wrap(stream, it->bytes.empty() ? &empty : it->bytes.data(), it->bytes.size());
    return true;
}
