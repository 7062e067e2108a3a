#include "cart/cart.h"

#include <cstring>

const char* vexel_cart_status_text(int status) {
    switch (status) {
    case cart_ok: return "ok";
    case cart_unreadable: return "not a readable cartridge";
    case cart_no_picture: return "not a cartridge picture";
    case cart_bad_code: return "damaged program";
    case cart_too_big: return "program too large";
    case cart_write_failed: return "could not be written";
    case cart_not_a_cart: return "not a cartridge";
    case cart_too_large: return "file too large";
    case cart_not_found: return "file not found";
    default: return "unknown failure";
    }
}

void vexel_cart_reset_sfx(vexel_cart* cart) {
    std::memset(cart->sfx, 0, sizeof cart->sfx);
    // Every effect alike, effect 0 included: the first one a person makes
    // in a new cartridge plays at the same pace as the rest.
    for (auto& sfx : cart->sfx) sfx.speed = vexel_sfx_default_speed;
}

vexel_cart* vexel_cart_create() {
    auto* cart = new vexel_cart;
    cart->code = new char[vexel_code_buffer];
    std::memset(cart->code, 0, vexel_code_buffer);
    cart->gfx = fenn_create_bitmap(128, 128, 8);
    cart->map = fenn_create_bitmap(128, 64, 8);
    vexel_cart_reset_sfx(cart);
    for (auto& pattern : cart->music)
        for (int c = 0; c < 4; ++c) pattern[c] = vexel_music_silent_base + c;
    fenn_count_item_created();
    return cart;
}

void vexel_cart_destroy(vexel_cart* cart) {
    if (!cart) return;
    fenn_destroy_bitmap(cart->gfx);
    fenn_destroy_bitmap(cart->map);
    fenn_destroy_bitmap(cart->label);
    delete[] cart->code;
    delete cart;
    fenn_count_item_destroyed();
}
