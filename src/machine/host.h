// host: what a machine needs from the shell around it, as one small record
// of values and functions that the shell fills in and hands to the machine
// (vexel_machine::host). It is the only way the layers below the shell call
// upward: they never include app/.
//
// Every function may be null and every value has a harmless default, so a
// machine runs without a shell (tests, a second machine for a preview). The
// helpers below check for that; call them rather than the pointers.
#pragma once
#include <cstddef>
#include <cstdint>

struct vexel_machine;

// Transitions the machine asks the shell for. The shell carries them out at
// a point of its own choosing (a pending action), except the two that tell
// it a program started or stopped, which change what it shows at once.
enum vexel_request : int32_t {
    vexel_request_run = 1,      // run the working cartridge (run(), a launch)
    vexel_request_stop,         // stop the program (stop())
    vexel_request_reboot,       // reboot the console
    vexel_request_error,        // a runtime error is waiting: vexel_machine::error_string
    vexel_request_program,      // a program started running: show it
    vexel_request_console,      // the program stopped: show the console
    vexel_request_browser,      // open the cartridge browser (browse())
    vexel_request_keyconfig,    // open the key configuration screen
    vexel_request_quit,         // shut the console down (shutdown())
};

struct vexel_host {
    void* user = nullptr;

    // Values the shell keeps up to date.
    bool exec_mode = false;             // headless run of one program: console lines go to the output
    bool frame_rate_control = true;     // the host may lower the frame rate of a slow program
    bool show_backup_messages = false;  // say so when a save makes a backup
    const int32_t* button_keys = nullptr;  // 13 key bindings (scancodes, 0: the default keys), or null
    int32_t joystick_index = 0;         // controller that player 0 uses
    bool random_buttons = false;        // the glitch test holds buttons at random
    const char* carts_path = "";        // the cartridge folder, with a trailing '/'
    const char* cdata_path = "";        // the save-data folder, with a trailing '/'
    bool seeded = false;                // every generator starts from `seed` (-seed), so runs repeat
    uint32_t seed = 0;
    const struct fenn_pod* resources = nullptr;        // the resource pod (built-in cartridges), or null
    const struct fenn_pod* system_graphics = nullptr;  // its system pictures (icons of the browser), or null
    bool browser_only = false;          // started in the browser (-browse): Escape there offers to shut down

    // Calls.
    void (*request)(void* user, vexel_request request) = nullptr;
    bool (*menu_paused)(void* user) = nullptr;  // the pause menu is open
    void (*show_message)(void* user, const char* text, int ms) = nullptr;
    // Standard output: printh, and console lines in exec mode, as UTF-8
    // (vexel_host_output converts the machine's glyphs). Null writes to the
    // process's standard output.
    void (*output)(void* user, const char* text, size_t length) = nullptr;
    bool (*quit_requested)(void* user) = nullptr;  // window closed, Ctrl+Q, a signal
    // Exec mode: the program ended; the host quits with `status` (0 keeps
    // an earlier failure's).
    void (*finish)(void* user, int status) = nullptr;
    // The console's paged listing of a folder of the cartridge root (ls).
    void (*list_folder)(void* user, const char* full, const char* relative, const char* filter) = nullptr;
    // The favourites file was changed behind the browser's back.
    void (*favourites_changed)(void* user) = nullptr;
    void (*open_url)(void* user, const char* url) = nullptr;
    // A cartridge record is about to be destroyed (the working cartridge
    // replaced by a load): whatever plays from it (an editor's preview)
    // must stop first.
    void (*cart_released)(void* user, const struct vexel_cart* cart) = nullptr;
};

// The helpers: each does nothing (or answers the default) without a host.
void vexel_host_request(const vexel_machine* m, vexel_request request);
void vexel_host_message(const vexel_machine* m, const char* text, int ms);
void vexel_host_output(const vexel_machine* m, const char* text, size_t length);
bool vexel_host_quit_requested(const vexel_machine* m);
bool vexel_host_menu_paused(const vexel_machine* m);
void vexel_host_open_url(const vexel_machine* m, const char* url);
void vexel_host_cart_released(const vexel_machine* m, const struct vexel_cart* cart);
void vexel_host_finish(const vexel_machine* m, int status);
bool vexel_host_exec_mode(const vexel_machine* m);
bool vexel_host_show_backup_messages(const vexel_machine* m);
const char* vexel_host_carts_path(const vexel_machine* m);
const char* vexel_host_cdata_path(const vexel_machine* m);
