// fenn_log: the framework's diagnostic log ("log.txt" in the data folder).
//
// Every line is written and flushed at once, to the log stream and, when
// open, a second debug stream (standard error with -debug builds). A line
// that begins with '>' opens an indented block (two spaces per level) and is
// written without the '>'; one that begins with '<' closes a block first and
// is written without the '<'. Lines longer than fenn_log_line_max are replaced
// by a fixed notice. When the log cannot be opened, logging is skipped.
// Any thread may log; lines are written whole, one at a time.
#pragma once
#include <cstdio>

constexpr int fenn_log_line_max = 512;

// Opens (truncates) the log file. Returns 0 on success, 1 when the file
// cannot be written; logging is then silently skipped.
int fenn_log_open(const char* path);
void fenn_log_close();

// printf-style; see the rules above.
void fenn_debug(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Current indentation level, for tests.
int fenn_log_depth();
