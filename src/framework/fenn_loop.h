// fenn_loop: process entry, framework start-up and shutdown, the frame loop.
//
// The framework knows nothing of the console. The console plugs in through
// the four functions of a fenn_app record handed to fenn_main, which calls
// init once and then, every iteration until fenn_quit is set: update, draw,
// fenn_blit_back_page (present) and fenn_handle_system_messages (sleep and
// input); exit at the end when the framework is up.
// fenn_init/fenn_exit bring the framework up and down; each is harmless when
// called twice.
#pragma once
#include <cstdint>

constexpr int fenn_title_max = 256;
constexpr int fenn_argv0_max = 512;

struct fenn_state_t {
    char application_title[fenn_title_max + 1];
    char window_title[fenn_title_max + 1];
    int paused;               // fenn_set_paused
    int inited;
};

extern fenn_state_t fenn_state;
extern volatile int fenn_quit;

// What the program running on the framework does at each point of the loop.
// Any of them may be null.
struct fenn_app {
    void (*init)();
    void (*update)();
    void (*draw)();
    void (*exit)();
};

int fenn_main(int argc, char** argv, const fenn_app& app);
// One pass of the loop: update, draw, present, input. fenn_main calls it
// until it answers false (in a web page, once per animation frame).
bool fenn_iteration(const fenn_app& app);
void fenn_init();
void fenn_exit();

// Arguments as given to fenn_main, for the option parsers.
int fenn_argc();
char** fenn_argv();

void fenn_set_application_title(const char* text);   // only before fenn_init
const char* fenn_application_title();
void fenn_set_window_title(const char* text);          // null clears it
void fenn_set_paused(int flag);
// Asks fenn_init for a run without a window whatever the settings say.
void fenn_request_headless();

// The framework's random generator: fenn_random(n) is in 0..n-1 (0 when n < 1).
void fenn_srand(uint32_t seed);
// A seed that differs from run to run (the system's entropy source).
uint32_t fenn_fresh_seed();
int fenn_random(int n);

// Prints "** FATAL ERROR" to standard output and the log, shuts down and
// exits with a non-zero status.
[[noreturn]] void fenn_fatal_error(const char* text);

// Status fenn_main returns (0 unless the console sets another, as exec mode does).
void fenn_set_exit_status(int status);
int fenn_exit_status();

// SIGINT and SIGTERM end the loop as fenn_quit does (the program still
// shuts down in order and saves what it keeps); fenn_main then returns
// 128 + the signal's number (130, 143), what shells expect of a program a
// signal ended, instead of the status of a normal end.
void fenn_quit_on_signals();
// The signal that ended the loop, or 0.
int fenn_quit_signal();


