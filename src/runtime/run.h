// run: the program runner.
//
// It owns the one script machine L0, turns the working cartridge's code
// (eight tabs joined) into a program — header, preprocessed code, footer —
// and advances it one machine frame at a time: run_slice resumes the
// program's main function, which yields at flip() or when the frame's CPU
// budget is spent (a count hook every 1024 instructions). API calls charge
// extra cycles through spend_cpu/refund_cpu. Errors are reported on the
// console by tab and line, with the source line and a traceback.
//
// The frame loop calls run_cart through the run_cart pending action and
// run_slice once per machine frame in running mode.
#pragma once
#include <cstddef>
#include <cstdint>

struct lua_State;

constexpr int run_code_buffer_size = 81920;    // header + program + footer
constexpr int run_params_max = 1024;
constexpr int32_t run_cycles_per_second = 4194304;
constexpr int run_hook_every = 1024;           // instructions between budget checks
constexpr int run_memory_limit = 2097152;      // script heap + code charge
constexpr int run_max_slices = 1024;
constexpr int run_fps_history = 30;
constexpr int run_chain_max = 2047;
constexpr int run_menu_items = 5;
constexpr int run_console_line_max = 256;    // a command line typed at the console
// A program that cannot be suspended where it runs (a finalizer, a
// metamethod called from C) is stopped after this many cycles without a
// yield to the runner: four frames' budget at 30 frames a second.
constexpr int32_t run_runaway_cycles = run_cycles_per_second / 30 * 4;

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
    lua_State* L0;
    char params[run_params_max + 1];          // the running program's parameters (stat(6))
    char pending_params[run_params_max + 1];  // moved into params by run_cart
    char online_id[1025];
    char local_path[1025];

    int32_t cpu_residue;
    int32_t frame_cycles;
    int32_t cycles_since_flip;
    int32_t api_cycles_since_flip;
    int32_t budget_exhausted;
    int32_t unyielded_cycles;                  // since the runner last resumed the program
    int32_t closing;                           // the script machine is being closed
    int32_t stop_reason;                       // run_stop_reason
    char stop_message[64];
    int64_t printh_bytes;                      // written by printh since the program started
    int32_t cpu_mark[3];
    int64_t time_mark[3];

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

    char menu_labels[run_menu_items][32];
    int32_t menu_selected[run_menu_items];

    run_chain_item* chain;                     // run_chain_max entries
    int32_t chain_items;
};

extern vexel_runner runner;

void start_lua_machine();
void reset_lua_machine();
void close_lua_machine();
void reset_runtime_state();
void run_cart();
int run_program(const char* text);
// Runs a line typed at the console the way a program text is run (a line
// that is only a command becomes a call of it), in the script machine of
// the last program so that its variables can be looked at, without the
// footer and with no program active. "resume" carries on the stopped
// program instead. Returns 1 when the line compiled (running mode), 0
// otherwise (the error is on the console). Blank lines do nothing.
int run_console_line(const char* line);
// Whether the program being run is a console line.
bool console_line_running();
void run_slice();
void suspend_program();

// Stops the running program from inside an API call with `message`, as a
// runtime error that nothing in the program can catch.
[[noreturn]] void run_stop_program(lua_State* L, const char* message);

// CPU charges of API calls; values below 1 charge 1. Returns the charge.
int32_t spend_cpu(int32_t cycles);
// A signed adjustment; negative values give cycles back.
void refund_cpu(int32_t cycles);
// cycles as a 16.16 fraction of one frame's budget at the base frame rate.
int32_t cycles_2_frame_capacity(int32_t cycles);
void update_frame_rate();
// Tells the frame-rate logic that the program still held its frame when the
// slice ended (it overran its budget).
void runner_note_held_frame();

// Whether the program runs the generated main loop, which reads the buttons
// itself (the shell then leaves them alone).
bool program_runs_main_loop();

// Tabs (joined and split by cart/code_tabs).
int find_tab_line(int line, int* tab);
// Line n (0-based) of text into out, or "<eof>" when the text is shorter.
void get_nth_line(const char* text, int n, char* out, int out_size);
// The online id in a file name (the run of [a-z0-9_-] just before ".qz").
void get_lid_from_filename(const char* name, char* out, int out_size);
void vexel_assert_message(const char* text);

// Run chain.
void add_run_chain_item(const char* file, const char* label, int pending);
void reset_run_chain();
void pop_run_chain();
const char* get_run_chain_label();
const char* get_run_chain_filename();
const char* get_run_chain_param_str();
void run_chain_cancel_pending();
void run_chain_confirm_pending();

// The last draw's duration (ms), measured by the shell.
void runner_set_draw_time(int64_t ms);
