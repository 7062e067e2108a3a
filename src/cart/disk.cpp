#include "cart/disk.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/app.h"
#include "cart/cart_text.h"
#include "cart/code_tabs.h"
#include "cart/compress.h"
#include "cart/png_cart.h"
#include "cart/vdisk.h"
#include "framework/fenn_file.h"
#include "framework/fenn_log.h"
#include "framework/fenn_path.h"
#include "framework/fenn_write.h"
#include "machine/mem.h"
#include "machine/pstate.h"
#include "machine/text.h"

vexel_cart_disk cart_disk = {};

namespace {

constexpr int message_save_ms = 1000;
constexpr int message_fail_ms = 1500;
constexpr int message_backup_ms = 2500;
constexpr int failure_colour = 8;
constexpr int legacy_last_version_api = 4;     // versions 0-4 get the old fixes
constexpr int legacy_last_version_slides = 10;
constexpr int sfx_duration_per_speed = 32;
constexpr uint64_t backup_copy_max = uint64_t(64) << 20;  // a larger file is not overwritten at all

struct cart_deleter {
    void operator()(vexel_cart* c) const { fenn_destroy_vexel_cart(c); }
};
using cart_ptr = std::unique_ptr<vexel_cart, cart_deleter>;

struct embedded_entry {
    char hash[cart_hash_size + 1];
    char name[embedded_name_max + 1];
};
embedded_entry embedded[embedded_cart_max];
int embedded_count = 0;

constexpr const char* legacy_api_trigger = "print(\"archeos\",98,34,7)";
constexpr const char* legacy_rule = "--------------------------------\n";
// The collection functions of the first programming interface, which old
// programs call without defining. Each keeps its bookkeeping in the table.
constexpr const char* legacy_api_line =
    "function _validate(c) if (c._num==nil) then local i=0 while (c[i+1]~=nil) do i=i+1 end "
    "c._num=i c._max=i c._min=i+1 c._ci=i end end \t"
    "function foreach(c,f) if (c==nil) then return end _validate(c) if (c._max==nil) then return end "
    "for i=1,c._max do if (c[i]~=nil) then c._ci=i f(c[i]) end end end \t"
    "function all(c) if (c==nil) then return function() end end _validate(c) local i=0 "
    "return function() i=i+1 while (c[i]==nil and i<c._max) do i=i+1 end "
    "if (c[i]~=nil) then c._ci=i return c[i] end end end \t"
    "function add(c,v) if (c==nil) then return end _validate(c) for j=c._min,c._max+1 do "
    "if (c[j]==nil) then c._max=max(c._max,j) c._min=j+1 c._num=c._num+1 c[j]=v return v end end end \t"
    "function count(c) if (c==nil) then return 0 end _validate(c) return c._num end \t"
    "function del(c,v) if (c==nil or v==nil) then return end _validate(c) "
    "if (c._ci==v) then c[c._ci]=nil c._min=min(c._min,c._ci) c._num=c._num-1 return end "
    "for j=1,c._max do if (c[j]==v) then c[j]=nil c._min=min(c._min,j) c._num=c._num-1 return end end "
    "while (c._max>1 and c[c._max]==nil) do c._max=c._max-1 end end";

std::string legacy_api_text() {
    std::string t = legacy_rule;
    t += "-- legacy 0.1.1 api injected\n";
    t += legacy_rule;
    t += legacy_api_line;
    t += "  nd=0\n";
    t += legacy_rule;
    t += "\n";
    return t;
}

bool read_stream(fenn_file& f, std::vector<uint8_t>* out) {
    const int64_t n = fenn_file_remaining(f);
    if (n < 0 || uint64_t(n) > cart_png_max_file) return false;
    out->resize(size_t(n));
    return fenn_file_read(f, out->data(), out->size()) == out->size();
}

bool contains(const char* s, const char* part) { return s && std::strstr(s, part) != nullptr; }

std::string resolved(const char* path) { return fenn_resolve_filename(path ? path : ""); }

void set_filename(const char* name) { std::snprintf(cart_disk.filename, sizeof cart_disk.filename, "%s", name); }

int sfx_duration(const vexel_cart* cart, int n) {
    int speed = cart->sfx[n].speed;
    return (speed < 1 ? 1 : speed) * sfx_duration_per_speed;
}

bool sfx_loops(const vexel_cart* cart, int n) { return cart->sfx[n].loop_end > cart->sfx[n].loop_start; }

void legacy_swap_music_channels(vexel_cart* cart) {
    for (int p = 0; p < vexel_music_count; ++p) {
        int32_t* ch = cart->music[p];
        auto held = [&](int c) { return ch[c] >= 0 && ch[c] <= 63; };
        int longest = 0, first_single = -1;
        for (int c = 0; c < 4; ++c) {
            if (!held(c)) continue;
            if (sfx_duration(cart, ch[c]) > longest) longest = sfx_duration(cart, ch[c]);
            if (first_single < 0 && !sfx_loops(cart, ch[c])) first_single = c;
        }
        if (first_single < 0 || sfx_duration(cart, ch[first_single]) == longest) continue;
        for (int c = 1; c < 4; ++c) {
            if (!held(c) || sfx_loops(cart, ch[c]) || sfx_duration(cart, ch[c]) != longest) continue;
            std::swap(ch[0], ch[c]);
            char line[64];
            std::snprintf(line, sizeof line, "legacy: pat %d swap chan: %d %d", p, 0, c);
            vexel_print(line);
            break;
        }
    }
}

void legacy_inject_api(vexel_cart* cart) {
    if (!std::strstr(cart->code, legacy_api_trigger)) return;
    const std::string api = legacy_api_text();
    const size_t length = std::strlen(cart->code);
    if (api.size() + length > size_t(vexel_code_max)) {
        // Cutting the program to make room would lose code; leave it as it is.
        fenn_debug("legacy api not injected: program too long\n");
        return;
    }
    std::memmove(cart->code + api.size(), cart->code, length + 1);
    std::memcpy(cart->code, api.data(), api.size());
    vexel_print("legacy: 0.1.1 api injected");
}

void legacy_slides(vexel_cart* cart) {
    int later_features = 0;
    for (const sfx_record& s : cart->sfx) {
        if (s.editor_byte >= 2) ++later_features;
        if (s.loop_start >= 64) ++later_features;
        if (s.loop_end >= 64) ++later_features;
        for (const sfx_note& n : s.notes)
            if (n.instrument) ++later_features;
    }
    if (later_features) return;
    for (sfx_record& s : cart->sfx)
        for (sfx_note& n : s.notes)
            if (n.effect == 1 && n.volume == 0) n.effect = 0;
}

// Copies the ROM of the cartridge's stored-data file, when there is one,
// over the record.
void overlay_stored_data(vexel_cart* cart, const char* hash) {
    const std::string path = get_sandboxed_cstore_filename(hash);
    // Read only from inside the store folder, never through a link leading out.
    const std::string folder = vexel_prefix_with_cstore_path("", "");
    if (fenn_path_confine(folder, path.substr(folder.size())) != fenn_confine_inside) return;
    fenn_file f;
    if (!fenn_file_open(f, path.c_str())) return;
    std::vector<uint8_t> bytes;
    if (!read_stream(f, &bytes)) return;
    cart_ptr stored(vexel_cart_from_text(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!stored) return;
    for (int a = 0; a < vexel_rom_size; ++a) vexel_poke(nullptr, cart, a, vexel_peek(nullptr, stored.get(), a));
}

// A name for the backup of `base` in the backup folder that does not
// replace a different older backup: the name itself when free or holding
// the same bytes, else base-1, base-2, ... (before the first '.').
std::string backup_target(const std::string& base, const std::vector<uint8_t>& bytes) {
    const std::string folder = fenn_prefix_with_appdata_path("backup/");
    fenn_mkdir(folder.c_str());
    const size_t dot = base.find('.');
    const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : base.substr(dot);
    for (int n = 0; n <= backup_numbered_max; ++n) {
        std::string path = folder + (n == 0 ? base : stem + "-" + std::to_string(n) + ext);
        if (access(path.c_str(), F_OK) != 0) return path;
        fenn_file f;
        if (!fenn_file_open(f, path.c_str())) continue;  // something unreadable is in the way
        std::vector<uint8_t> old;
        if (read_stream(f, &old) && old == bytes) return path;
    }
    return std::string();
}

// The reason a save failed, or "" when it was written.
std::string save_cart_file(const vexel_cart* cart, const char* path) {
    if (contains(path, ".png")) {
        std::vector<uint8_t> png;
        if (vexel_cart_png_encode(cart, &png) != cart_png_ok) return "could not make the picture";
        return fenn_write_file(path, png.data(), png.size()).reason;
    }
    std::string text = vexel_cart_to_text(cart);
    return fenn_write_file(path, text.data(), text.size()).reason;
}

bool label_is_blank(const vexel_cart* cart) {
    const fenn_bitmap* label = cart->label;
    if (!label || label->pix.empty()) return true;
    for (uint8_t p : label->pix)
        if (p != label->pix[0]) return false;
    return true;
}

size_t compressed_size(const char* code, size_t length) {
    std::vector<uint8_t> out(compress_mini_bound(length));
    return compress_mini(code, length, out.data(), out.size());
}

// Steps shared by save_working_cart and quick save, after the tabs are
// joined and the length checked.
int save_joined_cart(const char* path) {
    vexel_cart* cart = pstate.working_cart;
    const size_t length = std::strlen(cart->code);
    const size_t packed = compressed_size(cart->code, length);
    const bool png = contains(path, ".png");
    if (png && packed > cart_code_room) {
        vexel_print_col("compressed code size too large", 8);
        vexel_print_2("%d / %d bytes", int(packed), int(cart_code_room));
        return 1;
    }
    if (png && label_is_blank(cart)) {
        vexel_print_col("warning: label is blank", 9);
        vexel_print_col("run cart and use f7 to capture", 10);
    }
    if (!png && packed > cart_code_room) {
        vexel_print_col("warning: compressed code too big", 9);
        vexel_print_col("to be exported or saved as png", 9);
        vexel_print_2("%d / %d bytes", int(packed), int(cart_code_room));
        vexel_print("(saving .qz anyway)");
    }
    const std::string name = inject_qz_extention(path);
    if (name.size() > size_t(cart_filename_max)) {
        show_message("** failed to save **", message_fail_ms);
        return 1;
    }
    if (resolved(name.c_str()) != resolved(cart_disk.filename) && fenn_file_exists(name.c_str())) {
        std::string reason;
        if (save_backup(name.c_str(), true, &reason) != 0) {
            // Without a backup the old file would be lost: keep it.
            disk_print_failure("save", reason);
            show_message("** failed to save **", message_fail_ms);
            return 1;
        }
        show_message("** overwriting; saved backup **", message_backup_ms);
    }
    const std::string reason = save_cart_file(cart, name.c_str());
    if (!reason.empty()) {
        disk_print_failure("save", reason);
        show_message("** failed to save **", message_fail_ms);
        return 1;
    }
    set_filename(name.c_str());
    hash_cart(cart, cart_disk.hash);
    return 0;
}

}  // namespace

// ------------------------------------------------------------------ names

std::string inject_qz_extention(const char* name) {
    std::string s = name ? name : "";
    if (s.find(".qz") != std::string::npos) return s;
    const size_t slash = s.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = s.rfind('.');
    if (dot == std::string::npos || dot < start) return s + ".qz";
    const std::string ext = s.substr(dot);
    if (ext.find(".png") != std::string::npos) return s.substr(0, dot) + ".qz" + ext;
    return s + ".qz";
}

std::string vexel_prefix_with_cstore_path(const char* name, const char* prefix) {
    return fenn_prefix_with_appdata_path("cstore/") + (prefix ? prefix : "") + (name ? name : "");
}

std::string get_sandboxed_cstore_filename(const char* hash) {
    return vexel_prefix_with_cstore_path((std::string(hash ? hash : "") + ".qz").c_str(), "__");
}

void disk_print_failure(const char* command, const std::string& reason) {
    vexel_print_col((std::string(command) + ": " + reason).c_str(), failure_colour);
}

void disk_report_once(std::string& last, const char* command, const std::string& reason) {
    if (reason.empty()) {
        last.clear();
        return;
    }
    const std::string line = std::string(command) + ": " + reason;
    if (line == last) return;
    last = line;
    vexel_print_col(line.c_str(), failure_colour);
}

// ---------------------------------------------------------------- loading

vexel_cart* load_vexel_cart_from_bytes(const uint8_t* data, size_t size, bool* future) {
    if (future) *future = false;
    vexel_cart* cart = nullptr;
    int version = 0;
    const int st = load_vexel_cart_png_from_memory(data, size, true, &cart, &version);
    if (st == cart_png_ok) return cart;
    if (st == cart_png_future) {
        if (future) *future = true;
        return nullptr;
    }
    if (st != cart_png_unreadable) return nullptr;  // a picture, but not a readable cartridge
    future_version = 0;
    cart = vexel_cart_from_text(reinterpret_cast<const char*>(data), size);
    if (!cart && future_version && future) *future = true;
    return cart;
}

vexel_cart* load_vexel_cart_any_format(const char* path) {
    fenn_file f;
    if (!vdisk_open_read(f, path)) return nullptr;
    std::vector<uint8_t> bytes;
    if (!read_stream(f, &bytes)) return nullptr;
    bool future = false;
    vexel_cart* cart = load_vexel_cart_from_bytes(bytes.data(), bytes.size(), &future);
    if (future) cart_disk.future_version = 1;
    return cart;
}

void apply_legacy_changes(vexel_cart* cart) {
    if (cart->version <= legacy_last_version_api) {
        legacy_swap_music_channels(cart);
        for (sfx_record& s : cart->sfx)
            for (sfx_note& n : s.notes)
                if (n.waveform == 6 && (n.volume == 6 || n.volume == 7)) n.volume = 5;
        legacy_inject_api(cart);
    }
    if (cart->version <= legacy_last_version_slides) legacy_slides(cart);
    cart->version = vexel_cart_newest_version;
}

void prepare_loaded_cart(vexel_cart* cart, const char* name) {
    if (!cart) return;
    if (pstate.working_cart != cart) fenn_destroy_vexel_cart(pstate.working_cart);
    pstate.working_cart = cart;
    apply_legacy_changes(cart);
    vexel_sync_shared_half(cart);
    // Tab 0 is made current before the join: a tab left current by an
    // earlier cartridge would otherwise add empty tabs to this one.
    select_code_tab(0);
    split_code_to_tabs();
    merge_code_from_tabs();
    hash_cart(cart, cart_disk.hash);
    if (name && *name) set_filename(name);
    else set_filename(get_sandboxed_cstore_filename(cart_disk.hash).c_str());
    overlay_stored_data(cart, cart_disk.hash);
}

int load_working_cart(const char* path, const char* root) {
    if (!path || !*path || std::strlen(path) > size_t(cart_filename_max)) return 1;
    const std::string with_ext = inject_qz_extention(path);
    const std::string candidates[] = {path, with_ext, with_ext + ".png", std::string(path) + ".png"};
    const std::string folder = root ? fenn_with_slash(root) : std::string();
    for (const std::string& name : candidates) {
        if (name.size() > size_t(cart_filename_max)) continue;
        // Each candidate is a different file, which may be a link of its own.
        if (root && (name.compare(0, folder.size(), folder) != 0 ||
                     fenn_path_confine(folder, name.substr(folder.size())) == fenn_confine_outside))
            continue;
        if (vexel_cart* cart = load_vexel_cart_any_format(name.c_str())) {
            prepare_loaded_cart(cart, name.c_str());
            return 0;
        }
    }
    return 1;
}

// ----------------------------------------------------------------- saving

int save_backup(const char* path, bool copy_file, std::string* reason) {
    auto refuse = [&](const char* why) {
        if (reason) *reason = why;
        return 1;
    };
    const char* base = vdisk_base_name(path);
    std::string name = *base ? base : "untitled.qz";
    std::vector<uint8_t> bytes;
    if (copy_file) {
        fenn_file f;
        if (!fenn_file_open(f, path)) return refuse("not a readable file");
        const int64_t n = fenn_file_remaining(f);
        if (n < 0 || uint64_t(n) > backup_copy_max) return refuse("file too large");
        bytes.resize(size_t(n));
        if (fenn_file_read(f, bytes.data(), bytes.size()) != bytes.size()) return refuse("not a readable file");
    } else {
        vexel_cart* cart = pstate.working_cart;
        if (!cart) return refuse("no cartridge");
        merge_code_from_tabs();
        if (contains(path, ".png")) {
            if (vexel_cart_png_encode(cart, &bytes) != cart_png_ok) return refuse("could not make the picture");
        } else {
            std::string text = vexel_cart_to_text(cart);
            bytes.assign(text.begin(), text.end());
        }
    }
    const std::string target = backup_target(name, bytes);
    if (target.empty()) return refuse("no free backup name");
    const fenn_write_result written = fenn_write_file(target.c_str(), bytes.data(), bytes.size());
    if (reason) *reason = written.reason;
    return written.ok() ? 0 : 1;
}

int save_working_cart(const char* path) {
    if (!pstate.working_cart || !path) return 1;
    if (merge_code_from_tabs() > cart_code_limit_save) {
        vexel_print("program over size limit");
        return 1;
    }
    return save_joined_cart(path);
}

void do_quick_save() {
    if (!pstate.working_cart) return;
    if (!cart_disk.filename[0]) {
        show_message("*** no filename. not saved! ***", message_fail_ms);
        return;
    }
    if (contains(cart_disk.filename, fenn_prefix_with_appdata_path("bbs").c_str())) {
        show_message("* can not overwrite bbs cart! *", message_fail_ms);
        return;
    }
    if (merge_code_from_tabs() > cart_code_limit_save) {
        vexel_print("program over size limit");
        show_message("** save failed **", message_fail_ms);
        return;
    }
    const std::string name = cart_disk.filename;
    if (save_joined_cart(name.c_str()) != 0) {
        show_message("** save failed **", message_fail_ms);
        return;
    }
    char text[app_message_max + 1];
    std::snprintf(text, sizeof text, "saved %s", vdisk_base_name(cart_disk.filename));
    show_message(text, message_save_ms);
}

void do_quick_load() {
    if (!cart_disk.filename[0]) return;
    cart_ptr cart(load_vexel_cart_any_format(cart_disk.filename));
    if (!cart) return;
    apply_legacy_changes(cart.get());
    char hash[cart_hash_size + 1];
    hash_cart(cart.get(), hash);
    // Compared with the hash the working cartridge had when it was read or
    // saved: data stored into the working cartridge since then (cstore) is
    // not a change of the file.
    if (std::strcmp(hash, cart_disk.hash) == 0) return;
    const std::string name = cart_disk.filename;
    prepare_loaded_cart(cart.release(), name.c_str());
    show_message("loaded external changes", message_save_ms);
}

int detect_unsaved_changes() { return 0; }

// ------------------------------------------------------------- embedded

void clear_embedded_carts() { embedded_count = 0; }

int embedded_cart_count() { return embedded_count; }

void mount_embedded_cart(const vexel_cart* cart, const char* name) {
    if (!cart || !name || embedded_count >= embedded_cart_max) return;
    if (std::strlen(name) > size_t(embedded_name_max)) return;
    vdisk_file* file = fenn_fopen_vdisk(name, "w");
    if (!file) return;
    embedded_entry& e = embedded[embedded_count++];
    std::snprintf(e.name, sizeof e.name, "%s", name);
    hash_cart(cart, e.hash);
    fenn_debug("@ mount_embedded_cart: %s %s\n", e.name, e.hash);
    const std::string text = vexel_cart_to_text(cart);
    vdisk_write(file, text.data(), text.size());
}

const char* get_embedded_cart_hash_for_filename(const char* name) {
    if (!name) return nullptr;
    for (int i = 0; i < embedded_count; ++i)
        if (std::strcmp(embedded[i].name, name) == 0) return embedded[i].hash;
    return nullptr;
}

// A record from a pod item holding a 32 KiB block, brought to the shape the
// working cartridge takes when prepared, so that its hash (which names its
// stored-data file) is the same whether it is loaded or mounted.
vexel_cart* cart_from_pod_item(const cpod_item* item) {
    if (!item || item->type != cpod_type_data) return nullptr;
    cart_ptr cart(fenn_create_vexel_cart());
    if (load_vexel_cart_32k(cart.get(), item->bytes.data(), item->bytes.size()) != cart_png_ok) return nullptr;
    cart->version = vexel_cart_newest_version;
    vexel_sync_shared_half(cart.get());
    return cart.release();
}

int load_embedded_carts_from_pod(const cpod* pod) {
    clear_embedded_carts();
    const cpod_item* head = cpod_get_item(pod, 3);
    if (!head) return 1;
    vexel_cart* cart = cart_from_pod_item(head);
    if (!cart) return 2;
    prepare_loaded_cart(cart, head->name);
    for (int i = 3; i < cpod_item_count(pod); ++i) {
        const cpod_item* item = cpod_get_item(pod, i);
        cart_ptr temp(cart_from_pod_item(item));
        if (!temp) continue;
        // The same normalisation of the program text as preparing does.
        std::vector<char> tabs_store(size_t(vexel_code_tabs) * vexel_code_buffer);
        char* tabs[vexel_code_tabs];
        for (int t = 0; t < vexel_code_tabs; ++t) tabs[t] = tabs_store.data() + size_t(t) * vexel_code_buffer;
        split_code_text(temp->code, tabs, vexel_code_tabs, vexel_code_buffer);
        merge_code_text(tabs, vexel_code_tabs, 0, temp->code, vexel_code_buffer);
        mount_embedded_cart(temp.get(), item->name);
    }
    return 0;
}
