#include "app/console.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "app/editor.h"
#include "app/screens.h"
#include "app/shell.h"
#include "cart/cart_glyphs.h"
#include "framework/fenn_host.h"
#include "framework/fenn_input.h"
#include "framework/fenn_path.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_text.h"
#include "machine/button.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "runtime/run.h"

vexel_console console;

namespace {

constexpr int prompt_colour = 7;
constexpr int cursor_colour = 8;
constexpr int heading_colour = 12;
constexpr int folder_colour = 14;
constexpr int file_colour = 6;
constexpr int other_file_colour = 5;
constexpr int key_escape = 27;
constexpr int key_delete = 127;  // some hosts send it for Backspace
constexpr int screen_rows = 128;

// Fills (x0, y0)-(x1, y1) inclusive, cut to the screen.
void fill(fenn_bitmap* s, int x0, int y0, int x1, int y1, uint8_t colour) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, s->w - 1);
    y1 = std::min(y1, s->h - 1);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) s->pix[size_t(y) * size_t(s->w) + size_t(x)] = colour;
}

bool shows(const std::string& name, bool cartridges_only_by_default) {
    const char* filter = console.filter;
    if (!std::strcmp(filter, "*")) return true;
    if (filter[0] && name.find(filter) == std::string::npos) return false;
    return !cartridges_only_by_default || name.find(".qz") != std::string::npos;
}

bool console_filter_given(const char* filter) { return filter && *filter; }

struct listing_position {
    int phase;
    size_t next;
};
listing_position save_position() { return {console.phase, console.next}; }
void restore_position(listing_position p) {
    console.phase = p.phase;
    console.next = p.next;
}

// Moves to the next entry the filter lets through: folders first, then
// files. False when none is left.
bool next_entry(std::string* name, int* colour) {
    for (;;) {
        switch (console.phase) {
        case listing_folders:
            if (console.next >= console.folders.size()) {
                console.phase = listing_files_start;
                break;
            }
            if (shows(console.folders[console.next], false)) {
                *name = console.folders[console.next++];
                *colour = folder_colour;
                return true;
            }
            ++console.next;
            break;
        case listing_files_start:
            console.phase = listing_files;
            console.next = 0;
            break;
        case listing_files:
            if (console.next >= console.files.size()) return false;
            if (shows(console.files[console.next], true)) {
                *name = console.files[console.next++];
                *colour = name->find(".qz") != std::string::npos ? file_colour : other_file_colour;
                return true;
            }
            ++console.next;
            break;
        default: return false;
        }
    }
}

// Clears the rows a prompt line of n characters takes at the print cursor.
constexpr int prompt_x = 8, prompt_right = 127;  // where typed text starts, and its last column

// Where the text position `index` of the command line is drawn: x, and the
// row below the prompt's first. Each glyph is as wide as the font draws it
// (the machine's glyphs above 127 are wider than letters), and the text
// wraps where the drawer wraps it; a position with no room left for the
// 4-pixel cursor starts the next row.
void prompt_place(const vexel_machine* m, int index, int* x, int* row) {
    int cx = prompt_x, r = 0;
    for (int i = 0; i < index && console.command[i]; ++i) {
        const char glyph[2] = {console.command[i], 0};
        // The glyph's width and the spacing after it.
        const int w = (m->console_font ? fenn_get_text_width(glyph, m->console_font) : 3) + 1;
        if (cx + w - 2 > prompt_right) {
            cx = prompt_x;
            ++r;
        }
        cx += w;
    }
    if (cx > prompt_right - 3) {
        cx = prompt_x;
        ++r;
    }
    *x = cx;
    *row = r;
}

// Clears the rows the first n characters of the command line (and the
// cursor after them) take.
void clear_prompt(vexel_machine* m, fenn_bitmap* s, int n) {
    int x = 0, rows = 0;
    prompt_place(m, n, &x, &rows);
    for (int r = 0, y = m->cursor_y; r <= rows; ++r, y += vexel_line_height)
        fill(s, 0, y, r < rows ? prompt_right : x + 4, y + 5, 0);
}

int command_length() { return int(std::strlen(console.command)); }

// Letters are typed in lower case; glyph bytes are left alone whatever the
// C library's locale thinks of them.
int lower_ascii(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

// What the command line holds: printable ASCII and the glyphs.
bool printable(int c) { return (c >= 32 && c < 127) || (c > 0 && c < 256 && cart_is_glyph(uint8_t(c))); }
int prompt_rows(const vexel_machine* m, int n) {
    int x = 0, row = 0;
    prompt_place(m, n, &x, &row);
    return row + 1;
}

// Edits go through here: the old prompt's rows are cleared first (a shorter
// line would leave the end of the longer one behind), and a line that grows
// past the bottom of the screen scrolls the console up.
template <class Edit>
void edit(vexel_machine* m, Edit change) {
    const int before = command_length();
    change();
    console.cursor = std::clamp(console.cursor, 0, command_length());
    fenn_bitmap* s = m->screen;
    if (!s) return;
    if (command_length() != before) clear_prompt(m, s, before);
    const int rows = prompt_rows(m, command_length());
    while (m->cursor_y + rows * vexel_line_height > screen_rows && m->cursor_y >= vexel_line_height)
        vexel_scroll_screen(m);
}

void set_command(vexel_machine* m, const std::string& text) {
    edit(m, [&] {
        std::snprintf(console.command, sizeof console.command, "%s", text.c_str());
        console.cursor = command_length();
    });
}

void insert_char(vexel_machine* m, int c) {
    edit(m, [&] {
        const int n = command_length();
        if (n >= console_command_max) return;
        std::memmove(console.command + console.cursor + 1, console.command + console.cursor,
                     size_t(n - console.cursor + 1));
        console.command[console.cursor++] = char(lower_ascii(c));
    });
}

// Deletes the character at index i (Backspace deletes the one before the cursor).
void delete_at(vexel_machine* m, int i) {
    edit(m, [&] {
        const int n = command_length();
        if (i < 0 || i >= n) return;
        std::memmove(console.command + i, console.command + i + 1, size_t(n - i));
        if (console.cursor > i) --console.cursor;
    });
}

void walk_history(vexel_machine* m, int dir) {
    const size_t size = console.history.size();
    console.history_at = std::min(console.history_at, size);
    if (dir < 0) {
        if (console.history_at == 0) return;
        if (console.history_at == size) console.draft = console.command;
        set_command(m, console.history[--console.history_at]);
    } else {
        if (console.history_at >= size) return;
        ++console.history_at;
        set_command(m, console.history_at == size ? console.draft : console.history[console.history_at]);
    }
}

void remember(const std::string& line) {
    if (!line.empty() && (console.history.empty() || console.history.back() != line)) {
        console.history.push_back(line);
        if (console.history.size() > size_t(console_history_max))
            console.history.erase(console.history.begin());
    }
    console.history_at = console.history.size();
    console.draft.clear();
}

std::string trimmed(const char* s) {
    std::string t = s;
    const size_t first = t.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return t.substr(first, t.find_last_not_of(' ') - first + 1);
}

// Escape at an empty prompt: the editors, or after an error report of the
// cartridge's program the code editor at the line it named (once).
void open_editors(vexel_machine* m) {
    const int line = m->runner->error_line, tab = m->runner->error_tab;
    m->runner->error_line = 0;
    if (line > 0) editor_select(m, editor_code);
    editor_open(m);
    if (line > 0) editor_code_goto(m, tab, line);
}

}  // namespace

void console_reset() {
    console_listing_close();
    console.command[0] = 0;
    console.cursor = 0;
    console.history.clear();
    console.history_at = 0;
    console.draft.clear();
    console.from_browser = false;
}

bool console_takes_keys() { return shell_screen_has_keys(screen_console); }

void console_update_input(vexel_machine* m) {
    if (!console_takes_keys()) return;
    const bool ctrl = fenn_get_key_state(fenn_mod_ctrl) != 0;
    while (fenn_keypressed() && console_takes_keys()) console_keypress(m, fenn_readkey(), ctrl);
    if (!console_takes_keys()) return;
    for (int sc : {SDL_SCANCODE_LEFT, SDL_SCANCODE_RIGHT, SDL_SCANCODE_HOME, SDL_SCANCODE_END, SDL_SCANCODE_UP,
                   SDL_SCANCODE_DOWN, SDL_SCANCODE_DELETE})
        if (fenn_get_key_state(sc) == 3) console_edit_key(m, sc);
}

void console_keypress(vexel_machine* m, int key, bool ctrl) {
    if (ctrl) {
        if (key == 'v') console_paste(m, fenn_get_clipboard_text().c_str());
        return;
    }
    if (key == console_key_enter) {
        console_submit(m);
    } else if (key == console_key_backspace || key == key_delete) {
        delete_at(m, console.cursor - 1);
    } else if (key == console_key_escape) {
        if (console.command[0]) {
            set_command(m, "");
            console.history_at = console.history.size();
        } else if (console.from_browser) {
            console.from_browser = false;
            shell_open_browser();
        } else {
            open_editors(m);
        }
    } else if (key >= 32 && key < 127) {
        insert_char(m, key);
    } else if (key >= fenn_typed_unicode) {
        // Typed text beyond ASCII: a glyph, or '?' for a character the
        // machine has not (the selector of an emoji form types nothing).
        const uint32_t cp = uint32_t(key - fenn_typed_unicode);
        if (cp == cart_emoji_selector) return;
        const int b = cart_glyph_from_codepoint(cp);
        insert_char(m, b >= 0 && cart_is_glyph(uint8_t(b)) ? b : cart_unknown_char);
    }
}

void console_edit_key(vexel_machine* m, int scancode) {
    switch (scancode) {
    case SDL_SCANCODE_LEFT: console.cursor = std::max(console.cursor - 1, 0); break;
    case SDL_SCANCODE_RIGHT: console.cursor = std::min(console.cursor + 1, command_length()); break;
    case SDL_SCANCODE_HOME: console.cursor = 0; break;
    case SDL_SCANCODE_END: console.cursor = command_length(); break;
    case SDL_SCANCODE_UP: walk_history(m, -1); break;
    case SDL_SCANCODE_DOWN: walk_history(m, 1); break;
    case SDL_SCANCODE_DELETE: delete_at(m, console.cursor); break;
    default: break;
    }
}

void console_paste(vexel_machine* m, const char* text) {
    if (!text) return;
    // The host's clipboard is UTF-8: its glyph characters become glyphs,
    // other characters '?'. Its control characters are no glyphs here.
    std::string line;
    for (const char* p = text; *p && *p != '\n' && *p != '\r'; ++p)
        if (static_cast<unsigned char>(*p) >= 32 && *p != 127) line += *p;
    std::string bytes;
    cart_utf8_to_machine(line.data(), line.size(), &bytes, nullptr);
    edit(m, [&] {
        for (const char ch : bytes) {
            const int c = static_cast<unsigned char>(ch);
            if (!printable(c)) continue;
            const int n = command_length();
            if (n >= console_command_max) break;
            std::memmove(console.command + console.cursor + 1, console.command + console.cursor,
                         size_t(n - console.cursor + 1));
            console.command[console.cursor++] = char(lower_ascii(c));
        }
    });
}

void console_submit(vexel_machine* m) {
    // The line stays on the screen as typed, without the cursor block, and
    // the console goes on below it.
    console_draw(m, false, true);
    const int rows = prompt_rows(m, command_length());
    for (int i = 0; i < rows; ++i) vexel_cursor_cr(m);
    const std::string line = trimmed(console.command);
    remember(line);
    // Escape goes back to the browser only from the prompt it left for.
    console.from_browser = false;
    console.command[0] = 0;
    console.cursor = 0;
    if (!line.empty()) run_console_line(m, line.c_str());
}

void console_note_left_browser() { console.from_browser = true; }

void console_draw(vexel_machine* m, bool draw_cursor, bool draw_text) {
    fenn_bitmap* s = m->screen;
    if (!s || app.mode != shell_console || console_listing_active()) return;
    const int n = int(std::strlen(console.command));
    const int y0 = m->cursor_y;
    clear_prompt(m, s, n);
    if (draw_text) {
        fenn_draw_text_ex(s, ">", m->console_font, 0, y0, fenn_text_single_colour, prompt_colour);
        fenn_draw_text_ex(s, console.command, m->console_font, 8, y0, fenn_text_single_colour | fenn_text_wrap,
                          prompt_colour);
    }
    int cx = 0, row = 0;
    prompt_place(m, console.cursor, &cx, &row);
    const int cy = y0 + row * vexel_line_height;
    if (draw_cursor && shell_cursor_blink_on())
        fill(s, cx, cy, cx + 3, cy + 4, cursor_colour);
}

bool console_cursor_visible(bool window_active, int64_t now_ms) {
    return window_active && (now_ms & console_cursor_blink_bit) != 0;
}

bool console_start_listing(vexel_machine* m, const char* full_path, const char* relative, const char* filter) {
    console_listing_close();
    std::vector<std::string> folders, files;
    if (!full_path || !fenn_directory_exists(full_path)) {
        vexel_print_col(m, "directory not found", 7);
        return false;
    }
    fenn_search search;
    for (int more = fenn_find_first(full_path, "*", &search, ~0); more == 0; more = fenn_find_next(&search))
        (search.mode & fenn_find_dir_bit ? folders : files).push_back(search.name);
    std::sort(folders.begin(), folders.end());
    std::sort(files.begin(), files.end());
    std::snprintf(console.filter, sizeof console.filter, "%s", filter ? filter : "");
    console.folders = std::move(folders);
    console.files = std::move(files);
    console.next = 0;
    console.lines_left = console_page_lines;
    console.phase = listing_folders;
    char heading[1100];
    std::snprintf(heading, sizeof heading, "directory: /%s", relative ? relative : "");
    vexel_print_col(m, heading, heading_colour);
    // An empty listing says so, and in an empty cartridge folder (the first
    // start) where cartridges come from, rather than showing nothing.
    listing_position saved = save_position();
    std::string first;
    int colour = 0;
    const bool any = next_entry(&first, &colour);
    restore_position(saved);
    if (!any) {
        console_listing_close();
        if (console_filter_given(filter)) {
            vexel_print_col(m, "nothing matches", heading_colour);
        } else {
            vexel_print_col(m, "no cartridges here", heading_colour);
            if (!relative || !*relative) {
                vexel_print(m, "install_demos or install_games");
                vexel_print(m, "adds some; save NAME makes one");
            }
        }
    }
    return true;
}

bool console_listing_active() { return console.phase != listing_idle; }

bool console_listing_waiting() { return console_listing_active() && console.lines_left <= 0; }

void console_listing_update(vexel_machine* m) {
    if (!console_listing_active()) return;
    if (console.lines_left <= 0) {
        // Waiting at "--more--": any key or button shows the next page,
        // Escape ends the listing.
        bool more = false;
        while (fenn_keypressed()) {
            if (fenn_readkey() == key_escape) {
                console_listing_close();
                return;
            }
            more = true;
        }
        for (int b = 0; b < 6 && !more; ++b) more = vexel_button_pressed(m, b, 0) != 0;
        if (more) console_listing_next_page();
        return;
    }
    for (int steps = console_listing_steps; steps > 0;) {
        std::string name;
        int colour = 0;
        if (!next_entry(&name, &colour)) {
            console_listing_close();
            return;
        }
        vexel_print_col(m, name.c_str(), colour);
        --steps;
        if (--console.lines_left > 0) continue;
        listing_position saved = save_position();
        const bool remain = next_entry(&name, &colour);
        restore_position(saved);
        if (remain) vexel_print_col(m, "--more--", heading_colour);
        else console_listing_close();
        return;
    }
    // Nothing left to show ends the listing now, so the prompt comes back
    // in the same update.
    listing_position saved = save_position();
    std::string name;
    int colour = 0;
    const bool remain = next_entry(&name, &colour);
    restore_position(saved);
    if (!remain) console_listing_close();
}

void console_listing_next_page() {
    if (console_listing_active()) console.lines_left = console_page_lines;
}

void console_listing_close() {
    console.phase = listing_idle;
    console.lines_left = 0;
    console.folders.clear();
    console.files.clear();
    console.next = 0;
    console.filter[0] = 0;
}
