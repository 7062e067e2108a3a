#include "cart/cart_include.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cart/cart.h"
#include "cart/cart_glyphs.h"
#include "cart/cart_text.h"
#include "framework/fenn_file.h"

namespace {

constexpr const char* cart_text_header = "vexel cartridge";

// What is open at the start of a line: nothing, a long bracket (string or
// comment) of some level, or a quoted string continued by a backslash.
struct scan_state {
    long long_level = -1;
    char quote = 0;
};

// Long bracket opening at p ("[", "="*, "["): its level, with *body after it.
long long_open(const char* p, const char* e, const char** body) {
    if (p >= e || *p != '[') return -1;
    const char* q = p + 1;
    while (q < e && *q == '=') ++q;
    if (q >= e || *q != '[') return -1;
    *body = q + 1;
    return q - (p + 1);
}

// Carries the state over one line [p, e) as the compiler would read it.
void scan_line(scan_state& st, const char* p, const char* e) {
    const char* i = p;
    while (i < e) {
        if (st.long_level >= 0) {
            for (; i < e; ++i) {
                if (*i != ']') continue;
                const char* q = i + 1;
                long level = 0;
                while (q < e && *q == '=') ++q, ++level;
                if (q < e && *q == ']' && level == st.long_level) {
                    st.long_level = -1;
                    i = q + 1;
                    break;
                }
            }
            continue;
        }
        if (st.quote) {
            for (; i < e; ++i) {
                if (*i == '\\') {
                    if (i + 1 >= e || (i[1] == 'z' && i + 2 >= e)) return;  // goes on on the next line
                    ++i;
                } else if (*i == st.quote) {
                    st.quote = 0;
                    ++i;
                    break;
                }
            }
            if (i >= e) st.quote = 0;  // unfinished: the compiler reports it
            continue;
        }
        const char c = *i;
        const char* body = nullptr;
        if (c == '-' && i + 1 < e && i[1] == '-') {
            const long level = long_open(i + 2, e, &body);
            if (level < 0) return;  // a comment to the end of the line
            st.long_level = level;
            i = body;
        } else if (c == '/' && i + 1 < e && i[1] == '/') {
            return;
        } else if (c == '"' || c == '\'') {
            st.quote = c;
            ++i;
        } else if (c == '[' && (st.long_level = long_open(i, e, &body)) >= 0) {
            i = body;
        } else {
            ++i;
        }
    }
}

// The name of an include line, or false when [p, e) is no include line.
bool include_name(const char* p, const char* e, std::string* name) {
    while (p < e && (*p == ' ' || *p == '\t')) ++p;
    const size_t word = std::strlen(cart_include_word);
    if (size_t(e - p) < word || std::memcmp(p, cart_include_word, word) != 0) return false;
    p += word;
    if (p < e && *p != ' ' && *p != '\t') return false;  // "#includes" is no include
    while (p < e && (*p == ' ' || *p == '\t')) ++p;
    while (e > p && (e[-1] == ' ' || e[-1] == '\t' || e[-1] == '\r')) --e;
    name->assign(p, size_t(e - p));
    return true;
}

// "a/./b/../c" -> "a/c", keeping leading ".." that cannot be undone.
std::string tidy(const std::string& path) {
    std::vector<std::string> parts;
    size_t from = 0;
    while (from <= path.size()) {
        size_t slash = path.find('/', from);
        if (slash == std::string::npos) slash = path.size();
        const std::string part = path.substr(from, slash - from);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") parts.pop_back();
            else parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        from = slash + 1;
    }
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : "/") + part;
    return out;
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

class joiner {
public:
    joiner(const std::string& folder, bool allowed) : folder_(folder), allowed_(allowed) {
        if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
        out_.files.emplace_back();
    }

    cart_joined_program run(const char* code) {
        const std::string text = code ? code : "";
        join(text, 0, "", 0);
        return std::move(out_);
    }

private:
    std::string folder_;
    bool allowed_;
    cart_joined_program out_;
    std::vector<std::string> open_;  // real paths of the files being joined, outermost first

    void put_line(const char* p, size_t n, int file, int line) {
        if (!out_.lines.empty()) out_.text += '\n';
        out_.text.append(p, n);
        out_.lines.push_back({file, line});
    }

    void error(const std::string& what, const std::string& name, int file, int line) {
        std::string where = "line " + std::to_string(line + 1);
        if (file > 0) where = out_.files[size_t(file)] + " " + where;
        out_.errors.push_back("#include: " + what + (name.empty() ? "" : " " + name) + " (" + where + ")");
    }

    // Joins `text` of file index `file`, whose name relative to the
    // cartridge's folder is `shown` (its includes are relative to its folder).
    void join(const std::string& text, int file, const std::string& shown, int depth) {
        scan_state st;
        size_t from = 0;
        int line = 0;
        while (from <= text.size()) {
            size_t nl = text.find('\n', from);
            const bool last = nl == std::string::npos;
            if (last) nl = text.size();
            // An included file's final newline ends its last line; it starts none.
            if (last && file > 0 && from == text.size() && line > 0) break;
            const char* p = text.data() + from;
            const char* e = text.data() + nl;
            std::string name;
            if (st.long_level < 0 && !st.quote && include_name(p, e, &name)) {
                put_line("", 0, file, line);  // stands for the file's lines when they cannot be read
                include(name, file, shown, line, depth);
            } else {
                put_line(p, size_t(e - p), file, line);
                scan_line(st, p, e);
            }
            ++line;
            if (last) break;
            from = nl + 1;
        }
    }

    void include(const std::string& name, int file, const std::string& shown, int line, int depth) {
        if (!allowed_) return error("only in a local text cartridge", "", file, line);
        if (name.empty()) return error("no file named", "", file, line);
        for (char c : name)
            if (static_cast<unsigned char>(c) < 32) return error("bad file name", "", file, line);
        std::string utf8;
        cart_machine_to_utf8(name.data(), name.size(), &utf8);
        if (utf8[0] == '/' || utf8[0] == '~' || utf8[0] == '\\')
            return error("absolute path refused", utf8, file, line);
        const std::string shown_name = tidy(folder_of(shown) + utf8);
        if (depth + 1 > cart_include_depth_max) return error("nested too deep at", shown_name, file, line);
        const std::string path = folder_ + folder_of(shown) + utf8;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return error("cannot read", shown_name, file, line);
        if (uint64_t(st.st_size) > cart_include_file_max) return error("file over 64 KiB", shown_name, file, line);
        char real[PATH_MAX];
        const std::string key = ::realpath(path.c_str(), real) ? std::string(real) : path;
        for (const std::string& open : open_)
            if (open == key) return error("loop at", shown_name, file, line);
        std::string data;
        if (!fenn_read_regular_file(path.c_str(), cart_include_file_max, &data))
            return error("cannot read", shown_name, file, line);
        std::string text;
        if (data.compare(0, std::strlen(cart_text_header), cart_text_header) == 0) {
            // A cartridge file: its program is what is included.
            vexel_cart* cart = vexel_cart_from_text(data.data(), data.size());
            if (!cart) return error("cannot read", shown_name, file, line);
            text = cart->code;
            vexel_cart_destroy(cart);
        } else {
            std::string lf;
            lf.reserve(data.size());
            for (size_t i = 0; i < data.size(); ++i) {
                if (data[i] != '\r') lf += data[i];
                else if (i + 1 >= data.size() || data[i + 1] != '\n') lf += '\n';
            }
            cart_utf8_to_machine(lf.data(), lf.size(), &text, nullptr);
        }
        out_.files.push_back(shown_name);
        // The empty line put for the include line gives way to the file.
        out_.lines.pop_back();
        if (!out_.lines.empty()) out_.text.pop_back();
        const size_t lines_before = out_.lines.size();
        open_.push_back(key);
        join(text, int(out_.files.size()) - 1, shown_name, depth + 1);
        open_.pop_back();
        // An empty file still takes the include line's place.
        if (out_.lines.size() == lines_before) put_line("", 0, file, line);
    }
};

}  // namespace

bool cart_has_includes(const char* code) {
    if (!code) return false;
    scan_state st;
    const char* p = code;
    const char* end = code + std::strlen(code);
    std::string name;
    while (p <= end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* e = nl ? nl : end;
        if (st.long_level < 0 && !st.quote && include_name(p, e, &name)) return true;
        scan_line(st, p, e);
        if (!nl) break;
        p = nl + 1;
    }
    return false;
}

cart_joined_program cart_join_includes(const char* code, const std::string& folder, bool allowed) {
    return joiner(folder, allowed).run(code);
}
