#include "machine/button.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "framework/fenn_file.h"
#include "framework/fenn_joystick.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_platform.h"
#include "cart/cart_glyphs.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/mem.h"

namespace {

constexpr int scancode_m = 16;

// Keys used when a binding is 0. Player 0's X includes M, which is skipped
// while Ctrl is held so that Ctrl+M (sound toggle) does not press X.
struct DefaultKeys {
    int count;
    int codes[6];
};
constexpr DefaultKeys default_keys[2][7] = {
    {
        {2, {80, 92}},                    // left: Left arrow, keypad 4
        {2, {79, 94}},                    // right: Right arrow, keypad 6
        {2, {82, 96}},                    // up: Up arrow, keypad 8
        {2, {81, 93}},                    // down: Down arrow, keypad 5
        {6, {29, 6, 17, 86, 89, 73}},     // O: Z, C, N, keypad minus, keypad 1, Insert
        {6, {27, 25, scancode_m, 37, 90, 76}},  // X: X, V, M, 8, keypad 2, Delete
        {2, {19, 40}},                    // pause: P, Return
    },
    {
        {1, {22}},                        // left: S
        {1, {9}},                         // right: F
        {1, {8}},                         // up: E
        {1, {7}},                         // down: D
        {3, {225, 43, 26}},               // O: Left Shift, Tab, W
        {2, {4, 20}},                     // X: A, Q
        {0, {}},                          // player 1 has no pause key
    },
};

bool host_pad(int index, int* x, int* y, uint32_t* mask) { return fenn_get_joystick(index, x, y, mask) != 0; }

bool read_pad(const vexel_machine* m, int p, int* x, int* y, uint32_t* mask) {
    *x = *y = 0;
    *mask = 0;
    const int index = p - (m->host ? m->host->joystick_index : 0);
    if (index < 0 || index >= fenn_joystick_max) return false;
    return (m->replay.pad_reader ? m->replay.pad_reader : host_pad)(index, x, y, mask);
}

bool paused(const vexel_machine* m) { return fenn_state.paused || vexel_host_menu_paused(m); }

int program_fps(const vexel_machine* m) { return m->target_fps == 60 ? 60 : 30; }

const int32_t* bindings_of(const vexel_machine* m) { return m->host ? m->host->button_keys : nullptr; }

// Index into the 13 bindings: player 0 buttons 0-5, player 1 buttons 0-5,
// then player 0's pause; -1 for buttons without a binding.
int binding_index(int b, int p) {
    if (b >= 0 && b < 6 && (p == 0 || p == 1)) return p * 6 + b;
    if (b == button_pause && p == 0) return 12;
    return -1;
}

bool in_range(int b, int p) { return b >= 0 && b < vexel_player_buttons && p >= 0 && p < vexel_players; }

void set_all(int32_t (&a)[vexel_players][vexel_player_buttons], int32_t v) {
    for (auto& row : a)
        for (int32_t& x : row) x = v;
}

}  // namespace

void vexel_buttons_reset(vexel_machine* m) { m->buttons = vexel_button_state{}; }

// A program may set its own delay and interval in frames (0x5f5c, 0x5f5d;
// 0 keeps the defaults, a delay of 255 turns repeats off). The pause menu
// keeps its own.
int vexel_repeat_start(const vexel_machine* m) {
    if (paused(m)) return 16;
    const int delay = m->ram[vexel_reg_btnp_delay];
    if (delay == vexel_btnp_no_repeat) return 0;
    return (delay ? delay : program_fps(m) * 15 / 30) + 1;
}
int vexel_repeat_interval(const vexel_machine* m) {
    if (paused(m)) return 4;
    if (m->ram[vexel_reg_btnp_delay] == vexel_btnp_no_repeat) return 0;
    const int every = m->ram[vexel_reg_btnp_interval];
    return every ? every : program_fps(m) * 4 / 30;
}

namespace {

// Moves what was typed into the program's queue while it has asked for
// keyboard input; otherwise the keys stay for whoever reads them next (the
// console, the pause menu). Escape belongs to the pause menu.
void take_typed_keys(vexel_machine* m) {
    if (!m->running || paused(m) || !(m->ram[vexel_reg_devkit_mouse] & vexel_devkit_keyboard)) return;
    vexel_button_state& buttons = m->buttons;
    while (fenn_keypressed()) {
        const int key = fenn_readkey();
        int byte = -1;
        if (key >= fenn_typed_unicode) byte = cart_glyph_from_codepoint(uint32_t(key - fenn_typed_unicode));
        else if (key == 13 || key == 8 || key == 9 || (key >= 32 && key < 127)) byte = key;
        if (byte < 0 || buttons.typed_count >= vexel_typed_queue) continue;
        buttons.typed[buttons.typed_count++] = uint8_t(byte);
    }
}

}  // namespace

bool vexel_typed_waiting(const vexel_machine* m) { return m->buttons.typed_count > 0; }

int vexel_typed_take(vexel_machine* m) {
    vexel_button_state& buttons = m->buttons;
    if (buttons.typed_count <= 0) return -1;
    const int c = buttons.typed[0];
    std::memmove(buttons.typed, buttons.typed + 1, size_t(buttons.typed_count - 1));
    --buttons.typed_count;
    return c;
}

bool vexel_player_key(const vexel_machine* m, int b, int p) {
    int idx = binding_index(b, p);
    const int32_t* bindings = bindings_of(m);
    if (idx >= 0 && bindings) {
        int code = bindings[idx];
        // Out-of-range codes (a hand-edited file) fall back to the defaults.
        if (code > 0 && code < fenn_key_count) return fenn_key_down_or_pressed(code);
    }
    if ((p != 0 && p != 1) || b < 0 || b > button_pause) return false;
    const DefaultKeys& keys = default_keys[p][b];
    bool ctrl = fenn_get_key_state(fenn_mod_ctrl) != 0;
    for (int i = 0; i < keys.count; ++i) {
        if (keys.codes[i] == scancode_m && ctrl) continue;
        if (fenn_key_down_or_pressed(keys.codes[i])) return true;
    }
    return false;
}

bool vexel_key_is_bound(const int32_t* bindings, int scancode, int b, int p) {
    int idx = binding_index(b, p);
    if (idx >= 0 && bindings) {
        int code = bindings[idx];
        if (code > 0 && code < fenn_key_count) return code == scancode;
    }
    if ((p != 0 && p != 1) || b < 0 || b > button_pause) return false;
    const DefaultKeys& keys = default_keys[p][b];
    for (int i = 0; i < keys.count; ++i)
        if (keys.codes[i] == scancode) return true;
    return false;
}

int vexel_pad_value(int b, int x, int y, uint32_t mask) {
    auto clamp = [](int v) { return std::clamp(v, 0, 255); };
    switch (b) {
    case button_left:
    case button_right:
    case button_up:
    case button_down: {
        int64_t deflection = int64_t(y / 2) * y + int64_t(x / 2) * x;
        if (deflection <= vexel_stick_threshold) return 0;
        if (b == button_left) return clamp(-x / 128);
        if (b == button_right) return clamp(x / 128);
        if (b == button_up) return clamp(-y / 128);
        return clamp(y / 128);
    }
    case button_o: return (mask & (1u << 0 | 1u << 3)) ? 255 : 0;  // A or Y
    case button_x: return (mask & (1u << 1 | 1u << 2)) ? 255 : 0;  // B or X
    case button_pause: return (mask & (1u << 6)) ? 255 : 0;        // Start
    default: return 0;
    }
}

int vexel_player_pad(const vexel_machine* m, int b, int p) {
    if (!in_range(b, p)) return 0;
    int x, y;
    uint32_t mask;
    if (!read_pad(m, p, &x, &y, &mask)) return 0;
    return vexel_pad_value(b, x, y, mask);
}

void vexel_buttons_read(vexel_machine* m) {
    vexel_button_state& buttons = m->buttons;
    vexel_button_replay& replay = m->replay;
    if (replay.given) {
        vexel_buttons_set(m, replay.given_held);
        return;
    }
    take_typed_keys(m);
    set_all(buttons.state, 0);
    if (m->host && m->host->random_buttons) {
        for (int p = 0; p < vexel_players; ++p)
            for (int b = 0; b < 6; ++b) buttons.state[p][b] = fenn_random(2);
        return;
    }
    uint16_t recorded = 0;
    if (replay.active) {
        recorded = replay.next < replay.frames.size() ? replay.frames[replay.next++] : 0;
    }
    for (int p = 0; p < vexel_players; ++p) {
        // One controller read per player, not one per button.
        int x = 0, y = 0;
        uint32_t mask = 0;
        bool pad = !replay.active && read_pad(m, p, &x, &y, &mask);
        for (int b = 0; b < vexel_player_buttons; ++b) {
            bool down;
            int pad_value = pad ? vexel_pad_value(b, x, y, mask) : 0;
            if (replay.active) {
                down = p < 2 && (recorded >> (p * 8 + b) & 1);
            } else {
                down = (b != button_spare && vexel_player_key(m, b, p)) || pad_value >= vexel_button_down_value;
            }
            // Directions count for menus once the stick leaves the dead zone.
            // A replay stands in for the controller, so what only a
            // controller does (picking search letters) can be scripted.
            buttons.pad_down[p][b] = replay.active ? down
                                     : b <= button_down ? pad_value > 0
                                                        : pad_value >= vexel_button_down_value;
            if (down) {
                if (!buttons.blocked[p][b]) {
                    buttons.state[p][b] = 1;
                    if (!buttons.last[p][b]) buttons.repeat_countdown = vexel_repeat_start(m);
                }
            } else {
                buttons.blocked[p][b] = 0;
            }
        }
    }
    fenn_take_key_presses();
    fenn_take_mouse_presses();
    int wx = 0, wy = 0;
    fenn_take_mouse_wheel(&wx, &wy);
    buttons.wheel_x = wx;
    buttons.wheel_y = wy;
}

void vexel_buttons_set(vexel_machine* m, uint16_t held) {
    vexel_button_state& buttons = m->buttons;
    set_all(buttons.state, 0);
    for (int p = 0; p < vexel_players; ++p) {
        for (int b = 0; b < vexel_player_buttons; ++b) {
            const bool down = p < 2 && (held >> (p * 8 + b) & 1);
            buttons.pad_down[p][b] = down;
            if (down) {
                if (!buttons.blocked[p][b]) {
                    buttons.state[p][b] = 1;
                    if (!buttons.last[p][b]) buttons.repeat_countdown = vexel_repeat_start(m);
                }
            } else {
                buttons.blocked[p][b] = 0;
            }
        }
    }
}

void vexel_buttons_update(vexel_machine* m) {
    vexel_button_state& buttons = m->buttons;
    bool repeat = buttons.repeat_countdown == 1;
    for (int p = 0; p < vexel_players; ++p) {
        for (int b = 0; b < vexel_player_buttons; ++b) {
            int32_t s = buttons.state[p][b];
            buttons.pressed[p][b] =
                s && !buttons.blocked[p][b] && (!buttons.last[p][b] || repeat) ? 1 : 0;
            buttons.last[p][b] = s;
            buttons.pad_last[p][b] = buttons.pad_down[p][b];
        }
    }
    if (buttons.repeat_countdown >= 1) {
        buttons.repeat_countdown =
            buttons.repeat_countdown == 1 ? vexel_repeat_interval(m) : buttons.repeat_countdown - 1;
    }
}

void vexel_buttons_block(vexel_machine* m) {
    set_all(m->buttons.state, 0);
    set_all(m->buttons.blocked, 1);
    set_all(m->buttons.pressed, 0);
    m->buttons.repeat_countdown = vexel_repeat_start(m);
}

void vexel_buttons_clear(vexel_machine* m) { set_all(m->buttons.state, 0); }

int vexel_button_pressed(const vexel_machine* m, int b, int p) {
    const vexel_button_state& buttons = m->buttons;
    if (!in_range(b, p)) return 0;
    if (!buttons.last[p][b]) return buttons.state[p][b];
    return buttons.repeat_countdown == 1 ? buttons.state[p][b] : 0;
}

int vexel_button_pressed_pad(const vexel_machine* m, int b, int p) {
    const vexel_button_state& buttons = m->buttons;
    if (!in_range(b, p)) return 0;
    if (!buttons.pad_last[p][b]) return buttons.pad_down[p][b];
    return buttons.repeat_countdown == 1 ? buttons.pad_down[p][b] : 0;
}

bool vexel_any_button_held(const vexel_machine* m) {
    for (const auto& row : m->buttons.state)
        for (int32_t s : row)
            if (s) return true;
    return false;
}

bool vexel_btn(vexel_machine* m, int b, int p) {
    m->buttons.program_reads = 1;
    if (p < 0 || p >= vexel_players) return false;
    return m->buttons.state[p][std::clamp(b, 0, vexel_player_buttons - 1)] != 0;
}

bool vexel_btnp(vexel_machine* m, int b, int p) {
    m->buttons.program_reads = 1;
    if (p < 0 || p >= vexel_players) return false;
    return m->buttons.pressed[p][std::clamp(b, 0, vexel_player_buttons - 1)] != 0;
}

namespace {
int mask_of(const int32_t (&a)[vexel_players][vexel_player_buttons]) {
    int m = 0;
    for (int p = 0; p < 2; ++p)
        for (int b = 0; b < vexel_player_buttons; ++b)
            if (a[p][b]) m |= 1 << (p * 8 + b);
    return m;
}
}  // namespace

int vexel_btn_mask(vexel_machine* m) {
    m->buttons.program_reads = 1;
    return mask_of(m->buttons.state);
}

int vexel_btnp_mask(vexel_machine* m) {
    m->buttons.program_reads = 1;
    return mask_of(m->buttons.pressed);
}

// ---------------------------------------------------------------- replay

int vexel_parse_button_replay(const char* text, size_t len, std::vector<uint16_t>& out, int* bad_line) {
    out.clear();
    if (bad_line) *bad_line = 0;
    if (len > vexel_replay_max_bytes) return replay_too_large;
    if (!text) return len ? replay_not_a_number : replay_ok;
    size_t pos = 0;
    int line = 0;
    while (pos < len) {
        ++line;
        size_t end = pos;
        while (end < len && text[end] != '\n') ++end;
        size_t a = pos, z = end;
        auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
        while (a < z && blank(text[a])) ++a;
        while (z > a && blank(text[z - 1])) --z;
        if (out.size() >= vexel_replay_max_lines) {
            if (bad_line) *bad_line = line;
            return replay_too_many_lines;
        }
        if (a == z) {
            // Blank lines may end the file (an editor's extra newline); elsewhere
            // they would shift every later frame, so they are refused.
            bool rest_blank = true;
            for (size_t i = end; i < len && rest_blank; ++i) rest_blank = blank(text[i]) || text[i] == '\n';
            if (rest_blank) break;
            if (bad_line) *bad_line = line;
            return replay_not_a_number;
        }
        uint32_t v = 0;
        for (size_t i = a; i < z; ++i) {
            char c = text[i];
            if (c < '0' || c > '9') {
                if (bad_line) *bad_line = line;
                return replay_not_a_number;
            }
            v = v * 10 + uint32_t(c - '0');
            if (v > 0xffff) {
                if (bad_line) *bad_line = line;
                return replay_out_of_range;
            }
        }
        out.push_back(uint16_t(v));
        pos = end + 1;
    }
    return replay_ok;
}

int vexel_load_button_replay(vexel_machine* m, const char* path, int* bad_line) {
    if (bad_line) *bad_line = 0;
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> f(fenn_fopen_regular(path));
    if (!f) return replay_cannot_open;
    std::vector<char> text;
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) {
        if (text.size() + got > vexel_replay_max_bytes) return replay_too_large;
        text.insert(text.end(), chunk, chunk + got);
    }
    if (std::ferror(f.get())) return replay_cannot_open;
    std::vector<uint16_t> frames;
    int err = vexel_parse_button_replay(text.data(), text.size(), frames, bad_line);
    if (err) return err;
    vexel_set_button_replay(m, frames);
    return replay_ok;
}

void vexel_set_button_replay(vexel_machine* m, const std::vector<uint16_t>& frames) {
    m->replay.frames = frames;
    m->replay.next = 0;
    m->replay.active = true;
}

void vexel_clear_button_replay(vexel_machine* m) {
    m->replay.frames.clear();
    m->replay.next = 0;
    m->replay.active = false;
}

const char* vexel_replay_error_text(int error) {
    switch (error) {
    case replay_ok: return "ok";
    case replay_cannot_open: return "cannot be read";
    case replay_too_large: return "is too large";
    case replay_not_a_number: return "has a line that is not a decimal number";
    case replay_out_of_range: return "has a value above 65535";
    case replay_too_many_lines: return "has too many lines";
    default: return "is not a button replay";
    }
}
