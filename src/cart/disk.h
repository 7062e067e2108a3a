// disk: the working cartridge and everything between it and the file system.
//
// Owns the working cartridge's file name and hash (cart_disk), loading a
// cartridge of either format by a loose name, preparing a freshly read record
// (legacy upgrades, the shared sprite/map half, the code tabs, the hash and
// the stored-data overlay), saving with size checks and overwrite backups,
// quick save and quick reload, and the table of embedded cartridges that a
// stand-alone build mounts on the virtual disk.
//
// Invariants:
//  - A failed load or save leaves the working cartridge, its file name and
//    its hash as they were.
//  - A save never replaces an existing file other than the cartridge's own
//    without first copying it into the backup folder; when that copy cannot
//    be made the save is refused. A backup never replaces an older backup
//    with different contents (it takes the next free numbered name).
//  - Files are written with fenn_write_file (whole, to a fresh temporary file,
//    then renamed over the target), so a failed write never leaves a damaged
//    file in place and never writes through a link planted in the folder.
//  - A failed save prints one console line with the reason ("save: disk full").
//  - Every cartridge read goes through vdisk_open_read and refuses files
//    larger than cart_png_max_file without reading them.
#pragma once
#include <cstddef>
#include <string>

#include "cart/cart.h"
#include "cart/cart_hash.h"
#include "framework/fenn_pod.h"

constexpr int cart_filename_max = 1023;
constexpr int embedded_cart_max = 64;
constexpr int embedded_name_max = 255;
constexpr size_t cart_code_limit_save = size_t(vexel_code_max);  // longer programs are not saved
constexpr int backup_numbered_max = 999;  // numbered backup names tried before giving up

struct vexel_cart_disk {
    char filename[cart_filename_max + 1];  // file the working cartridge came from; "" for a new one
    char hash[cart_hash_size + 1];         // of the working cartridge, after every load and save
    int future_version;                    // the last failed read met a newer cartridge version
};
extern vexel_cart_disk cart_disk;

// "game" -> "game.qz", "game.png" -> "game.qz.png", "game.txt" -> "game.txt.qz";
// a name already holding ".qz" is unchanged.
std::string inject_qz_extention(const char* name);

// Reads one candidate name (real file, else virtual disk): as a PNG
// cartridge with its label, else as a text cartridge. Null when it reads as
// neither; cart_disk.future_version is set when it was of a newer version.
vexel_cart* load_vexel_cart_any_format(const char* path);

// Parses cartridge bytes in memory the same way (PNG first, then text).
vexel_cart* load_vexel_cart_from_bytes(const uint8_t* data, size_t size, bool* future);

// Tries the name, the name with the extension, that with ".png" appended,
// and the name with ".png"; the first that reads becomes the working
// cartridge under its own name. With `root` (the folder the name was given
// in), a candidate that leads out of it through a link is skipped. Returns
// 0, or 1 when none reads.
int load_working_cart(const char* path, const char* root = nullptr);

// Makes `cart` (owned from here on) the working cartridge under `name`
// (null or "": the cartridge's stored-data file names it).
void prepare_loaded_cart(vexel_cart* cart, const char* name);

// Upgrades an old record to the newest version in place.
void apply_legacy_changes(vexel_cart* cart);

// Saves the working cartridge to `path` (extension added). 0 or 1.
int save_working_cart(const char* path);

// Writes a backup of `path` into the backup folder: a copy of the file when
// `copy_file` is set, else the working cartridge. 0, or 1 when it could not
// be written (why goes to *reason when asked for).
int save_backup(const char* path, bool copy_file, std::string* reason = nullptr);

void do_quick_save();
void do_quick_load();

// The working cartridge is never reported as changed.
int detect_unsaved_changes();

// Embedded cartridges.
void clear_embedded_carts();
void mount_embedded_cart(const vexel_cart* cart, const char* name);
const char* get_embedded_cart_hash_for_filename(const char* name);
int embedded_cart_count();

// Boot of a stand-alone build: clears the table, makes item 3 of the
// resource pod (a 32 KiB block) the working cartridge under its item name,
// and mounts items 3 and later. Returns 0, 1 when there is no item 3, or 2
// when item 3 is not a readable block (nothing changes then).
int load_embedded_carts_from_pod(const cpod* pod);
// The cartridge held by one such pod item (a data item with a 32 KiB
// block), or null when it holds none. The caller owns the record.
vexel_cart* cart_from_pod_item(const cpod_item* item);

// Store-folder paths: the folder, then prefix, then name; and a cartridge's
// own stored-data file ("__" + hash + ".qz").
std::string vexel_prefix_with_cstore_path(const char* name, const char* prefix);
std::string get_sandboxed_cstore_filename(const char* hash);

// The console line for a failure the user would not otherwise see:
// "<command>: <reason>".
void disk_print_failure(const char* command, const std::string& reason);

// The same for a write a program repeats (stored data, save data): printed
// only when it differs from the last line printed through `last`, so a
// failing write retried every frame prints once. A success (empty reason)
// forgets the last line.
void disk_report_once(std::string& last, const char* command, const std::string& reason);
