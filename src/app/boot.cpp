#include "app/boot.h"

#include <climits>
#include <cstdio>
#include <memory>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/shell.h"
#include "audio/audio.h"
#include "browser/browse.h"
#include "capture/capture.h"
#include "cart/cart_load.h"
#include "cart/vdisk.h"
#include "machine/disk.h"
#include "framework/fenn_log.h"
#include "framework/fenn_file.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_path.h"
#include "framework/fenn_png.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_video.h"
#include "framework/fenn_write.h"
#include "machine/mem.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "runtime/run.h"

namespace {

fenn_bitmap* splash = nullptr;
constexpr int max_splash_side = 2048;
constexpr size_t max_splash_file = size_t(32) << 20;   // a picture file larger than this is not a splash
constexpr const char* credit_line = "a console for small games";
constexpr int boot_warning_colour = 9;

void set_screen_pixel(vexel_machine* m, int x, int y, int c) {
    if (m->screen && x >= 0 && x < 128 && y >= 0 && y < 128) m->screen->pix[size_t(y) * 128 + size_t(x)] = uint8_t(c);
}

void clear_screen(vexel_machine* m) {
    if (m->screen) fenn_clear_bitmap(m->screen, 0);
}

void draw_logo(vexel_machine* m) {
    fenn_pod_item* logo = fenn_pod_get_item(shell_system_graphics, 2);
    if (!logo || logo->type != fenn_pod_type_bitmap || !m->screen) return;
    fenn_bitmap* b = logo->bitmap.get();
    if (b->depth != 8) return;
    fenn_blit(b, 0, 0, m->screen, 1, 1, b->w, b->h);
}

}  // namespace

void boot_init(vexel_machine* m) {
    shell_set_mode(shell_boot);
    app.boot_frame = boot_first_frame;
    run_reset_lua(m);
    vexel_print(m, "");
    clear_screen(m);
    if (m->display) fenn_clear_bitmap(m->display, 0);
    m->cursor_x = m->cursor_y = 0;
    if (m->working_cart) {
        fenn_bitmap* g = m->working_cart->gfx;
        for (int i = 0; i < 4; ++i) {
            g->pix[size_t(2 + i) * 128 + size_t(2 + i)] = 7;
            g->pix[size_t(2 + i) * 128 + size_t(5 - i)] = 7;
        }
    }
    // The boot's noise and the reset effect draw from the framework's
    // generator: from the seed when one is given, so that runs repeat.
    fenn_srand(app.seeded ? app.seed : fenn_fresh_seed());
    fenn_flush_keys();
}

void boot_update(vexel_machine* m) {
    int step = app.boot_frame - boot_step_offset;
    switch (step) {
    case 1:
        for (int y = 0; y < 128; ++y)
            for (int x = 2; x <= 122; x += 8) set_screen_pixel(m, x, y, fenn_random(4) + y / 32);
        break;
    case 4:
        for (int y = 0; y < 128; y += 2)
            for (int x = 0; x <= 124; x += 4) set_screen_pixel(m, x, y, (((x + y) / 8) & 7) + 6);
        break;
    case 7:
        for (int y = 0; y <= 126; y += 3)
            for (int x = 2; x <= 126; x += 4) set_screen_pixel(m, x, y, fenn_random(4) + 10);
        break;
    case 9:
        if (m->screen)
            for (int y = 0; y < 128; ++y)
                for (int x = 1; x <= 125; x += 2)
                    m->screen->pix[size_t(y) * 128 + size_t(x)] = m->screen->pix[size_t(y) * 128 + size_t(x + 1)];
        break;
    case 12:
        if (m->screen)
            for (int y = 1; y < 128; ++y)
                if (y % 4) std::memset(m->screen->pix.data() + size_t(y) * 128, 0, 128);
        break;
    case 15: clear_screen(m); break;
    case 30:
        clear_screen(m);
        m->cursor_x = m->cursor_y = 0;
        vexel_print(m, "");
        vexel_print(m, "");
        draw_logo(m);
        break;
    case 35: {
        char line[64];
        std::snprintf(line, sizeof line, "vexel %s", vexel_version_string);
        vexel_print(m, line);
        draw_logo(m);
        break;
    }
    case 40:
        vexel_print_col(m, credit_line, 13);
        vexel_print(m, "");
        vexel_print(m, "booting cartridge..");
        vexel_print(m, "");
        break;
    case 60:
        boot_tell_exit_backup();
        // The head cartridge is not loaded then, but the built-in ones it
        // would have mounted are still there to load by name.
        if (app.cart_from_command_line) vexel_mount_embedded_carts(m, shell_resource_pod);
        if (app.cart_from_command_line && !app.run_flag) shell_set_mode(shell_console);
        if (app.cart_from_command_line && app.load_failure[0]) {
            char line[80];
            std::snprintf(line, sizeof line, "could not load %s", vdisk_base_name(app_auto_load_file));
            vexel_print_col(m, line, 8);
            std::snprintf(line, sizeof line, "(%s)", app.load_failure);
            vexel_print_col(m, line, 8);
            vexel_print(m, "");
        }
        // Printed when the cartridge was read, before the boot cleared the
        // screen: said again where it stays.
        if (app.cart_from_command_line && !app.load_failure[0] && !m->file.load_warnings.empty()) {
            for (const std::string& w : m->file.load_warnings) vexel_print_col(m, w.c_str(), boot_warning_colour);
            vexel_print(m, "");
        }
        break;
    case 70:
        if (app.browser_flag) shell_open_browser();
        break;
    case 80:
        // A cartridge named on the command line to be run takes the place
        // of the head cartridge (step 90 starts it).
        if (!(app.cart_from_command_line && app.run_flag)) boot_embedded_cart(m);
        break;
    case 90:
        if (app.cart_from_command_line && app.run_flag) shell_post(pending_run_cart);
        break;
    default: break;
    }
}

namespace {

// Beside the backups, so that it goes with the data folder; a dot file, so
// that listings of backup/ show only backups.
constexpr const char* exit_backup_note = "backup/.unsaved_at_exit";
constexpr int exit_backup_message_ms = 5000;
constexpr size_t exit_backup_note_max = 512;

}  // namespace

void boot_note_exit_backup(const char* name) {
    if (!name || !*name) return;
    const std::string text = std::string("backup/") + name;
    fenn_write_file(fenn_prefix_with_appdata_path(exit_backup_note).c_str(), text.data(), text.size());
}

void boot_tell_exit_backup() {
    const std::string path = fenn_prefix_with_appdata_path(exit_backup_note);
    std::string where;
    if (!fenn_read_regular_file(path.c_str(), exit_backup_note_max, &where)) return;
    std::remove(path.c_str());
    // Only a plain name of backup/ is repeated, whatever the file holds.
    if (where.rfind("backup/", 0) != 0 || where.find_first_of("\n\r") != std::string::npos || where.find("..") != std::string::npos)
        return;
    shell_show_message_exact(("unsaved changes were kept in " + where).c_str(), exit_backup_message_ms);
}

void boot_embedded_cart(vexel_machine* m) {
    // Item 3 becomes the working cartridge; it and the items after it are
    // mounted on the virtual disk, where load() and reload() find them.
    if (vexel_load_embedded_carts(m, shell_resource_pod) != 0) {
        vexel_print(m, "head cart not found");
        return;
    }
    shell_set_mode(shell_console);
    shell_post(pending_run_cart);
}

bool boot_load_splash() {
    std::string path = fenn_prefix_with_program_path("splash.png");
    if (!fenn_file_exists(path.c_str())) return false;
    std::string bytes;
    if (!fenn_read_regular_file(path.c_str(), max_splash_file, &bytes)) return false;
    fenn_bitmap* decoded = nullptr;
    if (fenn_png_decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &decoded, max_splash_side,
                        max_splash_side) != fenn_png_ok)
        return false;
    std::unique_ptr<fenn_bitmap, void (*)(fenn_bitmap*)> picture(decoded, fenn_destroy_bitmap);
    std::vector<uint8_t> rgb(picture->pix.size() / 4 * 3);
    for (size_t i = 0, n = rgb.size() / 3; i < n; ++i) {
        const uint32_t p = picture->pix32()[i];
        rgb[i * 3] = uint8_t(p >> 16);
        rgb[i * 3 + 1] = uint8_t(p >> 8);
        rgb[i * 3 + 2] = uint8_t(p);
    }
    fenn_bitmap* bmp = fenn_create_bitmap(picture->w, picture->h, 8);
    if (!bmp) return false;
    const uint8_t* pal = fenn_get_palette();
    for (size_t i = 0; i < bmp->pix.size(); ++i) {
        int best = 0, best_d = INT_MAX;
        for (int c = 0; c < 256; ++c) {
            int dr = rgb[i * 3] - pal[c * 3], dg = rgb[i * 3 + 1] - pal[c * 3 + 1], db = rgb[i * 3 + 2] - pal[c * 3 + 2];
            int d = dr * dr + dg * dg + db * db;
            if (d < best_d) { best_d = d; best = c; }
        }
        bmp->pix[i] = uint8_t(best);
    }
    fenn_destroy_bitmap(splash);
    splash = bmp;
    shell_set_mode(shell_splash);
    return true;
}

void boot_draw_splash() {
    if (!splash) return;
    fenn_bitmap* page = fenn_resize_back_page(splash->w, splash->h);
    fenn_blit(splash, 0, 0, page, 0, 0, splash->w, splash->h);
}

void boot_reboot(vexel_machine* m) {
    // The record is replaced by an empty one: edits not yet saved go to the
    // backup folder first.
    std::string reason;
    if (vexel_backup_unsaved_changes(m, &reason) != 0) vexel_print_failure(m, "backup", reason);
    vexel_audio_release_cart(m->audio, m->working_cart);
    vexel_cart_destroy(m->working_cart);
    m->working_cart = vexel_cart_create();
    m->file.filename[0] = 0;
    m->file.load_warnings.clear();
    cart_hash(m->working_cart, m->file.hash);
    vexel_mark_cart_saved(m);
    m->program_active = 0;
    boot_init(m);
}

namespace {

// The reset effect: scrambles machine memory for a frame (the screen shows
// it) before the cartridge starts again. Every address stays inside the
// machine's 32 KiB.
void corrupt_memory(vexel_machine* m) {
    auto rnd = [](int n) { return fenn_random(n); };
    int keep_pal = vexel_peek(m, m->cart, vexel_reg_keep_screen_pal);
    if (rnd(8) == 0) m->screen_mode = rnd(4);
    if (rnd(8) == 0)
        for (int i = 0; i < 4; ++i) vexel_poke(m, m->cart, vexel_reg_audio_fx, rnd(256));
    int k = rnd(4) + 2;
    if (rnd(4) == 0) k = rnd(30) + 10;
    if (rnd(20) == 0 && !app.glitch_test) {
        for (int i = 0; i < 3000; ++i) vexel_poke(m, m->cart, rnd(0x8000), rnd(256));
        k = 150;
    } else {
        if (app.glitch_test) k = app.glitch_shots * 2;
        for (int i = 0; i < 10 * k; ++i) vexel_poke(m, m->cart, rnd(0x8000), rnd(256));
        k /= 2;
    }
    for (int i = 0; i < k; ++i) {
        int d = rnd(30720) + 1024;
        vexel_memcpy(m, m->cart, d, d - rnd(2048) + rnd(2048), rnd(1024));
        vexel_memcpy(m, m->cart, rnd(31744), rnd(31744), rnd(1024));
    }
    for (int i = 0; i < k; ++i) vexel_memset(m, m->cart, rnd(18432), rnd(256), rnd(512));
    vexel_poke(m, m->cart, vexel_reg_keep_screen_pal, keep_pal);
}

}  // namespace

void boot_update_reset_glitch(vexel_machine* m) {
    if (app.glitch_test && app.mode == shell_running && !m->reset_glitch && ++app.glitch_test >= 12)
        m->reset_glitch = 1;
    if (!m->reset_glitch) return;
    if (++m->reset_glitch > 4) {
        m->reset_glitch = 0;
        shell_post(pending_run_cart);
        std::snprintf(m->runner->pending_params, sizeof m->runner->pending_params, "%s", m->runner->params);
        if (app.glitch_test) {
            // The test's record of each reset: what the glitch left on screen.
            if (capture_save_screenshot(m->display, m->file.filename, app.screenshot_scale) != 0) fenn_debug("** glitch test screenshot failed\n");
            app.glitch_test = 1;
            if (++app.glitch_shots >= 48) fenn_quit = 1;
        }
        return;
    }
    if (m->reset_glitch == 2) corrupt_memory(m);
}

void boot_exit() {
    fenn_destroy_bitmap(splash);
    splash = nullptr;
}
