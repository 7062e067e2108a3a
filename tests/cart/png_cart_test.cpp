#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cart/cart_art.h"
#include "cart/cart_hash.h"
#include "cart/cart_text.h"
#include "cart/compress.h"
#include "cart/cart_load.h"
#include "cart/png_cart.h"
#include "framework/fenn_png.h"
#include "framework/fenn_video.h"
#include "cart/cart_rom.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct cart_deleter {
    void operator()(vexel_cart* c) const { vexel_cart_destroy(c); }
};
using cart_ptr = std::unique_ptr<vexel_cart, cart_deleter>;
struct bitmap_deleter {
    void operator()(fenn_bitmap* b) const { fenn_destroy_bitmap(b); }
};
using bitmap_ptr = std::unique_ptr<fenn_bitmap, bitmap_deleter>;

std::string read_text(const std::string& name) {
    return vexel_test::read_file(std::string(VEXEL_SOURCE_DIR) + "/tests/cart/data/" + name);
}

void set_code(vexel_cart* c, const std::string& s) {
    ASSERT_LE(s.size(), size_t(vexel_code_max));
    std::memset(c->code, 0, vexel_code_buffer);
    std::memcpy(c->code, s.data(), s.size());
}

// A cartridge with every ROM byte set from a seeded generator and a real
// program.
cart_ptr full_cart(unsigned seed, const std::string& code) {
    cart_ptr c(vexel_cart_create());
    std::mt19937 rng(seed);
    for (int a = 0; a < vexel_rom_size; ++a) vexel_cart_poke(c.get(), a, int(rng() & 0xff));
    set_code(c.get(), code);
    return c;
}

Bytes rom_of(vexel_cart* c) {
    Bytes rom(vexel_rom_size);
    for (int a = 0; a < vexel_rom_size; ++a) rom[a] = uint8_t(vexel_cart_peek(c, uint32_t(a)));
    return rom;
}

// The art the helpers draw with (set by the CartArt tests; null: none).
const cart_art* g_art = nullptr;

Bytes encode(vexel_cart* c) {
    Bytes png;
    EXPECT_EQ(vexel_cart_png_encode(c, g_art, &png), cart_ok);
    return png;
}

cart_ptr decode(const Bytes& png, int* status = nullptr, bool label = true) {
    vexel_cart* out = nullptr;
    int version = -1;
    int st = png_cart_load_memory(png.data(), png.size(), label, &out, &version);
    if (status) *status = st;
    return cart_ptr(out);
}

bitmap_ptr picture_of(const Bytes& png) {
    fenn_bitmap* b = nullptr;
    EXPECT_EQ(fenn_png_decode(png.data(), png.size(), &b), fenn_png_ok);
    return bitmap_ptr(b);
}

Bytes png_of(const fenn_bitmap* b) {
    Bytes png;
    EXPECT_EQ(fenn_png_encode(b, &png), 0);
    return png;
}

// Art from the assets folder and 16 distinct label colours in the framework
// palette, both put back afterwards.
class CartArt : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(cart_art_load_folder(&art, VEXEL_SOURCE_DIR "/assets"), 0);
        g_art = &art;
    }
    void TearDown() override { g_art = nullptr; }
    cart_art art;
    vexel_test::DistinctPalette palette;
};

// Text that does not compress (every character costs two bytes), so the
// stored size is exactly its length.
std::string incompressible(size_t n) {
    std::mt19937 rng(5);
    std::string s(n, 'A');
    for (char& c : s) c = char('A' + rng() % 26);
    return s;
}

}  // namespace

TEST(CartBlock, RomAndProgramRoundTrip) {
    for (const char* name : {"orbit.lua", "dungeon.lua"}) {
        cart_ptr c = full_cart(42, read_text(name));
        Bytes block(cart_block_size);
        ASSERT_EQ(png_cart_save_32k(c.get(), block.data()), 0);
        EXPECT_TRUE(compress_is_block(block.data() + cart_code_offset, 8)) << name;
        EXPECT_EQ(Bytes(block.begin(), block.begin() + vexel_rom_size), rom_of(c.get()));

        cart_ptr back(vexel_cart_create());
        ASSERT_EQ(png_cart_load_32k(back.get(), block.data(), block.size()), 0);
        EXPECT_EQ(rom_of(back.get()), rom_of(c.get())) << name;
        EXPECT_STREQ(back->code, c->code) << name;
    }
    cart_ptr c(vexel_cart_create());
    Bytes short_block(cart_block_size - 1);
    EXPECT_EQ(png_cart_load_32k(c.get(), short_block.data(), short_block.size()), cart_unreadable);
}

TEST(CartBlock, ProgramRoomIsExactly15360Bytes) {
    cart_ptr c(vexel_cart_create());
    Bytes block(cart_block_size);
    set_code(c.get(), incompressible(cart_code_room));
    ASSERT_EQ(png_cart_save_32k(c.get(), block.data()), 0);
    cart_ptr back(vexel_cart_create());
    ASSERT_EQ(png_cart_load_32k(back.get(), block.data(), block.size()), 0);
    EXPECT_STREQ(back->code, c->code);

    set_code(c.get(), incompressible(cart_code_room + 1));
    EXPECT_EQ(png_cart_save_32k(c.get(), block.data()), cart_too_big);
    Bytes png;
    EXPECT_EQ(vexel_cart_png_encode(c.get(), g_art, &png), cart_too_big);
    EXPECT_TRUE(png.empty());
}

TEST(CartBlock, PlainProgramsStartingWithAColonReadBackAsWritten) {
    // Too short to compress, so stored as plain text; ':' alone is not the
    // compressed header.
    for (const std::string code : {"::a:: goto a", ":", ":c:x"}) {
        cart_ptr c(vexel_cart_create());
        set_code(c.get(), code);
        Bytes block(cart_block_size);
        ASSERT_EQ(png_cart_save_32k(c.get(), block.data()), 0);
        cart_ptr back(vexel_cart_create());
        ASSERT_EQ(png_cart_load_32k(back.get(), block.data(), block.size()), 0);
        EXPECT_EQ(std::string(back->code), code);
    }
}

TEST(CartBlock, DamagedCompressedProgramIsRefused) {
    cart_ptr c = full_cart(1, read_text("orbit.lua"));
    Bytes block(cart_block_size);
    ASSERT_EQ(png_cart_save_32k(c.get(), block.data()), 0);
    block[cart_code_offset + 8] = 0xff;  // first token: copy from before the start
    block[cart_code_offset + 9] = 0xff;
    cart_ptr back(vexel_cart_create());
    EXPECT_EQ(png_cart_load_32k(back.get(), block.data(), block.size()), cart_bad_code);
    EXPECT_STREQ(back->code, "");
}

TEST_F(CartArt, PngRoundTripKeepsEverything) {
    cart_ptr c = full_cart(7, read_text("dungeon.lua"));
    c->label = fenn_create_bitmap(128, 128, 8);
    for (size_t i = 0; i < c->label->pix.size(); ++i) c->label->pix[i] = uint8_t((i / 128 + i % 128 / 8) % 16);
    Bytes png = encode(c.get());

    int st = -1;
    cart_ptr back = decode(png, &st);
    ASSERT_EQ(st, cart_ok);
    EXPECT_EQ(back->version, vexel_cart_newest_version);
    EXPECT_EQ(rom_of(back.get()), rom_of(c.get()));
    EXPECT_STREQ(back->code, c->code);
    ASSERT_NE(back->label, nullptr);
    EXPECT_EQ(back->label->pix, c->label->pix);

    // The trailer follows the block; every later pixel carries nothing.
    bitmap_ptr pic = picture_of(png);
    ASSERT_EQ(pic->w, 160);
    ASSERT_EQ(pic->h, 205);
    const uint8_t trailer[5] = {15, 0, 1, 17, 'l'};
    for (int i = 0; i < 5; ++i) {
        uint32_t v = pic->pix32()[cart_block_size + i];
        uint8_t b = uint8_t((v >> 24 & 3) << 6 | (v >> 16 & 3) << 4 | (v >> 8 & 3) << 2 | (v & 3));
        EXPECT_EQ(b, trailer[i]) << i;
    }
    for (size_t i = cart_png_block_size; i < 160 * 205; ++i) ASSERT_EQ(pic->pix32()[i] & 0x03030303u, 0u) << i;

    // Reading without the label leaves it absent.
    cart_ptr bare = decode(png, &st, false);
    ASSERT_EQ(st, cart_ok);
    EXPECT_EQ(bare->label, nullptr);

    // The same through a framework stream over memory (embedded cartridges).
    fenn_file f;
    fenn_file_wrap(f, png.data(), png.size());
    vexel_cart* raw = nullptr;
    int version = 0;
    ASSERT_EQ(png_cart_load_file(f, false, &raw, &version), cart_ok);
    cart_ptr streamed(raw);
    EXPECT_STREQ(streamed->code, c->code);
}

TEST_F(CartArt, TextToPngToTextIsByteForByte) {
    // A cartridge with every section in the text form as the writer writes
    // it: the built-in game (program, sprites, flags, map, sound, music)
    // given a label.
    const std::string game = vexel_test::read_file(VEXEL_SOURCE_DIR "/assets/carts/game.qz");
    cart_ptr c(vexel_cart_from_text(game.data(), game.size()));
    ASSERT_NE(c, nullptr);
    c->label = fenn_create_bitmap(128, 128, 8);
    for (size_t i = 0; i < c->label->pix.size(); ++i) c->label->pix[i] = uint8_t((i * 7 + i / 128) % 16);
    const std::string text = vexel_cart_to_text(c.get());
    cart_ptr reread(vexel_cart_from_text(text.data(), text.size()));
    ASSERT_NE(reread, nullptr);
    ASSERT_EQ(vexel_cart_to_text(reread.get()), text);  // the written form reads back as itself
    for (const char* section : {"__lua__", "__gfx__", "__label__", "__gff__", "__map__", "__sfx__", "__music__"})
        EXPECT_NE(text.find(section), std::string::npos) << section;

    int st = -1;
    cart_ptr back = decode(encode(c.get()), &st);
    ASSERT_EQ(st, cart_ok);
    EXPECT_EQ(vexel_cart_to_text(back.get()), text);
}

TEST_F(CartArt, RecolouringTheHighBitsChangesNothing) {
    cart_ptr c = full_cart(9, read_text("orbit.lua"));
    bitmap_ptr pic = picture_of(encode(c.get()));
    std::mt19937 rng(3);
    for (size_t i = 0; i < pic->pix.size() / 4; ++i) pic->pix32()[i] ^= rng() & 0xfcfcfcfcu;
    int st = -1;
    cart_ptr back = decode(png_of(pic.get()), &st);
    ASSERT_EQ(st, cart_ok);
    EXPECT_EQ(rom_of(back.get()), rom_of(c.get()));
    EXPECT_STREQ(back->code, c->code);
}

TEST(CartPng, PictureWithNoHiddenBitsIsAnEmptyVersion0Cart) {
    bitmap_ptr pic(fenn_create_bitmap(160, 205, 32));
    fenn_clear_bitmap(pic.get(), 0xfc8040a0u);
    int st = -1;
    cart_ptr c = decode(png_of(pic.get()), &st);
    ASSERT_EQ(st, cart_ok);
    EXPECT_EQ(c->version, 0);
    for (uint8_t b : rom_of(c.get())) ASSERT_EQ(b, 0);
    EXPECT_STREQ(c->code, "");
}

TEST(CartPng, BadInputIsRefusedWithItsStatus) {
    cart_ptr c = full_cart(11, read_text("orbit.lua"));
    Bytes png = encode(c.get());
    int st = -1;

    EXPECT_EQ(decode(Bytes{}, &st), nullptr);
    EXPECT_EQ(st, cart_unreadable);
    Bytes text = {'v', 'e', 'x', 'e', 'l', ' ', 'c', 'a', 'r', 't'};
    EXPECT_EQ(decode(text, &st), nullptr);
    EXPECT_EQ(st, cart_unreadable);

    for (auto [w, h] : {std::pair{159, 205}, {160, 206}, {1, 1}, {320, 410}}) {
        bitmap_ptr pic(fenn_create_bitmap(w, h, 32));
        EXPECT_EQ(decode(png_of(pic.get()), &st), nullptr);
        EXPECT_EQ(st, cart_no_picture) << w << "x" << h;
    }

    // Cut short anywhere, or with any byte damaged, it never loads garbage
    // silently: either refused or (when only ancillary bytes were hit) the
    // same cartridge.
    for (size_t cut = 0; cut < png.size(); cut += 97) {
        EXPECT_EQ(decode(Bytes(png.begin(), png.begin() + cut), &st), nullptr) << cut;
    }
    for (size_t at = 8; at < png.size(); at += 131) {
        Bytes bad = png;
        bad[at] ^= 0x5a;
        cart_ptr back = decode(bad, &st);
        if (back) {
            EXPECT_EQ(rom_of(back.get()), rom_of(c.get())) << at;
        }
    }

}

TEST(CartPng, NewerVersionsLoadAndKeepTheirVersionForTheWarning) {
    cart_ptr c = full_cart(11, read_text("orbit.lua"));
    bitmap_ptr pic = picture_of(encode(c.get()));
    uint32_t& v = pic->pix32()[cart_block_size];
    v = (v & 0xfcfcfcfcu) | 0x00010000u;  // 16 = 0b00010000
    const Bytes newer = png_of(pic.get());
    vexel_cart* out = nullptr;
    int version = 0;
    ASSERT_EQ(png_cart_load_memory(newer.data(), newer.size(), true, &out, &version), cart_ok);
    cart_ptr back(out);
    EXPECT_EQ(version, 16);
    EXPECT_EQ(rom_of(back.get()), rom_of(c.get()));
    EXPECT_STREQ(back->code, c->code);
    EXPECT_EQ(cart_load_warnings(back.get()).size(), 1u);
}

TEST_F(CartArt, TitleLinesAndLabelAreDrawn) {
    auto render = [](const std::string& code, bool with_label) {
        cart_ptr c(vexel_cart_create());
        set_code(c.get(), code);
        if (with_label) {
            c->label = fenn_create_bitmap(128, 128, 8);
            fenn_clear_bitmap(c->label, 8);
        }
        return bitmap_ptr(png_cart_draw_picture(c.get(), g_art));
    };
    auto expected = [](const std::string& line1, const std::string& line2) {
        bitmap_ptr pic(cart_art_new_picture(g_art));
        cart_art_draw_text(g_art, pic.get(), line1.data(), line1.size(), 18, 167, 0xfff8f0);
        cart_art_draw_text(g_art, pic.get(), line2.data(), line2.size(), 18, 175, 0xfff8f0);
        cart_art_draw_text(g_art, pic.get(), "vexel cartridge", 15, 18, 187, 0xa0a0a0);
        return pic;
    };
    // One space after the dashes is skipped, a second one is kept.
    EXPECT_EQ(render("-- my game\n--  by me\nprint(1)", false)->pix,
              expected("my game", " by me")->pix);
    // Only comment lines count; the second line is the one after the first newline.
    EXPECT_EQ(render("x=1\n-- second\n-- third", false)->pix, expected("", "second")->pix);
    EXPECT_EQ(render("-- only", false)->pix, expected("only", "")->pix);
    // Titles are cut at 31 characters.
    std::string longer(40, 'w');
    EXPECT_EQ(render("--" + longer, false)->pix, expected(longer.substr(0, 31), "")->pix);
    // The text is really there: it differs from the bare template.
    EXPECT_NE(render("-- my game", false)->pix, expected("", "")->pix);

    // Without a label the template's window stays; with one it is painted.
    bitmap_ptr bare = render("", false), tpl(cart_art_new_picture(g_art));
    bitmap_ptr labelled = render("", true);
    for (int y = 24; y < 152; ++y)
        for (int x = 16; x < 144; ++x) {
            ASSERT_EQ(bare->pix32()[y * 160 + x], tpl->pix32()[y * 160 + x]);
            ASSERT_EQ(labelled->pix32()[y * 160 + x], cart_art_colour(8));
        }
}

TEST(CartArtAssets, TemplateAndFontHaveTheirShapes) {
    std::ifstream in(VEXEL_SOURCE_DIR "/assets/cart_template.png", std::ios::binary);
    Bytes tpl{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::ifstream fin(VEXEL_SOURCE_DIR "/assets/cart_font.png", std::ios::binary);
    Bytes font{std::istreambuf_iterator<char>(fin), std::istreambuf_iterator<char>()};
    cart_art art;
    ASSERT_EQ(cart_art_set_from_png(&art, tpl.data(), tpl.size(), font.data(), font.size()), 0);
    EXPECT_EQ(cart_art_advance(&art), 4);
    // Swapped files are refused and leave the art as it was.
    EXPECT_EQ(cart_art_set_from_png(&art, font.data(), font.size(), tpl.data(), tpl.size()), 1);
    EXPECT_EQ(cart_art_advance(&art), 4);
    EXPECT_EQ(cart_art_load_folder(&art, "/nonexistent"), 1);
    EXPECT_EQ(cart_art_advance(nullptr), 0);
    // Saving works without any art: a plain cartridge picture.
    cart_ptr c(vexel_cart_create());
    set_code(c.get(), "-- plain");
    int st = -1;
    cart_ptr back = decode(encode(c.get()), &st);
    EXPECT_EQ(st, cart_ok);
}

TEST_F(CartArt, SavingToAFileReplacesItWhole) {
    std::string dir = vexel_test::temp_dir("png_cart");
    std::string path = dir + "/game.qz.png";
    cart_ptr c = full_cart(21, read_text("orbit.lua"));
    ASSERT_EQ(png_cart_save(c.get(), g_art, path.c_str()), 0);
    vexel_cart* raw = nullptr;
    int version = 0;
    ASSERT_EQ(png_cart_load(path.c_str(), &raw, &version), 0);
    cart_ptr back(raw);
    EXPECT_EQ(rom_of(back.get()), rom_of(c.get()));
    EXPECT_STREQ(back->code, c->code);
    EXPECT_NE(back->label, nullptr);  // the file loader always reads the label

    // A program that does not fit writes nothing and keeps the old file.
    set_code(c.get(), incompressible(cart_code_room + 1));
    EXPECT_EQ(png_cart_save(c.get(), g_art, path.c_str()), cart_too_big);
    ASSERT_EQ(png_cart_load(path.c_str(), &raw, &version), 0);
    cart_ptr still(raw);
    EXPECT_STREQ(still->code, back->code);

    // Unwritable places and missing files are reported.
    set_code(c.get(), "x=1");
    EXPECT_EQ(png_cart_save(c.get(), g_art, (dir + "/no/such/folder/a.qz.png").c_str()), cart_write_failed);
    EXPECT_EQ(png_cart_load((dir + "/missing.png").c_str(), &raw, &version), cart_no_picture);
    EXPECT_EQ(png_cart_load(dir.c_str(), &raw, &version), cart_no_picture);
}

TEST(CartHash, StableAndSensitive) {
    cart_ptr c = full_cart(99, read_text("orbit.lua"));
    char h[cart_hash_size + 1];
    cart_hash(c.get(), h);
    // The hash names stored files on users' disks: it must never change for
    // the same cartridge. This value pins the block layout and the compressor.
    EXPECT_STREQ(h, "35b24affc15a421c7bca797a5728dea66706f91f");

    // It is the digest of the 32 KiB block.
    Bytes block(cart_block_size);
    ASSERT_EQ(png_cart_save_32k(c.get(), block.data()), 0);
    char direct[sha1_hex_size + 1];
    sha1_hex(block.data(), block.size(), direct);
    EXPECT_STREQ(h, direct);

    char h2[cart_hash_size + 1];
    vexel_cart_poke(c.get(), 0x3200 + 64 * 68 - 1, vexel_cart_peek(c.get(), 0x3200 + 64 * 68 - 1) ^ 1);
    cart_hash(c.get(), h2);
    EXPECT_STRNE(h, h2);
}

TEST(CartHash, ProgramsTooLargeForTheBlockStillHashDistinctly) {
    cart_ptr a(vexel_cart_create()), b(vexel_cart_create());
    std::string big = incompressible(20000);
    set_code(a.get(), big);
    big[12345] = big[12345] == 'A' ? 'B' : 'A';
    set_code(b.get(), big);
    char ha[cart_hash_size + 1], hb[cart_hash_size + 1];
    cart_hash(a.get(), ha);
    cart_hash(b.get(), hb);
    EXPECT_EQ(std::strlen(ha), 40u);
    EXPECT_STRNE(ha, std::string(40, '0').c_str());
    EXPECT_STRNE(ha, hb);
    EXPECT_EQ(std::strlen(a->code), 20000u);  // the record keeps its text

    // Same as hashing the block whose program is the text's digest.
    char text_digest[sha1_hex_size + 1];
    sha1_hex(a->code, 20000, text_digest);
    Bytes block(cart_block_size);
    ASSERT_EQ(png_cart_save_32k_code(a.get(), text_digest, 40, block.data()), 0);
    char direct[sha1_hex_size + 1];
    sha1_hex(block.data(), block.size(), direct);
    EXPECT_STREQ(ha, direct);
}
