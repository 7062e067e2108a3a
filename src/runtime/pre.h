// pre: the source preprocessor that turns the console's shorthands into plain
// script text before compilation.
//
// Rewrites, line by line: "!=" to "~=", the button glyph bytes to button
// numbers, compound assignments ("a += b" to "a = a + ( b) ", for + - * / %
// \ .. ^ ^^ | & << >> >>> <<> >><; the right-hand side goes on over the
// arithmetic, bit and unary operators but not over .. or comparisons), a
// leading "?" to print(...), and the one-line form "if (cond) statement" to
// an if ... then ... end (the statement may also be a "?" print, which the
// compiler reads wherever a statement may start, or another one-line if),
// and the fill-pattern glyphs (0x80-0x99 but the buttons) standing alone to
// their numerals. Comments are dropped and
// every input line yields one output line, so compiler line numbers match
// the source. Nothing inside a string literal is ever rewritten.
//
// Invariants: the output never exceeds the capacity the caller gives; a
// program whose rewritten text does not fit, or whose rewriting would take
// more than a fixed multiple of linear work, is refused with a message rather
// than truncated. All working memory is allocated per call and freed at the
// end; no global state is kept.
#pragma once
#include <cstddef>

// Longest line while it is being rewritten (the working buffer of each line).
constexpr size_t vexel_pre_work_size = 0x20000;
// One-line ifs nested in one line ("if (a) if (b) x=1"); deeper ones are
// left to the compiler, which reports them.
constexpr int vexel_pre_if_nesting_max = 16;
// Lines processed; text after this many lines is dropped.
constexpr int vexel_pre_max_lines = 65536;

enum : int {
    vexel_pre_ok = 0,
    vexel_pre_output_full = 1,    // the rewritten program does not fit the output
    vexel_pre_line_too_long = 2,  // one line grows past vexel_pre_work_size
    vexel_pre_too_complex = 3,    // rewriting would not finish in linear work
};

struct vexel_pre_report {
    size_t length;      // bytes written to the output, NUL excluded
    int line;           // on failure: the source line (from 1) where it failed
    char message[96];   // on failure: the text to show the user
};

// Rewrites source[0, length) into output, which receives at most capacity
// bytes including a terminating NUL (it is emptied first). Returns
// vexel_pre_ok or one of the failure codes above; on failure the output is
// left empty and the program must not run. report may be null.
//
// The runner gives as capacity the room its program buffer has left between
// the header and the footer, so a rewritten program either fits whole or is
// refused with report->message; it is never cut short.
int vexel_preprocess(const char* source, size_t length, char* output, size_t capacity,
                     vexel_pre_report* report);
