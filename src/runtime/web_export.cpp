// web_export: the cartridge and the web player in one HTML file. The page
// is vexel.html with its two script tags replaced by the scripts
// themselves, and one script before them that holds the cartridge and
// vexel.wasm as base64 (browsers do not let a page opened from disk fetch
// files, so nothing may be left to fetch).
#include "runtime/web_export.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <cstring>

#include "cart/cart_include.h"
#include "cart/cart_load.h"
#include "cart/cart_text.h"
#include "framework/fenn_file.h"
#include "framework/fenn_path.h"
#include "framework/fenn_write.h"
#include "machine/cpu.h"
#include "machine/disk.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "runtime/commands.h"

namespace {

constexpr int32_t export_cycles = 4096;
constexpr uint8_t export_failure_colour = 8;
constexpr const char* export_extension = ".html";

std::string with_slash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

bool ends_with(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// A script's text made safe inside <script>...</script>: the HTML parser
// ends the element at the first "</script" and treats "<!--" specially.
// Both only occur inside string literals of the player's scripts, where
// "<\/" and "<\!" mean the same characters.
std::string script_text(const std::string& js) {
    std::string out;
    out.reserve(js.size() + 64);
    for (size_t i = 0; i < js.size(); ++i) {
        out += js[i];
        if (js[i] == '<' && i + 1 < js.size() && (js[i + 1] == '/' || js[i + 1] == '!')) out += '\\';
    }
    return out;
}

// A JavaScript string literal of plain text (a file name or a title).
std::string js_string(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04x", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string html_text(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else out += c;
    }
    return out;
}

bool replace_once(std::string* text, const std::string& what, const std::string& with) {
    const size_t at = text->find(what);
    if (at == std::string::npos) return false;
    text->replace(at, what.size(), with);
    return true;
}

std::string base_name(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<std::string> web_export_player_candidates() {
    std::vector<std::string> folders;
    // Set, it is the one folder: the choice of whoever set it.
    if (const char* env = std::getenv("VEXEL_WEB_PLAYER"); env && *env) return {with_slash(env)};
    folders.push_back(fenn_prefix_with_program_path("web/"));
    folders.push_back(fenn_prefix_with_program_path("../build-web/"));
    folders.push_back(fenn_prefix_with_program_path("../share/vexel/web/"));
#ifdef VEXEL_SOURCE_DIR
    folders.push_back(with_slash(VEXEL_SOURCE_DIR) + "build-web/");
#endif
    return folders;
}

std::string web_export_find_player() {
    for (const std::string& folder : web_export_player_candidates()) {
        bool all = true;
        for (const char* f : web_export_player_files) all = all && fenn_file_exists((folder + f).c_str());
        if (all) return folder;
    }
    return "";
}

std::string web_export_base64(const uint8_t* data, size_t size) {
    static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const uint32_t v = uint32_t(data[i]) << 16 | uint32_t(data[i + 1]) << 8 | data[i + 2];
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += digits[v & 63];
    }
    if (size - i == 1) {
        const uint32_t v = uint32_t(data[i]) << 16;
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += "==";
    } else if (size - i == 2) {
        const uint32_t v = uint32_t(data[i]) << 16 | uint32_t(data[i + 1]) << 8;
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string web_export_page(const std::string& folder, const std::string& cart_name,
                            const std::vector<uint8_t>& cart, const std::string& title, std::string* html) {
    std::string page, player, program, wasm;
    std::string* parts[] = {&page, &player, &program, &wasm};
    for (size_t i = 0; i < std::size(parts); ++i) {
        const std::string path = folder + web_export_player_files[i];
        if (!fenn_read_regular_file(path.c_str(), web_export_file_max, parts[i]) || parts[i]->empty())
            return "cannot read " + path;
    }
    std::string embedded = "<script>window.vexelEmbedded = {name: " + js_string(cart_name) +
                           ", title: " + js_string(title) + ",\ncart: \"" +
                           web_export_base64(cart.data(), cart.size()) + "\",\nwasm: \"" +
                           web_export_base64(reinterpret_cast<const uint8_t*>(wasm.data()), wasm.size()) +
                           "\"};</script>\n";
    if (!replace_once(&page, web_export_player_tag, embedded + "<script>" + script_text(player) + "</script>") ||
        !replace_once(&page, web_export_program_tag, "<script>" + script_text(program) + "</script>"))
        return folder + "vexel.html is not a player page this vexel knows";
    replace_once(&page, "<title>vexel</title>", "<title>" + html_text(title) + "</title>");
    *html = std::move(page);
    return "";
}

std::string web_export_working_cart(vexel_machine* m, const char* path) {
    vexel_cart* cart = m->working_cart;
    if (!cart || !path) return "no cartridge";
    const std::string player = web_export_find_player();
    if (player.empty()) return web_export_no_player;
    vexel_merge_code_from_tabs(m);
    // The page has no files beside it: the program goes in whole, its
    // #include lines replaced by their files.
    const cart_joined_program joined = vexel_join_working_program(m);
    if (!joined.errors.empty()) return joined.errors.front();
    if (joined.text.size() > size_t(vexel_code_max)) return "program over size limit";
    const std::string own = cart->code;
    std::memcpy(cart->code, joined.text.c_str(), joined.text.size() + 1);
    const std::string text = vexel_cart_to_text(cart);
    std::memcpy(cart->code, own.c_str(), own.size() + 1);

    std::string name = base_name(path);
    if (ends_with(name, export_extension)) name.resize(name.size() - std::strlen(export_extension));
    if (name.empty()) name = "cart";
    std::string html;
    const std::string why =
        web_export_page(player, name + ".qz", std::vector<uint8_t>(text.begin(), text.end()), name, &html);
    if (!why.empty()) return why;
    return fenn_write_file(path, html.data(), html.size()).reason;
}

int cmd_export(vexel_machine* m, const char* name) {
    vexel_cpu_spend(m, export_cycles);
    if (m->program_active && !vexel_host_exec_mode(m)) return 1;  // as save: the console's
    if (!name || !*name) {
        vexel_print(m, "please specify a file");
        return 1;
    }
    if (std::strlen(name) > cmd_save_name_max) {
        vexel_print(m, "filename too long");
        return 1;
    }
    std::string target, relative;
    if (cmd_resolve(m, name, &target, &relative) != 0) {
        vexel_print(m, "export: outside the cart folder");
        return 1;
    }
    if (relative.empty() || fenn_directory_exists(target.c_str())) {
        vexel_print(m, "export: name is a folder");
        return 1;
    }
    const std::string file = base_name(target);
    if (file.find('.') == std::string::npos) target += export_extension;
    else if (!ends_with(file, export_extension)) {
        vexel_print(m, "export: only NAME.html for now");
        vexel_print(m, "(a web page that plays it)");
        return 1;
    }
    std::string root = vexel_host_carts_path(m);
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    switch (fenn_path_confine(root, target.compare(0, root.size(), root) == 0 ? target.substr(root.size()) : "..")) {
    case fenn_confine_outside: vexel_print(m, "export: outside the cart folder"); return 1;
    case fenn_confine_folder: vexel_print(m, "export: name is a folder"); return 1;
    case fenn_confine_inside: break;
    }
    const std::string why = web_export_working_cart(m, target.c_str());
    if (why == web_export_no_player) {
        vexel_print_col(m, "export: no web player found", export_failure_colour);
        vexel_print(m, "run make web in vexel's source");
        vexel_print(m, "(it builds build-web/)");
        return 1;
    }
    if (!why.empty()) {
        vexel_print_col(m, ("export: " + why).c_str(), export_failure_colour);
        return 1;
    }
    vexel_print(m, ("exported " + base_name(target)).c_str());
    return 0;
}
