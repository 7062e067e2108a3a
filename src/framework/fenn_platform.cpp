#include "framework/fenn_platform.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "framework/fenn_config.h"
#include "framework/fenn_input.h"
#include "framework/fenn_joystick.h"
#include "framework/fenn_log.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_utf8.h"
#include "framework/fenn_video.h"

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
bool sdl_up = false;
bool video_up = false;
int app_active = 1;
int64_t became_active = 0;
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

bool held(int code) { return code >= 0 && code < fenn_key_count && keys.state[code] != 0; }

// What a key press means as a typed character, or 0 for none.
int character_for_key(const SDL_KeyboardEvent& k, int64_t now) {
    SDL_Scancode sc = k.keysym.scancode;
    bool alt = held(fenn_key_lalt) || held(fenn_key_ralt);
    bool ctrl = held(fenn_key_lctrl) || held(fenn_key_rctrl);
    bool shift = held(fenn_key_lshift) || held(fenn_key_rshift);
    switch (sc) {
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return 13;
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_ESCAPE: return 27;
    case SDL_SCANCODE_TAB: return (!alt && now - became_active > 9) ? 9 : 0;
    default: break;
    }
    if (ctrl && !alt && !shift) {
        if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'a' + (sc - SDL_SCANCODE_A);
        if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + (sc - SDL_SCANCODE_1);
        if (sc == SDL_SCANCODE_0) return '0';
    }
    return 0;
}

// Printable characters derived from key states with a US layout, for hosts
// whose text input is unreliable (emulate_textinput).
int emulated_character(SDL_Scancode sc, bool shift) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return (shift ? 'A' : 'a') + (sc - SDL_SCANCODE_A);
    if (sc == SDL_SCANCODE_SPACE) return ' ';
    static const char digits[] = "1234567890", shifted_digits[] = "!@#$%^&*()";
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_0) {
        int i = sc - SDL_SCANCODE_1;
        return shift ? shifted_digits[i] : digits[i];
    }
    struct Pair { SDL_Scancode sc; char plain, shifted; };
    static const Pair pairs[] = {
        {SDL_SCANCODE_MINUS, '-', '_'}, {SDL_SCANCODE_EQUALS, '=', '+'}, {SDL_SCANCODE_GRAVE, '`', '~'},
        {SDL_SCANCODE_LEFTBRACKET, '[', '{'}, {SDL_SCANCODE_RIGHTBRACKET, ']', '}'},
        {SDL_SCANCODE_SEMICOLON, ';', ':'}, {SDL_SCANCODE_APOSTROPHE, '\'', '"'},
        {SDL_SCANCODE_BACKSLASH, '\\', '|'}, {SDL_SCANCODE_COMMA, ',', '<'}, {SDL_SCANCODE_PERIOD, '.', '>'},
        {SDL_SCANCODE_SLASH, '/', '?'},
    };
    for (const Pair& p : pairs)
        if (p.sc == sc) return shift ? p.shifted : p.plain;
    return 0;
}

// The console's global shortcuts, taken from the key event itself: one
// press is one key event, whereas its character may arrive twice (as the
// key and again as text input) or not at all (F11). Returns whether the
// event was a shortcut (auto-repeats of one included); it then types
// nothing.
bool take_shortcut(const SDL_KeyboardEvent& k) {
    const SDL_Scancode sc = k.keysym.scancode;
    const bool alt = held(fenn_key_lalt) || held(fenn_key_ralt);
    const bool ctrl = held(fenn_key_lctrl) || held(fenn_key_rctrl);
    const bool shift = held(fenn_key_lshift) || held(fenn_key_rshift);
    const bool fresh = k.repeat == 0;
    if (sc == SDL_SCANCODE_F11 || (alt && (sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER))) {
        if (fresh) fenn_toggle_fullscreen();
        fenn_block_key(sc);
        return true;
    }
    if (ctrl && !alt && !shift && sc == SDL_SCANCODE_1) {
        if (fresh) fenn_cfg.show_fps = !fenn_cfg.show_fps;
        return true;
    }
    if ((alt && sc == SDL_SCANCODE_F4) || (ctrl && !alt && sc == SDL_SCANCODE_Q)) {
        fenn_quit = 1;
        return true;
    }
    return false;
}

void handle_window_event(const SDL_WindowEvent& w) {
    switch (w.event) {
    case SDL_WINDOWEVENT_HIDDEN:
    case SDL_WINDOWEVENT_MINIMIZED:
    case SDL_WINDOWEVENT_FOCUS_LOST: app_active = 0; break;
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_MAXIMIZED:
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        app_active = 1;
        became_active = fenn_get_time();
        break;
    case SDL_WINDOWEVENT_CLOSE:
        fenn_quit = 1;
        fenn_debug("window closed (%d)\n", int(w.event));
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED: fenn_video_window_resized(w.data1, w.data2); break;
    default: break;
    }
}

void read_events(int64_t now) {
    SDL_Event e;
    bool appended = false;
    int emulated[64];
    int emulated_count = 0;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT: fenn_quit = 1; break;
        case SDL_WINDOWEVENT: handle_window_event(e.window); break;
        case SDL_KEYDOWN: {
            int sc = e.key.keysym.scancode;
            fenn_keys_key_down(sc, now);
            if (held(fenn_key_ralt)) keys.state[fenn_key_lctrl] = keys.state[fenn_key_rctrl] = 0;
            if (take_shortcut(e.key)) {
                appended = true;
                break;
            }
            int c = character_for_key(e.key, now);
            if (c) { push_typed(c); appended = true; }
            if (fenn_cfg.emulate_textinput && !held(fenn_key_lctrl) && !held(fenn_key_rctrl)) {
                // Shift as of this event: it may have gone down earlier in the same pass.
                bool shift = held(fenn_key_lshift) || held(fenn_key_rshift);
                int t = emulated_character(e.key.keysym.scancode, shift);
                if (t && emulated_count < 64) emulated[emulated_count++] = t;
            }
            break;
        }
        case SDL_TEXTINPUT:
            // With Ctrl held the key event has typed its character already
            // (Ctrl+C, Ctrl+6, ...); some hosts send the text as well.
            if (!fenn_cfg.emulate_textinput && e.text.text[0] && !held(fenn_key_lctrl) && !held(fenn_key_rctrl))
                appended = push_typed_text(e.text.text, strnlen(e.text.text, sizeof e.text.text)) || appended;
            break;
        case SDL_MOUSEWHEEL: fenn_add_mouse_wheel(e.wheel.x, e.wheel.y); break;
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.button == SDL_BUTTON_LEFT) fenn_note_mouse_press(fenn_mouse_left);
            else if (e.button.button == SDL_BUTTON_RIGHT) fenn_note_mouse_press(fenn_mouse_right);
            else if (e.button.button == SDL_BUTTON_MIDDLE) fenn_note_mouse_press(fenn_mouse_middle);
            break;
        case SDL_JOYDEVICEADDED:
        case SDL_JOYDEVICEREMOVED: fenn_joystick_rescan(); break;
        default: break;
        }
    }
    for (int i = 0; i < emulated_count; ++i) {
        push_typed(emulated[i]);
        appended = true;
    }
    if (!appended) {
        for (int i = 0; i < fenn_key_count; ++i) {
            if (keys.state[i] == 3) {
                push_typed(-1);
                break;
            }
        }
    }
}

void snapshot_keys(int64_t now) {
    int n = 0;
    const uint8_t* sdl = SDL_GetKeyboardState(&n);
    n = std::min(n, fenn_key_count);
    uint8_t host[fenn_key_count] = {};
    for (int i = 0; i < n; ++i) host[i] = sdl[i] ? 1 : 0;
    SDL_Keymod mod = SDL_GetModState();
    if (mod & KMOD_LCTRL) host[fenn_key_lctrl] = 1;
    if (mod & KMOD_RCTRL) host[fenn_key_rctrl] = 1;
    if (mod & KMOD_LALT) host[fenn_key_lalt] = 1;
    if (mod & KMOD_RALT) host[fenn_key_ralt] = 1;
    if (mod & KMOD_LGUI) host[fenn_key_lsystem] = 1;
    if (mod & KMOD_RGUI) host[fenn_key_rsystem] = 1;
    fenn_keys_snapshot(host, fenn_key_count, now);
}

}  // namespace

bool fenn_platform_has_video() { return video_up; }

void fenn_system_init() {
    if (fenn_cfg.headless) {
        // No window and no input devices; audio may still be opened later.
        sdl_up = SDL_Init(SDL_INIT_TIMER) == 0;
        return;
    }
    Uint32 flags = SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK | SDL_INIT_HAPTIC |
                   SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS;
    if (SDL_Init(flags) != 0) {
        // Haptics and audio are missing on many hosts; try again without them.
        if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_JOYSTICK |
                     SDL_INIT_GAMECONTROLLER) != 0) {
            fenn_debug("SDL_Init: %s\n", SDL_GetError());
            fenn_fatal_error("Unable to initialize SDL");
        }
    }
    sdl_up = true;
    video_up = true;
    SDL_version compiled, linked;
    SDL_VERSION(&compiled);
    SDL_GetVersion(&linked);
    fenn_debug("Compiled against SDL version: %d.%d.%d\n", compiled.major, compiled.minor, compiled.patch);
    fenn_debug("Linked against SDL version:   %d.%d.%d\n", linked.major, linked.minor, linked.patch);
    fenn_video_log_drivers();
}

void fenn_system_exit() {
    if (sdl_up) SDL_Quit();
    sdl_up = video_up = false;
}

void fenn_keys_init() {
    std::memset(&keys, 0, sizeof keys);
    if (video_up) SDL_StartTextInput();
}

void fenn_handle_system_messages() {
    int sleep = app_active ? fenn_cfg.foreground_sleep_ms : fenn_cfg.background_sleep_ms;
    if (sleep > 0) fenn_delay(std::min(sleep, 200));
    if (!video_up) return;
    SDL_ShowCursor(SDL_DISABLE);
    int64_t now = fenn_get_time();
    snapshot_keys(now);
    read_events(now);
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
    keys.chorded[code] = !is_modifier && !held(fenn_key_ralt) &&
                         (held(fenn_key_lctrl) || held(fenn_key_rctrl) || held(fenn_key_lsystem) ||
                          held(fenn_key_rsystem));
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

int fenn_is_app_active() { return app_active; }

void fenn_note_mouse_press(int buttons) { keys.mouse_presses |= buttons; }
int fenn_mouse_presses() { return keys.mouse_presses; }
void fenn_take_mouse_presses() { keys.mouse_presses = 0; }
