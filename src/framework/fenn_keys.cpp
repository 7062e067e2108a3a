// The key table, the typed-key buffer, the mouse wheel and time: the half
// of fenn_platform that every host shares. The host half (SDL on the
// desktop, the page in the web build) feeds it through fenn_keys.h and the
// setters of fenn_platform.h.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "framework/fenn_input.h"
#include "framework/fenn_keys.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_utf8.h"

namespace {

struct KeyTable {
    uint8_t state[fenn_key_count];
    uint8_t previous[fenn_key_count];
    uint8_t blocked[fenn_key_count];
    uint8_t pressed[fenn_key_count];   // went down since fenn_take_key_presses
    uint8_t chorded[fenn_key_count];   // went down with Ctrl or the system key held, until released
    int typed[fenn_typed_max];
    int typed_count;
    int64_t next_repeat;
    int wheel_x, wheel_y;   // mouse wheel movement since the buttons last took it
    int mouse_presses;      // button bits pressed since the buttons last took them
};

KeyTable keys;
const auto start_time = std::chrono::steady_clock::now();

void push_typed(int c) {
    if (keys.typed_count < fenn_typed_max) keys.typed[keys.typed_count++] = c;
}

// Text input arrives as UTF-8, one character or several (an input method
// commits a word). Each character is one typed key: ASCII as itself, any
// other as fenn_typed_unicode + its code point. A text that does not fit
// the buffer whole is dropped whole, as a typed key is; bytes that are not
// UTF-8 type nothing.
bool push_typed_text(const char* text, size_t length) {
    int codes[fenn_typed_max];
    int n = 0;
    for (size_t i = 0; i < length;) {
        size_t used = 1;
        const int32_t cp = fenn_utf8_decode(text + i, length - i, &used);
        i += used;
        if (cp < 0) continue;
        if (n == fenn_typed_max) return false;
        codes[n++] = cp < 0x80 ? cp : fenn_typed_unicode + cp;
    }
    if (n == 0 || keys.typed_count + n > fenn_typed_max) return false;
    for (int i = 0; i < n; ++i) push_typed(codes[i]);
    return true;
}

}  // namespace

void fenn_keys_reset() { std::memset(&keys, 0, sizeof keys); }

bool fenn_key_held(int code) { return code >= 0 && code < fenn_key_count && keys.state[code] != 0; }

void fenn_keys_mark_fresh_press() {
    for (int i = 0; i < fenn_key_count; ++i) {
        if (keys.state[i] == 3) {
            push_typed(-1);
            return;
        }
    }
}

void fenn_keys_snapshot(const uint8_t* host, int n, int64_t now) {
    n = std::clamp(n, 0, fenn_key_count);
    for (int i = 0; i < fenn_key_count; ++i) {
        keys.previous[i] = keys.state[i];
        keys.state[i] = host && i < n && host[i] ? 1 : 0;
    }
    bool went_down = false;
    for (int i = 0; i < fenn_key_count; ++i) {
        if (keys.state[i] && !keys.previous[i]) {
            keys.state[i] = 3;  // pressed this pass
            went_down = true;
        }
    }
    if (went_down) keys.next_repeat = now + fenn_key_repeat_delay_ms;
    if (now >= keys.next_repeat) {
        for (int i = 0; i < fenn_key_count; ++i)
            if (keys.state[i] && !keys.blocked[i]) keys.state[i] = 3;
        keys.next_repeat = now + fenn_key_repeat_every_ms;
    }
    for (int i = 0; i < fenn_key_count; ++i)
        if (!keys.state[i]) keys.blocked[i] = keys.chorded[i] = 0;
}

void fenn_keys_key_down(int code, int64_t now) {
    // The host's key table changes in the same event pump that delivers this
    // event, so the next snapshot already finds the key down and would not
    // call it fresh: the press is marked here. A key pressed and released
    // between two passes is still seen, as pressed, for one pass.
    if (code < 0 || code >= fenn_key_count) return;
    // A key pressed with Ctrl (or the system key) held is a shortcut (Ctrl+M,
    // Ctrl+S): it never counts as a button, even when Ctrl is let go before
    // the machine reads the buttons. AltGr (right Alt, which some systems
    // report with Ctrl) types characters instead.
    const bool is_modifier = code == fenn_key_lctrl || code == fenn_key_rctrl || code == fenn_key_lsystem ||
                             code == fenn_key_rsystem;
    keys.chorded[code] = !is_modifier && !fenn_key_held(fenn_key_ralt) &&
                         (fenn_key_held(fenn_key_lctrl) || fenn_key_held(fenn_key_rctrl) ||
                          fenn_key_held(fenn_key_lsystem) || fenn_key_held(fenn_key_rsystem));
    keys.pressed[code] = keys.chorded[code] ? 0 : 1;
    if (keys.state[code] != 0) return;
    keys.state[code] = 3;
    keys.next_repeat = now + fenn_key_repeat_delay_ms;
}

int fenn_get_key_state(int code) {
    auto one = [](int c) { return (c >= 0 && c < fenn_key_count && !keys.blocked[c]) ? int(keys.state[c]) : 0; };
    auto either = [&](int a, int b) { return std::max(one(a), one(b)); };
    switch (code) {
    case fenn_mod_shift: return either(fenn_key_lshift, fenn_key_rshift);
    case fenn_mod_alt: return either(fenn_key_lalt, fenn_key_ralt);
    case fenn_mod_ctrl:
        return std::max(either(fenn_key_lctrl, fenn_key_rctrl), either(fenn_key_lsystem, fenn_key_rsystem));
    case fenn_mod_system: return either(fenn_key_lsystem, fenn_key_rsystem);
    case fenn_mod_extra: return either(502, 503);
    default: return one(code);
    }
}

bool fenn_key_down_or_pressed(int code) {
    if (code < 0 || code >= fenn_key_count || keys.blocked[code] || keys.chorded[code]) return false;
    return keys.state[code] != 0 || keys.pressed[code] != 0;
}

void fenn_take_key_presses() { std::memset(keys.pressed, 0, sizeof keys.pressed); }

int fenn_get_any_key_down() {
    for (int i = 0; i < fenn_key_count; ++i)
        if (keys.state[i]) return 1;
    return 0;
}

void fenn_block_key(int code) {
    if (code >= 0 && code < fenn_key_count) keys.blocked[code] = 1;
}

int fenn_keypressed() { return keys.typed_count > 0; }

int fenn_readkey() {
    if (!keys.typed_count) return 0;
    int c = keys.typed[0];
    std::memmove(keys.typed, keys.typed + 1, sizeof(int) * size_t(--keys.typed_count));
    return c;
}

void fenn_flush_keys() { keys.typed_count = 0; }

void fenn_add_mouse_wheel(int x, int y) {
    keys.wheel_x += x;
    keys.wheel_y += y;
}

void fenn_take_mouse_wheel(int* x, int* y) {
    if (x) *x = keys.wheel_x;
    if (y) *y = keys.wheel_y;
    keys.wheel_x = keys.wheel_y = 0;
}

void fenn_push_key(int c) { push_typed(c); }

bool fenn_push_typed_text(const char* text, size_t length) { return text && push_typed_text(text, length); }

void fenn_set_key_state(int code, int state) {
    if (code >= 0 && code < fenn_key_count) keys.state[code] = uint8_t(state);
}

int64_t fenn_get_time() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now() - start_time).count();
}

void fenn_delay(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void fenn_note_mouse_press(int buttons) { keys.mouse_presses |= buttons; }
int fenn_mouse_presses() { return keys.mouse_presses; }
void fenn_take_mouse_presses() { keys.mouse_presses = 0; }

// Where a point of the window or page falls on a picture of w x h shown in r,
// and the key that turns the left button into the right: the same for every host.
void fenn_map_mouse(int px, int py, const fenn_rect& r, int w, int h, int* x, int* y) {
    int mx = 0, my = 0;
    if (r.w > 0 && r.h > 0) {
        mx = int(int64_t(px - r.x) * w / r.w);
        my = int(int64_t(py - r.y) * h / r.h);
    }
    if (x) *x = mx;
    if (y) *y = my;
}

int fenn_apply_rmb_key(int buttons, bool rmb_key_held) {
    if (rmb_key_held && (buttons & fenn_mouse_left)) return (buttons & ~fenn_mouse_left) | fenn_mouse_right;
    return buttons;
}

namespace {
// The scripted pointer, when one is set (fenn_set_mouse_override).
struct MouseOverride {
    bool on;
    int x, y, buttons;
};
MouseOverride mouse_override = {};
}  // namespace

void fenn_set_mouse_override(int x, int y, int buttons) {
    mouse_override = {true, x, y, buttons & (fenn_mouse_left | fenn_mouse_right | fenn_mouse_middle)};
}

void fenn_clear_mouse_override() { mouse_override = {}; }

bool fenn_mouse_override_read(int* x, int* y, int* buttons) {
    if (!mouse_override.on) return false;
    if (x) *x = mouse_override.x;
    if (y) *y = mouse_override.y;
    if (buttons) *buttons = mouse_override.buttons;
    return true;
}
