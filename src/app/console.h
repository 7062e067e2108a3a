// console: the console text surface in console mode — the prompt line drawn
// at the print cursor, the command-line buffer behind it, and the directory
// listing that `ls` pages onto the console a few entries per update.
//
// The console takes no typed command lines (commands arrive as calls from
// cartridge programs), so the buffer stays empty and the prompt is a bare
// ">" with a blinking cursor. The printers themselves (vexel_print,
// cursor_cr) live with the text drawing in machine/text.
//
// Invariants: the command buffer is NUL-terminated and the cursor index lies
// within it; a listing is idle (phase 0) or holds a snapshot of one folder's
// entries and an index into it; a listing waiting at "--more--" has no lines
// left and shows no prompt.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int console_command_max = 256;
constexpr int console_page_lines = 17;
constexpr int console_filter_max = 1023;
constexpr int console_listing_steps = 2;  // entries printed per update at most
constexpr int console_prompt_wrap = 30;   // characters of a command line per row
constexpr int console_cursor_blink_bit = 256;  // of the millisecond timer: 512 ms period

enum console_listing_phase : int {
    listing_idle = 0,
    listing_folders = 1,
    listing_files_start = 2,
    listing_files = 3,
};

struct vexel_console {
    char command[console_command_max + 1] = {};
    int cursor = 0;

    // Directory listing.
    int phase = listing_idle;
    int lines_left = 0;
    char filter[console_filter_max + 1] = {};
    std::vector<std::string> folders;  // sorted snapshot taken when the listing starts
    std::vector<std::string> files;
    size_t next = 0;                   // next entry of the current phase
};

extern vexel_console console;

// Clears the command line and ends any listing.
void console_reset();

// Draws the prompt line at the print cursor on the machine screen: clears
// the rows the command line takes, draws ">" and the buffer in colour 7 and,
// when draw_cursor is set, the window is active and the blink phase is on,
// the cursor block in colour 8. Nothing happens outside console mode or
// while a listing is paged.
void draw_command_string(bool draw_cursor, bool draw_text);

// Whether the prompt's cursor block shows: only while the window is active,
// in the lit half of the blink period.
bool console_cursor_visible(bool window_active, int64_t now_ms);

// Lists the folder `full_path` (shown as "/relative"): prints the heading at
// once and leaves the entries to console_listing_update. A filter of "*"
// also lists files that are not cartridges; any other non-empty filter lists
// only the names containing it. Returns false, printing "directory not
// found", when the folder cannot be read.
bool console_start_listing(const char* full_path, const char* relative, const char* filter);
// Whether a listing is in progress (printing, or waiting at "--more--").
bool console_listing_active();
// Whether the listing stopped at "--more--" and waits for a key or button.
bool console_listing_waiting();
// One update's worth of listing: at most console_listing_steps entries while
// lines are left; "--more--" when the page is full and entries remain.
void console_listing_update();
// Starts the next page of a listing waiting at "--more--".
void console_listing_next_page();
void console_listing_close();
