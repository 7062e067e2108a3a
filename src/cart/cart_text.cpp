#include "cart/cart_text.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

#include "cart/cart_glyphs.h"
#include "framework/fenn_file.h"
#include "framework/fenn_write.h"

namespace {

constexpr const char* header = "vexel cartridge";
constexpr size_t header_name_max = 255;  // longer "__name__" lines are no section headers

enum Section { none, lua, gfx, gff, map, sfx, music, label, unknown, section_count };

// Splits the buffer into lines ending at "\n", "\r" or "\r\n". A last line
// without a terminator is kept (a hand-written file may lack the final
// newline). Lines longer than `max` come in pieces.
class LineReader {
public:
    LineReader(const char* data, size_t len) : p_(data), end_(data + len) {}

    bool next(std::string_view& line, size_t max = size_t(vexel_cart_line_max)) {
        if (p_ >= end_) return false;
        const char* start = p_;
        while (p_ < end_ && *p_ != '\n' && *p_ != '\r' && size_t(p_ - start) < max) ++p_;
        line = std::string_view(start, size_t(p_ - start));
        if (p_ < end_ && *p_ == '\r') {
            ++p_;
            if (p_ < end_ && *p_ == '\n') ++p_;
        } else if (p_ < end_ && *p_ == '\n') {
            ++p_;
        }
        return true;
    }

private:
    const char* p_;
    const char* end_;
};

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// A section header this version does not know: "__" NAME "__" alone on its
// line, NAME made of letters, digits and "_:.-" ("__meta:title__"). Such a
// section is kept, never read as rows of the section before it.
bool is_unknown_header(std::string_view line) {
    if (line.size() < 5 || line.size() > header_name_max + 4) return false;
    if (!starts_with(line, "__") || line.substr(line.size() - 2) != "__") return false;
    for (char c : line.substr(2, line.size() - 4)) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == ':' || c == '.' || c == '-';
        if (!ok) return false;
    }
    return true;
}

int digit_at(std::string_view line, size_t i) { return i < line.size() ? cart_hex_digit(uint8_t(line[i])) : 0; }

// sscanf needs a terminated string; lines are at most vexel_cart_line_max long.
std::string terminated(std::string_view s, size_t from) {
    return from < s.size() ? std::string(s.substr(from)) : std::string();
}

// The number after "version", clamped to 0..INT32_MAX; 0 when the line is
// no version line.
int read_version(std::string_view line) {
    constexpr std::string_view word = "version";
    if (!starts_with(line, word)) return 0;
    const std::string rest = terminated(line, word.size());
    char* end = nullptr;
    const long long v = std::strtoll(rest.c_str(), &end, 10);
    if (end == rest.c_str()) return 0;
    return int(std::clamp<long long>(v, 0, INT32_MAX));
}

void read_sfx_line(vexel_sfx_record& r, std::string_view line) {
    std::string head = terminated(line, 0);
    unsigned h[4];
    int n = std::sscanf(head.c_str(), "%02x%02x%02x%02x", &h[0], &h[1], &h[2], &h[3]);
    int32_t* fields[4] = {&r.editor_byte, &r.speed, &r.loop_start, &r.loop_end};
    for (int i = 0; i < n && i < 4; ++i) *fields[i] = int32_t(h[i] & 0xff);
    for (int i = 0; i < vexel_sfx_notes; ++i) {
        size_t at = 8 + size_t(i) * 5;
        if (at >= line.size()) break;
        std::string note = std::string(line.substr(at, 5));
        unsigned v[4];
        int got = std::sscanf(note.c_str(), "%02x%1x%1x%1x", &v[0], &v[1], &v[2], &v[3]);
        if (got < 1) break;
        vexel_sfx_note& nt = r.notes[i];
        if (got >= 1) nt.pitch = int32_t(v[0]);
        if (got >= 2) nt.waveform = int32_t(v[1]);
        if (got >= 3) nt.volume = int32_t(v[2]);
        if (got >= 4) nt.effect = int32_t(v[3]);
        if ((nt.effect & 8) || (nt.waveform & 8)) nt.instrument = 128;
        nt.pitch &= 0x3f;
        nt.waveform &= 7;
        nt.volume &= 7;
        nt.effect &= 7;
    }
}

void read_music_line(vexel_cart* cart, int p, std::string_view line, int version) {
    size_t from = 0;
    if (version >= 3) {
        std::string head = terminated(line, 0);
        unsigned f;
        if (std::sscanf(head.c_str(), "%02x ", &f) == 1) cart->music_flags[p] = int32_t(f & 0xff);
        from = 3;
    }
    std::string rest = terminated(line, from);
    unsigned c[4];
    int n = std::sscanf(rest.c_str(), "%02x%02x%02x%02x", &c[0], &c[1], &c[2], &c[3]);
    for (int i = 0; i < n && i < 4; ++i) {
        int32_t v = int32_t(c[i] & 0xff);
        if (version <= 3 && v == 0) v = vexel_music_silent_base + i;
        cart->music[p][i] = v;
    }
}

}  // namespace

int cart_hex_digit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

vexel_cart* vexel_cart_from_text(const char* data, size_t len) {
    vexel_cart* cart = nullptr;
    vexel_cart_read_text(data, len, &cart);
    return cart;
}

int vexel_cart_read_text(const char* data, size_t len, vexel_cart** out) {
    *out = nullptr;
    if (!data) return cart_not_a_cart;
    LineReader reader(data, len);
    std::string_view line;
    if (!reader.next(line) || !starts_with(line, header)) return cart_not_a_cart;
    int version = 0;
    if (reader.next(line)) version = read_version(line);
    vexel_cart* cart = vexel_cart_create();
    cart->version = cart->file_version = version;
    const bool utf8 = version >= vexel_cart_utf8_version;
    // A fresh record's music starts silent; a text file's flags start clear.
    size_t code_len = 0;
    int unknown_chars = 0;
    std::string converted;
    int rows[section_count] = {};
    Section section = none;
    static const struct { const char* marker; Section s; } markers[] = {
        {"__lua__", lua}, {"__gfx__", gfx}, {"__gff__", gff}, {"__map__", map},
        {"__sfx__", sfx}, {"__music__", music}, {"__label__", label},
    };
    // Program lines and kept sections are read whole: a program line in
    // UTF-8 may be longer in bytes than the program may be, and a piece
    // boundary would split a character or a kept line.
    auto piece_max = [&] {
        return section == lua || section == unknown ? std::string_view::npos : size_t(vexel_cart_line_max);
    };
    while (reader.next(line, piece_max())) {
        bool is_marker = false;
        for (const auto& m : markers) {
            if (starts_with(line, m.marker)) {
                section = m.s;
                is_marker = true;
                break;
            }
        }
        if (!is_marker && is_unknown_header(line)) {
            section = unknown;
            cart->extra_sections.emplace_back(line);
            cart->extra_sections.back() += '\n';
            continue;
        }
        if (is_marker) continue;
        int& row = rows[section];
        switch (section) {
        case none:
        case section_count: break;
        case unknown:
            cart->extra_sections.back().append(line);
            cart->extra_sections.back() += '\n';
            break;
        case lua: {
            std::string_view text = line;
            int missing = 0;
            if (utf8) {
                converted.clear();
                cart_utf8_to_machine(line.data(), line.size(), &converted, &missing);
                text = converted;
            }
            // A line that does not fit is left out whole rather than cut.
            if (code_len + text.size() <= size_t(vexel_code_max)) {
                std::memcpy(cart->code + code_len, text.data(), text.size());
                // The program is NUL-terminated text: a zero byte in it
                // would end the program there (mid-string, mid-line). It is
                // an unknown character like any other.
                for (size_t i = code_len; i < code_len + text.size(); ++i)
                    if (cart->code[i] == 0) {
                        cart->code[i] = cart_unknown_char;
                        ++missing;
                    }
                code_len += text.size();
                cart->code[code_len++] = '\n';
                cart->code[code_len] = 0;
                unknown_chars += missing;
            }
            break;
        }
        case gfx:
            if (row < 128) {
                uint8_t* dst = cart->gfx->pix.data() + row * 128;
                for (int x = 0; x < 128; ++x) dst[x] = uint8_t(digit_at(line, size_t(x)));
                ++row;
            }
            break;
        case gff:
            if (row < 2) {
                for (int i = 0; i < 128; ++i) {
                    int v = version >= 3 ? digit_at(line, size_t(i) * 2) * 16 + digit_at(line, size_t(i) * 2 + 1)
                                         : digit_at(line, size_t(i));
                    cart->flags[row * 128 + i] = v;
                }
                ++row;
            }
            break;
        case map:
            if (row < 64) {
                uint8_t* dst = cart->map->pix.data() + row * 128;
                for (int x = 0; x < 128; ++x)
                    dst[x] = uint8_t(digit_at(line, size_t(x) * 2) * 16 + digit_at(line, size_t(x) * 2 + 1));
                ++row;
            }
            break;
        case sfx:
            if (row < vexel_sfx_count) read_sfx_line(cart->sfx[row++], line);
            break;
        case music:
            if (row < vexel_music_count) read_music_line(cart, row++, line, version);
            break;
        case label:
            if (row < 128) {
                if (!cart->label) cart->label = fenn_create_bitmap(128, 128, 8);
                uint8_t* dst = cart->label->pix.data() + row * 128;
                for (int x = 0; x < 128; ++x) dst[x] = uint8_t(digit_at(line, size_t(x)));
                ++row;
            }
            break;
        }
    }
    if (code_len > 0) cart->code[--code_len] = 0;
    cart->unknown_chars = unknown_chars;
    *out = cart;
    return cart_ok;
}

std::string vexel_cart_to_text(const vexel_cart* cart) {
    std::string out;
    out.reserve(size_t(std::strlen(cart->code)) + 40000);
    char buf[64];
    auto clamp = [](int32_t v, int lo, int hi) { return int(std::clamp<int32_t>(v, lo, hi)); };
    out += header;
    out += "\n";
    std::snprintf(buf, sizeof buf, "version %d\n", vexel_cart_newest_version);
    out += buf;
    out += "__lua__\n";
    cart_machine_to_utf8(cart->code, std::strlen(cart->code), &out);
    out += "\n";
    auto write_bitmap = [&](const fenn_bitmap* b) {
        static const char hex[] = "0123456789abcdef";
        for (int y = 0; y < 128; ++y) {
            for (int x = 0; x < 128; ++x) out += hex[std::min<int>(b->pix[size_t(y) * 128 + size_t(x)], 15)];
            out += "\n";
        }
    };
    out += "__gfx__\n";
    write_bitmap(cart->gfx);
    if (cart->label && cart->label->w == 128 && cart->label->h == 128 &&
        std::any_of(cart->label->pix.begin(), cart->label->pix.end(), [](uint8_t p) { return p != 0; })) {
        out += "__label__\n";
        write_bitmap(cart->label);
    }
    out += "\n";
    out += "__gff__\n";
    for (int row = 0; row < 2; ++row) {
        for (int i = 0; i < 128; ++i) {
            std::snprintf(buf, sizeof buf, "%02x", unsigned(cart->flags[row * 128 + i] & 0xff));
            out += buf;
        }
        out += "\n";
    }
    out += "__map__\n";
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 128; ++x) {
            std::snprintf(buf, sizeof buf, "%02x", cart->map->pix[size_t(y) * 128 + size_t(x)]);
            out += buf;
        }
        out += "\n";
    }
    out += "__sfx__\n";
    int last = -1;
    for (int i = 0; i < vexel_sfx_count; ++i) {
        const vexel_sfx_record& r = cart->sfx[i];
        bool any = r.editor_byte || r.speed || r.loop_start || r.loop_end;
        for (const vexel_sfx_note& n : r.notes) any = any || n.pitch || n.waveform || n.volume || n.effect || n.instrument;
        if (any) last = i;
    }
    for (int i = 0; i <= last; ++i) {
        const vexel_sfx_record& r = cart->sfx[i];
        std::snprintf(buf, sizeof buf, "%02x%02x%02x%02x", clamp(r.editor_byte, 0, 255), clamp(r.speed, 0, 255),
                      clamp(r.loop_start, 0, 255), clamp(r.loop_end, 0, 255));
        out += buf;
        for (const vexel_sfx_note& n : r.notes) {
            std::snprintf(buf, sizeof buf, "%02x%x%x%x", clamp(n.pitch, 0, 255),
                          clamp(n.waveform, 0, 7) + (n.instrument ? 8 : 0), clamp(n.volume, 0, 7),
                          clamp(n.effect, 0, 7));
            out += buf;
        }
        out += "\n";
    }
    out += "__music__\n";
    for (int p = 0; p < vexel_music_count; ++p) {
        std::snprintf(buf, sizeof buf, "%02x %02x%02x%02x%02x\n", unsigned(cart->music_flags[p] & 0xff),
                      unsigned(cart->music[p][0] & 0xff), unsigned(cart->music[p][1] & 0xff),
                      unsigned(cart->music[p][2] & 0xff), unsigned(cart->music[p][3] & 0xff));
        out += buf;
    }
    out += "\n";
    for (const std::string& section : cart->extra_sections) out += section;
    return out;
}

vexel_cart* vexel_cart_load_text_file(const char* path) {
    std::string data;
    if (!fenn_read_regular_file(path, vexel_cart_text_file_max, &data)) return nullptr;
    return vexel_cart_from_text(data.data(), data.size());
}

int vexel_cart_save_text_file(const vexel_cart* cart, const char* path) {
    const std::string text = vexel_cart_to_text(cart);
    return fenn_write_file(path, text.data(), text.size()).ok() ? 0 : 1;
}
