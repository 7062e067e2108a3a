// text_print: the control codes of printed text, and the printer that
// interprets them for print() and for the console's messages.
//
// Owns the meaning of the control bytes inside printed text and the drawing
// of one character cell: a font glyph or a one-off 8x8 glyph, scaled,
// striped or inverted, over a background. Every other part of the machine
// (strings, memory, the cartridge) leaves these bytes as bytes.
//
// A character cell is the glyph's width plus the font spacing across and its
// height plus the spacing down (4 x 6 for the narrow console glyphs, 8 x 6
// for the wide ones), times the scale, plus the border. The pen advances by
// the cell's width; a line feed moves down by the tallest cell of the line
// (by the spacing alone when the line holds no character), so text without
// control codes lays out exactly as the plain text drawer lays it out.
//
// The codes (byte value, the escape a program writes, what follows it):
//   12 \f h    text colour h (a hex digit), for the rest of this text
//    2 \# h    background colour h: every following cell is filled with it
//    1 \* n c  the character c, n times (n: 0-9, a-z = 10-35); c is drawn
//              as a plain character, so a newline gives n line feeds and the
//              glyphs of bytes below 32 can be shown this way
//    3 \- d    move the pen d - 16 pixels across; d is one base-32 digit
//    4 \| d    the same downwards          (0-9, a-v: a move of -16..15)
//    5 \+ dx dy  both
//   13 \r      back to the line's start x
//    8 \b      back by the width of the last cell drawn (a narrow cell
//              before any)
//    6 \^ ...  a command, below
//    7 \a ...  a sound command: decimal digits n play sound effect n (the
//              command ends after the digits); any other command runs to the
//              next space (which it takes) or the end and is skipped
//   10 \n      line feed, as always; 0 ends the text; 127 ends it after its
//              glyph, as in the plain drawer
// Commands after \^ (a '-' before the letter turns a mode off, a '+' on; the
// letter alone turns it on):
//   w  wide: cells twice as wide        t  tall: twice as high
//   =  striped: only the even rows of the scaled glyph are inked (counted
//      from the glyph's top), so tall text shows one row of each source row
//   p  wide, tall and striped together
//   i  inverted: the cell is filled with the text colour and the glyph's
//      pixels are left as they were (showing the background when one is on)
//   b  border: a one-pixel frame of padding round every cell; the glyph
//      sits one pixel right and down and the cell grows by two each way
//   #  solid background: fill cells with the background colour (0 until \#
//      sets one); \^-# turns the fill off, \# turns it on
//   c h  clear the whole screen to colour h as cls(h) does (the clip and
//        the machine cursor are left alone) and go home
//   g  go home: where this text started
//   j a b  jump to (4a, 4b) in the program's coordinates (base-32 digits);
//          the line's start x becomes 4a
//   :  and 16 hex digits: a one-off 8x8 glyph, two digits per row, top row
//      first, the low bit the leftmost pixel; drawn and advanced like a
//      character of that size
//   any other letter: skipped, with the one digit that follows it if any
// A code with a bad argument (a hex digit that is not one, ...) is skipped
// with its argument. A code whose argument is cut off by the end of the text
// ends the text there, quietly: no code reads past the end.
//
// Colours of script text go through the draw palette (background, inverted
// cells and \f colours too); glyph pixels ignore the fill pattern and the
// palette's transparency, as plain text always has. Every pixel lands inside
// the screen bitmap's clip rectangle.
//
// The console's messages interpret only \f and \#: every other code is
// skipped with its argument, so a message never shows stray glyphs and the
// console's line counting (which skips the same bytes) stays true.
#pragma once
#include <cstddef>
#include <cstdint>

struct vexel_machine;

// What the sound command calls: play(context, n) for "\a<n>". The printer
// lives below the audio layer; the script binding fills this with a call
// that plays the effect as sfx(n) does. A null play ignores sound commands.
struct vexel_print_sound {
    void (*play)(void* context, int effect) = nullptr;
    void* context = nullptr;
};

constexpr int vexel_print_sound_max = 9999;  // larger effect numbers are read as this

// How one text is printed.
struct vexel_print_run {
    int x = 0, y = 0;            // where the text starts, in screen coordinates
    int colour = 6;              // colour index of the text
    bool palette = true;         // colours go through the draw palette (script text)
    bool wrap = false;           // a line ends where the next cell would cross the clip's right edge
    bool console = false;        // only the colour and background codes act
    int camera_x = 0, camera_y = 0;  // for jumps, which are in the program's coordinates
    vexel_print_sound sound;
};

// Where a printed text ended, in screen coordinates.
struct vexel_print_end {
    int64_t x = 0;            // where more text on the last line would start
    int64_t y = 0;            // the last line's y
    int last_line_h = 0;      // the tallest cell of the last line (0 when it holds none)
};

// Prints `len` bytes of `text` (stopping at a NUL) on the machine screen with
// the console font. Charges nothing but the clears of \^c; the callers
// charge the text itself. Without a screen nothing is drawn but the codes
// still act (sounds play) and the end is still worked out.
vexel_print_end vexel_print_text(vexel_machine* m, const char* text, size_t len, const vexel_print_run& run);

// How many bytes the control code at text[0] takes with its argument, as
// the printer reads it; 0 when text[0] is not a control code. The answer may
// exceed `left` (the bytes from text[0] to the end of the text): the code's
// argument is then cut off and the printer ends the text there.
size_t vexel_print_code_size(const char* text, size_t left);
