#include "app/pausemenu.h"

#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "app/shell.h"
#include "audio/audio.h"
#include "browser/splore.h"
#include "cart/disk.h"
#include "framework/fenn_config.h"
#include "framework/fenn_input.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_text.h"
#include "machine/button.h"
#include "machine/gfx.h"
#include "machine/mem.h"
#include "machine/pstate.h"
#include "machine/text.h"
#include "runtime/run.h"
#include "runtime/stat.h"

paused_menu_item paused_menu[pause_menu_max_items];
int paused_menu_items = 0;

namespace {

constexpr int pointer_item = 8;       // 7x7 pointer in the system graphics
constexpr int reset_repeat_ms = 500;
int64_t last_reset_time = -100000;

void add_item(const char* label, int32_t action) {
    if (paused_menu_items >= pause_menu_max_items) return;
    paused_menu_item& it = paused_menu[paused_menu_items++];
    std::snprintf(it.label, sizeof it.label, "%.16s", label);
    it.action = action;
}

void activate(int32_t action) {
    switch (action) {
    case pause_continue: close_paused_menu(); break;
    case pause_reset:
        close_paused_menu();
        pstate.reset_glitch = 1;
        break;
    case pause_exit_to_browser:
        close_paused_menu();
        splore_program_left_from_menu();
        pstate.pending = pending_stop_program;
        break;
    case pause_back: {
        const char* file = get_run_chain_filename();
        if (!file) return;
        std::snprintf(runner.pending_params, sizeof runner.pending_params, "%s",
                      get_run_chain_param_str() ? get_run_chain_param_str() : "");
        shell_load_working_cart(file);
        pstate.pending = pending_run_cart;
        pstate.hold_frames = 20;
        pop_run_chain();
        close_paused_menu();
        break;
    }
    case pause_quit: fenn_quit = 1; break;
    default:
        if (action >= pause_custom_first && action < pause_custom_first + run_menu_items) {
            close_paused_menu();
            runner.menu_selected[action - pause_custom_first] = 1;
        }
        break;
    }
}

}  // namespace

void build_paused_menu() {
    paused_menu_items = 0;
    add_item("continue", pause_continue);
    for (int i = 0; i < run_menu_items; ++i)
        if (runner.menu_labels[i][0]) add_item(runner.menu_labels[i], pause_custom_first + i);
    add_item("reset cart", pause_reset);
    if (get_run_chain_label()) add_item(get_run_chain_label(), pause_back);
    add_item("quit", pause_quit);
    if (pstate.sub_screen == sub_screen_browser) add_item("exit to splore", pause_exit_to_browser);
}

void open_paused_menu() {
    app.pause_menu = 1;
    app.pause_selection = 0;
    block_buttons();
    build_paused_menu();
}

void close_paused_menu() {
    app.pause_menu = 0;
    if (!fenn_state.paused) {
        block_buttons();
        vexel_buttons.repeat_countdown = (runner.fps * 15) / 30 + 1;
    }
}

void toggle_mute() {
    if (cconfig.sound_volume != 0) {
        cconfig.sound_volume = 0;
        show_message_exact("sound off", 1400);
    } else {
        cconfig.sound_volume = 256;
        show_message_exact("sound on", 1400);
    }
    cconfig.music_volume = cconfig.sound_volume;
    vexel_audio_set_sound_volume(cconfig.sound_volume);
    vexel_audio_set_music_volume(cconfig.music_volume);
}

void process_paused_keypresses() {
    if (!app.pause_menu || paused_menu_items == 0) return;
    int n = paused_menu_items;
    int sel = app.pause_selection;
    if (button_pressed(button_up, 0)) --sel;
    if (button_pressed(button_down, 0)) ++sel;
    if (sel < 0) sel = n - ((-sel) % n);
    app.pause_selection = sel % n;
    if (button_pressed(button_o, 0) || button_pressed(button_x, 0) || button_pressed(button_pause, 0)) {
        for (int b : {button_o, button_x, button_pause}) vexel_buttons.pressed[0][b] = 0;
        activate(paused_menu[app.pause_selection].action);
    }
}

void process_running_keypresses() {
    while (fenn_keypressed()) {
        int c = fenn_readkey();
        if (!fenn_get_key_state(fenn_mod_ctrl)) continue;
        if (c == 'r') {
            int64_t now = fenn_get_time();
            if (!pstate.reset_glitch && now - last_reset_time > reset_repeat_ms) {
                do_quick_load();
                pstate.reset_glitch = 1;
                last_reset_time = now;
                fenn_flush_keys();
            }
        } else if (c == 's') {
            do_quick_save();
        } else if (c == 'v') {
            stat_set_clipboard(fenn_get_clipboard_text().c_str());
        }
    }
    if (pstate.program_active && !app.pause_menu && button_pressed(button_pause, 0)) {
        if (pstate.ram[vexel_reg_pause_suppress] == 1) {
            pstate.ram[vexel_reg_pause_suppress] = 0;
            vexel_buttons.pressed[0][button_pause] = 0;
        } else {
            open_paused_menu();
        }
    }
}

void draw_paused_menu(fenn_bitmap* page) {
    if (!app.pause_menu || !page) return;
    int n = paused_menu_items;
    int h = (n * 8 + 8) / 2;
    draw_tinted_rect_adaptive(page, 23, 63 - h, 105, 65 + h, true);
    for (int x = 24; x <= 104; ++x) {
        page->pix[size_t(64 - h) * size_t(page->w) + size_t(x)] = 7;
        page->pix[size_t(64 + h) * size_t(page->w) + size_t(x)] = 7;
    }
    for (int y = 64 - h; y <= 64 + h; ++y) {
        page->pix[size_t(y) * size_t(page->w) + 24] = 7;
        page->pix[size_t(y) * size_t(page->w) + 104] = 7;
    }
    const cpod_item* pointer = cpod_get_item(shell_system_graphics, pointer_item);
    for (int i = 0; i < n; ++i) {
        int y = 69 - h + i * 8;
        bool selected = i == app.pause_selection;
        fenn_draw_text_ex(page, paused_menu[i].label, vexel_console_font, selected ? 35 : 34, y + 1,
                          fenn_text_single_colour, 7);
        if (selected && pointer && pointer->type == cpod_type_bitmap && pointer->bitmap->depth == 8) {
            const fenn_bitmap* b = pointer->bitmap.get();
            for (int py = 0; py < b->h && y + py < page->h; ++py)
                for (int px = 0; px < b->w && 25 + px < page->w; ++px)
                    if (uint8_t c = b->pix[size_t(py) * size_t(b->w) + size_t(px)])
                        page->pix[size_t(y + py) * size_t(page->w) + size_t(25 + px)] = c;
        }
    }
}
