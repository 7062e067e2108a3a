// Feeds arbitrary bytes to the browser's readers of untrusted input. The
// first byte picks the reader:
//   0: a board list picture (PNG bytes), fresh;
//   1: the same, appended to a list that already holds a page;
//   2: favourites text;
//   3: cartridge bytes made into a label (PNG cartridge or text cartridge).
// Whatever the bytes, lists keep their invariants: at most splore_items_max
// items, every text field terminated, labels 128x128.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "browser/splore_list.h"

namespace {

void check_list(int i) {
    const splore_list* l = splore_get_list(i);
    if (!l || l->count() > splore_items_max) std::abort();
    for (const splore_item& it : l->items) {
        if (!std::memchr(it.title, 0, sizeof it.title) || !std::memchr(it.author, 0, sizeof it.author) ||
            !std::memchr(it.lid, 0, sizeof it.lid) || !std::memchr(it.mid, 0, sizeof it.mid) ||
            !std::memchr(it.path, 0, sizeof it.path))
            std::abort();
        if (std::strlen(it.author) > size_t(splore_author_keep)) std::abort();
        if (it.label && (it.label->w != splore_label_size || it.label->h != splore_label_size)) std::abort();
        // A board id that names a file names one inside the cache.
        const std::string cache = splore_cart_cache_path(it.lid);
        if (!cache.empty() && cache.find("..") != std::string::npos) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    splore_create_lists();
    const int mode = data[0] % 4;
    ++data;
    --size;
    switch (mode) {
    case 0:
    case 1:
        splore_read_list_picture(splore_new, data, size, mode == 1);
        check_list(splore_new);
        break;
    case 2:
        splore_read_favourites(splore_fav, reinterpret_cast<const char*>(data), size);
        check_list(splore_fav);
        break;
    default:
        if (fenn_bitmap* label = splore_label_from_bytes(data, size)) {
            if (label->w != splore_label_size || label->h != splore_label_size) std::abort();
            fenn_destroy_bitmap(label);
        }
        break;
    }
    // Start from empty lists now and then so appending does not grow forever.
    if (splore_get_list(splore_new)->count() > 200 || splore_get_list(splore_fav)->count() > 200) splore_shutdown();
    return 0;
}
