// run: the program runner of a machine.
//
// It owns the machine's script machine (vexel_machine::L), turns the working
// cartridge's code (the tabs joined) into a program — header, preprocessed
// code, footer — and advances it one machine frame at a time: run_slice
// resumes the program's main function, which yields at flip() or when the
// frame's CPU budget is spent (a count hook every vexel_hook_every
// instructions). A budget yield suspends every coroutine up to the program's
// main thread; code that cannot be suspended (a finalizer, a metamethod
// called from C) is stopped after vexel_runaway_cycles with an error nothing
// in the program can catch. API calls charge their cycles through
// machine/cpu. Errors are reported on the console by tab and line, with the
// source line and a traceback; so are errors of finalizers run between
// frames or at the close, which no caller could take ("runtime error in
// __gc").
//
// The runner's state is a vexel_runner owned by the machine
// (vexel_machine::runner). The shell calls run_cart when it carries out a
// run request and run_slice once per machine frame while m->running.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cart/cart_include.h"

#include "machine/cpu.h"

struct lua_State;
struct vexel_machine;

constexpr int run_code_buffer_size = 81920;    // header + program + footer
constexpr int run_params_max = 1024;
constexpr int run_memory_limit = 2097152;      // script heap + code charge
constexpr int run_max_slices = 1024;
constexpr int run_fps_history = 30;
constexpr int run_chain_max = 2047;
constexpr int run_menu_items = 5;
constexpr int run_console_line_max = 256;      // a command line typed at the console

// printh: one call writes at most this much of its text, and a headless
// run stops a program whose output passes the total.
constexpr size_t run_printh_call_max = 65536;
constexpr int64_t run_printh_exec_total = int64_t(64) << 20;

// Why the runner stopped a program from inside (lua_vexel_stop).
enum run_stop_reason : int32_t {
    run_stop_none = 0,
    run_stop_quit,      // the host was asked to quit
    run_stop_error,     // reported like a runtime error (ran away where it could not yield, ...)
};

struct run_chain_item {
    char file[256];
    char label[32];
    char params[run_params_max + 1];
    int pending;
};

struct vexel_runner {
    char params[run_params_max + 1];          // the running program's parameters (stat(6))
    char pending_params[run_params_max + 1];  // moved into params by run_cart
    char online_id[1025];
    char local_path[1025];

    int32_t cpu_mark[3];
    int64_t time_mark[3];
    int64_t last_draw_ms;                      // the last draw's duration, measured by the shell

    int32_t fps;                               // 15, 30 or 60
    int32_t base_fps;                          // what the program asked for
    int32_t fps_history[run_fps_history];
    int32_t prev_cpu_load;
    int32_t penalty;
    int64_t last_slowdown;
    int32_t held_in_slice;                     // the frame was held when the last slice ended

    int32_t mainloop_kind;                     // 0 none, 1 the program's, 2 generated
    int32_t program_paused;
    int32_t memory_charge;                     // tokens x 16
    int32_t slice_count;
    int32_t reslice_request;
    int32_t has_run;                           // a program has run since start-up
    int32_t held_any;                          // the program has held a frame
    int32_t console_line;                      // running a line typed at the console
    char console_text[run_console_line_max + 1];
    char assert_message[255];
    // Where the last error report of the cartridge's program pointed: the
    // code tab and the line in it (from 1; 0 when there is none to go to).
    int32_t error_tab;
    int32_t error_line;

    int32_t closing;                           // the script machine is being closed
    int32_t stop_reason;                       // run_stop_reason
    char stop_message[64];
    int64_t printh_bytes;                      // written by printh since a person started the program
    // The next run_cart is a restart the running program asked for (run(),
    // load()): the bounds on what it may write (printh bytes, cstore files,
    // save ids) carry over instead of starting afresh.
    int32_t program_restart;
    // The first error of a finalizer that failed where nothing could take
    // it (the collection between frames, the close), waiting for its report.
    int32_t gc_error_pending;
    int32_t gc_error_line;                     // line of the compiled text, 0 when unknown
    char gc_error[256];
    int64_t folder_launched_ms;                // when folder() last opened the host's file browser

    char menu_labels[run_menu_items][32];
    int32_t menu_selected[run_menu_items];

    run_chain_item* chain;                     // run_chain_max entries, made on first use
    int32_t chain_items;

    // The cartridge's program as it last started: its #include lines
    // joined with their files, and where each line came from (empty when
    // nothing was included). Reports name an included file's own lines
    // while the running program is this text.
    std::string program_text;
    std::vector<cart_include_origin> program_lines;
    std::vector<std::string> program_files;
    bool program_lines_in_use = false;
};

// The script machine: made fresh, closed (finalizers run under a ceiling),
// or both.
void run_start_lua(vexel_machine* m);
void run_close_lua(vexel_machine* m);
void run_reset_lua(vexel_machine* m);
// The draw state and counters a freshly started program begins with.
void run_reset_state(vexel_machine* m);

// Starts the working cartridge (the shell's run request).
void run_cart(vexel_machine* m);
// The program run_cart runs: vexel_join_working_program (machine/disk).
cart_joined_program run_join_program(vexel_machine* m);
// Compiles a program text and makes it the running program; 1 when it
// compiled (the machine is then running), 0 after an error on the console.
int run_program(vexel_machine* m, const char* text);
// Runs a line typed at the console the way a program text is run (a line
// that is only a command becomes its call), in the script machine of the
// last program so that its variables can be looked at, without the footer
// and with no program active. "resume" carries on the stopped program
// instead. Returns 1 when the line compiled (running), 0 otherwise (the
// error is on the console). Blank lines do nothing.
int run_console_line(vexel_machine* m, const char* line);
// Whether the program being run is a console line.
bool run_console_line_running(const vexel_machine* m);
// One machine frame of the running program.
void run_slice(vexel_machine* m);
// Stops the running program (it can be resumed).
void run_suspend(vexel_machine* m);

// Stops the running program from inside an API call with `message`, as a
// runtime error that nothing in the program can catch.
[[noreturn]] void run_stop_program(lua_State* L, const char* message);
// Ends the running program from inside an API call where it cannot yield
// (a finalizer): quietly, as when it ends by itself.
[[noreturn]] void run_end_program(lua_State* L);

// cycles as a 16.16 fraction of one frame's budget at the base frame rate.
int32_t run_frame_capacity(const vexel_machine* m, int32_t cycles);
void run_update_frame_rate(vexel_machine* m);
// Tells the frame-rate logic that the program still held its frame when the
// slice ended (it overran its budget).
void run_note_held_frame(vexel_machine* m);
// The last draw's duration (ms), measured by the shell.
void run_set_draw_time(vexel_machine* m, int64_t ms);

// Whether the program runs the generated main loop, which reads the buttons
// itself (the shell then leaves them alone).
bool run_program_runs_main_loop(const vexel_machine* m);

// Tabs: the tab and the line within it of line `line` of the joined program
// (-1 when past the end).
int run_find_tab_line(const vexel_machine* m, int line, int* tab);
// Line n (0-based) of text into out, or "<eof>" when the text is shorter.
void run_nth_line(const char* text, int n, char* out, int out_size);
// The online id in a file name (the run of [a-z0-9_-] just before ".qz").
void run_online_id_of(const char* name, char* out, int out_size);

// The run chain: the cartridges a program loaded one from another, so the
// pause menu can go back.
void run_chain_push(vexel_machine* m, const char* file, const char* label, int pending);
void run_chain_reset(vexel_machine* m);
void run_chain_pop(vexel_machine* m);
const char* run_chain_label(const vexel_machine* m);
const char* run_chain_file(const vexel_machine* m);
const char* run_chain_params(const vexel_machine* m);
void run_chain_cancel_pending(vexel_machine* m);
void run_chain_confirm_pending(vexel_machine* m);
