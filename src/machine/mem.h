// mem: the machine's 32 KiB address space, 0x0000-0x7fff.
//
// Memory is not one array. Most regions are byte views onto structured
// storage: the cartridge record's sprite sheet, map, flags, music and sound
// effects (0x0000-0x42ff), and the machine state's persistent data, draw
// state registers and screen. A read assembles the byte from that storage,
// a write splits it into the storage. Every write with a machine also lands
// in the machine's ram, which alone holds general-purpose memory
// (0x4300-0x5dff), the GPIO pins and the register bytes that have no field.
//
// Every operation takes the machine (null when no program is involved) and
// a cartridge record (null means no ROM). Without a machine only the ROM view
// 0x0000-0x42ff exists: reads above it give 0 and writes there are dropped.
//
// Invariants kept here:
//  - peek always returns 0-255 and never fails; poke never writes outside
//    the regions, whatever the address or the contents of the records.
//  - The sprite-sheet and screen pixels written are 0-15.
//  - Sound fields and audio_fx, which the mixer thread reads without a lock,
//    are stored whole as relaxed atomic 32-bit writes.
//  - The screen bitmap's clip always equals the clip registers intersected
//    with the screen, except between vexel_mem_stop and vexel_mem_resume.
#pragma once
#include <cstdint>

#include "cart/cart.h"
#include "cart/cart_rom.h"
#include "machine/machine.h"

// Region boundaries above the ROM (whose own are in cart/cart_rom.h).
constexpr uint32_t vexel_mem_size = 0x8000;
constexpr uint32_t vexel_addr_ram = 0x4300;         // == vexel_rom_size
constexpr uint32_t vexel_addr_cart_data = 0x5e00;
constexpr uint32_t vexel_addr_draw_state = 0x5f00;
constexpr uint32_t vexel_addr_hw = 0x5f40;
constexpr uint32_t vexel_addr_gpio = 0x5f80;
constexpr uint32_t vexel_addr_screen = 0x6000;
constexpr int32_t vexel_screen_bytes = 0x2000;        // 128 x 128 pixels, two to a byte
constexpr int vexel_gpio_pins = 128;

// Registers.
constexpr uint32_t vexel_reg_draw_pal = 0x5f00;     // 16 entries
constexpr uint32_t vexel_reg_screen_pal = 0x5f10;   // 16 entries
constexpr uint32_t vexel_reg_clip = 0x5f20;         // x0, y0, x1, y1 (exclusive)
constexpr uint32_t vexel_reg_pen_col = 0x5f25;
constexpr uint32_t vexel_reg_cursor_x = 0x5f26;
constexpr uint32_t vexel_reg_cursor_y = 0x5f27;
constexpr uint32_t vexel_reg_camera_x = 0x5f28;     // low byte, then high byte
constexpr uint32_t vexel_reg_camera_y = 0x5f2a;
constexpr uint32_t vexel_reg_screen_mode = 0x5f2c;
constexpr uint32_t vexel_reg_devkit_mouse = 0x5f2d;  // bit 0: mouse and keyboard readings of stat
constexpr uint32_t vexel_reg_keep_screen_pal = 0x5f2e;
constexpr uint32_t vexel_reg_audio_pause = 0x5f2f;
constexpr uint32_t vexel_reg_pause_suppress = 0x5f30;
constexpr uint32_t vexel_reg_fill_pattern = 0x5f31; // bits 0-7, 8-15, 16-23
constexpr uint32_t vexel_reg_tline_wrap_w = 0x5f38;   // tline's map wrap in cells (machine/sprite.h)
constexpr uint32_t vexel_reg_tline_wrap_h = 0x5f39;
constexpr uint32_t vexel_reg_tline_offset_x = 0x5f3a; // added to tline's cells after the wrap
constexpr uint32_t vexel_reg_tline_offset_y = 0x5f3b;
constexpr uint32_t vexel_reg_audio_fx = 0x5f40;     // 4 masks
constexpr uint32_t vexel_reg_keep_audio_fx = 0x5f44;
constexpr uint32_t vexel_reg_btnp_delay = 0x5f5c;    // frames before btnp repeats (0: default, 255: never)
constexpr uint32_t vexel_reg_btnp_interval = 0x5f5d; // frames between repeats (0: default)
constexpr uint32_t vexel_reg_ext_palette = 0x5f60;  // 4 signature bytes

constexpr int vexel_devkit_keyboard = 1;            // the 0x5f2d bit for both
constexpr int32_t vexel_memop_max_len = 32767;      // longer copies and fills are ignored
constexpr int32_t vexel_default_pen_col = 6;
constexpr int32_t vexel_pal_transparent = 0x10;     // draw_pal bit: colour not drawn
constexpr int32_t vexel_stop_cursor_y_max = 120;

// What the script's peek, poke, memcpy and memset cost. peek gives back
// its refund when called with exactly 1 argument, poke with exactly 2;
// memcpy and memset charge before they work (the charge is at least 1).
constexpr int32_t vexel_peek_refund = 2;
constexpr int32_t vexel_poke_refund = 3;
constexpr int32_t vexel_peek_run_max = 8192;       // bytes one peek(a, n) returns at most
inline int32_t vexel_memcpy_cycles(int32_t len) { return len == INT32_MAX ? len : len + 1; }
inline int32_t vexel_memset_cycles(int32_t len) { return static_cast<int32_t>((static_cast<int64_t>(len) + 1) / 2); }

// Byte at addr (0-255); out of range gives 0.
int vexel_peek(const vexel_machine* machine, const vexel_cart* cart, int32_t addr);

// Writes value & 0xff at addr. An address outside 0x0000-0x7fff raises
// "bad memory access" (with a machine) and writes nothing.
void vexel_poke(vexel_machine* machine, vexel_cart* cart, int32_t addr, int32_t value);

// Little-endian 16- and 32-bit forms, byte by byte through peek and poke
// (so a value may straddle regions and registers). peek16 is signed;
// poke16 writes the low 16 bits of the integer value, poke32 the raw bits.
int16_t vexel_peek16(const vexel_machine* machine, const vexel_cart* cart, int32_t addr);
int32_t vexel_peek32(const vexel_machine* machine, const vexel_cart* cart, int32_t addr);
void vexel_poke16(vexel_machine* machine, vexel_cart* cart, int32_t addr, int32_t value);
void vexel_poke32(vexel_machine* machine, vexel_cart* cart, int32_t addr, int32_t value);

// Copies len bytes, each read and written as by peek and poke in copy order
// (last to first when dest >= src, so overlaps copy as if through a buffer).
// A len outside 1-32767 does nothing; destination bytes out of range raise
// "bad memory access" and are skipped.
void vexel_memcpy(vexel_machine* machine, vexel_cart* cart, int32_t dest, int32_t src, int32_t len);

// Writes value & 0xff to len bytes from dest, as by poke. A len outside
// 1-32767 does nothing; out-of-range bytes raise and are skipped.
void vexel_memset(vexel_machine* machine, vexel_cart* cart, int32_t dest, int32_t value, int32_t len);

// GPIO pins 0-127 live in ram at 0x5f80. Other pins read 0 and ignore writes.
int vexel_gpio_read(const vexel_machine* machine, int32_t pin);
void vexel_gpio_write(vexel_machine* machine, int32_t pin, int32_t value);

// Sets the draw state a program starts with: cursor_x 0, pen colour 6,
// camera 0, identity palettes with draw colour 0 transparent, screen mode 0,
// full clip, no fill pattern, audio effects off, tline's wrap and offsets and btnp's
// repeat timing 0. cursor_y, ram and the
// screen keep their contents.
void vexel_reset_draw_state(vexel_machine* machine);

// When a program stops: the camera is saved and zeroed and the screen clip
// opened up for the console (the clip registers keep their values), the
// print cursor goes to the left edge with y clamped to 0-120. When a program
// was actually running, the screen palette also returns to identity unless
// 0x5f2e holds 1, and audio effects are cleared unless 0x5f44 is non-zero.
void vexel_mem_stop(vexel_machine* machine, bool program_was_active);
// When the stopped program resumes: camera and clip come back.
void vexel_mem_resume(vexel_machine* machine);

