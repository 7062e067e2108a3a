// cart_load: reading and writing cartridge files of either format, and
// what the console's loading and saving share below the machine: names
// with extensions, the upgrades of old records, the store folder's paths,
// backups, and the embedded cartridges of a stand-alone build on a virtual
// disk.
//
// Readers take a path (a real file, else a file of that base name on the
// given virtual disk) and return a vexel_cart_status; files larger than
// cart_png_max_file are refused without being read. Writers replace a file
// whole through fenn_write_file (a fresh temporary file renamed over the
// target), so a failed write never leaves a damaged file and never writes
// through a link planted in the folder.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/cart_art.h"
#include "cart/vdisk.h"
#include "framework/fenn_pod.h"

constexpr int cart_filename_max = 1023;
constexpr int embedded_cart_max = 64;
constexpr int embedded_name_max = 255;
constexpr size_t cart_code_limit_save = size_t(vexel_code_held_max);  // longer programs are not saved
constexpr size_t cart_code_limit_png = size_t(vexel_code_max);  // nor longer ones as pictures
constexpr int backup_numbered_max = 999999;  // past this number a backup name is refused
constexpr int backup_keep_per_name = 8;      // backups of one name kept; older ones are removed

// "game" -> "game.qz", "game.png" -> "game.qz.png", "game.txt" -> "game.txt.qz";
// a name already holding ".qz" is unchanged.
std::string cart_with_qz_extension(const char* name);

// Parses cartridge bytes in memory: as a PNG cartridge with its label, else
// as a text cartridge. A vexel_cart_status; *out is the record on cart_ok.
int cart_read_bytes(const uint8_t* data, size_t size, vexel_cart** out);
// Reads one candidate name the same way.
int cart_read_file(const vexel_vdisk* disk, const char* path, vexel_cart** out);
// Why `path` (a name as vexel_load_working_cart takes it: the extension may
// be left out) could not be loaded, for messages: vexel_cart_status_text,
// with the sizes for a file over the limit ("too large (129 MB, the limit
// is 16 MB)").
std::string cart_load_failure_text(int status, const char* path);

// Upgrades an old record to the newest version in place; what it changed
// that a user should hear of goes to `notes` (one line each) when given.
void cart_apply_legacy_changes(vexel_cart* cart, std::vector<std::string>* notes = nullptr);

// What a user should be warned of about a record as it was read, one line
// each: a version newer than this one ("cartridge version 16: newer than
// this vexel; some things may not work") and characters of the program
// that became '?'. Holds true before and after the upgrade.
std::vector<std::string> cart_load_warnings(const vexel_cart* cart);

// Writes a cartridge to `path` as a PNG cartridge (a name holding ".png")
// or as text. The reason it failed, or "" when written.
std::string cart_write_file(const vexel_cart* cart, const cart_art* art, const char* path);
// The bytes cart_write_file would write; false when they cannot be made.
bool cart_encode_for(const vexel_cart* cart, const cart_art* art, const char* path, std::vector<uint8_t>* bytes);

// A name for the backup of `base` in `folder` that does not replace an
// older backup: the name itself for the first, then base-1, base-2, ...
// (the number before the first '.'), one above the newest there. The newest
// itself when it holds the same bytes, so saving an unchanged file twice
// keeps one copy. Empty when no number is left.
std::string cart_backup_target(const std::string& folder, const std::string& base,
                               const std::vector<uint8_t>& bytes);
// Removes the backups of `base` in `folder` older than the newest `keep`
// (by their numbers), so that saving often keeps the last few copies
// rather than filling the disk.
void cart_backup_prune(const std::string& folder, const std::string& base, int keep);

// Store-folder paths: the folder, then prefix, then name; and a cartridge's
// own stored-data file ("__" + hash + ".qz").
std::string cart_store_path(const char* name, const char* prefix);
std::string cart_stored_data_path(const char* hash);

// Embedded cartridges: mounted on the virtual disk as text under their
// name, with their hash remembered (it names their stored-data file).
void cart_mount_embedded(vexel_vdisk* disk, const vexel_cart* cart, const char* name);
const char* cart_embedded_hash(const vexel_vdisk* disk, const char* name);
// The cartridge held by a pod item (a data item with a 32 KiB block), in
// the shape a prepared working cartridge takes, or null when it holds none.
// The caller owns the record.
vexel_cart* cart_from_pod_item(const fenn_pod_item* item);
