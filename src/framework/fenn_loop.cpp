#include "framework/fenn_loop.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "framework/fenn_bitmap.h"
#include "framework/fenn_config.h"
#include "framework/fenn_heap.h"
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
uint32_t random_state = 1;
int exit_status = 0;
volatile sig_atomic_t quit_signal = 0;

void on_quit_signal(int number) {
    quit_signal = number;
    fenn_quit = 1;
}
bool force_headless = false;

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

void fenn_srand(uint32_t seed) { random_state = seed * 2654435761u + 0x9e3779b9u; }

uint32_t fenn_fresh_seed() {
    try {
        std::random_device device;
        return device();
    } catch (const std::exception&) {
        // No entropy source: the clock still tells runs a second apart.
        return uint32_t(std::time(nullptr)) ^ uint32_t(std::clock());
    }
}

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

void fenn_quit_on_signals() {
    std::signal(SIGINT, on_quit_signal);
    std::signal(SIGTERM, on_quit_signal);
}

int fenn_quit_signal() { return quit_signal; }

void fenn_init() {
    if (fenn_state.inited) return;
    std::memset(&fenn_state, 0, sizeof fenn_state);
    copy_title(fenn_state.application_title, pending_application_title);
    copy_title(fenn_state.window_title, pending_application_title);

    fenn_config_default();
    fenn_process_arguments(saved_argc, saved_argv);

    fenn_log_open(fenn_prefix_with_appdata_path("log.txt").c_str());
    fenn_debug(">fenn_init\n");
    fenn_debug("platform: %s\n", "Linux");

    fenn_config_load();
    fenn_process_arguments(saved_argc, saved_argv);
    if (force_headless) fenn_cfg.headless = 1;

    fenn_debug("fenn_system_init\n");
    fenn_system_init();
    fenn_debug("fenn_keys_init\n");
    fenn_keys_init();
    fenn_debug("fenn_text_init\n");
    fenn_text_init();
    fenn_debug("fenn_video_init\n");
    fenn_video_init();
    fenn_debug("fenn_joystick_init\n");
    fenn_joystick_init();
    fenn_srand(0);
    fenn_cfg.sessions++;
    fenn_debug("<ok\n");
    fenn_state.inited = 1;
}

void fenn_exit() {
    if (!fenn_state.inited) return;
    fenn_debug(">fenn_exit\n");
    fenn_debug("fenn_config_save\n");
    fenn_config_save();
    fenn_debug("fenn_video_exit\n");
    fenn_video_exit();
    fenn_debug("fenn_joystick_exit\n");
    fenn_joystick_exit();
    fenn_text_exit();
    fenn_debug("fenn_system_exit\n");
    fenn_system_exit();
    fenn_debug("fenn_items_created: %d\n", fenn_items_created());
    fenn_debug("<ok\n");
    fenn_log_close();
    fenn_state.inited = 0;
}

void fenn_fatal_error(const char* text) {
    std::printf("\n\n** FATAL ERROR: %s\n\n", text);
    std::fflush(stdout);
    fenn_debug("\n\n** FATAL ERROR: %s\n\n", text);
    if (fenn_state.inited) fenn_exit();
    std::exit(1);
}

bool fenn_iteration(const fenn_app& app) {
    if (app.update) app.update();
    if (app.draw) app.draw();
    fenn_blit_back_page();
    // A quit the input pass asks for (a key, the window's close button) goes
    // through one more update, which may take it back to ask first; a quit
    // an update leaves set, or a signal, ends the loop at once.
    if (fenn_quit) return false;
    fenn_handle_system_messages();
    return quit_signal == 0;
}

#ifdef __EMSCRIPTEN__
namespace {

fenn_app web_app;
bool web_timer_pacing = false;

EM_JS(void, web_finished, (int status), {
    if (Module.vexelFinished) Module.vexelFinished(status);
});

void web_iteration() {
    if (web_timer_pacing) {
        // Tasks instead of animation frames, which a hidden or headless
        // page slows down or stops (test runs of N frames ask for this):
        // emscripten's setImmediate (a posted message), which browsers do
        // not hold back to 4 ms as they do nested timers.
        emscripten_set_main_loop_timing(EM_TIMING_SETIMMEDIATE, 0);
        web_timer_pacing = false;
    }
    if (!fenn_quit && fenn_iteration(web_app)) return;
    fenn_quit = 1;
    emscripten_cancel_main_loop();
    if (fenn_state.inited && web_app.exit) web_app.exit();
    web_finished(fenn_exit_status());
}

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void fenn_web_timer_pacing() { web_timer_pacing = true; }
#endif

int fenn_main(int argc, char** argv, const fenn_app& app) {
    fenn_keep_freed_heap();
    saved_argc = argc;
    saved_argv = argv;
    std::snprintf(saved_argv0, sizeof saved_argv0, "%s", argc > 0 && argv[0] ? argv[0] : "");
    fenn_path_set_argv0(saved_argv0);

    if (app.init) app.init();
    fenn_quit = quit_signal != 0;  // a signal during the start still ends the run
#ifdef __EMSCRIPTEN__
    // A page may not block: with a canvas the loop is the browser's
    // animation frame calling one iteration at a time (see web_iteration).
    if (fenn_platform_has_video()) {
        web_app = app;
        emscripten_set_main_loop(web_iteration, 0, 1);
        return 0;   // not reached: the main loop unwinds the stack
    }
#endif
    for (bool running = !fenn_quit; running;) running = fenn_iteration(app);
    if (fenn_state.inited && app.exit) app.exit();
    if (quit_signal) return 128 + quit_signal;
    return fenn_exit_status();
}
