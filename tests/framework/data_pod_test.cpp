// The resource file built from assets/ has the item layout the shell relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "cart/cart_art.h"
#include "framework/fenn_pod.h"

namespace {

struct data_pod : ::testing::Test {
    fenn_pod* pod = nullptr;
    fenn_pod* gfx = nullptr;
    fenn_pod* font = nullptr;
    void SetUp() override {
        pod = fenn_load_pod(VEXEL_BINARY_DIR "/data.pod");
        ASSERT_NE(pod, nullptr) << "build the data_pod target first";
        gfx = fenn_pod_load_nested(pod, 1);
        font = fenn_pod_load_nested(pod, 2);
        ASSERT_NE(gfx, nullptr);
        ASSERT_NE(font, nullptr);
    }
    void TearDown() override {
        fenn_destroy_pod(font);
        fenn_destroy_pod(gfx);
        fenn_destroy_pod(pod);
    }
};

bool bitmap_is(const fenn_bitmap* b, int w, int h, int depth) {
    return b && b->w == w && b->h == h && b->depth == depth;
}

int max_pixel(const fenn_bitmap* b) {
    int m = 0;
    for (uint8_t p : b->pix) m = std::max(m, int(p));
    return m;
}

}  // namespace

TEST_F(data_pod, TopLevelHoldsCartridgeGraphicsAndFont) {
    // Items 3 on are the built-in cartridges in 32 KiB blocks, the menu first.
    ASSERT_EQ(fenn_pod_item_count(pod), 6);
    for (int i = 3; i < 6; ++i) {
        const fenn_pod_item* block = fenn_pod_get_data(pod, i);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->bytes.size(), 32768u);
    }
    EXPECT_STREQ(fenn_pod_get_data(pod, 3)->name, "menu.qz");
    const fenn_pod_item* cart = fenn_pod_get_data(pod, 0);
    ASSERT_NE(cart, nullptr);
    std::string text(cart->bytes.begin(), cart->bytes.end());
    EXPECT_EQ(text.rfind("vexel cartridge", 0), 0u);
    EXPECT_NE(text.find("\nversion 14\n"), std::string::npos);
    // Sound effect 0 is the boot chime: a 168-character line with audible notes.
    size_t sfx = text.find("__sfx__\n");
    ASSERT_NE(sfx, std::string::npos);
    std::string line = text.substr(sfx + 8, text.find('\n', sfx + 8) - sfx - 8);
    ASSERT_EQ(line.size(), 168u);
    int audible = 0;
    for (int n = 0; n < 32; ++n) audible += line[size_t(8 + n * 5 + 3)] != '0';
    EXPECT_GE(audible, 4);
    // Read from memory, a cartridge loses its last line; the chime must not be it.
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
}

TEST_F(data_pod, SystemGraphicsLayout) {
    EXPECT_EQ(fenn_pod_item_count(gfx), 247);
    const uint8_t* pal = fenn_pod_get_palette(gfx, 1);
    ASSERT_NE(pal, nullptr);
    std::set<uint32_t> machine;
    for (int i = 0; i < 16; ++i) machine.insert(uint32_t(pal[i * 3]) << 16 | pal[i * 3 + 1] << 8 | pal[i * 3 + 2]);
    EXPECT_EQ(machine.size(), 16u);  // sixteen distinct machine colours
    EXPECT_EQ(std::memcmp(pal + 16 * 3, pal, 3), 0);  // 16 is colour 0, for opaque screenshots
    std::set<uint32_t> extra;
    for (int i = 128; i < 144; ++i) extra.insert(uint32_t(pal[i * 3]) << 16 | pal[i * 3 + 1] << 8 | pal[i * 3 + 2]);
    EXPECT_EQ(extra.size(), 16u);
    EXPECT_EQ(pal[200 * 3 + 1], 200);  // the rest is a grey ramp

    const fenn_bitmap* logo = fenn_pod_get_bitmap(gfx, 2);
    ASSERT_TRUE(bitmap_is(logo, 40, 10, 8));
    EXPECT_LE(max_pixel(logo), 15);
    EXPECT_GT(std::count_if(logo->pix.begin(), logo->pix.end(), [](uint8_t p) { return p != 0; }), 40);

    const fenn_pod_item* title = fenn_pod_get_data(gfx, 4);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(std::string(title->bytes.begin(), title->bytes.end()), "vexel");

    const fenn_bitmap* icon = fenn_pod_get_bitmap(gfx, 6);
    ASSERT_TRUE(bitmap_is(icon, 32, 32, 32));
    EXPECT_EQ(icon->pix32()[0] >> 24, 0u);          // transparent corner
    EXPECT_EQ(icon->pix32()[16 * 32 + 16] >> 24, 0xffu);  // opaque middle

    EXPECT_TRUE(bitmap_is(fenn_pod_get_bitmap(gfx, 7), 8, 8, 8));  // mouse cursor
    EXPECT_TRUE(bitmap_is(fenn_pod_get_bitmap(gfx, 8), 7, 7, 8));  // menu pointer
    for (int i : {176, 177, 178, 180, 181, 185, 187, 194})
        EXPECT_TRUE(bitmap_is(fenn_pod_get_bitmap(gfx, i), 7, 7, 8)) << i;
    // Animation frames: all 12x12, each frame different from the one before.
    for (auto [first, count] : {std::pair{212, 12}, std::pair{229, 16}}) {
        for (int i = first; i < first + count; ++i) {
            const fenn_bitmap* f = fenn_pod_get_bitmap(gfx, i);
            ASSERT_TRUE(bitmap_is(f, 12, 12, 8)) << i;
            EXPECT_LE(max_pixel(f), 15) << i;
            const fenn_bitmap* prev = fenn_pod_get_bitmap(gfx, i == first ? first + count - 1 : i - 1);
            EXPECT_NE(f->pix, prev->pix) << i;
        }
    }
    // The cartridge picture and title font, as PNG files the cartridge
    // module takes.
    const fenn_pod_item* art = fenn_pod_get_data(gfx, cart_art_template_item);
    const fenn_pod_item* art_font = fenn_pod_get_data(gfx, cart_art_font_item);
    ASSERT_NE(art, nullptr);
    ASSERT_NE(art_font, nullptr);
    cart_art taken;
    EXPECT_EQ(cart_art_set_from_png(&taken, art->bytes.data(), art->bytes.size(), art_font->bytes.data(),
                                    art_font->bytes.size()),
              0);
    EXPECT_GT(cart_art_advance(&taken), 0);
    // Every slot is a bitmap except the palette, the title and the cartridge art.
    for (int i = 0; i < 245; ++i) {
        if (i == 1 || i == 4) continue;
        EXPECT_NE(fenn_pod_get_bitmap(gfx, i), nullptr) << i;
    }
}

TEST_F(data_pod, FontGivesEveryCharacterItsOwnGlyph) {
    // Codes 0-127 are 3x5 and 128-255 7x5, colour 7 on 0. Only NUL, tab,
    // newline, carriage return and space are blank, and no two glyphs match.
    ASSERT_EQ(fenn_pod_item_count(font), 256);
    std::set<std::vector<uint8_t>> shapes;
    for (int c = 0; c < 256; ++c) {
        const fenn_bitmap* g = fenn_pod_get_bitmap(font, c);
        ASSERT_TRUE(bitmap_is(g, c < 128 ? 3 : 7, 5, 8)) << c;
        EXPECT_TRUE(std::all_of(g->pix.begin(), g->pix.end(), [](uint8_t p) { return p == 0 || p == 7; })) << c;
        const bool blank = max_pixel(g) == 0;
        EXPECT_EQ(blank, c == 0 || c == '\t' || c == '\n' || c == '\r' || c == ' ') << c;
        if (!blank) {
            EXPECT_TRUE(shapes.insert(g->pix).second) << "glyph " << c << " repeats another";
        }
    }
}
