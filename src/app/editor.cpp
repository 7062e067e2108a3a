// The editor frame: which editor is open, the two bars, the keys every
// editor shares, undo and redo stacks per editor, and the host clipboard.
#include "app/editor.h"

#include <cstring>
#include <deque>

#include "framework/fenn_input.h"
#include "framework/fenn_platform.h"
#include "machine/disk.h"
#include "machine/machine.h"

namespace {

constexpr int message_frames = 60;  // two seconds at 30 frames a second

// SDL scancodes the frame itself looks at.
constexpr int sc_left = 80, sc_right = 79;
constexpr int sc_slash = 56;  // the / key

struct undo_stacks {
    std::deque<std::string> undo, redo;
};

}  // namespace

struct editor_frame_state {
    bool active = false;
    editor_id current = editor_code;
    undo_stacks history[editor_count];
    std::string message;
    int message_left = 0;
    uint64_t message_serial = 0;  // counts messages, so the frame sees one given meanwhile
    int sprite = 1;
    editor_actions actions = {};
    const editor_page* replaced[editor_count] = {};
    // What was last copied: the clipboard itself where the host has none
    // (headless runs), so copy and paste work between the editors there.
    std::string clipboard;
    editor_settings settings;
    bool hints = false;  // Ctrl+/: the bottom bar shows the editor's keys
    int last_buttons = 0;  // mouse buttons held at the last host read
};

namespace {

// The studio of the innermost editor_studio_scope alive (see editor.h).
editor_studio* bound = nullptr;

// The frame's state in the bound studio. Only reached from entry points
// that checked that a studio is bound.
editor_frame_state& F() { return *bound->frame; }

// One line of each editor's main keys (32 characters fit the bottom bar),
// so that the basics need no manual.
const char* const key_hints[editor_count] = {
    "^f find ^h repl ^l line ^/ hide",
    "pflrcs tools z zoom 1-8 flags",
    "d f s tools g grid +- zoom",
    "zsx.. piano [] oct spc play",
    "tab chan spc play enter notes",
};

const editor_page* page_of(editor_id id) {
    if (id >= 0 && id < editor_count && F().replaced[id]) return F().replaced[id];
    switch (id) {
    case editor_code: return &editor_code_page;
    case editor_sprite: return &editor_sprite_page;
    case editor_map: return &editor_map_page;
    case editor_sfx: return &editor_sfx_page;
    case editor_music: return &editor_music_page;
    default: return &editor_code_page;
    }
}

// The tab boxes of the top bar, left to right: x0 and x1 (inclusive).
// Each is as wide as its label (console font: 4 pixels a letter) and a
// pixel either side, so "sprite" does not run into "map".
// An editor without a drawing (one still to come) has no tab and is not in
// the Alt+arrow cycle.
bool page_ready(int id) { return page_of(editor_id(id))->draw != nullptr; }

void tab_box(editor_id id, int* x0, int* x1) {
    constexpr int letter_w = 4, tab_gap = 2;
    int x = 1;
    for (int i = 0;; ++i) {
        if (i != int(id) && !page_ready(i)) continue;
        const char* label = page_of(editor_id(i))->name;
        const int w = int(std::strlen(label ? label : "")) * letter_w + 1;
        if (i == int(id)) {
            *x0 = x;
            *x1 = x + w;
            return;
        }
        x += w + tab_gap;
    }
}

// Characters of the cartridge's name that fit right of the tabs.
constexpr int name_chars_max = 14;

std::string cart_name(const vexel_machine* m) {
    const char* f = m->file.filename;
    if (!f[0]) return "untitled";
    const char* slash = std::strrchr(f, '/');
    // Without its extension: the few letters right of the tabs are better
    // spent on the name itself ("mygame", not "mygam.").
    std::string base = slash ? slash + 1 : f;
    const size_t dot = base.find('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    return base;
}

}  // namespace

editor_studio_scope::editor_studio_scope()
    : studio_{new editor_frame_state, editor_code_state_new(),  editor_sprite_state_new(),
              editor_map_state_new(),   editor_sfx_state_new(),   editor_music_state_new()},
      previous_(bound) {
    bound = &studio_;
}

editor_studio_scope::~editor_studio_scope() {
    // Scopes end in the reverse order they began; one ending out of turn
    // still leaves no pointer to its freed records behind.
    if (bound == &studio_) bound = previous_;
    editor_music_state_free(studio_.music);
    editor_sfx_state_free(studio_.sfx);
    editor_map_state_free(studio_.map);
    editor_sprite_state_free(studio_.sprite);
    editor_code_state_free(studio_.code);
    delete studio_.frame;
}

editor_studio* editor_studio_current() { return bound; }

void editor_replace_page(editor_id id, const editor_page* page) {
    if (bound && id >= 0 && id < editor_count) F().replaced[id] = page;
}

bool editor_active() { return bound && F().active; }
int editor_selected_sprite() { return bound ? F().sprite : 0; }
void editor_set_selected_sprite(int n) {
    if (bound) F().sprite = n & 255;
}
editor_id editor_current() { return bound ? F().current : editor_code; }

void editor_open(vexel_machine* m) {
    if (!bound) return;
    F().active = true;
    F().message_left = 0;  // what was said last time is old news
    if (const editor_page* p = page_of(F().current); p->open) p->open(m);
}

void editor_close(vexel_machine*) {
    if (bound) F().active = false;
}

void editor_select(vexel_machine* m, editor_id id) {
    if (!bound || id < 0 || id >= editor_count) return;
    F().current = id;
    if (F().active)
        if (const editor_page* p = page_of(id); p->open) p->open(m);
}

void editor_message(const char* text) {
    if (!bound) return;
    F().message = text ? text : "";
    F().message_left = message_frames;
    ++F().message_serial;
}

void editor_set_actions(const editor_actions& actions) {
    if (bound) F().actions = actions;
}

void editor_changed(vexel_machine* m) { vexel_note_cart_edit(m); }

std::string editor_bottom_text(vexel_machine* m, bool* warn) {
    *warn = false;
    if (!bound) return "";
    if (F().message_left > 0) return F().message;
    if (F().hints && F().current >= 0 && F().current < editor_count) return key_hints[F().current];
    const editor_page* p = page_of(F().current);
    return p->status ? p->status(m, warn) : "";
}

void editor_checkpoint(vexel_machine* m) {
    // The edit follows the checkpoint, within the same update.
    editor_changed(m);
    if (!bound) return;
    const editor_page* p = page_of(F().current);
    if (!p->save_state) return;
    undo_stacks& h = F().history[F().current];
    h.undo.push_back(p->save_state(m));
    while (h.undo.size() > size_t(editor_undo_steps)) h.undo.pop_front();
    h.redo.clear();
}

bool editor_undo(vexel_machine* m) {
    if (!bound) return false;
    const editor_page* p = page_of(F().current);
    undo_stacks& h = F().history[F().current];
    if (h.undo.empty() || !p->save_state || !p->load_state) return false;
    h.redo.push_back(p->save_state(m));
    p->load_state(m, h.undo.back());
    h.undo.pop_back();
    editor_changed(m);
    return true;
}

bool editor_redo(vexel_machine* m) {
    if (!bound) return false;
    const editor_page* p = page_of(F().current);
    undo_stacks& h = F().history[F().current];
    if (h.redo.empty() || !p->save_state || !p->load_state) return false;
    h.undo.push_back(p->save_state(m));
    p->load_state(m, h.redo.back());
    h.redo.pop_back();
    editor_changed(m);
    return true;
}

void editor_forget_history() {
    if (!bound) return;
    for (undo_stacks& h : F().history) {
        h.undo.clear();
        h.redo.clear();
    }
}

void editor_read_host_input(editor_input* in) {
    *in = editor_input{};
    in->ctrl = fenn_get_key_state(fenn_mod_ctrl) != 0;
    in->shift = fenn_get_key_state(fenn_mod_shift) != 0;
    in->alt = fenn_get_key_state(fenn_mod_alt) != 0;
    while (fenn_keypressed()) {
        const int k = fenn_readkey();
        if (in->ctrl || in->alt) continue;  // shortcuts come through `pressed`
        if (k <= 0) continue;               // the host's mark of a key that types nothing
        if (in->key_count < editor_keys_max) in->keys[in->key_count++] = k;
    }
    for (int sc = 0; sc < fenn_key_count; ++sc) in->pressed[sc] = fenn_get_key_state(sc) == 3;
    fenn_get_mouse(&in->mouse_x, &in->mouse_y, &in->buttons);
    if (bound) {
        in->went_down = in->buttons & ~F().last_buttons;
        in->went_up = F().last_buttons & ~in->buttons;
        F().last_buttons = in->buttons;
    }
    fenn_take_mouse_wheel(&in->wheel_x, &in->wheel_y);
}

void editor_merge_input(editor_input* into, const editor_input& more) {
    for (int i = 0; i < more.key_count && into->key_count < editor_keys_max; ++i)
        into->keys[into->key_count++] = more.keys[i];
    bool presses = more.key_count > 0;
    for (int sc = 0; sc < fenn_key_count; ++sc) {
        presses = presses || more.pressed[sc];
        into->pressed[sc] = into->pressed[sc] || more.pressed[sc];
    }
    // The modifiers that went with the latest presses: Ctrl let go in the
    // pass after Ctrl+S still makes that a Ctrl+S.
    if (presses || (!into->ctrl && !into->shift && !into->alt)) {
        into->ctrl = more.ctrl;
        into->shift = more.shift;
        into->alt = more.alt;
    }
    into->mouse_x = more.mouse_x;
    into->mouse_y = more.mouse_y;
    into->buttons = more.buttons;
    into->went_down |= more.went_down;
    into->went_up |= more.went_up;
    into->wheel_x += more.wheel_x;
    into->wheel_y += more.wheel_y;
}

namespace {

// A checkpoint taken before an edit that may turn out to change nothing (a
// cut with nothing selected, a paste the editor does not take): dropping
// it puts the history back as it was, redo steps included.
struct pending_step {
    bool taken = false;
    bool saved_state = false;        // the page keeps undo states at all
    bool dropped_front = false;      // the checkpoint pushed the oldest step out
    std::string front;               // ... which was this
    std::deque<std::string> redo;    // the redo steps the checkpoint cleared
};

pending_step begin_step(vexel_machine* m) {
    undo_stacks& h = F().history[F().current];
    pending_step step;
    step.taken = true;
    step.saved_state = page_of(F().current)->save_state != nullptr;
    if (step.saved_state && h.undo.size() >= size_t(editor_undo_steps)) {
        step.dropped_front = true;
        step.front = h.undo.front();
    }
    step.redo = std::move(h.redo);
    h.redo.clear();
    editor_checkpoint(m);
    return step;
}

void drop_step(pending_step& step) {
    if (!step.taken) return;
    undo_stacks& h = F().history[F().current];
    if (step.saved_state && !h.undo.empty()) h.undo.pop_back();
    if (step.dropped_front) h.undo.push_front(std::move(step.front));
    h.redo = std::move(step.redo);
}

}  // namespace

void editor_set_settings(const editor_settings& settings) {
    if (bound) F().settings = settings;
}

void editor_update(vexel_machine* m, const editor_input& given) {
    if (!editor_active()) return;
    editor_input in = given;
    in.settings = F().settings;
    if (F().message_left > 0) --F().message_left;
    const editor_page* p = page_of(F().current);
    // Keys of the frame first; everything else goes to the editor.
    for (int i = 0; i < in.key_count; ++i)
        if (in.keys[i] == 27) {
            if (!p->escape || !p->escape(m)) editor_close(m);
            return;
        }
    // Ctrl+/ (a key no editor uses) shows or hides the line of keys.
    if (in.ctrl && editor_pressed(in, sc_slash)) {
        F().hints = !F().hints;
        return;
    }
    if (in.alt && (editor_pressed(in, sc_left) || editor_pressed(in, sc_right))) {
        const int step = editor_pressed(in, sc_left) ? editor_count - 1 : 1;
        int next = int(F().current);
        do next = (next + step) % editor_count;
        while (!page_ready(next) && next != int(F().current));
        editor_select(m, editor_id(next));
        return;
    }
    if ((in.went_down & fenn_mouse_left) && in.mouse_y >= 0 && in.mouse_y < editor_top_bar_h) {
        for (int id = 0; id < editor_count; ++id) {
            if (!page_ready(id)) continue;
            int x0, x1;
            tab_box(editor_id(id), &x0, &x1);
            if (in.mouse_x >= x0 && in.mouse_x <= x1) editor_select(m, editor_id(id));
        }
        return;
    }
    if (editor_ctrl_key(in, 's')) {
        if (F().actions.save) F().actions.save(m);
        return;
    }
    if (editor_ctrl_key(in, 'r')) {
        if (F().actions.run) F().actions.run(m);
        return;
    }
    if (editor_ctrl_key(in, 'z')) {
        if (!editor_undo(m)) editor_message("nothing to undo");
        return;
    }
    if (editor_ctrl_key(in, 'y')) {
        if (!editor_redo(m)) editor_message("nothing to redo");
        return;
    }
    if ((editor_ctrl_key(in, 'c') || editor_ctrl_key(in, 'x')) && p->copy) {
        const bool cut = editor_ctrl_key(in, 'x');
        pending_step step = cut ? begin_step(m) : pending_step{};
        const std::string text = p->copy(m, cut);
        if (text.empty()) {
            if (cut) drop_step(step);  // nothing changed
            editor_message("nothing selected");
            return;
        }
        F().clipboard = text;
        if (!fenn_platform_has_video() || fenn_set_clipboard_text(text.c_str()) == 0)
            editor_message(cut ? "cut" : "copied");
        else editor_message("the clipboard is not available");
        return;
    }
    if (editor_ctrl_key(in, 'v') && p->paste) {
        const std::string text = fenn_platform_has_video() ? fenn_get_clipboard_text() : F().clipboard;
        pending_step step = begin_step(m);
        const uint64_t serial = F().message_serial;
        if (!p->paste(m, text)) {
            drop_step(step);  // nothing changed
            if (F().message_serial == serial) editor_message("nothing to paste here");
        }
        return;
    }
    if (p->update) p->update(m, in);
}

void editor_draw(vexel_machine* m, fenn_bitmap* page) {
    if (!editor_active() || !page) return;
    const editor_theme& t = editor_theme_get(F().settings.gui_theme);
    fenn_clear_clip(page);
    editor_fill(page, 0, 0, 127, 127, t.body_bg);
    fenn_set_clip(page, 0, editor_body_y0, 128, editor_body_y1);
    const editor_page* p = page_of(F().current);
    if (p->draw) p->draw(m, page, t);
    fenn_clear_clip(page);

    // Top bar: the editor tabs, then the cartridge's name at the right.
    editor_fill(page, 0, 0, 127, editor_top_bar_h - 1, t.bar_bg);
    for (int id = 0; id < editor_count; ++id) {
        if (!page_ready(id)) continue;
        int x0, x1;
        tab_box(editor_id(id), &x0, &x1);
        const bool on = id == F().current;
        editor_fill(page, x0, 1, x1, editor_top_bar_h - 2, on ? t.tab_active_bg : t.tab_bg);
        editor_text(m, page, page_of(editor_id(id))->name, x0 + 1, 2, on ? t.tab_active_fg : t.bar_fg);
    }
    // The name takes what room the tabs leave (at least a few letters).
    int last = editor_count - 1;
    while (last > 0 && !page_ready(last)) --last;
    int tabs_x0, tabs_end;
    tab_box(editor_id(last), &tabs_x0, &tabs_end);
    const int room = std::min(name_chars_max, (127 - tabs_end - 3) / 4);
    std::string name = cart_name(m);
    if (room >= 2 && name.size() > size_t(room)) name = name.substr(0, size_t(room - 1)) + ".";
    if (room >= 2) editor_text(m, page, name.c_str(), 127 - editor_text_width(m, name.c_str()), 2, t.bar_fg);

    // Bottom bar: a message while one lasts, else the editor's status.
    editor_fill(page, 0, editor_body_y1, 127, 127, t.status_bg);
    bool warn = false;
    const std::string status = editor_bottom_text(m, &warn);
    editor_text(m, page, status.c_str(), 1, editor_body_y1 + 1, warn ? t.warn : t.status_fg);
}
