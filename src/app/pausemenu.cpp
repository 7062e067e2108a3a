#include "app/pausemenu.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/shell.h"
#include "audio/audio.h"
#include "browser/browse.h"
#include "cart/cart_glyphs.h"
#include "cart/cart_load.h"
#include "machine/disk.h"
#include "framework/fenn_config.h"
#include "framework/fenn_input.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_text.h"
#include "machine/button.h"
#include "machine/gfx.h"
#include "machine/mem.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "runtime/run.h"

pause_menu_item pause_menu_state[pause_menu_max_items];
int pause_menu_items = 0;

namespace {

constexpr int pointer_item = 8;       // 7x7 pointer in the system graphics
constexpr int reset_repeat_ms = 500;
int64_t last_reset_time = -100000;

void add_item(const char* label, int32_t action) {
    if (pause_menu_items >= pause_menu_max_items) return;
    pause_menu_item& it = pause_menu_state[pause_menu_items++];
    std::snprintf(it.label, sizeof it.label, "%.16s", label);
    it.action = action;
}

void activate(vexel_machine* m, int32_t action) {
    switch (action) {
    case pause_continue: pause_menu_close(m); break;
    case pause_reset:
        pause_menu_close(m);
        m->reset_glitch = 1;
        break;
    case pause_exit_to_browser:
        pause_menu_close(m);
        browse_program_left_from_menu();
        shell_post(pending_stop_program);
        break;
    case pause_back: {
        const char* file = run_chain_file(m);
        if (!file) return;
        std::snprintf(m->runner->pending_params, sizeof m->runner->pending_params, "%s",
                      run_chain_params(m) ? run_chain_params(m) : "");
        shell_load_working_cart(file);
        shell_post(pending_run_cart);
        m->hold_frames = 20;
        run_chain_pop(m);
        pause_menu_close(m);
        break;
    }
    case pause_quit:
        pause_menu_close(m);
        shell_request_quit(true);
        break;
    case pause_exit_to_console:
    case pause_new_cart:
        // The program stops as stop() stops it: "resume" at the prompt
        // carries on.
        // The prompt starts on a clear screen rather than over the
        // program's picture.
        pause_menu_close(m);
        shell_post(pending_stop_program);
        if (m->screen) std::fill(m->screen->pix.begin(), m->screen->pix.end(), uint8_t(0));
        m->cursor_x = m->cursor_y = 0;
        if (action == pause_new_cart) {
            // The built-in cartridge is left behind for an empty one, as
            // "new" at the prompt does.
            vexel_new_working_cart(m);
            vexel_print(m, "new cartridge: the editors (esc)");
            vexel_print(m, "make it; save NAME keeps it");
        }
        break;
    default:
        if (action >= pause_custom_first && action < pause_custom_first + run_menu_items) {
            pause_menu_close(m);
            m->runner->menu_selected[action - pause_custom_first] = 1;
        }
        break;
    }
}

}  // namespace

void pause_menu_build(vexel_machine* m) {
    pause_menu_items = 0;
    add_item("continue", pause_continue);
    for (int i = 0; i < run_menu_items; ++i)
        if (m->runner->menu_labels[i][0]) add_item(m->runner->menu_labels[i], pause_custom_first + i);
    add_item("reset cart", pause_reset);
    if (run_chain_label(m)) add_item(run_chain_label(m), pause_back);
    // The console's own menu: a way to start making a game from it.
    if (!browse_active() && !app.exec_mode && m->file.builtin) add_item("new cartridge", pause_new_cart);
    add_item("quit", pause_quit);
    if (browse_active()) add_item("exit to browser", pause_exit_to_browser);
    else if (!app.exec_mode) add_item("exit to console", pause_exit_to_console);
}

void pause_menu_open(vexel_machine* m) {
    app.pause_menu = 1;
    app.pause_selection = 0;
    vexel_buttons_block(m);
    pause_menu_build(m);
}

void pause_menu_close(vexel_machine* m) {
    app.pause_menu = 0;
    if (!fenn_state.paused) {
        vexel_buttons_block(m);
        m->buttons.repeat_countdown = (m->runner->fps * 15) / 30 + 1;
    }
}

void pause_menu_toggle_mute(vexel_machine* m) {
    if (fenn_cfg.sound_volume != 0) {
        fenn_cfg.sound_volume = 0;
        shell_show_message_exact("sound off", 1400);
    } else {
        fenn_cfg.sound_volume = 256;
        shell_show_message_exact("sound on", 1400);
    }
    fenn_cfg.music_volume = fenn_cfg.sound_volume;
    vexel_audio_set_sound_volume(m->audio, fenn_cfg.sound_volume);
    vexel_audio_set_music_volume(m->audio, fenn_cfg.music_volume);
}

void pause_menu_keys(vexel_machine* m) {
    if (!app.pause_menu || pause_menu_items == 0) return;
    int n = pause_menu_items;
    int sel = app.pause_selection;
    if (vexel_button_pressed(m, button_up, 0)) --sel;
    if (vexel_button_pressed(m, button_down, 0)) ++sel;
    if (sel < 0) sel = n - ((-sel) % n);
    app.pause_selection = sel % n;
    if (vexel_button_pressed(m, button_o, 0) || vexel_button_pressed(m, button_x, 0) || vexel_button_pressed(m, button_pause, 0)) {
        for (int b : {button_o, button_x, button_pause}) m->buttons.pressed[0][b] = 0;
        activate(m, pause_menu_state[app.pause_selection].action);
    }
}

void pause_menu_running_keys(vexel_machine* m) {
    while (fenn_keypressed()) {
        int c = fenn_readkey();
        if (!fenn_get_key_state(fenn_mod_ctrl)) continue;
        if (c == 'r') {
            int64_t now = fenn_get_time();
            if (!m->reset_glitch && now - last_reset_time > reset_repeat_ms) {
                vexel_quick_load(m);
                m->reset_glitch = 1;
                last_reset_time = now;
                fenn_flush_keys();
            }
        } else if (c == 's') {
            vexel_quick_save(m);
        } else if (c == 'v') {
            // stat(4) gives the program machine text: glyphs as their bytes.
            const std::string text = fenn_get_clipboard_text();
            m->clipboard.clear();
            cart_utf8_to_machine(text.data(), text.size(), &m->clipboard, nullptr);
        }
    }
    if (m->program_active && !app.pause_menu && vexel_button_pressed(m, button_pause, 0)) {
        if (m->ram[vexel_reg_pause_suppress] == 1) {
            m->ram[vexel_reg_pause_suppress] = 0;
            m->buttons.pressed[0][button_pause] = 0;
        } else {
            pause_menu_open(m);
        }
    }
}

void pause_menu_draw(fenn_bitmap* page) {
    if (!app.pause_menu || !page) return;
    int n = pause_menu_items;
    int h = (n * 8 + 8) / 2;
    vexel_draw_tinted_rect(page, 23, 63 - h, 105, 65 + h, true);
    for (int x = 24; x <= 104; ++x) {
        page->pix[size_t(64 - h) * size_t(page->w) + size_t(x)] = 7;
        page->pix[size_t(64 + h) * size_t(page->w) + size_t(x)] = 7;
    }
    for (int y = 64 - h; y <= 64 + h; ++y) {
        page->pix[size_t(y) * size_t(page->w) + 24] = 7;
        page->pix[size_t(y) * size_t(page->w) + 104] = 7;
    }
    const fenn_pod_item* pointer = fenn_pod_get_item(shell_system_graphics, pointer_item);
    for (int i = 0; i < n; ++i) {
        int y = 69 - h + i * 8;
        bool selected = i == app.pause_selection;
        fenn_draw_text_ex(page, pause_menu_state[i].label, shell_console_font, selected ? 35 : 34, y + 1,
                          fenn_text_single_colour, 7);
        if (selected && pointer && pointer->type == fenn_pod_type_bitmap && pointer->bitmap->depth == 8) {
            const fenn_bitmap* b = pointer->bitmap.get();
            for (int py = 0; py < b->h && y + py < page->h; ++py)
                for (int px = 0; px < b->w && 25 + px < page->w; ++px)
                    if (uint8_t c = b->pix[size_t(py) * size_t(b->w) + size_t(px)])
                        page->pix[size_t(y + py) * size_t(page->w) + size_t(25 + px)] = c;
        }
    }
}
