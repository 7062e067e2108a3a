// What the board builder and checker read from outside: the manifest text
// and list pictures. The first byte picks the reader, the rest is its input.
// Every id either reader hands on must map to a path inside the board (the
// mapping never lets "..", '/' or a blank through), and neither may crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "board/board_manifest.h"
#include "board/board_picture.h"
#include "cart/cart_board.h"
#include "cart/cart_fold.h"

namespace {

void check_path(const std::string& path) {
    if (path.find("..") != std::string::npos || path.find(' ') != std::string::npos || path.rfind("bbs/", 0) != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t* rest = data + 1;
    const size_t n = size - 1;
    if (data[0] & 1) {
        std::vector<board_entry> entries;
        std::vector<std::string> errors;
        board_read_manifest(reinterpret_cast<const char*>(rest), n, "board.txt", &entries, &errors);
        for (const board_entry& e : entries) check_path(cart_board_cart_path(e.id.c_str()));
    } else {
        std::vector<board_cell> cells;
        bool ended = false;
        int next = -1;
        board_read_list_picture(rest, n, &cells, &ended, &next);
        for (const board_cell& c : cells) {
            const std::string p = cart_board_cart_path(c.id.c_str());
            if (!p.empty()) check_path(p);
        }
    }
    // List keys and search texts too: the same bytes.
    const std::string text(reinterpret_cast<const char*>(rest), n);
    const std::string p = cart_board_list_page_path(text.c_str(), int(data[0]) * 32);
    if (!p.empty()) check_path(p);
    const std::string key = cart_board_search_key(text.c_str());
    const std::string s = cart_board_list_head_path((cart_board_search_prefix + key).c_str());
    if (!key.empty() && s.empty()) std::abort();  // every search word names its list
    if (!s.empty()) check_path(s);
    if (cart_fold_text(text).size() > text.size()) std::abort();
    return 0;
}
