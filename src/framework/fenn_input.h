// fenn_input: the host's pointer, key names and clipboard.
//
// The mouse position is reported in back-page pixels through the rectangle
// of the window that shows the picture (fenn_video's fenn_dest_rect), so it
// agrees with what is drawn however the window is scaled. Without a window
// every reading is 0 (unless a scripted pointer overrides it) and the
// clipboard is empty.
#pragma once
#include <cstdint>
#include <string>

#include "framework/fenn_video.h"

constexpr int fenn_mouse_left = 1, fenn_mouse_right = 2, fenn_mouse_middle = 4;
constexpr int fenn_key_name_count = 311;
constexpr int fenn_key_name_max = 20;            // longer host names read as "?"
constexpr size_t fenn_clipboard_file_max = 1u << 20;

// Pointer position in back-page pixels and button bits (left, right,
// middle). With the rmb_key setting held, a left click reports the right
// button instead.
void fenn_get_mouse(int* x, int* y, int* buttons);
// Scripted input: while an override is set, fenn_get_mouse reports the
// given position (back-page pixels) and button bits instead of the host's
// pointer, with or without a window. fenn_clear_mouse_override gives the
// pointer back to the host.
void fenn_set_mouse_override(int x, int y, int buttons);
void fenn_clear_mouse_override();
// The mapping itself: window point (px, py) through the rectangle r showing
// a w x h picture. A rectangle without area maps everything to 0.
void fenn_map_mouse(int px, int py, const fenn_rect& r, int w, int h, int* x, int* y);
// The button bits after applying the right-click key (rmb_key held or not).
int fenn_apply_rmb_key(int buttons, bool rmb_key_held);

// Upper-case host name of a scancode ("LEFT", "Z"), "?" when the host's name
// is missing or too long; "" outside 0..fenn_key_name_count-1.
const char* fenn_get_key_name(int scancode);

// A copy of the host clipboard text ("" when empty or unavailable).
std::string fenn_get_clipboard_text();
// Returns 0 on success.
int fenn_set_clipboard_text(const char* text);
