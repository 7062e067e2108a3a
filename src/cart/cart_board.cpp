#include "cart/cart_board.h"

#include <cstdio>
#include <cstring>

#include "cart/cart_fold.h"

const cart_board_list_def cart_board_lists[cart_board_list_defs] = {
    {"new", "newest"}, {"featured", "featured"}, {"wip", "work in progress"}, {"collab", "collaboration"},
    {"jam", "jam"},
};

namespace {

bool is_id_char(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }

// FNV-1a: spreads ids that share a beginning ("game_1", "game_2") evenly
// over the buckets.
uint32_t bucket_of(const char* id) {
    uint32_t h = 2166136261u;
    for (const char* p = id; *p; ++p) h = (h ^ uint8_t(*p)) * 16777619u;
    return h % uint32_t(cart_board_buckets);
}

bool search_word_valid(const char* w) {
    const size_t n = std::strlen(w);
    if (n < size_t(cart_board_search_key_min) || n > size_t(cart_board_search_key_max)) return false;
    for (size_t i = 0; i < n; ++i)
        if (!is_id_char(w[i])) return false;
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

std::string cart_board_bucket_path(const char* id) {
    if (!cart_board_id_valid(id)) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "bbs/c/%03x", unsigned(bucket_of(id)));
    return buf;
}

std::string cart_board_cart_path(const char* id) {
    const std::string b = cart_board_bucket_path(id);
    return b.empty() ? b : b + "/" + id + ".qz.png";
}

std::string cart_board_post_path(const char* id) {
    const std::string b = cart_board_bucket_path(id);
    return b.empty() ? b : b + "/" + id + ".html";
}

std::string cart_board_label_path(const char* id) {
    const std::string b = cart_board_bucket_path(id);
    return b.empty() ? b : b + "/" + id + ".png";
}

std::string cart_board_search_key(const char* text) {
    const std::string folded = cart_fold_lower(text ? text : "");
    std::string key;
    size_t i = 0;
    while (i < folded.size() && !is_id_char(folded[i])) ++i;  // leading blanks and marks
    for (; i < folded.size() && is_id_char(folded[i]) && int(key.size()) < cart_board_search_key_max; ++i)
        key += folded[i];
    return int(key.size()) >= cart_board_search_key_min ? key : std::string();
}

bool cart_board_list_key_valid(const char* key) {
    if (!key) return false;
    for (const cart_board_list_def& d : cart_board_lists)
        if (!std::strcmp(key, d.name)) return true;
    const size_t n = std::strlen(cart_board_search_prefix);
    return !std::strncmp(key, cart_board_search_prefix, n) && search_word_valid(key + n);
}

std::string cart_board_list_folder(const char* key) {
    if (!cart_board_list_key_valid(key)) return {};
    const size_t n = std::strlen(cart_board_search_prefix);
    if (std::strncmp(key, cart_board_search_prefix, n) != 0) return std::string("bbs/l/") + key;
    const std::string word = key + n;
    return "bbs/s/" + word.substr(0, 2) + "/" + (word.size() > 2 ? word.substr(2, 1) : "_") + "/" + word;
}

std::string cart_board_list_head_path(const char* key) {
    const std::string f = cart_board_list_folder(key);
    return f.empty() ? f : f + "/top.png";
}

std::string cart_board_list_page_path(const char* key, int page) {
    const std::string f = cart_board_list_folder(key);
    if (f.empty() || page < 0 || page > cart_board_page_max) return {};
    return f + "/" + std::to_string(page / cart_board_pages_per_folder) + "/" + std::to_string(page) + ".png";
}

std::string cart_board_nginx_server(const char* root, int port) {
    char head[2048];
    std::snprintf(head, sizeof head,
                  "# A vexel cartridge board: static files, served as they are. Any static\n"
                  "# host or CDN can serve the folder; this block is an example for nginx.\n"
                  "# Include it inside the http block of nginx.conf. Change `listen` for\n"
                  "# another port and `root` when the folder moves.\n"
                  "server {\n"
                  "    listen %d;\n"
                  "    server_name _;\n"
                  "    root %s;\n"
                  "    index index.html;\n"
                  "    types { image/png png; text/html html; text/plain txt; text/javascript js; application/wasm wasm; }\n"
                  "    default_type application/octet-stream;\n"
                  "\n",
                  port, root);
    std::string s = head;
    s += "    # The catalogue, the mark and this file are not part of the site.\n"
         "    location ~ /\\. { return 404; }\n"
         "    location = /nginx.conf { return 404; }\n"
         "\n"
         "    # Lists, pages and search files change with every post: looked at\n"
         "    # again after a minute.\n"
         "    location / { add_header Cache-Control \"public, max-age=60\"; }\n"
         "    # A search word no title or author holds has no folder: a plain 404,\n"
         "    # which the browser shows as no results, and no error log line.\n"
         "    location ^~ /bbs/s/ {\n"
         "        log_not_found off;\n"
         "        add_header Cache-Control \"public, max-age=60\";\n"
         "    }\n"
         "    # Cartridges and labels change only when their post is updated.\n"
         "    location ~ ^/bbs/c/.*\\.png$ { add_header Cache-Control \"public, max-age=3600\"; }\n"
         "}\n";
    return s;
}
