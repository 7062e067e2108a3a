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
#include "runtime/api.h"

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

// ---------------------------------------------------------------- options

enum option_kind : uint8_t {
    option_flag,       // no value: sets the int32 field to 1
    option_int,        // a whole number for the int32 field, kept to [min, max]
    option_text,       // a value copied into the char field
    option_seed,       // any whole number, wrapped to 32 bits; sets `seeded`
    option_board,      // a board address (http://, https:// or file://)
    option_framework,  // read by the framework's parser before this one; takes a value
    option_framework_flag,  // the same without a value
    option_help,       // -h: handled before start-up
    option_list_api,   // the script functions, one "name|arguments" line each (the manual's test)
};

constexpr int option_no_range = INT_MIN;

// One command-line option. `synopsis` and `help` make its lines of -h (a
// row without a synopsis is not listed; one synopsis may name the next
// row's option too, as "-width W -height H"). An int option with a
// `setting` takes that config.txt row's range; otherwise [min, max].
struct console_option {
    const char* name;
    const char* alias;     // another spelling, or null
    option_kind kind;
    size_t field;          // offset in vexel_app (unused by framework rows)
    int size;              // char field: its size
    const char* setting;   // an int option's config.txt row, or null
    int min, max;
    const char* synopsis;
    const char* help;      // lines after the first are indented to the help column
};

#define FIELD(f) offsetof(vexel_app, f), int(sizeof(vexel_app::f))

// In the order -h lists them.
const console_option console_options[] = {
    {"-run", nullptr, option_flag, FIELD(run_flag), nullptr, 0, 0, "-run", "run the named cartridge after booting"},
    {"-x", "-exec", option_flag, FIELD(exec_mode), nullptr, 0, 0, "-x, -exec",
     "run the named cartridge headless, printing its console\n"
     "output, and quit when it stops (exit status 0 when it\n"
     "ends, 1 when it cannot be loaded, 2 after an error;\n"
     "130 after Ctrl+C, 143 after SIGTERM)"},
    {"-export", nullptr, option_text, FIELD(export_file), nullptr, 0, 0, "-export FILE.html",
     "write the named cartridge as one web page that plays it\n"
     "(the web player from make web inside) and quit"},
    {"-skip-boot", nullptr, option_flag, FIELD(skip_boot), nullptr, 0, 0, "-skip-boot",
     "start at the console without the boot; with -run the\n"
     "cartridge runs at once, frame for frame as with -x"},
    {"-browse", nullptr, option_flag, FIELD(browser_flag), nullptr, 0, 0, "-browse", "start in the cartridge browser"},
    {"-p", nullptr, option_text, FIELD(run_params), nullptr, 0, 0, "-p PARAMS", "run parameters for the program"},
    {"-frames", nullptr, option_int, FIELD(frame_limit), nullptr, 0, INT_MAX, "-frames N",
     "quit after N machine frames"},
    {"-fast", nullptr, option_flag, FIELD(fast), nullptr, 0, 0, "-fast",
     "run machine frames as fast as possible (no waiting)"},
    {"-screen-sha1", nullptr, option_flag, FIELD(screen_sha1), nullptr, 0, 0, "-screen-sha1",
     "print \"screen sha1 HASH\" at exit: the SHA-1 of screen\n"
     "memory (0x6000-0x7fff), to compare runs across builds"},
    {"-wav", nullptr, option_text, FIELD(wav_file), nullptr, 0, 0, "-wav FILE",
     "record the sound to FILE (22050 Hz mono 16-bit WAV)"},
    {"-screenshot", nullptr, option_text, FIELD(screenshot_file), nullptr, 0, 0, "-screenshot FILE",
     "save a picture of the screen to FILE when quitting (exit\n"
     "status 1 when it cannot be written)"},
    {"-input", nullptr, option_text, FIELD(input_file), nullptr, 0, 0, "-input FILE",
     "take the buttons from FILE, one line per machine frame:\n"
     "a decimal number, bits 0-7 player 0's held buttons and\n"
     "bits 8-15 player 1's; nothing is held after the last line"},
    {"-keys", nullptr, option_text, FIELD(keys_file), nullptr, 0, 0, "-keys FILE",
     "play FILE as keys and mouse, one command a machine frame\n"
     "once the boot is over: type TEXT, key NAME (key ctrl+s,\n"
     "key alt+right, key escape), mouse X Y, down [right],\n"
     "up [right], click X Y [right], wheel N, wait N; blank\n"
     "lines and # comments are skipped (see vexel.txt)"},
    {"-seed", nullptr, option_seed, FIELD(seed), nullptr, 0, 0, "-seed N",
     "start every random generator from N, so that runs with\n"
     "the same cartridge, seed and input repeat exactly"},
    {"-headless", nullptr, option_framework_flag, 0, 0, nullptr, 0, 0, "-headless", "no window"},
    {"-home", nullptr, option_framework, 0, 0, nullptr, 0, 0, "-home FOLDER", "data folder (default ~/.brindle/vexel/)"},
    {"-desktop", nullptr, option_framework, 0, 0, nullptr, 0, 0, "-desktop FOLDER",
     "where screenshots and GIFs go (default ~/Desktop)"},
    {"-timeout", nullptr, option_framework, 0, 0, nullptr, 0, 0, "-timeout S",
     "download timeout in seconds, 1..240 (default 30)"},
    {"-bbs", nullptr, option_board, FIELD(bbs_option), nullptr, 0, 0, "-bbs URL",
     "the cartridge board: http://HOST[:PORT], https://... or\n"
     "file:///FOLDER of a built board (default: the board\n"
     "that comes with vexel, read from disk)"},
    {"-windowed", nullptr, option_framework, 0, 0, nullptr, 0, 0, "-windowed 0|1", "start in a window (1, the default) or fullscreen (0)"},
    {"-width", nullptr, option_framework, 0, 0, nullptr, 0, 0, "-width W -height H", "window size"},
    {"-height", nullptr, option_framework, 0, 0, nullptr, 0, 0, nullptr, nullptr},
    {"-pixel_perfect", nullptr, option_framework, 0, 0, nullptr, 0, 0, "-pixel_perfect 0|1",
     "scale by whole multiples only"},
    {"-sound", nullptr, option_framework, 0, 0, nullptr, 0, 0, "-sound N -music N", "volumes, 0..256"},
    {"-music", nullptr, option_framework, 0, 0, nullptr, 0, 0, nullptr, nullptr},
    {"-show_fps", nullptr, option_framework, 0, 0, nullptr, 0, 0, "-show_fps 1", "draw the frame rate"},
    {"-h", "-help", option_help, 0, 0, nullptr, 0, 0, "-h", "this help"},
    // Not listed: settings for one run, and what tests and tools use.
    {"--help", nullptr, option_help, 0, 0, nullptr, 0, 0, nullptr, nullptr},
    {"-joystick", nullptr, option_int, FIELD(joystick_index), "joystick_index", 0, 0, nullptr, nullptr},
    {"-gif_len", nullptr, option_int, FIELD(gif_len), "gif_len", 0, 0, nullptr, nullptr},
    {"-gif_scale", nullptr, option_int, FIELD(gif_scale), "gif_scale", 0, 0, nullptr, nullptr},
    {"-screenshot_scale", nullptr, option_int, FIELD(screenshot_scale), "screenshot_scale", 0, 0, nullptr, nullptr},
    {"-gui_theme", nullptr, option_int, FIELD(gui_theme), "gui_theme", 0, 0, nullptr, nullptr},
    {"-gpio_base", nullptr, option_int, FIELD(gpio_base), nullptr, INT_MIN + 1, INT_MAX, nullptr, nullptr},
    {"-glitch_test", nullptr, option_int, FIELD(glitch_test), nullptr, 0, INT_MAX, nullptr, nullptr},
    {"-list-api", nullptr, option_list_api, 0, 0, nullptr, 0, 0, nullptr, nullptr},
};

#undef FIELD

constexpr int option_help_column = 22;  // where -h starts an option's help text

const console_option* find_option(const char* a) {
    for (const console_option& o : console_options)
        if (!std::strcmp(a, o.name) || (o.alias && !std::strcmp(a, o.alias))) return &o;
    return nullptr;
}

bool takes_value(const console_option& o) {
    return o.kind != option_flag && o.kind != option_framework_flag && o.kind != option_help &&
           o.kind != option_list_api;
}

const fenn_setting* find_setting(const char* name) {
    for (const fenn_setting& s : console_settings)
        if (!std::strcmp(s.name, name)) return &s;
    return nullptr;
}

void set_cart_name(const char* name) {
    std::snprintf(app_auto_load_file, sizeof app_auto_load_file, "%s", name);
    app.cart_from_command_line = 1;
    fenn_debug("set app_auto_load_file %s\n", app_auto_load_file);
}

// A value for an int option: a whole number, kept to the option's range.
void set_int(const console_option& o, const char* a, const char* value) {
    int lo = o.min, hi = o.max;
    if (const fenn_setting* s = o.setting ? find_setting(o.setting) : nullptr) {
        lo = s->min;
        hi = s->max;
    }
    long long v = 0;
    char end = 0;
    if (!value || std::sscanf(value, "%lld%c", &v, &end) != 1) {
        std::fprintf(stderr, "vexel: ignoring %s %s (not a whole number)\n", a, value ? value : "");
        return;
    }
    if (v < lo || v > hi) {
        const long long kept = v < lo ? lo : hi;
        std::fprintf(stderr, "vexel: %s %s is outside %d..%d: using %lld\n", a, value, lo, hi, kept);
        v = kept;
    }
    *reinterpret_cast<int32_t*>(reinterpret_cast<char*>(&app) + o.field) = int32_t(v);
}

void set_option(const console_option& o, const char* a, const char* value) {
    char* field = reinterpret_cast<char*>(&app) + o.field;
    switch (o.kind) {
    case option_flag: *reinterpret_cast<int32_t*>(field) = 1; break;
    case option_int: set_int(o, a, value); break;
    case option_text:
        if (value) std::snprintf(field, size_t(o.size), "%s", value);
        break;
    case option_seed: {
        // Any whole number; a negative one wraps to the same 32 bits.
        long long seed = 0;
        char end = 0;
        if (value && std::sscanf(value, "%lld%c", &seed, &end) == 1) {
            app.seeded = 1;
            app.seed = uint32_t(seed);
        } else {
            std::fprintf(stderr, "vexel: ignoring %s %s (not a whole number)\n", a, value ? value : "");
        }
        break;
    }
    case option_board:
        if (value && browse_host_is_valid(value))
            std::snprintf(field, size_t(o.size), "%s", value);
        else
            std::fprintf(stderr, "vexel: ignoring %s %s (not an http://, https:// or file:// address)\n", a,
                         value ? value : "");
        break;
    case option_framework:
    case option_framework_flag:
    case option_help:
    case option_list_api: break;  // read elsewhere
    }
}

// What -list-api prints: every function a program sees, with the arguments
// the manual must show.
void print_api() {
    size_t count = 0;
    const api_function* table = api_functions(&count);
    for (size_t i = 0; i < count; ++i) std::printf("%s|%s\n", table[i].name, table[i].usage);
}

}  // namespace

void settings_print_usage() {
    std::printf("vexel %s - a virtual game console\n", vexel_version_string);
    std::printf("usage: vexel [options] [cartridge.qz]\n\n");
    for (const console_option& o : console_options) {
        if (!o.synopsis) continue;
        std::printf("  %-*s", option_help_column - 2, o.synopsis);
        for (const char* p = o.help; *p; ++p) {
            std::putchar(*p);
            if (*p == '\n') std::printf("%*s", option_help_column, "");
        }
        std::putchar('\n');
    }
}

settings_early_action settings_scan_early(int argc, char** argv) {
    settings_early_action action = settings_early_none;
    for (int i = 1; i < argc; ++i) {
        if (fenn_argument_ends_options(argv[i])) break;
        const console_option* o = find_option(argv[i]);
        if (!o) continue;
        if (o->kind == option_help) return settings_early_help;
        if (o->kind == option_list_api) action = settings_early_list_api;
        // -export runs headless like -x: it only loads and writes.
        if (((o->kind == option_flag && o->field == offsetof(vexel_app, exec_mode)) ||
             o->field == offsetof(vexel_app, export_file)) &&
            action == settings_early_none)
            action = settings_early_exec;
        if (takes_value(*o)) ++i;
    }
    return action;
}

bool settings_carry_out_early(settings_early_action action) {
    if (action == settings_early_help) settings_print_usage();
    else if (action == settings_early_list_api) print_api();
    else return false;
    return true;
}

void settings_parse_arguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (fenn_argument_ends_options(a)) break;
        if (a[0] != '-') {
            set_cart_name(a);
            continue;
        }
        // Flags take no value: the cartridge is the argument that is not an
        // option, wherever it stands.
        const console_option* o = find_option(a);
        if (o && !takes_value(*o)) {
            set_option(*o, a, nullptr);
            continue;
        }
        if (!o && !fenn_is_framework_option(a)) std::fprintf(stderr, "vexel: ignoring unknown option %s\n", a);
        // Any other option is skipped with its value.
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value) ++i;
        if (o) set_option(*o, a, value);
    }
}
