// The lexer.
#include "lua/lua_lex.h"

#include "lua/lua_do.h"
#include "lua/lua_mem.h"
#include "lua/lua_parse.h"
#include "lua/lua_state.h"
#include "lua/lua_string.h"

namespace {

// ASCII character classes; bytes >= 0x80 belong to none of them.
inline bool lislalpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
inline bool lisdigit(int c) { return c >= '0' && c <= '9'; }
inline bool lislalnum(int c) { return lislalpha(c) || lisdigit(c); }
inline bool lisspace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool lisprint(int c) { return c >= 0x20 && c < 0x7f; }
inline bool lisxdigit(int c) { return lisdigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

const char* const luaX_tokens[] = {
    "and",   "break", "do",    "else",   "elseif",   "end",      "false",    "for",
    "function", "goto", "if",  "in",     "local",    "nil",      "not",      "or",
    "repeat", "return", "then", "true",  "until",    "while",    "..",       "...",
    "==",    ">=",    "<=",    "~=",     "::",       "^^",       "<<",       ">>",
    ">>>",   "<<>",   ">><",   "<eof>",  "<number>", "<name>",   "<string>"};

// The next character: one given back by a numeral first, else the stream's.
inline int nextchar(LexState* ls) { return ls->npending > 0 ? ls->pending[--ls->npending] : zgetc(ls->z); }
inline void next(LexState* ls) { ls->current = nextchar(ls); }
inline bool currIsNewline(LexState* ls) { return ls->current == '\n' || ls->current == '\r'; }

[[noreturn]] void lexerror(LexState* ls, const char* msg, int token);

void save(LexState* ls, int c) {
    Mbuffer* b = ls->buff;
    if (luaZ_bufflen(b) + 1 > luaZ_sizebuffer(b)) {
        if (luaZ_sizebuffer(b) >= MAX_SIZET / 2) lexerror(ls, "lexical element too long", 0);
        size_t newsize = luaZ_sizebuffer(b) * 2;
        luaZ_resizebuffer(ls->L, b, newsize);
    }
    b->buffer[luaZ_bufflen(b)] = char(c);
    b->n++;
}

inline void save_and_next(LexState* ls) {
    save(ls, ls->current);
    next(ls);
}

const char* txtToken(LexState* ls, int token) {
    switch (token) {
    case TK_NAME:
    case TK_STRING:
    case TK_NUMBER:
        save(ls, '\0');
        return luaO_pushfstring(ls->L, "'%s'", luaZ_buffer(ls->buff));
    default: return luaX_token2str(ls, token);
    }
}

void lexerror(LexState* ls, const char* msg, int token) {
    char buff[LUA_IDSIZE];
    luaO_chunkid(buff, getstr(ls->source), LUA_IDSIZE);
    // The line goes to the formatter unscaled (it prints as line / 65536);
    // the program runner takes the line from the state's last line (lua_vexel_last_line).
    msg = luaO_pushfstring(ls->L, "%s:%d: %s", buff, ls->linenumber, msg);
    if (token) luaO_pushfstring(ls->L, "%s near %s", msg, txtToken(ls, token));
    luaD_throw(ls->L, LUA_ERRSYNTAX);
}

// Skips a \n or \r, or a \n\r or \r\n pair, and counts the line.
void inclinenumber(LexState* ls) {
    int old = ls->current;
    next(ls);
    if (currIsNewline(ls) && ls->current != old) next(ls);
    if (++ls->linenumber >= MAX_INT) luaX_syntaxerror(ls, "chunk has too many lines");
}

bool check_next(LexState* ls, const char* set) {
    if (ls->current == '\0' || !std::strchr(set, ls->current)) return false;
    save_and_next(ls);
    return true;
}

// A numeral: it ends at the first character that cannot continue it (see
// lua_lex.h). The buffer holds "." already when it began with a dot.
void read_numeral(LexState* ls, SemInfo* seminfo) {
    bool dot = luaZ_bufflen(ls->buff) > 0;
    int radix = 10;
    if (!dot && ls->current == '0') {
        save_and_next(ls);
        if (ls->current == 'x' || ls->current == 'X') {
            radix = 16;
            save_and_next(ls);
        } else if (ls->current == 'b' || ls->current == 'B') {
            radix = 2;
            save_and_next(ls);
        }
    }
    auto isdigit_of = [radix](int c) {
        return radix == 16 ? lisxdigit(c) : radix == 2 ? (c == '0' || c == '1') : lisdigit(c);
    };
    for (;;) {
        if (isdigit_of(ls->current)) {
            save_and_next(ls);
        } else if (ls->current == '.' && !dot) {
            dot = true;
            save_and_next(ls);
        } else {
            break;
        }
    }
    const char* expo = radix == 10 ? "Ee" : radix == 16 ? "Pp" : "";
    if (ls->current != '\0' && ls->current != EOZ && std::strchr(expo, ls->current)) {
        // An exponent only when a digit, or a sign and a digit, follows;
        // otherwise the letter starts the next token. (A hexadecimal one is
        // read to be refused: luaO_str2d takes none. So is an exponent cut
        // off by the end of the text, "x = 1e", never valid either way.)
        int e = ls->current;
        int c1 = nextchar(ls);
        int c2 = c1;
        if (c1 == '+' || c1 == '-') c2 = nextchar(ls);
        if (lisdigit(c2) || c2 == EOZ) {  // at the end of the text: malformed, as before
            save(ls, e);
            if (c2 != c1) save(ls, c1);
            ls->current = c2;
            while (lisdigit(ls->current)) save_and_next(ls);
        } else {
            ls->pending[ls->npending++] = c2;
            if (c2 != c1) ls->pending[ls->npending++] = c1;
            ls->current = e;
        }
    }
    if (lisdigit(ls->current) || ls->current == '.') {
        // Runs straight into more of a numeral ("1..2", "0b12"): malformed,
        // shown with the rest of it as a plain scan would read it.
        while (lisxdigit(ls->current) || ls->current == '.') save_and_next(ls);
        lexerror(ls, "malformed number", TK_NUMBER);
    }
    save(ls, '\0');
    lua_Number r;
    if (!luaO_str2d(luaZ_buffer(ls->buff), luaZ_bufflen(ls->buff) - 1, &r))
        lexerror(ls, "malformed number", TK_NUMBER);
    seminfo->r = r;
}

// Reads '[' '='* and returns the level when another '[' (or ']') follows,
// else -(count) - 1.
int skip_sep(LexState* ls) {
    int count = 0;
    int s = ls->current;
    save_and_next(ls);
    while (ls->current == '=') {
        save_and_next(ls);
        count++;
    }
    return (ls->current == s) ? count : (-count) - 1;
}

void read_long_string(LexState* ls, SemInfo* seminfo, int sep) {
    save_and_next(ls);  // skip 2nd '['
    if (currIsNewline(ls)) inclinenumber(ls);  // a first newline is skipped
    for (;;) {
        switch (ls->current) {
        case EOZ:
            lexerror(ls, seminfo ? "unfinished long string" : "unfinished long comment", TK_EOS);
        case ']':
            if (skip_sep(ls) == sep) {
                save_and_next(ls);  // skip 2nd ']'
                goto endloop;
            }
            break;
        case '\n':
        case '\r':
            save(ls, '\n');
            inclinenumber(ls);
            if (!seminfo) luaZ_resetbuffer(ls->buff);  // comments need no text
            break;
        default:
            if (seminfo) save_and_next(ls);
            else next(ls);
        }
    }
endloop:
    if (seminfo)
        seminfo->ts = luaX_newstring(ls, luaZ_buffer(ls->buff) + (2 + sep),
                                     luaZ_bufflen(ls->buff) - 2 * size_t(2 + sep));
}

[[noreturn]] void escerror(LexState* ls, const int* c, int n, const char* msg) {
    luaZ_resetbuffer(ls->buff);  // the message shows the escape read so far
    save(ls, '\\');
    for (int i = 0; i < n && c[i] != EOZ; i++) save(ls, c[i]);
    lexerror(ls, msg, TK_STRING);
}

int readhexaesc(LexState* ls) {
    int c[3];
    int r = 0;
    c[0] = 'x';
    for (int i = 1; i < 3; i++) {  // two hexadecimal digits
        c[i] = nextchar(ls);
        ls->current = c[i];
        if (!lisxdigit(c[i])) escerror(ls, c, i + 1, "hexadecimal digit expected");
        r = (r << 4) + luaO_hexavalue(c[i]);
    }
    return r;
}

int readdecesc(LexState* ls) {
    int c[3];
    int r = 0;
    int i;
    for (i = 0; i < 3 && lisdigit(ls->current); i++) {  // up to three digits
        c[i] = ls->current;
        r = 10 * r + c[i] - '0';
        next(ls);
    }
    if (r > UCHAR_MAX) escerror(ls, c, i, "decimal escape too large");
    return r;
}

void read_string(LexState* ls, int del, SemInfo* seminfo) {
    save_and_next(ls);  // the delimiters are kept for error messages
    while (ls->current != del) {
        switch (ls->current) {
        case EOZ: lexerror(ls, "unfinished string", TK_EOS);
        case '\n':
        case '\r': lexerror(ls, "unfinished string", TK_STRING);
        case '\\': {
            int c;
            next(ls);  // the backslash is not saved
            switch (ls->current) {
            case 'a': c = '\a'; goto read_save;
            case 'b': c = '\b'; goto read_save;
            case 'f': c = '\f'; goto read_save;
            case 'n': c = '\n'; goto read_save;
            case 'r': c = '\r'; goto read_save;
            case 't': c = '\t'; goto read_save;
            case 'v': c = '\v'; goto read_save;
            case 'x': c = readhexaesc(ls); goto read_save;
            // the dialect's escapes for the bytes 1 to 6
            case '*': c = 1; goto read_save;
            case '#': c = 2; goto read_save;
            case '-': c = 3; goto read_save;
            case '|': c = 4; goto read_save;
            case '+': c = 5; goto read_save;
            case '^': c = 6; goto read_save;
            case '\n':
            case '\r':
                inclinenumber(ls);
                c = '\n';
                goto only_save;
            case '\\':
            case '"':
            case '\'': c = ls->current; goto read_save;
            case EOZ: goto no_save;  // the loop raises the error
            case 'z': {  // skips the following white space
                next(ls);
                while (lisspace(ls->current)) {
                    if (currIsNewline(ls)) inclinenumber(ls);
                    else next(ls);
                }
                goto no_save;
            }
            default: {
                if (!lisdigit(ls->current)) escerror(ls, &ls->current, 1, "invalid escape sequence");
                c = readdecesc(ls);
                goto only_save;
            }
            }
        read_save:
            next(ls);
        only_save:
            save(ls, c);
        no_save:
            break;
        }
        default: save_and_next(ls);
        }
    }
    save_and_next(ls);  // skip delimiter
    seminfo->ts = luaX_newstring(ls, luaZ_buffer(ls->buff) + 1, luaZ_bufflen(ls->buff) - 2);
}

int llex(LexState* ls, SemInfo* seminfo) {
    luaZ_resetbuffer(ls->buff);
    for (;;) {
        switch (ls->current) {
        case '\n':
        case '\r': inclinenumber(ls); break;
        case ' ':
        case '\f':
        case '\t':
        case '\v': next(ls); break;
        case '-': {  // '-' or a comment
            next(ls);
            if (ls->current != '-') return '-';
            next(ls);
            if (ls->current == '[') {  // long comment?
                int sep = skip_sep(ls);
                luaZ_resetbuffer(ls->buff);
                if (sep >= 0) {
                    read_long_string(ls, nullptr, sep);
                    luaZ_resetbuffer(ls->buff);
                    break;
                }
            }
            while (!currIsNewline(ls) && ls->current != EOZ) next(ls);  // short comment
            break;
        }
        case '[': {
            int sep = skip_sep(ls);
            if (sep >= 0) {
                read_long_string(ls, seminfo, sep);
                return TK_STRING;
            }
            if (sep == -1) return '[';
            lexerror(ls, "invalid long string delimiter", TK_STRING);
        }
        case '=':
            next(ls);
            if (ls->current != '=') return '=';
            next(ls);
            return TK_EQ;
        case '<':  // < <= << <<>
            next(ls);
            if (ls->current == '=') {
                next(ls);
                return TK_LE;
            }
            if (ls->current != '<') return '<';
            next(ls);
            if (ls->current != '>') return TK_SHL;
            next(ls);
            return TK_ROTL;
        case '>':  // > >= >> >>> >><
            next(ls);
            if (ls->current == '=') {
                next(ls);
                return TK_GE;
            }
            if (ls->current != '>') return '>';
            next(ls);
            if (ls->current == '>') {
                next(ls);
                return TK_LSHR;
            }
            if (ls->current == '<') {
                next(ls);
                return TK_ROTR;
            }
            return TK_SHR;
        case '^':  // ^ ^^
            next(ls);
            if (ls->current != '^') return '^';
            next(ls);
            return TK_BXOR;
        case '~':
            next(ls);
            if (ls->current != '=') return '~';
            next(ls);
            return TK_NE;
        case ':':
            next(ls);
            if (ls->current != ':') return ':';
            next(ls);
            return TK_DBCOLON;
        case '"':
        case '\'': read_string(ls, ls->current, seminfo); return TK_STRING;
        case '.': {
            save_and_next(ls);
            if (check_next(ls, ".")) {
                if (check_next(ls, ".")) return TK_DOTS;
                return TK_CONCAT;
            }
            if (!lisdigit(ls->current)) return '.';
            read_numeral(ls, seminfo);
            return TK_NUMBER;
        }
        case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9':
            read_numeral(ls, seminfo);
            return TK_NUMBER;
        case EOZ: return TK_EOS;
        default: {
            if (lislalpha(ls->current)) {  // identifier or reserved word
                do {
                    save_and_next(ls);
                } while (lislalnum(ls->current));
                TString* ts = luaX_newstring(ls, luaZ_buffer(ls->buff), luaZ_bufflen(ls->buff));
                seminfo->ts = ts;
                if (isreserved(ts)) return ts->extra - 1 + FIRST_RESERVED;
                return TK_NAME;
            }
            int c = ls->current;  // single-char tokens (+ - / ...)
            next(ls);
            return c;
        }
        }
    }
}

}  // namespace

void luaX_init(lua_State* L) {
    for (int i = 0; i < NUM_RESERVED; i++) {
        TString* ts = luaS_new(L, luaX_tokens[i]);
        ts->extra = lu_byte(i + 1);  // reserved word
    }
}

const char* luaX_token2str(LexState* ls, int token) {
    if (token < FIRST_RESERVED) {  // single-byte symbols
        if (lisprint(token)) return luaO_pushfstring(ls->L, "'%c'", token);
        return luaO_pushfstring(ls->L, "char(%d)", int(uint32_t(token) << 16));
    }
    const char* s = luaX_tokens[token - FIRST_RESERVED];
    if (token < TK_EOS) return luaO_pushfstring(ls->L, "'%s'", s);  // fixed format (symbols and reserved words)
    return s;  // names, strings and numerals
}

void luaX_syntaxerror(LexState* ls, const char* msg) { lexerror(ls, msg, ls->t.token); }

TString* luaX_newstring(LexState* ls, const char* str, size_t l) { return luaS_newlstr(ls->L, str, l); }

void luaX_setinput(lua_State* L, LexState* ls, ZIO* z, TString* source, int firstchar) {
    ls->current = firstchar;
    ls->npending = 0;
    ls->lookahead.token = TK_EOS;  // no look-ahead token
    ls->z = z;
    ls->fs = nullptr;
    ls->linenumber = 1;
    ls->lastline = 1;
    ls->source = source;
    ls->envn = luaS_new(L, "_ENV");
    ls->L = L;
    luaZ_resizebuffer(ls->L, ls->buff, LUA_MINBUFFER);
}

void luaX_next(LexState* ls) {
    ls->lastline = ls->linenumber;
    if (ls->lookahead.token != TK_EOS) {  // is there a look-ahead token?
        ls->t = ls->lookahead;
        ls->lookahead.token = TK_EOS;
    } else {
        ls->t.token = llex(ls, &ls->t.seminfo);
    }
}

int luaX_lookahead(LexState* ls) {
    ls->lookahead.token = llex(ls, &ls->lookahead.seminfo);
    return ls->lookahead.token;
}
