#include "board/board_site.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>

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
#include "machine/disk.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/present.h"
#include "runtime/machine_life.h"
#include "runtime/run.h"

namespace fs = std::filesystem;

namespace {

using bitmap_ptr = std::unique_ptr<fenn_bitmap, void (*)(fenn_bitmap*)>;
using cart_ptr = std::unique_ptr<vexel_cart, void (*)(vexel_cart*)>;

constexpr int board_seed = 1;          // labels made by running a program come out the same every build
constexpr int comment_lines_max = 12;  // leading comment lines shown on a cartridge's page

// One cartridge of the board, read and converted.
struct board_cart {
    board_entry entry;
    std::string title;
    std::vector<std::string> comments;
    std::vector<uint8_t> png;
    bitmap_ptr label{nullptr, fenn_destroy_bitmap};
};

bool write_bytes(const fs::path& path, const void* data, size_t size, std::string* reason) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(data, 1, size, f) == size;
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) *reason = path.string() + ": cannot write (" + std::strerror(errno) + ")";
    return ok;
}

bool write_text(const fs::path& path, const std::string& text, std::string* reason) {
    return write_bytes(path, text.data(), text.size(), reason);
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

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
        if (!run_program_runs_main_loop(m)) m->program_frame++;
        run_slice(m);
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

bool read_cart(const board_build_options& options, const board_entry& e, const std::string& scratch,
               board_cart* out, std::string* error) {
    const std::string where = std::string(board_manifest_name) + ":" + std::to_string(e.line) + ": " + e.file + ": ";
    const fs::path path = fs::path(options.source) / e.file;
    std::string bytes;
    if (!fenn_read_regular_file(path.c_str(), cart_png_max_file, &bytes)) {
        *error = where + (fenn_file_exists(path.c_str()) ? "cannot be read" : "no such file");
        return false;
    }
    vexel_cart* raw = nullptr;
    const int status = cart_read_bytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &raw);
    if (status != cart_ok) {
        *error = where + vexel_cart_status_text(status);
        return false;
    }
    cart_ptr cart(raw, vexel_cart_destroy);
    // The board's picture cartridge carries the whole program: a text
    // cartridge's #include lines are joined with their files here.
    if (cart_has_includes(cart->code)) {
        const bool text = path.extension() != ".png";
        const cart_joined_program joined = cart_join_includes(cart->code, path.parent_path().string(), text);
        if (!joined.errors.empty()) {
            *error = where + joined.errors[0];
            return false;
        }
        if (joined.text.size() > size_t(vexel_code_max)) {
            *error = where + "the program is too large for a PNG cartridge";
            return false;
        }
        std::memcpy(cart->code, joined.text.c_str(), joined.text.size() + 1);
    }
    out->entry = e;
    out->comments = leading_comments(cart->code);
    out->title = !e.title.empty() ? e.title : !out->comments.empty() && !out->comments[0].empty() ? out->comments[0]
                                                                                                 : base_title(e.file);
    out->title = out->title.substr(0, board_text_max);
    if (!cart->label) {
        bitmap_ptr label = first_frame_label(bytes, e.file, scratch, options.font, cart->code);
        cart->label = label.release();
    }
    if (cart->label) {
        out->label.reset(fenn_create_bitmap(board_label_side, board_label_side, 8));
        if (out->label && cart->label->pix.size() == out->label->pix.size()) out->label->pix = cart->label->pix;
    }
    if (vexel_cart_png_encode(cart.get(), options.art, &out->png) != 0) {
        *error = where + "the program is too large for a PNG cartridge";
        return false;
    }
    if (out->png.size() > board_cart_file_max) {
        *error = where + "the PNG cartridge is larger than " + std::to_string(board_cart_file_max) + " bytes";
        return false;
    }
    return true;
}

// The words a search finds a cartridge by: every run of a-z 0-9 _ in its
// lower-case title and author, as every prefix of two or more characters.
std::set<std::string> search_keys(const board_cart& c) {
    std::set<std::string> keys;
    for (const std::string& text : {lower(c.title), lower(c.entry.author)}) {
        std::string word;
        for (size_t i = 0; i <= text.size(); ++i) {
            const char ch = i < text.size() ? text[i] : ' ';
            if ((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_') {
                word += ch;
                continue;
            }
            for (size_t n = cart_board_search_key_min; n <= word.size() && n <= size_t(cart_board_search_key_max); ++n)
                keys.insert(word.substr(0, n));
            word.clear();
        }
    }
    return keys;
}

board_cell cell_of(const board_cart& c) {
    board_cell cell;
    cell.post = c.entry.post;
    cell.mid_number = c.entry.mid.empty() ? 0 : std::atoll(c.entry.mid.c_str());
    cell.category = c.entry.category;
    cell.title = c.title;
    cell.author = c.entry.author;
    cell.id = c.entry.id;
    cell.mid = c.entry.mid;
    cell.label = c.label.get();
    return cell;
}

// Writes the pages of one list (`order`: indices into carts, in list order)
// under `folder`. Pictures of equal entries are encoded once.
struct page_writer {
    const std::vector<board_cart>& carts;
    std::map<std::vector<int>, std::vector<uint8_t>> encoded;
    int written = 0;

    bool write_list(const fs::path& folder, const std::vector<int>& order, std::string* reason) {
        const int n = int(order.size());
        // A full last page is followed by an empty one: "load more" after
        // it finds the end.
        for (int start = 0; start <= n; start += cart_board_page_entries) {
            const std::vector<int> page(order.begin() + start,
                                        order.begin() + std::min(n, start + cart_board_page_entries));
            auto it = encoded.find(page);
            if (it == encoded.end()) {
                std::vector<board_cell> cells;
                for (int i : page) cells.push_back(cell_of(carts[size_t(i)]));
                bitmap_ptr pic(board_make_list_picture(cells), fenn_destroy_bitmap);
                std::vector<uint8_t> png;
                if (!pic || fenn_png_encode(pic.get(), &png) != 0) {
                    *reason = folder.string() + ": a list picture could not be made";
                    return false;
                }
                if (png.size() > board_list_picture_max) {
                    *reason = folder.string() + ": a list picture is larger than " +
                              std::to_string(board_list_picture_max) + " bytes";
                    return false;
                }
                it = encoded.emplace(page, std::move(png)).first;
            }
            if (!write_bytes(folder / (std::to_string(start) + ".png"), it->second.data(), it->second.size(), reason))
                return false;
            ++written;
        }
        return true;
    }
};

bool newer(const board_cart& a, const board_cart& b) { return a.entry.post > b.entry.post; }

bool write_site(const board_build_options& options, const fs::path& root, const std::vector<board_cart>& carts,
                int* pictures, std::string* reason) {
    // Cartridges, their pages and labels.
    for (const board_cart& c : carts) {
        if (!write_bytes(root / cart_board_cart_path(c.entry.id.c_str()), c.png.data(), c.png.size(), reason))
            return false;
        std::vector<uint8_t> label_png;
        bitmap_ptr label32(fenn_create_bitmap(board_label_side, board_label_side, 32), fenn_destroy_bitmap);
        if (!label32) return false;
        for (size_t i = 0; i < size_t(board_label_side * board_label_side); ++i)
            label32->pix32()[i] = cart_art_colour(c.label ? c.label->pix[i] & 15 : 0);
        if (fenn_png_encode(label32.get(), &label_png) != 0 ||
            !write_bytes(root / "bbs/posts" / (c.entry.id + ".png"), label_png.data(), label_png.size(), reason))
            return false;
        board_page page{c.entry.id, c.title, c.entry.author, c.entry.post, c.comments,
                        "../../" + cart_board_cart_path(c.entry.id.c_str())};
        if (!write_text(root / cart_board_post_path(c.entry.id.c_str()), board_post_html(page), reason)) return false;
    }

    // The lists.
    std::vector<int> all(carts.size());
    for (size_t i = 0; i < carts.size(); ++i) all[i] = int(i);
    std::sort(all.begin(), all.end(), [&](int a, int b) { return newer(carts[size_t(a)], carts[size_t(b)]); });
    page_writer pages{carts, {}, 0};
    for (int l = 0; l < cart_board_list_defs; ++l) {
        std::vector<int> order;
        for (int i : all)
            if (carts[size_t(i)].entry.lists & (1u << l)) order.push_back(i);
        if (std::string(cart_board_lists[l].orderby) == "rating")
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                return carts[size_t(a)].entry.rating > carts[size_t(b)].entry.rating;
            });
        if (!pages.write_list(root / "bbs/lists" / cart_board_lists[l].name, order, reason)) return false;
    }

    // Search results, newest first, and the empty result.
    std::map<std::string, std::vector<int>> found;
    for (int i : all)
        for (const std::string& key : search_keys(carts[size_t(i)])) found[key].push_back(i);
    for (const auto& [key, order] : found)
        if (!pages.write_list(root / "bbs/lists/search" / key, order, reason)) return false;
    if (!pages.write_list(root / "bbs/lists" / cart_board_search_none, {}, reason)) return false;
    *pictures = pages.written;

    // The index, the server block and the mark.
    std::vector<board_index_entry> index;
    for (int i : all) {
        const board_cart& c = carts[size_t(i)];
        std::string lists;
        for (int l = 0; l < cart_board_list_defs; ++l)
            if (c.entry.lists & (1u << l)) lists += std::string(lists.empty() ? "" : ", ") + cart_board_lists[l].name;
        index.push_back({c.entry.id, c.title, c.entry.author, lists});
    }
    const std::string absolute = fs::absolute(options.out).lexically_normal().string();
    return write_text(root / "index.html", board_index_html(index), reason) &&
           write_text(root / "nginx.conf", cart_board_nginx_server(absolute.c_str(), options.port), reason) &&
           write_text(root / board_mark_name, "a cartridge board built by vexel-board\n", reason);
}

// Puts the finished site in place of `out`.
bool replace_folder(const fs::path& built, const fs::path& out, std::string* reason) {
    std::error_code ec;
    if (!fs::exists(out, ec)) {
        fs::rename(built, out, ec);
        if (ec) *reason = out.string() + ": " + ec.message();
        return !ec;
    }
    const fs::path old = out.parent_path() / ("." + out.filename().string() + ".old-" + std::to_string(::getpid()));
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

}  // namespace

bool board_build(const board_build_options& options, board_report* report) {
    const fs::path out = fs::path(options.out).lexically_normal();
    const fs::path source(options.source);
    std::error_code ec;
    if (out.empty() || out.filename().empty() || out.filename() == "." || out.filename() == "..") {
        report->errors.push_back(options.out + ": name a folder for the board");
        return false;
    }
    if (fs::exists(out, ec) && !(fs::is_directory(out, ec) && (fs::is_empty(out, ec) || fs::exists(out / board_mark_name, ec)))) {
        report->errors.push_back(options.out + ": exists and is not a board made by vexel-board; choose another folder");
        return false;
    }

    const std::string manifest_path = (source / board_manifest_name).string();
    std::string text;
    if (!fenn_read_regular_file(manifest_path.c_str(), board_manifest_max, &text)) {
        report->errors.push_back(manifest_path + ": cannot be read");
        return false;
    }
    std::vector<board_entry> entries;
    board_read_manifest(text.data(), text.size(), board_manifest_name, &entries, &report->errors);

    // The work folder: beside OUT, so the final rename stays on one disk.
    const fs::path parent = fs::absolute(out).parent_path();
    if (!fs::is_directory(parent, ec)) {
        report->errors.push_back(parent.string() + ": no such folder");
        return false;
    }
    const fs::path work = parent / ("." + out.filename().string() + ".building-" + std::to_string(::getpid()));
    fs::remove_all(work, ec);
    const fs::path scratch = work / "scratch";
    fs::create_directories(scratch, ec);
    if (ec) {
        report->errors.push_back(work.string() + ": " + ec.message());
        return false;
    }
    const std::string scratch_folder = scratch.string() + "/";

    std::vector<board_cart> carts(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string error;
        if (!read_cart(options, entries[i], scratch_folder, &carts[i], &error)) report->errors.push_back(error);
    }
    bool ok = report->errors.empty();
    const fs::path site = work / "site";
    std::string reason;
    if (ok && !write_site(options, site, carts, &report->pictures, &reason)) {
        report->errors.push_back(reason);
        ok = false;
    }
    if (ok && !replace_folder(site, out, &reason)) {
        report->errors.push_back(reason);
        ok = false;
    }
    fs::remove_all(work, ec);
    if (ok) report->carts = int(carts.size());
    return ok;
}

bool board_check(const char* out_folder, board_report* report) {
    const fs::path out(out_folder ? out_folder : "");
    std::error_code ec;
    for (const char* needed : {"index.html", "nginx.conf", board_mark_name})
        if (!fs::is_regular_file(out / needed, ec)) report->errors.push_back((out / needed).string() + ": missing");
    for (int l = 0; l < cart_board_list_defs; ++l)
        if (!fs::is_regular_file(out / "bbs/lists" / cart_board_lists[l].name / "0.png", ec))
            report->errors.push_back((out / "bbs/lists" / cart_board_lists[l].name / "0.png").string() + ": missing");
    if (!fs::is_regular_file(out / "bbs/lists" / cart_board_search_none / "0.png", ec))
        report->errors.push_back((out / "bbs/lists" / cart_board_search_none / "0.png").string() + ": missing");

    auto walk = [&](const fs::path& folder, auto&& visit) {
        if (!fs::is_directory(folder, ec)) return;
        std::vector<fs::path> files;
        for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            if (it->is_regular_file(ec)) files.push_back(it->path());
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files) visit(f);
    };
    walk(out / "bbs/cposts", [&](const fs::path& f) {
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
    walk(out / "bbs/lists", [&](const fs::path& f) {
        std::string bytes;
        if (!fenn_read_regular_file(f.c_str(), board_list_picture_max, &bytes)) {
            report->errors.push_back(f.string() + ": cannot be read, or larger than " +
                                     std::to_string(board_list_picture_max) + " bytes");
            return;
        }
        std::vector<board_cell> cells;
        bool ended = false;
        const int st = board_read_list_picture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &cells,
                                               &ended);
        if (st == 1) report->errors.push_back(f.string() + ": not a PNG picture");
        if (st == 2) report->errors.push_back(f.string() + ": not 1024x544");
        if (st != 0) return;
        ++report->pictures;
        for (const board_cell& c : cells) {
            const std::string cart = cart_board_cart_path(c.id.c_str());
            if (cart.empty() || !fs::is_regular_file(out / cart, ec))
                report->errors.push_back(f.string() + ": names cartridge \"" + c.id + "\", which is not on the board");
        }
    });
    return report->errors.empty();
}
