#include "board/board_manifest.h"

#include <cstdint>
#include <cstring>
#include <map>

#include "cart/cart_board.h"

namespace {

constexpr int category_of_list[cart_board_list_defs] = {2, 2, 3, 4, 8};

struct line_reader {
    std::string name;
    int line;
    std::vector<std::string>* errors;
    bool ok = true;
    void fail(const std::string& what) {
        errors->push_back(name + ":" + std::to_string(line) + ": " + what);
        ok = false;
    }
};

// Splits a line into blank-separated words; a double-quoted stretch keeps
// its blanks (the quotes go). False for an unclosed quote.
bool split_words(const std::string& line, std::vector<std::string>* words) {
    std::string word;
    bool in_word = false, quoted = false;
    for (char c : line) {
        if (quoted) {
            if (c == '"') quoted = false;
            else word += c;
        } else if (c == '"') {
            quoted = in_word = true;
        } else if (c == ' ' || c == '\t') {
            if (in_word) words->push_back(word);
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) words->push_back(word);
    return !quoted;
}

bool parse_whole(const std::string& s, long long min, long long max, long long* out) {
    if (s.empty() || s.size() > 18) return false;
    long long v = 0;
    size_t i = 0;
    const bool negative = s[0] == '-';
    if (negative) i = 1;
    if (i == s.size()) return false;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    if (negative) v = -v;
    if (v < min || v > max) return false;
    *out = v;
    return true;
}

bool printable(const std::string& s) {
    for (unsigned char c : s)
        if (c < 32 || c == 127) return false;
    return true;
}

void read_field(line_reader& r, board_entry& e, const std::string& key, const std::string& value) {
    long long n = 0;
    if (key == "id") {
        if (!cart_board_id_valid(value.c_str()))
            r.fail("id \"" + value + "\": use 2 to 128 characters of a-z, 0-9 and _");
        e.id = value;
    } else if (key == "author") {
        if (value.empty() || !printable(value)) r.fail("author: give a name of printable characters");
        e.author = board_cut_text(value, board_text_max);
    } else if (key == "title") {
        if (!printable(value)) r.fail("title: printable characters only");
        e.title = board_cut_text(value, board_text_max);
    } else if (key == "post") {
        if (!parse_whole(value, 1, board_number_max, &n)) r.fail("post \"" + value + "\": a whole number from 1 to " + std::to_string(board_number_max));
        e.post = n;
    } else if (key == "rating") {
        if (!parse_whole(value, -999999, 999999, &n)) r.fail("rating \"" + value + "\": a whole number");
        e.rating = int(n);
    } else if (key == "category") {
        if (!parse_whole(value, 0, 99999, &n)) r.fail("category \"" + value + "\": a whole number from 0");
        e.category = int(n);
    } else if (key == "mid") {
        if (!parse_whole(value, 0, board_number_max, &n) || value[0] == '-') r.fail("mid \"" + value + "\": digits only");
        e.mid = value;
    } else if (key == "lists") {
        size_t pos = 0;
        while (pos <= value.size()) {
            size_t comma = value.find(',', pos);
            if (comma == std::string::npos) comma = value.size();
            const std::string name = value.substr(pos, comma - pos);
            int found = -1;
            for (int i = 0; i < cart_board_list_defs; ++i)
                if (name == cart_board_lists[i].name) found = i;
            if (found < 0) r.fail("unknown list \"" + name + "\" (new, featured, wip, collab, jam)");
            else e.lists |= 1u << found;
            pos = comma + 1;
        }
    } else {
        r.fail("unknown field \"" + key + "\"");
    }
}

}  // namespace

std::string board_cut_text(const std::string& text, size_t max) {
    if (text.size() <= max) return text;
    size_t n = max;
    while (n > 0 && (uint8_t(text[n]) & 0xc0) == 0x80) --n;
    return text.substr(0, n);
}

int board_read_manifest_line(const std::string& raw, int number, const char* name, board_entry* out,
                            std::vector<std::string>* errors) {
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line_reader r{name, number, errors};
    if (line.size() > board_manifest_line_max) {
        r.fail("longer than " + std::to_string(board_manifest_line_max) + " characters");
        return -1;
    }
    if (std::memchr(line.data(), 0, line.size())) {
        r.fail("holds a zero byte");
        return -1;
    }
    std::vector<std::string> words;
    if (!split_words(line, &words)) {
        r.fail("a quote is not closed");
        return -1;
    }
    if (words.empty() || words[0][0] == '#') return 0;
    board_entry e;
    e.file = words[0];
    e.line = number;
    for (size_t i = 1; i < words.size(); ++i) {
        const size_t eq = words[i].find('=');
        if (eq == std::string::npos || eq == 0) {
            r.fail("\"" + words[i] + "\" is not key=value");
            continue;
        }
        read_field(r, e, words[i].substr(0, eq), words[i].substr(eq + 1));
    }
    if (e.id.empty()) r.fail("no id");
    if (e.author.empty()) r.fail("no author");
    if (e.post == 0) r.fail("no post number");
    if (e.lists == 0) r.fail("no lists");
    if (!r.ok) return -1;
    if (e.category == 0)
        for (int i = 0; i < cart_board_list_defs && e.category == 0; ++i)
            if (e.lists & (1u << i)) e.category = category_of_list[i];
    *out = e;
    return 1;
}

bool board_read_manifest(const char* text, size_t length, const char* name, std::vector<board_entry>* entries,
                         std::vector<std::string>* errors) {
    const size_t errors_before = errors->size();
    if (!text || length > board_manifest_max) {
        errors->push_back(std::string(name) + ": larger than " + std::to_string(board_manifest_max) + " bytes");
        return false;
    }
    std::map<std::string, int> ids;
    std::map<long long, int> posts;
    size_t pos = 0;
    int line_number = 0;
    while (pos < length) {
        size_t end = pos;
        while (end < length && text[end] != '\n') ++end;
        const std::string line(text + pos, end - pos);
        pos = end + 1;
        ++line_number;
        board_entry e;
        if (board_read_manifest_line(line, line_number, name, &e, errors) != 1) continue;
        line_reader r{name, line_number, errors};
        if (auto it = ids.find(e.id); it != ids.end()) {
            r.fail("id \"" + e.id + "\" is already used on line " + std::to_string(it->second));
            continue;
        }
        if (auto it = posts.find(e.post); it != posts.end()) {
            r.fail("post " + std::to_string(e.post) + " is already used on line " + std::to_string(it->second));
            continue;
        }
        ids[e.id] = line_number;
        posts[e.post] = line_number;
        entries->push_back(e);
    }
    return errors->size() == errors_before;
}
