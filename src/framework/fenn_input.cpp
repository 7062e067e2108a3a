#include "framework/fenn_input.h"
#include "framework/fenn_keys.h"

#include <SDL.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/fenn_config.h"
#include "framework/fenn_file.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_write.h"

namespace {

struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, Closer>;

struct KeyNames {
    char names[fenn_key_name_count][fenn_key_name_max];
    bool filled = false;
};
KeyNames key_names;


void fill_key_names() {
    for (int i = 0; i < fenn_key_name_count; ++i) {
        const char* host = SDL_GetScancodeName(SDL_Scancode(i));
        size_t n = host ? std::strlen(host) : 0;
        char* out = key_names.names[i];
        if (n == 0 || n >= size_t(fenn_key_name_max)) {
            std::snprintf(out, fenn_key_name_max, "?");
            continue;
        }
        for (size_t k = 0; k <= n; ++k) out[k] = char(std::toupper(static_cast<unsigned char>(host[k])));
    }
    key_names.filled = true;
}

}  // namespace

void fenn_get_mouse(int* x, int* y, int* buttons) {
    if (fenn_mouse_override_read(x, y, buttons)) return;
    int px = 0, py = 0, bits = 0;
    if (fenn_platform_has_video()) {
        Uint32 s = SDL_GetMouseState(&px, &py);
        if (s & SDL_BUTTON(SDL_BUTTON_LEFT)) bits |= fenn_mouse_left;
        if (s & SDL_BUTTON(SDL_BUTTON_RIGHT)) bits |= fenn_mouse_right;
        if (s & SDL_BUTTON(SDL_BUTTON_MIDDLE)) bits |= fenn_mouse_middle;
        bits |= fenn_mouse_presses();  // a click released within the same pass
    }
    int held = fenn_cfg.rmb_key > 0 && fenn_get_key_state(fenn_cfg.rmb_key) != 0;
    bits = fenn_apply_rmb_key(bits, held);
    fenn_bitmap* page = fenn_get_back_page();
    int w = page ? page->w : 128, h = page ? page->h : 128;
    if (fenn_platform_has_video()) fenn_map_mouse(px, py, fenn_dest_rect(), w, h, x, y);
    else fenn_map_mouse(0, 0, fenn_rect{0, 0, 0, 0}, w, h, x, y);
    if (buttons) *buttons = bits;
}

const char* fenn_get_key_name(int scancode) {
    if (scancode < 0 || scancode >= fenn_key_name_count) return "";
    if (!key_names.filled) fill_key_names();
    return key_names.names[scancode];
}

std::string fenn_get_clipboard_text() {
    if (!fenn_platform_has_video()) return {};
    char* t = SDL_GetClipboardText();
    std::string s = t ? t : "";
    SDL_free(t);
    return s;
}

int fenn_set_clipboard_text(const char* text) {
    if (!fenn_platform_has_video()) return 1;
    return SDL_SetClipboardText(text ? text : "") == 0 ? 0 : 1;
}
