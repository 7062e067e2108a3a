#include "framework/fenn_settings.h"

#include <algorithm>
#include <cstring>

namespace {

int* ints_of(void* record, const fenn_setting& s) {
    return reinterpret_cast<int*>(static_cast<char*>(record) + s.offset);
}
const int* ints_of(const void* record, const fenn_setting& s) {
    return reinterpret_cast<const int*>(static_cast<const char*>(record) + s.offset);
}
char* text_of(void* record, const fenn_setting& s) { return static_cast<char*>(record) + s.offset; }
const char* text_of(const void* record, const fenn_setting& s) { return static_cast<const char*>(record) + s.offset; }

bool starts_with(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// The numbers after the key, as many as scan; the rest keep their values.
void read_ints(const char* line, const fenn_setting& s, int* values) {
    const char* p = line + std::strlen(s.name);
    for (int i = 0; i < s.count; ++i) {
        int v, used = 0;
        if (std::sscanf(p, " %d%n", &v, &used) != 1) break;
        values[i] = v;
        p += used;
    }
}

void keep_folder(char* text) {
    char* slash = nullptr;
    for (char* p = text; *p; ++p)
        if (*p == '/' || *p == '\\') slash = p;
    if (slash) slash[1] = 0;
}

}  // namespace

void fenn_settings_text_value(const char* line, const char* key, char* out, int out_size) {
    if (out_size < 1) return;
    const char* p = line + std::strlen(key);
    while (*p == ' ' || *p == '\t') ++p;
    size_t n = std::strlen(p);
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\t' || p[n - 1] == '\r' || p[n - 1] == '\n')) --n;
    n = std::min(n, size_t(out_size - 1));
    std::memcpy(out, p, n);
    out[n] = 0;
}

void fenn_settings_default(const fenn_settings_group& g) {
    for (size_t i = 0; i < g.count; ++i) {
        const fenn_setting& s = g.table[i];
        if (s.flags & fenn_setting_old_name) continue;
        if (s.type == fenn_setting_ints) std::fill_n(ints_of(g.record, s), s.count, s.def);
        else text_of(g.record, s)[0] = 0;
    }
}

const fenn_setting* fenn_settings_read_line(const fenn_settings_group& g, const char* line) {
    for (size_t i = 0; i < g.count; ++i) {
        const fenn_setting& s = g.table[i];
        if (!starts_with(line, s.name)) continue;
        if (s.type == fenn_setting_ints) {
            read_ints(line, s, ints_of(g.record, s));
        } else {
            char* text = text_of(g.record, s);
            fenn_settings_text_value(line, s.name, text, s.count);
            if (s.type == fenn_setting_folder) keep_folder(text);
        }
        return &s;
    }
    return nullptr;
}

void fenn_settings_clamp(const fenn_settings_group& g) {
    for (size_t i = 0; i < g.count; ++i) {
        const fenn_setting& s = g.table[i];
        if (s.type != fenn_setting_ints || (s.flags & fenn_setting_old_name)) continue;
        int* v = ints_of(g.record, s);
        for (int k = 0; k < s.count; ++k) {
            if (v[k] >= s.min && v[k] <= s.max) continue;
            v[k] = (s.flags & fenn_setting_default_outside) ? s.def : std::clamp(v[k], s.min, s.max);
        }
    }
}

void fenn_settings_write(const fenn_settings_group& g, FILE* f) {
    for (size_t i = 0; i < g.count; ++i) {
        const fenn_setting& s = g.table[i];
        if (s.flags & fenn_setting_old_name) continue;
        const void* from = (s.flags & fenn_setting_as_read) && g.as_read ? g.as_read : g.record;
        if (s.section) std::fprintf(f, "\n// :: %s\n\n", s.section);
        if (s.type == fenn_setting_ints) {
            std::fputs(s.name, f);
            const int* v = ints_of(from, s);
            for (int k = 0; k < s.count; ++k) std::fprintf(f, " %d", v[k]);
            if (s.comment) std::fprintf(f, " // %s", s.comment);
            std::fputc('\n', f);
        } else {
            if (s.comment) std::fprintf(f, "// %s\n", s.comment);
            std::fprintf(f, "%s %s\n", s.name, text_of(from, s));
        }
    }
}
