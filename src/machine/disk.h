// disk: the working cartridge and its file.
//
// The working cartridge (vexel_machine::working_cart) is the one the console
// loads, saves, runs and edits; its program lives as code tabs while it is
// worked on. This module loads it by a loose name, prepares a freshly read
// record (legacy upgrades, the shared sprite/map half, the code tabs, the
// hash and the stored-data overlay), saves it with size checks and overwrite
// backups, and does the quick save and quick reload of the keys.
//
// Invariants:
//  - A failed load or save leaves the working cartridge, its file name and
//    its hash as they were.
//  - A save never replaces an existing file without first copying it into
//    the backup folder. When that copy cannot be made the save is refused,
//    except over the cartridge's own file of this version (then a warning).
//    A backup never replaces an older backup with different contents (it
//    takes the next number); the newest backup_keep_per_name of a name stay.
//  - A failed save prints one console line with the reason ("save: disk full").
//  - file.saved_hash is the hash of the working cartridge as its file holds
//    it (or, for a new cartridge, as it was made); the record has unsaved
//    changes exactly when its hash with the code tabs joined differs. A
//    loaded cartridge that replaces one with unsaved changes first puts
//    those into the backup folder.
#pragma once
#include <cstddef>
#include <string>

#include "cart/cart.h"
#include "cart/cart_include.h"
#include "framework/fenn_pod.h"

struct vexel_machine;

// Tries the name, the name with the extension, that with ".png" appended,
// and the name with ".png"; the first that reads becomes the working
// cartridge under its own name. With `root` (the folder the name was given
// in), a candidate that leads out of it through a link is skipped. Returns
// cart_ok, or the status of the first candidate that exists (cart_not_found
// when none does).
int vexel_load_working_cart(vexel_machine* m, const char* path, const char* root = nullptr);

// Makes `cart` (owned from here on) the working cartridge under `name`
// (null or "": the cartridge's stored-data file names it). What the
// cartridge warns of (a newer version, unreadable characters) is printed on
// the console and kept in m->file.load_warnings for screens that cover the
// console (the boot, the browser) to show again.
void vexel_prepare_loaded_cart(vexel_machine* m, vexel_cart* cart, const char* name);

// Whether the working cartridge is a text cartridge read from a local file
// (not a picture, not a download, not embedded on the virtual disk): only
// such a cartridge's #include lines are read, relative to its folder.
bool vexel_cart_is_local_text(const vexel_machine* m);
// The working cartridge's program (tabs as last joined) with its #include
// lines replaced by their files (cart/cart_include.h); the program itself
// when it has none. Errors say what could not be included.
cart_joined_program vexel_join_working_program(const vexel_machine* m);
// The same for `code` given as the working cartridge's program (the code
// editor joins its tabs as they are now).
cart_joined_program vexel_join_program(const vexel_machine* m, const char* code);

// Saves the working cartridge to `path` (extension added). 0 or 1.
int vexel_save_working_cart(vexel_machine* m, const char* path);

// Writes a backup of `path` into the backup folder: a copy of the file when
// `copy_file` is set, else the working cartridge. 0, or 1 when it could not
// be written (why goes to *reason when asked for).
int vexel_save_backup(vexel_machine* m, const char* path, bool copy_file, std::string* reason = nullptr);

// Unsaved changes. Hashing joins the code tabs and packs the code, so it is
// done only when asked to (`force`: at exit, before a load) or when an edit
// was noted since the last comparison; otherwise the last answer stands.
bool vexel_unsaved_changes(vexel_machine* m, bool force = false);
// Something may have changed the working cartridge (an editor's edit).
void vexel_note_cart_edit(vexel_machine* m);
// The working cartridge as it is now is what its file holds (after a load
// or save, for a new cartridge, after data stored into it by its program).
void vexel_mark_cart_saved(vexel_machine* m);
// When the working cartridge has unsaved changes, writes them to the backup
// folder under its file's name ("untitled.qz" for a new one), with the
// message the host's show_backup_messages asks for. Returns 0 when nothing
// needed saving or the backup was written, 1 when it could not be written
// (why goes to *reason when asked for).
int vexel_backup_unsaved_changes(vexel_machine* m, std::string* reason = nullptr);

// Replaces the working cartridge with an empty one without a file (as a
// new start does), after writing its unsaved changes to the backup folder
// as a load does; a backup that cannot be written is said on the console.
void vexel_new_working_cart(vexel_machine* m);

// Ctrl+S and Ctrl+R: save under the cartridge's own name; reload it when
// the file changed since it was read or saved.
void vexel_quick_save(vexel_machine* m);
void vexel_quick_load(vexel_machine* m);

// The console line for a failure the user would not otherwise see:
// "<command>: <reason>".
void vexel_print_failure(vexel_machine* m, const char* command, const std::string& reason);
// The same for a write a program repeats (stored data, save data): printed
// only when it differs from the last line printed through `last`, so a
// failing write retried every frame prints once. A success (empty reason)
// forgets the last line.
void vexel_report_once(vexel_machine* m, std::string& last, const char* command, const std::string& reason);

// Boot of a stand-alone build: clears the machine's virtual disk, makes
// item 3 of the resource pod (a 32 KiB block) the working cartridge under
// its item name, and mounts items 3 and later. Returns 0, 1 when there is
// no item 3, or 2 when item 3 is not a readable block (nothing changes then).
int vexel_load_embedded_carts(vexel_machine* m, const fenn_pod* pod);
// Only the mounting: the built-in cartridges become loadable by name
// ("load game") when a cartridge named on the command line took the head
// cartridge's place.
void vexel_mount_embedded_carts(vexel_machine* m, const fenn_pod* pod);

// The working cartridge's program as code tabs (vexel_machine::code_tabs,
// each vexel_code_buffer bytes). split does nothing while the buffers do
// not exist. merge returns the joined length; when it is above
// vexel_code_held_max the cartridge code is left as it was, so callers can
// report the program as too long without losing any of it. The current tab
// is the last one counted when joining, even if empty.
void vexel_split_code_to_tabs(vexel_machine* m);
size_t vexel_merge_code_from_tabs(vexel_machine* m);
int vexel_current_code_tab(const vexel_machine* m);
void vexel_select_code_tab(vexel_machine* m, int tab);  // clamped to 0..vexel_code_tabs-1
