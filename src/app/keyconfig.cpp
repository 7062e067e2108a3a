#include "app/keyconfig.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "app/shell.h"
#include "framework/fenn_input.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_text.h"
#include "machine/button.h"
#include "machine/machine.h"
#include "machine/text.h"

static_assert(keyconfig_bindings == app_button_keys && keyconfig_bindings == vexel_button_key_count);

namespace {

constexpr const char* labels[keyconfig_bindings] = {
    "p1 left    ", "p1 right   ", "p1 up      ", "p1 down    ", "p1 button o", "p1 button x",
    "p2 left    ", "p2 right   ", "p2 up      ", "p2 down    ", "p2 button o", "p2 button x",
    "pause      ",
};
constexpr const char* default_names[keyconfig_bindings] = {
    "left", "right", "up", "down", "z", "x", "s", "f", "e", "d", "tab", "q", "p",
};

struct KeyConfig {
    int k = 0;
    bool wait_release = true;
    int32_t keys[keyconfig_bindings] = {};
    int32_t result[keyconfig_bindings] = {};
    bool result_waiting = false;
};
KeyConfig kc;

// Back to the console on a clean screen (the key picture drew over it), with
// a line saying what became of the bindings.
void leave(vexel_machine* m, const char* note) {
    shell_set_sub_screen(sub_screen_none);
    fenn_flush_keys();
    vexel_buttons_block(m);
    if (m->screen) std::fill(m->screen->pix.begin(), m->screen->pix.end(), uint8_t(0));
    m->cursor_x = m->cursor_y = 0;
    vexel_print(m, note);
}

void fill(vexel_machine* m, int x0, int y0, int x1, int y1, int colour) {
    fenn_bitmap* s = m->screen;
    if (!s) return;
    for (int y = y0; y <= y1; ++y) {
        if (y < 0 || y >= s->h) continue;
        for (int x = x0; x <= x1; ++x)
            if (x >= 0 && x < s->w) s->pix[size_t(y) * size_t(s->w) + size_t(x)] = uint8_t(colour);
    }
}

void text(vexel_machine* m, const char* t, int x, int y, int colour) {
    if (m->screen && m->console_font)
        fenn_draw_text_ex(m->screen, t, m->console_font, x, y, fenn_text_single_colour, uint32_t(colour));
}

// A small picture of a controller at (x, y) with the asked-for control lit:
// a d-pad on the left, O and X on the right, pause in the middle.
void draw_pad(vexel_machine* m, int x, int y, int k) {
    int b = k < 12 ? k % 6 : (k == 12 ? button_pause : -1);
    fill(m, x, y + 4, x + 47, y + 27, 5);
    fill(m, x + 1, y + 5, x + 46, y + 26, 13);
    auto lit = [&](int button) { return button == b ? 8 : 1; };
    fill(m, x + 10, y + 8, x + 13, y + 11, lit(button_up));
    fill(m, x + 10, y + 18, x + 13, y + 21, lit(button_down));
    fill(m, x + 5, y + 13, x + 8, y + 16, lit(button_left));
    fill(m, x + 15, y + 13, x + 18, y + 16, lit(button_right));
    fill(m, x + 10, y + 13, x + 13, y + 16, 1);
    fill(m, x + 22, y + 20, x + 25, y + 21, lit(button_pause));
    fill(m, x + 32, y + 15, x + 36, y + 19, lit(button_o));
    fill(m, x + 39, y + 11, x + 43, y + 15, lit(button_x));
    if (k < 12) text(m, k < 6 ? "1" : "2", x + 2, y + 6, 7);
}

}  // namespace

void keyconfig_open(vexel_machine* m) {
    kc.k = 0;
    kc.wait_release = true;
    std::memcpy(kc.keys, app.button_keys, sizeof kc.keys);
    kc.result_waiting = false;
    shell_set_sub_screen(sub_screen_keyconfig);
    vexel_buttons_block(m);
}

void keyconfig_update(vexel_machine* m) {
    if (app.sub_screen != sub_screen_keyconfig) return;
    if (kc.wait_release) {
        if (!fenn_get_any_key_down()) kc.wait_release = false;
        return;
    }
    if (kc.k < keyconfig_bindings && fenn_get_key_state(SDL_SCANCODE_ESCAPE)) {
        leave(m, "key configuration unchanged");  // the live bindings were never touched
        fenn_block_key(SDL_SCANCODE_ESCAPE);
        return;
    }
    // A key pressed and let go between two machine frames (a quick tap, a
    // key sent by a remote desktop) counts as well as one held.
    int found = -1;
    for (int code = 0; code < keyconfig_scan_max && found < 0; ++code)
        if (fenn_get_key_state(code) || fenn_key_down_or_pressed(code)) found = code;
    if (found < 0) return;
    if (kc.k >= keyconfig_bindings) {
        leave(m, "key configuration saved");
        fenn_block_key(found);
        return;
    }
    // One key per press: the screen then waits for everything to be released.
    kc.keys[kc.k] = (found == SDL_SCANCODE_DELETE || found == SDL_SCANCODE_BACKSPACE) ? 0 : found;
    kc.k++;
    kc.wait_release = true;
    if (kc.k == keyconfig_bindings) {
        std::memcpy(kc.result, kc.keys, sizeof kc.result);
        kc.result_waiting = true;
        fenn_flush_keys();
    }
}

bool keyconfig_take_result(int32_t keys[keyconfig_bindings]) {
    if (!kc.result_waiting) return false;
    std::memcpy(keys, kc.result, sizeof kc.result);
    kc.result_waiting = false;
    return true;
}

int keyconfig_cursor() { return kc.k; }

const char* keyconfig_label(int i) { return i >= 0 && i < keyconfig_bindings ? labels[i] : ""; }

void keyconfig_row_text(int i, char* out, int out_size) {
    if (out_size <= 0) return;
    if (i < 0 || i >= keyconfig_bindings) {
        out[0] = 0;
        return;
    }
    char name[256];
    int code = kc.keys[i];
    const char* host = code > 0 ? fenn_get_key_name(code) : default_names[i];
    std::snprintf(name, sizeof name, "%s", host && *host ? host : "?");
    std::snprintf(out, size_t(out_size), "%s : %s", labels[i], name);
    for (char* p = out; *p; ++p) *p = char(std::tolower(static_cast<unsigned char>(*p)));
}

void keyconfig_draw(vexel_machine* m) {
    fill(m, 0, 0, 127, 127, 1);
    fill(m, 4, 41, 123, 124, 6);
    fill(m, 0, 0, 127, 6, 7);
    text(m, "player key config", 6, 1, 12);
    draw_pad(m, 6, 8, kc.k);
    if (kc.k < keyconfig_bindings) {
        text(m, "press key for:", 60, 12, 6);
        text(m, labels[kc.k], 60, 19, 7);
        text(m, "del to reset", 60, 26, 13);
        text(m, "esc to cancel", 60, 33, 13);
    } else {
        text(m, "saved config.", 60, 12, 11);
        text(m, "any key to quit", 60, 22, 12);
    }
    char row[300];
    for (int i = 0; i < keyconfig_bindings; ++i) {
        int y = 44 + i * 6;
        keyconfig_row_text(i, row, sizeof row);
        if (i == kc.k) {
            fill(m, 7, y - 1, 120, y + 5, 14);
            text(m, row, 10, y, 1);
        } else {
            text(m, row, 10, y, 5);
        }
    }
}
