// Any bytes are machine text and UTF-8 text at once. As machine text they
// go to UTF-8 and back unchanged; as UTF-8 they give machine text that
// holds a '?' for every character counted unknown, and whose UTF-8 form
// reads back to itself with nothing unknown.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cart/cart_glyphs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    std::string utf8;
    cart_machine_to_utf8(text, size, &utf8);
    std::string machine;
    int unknown = -1;
    cart_utf8_to_machine(utf8.data(), utf8.size(), &machine, &unknown);
    if (machine != std::string(text, size) || unknown != 0) std::abort();

    std::string read;
    cart_utf8_to_machine(text, size, &read, &unknown);
    if (unknown < 0 || read.size() > size ||
        std::count(read.begin(), read.end(), cart_unknown_char) < unknown)
        std::abort();
    std::string again;
    cart_machine_to_utf8(read.data(), read.size(), &again);
    std::string back;
    cart_utf8_to_machine(again.data(), again.size(), &back, &unknown);
    if (back != read || unknown != 0) std::abort();
    return 0;
}
