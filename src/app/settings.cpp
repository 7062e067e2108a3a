// The console layer's settings: its config.txt keys (one table, read,
// clamped and written by the framework's settings file) and its command line.
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "app/app.h"
#include "browser/browse_list.h"
#include "capture/capture_png.h"
#include "framework/fenn_config.h"
#include "framework/fenn_settings.h"
#include "framework/fenn_log.h"

vexel_app app;
char app_auto_load_file[app_path_max + 1];

namespace {

#define FIELD(f) offsetof(vexel_app, f)

// The console's keys of config.txt, in the order they are written.
const fenn_setting console_settings[] = {
    {"root_path", fenn_setting_folder, FIELD(root_path), int(sizeof(vexel_app::root_path)), 0, 0, 0, 0,
     "Location of vexel's root folder"},
    {"cdata_path", fenn_setting_folder, FIELD(cdata_path), int(sizeof(vexel_app::cdata_path)), 0, 0, 0, 0,
     "Location of cartridge save data"},
    {"bbs_host", fenn_setting_text, FIELD(bbs_host), int(sizeof(vexel_app::bbs_host)), 0, 0, 0, 0,
     "Address of the cartridge board: http://, https:// or file://FOLDER. Empty: the board that comes with vexel"},
    {"joystick_index", fenn_setting_ints, FIELD(joystick_index), 1, 0, 0, 7, 0,
     "Specify which player index joystick control begins at (0..7)"},
    {"button_keys", fenn_setting_ints, FIELD(button_keys), app_button_keys, 0, 0, 511, 0,
     "Custom keyboard scancodes for buttons. player0 0..6, player1 0..5"},
    {"live_notes", fenn_setting_ints, FIELD(live_notes), 1, 0, INT_MIN, INT_MAX, fenn_setting_kept,
     "Play notes as they are plotted in frequency mode"},
    {"cursor_snap", fenn_setting_ints, FIELD(cursor_snap), 1, 0, INT_MIN, INT_MAX, fenn_setting_kept,
     "iff 1: when using keyboard cursor, snap to closest pixel / map cel"},
    {"gif_len", fenn_setting_ints, FIELD(gif_len), 1, 8, 1, 120, 0, "maximum length of gif in seconds (1..120)"},
    {"gui_theme", fenn_setting_ints, FIELD(gui_theme), 1, 0, 0, 1, 0, "0 classic  1 dark blue background in code editor"},
    {"screenshot_scale", fenn_setting_ints, FIELD(screenshot_scale), 1, 3, capture_scale_min, capture_scale_max, 0,
     "scale of screenshots: 2 means 256x256"},
    {"gif_scale", fenn_setting_ints, FIELD(gif_scale), 1, 2, capture_scale_min, capture_scale_max, 0,
     "scale of gifs: 2 means 256x256"},
    {"shift_glyphs", fenn_setting_ints, FIELD(shift_glyphs), 1, 1, INT_MIN, INT_MAX, fenn_setting_kept,
     "when 1 can enter glyphs using shift-A..Z"},
    {"show_backup_messages", fenn_setting_ints, FIELD(show_backup_messages), 1, 1, 0, 1, 0,
     "0 for off. 1 to notify whenever unsaved changes are backed up"},
    {"host_framerate_control", fenn_setting_ints, FIELD(host_framerate_control), 1, 1, 0, 1, 0,
     "0 for off. 1 to allow control of a cart's framerate due to host machine's cpu capacity (recommended)"},
};

#undef FIELD

const fenn_settings_group console_group{console_settings, std::size(console_settings), &app};

char config_preamble[64];

}  // namespace

void settings_set_defaults() { fenn_settings_default(console_group); }

void settings_use_table() {
    std::snprintf(config_preamble, sizeof config_preamble, "version %s\n\n", vexel_version_string);
    fenn_config_set_console_settings(&console_group, config_preamble);
}

namespace {
// Options of the console parser that take no value. The framework's
// -headless is listed so that it does not swallow the cartridge name after it.
bool is_flag_option(const char* a) {
    static const char* const flags[] = {"-browse", "-run", "-x", "-exec", "-fast", "-screen-sha1", "-headless", "-h", "-help", "--help"};
    for (const char* f : flags)
        if (!std::strcmp(a, f)) return true;
    return false;
}

bool is_console_option(const char* a) {
    static const char* const options[] = {"-p", "-joystick", "-gif_len", "-gif_scale", "-screenshot_scale",
                                          "-gui_theme", "-gpio_base", "-glitch_test", "-frames",
                                          "-screenshot", "-input", "-keys", "-wav", "-seed", "-bbs"};
    for (const char* o : options)
        if (!std::strcmp(a, o)) return true;
    return is_flag_option(a);
}

void set_cart_name(const char* name) {
    std::snprintf(app_auto_load_file, sizeof app_auto_load_file, "%s", name);
    app.cart_from_command_line = 1;
    fenn_debug("set app_auto_load_file %s\n", app_auto_load_file);
}

int parse_int(const char* value, int32_t& field) {
    int v;
    if (value && std::sscanf(value, "%d", &v) == 1) { field = v; return 1; }
    return 0;
}
}  // namespace

void settings_parse_arguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (fenn_argument_ends_options(a)) break;
        if (a[0] != '-') {
            set_cart_name(a);
            continue;
        }
        // -run and -x are flags: the cartridge is the argument that is not
        // an option, wherever it stands.
        if (!std::strcmp(a, "-browse")) { app.browser_flag = 1; continue; }
        if (!std::strcmp(a, "-run")) { app.run_flag = 1; continue; }
        if (!std::strcmp(a, "-x") || !std::strcmp(a, "-exec")) { app.exec_mode = 1; continue; }
        if (!std::strcmp(a, "-fast")) { app.fast = 1; continue; }
        if (!std::strcmp(a, "-screen-sha1")) { app.screen_sha1 = 1; continue; }
        if (is_flag_option(a)) continue;
        if (!is_console_option(a) && !fenn_is_framework_option(a))
            std::fprintf(stderr, "vexel: ignoring unknown option %s\n", a);
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value) ++i;
        if (!std::strcmp(a, "-p")) {
            if (value) std::snprintf(app.run_params, sizeof app.run_params, "%s", value);
        } else if (!std::strcmp(a, "-joystick")) {
            parse_int(value, app.joystick_index);
        } else if (!std::strcmp(a, "-gif_len")) {
            parse_int(value, app.gif_len);
        } else if (!std::strcmp(a, "-gif_scale")) {
            parse_int(value, app.gif_scale);
        } else if (!std::strcmp(a, "-screenshot_scale")) {
            parse_int(value, app.screenshot_scale);
        } else if (!std::strcmp(a, "-gui_theme")) {
            parse_int(value, app.gui_theme);
        } else if (!std::strcmp(a, "-gpio_base")) {
            parse_int(value, app.gpio_base);
        } else if (!std::strcmp(a, "-wav")) {
            if (value) std::snprintf(app.wav_file, sizeof app.wav_file, "%s", value);
        } else if (!std::strcmp(a, "-bbs")) {
            if (value && browse_host_is_valid(value))
                std::snprintf(app.bbs_option, sizeof app.bbs_option, "%s", value);
            else
                std::fprintf(stderr, "vexel: ignoring -bbs %s (not an http://, https:// or file:// address)\n",
                             value ? value : "");
        } else if (!std::strcmp(a, "-frames")) {
            parse_int(value, app.frame_limit);
        } else if (!std::strcmp(a, "-screenshot")) {
            if (value) std::snprintf(app.screenshot_file, sizeof app.screenshot_file, "%s", value);
        } else if (!std::strcmp(a, "-input")) {
            if (value) std::snprintf(app.input_file, sizeof app.input_file, "%s", value);
        } else if (!std::strcmp(a, "-keys")) {
            if (value) std::snprintf(app.keys_file, sizeof app.keys_file, "%s", value);
        } else if (!std::strcmp(a, "-glitch_test")) {
            parse_int(value, app.glitch_test);
        } else if (!std::strcmp(a, "-seed")) {
            // Any whole number; a negative one wraps to the same 32 bits.
            long long seed = 0;
            char end = 0;
            if (value && std::sscanf(value, "%lld%c", &seed, &end) == 1) {
                app.seeded = 1;
                app.seed = uint32_t(seed);
            } else {
                std::fprintf(stderr, "vexel: ignoring -seed %s (not a whole number)\n", value ? value : "");
            }
        }
        // Anything else (the framework's options among them) is skipped with its value.
    }
}
