#include "machine/disk.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "cart/cart_hash.h"
#include "cart/cart_load.h"
#include "cart/cart_rom.h"
#include "cart/cart_text.h"
#include "cart/code_tabs.h"
#include "cart/compress.h"
#include "cart/png_cart.h"
#include "cart/vdisk.h"
#include "framework/fenn_file.h"
#include "framework/fenn_log.h"
#include "framework/fenn_path.h"
#include "framework/fenn_write.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/text.h"

namespace {

constexpr int message_save_ms = 1000;
constexpr int message_fail_ms = 1500;
constexpr int message_backup_ms = 2500;
constexpr const char* message_unsaved_backup = "backing up unsaved changes";
constexpr int failure_colour = 8;
constexpr int warning_colour = 9;
constexpr size_t backup_title_max = 32;  // characters of a title made into a backup name
constexpr uint64_t backup_copy_max = uint64_t(64) << 20;  // a larger file is not overwritten at all
constexpr size_t message_max = 256;

struct cart_deleter {
    void operator()(vexel_cart* c) const { vexel_cart_destroy(c); }
};
using cart_ptr = std::unique_ptr<vexel_cart, cart_deleter>;

bool contains(const char* s, const char* part) { return s && std::strstr(s, part) != nullptr; }

std::string resolved(const char* path) { return fenn_resolve_filename(path ? path : ""); }

void set_filename(vexel_machine* m, const char* name) {
    std::snprintf(m->file.filename, sizeof m->file.filename, "%s", name);
    m->file.builtin = false;
}

// Copies the ROM of the cartridge's stored-data file, when there is one,
// over the record.
void overlay_stored_data(vexel_cart* cart, const char* hash) {
    const std::string path = cart_stored_data_path(hash);
    // Read only from inside the store folder, never through a link leading out.
    const std::string folder = cart_store_path("", "");
    if (fenn_path_confine(folder, path.substr(folder.size())) != fenn_confine_inside) return;
    vexel_cart* read = nullptr;
    if (cart_read_file(nullptr, path.c_str(), &read) != cart_ok) return;
    cart_ptr stored(read);
    for (uint32_t a = 0; a < uint32_t(vexel_rom_size); ++a) vexel_cart_poke(cart, a, vexel_cart_peek(stored.get(), a));
}

bool label_is_blank(const vexel_cart* cart) {
    const fenn_bitmap* label = cart->label;
    if (!label || label->pix.empty()) return true;
    for (uint8_t p : label->pix)
        if (p != label->pix[0]) return false;
    return true;
}

// A running program (not a line typed at the console) is the one at work.
bool program_at_work(const vexel_machine* m) { return m->running && m->program_active; }

// Where a save to `name` writes. A link is the user's own arrangement: the
// file it leads to is written (the link stays) when the user saves, or
// saves a cartridge they opened themselves; a name a program chose is
// never written through a link. "" with *why set when refused.
std::string save_target(const vexel_machine* m, const std::string& name, std::string* why) {
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
    const bool own_file = resolved(name.c_str()) == resolved(m->file.filename);
    if (program_at_work(m) || (own_file && m->file.name_by_program)) {
        *why = "the file is a link (save it under its own name)";
        return {};
    }
    char* real = ::realpath(name.c_str(), nullptr);
    if (!real) {
        *why = "the link leads nowhere";
        return {};
    }
    std::string target = real;
    std::free(real);
    return target;
}

size_t compressed_size(const char* code, size_t length) {
    std::vector<uint8_t> out(compress_mini_bound(length));
    return compress_mini_pack(code, length, out.data(), out.size());
}

// Steps shared by save_working_cart and quick save, after the tabs are
// joined and the length checked.
int write_joined_cart(vexel_machine* m, const char* path);

void set_program(vexel_machine* m, const std::string& code) {
    std::memcpy(m->working_cart->code, code.c_str(), code.size() + 1);
    vexel_select_code_tab(m, 0);
    vexel_split_code_to_tabs(m);
    vexel_merge_code_from_tabs(m);
}

int save_joined_cart(vexel_machine* m, const char* path) {
    vexel_cart* cart = m->working_cart;
    // A picture cartridge travels alone: it carries the whole program, the
    // included files joined in, and once written the record holds that.
    if (!contains(path, ".png") || !cart_has_includes(cart->code)) return write_joined_cart(m, path);
    const cart_joined_program joined = vexel_join_working_program(m);
    for (const std::string& e : joined.errors) vexel_print_col(m, e.c_str(), failure_colour);
    if (!joined.errors.empty()) return 1;
    if (joined.text.size() > size_t(vexel_code_max)) {
        vexel_print(m, "program over size limit");
        return 1;
    }
    const std::string own = cart->code;
    set_program(m, joined.text);
    if (write_joined_cart(m, path) != 0) {
        set_program(m, own);
        return 1;
    }
    vexel_print(m, "#include files joined into the program");
    return 0;
}

int write_joined_cart(vexel_machine* m, const char* path) {
    vexel_cart* cart = m->working_cart;
    const bool png = contains(path, ".png");
    const size_t length = std::strlen(cart->code);
    if (cart->dropped_lines > 0) {
        // Written back, the file would lose the lines that were not read.
        vexel_print_failure(m, "save", "the program was not read whole");
        return 1;
    }
    if (png && length > cart_code_limit_png) {
        vexel_print(m, "program over size limit");
        return 1;
    }
    const size_t packed = compressed_size(cart->code, length);
    if (png && packed > cart_code_room) {
        vexel_print_col(m, "compressed code size too large", 8);
        vexel_print_2(m, "%d / %d bytes", int(packed), int(cart_code_room));
        return 1;
    }
    if (png && label_is_blank(cart)) {
        vexel_print_col(m, "warning: label is blank", 9);
        vexel_print_col(m, "run cart and use f7 to capture", 10);
    }
    if (!png && packed > cart_code_room) {
        vexel_print_col(m, "warning: compressed code too big", 9);
        vexel_print_col(m, "to be exported or saved as png", 9);
        vexel_print_2(m, "%d / %d bytes", int(packed), int(cart_code_room));
        vexel_print(m, "(saving .qz anyway)");
    }
    const std::string name = cart_with_qz_extension(path);
    if (name.size() > size_t(cart_filename_max)) {
        vexel_host_message(m, "** failed to save **", message_fail_ms);
        return 1;
    }
    std::string refusal;
    const std::string target = save_target(m, name, &refusal);
    if (target.empty()) {
        vexel_print_failure(m, "save", refusal);
        vexel_host_message(m, "** failed to save **", message_fail_ms);
        return 1;
    }
    // Every file a save replaces is copied into the backup folder first (the
    // last few of each name are kept), so a save made by mistake can be
    // undone. Another file, or the cartridge's own of a newer version (written
    // back, it would hold only what this version understood of it), is kept
    // at any cost: without its copy the save is refused. The cartridge's own
    // file is saved even when its copy cannot be made, with a warning.
    const bool replacing_newer = cart->file_version > vexel_cart_newest_version;
    if (fenn_file_exists(name.c_str())) {
        const bool must_keep = replacing_newer || resolved(name.c_str()) != resolved(m->file.filename);
        std::string reason;
        if (vexel_save_backup(m, name.c_str(), true, &reason) != 0) {
            if (must_keep) {
                vexel_print_failure(m, "save", reason);
                vexel_host_message(m, "** failed to save **", message_fail_ms);
                return 1;
            }
            vexel_print_failure(m, "backup", reason);
        } else if (must_keep) {
            vexel_host_message(m, "** overwriting; saved backup **", message_backup_ms);
        }
    }
    const std::string reason = cart_write_file(cart, m->art, target.c_str());
    if (!reason.empty()) {
        vexel_print_failure(m, "save", reason);
        vexel_host_message(m, "** failed to save **", message_fail_ms);
        return 1;
    }
    set_filename(m, name.c_str());
    cart_hash(cart, m->file.hash);
    cart->file_version = vexel_cart_newest_version;  // its file is of this version now
    vexel_mark_cart_saved(m);
    return 0;
}

}  // namespace

void vexel_print_failure(vexel_machine* m, const char* command, const std::string& reason) {
    vexel_print_col(m, (std::string(command) + ": " + reason).c_str(), failure_colour);
}

void vexel_report_once(vexel_machine* m, std::string& last, const char* command, const std::string& reason) {
    if (reason.empty()) {
        last.clear();
        return;
    }
    const std::string line = std::string(command) + ": " + reason;
    if (line == last) return;
    last = line;
    vexel_print_col(m, line.c_str(), failure_colour);
}

void vexel_prepare_loaded_cart(vexel_machine* m, vexel_cart* cart, const char* name) {
    if (!cart) return;
    if (m->working_cart != cart) {
        // Edits not yet saved are kept in the backup folder rather than lost
        // with the record; a backup that cannot be written is said on the
        // console, and the load goes on (it was asked for).
        std::string reason;
        if (m->working_cart && vexel_backup_unsaved_changes(m, &reason) != 0)
            vexel_print_failure(m, "backup", reason);
        vexel_host_cart_released(m, m->working_cart);
        vexel_cart_destroy(m->working_cart);
    }
    m->working_cart = cart;
    // Warnings first: the upgrade raises the version they speak of.
    m->file.load_warnings = cart_load_warnings(cart);
    for (const std::string& line : m->file.load_warnings) vexel_print_col(m, line.c_str(), warning_colour);
    std::vector<std::string> notes;
    cart_apply_legacy_changes(cart, &notes);
    for (const std::string& line : notes) vexel_print(m, line.c_str());
    vexel_cart_sync_shared_half(cart);
    // Tab 0 is made current before the join: a tab left current by an
    // earlier cartridge would otherwise add empty tabs to this one.
    vexel_select_code_tab(m, 0);
    vexel_split_code_to_tabs(m);
    vexel_merge_code_from_tabs(m);
    cart_hash(cart, m->file.hash);
    if (name && *name) set_filename(m, name);
    else set_filename(m, cart_stored_data_path(m->file.hash).c_str());
    m->file.name_by_program = program_at_work(m);
    overlay_stored_data(cart, m->file.hash);
    vexel_mark_cart_saved(m);
}

bool vexel_cart_is_local_text(const vexel_machine* m) {
    const char* name = m->file.filename;
    if (!name[0] || contains(name, ".png") || !fenn_file_exists(name)) return false;
    // A downloaded cartridge reads nothing beside it.
    const std::string downloads = fenn_prefix_with_appdata_path("bbs/");
    return std::strncmp(name, downloads.c_str(), downloads.size()) != 0;
}

cart_joined_program vexel_join_working_program(const vexel_machine* m) {
    return vexel_join_program(m, m->working_cart ? m->working_cart->code : "");
}

cart_joined_program vexel_join_program(const vexel_machine* m, const char* code) {
    if (!cart_has_includes(code)) {
        cart_joined_program plain;
        plain.text = code;
        return plain;
    }
    const std::string name = m->file.filename;
    const size_t slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    return cart_join_includes(code, folder, vexel_cart_is_local_text(m));
}

// ---------------------------------------------------------- unsaved changes

bool vexel_unsaved_changes(vexel_machine* m, bool force) {
    if (!m->working_cart) return false;
    if (!force && !m->file.check_due) return m->file.unsaved;
    m->file.check_due = false;
    // A program too long to join cannot be what the file holds.
    if (vexel_merge_code_from_tabs(m) > size_t(vexel_code_held_max)) return m->file.unsaved = true;
    char hash[cart_hash_size + 1];
    cart_hash(m->working_cart, hash);
    m->file.unsaved = std::strcmp(hash, m->file.saved_hash) != 0;
    return m->file.unsaved;
}

void vexel_note_cart_edit(vexel_machine* m) { m->file.check_due = true; }

void vexel_mark_cart_saved(vexel_machine* m) {
    if (!m->working_cart) return;
    vexel_merge_code_from_tabs(m);
    cart_hash(m->working_cart, m->file.saved_hash);
    m->file.unsaved = false;
    m->file.check_due = false;
}

int vexel_backup_unsaved_changes(vexel_machine* m, std::string* reason) {
    if (!vexel_unsaved_changes(m, true)) return 0;
    if (vexel_host_show_backup_messages(m)) vexel_host_message(m, message_unsaved_backup, message_backup_ms);
    return vexel_save_backup(m, m->file.filename, false, reason);
}

void vexel_new_working_cart(vexel_machine* m) {
    std::string reason;
    if (m->working_cart && vexel_backup_unsaved_changes(m, &reason) != 0) vexel_print_failure(m, "backup", reason);
    vexel_host_cart_released(m, m->working_cart);
    vexel_cart_destroy(m->working_cart);
    m->working_cart = vexel_cart_create();
    m->file.load_warnings.clear();
    vexel_select_code_tab(m, 0);
    vexel_split_code_to_tabs(m);
    vexel_merge_code_from_tabs(m);
    set_filename(m, "");
    cart_hash(m->working_cart, m->file.hash);
    vexel_mark_cart_saved(m);
}

int vexel_load_working_cart(vexel_machine* m, const char* path, const char* root) {
    if (!path || !*path || std::strlen(path) > size_t(cart_filename_max)) return cart_not_found;
    const std::string with_ext = cart_with_qz_extension(path);
    const std::string candidates[] = {path, with_ext, with_ext + ".png", std::string(path) + ".png"};
    const std::string folder = root ? fenn_with_slash(root) : std::string();
    int status = cart_not_found;
    for (const std::string& name : candidates) {
        if (name.size() > size_t(cart_filename_max)) continue;
        // Each candidate is a different file, which may be a link of its own.
        if (root && (name.compare(0, folder.size(), folder) != 0 ||
                     fenn_path_confine(folder, name.substr(folder.size())) == fenn_confine_outside))
            continue;
        vexel_cart* cart = nullptr;
        const int st = cart_read_file(&m->vdisk, name.c_str(), &cart);
        if (st == cart_ok) {
            vexel_prepare_loaded_cart(m, cart, name.c_str());
            m->file.builtin = cart_embedded_hash(&m->vdisk, name.c_str()) != nullptr;
            // What cannot be included is said now (a run from the command
            // line says it when it runs); the cartridge stays loaded so that
            // it can be put right.
            if (!vexel_host_exec_mode(m) && vexel_cart_is_local_text(m))
                for (const std::string& e : vexel_join_working_program(m).errors) vexel_print_col(m, e.c_str(), failure_colour);
            return cart_ok;
        }
        if (status == cart_not_found) status = st;
    }
    return status;
}

// ----------------------------------------------------------------- saving

namespace {

// The backup name of a cartridge without a file: its title (the first
// "-- " line of its program) in letters, digits, '-' and '_', else
// "untitled". A board cartridge's copy so carries the game's name.
std::string untitled_backup_name(const vexel_cart* cart) {
    std::string name;
    if (cart && cart->code && std::strncmp(cart->code, "--", 2) == 0) {
        for (const char* c = cart->code + 2; *c && *c != '\n' && name.size() < backup_title_max; ++c) {
            const char ch = *c >= 'A' && *c <= 'Z' ? char(*c - 'A' + 'a') : *c;
            if ((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-' || ch == '_') name += ch;
            else if (!name.empty() && name.back() != '_') name += '_';
        }
        while (!name.empty() && (name.back() == '_' || name.back() == '-')) name.pop_back();
        while (!name.empty() && (name[0] == '_' || name[0] == '-')) name.erase(0, 1);
    }
    return (name.empty() ? std::string("untitled") : name) + ".qz";
}

}  // namespace

int vexel_save_backup(vexel_machine* m, const char* path, bool copy_file, std::string* reason) {
    auto refuse = [&](const char* why) {
        if (reason) *reason = why;
        return 1;
    };
    const char* base = vdisk_base_name(path);
    std::string name = *base ? base : untitled_backup_name(m->working_cart);
    std::vector<uint8_t> bytes;
    if (copy_file) {
        fenn_file f;
        if (!fenn_file_open(f, path)) return refuse("not a readable file");
        const int64_t n = fenn_file_remaining(f);
        if (n < 0 || uint64_t(n) > backup_copy_max) return refuse("file too large");
        bytes.resize(size_t(n));
        if (fenn_file_read(f, bytes.data(), bytes.size()) != bytes.size()) return refuse("not a readable file");
    } else {
        vexel_cart* cart = m->working_cart;
        if (!cart) return refuse("no cartridge");
        vexel_merge_code_from_tabs(m);
        if (!cart_encode_for(cart, m->art, path, &bytes)) return refuse("could not make the picture");
    }
    const std::string folder = fenn_prefix_with_appdata_path("backup/");
    const std::string target = cart_backup_target(folder, name, bytes);
    if (target.empty()) return refuse("no free backup name");
    const fenn_write_result written = fenn_write_file(target.c_str(), bytes.data(), bytes.size());
    if (reason) *reason = written.reason;
    if (!written.ok()) return 1;
    cart_backup_prune(folder, name, backup_keep_per_name);
    return 0;
}

int vexel_save_working_cart(vexel_machine* m, const char* path) {
    if (!m->working_cart || !path) return 1;
    if (vexel_merge_code_from_tabs(m) > cart_code_limit_save) {
        vexel_print(m, "program over size limit");
        return 1;
    }
    return save_joined_cart(m, path);
}

void vexel_quick_save(vexel_machine* m) {
    if (!m->working_cart) return;
    if (!m->file.filename[0] || m->file.builtin) {
        vexel_host_message(m, "*** no filename. not saved! ***", message_fail_ms);
        return;
    }
    if (contains(m->file.filename, fenn_prefix_with_appdata_path("bbs").c_str())) {
        vexel_host_message(m, "* can not overwrite bbs cart! *", message_fail_ms);
        return;
    }
    if (vexel_merge_code_from_tabs(m) > cart_code_limit_save) {
        vexel_print(m, "program over size limit");
        vexel_host_message(m, "** save failed **", message_fail_ms);
        return;
    }
    const std::string name = m->file.filename;
    if (save_joined_cart(m, name.c_str()) != 0) {
        vexel_host_message(m, "** save failed **", message_fail_ms);
        return;
    }
    char text[message_max + 1];
    std::snprintf(text, sizeof text, "saved %s", vdisk_base_name(m->file.filename));
    vexel_host_message(m, text, message_save_ms);
}

void vexel_quick_load(vexel_machine* m) {
    if (!m->file.filename[0]) return;
    vexel_cart* read = nullptr;
    if (cart_read_file(&m->vdisk, m->file.filename, &read) != cart_ok) return;
    cart_ptr cart(read);
    cart_apply_legacy_changes(cart.get());
    char hash[cart_hash_size + 1];
    cart_hash(cart.get(), hash);
    // Compared with the hash the working cartridge had when it was read or
    // saved: data stored into the working cartridge since then (cstore) is
    // not a change of the file.
    if (std::strcmp(hash, m->file.hash) == 0) return;
    const std::string name = m->file.filename;
    vexel_prepare_loaded_cart(m, cart.release(), name.c_str());
    vexel_host_message(m, "loaded external changes", message_save_ms);
}

// ------------------------------------------------------------- embedded

int vexel_load_embedded_carts(vexel_machine* m, const fenn_pod* pod) {
    const fenn_pod_item* head = fenn_pod_get_item(pod, 3);
    if (!head) return 1;
    vexel_cart* cart = cart_from_pod_item(head);
    if (!cart) return 2;
    vexel_prepare_loaded_cart(m, cart, head->name);
    m->file.builtin = true;
    vexel_mount_embedded_carts(m, pod);
    return 0;
}

void vexel_mount_embedded_carts(vexel_machine* m, const fenn_pod* pod) {
    vdisk_clear(&m->vdisk);
    for (int i = 3; i < fenn_pod_item_count(pod); ++i) {
        const fenn_pod_item* item = fenn_pod_get_item(pod, i);
        cart_ptr temp(cart_from_pod_item(item));
        if (!temp) continue;
        // The same normalisation of the program text as preparing does.
        std::vector<char> tabs_store(size_t(vexel_code_tabs) * vexel_code_buffer);
        char* tabs[vexel_code_tabs];
        for (int t = 0; t < vexel_code_tabs; ++t) tabs[t] = tabs_store.data() + size_t(t) * vexel_code_buffer;
        code_tabs_split(temp->code, tabs, vexel_code_tabs, vexel_code_buffer);
        code_tabs_merge(tabs, vexel_code_tabs, 0, temp->code, vexel_code_buffer);
        cart_mount_embedded(&m->vdisk, temp.get(), item->name);
    }
}

// ------------------------------------------------------------------- tabs

void vexel_split_code_to_tabs(vexel_machine* m) {
    if (!m->working_cart) return;
    for (char* tab : m->code_tabs)
        if (!tab) return;
    code_tabs_split(m->working_cart->code, m->code_tabs, vexel_code_tabs, vexel_code_buffer);
}

size_t vexel_merge_code_from_tabs(vexel_machine* m) {
    vexel_cart* cart = m->working_cart;
    if (!cart) return 0;
    for (char* tab : m->code_tabs)
        if (!tab) return std::strlen(cart->code);
    size_t length = code_tabs_merge(m->code_tabs, vexel_code_tabs, m->file.current_tab, nullptr, 0);
    if (length > size_t(vexel_code_held_max)) return length;
    code_tabs_merge(m->code_tabs, vexel_code_tabs, m->file.current_tab, cart->code, vexel_code_buffer);
    return length;
}

int vexel_current_code_tab(const vexel_machine* m) { return m->file.current_tab; }

void vexel_select_code_tab(vexel_machine* m, int tab) {
    m->file.current_tab = tab < 0 ? 0 : tab >= vexel_code_tabs ? vexel_code_tabs - 1 : tab;
}
