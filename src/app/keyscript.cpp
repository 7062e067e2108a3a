// Key-and-mouse scripts: the parser of the text format and the player that
// feeds the platform's input buffers one machine frame at a time.
#include "app/keyscript.h"

#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "framework/fenn_file.h"
#include "framework/fenn_input.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_utf8.h"

namespace {

struct named_key {
    const char* name;
    int scancode;
};

constexpr named_key key_names[] = {
    {"escape", SDL_SCANCODE_ESCAPE},   {"enter", SDL_SCANCODE_RETURN},     {"backspace", SDL_SCANCODE_BACKSPACE},
    {"tab", SDL_SCANCODE_TAB},         {"delete", SDL_SCANCODE_DELETE},   {"left", SDL_SCANCODE_LEFT},
    {"right", SDL_SCANCODE_RIGHT},     {"up", SDL_SCANCODE_UP},           {"down", SDL_SCANCODE_DOWN},
    {"home", SDL_SCANCODE_HOME},       {"end", SDL_SCANCODE_END},         {"pageup", SDL_SCANCODE_PAGEUP},
    {"pagedown", SDL_SCANCODE_PAGEDOWN}, {"space", SDL_SCANCODE_SPACE},
};

constexpr int modifier_scancodes[][2] = {
    {keyscript_ctrl, fenn_key_lctrl}, {keyscript_shift, fenn_key_lshift}, {keyscript_alt, fenn_key_lalt}};

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// The words of a line, split at blanks.
std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

// A whole decimal number (an optional '-') within [lo, hi].
bool number(const std::string& s, int lo, int hi, int* out) {
    if (s.empty() || s.size() > 12) return false;
    size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size()) return false;
    for (size_t k = i; k < s.size(); ++k)
        if (s[k] < '0' || s[k] > '9') return false;
    const long v = std::strtol(s.c_str(), nullptr, 10);
    if (v < lo || v > hi) return false;
    *out = int(v);
    return true;
}

bool button_word(const std::string& w, int* button) {
    const std::string l = lower(w);
    if (l == "left") *button = fenn_mouse_left;
    else if (l == "right") *button = fenn_mouse_right;
    else return false;
    return true;
}

// Text to type: UTF-8 without control characters other than Tab.
bool typeable(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        size_t used = 1;
        const int32_t cp = fenn_utf8_decode(text.data() + i, text.size() - i, &used);
        if (cp < 0 || (cp < 32 && cp != '\t') || cp == 127) return false;
        i += used;
    }
    return true;
}

// One line; false with the reason when it is not a command.
bool parse_line(const std::string& line, keyscript_step* step, std::string* why) {
    const std::vector<std::string> w = words_of(line);
    const std::string cmd = lower(w[0]);
    auto count = [&](size_t lo, size_t hi) {
        if (w.size() - 1 >= lo && w.size() - 1 <= hi) return true;
        *why = cmd + ": wrong number of arguments";
        return false;
    };
    if (cmd == "type") {
        // The rest of the line after one blank, kept as it is (blanks too).
        const size_t at = line.find(w[0]) + w[0].size();
        step->op = keyscript_type;
        step->text = at < line.size() ? line.substr(at + 1) : "";
        if (step->text.empty()) return *why = "type: nothing to type", false;
        if (!typeable(step->text)) return *why = "type: not UTF-8 text, or a control character", false;
        return true;
    }
    if (cmd == "key") {
        if (!count(1, 1)) return false;
        step->op = keyscript_key;
        const std::string chord = lower(w[1]);
        size_t start = 0;
        for (;;) {
            const size_t plus = chord.find('+', start);
            const std::string part = chord.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
            if (plus == std::string::npos) {
                step->scancode = keyscript_scancode(part);
                if (step->scancode < 0) return *why = "key: unknown key name \"" + part + "\"", false;
                return true;
            }
            if (part == "ctrl") step->mods |= keyscript_ctrl;
            else if (part == "shift") step->mods |= keyscript_shift;
            else if (part == "alt") step->mods |= keyscript_alt;
            else return *why = "key: unknown modifier \"" + part + "\"", false;
            start = plus + 1;
        }
    }
    if (cmd == "mouse" || cmd == "click") {
        if (!count(2, cmd == "click" ? 3 : 2)) return false;
        step->op = cmd == "mouse" ? keyscript_mouse : keyscript_click;
        if (!number(w[1], keyscript_coord_min, keyscript_coord_max, &step->x) ||
            !number(w[2], keyscript_coord_min, keyscript_coord_max, &step->y))
            return *why = cmd + ": X and Y are whole numbers from -1024 to 1024", false;
        step->button = fenn_mouse_left;
        if (w.size() == 4 && (lower(w[3]) != "right" || !button_word(w[3], &step->button)))
            return *why = "click: the button after X Y can only be right", false;
        return true;
    }
    if (cmd == "down" || cmd == "up") {
        if (!count(0, 1)) return false;
        step->op = cmd == "down" ? keyscript_down : keyscript_up;
        step->button = fenn_mouse_left;
        if (w.size() == 2 && !button_word(w[1], &step->button)) return *why = cmd + ": left or right", false;
        return true;
    }
    if (cmd == "wheel") {
        if (!count(1, 1)) return false;
        step->op = keyscript_wheel;
        if (!number(w[1], -keyscript_wheel_max, keyscript_wheel_max, &step->n))
            return *why = "wheel: N is a whole number from -100 to 100", false;
        return true;
    }
    if (cmd == "wait") {
        if (!count(1, 1)) return false;
        step->op = keyscript_wait;
        if (!number(w[1], 1, keyscript_wait_max, &step->n))
            return *why = "wait: N is a whole number from 1 to 1000000", false;
        return true;
    }
    *why = "unknown command \"" + (w[0].size() > 32 ? w[0].substr(0, 32) + "..." : w[0]) + "\"";
    return false;
}

void press_key(keyscript_player* p, int scancode) {
    fenn_keys_key_down(scancode, fenn_get_time());  // seen as a tap by the buttons too
    fenn_set_key_state(scancode, 3);
    p->held.push_back(scancode);
}

// Types up to keyscript_typed_per_frame characters of p->typing.
void type_some(keyscript_player* p) {
    size_t i = 0;
    for (int n = 0; n < keyscript_typed_per_frame && i < p->typing.size(); ++n) {
        size_t used = 1;
        fenn_utf8_decode(p->typing.data() + i, p->typing.size() - i, &used);
        if (p->typing[i] == '\t') fenn_push_key(9);  // what the Tab key types
        else fenn_push_typed_text(p->typing.data() + i, used);
        i += used;
    }
    p->typing.erase(0, i);
}

void set_pointer(keyscript_player* p) {
    p->pointer = true;
    fenn_set_mouse_override(p->mouse_x, p->mouse_y, p->buttons);
}

}  // namespace

int keyscript_scancode(const std::string& name_in) {
    const std::string name = lower(name_in);
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') return SDL_SCANCODE_A + (name[0] - 'a');
    if (name.size() == 1 && name[0] >= '1' && name[0] <= '9') return SDL_SCANCODE_1 + (name[0] - '1');
    if (name == "0") return SDL_SCANCODE_0;
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'f') {
        int n = 0;
        if (number(name.substr(1), 1, 12, &n) && name[1] != '-' && name[1] != '0') return SDL_SCANCODE_F1 + n - 1;
    }
    for (const named_key& k : key_names)
        if (name == k.name) return k.scancode;
    return -1;
}

int keyscript_typed_char(int sc, int mods) {
    const bool ctrl = mods & keyscript_ctrl, shift = mods & keyscript_shift, alt = mods & keyscript_alt;
    switch (sc) {
    case SDL_SCANCODE_RETURN: return 13;
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_ESCAPE: return 27;
    case SDL_SCANCODE_TAB: return alt ? 0 : 9;
    default: break;
    }
    if (alt) return 0;
    const bool letter = sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z;
    const bool digit = sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_0;
    static const char digits[] = "1234567890", shifted_digits[] = "!@#$%^&*()";
    if (ctrl) {
        // Ctrl with a letter or digit types it plainly (the console reads
        // Ctrl+V so); with Shift as well, nothing.
        if (shift) return 0;
        if (letter) return 'a' + (sc - SDL_SCANCODE_A);
        if (digit) return digits[sc - SDL_SCANCODE_1];
        return 0;
    }
    if (letter) return (shift ? 'A' : 'a') + (sc - SDL_SCANCODE_A);
    if (digit) return shift ? shifted_digits[sc - SDL_SCANCODE_1] : digits[sc - SDL_SCANCODE_1];
    if (sc == SDL_SCANCODE_SPACE) return ' ';
    return 0;
}

bool keyscript_parse(const char* text, size_t length, keyscript* out, int* bad_line, std::string* why) {
    out->steps.clear();
    *bad_line = 0;
    if (length > keyscript_file_max) return *why = "is larger than 1 MiB", false;
    int line_no = 0;
    for (size_t at = 0; at < length;) {
        const char* nl = static_cast<const char*>(std::memchr(text + at, '\n', length - at));
        const size_t end = nl ? size_t(nl - text) : length;
        ++line_no;
        std::string line(text + at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > size_t(keyscript_line_max)) {
            *bad_line = line_no;
            return *why = "line longer than 4096 bytes", false;
        }
        if (line.find('\0') != std::string::npos) {
            *bad_line = line_no;
            return *why = "a NUL byte", false;
        }
        const std::vector<std::string> w = words_of(line);
        if (w.empty() || w[0][0] == '#') continue;
        keyscript_step step;
        step.line = line_no;
        if (!parse_line(line, &step, why)) {
            *bad_line = line_no;
            return false;
        }
        out->steps.push_back(std::move(step));
    }
    return true;
}

bool keyscript_load(const char* path, keyscript* out, int* bad_line, std::string* why) {
    *bad_line = 0;
    struct closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, closer> f(fenn_fopen_regular(path));
    if (!f) return *why = "cannot be read", false;
    std::string text;
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) {
        if (text.size() + got > keyscript_file_max) return *why = "is larger than 1 MiB", false;
        text.append(chunk, got);
    }
    if (std::ferror(f.get())) return *why = "cannot be read", false;
    return keyscript_parse(text.data(), text.size(), out, bad_line, why);
}

bool keyscript_playing(const keyscript_player& p) {
    return p.next < p.script.steps.size() || p.wait_left > 0 || !p.typing.empty();
}

void keyscript_release(keyscript_player* p) {
    for (int sc : p->held) fenn_set_key_state(sc, 0);
    p->held.clear();
    if (p->click_button) {
        p->buttons &= ~p->click_button;
        p->click_button = 0;
        set_pointer(p);
    }
}

void keyscript_advance(keyscript_player* p) {
    if (!p->typing.empty()) {
        type_some(p);
        return;
    }
    if (p->wait_left > 0) {
        --p->wait_left;
        return;
    }
    if (p->next >= p->script.steps.size()) return;
    const keyscript_step& s = p->script.steps[p->next++];
    switch (s.op) {
    case keyscript_type:
        p->typing = s.text;
        type_some(p);
        break;
    case keyscript_key: {
        for (const auto& mod : modifier_scancodes)
            if (s.mods & mod[0]) {
                fenn_set_key_state(mod[1], 1);
                p->held.push_back(mod[1]);
            }
        press_key(p, s.scancode);
        // A press types what the keyboard would; one that types nothing
        // still shows in the buffer, as the host's "some key" mark.
        const int c = keyscript_typed_char(s.scancode, s.mods);
        fenn_push_key(c ? c : -1);
        break;
    }
    case keyscript_mouse:
        p->mouse_x = s.x;
        p->mouse_y = s.y;
        set_pointer(p);
        break;
    case keyscript_down:
        p->buttons |= s.button;
        set_pointer(p);
        break;
    case keyscript_up:
        p->buttons &= ~s.button;
        set_pointer(p);
        break;
    case keyscript_click:
        p->mouse_x = s.x;
        p->mouse_y = s.y;
        p->buttons |= s.button;
        p->click_button = s.button;
        set_pointer(p);
        break;
    case keyscript_wheel: fenn_add_mouse_wheel(0, s.n); break;
    case keyscript_wait: p->wait_left = s.n - 1; break;
    }
}
