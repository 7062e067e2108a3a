#include "framework/fenn_loop.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/fenn_bitmap.h"
#include "framework/fenn_config.h"
#include "framework/fenn_log.h"
#include "framework/fenn_path.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_text.h"
#include "framework/fenn_video.h"

fenn_state_t fenn_state;
volatile int fenn_quit = 0;

namespace {
int saved_argc = 0;
char** saved_argv = nullptr;
char saved_argv0[fenn_argv0_max + 1];
char pending_application_title[fenn_title_max + 1] = "fenn";
int64_t timer_origin = 0;
uint32_t random_state = 1;
fenn_iteration_hook iteration_hook = nullptr;
bool in_gui_pass = false;
int exit_status = 0;
bool force_headless = false;

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void copy_title(char* dst, const char* src) { std::snprintf(dst, fenn_title_max + 1, "%s", src ? src : ""); }
}  // namespace

int fenn_argc() { return saved_argc; }
char** fenn_argv() { return saved_argv; }

void fenn_set_application_title(const char* text) {
    if (fenn_state.inited) return;
    copy_title(pending_application_title, text);
    copy_title(fenn_state.application_title, text);
}

const char* fenn_application_title() {
    return fenn_state.application_title[0] ? fenn_state.application_title : pending_application_title;
}

void fenn_set_window_title(const char* text) {
    copy_title(fenn_state.window_title, text);
    fenn_video_apply_window_title();
}

void fenn_set_paused(int flag) { fenn_state.paused = flag; }
void fenn_request_headless() { force_headless = true; }

void fenn_reset_timer() { timer_origin = now_ms(); }

int64_t fenn_get_elapsed_time() {
    int64_t d = now_ms() - timer_origin;
    if (d < 0) {
        fenn_reset_timer();
        return 0;
    }
    return d;
}

void fenn_srand(uint32_t seed) { random_state = seed * 2654435761u + 0x9e3779b9u; }

int fenn_random(int n) {
    if (n < 1) return 0;
    // xorshift32: small, fast and the same on every host.
    uint32_t x = random_state ? random_state : 0x2545f491u;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    random_state = x;
    return int(x % uint32_t(n));
}

void fenn_set_exit_status(int status) { exit_status = status; }
int fenn_exit_status() { return exit_status; }

void fenn_set_iteration_hook(fenn_iteration_hook hook) { iteration_hook = hook; }

void fenn_init() {
    if (fenn_state.inited) return;
    int console_only = fenn_state.console_only;
    std::memset(&fenn_state, 0, sizeof fenn_state);
    fenn_state.console_only = console_only;
    copy_title(fenn_state.application_title, pending_application_title);
    copy_title(fenn_state.window_title, pending_application_title);

    fenn_config_default();
    fenn_process_arguments(saved_argc, saved_argv);

    fenn_log_open(fenn_prefix_with_appdata_path("log.txt").c_str());
    fenn_debug(">fenn_init\n");
    fenn_debug("platform: %s\n", "Linux");

    fenn_config_load();
    fenn_process_arguments(saved_argc, saved_argv);
    if (force_headless) cconfig.headless = 1;

    if (!fenn_state.console_only) {
        fenn_debug("fenn_system_init\n");
        fenn_system_init();
        fenn_debug("fenn_reset_timer\n");
        fenn_reset_timer();
        fenn_debug("fenn_gui_init\n");
        fenn_debug("fenn_keys_init\n");
        fenn_keys_init();
        fenn_debug("fenn_text_init\n");
        fenn_text_init();
        fenn_debug("fenn_video_init\n");
        fenn_video_init();
        fenn_debug("fenn_mouse_init\n");
        fenn_debug("fenn_joystick_init\n");
        fenn_joystick_init();
    }
    fenn_srand(0);
    cconfig.sessions++;
    fenn_debug("<ok\n");
    fenn_state.inited = 1;
}

void fenn_exit() {
    if (!fenn_state.inited) return;
    fenn_debug(">fenn_exit\n");
    fenn_debug("vexel_audio_stop_music\n");
    fenn_debug("fenn_main_exit\n");
    fenn_debug("fenn_config_save\n");
    fenn_config_save();
    fenn_debug("vexel_audio_device_close\n");
    fenn_debug("fenn_video_exit\n");
    fenn_video_exit();
    fenn_debug("fenn_joystick_exit\n");
    fenn_joystick_exit();
    fenn_text_exit();
    fenn_debug("fenn_system_exit\n");
    if (!fenn_state.console_only) fenn_system_exit();
    fenn_debug("fenn_items_created: %d\n", fenn_items_created());
    fenn_debug("<ok\n");
    fenn_log_close();
    fenn_state.inited = 0;
}

void fenn_restart() {
    if (fenn_state.inited) {
        fenn_main_exit();
    }
    fenn_main_init();
}

void fenn_fatal_error(const char* text) {
    std::printf("\n\n** FATAL ERROR: %s\n\n", text);
    std::fflush(stdout);
    fenn_debug("\n\n** FATAL ERROR: %s\n\n", text);
    if (fenn_state.inited) fenn_exit();
    std::exit(1);
}

int fenn_main(int argc, char** argv) {
    saved_argc = argc;
    saved_argv = argv;
    std::snprintf(saved_argv0, sizeof saved_argv0, "%s", argc > 0 && argv[0] ? argv[0] : "");
    fenn_path_set_argv0(saved_argv0);

    fenn_main_init();
    fenn_quit = 0;
    while (!fenn_quit) {
        fenn_main_update();
        fenn_main_draw();
        fenn_blit_back_page();
        fenn_handle_system_messages();
        if (!in_gui_pass) {
            in_gui_pass = true;  // the GUI pass must not re-enter itself
            in_gui_pass = false;
        }
        if (iteration_hook) iteration_hook();
    }
    if (fenn_state.inited) fenn_main_exit();
    return fenn_exit_status();
}
