// The address space: every region's byte view, the register side effects,
// copies and fills, and the lifecycle of the draw state.
#include "machine/mem.h"

#include <gtest/gtest.h>

#include "test_support.h"

#include <cstring>
#include <memory>
#include <random>
#include <string>

namespace {

// A machine of its own; faults are what it asks its host for.
struct MemTest : ::testing::Test {
    vexel_test::TestMachine tm;
    vexel_machine* m = tm.m;
    vexel_cart* cart = m->cart;

    void SetUp() override { vexel_reset_draw_state(m); }
    int peek(int32_t a) { return vexel_peek(m, cart, a); }
    void poke(int32_t a, int32_t v) { vexel_poke(m, cart, a, v); }
    uint8_t& screen_px(int x, int y) { return m->screen->pix[y * 128 + x]; }
    uint8_t& sheet_px(int x, int y) { return cart->gfx->pix[y * 128 + x]; }
    uint8_t& map_cell(int c, int r) { return cart->map->pix[r * 128 + c]; }
    bool faulted() { return tm.requested(vexel_request_error); }
    std::string fault() { return m->error_string; }
    void clear_fault() {
        tm.clear_requests();
        m->error_string[0] = 0;
    }
};

TEST_F(MemTest, ScreenBytesHoldTwoPixelsLeftInLowNibble) {
    poke(0x6000, 0x21);
    EXPECT_EQ(screen_px(0, 0), 1);
    EXPECT_EQ(screen_px(1, 0), 2);
    EXPECT_EQ(peek(0x6000), 0x21);
    poke(0x6040, 0xf3);
    EXPECT_EQ(screen_px(0, 1), 3);
    // Every byte of the region round-trips and lands on its own two pixels.
    for (int a = 0; a < 0x2000; ++a) poke(0x6000 + a, (a * 7 + 3) & 0xff);
    for (int a = 0; a < 0x2000; ++a) {
        int v = (a * 7 + 3) & 0xff;
        ASSERT_EQ(peek(0x6000 + a), v) << a;
        ASSERT_EQ(screen_px((a % 64) * 2, a / 64), v & 15);
        ASSERT_EQ(screen_px((a % 64) * 2 + 1, a / 64), v >> 4);
        ASSERT_EQ(m->ram[0x6000 + a], v);
    }
    // Stray high bits in the bitmap never leak into a read.
    screen_px(4, 0) = 0xf7;
    EXPECT_EQ(peek(0x6002), (peek(0x6002) & 0xf0) | 7);
}

TEST_F(MemTest, SpriteSheetAndSharedHalf) {
    poke(0x0000, 0x21);
    EXPECT_EQ(sheet_px(0, 0), 1);
    EXPECT_EQ(sheet_px(1, 0), 2);
    poke(0x0fff, 0x65);
    EXPECT_EQ(map_cell(127, 31), 0);  // the top half has no map behind it

    poke(0x1000, 0x34);
    EXPECT_EQ(sheet_px(0, 64), 4);
    EXPECT_EQ(sheet_px(1, 64), 3);
    EXPECT_EQ(map_cell(0, 32), 0x34);
    map_cell(0, 32) = 0x99;
    EXPECT_EQ(peek(0x1000), 0x34);  // the shared half reads the sheet

    // Map row 32 + k, column c is sheet row 64 + 2k + c / 64.
    poke(0x1000 + 128 * 5 + 70, 0xab);
    EXPECT_EQ(map_cell(70, 37), 0xab);
    EXPECT_EQ(sheet_px((2 * 70) % 128, 64 + 2 * 5 + 70 / 64), 0xb);
    EXPECT_EQ(sheet_px((2 * 70) % 128 + 1, 64 + 2 * 5 + 70 / 64), 0xa);

    for (int a = 0; a < 0x2000; ++a) poke(a, (a * 13 + 1) & 0xff);
    for (int a = 0; a < 0x2000; ++a) ASSERT_EQ(peek(a), (a * 13 + 1) & 0xff) << a;
}

TEST_F(MemTest, MapFlagsAndMusic) {
    poke(0x2000 + 128 * 3 + 9, 0xee);
    EXPECT_EQ(map_cell(9, 3), 0xee);
    for (int a = 0x2000; a < 0x3000; ++a) poke(a, a * 5);
    for (int a = 0x2000; a < 0x3000; ++a) ASSERT_EQ(peek(a), (a * 5) & 0xff);
    EXPECT_EQ(map_cell(127, 31), (0x2fff * 5) & 0xff);

    poke(0x3000 + 200, 0x81);
    EXPECT_EQ(cart->flags[200], 0x81);
    cart->flags[3] = 0x1ff;  // only the low byte is visible
    EXPECT_EQ(peek(0x3003), 0xff);

    cart->music[0][0] = 5;
    cart->music_flags[0] = 1;
    EXPECT_EQ(peek(0x3100), 0x85);
    poke(0x3100, 0xc5);
    EXPECT_EQ(cart->music[0][0], 0x45);
    EXPECT_EQ(cart->music_flags[0] & 1, 1);
    EXPECT_EQ(peek(0x3100), 0xc5);
    poke(0x3100 + 4 * 63 + 3, 0x80);
    EXPECT_EQ(cart->music[63][3], 0);
    EXPECT_EQ(cart->music_flags[63], 8);
    poke(0x3100 + 4 * 63 + 3, 0x7f);
    EXPECT_EQ(cart->music_flags[63], 0);
    // Flag bits of the other channels survive.
    cart->music_flags[7] = 0xf;
    poke(0x3100 + 4 * 7 + 1, 0x10);
    EXPECT_EQ(cart->music_flags[7], 0xd);
    for (int v = 0; v < 256; ++v) {
        poke(0x3100 + 4 * 10 + 2, v);
        ASSERT_EQ(peek(0x3100 + 4 * 10 + 2), v);
    }
}

TEST_F(MemTest, SoundEffectNotesAndHeaders) {
    const int base = 0x3200 + 68 * 9;  // sound effect 9
    // All 16-bit note words round-trip through the decoded fields.
    for (int w = 0; w < 0x10000; ++w) {
        poke(base + 2 * 31, w & 0xff);
        poke(base + 2 * 31 + 1, w >> 8);
        ASSERT_EQ(peek(base + 2 * 31) | peek(base + 2 * 31 + 1) << 8, w);
    }
    poke(base + 4, 0xff);
    poke(base + 5, 0xff);
    const vexel_sfx_note& n = cart->sfx[9].notes[2];
    EXPECT_EQ(n.pitch, 63);
    EXPECT_EQ(n.waveform, 7);
    EXPECT_EQ(n.volume, 7);
    EXPECT_EQ(n.effect, 7);
    EXPECT_EQ(n.instrument, 128);
    // Each byte changes only its own bits of the waveform.
    poke(base + 4, 0x00);
    EXPECT_EQ(n.waveform, 4);
    poke(base + 5, 0x00);
    EXPECT_EQ(n.waveform, 0);
    poke(base + 5, 0x01 | 3 << 1 | 5 << 4);
    EXPECT_EQ(n.waveform, 4);
    EXPECT_EQ(n.volume, 3);
    EXPECT_EQ(n.effect, 5);
    EXPECT_EQ(n.instrument, 0);

    poke(base + 64, 0xab);
    poke(base + 65, 32);
    poke(base + 66, 4);
    poke(base + 67, 250);
    EXPECT_EQ(cart->sfx[9].editor_byte, 0xab);
    EXPECT_EQ(cart->sfx[9].speed, 32);
    EXPECT_EQ(cart->sfx[9].loop_start, 4);
    EXPECT_EQ(cart->sfx[9].loop_end, 250);
    EXPECT_EQ(peek(base + 65), 32);
    EXPECT_EQ(peek(0x3200 + 65), 16);  // sound effect 0's speed, as all others
    poke(0x42ff, 7);                 // last byte: loop_end of sound effect 63
    EXPECT_EQ(cart->sfx[63].loop_end, 7);
    // Out-of-range fields read back only their own bits.
    cart->sfx[1].notes[0].pitch = 0x7f;
    cart->sfx[1].notes[0].waveform = 0;
    EXPECT_EQ(peek(0x3200 + 68), 0x3f);
}

TEST_F(MemTest, GeneralMemoryAndPersistentData) {
    for (int a = 0x4300; a < 0x5e00; ++a) poke(a, a ^ 0x5a);
    for (int a = 0x4300; a < 0x5e00; ++a) ASSERT_EQ(peek(a), (a ^ 0x5a) & 0xff);

    poke(0x5e00 + 4 * 2 + 0, 0x78);
    poke(0x5e00 + 4 * 2 + 1, 0x56);
    poke(0x5e00 + 4 * 2 + 2, 0x34);
    poke(0x5e00 + 4 * 2 + 3, 0x92);
    EXPECT_EQ(static_cast<uint32_t>(m->cart_data[2]), 0x92345678u);
    EXPECT_EQ(m->cart_data_dirty, 1);
    m->cart_data[63] = -2;
    EXPECT_EQ(peek(0x5eff), 0xff);
    EXPECT_EQ(peek(0x5efc), 0xfe);

    m->cart_data_dirty = 0;
    m->reset_glitch = 2;
    poke(0x5e00, 0x11);
    EXPECT_EQ(m->cart_data[0], 0);
    EXPECT_EQ(m->cart_data_dirty, 0);
}

TEST_F(MemTest, PaletteClipAndCursorRegisters) {
    vexel_memset(m, cart, 0x5f00, 3, 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m->draw_pal[i], 3);
    poke(0x5f1f, 0x8e);
    EXPECT_EQ(m->screen_pal[15], 0x8e);
    EXPECT_EQ(peek(0x5f1f), 0x8e);

    poke(0x5f22, 200);
    EXPECT_EQ(peek(0x5f22), 200);
    EXPECT_EQ(m->screen->clip_x1, 128);
    poke(0x5f20, 10);
    poke(0x5f21, 20);
    poke(0x5f23, 30);
    EXPECT_EQ(m->screen->clip_x0, 10);
    EXPECT_EQ(m->screen->clip_y0, 20);
    EXPECT_EQ(m->screen->clip_y1, 30);
    // A left edge beyond the right one gives an empty clip, never an
    // inverted one.
    poke(0x5f20, 250);
    EXPECT_EQ(peek(0x5f20), 250);
    EXPECT_LE(m->screen->clip_x0, m->screen->clip_x1);
    EXPECT_EQ(m->screen->clip_x1 - m->screen->clip_x0, 0);

    m->cursor_y = -3;  // drawing code may leave any value; reads give its low byte
    EXPECT_EQ(peek(0x5f27), 0xfd);
}

TEST_F(MemTest, CameraAndFillPatternBytes) {
    poke(0x5f28, 0x80);
    poke(0x5f29, 0xff);
    EXPECT_EQ(m->camera_x, -128);
    EXPECT_EQ(peek(0x5f28), 0x80);
    EXPECT_EQ(peek(0x5f29), 0xff);
    poke(0x5f28, 0x01);  // the low byte keeps the high part
    EXPECT_EQ(m->camera_x, -255);
    poke(0x5f2a, 0x34);
    poke(0x5f2b, 0x12);
    EXPECT_EQ(m->camera_y, 0x1234);
    poke(0x5f2b, 0x80);
    EXPECT_EQ(m->camera_y, -32768 + 0x34);

    poke(0x5f31, 0x5a);
    poke(0x5f32, 0xa5);
    EXPECT_EQ(m->fill_pattern, 0xa55a);
    poke(0x5f33, 1);
    EXPECT_EQ(m->fill_pattern, 0x1a55a);
    EXPECT_EQ(peek(0x5f33), 1);
    poke(0x5f33, 0x06);
    poke(0x5f33, 0x00);
    EXPECT_EQ(m->fill_pattern, 0xa55a);
    EXPECT_EQ(peek(0x5f33), 0);
    poke(0x5f31, 0);
    EXPECT_EQ(m->fill_pattern, 0xa500);
}

TEST_F(MemTest, HardwareRegistersAndGpio) {
    poke(0x5f40, 0xff);
    EXPECT_EQ(m->audio_fx[0], 0x0f);
    EXPECT_EQ(peek(0x5f40), 0xff);
    poke(0x5f43, 0x35);
    EXPECT_EQ(m->audio_fx[3], 5);
    // Bytes with no field live in ram.
    for (int a : {0x5f24, 0x5f2d, 0x5f34, 0x5f44, 0x5f60, 0x5f7f}) {
        poke(a, a & 0xff);
        EXPECT_EQ(peek(a), a & 0xff) << a;
        EXPECT_EQ(m->ram[a], a & 0xff);
    }
    poke(0x5f80 + 5, 77);
    EXPECT_EQ(vexel_gpio_read(m, 5), 77);
    vexel_gpio_write(m, 127, 0x1ff);
    EXPECT_EQ(peek(0x5fff), 0xff);
    vexel_gpio_write(m, 128, 1);  // pin beyond the last: ignored
    vexel_gpio_write(m, -1, 1);
    EXPECT_EQ(vexel_gpio_read(m, 128), 0);
    EXPECT_EQ(vexel_gpio_read(m, -1), 0);
    EXPECT_EQ(peek(0x6000), 0);
    EXPECT_EQ(vexel_gpio_read(nullptr, 0), 0);
}

TEST_F(MemTest, OutOfRangeAddresses) {
    EXPECT_EQ(peek(-1), 0);
    EXPECT_EQ(peek(0x8000), 0);
    EXPECT_EQ(peek(INT32_MIN), 0);
    EXPECT_FALSE(faulted());
    poke(0x8000, 1);
    EXPECT_TRUE(faulted());
    EXPECT_EQ(fault(), "bad memory access");
    clear_fault();
    poke(-1, 1);
    EXPECT_TRUE(faulted());
    clear_fault();
    m->reset_glitch = 1;  // the glitch pokes anywhere without faults
    poke(0x8000, 1);
    EXPECT_FALSE(faulted());
}

TEST_F(MemTest, CopiesInOrderWithoutSmearing) {
    for (int a = 0; a < 101; ++a) poke(0x6000 + a, a + 1);
    vexel_memcpy(m, cart, 0x6001, 0x6000, 100);
    EXPECT_EQ(peek(0x6000), 1);
    for (int a = 1; a <= 100; ++a) ASSERT_EQ(peek(0x6000 + a), a) << a;
    vexel_memcpy(m, cart, 0x6000, 0x6001, 100);  // and back down
    for (int a = 0; a < 100; ++a) ASSERT_EQ(peek(0x6000 + a), a + 1) << a;

    // Across regions: sheet to general memory and back to the map.
    poke(0x0010, 0x5c);
    vexel_memcpy(m, cart, 0x4300, 0x0000, 0x100);
    EXPECT_EQ(peek(0x4310), 0x5c);
    vexel_memcpy(m, cart, 0x2000, 0x4300, 0x100);
    EXPECT_EQ(map_cell(0x10, 0), 0x5c);

    // A copy into the clip registers applies the clip byte by byte.
    for (int a = 0; a < 4; ++a) poke(0x4400 + a, 8 * (a + 1));
    vexel_memcpy(m, cart, 0x5f20, 0x4400, 4);
    EXPECT_EQ(m->screen->clip_x0, 8);
    EXPECT_EQ(m->screen->clip_y0, 16);
    EXPECT_EQ(m->screen->clip_x1, 24);
    EXPECT_EQ(m->screen->clip_y1, 32);
}

TEST_F(MemTest, CopyAndFillEdges) {
    for (int a = 0; a < 32; ++a) poke(0x6000 + a, 0x40 + a);
    vexel_memcpy(m, cart, 0x7ff0, 0x6000, 32);
    for (int a = 0; a < 16; ++a) ASSERT_EQ(peek(0x7ff0 + a), 0x40 + a);
    EXPECT_EQ(fault(), "bad memory access");
    clear_fault();

    // A source beyond memory reads 0; a destination before it is skipped.
    poke(0x4300, 9);
    vexel_memcpy(m, cart, 0x4300, 0x7fff, 2);
    EXPECT_EQ(peek(0x4300), peek(0x7fff));
    EXPECT_EQ(peek(0x4301), 0);
    EXPECT_FALSE(faulted());
    poke(0x4301, 9);
    vexel_memcpy(m, cart, -1, 0x4300, 2);  // byte 1 goes to 0x0000
    EXPECT_TRUE(faulted());
    EXPECT_EQ(peek(0), 9);
    clear_fault();

    // Lengths outside 1-32767 do nothing at all.
    poke(0x4400, 1);
    for (int32_t len : {0, -5, 32768, INT32_MAX, INT32_MIN}) {
        vexel_memcpy(m, cart, 0x4400, 0x4401, len);
        vexel_memset(m, cart, 0x4400, 0xee, len);
        vexel_memset(m, cart, 0x9000, 0xee, len);
    }
    EXPECT_EQ(peek(0x4400), 1);
    EXPECT_FALSE(faulted());
    // Extreme addresses never overflow.
    vexel_memcpy(m, cart, INT32_MAX - 3, INT32_MAX - 10, 32767);
    vexel_memcpy(m, cart, INT32_MIN, INT32_MIN + 5, 100);
    vexel_memset(m, cart, INT32_MAX - 3, 1, 32767);
    EXPECT_TRUE(faulted());
    clear_fault();

    vexel_memset(m, cart, 0x7ffe, 0x77, 4);  // two written, two raise
    EXPECT_EQ(peek(0x7ffe), 0x77);
    EXPECT_EQ(peek(0x7fff), 0x77);
    EXPECT_TRUE(faulted());
    clear_fault();
    vexel_memset(m, cart, 0x4300, 0x1234, 0x1b00);  // all of general memory
    for (int a = 0x4300; a < 0x5e00; ++a) ASSERT_EQ(peek(a), 0x34);
    EXPECT_EQ(peek(0x5e00), 0);
}

TEST_F(MemTest, CartridgeWithoutMachineHasOnlyItsRom) {
    vexel_poke(nullptr, cart, 0x0001, 0x12);
    vexel_poke(nullptr, cart, 0x1000, 0x34);
    vexel_poke(nullptr, cart, 0x3200 + 65, 9);
    EXPECT_EQ(vexel_peek(nullptr, cart, 0x0001), 0x12);
    EXPECT_EQ(map_cell(0, 32), 0x34);
    EXPECT_EQ(cart->sfx[0].speed, 9);
    for (int32_t a : {0x4300, 0x5e00, 0x5f00, 0x5f80, 0x6000, 0x7fff, 0x8000, -1}) {
        vexel_poke(nullptr, cart, a, 0x55);
        EXPECT_EQ(vexel_peek(nullptr, cart, a), 0);
    }
    EXPECT_FALSE(faulted());
    vexel_memcpy(nullptr, cart, 0x4000, 0x0000, 0x1000);  // half lands beyond the ROM
    EXPECT_EQ(vexel_peek(nullptr, cart, 0x4001), 0x12);
    // With no cartridge either, nothing is there.
    vexel_poke(nullptr, nullptr, 0x10, 1);
    EXPECT_EQ(vexel_peek(nullptr, nullptr, 0x10), 0);
    // A machine without a cartridge still keeps the byte in ram.
    vexel_poke(m, nullptr, 0x3000, 5);
    EXPECT_EQ(m->ram[0x3000], 5);
    EXPECT_EQ(vexel_peek(m, nullptr, 0x3000), 0);
}

TEST_F(MemTest, HostileAccessesStayInsideTheRecords) {
    // Random addresses, values and lengths over the whole int range, with
    // and without machine and cartridge; the sanitizers watch for escapes.
    std::mt19937 rng(2024);
    vexel_cart* carts[] = {cart, nullptr};
    vexel_machine* machines[] = {m, nullptr};
    for (int i = 0; i < 200000; ++i) {
        int32_t a = static_cast<int32_t>(rng());
        if (i % 2) a &= 0xffff;
        int32_t v = static_cast<int32_t>(rng());
        vexel_machine* mm = machines[i % 3 == 0];
        vexel_cart* cc = carts[i % 5 == 0];
        vexel_poke(mm, cc, a, v);
        int r = vexel_peek(mm, cc, a);
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 255);
        if (i % 1000 == 0) {
            vexel_memcpy(mm, cc, a, static_cast<int32_t>(rng()) & 0xffff, static_cast<int32_t>(rng() % 40000));
            vexel_memset(mm, cc, a, v, static_cast<int32_t>(rng() % 40000));
        }
    }
    EXPECT_LE(m->screen->clip_x0, m->screen->clip_x1);
    EXPECT_LE(m->screen->clip_y0, m->screen->clip_y1);
    for (uint8_t p : m->screen->pix) ASSERT_LT(p, 16);
    for (uint8_t p : cart->gfx->pix) ASSERT_LT(p, 16);
}

TEST_F(MemTest, SharedHalfReconciliation) {
    sheet_px(2, 64) = 0x3;
    sheet_px(3, 64) = 0xc;
    sheet_px(127, 127) = 0xf;
    vexel_cart_sync_shared_to_map(cart);
    EXPECT_EQ(map_cell(1, 32), 0xc3);
    EXPECT_EQ(map_cell(127, 63), 0xf0);

    map_cell(64, 32) = 0x21;  // column 64 of row 32 is sheet row 65
    vexel_cart_sync_shared_to_gfx(cart);
    EXPECT_EQ(sheet_px(0, 65), 1);
    EXPECT_EQ(sheet_px(1, 65), 2);
    for (int a = 0x1000; a < 0x2000; ++a) ASSERT_EQ(map_cell((a - 0x1000) % 128, 32 + (a - 0x1000) / 128), peek(a));

    // A loaded cartridge: a non-empty lower map wins over the sheet...
    vexel_cart* other = vexel_cart_create();
    other->map->pix[40 * 128 + 3] = 0x77;
    other->gfx->pix[70 * 128] = 5;
    vexel_cart_sync_shared_half(other);
    EXPECT_EQ(other->gfx->pix[70 * 128], 0);
    EXPECT_EQ(vexel_peek(nullptr, other, 0x1000 + 8 * 128 + 3), 0x77);
    // ...and an empty one takes the sheet.
    std::memset(other->map->pix.data(), 0, other->map->pix.size());
    other->gfx->pix[70 * 128] = 5;
    vexel_cart_sync_shared_half(other);
    EXPECT_EQ(other->map->pix[(32 + 3) * 128], 5);
    vexel_cart_destroy(other);
}

TEST_F(MemTest, ProgramStartResetsDrawStateOnly) {
    // Address, value poked before the reset, value read after it.
    const struct {
        int32_t addr, poked, after;
    } bytes[] = {
        {0x5f00, 7, 0x10}, {0x5f10, 9, 0},    {0x5f20, 5, 0},    {0x5f22, 9, 128},  {0x5f25, 1, 6},
        {0x5f26, 33, 0},   {0x5f27, 44, 44},  {0x5f28, 10, 0},   {0x5f2c, 3, 0},    {0x5f2e, 1, 1},
        {0x5f31, 0xff, 0}, {0x5f40, 3, 0},    {0x4300, 0x42, 0x42}, {0x6000, 0x11, 0x11},
    };
    for (const auto& b : bytes) poke(b.addr, b.poked);
    vexel_reset_draw_state(m);
    for (const auto& b : bytes) EXPECT_EQ(peek(b.addr), b.after) << std::hex << b.addr;
    for (int i = 1; i < 16; ++i) EXPECT_EQ(peek(0x5f00 + i), i);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(peek(0x5f10 + i), i);
    EXPECT_EQ(m->screen->clip_x0, 0);
    EXPECT_EQ(m->screen->clip_x1, 128);
    EXPECT_EQ(m->camera_x, 0);
    EXPECT_EQ(m->fill_pattern, 0);
    EXPECT_EQ(m->audio_fx[0], 0);
}

TEST_F(MemTest, StopAndResume) {
    poke(0x5f28, 0x10);
    poke(0x5f2a, 0xf0);
    poke(0x5f2b, 0xff);
    poke(0x5f20, 20);
    poke(0x5f23, 60);
    poke(0x5f26, 50);
    m->cursor_y = 200;
    poke(0x5f10, 3);
    poke(0x5f41, 5);

    vexel_mem_stop(m, true);
    EXPECT_EQ(m->camera_x, 0);
    EXPECT_EQ(m->camera_y, 0);
    EXPECT_EQ(m->screen->clip_x0, 0);
    EXPECT_EQ(m->screen->clip_y1, 128);
    EXPECT_EQ(peek(0x5f20), 20);  // registers keep their values
    EXPECT_EQ(m->cursor_x, 0);
    EXPECT_EQ(m->cursor_y, 120);
    EXPECT_EQ(m->screen_pal[0], 0);
    EXPECT_EQ(m->audio_fx[1], 0);

    vexel_mem_resume(m);
    EXPECT_EQ(m->camera_x, 0x10);
    EXPECT_EQ(m->camera_y, -16);
    EXPECT_EQ(m->screen->clip_x0, 20);
    EXPECT_EQ(m->screen->clip_y1, 60);

    // The keep bytes hold the screen palette and the audio effects.
    poke(0x5f2e, 1);
    poke(0x5f44, 1);
    poke(0x5f10, 3);
    poke(0x5f41, 5);
    m->cursor_y = -7;
    vexel_mem_stop(m, true);
    EXPECT_EQ(m->screen_pal[0], 3);
    EXPECT_EQ(m->audio_fx[1], 5);
    EXPECT_EQ(m->cursor_y, 0);
    poke(0x5f2e, 0);
    poke(0x5f44, 0);
    vexel_mem_stop(m, false);  // nothing was running: palette and effects stay
    EXPECT_EQ(m->screen_pal[0], 3);
    EXPECT_EQ(m->audio_fx[1], 5);
}


}  // namespace
