#include "cart/cart_board.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const cart_board_list_def cart_board_lists[cart_board_list_defs] = {
    {"new", "2", ""}, {"featured", "2", "rating"}, {"wip", "3", ""}, {"collab", "4", ""}, {"jam", "8", ""},
};

namespace {

bool is_id_char(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// A numbered id short enough to divide (longer digit strings are names).
bool id_number(const char* id, long long* out) {
    const size_t n = std::strlen(id);
    if (n == 0 || n > 15) return false;
    for (size_t i = 0; i < n; ++i)
        if (id[i] < '0' || id[i] > '9') return false;
    *out = std::atoll(id);
    return true;
}

}  // namespace

bool cart_board_id_valid(const char* id) {
    if (!id) return false;
    const size_t n = std::strlen(id);
    if (n < 2 || n > size_t(cart_board_id_max)) return false;
    for (size_t i = 0; i < n; ++i)
        if (!is_id_char(id[i])) return false;
    return true;
}

std::string cart_board_cart_path(const char* id) {
    if (!cart_board_id_valid(id)) return {};
    char buf[cart_board_id_max * 2 + 64];
    long long n;
    if (id_number(id, &n)) std::snprintf(buf, sizeof buf, "bbs/cposts/%lld/%lld.qz.png", n / 10000, n);
    else std::snprintf(buf, sizeof buf, "bbs/cposts/%c%c/%s.qz.png", id[0], id[1], id);
    return buf;
}

std::string cart_board_post_path(const char* id) {
    if (!cart_board_id_valid(id)) return {};
    return std::string("bbs/posts/") + id + ".html";
}

std::string cart_board_query_value(const char* query, const char* name) {
    if (!query || !name) return {};
    const size_t name_len = std::strlen(name);
    const char* p = query;
    while (*p) {
        const char* end = std::strchr(p, '&');
        if (!end) end = p + std::strlen(p);
        const char* eq = static_cast<const char*>(std::memchr(p, '=', size_t(end - p)));
        if (eq && size_t(eq - p) == name_len) {
            bool same = true;
            for (size_t i = 0; i < name_len && same; ++i) same = lower(p[i]) == lower(name[i]);
            if (same) return std::string(eq + 1, end);
        }
        p = *end ? end + 1 : end;
    }
    return {};
}

std::string cart_board_search_key(const char* text) {
    std::string key;
    for (const char* p = text ? text : ""; *p && is_id_char(*p) && int(key.size()) < cart_board_search_key_max; ++p)
        key += *p;
    return int(key.size()) >= cart_board_search_key_min ? key : std::string();
}

std::string cart_board_list_key(const char* query) {
    const std::string search = cart_board_query_value(query, "search");
    if (!search.empty()) {
        const std::string key = cart_board_search_key(search.c_str());
        return key.empty() ? std::string(cart_board_search_none) : "search/" + key;
    }
    const std::string sub = cart_board_query_value(query, "sub");
    const std::string orderby = cart_board_query_value(query, "orderby");
    for (const cart_board_list_def& d : cart_board_lists)
        if (sub == d.sub && orderby == d.orderby) return d.name;
    return {};
}

std::string cart_board_list_path(const char* request, int start) {
    const std::string key = cart_board_list_key(request);
    if (key.empty() || start < 0 || start > cart_board_start_max) return {};
    return "bbs/lists/" + key + "/" + std::to_string(start) + ".png";
}

std::string cart_board_nginx_server(const char* root, int port) {
    // Only the rewrite module's own directives (set, if, rewrite) run in the
    // list location, so every condition is evaluated in order and the last
    // rewrite always names a file under bbs/lists/ built from checked parts.
    std::string lists;
    for (const cart_board_list_def& d : cart_board_lists)
        lists += std::string("        if ($board_q = \"") + d.sub + ":" + d.orderby + "\") { set $board_list " + d.name +
                 "; }\n";
    char head[2048];
    std::snprintf(head, sizeof head,
                  "# A vexel cartridge board, served from static files.\n"
                  "# Include this file inside the http block of nginx.conf. Change\n"
                  "# `listen` for another port and `root` when the folder moves.\n"
                  "server {\n"
                  "    listen %d;\n"
                  "    server_name _;\n"
                  "    root %s;\n"
                  "    index index.html;\n"
                  "    types { image/png png; text/html html; }\n"
                  "    default_type application/octet-stream;\n"
                  "\n"
                  "    location = /nginx.conf { return 404; }\n"
                  "\n",
                  port, root);
    std::string s = head;
    s += "    # Lists: /bbs/cpost_lister3.php?max=32&start_index=N&cat=7&sub=S[&orderby=rating|&search=TEXT]...\n"
         "    location = /bbs/cpost_lister3.php {\n"
         "        set $board_page \"\";\n"
         "        if ($arg_start_index ~ \"^(0|[1-9][0-9]{0,5})$\") { set $board_page $1; }\n"
         "        set $board_q \"$arg_sub:$arg_orderby\";\n"
         "        set $board_list \"\";\n";
    s += lists;
    s += "        if ($arg_search != \"\") { set $board_list " + std::string(cart_board_search_none) + "; }\n";
    s += "        if ($arg_search ~ \"^([a-z0-9_]{" + std::to_string(cart_board_search_key_min) + "," +
         std::to_string(cart_board_search_key_max) + "})\") { set $board_list search/$1; }\n";
    s += std::string("        # A list the board does not have is an empty one.\n"
                     "        error_page 404 = /") + cart_board_empty_list + ";\n";
    s += "        rewrite ^ /bbs/lists/$board_list/$board_page.png? break;\n"
         "    }\n"
         "\n"
         "    # Discussion pages: /bbs/?pid=ID; without one, the board's index.\n"
         "    # Redirects, so that the pages' relative links resolve.\n"
         "    location = /bbs/ {\n"
         "        if ($arg_pid ~ \"^([a-z0-9_]{2," +
         std::to_string(cart_board_id_max) +
         "})$\") { return 302 /bbs/posts/$1.html; }\n"
         "        return 302 /;\n"
         "    }\n"
         "\n"
         "    location ~ /\\. { return 404; }\n"
         "}\n";
    return s;
}
