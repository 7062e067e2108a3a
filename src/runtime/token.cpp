#include "runtime/token.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "runtime/api.h"

namespace {

bool is_word_start(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 128;
}
bool is_word_char(unsigned char c) { return is_word_start(c) || (c >= '0' && c <= '9'); }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(unsigned char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool is_blank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == 8; }
// What the script compiler counts as white space inside a "\z" escape.
bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_newline(unsigned char c) { return c == '\n' || c == '\r'; }

// End of a long bracket body of the given level: just after the closing
// bracket, or the end of the text when it is never closed.
const char* long_bracket_close(const char* p, const char* end, long level) {
    const char* q = vexel_long_bracket_find_close(p, end, level);
    return q ? q : end;
}

// A quoted string from its opening quote: ends after the closing quote, or
// before the newline (or the end of the text) when unterminated. A backslash
// escapes the next byte, including a quote, a backslash or a line break, and
// "\z" also skips the white space after it, as the compiler reads them.
const char* quoted_string_end(const char* p, const char* end) {
    const char quote = *p++;
    while (p < end) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == static_cast<unsigned char>(quote)) return p + 1;
        if (is_newline(c)) return p;
        if (c != '\\') {
            ++p;
            continue;
        }
        if (++p >= end) return end;
        const unsigned char e = static_cast<unsigned char>(*p++);
        if (is_newline(e)) {
            if (p < end && is_newline(static_cast<unsigned char>(*p)) && *p != static_cast<char>(e)) ++p;
        } else if (e == 'z') {
            while (p < end && is_space(static_cast<unsigned char>(*p))) ++p;
        }
    }
    return end;
}

// A numeral as the script compiler reads it: it ends at the first character
// that cannot continue it. Decimal digits with one dot, and an exponent only
// where e/E is followed by a digit or by a sign and a digit; 0x with
// hexadecimal digits, one dot and a p/P exponent by the same rule (which the
// compiler refuses); 0b with binary digits and one dot. A
// numeral that runs straight into another dot or digit is malformed to the
// compiler, which reads on over hexadecimal digits and dots, and so does this.
const char* number_end(const char* p, const char* end) {
    auto at = [end](const char* q) { return q < end ? static_cast<unsigned char>(*q) : 0u; };
    int radix = 10;
    if (*p == '0' && (at(p + 1) | 0x20) == 'x') {
        radix = 16;
        p += 2;
    } else if (*p == '0' && (at(p + 1) | 0x20) == 'b') {
        radix = 2;
        p += 2;
    }
    bool dot = false;
    for (;; ++p) {
        const unsigned char c = at(p);
        if (radix == 16 ? is_hex_digit(c) : radix == 2 ? (c == '0' || c == '1') : is_digit(c)) continue;
        if (c == '.' && !dot) {
            dot = true;
            continue;
        }
        break;
    }
    if ((radix == 10 && (at(p) | 0x20) == 'e') || (radix == 16 && (at(p) | 0x20) == 'p')) {
        const char* q = p + 1;
        if (at(q) == '+' || at(q) == '-') ++q;
        if (q >= end) {
            p = end;  // cut off by the end of the text: the compiler calls it malformed
        } else if (is_digit(at(q))) {
            p = q;
            while (is_digit(at(p))) ++p;
        }
    }
    if (is_digit(at(p)) || at(p) == '.')
        while (is_hex_digit(at(p)) || at(p) == '.') ++p;
    return p;
}

const char* line_end(const char* p, const char* end) {
    while (p < end && !is_newline(static_cast<unsigned char>(*p))) ++p;
    return p;
}

int keyword_or_api(std::string_view w) {
    struct entry {
        const char* word;
        int tok;
    };
    static const entry keywords[] = {
        {"and", tok_and},       {"break", tok_break},   {"do", tok_do},
        {"else", tok_else},     {"elseif", tok_elseif}, {"end", tok_end},
        {"false", tok_literal}, {"for", tok_for},       {"function", tok_function},
        {"goto", tok_goto},     {"if", tok_if},         {"in", tok_in},
        {"local", tok_local},   {"nil", tok_literal},   {"not", tok_not},
        {"or", tok_or},         {"repeat", tok_repeat}, {"return", tok_return},
        {"then", tok_then},     {"true", tok_literal},  {"until", tok_until},
        {"while", tok_while},   {"foreach", tok_api},   {"all", tok_api},
        {"add", tok_api},       {"del", tok_api},       {"menuitem", tok_api},
        {"deli", tok_api},      {"count", tok_api},
    };
    if (w.size() >= 2 && w.size() <= 8)
        for (const entry& k : keywords)
            if (w == k.word) return k.tok;
    return api_is_function(w) ? tok_api : tok_ident;
}

}  // namespace

vexel_lexeme vexel_lex(const char* p, const char* end, bool classify) {
    while (p < end && is_blank(static_cast<unsigned char>(*p))) ++p;
    if (p >= end) return {tok_eof, end, end};
    const char* s = p;
    const unsigned char c = static_cast<unsigned char>(*p);
    const char next = p + 1 < end ? p[1] : '\0';
    const bool has_next = p + 1 < end;
    const char third = p + 2 < end ? p[2] : '\0';
    const char fourth = p + 3 < end ? p[3] : '\0';
    auto one = [&](int tok) { return vexel_lexeme{tok, s, s + 1}; };
    auto two = [&](int tok) { return vexel_lexeme{tok, s, s + 2}; };
    auto three = [&](int tok) { return vexel_lexeme{tok, s, s + 3}; };
    auto four = [&](int tok) { return vexel_lexeme{tok, s, s + 4}; };

    if (c == '\n') return one(tok_eol);
    if (is_word_start(c)) {
        while (p < end && is_word_char(static_cast<unsigned char>(*p))) ++p;
        return {classify ? keyword_or_api(std::string_view(s, size_t(p - s))) : tok_ident, s, p};
    }
    if (is_digit(c)) return {tok_number, s, number_end(p, end)};
    const char* body = nullptr;
    switch (c) {
    case '"':
    case '\'':
        return {tok_string, s, quoted_string_end(p, end)};
    case '[': {
        const long level = vexel_long_bracket_open(p, end, &body);
        if (level < 0) return one('[');
        return {tok_string, s, long_bracket_close(body, end, level)};
    }
    case '-':
        if (has_next && next == '-') {
            const long level = vexel_long_bracket_open(p + 2, end, &body);
            if (level >= 0) return {tok_comment, s, long_bracket_close(body, end, level)};
            return {tok_comment, s, line_end(p, end)};
        }
        return has_next && next == '=' ? two(tok_compound) : one('-');
    case '/':
        if (has_next && next == '/') return {tok_eol, s, line_end(p, end)};
        return has_next && next == '=' ? two(tok_compound) : one('/');
    case '+':
    case '*':
    case '%':
    case '\\':
    case '|':
    case '&':
        return has_next && next == '=' ? two(tok_compound) : one(c);
    case '^':  // ^ ^= ^^ ^^=
        if (has_next && next == '^') return third == '=' ? three(tok_compound) : two(tok_bitop);
        return has_next && next == '=' ? two(tok_compound) : one('^');
    case '.':  // . .. ..= (but ... stays .. and .)
        if (!has_next || next != '.') return one('.');
        return third == '=' ? three(tok_compound) : two(tok_concat);
    case '<':  // < <= <> << <<= <<> <<>=
        if (has_next && next == '=') return two(tok_le);
        if (has_next && next == '>') return two(tok_ne);
        if (!has_next || next != '<') return one('<');
        if (third == '>') return fourth == '=' ? four(tok_compound) : three(tok_bitop);
        return third == '=' ? three(tok_compound) : two(tok_bitop);
    case '>':  // > >= >> >>= >>> >>>= >>< >><=
        if (has_next && next == '=') return two(tok_ge);
        if (!has_next || next != '>') return one('>');
        if (third == '>' || third == '<') return fourth == '=' ? four(tok_compound) : three(tok_bitop);
        return third == '=' ? three(tok_compound) : two(tok_bitop);
    case '~':
    case '!':
        return has_next && next == '=' ? two(tok_ne) : one(c);
    case '=':
        return has_next && next == '=' ? two(tok_eq) : one('=');
    default:
        return one(c);
    }
}

const char* token_first(vexel_tokenizer& t, const char* text, size_t length) {
    t.text = text;
    t.text_end = text ? text + length : text;
    t.line = 0;
    return token_next(t, text);
}

const char* token_next(vexel_tokenizer& t, const char* position) {
    if (!t.text || !position || position < t.text || position > t.text_end) position = t.text_end;
    const vexel_lexeme lx = position ? vexel_lex(position, t.text_end) : vexel_lexeme{tok_eof, nullptr, nullptr};
    t.tok = lx.tok;
    t.token_start = lx.start;
    t.token_end = lx.end;
    if (lx.tok == tok_eol && lx.start && *lx.start == '\n') ++t.line;
    return lx.end;
}

bool vexel_token_is_free(int tok) {
    switch (tok) {
    case tok_eof:
    case tok_eol:
    case tok_comment:
    case tok_local:
    case tok_end:
    case ';':
    case ')':
    case '}':
    case ']':
    case ',':
    case '.':
    case ':':
        return true;
    default:
        return false;
    }
}

int token_count(const char* text, size_t length) {
    int count = 0;
    vexel_tokenizer t{};
    const char* p = token_first(t, text, length);
    for (;;) {
        const int tok = t.tok;
        if (tok == tok_eof) break;
        if (!vexel_token_is_free(tok)) ++count;
        p = token_next(t, p);
    }
    return count;
}

int vexel_check_code_limits(const char* code, size_t length, vexel_limit_report* report) {
    vexel_limit_report r{};
    r.chars = length > size_t(0x7fffffff) ? 0x7fffffff : static_cast<int>(length);
    int result = vexel_limits_ok;
    if (length > static_cast<size_t>(vexel_char_limit)) {
        result = vexel_limits_chars;
        std::snprintf(r.heading, sizeof r.heading, "%s", vexel_char_limit_message);
        std::snprintf(r.detail, sizeof r.detail, vexel_char_count_format, r.chars, vexel_char_limit);
    } else {
        r.tokens = token_count(code, length);
        if (r.tokens > vexel_token_limit) {
            result = vexel_limits_tokens;
            std::snprintf(r.heading, sizeof r.heading, "%s", vexel_token_limit_message);
            std::snprintf(r.detail, sizeof r.detail, vexel_token_count_format, r.tokens, vexel_token_limit);
        }
    }
    if (report) *report = r;
    return result;
}

void vexel_code_info_lines(int tokens, int chars, int compressed, vexel_info_line lines[3]) {
    std::snprintf(lines[0].text, sizeof lines[0].text, "tokens:     %5d /  %d", tokens, vexel_token_limit);
    lines[0].colour = tokens <= vexel_token_limit ? 6 : 9;
    // The character line shows 65535 as its ceiling and turns red at 65536,
    // one below the limit a program is actually held to.
    std::snprintf(lines[1].text, sizeof lines[1].text, "chars:      %5d / %d", chars, vexel_char_limit - 1);
    lines[1].colour = chars < vexel_char_limit ? 6 : 9;
    std::snprintf(lines[2].text, sizeof lines[2].text, "compressed: %5d / %d", compressed,
                  vexel_compressed_limit);
    lines[2].colour = compressed <= vexel_compressed_limit ? 6 : 9;
}

long vexel_long_bracket_open(const char* p, const char* end, const char** body) {
    if (p >= end || *p != '[') return -1;
    const char* q = p + 1;
    while (q < end && *q == '=') ++q;
    if (q >= end || *q != '[') return -1;
    *body = q + 1;
    return q - (p + 1);
}

const char* vexel_long_bracket_find_close(const char* p, const char* end, long level) {
    for (; p < end; ++p) {
        if (*p != ']') continue;
        const char* q = p + 1;
        long n = 0;
        while (q < end && *q == '=' && n < level) ++q, ++n;
        if (n == level && q < end && *q == ']') return q + 1;
    }
    return nullptr;
}
