#include "framework/fenn_joystick.h"

#include <SDL.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "framework/fenn_file.h"
#include "framework/fenn_log.h"
#include "framework/fenn_path.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_write.h"

namespace {

struct Device {
    SDL_GameController* controller = nullptr;  // when a mapping is known
    SDL_Joystick* joystick = nullptr;          // the raw device (owned only when controller is null)
    fenn_pad_validation validation{};
    int detached_logged = 0;
};

Device devices[fenn_joystick_max];
int device_count = 0;
bool ready = false;

constexpr size_t mapping_file_max = 1u << 20;
constexpr const char* user_file_text = "// add SDL2 game controller mappings to this file\n";

void close_all() {
    for (Device& d : devices) {
        if (d.controller) SDL_GameControllerClose(d.controller);
        else if (d.joystick) SDL_JoystickClose(d.joystick);
        d = Device{};
    }
    device_count = 0;
}

void log_counts(SDL_Joystick* j) {
    fenn_debug("Number of Axes: %d\n", SDL_JoystickNumAxes(j));
    fenn_debug("Number of Buttons: %d\n", SDL_JoystickNumButtons(j));
    fenn_debug("Number of Balls: %d\n", SDL_JoystickNumBalls(j));
}

void open_all() {
    close_all();
    int found = SDL_NumJoysticks();
    if (found < 0) found = 0;
    fenn_debug(">searching for joysticks\n");
    fenn_debug("found %d joysticks\n", found);
    for (int i = 0; i < found && device_count < fenn_joystick_max; ++i) {
        Device& d = devices[device_count];
        if (SDL_IsGameController(i) && (d.controller = SDL_GameControllerOpen(i))) {
            d.joystick = SDL_GameControllerGetJoystick(d.controller);
            const char* name = SDL_GameControllerName(d.controller);
            fenn_debug("Controller %d: %s\n", i, name ? name : "?");
            log_counts(d.joystick);
            char* mapping = SDL_GameControllerMapping(d.controller);
            fenn_debug("Mapping: %s\n", mapping ? mapping : "");
            SDL_free(mapping);
        } else if ((d.joystick = SDL_JoystickOpen(i))) {
            const char* name = SDL_JoystickName(d.joystick);
            fenn_debug("Unmapped Joystick %d: %s\n", i, name ? name : "?");
            log_counts(d.joystick);
        } else {
            continue;
        }
        ++device_count;
    }
    fenn_debug("<\n");
}

void read_mapping_file(const std::string& path) {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> f(fenn_fopen_regular(path.c_str()));
    if (!f) return;
    fenn_debug("Reading controller mappings: %s\n", path.c_str());
    std::vector<char> text(mapping_file_max);
    size_t got = std::fread(text.data(), 1, text.size(), f.get());
    fenn_add_mappings_from_text(text.data(), got);
}

bool attached(const Device& d) {
    if (d.controller) return SDL_GameControllerGetAttached(d.controller) == SDL_TRUE;
    return d.joystick && SDL_JoystickGetAttached(d.joystick) == SDL_TRUE;
}

Device* readable(int i) {
    if (!ready || i < 0 || i >= device_count) return nullptr;
    Device& d = devices[i];
    if (!attached(d)) {
        if (!d.detached_logged) fenn_debug("** could not read joystick %d (not attached)\n", i);
        d.detached_logged = 1;
        return nullptr;
    }
    return &d;
}

int raw_axis(const Device& d, int axis) {
    if (d.controller)
        return axis < SDL_CONTROLLER_AXIS_MAX ? SDL_GameControllerGetAxis(d.controller, SDL_GameControllerAxis(axis)) : 0;
    return SDL_JoystickGetAxis(d.joystick, axis);
}

}  // namespace

int fenn_add_mappings_from_text(const char* text, size_t len) {
    int added = 0;
    size_t pos = 0;
    while (text && pos < len) {
        size_t end = pos;
        while (end < len && text[end] != '\n') ++end;
        size_t a = pos, z = end;
        auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\0'; };
        while (a < z && blank(text[a])) ++a;
        while (z > a && blank(text[z - 1])) --z;
        pos = end + 1;
        if (a == z || text[a] == '/') continue;
        std::string line(text + a, z - a);
        if (line.find('\0') != std::string::npos) continue;
        int r = SDL_GameControllerAddMapping(line.c_str());
        if (r >= 0) ++added;
        if (r == 1) fenn_debug(" added controller mapping: %s\n", line.c_str());
        else if (r == 0) fenn_debug(" updated controller mapping: %s\n", line.c_str());
        else fenn_debug(" failed to add controller mapping: %s\n", line.c_str());
    }
    return added;
}

void fenn_joystick_init() {
    if (!(SDL_WasInit(SDL_INIT_GAMECONTROLLER) & SDL_INIT_GAMECONTROLLER)) return;
    for (int i = 0; i < fenn_builtin_mapping_count(); ++i) SDL_GameControllerAddMapping(fenn_builtin_mapping(i));
    read_mapping_file(fenn_prefix_with_program_path(fenn_controller_file));
    std::string user = fenn_prefix_with_appdata_path(fenn_controller_file);
    struct stat st;
    if (fenn_file_exists(user.c_str())) {
        read_mapping_file(user);
    } else if (::lstat(user.c_str(), &st) != 0 && errno == ENOENT) {
        // Only where nothing is: whatever else is there (a link, a FIFO) is left alone.
        fenn_write_file(user.c_str(), user_file_text, std::strlen(user_file_text));
    }
    ready = true;
    open_all();
}

void fenn_joystick_exit() {
    close_all();
    ready = false;
}

void fenn_joystick_rescan() {
    if (ready) open_all();
}

int fenn_count_joysticks() { return ready ? device_count : 0; }

int fenn_get_joystick(int i, int* x, int* y, uint32_t* buttons) {
    int ax = 0, ay = 0;
    uint32_t bits = 0;
    Device* d = readable(i);
    if (d) {
        ax = fenn_validate_axis(d->validation, 0, raw_axis(*d, 0));
        ay = fenn_validate_axis(d->validation, 1, raw_axis(*d, 1));
        uint32_t raw = 0;
        for (int b = 0; b < fenn_joystick_buttons; ++b) {
            int down = d->controller ? SDL_GameControllerGetButton(d->controller, SDL_GameControllerButton(b))
                                     : SDL_JoystickGetButton(d->joystick, b);
            if (down) raw |= 1u << b;
        }
        bits = fenn_validate_buttons(d->validation, raw, i);
    }
    if (x) *x = ax;
    if (y) *y = ay;
    if (buttons) *buttons = bits;
    return d ? 1 : 0;
}

int fenn_get_joystick_axes(int i, int* axes, int max) {
    Device* d = readable(i);
    if (!d || !axes || max <= 0) return 0;
    int n = d->controller ? int(SDL_CONTROLLER_AXIS_MAX) : SDL_JoystickNumAxes(d->joystick);
    if (n > max) n = max;
    if (n > fenn_joystick_axes_max) n = fenn_joystick_axes_max;
    for (int a = 0; a < n; ++a) axes[a] = fenn_validate_axis(d->validation, a, raw_axis(*d, a));
    return n < 0 ? 0 : n;
}

uint32_t fenn_validate_buttons(fenn_pad_validation& v, uint32_t raw, int index) {
    v.buttons_ok |= ~raw;
    uint32_t unvalidated = raw & ~v.buttons_ok;
    if (unvalidated && !v.warned) {
        int b = 0;
        while (!(unvalidated >> b & 1)) ++b;
        fenn_debug("** button %d not validated on joystick %d\n", b, index);
        v.warned = 1;
    }
    return raw & v.buttons_ok;
}

int fenn_validate_axis(fenn_pad_validation& v, int axis, int value) {
    if (axis < 0 || axis >= 32) return 0;
    if (value > -fenn_axis_centre_zone && value < fenn_axis_centre_zone) v.axes_ok |= 1u << axis;
    return (v.axes_ok >> axis & 1) ? value : 0;
}
