#include "runtime/run.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "audio/audio.h"
#include "cart/cart_include.h"
#include "framework/fenn_config.h"
#include "framework/fenn_log.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_video.h"
#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_co.h"
#include "machine/button.h"
#include "machine/cdata.h"
#include "machine/disk.h"
#include "machine/host.h"
#include "machine/lua_alloc.h"
#include "machine/machine.h"
#include "machine/math.h"
#include "machine/mem.h"
#include "machine/rom.h"
#include "machine/text.h"
#include "runtime/api.h"
#include "runtime/commands.h"
#include "runtime/header.h"
#include "runtime/pre.h"
#include "runtime/token.h"

namespace {

constexpr const char* program_global = "_qz_program";
constexpr const char* chunk_name = "=main";
constexpr int traceback_lines = 10;
constexpr int syntax_message_max = 1023;

// Bulletin-board cartridges that read the global nd before setting it.
const char* const nd_compat_ids[] = {"mellow_mushrooms", "orbit_keeper"};

// What a fresh program's random generator starts from: the host's seed
// when it gives one (-seed), so that runs repeat exactly, else the clock.
uint32_t run_seed(const vexel_machine* m) {
    if (m->host && m->host->seeded) return m->host->seed;
    return fenn_fresh_seed();
}

int32_t frame_budget(const vexel_machine* m) { return vexel_cycles_per_second / std::max(m->runner->fps, 1); }

void quit_exec_mode(vexel_machine* m, int status);

// Stops the program from inside the hook with an error nothing in it can
// catch (see lua_vexel_stop); the runner reports it by its reason.
[[noreturn]] void stop_program(lua_State* L, run_stop_reason reason, const char* message) {
    vexel_runner* r = vexel_lua_machine(L)->runner;
    if (r->stop_reason == run_stop_none) {
        r->stop_reason = reason;
        std::snprintf(r->stop_message, sizeof r->stop_message, "%s", message);
    }
    lua_pushstring(L, r->stop_message);
    lua_vexel_stop(L);
}

// The count hook: charges vexel_hook_every instructions and ends the frame
// when the budget is spent. A yield suspends the running thread and every
// coroutine resuming it, up to the runner. Where that is impossible (a
// finalizer, a function called from C) the code runs on until
// vexel_runaway_cycles have passed since the runner last resumed the
// program, and is then stopped; a quit request stops it at once.
void instruction_limiter(lua_State* L, lua_Debug*) {
    vexel_machine* m = vexel_lua_machine(L);
    vexel_runner* r = m->runner;
    if (m->heap.soft_limit_reached) {
        // The heap passed its soft limit: end the slice so the runner can
        // collect, and run again in the same frame.
        m->heap.soft_limit_reached = false;
        r->reslice_request = 1;
    }
    vexel_cpu_add(m->cpu.frame_cycles, vexel_hook_every);
    vexel_cpu_add(m->cpu.cycles_since_flip, vexel_hook_every);
    vexel_cpu_add(m->cpu.unyielded_cycles, vexel_hook_every);
    // Something caught the stopping error after all: raise it again.
    if (lua_vexel_stopping(L)) stop_program(L, run_stop_reason(r->stop_reason), "");
    const bool over = m->cpu.frame_cycles >= frame_budget(m);
    const bool runaway = m->cpu.unyielded_cycles >= vexel_runaway_cycles;
    const bool quit = !r->closing && vexel_host_quit_requested(m);
    if (!over && !runaway && !quit && !r->reslice_request) return;
    if (lua_vexel_canyieldall(L)) {
        if (over || runaway) {
            m->cpu.frame_cycles = 0;
            m->cpu.budget_exhausted = 1;
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

// Where program line `line0` (counted from 0 in the joined program) is, as
// every report says it: "line 3", or "line 3 tab 1" when the cartridge's
// program has more than one tab.
std::string position_text(const vexel_machine* m, int line0) {
    // A line of an included file is named by the file and its own line.
    const vexel_runner* r = m->runner;
    if (r->program_lines_in_use && line0 >= 0 && size_t(line0) < r->program_lines.size()) {
        const cart_include_origin origin = r->program_lines[size_t(line0)];
        if (origin.file > 0 && size_t(origin.file) < r->program_files.size())
            return r->program_files[size_t(origin.file)] + " line " + std::to_string(origin.line + 1);
        line0 = origin.line;
    }
    int tab = 0;
    int in_tab = run_find_tab_line(m, line0, &tab);
    if (in_tab < 0) in_tab = tab = 0;
    bool several_tabs = false;
    for (int t = 1; t < vexel_code_tabs; ++t) several_tabs = several_tabs || (m->code_tabs[t] && m->code_tabs[t][0]);
    char out[48];
    if (several_tabs) std::snprintf(out, sizeof out, "line %d tab %d", in_tab + 1, tab);
    else std::snprintf(out, sizeof out, "line %d", in_tab + 1);
    return out;
}

// Prints "<what> <position>" and the program line there. A position in
// the cartridge's own program (not a typed line) is kept for the code
// editor to open at.
void print_position(vexel_machine* m, const char* what, int line0, const char* code) {
    vexel_print_col(m, (std::string(what) + " " + position_text(m, line0)).c_str(), 14);
    const vexel_runner* r = m->runner;
    int main_line = line0;
    bool in_main = m->working_cart && code == r->program_text.c_str();
    if (in_main && r->program_lines_in_use && line0 >= 0 && size_t(line0) < r->program_lines.size()) {
        in_main = r->program_lines[size_t(line0)].file == 0;
        main_line = r->program_lines[size_t(line0)].line;
    }
    if (in_main) {
        int tab = 0;
        const int in_tab = run_find_tab_line(m, main_line, &tab);
        m->runner->error_tab = in_tab < 0 ? 0 : tab;
        m->runner->error_line = in_tab < 0 ? 1 : in_tab + 1;
    }
    char source[256];
    run_nth_line(code, line0, source, sizeof source);
    vexel_print_col(m, source, 7);
}

// The interpreter's messages give lines of the whole chunk ("at line 12");
// they are said in program terms like every other position.
std::string with_program_lines(const vexel_machine* m, const std::string& text) {
    std::string out;
    size_t from = 0;
    for (size_t at; (at = text.find("at line ", from)) != std::string::npos;) {
        size_t digits = at + 8, end = digits;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (end == digits || end - digits > 6) {
            out += text.substr(from, digits - from);
            from = digits;
            continue;
        }
        out += text.substr(from, at - from);
        out += position_text(m, std::atoi(text.c_str() + digits) - vexel_header_lines);
        from = end;
    }
    return out + text.substr(from);
}

// The last line of the program that is not blank: an error at its end is
// shown there rather than past it.
int last_program_line(const char* code) {
    int line = 0, last = 0;
    bool blank = true;
    for (const char* p = code; p && *p; ++p) {
        if (*p == '\n') {
            if (!blank) last = line;
            ++line;
            blank = true;
        } else if (*p != ' ' && *p != '\t' && *p != '\r') {
            blank = false;
        }
    }
    return blank ? last : line;
}

void print_syntax_error(vexel_machine* m, const char* code, const char* message) {
    const int line0 = std::min(last_program_line(code), lua_vexel_last_line(m->L) - vexel_header_lines);
    print_position(m, "syntax error", line0, code);
    if (std::strstr(message, "_end_of_program")) return;
    if (std::strstr(message, "<eof>") && std::strstr(message, "to close '")) {
        const char* q = std::strstr(message, "to close '") + 10;
        const char* e = std::strchr(q, '\'');
        std::string word(q, e ? size_t(e - q) : std::strlen(q));
        // "(to close 'function' at line 14)": where the unclosed block began.
        std::string opened;
        if (const char* at = std::strstr(message, "' at line "))
            opened = " from " + position_text(m, std::atoi(at + 10) - vexel_header_lines);
        vexel_print_col(m, ("unclosed " + word + opened + "\n").c_str(), 6);
        return;
    }
    const char* colon = std::strrchr(message, ':');
    std::string text = colon ? std::string(colon[1] ? colon + 2 : colon + 1) : std::string(message);
    text = with_program_lines(m, text);
    if (text.size() > size_t(syntax_message_max)) text.resize(syntax_message_max);
    char source[256];
    run_nth_line(code, lua_vexel_last_line(m->L) - vexel_header_lines, source, sizeof source);
    if (text == "unexpected symbol near 'end'" && !std::strstr(source, "end")) text = "unexpected end of line";
    vexel_print_col(m, text.c_str(), 6);
}

// The failed thread's call stack, innermost first, in tab terms. Read from
// the debug interface rather than from trace's text, whose line numbers are
// printed as 16.16 fractions and lose precision.
void print_traceback(vexel_machine* m, lua_State* L) {
    lua_Debug ar;
    for (int level = 0, shown = 0; shown < traceback_lines && lua_getstack(L, level, &ar); ++level, ++shown) {
        if (!lua_getinfo(L, "Sln", &ar)) continue;
        if (!ar.name || std::strcmp(ar.what, "Lua") != 0) continue;
        if (!std::strcmp(ar.name, "_mainloop")) continue;
        int program_line = ar.currentline - vexel_header_lines;
        if (program_line < 0) continue;
        vexel_print_col(m, ("in " + std::string(ar.name) + " " + position_text(m, program_line)).c_str(), 13);
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

void report_runtime_error(vexel_machine* m, lua_State* L, const char* code) {
    std::string message = without_position(lua_isstring(L, -1) ? lua_tostring(L, -1) : "error");
    const int line = lua_vexel_runtime_line(L);
    // A finalizer's error passed on by a collection inside the program reads
    // as one the runner's own collection met: the finalizer's line and words.
    const char* what = "runtime error";
    const std::string gc_wrapper = "error in __gc metamethod (";
    if (message.compare(0, gc_wrapper.size(), gc_wrapper) == 0 && message.back() == ')') {
        what = "runtime error in __gc";
        message = without_position(message.substr(gc_wrapper.size(), message.size() - gc_wrapper.size() - 1));
    }
    if (line > 2) print_position(m, what, line - vexel_header_lines, code);
    bool assertion = m->runner->assert_message[0] != 0;
    if (assertion) {
        vexel_print_col(m, "assertion failed", 6);
        vexel_print_col(m, m->runner->assert_message, 7);
        vexel_print_col(m, m->runner->assert_message, 6);
    } else if (message == "not enough memory") {
        // The interpreter's own words for a refused allocation: the heap
        // limit or the cap on real bytes.
        vexel_print_col(m, "out of memory", 6);
    } else if (message.find("-- vexel header") == std::string::npos) {
        vexel_print_col(m, message.c_str(), 6);
    }
    if (!m->heap.alloc_refused) print_traceback(m, L);
    m->heap.alloc_refused = false;
}

// In exec mode a program's end is the run's end: the host quits with this
// exit status (0 keeps an earlier failure's).
void quit_exec_mode(vexel_machine* m, int status) {
    if (vexel_host_exec_mode(m)) vexel_host_finish(m, status);
}

// The error of a finalizer that nothing could take, reported like a runtime
// error of the program (the run's status says it failed). False when there
// is none.
bool report_gc_error(vexel_machine* m) {
    vexel_runner* r = m->runner;
    if (!r->gc_error_pending) return false;
    r->gc_error_pending = 0;
    const char* code = m->working_cart ? m->working_cart->code : "";
    if (r->gc_error_line > 2) print_position(m, "runtime error in __gc", r->gc_error_line - vexel_header_lines, code);
    else vexel_print_col(m, "runtime error in __gc", 14);
    vexel_print_col(m, r->gc_error, 6);
    r->assert_message[0] = 0;  // a failed assert in the finalizer is told by now
    quit_exec_mode(m, 2);
    return true;
}

// A cartridge whose program could not start leaves its reason on the
// console, which takes the keys again whatever screen started it (the boot
// of a -run cartridge, a browser launch); in exec mode the run ends.
void program_did_not_start(vexel_machine* m) {
    vexel_host_request(m, vexel_request_console);
    quit_exec_mode(m, 2);
}

int64_t script_memory(const vexel_machine* m) { return m->L ? vexel_lua_program_memory(&m->heap) : 0; }

}  // namespace

// ---------------------------------------------------------------- machine

void run_start_lua(vexel_machine* m) {
    m->L = lua_newstate(vexel_lua_alloc, &m->heap);
    m->heap.yield_state = m->L;
    m->heap.code_charge = 0;
    if (!m->L) return;
    lua_vexel_set_host(m->L, m);
    lua_set_assert_hook(m->L, [](lua_State* L, const char* message) {
        vexel_runner* r = vexel_lua_machine(L)->runner;
        std::snprintf(r->assert_message, sizeof r->assert_message, "%s", message ? message : "");
    });
    lua_vexel_set_charge(m->L, [](lua_State* L, int cycles) { vexel_cpu_spend(vexel_lua_machine(L), cycles); });
    lua_set_gc_error_hook(m->L, [](lua_State* L, const char* message) {
        vexel_runner* r = vexel_lua_machine(L)->runner;
        if (r->gc_error_pending) return;  // the first one tells
        r->gc_error_pending = 1;
        r->gc_error_line = lua_vexel_runtime_line(L);
        std::snprintf(r->gc_error, sizeof r->gc_error, "%s", without_position(message ? message : "").c_str());
    });
    api_register(m->L);
}

void run_close_lua(vexel_machine* m) {
    if (m->L) {
        // Finalizers run now, each time-limited like any code that cannot
        // yield; once one runs away, the rest are skipped.
        m->runner->closing = 1;
        m->cpu.unyielded_cycles = 0;
        m->runner->stop_reason = run_stop_none;
        lua_close(m->L);
        m->runner->closing = 0;
        if (m->runner->stop_reason == run_stop_error) vexel_print_col(m, m->runner->stop_message, 6);
        m->runner->stop_reason = run_stop_none;
        report_gc_error(m);
    }
    m->L = nullptr;
    m->heap.yield_state = nullptr;
    m->program_active = 0;
    m->runner->console_line = 0;
}

void run_reset_lua(vexel_machine* m) {
    run_close_lua(m);
    run_start_lua(m);
}

void run_reset_state(vexel_machine* m) {
    vexel_reset_draw_state(m);
    m->runner->assert_message[0] = 0;
    m->runner->slice_count = 0;
    m->program_frame = 0;
    m->runner->penalty = 0;
}

void run_stop_program(lua_State* L, const char* message) { stop_program(L, run_stop_error, message); }
void run_end_program(lua_State* L) { stop_program(L, run_stop_quit, ""); }

// -------------------------------------------------------------- frame rate

int32_t run_frame_capacity(const vexel_machine* m, int32_t cycles) {
    int64_t per_frame = vexel_cycles_per_second / std::max(m->runner->base_fps, 1);
    return int32_t(int64_t(cycles) * 65536 / per_frame);
}

void run_note_held_frame(vexel_machine* m) { m->runner->held_in_slice = 1; }
void run_set_draw_time(vexel_machine* m, int64_t ms) { m->runner->last_draw_ms = ms; }
bool run_program_runs_main_loop(const vexel_machine* m) { return m->runner->mainloop_kind == 2 && m->running; }

void run_update_frame_rate(vexel_machine* m) {
    std::memmove(m->runner->fps_history, m->runner->fps_history + 1, sizeof(int32_t) * (run_fps_history - 1));
    m->runner->fps_history[run_fps_history - 1] = fenn_get_fps();
    int64_t sum = 0;
    int samples = 0;
    for (int32_t s : m->runner->fps_history) {
        sum += s;
        samples += s != 0;
    }
    int64_t average = sum / std::max(samples, 1);
    int32_t base = std::max(m->runner->base_fps, 1);
    int32_t load;
    if (m->runner->cpu_mark[0] < m->runner->cpu_mark[2]) {
        int32_t sample = int32_t(int64_t(m->runner->cpu_mark[2] - m->runner->cpu_mark[0]) * 65536 / (vexel_cycles_per_second / base));
        load = std::max(sample, m->runner->prev_cpu_load);
        m->runner->prev_cpu_load = sample;
    } else {
        load = 16 * 65536;
    }
    int64_t frame_ms;
    if (m->runner->time_mark[0] < m->runner->time_mark[2]) {
        int sleep = fenn_is_app_active() ? fenn_cfg.foreground_sleep_ms : fenn_cfg.background_sleep_ms;
        frame_ms = (m->runner->time_mark[2] - m->runner->time_mark[0]) + std::max<int64_t>(m->runner->last_draw_ms, 0) + m->runner->penalty + sleep;
    } else {
        frame_ms = 1000;
    }
    if (m->host && !m->host->frame_rate_control) {
        average = 10000;
        frame_ms = 0;
    }
    bool held = m->runner->held_in_slice;
    m->runner->held_in_slice = 0;
    if (held && m->runner->fps == m->runner->base_fps) {
        m->runner->fps = std::max(m->runner->fps / 2, 15);
        return;
    }
    if (m->runner->fps == 60 && average < 58 && m->runner->base_fps == 60) {
        m->runner->fps = 30;
        int64_t now = fenn_get_time();
        if (fenn_is_app_active() && now - m->runner->last_slowdown < 200) m->runner->penalty = std::min(m->runner->penalty + 1, 10);
        m->runner->last_slowdown = now;
    } else if (m->runner->fps < m->runner->base_fps && average >= m->runner->base_fps - 2 &&
               (m->runner->base_fps == 30 || frame_ms < 17) && load < 63488) {
        m->runner->fps = m->runner->base_fps;
    }
}

// ------------------------------------------------------------------- tabs

int run_find_tab_line(const vexel_machine* m, int line, int* tab) {
    *tab = 0;
    if (line < 0) return -1;
    for (int t = 0; t < vexel_code_tabs; ++t) {
        int size = count_newlines(m->code_tabs[t]) + 2;
        if (line < size) {
            *tab = t;
            return line;
        }
        line -= size;
    }
    return -1;
}

void run_nth_line(const char* text, int n, char* out, int out_size) {
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

void run_online_id_of(const char* name, char* out, int out_size) {
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

// -------------------------------------------------------------- run chain

namespace {
run_chain_item* chain_top(const vexel_machine* m) {
    return m->runner->chain && m->runner->chain_items > 0 ? &m->runner->chain[m->runner->chain_items - 1] : nullptr;
}
}  // namespace

void run_chain_push(vexel_machine* m, const char* file, const char* label, int pending) {
    if (!m->runner->chain) m->runner->chain = new run_chain_item[run_chain_max]();
    if (m->runner->chain_items >= run_chain_max) return;
    run_chain_item& it = m->runner->chain[m->runner->chain_items++];
    std::snprintf(it.file, sizeof it.file, "%s", file ? file : "");
    std::snprintf(it.label, sizeof it.label, "%s", label ? label : "");
    std::snprintf(it.params, sizeof it.params, "%s", m->runner->params);
    it.pending = pending;
}

void run_chain_reset(vexel_machine* m) { m->runner->chain_items = 0; }
void run_chain_pop(vexel_machine* m) {
    if (m->runner->chain_items > 0) --m->runner->chain_items;
}
const char* run_chain_label(const vexel_machine* m) { return chain_top(m) ? chain_top(m)->label : nullptr; }
const char* run_chain_file(const vexel_machine* m) { return chain_top(m) ? chain_top(m)->file : nullptr; }
const char* run_chain_params(const vexel_machine* m) { return chain_top(m) ? chain_top(m)->params : nullptr; }
void run_chain_cancel_pending(vexel_machine* m) {
    if (chain_top(m) && chain_top(m)->pending) run_chain_pop(m);
}
void run_chain_confirm_pending(vexel_machine* m) {
    if (chain_top(m)) chain_top(m)->pending = 0;
}

// ---------------------------------------------------------------- running

namespace {
int compile_program(vexel_machine* m, const char* text, bool footer_wanted, bool fresh);
bool newer_cart_program(const vexel_machine* m, const char* text);
}  // namespace

void run_cart(vexel_machine* m) {
    vexel_cart* cart = m->working_cart;
    if (!cart) return;
    if (vexel_merge_code_from_tabs(m) > size_t(vexel_code_max)) {
        vexel_print_col(m, "program exceeds char limit", 6);
        program_did_not_start(m);
        return;
    }
    std::snprintf(m->runner->params, sizeof m->runner->params, "%s", m->runner->pending_params);
    m->runner->pending_params[0] = 0;
    m->runner->error_line = 0;
    m->runner->online_id[0] = 0;
    m->runner->local_path[0] = 0;
    const char* name = m->file.filename;
    const char* root = vexel_host_carts_path(m);
    if (root[0] && std::strstr(name, root)) {
        std::snprintf(m->runner->local_path, sizeof m->runner->local_path, "%s", std::strstr(name, root) + std::strlen(root));
    } else if (std::strstr(name, "bbs/")) {
        run_online_id_of(name, m->runner->online_id, sizeof m->runner->online_id);
    } else {
        std::snprintf(m->runner->local_path, sizeof m->runner->local_path, "%s", name);
    }
    run_reset_lua(m);
    copy_rom(m->cart, cart);
    for (int i = 0; i < run_menu_items; ++i) {
        m->runner->menu_labels[i][0] = 0;
        m->runner->menu_selected[i] = 0;
    }
    vexel_srand(m->rng, run_seed(m));
    const bool program_restart = m->runner->program_restart != 0;
    m->runner->program_restart = 0;
    rom_reset_for_run(m, program_restart);
    cdata_reset_for_run(m, program_restart);
    if (!program_restart) m->runner->printh_bytes = 0;
    m->buttons.program_reads = 0;
    m->runner->base_fps = 0;  // not chosen until the main loop starts
    // Files of versions 1-14 kept print's cursor where print(s, x, y) put it.
    m->print_xy_moves_cursor = cart->file_version <= 0 || cart->file_version >= vexel_cart_print_below_version;
    cart_joined_program joined = run_join_program(m);
    if (!joined.errors.empty()) {
        for (const std::string& e : joined.errors) vexel_print_col(m, e.c_str(), 8);
        program_did_not_start(m);
        return;
    }
    m->runner->program_text = std::move(joined.text);
    m->runner->program_lines = std::move(joined.lines);
    m->runner->program_files = std::move(joined.files);
    int ok = compile_program(m, m->runner->program_text.c_str(), true, true);
    vexel_audio_stop_all(m->audio);
    vexel_audio_stop_song(m->audio, m->cart);
    m->runner->fps = 30;
    vexel_buttons_block(m);
    if (!ok) program_did_not_start(m);
}

namespace {

// Compiles `text` as a program and, on success, enters running mode with it
// as the main function. A console line leaves out the footer: it is one
// statement to run once, and the footer would start the main loop of
// whatever _update or _draw the script machine still holds.
// `fresh`: a cartridge starts (not a resume or a typed line), so the draw
// state and counters start afresh too.
int compile_program(vexel_machine* m, const char* text, bool footer_wanted, bool fresh) {
    lua_State* L = m->L;
    m->runner->mainloop_kind = 0;
    m->audio_pause_state = 0;
    m->runner->program_paused = 0;
    m->runner->held_any = 0;
    if (!L) {
        vexel_print_col(m, "out of memory", 6);
        return 0;
    }
    size_t length = std::strlen(text);
    vexel_limit_report limits{};
    const int over = vexel_check_code_limits(text, length, &limits);
    if (over == vexel_limits_tokens && newer_cart_program(m, text)) {
        // Written for a newer version, whose token limit this one cannot
        // tell: run it, and say how far over it is.
        char warning[64];
        std::snprintf(warning, sizeof warning, "warning: %d / %d tokens", limits.tokens, vexel_token_limit);
        vexel_print_col(m, warning, 9);
    } else if (over != vexel_limits_ok) {
        vexel_print_col(m, limits.heading, 6);
        if (limits.detail[0]) vexel_print_col(m, limits.detail, 6);
        return 0;
    }
    m->runner->memory_charge = limits.tokens * 16;
    lua_reset_call_state_vexel(L);
    lua_vexel_clear_stop(L);
    m->error_pending = false;  // a fault recorded before this program is none of its own
    m->runner->stop_reason = run_stop_none;

    auto buffer = std::make_unique<char[]>(run_code_buffer_size);
    std::string head = vexel_program_header;
    for (const char* id : nd_compat_ids)
        if (!std::strcmp(m->runner->online_id, id)) head += " nd=0 ";
    size_t used = head.size();
    std::memcpy(buffer.get(), head.data(), used);

    // Console shorthand: a text that is only a command becomes its call
    // (or its program: resume carries on the main loop).
    const std::string program = api_expand_shorthand(text);
    // The lines of the joined program are named by their files while it is
    // what runs (also once resumed), not while a typed line does.
    if (text == m->runner->program_text.c_str())
        m->runner->program_lines_in_use = !m->runner->program_lines.empty();
    else if (std::strcmp(text, "resume") != 0)
        m->runner->program_lines_in_use = false;

    size_t footer = footer_wanted ? std::strlen(vexel_program_footer) : 0;
    size_t capacity = size_t(run_code_buffer_size) - used - footer - 1;
    vexel_pre_report report{};
    if (vexel_preprocess(program.data(), program.size(), buffer.get() + used, capacity, &report) != vexel_pre_ok) {
        vexel_print_col(m, report.message, 6);
        return 0;
    }
    used += report.length;
    std::memcpy(buffer.get() + used, vexel_program_footer, footer);
    used += footer;
    buffer[used] = 0;

    m->heap.compiling = true;
    int status = luaL_loadbuffer(L, buffer.get(), used, chunk_name);
    m->heap.compiling = false;
    m->heap.code_charge = m->runner->memory_charge;
    if (status != LUA_OK) {
        std::string message = lua_isstring(L, -1) ? lua_tostring(L, -1) : "";
        lua_pop(L, 1);
        print_syntax_error(m, text, message.c_str());
        return 0;
    }
    lua_setglobal(L, program_global);
    vexel_buttons_block(m);
    if (fresh) run_reset_state(m);
    m->running = 1;
    m->program_active = 1;
    m->runner->has_run = 1;
    vexel_cpu_new_frame(m);
    vexel_host_request(m, vexel_request_program);
    return 1;
}

// Whether `text` is the working cartridge's program and the cartridge was
// read from a file declaring a version newer than this one.
bool newer_cart_program(const vexel_machine* m, const char* text) {
    return m->working_cart && text == m->runner->program_text.c_str() &&
           m->working_cart->file_version > vexel_cart_newest_version;
}

bool is_blank(const char* s) {
    for (; *s; ++s)
        if (*s != ' ' && *s != '\t') return false;
    return true;
}

}  // namespace

int run_program(vexel_machine* m, const char* text) { return compile_program(m, text, true, true); }

cart_joined_program run_join_program(vexel_machine* m) { return vexel_join_working_program(m); }

int run_console_line(vexel_machine* m, const char* line) {
    m->runner->console_line = 0;
    if (!line || is_blank(line)) return 0;
    // Whatever reaches here is typed by hand: capped like the prompt's buffer.
    std::snprintf(m->runner->console_text, sizeof m->runner->console_text, "%s", line);
    if (!m->L) run_start_lua(m);
    // Before any program has run, the draw state is still all zero (every
    // colour drawn as 0): a typed print or circfill starts from the state a
    // program starts with.
    if (!m->runner->has_run) vexel_reset_draw_state(m);
    const cmd_console_command* command = cmd_find_console_command(m->runner->console_text);
    if (command && command->resumes) {
        // The stopped program carries on: it is active again, with its own
        // main loop and frame rate.
        const int32_t kind = m->runner->mainloop_kind;
        const int ok = compile_program(m, m->runner->console_text, true, false);
        if (ok) m->runner->mainloop_kind = kind;
        return ok;
    }
    if (!compile_program(m, m->runner->console_text, false, false)) return 0;
    // A line typed at the console is no running cartridge: commands that a
    // program may not use (help, reboot, browse, the ls listing) work, and
    // load and save act for the user.
    m->program_active = 0;
    m->runner->console_line = 1;
    m->runner->fps = 30;
    return 1;
}

bool run_console_line_running(const vexel_machine* m) { return m->runner->console_line && m->running; }

namespace {

// After the program was stopped from inside (lua_vexel_stop): a quit
// request ends it quietly, a runaway is reported like a runtime error.
// `in_collection`: the stop came from a finalizer the runner's collection
// ran, so there is no error on the program's stack.
void end_stopped_program(vexel_machine* m, lua_State* L, bool in_collection) {
    const int32_t reason = m->runner->stop_reason;
    m->runner->stop_reason = run_stop_none;
    lua_vexel_clear_stop(L);
    if (reason == run_stop_quit) {
        run_suspend(m);
        return;
    }
    const char* code = m->runner->console_line ? m->runner->console_text
                       : m->working_cart ? m->runner->program_text.c_str() : "";
    run_suspend(m);
    if (in_collection) vexel_print_col(m, m->runner->stop_message, 6);
    else report_runtime_error(m, L, code);
    quit_exec_mode(m, 2);
}

}  // namespace

void run_slice(vexel_machine* m) {
    for (int slice = 0; slice < run_max_slices; ++slice) {
        m->runner->slice_count++;
        m->runner->reslice_request = 0;
        m->cpu.unyielded_cycles = 0;
        lua_State* L = m->L;
        if (!L) return;

        lua_gc(L, LUA_GCRESTART, 0);
        if (lua_gc(L, LUA_GCISRUNNING, 0)) lua_gc(L, LUA_GCCOLLECT, 0);
        if (lua_vexel_stopping(L)) {  // a finalizer ran away or the host is quitting
            lua_gc(L, LUA_GCSTOP, 0);
            end_stopped_program(m, L, true);
            return;
        }
        if (m->runner->gc_error_pending) {
            lua_gc(L, LUA_GCSTOP, 0);
            run_suspend(m);
            report_gc_error(m);
            return;
        }
        if (script_memory(m) > run_memory_limit) {
            int64_t before = script_memory(m);
            lua_gc(L, LUA_GCCOLLECT, 0);
            if (script_memory(m) > run_memory_limit) {
                fenn_debug("gc hard collect: %d -> %d\n", int(before), int(script_memory(m)));
                run_reset_lua(m);
                run_suspend(m);
                vexel_print_col(m, "out of memory", 6);
                quit_exec_mode(m, 2);
                return;
            }
        }
        lua_gc(L, LUA_GCSTOP, 0);

        if (!m->running) return;
        if (lua_status(L) == LUA_OK) {
            lua_settop(L, 0);
            lua_getglobal(L, program_global);
        }
        m->cpu.residue = 0;
        lua_sethook(L, instruction_limiter, LUA_MASKCOUNT, vexel_hook_every);
        int status = lua_resume(L, nullptr, 0);
        if (status == LUA_OK) {
            run_suspend(m);
            return;
        }
        if (status != LUA_YIELD && lua_vexel_stopping(L)) {
            end_stopped_program(m, L, false);
            return;
        }
        if (status != LUA_YIELD) {
            const char* code = m->runner->console_line ? m->runner->console_text
                               : m->working_cart ? m->runner->program_text.c_str() : "";
            run_suspend(m);
            report_runtime_error(m, L, code);
            quit_exec_mode(m, 2);
            return;
        }
        if (m->error_pending) {
            // A fault recorded outside any binding's call (the bindings raise
            // their own): the program stops with it all the same.
            m->error_pending = false;
            run_suspend(m);
            vexel_print_col(m, m->error_string, 6);
            quit_exec_mode(m, 2);
            return;
        }
        // Nothing is popped: a yield from the count hook leaves the running
        // function's registers on the stack.
        cdata_flush_due(m, fenn_get_time());
        if (!m->runner->reslice_request) return;
    }
}

void run_suspend(vexel_machine* m) {
    if (m->reset_glitch) return;
    const bool was_running = m->running;
    if (m->program_active) {
        vexel_audio_stop_all(m->audio);
        vexel_audio_stop_song(m->audio, m->cart);
        m->audio_pause_state = 0;
        cdata_save(m);
    }
    vexel_mem_stop(m, m->program_active != 0);
    m->running = 0;
    m->held_frame = 0;
    m->runner->console_line = 0;
    fenn_flush_keys();
    vexel_host_request(m, vexel_request_console);
    if (was_running) quit_exec_mode(m, 0);
}
