// The shared half of sprite sheet and map: every way of writing it keeps
// both views the same.
#include "cart/cart_rom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>

namespace {

using cart_ptr = std::unique_ptr<vexel_cart, void (*)(vexel_cart*)>;
cart_ptr fresh_cart() { return cart_ptr(vexel_cart_create(), vexel_cart_destroy); }

int pixel(const vexel_cart* c, int x, int y) { return c->gfx->pix[size_t(y) * 128 + size_t(x)]; }
int cell(const vexel_cart* c, int x, int y) { return c->map->pix[size_t(y) * 128 + size_t(x)]; }

}  // namespace

TEST(SharedHalf, APixelWrittenInTheLowerSheetChangesItsMapCell) {
    cart_ptr c = fresh_cart();
    vexel_cart_set_pixel(c.get(), 2 * 5 + 1, 64, 0xa);  // the high nibble of cell (5, 32)
    vexel_cart_set_pixel(c.get(), 2 * 5, 64, 0x13);     // colour & 15
    EXPECT_EQ(cell(c.get(), 5, 32), 0xa3);
    vexel_cart_set_pixel(c.get(), 127, 127, 7);  // the last cell
    EXPECT_EQ(cell(c.get(), 127, 63), 0x70);
    EXPECT_EQ(vexel_cart_peek(c.get(), vexel_map_cell_addr(127, 63)), 0x70);
    // The upper sheet is no map: cell (5, 0) and the map's first rows stay.
    vexel_cart_set_pixel(c.get(), 10, 0, 9);
    EXPECT_EQ(cell(c.get(), 5, 0), 0);
    EXPECT_EQ(pixel(c.get(), 10, 0), 9);
}

TEST(SharedHalf, ACellWrittenInTheLowerMapChangesItsTwoPixels) {
    cart_ptr c = fresh_cart();
    vexel_cart_set_cell(c.get(), 20, 33, 0x4c);
    // Map row 33 is sheet row 66: cell 20 holds pixels 40 and 41.
    EXPECT_EQ(pixel(c.get(), 40, 66), 0xc);
    EXPECT_EQ(pixel(c.get(), 41, 66), 0x4);
    vexel_cart_set_cell(c.get(), 20, 31, 0x55);  // above the shared half: the map alone
    EXPECT_EQ(cell(c.get(), 20, 31), 0x55);
    EXPECT_EQ(pixel(c.get(), 40, 62), 0);
    EXPECT_EQ(pixel(c.get(), 40, 126), 0);
}

TEST(SharedHalf, PokesPixelsAndCellsAgreeAndOutsideWritesAreIgnored) {
    cart_ptr c = fresh_cart();
    vexel_cart_poke(c.get(), vexel_map_cell_addr(3, 40), 0x21);
    EXPECT_EQ(cell(c.get(), 3, 40), 0x21);
    EXPECT_EQ(pixel(c.get(), 6, 80), 1);
    EXPECT_EQ(pixel(c.get(), 7, 80), 2);
    EXPECT_EQ(vexel_sheet_pixel_addr(6, 80), vexel_map_cell_addr(3, 40));
    vexel_cart_set_pixel(c.get(), 128, 0, 1);
    vexel_cart_set_pixel(c.get(), 0, -1, 1);
    vexel_cart_set_cell(c.get(), 0, 64, 1);
    vexel_cart_set_cell(c.get(), -1, 0, 1);
    vexel_cart_set_pixel(nullptr, 0, 0, 1);
    vexel_cart_set_cell(nullptr, 0, 0, 1);
    for (uint8_t p : c->gfx->pix) ASSERT_LT(p, 16);
    int lit = 0;
    for (uint8_t p : c->gfx->pix) lit += p != 0;
    EXPECT_EQ(lit, 2);
}

TEST(SharedHalf, WholeMapRowsReadAsTheirCellsPeek) {
    cart_ptr cart = fresh_cart();
    uint32_t seed = 7;
    for (uint32_t a = 0; a < vexel_addr_flags; ++a) {
        seed = seed * 1103515245u + 12345u;
        vexel_cart_poke(cart.get(), a, int(seed >> 16));
    }
    uint8_t row[128];
    for (int y = -1; y <= 64; ++y) {
        std::fill(std::begin(row), std::end(row), uint8_t(0xaa));
        vexel_cart_map_row(cart.get(), y, row);
        for (int x = 0; x < 128; ++x) {
            const int want = y >= 0 && y < 64 ? vexel_cart_peek(cart.get(), vexel_map_cell_addr(x, y)) : 0;
            ASSERT_EQ(row[x], want) << x << "," << y;
        }
    }
    // Without a sheet or a map the rows that live there read as zeros.
    vexel_cart_map_row(nullptr, 3, row);
    EXPECT_EQ(std::count(std::begin(row), std::end(row), 0), 128);
    fenn_bitmap* gfx = cart->gfx;
    cart->gfx = nullptr;
    vexel_cart_map_row(cart.get(), 40, row);
    EXPECT_EQ(std::count(std::begin(row), std::end(row), 0), 128);
    vexel_cart_map_row(cart.get(), 3, row);
    EXPECT_EQ(int(row[5]), vexel_cart_peek(cart.get(), vexel_map_cell_addr(5, 3)));
    cart->gfx = gfx;
}
