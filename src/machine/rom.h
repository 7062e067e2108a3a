// rom: a running program's access to cartridge ROM (0x0000-0x42ff).
//
// reload copies bytes from the working cartridge, or from a cartridge file in
// the store folder, into machine memory; cstore copies machine memory into a
// cartridge file in the store folder (and, without a name, into the working
// cartridge and its own stored-data file "__<hash>.qz", which loading lays
// over the cartridge). Both make the program wait hold_frames, as if a
// cartridge were swapped.
//
// Invariants: a file name given by a program never reaches outside the store
// folder: names starting with "__" (reserved), absolute names, names with a
// ".." component, empty names and names too long for a path are refused, and
// so is a name that leads out through a symbolic link (or a dangling one) or
// that names a folder, FIFO or device; such a refusal and a failed write
// print one console line ("cstore: disk full"), not repeated while the same
// failure repeats.
// Destination bytes go through vexel_poke (machine) or the ROM view (files),
// so no copy writes outside its record; sources outside the ROM read 0.
// cstore writes at most rom_written_files_max different files per run.
#pragma once
#include <cstdint>
#include <string>

struct vexel_machine;

constexpr int32_t rom_copy_max = 32767;           // longer reloads copy nothing
constexpr int rom_written_files_max = 256;
constexpr int rom_hold_frames = 30;
constexpr size_t rom_name_max = 511;              // characters of a program-given name
constexpr size_t rom_path_max = 1023;
constexpr int32_t rom_reload_cost = 8;            // per byte, up to 4096 bytes
constexpr int32_t rom_cstore_cost = 64;
constexpr int32_t rom_cost_bytes_max = 4096;
constexpr int32_t rom_reload_cost_all = 32768;
constexpr int32_t rom_cstore_cost_all = 262144;

enum rom_cstore_result : int {
    cstore_ok = 0,
    cstore_write_failed = 2,
    cstore_list_full = 3,
};

// Copies `len` bytes of the working cartridge's ROM (source addresses) into
// machine memory as pokes do. A len above rom_copy_max copies nothing.
// Afterwards a remembered external file is forgotten and the program held.
void vexel_reload(vexel_machine* m, int32_t dest, int32_t src, int32_t len);

// Reads a cartridge file (PNG, text, or a raw ".bin" ROM image) and copies
// its ROM into machine memory. 0, or 1 when nothing could be read.
int rom_reload(vexel_machine* m, const char* path, int32_t dest, int32_t src, int32_t len);

// Copies machine memory into the ROM of the cartridge file at `path`
// (created when missing or unreadable) and, with `also_working`, into the
// working cartridge. A rom_cstore_result.
int rom_cstore(vexel_machine* m, const char* path, int32_t dest, int32_t src, int32_t len, bool also_working);

// The store-folder path for a program-given name: one leading '/' dropped,
// embedded cartridges mapped to their stored-data file. Empty when the name
// is refused (see above).
std::string rom_store_path(vexel_machine* m, const char* name);

// True when a program-given name may be used (see the invariants).
bool rom_name_allowed(const char* name);
// Why a program-given name is refused, for the console ("no file name",
// "outside the store folder", ...), or "" when it may be used.
std::string rom_name_refusal(const char* name);

// The script functions. argc is the number of arguments the program gave;
// dest, src and len are 16.16 values; name is null unless a fourth argument
// was given. They charge their CPU cost and return the length copied (as an
// integer) or 0.
int32_t vexel_reload_call(vexel_machine* m, int argc, int32_t dest, int32_t src, int32_t len, const char* name);
int32_t vexel_cstore_call(vexel_machine* m, int argc, int32_t dest, int32_t src, int32_t len, const char* name);

// Starting a program forgets the last external file and the written files.
// A start the program asked for itself (run(), load()) keeps the list of
// files cstore wrote, so that rom_written_files_max holds across restarts.
void rom_reset_for_run(vexel_machine* m, bool program_restart);
const char* rom_last_external_file(const vexel_machine* m);
int rom_written_file_count(const vexel_machine* m);
