#include "machine/cdata.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "machine/disk.h"
#include "machine/host.h"
#include "framework/fenn_file.h"
#include "framework/fenn_path.h"
#include "framework/fenn_write.h"
#include "machine/error.h"

namespace {

constexpr int values_per_line = 8;
constexpr int digits_per_value = 8;

bool program_running(const vexel_machine* m) { return m->running && m->program_active; }

int hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool id_char_ok(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// The id as a message may show it: at most cdata_id_max characters, control
// and non-ASCII bytes as '?'.
std::string printable_id(const char* id) {
    std::string out;
    for (const char* p = id; p && *p && out.size() < size_t(cdata_id_max); ++p)
        out += (*p >= 32 && *p < 127) ? *p : '?';
    if (id && std::strlen(id) > size_t(cdata_id_max)) out += "...";
    return out;
}

int value_index(int32_t index) { return index >> 16; }

std::string cdata_folder(const vexel_machine* m) {
    const char* path = vexel_host_cdata_path(m);
    return path[0] ? fenn_with_slash(path) : fenn_prefix_with_appdata_path("cdata/");
}

// Why the file for `id` may not be used, or "" when it may: read and written
// only inside the save-data folder, and only as a regular file.
std::string refusal(const vexel_machine* m, const char* id) {
    const std::string name = std::string(id) + ".qzd.txt";
    switch (fenn_path_confine(cdata_folder(m), name)) {
    case fenn_confine_outside: return "outside the cdata folder";
    case fenn_confine_folder: return "name is a folder";
    case fenn_confine_inside: break;
    }
    struct stat st;
    if (::stat(cdata_file_path(m, id).c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return "not a regular file";
    return {};
}

}  // namespace

size_t cdata_parse(const uint8_t* data, size_t size, int32_t values[cdata_values]) {
    std::memset(values, 0, sizeof(int32_t) * cdata_values);
    if (!data) return 0;
    const size_t n = size < cdata_read_max ? size : cdata_read_max;
    size_t digits = 0;
    for (size_t i = 0; i < n && digits < cdata_digits_max; ++i) {
        const int v = hex_value(data[i]);
        if (v < 0) continue;
        uint32_t& slot = reinterpret_cast<uint32_t&>(values[digits / digits_per_value]);
        slot = slot << 4 | uint32_t(v);
        ++digits;
    }
    return digits;
}

std::string cdata_format(const int32_t values[cdata_values]) {
    std::string out;
    out.reserve(cdata_file_size);
    char word[digits_per_value + 1];
    for (int i = 0; i < cdata_values; ++i) {
        std::snprintf(word, sizeof word, "%08x", uint32_t(values[i]));
        out += word;
        if (i % values_per_line == values_per_line - 1) out += '\n';
    }
    return out;
}

std::string cdata_file_path(const vexel_machine* m, const char* id) { return cdata_folder(m) + id + ".qzd.txt"; }

int cdata_load(vexel_machine* m, const char* id) {
    vexel_cdata_state& cdata = m->cdata;
    if (!program_running(m)) return cdata_not_loaded;
    if (cdata.id[0]) {
        vexel_runtime_error(m, "cartdata() can only be called once");
        return cdata_refused;
    }
    const size_t len = id ? std::strlen(id) : 0;
    bool good = len > 0 && len <= size_t(cdata_id_max);
    for (size_t i = 0; good && i < len; ++i) good = id_char_ok(id[i]);
    if (!good) {
        // Letters, digits, '_' and '-' only: nothing that could name a path.
        const std::string message = len > size_t(cdata_id_max) ? "cartdata: id too long " + printable_id(id)
                                    : len == 0                   ? std::string("cartdata: empty id")
                                                                 : "cartdata: bad id " + printable_id(id);
        vexel_runtime_error(m, message.c_str());
        return cdata_refused;
    }
    const bool claimed_before = std::find(cdata.claimed.begin(), cdata.claimed.end(), id) != cdata.claimed.end();
    if (!claimed_before && cdata.claimed.size() >= size_t(cdata_ids_per_start)) {
        vexel_report_once(m, cdata.reported, "cartdata", "too many save ids since the program was started");
        return cdata_not_loaded;
    }
    if (!claimed_before) cdata.claimed.emplace_back(id);
    std::memcpy(cdata.id, id, len + 1);
    std::memset(m->cart_data, 0, sizeof m->cart_data);
    if (const std::string why = refusal(m, id); !why.empty()) {
        vexel_report_once(m, cdata.reported, "cartdata", why);
        return cdata_not_loaded;
    }
    fenn_file f;
    if (!fenn_file_open(f, cdata_file_path(m, id).c_str())) return cdata_not_loaded;
    uint8_t buf[cdata_read_max];
    const size_t got = fenn_file_read(f, buf, sizeof buf);
    cdata_parse(buf, got, m->cart_data);
    return cdata_loaded;
}

int cdata_save(vexel_machine* m) {
    vexel_cdata_state& cdata = m->cdata;
    m->cart_data_dirty = 0;
    if (!program_running(m) || !cdata.id[0]) return 0;
    std::string why = refusal(m, cdata.id);
    if (why.empty()) {
        const std::string text = cdata_format(m->cart_data);
        why = fenn_write_file(cdata_file_path(m, cdata.id).c_str(), text.data(), text.size()).reason;
    }
    vexel_report_once(m, cdata.reported, "cartdata", why);
    return why.empty() ? 0 : 1;
}

void cdata_flush_due(vexel_machine* m, int64_t now_ms) {
    vexel_cdata_state& cdata = m->cdata;
    if (!m->cart_data_dirty || now_ms - cdata.last_write_ms <= cdata_write_interval_ms) return;
    cdata.last_write_ms = now_ms;
    cdata_save(m);
}

void cdata_reset_for_run(vexel_machine* m, bool program_restart) {
    if (!program_restart) m->cdata.claimed.clear();
    m->cdata.reported.clear();
    m->cdata.id[0] = 0;
    m->cdata.browser_cart = 0;
}

int vexel_cartdata(vexel_machine* m, const char* id) { return cdata_load(m, id) == cdata_loaded ? 1 : 0; }

int32_t vexel_dget(vexel_machine* m, int32_t index, bool* needs_yield) {
    const vexel_cdata_state& cdata = m->cdata;
    if (needs_yield) *needs_yield = false;
    if (!cdata.id[0] && !(cdata.browser_cart && m->program_active)) {
        vexel_runtime_error(m, "dget called before cartdata()");
        if (needs_yield) *needs_yield = true;
        return 0;
    }
    const int i = value_index(index);
    return i >= 0 && i < cdata_values ? m->cart_data[i] : 0;
}

void vexel_dset(vexel_machine* m, int32_t index, int32_t value, bool* needs_yield) {
    const vexel_cdata_state& cdata = m->cdata;
    if (needs_yield) *needs_yield = false;
    if (!cdata.id[0] && !(cdata.browser_cart && m->program_active)) {
        vexel_runtime_error(m, "dset called before cartdata()");
        if (needs_yield) *needs_yield = true;
        return;
    }
    const int i = value_index(index);
    if (i < 0 || i >= cdata_values) return;
    m->cart_data[i] = value;
    m->cart_data_dirty = 1;
}
