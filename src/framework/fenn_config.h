// fenn_config: the framework's settings ("config.txt") and its command line.
//
// `fenn_cfg` holds the live settings. The file is read once at start-up and
// written at exit, from the table of keys in fenn_config.cpp (see
// fenn_settings.h); the console layer adds its own table. Some values are written back from `fenn_cfg_loaded`, the copy taken
// right after the file was read, so that command-line overrides of them are
// not saved (see fenn_config_save).
#pragma once
#include <cstddef>
#include <cstdio>

constexpr int fenn_config_line_max = 255;
constexpr int fenn_config_text_max = 1024;
constexpr size_t fenn_config_file_max = size_t(1) << 20;  // a larger config.txt is not read
constexpr int fenn_sleep_max_ms = 200;
constexpr int fenn_volume_max = 256;
constexpr int fenn_mix_buffer_default = 1024;
constexpr int fenn_mix_buffer_min = 512;
constexpr int fenn_mix_buffer_max = 8192;
constexpr int fenn_timeout_default = 30;
constexpr int fenn_timeout_max = 240;

struct fenn_config {
    // Keys of config.txt.
    int window_w, window_h;
    int screen_w, screen_h;
    int windowed;
    int window_x, window_y;
    int frameless;
    int fullscreen_method;      // 0 maximised window, 1 desktop-sized window, 2 true fullscreen
    int show_fps;
    int foreground_sleep_ms;
    int background_sleep_ms;
    int sessions;
    int rmb_key;
    int emulate_textinput;
    char desktop_path[fenn_config_text_max + 1];
    int sound_volume, music_volume;
    int mix_buffer_size;

    // Command line only.
    int window_size_set;        // a window size was given (file, option or console)
    int software_blit;
    int pixel_perfect;          // -1 automatic
    int draw_rect[4];           // x, y, w, h
    int timeout;                // download timeout, seconds
    int headless;
    char home[fenn_config_text_max + 1];  // data-folder override

    int loaded;                 // the file was found and read
};

extern fenn_config fenn_cfg;
extern fenn_config fenn_cfg_loaded;

void fenn_config_default();

// Finds and reads config.txt (data folder, then next to the program). Lines
// that match no framework key go to the console hook. Returns 0 when a file
// was read, 1 when none was found (the defaults stand).
int fenn_config_load();
// Writes config.txt in the data folder, replacing the old file only once the
// new one is complete (a failed write keeps it and is logged). Returns 0 on
// success.
int fenn_config_save();

// Reads settings from text (one line per '\n'); what fenn_config_load does
// once it has the file. Exposed for tests.
void fenn_config_read_text(const char* text);
// Writes the file's text to `f`.
void fenn_config_write(FILE* f);

// The console's own settings (a table of fenn_settings.h) in the same file:
// read after the framework's keys, reset and clamped with them, written
// after them following `preamble`. Both must outlive their use; null
// removes them.
void fenn_config_set_console_settings(const struct fenn_settings_group* group, const char* preamble);


// The framework's command-line parser (run before and after the file is read).
void fenn_process_arguments(int argc, char** argv);

// Whether an argument names one of the framework's options.
bool fenn_is_framework_option(const char* arg);

// Shared with the console's parser.
bool fenn_argument_ends_options(const char* arg);   // "&", "|" or ">"
