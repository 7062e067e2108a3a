// keyconfig: the key configuration screen, which rebinds the keyboard keys
// of the 13 configurable buttons (player 0 buttons 0-5, player 1 buttons 0-5,
// player 0 pause).
//
// The screen edits its own copy of the bindings. Finishing all 13 posts the
// copy as a result, which the frame loop moves into the live table
// (app.button_keys, written with the settings file); Escape leaves without
// posting, so the bindings in force never change halfway. It draws on the
// machine screen while it is the console's sub-screen.
#pragma once

struct vexel_machine;
#include <cstdint>

constexpr int keyconfig_bindings = 13;
constexpr int keyconfig_scan_max = 512;

// Opens the screen: first binding, wait for all keys to be released, block
// the buttons.
void keyconfig_open(vexel_machine* m);
void keyconfig_update(vexel_machine* m);
void keyconfig_draw(vexel_machine* m);
// Copies a waiting result into `keys` and clears it; false when none waits.
bool keyconfig_take_result(int32_t keys[keyconfig_bindings]);

// The binding being asked for (keyconfig_bindings once all are done).
int keyconfig_cursor();
// Label and key name shown for binding i ("p1 left    : left").
const char* keyconfig_label(int i);
void keyconfig_row_text(int i, char* out, int out_size);
