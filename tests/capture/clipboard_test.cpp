// The clipboard form of a cartridge: a PNG cartridge as hex text and back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/cart_hex.h"
#include "cart/cart_load.h"
#include "cart/png_cart.h"

namespace {

struct CartDeleter {
    void operator()(vexel_cart* c) const { vexel_cart_destroy(c); }
};
using CartPtr = std::unique_ptr<vexel_cart, CartDeleter>;

CartPtr from_clipboard_text(const std::string& text) {
    std::vector<uint8_t> bytes;
    if (cart_hex_decode(text.data(), text.size(), &bytes) != 0) return nullptr;
    vexel_cart* cart = nullptr;
    if (cart_read_bytes(bytes.data(), bytes.size(), &cart) != cart_ok) return nullptr;
    return CartPtr(cart);
}

}  // namespace

TEST(CaptureClipboard, CartridgeSurvivesTheTextForm) {
    CartPtr cart(vexel_cart_create());
    std::snprintf(cart->code, vexel_code_buffer, "%s", "-- hello\nprint(\"clip\")\n");
    for (int i = 0; i < 128; ++i) cart->gfx->pix[size_t(i * 129)] = uint8_t(i % 16);
    cart->flags[3] = 0x42;
    cart->sfx[5].speed = 9;

    std::vector<uint8_t> png;
    ASSERT_EQ(vexel_cart_png_encode(cart.get(), nullptr, &png), cart_ok);
    const std::string text = cart_hex_encode(png.data(), png.size());
    ASSERT_EQ(text.size(), png.size() * 2 + 13);
    EXPECT_EQ(text.rfind("[cart]", 0), 0u);
    EXPECT_EQ(text.find('\n'), std::string::npos);

    CartPtr back = from_clipboard_text(text);
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->code, cart->code);
    EXPECT_EQ(back->gfx->pix, cart->gfx->pix);
    EXPECT_EQ(back->flags[3], 0x42);
    EXPECT_EQ(back->sfx[5].speed, 9);
}

TEST(CaptureClipboard, TextThatIsNoCartridgeIsRefused) {
    const std::string plain = "just some text someone copied";
    EXPECT_FALSE(from_clipboard_text(plain));
    EXPECT_FALSE(from_clipboard_text(""));
    EXPECT_FALSE(from_clipboard_text("[cart][/cart]"));
    // Well-formed hex of bytes that are no cartridge of either format.
    const std::string junk = "hello world, no cartridge here";
    EXPECT_FALSE(from_clipboard_text(
        cart_hex_encode(reinterpret_cast<const uint8_t*>(junk.data()), junk.size())));
    // A PNG cut short on its way through the clipboard.
    CartPtr cart(vexel_cart_create());
    std::vector<uint8_t> png;
    ASSERT_EQ(vexel_cart_png_encode(cart.get(), nullptr, &png), cart_ok);
    const std::string text = cart_hex_encode(png.data(), png.size());
    EXPECT_FALSE(from_clipboard_text(text.substr(0, text.size() / 2)));
}
