// png_cart: the 32 KiB cartridge block and the PNG cartridge picture.
//
// The block is the cartridge's ROM image (0x0000-0x42ff, through the ROM view
// of machine/mem) followed by its program at 0x4300: a compressed code block
// when it starts with ":c:\0", else plain text ending at its first zero byte.
// At most cart_code_room bytes of program are stored, in the machine's
// character set as it is (no UTF-8 here). A block of a newer version reads
// like any other (the record keeps its version), and the text sections
// only the text format knows (extra_sections) are not carried. A PNG cartridge is a
// 160x205 picture of a cartridge whose pixels carry the block and a five-byte
// trailer (version 15, 0, 1, 17, platform letter) in the two low bits of each
// channel: byte = (alpha&3)<<6 | (red&3)<<4 | (green&3)<<2 | (blue&3).
//
// Readers take a buffer and a length and return a status; damaged input is
// refused with a status, never read or written out of bounds. A record is only
// handed out when reading succeeded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cart/cart.h"
#include "cart/cart_art.h"
#include "framework/fenn_bitmap.h"
#include "framework/fenn_file.h"

constexpr size_t cart_block_size = 0x8000;        // the 32 KiB block
constexpr size_t cart_png_block_size = 0x8005;    // the block and its trailer
constexpr size_t cart_code_offset = 0x4300;
constexpr size_t cart_code_room = 15360;          // bytes of program stored
constexpr uint8_t cart_platform_letter = 'l';
constexpr int cart_label_x = 16, cart_label_y = 24, cart_label_size = 128;
constexpr int cart_title_x = 18, cart_title1_y = 167, cart_title2_y = 175, cart_brand_y = 187;
constexpr int cart_title_max = 31;                // characters of a title line
constexpr size_t cart_png_max_file = vexel_cart_file_max;


// Fills `block` (cart_block_size bytes) from the record. Returns 0, or
// cart_too_big when the compressed program is over cart_code_room bytes
// (the block then holds the ROM image and no program).
int png_cart_save_32k(const vexel_cart* cart, uint8_t* block);

// The same with another program text in place of the record's.
int png_cart_save_32k_code(const vexel_cart* cart, const char* code, size_t code_length, uint8_t* block);

// Fills an existing record from `size` bytes of a 32 KiB block: the ROM image
// and the program; the version is left alone. Returns 0, cart_unreadable
// when the block is shorter than cart_block_size, or cart_bad_code when
// the compressed program is damaged (the code is then empty).
int png_cart_load_32k(vexel_cart* cart, const uint8_t* block, size_t size);

// Draws the visible picture: the template, the label (if any) and the title
// lines. Returns a new 32-bit 160x205 bitmap owned by the caller.
fenn_bitmap* png_cart_draw_picture(const vexel_cart* cart, const cart_art* art);

// Draws one title line: nothing unless `line` starts with "--"; one space
// after the dashes is skipped; the text runs to the end of the line and is
// cut at cart_title_max characters.
void png_cart_draw_comment(const cart_art* art, fenn_bitmap* picture, const char* line, int x, int y);

// Encodes the cartridge as PNG bytes. Returns 0 or cart_too_big.
int vexel_cart_png_encode(const vexel_cart* cart, const cart_art* art, std::vector<uint8_t>* png);

// Writes the cartridge picture to `path`. Nothing is written when the
// program does not fit; the file is replaced only once the new one is
// complete. Returns 0, cart_too_big or cart_write_failed.
int png_cart_save(const vexel_cart* cart, const cart_art* art, const char* path);

// Reads a PNG cartridge from memory. On success *out is a new record and
// the result 0. With `with_label`, the record's label is taken from the
// picture's label window (nearest label colour per pixel). *version (may be
// null) receives the block's version byte whenever the picture was readable.
int png_cart_load_memory(const uint8_t* data, size_t size, bool with_label,
                                    vexel_cart** out, int* version);

// Reads the cartridge hidden in a decoded 32-bit picture, as above.
int png_cart_load_from_picture(const fenn_bitmap* picture, bool with_label, vexel_cart** out,
                                 int* version);

// Reads a PNG cartridge from the rest of a framework stream (disk or memory);
// streams longer than cart_png_max_file are refused unread.
int png_cart_load_file(fenn_file& f, bool with_label, vexel_cart** out, int* version);

// Reads a PNG cartridge file, label included. A missing file (or one that is
// not a regular file) gives cart_no_picture.
int png_cart_load(const char* path, vexel_cart** out, int* version);
