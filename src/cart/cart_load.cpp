#include "cart/cart_load.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

#include "cart/cart_hash.h"
#include "cart/cart_rom.h"
#include "cart/cart_text.h"
#include "cart/code_tabs.h"
#include "cart/png_cart.h"
#include "framework/fenn_file.h"
#include "framework/fenn_log.h"
#include "framework/fenn_path.h"
#include "framework/fenn_write.h"

namespace {

constexpr int legacy_last_version_api = 4;     // versions 0-4 get the old fixes
constexpr int legacy_last_version_slides = 10;
constexpr int sfx_duration_per_speed = 32;

struct cart_deleter {
    void operator()(vexel_cart* c) const { vexel_cart_destroy(c); }
};
using cart_ptr = std::unique_ptr<vexel_cart, cart_deleter>;

bool read_stream(fenn_file& f, std::vector<uint8_t>* out) {
    const int64_t n = fenn_file_remaining(f);
    if (n < 0 || uint64_t(n) > cart_png_max_file) return false;
    out->resize(size_t(n));
    return fenn_file_read(f, out->data(), out->size()) == out->size();
}

bool contains(const char* s, const char* part) { return s && std::strstr(s, part) != nullptr; }

int sfx_duration(const vexel_cart* cart, int n) {
    int speed = cart->sfx[n].speed;
    return (speed < 1 ? 1 : speed) * sfx_duration_per_speed;
}

bool sfx_loops(const vexel_cart* cart, int n) { return cart->sfx[n].loop_end > cart->sfx[n].loop_start; }

void note(std::vector<std::string>* notes, const std::string& line) {
    if (notes) notes->push_back(line);
}

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

void legacy_swap_music_channels(vexel_cart* cart, std::vector<std::string>* notes) {
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
            note(notes, line);
            break;
        }
    }
}

void legacy_inject_api(vexel_cart* cart, std::vector<std::string>* notes) {
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
    note(notes, "legacy: 0.1.1 api injected");
}

void legacy_slides(vexel_cart* cart) {
    int later_features = 0;
    for (const vexel_sfx_record& s : cart->sfx) {
        if (s.editor_byte >= 2) ++later_features;
        if (s.loop_start >= 64) ++later_features;
        if (s.loop_end >= 64) ++later_features;
        for (const vexel_sfx_note& n : s.notes)
            if (n.instrument) ++later_features;
    }
    if (later_features) return;
    for (vexel_sfx_record& s : cart->sfx)
        for (vexel_sfx_note& n : s.notes)
            if (n.effect == 1 && n.volume == 0) n.effect = 0;
}

}  // namespace

std::string cart_with_qz_extension(const char* name) {
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

std::string cart_store_path(const char* name, const char* prefix) {
    return fenn_prefix_with_appdata_path("cstore/") + (prefix ? prefix : "") + (name ? name : "");
}

std::string cart_stored_data_path(const char* hash) {
    return cart_store_path((std::string(hash ? hash : "") + ".qz").c_str(), "__");
}

// ---------------------------------------------------------------- reading

int cart_read_bytes(const uint8_t* data, size_t size, vexel_cart** out) {
    *out = nullptr;
    int version = 0;
    const int st = png_cart_load_memory(data, size, true, out, &version);
    if (st != cart_unreadable) return st;  // a cartridge picture, or a picture that is not one
    return vexel_cart_read_text(reinterpret_cast<const char*>(data), size, out);
}

int cart_read_file(const vexel_vdisk* disk, const char* path, vexel_cart** out) {
    *out = nullptr;
    fenn_file f;
    if (!vdisk_open_read(disk, f, path)) return cart_not_found;
    std::vector<uint8_t> bytes;
    if (!read_stream(f, &bytes)) return cart_too_large;
    return cart_read_bytes(bytes.data(), bytes.size(), out);
}

std::string cart_load_failure_text(int status, const char* path) {
    // A name that is there but is no file (a folder, a FIFO) is not "not found".
    struct stat there;
    if (status == cart_not_found && path && ::stat(path, &there) == 0 && !S_ISREG(there.st_mode))
        return S_ISDIR(there.st_mode) ? "a folder, not a cartridge" : "not a regular file";
    if (status != cart_too_large || !path) return vexel_cart_status_text(status);
    constexpr uint64_t mib = uint64_t(1) << 20;
    const std::string with_ext = cart_with_qz_extension(path);
    for (const std::string& name : {std::string(path), with_ext, with_ext + ".png", std::string(path) + ".png"}) {
        struct stat st;
        if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) <= vexel_cart_file_max)
            continue;
        // Rounded up, so that a file just over the limit does not read as the limit.
        return "too large (" + std::to_string((uint64_t(st.st_size) + mib - 1) / mib) + " MB, the limit is " +
               std::to_string(vexel_cart_file_max / mib) + " MB)";
    }
    return vexel_cart_status_text(status);
}

void cart_apply_legacy_changes(vexel_cart* cart, std::vector<std::string>* notes) {
    if (cart->version <= legacy_last_version_api) {
        legacy_swap_music_channels(cart, notes);
        for (vexel_sfx_record& s : cart->sfx)
            for (vexel_sfx_note& n : s.notes)
                if (n.waveform == 6 && (n.volume == 6 || n.volume == 7)) n.volume = 5;
        legacy_inject_api(cart, notes);
    }
    if (cart->version <= legacy_last_version_slides) legacy_slides(cart);
    cart->version = vexel_cart_newest_version;
}

std::vector<std::string> cart_load_warnings(const vexel_cart* cart) {
    std::vector<std::string> warnings;
    char line[96];
    if (cart->file_version > vexel_cart_newest_version) {
        std::snprintf(line, sizeof line, "cartridge version %d: newer than this vexel; some things may not work",
                      int(cart->file_version));
        warnings.emplace_back(line);
    }
    if (cart->unknown_chars > 0) {
        std::snprintf(line, sizeof line, "%d unknown character%s in the code became ?", int(cart->unknown_chars),
                      cart->unknown_chars == 1 ? "" : "s");
        warnings.emplace_back(line);
    }
    if (cart->dropped_lines > 0) {
        std::snprintf(line, sizeof line, "program over %d chars: %d line%s not read", vexel_code_held_max,
                      int(cart->dropped_lines), cart->dropped_lines == 1 ? "" : "s");
        warnings.emplace_back(line);
    }
    return warnings;
}

// ---------------------------------------------------------------- writing

bool cart_encode_for(const vexel_cart* cart, const cart_art* art, const char* path, std::vector<uint8_t>* bytes) {
    if (contains(path, ".png")) return vexel_cart_png_encode(cart, art, bytes) == cart_ok;
    const std::string text = vexel_cart_to_text(cart);
    bytes->assign(text.begin(), text.end());
    return true;
}

std::string cart_write_file(const vexel_cart* cart, const cart_art* art, const char* path) {
    std::vector<uint8_t> bytes;
    if (!cart_encode_for(cart, art, path, &bytes)) return "could not make the picture";
    return fenn_write_file(path, bytes.data(), bytes.size()).reason;
}

namespace {

// The backups of `base` in `folder` as (number, path): the name itself is
// number 0, STEM-N.EXT number N. Unreadable folders hold none.
std::vector<std::pair<long, std::string>> backups_of(const std::string& folder, const std::string& base) {
    const size_t dot = base.find('.');
    const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : base.substr(dot);
    std::vector<std::pair<long, std::string>> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name == base) {
            found.emplace_back(0, folder + name);
            continue;
        }
        if (name.size() <= stem.size() + 1 + ext.size() || name.compare(0, stem.size(), stem) != 0 ||
            name[stem.size()] != '-' || name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
            continue;
        const std::string digits = name.substr(stem.size() + 1, name.size() - ext.size() - stem.size() - 1);
        if (digits.empty() || digits.size() > 6 || digits[0] == '0' ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        found.emplace_back(std::stol(digits), folder + name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

std::string cart_backup_target(const std::string& folder, const std::string& base,
                               const std::vector<uint8_t>& bytes) {
    fenn_mkdir(folder.c_str());
    const std::vector<std::pair<long, std::string>> found = backups_of(folder, base);
    if (found.empty()) return folder + base;
    const auto& [newest, newest_path] = found.back();
    fenn_file f;
    std::vector<uint8_t> old;
    if (fenn_file_open(f, newest_path.c_str()) && read_stream(f, &old) && old == bytes) return newest_path;
    if (newest >= backup_numbered_max) return std::string();
    const size_t dot = base.find('.');
    const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : base.substr(dot);
    return folder + stem + "-" + std::to_string(newest + 1) + ext;
}

void cart_backup_prune(const std::string& folder, const std::string& base, int keep) {
    const std::vector<std::pair<long, std::string>> found = backups_of(folder, base);
    for (size_t i = 0; i + size_t(std::max(keep, 1)) < found.size(); ++i) std::remove(found[i].second.c_str());
}

// ------------------------------------------------------------- embedded

void cart_mount_embedded(vexel_vdisk* disk, const vexel_cart* cart, const char* name) {
    if (!disk || !cart || !name || disk->embedded.size() >= size_t(embedded_cart_max)) return;
    if (std::strlen(name) > size_t(embedded_name_max)) return;
    vdisk_file* file = vdisk_open(disk, name, "w");
    if (!file) return;
    char hash[cart_hash_size + 1];
    cart_hash(cart, hash);
    disk->embedded.push_back({name, hash});
    fenn_debug("@ mount_embedded_cart: %s %s\n", name, hash);
    const std::string text = vexel_cart_to_text(cart);
    vdisk_write(file, text.data(), text.size());
}

const char* cart_embedded_hash(const vexel_vdisk* disk, const char* name) {
    if (!disk || !name) return nullptr;
    for (const vdisk_embedded& e : disk->embedded)
        if (e.name == name) return e.hash.c_str();
    return nullptr;
}

// A record from a pod item holding a 32 KiB block, brought to the shape the
// working cartridge takes when prepared, so that its hash (which names its
// stored-data file) is the same whether it is loaded or mounted.
vexel_cart* cart_from_pod_item(const fenn_pod_item* item) {
    if (!item || item->type != fenn_pod_type_data) return nullptr;
    cart_ptr cart(vexel_cart_create());
    if (png_cart_load_32k(cart.get(), item->bytes.data(), item->bytes.size()) != cart_ok) return nullptr;
    cart->version = vexel_cart_newest_version;
    vexel_cart_sync_shared_half(cart.get());
    return cart.release();
}
