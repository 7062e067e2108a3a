// code_tabs: the working cartridge's program as code tabs.
//
// The program text of a cartridge is one string; the tabs are the pieces
// between the separators "\n-->8\n". This module cuts a program into tab
// buffers and joins them back (the machine keeps the working cartridge's
// tabs: machine/disk.h).
//
// Invariants: every tab buffer stays NUL-terminated within its capacity;
// split followed by merge with tab 0 current gives back the same text, less
// trailing empty tabs (the join normalises it), as long as no tab is longer
// than its buffer; the cartridge code is only replaced by a join that fits
// vexel_code_held_max.
#pragma once
#include <cstddef>

constexpr const char* code_tab_separator = "\n-->8\n";
constexpr size_t code_tab_separator_len = 6;

// Cuts `code` into the tabs (each of `capacity` bytes including the
// terminator): tab i gets the text after the i-th separator, and the last
// tab everything after its separator, further separators included; a tab
// longer than its buffer is cut.
void code_tabs_split(const char* code, char* const* tabs, int tab_count, size_t capacity);

// Joins the first n tabs, n = 1 + the highest tab that is non-empty or is
// `current`, with a separator after each but the last. Writes at most
// `capacity` - 1 characters and a terminator to `out` (null `out` only
// measures). Returns the full length of the joined text.
size_t code_tabs_merge(const char* const* tabs, int tab_count, int current, char* out, size_t capacity);
