// The web build's fenn_joystick: the Gamepad API. A pad with the standard
// mapping reports its buttons in SDL's game-controller order (0 A, 1 B,
// 2 X, 3 Y, 4 back, 5 guide, 6 start, 7/8 sticks, 9/10 shoulders, 11-14
// d-pad), any other pad in its own order; validation as on the desktop.
#include <emscripten.h>

#include <algorithm>

#include "framework/fenn_joystick.h"
#include "framework/fenn_log.h"
#include "framework/fenn_platform.h"

namespace {

fenn_pad_validation validation[fenn_joystick_max];

// Fills axes[0..1] and returns button bits of pad i, or -1 when absent.
EM_JS(int, web_read_pad, (int i, int* axes), {
    if (typeof navigator === "undefined" || !navigator.getGamepads) return -1;
    var pads = navigator.getGamepads();
    var p = null;
    for (var k = 0, n = 0; k < pads.length; ++k) {
        if (!pads[k] || !pads[k].connected) continue;
        if (n++ == i) { p = pads[k]; break; }
    }
    if (!p) return -1;
    function axis(a) { var v = p.axes.length > a ? p.axes[a] : 0; return Math.max(-32768, Math.min(32767, Math.round(v * 32767))); }
    HEAP32[axes >> 2] = axis(0);
    HEAP32[(axes >> 2) + 1] = axis(1);
    var order = p.mapping == "standard" ? [0, 1, 2, 3, 8, 16, 9, 10, 11, 4, 5, 12, 13, 14, 15] : null;
    var bits = 0;
    for (var b = 0; b < 15; ++b) {
        var src = order ? order[b] : b;
        if (src < p.buttons.length && p.buttons[src].pressed) bits |= 1 << b;
    }
    return bits;
});

EM_JS(int, web_count_pads, (), {
    if (typeof navigator === "undefined" || !navigator.getGamepads) return 0;
    var pads = navigator.getGamepads(), n = 0;
    for (var k = 0; k < pads.length; ++k) if (pads[k] && pads[k].connected) ++n;
    return n;
});

}  // namespace

void fenn_joystick_init() {
    for (auto& v : validation) v = {};
}
void fenn_joystick_exit() {}
void fenn_joystick_rescan() { fenn_joystick_init(); }

int fenn_count_joysticks() { return fenn_platform_has_video() ? std::min(web_count_pads(), fenn_joystick_max) : 0; }

int fenn_get_joystick(int i, int* x, int* y, uint32_t* buttons) {
    int axes[2] = {0, 0};
    const int raw = (i >= 0 && i < fenn_joystick_max && fenn_platform_has_video()) ? web_read_pad(i, axes) : -1;
    if (x) *x = 0;
    if (y) *y = 0;
    if (buttons) *buttons = 0;
    if (raw < 0) return 0;
    if (x) *x = fenn_validate_axis(validation[i], 0, axes[0]);
    if (y) *y = fenn_validate_axis(validation[i], 1, axes[1]);
    if (buttons) *buttons = fenn_validate_buttons(validation[i], uint32_t(raw), i);
    return 1;
}

int fenn_get_joystick_axes(int i, int* axes, int max) {
    int x = 0, y = 0;
    if (max < 2 || !fenn_get_joystick(i, &x, &y, nullptr)) return 0;
    axes[0] = x;
    axes[1] = y;
    return 2;
}

int fenn_builtin_mapping_count() { return 0; }
const char* fenn_builtin_mapping(int) { return ""; }
int fenn_add_mappings_from_text(const char*, size_t) { return 0; }

uint32_t fenn_validate_buttons(fenn_pad_validation& v, uint32_t raw, int index) {
    v.buttons_ok |= ~raw;
    const uint32_t unvalidated = raw & ~v.buttons_ok;
    if (unvalidated && !v.warned) {
        fenn_debug("** a button not validated on gamepad %d\n", index);
        v.warned = 1;
    }
    return raw & v.buttons_ok;
}

int fenn_validate_axis(fenn_pad_validation& v, int axis, int value) {
    if (axis < 0 || axis >= 32) return 0;
    if (value > -fenn_axis_centre_zone && value < fenn_axis_centre_zone) v.axes_ok |= 1u << axis;
    return (v.axes_ok >> axis & 1) ? value : 0;
}
