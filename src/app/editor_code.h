// editor_code: the code editor of the studio (editor_code_page in editor.h).
//
// It edits the working cartridge's program as the machine keeps it, the
// code tabs m->code_tabs (the cartridge code is the tabs joined with "-->8"
// separator lines); after each change the tabs are joined back into the
// working cartridge, so the record always holds what the editor shows. The
// joined program never grows beyond vexel_code_max characters: typing,
// pasting, indenting or a new tab that would pass it is refused with a
// message.
//
// This module owns the editor's view of the tabs (cursor, selection and
// scroll of each tab, the line index and per-line lexer states of the open
// tab, the counters of the status line, the find and go-to-line field).
// Invariants: the line index and the per-line states always describe the
// open tab's text exactly (edits update them incrementally, so redrawing
// costs only the visible lines); every cursor lies within its tab's text;
// the counters shown (tokens, characters, compressed size) are those of the
// program as it runs, the tabs joined and the #include files read into it,
// as `info` shows them: the tabs are counted incrementally, the included
// files once when an include line or a file beside the cartridge changes.
//
// The pieces below are what tests and the bench look at; the page itself
// is driven through editor_code_page with editor_input records.
#pragma once
#include <cstddef>
#include <cstdint>

struct vexel_machine;

// The cursor shows for this many updates, then hides for as many (counted
// in updates rather than time, so key scripts and tests see the same).
constexpr int editor_code_blink_frames = 15;

// What colour a byte of program text is drawn in.
enum editor_code_class : uint8_t {
    code_class_text,       // names
    code_class_punct,      // operators and brackets
    code_class_keyword,    // keywords, nil, true, false
    code_class_number,
    code_class_string,     // quoted and long-bracket strings
    code_class_comment,    // "--", "--[[ ]]" and "//" comments
    code_class_api,        // names of the machine's functions
    code_class_shorthand,  // += and the other compound operators, !=, the "?" print at the start of a line
};

// The lexer's state between lines: 0 outside any token; otherwise inside a
// long string or comment (with its bracket level) or a quoted string that
// continues on the next line (an escaped line break, or a "\z" skip).
using editor_code_lex_state = uint32_t;
constexpr editor_code_lex_state editor_code_state_normal = 0;

// Reads one line of program text, line[0, len) (len excludes the line
// break), starting in `state`, the way the console's token counter reads
// the program: adds the tokens that start on this line to *tokens (may be
// null) and, when classes is given, writes the class of bytes
// [class_from, class_from + class_count) of the line to classes[0..]
// (bytes past the line are left alone). When newline_after is true a
// newline follows the line and line[len] must be readable (it is '\n').
// Returns the state at the start of the next line.
editor_code_lex_state editor_code_lex_line(const char* line, size_t len, bool newline_after, editor_code_lex_state state,
                                           int* tokens, uint8_t* classes = nullptr, size_t class_from = 0,
                                           size_t class_count = 0);

// Where the cursor is (lines and columns from 0; columns count bytes).
struct editor_code_cursor {
    int tab;
    int line, col;
    int anchor_line, anchor_col;  // the other end of the selection (= line, col when none)
    int scroll_line, scroll_col;  // first line and first column shown
    int lines;                    // lines of the open tab
    int text_x;                   // page column where the text starts, right of the line numbers
};
editor_code_cursor editor_code_cursor_get(vexel_machine* m);

// The counters of the status line. The compressed size is worked out once
// typing pauses (it costs milliseconds on a long program); `settle` works
// it out now.
struct editor_code_counts {
    int tokens;
    int chars;
    int compressed;
};
editor_code_counts editor_code_counts_get(vexel_machine* m, bool settle);
