// token: the console's light tokenizer, the token count and the program limits.
//
// This lexer is separate from the script compiler: it only has to find token
// boundaries, strings and comments the way the compiler would, so that the
// token count is fair and the preprocessor never rewrites inside a string.
// It works on a buffer and a length (NUL is an ordinary character), never
// reads past the end, and every call consumes at least one byte unless it is
// already at the end, so any loop over it terminates.
//
// Owned state: the tokenizer record `token_state` (current token, its text span,
// newline count, the text being read) and the API name table filled while the
// API is bound. Both are global and only touched from the main thread.
#pragma once
#include <cstddef>
#include <cstdint>

// Token codes. Single-character tokens are their (unsigned) character code.
constexpr int tok_eof = -1000;      // end of the text
constexpr int tok_eol = -999;       // newline, or a "//" comment (newline excluded)
constexpr int tok_ident = -998;     // identifier that is neither keyword nor API name
constexpr int tok_number = -997;
constexpr int tok_string = -996;    // quoted or long-bracket string
constexpr int tok_comment = -995;   // "--" line comment or "--[[ ]]" block comment
constexpr int tok_function = -993;
constexpr int tok_end = -992;
constexpr int tok_for = -991;
constexpr int tok_if = -990;
constexpr int tok_then = -989;
constexpr int tok_else = -988;
constexpr int tok_elseif = -987;
constexpr int tok_while = -986;
constexpr int tok_do = -985;
constexpr int tok_in = -984;
constexpr int tok_local = -983;
constexpr int tok_return = -982;
constexpr int tok_repeat = -981;
constexpr int tok_until = -980;
constexpr int tok_goto = -979;
constexpr int tok_break = -978;
constexpr int tok_api = -977;       // API function name (and foreach, all, add, del, menuitem)
constexpr int tok_not = -974;
constexpr int tok_and = -973;
constexpr int tok_or = -972;
constexpr int tok_le = -968;        // <=
constexpr int tok_ge = -967;        // >=
constexpr int tok_ne = -965;        // ~=  !=  <>
constexpr int tok_eq = -964;        // ==
constexpr int tok_compound = -963;  // +=  -=  *=  /=  %=  \=  ..=  ^=  ^^=  |=  &=  <<=  >>=  >>>=  <<>=  >><=
constexpr int tok_concat = -962;    // ..
constexpr int tok_literal = -961;   // nil, true, false
constexpr int tok_bitop = -960;     // ^^  <<  >>  >>>  <<>  >><  (\ & | ~ @ $ are single characters)

// Program limits and the messages the runner prints when a program breaks one.
constexpr int vexel_char_limit = 65536;        // bytes of program text
constexpr int vexel_token_limit = 8192;
constexpr int vexel_compressed_limit = 15360;  // bytes of compressed code in a PNG cartridge
constexpr const char* vexel_char_limit_message = "program exceeds char limit";
constexpr const char* vexel_char_count_format = "%d / %d chars\n";
constexpr const char* vexel_token_limit_message = "program too large";
constexpr const char* vexel_token_count_format = "%d / %d tokens\n";

// API names recorded while the API is bound (64-byte slots, so at most 63
// characters each).
struct vexel_lexeme {
    int tok;
    const char* start;
    const char* end;
};

// Reads the token at pos (skipping space, tab, CR and backspace first) in the
// text ending at end. Stateless. With classify false, words are reported as
// tok_ident without looking up keywords or API names (the preprocessor does
// not need to know).
vexel_lexeme vexel_lex(const char* pos, const char* end, bool classify = true);

// The tokenizer record read by get_token and the callers of the functions
// below: the current token, the span of its text, and the newline count.
struct vexel_tokenizer {
    int tok;
    const char* token_start;
    const char* token_end;
    int line;            // newline tokens read since token_first
    const char* text;    // start of the text given to token_first
    const char* text_end;
};

// Starts reading text[0, length): reads its first token and returns the
// position after it.
const char* token_first(vexel_tokenizer& t, const char* text, size_t length);
// Reads the token at position (which must lie in the text given to
// token_first; anything else reads as the end of the text) and returns the
// position after it.
const char* token_next(vexel_tokenizer& t, const char* position);

// Tokens of a program as the limit counts them: every token is 1 except the
// end of the text, ends of line, comments, "local", "end" and the characters
// ; ) } ] , . :
int token_count(const char* text, size_t length);
// Whether a lexeme of this kind is free of charge (line ends, comments,
// "local", "end" and closing or separating punctuation).
bool vexel_token_is_free(int tok);

// Long brackets as the compiler reads them (they do not nest): the level of
// one opening at p ("[", any number of "=", "["), with *body the first byte
// inside, or -1; and just past the bracket closing a body of that level, or
// null when none closes it before end.
long vexel_long_bracket_open(const char* p, const char* end, const char** body);
const char* vexel_long_bracket_find_close(const char* p, const char* end, long level);

// The check made before a cartridge program runs: first the character limit,
// then the token limit. Returns 0 when the program may run, 1 when it has too
// many characters, 2 when it has too many tokens; on failure heading and
// detail hold the two lines to print. tokens is set whenever it was counted.
enum : int { vexel_limits_ok = 0, vexel_limits_chars = 1, vexel_limits_tokens = 2 };
struct vexel_limit_report {
    int chars;
    int tokens;
    char heading[32];
    char detail[48];
};
int vexel_check_code_limits(const char* code, size_t length, vexel_limit_report* report);

// The three lines of the `info` command about the code (tokens, characters,
// compressed size), each with its colour: 6 within the limit, 9 over it.
struct vexel_info_line {
    char text[48];
    int colour;
};
void vexel_code_info_lines(int tokens, int chars, int compressed, vexel_info_line lines[3]);
