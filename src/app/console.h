// console: the console text surface in console mode — the prompt line drawn
// at the print cursor, the command-line buffer behind it, and the directory
// listing that `ls` pages onto the console a few entries per update.
//
// In console mode with no program running, typed keys edit the command line
// (insert at the cursor, Backspace/Delete, Left/Right/Home/End, Up/Down
// through the last console_history_max lines, Ctrl+V pastes); Enter leaves
// the line on the screen and hands it to the runner as a program text, so a
// line that is only a command ("ls", "load game") runs that command and
// anything else runs as Lua. There is no keyboard in exec mode or headless
// (unless a -keys script plays), and then the prompt only shows. Escape at
// an empty prompt opens the editors (app/editor.h). The printers themselves (vexel_print,
// vexel_cursor_cr) live with the text drawing in machine/text.
//
// Invariants: the command buffer is NUL-terminated, holds only printable
// characters (32..126) and glyph bytes (cart/cart_glyphs.h), at most
// console_command_max of them, and the
// cursor index lies within it; the history holds at most
// console_history_max lines and its position is within 0..size; a listing
// is idle (phase 0) or holds a snapshot of one folder's entries and an index
// into it; a listing waiting at "--more--" has no lines left and shows no
// prompt.
#pragma once

struct vexel_machine;
#include <cstdint>
#include <string>
#include <vector>

constexpr int console_command_max = 256;
constexpr int console_page_lines = 17;
constexpr int console_filter_max = 1023;
constexpr int console_listing_steps = 2;  // entries printed per update at most
constexpr int console_prompt_wrap = 30;   // characters of a command line per row
constexpr int console_cursor_blink_bit = 256;  // of the millisecond timer: 512 ms period
constexpr int console_history_max = 16;
constexpr int console_key_escape = 27;
constexpr int console_key_enter = 13;
constexpr int console_key_backspace = 8;

enum console_listing_phase : int {
    listing_idle = 0,
    listing_folders = 1,
    listing_files_start = 2,
    listing_files = 3,
};

struct vexel_console {
    char command[console_command_max + 1] = {};
    int cursor = 0;

    // Lines entered, oldest first; `history_at` is the one shown while
    // walking with Up/Down (history.size() when on the line being typed,
    // which waits in `draft`).
    std::vector<std::string> history;
    size_t history_at = 0;
    std::string draft;
    bool from_browser = false;  // the browser was left for the console with Escape

    // Directory listing.
    int phase = listing_idle;
    int lines_left = 0;
    char filter[console_filter_max + 1] = {};
    std::vector<std::string> folders;  // sorted snapshot taken when the listing starts
    std::vector<std::string> files;
    size_t next = 0;                   // next entry of the current phase
};

extern vexel_console console;

// Clears the command line and its history and ends any listing.
void console_reset();

// Whether the prompt takes keys now: console mode with nothing covering it
// (key configuration, the browser, the editors),
// no program running or about to, no listing paged, and a keyboard (not
// exec mode, not headless; or a key script playing).
bool console_takes_keys();
// One update's keys: the typed characters of the platform's key buffer
// (console_keypress) and the editing keys pressed this pass
// (console_edit_key). Does nothing unless console_takes_keys().
void console_update_input(vexel_machine* m);
// One key as the typed-key buffer delivers it: a printable character, 8
// (Backspace), 13 (Enter), 27 (Escape), or fenn_typed_unicode + a code
// point (typed text beyond ASCII: its glyph, else '?'); with Ctrl held
// letters come as lower-case letters and only "v" (paste) means anything.
// Others are ignored.
// Escape clears a line being typed; at an empty prompt reached from the
// browser (before any line was entered there) it opens the browser again,
// at any other empty prompt the editors — the code editor at the failing
// line when an error of the cartridge's program was just reported.
void console_keypress(vexel_machine* m, int key, bool ctrl);
// An editing key by scancode: Left, Right, Home, End, Up, Down, Delete.
void console_edit_key(vexel_machine* m, int scancode);
// Inserts the first line of `text` (UTF-8, as the host clipboard holds it)
// at the cursor: printable characters and glyphs, other characters as '?',
// up to the buffer's size.
void console_paste(vexel_machine* m, const char* text);
// Enter: leaves the line on the screen, moves the print cursor below it,
// remembers it, clears the buffer and runs it (run_console_line).
void console_submit(vexel_machine* m);
// The browser was closed for the console: Escape at an empty prompt goes back.
void console_note_left_browser();

// Draws the prompt line at the print cursor on the machine screen: clears
// the rows the command line takes, draws ">" and the buffer in colour 7 and,
// when draw_cursor is set, the window is active and the blink phase is on,
// the cursor block in colour 8. Nothing happens outside console mode or
// while a listing is paged.
void console_draw(vexel_machine* m, bool draw_cursor, bool draw_text);

// Whether the prompt's cursor block shows: only while the window is active,
// in the lit half of the blink period.
bool console_cursor_visible(bool window_active, int64_t now_ms);

// Lists the folder `full_path` (shown as "/relative"): prints the heading at
// once and leaves the entries to console_listing_update. A filter of "*"
// also lists files that are not cartridges; any other non-empty filter lists
// only the names containing it. Returns false, printing "directory not
// found", when the folder cannot be read.
bool console_start_listing(vexel_machine* m, const char* full_path, const char* relative, const char* filter);
// Whether a listing is in progress (printing, or waiting at "--more--").
bool console_listing_active();
// Whether the listing stopped at "--more--" and waits for a key or button.
bool console_listing_waiting();
// One update's worth of listing: at most console_listing_steps entries while
// lines are left; "--more--" when the page is full and entries remain.
void console_listing_update(vexel_machine* m);
// Starts the next page of a listing waiting at "--more--".
void console_listing_next_page();
void console_listing_close();
