#include "cart/cart.h"

#include <cstring>

namespace {
constexpr int max_release_hooks = 8;
vexel_cart_release_hook release_hooks[max_release_hooks];
int release_hook_count = 0;
}  // namespace

void vexel_cart_add_release_hook(vexel_cart_release_hook hook) {
    for (int i = 0; i < release_hook_count; ++i)
        if (release_hooks[i] == hook) return;
    if (release_hook_count < max_release_hooks) release_hooks[release_hook_count++] = hook;
}

void vexel_cart_reset_sfx(vexel_cart* cart) {
    std::memset(cart->sfx, 0, sizeof cart->sfx);
    for (int i = 0; i < vexel_sfx_count; ++i) cart->sfx[i].speed = i == 0 ? 1 : 16;
}

vexel_cart* fenn_create_vexel_cart() {
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

void fenn_destroy_vexel_cart(vexel_cart* cart) {
    if (!cart) return;
    for (int i = 0; i < release_hook_count; ++i) release_hooks[i](cart);
    fenn_destroy_bitmap(cart->gfx);
    fenn_destroy_bitmap(cart->map);
    fenn_destroy_bitmap(cart->label);
    delete[] cart->code;
    delete cart;
    fenn_count_item_destroyed();
}
