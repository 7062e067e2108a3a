// cart_glyphs: the machine's glyph characters as Unicode text.
//
// Machine text is bytes. The bytes 0x01-0x08, 0x0B, 0x0C, 0x0E-0x1F, 0x7F
// and 0x80-0xFF are glyphs, each shown outside the machine as one Unicode
// character; five of them (the arrows and the O button) are written in
// their emoji form, the character followed by U+FE0F. Every other byte
// (0x00, tab, newline, carriage return, 0x20-0x7E) is ASCII and stands for
// itself. Text that leaves or enters the machine as UTF-8 goes through the
// two conversions here: the program of a version 15 text cartridge, the
// host clipboard, text typed at the console.
//
// This module owns the one table of glyphs. Invariants: machine -> UTF-8 ->
// machine gives back any byte string unchanged; UTF-8 -> machine takes any
// bytes (it never reads past the length) and turns everything it cannot map
// into '?': a character outside the table counts once (with a U+FE0F after
// it), a byte that is not part of a well-formed character counts once per
// byte. A U+FE0F after a glyph, with or without it, reads as the glyph.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr uint32_t cart_emoji_selector = 0xfe0f;  // U+FE0F, the emoji form of the character before it
constexpr char cart_unknown_char = '?';          // what an unmapped character becomes
constexpr size_t cart_glyph_utf8_max = 7;        // bytes of the longest form: a 4-byte character and U+FE0F

// Whether machine byte b is a glyph (rather than ASCII).
bool cart_is_glyph(uint8_t b);

// The UTF-8 form of glyph byte b (with U+FE0F where it is written so), or
// null when b is not a glyph.
const char* cart_glyph_utf8(uint8_t b);

// The machine byte of a code point: itself below 0x80, the glyph for a
// character of the table, else -1 (U+FE0F included: it belongs to the
// character before it).
int cart_glyph_from_codepoint(uint32_t cp);

// Appends the UTF-8 form of data[0, len) to *out.
void cart_machine_to_utf8(const char* data, size_t len, std::string* out);

// Appends the machine bytes of UTF-8 text data[0, len) to *out; *unknown
// (may be null) is set to the number of '?' put in place of what could not
// be mapped.
void cart_utf8_to_machine(const char* data, size_t len, std::string* out, int* unknown);
