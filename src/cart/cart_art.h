// cart_art: what the visible side of a PNG cartridge is drawn with.
//
// A cart_art record holds two things, loaded once by the shell and read
// when cartridges are saved or loaded: the 160x205 template picture and the
// small title font. Every call takes the record; a null record (or one not
// loaded) draws a plain grey cartridge and no title text, so saving never
// depends on the pictures. Label colours are the first 16 entries of the
// framework palette. The pictures are assets beside the program
// (assets/cart_template.png and assets/cart_font.png, drawn by
// tools/make_cart_art.py).
//
// Invariants: the template, when set, is a 32-bit 160x205 bitmap; the font,
// when set, is an 8-bit 16x6-cell glyph sheet (codes 32-127) whose pixels are
// 0 or 1.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "framework/fenn_bitmap.h"

constexpr int cart_picture_w = 160;
constexpr int cart_picture_h = 205;
constexpr int cart_font_columns = 16;
constexpr int cart_font_rows = 6;           // 96 glyphs, codes 32-127
constexpr int cart_label_colours = 16;

// Where the resource pod's system graphics carry the two pictures, as PNG
// file bytes in data items.
constexpr int cart_art_template_item = 245;
constexpr int cart_art_font_item = 246;

struct cart_art {
    std::unique_ptr<fenn_bitmap, void (*)(fenn_bitmap*)> picture{nullptr, fenn_destroy_bitmap};
    std::unique_ptr<fenn_bitmap, void (*)(fenn_bitmap*)> font{nullptr, fenn_destroy_bitmap};
    int cell_w = 0, cell_h = 0;
};

// Takes the template and the font from PNG files in memory. Returns 0, or 1
// when either cannot be read or has the wrong size (nothing changes then).
int cart_art_set_from_png(cart_art* art, const uint8_t* template_png, size_t template_size,
                          const uint8_t* font_png, size_t font_size);

// Reads "cart_template.png" and "cart_font.png" from a folder. Returns 0 or 1.
int cart_art_load_folder(cart_art* art, const char* folder);

// A new 32-bit picture holding the template. Owned by the caller.
fenn_bitmap* cart_art_new_picture(const cart_art* art);

// 0xAARRGGBB of label colour `index` (0-15) in the framework palette, opaque.
uint32_t cart_art_colour(int index);

// The label colour (0-15) nearest to an 0xAARRGGBB colour, ignoring alpha;
// the first of equally near ones.
int cart_art_nearest_colour(uint32_t argb);

// Draws text at (x, y) in an opaque 0xRRGGBB colour with the title font,
// clipped to the picture; characters outside 32-127 are blanks. Returns the x
// after the last character. Does nothing without a font.
int cart_art_draw_text(const cart_art* art, fenn_bitmap* picture, const char* text, size_t length, int x, int y,
                       uint32_t rgb);

// Width in pixels of one character of the title font (0 without a font).
int cart_art_advance(const cart_art* art);
