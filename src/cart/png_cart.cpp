#include "cart/png_cart.h"

#include "cart/cart_glyphs.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cart/cart_art.h"
#include "cart/compress.h"
#include "framework/fenn_file.h"
#include "framework/fenn_png.h"
#include "framework/fenn_write.h"
#include "cart/cart_rom.h"

namespace {

constexpr uint8_t block_trailer[5] = {uint8_t(vexel_cart_newest_version), 0, 1, 17, cart_platform_letter};
constexpr uint32_t title_colour = 0xfff8f0;
constexpr uint32_t brand_colour = 0xa0a0a0;
constexpr char brand_text[] = "vexel cartridge";

using bitmap_ptr = std::unique_ptr<fenn_bitmap, void (*)(fenn_bitmap*)>;

uint8_t hidden_byte(uint32_t argb) {
    return uint8_t((argb >> 24 & 3) << 6 | (argb >> 16 & 3) << 4 | (argb >> 8 & 3) << 2 | (argb & 3));
}

uint32_t hide_byte(uint32_t argb, uint8_t b) {
    return (argb & 0xfcfcfcfcu) | uint32_t(b >> 6 & 3) << 24 | uint32_t(b >> 4 & 3) << 16 |
           uint32_t(b >> 2 & 3) << 8 | uint32_t(b & 3);
}

}  // namespace

int png_cart_save_32k_code(const vexel_cart* cart, const char* code, size_t code_length, uint8_t* block) {
    std::memset(block, 0, cart_block_size);
    for (int addr = 0; addr < vexel_rom_size; ++addr) block[addr] = uint8_t(vexel_cart_peek(cart, uint32_t(addr)));
    if (code_length > compress_max_text) return cart_too_big;
    std::vector<uint8_t> packed(compress_mini_bound(code_length));
    size_t n = compress_mini_pack(code, code_length, packed.data(), packed.size());
    if (n > cart_code_room) return cart_too_big;
    std::memcpy(block + cart_code_offset, packed.data(), n);
    return cart_ok;
}

int png_cart_save_32k(const vexel_cart* cart, uint8_t* block) {
    return png_cart_save_32k_code(cart, cart->code, std::strlen(cart->code), block);
}

int png_cart_load_32k(vexel_cart* cart, const uint8_t* block, size_t size) {
    if (!block || size < cart_block_size) return cart_unreadable;
    for (int addr = 0; addr < vexel_rom_size; ++addr) vexel_cart_poke(cart, uint32_t(addr), block[addr]);
    std::memset(cart->code, 0, vexel_code_buffer);
    const uint8_t* program = block + cart_code_offset;
    const size_t room = cart_block_size - cart_code_offset;
    // Only the full header marks compressed code, so a plain program that
    // merely starts with ':' (a goto label) reads back as written.
    if (compress_is_block(program, room)) {
        size_t length = 0;
        // The capacity keeps the text within the record's limit even when a
        // damaged copy token runs past the declared length.
        if (compress_mini_unpack(program, room, cart->code, vexel_code_max, &length) != decompress_ok)
            return cart_bad_code;
        // A zero byte would end the NUL-terminated program early.
        for (size_t i = 0; i < length && i < size_t(vexel_code_max); ++i)
            if (cart->code[i] == 0) {
                cart->code[i] = cart_unknown_char;
                ++cart->unknown_chars;
            }
        return cart_ok;
    }
    std::memcpy(cart->code, program, cart_code_room);  // the text ends at its first zero
    return cart_ok;
}

void png_cart_draw_comment(const cart_art* art, fenn_bitmap* picture, const char* line, int x, int y) {
    if (!line || line[0] != '-' || line[1] != '-') return;
    const char* text = line + 2;
    if (*text == ' ') ++text;
    size_t n = 0;
    while (n < size_t(cart_title_max) && text[n] && text[n] != '\n') ++n;
    cart_art_draw_text(art, picture, text, n, x, y, title_colour);
}

fenn_bitmap* png_cart_draw_picture(const vexel_cart* cart, const cart_art* art) {
    fenn_bitmap* pic = cart_art_new_picture(art);
    const fenn_bitmap* label = cart->label;
    if (label && label->depth == 8) {
        const int w = label->w < cart_label_size ? label->w : cart_label_size;
        const int h = label->h < cart_label_size ? label->h : cart_label_size;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int v = label->pix[size_t(y) * label->w + x];
                pic->pix32()[size_t(cart_label_y + y) * pic->w + cart_label_x + x] =
                    cart_art_colour(v > 15 ? 15 : v);
            }
    }
    png_cart_draw_comment(art, pic, cart->code, cart_title_x, cart_title1_y);
    if (const char* nl = std::strchr(cart->code, '\n')) png_cart_draw_comment(art, pic, nl + 1, cart_title_x, cart_title2_y);
    cart_art_draw_text(art, pic, brand_text, sizeof brand_text - 1, cart_title_x, cart_brand_y, brand_colour);
    return pic;
}

int vexel_cart_png_encode(const vexel_cart* cart, const cart_art* art, std::vector<uint8_t>* png) {
    png->clear();
    uint8_t block[cart_png_block_size];
    if (png_cart_save_32k(cart, block) != cart_ok) return cart_too_big;
    std::memcpy(block + cart_block_size, block_trailer, sizeof block_trailer);

    bitmap_ptr pic(png_cart_draw_picture(cart, art), fenn_destroy_bitmap);
    uint32_t* pix = pic->pix32();
    const size_t count = size_t(pic->w) * size_t(pic->h);
    for (size_t i = 0; i < count; ++i) pix[i] = hide_byte(pix[i], i < cart_png_block_size ? block[i] : 0);
    return fenn_png_encode(pic.get(), png) == 0 ? cart_ok : cart_write_failed;
}

int png_cart_save(const vexel_cart* cart, const cart_art* art, const char* path) {
    std::vector<uint8_t> png;
    int status = vexel_cart_png_encode(cart, art, &png);
    if (status != cart_ok) return status;
    // Whole or not at all: a failed write never leaves a half-written
    // cartridge in place of a good one.
    return fenn_write_file(path, png.data(), png.size()).ok() ? cart_ok : cart_write_failed;
}

int png_cart_load_from_picture(const fenn_bitmap* pic, bool with_label, vexel_cart** out, int* version) {
    *out = nullptr;
    if (!pic || pic->depth != 32 || pic->w != cart_picture_w || pic->h != cart_picture_h)
        return cart_no_picture;
    uint8_t block[cart_png_block_size];
    const uint32_t* pix = pic->pix32();
    for (size_t i = 0; i < cart_png_block_size; ++i) block[i] = hidden_byte(pix[i]);
    const int block_version = block[cart_block_size];
    if (version) *version = block_version;

    // A newer version's block is read as far as this version understands
    // it; the version is kept so that loading warns of it.
    vexel_cart* cart = vexel_cart_create();
    cart->version = cart->file_version = block_version;
    const int st = png_cart_load_32k(cart, block, cart_block_size);
    if (st != cart_ok) {
        vexel_cart_destroy(cart);
        return st;
    }
    if (with_label) {
        cart->label = fenn_create_bitmap(cart_label_size, cart_label_size, 8);
        for (int y = 0; y < cart_label_size; ++y)
            for (int x = 0; x < cart_label_size; ++x)
                cart->label->pix[size_t(y) * cart_label_size + x] = uint8_t(cart_art_nearest_colour(
                    pix[size_t(cart_label_y + y) * cart_picture_w + cart_label_x + x]));
    }
    *out = cart;
    return cart_ok;
}

int png_cart_load_memory(const uint8_t* data, size_t size, bool with_label, vexel_cart** out,
                                    int* version) {
    *out = nullptr;
    fenn_bitmap* decoded = nullptr;
    const int st = fenn_png_decode(data, size, &decoded, cart_picture_w, cart_picture_h);
    if (st == fenn_png_too_big) return cart_no_picture;
    if (st != fenn_png_ok) return cart_unreadable;
    bitmap_ptr pic(decoded, fenn_destroy_bitmap);
    return png_cart_load_from_picture(pic.get(), with_label, out, version);
}

int png_cart_load_file(fenn_file& f, bool with_label, vexel_cart** out, int* version) {
    *out = nullptr;
    const int64_t remaining = fenn_file_remaining(f);
    if (remaining < 0 || uint64_t(remaining) > cart_png_max_file) return cart_unreadable;
    std::vector<uint8_t> data(static_cast<size_t>(remaining));
    if (fenn_file_read(f, data.data(), data.size()) != data.size()) return cart_unreadable;
    return png_cart_load_memory(data.data(), data.size(), with_label, out, version);
}

int png_cart_load(const char* path, vexel_cart** out, int* version) {
    *out = nullptr;
    fenn_file f;
    if (!fenn_file_open(f, path)) return cart_no_picture;
    return png_cart_load_file(f, true, out, version);
}
