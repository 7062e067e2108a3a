// machine: one running console, as one record.
//
// Everything that makes up a console — the 32 KiB of memory and the
// cartridge record behind it, the draw state and palettes, the buttons and
// their replay, the CPU budget, the random generator, the save data, the
// working cartridge and its code tabs, the sound channels (vexel_audio) and
// the script machine with its runner (vexel_runner) — lives here or in a
// record this one owns. Every function that works on a console takes it
// explicitly; nothing of it is kept anywhere else, so two machines can run
// side by side in one process (a preview, a save state, a test).
//
// The record is made and destroyed as a unit by vexel_machine_create /
// vexel_machine_destroy (runtime/machine_life.h), which know every part.
// What the machine needs from the shell around it comes through `host`.
//
// Machine memory (0x0000-0x7fff) is not a flat array: the regions are byte
// views onto the fields below and onto `cart`, decoded by machine/mem.
// `ram` mirrors every byte written and is the only storage of
// general-purpose memory and the unmapped register bytes. Fields the memory
// map shares with the mixer thread (audio_fx) are aligned 32-bit words.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/cart_art.h"
#include "cart/cart_hash.h"
#include "cart/vdisk.h"
#include "framework/fenn_bitmap.h"
#include "machine/button.h"
#include "machine/cpu.h"
#include "machine/lua_alloc.h"
#include "machine/math.h"

struct fenn_pod;
struct lua_State;
struct vexel_host;
struct vexel_audio;   // audio/audio.h
struct vexel_runner;  // runtime/run.h

constexpr int vexel_ram_size = 0x8000;
constexpr int vexel_screen_w = 128;
constexpr int vexel_screen_h = 128;
constexpr int vexel_code_tabs = 16;  // "-->8" separators cut the program into at most these
constexpr int vexel_error_string_max = 512;
constexpr int vexel_cdata_values = 64;
constexpr int vexel_cdata_id_max = 64;
constexpr int vexel_cart_filename_max = 1023;

// The program's save data (cartdata, dget, dset): claimed once per run by
// id; the values themselves are machine memory (cart_data).
struct vexel_cdata_state {
    char id[vexel_cdata_id_max + 1];  // "" while none is claimed
    int32_t browser_cart;             // the running program came from the browser (works without an id)
    int64_t last_write_ms;            // time of the last write-back
    std::string reported;             // the last failure line printed this run
    // Ids claimed since a person started the program: a program restarting
    // itself with run() or load() keeps this list, so it cannot make a new
    // save file each time it restarts (cdata_ids_per_start bounds it).
    std::vector<std::string> claimed;
};

// reload and cstore: what a running program touched in the store folder.
struct vexel_rom_state {
    std::string last_external;               // file the last reload or cstore used
    std::vector<std::string> written_files;  // files cstore wrote since a person started the program
    std::string cstore_reported, reload_reported;
};

// The working cartridge's file.
struct vexel_cart_file {
    char filename[vexel_cart_filename_max + 1];  // file it came from; "" for a new one
    char hash[cart_hash_size + 1];                // of the working cartridge, after every load and save
    char folder[vexel_cart_filename_max + 1];    // current folder of the console commands, relative to the root
    int current_tab;                             // the code tab last counted when joining
    // Unsaved changes (machine/disk): the hash of the record as its file
    // holds it (taken after the stored-data overlay, so it can differ from
    // `hash`), the answer of the last comparison, and whether an edit was
    // noted since that comparison.
    char saved_hash[cart_hash_size + 1];
    bool unsaved;
    bool check_due;
    std::vector<std::string> load_warnings;      // what the last load warned of (cart_load_warnings)
    bool name_by_program;                        // a running program loaded it (load("...")), not the user
    // One of the console's own cartridges (the menu, the demos mounted with
    // it): its name is no file of the user's, so Ctrl+S does not write it.
    bool builtin = false;
};

struct vexel_machine {
    const vexel_host* host = nullptr;

    // --- memory-mapped state ----------------------------------------------
    uint8_t ram[vexel_ram_size] = {};
    fenn_bitmap* screen = nullptr;   // 128x128, one byte per pixel, values 0-15
    fenn_bitmap* display = nullptr;  // 128x128, the screen through the screen palette: what is shown
    int32_t cart_data[vexel_cdata_values] = {};
    int32_t cart_data_dirty = 0;
    int32_t draw_pal[16] = {};       // bits 0-3 colour, bit 4 transparent
    int32_t screen_pal[16] = {};
    int32_t clip_x0 = 0, clip_y0 = 0, clip_x1 = 0, clip_y1 = 0;  // x1, y1 exclusive
    int32_t pen_col = 0;
    int32_t cursor_x = 0, cursor_y = 0;
    // print(s, x, y) leaves the cursor at (x, y) below the text, so that a
    // following print(t) goes on there; cartridges of versions 1-14 kept it
    // at (x, y). Set by the runner for each cartridge it starts.
    int32_t print_xy_moves_cursor = 0;
    int32_t camera_x = 0, camera_y = 0;
    int32_t saved_camera_x = 0, saved_camera_y = 0;  // kept while a stopped program waits to resume
    int32_t screen_mode = 0;
    int32_t ext_palette_on = 0;
    int32_t fill_pattern = 0;        // bits 0-15 pattern, bit 16 transparent zeros
    int32_t audio_fx[4] = {};

    // --- cartridges ---------------------------------------------------------
    vexel_cart* cart = nullptr;          // the machine's own record behind 0x0000-0x42ff
    vexel_cart* working_cart = nullptr;  // the cartridge being edited and run
    char* code_tabs[vexel_code_tabs] = {};
    vexel_cart_file file = {};
    vexel_vdisk vdisk;                   // the embedded cartridges of a stand-alone build
    const cart_art* art = nullptr;       // what PNG cartridges are drawn with; not owned

    // --- the program ----------------------------------------------------------
    int32_t program_frame = 0;   // read by time()
    int32_t program_active = 0;  // a cartridge's program (not a typed line) runs or waits to resume
    int32_t hold_frames = 0;     // frames the program waits (a cartridge was swapped)
    int32_t held_frame = 0;      // the program held this frame (frame-rate logic)
    int32_t reset_glitch = 0;    // 0 idle, 1..4 while the reset effect runs
    int32_t target_fps = 30;     // 30 or 60
    int32_t running = 0;         // the runner is running a program or a typed line
    int32_t audio_pause_state = 0;  // 0 plays, 1 silent, 2..5 resuming (the pause menu, 0x5f2f)
    char error_string[vexel_error_string_max + 1] = {};  // a runtime error waiting for the runner
    bool error_pending = false;  // error_string is set and not yet raised (machine/error.h)

    // --- parts ------------------------------------------------------------------
    vexel_button_state buttons = {};
    vexel_button_replay replay;
    vexel_rng_state rng = vexel_rng_initial;
    vexel_cpu cpu = {};
    int64_t draw_cycles = 0;     // every drawing charge, for diagnostics and tests
    alignas(64) uint8_t sprite_box[128 * 128] = {};  // scratch of spr and sspr (machine/sprite)
    vexel_cdata_state cdata;
    vexel_rom_state rom;
    std::string clipboard;       // what stat(4) reads (set by Ctrl+V)
    const fenn_pod* console_font = nullptr;  // not owned; null draws no console text
    vexel_heap heap;             // what the script machine's allocations charge
    lua_State* L = nullptr;      // the script machine, owned by `runner`
    vexel_audio* audio = nullptr;
    vexel_runner* runner = nullptr;
};
