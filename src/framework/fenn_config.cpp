#include "framework/fenn_config.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "framework/fenn_file.h"
#include "framework/fenn_log.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_path.h"
#include "framework/fenn_settings.h"
#include "framework/fenn_write.h"

fenn_config fenn_cfg;
fenn_config fenn_cfg_loaded;

namespace {

const fenn_settings_group* console_group = nullptr;
const char* console_preamble = "";

constexpr const char* config_name = "config.txt";

bool starts_with(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

#define FIELD(f) offsetof(fenn_config, f)

// The framework's keys of config.txt, in the order they are written.
const fenn_setting framework_settings[] = {
    {"window_size", fenn_setting_ints, FIELD(window_w), 2, 0, 0, INT_MAX, fenn_setting_as_read, "window width, height",
     "Video Settings"},
    {"screen_size", fenn_setting_ints, FIELD(screen_w), 2, 0, 0, INT_MAX, fenn_setting_as_read | fenn_setting_kept,
     "screen width, height (stretched to window)"},
    {"show_fps", fenn_setting_ints, FIELD(show_fps), 1, 0, 0, 1, fenn_setting_as_read,
     "Draw frames per second in the corner"},
    {"windowed", fenn_setting_ints, FIELD(windowed), 1, 1, 0, 1, 0, "1 to start up in windowed mode (the first start does)",
     "Window Settings"},
    {"window_position", fenn_setting_ints, FIELD(window_x), 2, -1, INT_MIN, INT_MAX, 0,
     "x and y position of window, or -1, -1 to let the window manager decide"},
    {"frameless", fenn_setting_ints, FIELD(frameless), 1, 0, 0, 1, fenn_setting_as_read, "1 to use a window with no frame"},
    {"fullscreen_method", fenn_setting_ints, FIELD(fullscreen_method), 1, 1, 0, 2, 0,
     "0 maximized window (linux)  1 borderless desktop-sized window  2 fullscreen"},
    {"foreground_sleep_ms", fenn_setting_ints, FIELD(foreground_sleep_ms), 1, 5, 0, fenn_sleep_max_ms,
     fenn_setting_as_read, "number of milliseconds to sleep each frame. Try 10 to conserve battery power",
     "System Settings"},
    {"background_sleep_ms", fenn_setting_ints, FIELD(background_sleep_ms), 1, 20, 0, fenn_sleep_max_ms,
     fenn_setting_as_read, "number of milliseconds to sleep each frame when running in the background"},
    {"sessions", fenn_setting_ints, FIELD(sessions), 1, 0, 0, INT_MAX, 0, "number of times program has been run"},
    {"rmb_key", fenn_setting_ints, FIELD(rmb_key), 1, 0, 0, 511, fenn_setting_as_read,
     "(scancode) hold this key down and left-click to simulate right-click. 0 for none  226 for LALT"},
    {"emulate_textinput", fenn_setting_ints, FIELD(emulate_textinput), 1, 0, 0, 1, fenn_setting_as_read,
     "1: ignore text input events and read the keyboard instead (mapped to a US layout)"},
    {"desktop_path", fenn_setting_text, FIELD(desktop_path), int(sizeof(fenn_config::desktop_path)), 0, 0, 0,
     fenn_setting_as_read, "Desktop for saving screenshots etc. Defaults to $HOME/Desktop"},
    {"sound_volume", fenn_setting_ints, FIELD(sound_volume), 1, fenn_volume_max, 0, fenn_volume_max, 0, "0..256",
     "Audio Settings"},
    {"music_volume", fenn_setting_ints, FIELD(music_volume), 1, fenn_volume_max, 0, fenn_volume_max, 0, "0..256"},
    {"mix_buffer_size", fenn_setting_ints, FIELD(mix_buffer_size), 1, fenn_mix_buffer_default, fenn_mix_buffer_min,
     fenn_mix_buffer_max, fenn_setting_default_outside, "usually 1024. Try 2048 if you get choppy sound"},
    // The old name of window_size, which also set the screen size.
    {"video_mode", fenn_setting_ints, FIELD(window_w), 2, 0, 0, INT_MAX, fenn_setting_old_name},
};

#undef FIELD

const fenn_settings_group framework_group{framework_settings, std::size(framework_settings), &fenn_cfg,
                                          &fenn_cfg_loaded};

void read_line(const char* line) {
    fenn_config& c = fenn_cfg;
    if (const fenn_setting* s = fenn_settings_read_line(framework_group, line)) {
        if (!std::strcmp(s->name, "video_mode")) {
            c.screen_w = c.window_w;
            c.screen_h = c.window_h;
            c.window_size_set = 1;
        } else if (!std::strcmp(s->name, "window_size")) {
            c.window_size_set = c.window_w > 0 && c.window_h > 0;
        }
        return;
    }
    if (console_group) fenn_settings_read_line(*console_group, line);
}

std::string slurp(const std::string& path, bool& ok) {
    std::string text;
    ok = fenn_read_regular_file(path.c_str(), fenn_config_file_max, &text);
    return text;
}

// The file's text, made in memory so that the file is replaced in one step.
bool config_text(std::string* out) {
    char* buf = nullptr;
    size_t len = 0;
    std::FILE* f = ::open_memstream(&buf, &len);
    if (!f) return false;
    fenn_config_write(f);
    const bool ok = std::fclose(f) == 0;
    std::unique_ptr<char, decltype(&std::free)> owned(buf, &std::free);
    if (ok && buf) out->assign(buf, len);
    return ok && buf;
}
}  // namespace

void fenn_config_set_console_settings(const fenn_settings_group* group, const char* preamble) {
    console_group = group;
    console_preamble = preamble ? preamble : "";
}

bool fenn_argument_ends_options(const char* arg) { return arg[0] == '&' || arg[0] == '|' || arg[0] == '>'; }

void fenn_config_default() {
    fenn_config& c = fenn_cfg;
    std::string home(c.home);  // the -home override survives a reset to defaults
    std::memset(&c, 0, sizeof c);
    std::snprintf(c.home, sizeof c.home, "%s", home.c_str());
    fenn_settings_default(framework_group);
    if (console_group) fenn_settings_default(*console_group);
    c.pixel_perfect = -1;
    c.draw_rect[2] = c.draw_rect[3] = 4096;
    c.timeout = fenn_timeout_default;
    fenn_cfg_loaded = c;
}

void fenn_config_read_text(const char* text) {
    fenn_debug("Found config.txt\n");
    fenn_debug(">\n");
    const char* p = text;
    int number = 0;
    while (*p) {
        // Lines of up to fenn_config_line_max characters; a longer line is
        // read in pieces, as a fixed-size line reader would.
        char line[fenn_config_line_max + 1];
        int n = 0;
        while (*p && *p != '\n' && n < fenn_config_line_max) line[n++] = *p++;
        if (*p == '\n') ++p;
        while (n > 0 && line[n - 1] == '\r') --n;
        line[n] = 0;
        fenn_debug("%02d %s\n", ++number, line);
        read_line(line);
    }
    fenn_debug("<\n");
    fenn_settings_clamp(framework_group);
    if (console_group) fenn_settings_clamp(*console_group);
    fenn_cfg.loaded = 1;
    fenn_cfg_loaded = fenn_cfg;
}

int fenn_config_load() {
    // Start from the defaults so the copy below holds the file's values only;
    // the command line is applied again afterwards (fenn_init).
    fenn_config_default();
    bool ok = false;
    std::string text = slurp(fenn_prefix_with_appdata_path(config_name), ok);
    if (!ok) text = slurp(fenn_prefix_with_program_path(config_name), ok);
    if (!ok) return 1;
    fenn_config_read_text(text.c_str());
    return 0;
}

void fenn_config_write(FILE* f) {
    const char* sep = "// - - - - - - - - - - - - - - - - - - - - - - - - - - - -\n";
    std::fputs(sep, f);
    std::fprintf(f, "// Configuration for %s\n// \n", fenn_application_title());
    std::fputs("// config.txt is read on startup and saved on exit.\n", f);
    std::fputs("// To generate the default config.txt, delete this file.\n// \n", f);
    std::fputs(sep, f);
    fenn_settings_write(framework_group, f);
    if (console_group) {
        std::fprintf(f, "\n// :: \n\n%s", console_preamble);
        fenn_settings_write(*console_group, f);
    }
}

int fenn_config_save() {
    const std::string path = fenn_prefix_with_appdata_path(config_name);
    std::string text;
    if (!config_text(&text)) {
        fenn_debug("** config.txt not saved: out of memory\n");
        return 1;
    }
    // Written whole or not at all: a full disk or a file-size limit keeps
    // the settings as they were.
    const fenn_write_result r = fenn_write_file(path.c_str(), text.data(), text.size());
    if (!r.ok()) {
        fenn_debug("** config.txt not saved: %s\n", r.reason.c_str());
        return 1;
    }
    return 0;
}

namespace {
const char* const framework_options[] = {
    "-width", "-height", "-show_fps", "-windowed", "-window_x", "-window_y", "-frameless",
    "-fullscreen_method", "-foreground_sleep_ms", "-background_sleep_ms", "-sound", "-music",
    "-mix_buffer_size", "-software_blit", "-home", "-desktop", "-pixel_perfect", "-draw_rect",
    "-timeout", "-headless", "-emulate_textinput",
};
}  // namespace

bool fenn_is_framework_option(const char* arg) {
    for (const char* o : framework_options)
        if (starts_with(arg, o)) return true;
    return false;
}

void fenn_process_arguments(int argc, char** argv) {
    fenn_config& c = fenn_cfg;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (fenn_argument_ends_options(a)) break;
        if (a[0] != '-') continue;
        if (starts_with(a, "-headless")) { c.headless = 1; continue; }
        // Every other option takes the following argument as its value.
        struct IntOption { const char* name; int* field; };
        const IntOption ints[] = {
            {"-width", &c.window_w}, {"-height", &c.window_h}, {"-show_fps", &c.show_fps},
            {"-windowed", &c.windowed}, {"-window_x", &c.window_x}, {"-window_y", &c.window_y},
            {"-frameless", &c.frameless}, {"-fullscreen_method", &c.fullscreen_method},
            {"-foreground_sleep_ms", &c.foreground_sleep_ms}, {"-background_sleep_ms", &c.background_sleep_ms},
            {"-sound", &c.sound_volume}, {"-music", &c.music_volume},
            {"-mix_buffer_size", &c.mix_buffer_size}, {"-software_blit", &c.software_blit},
            {"-pixel_perfect", &c.pixel_perfect}, {"-emulate_textinput", &c.emulate_textinput},
        };
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool known = false;
        for (const IntOption& o : ints) {
            if (!starts_with(a, o.name)) continue;
            known = true;
            if (value) {
                int v;
                if (std::sscanf(value, "%d", &v) == 1) {
                    *o.field = v;
                    if (o.field == &c.window_w || o.field == &c.window_h) c.window_size_set = 1;
                }
            }
            break;
        }
        if (!known && starts_with(a, "-home")) {
            known = true;
            if (value) std::snprintf(c.home, sizeof c.home, "%s", value);
        } else if (!known && starts_with(a, "-desktop")) {
            known = true;
            if (value) std::snprintf(c.desktop_path, sizeof c.desktop_path, "%s", value);
        } else if (!known && starts_with(a, "-draw_rect")) {
            known = true;
            int r[4];
            if (value && std::sscanf(value, "%d,%d,%d,%d", &r[0], &r[1], &r[2], &r[3]) == 4)
                std::memcpy(c.draw_rect, r, sizeof r);
        } else if (!known && starts_with(a, "-timeout")) {
            known = true;
            int v;
            if (value && std::sscanf(value, "%d", &v) == 1) c.timeout = std::clamp(v, 1, fenn_timeout_max);
        }
        if (known && value) ++i;
    }
}
