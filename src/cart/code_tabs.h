// code_tabs: the working cartridge's program as eight code tabs.
//
// The program text of a cartridge is one string; the tabs are the pieces
// between the separators "\n-->8\n". The tab buffers live in
// pstate.code_tabs (each vexel_code_buffer bytes); this module cuts the
// working cartridge's code into them and joins them back, and remembers
// which tab is current (the last tab counted when joining, even if empty).
//
// Invariants: every tab buffer stays NUL-terminated within its capacity;
// split followed by merge with tab 0 current gives back the same text, less
// trailing empty tabs and anything beyond the eighth separator (the join
// normalises it); the cartridge code is only replaced by a join that fits
// vexel_code_max.
#pragma once
#include <cstddef>

constexpr const char* code_tab_separator = "\n-->8\n";
constexpr size_t code_tab_separator_len = 6;

// Cuts `code` into the tabs (each of `capacity` bytes including the
// terminator): tab i gets the text after the i-th separator; text beyond the
// eighth separator is dropped, and a tab longer than its buffer is cut.
void split_code_text(const char* code, char* const* tabs, int tab_count, size_t capacity);

// Joins the first n tabs, n = 1 + the highest tab that is non-empty or is
// `current`, with a separator after each but the last. Writes at most
// `capacity` - 1 characters and a terminator to `out` (null `out` only
// measures). Returns the full length of the joined text.
size_t merge_code_text(const char* const* tabs, int tab_count, int current, char* out, size_t capacity);

// The working cartridge and pstate's tab buffers. split does nothing while
// the buffers do not exist. merge returns the joined length; when it is
// above vexel_code_max the cartridge code is left as it was, so callers can
// report the program as too long without losing any of it.
void split_code_to_tabs();
size_t merge_code_from_tabs();

int current_code_tab();
void select_code_tab(int tab);  // clamped to 0-7
