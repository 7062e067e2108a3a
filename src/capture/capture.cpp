#include "capture/capture.h"

#include <SDL.h>

#include "capture/capture_file.h"
#include "capture/capture_gif.h"
#include "capture/capture_png.h"
#include "cart/cart.h"
#include "framework/fenn_log.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_video.h"

namespace {

constexpr int screenshot_digits = 3;
constexpr int gif_digits = 1;

std::string last_saved;

// The keys read below, and whether each was down at the previous look. A
// key that stays down reads as pressed again at every auto-repeat; a capture
// acts once per press, not a file every 80 ms while the key is held.
constexpr int capture_keys[] = {SDL_SCANCODE_F1, SDL_SCANCODE_F3, SDL_SCANCODE_F4, SDL_SCANCODE_F6,
                                SDL_SCANCODE_F7, SDL_SCANCODE_F8, SDL_SCANCODE_F9, SDL_SCANCODE_0,
                                SDL_SCANCODE_6,  SDL_SCANCODE_7,  SDL_SCANCODE_8,  SDL_SCANCODE_9};
bool was_down[sizeof capture_keys / sizeof capture_keys[0]] = {};

bool pressed(int scancode) {
    for (size_t i = 0; i < sizeof capture_keys / sizeof capture_keys[0]; ++i)
        if (capture_keys[i] == scancode) return fenn_get_key_state(scancode) == 3 && !was_down[i];
    return false;
}

void remember_keys() {
    for (size_t i = 0; i < sizeof capture_keys / sizeof capture_keys[0]; ++i)
        was_down[i] = fenn_get_key_state(capture_keys[i]) != 0;
}

}  // namespace

int capture_save_screenshot(const fenn_bitmap* bitmap, const char* cart_file, int scale) {
    const uint8_t* palette = fenn_get_palette();
    if (!bitmap || !palette) return 1;
    auto write = [&](const char* temp, const char* final) {
        fenn_debug("saving screenshot to: %s\n", final);
        return capture_write_png(temp, bitmap, palette, scale);
    };
    std::string path;
    if (capture_write_numbered(capture_name_base(cart_file), screenshot_digits, ".png", write, &path) != 0) {
        fenn_debug("** failed to save screenshot\n");
        return 1;
    }
    last_saved = path;
    return 0;
}

int capture_save_gif(const char* cart_file, int scale) {
    const uint8_t* palette = fenn_get_palette();
    if (!palette) return 1;
    if (capture_video_clip.count == 0) {
        fenn_debug("** no video frames recorded\n");
        return 1;
    }
    auto write = [&](const char* temp, const char* final) {
        fenn_debug("saving video to: %s\n", final);
        return capture_write_gif(temp, capture_video_clip, palette, scale);
    };
    std::string path;
    if (capture_write_numbered(capture_name_base(cart_file), gif_digits, ".gif", write, &path) != 0) {
        fenn_debug("** failed to save video\n");
        return 1;
    }
    last_saved = path;
    return 0;
}

int capture_save_screenshot_to(const char* path, const fenn_bitmap* bitmap, int scale) {
    const uint8_t* palette = fenn_get_palette();
    if (!bitmap || !palette) return 1;
    fenn_debug("saving screenshot to: %s\n", path ? path : "");
    const int failed = capture_write_replacing(
        path, [&](const char* temp) { return capture_write_png(temp, bitmap, palette, scale); });
    if (!failed) last_saved = path;
    return failed;
}

int capture_label(vexel_cart* cart, const fenn_bitmap* display) {
    if (!cart || !display || display->depth != 8 || display->w != capture_side || display->h != capture_side)
        return 1;
    if (!cart->label) cart->label = fenn_create_bitmap(capture_side, capture_side, 8);
    if (!cart->label) return 1;
    for (size_t i = 0; i < capture_frame_bytes; ++i) cart->label->pix[i] = display->pix[i] & 15;
    return 0;
}

const std::string& capture_last_saved_path() { return last_saved; }

namespace {

capture_action capture_key_action_now() {
    if (fenn_get_key_state(fenn_mod_alt)) return capture_none;
    const bool ctrl = fenn_get_key_state(fenn_mod_ctrl) != 0;
    capture_action action = capture_none;
    if (pressed(SDL_SCANCODE_F1) || pressed(SDL_SCANCODE_F6) || (ctrl && pressed(SDL_SCANCODE_6)))
        action = capture_screenshot;
    if (pressed(SDL_SCANCODE_F7) || (ctrl && pressed(SDL_SCANCODE_7))) action = capture_label_image;
    if (pressed(SDL_SCANCODE_F3) || pressed(SDL_SCANCODE_F8) || (ctrl && pressed(SDL_SCANCODE_8)))
        action = capture_video_start;
    if (pressed(SDL_SCANCODE_F4) || pressed(SDL_SCANCODE_F9) || (ctrl && pressed(SDL_SCANCODE_9)))
        action = capture_video_save;
    if (ctrl && pressed(SDL_SCANCODE_0)) action = capture_none;
    return action;
}

}  // namespace

capture_action capture_key_action() {
    const capture_action action = capture_key_action_now();
    remember_keys();
    return action;
}
