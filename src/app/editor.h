// editor: the studio — the editors of the working cartridge, drawn in the
// machine's own 128x128 pixels and console font, and the frame around them.
//
// The frame owns which editor is open, the top bar (editor tabs, clickable,
// and the cartridge name), the bottom bar (the open editor's status line or
// a message), undo and redo (per editor, at least editor_undo_steps steps),
// the host clipboard, and the keys every editor shares: Escape back to the
// prompt, Alt+Left / Alt+Right to the previous / next editor, Ctrl+S save,
// Ctrl+R run, Ctrl+Z undo, Ctrl+Y redo, Ctrl+C / Ctrl+X / Ctrl+V.
//
// Each editor is an editor_page: a small table of functions over the
// machine. Editors read input only through the editor_input the frame hands
// them (built from the host each update, or from a -keys script), so they
// work the same headless; they draw only into the page they are given,
// inside editor_body_y0..editor_body_y1; they change the cartridge only
// through m->working_cart and m->code_tabs, with the helpers below for
// sprite pixels, map cells and flags (which write bytes as poke does, so
// the sprite sheet's lower half and the map's lower half stay one).
//
// Undo: before an edit an editor calls editor_checkpoint(m); the frame then
// saves the editor's state (its save_state) on the editor's undo stack and
// clears its redo stack. One checkpoint per user action (a stroke from
// mouse-down to mouse-up, a run of typing, a paste) groups it as one step.
#pragma once
#include <cstdint>
#include <string>

#include "framework/fenn_bitmap.h"
#include "framework/fenn_platform.h"

struct vexel_machine;
struct vexel_cart;

constexpr int editor_undo_steps = 128;
constexpr int editor_top_bar_h = 8;     // rows 0-7: tabs and cartridge name
constexpr int editor_bottom_bar_h = 7;  // rows 121-127: status
constexpr int editor_body_y0 = editor_top_bar_h;
constexpr int editor_body_y1 = 128 - editor_bottom_bar_h;  // exclusive
constexpr int editor_keys_max = 64;     // typed keys one update carries at most

enum editor_id : int {
    editor_code = 0,
    editor_sprite = 1,
    editor_map = 2,
    editor_sfx = 3,
    editor_music = 4,
    editor_count = 5,
};

// Colours of the frame (machine colours 0-15).
struct editor_theme {
    uint8_t bar_bg, bar_fg, tab_bg, tab_active_bg, tab_active_fg;
    uint8_t body_bg, text, comment, keyword, number, string, api, punct, cursor, selection;
    uint8_t status_bg, status_fg, warn;
};
// gui_theme 0 (classic) or 1 (dark blue code background).
const editor_theme& editor_theme_get(int gui_theme);

// The console's settings (config.txt) the editors follow. The shell hands
// them to the frame (editor_set_settings); the frame puts them into every
// editor_input, so an editor reads them there like the rest of its input.
struct editor_settings {
    int gui_theme = 0;          // 0 classic, 1 dark blue code background
    bool shift_glyphs = false;  // Shift+A..Z types glyphs in the code editor
    bool live_notes = false;    // a changed note of a sound effect is heard at once
    bool cursor_snap = false;   // the sprite editor's keyboard cursor follows the mouse
};
void editor_set_settings(const editor_settings& settings);

// One update's input, in machine pixels.
struct editor_input {
    // Typed keys in order, as the platform's key buffer gives them: a
    // printable character, 8 Backspace, 13 Enter, 9 Tab, 27 Escape, or
    // fenn_typed_unicode + code point. Keys typed with Ctrl or Alt held do
    // not arrive here (see `pressed`).
    int keys[editor_keys_max];
    int key_count;
    // Keys by scancode that went down this update (or auto-repeated):
    // arrows, Home, End, Page Up/Down, Delete, Tab, F-keys, letters with Ctrl.
    bool pressed[fenn_key_count];
    bool ctrl, shift, alt;
    int mouse_x, mouse_y;       // pointer, machine pixels (may lie off-screen)
    int buttons;                // held: fenn_mouse_left / _right / _middle
    int went_down, went_up;     // button bits that changed this update
    int wheel_x, wheel_y;       // wheel movement this update
    editor_settings settings;   // filled in by the frame
};
bool editor_pressed(const editor_input& in, int scancode);
// Whether a Ctrl+letter (lower case) was pressed this update.
bool editor_ctrl_key(const editor_input& in, char letter);

// What each editor provides. Every pointer may be null.
struct editor_page {
    const char* name;  // tab label, e.g. "code"
    // The editor becomes the open one (the cartridge may have changed
    // since it was last open: clamp cursors, re-read what it caches).
    void (*open)(vexel_machine* m);
    void (*update)(vexel_machine* m, const editor_input& in);
    // Draws the body (rows editor_body_y0..editor_body_y1) onto page.
    void (*draw)(vexel_machine* m, fenn_bitmap* page, const editor_theme& theme);
    // The status line (what the mouse is over, cursor position, sizes);
    // *warn asks for the warning colour.
    std::string (*status)(vexel_machine* m, bool* warn);
    // The editor's undoable state, and putting a saved one back.
    std::string (*save_state)(vexel_machine* m);
    void (*load_state)(vexel_machine* m, const std::string& state);
    // Clipboard: the selection as text ("" when nothing is selected; cut
    // also removes it), and text to paste (false when it is not of a form
    // this editor takes; the frame then says so).
    std::string (*copy)(vexel_machine* m, bool cut);
    bool (*paste)(vexel_machine* m, const std::string& text);
    // Escape was pressed: true when the editor used it (closing its find
    // line, say); otherwise the frame closes the editors.
    bool (*escape)(vexel_machine* m);
};

// The pages, indexed by editor_id (defined by each editor's file).
extern const editor_page editor_code_page;
extern const editor_page editor_sprite_page;
extern const editor_page editor_map_page;
extern const editor_page editor_sfx_page;
extern const editor_page editor_music_page;

// Puts `page` in place of an editor's own page (null: its own again); tests
// drive the frame with a fake editor so.
void editor_replace_page(editor_id id, const editor_page* page);

// The code editor opens at a program position (tab 0.., line 1..), e.g.
// after an error report; defined with the code editor.
void editor_code_goto(vexel_machine* m, int tab, int line);

// ---- the editors' state ------------------------------------------------------
//
// Everything the editors keep from one update to the next lives in one
// editor_studio: the frame's part (which editor is open, the undo history,
// the message, the shared sprite, the settings and actions handed in, the
// headless clipboard, the last mouse buttons) and each editor's own record
// (the code editor's cursors and line index, the sprite editor's sheet
// snapshots, the map editor's view and floating selection, ...). Nothing of
// the editors is kept in a file-scope object of its own.
//
// Whoever runs the editors owns a studio through an editor_studio_scope:
// the shell one for its whole life, a test one per case, so every case
// starts with fresh editors and nothing needs resetting by hand. While a
// scope lives, the frame and the editors work on its studio (a scope made
// inside another takes over until it ends, then the outer one is back);
// with none, the editors are closed, take no input and draw nothing (an
// editor_page itself is driven only while a studio is bound: the frame
// sees to it, and a test or bench that calls a page directly holds one).
struct editor_frame_state;
struct editor_code_state;
struct editor_sprite_state;
struct editor_map_state;
struct editor_sfx_state;
struct editor_music_state;

struct editor_studio {
    editor_frame_state* frame;
    editor_code_state* code;
    editor_sprite_state* sprite;
    editor_map_state* map;
    editor_sfx_state* sfx;
    editor_music_state* music;
};

class editor_studio_scope {
public:
    editor_studio_scope();
    ~editor_studio_scope();
    editor_studio_scope(const editor_studio_scope&) = delete;
    editor_studio_scope& operator=(const editor_studio_scope&) = delete;

private:
    editor_studio studio_;
    editor_studio* previous_;
};

// The studio the editors work on now; null when no scope lives.
editor_studio* editor_studio_current();

// Each editor makes and frees its own record (defined in its file).
editor_code_state* editor_code_state_new();
void editor_code_state_free(editor_code_state* s);
editor_sprite_state* editor_sprite_state_new();
void editor_sprite_state_free(editor_sprite_state* s);
editor_map_state* editor_map_state_new();
void editor_map_state_free(editor_map_state* s);
editor_sfx_state* editor_sfx_state_new();
void editor_sfx_state_free(editor_sfx_state* s);
editor_music_state* editor_music_state_new();
void editor_music_state_free(editor_music_state* s);

// ---- the frame -------------------------------------------------------------

// The sprite the sprite and map editors share as their selection (0-255).
int editor_selected_sprite();
void editor_set_selected_sprite(int n);

// Whether the editors are showing (instead of the console prompt).
bool editor_active();
// Opens the editors on the last one used (code at first); closes them.
void editor_open(vexel_machine* m);
void editor_close(vexel_machine* m);
void editor_select(vexel_machine* m, editor_id id);
editor_id editor_current();
// One update with input (the shell builds it with editor_read_host_input).
void editor_update(vexel_machine* m, const editor_input& in);
void editor_draw(vexel_machine* m, fenn_bitmap* page);
// Builds this update's input from the host (key buffer, key states, mouse).
void editor_read_host_input(editor_input* in);
// The frame loop may pass more often than machine frames come: the shell
// reads the host every pass and adds each pass's input to what the next
// update gets, so no key press falls between two updates.
void editor_merge_input(editor_input* into, const editor_input& more);

// What Ctrl+S and Ctrl+R do, given by the shell (save the working cartridge
// to its file, run it). Either may be null (the keys then do nothing).
struct editor_actions {
    void (*save)(vexel_machine* m);
    void (*run)(vexel_machine* m);
};
void editor_set_actions(const editor_actions& actions);

// Every edit of the cartridge calls this (the frame does at each
// checkpoint, undo and redo): the shell then compares the cartridge with
// its file again to show whether it has unsaved changes.
void editor_changed(vexel_machine* m);

// What the bottom bar shows now: a message while one lasts, else the open
// editor's status line (*warn: in the warning colour).
std::string editor_bottom_text(vexel_machine* m, bool* warn);

// Undo (see the top of this file).
void editor_checkpoint(vexel_machine* m);
bool editor_undo(vexel_machine* m);
bool editor_redo(vexel_machine* m);
// Forgets every editor's history (a new cartridge was loaded).
void editor_forget_history();

// A message in the bottom bar for a while (replaces the status line). A
// message an editor gives while refusing a paste is kept rather than the
// frame's own.
void editor_message(const char* text);

// ---- shared drawing --------------------------------------------------------
// All clip to the page; colours are machine colours drawn as palette
// indices onto the 8-bit page.

void editor_fill(fenn_bitmap* page, int x0, int y0, int x1, int y1, int colour);  // inclusive corners
void editor_frame_rect(fenn_bitmap* page, int x0, int y0, int x1, int y1, int colour);
// Text in the console font (4 pixels a character, glyphs 128-255 wider);
// returns the x after it.
int editor_text(vexel_machine* m, fenn_bitmap* page, const char* text, int x, int y, int colour);
int editor_text_width(vexel_machine* m, const char* text);
// Sprite n of the working cartridge's sheet, scale pixels a sprite pixel,
// its w x h sprites' area, at (x, y), colour 0 drawn too.
void editor_draw_sprite(vexel_machine* m, fenn_bitmap* page, int n, int w, int h, int x, int y, int scale);

// ---- clipboard text ----------------------------------------------------------
// The editors' clipboard forms are hex digits between tags, with white
// space allowed between them: the value of a hex digit (either case) or
// -1, and whether a character is such white space.
int editor_hex_value(int c);
bool editor_clip_blank(int c);

// ---- edits through the record ------------------------------------------------
// Sprite-sheet pixel (0-127, 0-127), map cell (0-127, 0-63) and sprite flags,
// read and written as sget/sset, mget/mset and fget/fset see them; out of
// range reads 0 and writes nothing.
int editor_sget(const vexel_cart* cart, int x, int y);
void editor_sset(vexel_cart* cart, int x, int y, int colour);
int editor_mget(const vexel_cart* cart, int x, int y);
void editor_mset(vexel_cart* cart, int x, int y, int sprite);
int editor_fget(const vexel_cart* cart, int n);
void editor_fset(vexel_cart* cart, int n, int flags);
