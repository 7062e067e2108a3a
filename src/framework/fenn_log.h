// fenn_log: the framework's diagnostic log ("log.txt" in the data folder).
//
// Every line is written and flushed at once, to the log stream and, when
// open, a second debug stream (standard error with -debug builds). A line
// that begins with '>' opens an indented block (two spaces per level) and is
// written without the '>'; one that begins with '<' closes a block first and
// is written without the '<'. Lines longer than fenn_log_line_max are replaced
// by a fixed notice. A line the same as the one before is counted instead
// of written ("... repeated N times" follows when another line comes or the
// log closes), and the file is kept under fenn_log_size_max: past it, the
// older half is dropped behind a notice. A program that makes the console
// log in a loop cannot fill the disk. When the log cannot be opened,
// logging is skipped. The file is UTF-8 text: bytes of a line that are not
// part of a well-formed character are written as \xNN.
// Any thread may log; lines are written whole, one at a time.
#pragma once
#include <cstdio>

constexpr int fenn_log_line_max = 512;
constexpr long fenn_log_size_max = 1L << 20;  // bytes of log.txt

// Opens (truncates) the log file. Returns 0 on success, 1 when the file
// cannot be written; logging is then silently skipped.
int fenn_log_open(const char* path);
void fenn_log_close();

// printf-style; see the rules above.
void fenn_debug(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Current indentation level, for tests.
int fenn_log_depth();
