// The text the runner wraps around every cartridge program.
//
// The header is two lines — a marker comment and the collection helpers, the
// pause-menu hook, all separated by tabs — so the program itself starts on
// line 3 and reported line numbers are the program's own plus 3. The footer
// runs after the program's top-level statements: it calls _init, chooses
// the frame rate and, unless the program has its own _mainloop, generates
// the main loop that calls _update/_update60 and _draw once per frame.
#pragma once

extern const char* const vexel_program_header;
extern const char* const vexel_program_footer;
constexpr int vexel_header_lines = 3;  // subtracted from compiler line numbers
