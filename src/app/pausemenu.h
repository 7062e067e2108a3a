// pausemenu: the menu a player opens over a running cartridge, and the
// keyboard shortcuts that act while one runs.
//
// The list is rebuilt each time the menu opens: "continue", the program's
// own items (menuitem slots 1-5), "reset cart", the way back to the
// cartridge that loaded this one, "quit". It is drawn on the back page over
// the machine picture, so it never touches machine memory.
#pragma once

struct vexel_machine;
#include <cstdint>

#include "framework/fenn_bitmap.h"

constexpr int pause_menu_max_items = 16;
constexpr int pause_label_max = 64;

enum pause_action : int32_t {
    pause_continue = 0,
    pause_reset = 1,
    pause_exit_to_browser = 3,
    pause_back = 5,
    pause_quit = 6,
    pause_exit_to_console = 7,
    pause_new_cart = 8,
    pause_custom_first = 0x101,
};

struct pause_menu_item {
    char label[pause_label_max + 1];
    int32_t action;
};

extern pause_menu_item pause_menu_state[pause_menu_max_items];
extern int pause_menu_items;

void pause_menu_build(vexel_machine* m);
void pause_menu_draw(fenn_bitmap* page);
void pause_menu_keys(vexel_machine* m);
void pause_menu_running_keys(vexel_machine* m);
void pause_menu_open(vexel_machine* m);
void pause_menu_close(vexel_machine* m);
void pause_menu_toggle_mute(vexel_machine* m);
