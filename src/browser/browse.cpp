#include "browser/browse.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "audio/audio.h"
#include "browser/browse_download.h"
#include "browser/browse_list.h"
#include "cart/cart_board.h"
#include "cart/cart_load.h"
#include "cart/png_cart.h"
#include "framework/fenn_config.h"
#include "framework/fenn_host.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_path.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_text.h"
#include "framework/fenn_video.h"
#include "machine/button.h"
#include "machine/gfx.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "machine/disk.h"
#include "runtime/run.h"

browse_screen_state browse_screen;

namespace {

constexpr int32_t one = 65536;
constexpr int menu_push_max = 48;
constexpr int title_scroll_delay_ms = 500;
constexpr int title_scroll_ms_per_px = 20;
constexpr int title_room_px = 89;
constexpr int page_step = 6;
constexpr int rows_top = 84;  // y of the first row in view
static_assert((128 - rows_top) / browse_row_h == browse_view_rows, "the rows in view fill the panel");
constexpr int cursor_blink_ms = 256;
constexpr int pointer_item = 8;
constexpr int busy_first = 212, busy_frames = 12;
constexpr int download_first = 229, download_frames = 16;
constexpr int progress_bar_w = 16;  // pixels of the progress bar under the busy icon
// Console font glyphs: the left and right keys, the heart, and the double
// bar that stands for the pause button.
constexpr int glyph_left = 0x8b, glyph_right = 0x91, glyph_heart = 0x87, glyph_pause = 0x15;
constexpr int glyph_advance_wide = 8;
constexpr int favourite_mark_x = 2;  // the 7-pixel heart, left of the rows' icons
constexpr int title_x = 24;          // where a row's title starts, right of its icon
constexpr const char* search_wheel = " abcdefghijklmnopqrstuvwxyz0123456789";
constexpr int search_wheel_len = 37;
constexpr const char* exit_entries[3] = {"shutdown vexel", "exit to console", "cancel"};

browse_list& cur_list() { return browse_data.lists[std::clamp(browse_data.current, 0, browse_list_count - 1)]; }

browse_item& cur_item() { return browse_get_item(browse_data.current, cur_list().selection); }

bool pressed(vexel_machine* m, int b) { return vexel_button_pressed(m, b, 0) != 0; }
bool pressed_pad(vexel_machine* m, int b) { return vexel_button_pressed_pad(m, b, 0) != 0; }

void add_entry(int action, const char* label) {
    browse_screen_state& s = browse_screen;
    if (s.menu_count >= browse_menu_max) return;
    s.entries[s.menu_count].action = action;
    std::snprintf(s.entries[s.menu_count].label, sizeof s.entries[0].label, "%s", label);
    ++s.menu_count;
}

void close_menu() {
    browse_screen.cart_menu = browse_menu_closed;
    browse_screen.menu_count = 0;
    browse_screen.menu_index = 0;
}

// Leaves the browser for the console with its banner.
void exit_to_console(vexel_machine* m) {
    if (m->screen) fenn_clear_bitmap(m->screen, 0);
    m->cursor_x = m->cursor_y = 0;
    vexel_print_col(m, "::::::  vexel console  ::::::", 7);
    vexel_print(m, "");
    vexel_print_col(m, "type browse to return to the browser", 13);
    vexel_print_col(m, "type help for help", 13);
    vexel_print(m, "");
    fenn_flush_keys();
    browse_screen.exit_menu = 0;
    browse_screen.active = 0;
}

// Whether a host key is one of the browser's buttons, so that it acts as
// the button rather than as its own shortcut.
bool key_is_button(vexel_machine* m, int scancode) {
    for (int b = button_left; b <= button_pause; ++b)
        if (vexel_key_is_bound(m->host ? m->host->button_keys : nullptr, scancode, b, 0)) return true;
    return false;
}

bool key_pressed(int scancode) { return fenn_get_key_state(scancode) == 3; }

void move_selection(int delta) {
    browse_list& l = cur_list();
    l.selection += delta;
    browse_clamp_selection(browse_data.current);
    browse_stamp_selection();
}

void change_list(int delta) {
    browse_data.current = ((browse_data.current + delta) % browse_list_count + browse_list_count) % browse_list_count;
    browse_screen.expanded = 1;
    browse_screen.highlight = 0;
    browse_update_favourite_flags(browse_data.current);
    browse_clamp_selection(browse_data.current);
    browse_stamp_selection();
}

void open_directory(vexel_machine* m, const browse_item& item) {
    const std::string root = fenn_with_slash(fenn_resolve_filename(vexel_host_carts_path(m)));
    std::string target = fenn_with_slash(fenn_resolve_filename((fenn_with_slash(vexel_host_carts_path(m)) + item.path).c_str()));
    // A root given without its leading part (relative) resolves the same way.
    if (target.compare(0, root.size(), root) != 0) return;  // never above the root
    std::string sub = target.substr(root.size());
    if (sub == "/") sub.clear();
    if (sub.size() > size_t(browse_path_max)) return;
    if (!fenn_directory_exists(target.c_str())) return;
    std::snprintf(browse_data.subdir, sizeof browse_data.subdir, "%s", sub.c_str());
    browse_list& local = browse_data.lists[browse_local];
    browse_list_from_directory(browse_local, browse_data.subdir);
    local.scroll = 0;
    local.first = 0;
    local.selection = 0;
    browse_clamp_selection(browse_local);
    browse_stamp_selection();
}

void launch_cart(vexel_machine* m, const browse_item& item) {
    browse_data.running = item;
    browse_data.running.label = nullptr;
    if (!item.lid[0]) {
        const std::string path = fenn_with_slash(vexel_host_carts_path(m)) + item.path;
        if (vexel_load_working_cart(m, path.c_str()) != 0) {
            vexel_host_message(m, "could not load", browse_message_ms);
            return;
        }
        browse_show_load_warnings(m);
        browse_start_launch();
        return;
    }
    const std::string cached = browse_cart_cache_path(item.lid);
    if (!cached.empty() && fenn_file_exists(cached.c_str())) {
        vexel_cart* cart = nullptr;
        int version = 0;
        const int st = png_cart_load(cached.c_str(), &cart, &version);
        if (st == cart_ok && cart) {
            vexel_prepare_loaded_cart(m, cart, cached.c_str());
            browse_show_load_warnings(m);
            browse_start_launch();
            return;
        }
        // A damaged copy is fetched again rather than failing for good.
        std::remove(cached.c_str());
    }
    browse_download_cart(m, item.lid);
}

void search_step(int dir) {
    browse_list& l = cur_list();
    int len = int(std::strlen(l.search_text));
    int c = std::clamp(l.search_cursor, 0, len);
    if (c == len) {
        if (len >= browse_search_text_max) return;
        l.search_text[len] = dir > 0 ? 'a' : '9';
        l.search_text[len + 1] = 0;
        l.search_cursor = c;
        return;
    }
    const char* at = std::strchr(search_wheel, l.search_text[c]);
    int i = at && l.search_text[c] ? int(at - search_wheel) : 0;
    i = ((i + dir) % search_wheel_len + search_wheel_len) % search_wheel_len;
    l.search_text[c] = search_wheel[i];
}

void search_cursor_move(int dir) {
    browse_list& l = cur_list();
    int len = int(std::strlen(l.search_text));
    if (dir < 0) {
        l.search_cursor = std::max(0, l.search_cursor - 1);
        return;
    }
    if (l.search_cursor >= len) {
        if (len >= browse_search_text_max - 1) return;
        l.search_text[len] = ' ';
        l.search_text[len + 1] = 0;
    }
    l.search_cursor = std::min(l.search_cursor + 1, int(std::strlen(l.search_text)));
}

void search_controls(vexel_machine* m) {
    if (pressed_pad(m, button_pause)) {
        cur_list().search_entry = 0;
        vexel_host_message(m, "cancelled", 1000);
        return;
    }
    if (pressed_pad(m, button_o) || pressed_pad(m, button_x)) {
        browse_run_search();
        vexel_buttons_block(m);
        return;
    }
    if (pressed_pad(m, button_up)) search_step(1);
    if (pressed_pad(m, button_down)) search_step(-1);
    if (pressed_pad(m, button_left)) search_cursor_move(-1);
    if (pressed_pad(m, button_right)) search_cursor_move(1);
}

void menu_controls(vexel_machine* m) {
    browse_screen_state& s = browse_screen;
    if (s.menu_count <= 0) {
        close_menu();
        return;
    }
    if (pressed(m, button_up)) s.menu_index = (s.menu_index + s.menu_count - 1) % s.menu_count;
    if (pressed(m, button_down)) s.menu_index = (s.menu_index + 1) % s.menu_count;
    if (pressed(m, button_o) || pressed(m, button_x) || pressed(m, button_pause)) {
        vexel_buttons_block(m);
        browse_menu_action(m, s.entries[s.menu_index].action);
    }
}

void exit_menu_controls(vexel_machine* m) {
    browse_screen_state& s = browse_screen;
    if (pressed(m, button_up)) s.exit_selection = (s.exit_selection + 2) % 3;
    if (pressed(m, button_down)) s.exit_selection = (s.exit_selection + 1) % 3;
    if (!(pressed(m, button_o) || pressed(m, button_x) || pressed(m, button_pause))) return;
    vexel_buttons_block(m);
    switch (s.exit_selection) {
    case 0: vexel_host_request(m, vexel_request_quit); break;
    case 1: exit_to_console(m); break;
    default: s.exit_menu = 0; break;
    }
}

// Moves v toward target by an eighth (or `div`) of the way and at least
// `least`, never past it.
int32_t ease(int32_t v, int32_t target, int div, int32_t least) {
    int64_t next = (int64_t(target) + int64_t(div - 1) * v) / div;
    if (v < target) next = std::min<int64_t>(std::max<int64_t>(next, int64_t(v) + least), target);
    else if (v > target) next = std::max<int64_t>(std::min<int64_t>(next, int64_t(v) - least), target);
    return int32_t(next);
}

// ------------------------------------------------------------- drawing

void fill(fenn_bitmap* p, int x0, int y0, int x1, int y1, int c) {
    x0 = std::max(x0, p->clip_x0);
    y0 = std::max(y0, p->clip_y0);
    x1 = std::min(x1, p->clip_x1 - 1);
    y1 = std::min(y1, p->clip_y1 - 1);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) p->pix[size_t(y) * size_t(p->w) + size_t(x)] = uint8_t(c);
}

// A system-graphics picture with colour 0 see-through, scaled by `scale`.
void draw_icon(vexel_machine* m, fenn_bitmap* p, int item, int x, int y, int scale = 1, int size = 0) {
    const fenn_bitmap* b = fenn_pod_get_bitmap(m->host ? m->host->system_graphics : nullptr, item);
    if (!b || b->depth != 8) return;
    const int w = size ? size : b->w * scale, h = size ? size : b->h * scale;
    for (int dy = 0; dy < h; ++dy) {
        const int py = y + dy;
        if (py < p->clip_y0 || py >= p->clip_y1) continue;
        for (int dx = 0; dx < w; ++dx) {
            const int px = x + dx;
            if (px < p->clip_x0 || px >= p->clip_x1) continue;
            const uint8_t c = b->pix[size_t(dy * b->h / h) * size_t(b->w) + size_t(dx * b->w / w)];
            if (c) p->pix[size_t(py) * size_t(p->w) + size_t(px)] = c;
        }
    }
}

const fenn_pod* font(vexel_machine* m) { return m->console_font; }

int text(vexel_machine* m, fenn_bitmap* p, const char* s, int x, int y, int c) {
    fenn_draw_text_ex(p, s, font(m), x, y, fenn_text_single_colour, uint32_t(c));
    return x + fenn_get_text_width(s, font(m));
}

// The room text takes on a row, the spacing after its last glyph included
// (glyphs differ in width: codes 128-255 advance twice as far).
int advance(vexel_machine* m, const char* s) { return s[0] ? fenn_get_text_width(s, font(m)) + fenn_font_spacing : 0; }

// The text as it fits in `room` pixels: whole, or cut and ended with "...".
std::string fit_text(vexel_machine* m, const char* s, int room) {
    if (advance(m, s) <= room) return s;
    std::string cut = s;
    while (!cut.empty() && advance(m, (cut + "...").c_str()) > room) cut.pop_back();
    while (!cut.empty() && cut.back() == ' ') cut.pop_back();
    return cut + "...";
}

void text_centred(vexel_machine* m, fenn_bitmap* p, const char* s, int y, int c) {
    text(m, p, s, 64 - fenn_get_text_width(s, font(m)) / 2, y, c);
}

int glyph(vexel_machine* m, fenn_bitmap* p, int code, int x, int y, int c) {
    const char s[2] = {char(code), 0};
    return text(m, p, s, x, y, c);
}

void draw_finished(vexel_machine* m, fenn_bitmap* p) {
    fill(p, 0, 120, 127, 120, 0);
    fill(p, 0, 121, 127, 127, 6);
    text(m, p, " finished. press button to exit", 1, 122, 1);
}

void draw_empty(vexel_machine* m, fenn_bitmap* p) {
    fenn_clear_bitmap(p, 5);
    if (browse_data.current != browse_fav) return;
    // Below the list title (y 10..17): the icon, what is wrong, what to do.
    draw_icon(m, p, browse_icon_list + browse_fav, 57, 24, 2, 14);
    text_centred(m, p, "your favourites list is empty", 44, 6);
    int x = text(m, p, "press ", 20, 56, 7);
    glyph(m, p, glyph_left, x, 56, 7);
    x = glyph(m, p, glyph_right, x + glyph_advance_wide, 56, 7);
    text(m, p, " for bbs lists", x, 56, 7);
    text_centred(m, p, "to see a list of bbs carts", 64, 6);
    x = text(m, p, "and then ", 26, 76, 6);
    x = glyph(m, p, glyph_pause, x, 76, 7);
    text(m, p, " to add one", x, 76, 6);
}

int menu_height() { return std::min(menu_push_max, browse_screen.menu_count * 8 + 4); }

void draw_rows(vexel_machine* m, fenn_bitmap* p) {
    const browse_list& l = cur_list();
    const browse_screen_state& s = browse_screen;
    const int64_t now = fenn_get_time();
    const int opening_px = int((int64_t(s.menu_opening) * 10) >> 16);
    const int push = int((int64_t(s.menu_opening) * menu_height()) >> 16);
    const int top = rows_top - opening_px;
    const int scroll = l.scroll >> 16;
    fenn_set_clip(p, 12, std::max(0, top - 1), 117, 128);
    const bool held = vexel_btn(m, button_o, 0) || vexel_btn(m, button_x, 0);
    for (int i = 0; i < l.count(); ++i) {
        int y = top + i * browse_row_h - scroll;
        if (i > l.selection) y += push;
        if (y > 127) break;
        if (y < top - browse_row_h) continue;
        const browse_item& it = l.items[size_t(i)];
        const bool selected = i == l.selection;
        const bool placeholder = it.kind == browse_kind_update || it.kind == browse_kind_search ||
                                 it.kind == browse_kind_load_more;
        const int dy = selected && held ? 1 : 0;
        if (selected) fill(p, 12, y - 1 + dy, 115, y + 5 + dy, placeholder ? 6 : 14);
        draw_icon(m, p, it.icon, 13, y - 1 + dy);
        if (it.favourite && browse_data.current != browse_fav) {
            fenn_clear_clip(p);
            glyph(m, p, glyph_heart, favourite_mark_x, y + dy, 8);
            fenn_set_clip(p, 12, std::max(0, top - 1), 117, 128);
        }
        const int colour = selected ? 1 : 7;
        if (it.kind == browse_kind_search && l.search_entry) {
            text(m, p, l.search_text, 24, y + dy, colour);
            if ((now / cursor_blink_ms) % 2 == 0) fill(p, 24 + 4 * l.search_cursor, y + dy, 24 + 4 * l.search_cursor + 3, y + 4 + dy, 14);
            continue;
        }
        int x = title_x;
        // A title scrolled to show its end, or one wider than the row, stays
        // right of the icons rather than running over them.
        fenn_set_clip(p, title_x, std::max(0, top - 1), 117, 128);
        if (selected && it.kind == browse_kind_cart) {
            const int need = advance(m, it.title) + advance(m, "  ") + advance(m, it.author);
            if (need > title_room_px) {
                const int64_t since = now - browse_screen.selection_time - title_scroll_delay_ms;
                if (since > 0) x -= int(std::min<int64_t>(since / title_scroll_ms_per_px, need - title_room_px));
            }
            const int end = text(m, p, it.title, x, y + dy, colour);
            if (it.author[0]) {
                fill(p, end, y - 1 + dy, 115, y + 5 + dy, 15);
                char by[browse_text_max + 4];
                std::snprintf(by, sizeof by, "  %s", it.author);
                text(m, p, by, end, y + dy, 5);
            }
        } else {
            // A long title ends with an ellipsis; the selected row scrolls it whole instead.
            text(m, p, fit_text(m, it.title, title_room_px).c_str(), x, y + dy, colour);
        }
        fenn_set_clip(p, 12, std::max(0, top - 1), 117, 128);
    }
    fenn_clear_clip(p);
}

void draw_cart_menu(vexel_machine* m, fenn_bitmap* p) {
    const browse_screen_state& s = browse_screen;
    if (s.menu_opening <= 0 || s.menu_count <= 0) return;
    const browse_list& l = cur_list();
    const int opening_px = int((int64_t(s.menu_opening) * 10) >> 16);
    const int top = rows_top - opening_px;
    const int row_y = top + l.selection * browse_row_h - (l.scroll >> 16);
    const int push = int((int64_t(s.menu_opening) * menu_height()) >> 16);
    const int y0 = row_y + 7;
    fenn_set_clip(p, 12, std::max(0, y0), 117, std::clamp(y0 + push, 0, 128));
    for (int i = 0; i < s.menu_count; ++i) {
        const int y = y0 + 2 + i * 8;
        const bool selected = i == s.menu_index;
        char label[browse_menu_label_max + 1];
        std::snprintf(label, sizeof label, "%s", s.entries[i].label);
        if (s.entries[i].action == browse_act_volume)
            std::snprintf(label, sizeof label, "%s", fenn_cfg.sound_volume ? "sound:on" : "sound:off");
        if (s.entries[i].action == browse_act_fullscreen)
            std::snprintf(label, sizeof label, "%s", fenn_get_windowed() ? "fullscreen:off" : "fullscreen:on");
        text(m, p, label, 24, y, selected ? 25 : 24);
        if (selected) draw_icon(m, p, pointer_item, 14, y - 1);
    }
    fenn_clear_clip(p);
}

void draw_selector(vexel_machine* m, fenn_bitmap* p) {
    const browse_screen_state& s = browse_screen;
    const double wheel = double(s.wheel) / one;
    const double spread = 20.0 + 26.0 * double(s.expand_amount) / one;
    // Back icons first, so the ones in front cover them.
    int order[browse_list_count];
    double depth[browse_list_count];
    for (int i = 0; i < browse_list_count; ++i) {
        order[i] = i;
        double d = std::fmod(double(i) - wheel + 4.0 * browse_list_count + 0.5 * browse_list_count, double(browse_list_count)) -
                   0.5 * browse_list_count;
        depth[i] = std::cos(d * 2.0 * M_PI / browse_list_count);
    }
    std::sort(order, order + browse_list_count, [&](int a, int b) { return depth[a] < depth[b]; });
    for (int k = 0; k < browse_list_count; ++k) {
        const int i = order[k];
        double d = double(i) - wheel;
        const double a = d * 2.0 * M_PI / browse_list_count;
        const int x = 60 + int(std::lround(std::sin(a) * spread));
        const int y = 2 + int(std::lround((1.0 - std::cos(a)) * 1.5));
        draw_icon(m, p, browse_icon_list + i, x, y);
    }
    char title[browse_path_max + 8];
    if (browse_data.current == browse_local && browse_data.subdir[0])
        std::snprintf(title, sizeof title, "/%s", browse_data.subdir);
    else
        std::snprintf(title, sizeof title, "%s", cur_list().title);
    const int w = fenn_get_text_width(title, font(m));
    fenn_draw_text_phat(p, title, font(m), std::max(1, 64 - w / 2), 11, fenn_text_single_colour, 0, 7);
}

// The running download's progress in a small dark box with its top left at
// (x, y): "45%" over a bar when the size is known, else the amount received
// ("12k"). Nothing until the transfer has begun, so a quick download does
// not flash a "0%".
void draw_progress(vexel_machine* m, fenn_bitmap* p, int x, int y) {
    int64_t received = 0, total = 0;
    if (!browse_download_progress(&received, &total) || (received <= 0 && total <= 0)) return;
    char s[browse_progress_text_max];
    browse_progress_text(received, total, s, sizeof s);
    const int w = std::max(progress_bar_w, fenn_get_text_width(s, font(m)));
    fill(p, x, y, x + w, y + 8, 0);
    text(m, p, s, x + 1, y + 1, 6);
    if (total > 0) {
        const int done = int(std::min(received, total) * (progress_bar_w - 1) / total);
        fill(p, x + 1, y + 7, x + progress_bar_w - 1, y + 7, 5);
        if (done > 0) fill(p, x + 1, y + 7, x + done, y + 7, 11);
    }
}

void draw_busy(vexel_machine* m, fenn_bitmap* p) {
    const bool busy = browse_download_state() == browse_dl_busy;
    const bool list = busy && std::strstr(browse_dl.file, ".pip") != nullptr;
    if (list) {
        // Eight dots round a small circle, the bright one turning.
        fill(p, 0, 0, 8, 8, 0);
        const int head = (browse_screen.animation / 2) % 8;
        for (int i = 0; i < 8; ++i) {
            const double a = i * 2.0 * M_PI / 8;
            const int x = 4 + int(std::lround(std::cos(a) * 3)), y = 4 + int(std::lround(std::sin(a) * 3));
            const int age = (head - i + 8) % 8;
            fill(p, x, y, x, y, age == 0 ? 7 : age < 3 ? 6 : 5);
        }
    } else if (busy || browse_screen.launch > 0) {
        const int frame = busy ? download_first + (browse_screen.animation / 2) % download_frames
                               : busy_first + ((-(browse_screen.animation / 2)) % busy_frames + busy_frames) % busy_frames;
        draw_icon(m, p, frame, 1, 1);
    }
    // Under the spinner's box, or under the 12-pixel download icon.
    if (busy) draw_progress(m, p, 0, list ? 9 : 13);
}

void draw_exit_menu(vexel_machine* m, fenn_bitmap* p) {
    fill(p, 20, 26, 107, 58, 0);
    fill(p, 20, 26, 107, 26, 7);
    fill(p, 20, 58, 107, 58, 7);
    fill(p, 20, 26, 20, 58, 7);
    fill(p, 107, 26, 107, 58, 7);
    for (int i = 0; i < 3; ++i) text(m, p, exit_entries[i], 32, 32 + 8 * i, 7);
    draw_icon(m, p, pointer_item, 23, 31 + 8 * browse_screen.exit_selection);
}

}  // namespace

// ------------------------------------------------------------ entering

void browse_open(vexel_machine* m) {
    browse_enter(m);
    browse_screen.active = 1;
    browse_screen.finished = 0;
    browse_screen.left_from_menu = 0;
    vexel_buttons_block(m);
}

void browse_enter(vexel_machine* m) {
    browse_data.root = vexel_host_carts_path(m);
    browse_data.font = m->console_font;
    if (!browse_data.created) browse_init();
    // The file is the favourites' one record: other writers (install_games)
    // append to it, and the next toggle would otherwise write their lines away.
    browse_reload_favourites();
    browse_list& local = browse_data.lists[browse_local];
    for (browse_item& it : local.items) {
        fenn_destroy_bitmap(it.label);
        it.label = nullptr;
    }
    std::string folder = fenn_with_slash(vexel_host_carts_path(m)) + browse_data.subdir;
    if (!fenn_directory_exists(folder.c_str())) browse_data.subdir[0] = 0;  // the sub-folder has gone
    browse_list_from_directory(browse_local, browse_data.subdir);
    for (int i = 0; i < browse_list_count; ++i) browse_clamp_selection(i);
    browse_stamp_selection();
    browse_screen.exit_menu = 0;
}

bool browse_active() { return browse_screen.active != 0; }

void browse_stamp_selection() { browse_screen.selection_time = fenn_get_time(); }
void browse_reset_animation() { browse_screen.animation = 0; }
int browse_animation_counter() { return browse_screen.animation; }

void browse_start_launch() { browse_screen.launch = 1; }

void browse_show_load_warnings(vexel_machine* m) {
    std::string text;
    for (const std::string& line : m->file.load_warnings) text += (text.empty() ? "" : " ") + line;
    if (!text.empty()) vexel_host_message(m, text.c_str(), browse_warning_ms);
}

void browse_animate() { ++browse_screen.animation; }

void browse_draw_program_busy(vexel_machine* m, fenn_bitmap* p) {
    if (!p || p->depth != 8 || browse_download_failed()) return;
    const int a = browse_screen.animation / 2;
    const int frame = browse_download_state() == browse_dl_busy ? download_first + a % download_frames
                                                                 : busy_first + ((-a) % busy_frames + busy_frames) % busy_frames;
    fenn_clear_clip(p);
    draw_icon(m, p, frame, 3, 3);
    draw_progress(m, p, 2, 15);
}

void browse_program_left_from_menu() { browse_screen.left_from_menu = 1; }

void browse_program_ended() {
    if (browse_screen.left_from_menu) browse_screen.left_from_menu = 0;
    else browse_screen.finished = 1;
}

// --------------------------------------------------------------- update

void browse_update(vexel_machine* m) {
    browse_screen_state& s = browse_screen;
    ++s.animation;
    ++s.highlight;
    if (s.finished) {
        for (int b = button_left; b <= button_pause; ++b)
            if (pressed(m, b)) {
                s.finished = 0;
                vexel_buttons_block(m);
                break;
            }
        return;
    }
    browse_controls(m);
    if (!browse_active()) return;
    browse_update_download(m);

    browse_list& l = cur_list();
    // Read here rather than while drawing: a label may come from a file.
    browse_ensure_label(cur_item());
    // An open menu hangs below the selected row and needs the panel's room
    // under it, so the row moves to the top while the menu is open; closing
    // it brings back the list's own view.
    const int shown = s.cart_menu != browse_menu_closed ? l.selection : l.first;
    const int32_t target = std::max(0, shown) * browse_row_h * one + one / 2;
    l.scroll = ease(l.scroll, target, 8, 4096);

    // The wheel takes the short way round the circle of lists.
    const int32_t full = browse_list_count * one;
    int32_t diff = browse_data.current * one - s.wheel;
    if (diff > full / 2) diff -= full;
    if (diff < -full / 2) diff += full;
    s.wheel += ease(0, diff, s.expanded ? 8 : 4, 2048);
    s.wheel = ((s.wheel % full) + full) % full;
    s.expand_amount = s.expand_amount * 5 / 8 + (s.expanded ? 24576 : 0);

    if (s.cart_menu != browse_menu_closed) {
        s.menu_opening = std::min<int32_t>(one, (2 * s.menu_opening + one) / 3 + 2048);
        browse_stamp_selection();
    } else {
        s.menu_opening = std::max<int32_t>(0, s.menu_opening * 2 / 3 - 2048);
    }

    if (s.launch > 0 && ++s.launch > browse_launch_frames) {
        s.launch = 0;
        m->runner->pending_params[0] = 0;
        vexel_host_request(m, vexel_request_run);
        run_chain_reset(m);
        close_menu();
        s.menu_opening = 0;
        vexel_set_clip_registers(m, 0, 0, 128, 128);
        m->cursor_x = m->cursor_y = 0;
        s.left_from_menu = 0;
    }
}

void browse_controls(vexel_machine* m) {
    browse_screen_state& s = browse_screen;
    if (s.exit_menu) {
        exit_menu_controls(m);
        return;
    }
    if (browse_download_state() == browse_dl_busy) {
        if (pressed(m, button_pause)) browse_cancel_download(m, "download cancelled");
        return;
    }
    if (s.launch > 0) return;  // the cartridge is about to start
    browse_list& l = cur_list();
    if (l.search_entry) {
        search_controls(m);
        return;
    }
    if (s.cart_menu != browse_menu_closed) {
        menu_controls(m);
        return;
    }
    const int old_list = browse_data.current, old_sel = l.selection;
    bool direction = false;
    if (pressed(m, button_up)) { move_selection(-1); direction = true; }
    if (pressed(m, button_down)) { move_selection(1); direction = true; }
    if (pressed(m, button_left)) { change_list(-1); direction = true; }
    if (pressed(m, button_right)) { change_list(1); direction = true; }
    if (pressed(m, button_up) || pressed(m, button_down) || pressed(m, button_o) || pressed(m, button_x) || pressed(m, button_pause))
        s.expanded = 0;
    if (direction) browse_clamp_selection(browse_data.current);
    if (browse_data.current != old_list || cur_list().selection != old_sel) browse_stamp_selection();
    const browse_item& it = cur_item();
    if (pressed(m, button_pause) && it.kind == browse_kind_cart) {
        vexel_buttons_block(m);
        browse_open_cart_menu(browse_menu_cart);
    } else if (pressed(m, button_o) || pressed(m, button_x) || pressed(m, button_pause)) {
        vexel_buttons_block(m);
        browse_action_current_item(m);
    }
}

void browse_action_current_item(vexel_machine* m) {
    browse_list& l = cur_list();
    if (l.selection < 0 || l.selection >= l.count()) return;
    const browse_item item = l.items[size_t(l.selection)];
    switch (item.kind) {
    case browse_kind_dir: open_directory(m, item); break;
    case browse_kind_cart: launch_cart(m, item); break;
    case browse_kind_update: browse_download_list(browse_data.current, false); break;
    case browse_kind_load_more: browse_download_list(browse_data.current, true); break;
    case browse_kind_search: browse_start_search(); break;
    default: break;
    }
}

void browse_open_cart_menu(int menu) {
    browse_screen_state& s = browse_screen;
    s.menu_count = 0;
    s.menu_index = 0;
    s.cart_menu = menu;
    if (menu == browse_menu_cart) {
        add_entry(browse_act_run, "run cart");
        const browse_item& it = cur_item();
        add_entry(browse_act_favourite,
                  browse_data.current == browse_fav || it.favourite ? "remove from favourites" : "favourite");
        // Only a cartridge from the board has a thread there.
        if (browse_lid_is_valid(it.lid)) add_entry(browse_act_thread, "bbs thread (browser)");
        add_entry(browse_act_options, "options");
        add_entry(browse_act_cancel, "cancel");
    } else if (menu == browse_menu_options) {
        add_entry(browse_act_volume, "volume");
        add_entry(browse_act_fullscreen, "fullscreen");
        add_entry(browse_act_shutdown, "shutdown vexel");
        add_entry(browse_act_cancel, "back");
    } else {
        close_menu();
    }
}

void browse_menu_action(vexel_machine* m, int action) {
    browse_screen_state& s = browse_screen;
    switch (action) {
    case browse_act_run:
        close_menu();
        browse_action_current_item(m);
        break;
    case browse_act_favourite:
        browse_toggle_favourite();
        close_menu();
        break;
    case browse_act_options: browse_open_cart_menu(browse_menu_options); break;
    case browse_act_cancel:
        if (s.cart_menu == browse_menu_options) browse_open_cart_menu(browse_menu_cart);
        else close_menu();
        break;
    case browse_act_thread: {
        const std::string url = browse_discussion_url(cur_item().lid);
        if (url.empty()) vexel_host_message(m, "not a bbs cart", browse_message_ms);
        else vexel_host_open_url(m, url.c_str());
        close_menu();
        break;
    }
    case browse_act_volume: {
        const int v = fenn_cfg.sound_volume == 0 ? fenn_volume_max : 0;
        fenn_cfg.sound_volume = fenn_cfg.music_volume = v;
        vexel_audio_set_sound_volume(m->audio, v);
        vexel_audio_set_music_volume(m->audio, v);
        break;
    }
    case browse_act_fullscreen: fenn_toggle_fullscreen(); break;
    case browse_act_shutdown: vexel_host_request(m, vexel_request_quit); break;
    default: close_menu(); break;
    }
}

// --------------------------------------------------------------- search

void browse_search_request(const char* text, char* out, int out_size) {
    const std::string key = cart_board_search_key(text);
    std::snprintf(out, size_t(out_size), "%s", key.empty() ? "" : (cart_board_search_prefix + key).c_str());
}

void browse_start_search() {
    browse_list& l = cur_list();
    l.search_entry = 1;
    l.search_text[0] = 0;
    l.search_cursor = 0;
    fenn_flush_keys();
}

void browse_run_search() {
    browse_list& l = cur_list();
    // Trailing blanks (from moving the cursor right) are no part of the search.
    size_t n = std::strlen(l.search_text);
    while (n > 0 && l.search_text[n - 1] == ' ') l.search_text[--n] = 0;
    browse_search_request(l.search_text, l.request, sizeof l.request);
    std::snprintf(l.title, sizeof l.title, "%s", l.search_text[0] ? l.search_text : "search");
    l.search_entry = 0;
    // A text without a word of two letters finds nothing, with no need to ask.
    if (!l.request[0]) browse_list_no_results(browse_data.current);
    else browse_download_list(browse_data.current, false);
}

// ------------------------------------------------------------- keyboard

void browse_keypress(vexel_machine* m, int key) {
    browse_screen_state& s = browse_screen;
    browse_list& l = cur_list();
    // Under the finished bar Escape clears it as a button would; while a
    // cartridge is about to start, keys wait.
    if (s.finished) {
        if (key == 27) s.finished = 0;
        return;
    }
    if (s.launch > 0) return;
    if (l.search_entry && !s.exit_menu) {
        int len = int(std::strlen(l.search_text));
        l.search_cursor = std::clamp(l.search_cursor, 0, len);
        if (key == 27) {
            l.search_entry = 0;
        } else if (key == 13) {
            browse_run_search();
            vexel_buttons_block(m);
            m->buttons.repeat_countdown = vexel_repeat_start(m);
        } else if (key == 8 || key == 127) {
            if (l.search_cursor > 0) {
                std::memmove(l.search_text + l.search_cursor - 1, l.search_text + l.search_cursor,
                              size_t(len - l.search_cursor + 1));
                --l.search_cursor;
            }
        } else if (key >= 32 && key < 127) {
            if (len < browse_search_text_max) {
                std::memmove(l.search_text + l.search_cursor + 1, l.search_text + l.search_cursor,
                             size_t(len - l.search_cursor + 1));
                l.search_text[l.search_cursor++] = char(std::tolower(key));
            }
        } else if (key == -1) {
            if (key_pressed(SDL_SCANCODE_DELETE) && l.search_cursor < len)
                std::memmove(l.search_text + l.search_cursor, l.search_text + l.search_cursor + 1,
                             size_t(len - l.search_cursor));
            if (key_pressed(SDL_SCANCODE_LEFT)) search_cursor_move(-1);
            if (key_pressed(SDL_SCANCODE_RIGHT)) search_cursor_move(1);
        }
        return;
    }
    if (key == 27) {
        // The innermost thing open is closed first: a download, the exit
        // box, then a cart menu; only with nothing open does Escape leave
        // (or, browser-only, offer to shut down).
        if (browse_download_state() == browse_dl_busy) {
            browse_cancel_download(m, "download cancelled");
        } else if (s.exit_menu) {
            s.exit_menu = 0;
        } else if (s.cart_menu == browse_menu_options) {
            browse_open_cart_menu(browse_menu_cart);
        } else if (s.cart_menu != browse_menu_closed) {
            close_menu();
        } else if (m->host && m->host->browser_only) {
            s.exit_menu = 1;
            s.exit_selection = 0;
        } else {
            browse_screen.active = 0;
        }
        return;
    }
    if (s.exit_menu) return;
    if (key == 'f' && browse_data.current != browse_fav && !key_is_button(m, SDL_SCANCODE_F)) {
        browse_toggle_favourite();
        return;
    }
    if ((key == 8 || key == 127) && browse_data.current == browse_fav && s.cart_menu == browse_menu_closed) {
        browse_remove_favourite(l.selection);
        browse_stamp_selection();
        return;
    }
    if (key != -1) return;
    if (key_pressed(SDL_SCANCODE_PAGEUP) && !key_is_button(m, SDL_SCANCODE_PAGEUP)) move_selection(-page_step);
    if (key_pressed(SDL_SCANCODE_PAGEDOWN) && !key_is_button(m, SDL_SCANCODE_PAGEDOWN)) move_selection(page_step);
    if (key_pressed(SDL_SCANCODE_HOME) && !key_is_button(m, SDL_SCANCODE_HOME)) {
        l.selection = 0;
        move_selection(0);
    }
    if (key_pressed(SDL_SCANCODE_END) && !key_is_button(m, SDL_SCANCODE_END)) {
        l.selection = l.count() - 1;
        move_selection(0);
    }
}

// -------------------------------------------------------------- drawing

void browse_draw(vexel_machine* m, fenn_bitmap* p) {
    if (!p || p->depth != 8 || p->w < 128 || p->h < 128) return;
    fenn_clear_clip(p);
    const browse_screen_state& s = browse_screen;
    if (s.finished) {
        draw_finished(m, p);
        return;
    }
    browse_list& l = cur_list();
    if (l.count() == 0) {
        draw_empty(m, p);
    } else {
        const browse_item& it = cur_item();
        if (it.label && it.label->w == 128 && it.label->h == 128) {
            fenn_blit(it.label, 0, 0, p, 0, 0, 128, 128);
        } else {
            fenn_clear_bitmap(p, 5);
            if (it.kind == browse_kind_dir || it.kind == browse_kind_update)
                draw_icon(m, p, l.icon, 57, 30, 2, 14);
        }
        vexel_draw_tinted_rect(p, 10, 72, 117, 127, false);
        draw_rows(m, p);
    }
    draw_selector(m, p);
    draw_busy(m, p);
    if (s.exit_menu) draw_exit_menu(m, p);
    if (l.count() > 0) draw_cart_menu(m, p);
}
