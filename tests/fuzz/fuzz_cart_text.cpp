// Any bytes given to the text cartridge reader must give a cartridge or null,
// never a fault; a cartridge that was read must write and read back. The
// program it holds is whole: no zero byte inside it ends it early (a zero in
// the file became '?'), so everything past its end is zero.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cart/cart_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vexel_cart* cart = vexel_cart_from_text(reinterpret_cast<const char*>(data), size);
    if (cart) {
        for (size_t i = std::strlen(cart->code); i < size_t(vexel_code_buffer); ++i)
            if (cart->code[i] != 0) std::abort();
        std::string text = vexel_cart_to_text(cart);
        vexel_cart* again = vexel_cart_from_text(text.data(), text.size());
        vexel_cart_destroy(again);
    }
    vexel_cart_destroy(cart);
    return 0;
}
