#include "machine/rom.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

#include "cart/cart_text.h"
#include "cart/cart_load.h"
#include "machine/disk.h"
#include "cart/png_cart.h"
#include "cart/vdisk.h"
#include "framework/fenn_file.h"
#include "framework/fenn_log.h"
#include "framework/fenn_path.h"
#include "framework/fenn_write.h"
#include "machine/error.h"
#include "machine/mem.h"
#include "machine/machine.h"
#include "machine/cpu.h"

namespace {

struct cart_deleter {
    void operator()(vexel_cart* c) const { vexel_cart_destroy(c); }
};
using cart_ptr = std::unique_ptr<vexel_cart, cart_deleter>;

// Integer part of a 16.16 argument, taken as an unsigned 32-bit value.
uint32_t arg_u32(int32_t fix) { return uint32_t(fix >> 16); }

// The (dest, src, len) of reload and cstore: given with three arguments or
// more, else the whole ROM.
struct rom_copy {
    uint32_t d = 0, s = 0, n = uint32_t(vexel_rom_size);
    rom_copy(int argc, int32_t dest, int32_t src, int32_t len) {
        if (argc < 3) return;
        d = arg_u32(dest);
        s = arg_u32(src);
        n = arg_u32(len);
    }
};

bool reserved(const char* name) { return name[0] == '_' && name[1] == '_'; }

void poke_machine(vexel_machine* m, uint64_t addr, int value) {
    if (addr >= vexel_mem_size) {
        vexel_runtime_error(m, "bad memory access");
        return;
    }
    vexel_poke(m, m->cart, int32_t(addr), value);
}

int rom_byte(const vexel_cart* cart, uint64_t addr) {
    return addr < uint64_t(vexel_rom_size) ? vexel_cart_peek(cart, uint32_t(addr)) : 0;
}

void copy_rom_to_machine(vexel_machine* m, const vexel_cart* from, uint32_t dest, uint32_t src, uint32_t len) {
    for (uint32_t i = 0; i < len; ++i) poke_machine(m, uint64_t(dest) + i, rom_byte(from, uint64_t(src) + i));
}

void note_external(vexel_machine* m, const std::string& path) {
    if (path == m->rom.last_external) return;
    m->rom.last_external = path;
    m->hold_frames = rom_hold_frames;
}

vexel_cart* read_cart_or_bin(vexel_machine* m, const char* path) {
    vexel_cart* read = nullptr;
    if (cart_read_file(&m->vdisk, path, &read) == cart_ok) return read;
    if (!std::strstr(path, ".bin")) return nullptr;
    fenn_file f;
    if (!vdisk_open_read(&m->vdisk, f, path)) return nullptr;
    std::vector<uint8_t> rom(static_cast<size_t>(vexel_rom_size));
    const size_t got = fenn_file_read(f, rom.data(), rom.size());
    if (got == 0) return nullptr;
    vexel_cart* cart = vexel_cart_create();
    for (size_t a = 0; a < got; ++a) vexel_cart_poke(cart, uint32_t(a), rom[a]);
    return cart;
}

// The embedded cartridge `name` as mounted on the virtual disk, or null.
vexel_cart* embedded_cart(vexel_machine* m, const char* name) {
    vdisk_file* v = vdisk_open(&m->vdisk, name, "r");
    if (!v) return nullptr;
    vexel_cart* cart = nullptr;
    cart_read_bytes(v->bytes.data(), v->bytes.size(), &cart);
    return cart;
}

// The name with one leading '/' dropped.
const char* store_name(const char* name) { return name[0] == '/' ? name + 1 : name; }

// Why a store-folder path may not be used, or "" when it may: it must lead
// to a regular file (or nothing yet) inside the store folder once links are
// followed. A FIFO or device would block or feed endless bytes.
std::string store_refusal(const std::string& path) {
    const std::string folder = cart_store_path("", "");
    if (path.compare(0, folder.size(), folder) != 0) return "outside the store folder";
    switch (fenn_path_confine(folder, path.substr(folder.size()))) {
    case fenn_confine_outside: return "outside the store folder";
    case fenn_confine_folder: return "name is a folder";
    case fenn_confine_inside: break;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return "not a regular file";
    return {};
}

}  // namespace

bool rom_name_allowed(const char* name) { return rom_name_refusal(name).empty(); }

std::string rom_name_refusal(const char* name) {
    if (!name) return "no file name";
    const char* n = store_name(name);
    if (n[0] == 0) return "no file name";
    if (std::strlen(name) > rom_name_max) return "file name too long";
    if (reserved(n)) return "reserved file name";
    if (n[0] == '/') return "outside the store folder";
    // No ".." component anywhere: the name must stay inside the folder.
    const char* p = n;
    while (true) {
        const char* slash = std::strchr(p, '/');
        const size_t part = slash ? size_t(slash - p) : std::strlen(p);
        if (part == 2 && p[0] == '.' && p[1] == '.') return "outside the store folder";
        if (!slash) break;
        p = slash + 1;
    }
    return {};
}

std::string rom_store_path(vexel_machine* m, const char* name) {
    if (!rom_name_allowed(name)) return std::string();
    const char* n = store_name(name);
    std::string path;
    if (const char* hash = cart_embedded_hash(&m->vdisk, n)) path = cart_stored_data_path(hash);
    else path = cart_store_path(n, "");
    if (path.size() > rom_path_max) return std::string();
    return path;
}

void vexel_reload(vexel_machine* m, int32_t dest, int32_t src, int32_t len) {
    const uint32_t d = uint32_t(dest), s = uint32_t(src), n = uint32_t(len);
    if (n > uint32_t(rom_copy_max)) return;
    if (m->working_cart) copy_rom_to_machine(m, m->working_cart, d, s, n);
    if (!m->rom.last_external.empty()) {
        m->rom.last_external.clear();
        m->hold_frames = rom_hold_frames;
    }
}

namespace {

void reload_from(vexel_machine* m, const char* path, vexel_cart* cart, int32_t dest, int32_t src, int32_t len) {
    note_external(m, path);
    cart_ptr owned(cart);
    const uint32_t n = uint32_t(len);
    if (owned && n <= uint32_t(rom_copy_max)) copy_rom_to_machine(m, owned.get(), uint32_t(dest), uint32_t(src), n);
}

}  // namespace

int rom_reload(vexel_machine* m, const char* path, int32_t dest, int32_t src, int32_t len) {
    vexel_cart* cart = read_cart_or_bin(m, path);
    // One line a call: a program reloading in a loop repeats it, which the
    // log counts instead of writing.
    fenn_debug("reload: %d bytes from %s%s\n", int(len), path, cart ? "" : " (no readable cartridge)");
    reload_from(m, path, cart, dest, src, len);
    return cart ? 0 : 1;
}

namespace {

// rom_cstore with the cartridge whose ROM a missing file starts
// from (null: an empty cartridge).
int cstore_into(vexel_machine* m, const char* path, int32_t dest, int32_t src, int32_t len, bool also_working,
                const vexel_cart* fresh_from) {
    bool listed = false;
    for (const std::string& w : m->rom.written_files) listed = listed || w == path;
    if (!listed) {
        if (m->rom.written_files.size() >= size_t(rom_written_files_max)) return cstore_list_full;
        m->rom.written_files.emplace_back(path);
    }
    m->rom.last_external = path;
    m->hold_frames = rom_hold_frames;

    cart_ptr target;
    {
        fenn_file f;
        if (fenn_file_open(f, path)) {
            vexel_cart* read = nullptr;
            if (cart_read_file(&m->vdisk, path, &read) == cart_ok) target.reset(read);
        }
    }
    // Something unreadable (damaged), or of a newer version (written back,
    // it would hold only what this version understands of it), is kept in
    // the backup folder before it is replaced; without that copy nothing is
    // written.
    const bool newer = target && target->file_version > vexel_cart_newest_version;
    std::string backup_reason;
    if ((!target || newer) && access(path, F_OK) == 0 &&
        vexel_save_backup(m, path, true, &backup_reason) != 0) {
        vexel_report_once(m, m->rom.cstore_reported, "cstore", backup_reason);
        return cstore_write_failed;
    }
    if (!target) {
        target.reset(vexel_cart_create());
        if (fresh_from)
            for (int a = 0; a < vexel_rom_size; ++a)
                vexel_cart_poke(target.get(), uint32_t(a), vexel_cart_peek(fresh_from, uint32_t(a)));
    }
    const uint32_t d = uint32_t(dest), s = uint32_t(src), n = uint32_t(len);
    // What a program stores into its own cartridge comes back from the
    // stored-data file whenever the cartridge loads: it is no unsaved edit.
    const bool was_saved = also_working && m->working_cart && !vexel_unsaved_changes(m);
    if (n <= uint32_t(rom_copy_max)) {
        for (uint32_t i = 0; i < n; ++i) {
            const uint64_t from = uint64_t(s) + i, to = uint64_t(d) + i;
            const int b = from < vexel_mem_size ? vexel_peek(m, m->cart, int32_t(from)) : 0;
            if (to >= uint64_t(vexel_rom_size)) continue;
            vexel_cart_poke(target.get(), uint32_t(to), b);
            if (also_working && m->working_cart) vexel_cart_poke(m->working_cart, uint32_t(to), b);
        }
    }
    const std::string reason = cart_write_file(target.get(), m->art, path);
    if (was_saved && reason.empty()) vexel_mark_cart_saved(m);
    vexel_report_once(m, m->rom.cstore_reported, "cstore", reason);
    return reason.empty() ? cstore_ok : cstore_write_failed;
}

int32_t cost_of(uint32_t len, int32_t per_byte) {
    const uint32_t n = len < uint32_t(rom_cost_bytes_max) ? len : uint32_t(rom_cost_bytes_max);
    return int32_t(n) * per_byte;
}

}  // namespace

int rom_cstore(vexel_machine* m, const char* path, int32_t dest, int32_t src, int32_t len, bool also_working) {
    // A cartridge's own stored-data file is laid over its whole ROM when it
    // loads, so a new one starts as that cartridge's ROM: storing a few bytes
    // must not blank the rest.
    return cstore_into(m, path, dest, src, len, also_working, also_working ? m->working_cart : nullptr);
}

int32_t vexel_reload_call(vexel_machine* m, int argc, int32_t dest, int32_t src, int32_t len, const char* name) {
    const rom_copy c(argc, dest, src, len);
    const uint32_t d = c.d, s = c.s, n = c.n;
    vexel_cpu_spend(m, argc >= 3 ? cost_of(n, rom_reload_cost) : rom_reload_cost_all);
    if (argc != 4 || !name) {
        vexel_reload(m, int32_t(d), int32_t(s), int32_t(n));
        return int32_t(n);
    }
    const std::string path = rom_store_path(m, name);
    if (path.empty()) {
        const std::string why = rom_name_refusal(name);
        vexel_report_once(m, m->rom.reload_reported, "reload", why.empty() ? "file name too long" : why);
        return 0;
    }
    if (n > uint32_t(rom_copy_max)) return 0;  // never a copy of billions of bytes
    if (const std::string why = store_refusal(path); !why.empty()) {
        vexel_report_once(m, m->rom.reload_reported, "reload", why);
        return 0;
    }
    const char* plain = store_name(name);
    if (cart_embedded_hash(&m->vdisk, plain)) {
        fenn_file f;
        if (!fenn_file_open(f, path.c_str())) {
            // Read from the virtual disk only: a real file of that name in
            // the working folder is not the program's to read.
            fenn_debug("sandboxed_cstore file not found: %s\n", path.c_str());
            fenn_debug("  --> using internal file: %s\n", plain);
            fenn_debug("  reload()ing %d bytes from: %s\n", int(n), plain);
            vexel_cart* cart = embedded_cart(m, plain);
            reload_from(m, plain, cart, int32_t(d), int32_t(s), int32_t(n));
            return cart ? int32_t(n) : 0;
        }
    }
    return rom_reload(m, path.c_str(), int32_t(d), int32_t(s), int32_t(n)) == 0 ? int32_t(n) : 0;
}

int32_t vexel_cstore_call(vexel_machine* m, int argc, int32_t dest, int32_t src, int32_t len, const char* name) {
    const rom_copy c(argc, dest, src, len);
    const uint32_t d = c.d, s = c.s, n = c.n;
    vexel_cpu_spend(m, argc >= 3 ? cost_of(n, rom_cstore_cost) : rom_cstore_cost_all);
    if (n > uint32_t(rom_copy_max)) return 0;
    int status;
    if (argc < 4 || !name) {
        if (!m->working_cart) return 0;
        const std::string path = cart_stored_data_path(m->file.hash);
        if (const std::string why = store_refusal(path); !why.empty()) {
            vexel_report_once(m, m->rom.cstore_reported, "cstore", why);
            return 0;
        }
        fenn_debug("qz_cstore: storing %d bytes as: %s\n", int(n), path.c_str());
        status = rom_cstore(m, path.c_str(), int32_t(d), int32_t(s), int32_t(n), true);
    } else {
        const std::string path = rom_store_path(m, name);
        if (path.empty()) {
            const std::string why = rom_name_refusal(name);
            vexel_report_once(m, m->rom.cstore_reported, "cstore", why.empty() ? "file name too long" : why);
            return 0;
        }
        if (const std::string why = store_refusal(path); !why.empty()) {
            vexel_report_once(m, m->rom.cstore_reported, "cstore", why);
            return 0;
        }
        fenn_debug("qz_cstore: storing %d bytes as: %s\n", int(n), path.c_str());
        cart_ptr own;
        if (cart_embedded_hash(&m->vdisk, store_name(name))) own.reset(embedded_cart(m, store_name(name)));
        status = cstore_into(m, path.c_str(), int32_t(d), int32_t(s), int32_t(n), false, own.get());
    }
    return status == cstore_ok ? int32_t(n) : 0;
}

void rom_reset_for_run(vexel_machine* m, bool program_restart) {
    m->rom.last_external.clear();
    if (!program_restart) m->rom.written_files.clear();
    m->rom.cstore_reported.clear();
    m->rom.reload_reported.clear();
}

const char* rom_last_external_file(const vexel_machine* m) { return m->rom.last_external.c_str(); }

int rom_written_file_count(const vexel_machine* m) { return int(m->rom.written_files.size()); }
