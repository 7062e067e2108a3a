// The ".qz" text cartridge format: a header, then sections "__lua__",
// "__gfx__", "__gff__", "__map__", "__sfx__", "__music__", "__label__", one
// text line per bitmap row, flag row, sound effect or music pattern.
//
// The reader takes untrusted bytes: it never reads past the buffer, clamps
// every value to its field's range and ignores rows beyond the record's size.
#pragma once
#include <cstddef>
#include <string>

#include "cart/cart.h"

constexpr int vexel_cart_line_max = 65535;  // longer lines are read in pieces
constexpr size_t vexel_cart_text_file_max = size_t(16) << 20;  // larger files are not read

// Set by every text read: the file's version was newer than this system reads.
extern int future_version;

// Parses a text cartridge. Returns null when the text is not a cartridge
// (first line must begin "vexel cartridge") or is of a future version
// (future_version set).
vexel_cart* vexel_cart_from_text(const char* data, size_t len);

// The text form of a cartridge, as written to a .qz file.
std::string vexel_cart_to_text(const vexel_cart* cart);

// File wrappers. Load gives null when the file cannot be read (or is no
// regular file, or is larger than vexel_cart_text_file_max) or is not a
// cartridge; save gives 0 on success, 1 when the file cannot be written (the
// old file is then untouched).
vexel_cart* fenn_load_vexel_cart(const char* path);
int fenn_save_vexel_cart(const vexel_cart* cart, const char* path);

int hexchar2int(int c);  // '0'-'9', 'a'-'f'; anything else (upper case too) is 0
