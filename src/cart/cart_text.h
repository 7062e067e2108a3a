// The ".qz" text cartridge format: a header, a "version N" line, then
// sections "__lua__", "__gfx__", "__gff__", "__map__", "__sfx__",
// "__music__", "__label__", one text line per bitmap row, flag row, sound
// effect or music pattern.
//
// The program is UTF-8 from version 15 on: each glyph is its character
// (cart/cart_glyphs.h), and what the reader cannot map becomes '?', counted
// in the record's unknown_chars. Older files hold the machine's bytes as
// they are. In either, a zero byte in the program becomes '?' and counts as
// unknown too: the program is NUL-terminated text. The writer always writes the newest version, so a file read and
// written again is the same bytes when it was written by this version.
//
// Any other "__NAME__" line starts a section this version does not know
// ("__meta:title__"): its lines are kept in the record's extra_sections and
// written back after the known ones, so they neither disturb the section
// before them nor get lost.
//
// The reader takes untrusted bytes: it never reads past the buffer, clamps
// every value to its field's range and ignores rows beyond the record's size.
// A file of a newer version is read as far as this version understands it.
#pragma once
#include <cstddef>
#include <string>

#include "cart/cart.h"

constexpr int vexel_cart_line_max = 65535;  // longer data rows are read in pieces (program lines whole)
constexpr size_t vexel_cart_text_file_max = vexel_cart_file_max;  // larger files are not read

// Parses a text cartridge into *out (owned by the caller). Returns cart_ok,
// or cart_not_a_cart when the first line does not begin "vexel cartridge";
// *out is null unless cart_ok.
int vexel_cart_read_text(const char* data, size_t len, vexel_cart** out);
// The same, giving the record or null.
vexel_cart* vexel_cart_from_text(const char* data, size_t len);

// The text form of a cartridge, as written to a .qz file.
std::string vexel_cart_to_text(const vexel_cart* cart);

// File wrappers. Load gives null when the file cannot be read (or is no
// regular file, or is larger than vexel_cart_text_file_max) or is not a
// cartridge; save gives 0 on success, 1 when the file cannot be written (the
// old file is then untouched).
vexel_cart* vexel_cart_load_text_file(const char* path);
int vexel_cart_save_text_file(const vexel_cart* cart, const char* path);

int cart_hex_digit(int c);  // '0'-'9', 'a'-'f'; anything else (upper case too) is 0
