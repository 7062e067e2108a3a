// fenn_keys: what the host half of fenn_platform (SDL, or the web page)
// needs of the shared key table beyond fenn_platform.h.
#pragma once

// Clears the key table, the typed-key buffer and the wheel.
void fenn_keys_reset();
// Whether a key is down now (blocked or not).
bool fenn_key_held(int code);
// A pass that typed nothing but pressed a key tells the typed-key reader
// so with a -1 entry (the console wakes on it).
void fenn_keys_mark_fresh_press();
// The scripted pointer (fenn_set_mouse_override): true and the position and
// buttons while one is set; each pointer reader asks this first.
bool fenn_mouse_override_read(int* x, int* y, int* buttons);
