// text: the console's printers and the machine cursor's line feed.
//
// Console messages are drawn on the machine screen with the console font
// (item 2 of the resource pod), 32 characters to a 6-pixel line, scrolling
// the screen when the cursor reaches the bottom. In exec mode, with no
// program running, they go to standard output as "** <text>" instead.
#pragma once
#include "framework/fenn_pod.h"

constexpr int vexel_line_height = 6;
constexpr int vexel_console_columns = 32;

// The console font; null until the resource pod is loaded.
extern cpod* vexel_console_font;

void cursor_cr();
void vexel_print_col(const char* text, int colour);
void vexel_print(const char* text);  // colour 6
void vexel_print_2(const char* format, int a, int b);
void vexel_print_2_col(const char* format, int a, int b, int colour);
