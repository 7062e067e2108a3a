#include "board/board_site.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>
#include <thread>

#include "board/board_catalogue.h"
#include "board/board_html.h"
#include "board/board_manifest.h"
#include "board/board_picture.h"
#include "cart/cart.h"
#include "cart/cart_art.h"
#include "cart/cart_board.h"
#include "cart/cart_include.h"
#include "cart/cart_load.h"
#include "cart/png_cart.h"
#include "framework/fenn_bitmap.h"
#include "framework/fenn_config.h"
#include "framework/fenn_file.h"
#include "framework/fenn_path.h"
#include "framework/fenn_png.h"
#include "framework/fenn_write.h"
#include "machine/disk.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/present.h"
#include "runtime/frame.h"
#include "runtime/machine_life.h"
#include "runtime/web_export.h"
#include "runtime/run.h"

namespace fs = std::filesystem;

namespace {

using bitmap_ptr = std::unique_ptr<fenn_bitmap, void (*)(fenn_bitmap*)>;
using cart_ptr = std::unique_ptr<vexel_cart, void (*)(vexel_cart*)>;

constexpr int board_seed = 1;          // labels made by running a program come out the same every build
constexpr int comment_lines_max = 12;  // leading comment lines kept as the description
constexpr int convert_batch = 32;      // cartridges a build worker converts per catalogue transaction
constexpr const char* building_infix = ".building-";
constexpr const char* old_infix = ".old-";

// The program's leading comment lines, without the dashes.
std::vector<std::string> leading_comments(const char* code) {
    std::vector<std::string> lines;
    const char* p = code ? code : "";
    while (int(lines.size()) < comment_lines_max && p[0] == '-' && p[1] == '-') {
        const char* end = std::strchr(p, '\n');
        if (!end) end = p + std::strlen(p);
        std::string line(p + 2, end);
        if (!line.empty() && line[0] == ' ') line.erase(0, 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        p = *end ? end + 1 : end;
    }
    return lines;
}

std::string base_title(const std::string& file) {
    std::string name = fs::path(file).filename().string();
    const size_t dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void discard_output(void*, const char*, size_t) {}

// The first picture the program shows that is not a single colour (or the
// last one looked at), as an 8-bit 128x128 label. The program runs in a
// machine of its own, with its save data in `scratch`.
bitmap_ptr first_frame_label(const std::string& bytes, const std::string& name, const std::string& scratch,
                             const fenn_pod* font, const char* program) {
    vexel_cart* cart = nullptr;
    if (cart_read_bytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &cart) != cart_ok)
        return bitmap_ptr(nullptr, fenn_destroy_bitmap);
    std::snprintf(cart->code, vexel_code_buffer, "%s", program);
    vexel_host host;
    host.exec_mode = true;
    host.seeded = true;
    host.seed = board_seed;
    host.carts_path = scratch.c_str();
    host.cdata_path = scratch.c_str();
    host.output = discard_output;
    // Whatever the program writes (stored data, save data, files) goes to
    // the scratch folder, never into the user's data folder.
    const fenn_config saved = fenn_cfg;
    std::snprintf(fenn_cfg.home, sizeof fenn_cfg.home, "%s", scratch.c_str());
    std::snprintf(fenn_cfg.desktop_path, sizeof fenn_cfg.desktop_path, "%s", scratch.c_str());
    struct restore_config {
        const fenn_config& saved;
        ~restore_config() { fenn_cfg = saved; }
    } restore{saved};
    vexel_machine* m = vexel_machine_create(&host);
    bitmap_ptr label(fenn_create_bitmap(board_label_side, board_label_side, 8), fenn_destroy_bitmap);
    if (!m || !label) {
        vexel_cart_destroy(cart);
        if (m) vexel_machine_destroy(m);
        return bitmap_ptr(nullptr, fenn_destroy_bitmap);
    }
    m->console_font = font;
    vexel_prepare_loaded_cart(m, cart, name.c_str());
    run_cart(m);
    for (int frame = 0; frame < board_label_frames_max; ++frame) {
        vexel_machine_frame(m, vexel_frame_input{});
        vexel_present_screen(m, true);
        const std::vector<uint8_t>& pix = m->display->pix;
        bool plain = true;
        for (size_t i = 1; i < pix.size() && plain; ++i) plain = (pix[i] & 15) == (pix[0] & 15);
        for (size_t i = 0; i < label->pix.size() && i < pix.size(); ++i) label->pix[i] = pix[i] & 15;
        if (!plain) break;
    }
    vexel_machine_destroy(m);
    return label;
}


constexpr size_t label_cache_max = 2048;    // decoded labels a worker keeps (16 KiB each)
constexpr size_t picture_cache_max = 64;    // encoded list pictures a worker keeps

// What drawing lists reads and makes again and again: the labels of the
// newest cartridges (on every list and every word prefix they are on), and
// whole pictures (the prefixes of one word often list the same entries).
// Bounded; emptied when full.
struct render_cache {
    std::map<std::string, bitmap_ptr> labels;
    std::map<std::string, std::vector<uint8_t>> pictures;
};

// Writes the site's files, counting them. A build writes into a fresh
// folder that is renamed whole at the end, so plain writes do; a change to
// a served board writes each file whole under a temporary name, then
// renames it (fenn_write_file).
struct site_writer {
    fs::path root;
    bool atomic = false;
    int written = 0;
    int pictures = 0;
    std::shared_ptr<render_cache> cache = std::make_shared<render_cache>();

    bool write(const std::string& relative, const void* data, size_t size, std::string* reason) {
        const fs::path path = root / relative;
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        bool ok;
        if (atomic) {
            const fenn_write_result r = fenn_write_file(path.c_str(), data, size);
            ok = r.ok();
            if (!ok) *reason = path.string() + ": cannot write (" + r.reason + ")";
        } else {
            std::FILE* f = std::fopen(path.c_str(), "wb");
            ok = f && std::fwrite(data, 1, size, f) == size;
            if (f && std::fclose(f) != 0) ok = false;
            if (!ok) *reason = path.string() + ": cannot write (" + std::strerror(errno) + ")";
        }
        if (ok) ++written;
        return ok;
    }
    bool write(const std::string& relative, const std::string& text, std::string* reason) {
        return write(relative, text.data(), text.size(), reason);
    }
};

std::string list_names(unsigned lists) {
    std::string s;
    for (int l = 0; l < cart_board_list_defs; ++l)
        if (lists & (1u << l)) s += std::string(s.empty() ? "" : ", ") + cart_board_lists[l].name;
    return s;
}

// "new,wip" as list bits; 0 with `reason` for an unknown name.
unsigned parse_lists(const std::string& text, std::string* reason) {
    unsigned bits = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        const std::string name = text.substr(pos, comma - pos);
        int found = -1;
        for (int i = 0; i < cart_board_list_defs; ++i)
            if (name == cart_board_lists[i].name) found = i;
        if (found < 0) {
            *reason = "unknown list \"" + name + "\" (new, featured, wip, collab, jam)";
            return 0;
        }
        bits |= 1u << found;
        pos = comma + 1;
    }
    return bits;
}

int category_of(unsigned lists) {
    static const int categories[cart_board_list_defs] = {2, 2, 3, 4, 8};
    for (int i = 0; i < cart_board_list_defs; ++i)
        if (lists & (1u << i)) return categories[i];
    return 0;
}

std::string date_of(long long t) {
    const std::time_t when = std::time_t(t);
    std::tm tm{};
    gmtime_r(&when, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
    return buf;
}

// The buttons a program reads, from its btn()/btnp() calls with a plain
// number: what the cartridge's page says under "controls".
std::string controls_of(const char* code) {
    static const char* const names[6] = {"left", "right", "up", "down", "o (z)", "x (x)"};
    bool used[6] = {};
    bool any_call = false;
    for (const char* p = code ? code : ""; (p = std::strstr(p, "btn")); p += 3) {
        const char* q = p + 3;
        if (*q == 'p') ++q;
        if (*q != '(') continue;
        ++q;
        while (*q == ' ') ++q;
        if (*q >= '0' && *q <= '5' && (q[1] == ')' || q[1] == ',' || q[1] == ' ')) used[*q - '0'] = true;
        else any_call = true;
    }
    std::string s;
    for (int i = 0; i < 6; ++i)
        if (used[i]) s += std::string(s.empty() ? "" : ", ") + names[i];
    if (s.empty() && any_call) s = "buttons";
    return s;
}

// One cartridge read and converted: the PNG cartridge, its label and what
// its program says of itself.
struct converted_cart {
    std::vector<uint8_t> png;
    bitmap_ptr label{nullptr, fenn_destroy_bitmap};
    std::string title;          // the first comment line, or the file's name
    std::string description;    // the leading comment lines after the title
    std::string controls;
};

bool convert_cart(const fs::path& path, const board_build_options& options, const std::string& scratch,
                  converted_cart* out, std::string* error) {
    std::string bytes;
    if (!fenn_read_regular_file(path.c_str(), cart_png_max_file, &bytes)) {
        std::error_code ec;
        *error = !fs::exists(path, ec)          ? "no such file"
                 : fs::is_directory(path, ec)   ? "is a folder, not a cartridge"
                 : fs::file_size(path, ec) > cart_png_max_file
                     ? "larger than " + std::to_string(cart_png_max_file) + " bytes"
                     : std::string("cannot be read (") + std::strerror(errno) + ")";
        return false;
    }
    vexel_cart* raw = nullptr;
    const int status = cart_read_bytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &raw);
    if (status != cart_ok) {
        *error = vexel_cart_status_text(status);
        return false;
    }
    cart_ptr cart(raw, vexel_cart_destroy);
    // The board's picture cartridge carries the whole program: a text
    // cartridge's #include lines are joined with their files here.
    if (cart_has_includes(cart->code)) {
        const bool text = path.extension() != ".png";
        const cart_joined_program joined = cart_join_includes(cart->code, path.parent_path().string(), text);
        if (!joined.errors.empty()) {
            *error = joined.errors[0];
            return false;
        }
        if (joined.text.size() > size_t(vexel_code_max)) {
            *error = "the program is too large for a PNG cartridge";
            return false;
        }
        std::memcpy(cart->code, joined.text.c_str(), joined.text.size() + 1);
    }
    const std::vector<std::string> comments = leading_comments(cart->code);
    out->title = !comments.empty() && !comments[0].empty() ? comments[0] : base_title(path.string());
    out->title = board_cut_text(out->title, board_text_max);
    out->description.clear();
    for (size_t i = 1; i < comments.size(); ++i) out->description += comments[i] + "\n";
    out->controls = controls_of(cart->code);
    if (!cart->label) {
        bitmap_ptr label = first_frame_label(bytes, path.filename().string(), scratch, options.font, cart->code);
        cart->label = label.release();
    }
    out->label.reset(fenn_create_bitmap(board_label_side, board_label_side, 8));
    if (!out->label) {
        *error = "out of memory";
        return false;
    }
    if (cart->label && cart->label->pix.size() == out->label->pix.size()) out->label->pix = cart->label->pix;
    if (vexel_cart_png_encode(cart.get(), options.art, &out->png) != 0) {
        *error = "the program is too large for a PNG cartridge";
        return false;
    }
    if (out->png.size() > board_cart_file_max) {
        *error = "the PNG cartridge is larger than " + std::to_string(board_cart_file_max) + " bytes";
        return false;
    }
    return true;
}

std::string cart_root() { return "../../../"; }  // from bbs/c/<bucket>/ or bbs/a/<bucket>/ to the top

// Whether the site holds the web player, which its cartridge pages then use.
bool site_has_player(const fs::path& root) {
    std::error_code ec;
    for (const char* f : web_export_player_files)
        if (!fs::is_regular_file(root / board_player_folder / f, ec)) return false;
    return fs::is_regular_file(root / board_player_folder / board_player_script_name, ec);
}

// The web player this vexel finds (`make web`'s build-web/, ...) goes into
// the site's play/; without one the site is made without it, and its pages
// say so.
bool copy_player(site_writer& w, std::string* reason) {
    const std::string from = web_export_find_player();
    if (from.empty()) return true;
    for (const char* f : web_export_player_files) {
        std::string bytes;
        if (!fenn_read_regular_file((from + f).c_str(), web_export_file_max, &bytes)) {
            *reason = from + f + ": cannot read the web player";
            return false;
        }
        if (!w.write(std::string(board_player_folder) + f, bytes, reason)) return false;
    }
    return w.write(std::string(board_player_folder) + board_player_script_name, board_player_script(), reason);
}

bool write_cart_page(site_writer& w, const board_record& r, std::string* reason) {
    board_html_cart c;
    c.id = r.id;
    c.title = r.title;
    c.author = r.author;
    c.description = r.description;
    c.lists = list_names(r.lists);
    c.date = date_of(r.added);
    c.controls = r.controls;
    c.post = r.post;
    c.size = r.size;
    c.player = site_has_player(w.root);
    return w.write(cart_board_post_path(r.id.c_str()), board_cart_html(c, cart_root()), reason);
}

// The cartridge, its label (32-bit, for web pages and list pictures) and
// its page.
bool write_cart_files(site_writer& w, const board_record& r, const converted_cart& c, std::string* reason) {
    if (!w.write(cart_board_cart_path(r.id.c_str()), c.png.data(), c.png.size(), reason)) return false;
    bitmap_ptr label32(fenn_create_bitmap(board_label_side, board_label_side, 32), fenn_destroy_bitmap);
    std::vector<uint8_t> png;
    if (!label32) return false;
    for (size_t i = 0; i < size_t(board_label_side * board_label_side); ++i)
        label32->pix32()[i] = cart_art_colour(c.label ? c.label->pix[i] & 15 : 0);
    if (fenn_png_encode(label32.get(), &png) != 0) {
        *reason = r.id + ": the label could not be encoded";
        return false;
    }
    return w.write(cart_board_label_path(r.id.c_str()), png.data(), png.size(), reason) &&
           write_cart_page(w, r, reason);
}

// A cartridge's label read back from the site, as machine colours; null
// when it is missing or damaged (the cell is then blank).
fenn_bitmap* read_label(const fs::path& root, const std::string& id) {
    std::string bytes;
    const fs::path path = root / cart_board_label_path(id.c_str());
    if (!fenn_read_regular_file(path.c_str(), board_list_picture_max, &bytes)) return nullptr;
    fenn_bitmap* decoded = nullptr;
    if (fenn_png_decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &decoded, board_label_side,
                        board_label_side) != fenn_png_ok)
        return nullptr;
    bitmap_ptr pic(decoded, fenn_destroy_bitmap);
    if (pic->w != board_label_side || pic->h != board_label_side || pic->depth != 32) return nullptr;
    fenn_bitmap* label = fenn_create_bitmap(board_label_side, board_label_side, 8);
    if (!label) return nullptr;
    // Labels are runs of few colours: the last match is asked for again.
    uint32_t last = 0;
    uint8_t last_index = uint8_t(cart_art_nearest_colour(0));
    for (size_t i = 0; i < label->pix.size(); ++i) {
        const uint32_t c = pic->pix32()[i];
        if (c != last) {
            last = c;
            last_index = uint8_t(cart_art_nearest_colour(c));
        }
        label->pix[i] = last_index;
    }
    return label;
}

// The head slot of a list: its newest page, where top.png points.
int top_page(sqlite3* db, const std::string& key) {
    board_stmt q(db, "SELECT next FROM head WHERE key = ?");
    q.bind(1, key);
    const long long next = q.step() == SQLITE_ROW ? q.integer(0) : 0;
    return next > 0 ? int((next - 1) / cart_board_page_entries) : 0;
}

bool is_search_key(const std::string& key) { return key.rfind(cart_board_search_prefix, 0) == 0; }

// The relative link from a list's page `from` (-1: its top) to page `to`.
std::string list_page_link(int from, int to) {
    const std::string up = from < 0 ? "" : "../";
    return up + std::to_string(to / cart_board_pages_per_folder) + "/" + std::to_string(to) + ".html";
}

// Draws page `page` of list `key` (top.png when it is the newest), with its
// web page for the five lists, the word's search file for a search list,
// and the index for the newest page of "new".
bool render_page(sqlite3* db, site_writer& w, const std::string& key, int page, std::string* reason) {
    const int top = top_page(db, key);
    board_stmt q(db,
                 "SELECT c.id, c.post, c.mid, c.category, c.title, c.author FROM member m JOIN cart c ON c.id = m.id"
                 " WHERE m.key = ? AND m.slot >= ? AND m.slot < ? ORDER BY m.slot DESC");
    q.bind(1, key).bind(2, (long long)page * cart_board_page_entries).bind(3, (long long)(page + 1) * cart_board_page_entries);
    std::vector<board_cell> cells;
    std::vector<board_html_entry> entries;
    render_cache& cache = *w.cache;
    if (cache.labels.size() > label_cache_max) cache.labels.clear();
    if (cache.pictures.size() > picture_cache_max) cache.pictures.clear();
    std::string signature;
    while (q.step() == SQLITE_ROW) {
        board_cell c;
        c.id = q.text(0);
        c.post = q.integer(1);
        c.mid = q.text(2);
        c.mid_number = c.mid.empty() ? 0 : std::atoll(c.mid.c_str());
        c.category = int(q.integer(3));
        c.title = q.text(4);
        c.author = q.text(5);
        auto found = cache.labels.find(c.id);
        if (found == cache.labels.end())
            found = cache.labels.emplace(c.id, bitmap_ptr(read_label(w.root, c.id), fenn_destroy_bitmap)).first;
        c.label = found->second.get();
        signature += c.id + "\t" + c.title + "\t" + c.author + "\t" + std::to_string(c.post) + "\n";
        cells.push_back(c);
        entries.push_back({c.id, c.title, c.author});
    }
    const int next = page > 0 ? page - 1 : -1;
    signature += std::to_string(next);
    auto drawn = cache.pictures.find(signature);
    if (drawn == cache.pictures.end()) {
        bitmap_ptr pic(board_make_list_picture(cells, next), fenn_destroy_bitmap);
        std::vector<uint8_t> encoded;
        if (!pic || fenn_png_encode_quick(pic.get(), &encoded) != 0) {
            *reason = key + ": a list picture could not be made";
            return false;
        }
        drawn = cache.pictures.emplace(signature, std::move(encoded)).first;
    }
    const std::vector<uint8_t>& png = drawn->second;
    const bool head = page == top;
    const std::string path = head ? cart_board_list_head_path(key.c_str()) : cart_board_list_page_path(key.c_str(), page);
    if (path.empty()) {
        *reason = key + ": not a list";
        return false;
    }
    if (!w.write(path, png.data(), png.size(), reason)) return false;
    ++w.pictures;
    if (is_search_key(key)) {
        if (!head) return true;
        board_stmt s(db,
                     "SELECT c.id, c.title, c.author FROM member m JOIN cart c ON c.id = m.id WHERE m.key = ?"
                     " ORDER BY m.slot DESC LIMIT ?");
        s.bind(1, key).bind(2, (long long)board_search_file_entries);
        std::string text;
        while (s.step() == SQLITE_ROW) text += board_search_line({s.text(0), s.text(1), s.text(2)});
        return w.write(cart_board_list_folder(key.c_str()) + "/w.txt", text, reason);
    }
    const std::string older = next < 0 ? "" : list_page_link(head ? -1 : page, next);
    const std::string html = path.substr(0, path.size() - 4) + ".html";
    if (!w.write(html, board_list_html(key, entries, older, head ? "../../../" : "../../../../"), reason)) return false;
    if (head && key == "new") {
        const std::string root_older = next < 0 ? "" : "bbs/l/new/" + list_page_link(-1, next);
        if (!w.write("index.html", board_list_html(key, entries, root_older, ""), reason)) return false;
    }
    return true;
}

bool render_author(sqlite3* db, site_writer& w, const std::string& author, std::string* reason) {
    board_stmt q(db, "SELECT id, title FROM cart WHERE author = ? ORDER BY post DESC");
    q.bind(1, author);
    std::vector<board_html_entry> entries;
    while (q.step() == SQLITE_ROW) entries.push_back({q.text(0), q.text(1), author});
    const std::string path = board_author_path(author);
    if (entries.empty()) {
        std::error_code ec;
        fs::remove(w.root / path, ec);
        return true;
    }
    return w.write(path, board_author_html(author, entries, cart_root()), reason);
}

// A small picture of a cartridge in the board's colours.
bool write_favicon(site_writer& w, std::string* reason) {
    constexpr int side = 16;
    bitmap_ptr icon(fenn_create_bitmap(side, side, 32), fenn_destroy_bitmap);
    if (!icon) return false;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            int colour = 0;
            if (x >= 2 && x <= 13 && y >= 1 && y <= 14) colour = 6;          // the shell
            if (x >= 4 && x <= 11 && y >= 3 && y <= 9) colour = 12;          // the label
            if (x >= 5 && x <= 10 && y >= 5 && y <= 7) colour = 10;
            if (y >= 12 && y <= 14 && (x == 4 || x == 6 || x == 9 || x == 11)) colour = 9;  // contacts
            icon->pix32()[size_t(y * side + x)] = colour ? cart_art_colour(colour) : 0x00000000u;
        }
    std::vector<uint8_t> png;
    return fenn_png_encode(icon.get(), &png) == 0 && w.write("favicon.png", png.data(), png.size(), reason);
}

// Whether process `pid` still runs (an unknown answer counts as running).
bool process_alive(long pid) { return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno != ESRCH); }

// Removes the work folders ".OUT.building-PID" and ".OUT.old-PID" beside OUT
// whose build is gone: a build killed half-way leaves them behind.
void remove_stale_work(const fs::path& parent, const std::string& out_name) {
    std::error_code ec;
    for (auto it = fs::directory_iterator(parent, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        for (const char* infix : {building_infix, old_infix}) {
            const std::string prefix = "." + out_name + infix;
            if (name.rfind(prefix, 0) != 0) continue;
            const std::string digits = name.substr(prefix.size());
            if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
                continue;
            std::error_code lec;
            if (!process_alive(std::stol(digits)) && it->is_directory(lec) && !it->is_symlink(lec))
                fs::remove_all(it->path(), lec);
        }
    }
}

// Puts the finished site in place of `out`.
bool replace_folder(const fs::path& built, const fs::path& out, std::string* reason) {
    std::error_code ec;
    if (!fs::exists(out, ec)) {
        fs::rename(built, out, ec);
        if (ec) *reason = out.string() + ": " + ec.message();
        return !ec;
    }
    const fs::path old = out.parent_path() / ("." + out.filename().string() + old_infix + std::to_string(::getpid()));
    fs::rename(out, old, ec);
    if (ec) {
        *reason = out.string() + ": cannot be replaced (" + ec.message() + ")";
        return false;
    }
    fs::rename(built, out, ec);
    if (ec) {
        fs::rename(old, out, ec);  // the earlier board stays
        *reason = out.string() + ": cannot be replaced";
        return false;
    }
    fs::remove_all(old, ec);
    return true;
}

int worker_count(const board_build_options& o) {
    const int cores = int(std::thread::hardware_concurrency());
    return std::clamp(o.workers > 0 ? o.workers : cores, 1, board_workers_max);
}

// Runs job(k) for k in 0..n-1, each in a worker process of its own when
// there is more than one (the machine that draws a label is not made to be
// shared between threads; a process per core is). The caller holds no
// catalogue connection while they run. True when every job succeeded.
template <class Job>
bool run_workers(int n, Job job) {
    if (n <= 1) return job(0);
    std::vector<pid_t> pids;
    bool ok = true;
    for (int k = 0; k < n; ++k) {
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) _exit(job(k) ? 0 : 1);
        if (pid < 0) ok = job(k) && ok;  // no process: the work is done here
        else pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ok = false;
    }
    return ok;
}

// Reads one line of at most `max` bytes (the rest of a longer line is read
// and dropped; `too_long` tells). False at the end of the file.
bool read_line(std::FILE* f, size_t max, std::string* line, bool* too_long) {
    line->clear();
    *too_long = false;
    int c;
    bool any = false;
    while ((c = std::getc(f)) != EOF) {
        any = true;
        if (c == '\n') return true;
        if (line->size() < max) *line += char(c);
        else *too_long = true;
    }
    return any;
}

// Stream the manifest into the catalogue. Problems go to `errors`.
bool load_manifest(sqlite3* db, const fs::path& manifest, std::vector<std::string>* errors) {
    std::FILE* f = std::fopen(manifest.c_str(), "rb");
    if (!f) {
        errors->push_back(manifest.string() + ": cannot be read (" + std::strerror(errno) + ")");
        return false;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(f, std::fclose);
    std::string reason;
    board_transaction t(db, &reason);
    board_stmt insert(db,
                      "INSERT INTO cart(id, post, author, title, lists, rating, category, mid, line, file, added)"
                      " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    board_stmt by_id(db, "SELECT line FROM cart WHERE id = ?");
    board_stmt by_post(db, "SELECT line FROM cart WHERE post = ?");
    if (!t.ok() || !insert.ok() || !by_id.ok() || !by_post.ok()) {
        errors->push_back("catalogue: " + std::string(sqlite3_errmsg(db)));
        return false;
    }
    const long long now = (long long)std::time(nullptr);
    std::string line;
    bool too_long = false;
    int number = 0;
    const size_t before = errors->size();
    while (read_line(f, board_manifest_line_max, &line, &too_long)) {
        ++number;
        if (too_long) {
            errors->push_back(std::string(board_manifest_name) + ":" + std::to_string(number) + ": longer than " +
                              std::to_string(board_manifest_line_max) + " characters");
            continue;
        }
        board_entry e;
        if (board_read_manifest_line(line, number, board_manifest_name, &e, errors) != 1) continue;
        const std::string where = std::string(board_manifest_name) + ":" + std::to_string(number) + ": ";
        by_id.reset();
        by_id.bind(1, e.id);
        if (by_id.step() == SQLITE_ROW) {
            errors->push_back(where + "id \"" + e.id + "\" is already used on line " + std::to_string(by_id.integer(0)));
            continue;
        }
        by_post.reset();
        by_post.bind(1, e.post);
        if (by_post.step() == SQLITE_ROW) {
            errors->push_back(where + "post " + std::to_string(e.post) + " is already used on line " +
                              std::to_string(by_post.integer(0)));
            continue;
        }
        insert.reset();
        insert.bind(1, e.id).bind(2, e.post).bind(3, e.author).bind(4, e.title).bind(5, (long long)e.lists);
        insert.bind(6, (long long)e.rating).bind(7, (long long)e.category).bind(8, e.mid).bind(9, (long long)number);
        insert.bind(10, e.file).bind(11, now);
        if (insert.step() != SQLITE_DONE) {
            errors->push_back(where + "catalogue: " + sqlite3_errmsg(db));
            return false;
        }
    }
    if (std::ferror(f)) errors->push_back(manifest.string() + ": read error");
    return errors->size() == before && t.commit(&reason);
}

// Worker k of n: converts its share of the cartridges (rowid % n == k),
// writes their files and records the results, or the problem, in the
// catalogue.
bool convert_share(const fs::path& db_path, const board_build_options& options, site_writer w, const fs::path& work,
                   int k, int n) {
    std::string reason;
    board_db db = board_open_catalogue(db_path.string(), false, &reason);
    if (!db) return false;
    const fs::path scratch = work / ("scratch-" + std::to_string(k));
    std::error_code ec;
    fs::create_directories(scratch, ec);
    const std::string scratch_folder = scratch.string() + "/";
    long long last = 0;
    for (;;) {
        std::vector<std::pair<long long, board_record>> batch;
        {
            board_stmt q(db.get(), "SELECT rowid, id FROM cart WHERE rowid > ? AND rowid % ? = ? ORDER BY rowid LIMIT ?");
            q.bind(1, last).bind(2, (long long)n).bind(3, (long long)k).bind(4, (long long)convert_batch);
            while (q.step() == SQLITE_ROW) {
                board_record r;
                r.id = q.text(1);
                batch.push_back({q.integer(0), r});
            }
        }
        if (batch.empty()) return true;
        last = batch.back().first;
        // Converted with no transaction open: the catalogue is held only
        // for the few updates, never while a label program runs.
        std::vector<std::string> errors(batch.size());
        for (size_t i = 0; i < batch.size(); ++i) {
            board_record& r = batch[i].second;
            if (!board_get_record(db.get(), r.id, &r)) return false;
            converted_cart c;
            std::string error;
            if (convert_cart(fs::path(options.source) / r.file, options, scratch_folder, &c, &error)) {
                if (r.title.empty()) r.title = c.title;
                r.description = c.description;
                r.controls = c.controls;
                r.size = (long long)c.png.size();
                if (!write_cart_files(w, r, c, &error)) return false;
            } else {
                errors[i] = std::string(board_manifest_name) + ":" + std::to_string(r.line) + ": " + r.file + ": " + error;
            }
        }
        board_transaction t(db.get(), &reason);
        board_stmt u(db.get(), "UPDATE cart SET title = ?, description = ?, controls = ?, size = ?, error = ? WHERE rowid = ?");
        for (size_t i = 0; i < batch.size(); ++i) {
            const board_record& r = batch[i].second;
            u.reset();
            u.bind(1, r.title).bind(2, r.description).bind(3, r.controls).bind(4, r.size).bind(6, batch[i].first);
            if (!errors[i].empty()) u.bind(5, errors[i]);
            if (u.step() != SQLITE_DONE) return false;
        }
        if (!t.commit(&reason)) return false;
    }
}

// Every list's slots, from the catalogue as the manifest made it: the five
// lists by post ("featured" by rating, then post), each search word by post.
bool fill_lists(sqlite3* db, std::string* reason) {
    board_transaction t(db, reason);
    if (!t.ok()) return false;
    for (int l = 0; l < cart_board_list_defs; ++l) {
        const std::string order = l == 1 ? "rating, post" : "post";
        const std::string sql = std::string("INSERT INTO member(key, slot, id) SELECT '") + cart_board_lists[l].name +
                                "', ROW_NUMBER() OVER (ORDER BY " + order + ") - 1, id FROM cart WHERE lists & " +
                                std::to_string(1u << l) + " != 0";
        if (!board_exec(db, sql.c_str(), reason)) return false;
    }
    if (!board_exec(db, "CREATE TEMP TABLE words(key TEXT, post INTEGER, id TEXT)", reason)) return false;
    {
        board_stmt all(db, "SELECT id FROM cart ORDER BY post");
        board_stmt put(db, "INSERT INTO words VALUES(?, ?, ?)");
        std::vector<std::string> ids;
        while (all.step() == SQLITE_ROW) {
            board_record r;
            if (!board_get_record(db, all.text(0), &r)) continue;
            for (const std::string& key : board_record_keys(r)) {
                if (!is_search_key(key)) continue;
                put.reset();
                put.bind(1, key).bind(2, r.post).bind(3, r.id);
                if (put.step() != SQLITE_DONE) {
                    *reason = std::string("catalogue: ") + sqlite3_errmsg(db);
                    return false;
                }
            }
        }
    }
    return board_exec(db,
                      "INSERT INTO member(key, slot, id) SELECT key, ROW_NUMBER() OVER (PARTITION BY key ORDER BY post)"
                      " - 1, id FROM words;"
                      "DROP TABLE words;"
                      "INSERT INTO head(key, next) SELECT key, MAX(slot) + 1 FROM member GROUP BY key;",
                      reason) &&
           t.commit(reason);
}

bool render_key(sqlite3* db, site_writer& w, const std::string& key, std::string* reason) {
    const int top = top_page(db, key);
    for (int p = 0; p <= top; ++p)
        if (!render_page(db, w, key, p, reason)) return false;
    return true;
}

// Worker k of n draws its share of the lists and author pages.
bool render_share(const fs::path& db_path, site_writer w, int k, int n, const fs::path& error_file) {
    std::string reason;
    board_db db = board_open_catalogue(db_path.string(), false, &reason);
    bool ok = db != nullptr;
    if (ok) {
        std::vector<std::string> keys;
        {
            board_stmt q(db.get(), "SELECT key FROM head ORDER BY key");
            for (long long i = 0; q.step() == SQLITE_ROW; ++i)
                if (i % n == k) keys.push_back(q.text(0));
        }
        // Lists with no entry at all still have their (empty) head.
        if (k == 0)
            for (const cart_board_list_def& d : cart_board_lists) keys.push_back(d.name);
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        for (size_t i = 0; i < keys.size() && ok; ++i) ok = render_key(db.get(), w, keys[i], &reason);
        std::vector<std::string> authors;
        {
            board_stmt q(db.get(), "SELECT DISTINCT author FROM cart ORDER BY author");
            for (long long i = 0; q.step() == SQLITE_ROW; ++i)
                if (i % n == k) authors.push_back(q.text(0));
        }
        for (size_t i = 0; i < authors.size() && ok; ++i) ok = render_author(db.get(), w, authors[i], &reason);
    }
    if (!ok) {
        site_writer e{error_file.parent_path(), false};
        std::string ignored;
        e.write(error_file.filename().string(), reason.empty() ? "a page could not be written" : reason, &ignored);
    }
    return ok;
}

bool write_fixed_files(site_writer& w, const fs::path& out, int port, std::string* reason) {
    const std::string absolute = fs::absolute(out).lexically_normal().string();
    return w.write("search.html", board_search_html(), reason) && write_favicon(w, reason) &&
           w.write("nginx.conf", cart_board_nginx_server(absolute.c_str(), port), reason) &&
           w.write(board_mark_name, "a cartridge board built by vexel-board\n", reason);
}

bool valid_out(const fs::path& out, const std::string& given, board_report* report) {
    if (out.empty() || out.filename().empty() || out.filename() == "." || out.filename() == "..") {
        report->errors.push_back(given + ": name a folder for the board");
        return false;
    }
    return true;
}

}  // namespace

bool board_build(const board_build_options& options, board_report* report) {
    const fs::path out = fs::path(options.out).lexically_normal();
    std::error_code ec;
    if (!valid_out(out, options.out, report)) return false;
    if (fs::exists(out, ec) && !(fs::is_directory(out, ec) && (fs::is_empty(out, ec) || fs::exists(out / board_mark_name, ec)))) {
        report->errors.push_back(options.out + ": exists and is not a board made by vexel-board; choose another folder");
        return false;
    }
    const fs::path manifest = fs::path(options.source) / board_manifest_name;
    if (!fs::is_regular_file(manifest, ec)) {
        report->errors.push_back(manifest.string() + (fs::exists(manifest, ec) ? ": not a file" : ": no such file"));
        return false;
    }
    // The work folder: beside OUT, so the final rename stays on one disk.
    const fs::path parent = fs::absolute(out).parent_path();
    if (!fs::is_directory(parent, ec)) {
        report->errors.push_back(parent.string() + ": no such folder");
        return false;
    }
    remove_stale_work(parent, out.filename().string());
    const fs::path work = parent / ("." + out.filename().string() + building_infix + std::to_string(::getpid()));
    fs::remove_all(work, ec);
    const fs::path site = work / "site";
    fs::create_directories(site, ec);
    if (ec) {
        report->errors.push_back(work.string() + ": " + ec.message());
        return false;
    }
    struct remove_work {
        fs::path work;
        ~remove_work() {
            std::error_code e;
            fs::remove_all(work, e);
        }
    } remover{work};
    const fs::path db_path = site / board_catalogue_name;
    std::string reason;
    {
        board_db db = board_open_catalogue(db_path.string(), true, &reason);
        if (!db) {
            report->errors.push_back(reason);
            return false;
        }
        if (!load_manifest(db.get(), manifest, &report->errors)) return false;
    }
    const int n = worker_count(options);
    site_writer w{site, false};
    // Before the cartridges' pages, which look for it.
    if (!copy_player(w, &reason)) {
        report->errors.push_back(reason);
        return false;
    }
    run_workers(n, [&](int k) { return convert_share(db_path, options, w, work, k, n); });
    board_db db = board_open_catalogue(db_path.string(), false, &reason);
    if (!db) {
        report->errors.push_back(reason);
        return false;
    }
    {
        board_stmt q(db.get(), "SELECT error FROM cart WHERE error IS NOT NULL ORDER BY line");
        while (q.step() == SQLITE_ROW) report->errors.push_back(q.text(0));
        board_stmt missing(db.get(), "SELECT line, file FROM cart WHERE size = 0 AND error IS NULL ORDER BY line");
        while (missing.step() == SQLITE_ROW)
            report->errors.push_back(std::string(board_manifest_name) + ":" + std::to_string(missing.integer(0)) + ": " +
                                     missing.text(1) + ": was not converted (a worker failed)");
    }
    if (!report->errors.empty()) return false;
    if (!fill_lists(db.get(), &reason)) {
        report->errors.push_back(reason);
        return false;
    }
    db.reset();
    const bool drawn = run_workers(n, [&](int k) {
        return render_share(db_path, w, k, n, work / ("error-" + std::to_string(k)));
    });
    if (!drawn) {
        for (int k = 0; k < n; ++k) {
            std::string text;
            if (fenn_read_regular_file((work / ("error-" + std::to_string(k))).c_str(), 4096, &text))
                report->errors.push_back(text);
        }
        if (report->errors.empty()) report->errors.push_back(out.string() + ": the pages could not be drawn");
        return false;
    }
    db = board_open_catalogue(db_path.string(), false, &reason);
    if (!db || !write_fixed_files(w, out, options.port, &reason)) {
        report->errors.push_back(reason);
        return false;
    }
    {
        board_stmt q(db.get(), "SELECT COUNT(*), (SELECT COUNT(*) FROM head) FROM cart");
        if (q.step() == SQLITE_ROW) report->carts = int(q.integer(0));
    }
    // The catalogue goes as one file: its log is folded in and closed.
    board_exec(db.get(), "PRAGMA wal_checkpoint(TRUNCATE)", nullptr);
    db.reset();
    if (!replace_folder(site, out, &reason)) {
        report->errors.push_back(reason);
        return false;
    }
    // Files written by the workers are counted by them; count the site.
    int files = 0, pictures = 0;
    for (auto it = fs::recursive_directory_iterator(out, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file(ec)) {
            ++files;
            const std::string p = it->path().string();
            if (p.size() > 4 && p.compare(p.size() - 4, 4, ".png") == 0 &&
                (p.find("/bbs/l/") != std::string::npos || p.find("/bbs/s/") != std::string::npos))
                ++pictures;
        }
    report->files = files;
    report->pictures = pictures;
    return true;
}

namespace {

// The pages a change touches: (list key, page).
using page_set = std::set<std::pair<std::string, int>>;

// Puts `id` at the next slot of `key`; the page it lands on and, when it
// opens a new page, the page that stops being the head, are touched.
bool join_list(sqlite3* db, const std::string& key, const std::string& id, page_set* pages, std::string* reason) {
    board_stmt q(db, "SELECT next FROM head WHERE key = ?");
    q.bind(1, key);
    const long long slot = q.step() == SQLITE_ROW ? q.integer(0) : 0;
    board_stmt m(db, "INSERT INTO member(key, slot, id) VALUES(?, ?, ?)");
    m.bind(1, key).bind(2, slot).bind(3, id);
    board_stmt h(db, "INSERT INTO head(key, next) VALUES(?, ?) ON CONFLICT(key) DO UPDATE SET next = excluded.next");
    h.bind(1, key).bind(2, slot + 1);
    if (m.step() != SQLITE_DONE || h.step() != SQLITE_DONE) {
        *reason = std::string("catalogue: ") + sqlite3_errmsg(db);
        return false;
    }
    const int page = int(slot / cart_board_page_entries);
    pages->insert({key, page});
    if (page > 0 && slot % cart_board_page_entries == 0) pages->insert({key, page - 1});
    return true;
}

bool leave_list(sqlite3* db, const std::string& key, const std::string& id, page_set* pages, std::string* reason) {
    board_stmt q(db, "SELECT slot FROM member WHERE key = ? AND id = ?");
    q.bind(1, key).bind(2, id);
    while (q.step() == SQLITE_ROW) pages->insert({key, int(q.integer(0) / cart_board_page_entries)});
    board_stmt d(db, "DELETE FROM member WHERE key = ? AND id = ?");
    d.bind(1, key).bind(2, id);
    if (d.step() != SQLITE_DONE) {
        *reason = std::string("catalogue: ") + sqlite3_errmsg(db);
        return false;
    }
    return true;
}

// The pages of every list `id` is on (its title or author shows there).
void pages_of(sqlite3* db, const std::string& id, page_set* pages) {
    board_stmt q(db, "SELECT key, slot FROM member WHERE id = ?");
    q.bind(1, id);
    while (q.step() == SQLITE_ROW) pages->insert({q.text(0), int(q.integer(1) / cart_board_page_entries)});
}

bool render_pages(sqlite3* db, site_writer& w, const page_set& pages, std::string* reason) {
    for (const auto& [key, page] : pages)
        if (!render_page(db, w, key, page, reason)) return false;
    return true;
}

// An existing board's folder and its catalogue.
struct open_board {
    fs::path root;
    board_db db;
};

bool open_site(const std::string& folder, open_board* b, board_report* report) {
    b->root = fs::path(folder).lexically_normal();
    std::error_code ec;
    if (!fs::is_regular_file(b->root / board_mark_name, ec) || !fs::is_regular_file(b->root / board_catalogue_name, ec)) {
        report->errors.push_back(folder + ": not a board built by vexel-board (build one first)");
        return false;
    }
    std::string reason;
    b->db = board_open_catalogue((b->root / board_catalogue_name).string(), false, &reason);
    if (!b->db) report->errors.push_back(reason);
    return b->db != nullptr;
}

std::string scratch_for(const fs::path& root) {
    // Beside the site (never inside the served folder), removed afterwards.
    return (root.parent_path() / ("." + root.filename().string() + ".scratch-" + std::to_string(::getpid()))).string() + "/";
}

struct scratch_folder {
    std::string path;
    explicit scratch_folder(const fs::path& root) : path(scratch_for(fs::absolute(root))) {
        std::error_code ec;
        fs::create_directories(path, ec);
    }
    ~scratch_folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

bool fail(board_report* report, const std::string& what) {
    report->errors.push_back(what);
    return false;
}

bool check_text(const std::string& what, const std::string& value, board_report* report) {
    for (unsigned char c : value)
        if (c < 32 || c == 127) return fail(report, what + ": printable characters only");
    return true;
}

}  // namespace

bool board_add(const board_build_options& options, const board_change& change, board_report* report) {
    open_board b;
    if (!open_site(options.out, &b, report)) return false;
    std::string reason;
    if (change.author.empty()) return fail(report, "add: give the author (--author NAME)");
    if (!check_text("author", change.author, report) || !check_text("title", change.title, report)) return false;
    const unsigned lists = parse_lists(change.lists.empty() ? "new" : change.lists, &reason);
    if (!lists) return fail(report, reason);
    if (!change.id.empty() && !cart_board_id_valid(change.id.c_str()))
        return fail(report, "id \"" + change.id + "\": use 2 to 128 characters of a-z, 0-9 and _");
    converted_cart c;
    {
        scratch_folder scratch(b.root);
        if (!convert_cart(change.cart, options, scratch.path, &c, &reason)) return fail(report, change.cart + ": " + reason);
    }
    board_transaction t(b.db.get(), &reason);
    if (!t.ok()) return fail(report, reason);
    board_record r;
    {
        board_stmt q(b.db.get(), "SELECT COALESCE(MAX(post), 0) + 1 FROM cart");
        r.post = q.step() == SQLITE_ROW ? q.integer(0) : 1;
    }
    r.id = change.id.empty() ? std::to_string(r.post) : change.id;
    board_record existing;
    if (board_get_record(b.db.get(), r.id, &existing)) return fail(report, "id \"" + r.id + "\" is already on the board");
    r.author = board_cut_text(change.author, board_text_max);
    r.title = change.title.empty() ? c.title : board_cut_text(change.title, board_text_max);
    r.description = c.description;
    r.controls = c.controls;
    r.lists = lists;
    r.rating = change.set_rating ? change.rating : 0;
    r.category = category_of(lists);
    r.size = (long long)c.png.size();
    r.added = (long long)std::time(nullptr);
    r.file = fs::path(change.cart).filename().string();
    board_stmt insert(b.db.get(),
                      "INSERT INTO cart(id, post, author, title, description, controls, lists, rating, category, size,"
                      " added, file) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, r.id).bind(2, r.post).bind(3, r.author).bind(4, r.title).bind(5, r.description).bind(6, r.controls);
    insert.bind(7, (long long)r.lists).bind(8, (long long)r.rating).bind(9, (long long)r.category).bind(10, r.size);
    insert.bind(11, r.added).bind(12, r.file);
    if (insert.step() != SQLITE_DONE) return fail(report, std::string("catalogue: ") + sqlite3_errmsg(b.db.get()));
    page_set pages;
    for (const std::string& key : board_record_keys(r))
        if (!join_list(b.db.get(), key, r.id, &pages, &reason)) return fail(report, reason);
    // The cartridge's own files first, so that no page ever names a
    // cartridge that is not there yet.
    site_writer w{b.root, true};
    if (!write_cart_files(w, r, c, &reason) || !render_pages(b.db.get(), w, pages, &reason) ||
        !render_author(b.db.get(), w, r.author, &reason) || !t.commit(&reason))
        return fail(report, reason);
    report->carts = 1;
    report->files = w.written;
    report->pictures = w.pictures;
    report->id = r.id;
    return true;
}

bool board_remove(const board_build_options& options, const std::string& id, board_report* report) {
    open_board b;
    if (!open_site(options.out, &b, report)) return false;
    std::string reason;
    board_transaction t(b.db.get(), &reason);
    if (!t.ok()) return fail(report, reason);
    board_record r;
    if (!cart_board_id_valid(id.c_str()) || !board_get_record(b.db.get(), id, &r))
        return fail(report, "\"" + id + "\" is not on the board");
    page_set pages;
    pages_of(b.db.get(), id, &pages);
    board_stmt d1(b.db.get(), "DELETE FROM member WHERE id = ?");
    board_stmt d2(b.db.get(), "DELETE FROM cart WHERE id = ?");
    d1.bind(1, id);
    d2.bind(1, id);
    if (d1.step() != SQLITE_DONE || d2.step() != SQLITE_DONE)
        return fail(report, std::string("catalogue: ") + sqlite3_errmsg(b.db.get()));
    site_writer w{b.root, true};
    if (!render_pages(b.db.get(), w, pages, &reason) || !render_author(b.db.get(), w, r.author, &reason) ||
        !t.commit(&reason))
        return fail(report, reason);
    // The cartridge's files go last: until the lists no longer name it, it
    // stays downloadable.
    std::error_code ec;
    for (const std::string& p : {cart_board_cart_path(id.c_str()), cart_board_label_path(id.c_str()),
                                 cart_board_post_path(id.c_str())})
        fs::remove(b.root / p, ec);
    report->carts = 1;
    report->files = w.written;
    report->pictures = w.pictures;
    report->id = id;
    return true;
}

bool board_update(const board_build_options& options, const std::string& id, const board_change& change,
                  board_report* report) {
    open_board b;
    if (!open_site(options.out, &b, report)) return false;
    std::string reason;
    if (!check_text("author", change.author, report) || !check_text("title", change.title, report)) return false;
    unsigned lists = 0;
    if (!change.lists.empty() && !(lists = parse_lists(change.lists, &reason))) return fail(report, reason);
    converted_cart c;
    const bool new_cart = !change.cart.empty();
    if (new_cart) {
        scratch_folder scratch(b.root);
        if (!convert_cart(change.cart, options, scratch.path, &c, &reason)) return fail(report, change.cart + ": " + reason);
    }
    board_transaction t(b.db.get(), &reason);
    if (!t.ok()) return fail(report, reason);
    board_record old;
    if (!cart_board_id_valid(id.c_str()) || !board_get_record(b.db.get(), id, &old))
        return fail(report, "\"" + id + "\" is not on the board");
    board_record r = old;
    if (!change.author.empty()) r.author = board_cut_text(change.author, board_text_max);
    if (!change.title.empty()) r.title = board_cut_text(change.title, board_text_max);
    if (lists) {
        r.lists = lists;
        r.category = category_of(lists);
    }
    if (change.set_rating) r.rating = change.rating;
    if (new_cart) {
        r.description = c.description;
        r.controls = c.controls;
        r.size = (long long)c.png.size();
        r.file = fs::path(change.cart).filename().string();
    }
    board_stmt u(b.db.get(),
                 "UPDATE cart SET author = ?, title = ?, lists = ?, category = ?, rating = ?, description = ?,"
                 " controls = ?, size = ?, file = ? WHERE id = ?");
    u.bind(1, r.author).bind(2, r.title).bind(3, (long long)r.lists).bind(4, (long long)r.category);
    u.bind(5, (long long)r.rating).bind(6, r.description).bind(7, r.controls).bind(8, r.size).bind(9, r.file).bind(10, id);
    if (u.step() != SQLITE_DONE) return fail(report, std::string("catalogue: ") + sqlite3_errmsg(b.db.get()));
    // Lists it stays on keep its place; lists it leaves get a hole; lists
    // it joins take it as their newest entry.
    const std::vector<std::string> before = board_record_keys(old), after = board_record_keys(r);
    const std::set<std::string> was(before.begin(), before.end()), is(after.begin(), after.end());
    page_set pages;
    pages_of(b.db.get(), id, &pages);
    for (const std::string& key : was)
        if (!is.count(key) && !leave_list(b.db.get(), key, id, &pages, &reason)) return fail(report, reason);
    for (const std::string& key : is)
        if (!was.count(key) && !join_list(b.db.get(), key, id, &pages, &reason)) return fail(report, reason);
    site_writer w{b.root, true};
    bool ok = new_cart ? write_cart_files(w, r, c, &reason) : write_cart_page(w, r, &reason);
    ok = ok && render_pages(b.db.get(), w, pages, &reason) && render_author(b.db.get(), w, r.author, &reason);
    if (ok && old.author != r.author) ok = render_author(b.db.get(), w, old.author, &reason);
    if (!ok || !t.commit(&reason)) return fail(report, reason);
    report->carts = 1;
    report->files = w.written;
    report->pictures = w.pictures;
    report->id = id;
    return true;
}

bool board_check(const char* out_folder, board_report* report) {
    const fs::path out(out_folder ? out_folder : "");
    std::error_code ec;
    for (const char* needed : {"index.html", "search.html", "nginx.conf", board_mark_name, board_catalogue_name})
        if (!fs::is_regular_file(out / needed, ec)) report->errors.push_back((out / needed).string() + ": missing");
    for (int l = 0; l < cart_board_list_defs; ++l) {
        const fs::path head = out / cart_board_list_head_path(cart_board_lists[l].name);
        if (!fs::is_regular_file(head, ec)) report->errors.push_back(head.string() + ": missing");
    }
    // Walks a folder in name order, files only, never following links.
    auto walk = [&](const fs::path& folder, const char* suffix, auto&& visit) {
        if (!fs::is_directory(folder, ec)) return;
        std::vector<fs::path> files;
        const std::string end = suffix;
        for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (it->is_regular_file(ec) && name.size() >= end.size() &&
                name.compare(name.size() - end.size(), end.size(), end) == 0)
                files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files) visit(f);
    };
    // A player, when there is one, is whole: the cartridges' pages use it.
    if (fs::exists(out / board_player_folder, ec) && !site_has_player(out))
        report->errors.push_back((out / board_player_folder).string() + ": the web player is incomplete");
    walk(out / "bbs/c", ".qz.png", [&](const fs::path& f) {
        std::string bytes;
        if (!fenn_read_regular_file(f.c_str(), board_cart_file_max, &bytes)) {
            report->errors.push_back(f.string() + ": cannot be read, or larger than " +
                                     std::to_string(board_cart_file_max) + " bytes");
            return;
        }
        vexel_cart* cart = nullptr;
        const int st = png_cart_load_memory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), false, &cart,
                                            nullptr);
        vexel_cart_destroy(cart);
        if (st != cart_ok) report->errors.push_back(f.string() + ": " + vexel_cart_status_text(st));
        else ++report->carts;
    });
    auto check_list = [&](const fs::path& f) {
        std::string bytes;
        if (!fenn_read_regular_file(f.c_str(), board_list_picture_max, &bytes)) {
            report->errors.push_back(f.string() + ": cannot be read, or larger than " +
                                     std::to_string(board_list_picture_max) + " bytes");
            return;
        }
        std::vector<board_cell> cells;
        bool ended = false;
        int next = -1;
        const int st = board_read_list_picture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &cells,
                                               &ended, &next);
        if (st == 1) report->errors.push_back(f.string() + ": not a PNG picture");
        if (st == 2) report->errors.push_back(f.string() + ": not 1024x544");
        if (st != 0) return;
        ++report->pictures;
        for (const board_cell& c : cells) {
            const std::string cart = cart_board_cart_path(c.id.c_str());
            if (cart.empty() || !fs::is_regular_file(out / cart, ec))
                report->errors.push_back(f.string() + ": names cartridge \"" + c.id + "\", which is not on the board");
        }
    };
    walk(out / "bbs/l", ".png", check_list);
    walk(out / "bbs/s", ".png", check_list);
    return report->errors.empty();
}
