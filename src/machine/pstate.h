// pstate: the machine and runtime state, one global record.
//
// It is zeroed once at start-up (vexel_pstate_zero) and owned by the console
// layer. Machine memory (0x0000-0x7fff) is not a flat array: the regions are
// byte views onto the fields below and onto the current cartridge record,
// decoded by machine/mem. `ram` mirrors every byte written and is the only
// storage of general-purpose memory and the unmapped register bytes.
//
// Fields the memory map reads and writes are plain aligned 32-bit words so the
// audio thread can read them whole (audio_fx) without a lock.
#pragma once
#include <cstdint>

#include "cart/cart.h"
#include "framework/fenn_bitmap.h"

constexpr int vexel_ram_size = 0x8000;
constexpr int vexel_screen_w = 128;
constexpr int vexel_screen_h = 128;
constexpr int vexel_code_tabs = 8;
constexpr int vexel_error_string_max = 512;

enum ShellMode : int32_t {
    shell_console = 0,
    shell_running = 1,
    shell_boot = 2,
    shell_splash = 3,
};

enum SubScreen : int32_t {
    sub_screen_none = 0,
    sub_screen_keyconfig = 1,
    sub_screen_browser = 2,
};

enum PendingAction : int32_t {
    pending_none = 0,
    pending_run_cart = 1,
    pending_stop_program = 2,
    pending_reboot = 3,
    pending_runtime_error = 4,
};

struct vexel_pstate {
    // --- shell ---------------------------------------------------------
    ShellMode mode;
    SubScreen sub_screen;
    PendingAction pending;
    int32_t boot_frame;          // set to -15 by boot_init, +1 per update
    int32_t program_frame;       // read by time()
    int32_t program_active;
    int32_t hold_frames;
    int32_t held_frame;          // the program held this frame (frame-rate logic)
    int32_t reset_glitch;        // 0 idle, 1..4 while the reset effect runs
    int32_t target_fps;          // 30 or 60

    // --- memory-mapped machine state ------------------------------------
    uint8_t ram[vexel_ram_size];
    fenn_bitmap* screen;         // 128x128, one byte per pixel, values 0-15
    fenn_bitmap* display;        // 128x128, what is presented
    int32_t cart_data[64];
    int32_t cart_data_dirty;
    int32_t draw_pal[16];        // bits 0-3 colour, bit 4 transparent
    int32_t screen_pal[16];
    int32_t clip_x0, clip_y0, clip_x1, clip_y1;  // x1, y1 exclusive
    int32_t pen_col;
    int32_t cursor_x, cursor_y;
    int32_t camera_x, camera_y;
    int32_t saved_camera_x, saved_camera_y;  // kept while a stopped program waits to resume
    int32_t screen_mode;
    int32_t ext_palette_on;
    int32_t fill_pattern;        // bits 0-15 pattern, bit 16 transparent zeros
    int32_t audio_fx[4];

    // --- cartridges ------------------------------------------------------
    vexel_cart* cart;            // the machine's own record behind 0x0000-0x42ff
    vexel_cart* working_cart;    // the cartridge being edited / loaded
    char* code_tabs[vexel_code_tabs];

    char error_string[vexel_error_string_max + 1];  // vexel_error_string
};

extern vexel_pstate pstate;

// Zeroes the whole record (pointers included; it does not free them).
void vexel_pstate_zero();
