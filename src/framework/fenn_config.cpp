#include "framework/fenn_config.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "framework/fenn_file.h"
#include "framework/fenn_log.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_path.h"
#include "framework/fenn_write.h"

fenn_config cconfig;
fenn_config cconfig_loaded;

namespace {
fenn_load_config_func load_hook = nullptr;
fenn_save_config_func save_hook = nullptr;
fenn_config_vdisk_func vdisk_hook = nullptr;

constexpr const char* config_name = "config.txt";

bool starts_with(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// " %d" after the key; a failed scan leaves the value alone.
void scan1(const char* line, const char* key, int& a) {
    int v;
    if (std::sscanf(line + std::strlen(key), " %d", &v) == 1) a = v;
}

void scan2(const char* line, const char* key, int& a, int& b) {
    int v, w;
    int n = std::sscanf(line + std::strlen(key), " %d %d", &v, &w);
    if (n >= 1) a = v;
    if (n >= 2) b = w;
}

void read_line(char* line) {
    fenn_config& c = cconfig;
    if (starts_with(line, "video_mode")) {
        scan2(line, "video_mode", c.window_w, c.window_h);
        c.screen_w = c.window_w;
        c.screen_h = c.window_h;
        c.window_size_set = 1;
    } else if (starts_with(line, "window_size")) {
        scan2(line, "window_size", c.window_w, c.window_h);
        c.window_size_set = c.window_w > 0 && c.window_h > 0;
    } else if (starts_with(line, "screen_size")) {
        scan2(line, "screen_size", c.screen_w, c.screen_h);
    } else if (starts_with(line, "windowed")) {
        scan1(line, "windowed", c.windowed);
    } else if (starts_with(line, "foreground_sleep_ms")) {
        scan1(line, "foreground_sleep_ms", c.foreground_sleep_ms);
    } else if (starts_with(line, "background_sleep_ms")) {
        scan1(line, "background_sleep_ms", c.background_sleep_ms);
    } else if (starts_with(line, "sound_volume")) {
        scan1(line, "sound_volume", c.sound_volume);
    } else if (starts_with(line, "music_volume")) {
        scan1(line, "music_volume", c.music_volume);
    } else if (starts_with(line, "mix_buffer_size")) {
        scan1(line, "mix_buffer_size", c.mix_buffer_size);
    } else if (starts_with(line, "windib")) {
        scan1(line, "windib", c.windib);
    } else if (starts_with(line, "opengl_blit")) {
        scan1(line, "opengl_blit", c.opengl_blit);
    } else if (starts_with(line, "show_fps")) {
        scan1(line, "show_fps", c.show_fps);
    } else if (starts_with(line, "large_window")) {
        scan1(line, "large_window", c.large_window);
    } else if (starts_with(line, "frameless")) {
        scan1(line, "frameless", c.frameless);
    } else if (starts_with(line, "window_position")) {
        scan2(line, "window_position", c.window_x, c.window_y);
        fenn_debug("new window position: %d, %d\n", c.window_x, c.window_y);
    } else if (starts_with(line, "sessions")) {
        scan1(line, "sessions", c.sessions);
    } else if (starts_with(line, "rmb_key")) {
        scan1(line, "rmb_key", c.rmb_key);
    } else if (starts_with(line, "desktop_path")) {
        fenn_config_read_text_value(line, "desktop_path", c.desktop_path, sizeof c.desktop_path);
    } else if (starts_with(line, "fullscreen_method")) {
        scan1(line, "fullscreen_method", c.fullscreen_method);
    } else if (starts_with(line, "emulate_textinput")) {
        scan1(line, "emulate_textinput", c.emulate_textinput);
    } else if (load_hook) {
        load_hook(line);
    }
}

void apply_ranges() {
    fenn_config& c = cconfig;
    c.foreground_sleep_ms = std::clamp(c.foreground_sleep_ms, 0, fenn_sleep_max_ms);
    c.background_sleep_ms = std::clamp(c.background_sleep_ms, 0, fenn_sleep_max_ms);
    c.sound_volume = std::clamp(c.sound_volume, 0, fenn_volume_max);
    c.music_volume = std::clamp(c.music_volume, 0, fenn_volume_max);
    if (c.mix_buffer_size < fenn_mix_buffer_min || c.mix_buffer_size > fenn_mix_buffer_max)
        c.mix_buffer_size = fenn_mix_buffer_default;
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

void fenn_set_load_config_func(fenn_load_config_func f) { load_hook = f; }
void fenn_set_save_config_func(fenn_save_config_func f) { save_hook = f; }
void fenn_set_config_vdisk_func(fenn_config_vdisk_func f) { vdisk_hook = f; }

bool fenn_argument_ends_options(const char* arg) { return arg[0] == '&' || arg[0] == '|' || arg[0] == '>'; }

void fenn_config_read_text_value(const char* line, const char* key, char* out, int out_size) {
    const char* p = line + std::strlen(key);
    while (*p == ' ' || *p == '\t') ++p;
    size_t n = std::strlen(p);
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\t' || p[n - 1] == '\r' || p[n - 1] == '\n')) --n;
    n = std::min(n, size_t(out_size - 1));
    std::memcpy(out, p, n);
    out[n] = 0;
}

void fenn_config_default() {
    fenn_config& c = cconfig;
    std::string home(c.home);  // the -home override survives a reset to defaults
    std::memset(&c, 0, sizeof c);
    std::snprintf(c.home, sizeof c.home, "%s", home.c_str());
    c.window_x = c.window_y = -1;
    c.fullscreen_method = 1;
    c.foreground_sleep_ms = 5;
    c.background_sleep_ms = 20;
    c.sound_volume = c.music_volume = fenn_volume_max;
    c.mix_buffer_size = fenn_mix_buffer_default;
    c.windib = -1;
    c.pixel_perfect = -1;
    c.draw_rect[2] = c.draw_rect[3] = 4096;
    c.timeout = fenn_timeout_default;
    cconfig_loaded = c;
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
    apply_ranges();
    cconfig.loaded = 1;
    cconfig_loaded = cconfig;
}

int fenn_config_load() {
    // Start from the defaults so the copy below holds the file's values only;
    // the command line is applied again afterwards (fenn_init).
    fenn_config_default();
    bool ok = false;
    std::string text = slurp(fenn_prefix_with_appdata_path(config_name), ok);
    if (!ok && vdisk_hook) {
        const char* t = vdisk_hook(config_name);
        if (t) { text = t; ok = true; }
    }
    if (!ok) text = slurp(fenn_prefix_with_program_path(config_name), ok);
    if (!ok) return 1;
    fenn_config_read_text(text.c_str());
    return 0;
}

void fenn_config_write(FILE* f) {
    const fenn_config& live = cconfig;
    const fenn_config& file = cconfig_loaded;
    const char* sep = "// - - - - - - - - - - - - - - - - - - - - - - - - - - - -\n";
    std::fputs(sep, f);
    std::fprintf(f, "// Configuration for %s\n// \n", fenn_application_title());
    std::fputs("// config.txt is read on startup and saved on exit.\n", f);
    std::fputs("// To generate the default config.txt, delete this file.\n// \n", f);
    std::fputs(sep, f);

    std::fputs("\n\n// :: Video Settings\n\n", f);
    std::fprintf(f, "window_size %d %d // window width, height\n", file.window_w, file.window_h);
    std::fprintf(f, "screen_size %d %d // screen width, height (stretched to window) \n", file.screen_w, file.screen_h);
    std::fprintf(f, "show_fps %d // Draw frames per second in the corner\n", file.show_fps);

    std::fputs("\n\n// :: Window Settings\n\n", f);
    std::fprintf(f, "windowed %d // 1 to start up in windowed mode\n", live.windowed);
    std::fprintf(f, "window_position %d %d // x and y position of window, or -1, -1 to let the window manager decide\n",
                 live.window_x, live.window_y);
    std::fprintf(f, "frameless %d // 1 to use a window with no frame\n", file.frameless);
    std::fprintf(f, "fullscreen_method %d // 0 maximized window (linux)  1 borderless desktop-sized window  2 fullscreen\n",
                 live.fullscreen_method);

    std::fputs("\n\n// :: System Settings\n\n", f);
    std::fprintf(f, "foreground_sleep_ms %d // number of milliseconds to sleep each frame. Try 10 to conserve battery power\n\n",
                 file.foreground_sleep_ms);
    std::fprintf(f, "background_sleep_ms %d // number of milliseconds to sleep each frame when running in the background\n\n",
                 file.background_sleep_ms);
    std::fprintf(f, "sessions %d // number of times program has been run\n\n", live.sessions);
    std::fputs("// (scancode) hold this key down and left-click to simulate right-click\n", f);
    std::fprintf(f, "rmb_key %d // 0 for none  226 for LALT\n\n", file.rmb_key);
    std::fputs("// 0:off  1: ignore SDL_TEXTINPUT and use SDL_GetKeyboardState instead (mapped to a US layout)\n", f);
    std::fprintf(f, "emulate_textinput %d \n\n", file.emulate_textinput);
    std::fputs("// Desktop for saving screenshots etc. Defaults to $HOME/Desktop\n", f);
    std::fprintf(f, "desktop_path %s\n\n", file.desktop_path);

    std::fputs("\n\n// :: Audio Settings\n\n", f);
    std::fprintf(f, "sound_volume %d // 0..256\n", live.sound_volume);
    std::fprintf(f, "music_volume %d // 0..256\n", live.music_volume);
    std::fprintf(f, "mix_buffer_size %d // usually 1024. Try 2048 if you get choppy sound\n", live.mix_buffer_size);

    std::fputs("\n\n// :: \n\n", f);
    if (save_hook) save_hook(f);
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
    fenn_config& c = cconfig;
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
