// A deliberately naive model of the preprocessor's compound-assignment
// rewriting, shared by the preprocessor tests: a full rescan and relex after
// every change. The real preprocessor must agree with it.
#pragma once
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/token.h"

namespace pre_model {

// 1 for every byte inside a string literal.
inline std::vector<uint8_t> string_mask(const std::string& s) {
    std::vector<uint8_t> m(s.size(), 0);
    const char* pos = s.data();
    const char* end = pos + s.size();
    for (;;) {
        const vexel_lexeme lx = vexel_lex(pos, end, false);
        if (lx.tok == tok_eof) break;
        if (lx.tok == tok_string) std::fill(m.begin() + (lx.start - s.data()), m.begin() + (lx.end - s.data()), 1);
        pos = lx.end;
    }
    return m;
}

// Rewrites "target op= value" at position p as the preprocessor does; false
// when there is no target (p is 0).
inline bool model_compound(std::string& s, size_t p, const std::string& op) {
    if (p == 0) return false;
    const std::vector<uint8_t> m = string_mask(s);
    size_t i = p;
    while (i > 0 && s[i - 1] == ' ') --i;
    size_t e = i == 0 ? 0 : i - 1, ls = e;
    if (i > 0 && m[e]) {
        while (ls > 0 && m[ls - 1]) --ls;
    } else if (i > 0) {
        int level = s[e] == ']' ? 1 : 0;
        while (ls > 0) {
            const char c = s[ls - 1];
            if (level > 0 && m[ls - 1]) {
                --ls;
            } else if (level > 0) {
                level += c == ']' ? 1 : c == '[' ? -1 : 0;
                --ls;
            } else if (!m[ls - 1] && (isalnum(static_cast<unsigned char>(c)) || (c && std::strchr("._[]", c)))) {
                if (c == ']') level = 1;
                --ls;
            } else {
                break;
            }
        }
    }
    const char* begin = s.data() + p + op.size() + 1;
    const char* end = s.data() + s.size();
    const char *pos = begin, *prev = begin, *rend = end;
    int st = 0, depth = 0;
    for (;;) {
        const vexel_lexeme lx = vexel_lex(pos, end, false);
        if (lx.tok == tok_eof || lx.tok == tok_eol) break;
        if (st == 1) {
            if (lx.tok == '(' || lx.tok == '[') ++depth;
            if ((lx.tok == ')' || lx.tok == ']') && --depth == 0) st = 2;
        } else if (lx.tok == '(' || lx.tok == '[') {
            st = 1, depth = 1;
        } else if ((lx.tok > 0 && std::strchr("#%*+-./:^\\&|~@$", lx.tok)) || lx.tok == tok_bitop) {
            st = 0;
        } else if (lx.tok == ')' || st == 2) {
            rend = prev;
            break;
        } else {
            st = 2;
        }
        prev = pos = lx.end;
    }
    const std::string P = s.substr(0, e + 1), L = s.substr(ls, e + 1 - ls);
    const std::string R(begin, rend), T(rend, end);
    s = P + " = " + L + " " + op + " (" + R + ") " + T;
    return true;
}

// The compound-assignment pass once: the first "op=" outside strings, in
// the order of the operator list (Lua's five anywhere, the others only where
// no "<>.^" before them makes a longer operator), rewritten. True when the
// line changed.
inline bool compound_pass(std::string& s) {
    static const char* const ops[] = {"+", "-", "*", "/", "%", "\\", "..", "^", "^^",
                                      "|", "&", "<<", ">>", ">>>", "<<>", ">><"};
    for (size_t o = 0; o < sizeof ops / sizeof ops[0]; ++o) {
        const std::string op = ops[o];
        const std::vector<uint8_t> m = string_mask(s);
        const bool lua_op = o < 5;
        size_t q = std::string::npos;
        for (size_t i = 0; i + op.size() < s.size(); ++i) {
            if (s.compare(i, op.size() + 1, op + "=") != 0) continue;
            if (std::any_of(m.begin() + i, m.begin() + i + op.size() + 1, [](uint8_t b) { return b; })) continue;
            if (!lua_op && i > 0 && !m[i - 1] && std::strchr("<>.^", s[i - 1])) continue;
            q = i;
            break;
        }
        if (q == std::string::npos) continue;
        return model_compound(s, q, op);  // one at the very start has no target: the pass ends unchanged
    }
    return false;
}

// Whether the text holds a comment or a line end (the model works on one line).
inline bool has_comment_or_eol(const std::string& s) {
    const char* pos = s.data();
    const char* end = pos + s.size();
    for (;;) {
        const vexel_lexeme lx = vexel_lex(pos, end, false);
        if (lx.tok == tok_eof) return false;
        if (lx.tok == tok_comment || lx.tok == tok_eol) return true;
        pos = lx.end;
    }
}

// The last step of a line: a lone digit (a button glyph's number, say) right
// before ".." gets a space, since "0.." would read as a malformed number.
inline std::string space_lone_digits(const std::string& s) {
    const std::vector<uint8_t> m = string_mask(s);
    auto word = [](char c) {
        const unsigned char u = static_cast<unsigned char>(c);
        return std::isalnum(u) || c == '_' || u >= 0x80;
    };
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        out += s[i];
        const bool lone = !m[i] && std::isdigit(static_cast<unsigned char>(s[i])) &&
                          (i == 0 || !(word(s[i - 1]) || s[i - 1] == '.'));
        if (lone && i + 2 < s.size() && s.compare(i + 1, 2, "..") == 0 && !m[i + 1]) out += ' ';
    }
    return out;
}

}  // namespace pre_model
