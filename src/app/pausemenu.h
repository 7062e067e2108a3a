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
    pause_custom_first = 0x101,
};

struct paused_menu_item {
    char label[pause_label_max + 1];
    int32_t action;
};

extern paused_menu_item paused_menu[pause_menu_max_items];
extern int paused_menu_items;

void build_paused_menu(vexel_machine* m);
void draw_paused_menu(fenn_bitmap* page);
void process_paused_keypresses(vexel_machine* m);
void process_running_keypresses(vexel_machine* m);
void open_paused_menu(vexel_machine* m);
void close_paused_menu(vexel_machine* m);
void toggle_mute(vexel_machine* m);
