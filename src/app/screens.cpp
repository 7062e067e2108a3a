#include "app/screens.h"

#include "app/app.h"
#include "app/console.h"
#include "app/editor.h"
#include "browser/browse.h"
#include "browser/browse_download.h"
#include "framework/fenn_config.h"

shell_screen shell_top_screen() {
    switch (app.mode) {
    case shell_splash: return screen_splash;
    case shell_boot: return screen_boot;
    case shell_running:
        if (app.pause_menu) return screen_pause_menu;
        // A program's load waits for a board cartridge.
        if (browse_download_state() != browse_dl_idle) return screen_download;
        return screen_program;
    case shell_console: break;
    }
    if (app.pending != pending_none) return screen_none;
    // Topmost first.
    if (browse_active()) return screen_browser;
    if (app.sub_screen == sub_screen_keyconfig) return screen_keyconfig;
    if (console_listing_active()) return screen_listing;
    if (editor_active()) return screen_editors;
    // A load typed at the console downloads behind the prompt, which
    // still takes keys.
    return screen_console;
}

bool shell_screen_has_keys(shell_screen screen) {
    const bool keyboard = (!app.exec_mode && !fenn_cfg.headless) || app.key_script;
    return keyboard && shell_top_screen() == screen;
}

const char* shell_screen_name(shell_screen screen) {
    switch (screen) {
    case screen_none: return "none";
    case screen_splash: return "splash";
    case screen_boot: return "boot";
    case screen_program: return "program";
    case screen_pause_menu: return "pause menu";
    case screen_console: return "console";
    case screen_editors: return "editors";
    case screen_keyconfig: return "key configuration";
    case screen_listing: return "listing";
    case screen_browser: return "browser";
    case screen_download: return "download";
    }
    return "?";
}
