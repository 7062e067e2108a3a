// Feeds arbitrary bytes to the browser's readers of untrusted input. The
// first byte picks the reader:
//   0: a board list picture (PNG bytes), fresh;
//   1: the same, appended to a list that already holds a page;
//   2: favourites text;
//   3: cartridge bytes made into a label (PNG cartridge or text cartridge).
// Whatever the bytes, lists keep their invariants: at most browse_items_max
// items, every text field terminated, labels 128x128.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "browser/browse_list.h"

namespace {

void check_list(int i) {
    const browse_list* l = browse_get_list(i);
    if (!l || l->count() > browse_items_max) std::abort();
    for (const browse_item& it : l->items) {
        if (!std::memchr(it.title, 0, sizeof it.title) || !std::memchr(it.author, 0, sizeof it.author) ||
            !std::memchr(it.lid, 0, sizeof it.lid) || !std::memchr(it.mid, 0, sizeof it.mid) ||
            !std::memchr(it.path, 0, sizeof it.path))
            std::abort();
        if (std::strlen(it.author) > size_t(browse_author_keep)) std::abort();
        if (it.label && (it.label->w != browse_label_size || it.label->h != browse_label_size)) std::abort();
        // A board id that names a file names one inside the cache.
        const std::string cache = browse_cart_cache_path(it.lid);
        if (!cache.empty() && cache.find("..") != std::string::npos) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    browse_create_lists();
    const int mode = data[0] % 4;
    ++data;
    --size;
    switch (mode) {
    case 0:
    case 1:
        browse_read_list_picture(browse_new, data, size, mode == 1);
        check_list(browse_new);
        break;
    case 2:
        browse_read_favourites(browse_fav, reinterpret_cast<const char*>(data), size);
        check_list(browse_fav);
        break;
    default:
        if (fenn_bitmap* label = browse_label_from_bytes(data, size)) {
            if (label->w != browse_label_size || label->h != browse_label_size) std::abort();
            fenn_destroy_bitmap(label);
        }
        break;
    }
    // Start from empty lists now and then so appending does not grow forever.
    if (browse_get_list(browse_new)->count() > 200 || browse_get_list(browse_fav)->count() > 200) browse_shutdown();
    return 0;
}
