// app: the console shell's state, one global record zeroed at start-up.
//
// The shell owns the console's one machine (app.machine) and the host
// interface it hands to it (app.host), decides each frame which screen is
// active (console, running program, boot, splash) and which sub-screen
// (key configuration, browser) is over the console, carries out the
// actions posted for it, owns the overlay message strip and the settings of
// the console layer (config.txt keys after the framework's).
//
// Its state machine — mode, sub-screen, pending action — changes only
// through the shell_ functions below; the layers under the shell ask for a
// change through the host interface (vexel_host::request).
#pragma once
#include <cstdint>
#include <cstdio>

#include "framework/fenn_bitmap.h"
#include "machine/host.h"

struct vexel_machine;

constexpr int app_message_max = 256;
constexpr int app_path_max = 1024;
constexpr int app_params_max = 1024;
constexpr int app_button_keys = 13;
constexpr const char* vexel_version_string = "0.3.0";

enum shell_mode : int32_t {
    shell_console = 0,
    shell_running = 1,
    shell_boot = 2,
    shell_splash = 3,
};

enum shell_sub_screen : int32_t {
    sub_screen_none = 0,
    sub_screen_keyconfig = 1,
};

enum shell_pending : int32_t {
    pending_none = 0,
    pending_run_cart = 1,
    pending_stop_program = 2,
    pending_reboot = 3,
    pending_runtime_error = 4,
};

struct vexel_app {
    // The console's machine and what the shell gives it.
    vexel_machine* machine;
    vexel_host host;

    // The state machine.
    shell_mode mode;
    shell_sub_screen sub_screen;
    shell_pending pending;
    int32_t boot_frame;              // set to -15 by boot_init, +1 per update

    // Command line.
    int32_t cart_from_command_line;  // a cartridge was named on the command line
    int32_t run_flag;                // -run
    int32_t browser_flag;            // -browse
    int32_t exec_mode;               // -x / -exec: headless, quit when the program stops
    char run_params[app_params_max + 1];  // -p
    int32_t gpio_base;
    int32_t glitch_test;             // -glitch_test counter
    int32_t glitch_shots;
    char bbs_option[app_path_max + 1];    // -bbs: the board for this run only (not saved)
    char wav_file[app_path_max + 1];  // -wav: write every sample the mixer makes here
    int32_t fast;                    // -fast: machine frames as fast as the host allows
    int32_t frame_limit;             // -frames: quit after this many machine frames (0: no limit)
    int32_t frames_run;
    int32_t screen_sha1;             // -screen-sha1: print the screen memory's SHA-1 at exit
    int32_t seeded;                  // -seed: every generator starts from `seed`
    int32_t skip_boot;               // -skip-boot: the console (or -run's cartridge) at once, as with -x
    uint32_t seed;

    // Pause menu.
    int32_t pause_menu;
    int32_t pause_selection;

    // Overlay message.
    char message[app_message_max + 1];
    int64_t message_start;
    int64_t message_end;
    int32_t message_colour;

    int64_t frame_credit;            // 16.16 frames

    // Console settings (config.txt).
    char root_path[app_path_max + 1];
    char cdata_path[app_path_max + 1];
    char bbs_host[app_path_max + 1];      // the board's address; empty for the board beside the program
    int32_t joystick_index;
    int32_t button_keys[app_button_keys];
    int32_t live_notes;
    int32_t cursor_snap;
    int32_t gif_len;
    int32_t gui_theme;
    int32_t screenshot_scale;
    int32_t gif_scale;
    int32_t shift_glyphs;
    int32_t show_backup_messages;
    int32_t host_framerate_control;

    char input_file[app_path_max + 1];  // -input: button replay read at start-up
    char keys_file[app_path_max + 1];   // -keys: key-and-mouse script read at start-up
    int32_t key_script;              // -keys was given: the script is the keyboard, headless too
    char screenshot_file[app_path_max + 1];  // -screenshot: picture of the screen saved at exit
    char export_file[app_path_max + 1];      // -export: write the cartridge as a web page and quit
    char load_failure[64];           // why the cartridge named on the command line did not load, or ""
};

extern vexel_app app;
extern char app_auto_load_file[app_path_max + 1];

// Console settings: defaults, the config.txt hooks and the console's own
// command-line parser (run after the framework's).
// The shell's state machine.
void shell_set_mode(shell_mode mode);
void shell_set_sub_screen(shell_sub_screen sub_screen);
// Posts an action for the next update (it replaces one already posted).
void shell_post(shell_pending action);
// Opens the browser over the console.
void shell_open_browser();

// Every console setting to its default.
void settings_set_defaults();
// Hands the console's settings to the framework's settings file.
void settings_use_table();
// The command line. Every option is one row of the table in settings.cpp,
// from which parsing, -h and the checks of the manual come.
void settings_parse_arguments(int argc, char** argv);
// What the command line asks for before anything starts: -h (the help,
// then exit), -list-api (the script functions, then exit), -x (no window).
enum settings_early_action : int32_t {
    settings_early_none = 0,
    settings_early_help,
    settings_early_list_api,
    settings_early_exec,
};
settings_early_action settings_scan_early(int argc, char** argv);
// Prints what -h or -list-api asks for; false for any other action.
bool settings_carry_out_early(settings_early_action action);
void settings_print_usage();

// Overlay messages. shell_show_message lasts `ms` plus 400 ms and slides in;
// shell_show_message_exact lasts exactly `ms` (sound toggle, capture keys);
// shell_show_hover_message replaces the message only when it ends within 50 ms.
void shell_show_message(const char* text, int ms);
void shell_show_message_exact(const char* text, int ms);
void shell_show_message_2(const char* format, int a, int b, int ms);
void shell_show_hover_message(const char* text);
// Draws the current message, if any, over the bottom of the page (sliding
// in and out): one line, or as many as a message wider than the screen
// needs (at most shell_message_lines_max), the strip growing upward.
constexpr int shell_message_lines_max = 4;
constexpr int shell_message_line_h = 6;
void shell_draw_message(fenn_bitmap* page);
