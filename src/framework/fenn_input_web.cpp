// The web build's fenn_input: the page reports the pointer already in
// back-page pixels (it knows how the canvas is scaled), key names come from
// a table of the scancodes a keyboard in a page can produce, and the
// clipboard is the page's copy of what was last copied or pasted.
#include <emscripten.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/fenn_config.h"
#include "framework/fenn_input.h"
#include "framework/fenn_keys.h"
#include "framework/fenn_platform.h"

namespace {

int page_x = 0, page_y = 0, page_buttons = 0;
std::string clipboard;

const char* scancode_name(int sc) {
    static char letter[2];
    if (sc >= 4 && sc <= 29) {
        letter[0] = char('A' + sc - 4);
        return letter;
    }
    if (sc >= 30 && sc <= 38) {
        letter[0] = char('1' + sc - 30);
        return letter;
    }
    if (sc >= 58 && sc <= 69) {
        static char f[4];
        std::snprintf(f, sizeof f, "F%d", sc - 57);
        return f;
    }
    switch (sc) {
    case 39: return "0";
    case 40: return "RETURN";
    case 41: return "ESCAPE";
    case 42: return "BACKSPACE";
    case 43: return "TAB";
    case 44: return "SPACE";
    case 45: return "-";
    case 46: return "=";
    case 47: return "[";
    case 48: return "]";
    case 49: return "\\";
    case 51: return ";";
    case 52: return "'";
    case 53: return "`";
    case 54: return ",";
    case 55: return ".";
    case 56: return "/";
    case 57: return "CAPSLOCK";
    case 73: return "INSERT";
    case 74: return "HOME";
    case 75: return "PAGEUP";
    case 76: return "DELETE";
    case 77: return "END";
    case 78: return "PAGEDOWN";
    case 79: return "RIGHT";
    case 80: return "LEFT";
    case 81: return "DOWN";
    case 82: return "UP";
    case 88: return "KEYPAD ENTER";
    case 224: return "LEFT CTRL";
    case 225: return "LEFT SHIFT";
    case 226: return "LEFT ALT";
    case 227: return "LEFT GUI";
    case 228: return "RIGHT CTRL";
    case 229: return "RIGHT SHIFT";
    case 230: return "RIGHT ALT";
    case 231: return "RIGHT GUI";
    default: return "?";
    }
}

EM_JS(void, web_copy_text, (const char* text), {
    if (typeof navigator !== "undefined" && navigator.clipboard)
        navigator.clipboard.writeText(UTF8ToString(text)).catch(function() {});
});

}  // namespace

extern "C" {
// The pointer in back-page pixels and its button bits (fenn_mouse_*).
EMSCRIPTEN_KEEPALIVE void fenn_web_pointer(int x, int y, int buttons) {
    page_x = x;
    page_y = y;
    page_buttons = buttons & (fenn_mouse_left | fenn_mouse_right | fenn_mouse_middle);
}
// Text the page was given by a paste.
EMSCRIPTEN_KEEPALIVE void fenn_web_paste(const char* utf8) { clipboard = utf8 ? utf8 : ""; }
}

void fenn_get_mouse(int* x, int* y, int* buttons) {
    if (fenn_mouse_override_read(x, y, buttons)) return;
    const bool page = fenn_platform_has_video();
    const int held = fenn_cfg.rmb_key > 0 && fenn_get_key_state(fenn_cfg.rmb_key) != 0;
    if (x) *x = page ? page_x : 0;
    if (y) *y = page ? page_y : 0;
    if (buttons) *buttons = page ? fenn_apply_rmb_key(page_buttons, held) : 0;
}

const char* fenn_get_key_name(int scancode) {
    if (scancode < 0 || scancode >= fenn_key_name_count) return "";
    return scancode_name(scancode);
}

std::string fenn_get_clipboard_text() { return fenn_platform_has_video() ? clipboard : std::string(); }

int fenn_set_clipboard_text(const char* text) {
    if (!fenn_platform_has_video()) return 1;
    clipboard = text ? text : "";
    web_copy_text(clipboard.c_str());
    return 0;
}
