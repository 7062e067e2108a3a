// The console layer's settings: its config.txt keys and its command line.
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "framework/fenn_config.h"
#include "framework/fenn_log.h"

vexel_app app;
char auto_load_fn[app_path_max + 1];

namespace {

bool starts_with(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

void scan_int(const char* line, const char* key, int32_t& field) {
    int v;
    if (std::sscanf(line + std::strlen(key), " %d", &v) == 1) field = v;
}

// Folder settings keep the path up to and including its last slash, so a
// value with trailing blanks or a file name still names the folder.
void read_folder(const char* line, const char* key, char* out, int out_size) {
    fenn_config_read_text_value(line, key, out, out_size);
    char* slash = nullptr;
    for (char* p = out; *p; ++p)
        if (*p == '/' || *p == '\\') slash = p;
    if (slash) slash[1] = 0;
}

}  // namespace

void set_default_app_config() {
    app.root_path[0] = 0;
    app.cdata_path[0] = 0;
    app.joystick_index = 0;
    std::memset(app.button_keys, 0, sizeof app.button_keys);
    app.live_notes = 0;
    app.cursor_snap = 0;
    app.gif_len = 8;
    app.gui_theme = 0;
    app.screenshot_scale = 3;
    app.gif_scale = 2;
    app.shift_glyphs = 1;
    app.show_backup_messages = 1;
    app.host_framerate_control = 1;
}

int vexel_load_config(const char* line) {
    if (starts_with(line, "version")) return 1;  // written for people; nothing to read
    if (starts_with(line, "root_path")) { read_folder(line, "root_path", app.root_path, sizeof app.root_path); return 1; }
    if (starts_with(line, "cdata_path")) { read_folder(line, "cdata_path", app.cdata_path, sizeof app.cdata_path); return 1; }
    if (starts_with(line, "joystick_index")) { scan_int(line, "joystick_index", app.joystick_index); return 1; }
    if (starts_with(line, "button_keys")) {
        const char* p = line + std::strlen("button_keys");
        for (int i = 0; i < app_button_keys; ++i) {
            int v, used = 0;
            if (std::sscanf(p, " %d%n", &v, &used) != 1) break;
            app.button_keys[i] = v;
            p += used;
        }
        return 1;
    }
    struct IntKey { const char* key; int32_t* field; };
    const IntKey keys[] = {
        {"live_notes", &app.live_notes}, {"cursor_snap", &app.cursor_snap}, {"gif_len", &app.gif_len},
        {"gui_theme", &app.gui_theme}, {"screenshot_scale", &app.screenshot_scale},
        {"gif_scale", &app.gif_scale}, {"shift_glyphs", &app.shift_glyphs},
        {"show_backup_messages", &app.show_backup_messages},
        {"host_framerate_control", &app.host_framerate_control},
    };
    for (const IntKey& k : keys) {
        if (starts_with(line, k.key)) {
            scan_int(line, k.key, *k.field);
            return 1;
        }
    }
    return 0;
}

void vexel_save_config(FILE* f) {
    std::fprintf(f, "version %s\n\n", vexel_version_string);
    std::fputs("\n// Location of vexel's root folder\n", f);
    std::fprintf(f, "root_path %s\n\n", app.root_path);
    std::fputs("\n// Location of cartridge save data\n", f);
    std::fprintf(f, "cdata_path %s\n\n", app.cdata_path);
    std::fputs("\n// Specify which player index joystick control begins at (0..7)\n", f);
    std::fprintf(f, "joystick_index %d\n\n", app.joystick_index);
    std::fputs("\n// Custom keyboard scancodes for buttons. player0 0..6, player1 0..5\n", f);
    std::fputs("button_keys ", f);
    for (int i = 0; i < app_button_keys; ++i) std::fprintf(f, "%d ", app.button_keys[i]);
    std::fputs("\n\n", f);
    std::fputs("// Play notes as they are plotted in frequency mode\n", f);
    std::fprintf(f, "live_notes %d\n\n", app.live_notes);
    std::fputs("// iff 1: when using keyboard cursor, snap to closest pixel / map cel\n", f);
    std::fprintf(f, "cursor_snap %d\n\n", app.cursor_snap);
    std::fputs("// maximum length of gif in seconds (1..120, default 8)\n", f);
    std::fprintf(f, "gif_len %d\n\n", app.gif_len);
    std::fputs("// 0 classic  1 dark blue background in code editor\n", f);
    std::fprintf(f, "gui_theme %d\n\n", app.gui_theme);
    std::fputs("// scale of screenshots and gifs // 2 means 256x256\n", f);
    std::fprintf(f, "screenshot_scale %d\n", app.screenshot_scale);
    std::fprintf(f, "gif_scale %d\n\n", app.gif_scale);
    std::fputs("// when 1 can enter glyphs using shift-A..Z\n", f);
    std::fprintf(f, "shift_glyphs %d\n\n", app.shift_glyphs);
    std::fputs("// 0 for off. 1 to notify whenever unsaved changes are backed up\n", f);
    std::fprintf(f, "show_backup_messages %d\n\n", app.show_backup_messages);
    std::fputs("// 0 for off. 1 to allow control of a cart's framerate due to host machine's cpu capacity (recommended)\n", f);
    std::fprintf(f, "host_framerate_control %d\n\n", app.host_framerate_control);
}

namespace {
// Options of the console parser that take no value. The framework's
// -headless is listed so that it does not swallow the cartridge name after it.
bool is_flag_option(const char* a) {
    static const char* const flags[] = {"-splore", "-run", "-x", "-exec", "-fast", "-headless", "-h", "-help", "--help"};
    for (const char* f : flags)
        if (!std::strcmp(a, f)) return true;
    return false;
}

bool is_console_option(const char* a) {
    static const char* const options[] = {"-p", "-joystick", "-gif_len", "-gif_scale", "-screenshot_scale",
                                          "-gui_theme", "-gpio_base", "-glitch_test", "-frames",
                                          "-screenshot", "-input", "-wav"};
    for (const char* o : options)
        if (!std::strcmp(a, o)) return true;
    return is_flag_option(a);
}

void set_cart_name(const char* name) {
    std::snprintf(auto_load_fn, sizeof auto_load_fn, "%s", name);
    app.cart_from_command_line = 1;
    fenn_debug("set auto_load_fn %s\n", auto_load_fn);
}

int parse_int(const char* value, int32_t& field) {
    int v;
    if (value && std::sscanf(value, "%d", &v) == 1) { field = v; return 1; }
    return 0;
}
}  // namespace

void process_arguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (fenn_argument_ends_options(a)) break;
        if (a[0] != '-') {
            set_cart_name(a);
            continue;
        }
        // -run and -x are flags: the cartridge is the argument that is not
        // an option, wherever it stands.
        if (!std::strcmp(a, "-splore")) { app.browser_flag = 1; continue; }
        if (!std::strcmp(a, "-run")) { app.run_flag = 1; continue; }
        if (!std::strcmp(a, "-x") || !std::strcmp(a, "-exec")) { app.exec_mode = 1; continue; }
        if (!std::strcmp(a, "-fast")) { app.fast = 1; continue; }
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
        } else if (!std::strcmp(a, "-frames")) {
            parse_int(value, app.frame_limit);
        } else if (!std::strcmp(a, "-screenshot")) {
            if (value) std::snprintf(app.screenshot_file, sizeof app.screenshot_file, "%s", value);
        } else if (!std::strcmp(a, "-input")) {
            if (value) std::snprintf(app.input_file, sizeof app.input_file, "%s", value);
        } else if (!std::strcmp(a, "-glitch_test")) {
            parse_int(value, app.glitch_test);
        }
        // Anything else (the framework's options among them) is skipped with its value.
    }
}
