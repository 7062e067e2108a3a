// The web build's host half of fenn_platform: the page's keyboard and
// window state arrive through the functions the page calls (fenn_web_*,
// exported to JavaScript) and are queued, so that each input pass takes
// them in the same order as the desktop's SDL pass does: first the key
// table snapshot, then the events, then the typed characters.
#include <emscripten.h>

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "framework/fenn_config.h"
#include "framework/fenn_keys.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_utf8.h"
#include "framework/fenn_video.h"

namespace {

constexpr size_t event_queue_max = 256;   // a stalled page drops input beyond this

struct KeyEvent {
    int code;       // scancode, or -1 for text
    bool down;
    bool repeat;
    std::string text;
};

bool video_up = false;
int app_active = 1;
uint8_t host_keys[fenn_key_count];
std::vector<KeyEvent> queue;

bool held(int code) { return fenn_key_held(code); }

int character_for_key(int sc) {
    const bool alt = held(fenn_key_lalt) || held(fenn_key_ralt);
    const bool ctrl = held(fenn_key_lctrl) || held(fenn_key_rctrl);
    const bool shift = held(fenn_key_lshift) || held(fenn_key_rshift);
    switch (sc) {
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return 13;
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_ESCAPE: return 27;
    case SDL_SCANCODE_TAB: return alt ? 0 : 9;
    default: break;
    }
    if (ctrl && !alt && !shift) {
        if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'a' + (sc - SDL_SCANCODE_A);
        if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + (sc - SDL_SCANCODE_1);
        if (sc == SDL_SCANCODE_0) return '0';
    }
    return 0;
}

EM_JS(void, web_toggle_fullscreen, (), {
    if (typeof document === "undefined") return;
    if (document.fullscreenElement) document.exitFullscreen();
    else if (Module.vexelFullscreenTarget) Module.vexelFullscreenTarget().requestFullscreen();
});

// The shortcuts the desktop takes from key events that still mean something
// in a page: F11 / Alt+Enter for fullscreen and Ctrl+1 for the frame rate.
// Quitting is the page's to do.
bool take_shortcut(int sc, bool repeat) {
    const bool alt = held(fenn_key_lalt) || held(fenn_key_ralt);
    const bool ctrl = held(fenn_key_lctrl) || held(fenn_key_rctrl);
    const bool shift = held(fenn_key_lshift) || held(fenn_key_rshift);
    if (sc == SDL_SCANCODE_F11 || (alt && (sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER))) {
        if (!repeat) web_toggle_fullscreen();
        fenn_block_key(sc);
        return true;
    }
    if (ctrl && !alt && !shift && sc == SDL_SCANCODE_1) {
        if (!repeat) fenn_cfg.show_fps = !fenn_cfg.show_fps;
        return true;
    }
    return false;
}

void read_events(int64_t now) {
    bool appended = false;
    for (const KeyEvent& e : queue) {
        if (e.code < 0) {
            if (!held(fenn_key_lctrl) && !held(fenn_key_rctrl))
                appended = fenn_push_typed_text(e.text.data(), e.text.size()) || appended;
            continue;
        }
        if (e.code >= fenn_key_count) continue;
        host_keys[e.code] = e.down ? 1 : 0;
        if (!e.down) continue;
        fenn_keys_key_down(e.code, now);
        if (held(fenn_key_ralt)) {
            fenn_set_key_state(fenn_key_lctrl, 0);
            fenn_set_key_state(fenn_key_rctrl, 0);
        }
        if (take_shortcut(e.code, e.repeat)) {
            appended = true;
            continue;
        }
        if (const int c = character_for_key(e.code)) {
            fenn_push_key(c);
            appended = true;
        }
    }
    queue.clear();
    if (!appended) fenn_keys_mark_fresh_press();
}

}  // namespace

extern "C" {

// A key went down or up in the page (code: the scancode the page mapped
// from KeyboardEvent.code).
EMSCRIPTEN_KEEPALIVE void fenn_web_key(int code, int down, int repeat) {
    if (queue.size() < event_queue_max) queue.push_back({code, down != 0, repeat != 0, {}});
}

// Text the page typed (UTF-8), as a desktop's text input event.
EMSCRIPTEN_KEEPALIVE void fenn_web_text(const char* utf8) {
    if (utf8 && queue.size() < event_queue_max) queue.push_back({-1, true, false, std::string(utf8)});
}

// The page gained or lost focus: every key reads as released when it is lost.
EMSCRIPTEN_KEEPALIVE void fenn_web_focus(int active) {
    app_active = active ? 1 : 0;
    if (!active) {
        std::memset(host_keys, 0, sizeof host_keys);
        queue.clear();
    }
}

}  // extern "C"

void SDL_Delay(uint32_t ms) { fenn_delay(int(ms)); }

bool fenn_platform_has_video() { return video_up; }

void fenn_system_init() { video_up = !fenn_cfg.headless; }

void fenn_system_exit() { video_up = false; }

void fenn_keys_init() {
    fenn_keys_reset();
    std::memset(host_keys, 0, sizeof host_keys);
    queue.clear();
}

void fenn_handle_system_messages() {
    // The page's own frame pacing (requestAnimationFrame) does the waiting;
    // a run without a page (the node runner) sleeps as the desktop does.
    if (!video_up) {
        const int sleep = app_active ? fenn_cfg.foreground_sleep_ms : fenn_cfg.background_sleep_ms;
        if (sleep > 0) fenn_delay(std::min(sleep, 200));
        return;
    }
    const int64_t now = fenn_get_time();
    fenn_keys_snapshot(host_keys, fenn_key_count, now);
    read_events(now);
}

int fenn_is_app_active() { return app_active; }
