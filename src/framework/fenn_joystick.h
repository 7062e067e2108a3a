// fenn_joystick: game controllers — the mapping database (our built-in table
// plus the user's "sdl_controllers.txt"), opening up to fenn_joystick_max
// devices, and reading them with validation.
//
// A device with a known mapping is opened as an SDL game controller (stick
// axes leftx/lefty, buttons in SDL's game-controller order: 0 A, 1 B, 2 X,
// 3 Y, 6 Start); any other as a raw joystick (axes 0 and 1, buttons in device
// order). Validation: a button counts only after it has once been seen
// released, and a stick axis only after it has once been seen near its
// centre, so a button held or a stick resting off-centre when the device
// appears never reads as a press. fenn_joystick_init and _exit are declared in
// fenn_platform.h with the other start-up steps.
#pragma once
#include <cstdint>
#include <string>

constexpr int fenn_joystick_max = 8;
constexpr int fenn_joystick_buttons = 15;
constexpr int fenn_joystick_axes_max = 8;
constexpr int fenn_axis_centre_zone = 8192;   // |value| below this counts as centred
constexpr const char* fenn_controller_file = "sdl_controllers.txt";

int fenn_count_joysticks();
// Stick x, y (-32768..32767) and validated button bits of controller i.
// Returns 0 (all zero) when there is no such controller or it is detached.
int fenn_get_joystick(int i, int* x, int* y, uint32_t* buttons);
// Up to `max` validated axes of controller i; returns how many were written.
int fenn_get_joystick_axes(int i, int* axes, int max);
// Closes and reopens every device (called when one is plugged in or out).
void fenn_joystick_rescan();

// The built-in mappings, in SDL's game-controller database format.
int fenn_builtin_mapping_count();
const char* fenn_builtin_mapping(int i);

// Adds mappings from text (one per line; blank lines and lines starting with
// '/' skipped), logging each result. Returns how many were added or updated.
int fenn_add_mappings_from_text(const char* text, size_t len);

// Validation of one device, separated from SDL so that it can be tested.
struct fenn_pad_validation {
    uint32_t buttons_ok;   // bit i: button i has been seen released
    uint32_t axes_ok;      // bit i: axis i has been seen centred
    int warned;            // the "not validated" line was written
};
// Filters raw button bits of device `index`; logs the first unvalidated press.
uint32_t fenn_validate_buttons(fenn_pad_validation& v, uint32_t raw, int index);
// An axis value, or 0 until the axis has been seen centred.
int fenn_validate_axis(fenn_pad_validation& v, int axis, int value);
