// The code editor: the program's code tabs as lines of coloured text, with
// a cursor, selection, search, go to line and the program's counters (see
// editor_code.h for what it owns and its invariants).
//
// Cost: the open tab's line starts, the lexer state at the start of each
// line and each line's token count are kept in step with every edit (an
// edit shifts the starts after it and re-reads lines from the edited one
// until the state at a line start comes out as before), so a redraw reads
// only the visible lines and the token count never re-reads the program.
// The compressed size is worked out once typing pauses.
#include "app/editor_code.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/editor.h"
#include "cart/cart.h"
#include "cart/cart_include.h"
#include "cart/cart_glyphs.h"
#include "cart/code_tabs.h"
#include "cart/compress.h"
#include "framework/fenn_input.h"
#include "framework/fenn_text.h"
#include "machine/disk.h"
#include "machine/machine.h"
#include "runtime/token.h"

namespace {

// ---- layout ------------------------------------------------------------------

constexpr int code_line_h = 6;                                  // a console text line
constexpr int code_tabbar_h = 7;                                // the row of code tabs
constexpr int code_tabbar_y = editor_body_y0;
// The line-number gutter: the numbers in the console font's digits (4 px
// each), as many digits as the open tab's last line needs but at least
// code_gutter_min_digits, so the text does not jump sideways at line 10;
// one pixel after the numbers, then the text.
constexpr int code_gutter_min_digits = 2;
constexpr int code_digit_w = 4;
constexpr int code_text_y0 = editor_body_y0 + code_tabbar_h + 1;  // first text line
constexpr int code_field_h = 7;                                 // the find / go-to-line line
constexpr int code_field_y = editor_body_y1 - code_field_h;
constexpr int code_window_max = 64;    // characters of a line one redraw looks at (128 px / 4 px, with room)
constexpr int code_narrow_advance = 4; // pixels a character takes when the font has no glyph for it
constexpr int code_wide_advance = 8;   // ... for bytes 128-255
constexpr int code_hscroll_margin = 8; // characters kept left of the cursor when scrolling back
constexpr int code_wheel_lines = 3;

// ---- timing (in updates, so that tests and key scripts are deterministic) ----

constexpr int code_run_pause_frames = 30;     // a pause this long ends a typing run (one undo step)
constexpr int code_compress_idle_frames = 15; // typing paused this long: work out the compressed size
constexpr int code_compress_stale_frames = 30; // and at least this often during a long run of typing
constexpr int code_include_check_frames = 60;  // how often the included files' sizes and times are looked at
constexpr int code_include_scan_lines = 64;    // an edit over more lines than this may have touched an include line

// Shift+A..Z types the glyphs 0x80..0x99 when shift_glyphs is on.
constexpr int code_shift_glyph_first = 0x80;
// Indentation is one space: the font draws a tab as a blank exactly as
// wide as a space, so a tab character would look like one space anyway
// while hiding what is really in the text; a space is honest and keeps
// lines short on a 32-column screen.
constexpr char code_indent_char = ' ';

constexpr const char* code_limit_message = "too long: 65535 chars at most";

// ---- the per-line lexer ----------------------------------------------------------

// editor_code_lex_state: bits 0-2 the kind, bit 3 "a '\r' at the line start
// still belongs to an escaped line break", bit 4 the quote is "'", bits
// 5.. the level of a long bracket.
constexpr uint32_t st_kind = 7;
constexpr uint32_t st_long_string = 1, st_long_comment = 2, st_quoted = 3, st_quoted_skip = 4;
constexpr uint32_t st_skip_cr = 8, st_single_quote = 16;
constexpr int st_level_shift = 5;
constexpr uint32_t st_unknown = 0xffffffffu;  // a line start not read yet (never equal to a real state)

bool lex_blank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == 8; }
bool lex_space(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool lex_newline(uint8_t c) { return c == '\n' || c == '\r'; }
bool word_char(uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c >= 128;
}

// Quoted string text from p (inside the quotes) as the token counter reads
// it: ends after the closing quote or before a line break; a backslash
// escapes the next byte (a line break included) and "\z" skips white space
// (line breaks included). *next is the state the next line starts in.
const char* quoted_scan(const char* p, const char* end, bool newline_after, char quote, uint32_t* next) {
    const uint32_t quote_bit = quote == '\'' ? st_single_quote : 0;
    *next = editor_code_state_normal;
    while (p < end) {
        const uint8_t c = static_cast<uint8_t>(*p);
        if (c == static_cast<uint8_t>(quote)) return p + 1;
        if (lex_newline(c)) return p;
        if (c != '\\') {
            ++p;
            continue;
        }
        if (++p >= end) {
            // The backslash escapes the line break itself; a '\r' right after
            // it would make the pair "\n\r" and belongs to it too.
            if (newline_after) *next = st_quoted | st_skip_cr | quote_bit;
            return end;
        }
        const uint8_t e = static_cast<uint8_t>(*p++);
        if (lex_newline(e)) {
            if (p < end) {
                if (lex_newline(static_cast<uint8_t>(*p)) && static_cast<uint8_t>(*p) != e) ++p;
            } else if (newline_after) {
                *next = st_quoted | quote_bit;  // "\r" and the line's '\n' are one escaped break
                return end;
            }
        } else if (e == 'z') {
            while (p < end && lex_space(static_cast<uint8_t>(*p))) ++p;
            if (p >= end && newline_after) {
                *next = st_quoted_skip | quote_bit;
                return end;
            }
        }
    }
    return end;
}

uint8_t class_of(int tok, const char* start, bool first_on_line) {
    if (tok == tok_comment || tok == tok_eol) return code_class_comment;  // tok_eol here is a "//" comment
    if (tok == tok_string) return code_class_string;
    if (tok == tok_number) return code_class_number;
    if (tok == tok_api) return code_class_api;
    if (tok == tok_ident) return code_class_text;
    if ((tok >= tok_function && tok <= tok_break) || tok == tok_not || tok == tok_and || tok == tok_or ||
        tok == tok_literal)
        return code_class_keyword;
    if (tok == tok_compound || (tok == tok_ne && *start == '!') || (tok == '?' && first_on_line))
        return code_class_shorthand;
    return code_class_punct;
}

}  // namespace

editor_code_lex_state editor_code_lex_line(const char* line, size_t len, bool newline_after, editor_code_lex_state state,
                                           int* tokens, uint8_t* classes, size_t class_from, size_t class_count) {
    const char* p = line;
    const char* const end = line + len;
    auto mark = [&](const char* s, const char* e, uint8_t cls) {
        if (!classes) return;
        const size_t a = std::max(size_t(s - line), class_from);
        const size_t b = std::min(size_t(e - line), class_from + class_count);
        for (size_t k = a; k < b; ++k) classes[k - class_from] = cls;
    };
    auto count = [&](int tok) {
        if (tokens && !vexel_token_is_free(tok)) ++*tokens;
    };

    // The rest of a token that began on an earlier line.
    const uint32_t kind = state & st_kind;
    if (kind == st_long_string || kind == st_long_comment) {
        const uint8_t cls = kind == st_long_string ? code_class_string : code_class_comment;
        const char* q = vexel_long_bracket_find_close(p, end, long(state >> st_level_shift));
        mark(p, q ? q : end, cls);
        if (!q) return state;
        p = q;
    } else if (kind == st_quoted || kind == st_quoted_skip) {
        const char quote = (state & st_single_quote) ? '\'' : '"';
        if ((state & st_skip_cr) && p < end && *p == '\r') ++p;
        if (kind == st_quoted_skip) {
            while (p < end && lex_space(static_cast<uint8_t>(*p))) ++p;
            if (p >= end) {
                mark(line, end, code_class_string);
                return newline_after ? state : editor_code_state_normal;
            }
        }
        uint32_t next = editor_code_state_normal;
        const char* q = quoted_scan(p, end, newline_after, quote, &next);
        mark(line, q, code_class_string);
        if (next != editor_code_state_normal) return next;
        p = q;
    }

    bool first = true;  // no token read yet on this line (comments aside)
    for (;;) {
        while (p < end && lex_blank(static_cast<uint8_t>(*p))) ++p;
        if (p >= end) break;
        const char* s = p;
        const char* body = nullptr;
        uint32_t next = editor_code_state_normal;
        int tok;
        long level;
        if (*p == '"' || *p == '\'') {
            p = quoted_scan(p + 1, end, newline_after, *p, &next);
            tok = tok_string;
        } else if (*p == '[' && (level = vexel_long_bracket_open(p, end, &body)) >= 0) {
            const char* q = vexel_long_bracket_find_close(body, end, level);
            if (!q) next = st_long_string | uint32_t(level) << st_level_shift;
            p = q ? q : end;
            tok = tok_string;
        } else if (*p == '-' && p + 1 < end && p[1] == '-' && (level = vexel_long_bracket_open(p + 2, end, &body)) >= 0) {
            const char* q = vexel_long_bracket_find_close(body, end, level);
            if (!q) next = st_long_comment | uint32_t(level) << st_level_shift;
            p = q ? q : end;
            tok = tok_comment;
        } else {
            vexel_lexeme lx = vexel_lex(p, end, true);
            // A numeral running into the end of the line with a bare exponent
            // ("1e", "0x1p-") reads differently when the newline follows: read
            // it again with the newline in place.
            if (lx.tok == tok_number && lx.end == end && newline_after) {
                char tail[code_window_max + 2];
                const size_t n = size_t(end - p);
                if (n <= code_window_max) {
                    std::memcpy(tail, p, n);
                    tail[n] = '\n';
                    const vexel_lexeme again = vexel_lex(tail, tail + n + 1, true);
                    lx.end = p + (again.end - tail);
                }
            }
            tok = lx.tok;
            p = std::min(std::max(lx.end, s + 1), end);
        }
        count(tok);
        mark(s, p, class_of(tok, s, first));
        if (tok != tok_comment && tok != tok_eol) first = false;
        if (next != editor_code_state_normal) return newline_after ? next : editor_code_state_normal;
    }
    return editor_code_state_normal;
}

namespace {

// ---- the editor's state ----------------------------------------------------------

struct tab_view {
    uint32_t cursor = 0, anchor = 0;
    int scroll_line = 0, scroll_col = 0;
};

// The token count of a tab that is not open, for the state it starts in.
struct tab_count {
    bool valid = false;
    editor_code_lex_state start = 0, end = 0;
    int tokens = 0;
};

enum edit_kind { edit_none, edit_typing, edit_deleting };
// The line under the text: find, go to line, and find-and-replace in two
// steps (the text to find, then what to put in its place).
enum field_mode { field_none, field_find, field_goto, field_replace_find, field_replace_with };

struct code_editor {
    vexel_machine* m = nullptr;
    int tab = 0;
    tab_view views[vexel_code_tabs];
    uint32_t len[vexel_code_tabs] = {};
    uint64_t seen = 0;  // fingerprint of the tabs as the editor last left them

    // The open tab's lines: start offsets; the lexer state at each start
    // (states[lines] is the state after the last line); tokens per line.
    std::vector<uint32_t> starts{0};
    std::vector<editor_code_lex_state> states{0, 0};
    std::vector<int> line_tokens{0};
    int tab_tokens = 0;
    tab_count counts[vexel_code_tabs];

    int frame = 0, blink_from = 0;
    edit_kind run = edit_none;
    int run_frame = 0;
    int want_x = -1;  // pixel column Up and Down keep (-1: take the cursor's)
    bool dragging = false;
    bool changed = false;  // the text changed during this update

    field_mode field = field_none;
    std::string field_text, find_text, replace_text;

    uint64_t version = 1, packed_version = 0;
    int packed_frame = 0;  // when the compressed size was last worked out
    int edit_frame = 0;
    int compressed = 0;
    std::vector<char> joined;     // the joined program, for the compressed size
    std::vector<uint8_t> packed;

    // What the program's #include files add to the counters, so that they
    // show what `info` and the run's limit check count: the joined program's
    // tokens and characters less the own tabs' (the tabs are counted
    // incrementally; the files only when an include line or a file
    // changes). include_stamp is the files' sizes and times when read.
    bool has_includes = false;
    bool includes_dirty = true;
    uint64_t include_version = 0;
    int include_checked_frame = 0;
    int include_tokens = 0, include_chars = 0;
    std::string include_folder;
    std::vector<std::string> include_files;
    std::string include_stamp;
    std::string joined_text;  // the program with its files, for the compressed size (when it has includes)

    const fenn_pod* advance_font = nullptr;
    bool advances_set = false;
    uint8_t advance[256] = {};
};

}  // namespace

struct editor_code_state {
    code_editor ed;
};
editor_code_state* editor_code_state_new() { return new editor_code_state; }
void editor_code_state_free(editor_code_state* s) { delete s; }

namespace {

// This editor's record in the studio the frame works on (editor.h); the
// page is driven only while one is bound.
code_editor& ed() { return editor_studio_current()->code->ed; }

bool usable(const vexel_machine* m) {
    if (!m) return false;
    for (const char* t : m->code_tabs)
        if (!t) return false;
    return true;
}

char* text() { return ed().m->code_tabs[ed().tab]; }
uint32_t text_len() { return ed().len[ed().tab]; }
tab_view& view() { return ed().views[ed().tab]; }
int line_count() { return int(ed().starts.size()); }

int gutter_digits() {
    int digits = 1;
    for (int n = line_count(); n >= 10; n /= 10) ++digits;
    return std::max(digits, code_gutter_min_digits);
}
// Where the text starts: after the gutter and a pixel of room.
int text_x0() { return gutter_digits() * code_digit_w + 2; }

// Taken after every keystroke over the whole program, so eight bytes a
// step: a byte at a time, its chain of multiplies was most of a keystroke's
// time on a full program (bench_editor_code_bench, keystroke and redraw
// 0.130 -> 0.070 ms). Compared only with earlier values of itself.
uint64_t fingerprint(const vexel_machine* m) {
    constexpr uint64_t mul = 0x9e3779b97f4a7c15ull;
    uint64_t h = 1469598103934665603ull;
    for (const char* t : m->code_tabs) {
        const size_t n = std::strlen(t);
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t w;
            std::memcpy(&w, t + i, 8);
            h = (h ^ w) * mul;
            h ^= h >> 29;
        }
        uint64_t rest = 0;
        std::memcpy(&rest, t + i, n - i);
        h = (h ^ rest) * mul;
        h = (h ^ h >> 29 ^ n) * mul;  // the length ends each tab
    }
    return h;
}

void set_advances(const fenn_pod* font) {
    if (ed().advances_set && ed().advance_font == font) return;
    ed().advance_font = font;
    ed().advances_set = true;
    for (int c = 0; c < 256; ++c) {
        const fenn_bitmap* g = fenn_font_glyph(font, c);
        ed().advance[c] = uint8_t(g ? std::min(g->w + fenn_font_spacing, 255)
                                  : c >= 128 ? code_wide_advance : code_narrow_advance);
    }
}
int advance_of(uint8_t c) { return ed().advance[c]; }

// ---- lines -------------------------------------------------------------------------

int line_of(uint32_t pos) {
    return int(std::upper_bound(ed().starts.begin(), ed().starts.end(), pos) - ed().starts.begin()) - 1;
}
uint32_t line_start(int i) { return ed().starts[size_t(i)]; }
uint32_t line_end(int i) { return i + 1 < line_count() ? ed().starts[size_t(i) + 1] - 1 : text_len(); }
int col_of(uint32_t pos) { return int(pos - line_start(line_of(pos))); }

// Every line of the program reads as if a line break followed it: the last
// line of a tab is followed by the separator line in the joined program.
int lex_tab_line(int i, editor_code_lex_state state, editor_code_lex_state* next) {
    int tokens = 0;
    *next = editor_code_lex_line(text() + line_start(i), line_end(i) - line_start(i), true, state, &tokens);
    return tokens;
}

// Reads lines again from `first` until the state at a line start past
// `last_changed` comes out as it was.
void relex_from(int first, int last_changed) {
    for (int i = first; i < line_count(); ++i) {
        editor_code_lex_state next;
        const int tokens = lex_tab_line(i, ed().states[size_t(i)], &next);
        ed().tab_tokens += tokens - ed().line_tokens[size_t(i)];
        ed().line_tokens[size_t(i)] = tokens;
        const bool same = ed().states[size_t(i) + 1] == next;
        ed().states[size_t(i) + 1] = next;
        if (same && i >= last_changed) break;
    }
}

// The state after a separator line that starts in `state`.
editor_code_lex_state separator_state(editor_code_lex_state state) {
    static const char separator_line[] = "-->8";
    return editor_code_lex_line(separator_line, 4, true, state, nullptr);
}

// Token count and end state of tab t (not the open one) starting in `start`.
const tab_count& count_tab(int t, editor_code_lex_state start) {
    tab_count& c = ed().counts[t];
    if (c.valid && c.start == start) return c;
    c = tab_count{true, start, start, 0};
    const char* p = ed().m->code_tabs[t];
    const char* end = p + ed().len[t];
    for (;;) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* e = nl ? nl : end;
        c.end = editor_code_lex_line(p, size_t(e - p), true, c.end, &c.tokens);
        if (!nl) break;
        p = nl + 1;
    }
    return c;
}

// The state tab `tab` starts in: the tabs before it (and their separators)
// read in order.
editor_code_lex_state chain_start(int tab) {
    editor_code_lex_state s = editor_code_state_normal;
    for (int t = 0; t < tab; ++t) s = separator_state(count_tab(t, s).end);
    return s;
}

void index_rebuild() {
    ed().starts.assign(1, 0);
    const char* t = text();
    for (uint32_t i = 0; i < text_len(); ++i)
        if (t[i] == '\n') ed().starts.push_back(i + 1);
    ed().states.assign(ed().starts.size() + 1, st_unknown);
    ed().states[0] = chain_start(ed().tab);
    ed().line_tokens.assign(ed().starts.size(), 0);
    ed().tab_tokens = 0;
    relex_from(0, line_count());
}

// The index after n bytes s went in at pos (the text already changed).
void index_inserted(uint32_t pos, const char* s, uint32_t n) {
    const int l = line_of(pos);
    for (size_t i = size_t(l) + 1; i < ed().starts.size(); ++i) ed().starts[i] += n;
    std::vector<uint32_t> added;
    for (uint32_t k = 0; k < n; ++k)
        if (s[k] == '\n') added.push_back(pos + k + 1);
    if (!added.empty()) {
        const size_t at = size_t(l) + 1;
        ed().starts.insert(ed().starts.begin() + ptrdiff_t(at), added.begin(), added.end());
        ed().states.insert(ed().states.begin() + ptrdiff_t(at), added.size(), st_unknown);
        ed().line_tokens.insert(ed().line_tokens.begin() + ptrdiff_t(at), added.size(), 0);
    }
    relex_from(l, l + int(added.size()));
}

// The index after bytes [a, b) went out (the text already changed).
void index_erased(uint32_t a, uint32_t b) {
    const int la = line_of(a);
    int lb = la;
    while (lb + 1 < line_count() && ed().starts[size_t(lb) + 1] <= b) ++lb;
    if (lb > la) {
        for (int i = la + 1; i <= lb; ++i) ed().tab_tokens -= ed().line_tokens[size_t(i)];
        ed().starts.erase(ed().starts.begin() + la + 1, ed().starts.begin() + lb + 1);
        ed().states.erase(ed().states.begin() + la + 1, ed().states.begin() + lb + 1);
        ed().line_tokens.erase(ed().line_tokens.begin() + la + 1, ed().line_tokens.begin() + lb + 1);
    }
    for (size_t i = size_t(la) + 1; i < ed().starts.size(); ++i) ed().starts[i] -= b - a;
    relex_from(la, la);
}

// ---- the tabs ----------------------------------------------------------------------

// Tabs the program has: up to the last non-empty one, or the open one.
int used_tabs() {
    int used = ed().tab + 1;
    for (int t = ed().tab + 1; t < vexel_code_tabs; ++t)
        if (ed().len[t]) used = t + 1;
    return used;
}

long joined_length() {
    const int used = used_tabs();
    long n = long(code_tab_separator_len) * (used - 1);
    for (int t = 0; t < used; ++t) n += ed().len[t];
    return n;
}

bool room_for(long grow) {
    if (grow <= 0 || joined_length() + grow <= vexel_code_max) return true;
    editor_message(code_limit_message);
    return false;
}

int visible_lines() { return ((ed().field != field_none ? code_field_y : editor_body_y1) - code_text_y0) / code_line_h; }

void clamp_view(tab_view& v, uint32_t len) {
    v.cursor = std::min(v.cursor, len);
    v.anchor = std::min(v.anchor, len);
    v.scroll_line = std::max(v.scroll_line, 0);
    v.scroll_col = std::max(v.scroll_col, 0);
}

// Re-reads the tabs (the program may have changed while the editor was
// closed); a program changed elsewhere (a cartridge loaded) starts every
// tab's view afresh.
void sync(vexel_machine* m) {
    if (ed().m != m) {
        ed() = code_editor{};
        ed().m = m;
        ed().joined.assign(size_t(vexel_code_buffer), 0);
        ed().packed.assign(compress_mini_bound(size_t(vexel_code_max)), 0);
    }
    set_advances(m->console_font);
    const uint64_t now = fingerprint(m);
    if (now != ed().seen)
        for (tab_view& v : ed().views) v = tab_view{};
    ed().seen = now;
    ed().tab = std::clamp(vexel_current_code_tab(m), 0, vexel_code_tabs - 1);
    for (int t = 0; t < vexel_code_tabs; ++t) {
        ed().len[t] = uint32_t(std::strlen(m->code_tabs[t]));
        ed().counts[t].valid = false;
        clamp_view(ed().views[t], ed().len[t]);
    }
    index_rebuild();
    view().scroll_line = std::min(view().scroll_line, std::max(0, line_count() - 1));
    ++ed().version;
    ed().includes_dirty = true;  // the program, its file or the files beside it may be others now
    ed().run = edit_none;
    ed().dragging = false;
    ed().want_x = -1;
}

bool bound(vexel_machine* m) {
    if (!usable(m)) return false;
    // Read afresh when the open tab is not where the editor left it (a
    // cartridge loaded without the editor being opened again): cheap signs
    // only, so that no frame pays for reading the whole program.
    if (ed().m != m || ed().tab != vexel_current_code_tab(m) || m->code_tabs[ed().tab][ed().len[ed().tab]] != 0) sync(m);
    set_advances(m->console_font);
    return true;
}

// ---- cursor ------------------------------------------------------------------------

uint32_t sel_from() { return std::min(view().cursor, view().anchor); }
uint32_t sel_to() { return std::max(view().cursor, view().anchor); }
bool has_selection() { return view().cursor != view().anchor; }

// Pixels from the start of line i to byte `col` of it.
int width_to(int i, int from_col, int col) {
    const char* t = text() + line_start(i);
    int w = 0;
    for (int k = from_col; k < col; ++k) w += advance_of(static_cast<uint8_t>(t[k]));
    return w;
}

// The byte of line i nearest to pixel column x (from the line's byte from_col).
int col_at(int i, int from_col, int x) {
    const char* t = text() + line_start(i);
    const int n = int(line_end(i) - line_start(i));
    int col = std::min(from_col, n), at = 0;
    while (col < n) {
        const int a = advance_of(static_cast<uint8_t>(t[col]));
        if (x < at + a / 2) break;
        at += a;
        ++col;
    }
    return col;
}

void ensure_visible() {
    tab_view& v = view();
    const int line = line_of(v.cursor), col = col_of(v.cursor);
    const int rows = visible_lines();
    if (line < v.scroll_line) v.scroll_line = line;
    if (line >= v.scroll_line + rows) v.scroll_line = line - rows + 1;
    if (col < v.scroll_col) v.scroll_col = std::max(0, col - code_hscroll_margin);
    // Keep the cursor (and the character under it) inside the width.
    const char* t = text() + line_start(line);
    const int under = v.cursor < line_end(line) ? advance_of(static_cast<uint8_t>(t[col])) : code_narrow_advance;
    int w = width_to(line, v.scroll_col, col) + under;
    while (w > 128 - text_x0() && v.scroll_col < col) w -= advance_of(static_cast<uint8_t>(t[v.scroll_col++]));
}

void touch() { ed().blink_from = ed().frame; }

void move_to(uint32_t pos, bool extend, bool keep_x = false) {
    tab_view& v = view();
    v.cursor = std::min(pos, text_len());
    if (!extend) v.anchor = v.cursor;
    if (!keep_x) ed().want_x = -1;
    ed().run = edit_none;
    touch();
    ensure_visible();
}

// Up or down by `lines`, keeping the pixel column.
void move_lines(int lines, bool extend) {
    const int line = line_of(view().cursor);
    if (ed().want_x < 0) ed().want_x = width_to(line, 0, col_of(view().cursor));
    const int target = std::clamp(line + lines, 0, line_count() - 1);
    if (target == line) {
        move_to(lines < 0 ? 0 : text_len(), extend);
        return;
    }
    move_to(line_start(target) + uint32_t(col_at(target, 0, ed().want_x)), extend, true);
}

uint32_t word_right(uint32_t p) {
    const char* t = text();
    while (p < text_len() && !word_char(static_cast<uint8_t>(t[p]))) ++p;
    while (p < text_len() && word_char(static_cast<uint8_t>(t[p]))) ++p;
    return p;
}

uint32_t word_left(uint32_t p) {
    const char* t = text();
    while (p > 0 && !word_char(static_cast<uint8_t>(t[p - 1]))) --p;
    while (p > 0 && word_char(static_cast<uint8_t>(t[p - 1]))) --p;
    return p;
}

// Home goes to the first non-blank of the line, or to its start when
// already there.
uint32_t home_of(uint32_t pos) {
    const int line = line_of(pos);
    uint32_t p = line_start(line);
    while (p < line_end(line) && (text()[p] == ' ' || text()[p] == '\t')) ++p;
    return pos == p ? line_start(line) : p;
}

// ---- edits -------------------------------------------------------------------------

// An undo step before an edit of `kind`, unless it continues a run of the
// same kind (typing, or deleting) without a pause; `force` always starts one.
void begin_edit(edit_kind kind, bool force) {
    if (force || kind == edit_none || kind != ed().run || ed().frame - ed().run_frame > code_run_pause_frames)
        editor_checkpoint(ed().m);
    ed().run = kind;
    ed().run_frame = ed().frame;
}

void text_changed() {
    ed().changed = true;
    ++ed().version;
    ed().edit_frame = ed().frame;
    ed().counts[ed().tab].valid = false;  // later tabs recount themselves if their start state moves
    touch();
}

// Whether a line of [l0, l1] starts with '#': an include line, or one an
// edit may be turning into one or out of one. A long range is taken as yes.
bool hash_line_among(int l0, int l1) {
    if (l1 - l0 > code_include_scan_lines) return true;
    const char* t = text();
    for (int i = l0; i <= l1; ++i) {
        uint32_t p = line_start(i);
        const uint32_t e = line_end(i);
        while (p < e && (t[p] == ' ' || t[p] == '\t')) ++p;
        if (p < e && t[p] == '#') return true;
    }
    return false;
}

// Replaces bytes [a, b) of the open tab with s[0, n). The caller checked
// the room.
void replace(uint32_t a, uint32_t b, const char* s, uint32_t n) {
    char* t = text();
    const uint32_t len = text_len();
    if (!ed().includes_dirty && hash_line_among(line_of(a), line_of(b))) ed().includes_dirty = true;
    if (b > a) {
        std::memmove(t + a, t + b, len - b + 1);
        ed().len[ed().tab] = len - (b - a);
        index_erased(a, b);
    }
    if (n > 0) {
        const uint32_t now = text_len();
        std::memmove(t + a + n, t + a, now - a + 1);
        std::memcpy(t + a, s, n);
        ed().len[ed().tab] = now + n;
        index_inserted(a, s, n);
    }
    if (!ed().includes_dirty && hash_line_among(line_of(a), line_of(a + n))) ed().includes_dirty = true;
    // Cursors of other tabs are untouched; this tab's other end follows.
    view().cursor = view().anchor = a + n;
    text_changed();
}

// Puts s[0, n) in place of the selection as one edit of `kind`.
bool put_text(const char* s, uint32_t n, edit_kind kind, bool checkpoint = true) {
    const uint32_t a = sel_from(), b = sel_to();
    if (!room_for(long(n) - long(b - a))) return false;
    if (checkpoint) begin_edit(kind, b > a);
    if (b > a) ed().run = kind;  // typing over a selection goes on as one run
    replace(a, b, s, n);
    ed().want_x = -1;
    ensure_visible();
    return true;
}

void type_byte(uint8_t c) {
    const char ch = char(c);
    put_text(&ch, 1, edit_typing);
}

void type_enter() {
    // The new line starts with the old one's indentation (as far as the cursor).
    const uint32_t from = sel_from();
    const int line = line_of(from);
    std::string s = "\n";
    for (uint32_t p = line_start(line); p < from && (text()[p] == ' ' || text()[p] == '\t'); ++p) s += text()[p];
    put_text(s.data(), uint32_t(s.size()), edit_typing);
    // Enter ends the run: one undo step is at most the line typed, not
    // several lines typed without a pause.
    ed().run = edit_none;
}

void delete_back(bool forward) {
    if (has_selection()) {
        put_text(nullptr, 0, edit_none);
        return;
    }
    const uint32_t c = view().cursor;
    if (forward ? c >= text_len() : c == 0) return;
    begin_edit(edit_deleting, false);
    view().anchor = forward ? c + 1 : c - 1;
    replace(sel_from(), sel_to(), nullptr, 0);
    ed().want_x = -1;
    ensure_visible();
}

// Tab and Shift+Tab on the lines of the selection (or the cursor's line):
// one indent character more or less at the start of each.
void indent(bool out) {
    const uint32_t a = sel_from(), b = sel_to();
    const bool selection = b > a;
    const int l0 = line_of(a);
    int l1 = line_of(b);
    if (selection && l1 > l0 && b == line_start(l1)) --l1;  // a selection ending at a line start leaves that line
    std::string block;
    int cursor_shift = 0;
    for (int i = l0; i <= l1; ++i) {
        const char* t = text() + line_start(i);
        const uint32_t n = line_end(i) - line_start(i);
        uint32_t skip = 0;
        if (out && n > 0 && (t[0] == ' ' || t[0] == '\t')) skip = 1;
        else if (!out && n > 0) block += code_indent_char;
        block.append(t + skip, n - skip);
        if (i == l0) cursor_shift = out ? -int(skip) : (n > 0 ? 1 : 0);
        if (i < l1) block += '\n';
    }
    const uint32_t from = line_start(l0), to = line_end(l1);
    if (block.size() == to - from) return;  // nothing to unindent
    if (!room_for(long(block.size()) - long(to - from))) return;
    const uint32_t old_cursor = view().cursor;
    begin_edit(edit_none, true);
    ed().run = edit_none;
    replace(from, to, block.data(), uint32_t(block.size()));
    if (selection) {
        view().anchor = from;
        view().cursor = from + uint32_t(block.size());
    } else {
        const long c = long(old_cursor) + cursor_shift;
        view().cursor = view().anchor = uint32_t(std::max(long(from), c));
    }
    ensure_visible();
}

// ---- tabs of the program ----------------------------------------------------------

void open_tab(int t) {
    t = std::clamp(t, 0, vexel_code_tabs - 1);
    if (t == ed().tab) return;
    // Leaving: this tab's count holds for its start state.
    tab_count& c = ed().counts[ed().tab];
    c = tab_count{true, ed().states[0], ed().states[size_t(line_count())], ed().tab_tokens};
    vexel_select_code_tab(ed().m, t);
    ed().tab = t;
    clamp_view(view(), text_len());
    index_rebuild();
    ed().run = edit_none;
    ed().want_x = -1;
    ed().dragging = false;
    ed().changed = true;  // the joined program counts the open tab even when empty
    ++ed().version;
    touch();
}

void new_tab() {
    const int used = used_tabs();
    if (used >= vexel_code_tabs) {
        editor_message("no more tabs");
        return;
    }
    if (!room_for(long(code_tab_separator_len))) return;  // one separator more
    open_tab(used);
}

void cycle_tab(int step) {
    const int used = used_tabs();
    open_tab((ed().tab + step + used) % used);
}

// The code tab boxes: label "0".."15", then "+" (x0, x1 inclusive).
int tab_label_w(int t) { return t < 10 ? 3 : 7; }
void tab_box(int t, int* x0, int* x1) {
    int x = 1;
    for (int k = 0; k < t; ++k) x += tab_label_w(k) + 3;
    *x0 = x;
    *x1 = x + (t < vexel_code_tabs ? tab_label_w(t) : 3) + 1;
}

// ---- search ------------------------------------------------------------------------

// The next match of the find text after the cursor, wrapping round to the
// start of the tab; selects it.
void find_next() {
    if (ed().find_text.empty()) {
        editor_message("nothing to find");
        return;
    }
    const char* t = text();
    const std::string_view hay(t, text_len());
    const uint32_t from = has_selection() ? sel_from() + 1 : view().cursor;
    size_t at = from <= hay.size() ? hay.find(ed().find_text, from) : std::string_view::npos;
    if (at == std::string_view::npos) at = hay.find(ed().find_text);
    if (at == std::string_view::npos) {
        editor_message("not found");
        return;
    }
    view().anchor = uint32_t(at);
    view().cursor = uint32_t(at + ed().find_text.size());
    ed().run = edit_none;
    ed().want_x = -1;
    touch();
    ensure_visible();
}

void go_to_line(int line) {
    line = std::clamp(line, 1, line_count());
    move_to(line_start(line - 1), false);
    // Show the line with some of what comes before it.
    tab_view& v = view();
    v.scroll_line = std::max(0, std::min(line - 1 - visible_lines() / 3, line_count() - visible_lines()));
    ensure_visible();
}

// Replaces the selected match (when the selection is the find text) and
// selects the next one; a first Enter only finds.
void replace_one() {
    const std::string_view selected(text() + sel_from(), sel_to() - sel_from());
    if (ed().find_text.empty() || selected != ed().find_text) {
        find_next();
        return;
    }
    const std::string& r = ed().replace_text;
    if (!room_for(long(r.size()) - long(selected.size()))) return;
    begin_edit(edit_none, true);
    replace(sel_from(), sel_to(), r.data(), uint32_t(r.size()));
    ed().run = edit_none;
    ed().want_x = -1;
    ensure_visible();
    editor_message("replaced 1");
    // The next match, without wrapping back over what was put in.
    const size_t at = std::string_view(text(), text_len()).find(ed().find_text, view().cursor);
    if (at != std::string_view::npos) {
        view().anchor = uint32_t(at);
        view().cursor = uint32_t(at + ed().find_text.size());
        ensure_visible();
    }
}

// Every match of the open tab at once: one undo step, and a message saying
// how many.
void replace_all() {
    if (ed().find_text.empty()) {
        editor_message("nothing to find");
        return;
    }
    const std::string_view hay(text(), text_len());
    std::string out;
    int count = 0;
    size_t from = 0;
    for (size_t at; (at = hay.find(ed().find_text, from)) != std::string_view::npos; from = at + ed().find_text.size()) {
        out.append(hay.substr(from, at - from));
        out += ed().replace_text;
        ++count;
    }
    if (count == 0) {
        editor_message("not found");
        return;
    }
    out.append(hay.substr(from));
    if (!room_for(long(out.size()) - long(hay.size()))) return;
    const uint32_t cursor = view().cursor;
    begin_edit(edit_none, true);
    replace(0, text_len(), out.data(), uint32_t(out.size()));
    ed().run = edit_none;
    view().cursor = view().anchor = std::min(cursor, text_len());
    ed().want_x = -1;
    ensure_visible();
    char msg[40];
    std::snprintf(msg, sizeof msg, "replaced %d", count);
    editor_message(msg);
}

void field_key(int key, bool shift) {
    std::string& f = ed().field_text;
    if (key == 13) {
        if (ed().field == field_find) {
            ed().find_text = f;
            find_next();
        } else if (ed().field == field_replace_find) {
            ed().find_text = f;
            find_next();
            ed().field = field_replace_with;
            ed().field_text = ed().replace_text;
            editor_message("enter: replace, shift+enter: all");
        } else if (ed().field == field_replace_with) {
            ed().replace_text = f;
            if (shift) replace_all();
            else replace_one();
        } else {
            go_to_line(std::atoi(f.c_str()));
            ed().field = field_none;
        }
    } else if (key == 8) {
        if (!f.empty()) f.pop_back();
    } else if (ed().field == field_goto) {
        if (key >= '0' && key <= '9' && f.size() < 5) f += char(key);
    } else if (f.size() < size_t(code_window_max)) {
        if (key >= 32 && key < 127) {
            f += char(key);
        } else if (key >= fenn_typed_unicode) {
            const int b = cart_glyph_from_codepoint(uint32_t(key - fenn_typed_unicode));
            if (b >= 0 && cart_is_glyph(uint8_t(b))) f += char(b);
        }
    }
}

void open_field(field_mode mode) {
    const bool replacing = ed().field == field_replace_find || ed().field == field_replace_with;
    if (ed().field == mode || (mode == field_replace_find && replacing)) {
        ed().field = field_none;
        return;
    }
    ed().field = mode;
    const bool finding = mode == field_find || mode == field_replace_find;
    ed().field_text = finding ? ed().find_text : std::string();
    // A selection within a line is what one most likely wants to find.
    if (finding && has_selection() && line_of(sel_from()) == line_of(sel_to()) &&
        sel_to() - sel_from() <= uint32_t(code_window_max))
        ed().field_text.assign(text() + sel_from(), sel_to() - sel_from());
    ensure_visible();  // the text area is a line shorter now
}

// ---- input -------------------------------------------------------------------------

void typed_key(const editor_input& in, int key) {
    if (key == 13) {
        type_enter();
    } else if (key == 8) {
        delete_back(false);
    } else if (key == 9) {
        if (in.shift || has_selection()) indent(in.shift);
        else type_byte(uint8_t(code_indent_char));
    } else if (key >= 'A' && key <= 'Z' && in.shift && in.settings.shift_glyphs) {
        type_byte(uint8_t(code_shift_glyph_first + (key - 'A')));
    } else if (key >= 32 && key < 127) {
        type_byte(uint8_t(key));
    } else if (key >= fenn_typed_unicode) {
        // Text beyond ASCII: a glyph of the machine, or '?' for a character
        // it has not (the selector of an emoji form types nothing).
        const uint32_t cp = uint32_t(key - fenn_typed_unicode);
        if (cp == cart_emoji_selector) return;
        const int b = cart_glyph_from_codepoint(cp);
        type_byte(uint8_t(b >= 0 && cart_is_glyph(uint8_t(b)) ? b : cart_unknown_char));
    }
}

// Arrows, Home/End, Page Up/Down and Delete; true when one was pressed.
bool navigation(const editor_input& in) {
    const bool shift = in.shift, ctrl = in.ctrl;
    const uint32_t c = view().cursor;
    bool any = false;
    auto key = [&](int sc) {
        const bool on = editor_pressed(in, sc);
        any = any || on;
        return on;
    };
    // Without Shift, Left and Right first collapse a selection to its end.
    if (key(SDL_SCANCODE_LEFT)) {
        if (ctrl) move_to(word_left(c), shift);
        else move_to(!shift && has_selection() ? sel_from() : c > 0 ? c - 1 : 0, shift);
    }
    if (key(SDL_SCANCODE_RIGHT)) {
        if (ctrl) move_to(word_right(view().cursor), shift);
        else move_to(!shift && has_selection() ? sel_to() : std::min(view().cursor + 1, text_len()), shift);
    }
    if (key(SDL_SCANCODE_UP)) move_lines(-1, shift);
    if (key(SDL_SCANCODE_DOWN)) move_lines(1, shift);
    if (key(SDL_SCANCODE_PAGEUP) || key(SDL_SCANCODE_PAGEDOWN)) {
        const int page = visible_lines();
        const int step = editor_pressed(in, SDL_SCANCODE_PAGEUP) ? -page : page;
        view().scroll_line = std::clamp(view().scroll_line + step, 0, std::max(0, line_count() - page));
        move_lines(step, shift);
    }
    if (key(SDL_SCANCODE_HOME)) move_to(ctrl ? 0 : home_of(view().cursor), shift);
    if (key(SDL_SCANCODE_END)) move_to(ctrl ? text_len() : line_end(line_of(view().cursor)), shift);
    if (key(SDL_SCANCODE_DELETE)) delete_back(true);
    return any;
}

bool in_text_area(int x, int y) {
    const int bottom = ed().field != field_none ? code_field_y : editor_body_y1;
    return x >= 0 && x < 128 && y >= code_text_y0 && y < bottom;
}

uint32_t pos_at(int x, int y) {
    const tab_view& v = view();
    const int row = y < code_text_y0 ? -1 : (y - code_text_y0) / code_line_h;
    const int line = std::clamp(v.scroll_line + row, 0, line_count() - 1);
    int col;
    if (x < text_x0() && v.scroll_col > 0) col = std::min(v.scroll_col - 1, int(line_end(line) - line_start(line)));
    else col = col_at(line, v.scroll_col, x - text_x0());
    return line_start(line) + uint32_t(col);
}

void mouse(const editor_input& in) {
    tab_view& v = view();
    if (in.wheel_y) v.scroll_line = std::clamp(v.scroll_line - in.wheel_y * code_wheel_lines, 0,
                                               std::max(0, line_count() - visible_lines()));
    if (in.wheel_x) v.scroll_col = std::max(0, v.scroll_col + in.wheel_x * code_wheel_lines);
    if (in.went_down & fenn_mouse_left) {
        const int y = in.mouse_y, x = in.mouse_x;
        if (y >= code_tabbar_y && y < code_tabbar_y + code_tabbar_h) {
            const int used = used_tabs();
            for (int t = 0; t <= used && t < vexel_code_tabs; ++t) {
                int x0, x1;
                tab_box(t, &x0, &x1);
                if (x < x0 || x > x1) continue;
                if (t < used) open_tab(t);
                else new_tab();
                break;
            }
            return;
        }
        if (in_text_area(x, y)) {
            ed().field = field_none;
            move_to(pos_at(x, y), in.shift);
            ed().dragging = true;
            return;
        }
    }
    if (ed().dragging) {
        if (!(in.buttons & fenn_mouse_left)) {
            ed().dragging = false;
            return;
        }
        // Dragging past the top or the bottom scrolls.
        const uint32_t p = pos_at(in.mouse_x, in.mouse_y);
        if (p != view().cursor) move_to(p, true);
    }
}

}  // namespace

// ---- the page ------------------------------------------------------------------------

namespace {

void code_open(vexel_machine* m) {
    if (usable(m)) sync(m);
}

void code_update(vexel_machine* m, const editor_input& in) {
    if (!bound(m)) return;
    ++ed().frame;
    ed().changed = false;
    if (in.ctrl && editor_pressed(in, SDL_SCANCODE_TAB)) cycle_tab(in.shift ? -1 : 1);
    if (editor_ctrl_key(in, 'f')) open_field(field_find);
    if (editor_ctrl_key(in, 'l')) open_field(field_goto);
    if (editor_ctrl_key(in, 'h')) open_field(field_replace_find);
    if (editor_ctrl_key(in, 'a')) {
        view().anchor = 0;
        move_to(text_len(), true);
    }
    if (editor_pressed(in, SDL_SCANCODE_F3)) {
        if (ed().field == field_find || ed().field == field_replace_find) ed().find_text = ed().field_text;
        find_next();
    }
    mouse(in);
    for (int i = 0; i < in.key_count; ++i) {
        if (ed().field != field_none) field_key(in.keys[i], in.shift);
        else typed_key(in, in.keys[i]);
    }
    // The keys that move through the text hand it the keyboard back.
    if (navigation(in)) ed().field = field_none;
    if (ed().changed) {
        vexel_merge_code_from_tabs(m);
        ed().seen = fingerprint(m);
    }
}

void put_glyph(fenn_bitmap* page, const fenn_pod* font, uint8_t code, int x, int y, int colour) {
    const fenn_bitmap* g = fenn_font_glyph(font, code);
    if (!g || page->depth != 8) return;
    const int x0 = std::max(x, page->clip_x0), y0 = std::max(y, page->clip_y0);
    const int x1 = std::min(x + g->w, page->clip_x1), y1 = std::min(y + g->h, page->clip_y1);
    for (int py = y0; py < y1; ++py)
        for (int px = x0; px < x1; ++px) {
            const size_t gi = size_t(py - y) * size_t(g->w) + size_t(px - x);
            const uint32_t v = g->depth == 8 ? g->pix[gi] : g->pix32()[gi];
            if (v) page->pix[size_t(py) * size_t(page->w) + size_t(px)] = uint8_t(colour & 15);
        }
}

int put_label(fenn_bitmap* page, const fenn_pod* font, const char* s, int x, int y, int colour) {
    for (; *s; ++s) {
        put_glyph(page, font, static_cast<uint8_t>(*s), x, y, colour);
        x += advance_of(static_cast<uint8_t>(*s));
    }
    return x;
}

uint8_t colour_of(uint8_t cls, const editor_theme& th) {
    switch (cls) {
    case code_class_punct: return th.punct;
    case code_class_keyword:
    case code_class_shorthand: return th.keyword;
    case code_class_number: return th.number;
    case code_class_string: return th.string;
    case code_class_comment: return th.comment;
    case code_class_api: return th.api;
    default: return th.text;
    }
}

void draw_tabbar(fenn_bitmap* page, const fenn_pod* font, const editor_theme& th) {
    editor_fill(page, 0, code_tabbar_y, 127, code_tabbar_y + code_tabbar_h - 1, th.bar_bg);
    const int used = used_tabs();
    char label[12];
    for (int t = 0; t <= used && t < vexel_code_tabs; ++t) {
        int x0, x1;
        tab_box(t, &x0, &x1);
        const bool on = t == ed().tab;
        editor_fill(page, x0, code_tabbar_y + 1, x1, code_tabbar_y + code_tabbar_h - 2, on ? th.tab_active_bg : th.tab_bg);
        if (t < used) std::snprintf(label, sizeof label, "%d", t);
        else std::snprintf(label, sizeof label, "+");
        put_label(page, font, label, x0 + 1, code_tabbar_y + 1, on ? th.tab_active_fg : th.bar_fg);
    }
}

void draw_line(fenn_bitmap* page, const fenn_pod* font, const editor_theme& th, int i, int y, bool cursor_on) {
    const tab_view& v = view();
    const char* line = text() + line_start(i);
    const size_t n = line_end(i) - line_start(i);
    const size_t from = size_t(v.scroll_col);
    const size_t count = from < n ? std::min(n - from, size_t(code_window_max)) : 0;
    uint8_t classes[code_window_max];
    if (count) editor_code_lex_line(line, n, true, ed().states[size_t(i)], nullptr, classes, from, count);
    const uint32_t sa = sel_from(), sb = sel_to();
    int x = text_x0();
    for (size_t k = 0; k < count && x < 128; ++k) {
        const uint8_t c = static_cast<uint8_t>(line[from + k]);
        const int a = advance_of(c);
        const uint32_t pos = line_start(i) + uint32_t(from + k);
        if (pos >= sa && pos < sb) editor_fill(page, x - 1, y, x + a - 2, y + code_line_h - 1, th.selection);
        put_glyph(page, font, c, x, y + 1, colour_of(classes[k], th));
        x += a;
    }
    // A selected line break shows as a sliver after the line.
    if (line_end(i) < text_len() && line_end(i) >= sa && line_end(i) < sb && from <= n)
        editor_fill(page, x - 1, y, x, y + code_line_h - 1, th.selection);
    if (!cursor_on || line_of(v.cursor) != i) return;
    const int col = col_of(v.cursor);
    if (col < v.scroll_col) return;
    const int cx = text_x0() + width_to(i, v.scroll_col, col);
    const bool at_char = v.cursor < line_end(i);
    const int a = at_char ? advance_of(static_cast<uint8_t>(line[col])) : code_narrow_advance;
    editor_fill(page, cx - 1, y, cx + a - 2, y + code_line_h - 1, th.cursor);
    if (at_char) put_glyph(page, font, static_cast<uint8_t>(line[col]), cx, y + 1, th.body_bg);
}

void draw_field(fenn_bitmap* page, const fenn_pod* font, const editor_theme& th) {
    editor_fill(page, 0, code_field_y, 127, editor_body_y1 - 1, th.bar_bg);
    const char* label = ed().field == field_goto ? "line:" : ed().field == field_replace_with ? "with:" : "find:";
    int x = put_label(page, font, label, 1, code_field_y + 1, th.bar_fg);
    x += code_narrow_advance;
    // The end of a long query stays in sight.
    const std::string& f = ed().field_text;
    size_t first = 0;
    int w = 0;
    for (size_t k = f.size(); k > 0; --k) {
        w += advance_of(static_cast<uint8_t>(f[k - 1]));
        if (x + w > 123) {
            first = k;
            break;
        }
    }
    for (size_t k = first; k < f.size(); ++k) {
        put_glyph(page, font, static_cast<uint8_t>(f[k]), x, code_field_y + 1, th.tab_active_bg);
        x += advance_of(static_cast<uint8_t>(f[k]));
    }
    if (((ed().frame - ed().blink_from) / editor_code_blink_frames) % 2 == 0)
        editor_fill(page, x, code_field_y + 1, x + 2, code_field_y + 5, th.cursor);
}

// The line numbers of the rows shown, right-aligned, the cursor's line
// brighter.
void draw_gutter(fenn_bitmap* page, const fenn_pod* font, const editor_theme& th, int rows) {
    const tab_view& v = view();
    const int x1 = gutter_digits() * code_digit_w;
    const int cursor_line = line_of(v.cursor);
    char label[12];
    for (int r = 0; r < rows && v.scroll_line + r < line_count(); ++r) {
        const int i = v.scroll_line + r;
        const int n = std::snprintf(label, sizeof label, "%d", i + 1);
        put_label(page, font, label, x1 - n * code_digit_w + 1, code_text_y0 + r * code_line_h + 1,
                  i == cursor_line ? th.text : th.comment);
    }
}

void code_draw(vexel_machine* m, fenn_bitmap* page, const editor_theme& th) {
    if (!page || !bound(m)) return;
    // Only ever the body, whatever clip the page came with.
    const int cx0 = page->clip_x0, cy0 = page->clip_y0, cx1 = page->clip_x1, cy1 = page->clip_y1;
    fenn_set_clip(page, std::max(cx0, 0), std::max(cy0, editor_body_y0), std::min(cx1, 128),
                  std::min(cy1, editor_body_y1));
    const fenn_pod* font = m->console_font;
    draw_tabbar(page, font, th);
    const bool cursor_on = ed().field == field_none && ((ed().frame - ed().blink_from) / editor_code_blink_frames) % 2 == 0;
    const tab_view& v = view();
    const int rows = visible_lines();
    draw_gutter(page, font, th, rows);
    for (int r = 0; r < rows && v.scroll_line + r < line_count(); ++r)
        draw_line(page, font, th, v.scroll_line + r, code_text_y0 + r * code_line_h, cursor_on);
    if (ed().field != field_none) draw_field(page, font, th);
    fenn_set_clip(page, cx0, cy0, cx1, cy1);
}

// The included files' sizes and modification times, to notice a file
// changed beside the cartridge (read as bytes; only compared for equality).
std::string include_stamp_now() {
    std::string stamp;
    for (const std::string& f : ed().include_files) {
        std::error_code ec;
        const std::filesystem::path p(ed().include_folder + f);
        const auto size = std::filesystem::file_size(p, ec);
        const auto time = std::filesystem::last_write_time(p, ec);
        const long long ticks = ec ? -1 : static_cast<long long>(time.time_since_epoch().count());
        stamp += std::to_string(ec ? 0 : size) + ":" + std::to_string(ticks) + ";";
    }
    return stamp;
}

// Joins the program with its included files as `info` does and keeps what
// the files add to the own tabs' `tokens` and `chars`.
void refresh_includes(int tokens, int chars) {
    ed().includes_dirty = false;
    ed().include_version = ed().version;
    ed().include_checked_frame = ed().frame;
    const size_t n = code_tabs_merge(ed().m->code_tabs, vexel_code_tabs, ed().tab, ed().joined.data(), ed().joined.size());
    const bool had = ed().has_includes;
    ed().has_includes = n < ed().joined.size() && cart_has_includes(ed().joined.data());
    if (!ed().has_includes) {
        ed().include_tokens = ed().include_chars = 0;
        ed().include_files.clear();
        ed().include_stamp.clear();
        ed().joined_text.clear();
        if (had) ed().packed_version = 0;  // the compressed size was the joined program's
        return;
    }
    cart_joined_program joined = vexel_join_program(ed().m, ed().joined.data());
    ed().include_tokens = token_count(joined.text.data(), joined.text.size()) - tokens;
    ed().include_chars = int(joined.text.size()) - chars;
    const std::string name = ed().m->file.filename;
    const size_t slash = name.rfind('/');
    ed().include_folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    ed().include_files.assign(joined.files.begin() + (joined.files.empty() ? 0 : 1), joined.files.end());
    ed().include_stamp = include_stamp_now();
    if (ed().joined_text != joined.text) ed().packed_version = 0;  // the compressed size follows the files
    ed().joined_text = std::move(joined.text);
}

editor_code_counts counts_now(bool settle) {
    editor_code_counts c{};
    const int used = used_tabs();
    editor_code_lex_state s = editor_code_state_normal;
    for (int t = 0; t < used; ++t) {
        editor_code_lex_state end;
        if (t == ed().tab) {
            if (ed().states[0] != s) {
                ed().states[0] = s;
                relex_from(0, 0);
            }
            c.tokens += ed().tab_tokens;
            end = ed().states[size_t(line_count())];
        } else {
            const tab_count& tc = count_tab(t, s);
            c.tokens += tc.tokens;
            end = tc.end;
        }
        s = separator_state(end);
    }
    c.chars = int(joined_length());
    const bool idle = ed().frame - ed().edit_frame >= code_compress_idle_frames;
    // Someone typing without a pause still sees the size follow (a second
    // behind), not the size from before the run ("z0" on a new program).
    const bool stale = ed().frame - ed().packed_frame >= code_compress_stale_frames;
    // Included files: read again when an include line changed (at once, so
    // the count follows the line typed), when the program changed while it
    // has includes (an edit elsewhere may have put a line into a comment),
    // and when a file beside the cartridge changed.
    if (!ed().includes_dirty && ed().has_includes && ed().frame - ed().include_checked_frame >= code_include_check_frames) {
        ed().include_checked_frame = ed().frame;
        if (include_stamp_now() != ed().include_stamp) ed().includes_dirty = true;
    }
    if (ed().includes_dirty ||
        (ed().has_includes && ed().include_version != ed().version && (settle || idle || stale)))
        refresh_includes(c.tokens, c.chars);
    const bool due = ed().packed_version != ed().version && (settle || idle || stale || ed().packed_version == 0);
    c.tokens += ed().include_tokens;
    c.chars += ed().include_chars;
    if (due) {
        ed().packed_frame = ed().frame;
        ed().packed_version = ed().version;
        if (ed().has_includes) {
            const std::string& j = ed().joined_text;
            ed().compressed = j.size() <= size_t(vexel_code_max)
                                ? int(compress_mini_pack(j.data(), j.size(), ed().packed.data(), ed().packed.size()))
                                : 0;
        } else {
            const size_t n = code_tabs_merge(ed().m->code_tabs, vexel_code_tabs, ed().tab, ed().joined.data(), ed().joined.size());
            ed().compressed = n <= size_t(vexel_code_max)
                                ? int(compress_mini_pack(ed().joined.data(), n, ed().packed.data(), ed().packed.size()))
                                : 0;
        }
    }
    c.compressed = ed().compressed;
    return c;
}

std::string code_status(vexel_machine* m, bool* warn) {
    if (!bound(m)) return "";
    const editor_code_counts c = counts_now(false);
    if (warn)
        *warn = c.tokens > vexel_token_limit || c.chars > vexel_code_max || c.compressed > vexel_compressed_limit;
    // line:column, then tokens, characters and compressed bytes.
    char s[64];
    std::snprintf(s, sizeof s, "%d:%d t%d c%d z%d", line_of(view().cursor) + 1, col_of(view().cursor) + 1, c.tokens,
                  c.chars, c.compressed);
    return s;
}

// The undo state: a tag, the open tab, every tab's view, every tab's text.
constexpr uint32_t state_tag = 0x31435856;  // "VXC1"

void put_u32(std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }
bool get_u32(const std::string& s, size_t* at, uint32_t* v) {
    if (*at > s.size() || s.size() - *at < 4) return false;
    std::memcpy(v, s.data() + *at, 4);
    *at += 4;
    return true;
}

std::string code_save_state(vexel_machine* m) {
    if (!bound(m)) return "";
    std::string s;
    s.reserve(size_t(joined_length()) + 512);
    put_u32(s, state_tag);
    put_u32(s, uint32_t(ed().tab));
    for (const tab_view& v : ed().views) {
        put_u32(s, v.cursor);
        put_u32(s, v.anchor);
        put_u32(s, uint32_t(v.scroll_line));
        put_u32(s, uint32_t(v.scroll_col));
    }
    for (int t = 0; t < vexel_code_tabs; ++t) {
        put_u32(s, ed().len[t]);
        s.append(m->code_tabs[t], ed().len[t]);
    }
    return s;
}

void code_load_state(vexel_machine* m, const std::string& s) {
    if (!bound(m)) return;
    // Check all of it before changing anything: a damaged state changes nothing.
    size_t at = 0;
    uint32_t tag = 0, tab = 0;
    tab_view views[vexel_code_tabs];
    uint32_t offsets[vexel_code_tabs], lens[vexel_code_tabs];
    if (!get_u32(s, &at, &tag) || tag != state_tag || !get_u32(s, &at, &tab) || tab >= uint32_t(vexel_code_tabs)) return;
    for (tab_view& v : views) {
        uint32_t line = 0, col = 0;
        if (!get_u32(s, &at, &v.cursor) || !get_u32(s, &at, &v.anchor) || !get_u32(s, &at, &line) ||
            !get_u32(s, &at, &col))
            return;
        v.scroll_line = int(std::min(line, uint32_t(vexel_code_buffer)));
        v.scroll_col = int(std::min(col, uint32_t(vexel_code_buffer)));
    }
    for (int t = 0; t < vexel_code_tabs; ++t) {
        if (!get_u32(s, &at, &lens[t]) || lens[t] >= uint32_t(vexel_code_buffer) || s.size() - at < lens[t]) return;
        if (std::memchr(s.data() + at, 0, lens[t])) return;
        offsets[t] = uint32_t(at);
        at += lens[t];
    }
    for (int t = 0; t < vexel_code_tabs; ++t) {
        std::memcpy(m->code_tabs[t], s.data() + offsets[t], lens[t]);
        m->code_tabs[t][lens[t]] = 0;
    }
    vexel_select_code_tab(m, int(tab));
    sync(m);
    for (int t = 0; t < vexel_code_tabs; ++t) {
        ed().views[t] = views[t];
        clamp_view(ed().views[t], ed().len[t]);
    }
    ensure_visible();
    vexel_merge_code_from_tabs(m);
    ed().seen = fingerprint(m);
}

std::string code_copy(vexel_machine* m, bool cut) {
    if (!bound(m) || !has_selection()) return "";
    std::string out;
    cart_machine_to_utf8(text() + sel_from(), sel_to() - sel_from(), &out);
    if (cut) {
        // The frame made the undo step.
        replace(sel_from(), sel_to(), nullptr, 0);
        ed().run = edit_none;
        ensure_visible();
        vexel_merge_code_from_tabs(m);
        ed().seen = fingerprint(m);
    }
    return out;
}

bool code_paste(vexel_machine* m, const std::string& clip) {
    if (!bound(m)) return false;
    std::string bytes;
    cart_utf8_to_machine(clip.data(), clip.size(), &bytes, nullptr);
    // Line breaks of any host become '\n'; a NUL would end the tab early.
    std::string clean;
    clean.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r') {
            clean += '\n';
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else if (c != 0) {
            clean += c;
        }
    }
    if (clean.empty()) return false;
    // A paste that does not fit changes nothing (put_text says why), and the
    // frame then drops its undo step.
    ed().run = edit_none;
    if (!put_text(clean.data(), uint32_t(clean.size()), edit_none, false)) return false;
    vexel_merge_code_from_tabs(m);
    ed().seen = fingerprint(m);
    return true;
}

// Escape closes the find or go-to-line field before it closes the editors.
bool code_escape(vexel_machine*) {
    if (ed().field == field_none) return false;
    ed().field = field_none;
    return true;
}

}  // namespace

const editor_page editor_code_page = {
    "code", code_open, code_update, code_draw, code_status, code_save_state, code_load_state, code_copy, code_paste,
    code_escape,
};

void editor_code_goto(vexel_machine* m, int tab, int line) {
    if (!usable(m) || !editor_studio_current()) return;
    vexel_select_code_tab(m, tab);
    sync(m);
    go_to_line(line);
    ed().field = field_none;
    editor_select(m, editor_code);
}

editor_code_cursor editor_code_cursor_get(vexel_machine* m) {
    editor_code_cursor c{};
    if (!editor_studio_current() || !bound(m)) return c;
    const tab_view& v = view();
    c.tab = ed().tab;
    c.line = line_of(v.cursor);
    c.col = col_of(v.cursor);
    c.anchor_line = line_of(v.anchor);
    c.anchor_col = col_of(v.anchor);
    c.scroll_line = v.scroll_line;
    c.scroll_col = v.scroll_col;
    c.lines = line_count();
    c.text_x = text_x0();
    return c;
}

editor_code_counts editor_code_counts_get(vexel_machine* m, bool settle) {
    if (!editor_studio_current() || !bound(m)) return {};
    return counts_now(settle);
}
