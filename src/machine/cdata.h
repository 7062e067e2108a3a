// cdata: a running program's 64 save-data values and their file.
//
// A program claims a storage name once per run with cartdata(id); from then
// on the machine's cart_data (memory 0x5e00-0x5eff) is loaded from, and
// written back to, "<cdata folder>/<id>.qzd.txt": 8 lines of 8 values, each
// the raw 32-bit value as "%08x", 520 bytes in all.
//
// Invariants: the id is empty or 1-64 characters of a-z, 0-9 and '_', so it
// can never name a file outside the folder; it is set at most once per run.
// The file reader takes any bytes and never reads past them. The file is
// used only when it lies inside the folder once links are followed and is a
// regular file (or none yet). It is written with fenn_write_file, so a failed
// write keeps the previous save data; the failure prints one console line
// ("cartdata: disk full") until a write succeeds again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "machine/machine.h"

constexpr int cdata_values = vexel_cdata_values;
constexpr int cdata_id_max = vexel_cdata_id_max;
constexpr size_t cdata_file_size = 520;
constexpr size_t cdata_read_max = 1024;   // bytes of a file that are looked at
constexpr size_t cdata_digits_max = 512;  // hex digits that are used
constexpr int64_t cdata_write_interval_ms = 1000;
// Different ids one program may claim from the time a person starts it to
// the time it stops, counting its own restarts: one save file per id.
constexpr int cdata_ids_per_start = 16;


enum cdata_load_result : int {
    cdata_loaded = 0,
    cdata_not_loaded = 1,  // no program running, or no file yet
    cdata_refused = 2,     // a runtime error was raised
};

// Reads save-data bytes: keeps the first cdata_digits_max hex digits of the
// first cdata_read_max bytes and fills `values` eight digits at a time (a
// last, shorter group is read as far as it goes; missing values are 0).
// Returns the number of hex digits used.
size_t cdata_parse(const uint8_t* data, size_t size, int32_t values[cdata_values]);

// The 520-byte file text of the values.
std::string cdata_format(const int32_t values[cdata_values]);

// Path of the file for an id (cdata folder + id + ".qzd.txt").
std::string cdata_file_path(const vexel_machine* m, const char* id);

int cdata_load(vexel_machine* m, const char* id);
// 0 written or nothing to write, 1 the file could not be written.
int cdata_save(vexel_machine* m);

// The runner's write-back after a completed frame slice: writes when values
// changed and more than cdata_write_interval_ms passed since the last one.
void cdata_flush_due(vexel_machine* m, int64_t now_ms);

// Starting a program forgets the id (and the browser mark). A start the
// program asked for itself (run(), load()) keeps the list of ids it claimed,
// so that the bound on save files holds across its restarts.
void cdata_reset_for_run(vexel_machine* m, bool program_restart);

// The script functions. cartdata returns 1 (true) or 0 (false). dget gives
// the raw value; dset stores one. Both return through `needs_yield` whether
// the binding must yield (the call was made before cartdata and raised a
// runtime error). Indices are 16.16 values whose integer part is used.
int vexel_cartdata(vexel_machine* m, const char* id);
int32_t vexel_dget(vexel_machine* m, int32_t index, bool* needs_yield);
void vexel_dset(vexel_machine* m, int32_t index, int32_t value, bool* needs_yield);
