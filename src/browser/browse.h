// browse: the cartridge browser screen — a full-screen, button-driven view
// of the eight lists (browse_list.h) with a per-cartridge menu, a search
// entry, downloads (browse_download.h) and the launch of cartridges.
//
// The shell calls browse_open to show it (the -browse option, the browse()
// command), and while it is the console's sub-screen: browse_keypress for
// each typed key, browse_update once per machine frame and browse_draw once
// per draw, onto the display picture after the machine screen was converted
// into it (so the browser never touches machine memory, screenshots and GIFs
// show it, and a finished program's last picture stays under the "finished"
// bar).
//
// Invariants: the cart menu index lies in 0..count-1 whenever a menu is open;
// the exit menu selection lies in 0..2; the launch countdown is 0 or counts
// 1..21; nothing here waits for a download.
#pragma once
#include <cstdint>

#include "framework/fenn_bitmap.h"

struct vexel_machine;

constexpr int browse_menu_max = 9;
constexpr int browse_menu_label_max = 64;
constexpr int browse_launch_frames = 20;      // frames between a load and the run
constexpr int browse_warning_ms = 4000;       // a loaded cartridge's warning stays this long
constexpr int browse_row_h = 7;
constexpr int browse_search_text_max = 22;

enum browse_menu_id : int32_t { browse_menu_closed = 0, browse_menu_cart = 1, browse_menu_options = 5 };

enum browse_action : int32_t {
    browse_act_run = 1,
    browse_act_favourite = 3,
    browse_act_options = 5,
    browse_act_cancel = 6,
    browse_act_thread = 18,
    browse_act_volume = 32,
    browse_act_fullscreen = 33,
    browse_act_shutdown = 34,
};

struct browse_menu_entry {
    int32_t action;
    char label[browse_menu_label_max + 1];
};

struct browse_screen_state {
    int32_t wheel;                 // 16.16 list position of the selector animation
    int32_t expanded;              // the list was just changed with left/right
    int32_t expand_amount;         // 16.16
    int64_t selection_time;        // ms
    int32_t cart_menu;             // browse_menu_id
    browse_menu_entry entries[browse_menu_max];
    int32_t menu_index, menu_count;
    int32_t menu_opening;          // 16.16, 0..1
    int32_t launch;                // 0, or frames since the launch was asked for
    int32_t exit_menu, exit_selection;
    int32_t finished;              // a program started from here has ended
    int32_t left_from_menu;        // ... because the player left it from the pause menu
    int32_t animation;             // frames, for the spinner and the busy icons
    int32_t highlight;             // frames since the list changed
    int32_t active;                // the browser is the screen shown (browse_open .. its exit)
};
extern browse_screen_state browse_screen;

// Shows the browser: enters it (below), makes it the console's sub-screen and
// blocks the buttons until released. The entry point of -browse and browse().
void browse_open(vexel_machine* m);
// Refills the local list, clamps the selections, closes the exit menu.
void browse_enter(vexel_machine* m);
// Whether the browser is the screen being shown.
bool browse_active();

void browse_update(vexel_machine* m);
void browse_controls(vexel_machine* m);
void browse_draw(vexel_machine* m, fenn_bitmap* page);
void browse_keypress(vexel_machine* m, int key);

// Carries out the selected item's action (open, load and launch, download).
void browse_action_current_item(vexel_machine* m);
// Opens a cart menu (browse_menu_cart or browse_menu_options).
void browse_open_cart_menu(int menu);
void browse_menu_action(vexel_machine* m, int action);

// Starts the countdown that runs the working cartridge.
void browse_start_launch();
// What the cartridge just loaded warns of (m->file.load_warnings), shown
// as a message over the browser and the start of the program: the console
// they were printed on is hidden behind both.
void browse_show_load_warnings(vexel_machine* m);
void browse_stamp_selection();
void browse_reset_animation();
int browse_animation_counter();

// The busy icon over a running program whose start waits (hold_frames) or
// whose load waits for a download: 12x12 at (3, 3), animated by the browser's
// counter, which the shell advances with browse_animate.
void browse_draw_program_busy(vexel_machine* m, fenn_bitmap* page);
void browse_animate();

// The shell tells the browser how a program it launched came back: the
// pause menu's "exit to browser", or any other end (the program finished,
// stopped or failed), which shows the "finished" bar until a button.
void browse_program_left_from_menu();
void browse_program_ended();

// The search entry of the current list.
void browse_start_search();
void browse_run_search();
// The list key of a search text, "search/<word>" (cart/cart_board.h: its
// first word, folded), or "" when it holds no word of two characters.
void browse_search_request(const char* text, char* out, int out_size);
