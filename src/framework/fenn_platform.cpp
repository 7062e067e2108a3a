#include "framework/fenn_platform.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "framework/fenn_config.h"
#include "framework/fenn_input.h"
#include "framework/fenn_joystick.h"
#include "framework/fenn_keys.h"
#include "framework/fenn_log.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_utf8.h"
#include "framework/fenn_video.h"

namespace {

bool sdl_up = false;
bool video_up = false;
int app_active = 1;
int64_t became_active = 0;

bool held(int code) { return fenn_key_held(code); }

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
            if (held(fenn_key_ralt)) {
                fenn_set_key_state(fenn_key_lctrl, 0);
                fenn_set_key_state(fenn_key_rctrl, 0);
            }
            if (take_shortcut(e.key)) {
                appended = true;
                break;
            }
            int c = character_for_key(e.key, now);
            if (c) { fenn_push_key(c); appended = true; }
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
                appended = fenn_push_typed_text(e.text.text, strnlen(e.text.text, sizeof e.text.text)) || appended;
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
        fenn_push_key(emulated[i]);
        appended = true;
    }
    if (!appended) fenn_keys_mark_fresh_press();
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
    fenn_keys_reset();
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

int fenn_is_app_active() { return app_active; }
