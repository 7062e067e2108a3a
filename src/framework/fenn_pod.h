// fenn_pod: the framework's container of typed items, read from pod files.
//
// A pod file is a run of chunks, each a four-character tag and a 32-bit
// little-endian size, the first always the "CPOD" header. The reader turns
// the chunks it knows into items, in file order:
//
//   "CBMP"/"cBMP"  bitmap (raw / LZ4)        -> fenn_pod_type_bitmap  (4)
//   "CPAL"         768-byte RGB palette      -> fenn_pod_type_palette (5)
//   "CFIL"/"cFIL"  named data (raw / LZ4)    -> fenn_pod_type_data    (12)
//
// Other tags are skipped by their size. A later "CPOD" or "CNOP" starts the
// next pod of the same stream: the reader stops in front of it, so pods
// written back to back are read by successive calls.
//
// Pod files are untrusted: every size is checked against what the stream
// still holds and against the limits below before anything is allocated.
// A damaged pod (a truncated chunk, a bitmap of a size the framework cannot
// create, an LZ4 block that does not decode to exactly the expected bytes)
// is refused as a whole rather than handed on with holes in it.
//
// Ownership: the pod owns its items and their objects; fenn_destroy_pod
// frees everything. Item pointers stay valid until the pod is destroyed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/fenn_bitmap.h"
#include "framework/fenn_file.h"

constexpr int fenn_pod_type_bitmap = 4;
constexpr int fenn_pod_type_palette = 5;
constexpr int fenn_pod_type_data = 12;

constexpr int fenn_pod_name_size = 32;       // header name field, bytes
constexpr int fenn_pod_data_name_size = 64;  // data item name field, bytes
constexpr int fenn_pod_palette_size = 768;   // 256 RGB triplets

// Limits for one pod (its own items; a nested pod is read separately).
constexpr size_t fenn_pod_max_total_bytes = size_t(64) << 20;  // pixels + data
constexpr size_t fenn_pod_max_items = 65536;

struct fenn_pod_bitmap_deleter {
    void operator()(fenn_bitmap* b) const { fenn_destroy_bitmap(b); }
};

struct fenn_pod_item {
    int type = 0;
    std::unique_ptr<fenn_bitmap, fenn_pod_bitmap_deleter> bitmap;  // type 4
    std::vector<uint8_t> bytes;  // type 5: the 768 palette bytes; type 12: the data
    char name[fenn_pod_data_name_size] = {};  // type 12; always NUL-terminated
};

struct fenn_pod {
    char name[fenn_pod_name_size + 1] = {};  // from the header, NUL-terminated
    uint32_t version = 0;                // from the header, not interpreted
    std::vector<std::unique_ptr<fenn_pod_item>> items;
};

// Reads one pod from `stream` at its position. `name` only labels log lines.
// Returns null when the stream does not start with a "CPOD" header, when the
// pod has no items, or when it is damaged. On success the stream is left at
// the end of the pod (in front of a following pod, if any).
fenn_pod* fenn_load_pod_file(const char* name, fenn_file& stream);

// Reads the first pod of a disk file; null when the file cannot be opened
// or holds no valid pod. Logs "fenn_load_pod: <path> ok|failed".
fenn_pod* fenn_load_pod(const char* path);

// Reads a pod stored in a buffer (such as a nested pod's data item).
fenn_pod* fenn_load_pod_memory(const char* name, const uint8_t* data, size_t len);

void fenn_destroy_pod(fenn_pod* pod);  // null is ignored

// Items by number (from 0) and in order. All return null when out of range
// or given null.
int fenn_pod_item_count(const fenn_pod* pod);
fenn_pod_item* fenn_pod_get_item(const fenn_pod* pod, int index);
fenn_pod_item* fenn_pod_first(const fenn_pod* pod);
fenn_pod_item* fenn_pod_next(const fenn_pod* pod, const fenn_pod_item* item);

// Typed access: null when the item is missing or of another type.
fenn_bitmap* fenn_pod_get_bitmap(const fenn_pod* pod, int index);
const uint8_t* fenn_pod_get_palette(const fenn_pod* pod, int index);  // 768 bytes
const fenn_pod_item* fenn_pod_get_data(const fenn_pod* pod, int index);

// Reads a data item as a nested pod. Null when the item is not a data item
// or does not hold a valid pod.
fenn_pod* fenn_pod_load_nested(const fenn_pod* pod, int index);

// Opens a data item as a stream from its first byte (the item must outlive
// the stream). Returns false, leaving an empty stream, for other items.
bool fenn_pod_open_data(const fenn_pod* pod, int index, fenn_file& stream);
