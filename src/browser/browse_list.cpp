#include "browser/browse_list.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cart/cart_art.h"
#include "cart/cart_board.h"
#include "cart/cart_fold.h"
#include "cart/cart_load.h"
#include "cart/png_cart.h"
#include "cart/vdisk.h"
#include "framework/fenn_file.h"
#include "framework/fenn_host.h"
#include "framework/fenn_log.h"
#include "framework/fenn_path.h"
#include "framework/fenn_png.h"
#include "framework/fenn_text.h"
#include "framework/fenn_write.h"
#include "machine/text.h"

browse_lists_state browse_data;

namespace {
// The board's address: an http(s) web server, or a file:// folder holding a
// built board. The browser only ever forms the paths and queries below
// under it.
std::string bbs_host;
}  // namespace

namespace {

constexpr const char* favourites_file = "favourites.txt";
constexpr int label_comment_lines = 5;
constexpr int label_comment_chars = 63;
constexpr int label_background = 5, label_ink = 6;
// Comment lines of a text cartridge's label are wrapped inside a margin and
// stop above the list panel that covers the bottom of the label.
constexpr int label_text_x = 4, label_text_y = 22, label_text_row_h = 6;
constexpr int label_text_w = browse_label_size - 2 * label_text_x;
constexpr int label_text_rows = 8;

struct list_spec {
    const char* name;
    const char* title;
    const char* request;
};
constexpr list_spec list_specs[browse_list_count] = {
    {"local", "local", ""},
    {"fav", "favourites", ""},
    {"new", "new", "new"},
    {"top", "featured", "featured"},
    {"wip", "work in progress", "wip"},
    {"collab", "collaboration", "collab"},
    {"jam", "jam", "jam"},
    {"search", "search", ""},
};

browse_item dummy_item;

using bitmap_ptr = std::unique_ptr<fenn_bitmap, void (*)(fenn_bitmap*)>;
bitmap_ptr make_bitmap(fenn_bitmap* b) { return bitmap_ptr(b, fenn_destroy_bitmap); }

template <size_t N>
void copy_text(char (&dst)[N], const char* src, size_t len = size_t(-1)) {
    size_t n = 0;
    if (src)
        while (n < len && n + 1 < N && src[n]) ++n;
    if (n) std::memcpy(dst, src, n);
    dst[n] = 0;
}

void trim_trailing_spaces(char* s) {
    size_t n = std::strlen(s);
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r')) s[--n] = 0;
}

bool contains(const char* s, const char* part) { return s && std::strstr(s, part) != nullptr; }

// Reads a whole file of at most `max` bytes.
bool read_file(const char* path, size_t max, std::vector<uint8_t>* out) {
    fenn_file f;
    if (!path || !fenn_file_open(f, path)) return false;
    const int64_t n = fenn_file_remaining(f);
    if (n < 0 || uint64_t(n) > max) return false;
    out->resize(size_t(n));
    return fenn_file_read(f, out->data(), out->size()) == out->size();
}

void destroy_labels(browse_list& l) {
    for (browse_item& it : l.items) {
        fenn_destroy_bitmap(it.label);
        it.label = nullptr;
        it.label_tried = 0;
    }
}

void clear_list(browse_list& l) {
    destroy_labels(l);
    l.items.clear();
    l.has_placeholder = 0;
}

// Adds an item by value; the list takes its label. False (and the label is
// destroyed) when the list is full.
bool add_item(browse_list& l, const browse_item& it) {
    if (l.count() >= browse_items_max) {
        fenn_destroy_bitmap(it.label);
        return false;
    }
    l.items.push_back(it);
    return true;
}

browse_item placeholder(int kind, const char* title) {
    browse_item it;
    it.kind = kind;
    it.icon = browse_icon_placeholder;
    copy_text(it.title, title);
    return it;
}

// The 128x128 square of a 32-bit picture at (x, y), each pixel turned into
// the nearest machine colour.
fenn_bitmap* label_from_picture(const fenn_bitmap* pic, int x, int y) {
    if (!pic || pic->depth != 32 || x < 0 || y < 0 || x + browse_label_size > pic->w ||
        y + browse_label_size > pic->h)
        return nullptr;
    fenn_bitmap* label = fenn_create_bitmap(browse_label_size, browse_label_size, 8);
    if (!label) return nullptr;
    const uint32_t* src = pic->pix32();
    for (int py = 0; py < browse_label_size; ++py)
        for (int px = 0; px < browse_label_size; ++px)
            label->pix[size_t(py) * browse_label_size + size_t(px)] =
                uint8_t(cart_art_nearest_colour(src[size_t(y + py) * size_t(pic->w) + size_t(x + px)]));
    return label;
}

// One text row of a list-picture cell: one character per pixel, from the
// green channel, ending at a zero.
void picture_text(const fenn_bitmap* pic, int x, int y, char* out, size_t out_size) {
    const uint32_t* src = pic->pix32() + size_t(y) * size_t(pic->w) + size_t(x);
    size_t n = 0;
    for (int i = 0; i < browse_label_size && n + 1 < out_size; ++i) {
        char c = char((src[i] >> 8) & 0xff);
        if (!c) break;
        out[n++] = c;
    }
    out[n] = 0;
}

bool typeable(unsigned char c) { return c >= 32 && c < 127; }

std::string appdata(const char* name) { return fenn_prefix_with_appdata_path(name); }

bool lid_is_number(const char* lid) {
    if (!lid || !*lid) return false;
    for (const char* p = lid; *p; ++p)
        if (*p < '0' || *p > '9') return false;
    return true;
}

// A numbered lid as a number; lids too long for one are treated as names.
bool lid_number(const char* lid, long long* out) {
    if (!lid_is_number(lid) || std::strlen(lid) > 15) return false;
    *out = std::atoll(lid);
    return true;
}

}  // namespace

// ------------------------------------------------------------------ lists

void browse_create_lists() {
    if (!browse_data.created) {
        for (int i = 0; i < browse_list_count; ++i) {
            browse_list& l = browse_data.lists[i];
            copy_text(l.name, list_specs[i].name);
            copy_text(l.title, list_specs[i].title);
            copy_text(l.request, list_specs[i].request);
            l.icon = browse_icon_list + i;
        }
        browse_data.created = 1;
    }
}

void browse_reload_favourites() {
    browse_list_from_text_file(browse_fav, appdata(favourites_file).c_str());
    browse_clamp_selection(browse_fav);
}

void browse_init() {
    browse_create_lists();
    browse_reload_favourites();
    for (int i = browse_new; i <= browse_search; ++i)
        browse_list_from_png_file(i, browse_list_cache_path(i).c_str(), false);
    browse_data.lists[browse_search].request[0] = 0;
}

void browse_shutdown() {
    for (browse_list& l : browse_data.lists) clear_list(l);
    browse_data.running = browse_item();
}

browse_list* browse_get_list(int list) {
    if (list < 0 || list >= browse_list_count) return nullptr;
    return &browse_data.lists[list];
}

browse_item& browse_get_item(int list, int index) {
    browse_list* l = browse_get_list(list);
    if (!l || index < 0 || index >= l->count()) {
        dummy_item = browse_item();
        return dummy_item;
    }
    return l->items[size_t(index)];
}

void browse_clamp_selection(int list) {
    browse_list* l = browse_get_list(list);
    if (!l) return;
    l->selection = std::clamp(l->selection, 0, std::max(0, l->count() - 1));
    const int last_first = std::max(0, l->count() - browse_view_rows);
    int first = std::clamp(l->first, 0, last_first);
    if (l->selection - 1 < first) first = l->selection - 1;
    if (l->selection + 1 > first + browse_view_rows - 1) first = l->selection + 2 - browse_view_rows;
    l->first = std::clamp(first, 0, last_first);
}

// ------------------------------------------------------------ the folder

int browse_list_from_directory(int list, const char* subdir) {
    browse_list* l = browse_get_list(list);
    if (!l) return 1;
    clear_list(*l);
    std::string sub = subdir ? subdir : "";
    if (!sub.empty()) {
        browse_item up;
        up.kind = browse_kind_dir;
        up.icon = browse_icon_parent;
        copy_text(up.title, "..");
        copy_text(up.path, (sub + "..").c_str());
        add_item(*l, up);
    }
    const std::string folder = fenn_with_slash(browse_data.root) + sub;
    fenn_search s;
    for (int r = fenn_find_first(folder.c_str(), "*", &s, -1); r == 0; r = fenn_find_next(&s)) {
        if (s.name[0] == '.') continue;
        const bool dir = (s.mode & S_IFMT) == S_IFDIR;
        if (!dir && !std::strstr(s.name, ".qz")) continue;
        const std::string rel = sub + s.name;
        if (rel.size() > size_t(browse_path_max)) continue;  // a path that cannot be kept whole is left out
        browse_item it;
        it.kind = dir ? browse_kind_dir : browse_kind_cart;
        copy_text(it.path, rel.c_str());
        std::string title = s.name;
        if (!dir) {
            size_t dot = title.rfind('.');
            if (dot != std::string::npos && dot > 0) title.resize(dot);
            if (title.size() >= 4 && title[title.size() - 3] == '.') title.resize(title.size() - 3);
        }
        for (char& c : title) c = char(std::tolower(static_cast<unsigned char>(c)));
        copy_text(it.title, title.c_str());
        it.icon = dir ? browse_icon_dir : browse_cart_icon(it);
        if (!add_item(*l, it)) break;
    }
    const auto by_title = [](const browse_item& a, const browse_item& b) {
        const bool da = a.kind == browse_kind_dir, db = b.kind == browse_kind_dir;
        if (da != db) return da;
        return std::strcmp(a.title, b.title) < 0;
    };
    const auto first = l->items.begin() + (sub.empty() ? 0 : 1);
    std::stable_sort(first, l->items.end(), by_title);
    // Two files of one name (game.qz and game.qz.png, a save in each form)
    // would be two rows alike: those show their whole file names.
    bool renamed = false;
    for (auto a = first; a != l->items.end();) {
        auto b = a + 1;
        while (b != l->items.end() && b->kind == a->kind && std::strcmp(b->title, a->title) == 0) ++b;
        if (a->kind == browse_kind_cart && b - a > 1) {
            for (auto it = a; it != b; ++it) {
                std::string name = vdisk_base_name(it->path);
                for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
                copy_text(it->title, name.c_str());
            }
            renamed = true;
        }
        a = b;
    }
    if (renamed) std::stable_sort(first, l->items.end(), by_title);
    browse_update_favourite_flags(list);
    return 0;
}

// ------------------------------------------------------------ favourites

namespace {
// Folds the text in place (never longer than it was) and lowers it.
void fold_in_place(char* text) {
    const std::string folded = cart_fold_lower(text);
    std::memcpy(text, folded.data(), std::min(folded.size(), std::strlen(text)));
    text[std::min(folded.size(), std::strlen(text))] = 0;
}
}  // namespace

void browse_clean_title(char* title) {
    fold_in_place(title);
    // '|' separates the fields of a favourites line.
    for (char* p = title; *p; ++p)
        if (*p == '|') *p = '/';
}

void browse_clean_author(char* author) {
    fold_in_place(author);
    for (char* p = author; *p; ++p) {
        const char c = *p;
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '_' || c == '-' || c == '.'))
            *p = '?';
    }
    if (std::strlen(author) > size_t(browse_author_keep)) author[browse_author_keep] = 0;
}

int browse_cart_icon(const browse_item& item) {
    if (item.lid[0] || item.mid[0]) return browse_icon_bbs;
    return std::strstr(item.path, ".png") ? browse_icon_png : browse_icon_text;
}

bool browse_items_equal(const browse_item& item, const browse_item& stored) {
    if (item.lid[0] && stored.lid[0]) return std::strcmp(item.lid, stored.lid) == 0;
    // Matching by path needs a path: two board items without one are not the same.
    if (!item.path[0] || std::strcmp(item.path, stored.path) != 0) return false;
    if (!item.lid[0] && !item.mid[0] && !stored.lid[0] && !stored.mid[0]) return true;
    return item.lid[0] && !stored.lid[0] && !stored.mid[0];
}

void browse_update_favourite_flags(int list) {
    browse_list* l = browse_get_list(list);
    if (!l) return;
    const browse_list& fav = browse_data.lists[browse_fav];
    for (browse_item& it : l->items) {
        it.favourite = 0;
        if (it.kind != browse_kind_cart) continue;
        for (const browse_item& f : fav.items)
            if (f.kind == browse_kind_cart && browse_items_equal(it, f)) {
                it.favourite = 1;
                break;
            }
    }
}

int browse_read_favourites(int list, const char* text, size_t length) {
    browse_list* l = browse_get_list(list);
    if (!l || !text) return 0;
    int added = 0;
    size_t pos = 0;
    while (pos < length) {
        size_t end = pos;
        while (end < length && text[end] != '\n') ++end;
        const size_t line_len = end - pos;
        const char* line = text + pos;
        pos = end + 1;
        if (line_len == 0 || line[0] != '|' || line_len > size_t(browse_favourites_max_line)) continue;
        // Split at '|' into six fields; the title is the rest of the line.
        const char* field[6] = {};
        size_t flen[6] = {};
        size_t at = 1;
        for (int f = 0; f < 6; ++f) {
            field[f] = line + at;
            size_t e = at;
            while (e < line_len && (f == 5 || line[e] != '|')) ++e;
            flen[f] = e - at;
            at = e < line_len ? e + 1 : e;
        }
        browse_item it;
        it.kind = browse_kind_cart;
        copy_text(it.lid, field[0], flen[0]);
        copy_text(it.mid, field[1], flen[1]);
        char number[32];
        copy_text(number, field[2], flen[2]);
        if (std::sscanf(number, "%d", &it.catsub) != 1) it.catsub = 0;
        copy_text(it.author, field[3], flen[3]);
        copy_text(it.path, field[4], flen[4]);
        copy_text(it.title, field[5], flen[5]);
        for (char* s : {it.lid, it.mid, it.path, it.author, it.title}) trim_trailing_spaces(s);
        browse_clean_author(it.author);
        browse_clean_title(it.title);
        if (!std::strcmp(it.lid, "0")) it.lid[0] = 0;
        if (!std::strcmp(it.mid, "0")) it.mid[0] = 0;
        if (!it.lid[0] && !it.mid[0] && !it.path[0]) continue;  // nothing to find it by
        bool duplicate = false;
        for (const browse_item& f : l->items)
            if (browse_items_equal(it, f) || browse_items_equal(f, it)) duplicate = true;
        if (duplicate) continue;
        it.icon = browse_cart_icon(it);
        if (!add_item(*l, it)) break;
        ++added;
    }
    return added;
}

int browse_list_from_text_file(int list, const char* path) {
    browse_list* l = browse_get_list(list);
    if (!l) return 1;
    clear_list(*l);
    std::vector<uint8_t> bytes;
    if (!read_file(path, browse_file_max, &bytes)) return 1;
    browse_read_favourites(list, reinterpret_cast<const char*>(bytes.data()), bytes.size());
    browse_update_favourite_flags(list);
    return 0;
}

namespace {
// Whether a field can be written without breaking the line format.
bool field_writable(const char* s) {
    for (const char* p = s; *p; ++p)
        if (*p == '|' || *p == '\n' || *p == '\r') return false;
    return true;
}
}  // namespace

std::string browse_favourite_line(const browse_item& it) {
    char title[browse_text_max + 1];
    copy_text(title, it.title);
    browse_clean_title(title);
    char buf[browse_path_max + 6 * browse_text_max + 64];
    std::snprintf(buf, sizeof buf, "|%-20s |%-20s |%-6d |%-16s |%-20s |%s\n", it.lid, it.mid, int(it.catsub),
                  it.author, it.path, title);
    return buf;
}

int browse_save_favourites() {
    std::string text;
    for (const browse_item& it : browse_data.lists[browse_fav].items) {
        if (it.kind != browse_kind_cart) continue;
        if (!field_writable(it.lid) || !field_writable(it.mid) || !field_writable(it.author) ||
            !field_writable(it.path)) {
            fenn_debug("favourite not written: %s\n", it.title);
            continue;
        }
        text += browse_favourite_line(it);
    }
    const std::string path = appdata(favourites_file);
    if (!fenn_write_file(path.c_str(), text.data(), text.size()).ok()) {
        fenn_debug("could not write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

void browse_remove_favourite(int index) {
    browse_list& fav = browse_data.lists[browse_fav];
    if (index < 0 || index >= fav.count()) return;
    fenn_destroy_bitmap(fav.items[size_t(index)].label);
    fav.items.erase(fav.items.begin() + index);
    browse_clamp_selection(browse_fav);
    browse_update_favourite_flags(browse_data.current);
    browse_save_favourites();
}

void browse_toggle_favourite() {
    const int cur = browse_data.current;
    browse_list* l = browse_get_list(cur);
    if (!l) return;
    const int sel = l->selection;
    if (sel < 0 || sel >= l->count() || l->items[size_t(sel)].kind != browse_kind_cart) return;
    browse_list& fav = browse_data.lists[browse_fav];
    // Copied: inserting into the favourites list may move the selected item
    // when it is itself in that list.
    browse_item item = l->items[size_t(sel)];
    for (int i = 0; i < fav.count(); ++i) {
        if (fav.items[size_t(i)].kind == browse_kind_cart && browse_items_equal(item, fav.items[size_t(i)])) {
            fenn_destroy_bitmap(fav.items[size_t(i)].label);
            fav.items.erase(fav.items.begin() + i);
            browse_clamp_selection(cur);
            browse_clamp_selection(browse_fav);
            browse_update_favourite_flags(cur);
            browse_save_favourites();
            return;
        }
    }
    if (fav.count() >= browse_items_max) return;
    int at = 0;
    while (at < fav.count() && fav.items[size_t(at)].kind != browse_kind_cart) ++at;
    browse_item copy = item;
    copy.favourite = 0;
    copy.label = nullptr;
    copy.label_tried = 0;
    if (item.label) {
        copy.label = fenn_create_bitmap(item.label->w, item.label->h, 8);
        if (copy.label) {
            copy.label->pix = item.label->pix;
            copy.label_tried = 1;
        }
        const std::string saved = browse_label_cache_path(item.lid);
        if (copy.label && !saved.empty() && !fenn_file_exists(saved.c_str())) {
            // Kept as a picture so the favourite shows it even without the list or the cartridge.
            fenn_bitmap* argb = fenn_create_bitmap(browse_label_size, browse_label_size, 32);
            if (argb) {
                for (size_t i = 0; i < argb->pix.size() / 4; ++i)
                    argb->pix32()[i] = cart_art_colour(item.label->pix[i] & 15);
                std::vector<uint8_t> png;
                if (fenn_png_encode(argb, &png) == 0) fenn_write_file(saved.c_str(), png.data(), png.size());
                fenn_destroy_bitmap(argb);
            }
        }
    }
    fav.items.insert(fav.items.begin() + at, copy);
    browse_clamp_selection(cur);
    browse_update_favourite_flags(cur);
    browse_save_favourites();
}

// ---------------------------------------------------------- list pictures

int browse_read_list_picture(int list, const uint8_t* data, size_t size, bool append) {
    browse_list* l = browse_get_list(list);
    if (!l) return 1;
    fenn_bitmap* decoded = nullptr;
    const int st = data ? fenn_png_decode(data, size, &decoded, browse_pic_w, browse_pic_h) : fenn_png_unreadable;
    bitmap_ptr pic = make_bitmap(decoded);
    const bool is_fav = !std::strcmp(l->name, "fav");
    if (!append && !is_fav) {
        clear_list(*l);
        l->next_page = -1;
        const bool search = !std::strcmp(l->name, "search");
        add_item(*l, search ? placeholder(browse_kind_search, "[search]") : placeholder(browse_kind_update, "[update]"));
        l->has_placeholder = 1;
    }
    if (st == fenn_png_too_big) return 2;
    if (st != fenn_png_ok || !pic) return 1;
    if (pic->w != browse_pic_w || pic->h != browse_pic_h) return 2;
    // Only now that the picture is good: a failed continuation keeps its
    // "[load more]" so it can be tried again.
    if (append && l->count() > 0 && l->items.back().kind == browse_kind_load_more) {
        fenn_destroy_bitmap(l->items.back().label);
        l->items.pop_back();
    }
    bool ended = false;
    char next[browse_label_size + 1];
    picture_text(pic.get(), 0, browse_pic_next_row, next, sizeof next);
    int next_page = -1;
    if (std::sscanf(next, "next %d", &next_page) != 1 || next_page < 0) next_page = -1;
    l->next_page = next_page;
    for (int i = 0; i < browse_pic_entries; ++i) {
        const int cx = (i % browse_pic_columns) * browse_label_size;
        const int cy = (i / browse_pic_columns) * browse_pic_cell_h;
        char row[browse_label_size + 1];
        picture_text(pic.get(), cx, cy + 128, row, sizeof row);
        int post = 0, second = 0, catsub = 0;
        if (std::sscanf(row, "%d %d %d", &post, &second, &catsub) < 1 || post == 0) {
            ended = true;
            continue;
        }
        browse_item it;
        it.kind = browse_kind_cart;
        it.catsub = catsub;
        picture_text(pic.get(), cx, cy + 129, it.title, sizeof it.title);
        picture_text(pic.get(), cx, cy + 130, it.author, sizeof it.author);
        picture_text(pic.get(), cx, cy + 131, it.lid, sizeof it.lid);
        picture_text(pic.get(), cx, cy + 132, it.mid, sizeof it.mid);
        if (!it.lid[0]) std::snprintf(it.lid, sizeof it.lid, "%d", post);
        if (!it.mid[0]) std::snprintf(it.mid, sizeof it.mid, "%d", second);
        browse_clean_title(it.title);
        browse_clean_author(it.author);
        it.icon = browse_icon_bbs;
        it.label = label_from_picture(pic.get(), cx, cy);
        it.label_tried = 1;
        if (!add_item(*l, it)) {
            ended = true;
            break;
        }
    }
    (void)ended;
    if (next_page >= 0 && l->count() < browse_items_max) {
        browse_item more = placeholder(browse_kind_load_more, "[load more]");
        more.label = fenn_create_bitmap(browse_label_size, browse_label_size, 8);
        more.label_tried = 1;
        add_item(*l, more);
    }
    browse_update_favourite_flags(list);
    return 0;
}

int browse_list_from_png_file(int list, const char* path, bool append) {
    std::vector<uint8_t> bytes;
    if (!read_file(path, browse_file_max, &bytes)) return browse_read_list_picture(list, nullptr, 0, append);
    return browse_read_list_picture(list, bytes.data(), bytes.size(), append);
}

// ------------------------------------------------------- names and the cache

bool browse_lid_is_valid(const char* lid) { return cart_board_id_valid(lid); }

bool browse_set_bbs_host(const char* host) {
    std::string h = host ? host : "";
    while (!h.empty() && h.back() == '/') h.pop_back();
    if (!browse_host_is_valid(h.c_str())) return false;
    bbs_host = h;
    return true;
}

const std::string& browse_bbs_host() { return bbs_host; }

bool browse_host_is_valid(const char* host) {
    if (!host) return false;
    for (const char* p = host; *p; ++p)
        if (static_cast<unsigned char>(*p) <= ' ' || *p == 127) return false;
    for (const char* scheme : {"http://", "https://", "file://"}) {
        const size_t n = std::strlen(scheme);
        if (strncasecmp(host, scheme, n) == 0 && host[n]) return true;
    }
    return false;
}

bool browse_host_is_folder() { return strncasecmp(bbs_host.c_str(), "file://", 7) == 0; }

std::string browse_host_folder_path(const char* relative) {
    if (!browse_host_is_folder()) return {};
    // The address's path, percent-decoded ("file:///a%20b" is "/a b").
    std::string path;
    const std::string& h = bbs_host;
    for (size_t i = 7; i < h.size(); ++i) {
        if (h[i] == '%' && i + 2 < h.size() && std::isxdigit(static_cast<unsigned char>(h[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(h[i + 2]))) {
            path += char(std::stoi(h.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += h[i];
        }
    }
    // "file://localhost/x" names /x too.
    if (path.rfind("localhost/", 0) == 0) path.erase(0, 9);
    return path + "/" + (relative ? relative : "");
}

std::string browse_cart_url_path(const char* lid) {
    const std::string p = cart_board_cart_path(lid);
    return p.empty() ? p : "/" + p;
}

std::string browse_cart_url(const char* lid) {
    std::string p = browse_cart_url_path(lid);
    return p.empty() || bbs_host.empty() ? std::string() : bbs_host + p;
}

std::string browse_cart_cache_path(const char* lid) {
    if (!browse_lid_is_valid(lid)) return {};
    char buf[browse_text_max * 2 + 64];
    long long n;
    if (lid_number(lid, &n)) std::snprintf(buf, sizeof buf, "bbs/%lld/%lld.qz.png", n / 10000, n);
    else std::snprintf(buf, sizeof buf, "bbs/carts/%s.qz.png", lid);
    return appdata(buf);
}

std::string browse_label_cache_path(const char* lid) {
    if (!browse_lid_is_valid(lid)) return {};
    return appdata((std::string("bbs/labels/") + lid + ".png").c_str());
}

std::string browse_list_url(const char* request, int page) {
    if (bbs_host.empty()) return {};
    const std::string p = page < 0 ? cart_board_list_head_path(request) : cart_board_list_page_path(request, page);
    return p.empty() ? p : bbs_host + "/" + p;
}

void browse_list_no_results(int list) {
    browse_list* l = browse_get_list(list);
    if (!l) return;
    clear_list(*l);
    l->next_page = -1;
    add_item(*l, placeholder(browse_kind_search, "[search]"));
    l->has_placeholder = 1;
}

std::string browse_list_cache_path(int list) {
    const browse_list* l = browse_get_list(list);
    if (!l) return {};
    return appdata((std::string("bbs/") + l->name + ".pip.png").c_str());
}

std::string browse_list_temp_path(int list, bool more) {
    const browse_list* l = browse_get_list(list);
    if (!l) return {};
    return appdata((std::string("bbs/temp_") + l->name + (more ? "__" : "") + ".pip.png").c_str());
}

std::string browse_discussion_url(const char* lid) {
    if (!browse_lid_is_valid(lid) || bbs_host.empty()) return {};
    return bbs_host + "/" + cart_board_post_path(lid);
}

// ------------------------------------------------------------------ labels

fenn_bitmap* browse_label_from_bytes(const uint8_t* data, size_t size) {
    if (!data || size == 0) return nullptr;
    static const uint8_t png_magic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (size >= 8 && std::memcmp(data, png_magic, 8) == 0) {
        fenn_bitmap* decoded = nullptr;
        if (fenn_png_decode(data, size, &decoded, cart_picture_w, cart_picture_h) != fenn_png_ok) return nullptr;
        bitmap_ptr pic = make_bitmap(decoded);
        if (pic->w != cart_picture_w || pic->h != cart_picture_h) return nullptr;
        return label_from_picture(pic.get(), cart_label_x, cart_label_y);
    }
    // A text cartridge: its leading comment lines on a plain label.
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < size && lines.size() < 3 + size_t(label_comment_lines)) {
        size_t end = pos;
        while (end < size && data[end] != '\n') ++end;
        lines.emplace_back(reinterpret_cast<const char*>(data) + pos, end - pos);
        pos = end + 1;
    }
    if (lines.size() < 3 || lines[0].rfind("vexel cartridge", 0) != 0 || lines[2].rfind("__lua__", 0) != 0)
        return nullptr;
    fenn_bitmap* label = fenn_create_bitmap(browse_label_size, browse_label_size, 8);
    if (!label) return nullptr;
    fenn_clear_bitmap(label, label_background);
    if (!browse_data.font) return label;
    int row = 0;
    for (int i = 0; i < label_comment_lines && size_t(3 + i) < lines.size(); ++i) {
        std::string line = lines[size_t(3 + i)];
        if (line.rfind("--", 0) != 0) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = browse_comment_preview(line);
        for (char& c : line)
            if (!typeable(static_cast<unsigned char>(c))) c = ' ';
        for (const std::string& text : fenn_wrap_text(line.c_str(), browse_data.font, label_text_w)) {
            if (row >= label_text_rows) return label;
            fenn_draw_text_ex(label, text.c_str(), browse_data.font, label_text_x,
                              label_text_y + label_text_row_h * row++, fenn_text_single_colour, label_ink);
        }
    }
    return label;
}

std::string browse_comment_preview(std::string line) {
    if (line.size() <= size_t(label_comment_chars)) return line;
    // Cut at the last blank, so that no word is shown cut short ("ghos"); a
    // single word longer than the room is cut where the room ends.
    const size_t blank = line.rfind(' ', size_t(label_comment_chars));
    line.resize(blank != std::string::npos && blank > 2 ? blank : size_t(label_comment_chars));
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

fenn_bitmap* browse_label_from_file(const char* path) {
    if (!path) return nullptr;
    const bool png = contains(path, ".png");
    std::vector<uint8_t> bytes;
    if (!read_file(path, png ? cart_png_max_file : browse_file_max, &bytes)) return nullptr;
    static const uint8_t png_magic[4] = {0x89, 'P', 'N', 'G'};
    const bool is_png = bytes.size() >= 4 && std::memcmp(bytes.data(), png_magic, 4) == 0;
    if (png != is_png) return nullptr;
    return browse_label_from_bytes(bytes.data(), bytes.size());
}

fenn_bitmap* browse_label_from_cart_lid(const char* lid) {
    if (!browse_lid_is_valid(lid)) return nullptr;
    if (fenn_bitmap* l = browse_label_from_file(browse_cart_cache_path(lid).c_str())) return l;
    std::vector<uint8_t> bytes;
    if (!read_file(browse_label_cache_path(lid).c_str(), cart_png_max_file, &bytes)) return nullptr;
    fenn_bitmap* decoded = nullptr;
    if (fenn_png_decode(bytes.data(), bytes.size(), &decoded, browse_label_size, browse_label_size) != fenn_png_ok)
        return nullptr;
    bitmap_ptr pic = make_bitmap(decoded);
    return label_from_picture(pic.get(), 0, 0);
}

void browse_ensure_label(browse_item& item) {
    if (item.label || item.label_tried || item.kind != browse_kind_cart) return;
    item.label_tried = 1;
    if (item.lid[0]) item.label = browse_label_from_cart_lid(item.lid);
    if (!item.label && item.path[0] && !item.lid[0])
        item.label = browse_label_from_file((fenn_with_slash(browse_data.root) + item.path).c_str());
}
