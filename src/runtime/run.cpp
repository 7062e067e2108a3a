#include "runtime/run.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "app/app.h"
#include "audio/audio.h"
#include "framework/fenn_config.h"
#include "framework/fenn_log.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_video.h"
#include "machine/button.h"
#include "fixed/fixed.h"
#include "machine/math.h"
#include "machine/mem.h"
#include "machine/pstate.h"
#include "machine/text.h"
#include "runtime/api.h"
#include "runtime/header.h"
#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_co.h"
#include "machine/lua_alloc.h"
#include "runtime/pre.h"
#include "runtime/token.h"
#include "cart/cdata.h"
#include "cart/code_tabs.h"
#include "cart/disk.h"
#include "cart/rom.h"

vexel_runner runner;

namespace {

constexpr const char* program_global = "_qz_program";
constexpr const char* chunk_name = "=main";
constexpr int traceback_lines = 10;
constexpr int syntax_message_max = 1023;
int64_t last_draw_ms = 0;

// Bulletin-board cartridges that read the global nd before setting it.
const char* const nd_compat_ids[] = {"mellow_mushrooms", "orbit_keeper"};

int32_t frame_budget() { return run_cycles_per_second / std::max(runner.fps, 1); }

void add_cycles(int32_t& counter, int64_t cycles);

// Stops the program from inside the hook with an error nothing in it can
// catch (see lua_vexel_stop); the runner reports it by its reason.
[[noreturn]] void stop_program(lua_State* L, run_stop_reason reason, const char* message) {
    if (runner.stop_reason == run_stop_none) {
        runner.stop_reason = reason;
        std::snprintf(runner.stop_message, sizeof runner.stop_message, "%s", message);
    }
    lua_pushstring(L, runner.stop_message);
    lua_vexel_stop(L);
}

// The count hook: charges 1024 instructions and ends the frame when the
// budget is spent. A yield suspends the running thread and every coroutine
// resuming it, up to the runner. Where that is impossible (a finalizer, a
// function called from C) the code runs on until run_runaway_cycles have
// passed since the runner last resumed the program, and is then stopped;
// a quit request stops it at once.
void instruction_limiter(lua_State* L, lua_Debug*) {
    if (vexel_lua_soft_limit_reached) {
        // The heap passed its soft limit: end the slice so the runner can
        // collect, and run again in the same frame.
        vexel_lua_soft_limit_reached = false;
        runner.reslice_request = 1;
    }
    add_cycles(runner.frame_cycles, run_hook_every);
    add_cycles(runner.cycles_since_flip, run_hook_every);
    add_cycles(runner.unyielded_cycles, run_hook_every);
    // Something caught the stopping error after all: raise it again.
    if (lua_vexel_stopping(L)) stop_program(L, run_stop_reason(runner.stop_reason), "");
    const bool over = runner.frame_cycles >= frame_budget();
    const bool runaway = runner.unyielded_cycles >= run_runaway_cycles;
    const bool quit = fenn_quit && !runner.closing;
    if (!over && !runaway && !quit && !runner.reslice_request) return;
    if (lua_vexel_canyieldall(L)) {
        if (over || runaway) {
            runner.frame_cycles = 0;
            runner.budget_exhausted = 1;
        }
        lua_yield(L, 0);
        return;
    }
    if (quit) stop_program(L, run_stop_quit, "");
    if (runaway) {
        char where[32];
        lua_vexel_blocker(L, where, sizeof where);
        char message[64];
        std::snprintf(message, sizeof message, "cpu budget exceeded in %s", where);
        stop_program(L, run_stop_error, message);
    }
}

void copy_rom(vexel_cart* dst, const vexel_cart* src) {
    if (!dst || !src || dst == src) return;
    vexel_audio_lock();
    dst->gfx->pix = src->gfx->pix;
    dst->map->pix = src->map->pix;
    std::memcpy(dst->flags, src->flags, sizeof dst->flags);
    std::memcpy(dst->music, src->music, sizeof dst->music);
    std::memcpy(dst->music_flags, src->music_flags, sizeof dst->music_flags);
    std::memcpy(dst->sfx, src->sfx, sizeof dst->sfx);
    vexel_audio_unlock();
}

int count_newlines(const char* s) {
    int n = 0;
    for (; s && *s; ++s) n += *s == '\n';
    return n;
}

// Prints a compile or run-time position: "<what> line %d tab %d" and the line.
void print_position(const char* format, int line0, const char* code) {
    int tab = 0;
    int in_tab = find_tab_line(line0, &tab);
    if (in_tab < 0) vexel_print_2_col(format, 0, 0, 14);
    else vexel_print_2_col(format, in_tab + 1, tab, 14);
    char source[256];
    get_nth_line(code, line0, source, sizeof source);
    vexel_print_col(source, 7);
}

void print_syntax_error(const char* code, const char* message) {
    int lines = count_newlines(code) + 1;
    int line0 = std::min(lines + 1, lua_vexel_last_line(runner.L0) - vexel_header_lines);
    print_position("syntax error line %d (tab %d)", line0, code);
    if (std::strstr(message, "_end_of_program")) return;
    if (std::strstr(message, "<eof>") && std::strstr(message, "to close '")) {
        const char* q = std::strstr(message, "to close '") + 10;
        const char* e = std::strchr(q, '\'');
        std::string word(q, e ? size_t(e - q) : std::strlen(q));
        vexel_print_col(("unclosed " + word + "\n").c_str(), 6);
        return;
    }
    const char* colon = std::strrchr(message, ':');
    std::string text = colon ? std::string(colon[1] ? colon + 2 : colon + 1) : std::string(message);
    if (text.size() > size_t(syntax_message_max)) text.resize(syntax_message_max);
    char source[256];
    get_nth_line(code, lua_vexel_last_line(runner.L0) - vexel_header_lines, source, sizeof source);
    if (text == "unexpected symbol near 'end'" && !std::strstr(source, "end")) text = "unexpected end of line";
    vexel_print_col(text.c_str(), 6);
}

// The failed thread's call stack, innermost first, in tab terms. Read from
// the debug interface rather than from trace's text, whose line numbers are
// printed as 16.16 fractions and lose precision.
void print_traceback(lua_State* L) {
    lua_Debug ar;
    for (int level = 0, shown = 0; shown < traceback_lines && lua_getstack(L, level, &ar); ++level, ++shown) {
        if (!lua_getinfo(L, "Sln", &ar)) continue;
        if (!ar.name || std::strcmp(ar.what, "Lua") != 0) continue;
        if (!std::strcmp(ar.name, "_mainloop")) continue;
        int program_line = ar.currentline - vexel_header_lines;
        if (program_line < 0) continue;
        int tab = 0;
        int in_tab = find_tab_line(program_line, &tab);
        char out[512];
        std::snprintf(out, sizeof out, "in %s line %d (tab %d)", ar.name, in_tab + 1, tab);
        vexel_print_col(out, 13);
    }
}

// The message of an error raised through luaL_error starts with the chunk
// and line ("main:0: "); the line is already reported above it.
std::string without_position(const std::string& message) {
    const std::string chunk = std::string(chunk_name + 1) + ":";
    if (message.compare(0, chunk.size(), chunk) != 0) return message;
    size_t colon = message.find(": ", chunk.size());
    return colon == std::string::npos ? message : message.substr(colon + 2);
}

void report_runtime_error(lua_State* L, const char* code) {
    std::string message = without_position(lua_isstring(L, -1) ? lua_tostring(L, -1) : "error");
    const int line = lua_vexel_runtime_line(L);
    if (line > 2) print_position("runtime error line %d tab %d", line - vexel_header_lines, code);
    bool assertion = runner.assert_message[0] != 0;
    if (assertion) {
        vexel_print_col("assertion failed", 6);
        vexel_print_col(runner.assert_message, 7);
        vexel_print_col(runner.assert_message, 6);
    } else if (message == "not enough memory") {
        // The interpreter's own words for a refused allocation: the heap
        // limit or the cap on real bytes.
        vexel_print_col("out of memory", 6);
    } else if (message.find("-- vexel header") == std::string::npos) {
        vexel_print_col(message.c_str(), 6);
    }
    if (!vexel_lua_alloc_refused) print_traceback(L);
    vexel_lua_alloc_refused = false;
}

void quit_exec_mode(int status) {
    if (!app.exec_mode) return;
    if (status) fenn_set_exit_status(status);
    fenn_quit = 1;
}

int64_t script_memory() { return runner.L0 ? vexel_lua_program_memory() : 0; }

}  // namespace

// ---------------------------------------------------------------- machine

void start_lua_machine() {
    runner.L0 = lua_newstate(vexel_lua_alloc, nullptr);
    if (runner.L0) {
        lua_set_assert_hook(runner.L0, [](lua_State*, const char* message) { vexel_assert_message(message); });
        lua_vexel_set_charge(runner.L0, [](lua_State*, int cycles) { spend_cpu(cycles); });
    }
    vexel_lua_alloc_state = runner.L0;
    vexel_lua_code_charge = 0;
    if (runner.L0) add_c_functions(runner.L0);
}

void close_lua_machine() {
    if (runner.L0) {
        // Finalizers run now, each time-limited like any code that cannot
        // yield; once one runs away, the rest are skipped.
        runner.closing = 1;
        runner.unyielded_cycles = 0;
        runner.stop_reason = run_stop_none;
        lua_close(runner.L0);
        runner.closing = 0;
        if (runner.stop_reason == run_stop_error) vexel_print_col(runner.stop_message, 6);
        runner.stop_reason = run_stop_none;
    }
    runner.L0 = nullptr;
    vexel_lua_alloc_state = nullptr;
    pstate.program_active = 0;
    runner.console_line = 0;
}

void reset_lua_machine() {
    close_lua_machine();
    start_lua_machine();
}

void reset_runtime_state() {
    vexel_reset_draw_state(&pstate);
    gpio_open();
    runner.assert_message[0] = 0;
    runner.slice_count = 0;
    pstate.program_frame = 0;
    runner.penalty = 0;
}

void run_stop_program(lua_State* L, const char* message) { stop_program(L, run_stop_error, message); }

// -------------------------------------------------------------------- CPU

namespace {

// The counters are 32-bit; a program that never flips (or a test that never
// starts one) must not overflow them, so they stop at the ends of the range.
void add_cycles(int32_t& counter, int64_t cycles) {
    counter = int32_t(std::clamp<int64_t>(int64_t(counter) + cycles, INT32_MIN, INT32_MAX));
}

void charge(int64_t cycles, bool api) {
    add_cycles(runner.frame_cycles, cycles);
    add_cycles(runner.cycles_since_flip, cycles);
    add_cycles(runner.unyielded_cycles, cycles);
    if (api) add_cycles(runner.api_cycles_since_flip, cycles);
    add_cycles(runner.cpu_residue, cycles);
    if (runner.cpu_residue >= run_hook_every) {
        int32_t whole = runner.cpu_residue / run_hook_every * run_hook_every;
        runner.cpu_residue -= whole;
        if (runner.L0) lua_spend_cpu(runner.L0, whole);
    }
}

}  // namespace

int32_t spend_cpu(int32_t cycles) {
    if (cycles < 1) cycles = 1;
    charge(cycles, true);
    return cycles;
}

void refund_cpu(int32_t cycles) { charge(cycles, cycles > 0); }

int32_t cycles_2_frame_capacity(int32_t cycles) {
    int64_t per_frame = run_cycles_per_second / std::max(runner.base_fps, 1);
    return int32_t(int64_t(cycles) * 65536 / per_frame);
}

void runner_note_held_frame() { runner.held_in_slice = 1; }
void runner_set_draw_time(int64_t ms) { last_draw_ms = ms; }
bool program_runs_main_loop() { return runner.mainloop_kind == 2 && pstate.mode == shell_running; }

void update_frame_rate() {
    std::memmove(runner.fps_history, runner.fps_history + 1, sizeof(int32_t) * (run_fps_history - 1));
    runner.fps_history[run_fps_history - 1] = fenn_get_fps();
    int64_t sum = 0;
    int samples = 0;
    for (int32_t s : runner.fps_history) {
        sum += s;
        samples += s != 0;
    }
    int64_t average = sum / std::max(samples, 1);
    int32_t base = std::max(runner.base_fps, 1);
    int32_t load;
    if (runner.cpu_mark[0] < runner.cpu_mark[2]) {
        int32_t sample = int32_t(int64_t(runner.cpu_mark[2] - runner.cpu_mark[0]) * 65536 / (run_cycles_per_second / base));
        load = std::max(sample, runner.prev_cpu_load);
        runner.prev_cpu_load = sample;
    } else {
        load = 16 * 65536;
    }
    int64_t frame_ms;
    if (runner.time_mark[0] < runner.time_mark[2]) {
        int sleep = fenn_is_app_active() ? cconfig.foreground_sleep_ms : cconfig.background_sleep_ms;
        frame_ms = (runner.time_mark[2] - runner.time_mark[0]) + std::max<int64_t>(last_draw_ms, 0) + runner.penalty + sleep;
    } else {
        frame_ms = 1000;
    }
    if (!app.host_framerate_control) {
        average = 10000;
        frame_ms = 0;
    }
    bool held = runner.held_in_slice;
    runner.held_in_slice = 0;
    if (held && runner.fps == runner.base_fps) {
        runner.fps = std::max(runner.fps / 2, 15);
        return;
    }
    if (runner.fps == 60 && average < 58 && runner.base_fps == 60) {
        runner.fps = 30;
        int64_t now = fenn_get_time();
        if (fenn_is_app_active() && now - runner.last_slowdown < 200) runner.penalty = std::min(runner.penalty + 1, 10);
        runner.last_slowdown = now;
    } else if (runner.fps < runner.base_fps && average >= runner.base_fps - 2 &&
               (runner.base_fps == 30 || frame_ms < 17) && load < 63488) {
        runner.fps = runner.base_fps;
    }
}

// ------------------------------------------------------------------- tabs

int find_tab_line(int line, int* tab) {
    *tab = 0;
    if (line < 0) return -1;
    for (int t = 0; t < vexel_code_tabs; ++t) {
        int size = count_newlines(pstate.code_tabs[t]) + 2;
        if (line < size) {
            *tab = t;
            return line;
        }
        line -= size;
    }
    return -1;
}

void get_nth_line(const char* text, int n, char* out, int out_size) {
    if (out_size < 1) return;
    const char* p = text ? text : "";
    for (int i = 0; i < n && p; ++i) {
        p = std::strchr(p, '\n');
        if (p) ++p;
    }
    if (!p || n < 0) {
        std::snprintf(out, size_t(out_size), "<eof>");
        return;
    }
    const char* e = std::strchr(p, '\n');
    size_t len = std::min(e ? size_t(e - p) : std::strlen(p), size_t(out_size - 1));
    std::memcpy(out, p, len);
    out[len] = 0;
}

void get_lid_from_filename(const char* name, char* out, int out_size) {
    out[0] = 0;
    const char* dot = std::strstr(name, ".qz");
    if (!dot) return;
    auto ok = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'; };
    const char* start = dot;
    while (start > name && ok(start[-1])) --start;
    size_t len = std::min(size_t(dot - start), size_t(out_size - 1));
    std::memcpy(out, start, len);
    out[len] = 0;
}

void vexel_assert_message(const char* text) {
    std::snprintf(runner.assert_message, sizeof runner.assert_message, "%s", text ? text : "");
}

// -------------------------------------------------------------- run chain

namespace {
run_chain_item* chain_top() {
    return runner.chain && runner.chain_items > 0 ? &runner.chain[runner.chain_items - 1] : nullptr;
}
}  // namespace

void add_run_chain_item(const char* file, const char* label, int pending) {
    if (!runner.chain) runner.chain = new run_chain_item[run_chain_max]();
    if (runner.chain_items >= run_chain_max) return;
    run_chain_item& it = runner.chain[runner.chain_items++];
    std::snprintf(it.file, sizeof it.file, "%s", file ? file : "");
    std::snprintf(it.label, sizeof it.label, "%s", label ? label : "");
    std::snprintf(it.params, sizeof it.params, "%s", runner.params);
    it.pending = pending;
}

void reset_run_chain() { runner.chain_items = 0; }
void pop_run_chain() {
    if (runner.chain_items > 0) --runner.chain_items;
}
const char* get_run_chain_label() { return chain_top() ? chain_top()->label : nullptr; }
const char* get_run_chain_filename() { return chain_top() ? chain_top()->file : nullptr; }
const char* get_run_chain_param_str() { return chain_top() ? chain_top()->params : nullptr; }
void run_chain_cancel_pending() {
    if (chain_top() && chain_top()->pending) pop_run_chain();
}
void run_chain_confirm_pending() {
    if (chain_top()) chain_top()->pending = 0;
}

// ---------------------------------------------------------------- running

void run_cart() {
    vexel_cart* cart = pstate.working_cart;
    if (!cart) return;
    if (merge_code_from_tabs() > size_t(vexel_code_max)) {
        vexel_print_col("program exceeds char limit", 6);
        quit_exec_mode(2);
        return;
    }
    std::snprintf(runner.params, sizeof runner.params, "%s", runner.pending_params);
    runner.pending_params[0] = 0;
    runner.online_id[0] = 0;
    runner.local_path[0] = 0;
    const char* name = cart_disk.filename;
    if (app.root_path[0] && std::strstr(name, app.root_path)) {
        std::snprintf(runner.local_path, sizeof runner.local_path, "%s", std::strstr(name, app.root_path) + std::strlen(app.root_path));
    } else if (std::strstr(name, "bbs/")) {
        get_lid_from_filename(name, runner.online_id, sizeof runner.online_id);
    } else {
        std::snprintf(runner.local_path, sizeof runner.local_path, "%s", name);
    }
    reset_lua_machine();
    copy_rom(pstate.cart, cart);
    for (int i = 0; i < run_menu_items; ++i) {
        runner.menu_labels[i][0] = 0;
        runner.menu_selected[i] = 0;
    }
    vexel_srand(uint32_t(std::time(nullptr)) + uint32_t(fenn_get_time()));
    rom_reset_for_run();
    cdata_reset_for_run();
    runner.printh_bytes = 0;
    vexel_buttons.program_reads = 0;
    int ok = run_program(cart->code);
    vexel_audio_stop_all();
    vexel_audio_stop_song(pstate.cart);
    runner.fps = 30;
    block_buttons();
    if (!ok) quit_exec_mode(2);
}

namespace {

// Compiles `text` as a program and, on success, enters running mode with it
// as the main function. A console line leaves out the footer: it is one
// statement to run once, and the footer would start the main loop of
// whatever _update or _draw the script machine still holds.
int compile_program(const char* text, bool footer_wanted) {
    lua_State* L = runner.L0;
    runner.mainloop_kind = 0;
    fenn_state.audio_pause_state = 0;
    runner.program_paused = 0;
    runner.held_any = 0;
    if (!L) {
        vexel_print_col("out of memory", 6);
        return 0;
    }
    size_t length = std::strlen(text);
    vexel_limit_report limits{};
    if (vexel_check_code_limits(text, length, &limits) != vexel_limits_ok) {
        vexel_print_col(limits.heading, 6);
        if (limits.detail[0]) vexel_print_col(limits.detail, 6);
        return 0;
    }
    runner.memory_charge = limits.tokens * 16;
    lua_reset_call_state_vexel(L);
    lua_vexel_clear_stop(L);
    runner.stop_reason = run_stop_none;

    auto buffer = std::make_unique<char[]>(run_code_buffer_size);
    std::string head = vexel_program_header;
    for (const char* id : nd_compat_ids)
        if (!std::strcmp(runner.online_id, id)) head += " nd=0 ";
    size_t used = head.size();
    std::memcpy(buffer.get(), head.data(), used);

    // Console shorthand: a text that is only a command becomes a call.
    std::string program = text;
    static const char* const shorthand[] = {"help", "run", "cls", "folder", "reboot", "shutdown", "ls",
                                            "dir", "mkdir", "cd", "load", "save", "install_demos",
                                            "install_games", "info", "export", "keyconfig", "splore",
                                            "import", "login", "logout"};
    for (const char* name : shorthand) {
        size_t n = std::strlen(name);
        if (program == name) {
            program = std::string(name) + "()";
            break;
        }
        if (program.size() >= n + 2 && !program.compare(0, n, name) && program[n] == ' ' && program[n + 1] != '"') {
            program = std::string(name) + "(\"" + program.substr(n + 1) + "\")";
            break;
        }
    }
    if (program == "s") program = "splore()";
    if (program == "resume") {
        block_buttons();
        program = "if (_mainloop) then _mainloop() else print(\"no _mainloop()\") end";
    }

    size_t footer = footer_wanted ? std::strlen(vexel_program_footer) : 0;
    size_t capacity = size_t(run_code_buffer_size) - used - footer - 1;
    vexel_pre_report report{};
    if (vexel_preprocess(program.data(), program.size(), buffer.get() + used, capacity, &report) != vexel_pre_ok) {
        vexel_print_col(report.message, 6);
        return 0;
    }
    used += report.length;
    std::memcpy(buffer.get() + used, vexel_program_footer, footer);
    used += footer;
    buffer[used] = 0;

    vexel_lua_compiling = true;
    int status = luaL_loadbuffer(L, buffer.get(), used, chunk_name);
    vexel_lua_compiling = false;
    vexel_lua_code_charge = runner.memory_charge;
    if (status != LUA_OK) {
        std::string message = lua_isstring(L, -1) ? lua_tostring(L, -1) : "";
        lua_pop(L, 1);
        print_syntax_error(text, message.c_str());
        return 0;
    }
    lua_setglobal(L, program_global);
    block_buttons();
    if (pstate.pending == pending_run_cart) reset_runtime_state();
    pstate.mode = shell_running;
    pstate.program_active = 1;
    runner.has_run = 1;
    runner.frame_cycles = runner.cycles_since_flip = runner.api_cycles_since_flip = 0;
    return 1;
}

bool is_blank(const char* s) {
    for (; *s; ++s)
        if (*s != ' ' && *s != '\t') return false;
    return true;
}

}  // namespace

int run_program(const char* text) { return compile_program(text, true); }

int run_console_line(const char* line) {
    runner.console_line = 0;
    if (!line || is_blank(line)) return 0;
    // Whatever reaches here is typed by hand: capped like the prompt's buffer.
    std::snprintf(runner.console_text, sizeof runner.console_text, "%s", line);
    if (!runner.L0) start_lua_machine();
    // Before any program has run, the draw state is still all zero (every
    // colour drawn as 0): a typed print or circfill starts from the state a
    // program starts with.
    if (!runner.has_run) vexel_reset_draw_state(&pstate);
    if (!std::strcmp(runner.console_text, "resume")) {
        // The stopped program carries on: it is active again, with its own
        // main loop and frame rate.
        const int32_t kind = runner.mainloop_kind;
        const int ok = compile_program(runner.console_text, true);
        if (ok) runner.mainloop_kind = kind;
        return ok;
    }
    if (!compile_program(runner.console_text, false)) return 0;
    // A line typed at the console is no running cartridge: commands that a
    // program may not use (help, reboot, splore, the ls listing) work, and
    // load and save act for the user.
    pstate.program_active = 0;
    runner.console_line = 1;
    runner.fps = 30;
    return 1;
}

bool console_line_running() { return runner.console_line && pstate.mode == shell_running; }

namespace {

// After the program was stopped from inside (lua_vexel_stop): a quit
// request ends it quietly, a runaway is reported like a runtime error.
// `in_collection`: the stop came from a finalizer the runner's collection
// ran, so there is no error on the program's stack.
void end_stopped_program(lua_State* L, bool in_collection) {
    const int32_t reason = runner.stop_reason;
    runner.stop_reason = run_stop_none;
    lua_vexel_clear_stop(L);
    if (reason == run_stop_quit) {
        suspend_program();
        return;
    }
    const char* code = runner.console_line ? runner.console_text
                       : pstate.working_cart ? pstate.working_cart->code : "";
    suspend_program();
    if (in_collection) vexel_print_col(runner.stop_message, 6);
    else report_runtime_error(L, code);
    quit_exec_mode(2);
}

}  // namespace

void run_slice() {
    for (int slice = 0; slice < run_max_slices; ++slice) {
        runner.slice_count++;
        runner.reslice_request = 0;
        runner.unyielded_cycles = 0;
        lua_State* L = runner.L0;
        if (!L) return;

        lua_gc(L, LUA_GCRESTART, 0);
        if (lua_gc(L, LUA_GCISRUNNING, 0)) lua_gc(L, LUA_GCCOLLECT, 0);
        if (lua_vexel_stopping(L)) {  // a finalizer ran away or the host is quitting
            lua_gc(L, LUA_GCSTOP, 0);
            end_stopped_program(L, true);
            return;
        }
        if (script_memory() > run_memory_limit) {
            int64_t before = script_memory();
            lua_gc(L, LUA_GCCOLLECT, 0);
            if (script_memory() > run_memory_limit) {
                fenn_debug("gc hard collect: %d -> %d\n", int(before), int(script_memory()));
                reset_lua_machine();
                suspend_program();
                vexel_print_col("out of memory", 6);
                quit_exec_mode(2);
                return;
            }
        }
        lua_gc(L, LUA_GCSTOP, 0);

        if (pstate.mode != shell_running) return;
        if (lua_status(L) == LUA_OK) {
            lua_settop(L, 0);
            lua_getglobal(L, program_global);
        }
        runner.cpu_residue = 0;
        lua_sethook(L, instruction_limiter, LUA_MASKCOUNT, run_hook_every);
        int status = lua_resume(L, nullptr, 0);
        if (status == LUA_OK) {
            suspend_program();
            return;
        }
        if (status != LUA_YIELD && lua_vexel_stopping(L)) {
            end_stopped_program(L, false);
            return;
        }
        if (status != LUA_YIELD) {
            const char* code = runner.console_line ? runner.console_text
                               : pstate.working_cart ? pstate.working_cart->code : "";
            suspend_program();
            report_runtime_error(L, code);
            quit_exec_mode(2);
            return;
        }
        // Nothing is popped: a yield from the count hook leaves the running
        // function's registers on the stack.
        cdata_flush_due(fenn_get_time());
        if (!runner.reslice_request) return;
    }
}

void suspend_program() {
    if (pstate.reset_glitch) return;
    bool was_running = pstate.mode == shell_running;
    if (pstate.program_active) {
        vexel_audio_stop_all();
        vexel_audio_stop_song(pstate.cart);
        fenn_state.audio_pause_state = 0;
        save_cdata();
    }
    vexel_mem_stop(&pstate, pstate.program_active != 0);
    pstate.mode = shell_console;
    pstate.held_frame = 0;
    runner.console_line = 0;
    fenn_flush_keys();
    if (was_running) quit_exec_mode(0);
}
