// cart_include: the "#include FILE" lines of a text cartridge's program.
//
// A program line whose first non-blank text is "#include NAME" stands for
// the text of the file NAME, relative to the folder of the file holding the
// line. Included files may include others. A line inside a multi-line
// string or comment is no include. A file is read as UTF-8 text (turned
// into machine characters); a vexel cartridge file contributes its program
// (its __lua__ section).
//
// Only what a local text cartridge's author put beside it is read: NAME may
// not be absolute or start with "~", the file must be a regular file of at
// most cart_include_file_max bytes, includes nest at most
// cart_include_depth_max deep, and a file that includes itself (directly or
// not) is an error. A failed include becomes an empty line and an error
// naming the file and the line; the rest of the program is still joined.
//
// Every line of the joined text knows where it came from (file and line),
// so messages can name the included file and its own line.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t cart_include_file_max = 64 * 1024;  // bytes of one included file
constexpr int cart_include_depth_max = 8;            // files included inside included files
constexpr const char* cart_include_word = "#include";

// Where one line of a joined program came from: file 0 is the cartridge's
// own program (line counted in it from 0), file k > 0 is files[k].
struct cart_include_origin {
    int32_t file;
    int32_t line;
};

struct cart_joined_program {
    std::string text;                         // the whole program, machine characters
    std::vector<cart_include_origin> lines;   // one per line of text
    std::vector<std::string> files;           // files[0] is ""; others as named in messages
    std::vector<std::string> errors;          // "#include: cannot read libs/vec2.lua (line 3)"
};

// Whether the program holds an include line (outside strings and comments).
bool cart_has_includes(const char* code);

// Joins `code` with the files its include lines name. `folder` is the folder
// of the cartridge file ("" for the current folder); with `allowed` false
// every include line is an error instead ("#include: only in a local text
// cartridge (line 3)"). File names in messages are relative to the
// cartridge's folder.
cart_joined_program cart_join_includes(const char* code, const std::string& folder, bool allowed = true);
