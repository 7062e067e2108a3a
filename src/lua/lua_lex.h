// The lexer: turns the source text into tokens.
//
// Tokens, their spellings and the error messages are those of Lua 5.2.3,
// plus the dialect's: the operators \ & | ~ @ $ (single characters), ^^ << >>
// >>> <<> >>< (TK_BXOR ... TK_ROTR) and the string escapes \* \# \- \| \+ \^
// (bytes 1 to 6).
// A numeral ends at the first character that cannot continue it: decimal
// digits with one '.', and an exponent only where e/E is followed by a digit
// or by a sign and a digit ("2else" is 2 then else); 0x with hexadecimal
// digits, one '.' and a p exponent by the same rule (refused, as before, by
// luaO_str2d); 0b with binary digits and one '.' (fraction bits after it).
// Its text is converted by luaO_str2d; "0x" or "0b" without digits, an
// exponent cut off by the end of the text ("1e"), and a numeral running
// straight into another '.' or digit ("1..2", "0b12") are "malformed number".
// Errors are raised as "chunkid:line: message near 'token'" with the line
// given to the formatter as a raw number (it prints as line / 65536).
//
// Strings made by the lexer are not yet anchored: a collector added later
// must not run during compilation (or must mark the parser's strings).
#pragma once

#include "lua/lua_object.h"
#include "lua/lua_zio.h"

constexpr int FIRST_RESERVED = 257;

enum RESERVED {
    // terminal symbols denoted by reserved words
    TK_AND = FIRST_RESERVED, TK_BREAK, TK_DO, TK_ELSE, TK_ELSEIF, TK_END, TK_FALSE, TK_FOR,
    TK_FUNCTION, TK_GOTO, TK_IF, TK_IN, TK_LOCAL, TK_NIL, TK_NOT, TK_OR, TK_REPEAT, TK_RETURN,
    TK_THEN, TK_TRUE, TK_UNTIL, TK_WHILE,
    // other terminal symbols
    TK_CONCAT, TK_DOTS, TK_EQ, TK_GE, TK_LE, TK_NE, TK_DBCOLON,
    TK_BXOR, TK_SHL, TK_SHR, TK_LSHR, TK_ROTL, TK_ROTR,  // ^^ << >> >>> <<> >><
    TK_EOS, TK_NUMBER, TK_NAME, TK_STRING
};
constexpr int NUM_RESERVED = TK_WHILE - FIRST_RESERVED + 1;

union SemInfo {
    lua_Number r;
    TString* ts;
};

struct Token {
    int token;
    SemInfo seminfo;
};

struct FuncState;
struct Dyndata;

struct LexState {
    int current;      // current character
    int pending[2];   // characters read past a numeral and given back, last first
    int npending;
    int linenumber;   // input line counter
    int lastline;     // line of last token consumed
    Token t;          // current token
    Token lookahead;  // look ahead token
    FuncState* fs;    // current function (parser)
    lua_State* L;
    ZIO* z;
    Mbuffer* buff;    // buffer for tokens
    Dyndata* dyd;     // dynamic structures used by the parser
    TString* source;  // current source name
    TString* envn;    // environment variable name ("_ENV")
};

void luaX_init(lua_State* L);  // interns the reserved words
void luaX_setinput(lua_State* L, LexState* ls, ZIO* z, TString* source, int firstchar);
TString* luaX_newstring(LexState* ls, const char* str, size_t l);
void luaX_next(LexState* ls);
int luaX_lookahead(LexState* ls);
[[noreturn]] void luaX_syntaxerror(LexState* ls, const char* s);
const char* luaX_token2str(LexState* ls, int token);
