#include "runtime/pre.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "runtime/token.h"

// How the rewriting loop stays linear.
//
// Each line is rewritten by passes until a pass changes nothing; a pass turns
// the first "!=" into "~=", the first of each glyph byte into its digit, and
// rewrites one compound assignment (the first "+=", else the first "-=", ...).
// Done naively every pass rescans and copies the whole line, which is
// quadratic on a long line full of assignments. Instead:
//  - the line sits in a gap buffer whose gap follows the edits, which move
//    forward through the line (once per operator kind);
//  - each searched pattern has a cursor before which the line is known to
//    hold no occurrence outside strings; edits before a cursor leave it, edits
//    behind it shift it, and only the freshly inserted text is searched;
//  - the string mask is recomputed only over the inserted text. The lexer is
//    stateless, so while the line holds no comment or end-of-line token the
//    text around an edit keeps its tokens. When that cannot be shown (a
//    copied left-hand side with an unbalanced quote, say) the whole line is
//    lexed again and the cursors restart.
// A work budget proportional to the input bounds the rare inputs that still
// need many full rescans; they are refused.

namespace {

constexpr unsigned char glyph_bytes[7] = {0x8B, 0x91, 0x94, 0x83, 0x8E, 0x97, 0x8F};

// The other glyphs from 0x80 to 0x99, standing alone where a name could,
// are fill patterns: the top-left 4x4 pixels of the glyph's 7x5 picture in
// the console font, bit 15 at the top left, a drawn pixel a clear bit and
// an empty one a set bit, plus 0.5 (the transparency bit). So fillp(▒)
// shades as the glyph looks and fillp(█) is solid. The button glyphs above
// keep their numbers (entries of 0 here).
constexpr int fill_glyph_first = 0x80;
constexpr int fill_glyph_last = 0x99;
constexpr const char* fill_glyph_numerals[fill_glyph_last - fill_glyph_first + 1] = {
    "0x0000.8", "0x5a5a.8", "0xb902.8", nullptr,    "0x5f5f.8", "0xac1c.8", "0xc888.8", "0x908c.8",
    "0xcbab.8", "0xcc0d.8", "0xedbb.8", nullptr,    "0x8203.8", "0xeee8.8", nullptr,    nullptr,
    "0xffff.8", nullptr,    "0xec08.8", "0x8cec.8", nullptr,    "0x7bde.8", "0xfedb.8", nullptr,
    "0x0f0f.8", "0x5555.8",
};
constexpr size_t fill_numeral_len = 8;  // every entry: "0x" four digits ".8"

const char* fill_numeral(unsigned char c) {
    return c >= fill_glyph_first && c <= fill_glyph_last ? fill_glyph_numerals[c - fill_glyph_first] : nullptr;
}
// The operators of the compound assignments ("op="), in the order a pass
// tries them: Lua's arithmetic first, then the dialect's.
constexpr const char* compound_ops[] = {"+", "-", "*", "/", "%", "\\", "..", "^", "^^",
                                        "|", "&", "<<", ">>", ">>>", "<<>", ">><"};
constexpr int op_count = int(sizeof compound_ops / sizeof compound_ops[0]);
// The first five are found wherever "op=" stands; the others only where
// their first character starts a token: not after one of these, which
// would make a longer operator of it (">>>=" holds no ">>=", "^^=" no "^=",
// "...=" no "..=").
constexpr int first_checked_op = 5;
constexpr const char* joining_bytes = "<>.^";
// Patterns searched in a pass: "!=", the seven glyphs, the operators.
constexpr int pat_ne = 0;
constexpr int pat_glyph = 1;
constexpr int pat_op = 8;
constexpr int pattern_count = pat_op + op_count;

bool joins(unsigned char c) { return c != 0 && std::strchr(joining_bytes, c) != nullptr; }

// Whether compound operator o followed by "=" stands at i of a text of n
// bytes, read through at(j) and masked(j) (bytes of strings).
template <class At, class Masked>
bool compound_at(size_t i, size_t n, int o, At at, Masked masked) {
    const char* op = compound_ops[o];
    const size_t len = std::strlen(op);
    if (i + len + 1 > n) return false;
    for (size_t j = 0; j < len; ++j)
        if (at(i + j) != static_cast<unsigned char>(op[j]) || masked(i + j)) return false;
    if (at(i + len) != '=' || masked(i + len)) return false;
    return o < first_checked_op || i == 0 || masked(i - 1) || !joins(at(i - 1));
}
// Units of work (bytes scanned, copied or lexed) allowed per byte of input,
// on top of a fixed allowance for small inputs. A plain program needs a few
// tens per byte at most.
constexpr long long work_per_byte = 64;
constexpr long long work_allowance = 64LL * static_cast<long long>(vexel_pre_work_size);

bool in_lhs_set(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '[' || c == ']' || c == '_';
}

bool is_word_byte(char ch) {
    const unsigned char c = static_cast<unsigned char>(ch);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c >= 128;
}

// Tokens after which the right-hand side of a compound assignment goes on:
// the arithmetic, length, field and method operators, and the dialect's
// integer division, bit, shift and rotation operators, bnot and the peeks
// (but, as before, neither ".." nor comparisons).
bool is_operand_operator(int tok) {
    switch (tok) {
    case '#': case '%': case '*': case '+': case '-': case '.': case '/': case ':': case '^':
    case '\\': case '&': case '|': case '~': case '@': case '$': case tok_bitop:
        return true;
    default:
        return false;
    }
}

// The ")" closing the condition of a one-line if whose "if" stands at
// at_if of t[0, n) (string bytes marked in m), when a statement follows it;
// else n.
size_t one_line_if_close(const char* t, const uint8_t* m, size_t n, size_t at_if) {
    size_t j = at_if + 2;
    while (j < n && (t[j] == ' ' || t[j] == '\t')) ++j;
    if (j >= n || t[j] != '(' || m[j]) return n;
    int depth = 0;
    size_t k = j;
    for (; k < n; ++k) {
        if (m[k]) continue;  // parentheses inside strings do not count
        if (t[k] == '\n') return n;
        if (t[k] == '(') ++depth;
        else if (t[k] == ')' && --depth == 0) break;
    }
    if (k + 1 >= n) return n;
    size_t s = k + 1;
    while (s < n && (t[s] == ' ' || t[s] == '\t')) ++s;
    const unsigned char c = s < n ? static_cast<unsigned char>(t[s]) : 0;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_') {
        const vexel_lexeme lx = vexel_lex(t + s, t + n, true);
        if (lx.tok != tok_and && lx.tok != tok_or) return k;
    } else if (!m[s] && (c == '?' || c == ';' || (c == ':' && s + 1 < n && t[s + 1] == ':'))) {
        return k;  // a print, an empty statement or a label
    }
    return n;
}

struct mask_result {
    bool clean;  // no comment or end-of-line token
    bool open;   // a string or comment ran into the end of the text
};

// Marks the bytes of string tokens in t[0, n) with 1, all others with 0.
mask_result mask_strings(const char* t, size_t n, uint8_t* m, long long* work) {
    mask_result r{true, false};
    const char* pos = t;
    const char* end = t + n;
    for (;;) {
        const vexel_lexeme lx = vexel_lex(pos, end, false);
        std::memset(m + (pos - t), 0, size_t(lx.start - pos));
        if (lx.tok == tok_eof) break;
        std::memset(m + (lx.start - t), lx.tok == tok_string ? 1 : 0, size_t(lx.end - lx.start));
        if (lx.tok == tok_comment || lx.tok == tok_eol) r.clean = false;
        if ((lx.tok == tok_string || lx.tok == tok_comment) && lx.end == end) r.open = true;
        pos = lx.end;
    }
    *work += static_cast<long long>(n);
    return r;
}

// One line being rewritten: text and string mask in a gap buffer of fixed
// capacity. Logical positions run from 0 to size(); the gap [gs, ge) holds no
// data.
struct gap_line {
    char* text = nullptr;
    uint8_t* mask = nullptr;
    size_t cap = 0, gs = 0, ge = 0;

    size_t size() const { return cap - (ge - gs); }
    size_t phys(size_t i) const { return i < gs ? i : i + (ge - gs); }
    unsigned char at(size_t i) const { return static_cast<unsigned char>(text[phys(i)]); }
    bool masked(size_t i) const { return mask[phys(i)] != 0; }

    void set_contiguous(size_t n) {
        gs = n;
        ge = cap;
    }
    void move_gap(size_t pos, long long* work) {
        if (pos < gs) {
            const size_t len = gs - pos;
            std::memmove(text + ge - len, text + pos, len);
            std::memmove(mask + ge - len, mask + pos, len);
            gs = pos;
            ge -= len;
            *work += static_cast<long long>(len);
        } else if (pos > gs) {
            const size_t len = pos - gs;
            std::memmove(text + gs, text + ge, len);
            std::memmove(mask + gs, mask + ge, len);
            gs += len;
            ge += len;
            *work += static_cast<long long>(len);
        }
    }
    // First logical index >= from holding byte b, or size().
    size_t find_byte(unsigned char b, size_t from) const {
        const size_t n = size();
        if (from < gs) {
            const void* hit = std::memchr(text + from, b, gs - from);
            if (hit) return size_t(static_cast<const char*>(hit) - text);
            from = gs;
        }
        if (from >= n) return n;
        const char* base = text + (ge - gs);
        const void* hit = std::memchr(base + from, b, n - from);
        return hit ? size_t(static_cast<const char*>(hit) - base) : n;
    }
};

class preprocessor {
public:
    preprocessor(const char* src, size_t len, char* out, size_t cap)
        : src_(src), src_end_(src + len), out_(out), out_cap_(cap) {
        budget_ = work_allowance + work_per_byte * static_cast<long long>(std::min<uint64_t>(len, uint64_t(1) << 40));
    }

    int run(vexel_pre_report* report);

private:
    const char* src_;
    const char* src_end_;
    char* out_;
    size_t out_cap_;
    size_t out_len_ = 0;
    long long budget_;
    long long work_ = 0;
    int source_line_ = 1;

    std::unique_ptr<char[]> text_buf_, tmp_text_;
    std::unique_ptr<uint8_t[]> mask_buf_, tmp_mask_;
    gap_line line_;
    size_t cursor_[pattern_count] = {};
    bool clean_ = true;

    int fail_ = vexel_pre_ok;

    bool fail(int code) {
        fail_ = code;
        return false;
    }
    bool over_budget() const { return work_ > budget_; }

    bool collect(const char** pos, int* newlines);
    bool expand_print();
    void relex_line();
    bool rewrite_passes();
    size_t find_pattern(int k);
    bool rewrite_compound(size_t p, int o, bool* changed);
    bool emit_line(int newlines);
};

// Gathers the tokens of one line into the line buffer, without
// comments, marking strings. Ends at a newline or the end of the text; a "//"
// comment is dropped like any other comment and the line goes on to its
// newline. A dropped comment leaves a space where the tokens on either side
// would otherwise run together.
bool preprocessor::collect(const char** pos, int* newlines) {
    char* t = line_.text;
    uint8_t* m = line_.mask;
    size_t n = 0;
    bool pending_space = false;
    int count = 0;
    const char* p = *pos;
    for (;;) {
        const vexel_lexeme lx = vexel_lex(p, src_end_, false);
        work_ += lx.end - p;
        if (lx.tok == tok_eof) {
            p = lx.end;
            break;
        }
        if (lx.tok == tok_eol && *lx.start == '\n') {
            ++count;
            p = lx.end;
            break;
        }
        if (lx.tok == tok_eol || lx.tok == tok_comment) {
            count += static_cast<int>(std::count(lx.start, lx.end, '\n'));
            pending_space = true;
            p = lx.end;
            continue;
        }
        const size_t ws = size_t(lx.start - p);
        const size_t tl = size_t(lx.end - lx.start);
        const size_t sep = pending_space && ws == 0 && n > 0 ? 1 : 0;
        if (n + sep + ws + tl > line_.cap) return fail(vexel_pre_line_too_long);
        if (sep) {
            t[n] = ' ';
            m[n++] = 0;
        }
        std::memcpy(t + n, p, ws);
        std::memset(m + n, 0, ws);
        n += ws;
        std::memcpy(t + n, lx.start, tl);
        std::memset(m + n, lx.tok == tok_string ? 1 : 0, tl);
        n += tl;
        pending_space = false;
        p = lx.end;
    }
    line_.set_contiguous(n);
    clean_ = true;  // every token kept is neither a comment nor an end of line
    *pos = p;
    *newlines = count;
    return true;
}

void preprocessor::relex_line() {
    const size_t n = line_.size();
    line_.move_gap(n, &work_);
    clean_ = mask_strings(line_.text, n, line_.mask, &work_).clean;
    std::fill(cursor_, cursor_ + pattern_count, size_t(0));
}

// A line whose first non-blank character is "?" becomes print(...).
// Returns false when it is not such a line, or on failure (with fail_ set).
bool preprocessor::expand_print() {
    const size_t n = line_.size();
    const char* t = line_.text;  // contiguous right after collect
    size_t i = 0;
    while (i < n && (t[i] == ' ' || t[i] == '\t')) ++i;
    if (i >= n || t[i] != '?') return false;
    const size_t rest = n - i - 1;
    if (rest + 7 > line_.cap) return fail(vexel_pre_line_too_long);
    std::memmove(line_.text + 6, t + i + 1, rest);
    std::memcpy(line_.text, "print(", 6);
    line_.text[6 + rest] = ')';
    line_.set_contiguous(rest + 7);
    relex_line();
    return true;
}

// First occurrence of pattern k outside strings at or after its cursor, or
// the line size. Moves the cursor there.
size_t preprocessor::find_pattern(int k) {
    const size_t n = line_.size();
    size_t from = cursor_[k];
    unsigned char first;
    bool pair;
    if (k == pat_ne) {
        first = '!';
        pair = true;
    } else if (k < pat_op) {
        first = glyph_bytes[k - pat_glyph];
        pair = false;
    } else {
        first = static_cast<unsigned char>(compound_ops[k - pat_op][0]);
        pair = true;
    }
    auto at = [this](size_t j) { return line_.at(j); };
    auto masked = [this](size_t j) { return line_.masked(j); };
    size_t i = line_.find_byte(first, from);
    while (i < n) {
        if (k >= pat_op) {
            if (compound_at(i, n, k - pat_op, at, masked)) break;
        } else if (!line_.masked(i) &&
                   (!pair || (i + 1 < n && line_.at(i + 1) == '=' && !line_.masked(i + 1)))) {
            break;
        }
        i = line_.find_byte(first, i + 1);
    }
    work_ += static_cast<long long>((i < n ? i : n) - std::min(from, n)) / 8 + 1;
    cursor_[k] = i;
    return i;
}

// Rewrites the compound assignment whose operator (compound_ops[o]) starts
// at p. Sets *changed when the line changed; returns false on failure.
bool preprocessor::rewrite_compound(size_t p, int o, bool* changed) {
    *changed = false;
    const char* op = compound_ops[o];
    const size_t op_len = std::strlen(op);
    if (p == 0) return true;
    const size_t n = line_.size();
    line_.move_gap(p, &work_);
    const char* pre = line_.text;  // logical [0, p)
    const uint8_t* pm = line_.mask;

    // Left-hand side: back over spaces to its last character e, then over
    // names, indices and fields. Inside square brackets anything is taken,
    // strings whole, so brackets within strings do not count.
    size_t i = p;
    while (i > 0 && pre[i - 1] == ' ') --i;
    size_t e, ls;
    if (i == 0) {
        e = ls = 0;
    } else {
        e = ls = i - 1;
        if (pm[e]) {
            while (ls > 0 && pm[ls - 1]) --ls;
        } else {
            int level = pre[e] == ']' ? 1 : 0;
            while (ls > 0) {
                const unsigned char c = static_cast<unsigned char>(pre[ls - 1]);
                if (level > 0) {
                    if (pm[ls - 1]) {
                        while (ls > 0 && pm[ls - 1]) --ls;
                        continue;
                    }
                    if (c == ']') ++level;
                    else if (c == '[') --level;
                    --ls;
                    continue;
                }
                if (pm[ls - 1] || !in_lhs_set(c)) break;
                if (c == ']') level = 1;
                --ls;
            }
        }
    }
    work_ += static_cast<long long>(p - ls);
    const size_t p_end = e + 1;  // the prefix P is [0, p_end)
    // A "+" or "-" right after the exponent letter of a numeral ("1e+=") was
    // read as the numeral's sign, not as an operator; then the tokens around
    // the edit are not known to be kept.
    bool sign_of_numeral = false;
    if ((o == 0 || o == 1) && std::strchr("eEpP", pre[p - 1]) && pre[p - 1] != 0) {
        for (size_t w = p; w > 0 && (is_word_byte(pre[w - 1]) || pre[w - 1] == '.'); --w) {
            const bool starts_segment = w == 1 || !is_word_byte(pre[w - 2]);
            if (pre[w - 1] >= '0' && pre[w - 1] <= '9' && starts_segment) sign_of_numeral = true;
            ++work_;
        }
    }

    // Right-hand side: operands joined by operators, after the "op=".
    const char* sfx = line_.text + line_.ge;  // logical p
    const char* send = line_.text + line_.cap;  // logical n
    const char* rhs = sfx + op_len + 1;
    const char* pos = rhs;
    const char* prev = pos;
    const char* rend = send;
    int state = 0, depth = 0;
    for (;;) {
        const vexel_lexeme lx = vexel_lex(pos, send, false);
        work_ += lx.end - pos;
        const int tok = lx.tok;
        if (tok == tok_eof || tok == tok_eol) break;
        if (state == 1) {
            if (tok == '(' || tok == '[') ++depth;
            else if ((tok == ')' || tok == ']') && --depth == 0) state = 2;
        } else if (tok == '(' || tok == '[') {
            state = 1;
            depth = 1;
        } else if (is_operand_operator(tok)) {
            state = 0;
        } else if (tok == ')' || state == 2) {
            rend = prev;
            break;
        } else {
            state = 2;
        }
        prev = pos = lx.end;
        if (over_budget()) return fail(vexel_pre_too_complex);
    }
    const size_t r_len = size_t(rend - rhs);
    const size_t r_end = p + op_len + 1 + r_len;  // logical end of the right-hand side
    const size_t l_len = p_end - ls;
    // What stood before the text after the right-hand side: when it could
    // join an operator there, that operator is found afresh.
    const bool rest_rejoins = r_len > 0 && joins(static_cast<unsigned char>(rend[-1]));

    // The replacement M = " = " L " op (" R ") " of [p_end, r_end).
    const size_t m_len = 3 + l_len + 3 + op_len + r_len + 2;
    const size_t new_n = n - (r_end - p_end) + m_len;
    if (new_n > line_.cap) return fail(vexel_pre_line_too_long);
    char* mt = tmp_text_.get();
    uint8_t* mm = tmp_mask_.get();
    size_t k = 0;
    std::memcpy(mt + k, " = ", 3), k += 3;
    std::memcpy(mt + k, pre + ls, l_len), k += l_len;
    mt[k++] = ' ';
    std::memcpy(mt + k, op, op_len), k += op_len;
    mt[k++] = ' ';
    mt[k++] = '(';
    std::memcpy(mt + k, rhs, r_len), k += r_len;
    mt[k++] = ')';
    mt[k++] = ' ';
    work_ += static_cast<long long>(m_len);
    const mask_result mr = mask_strings(mt, m_len, mm, &work_);

    line_.move_gap(p_end, &work_);
    line_.ge += r_end - p_end;
    std::memcpy(line_.text + line_.gs, mt, m_len);
    std::memcpy(line_.mask + line_.gs, mm, m_len);
    line_.gs += m_len;
    *changed = true;

    if (!clean_ || !mr.clean || mr.open || sign_of_numeral || rest_rejoins) {
        relex_line();
        return true;
    }
    // The text before p_end and from r_end on kept its tokens; only M is new.
    size_t first_in_m[pattern_count];
    std::fill(first_in_m, first_in_m + pattern_count, m_len);
    auto m_at = [mt](size_t j) { return static_cast<unsigned char>(mt[j]); };
    auto m_masked = [mm](size_t j) { return mm[j] != 0; };
    for (size_t j = 0; j < m_len; ++j) {
        if (mm[j]) continue;
        const unsigned char c = static_cast<unsigned char>(mt[j]);
        const bool eq_next = j + 1 < m_len && mt[j + 1] == '=' && !mm[j + 1];
        if (c == '!' && eq_next) first_in_m[pat_ne] = std::min(first_in_m[pat_ne], j);
        for (int g = 0; g < 7; ++g)
            if (c == glyph_bytes[g]) first_in_m[pat_glyph + g] = std::min(first_in_m[pat_glyph + g], j);
        // M begins with a blank, so nothing before it joins an operator in it
        for (int q = 0; q < op_count; ++q)
            if (c == static_cast<unsigned char>(compound_ops[q][0]) && compound_at(j, m_len, q, m_at, m_masked))
                first_in_m[pat_op + q] = std::min(first_in_m[pat_op + q], j);
    }
    work_ += static_cast<long long>(m_len);
    const long long delta = static_cast<long long>(m_len) - static_cast<long long>(r_end - p_end);
    for (int c = 0; c < pattern_count; ++c) {
        if (cursor_[c] <= p_end) continue;
        if (first_in_m[c] < m_len)
            cursor_[c] = p_end + first_in_m[c];
        else
            cursor_[c] = size_t(static_cast<long long>(std::max(cursor_[c], r_end)) + delta);
    }
    return true;
}

// The rewriting passes, until one changes nothing.
bool preprocessor::rewrite_passes() {
    std::fill(cursor_, cursor_ + pattern_count, size_t(0));
    for (;;) {
        bool changed = false;
        size_t q = find_pattern(pat_ne);
        if (q < line_.size()) {
            line_.text[line_.phys(q)] = '~';
            cursor_[pat_ne] = q + 2;
            changed = true;
        }
        for (int g = 0; g < 7; ++g) {
            q = find_pattern(pat_glyph + g);
            if (q < line_.size()) {
                line_.text[line_.phys(q)] = static_cast<char>('0' + g);
                cursor_[pat_glyph + g] = q + 1;
                changed = true;
            }
        }
        for (int o = 0; o < op_count; ++o) {
            q = find_pattern(pat_op + o);
            if (q >= line_.size()) continue;
            bool rewrote = false;
            if (!rewrite_compound(q, o, &rewrote)) return false;
            changed = changed || rewrote;
            break;
        }
        if (!changed) return true;
        if (over_budget()) return fail(vexel_pre_too_complex);
    }
}

// The one-line if, then the line and its newlines go out.
bool preprocessor::emit_line(int newlines) {
    const size_t n = line_.size();
    line_.move_gap(n, &work_);
    const char* t = line_.text;
    const uint8_t* m = line_.mask;
    work_ += static_cast<long long>(n);

    auto unmasked_at = [&](size_t i, const char* word, size_t len) {
        if (i + len > n || std::memcmp(t + i, word, len) != 0) return false;
        for (size_t j = 0; j < len; ++j)
            if (m[i + j]) return false;
        return true;
    };
    auto find_unmasked = [&](const char* word, size_t len) {
        for (size_t i = 0; i + len <= n; ++i)
            if (t[i] == word[0] && unmasked_at(i, word, len)) return i;
        return n;
    };

    // The one-line if: "if (cond) statement" without a "then" on the line.
    size_t close = n;  // the ")" after which " then " goes, when found
    size_t at_if = find_unmasked("if(", 3);
    if (at_if == n) at_if = find_unmasked("if ", 3);
    if (at_if < n && find_unmasked("then", 4) == n &&
        (at_if == 0 || t[at_if - 1] == ' ' || t[at_if - 1] == '\t'))
        close = one_line_if_close(t, m, n, at_if);

    // A one-line if whose statement is another one-line if nests: each
    // gets its " then " and the line ends with an " end" for every one.
    size_t closes[vexel_pre_if_nesting_max];
    int nested = 0;
    if (close < n) closes[nested++] = close;
    while (nested > 0 && nested < vexel_pre_if_nesting_max) {
        size_t s = closes[nested - 1] + 1;
        while (s < n && (t[s] == ' ' || t[s] == '\t')) ++s;
        if (!unmasked_at(s, "if", 2) || (s + 2 < n && is_word_byte(t[s + 2]))) break;
        const size_t inner = one_line_if_close(t, m, n, s);
        if (inner >= n) break;
        closes[nested++] = inner;
    }

    // Fill-pattern glyphs standing alone become their numerals.
    size_t fills = 0;
    auto fill_at = [&](size_t i) -> const char* {
        if (m[i]) return nullptr;
        const char* numeral = fill_numeral(static_cast<unsigned char>(t[i]));
        if (!numeral) return nullptr;
        if ((i > 0 && is_word_byte(t[i - 1])) || (i + 1 < n && is_word_byte(t[i + 1]))) return nullptr;
        return numeral;
    };
    for (size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(t[i]) >= fill_glyph_first && fill_at(i)) ++fills;

    // A button glyph is a one-digit number by now: "⬅️.." would read as the
    // malformed number "0..". A lone digit (or a fill numeral) right before
    // ".." gets a space, which no valid program lacked: Lua reads "0.." as
    // nothing else.
    auto concat_after = [&](size_t i) { return i + 2 < n && t[i + 1] == '.' && t[i + 2] == '.' && !m[i + 1]; };
    auto lone_digit_at = [&](size_t i) {
        return !m[i] && t[i] >= '0' && t[i] <= '9' && (i == 0 || (!is_word_byte(t[i - 1]) && t[i - 1] != '.'));
    };
    size_t spaced = 0;
    for (size_t i = 0; i < n; ++i)
        if (concat_after(i) && (lone_digit_at(i) || (static_cast<unsigned char>(t[i]) >= fill_glyph_first && fill_at(i))))
            ++spaced;

    const size_t extra = size_t(nested) * (6 + 5) + fills * (fill_numeral_len - 1) + spaced;  // " then ", " end "
    const size_t need = n + extra + static_cast<size_t>(newlines);
    if (out_len_ + need + 1 > out_cap_) return fail(vexel_pre_output_full);
    char* o = out_ + out_len_;
    int next_close = 0;
    for (size_t i = 0; i < n; ++i) {
        const char* numeral = static_cast<unsigned char>(t[i]) >= fill_glyph_first ? fill_at(i) : nullptr;
        if (numeral) {
            std::memcpy(o, numeral, fill_numeral_len);
            o += fill_numeral_len;
        } else {
            *o++ = t[i];
        }
        if (concat_after(i) && (numeral || lone_digit_at(i))) *o++ = ' ';
        if (next_close < nested && i == closes[next_close]) {
            std::memcpy(o, " then ", 6);
            o += 6;
            ++next_close;
        }
    }
    for (int k = 0; k < nested; ++k) {
        std::memcpy(o, " end ", 5);
        o += 5;
    }
    std::memset(o, '\n', static_cast<size_t>(newlines));
    out_len_ += need;
    out_[out_len_] = '\0';
    return true;
}

int preprocessor::run(vexel_pre_report* report) {
    if (out_cap_ > 0) out_[0] = '\0';
    text_buf_.reset(new char[vexel_pre_work_size]);
    mask_buf_.reset(new uint8_t[vexel_pre_work_size]);
    tmp_text_.reset(new char[vexel_pre_work_size]);
    tmp_mask_.reset(new uint8_t[vexel_pre_work_size]);
    line_.text = text_buf_.get();
    line_.mask = mask_buf_.get();
    line_.cap = vexel_pre_work_size;

    const char* pos = src_;
    bool ok = out_cap_ > 0 || (fail(vexel_pre_output_full), false);
    for (int lines = 0; ok && lines < vexel_pre_max_lines; ++lines) {
        int newlines = 0;
        ok = collect(&pos, &newlines);
        // The other shorthands apply inside a "?" line too, so "?btn(glyph)"
        // prints the button rather than failing to compile.
        if (ok) expand_print();
        if (ok && fail_ == vexel_pre_ok) ok = rewrite_passes();
        ok = ok && fail_ == vexel_pre_ok && emit_line(newlines);
        if (!ok || newlines == 0) break;
        source_line_ += newlines;
    }
    if (fail_ == vexel_pre_ok && over_budget()) fail_ = vexel_pre_too_complex;

    vexel_pre_report r{};
    if (fail_ != vexel_pre_ok) {
        out_len_ = 0;
        if (out_cap_ > 0) out_[0] = '\0';
        r.line = source_line_;
        const char* what = fail_ == vexel_pre_output_full ? "program too long after expanding shorthands (line %d)"
                           : fail_ == vexel_pre_line_too_long ? "line %d too long after expanding shorthands"
                                                              : "line %d too complex to preprocess";
        std::snprintf(r.message, sizeof r.message, what, source_line_);
    }
    r.length = out_len_;
    if (report) *report = r;
    return fail_;
}

}  // namespace

int vexel_preprocess(const char* source, size_t length, char* output, size_t capacity,
                     vexel_pre_report* report) {
    if (!source) length = 0;
    static const char empty[1] = {0};
    preprocessor pp(source ? source : empty, length, output, output ? capacity : 0);
    return pp.run(report);
}
