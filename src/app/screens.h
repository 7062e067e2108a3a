// screens: which of the shell's screens is on top, and so has the keys.
//
// The shell's screens stand over one another like a stack. At the bottom
// is the splash, the boot, the console or the running program (app.mode);
// over the console the editors, a listing that waits for a key, the key
// configuration and the browser; over a running program a download it
// waits for and its pause menu. Each screen keeps its own state
// (editor_active, app.sub_screen, console_listing_active, browse_active,
// browse_download_state, app.pause_menu); shell_top_screen is the one
// place that reads them all and says which is on top. A screen takes keys
// only while it is on top: every key reader asks shell_screen_has_keys
// for its own screen rather than testing the others' flags.
#pragma once
#include <cstdint>

enum shell_screen : int32_t {
    screen_none = 0,    // an action is posted: nothing takes keys until it is carried out
    screen_splash,
    screen_boot,
    screen_program,     // a running program (its buttons; Escape pauses)
    screen_pause_menu,
    screen_console,     // the prompt
    screen_editors,
    screen_keyconfig,
    screen_listing,     // a console listing waiting for a key
    screen_browser,
    screen_download,    // a board cartridge being fetched for a load
};

// The screen on top now.
shell_screen shell_top_screen();
// Whether `screen` is on top and a keyboard reaches the shell (a window,
// or a key script in a headless run).
bool shell_screen_has_keys(shell_screen screen);
// The screen's name, for messages and tests.
const char* shell_screen_name(shell_screen screen);
