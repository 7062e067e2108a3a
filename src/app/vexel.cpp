// The console layer's frame loop: start-up (shell_init), one update and
// one draw per loop iteration, and shutdown (shell_exit).
#include <SDL.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <cctype>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "app/app.h"
#include "app/boot.h"
#include "app/console.h"
#include "app/editor.h"
#include "app/keyconfig.h"
#include "app/keyscript.h"
#include "app/pausemenu.h"
#include "app/screens.h"
#include "app/shell.h"
#include "audio/audio.h"
#include "audio/audio_wav.h"
#include "browser/browse.h"
#include "browser/browse_download.h"
#include "browser/browse_list.h"
#include "capture/capture.h"
#include "cart/cart_art.h"
#include "cart/cart_hash.h"
#include "cart/cart_load.h"
#include "cart/cart_text.h"
#include "cart/sha1.h"
#include "framework/fenn_config.h"
#include "framework/fenn_host.h"
#include "framework/fenn_log.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_path.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_text.h"
#include "framework/fenn_video.h"
#include "machine/button.h"
#include "machine/cdata.h"
#include "machine/disk.h"
#include "machine/gfx.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/mem.h"
#include "machine/present.h"
#include "machine/text.h"
#include "runtime/frame.h"
#include "runtime/machine_life.h"
#include "runtime/run.h"
#include "runtime/web_export.h"
#include "cart/vdisk.h"

fenn_pod* shell_resource_pod = nullptr;
fenn_pod* shell_system_graphics = nullptr;
fenn_pod* shell_console_font = nullptr;
vexel_cart* shell_system_cart = nullptr;
cart_art shell_cart_art;

namespace {

constexpr const char* resource_name = "data.pod";
constexpr const char* bundled_board = "board";  // the board built with vexel, beside data.pod
constexpr int message_slide_ms = 200;
constexpr int message_extra_ms = 400;

int64_t last_t = 0;
int frame_flipper = 0;
int update_result = 0;
int64_t draw_ms = 0;
vexel_wav_writer wav;
bool recording = false;
int64_t machine_frames = 0;
int64_t machine_clock_ms = 0;  // advanced by machine frames, for headless sound timing
fenn_bitmap* gif_frame = nullptr;  // the picture last presented, recorded into the video clip

constexpr int capture_message_ms = 1400;
constexpr int capture_failure_ms = 1900;

// Unsaved changes: the window title is worked out again at most this often
// while edits are noted (the check hashes the cartridge).
constexpr int64_t unsaved_check_every_ms = 500;
constexpr int exit_backup_message_ms = 2400;
constexpr int exit_backup_wait_ms = 800;

keyscript_player key_player;       // -keys
// The editors' state: made at init, freed at exit once the machine and
// its audio are gone (a song the music editor plays comes from it).
std::unique_ptr<editor_studio_scope> editor_records;
editor_input editor_pending = {};  // the host's input since the editors' last update
bool editors_were_open = false;
int64_t unsaved_checked_ms = 0;
std::string base_title = "vexel";  // the window's title before the cartridge's name
std::string title_shown;

const char* const data_folders[] = {"carts/", "backup/", "cdata/", "cstore/", "plates/", "bbs/", "bbs/carts/",
                                    "bbs/labels/"};

// The question before quitting with unsaved changes.
struct quit_question {
    bool open = false;
    bool always = false;     // asked for any quit (the pause menu's), not only with unsaved changes
    bool confirmed = false;  // answered y: the quit goes ahead
};
quit_question quit_ask;

bool quit_needs_question(vexel_machine* m, bool always) {
    if (quit_ask.confirmed || fenn_quit_signal() || app.exec_mode || !fenn_platform_has_video()) return false;
    if (app.frame_limit > 0 && app.frames_run >= app.frame_limit) return false;
    return always || vexel_unsaved_changes(m, true);
}

// While the question shows: y quits, n or Escape goes back. Nothing else
// reaches the console or the program.
void answer_quit_question(vexel_machine* m) {
    while (fenn_keypressed()) {
        const int k = fenn_readkey();
        if (k == 'y' || k == 'Y') {
            quit_ask = quit_question{};
            quit_ask.confirmed = true;
            fenn_quit = 1;
            return;
        }
        if (k == 'n' || k == 'N' || k == 27) {
            quit_ask = quit_question{};
            vexel_buttons_block(m);
            return;
        }
    }
}

void draw_quit_question(fenn_bitmap* page) {
    if (!quit_ask.open || !page || page->depth != 8) return;
    const char* first = quit_ask.always && !app.machine->file.unsaved ? "quit vexel?" : "unsaved changes:";
    const char* second = quit_ask.always && !app.machine->file.unsaved ? "(y/n)" : "quit anyway? (y/n)";
    vexel_draw_tinted_rect(page, 14, 50, 113, 74, true);
    fenn_draw_text_ex(page, first, shell_console_font, 18, 54, fenn_text_single_colour, 7);
    fenn_draw_text_ex(page, second, shell_console_font, 18, 64, fenn_text_single_colour, 7);
}

// The board the browser reads: -bbs, else the bbs_host setting, else the
// board built with vexel that lies beside the program.
void set_bbs_host() {
    if (app.bbs_option[0] && browse_set_bbs_host(app.bbs_option)) return;
    if (app.bbs_host[0]) {
        if (browse_set_bbs_host(app.bbs_host)) return;
        std::fprintf(stderr, "vexel: bbs_host %s in config.txt is not an http://, https:// or file:// address\n",
                     app.bbs_host);
    }
    // Characters a URL cannot hold as they are (a blank in a folder name)
    // are percent-encoded; the reader decodes them again.
    std::string url = "file://";
    for (unsigned char c : fenn_prefix_with_program_path(bundled_board)) {
        if (std::isalnum(c) || std::strchr("/-._~", c)) {
            url += char(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            url += hex;
        }
    }
    browse_set_bbs_host(url.c_str());
}

// Item 1 of the resource pod is a nested pod stored as a data item.
fenn_pod* nested_pod(int index) {
    fenn_pod_item* item = fenn_pod_get_item(shell_resource_pod, index);
    if (!item || item->type != fenn_pod_type_data) return nullptr;
    return fenn_load_pod_memory(item->name, item->bytes.data(), item->bytes.size());
}

void load_resources() {
    std::string path = fenn_prefix_with_program_path(resource_name);
    shell_resource_pod = fenn_load_pod(path.c_str());
    if (!shell_resource_pod) {
        // A missing resource file is a broken installation: say so and fail.
        std::printf("couldn't load %s\n", path.c_str());
        std::fflush(stdout);
        fenn_exit();
        std::exit(1);
    }
    if (fenn_pod_item* item = fenn_pod_get_item(shell_resource_pod, 0); item && item->type == fenn_pod_type_data)
        shell_system_cart =
            vexel_cart_from_text(reinterpret_cast<const char*>(item->bytes.data()), item->bytes.size());
    shell_system_graphics = nested_pod(1);
    shell_console_font = nested_pod(2);
    // The picture PNG cartridges are drawn on and its title font; without
    // them cartridges are still saved, on a plain grey picture.
    const fenn_pod_item* art = fenn_pod_get_data(shell_system_graphics, cart_art_template_item);
    const fenn_pod_item* font = fenn_pod_get_data(shell_system_graphics, cart_art_font_item);
    if (art && font && cart_art_set_from_png(&shell_cart_art, art->bytes.data(), art->bytes.size(), font->bytes.data(),
                                             font->bytes.size()) != 0)
        fenn_debug("cartridge picture assets unreadable\n");
}

void apply_system_graphics() {
    fenn_set_window_title("VEXEL");
    if (fenn_pod_item* title = fenn_pod_get_item(shell_system_graphics, 4); title && title->type == fenn_pod_type_data) {
        std::string t(reinterpret_cast<const char*>(title->bytes.data()), title->bytes.size());
        t = t.substr(0, t.find('\0'));
        while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
        if (!t.empty()) {
            fenn_set_window_title(t.c_str());
            base_title = t;
        }
    }
    title_shown = base_title;
    fenn_set_screen(128, 128, 8, 0x100);
    if (fenn_pod_item* icon = fenn_pod_get_item(shell_system_graphics, 6); icon && icon->type == fenn_pod_type_bitmap)
        fenn_set_window_icon(icon->bitmap.get());
    if (fenn_pod_item* pal = fenn_pod_get_item(shell_system_graphics, 1); pal && pal->type == fenn_pod_type_palette)
        fenn_set_palette(pal->bytes.data());
}

// The action stays posted while it is carried out (a fresh run tells itself
// from a resumed one by it); a new request made meanwhile survives.
void carry_out_pending_action() {
    vexel_machine* m = app.machine;
    const shell_pending action = app.pending;
    switch (action) {
    case pending_none: break;
    case pending_run_cart:
        run_cart(m);
        vexel_buttons_block(m);  // a button held while the program starts counts only once pressed again
        break;
    case pending_stop_program: run_suspend(m); break;
    case pending_reboot: boot_reboot(m); break;
    case pending_runtime_error:
        run_suspend(m);
        run_reset_lua(m);
        m->error_pending = false;
        vexel_print_col(m, m->error_string, 8);
        if (app.exec_mode) {
            fenn_set_exit_status(2);
            fenn_quit = 1;
        }
        break;
    }
    if (app.pending == action) app.pending = pending_none;
}

// ----------------------------------------------------------------- the host

// What the machine asks of the shell (vexel_host::request).
void host_request(void*, vexel_request request) {
    switch (request) {
    case vexel_request_run: shell_post(pending_run_cart); break;
    case vexel_request_stop: shell_post(pending_stop_program); break;
    case vexel_request_reboot:
        app.browser_flag = 0;
        shell_post(pending_reboot);
        break;
    case vexel_request_error: shell_post(pending_runtime_error); break;
    case vexel_request_program: shell_set_mode(shell_running); break;
    case vexel_request_console: shell_set_mode(shell_console); break;
    case vexel_request_browser: shell_open_browser(); break;
    case vexel_request_keyconfig: keyconfig_open(app.machine); break;
    case vexel_request_quit: shell_request_quit(false); break;
    }
}

bool host_menu_paused(void*) { return app.pause_menu != 0; }
void host_show_message(void*, const char* text, int ms) { shell_show_message(text, ms); }
bool host_quit_requested(void*) { return fenn_quit != 0; }
void host_open_url(void*, const char* url) { fenn_launch_html(url); }
// An editor's preview may be playing from the record a load replaces.
void host_cart_released(void*, const vexel_cart* cart) {
    if (app.machine) vexel_audio_release_cart(app.machine->audio, cart);
}

void host_finish(void*, int status) {
    if (status) fenn_set_exit_status(status);
    fenn_quit = 1;
}

void host_list_folder(void*, const char* full, const char* relative, const char* filter) {
    console_start_listing(app.machine, full, relative, filter);
}

void host_favourites_changed(void*) {
    if (browse_data.created) browse_reload_favourites();
}

// Whether the working cartridge's file is one Ctrl+S must not write: a
// board download, or the cartridge's own stored-data file (the name a
// cartridge gets when it came without one).
bool not_a_save_target(const char* filename) {
    return std::strstr(filename, fenn_prefix_with_appdata_path("bbs").c_str()) != nullptr ||
           std::strstr(filename, fenn_prefix_with_appdata_path("cstore/").c_str()) != nullptr;
}

// Ctrl+S in an editor: the working cartridge to its own file, as `save`
// writes it (an existing file of another name or version is backed up
// first); what happened goes to the editors' bottom bar.
void editor_save_action(vexel_machine* m) {
    // A built-in cartridge (the menu) has no file of its own: its name
    // would be written into whatever folder vexel was started from.
    if (!m->file.filename[0] || m->file.builtin) {
        editor_message("untitled: save NAME at prompt");
        return;
    }
    if (not_a_save_target(m->file.filename)) {
        editor_message("not yours: save NAME at prompt");
        return;
    }
    const std::string name = m->file.filename;
    if (vexel_save_working_cart(m, name.c_str()) != 0) {
        editor_message("** save failed ** (see prompt)");
        return;
    }
    editor_message(("saved " + std::string(vdisk_base_name(m->file.filename))).c_str());
}

// Ctrl+R in an editor: runs the working cartridge as `run` does; the
// console comes back when the program stops.
void editor_run_action(vexel_machine* m) {
    editor_close(m);
    m->runner->pending_params[0] = 0;
    shell_post(pending_run_cart);
}

// "vexel - game.qz *": the cartridge's file and whether it has unsaved
// changes. Set only when it changes (a window manager redraws on each).
void update_window_title(vexel_machine* m) {
    std::string title = base_title;
    if (m->file.filename[0]) title += std::string(" - ") + vdisk_base_name(m->file.filename);
    if (m->file.unsaved) title += " *";
    if (title == title_shown) return;
    title_shown = title;
    fenn_set_window_title(title.c_str());
}

// Notes edits in the editors and, no more often than unsaved_check_every_ms
// while some were made (and whenever the editors close), compares the
// cartridge with its file again.
void track_unsaved_changes(vexel_machine* m) {
    const bool open = editor_active();
    const int64_t now = fenn_get_time();
    const bool closed = editors_were_open && !open;
    editors_were_open = open;
    if (closed || (m->file.check_due && now - unsaved_checked_ms >= unsaved_check_every_ms)) {
        vexel_unsaved_changes(m, closed);
        unsaved_checked_ms = now;
    }
    update_window_title(m);
}

// Music fades of a headless run are timed by machine frames.
uint32_t machine_clock(void*) { return uint32_t(machine_clock_ms); }

// Fills the host record from the settings and the command line.
void set_up_host() {
    vexel_host& h = app.host;
    h = vexel_host{};
    h.exec_mode = app.exec_mode != 0;
    h.frame_rate_control = app.host_framerate_control != 0;
    h.show_backup_messages = app.show_backup_messages != 0;
    h.button_keys = app.button_keys;
    h.joystick_index = app.joystick_index;
    h.random_buttons = app.glitch_test != 0;
    h.carts_path = app.root_path;
    h.cdata_path = app.cdata_path;
    h.seeded = app.seeded != 0;
    h.seed = app.seed;
    h.resources = shell_resource_pod;
    h.system_graphics = shell_system_graphics;
    h.browser_only = app.browser_flag != 0;
    shell_connect_host(h);
}

}  // namespace

void shell_draw_message(fenn_bitmap* page) {
    if (!page || page->depth != 8) return;
    int64_t now = fenn_get_time();
    if (now >= app.message_end || !app.message[0]) return;
    int d = 0;
    if (app.message_start != 0) {
        if (now - app.message_start < message_slide_ms) d = int((app.message_start - now + message_slide_ms) / 20);
        else if (app.message_end - now < message_slide_ms) d = int((now - app.message_end + message_slide_ms) / 20);
    }
    // A message wider than the screen takes more lines, the strip growing
    // upward from the bottom row, with a pixel clear at either side.
    std::vector<std::string> lines = fenn_wrap_text(app.message, shell_console_font, page->w - 2);
    if (lines.empty()) lines.emplace_back();
    if (lines.size() > size_t(shell_message_lines_max)) lines.resize(size_t(shell_message_lines_max));
    const int top = page->h - 7 - shell_message_line_h * (int(lines.size()) - 1) + d;
    for (int y = top; y < page->h + d; ++y) {
        if (y < 0 || y >= page->h) continue;
        std::memset(page->pix.data() + size_t(y) * size_t(page->w), 8, size_t(page->w));
    }
    for (size_t i = 0; i < lines.size(); ++i)
        fenn_draw_text_ex(page, lines[i].c_str(), shell_console_font, 1, top + 1 + shell_message_line_h * int(i),
                          fenn_text_single_colour, uint32_t(app.message_colour));
}

namespace {

void set_message(const char* text, int64_t start, int64_t end) {
    std::snprintf(app.message, sizeof app.message, "%s", text ? text : "");
    app.message_start = start;
    app.message_end = end;
    app.message_colour = app.message_colour == 15 ? 7 : 15;
}

// The capture keys, after the frame's own keys: a screenshot of the display
// bitmap, the running cartridge's label picture, a new starting point for
// the video, or the video saved.
void process_capture_keys() {
    vexel_machine* m = app.machine;
    switch (capture_key_action()) {
    case capture_none: break;
    case capture_screenshot:
        if (capture_save_screenshot(m->display, m->file.filename, app.screenshot_scale) == 0) shell_show_message_exact("saved screenshot to desktop", capture_message_ms);
        else shell_show_message_exact("** failed to save screenshot", capture_failure_ms);
        break;
    case capture_label_image:
        // Only a running cartridge's picture makes a label.
        if (app.mode != shell_running || !m->program_active) break;
        if (capture_label(m->working_cart, m->display) == 0)
            shell_show_message_exact("captured label image", capture_message_ms);
        else shell_show_message_exact("** failed to capture label", capture_failure_ms);
        break;
    case capture_video_start:
        capture_reset_video();
        shell_show_message_exact("set video starting point", capture_message_ms);
        break;
    case capture_video_save:
        if (capture_save_gif(m->file.filename, app.gif_scale) == 0) shell_show_message_exact("saved video to desktop", capture_message_ms);
        else shell_show_message_exact("** failed to save video", capture_failure_ms);
        break;
    }
}

}  // namespace

void shell_connect_host(vexel_host& h) {
    h.request = host_request;
    h.menu_paused = host_menu_paused;
    h.show_message = host_show_message;
    h.quit_requested = host_quit_requested;
    h.finish = host_finish;
    h.open_url = host_open_url;
    h.cart_released = host_cart_released;
    h.list_folder = host_list_folder;
    h.favourites_changed = host_favourites_changed;
}

bool shell_load_working_cart(const char* path) { return vexel_load_working_cart(app.machine, path) == cart_ok; }

// ---------------------------------------------------------- state machine

void shell_set_mode(shell_mode mode) { app.mode = mode; }
void shell_set_sub_screen(shell_sub_screen sub_screen) { app.sub_screen = sub_screen; }
void shell_post(shell_pending action) { app.pending = action; }

void shell_open_browser() {
    app.mode = shell_console;
    app.sub_screen = sub_screen_none;
    browse_open(app.machine);
}

// ---------------------------------------------------------------- messages

void shell_show_message(const char* text, int ms) {
    fenn_debug("message: %s\n", text ? text : "");
    int64_t now = fenn_get_time();
    set_message(text, now, now + ms + message_extra_ms);
}

void shell_show_message_exact(const char* text, int ms) {
    fenn_debug("message: %s\n", text ? text : "");
    int64_t now = fenn_get_time();
    set_message(text, now, now + ms);
}

void shell_show_message_2(const char* format, int a, int b, int ms) {
    char buf[app_message_max + 1];
    std::snprintf(buf, sizeof buf, format, a, b);
    shell_show_message(buf, ms);
}

void shell_show_hover_message(const char* text) {
    int64_t now = fenn_get_time();
    if (app.message_end > now + 50) return;
    set_message(text, 0, now + 450);
    app.message_colour = app.gui_theme == 0 ? 2 : 1;
}

// ------------------------------------------------------------ frame credit

bool shell_add_frame_credit(int64_t& credit, int fps, int64_t elapsed_ms) {
    credit += int64_t(fps) * ((elapsed_ms * 65536) / 1000);
    if (credit < 0) credit = 0;
    if (credit > shell_frame_credit_cap) credit = shell_frame_credit_cap;
    return credit >= shell_frame_one;
}

bool shell_records_gif_frame(int paused, int target_fps, int flipper) {
    return !(!paused && target_fps != 30 && flipper == 1);
}

// ------------------------------------------------------------------ screen

void shell_update_audio_pause(vexel_machine* m) {
    int32_t& s = m->audio_pause_state;
    auto advance = [&] { s = (s >= 1 && s <= 4) ? s + 1 : 0; };
    if (app.mode == shell_running) {
        int r = m->ram[vexel_reg_audio_pause];
        if (r == 1) s = 1;
        else if (app.pause_menu && r != 2) s = 1;
        else advance();
    } else {
        advance();
    }
}

bool shell_cursor_blink_on() {
    // A run with -seed repeats exactly: its cursor is steady, as if the
    // window had the focus, whatever the clock and the focus say.
    if (app.seeded) return true;
    return console_cursor_visible(fenn_is_app_active() != 0, fenn_get_time());
}

// ---------------------------------------------------------------- start-up

namespace {

// -export FILE.html: the loaded cartridge as a web page, then the end.
[[noreturn]] void export_and_exit(vexel_machine* m) {
    const std::string why = web_export_working_cart(m, app.export_file);
    if (why == web_export_no_player)
        std::fprintf(stderr, "vexel: cannot export %s: the web player is not built; run make web in vexel's source "
                             "(it makes build-web/), or set VEXEL_WEB_PLAYER to a folder holding it\n",
                     app.export_file);
    else if (!why.empty())
        std::fprintf(stderr, "vexel: cannot export %s: %s\n", app.export_file, why.c_str());
    else
        std::printf("exported %s\n", app.export_file);
    std::fflush(stdout);
    vexel_machine_destroy(m);
    fenn_exit();
    std::exit(why.empty() ? 0 : 1);
}

}  // namespace

void shell_init() {
    editor_records = std::make_unique<editor_studio_scope>();
    const settings_early_action early = settings_scan_early(fenn_argc(), fenn_argv());
    if (settings_carry_out_early(early)) std::exit(0);
    app = vexel_app{};
    settings_set_defaults();
    app.gpio_base = -1;
    // Ctrl+C or a termination request ends the loop so the settings are saved.
    fenn_quit_on_signals();
    // Past a file-size limit a write then fails with EFBIG, which the writer
    // reports and survives, instead of the signal ending the console.
    signal(SIGXFSZ, SIG_IGN);
    fenn_set_application_title("vexel");
    settings_use_table();
    console_reset();

    // Exec mode runs without a window; decide before the platform starts.
    if (early == settings_early_exec) app.exec_mode = 1;
    if (app.exec_mode) fenn_request_headless();
    fenn_init();

    settings_parse_arguments(fenn_argc(), fenn_argv());
    if (app.fast) fenn_cfg.foreground_sleep_ms = fenn_cfg.background_sleep_ms = 0;
    // Every generator a run draws from starts from the seed when one is given.
    fenn_srand(app.seeded ? app.seed : fenn_fresh_seed());

    for (const char* folder : data_folders) fenn_mkdir(fenn_prefix_with_appdata_path(folder).c_str());

    if (!app.root_path[0] || !fenn_directory_exists(app.root_path))
        std::snprintf(app.root_path, sizeof app.root_path, "%s", fenn_prefix_with_appdata_path("carts/").c_str());
    if (!app.cdata_path[0] || !fenn_directory_exists(app.cdata_path))
        std::snprintf(app.cdata_path, sizeof app.cdata_path, "%s", fenn_prefix_with_appdata_path("cdata/").c_str());

    load_resources();
    apply_system_graphics();
    set_up_host();
    app.machine = vexel_machine_create(&app.host);
    vexel_machine* m = app.machine;
    m->console_font = shell_console_font;
    m->art = &shell_cart_art;
    vexel_audio_seed(m->audio, app.seeded ? app.seed : fenn_fresh_seed());
    gif_frame = fenn_create_bitmap(128, 128, 8);

    if (app.input_file[0]) {
        int line = 0;
        int err = vexel_load_button_replay(m, app.input_file, &line);
        if (err) {
            if (line) std::fprintf(stderr, "vexel: input file %s %s (line %d)\n", app.input_file,
                                   vexel_replay_error_text(err), line);
            else std::fprintf(stderr, "vexel: input file %s %s\n", app.input_file, vexel_replay_error_text(err));
            vexel_machine_destroy(m);
            fenn_exit();
            std::exit(1);
        }
    }

    if (app.keys_file[0]) {
        int line = 0;
        std::string why;
        if (!keyscript_load(app.keys_file, &key_player.script, &line, &why)) {
            if (line) std::fprintf(stderr, "vexel: key script %s: line %d: %s\n", app.keys_file, line, why.c_str());
            else std::fprintf(stderr, "vexel: key script %s %s\n", app.keys_file, why.c_str());
            vexel_machine_destroy(m);
            fenn_exit();
            std::exit(1);
        }
        app.key_script = 1;
    }
    editor_set_actions({editor_save_action, editor_run_action});

    if (!fenn_cfg.headless) vexel_audio_device_open(m->audio, fenn_cfg.mix_buffer_size);
    vexel_audio_set_sound_volume(m->audio, fenn_cfg.sound_volume);
    vexel_audio_set_music_volume(m->audio, fenn_cfg.music_volume);
    if (fenn_cfg.headless) vexel_audio_set_clock(m->audio, machine_clock, nullptr);
    if (app.wav_file[0]) {
        if (vexel_audio_record_start(wav, app.wav_file) != 0) {
            std::fprintf(stderr, "vexel: cannot write %s\n", app.wav_file);
            vexel_audio_device_close();
            vexel_machine_destroy(m);
            fenn_exit();
            std::exit(1);
        }
        recording = true;
    }

    set_bbs_host();
    // Exec mode never shows the browser: its lists are made when it opens.
    if (!app.exec_mode) {
        browse_data.root = app.root_path;
        browse_data.font = shell_console_font;
        browse_init();
    }

    // Exec mode starts its program at the first update, with no boot.
    if (!app.exec_mode && !app.skip_boot && !boot_load_splash()) boot_init(m);
    m->file.filename[0] = 0;
    cart_hash(m->working_cart, m->file.hash);
    vexel_mark_cart_saved(m);

    if (app.exec_mode) {
        const int status = app_auto_load_file[0] ? vexel_load_working_cart(m, app_auto_load_file) : cart_not_found;
        if (status != cart_ok) {
            std::printf("could not load %s (%s)\n", app_auto_load_file,
                        cart_load_failure_text(status, app_auto_load_file).c_str());
            std::fflush(stdout);
            vexel_machine_destroy(m);
            fenn_exit();
            std::exit(1);
        }
        if (app.export_file[0]) export_and_exit(m);
        app.cart_from_command_line = 1;
        shell_set_mode(shell_console);
        shell_post(pending_run_cart);
    } else if (app_auto_load_file[0]) {
        // A cartridge named on the command line becomes the working
        // cartridge. One that cannot be loaded is named with the reason on
        // the console, where the boot then stops; with -run the console's
        // exit status says the run failed.
        const int status = vexel_load_working_cart(m, app_auto_load_file);
        if (status != cart_ok) {
            const std::string why = cart_load_failure_text(status, app_auto_load_file);
            std::fprintf(stderr, "vexel: could not load %s (%s)\n", app_auto_load_file, why.c_str());
            std::snprintf(app.load_failure, sizeof app.load_failure, "%s", why.c_str());
            if (app.run_flag) fenn_set_exit_status(1);
            app.run_flag = 0;
        }
    }
    if (app.skip_boot && !app.exec_mode) {
        // What the boot's end does, at once: the cartridge's first frame is
        // the run's first, as with -x (the web player's page runs so).
        shell_set_mode(shell_console);
        if (app.load_failure[0]) {
            vexel_print(m, (std::string("could not load ") + app_auto_load_file).c_str());
            vexel_print(m, (std::string("(") + app.load_failure + ")").c_str());
        } else if (app_auto_load_file[0] && app.run_flag) {
            shell_post(pending_run_cart);
        }
    }
    // The first frame is due at once, not a frame's time after the start:
    // `vexel -x` spent 33 ms of its 90 waiting for it.
    app.frame_credit = shell_frame_one;
    last_t = fenn_get_time();
}

// ------------------------------------------------------------------ update

void shell_request_quit(bool ask_always) {
    if (!quit_needs_question(app.machine, ask_always)) {
        fenn_quit = 1;
        return;
    }
    quit_ask.open = true;
    quit_ask.always = ask_always;
    fenn_flush_keys();
}

bool shell_quit_question_open() { return quit_ask.open; }

// ------------------------------------------------------- the screen stack

namespace {

void read_buttons(vexel_machine* m) {
    vexel_buttons_update(m);
    vexel_buttons_read(m);
}

// What every screen over the console does in a frame besides its own part:
// a load typed at the prompt downloads behind it, and nothing is held.
void console_side_frame(vexel_machine* m) {
    if (browse_download_state() != browse_dl_idle) browse_update_load_download(m);
    m->hold_frames = 0;
}

void splash_frame(vexel_machine* m) {
    read_buttons(m);
    console_side_frame(m);
    if (fenn_get_any_key_down() || vexel_any_button_held(m)) boot_init(m);
}

void boot_frame(vexel_machine* m) {
    read_buttons(m);
    console_side_frame(m);
    boot_update(m);
}

void program_frame(vexel_machine* m) {
    vexel_frame_input input;
    input.source = frame_buttons_host;
    input.front_end_keys = [](vexel_machine* fm, void*) { pause_menu_running_keys(fm); };
    vexel_machine_frame(m, input);
}

// A program's load waits for a board cartridge; the busy icon turns.
void download_frame(vexel_machine* m) {
    read_buttons(m);
    browse_update_load_download(m);
    if (m->hold_frames > 10) m->hold_frames--;
}

// Escape over a running program: breaks off a typed line (one that loops,
// say) rather than pausing it; otherwise opens or closes the pause menu.
void program_keys(vexel_machine* m) {
    if (fenn_get_key_state(SDL_SCANCODE_ESCAPE) != 3) return;
    if (run_console_line_running(m)) shell_post(pending_stop_program);
    else if (app.pause_menu) pause_menu_close(m);
    else pause_menu_open(m);
}

// The paused frame: the pause menu's keys (and a window without the focus,
// where they find no menu); the program does not run.
void paused_frame(vexel_machine* m) {
    read_buttons(m);
    pause_menu_running_keys(m);
    pause_menu_keys(m);
}

void console_frame(vexel_machine* m) {
    read_buttons(m);
    console_side_frame(m);
}

void console_keys(vexel_machine* m) { console_update_input(m); }

void listing_keys(vexel_machine* m) { console_listing_update(m); }

// The editors take the host's input every pass and act on it once a
// machine frame.
void editors_keys(vexel_machine*) {
    editor_set_settings({app.gui_theme, app.shift_glyphs != 0, app.live_notes != 0, app.cursor_snap != 0});
    editor_input pass;
    editor_read_host_input(&pass);
    editor_merge_input(&editor_pending, pass);
}

void editors_frame(vexel_machine* m) {
    read_buttons(m);
    editor_update(m, editor_pending);
    editor_pending = editor_input{};
    console_side_frame(m);
}

// The key configuration reads the presses before the buttons take them.
void keyconfig_frame(vexel_machine* m) {
    keyconfig_update(m);
    read_buttons(m);
    console_side_frame(m);
}

void browser_frame(vexel_machine* m) {
    read_buttons(m);
    while (fenn_keypressed() && browse_active()) browse_keypress(m, fenn_readkey());
    if (browse_active()) browse_update(m);
    m->hold_frames = 0;
}

// Each screen's part of a loop pass, in the order shell_update calls them:
// before_frame each pass, frame once per due machine frame (the paused
// frame instead while the program is paused), after_frame each pass once
// the frame has run. Only the screen on top (shell_top_screen) is called:
// this table is the one place that gives a screen the keyboard.
struct screen_step_table {
    void (*before_frame)(vexel_machine*);
    void (*frame)(vexel_machine*);
    void (*after_frame)(vexel_machine*);
};

const screen_step_table screen_steps[] = {
    /* screen_none       */ {nullptr, console_frame, nullptr},
    /* screen_splash     */ {nullptr, splash_frame, nullptr},
    /* screen_boot       */ {nullptr, boot_frame, nullptr},
    /* screen_program    */ {nullptr, program_frame, program_keys},
    /* screen_pause_menu */ {nullptr, paused_frame, program_keys},
    /* screen_console    */ {nullptr, console_frame, console_keys},
    /* screen_editors    */ {editors_keys, editors_frame, nullptr},
    /* screen_keyconfig  */ {nullptr, keyconfig_frame, nullptr},
    /* screen_listing    */ {nullptr, console_frame, listing_keys},
    /* screen_browser    */ {nullptr, browser_frame, nullptr},
    /* screen_download   */ {nullptr, download_frame, program_keys},
};
static_assert(sizeof screen_steps / sizeof screen_steps[0] == screen_download + 1, "a step entry for every screen");

}  // namespace

void shell_update() {
    vexel_machine* m = app.machine;
    update_result = 1;

    // A quit from the input pass (Ctrl+Q, the window's close button) asks
    // first when there is something to lose; the machine waits meanwhile.
    if (fenn_quit && !quit_ask.open && quit_needs_question(m, false)) {
        fenn_quit = 0;
        shell_request_quit(false);
    }
    if (fenn_quit) return;
    if (quit_ask.open) {
        answer_quit_question(m);
        return;
    }

    if (fenn_get_key_state(fenn_mod_ctrl) && fenn_get_key_state(SDL_SCANCODE_M) == 3) pause_menu_toggle_mute(m);

    // A program launched from the browser that stops (or never starts)
    // brings the browser back with its "finished" bar.
    // A line typed at the console is no program of the browser's.
    const bool program_was_wanted =
        (app.mode == shell_running && !run_console_line_running(m)) || app.pending == pending_run_cart;
    const bool browser_was_open = browse_active();

    if (app.pending != pending_none) {
        m->reset_glitch = 0;
        carry_out_pending_action();
    }

    if (app.mode != shell_running) {
        fenn_set_paused(0);
        app.pause_menu = 0;
        m->target_fps = 30;
    }

    bool paused = fenn_state.paused || app.pause_menu;
    int fps = paused ? 30 : m->target_fps;
    int64_t now = fenn_get_time();
    bool due = shell_add_frame_credit(app.frame_credit, fps, now - last_t);
    if (app.fast || app.glitch_test) {
        app.frame_credit = shell_frame_one;  // one machine frame per loop pass, no waiting
        due = true;
    }
    last_t = now;

    // Scripted keys last one pass; the script moves on a command a machine
    // frame once the boot is over.
    keyscript_release(&key_player);
    if (app.key_script && due && app.mode != shell_boot && app.mode != shell_splash) keyscript_advance(&key_player);

    // The screen on top gets the keys and the frame; see the table above.
    const shell_screen top = shell_top_screen();
    if (top != screen_editors) editor_pending = editor_input{};
    if (screen_steps[top].before_frame) screen_steps[top].before_frame(m);
    if (due && paused) {
        // The pause menu, or a window that lost the focus: the program waits.
        paused_frame(m);   // the pause menu's own step, also when no menu is open
        app.frame_credit -= shell_frame_one;
        capture_record_frame(gif_frame, app.gif_len);
        // -frames counts paused frames too: a run left in the pause menu
        // still ends.
        if (app.frame_limit > 0 && ++app.frames_run >= app.frame_limit) fenn_quit = 1;
    } else if (due) {
        if (screen_steps[top].frame) screen_steps[top].frame(m);
        if (app.mode == shell_running) {
            // The busy icon turns while a program waits to start or for a download.
            if (m->hold_frames > 0 || browse_download_state() != browse_dl_idle) browse_animate();
            else browse_reset_animation();
        }
        boot_update_reset_glitch(m);
        app.frame_credit -= shell_frame_one;
        app.boot_frame++;
        frame_flipper ^= 1;
        if (shell_records_gif_frame(paused, m->target_fps, frame_flipper)) capture_record_frame(gif_frame, app.gif_len);
        machine_clock_ms += 1000 / fps;
        if (recording) vexel_audio_record_frame(m->audio, wav, fps, machine_frames);
        ++machine_frames;
        if (app.frame_limit > 0 && ++app.frames_run >= app.frame_limit) fenn_quit = 1;
    }
    if (program_was_wanted && app.mode != shell_running && browse_active() && app.pending == pending_none)
        browse_program_ended();
    if (browser_was_open && !browse_active() && app.mode == shell_console && app.pending == pending_none)
        console_note_left_browser();
    // Keys that act on what the frame left go to the screen on top now (a
    // program that stopped in this frame has given the prompt back).
    const shell_screen top_after = shell_top_screen();
    if (screen_steps[top_after].after_frame) screen_steps[top_after].after_frame(m);
    process_capture_keys();
    if (editor_active() && app.mode != shell_console) editor_close(m);  // a program took the screen
    track_unsaved_changes(m);
    if (keyconfig_take_result(app.button_keys)) fenn_debug("key configuration saved\n");
    shell_update_audio_pause(m);
    vexel_audio_set_framework_paused(m->audio, fenn_state.paused);
    vexel_audio_set_pause_state(m->audio, m->audio_pause_state);
    vexel_audio_update_fading(m->audio);
}

// -------------------------------------------------------------------- draw

void shell_draw() {
    vexel_machine* m = app.machine;
    int64_t start = fenn_get_time();
    if (app.pending != pending_none) return;
    fenn_bitmap* page = fenn_get_back_page();
    if (!page) return;
    fenn_clear_bitmap(page, 0);
    if (app.mode == shell_splash) {
        boot_draw_splash();
        return;
    }
    page = fenn_resize_back_page(128, 128);
    // The screen on top draws; the console's prompt only when it is on top
    // (under the browser, its finished bar over a program's last picture,
    // no prompt is drawn).
    const shell_screen top = shell_top_screen();
    if (top == screen_console) console_draw(m, true, true);
    if (top == screen_keyconfig) keyconfig_draw(m);
    if (m->hold_frames == 0 && !m->held_frame) vexel_present_screen(m, app.mode == shell_running && m->program_active);
    // The browser draws on the display picture, so screenshots and GIFs show it.
    // A program the browser started has the screen to itself while it runs.
    if (top == screen_browser) browse_draw(m, m->display);
    // The editors too, over the console's picture, which is left as it was.
    else if (top == screen_editors) editor_draw(m, m->display);
    fenn_blit(m->display, 0, 0, page, 0, 0, 128, 128);
    if (app.mode == shell_running && m->program_active && m->hold_frames > 0) browse_draw_program_busy(m, page);
    pause_menu_draw(page);
    draw_quit_question(page);
    shell_draw_message(page);
    if (gif_frame && page->pix.size() == gif_frame->pix.size())
        std::memcpy(gif_frame->pix.data(), page->pix.data(), gif_frame->pix.size());
    draw_ms = fenn_get_time() - start;
    run_set_draw_time(m, draw_ms);
}

// ---------------------------------------------------------------- shutdown

namespace {

// Unsaved changes go to the backup folder at exit. In a window the message
// is shown long enough to be read (one more frame drawn, then a pause).
void back_up_at_exit(vexel_machine* m) {
    if (!vexel_unsaved_changes(m, true)) return;
    std::string reason;
    if (vexel_save_backup(m, m->file.filename, false, &reason) != 0) {
        std::fprintf(stderr, "vexel: could not back up unsaved changes (%s)\n", reason.c_str());
        return;
    }
    fenn_debug("backed up unsaved changes\n");
    // The next start says where they went: the newest file of backup/.
    std::error_code ec;
    std::filesystem::file_time_type newest{};
    std::string name;
    for (std::filesystem::directory_iterator it(fenn_prefix_with_appdata_path("backup/"), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string n = it->path().filename().string();
        std::error_code e2;
        const auto t = it->last_write_time(e2);
        if (!e2 && n[0] != '.' && it->is_regular_file(e2) && (name.empty() || t > newest)) {
            newest = t;
            name = n;
        }
    }
    if (!app.exec_mode) boot_note_exit_backup(name.c_str());
    if (!app.show_backup_messages || !fenn_platform_has_video()) return;
    app.pending = pending_none;
    shell_show_message_exact("backing up unsaved changes", exit_backup_message_ms);
    shell_draw();
    fenn_blit_back_page();
    fenn_handle_system_messages();
    fenn_delay(exit_backup_wait_ms);
}

// The screen memory as the last frame left it, hashed: what the web
// player's test page reports for the same cartridge, seed and frames.
void print_screen_sha1(vexel_machine* m) {
    uint8_t screen[vexel_screen_bytes];
    for (int32_t i = 0; i < vexel_screen_bytes; ++i)
        screen[i] = uint8_t(vexel_peek(m, m->cart, int32_t(vexel_addr_screen) + i));
    sha1_state s;
    sha1_init(&s);
    sha1_update(&s, screen, sizeof screen);
    uint8_t digest[sha1_digest_size];
    sha1_final(&s, digest);
    char hex[sha1_hex_size + 1];
    for (size_t i = 0; i < sha1_digest_size; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    std::printf("screen sha1 %s\n", hex);
    std::fflush(stdout);
}

}  // namespace

void shell_exit() {
    vexel_machine* m = app.machine;
    if (app.screen_sha1) print_screen_sha1(m);
    if (app.screenshot_file[0] && capture_save_screenshot_to(app.screenshot_file, m->display, app.screenshot_scale) != 0) {
        std::fprintf(stderr, "vexel: cannot write the screenshot %s\n", app.screenshot_file);
        if (fenn_exit_status() == 0) fenn_set_exit_status(1);
    }
    cdata_save(m);  // a running program's save data, whatever the time since the last write
    back_up_at_exit(m);
    console_reset();
    browse_shutdown();
    vexel_audio_device_close();
    vexel_machine_destroy(m);
    app.machine = nullptr;
    editor_records.reset();
    vexel_cart_destroy(shell_system_cart);
    shell_system_cart = nullptr;
    fenn_destroy_bitmap(gif_frame);
    gif_frame = nullptr;
    boot_exit();
    shell_cart_art = cart_art{};
    fenn_destroy_pod(shell_console_font);
    fenn_destroy_pod(shell_system_graphics);
    fenn_destroy_pod(shell_resource_pod);
    shell_console_font = shell_system_graphics = shell_resource_pod = nullptr;
    fenn_exit();
}
