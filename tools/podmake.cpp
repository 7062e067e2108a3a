// podmake: builds pod files from a readable manifest, and lists pods.
//
//   podmake MANIFEST OUTPUT.pod     build a pod
//   podmake --dump FILE.pod         list its items (nested pods indented)
//
// A manifest is a text file of one directive per line; '#' starts a comment,
// words are separated by spaces and a word may be "double quoted". Paths
// are relative to the manifest's folder. Items are numbered from 0 in the
// order the directives add them.
//
//   name NAME                    the pod's header name (default: manifest stem)
//   use-palette FILE             palette that later 8-bit pictures are matched to
//   palette FILE                 add a palette item (CPAL) from a palette text file
//   bitmap8 PNG [opts]           add an 8-bit bitmap; every pixel's colour must be
//                                exactly a palette colour (the lowest such index is
//                                used); fully transparent pixels become index 0
//   bitmap32 PNG [opts]          add a 32-bit bitmap (0xAARRGGBB pixels)
//   sheet8 PNG CWxCH [opts]      cut a picture into cells of CW x CH pixels, left to
//   sheet32 PNG CWxCH [opts]     right and top to bottom, one bitmap per cell
//       size=WxH                 keep only the top-left W x H of each cell
//       count=N                  take only the first N cells
//   blank8 WxH [count=N]         add N bitmaps of colour 0 (default 1)
//   pad N                        add 1x1 blank bitmaps until there are N items
//   at N                         check that the next item will be number N
//   data FILE [name=NAME]        add a data item (CFIL) with the file's bytes
//   text "TEXT" [name=NAME]      add a data item with the text's bytes
//   pod MANIFEST [name=NAME]     build a nested pod and add it as a data item
//   cart32k FILE.qz [name=NAME]  add a text cartridge as a data item in the
//                                32 KiB block form
//
// Options of items: lz4 stores the item compressed (cBMP, cFIL); attr=N sets
// the bitmap attribute word. Palette files hold lines "INDEX #rrggbb [note]";
// entries they do not list are a grey ramp (entry i is i, i, i).
//
// The output depends only on the inputs: the same manifest gives the same
// bytes on every run. The file is written under a temporary name and
// renamed, so a failed run never leaves a half-written pod behind.
#include <lz4.h>
#include <png.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cart/cart_text.h"
#include "cart/png_cart.h"
#include "framework/fenn_pod.h"

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;

namespace {

constexpr int max_nesting = 8;
constexpr int max_picture_side = fenn_max_bitmap_side;

struct location {
    std::string file;
    int line = 0;
};

[[noreturn, gnu::format(printf, 2, 3)]] void die(const location& at, const char* fmt, ...) {
    std::fprintf(stderr, "podmake: ");
    if (!at.file.empty()) std::fprintf(stderr, "%s:%d: ", at.file.c_str(), at.line);
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fprintf(stderr, "\n");
    std::exit(1);
}

bool read_file(const fs::path& p, bytes& out) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// ---- pod writing ----

struct pod_writer {
    bytes out;
    int items = 0;

    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    }
    void tag(const char* t, uint32_t size) {
        out.insert(out.end(), t, t + 4);
        u32(size);
    }
    void field(const std::string& s, size_t n) {
        // The last byte stays 0, so readers always find the end of the name.
        if (s.size() > n - 1) die({}, "name '%s' is longer than %zu characters", s.c_str(), n - 1);
        bytes f(n, 0);
        std::memcpy(f.data(), s.data(), s.size());
        out.insert(out.end(), f.begin(), f.end());
    }
    void lz4_block(const bytes& raw) {
        bytes z(size_t(LZ4_compressBound(int(raw.size()))) + 1);
        int n = LZ4_compress_default(reinterpret_cast<const char*>(raw.data()), reinterpret_cast<char*>(z.data()),
                                     int(raw.size()), int(z.size()));
        if (n <= 0) die({}, "LZ4 compression failed");
        u32(uint32_t(n));
        out.insert(out.end(), z.begin(), z.begin() + n);
    }
    void bitmap(int w, int h, int depth, const bytes& pix, bool lz4, uint32_t attr) {
        tag(lz4 ? "cBMP" : "CBMP", uint32_t(pix.size() + 20));
        u32(uint32_t(w));
        u32(uint32_t(h));
        u32(uint32_t(depth));
        u32(attr);
        u32(0);
        if (lz4) lz4_block(pix);
        else out.insert(out.end(), pix.begin(), pix.end());
        ++items;
    }
    void palette(const bytes& rgb) {
        tag("CPAL", 768);
        out.insert(out.end(), rgb.begin(), rgb.end());
        ++items;
    }
    void data(const std::string& name, const bytes& d, bool lz4) {
        tag(lz4 ? "cFIL" : "CFIL", 0);
        u32(uint32_t(d.size()));
        field(name, 64);
        if (lz4) lz4_block(d);
        else out.insert(out.end(), d.begin(), d.end());
        ++items;
    }
    // The header goes in front once the item count is known.
    bytes finish(const std::string& name) const {
        pod_writer h;
        h.tag("CPOD", 68);
        h.u32(1);
        h.field(name, 32);
        h.u32(uint32_t(items));
        h.out.resize(h.out.size() + 28, 0);
        h.out.insert(h.out.end(), out.begin(), out.end());
        return h.out;
    }
};

// ---- inputs ----

struct picture {
    int w = 0, h = 0;
    std::vector<uint32_t> argb;  // 0xAARRGGBB, row after row
};

picture load_png(const location& at, const fs::path& p) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, p.c_str()))
        die(at, "cannot read picture %s: %s", p.c_str(), img.message);
    if (img.width < 1 || img.height < 1 || img.width > unsigned(max_picture_side) ||
        img.height > unsigned(max_picture_side)) {
        png_image_free(&img);
        die(at, "picture %s is %ux%u; sides must be 1 to %d", p.c_str(), img.width, img.height, max_picture_side);
    }
    img.format = PNG_FORMAT_RGBA;
    bytes rgba(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, rgba.data(), 0, nullptr))
        die(at, "cannot decode picture %s: %s", p.c_str(), img.message);
    picture pic;
    pic.w = int(img.width);
    pic.h = int(img.height);
    pic.argb.resize(size_t(pic.w) * size_t(pic.h));
    for (size_t i = 0; i < pic.argb.size(); ++i) {
        const uint8_t* q = &rgba[i * 4];
        pic.argb[i] = uint32_t(q[3]) << 24 | uint32_t(q[0]) << 16 | uint32_t(q[1]) << 8 | q[2];
    }
    return pic;
}

bytes load_palette(const location& at, const fs::path& p) {
    std::ifstream in(p);
    if (!in) die(at, "cannot read palette %s", p.c_str());
    bytes rgb(768);
    for (int i = 0; i < 256; ++i) rgb[size_t(i) * 3] = rgb[size_t(i) * 3 + 1] = rgb[size_t(i) * 3 + 2] = uint8_t(i);
    std::vector<bool> seen(256, false);
    std::string line;
    location here{p.string(), 0};
    while (std::getline(in, line)) {
        ++here.line;
        std::istringstream words(line);
        std::string index_word, colour;
        if (!(words >> index_word) || index_word[0] == '#') continue;  // blank or comment
        if (!(words >> colour)) die(here, "expected INDEX #rrggbb");
        char* end = nullptr;
        long index = std::strtol(index_word.c_str(), &end, 10);
        if (*end || index < 0 || index > 255) die(here, "palette index '%s' is not 0-255", index_word.c_str());
        unsigned long v = 0;
        if (colour.size() != 7 || colour[0] != '#' ||
            (v = std::strtoul(colour.c_str() + 1, &end, 16), *end))
            die(here, "colour '%s' is not #rrggbb", colour.c_str());
        if (seen[size_t(index)]) die(here, "palette index %ld given twice", index);
        seen[size_t(index)] = true;
        rgb[size_t(index) * 3] = uint8_t(v >> 16);
        rgb[size_t(index) * 3 + 1] = uint8_t(v >> 8);
        rgb[size_t(index) * 3 + 2] = uint8_t(v);
    }
    return rgb;
}

// ---- manifest ----

struct directive {
    location at;
    std::string verb;
    std::vector<std::string> args;  // positional words
    std::vector<std::pair<std::string, std::string>> opts;  // key=value and bare flags (value empty)

    std::optional<std::string> opt(const char* key) const {
        for (auto& [k, v] : opts)
            if (k == key) return v;
        return std::nullopt;
    }
    bool flag(const char* key) const { return opt(key).has_value(); }
};

// Options each verb accepts; anything else is a typing error worth reporting.
const char* allowed_options(const std::string& verb) {
    if (verb == "bitmap8" || verb == "bitmap32") return " lz4 attr ";
    if (verb == "sheet8" || verb == "sheet32") return " lz4 attr size count ";
    if (verb == "blank8") return " lz4 count ";
    if (verb == "data" || verb == "text" || verb == "pod" || verb == "cart32k") return " lz4 name ";
    return " ";
}

// Words are separated by blanks; double quotes, anywhere in a word, keep
// blanks and '#' inside it (name="two words").
std::vector<std::string> split_words(const location& at, const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (i < line.size()) {
        if (blank(line[i])) { ++i; continue; }
        if (line[i] == '#') break;
        std::string w;
        bool quoted = false;
        for (; i < line.size() && (quoted || !blank(line[i])); ++i) {
            if (line[i] == '"') quoted = !quoted;
            else w += line[i];
        }
        if (quoted) die(at, "unterminated quote");
        words.push_back(w);
    }
    return words;
}

long number(const location& at, const std::string& s, long lo, long hi, const char* what) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s.c_str(), &end, 0);
    if (s.empty() || *end || errno || v < lo || v > hi) die(at, "%s '%s' is not %ld to %ld", what, s.c_str(), lo, hi);
    return v;
}

void size_pair(const location& at, const std::string& s, int& w, int& h) {
    size_t x = s.find('x');
    if (x == std::string::npos) die(at, "size '%s' is not WxH", s.c_str());
    w = int(number(at, s.substr(0, x), 1, max_picture_side, "width"));
    h = int(number(at, s.substr(x + 1), 1, max_picture_side, "height"));
}

bytes build_pod(const fs::path& manifest, int depth);

struct builder {
    pod_writer pod;
    std::optional<bytes> match_palette;
    fs::path folder;
    int depth = 0;

    fs::path path_of(const std::string& rel) const { return folder / rel; }

    uint8_t match(const location& at, uint32_t argb, int x, int y) const {
        if ((argb >> 24) == 0) return 0;
        if ((argb >> 24) != 0xff) die(at, "pixel (%d,%d) is partly transparent", x, y);
        const bytes& rgb = *match_palette;
        for (int i = 0; i < 256; ++i) {
            uint32_t c = uint32_t(rgb[size_t(i) * 3]) << 16 | uint32_t(rgb[size_t(i) * 3 + 1]) << 8 | rgb[size_t(i) * 3 + 2];
            if (c == (argb & 0xffffff)) return uint8_t(i);
        }
        die(at, "pixel (%d,%d) colour #%06x is not in the palette", x, y, unsigned(argb & 0xffffff));
    }

    // Adds the w x h block at (x0, y0) of the picture as one bitmap.
    void add_cut(const directive& d, const picture& pic, int x0, int y0, int w, int h, int bits) {
        bytes pix;
        pix.reserve(size_t(w) * size_t(h) * size_t(bits / 8));
        for (int y = y0; y < y0 + h; ++y) {
            for (int x = x0; x < x0 + w; ++x) {
                uint32_t c = pic.argb[size_t(y) * size_t(pic.w) + size_t(x)];
                if (bits == 8) {
                    pix.push_back(match(d.at, c, x, y));
                } else {
                    for (int i = 0; i < 4; ++i) pix.push_back(uint8_t(c >> (8 * i)));
                }
            }
        }
        uint32_t attr = uint32_t(d.flag("attr") ? number(d.at, *d.opt("attr"), 0, 0xffffffffL, "attribute") : 0);
        pod.bitmap(w, h, bits, pix, d.flag("lz4"), attr);
    }

    void need_args(const directive& d, size_t n, const char* usage) {
        if (d.args.size() != n) die(d.at, "usage: %s", usage);
    }

    void run(const directive& d) {
        const std::string& v = d.verb;
        const int bits = v.back() == '8' ? 8 : 32;
        if ((bits == 8 && (v == "bitmap8" || v == "sheet8")) && !match_palette)
            die(d.at, "%s needs a use-palette line before it", v.c_str());
        if (v == "name") {
            need_args(d, 1, "name NAME");
        } else if (v == "use-palette") {
            need_args(d, 1, "use-palette FILE");
            match_palette = load_palette(d.at, path_of(d.args[0]));
        } else if (v == "palette") {
            need_args(d, 1, "palette FILE");
            pod.palette(load_palette(d.at, path_of(d.args[0])));
        } else if (v == "bitmap8" || v == "bitmap32") {
            need_args(d, 1, "bitmap8|bitmap32 PNG [lz4] [attr=N]");
            picture pic = load_png(d.at, path_of(d.args[0]));
            add_cut(d, pic, 0, 0, pic.w, pic.h, bits);
        } else if (v == "sheet8" || v == "sheet32") {
            need_args(d, 2, "sheet8|sheet32 PNG CWxCH [size=WxH] [count=N] [lz4] [attr=N]");
            picture pic = load_png(d.at, path_of(d.args[0]));
            int cw, ch, w, h;
            size_pair(d.at, d.args[1], cw, ch);
            w = cw;
            h = ch;
            if (auto s = d.opt("size")) size_pair(d.at, *s, w, h);
            if (w > cw || h > ch) die(d.at, "size is larger than the cell");
            const int cols = pic.w / cw, rows = pic.h / ch;
            long count = long(cols) * rows;
            if (auto c = d.opt("count")) count = number(d.at, *c, 1, long(cols) * rows, "count");
            if (count < 1) die(d.at, "the picture holds no whole %dx%d cell", cw, ch);
            for (long i = 0; i < count; ++i)
                add_cut(d, pic, int(i % cols) * cw, int(i / cols) * ch, w, h, bits);
        } else if (v == "blank8") {
            need_args(d, 1, "blank8 WxH [count=N]");
            int w, h;
            size_pair(d.at, d.args[0], w, h);
            long count = d.flag("count") ? number(d.at, *d.opt("count"), 1, 65536, "count") : 1;
            for (long i = 0; i < count; ++i) pod.bitmap(w, h, 8, bytes(size_t(w) * size_t(h), 0), d.flag("lz4"), 0);
        } else if (v == "pad") {
            need_args(d, 1, "pad N");
            long n = number(d.at, d.args[0], 0, 65536, "item count");
            if (pod.items > n) die(d.at, "pad %ld: there are already %d items", n, pod.items);
            while (pod.items < n) pod.bitmap(1, 1, 8, bytes{0}, false, 0);
        } else if (v == "at") {
            need_args(d, 1, "at N");
            long n = number(d.at, d.args[0], 0, 65536, "item number");
            if (pod.items != n) die(d.at, "the next item is number %d, not %ld", pod.items, n);
        } else if (v == "data") {
            need_args(d, 1, "data FILE [name=NAME] [lz4]");
            bytes b;
            if (!read_file(path_of(d.args[0]), b)) die(d.at, "cannot read %s", path_of(d.args[0]).c_str());
            pod.data(d.opt("name").value_or(fs::path(d.args[0]).filename().string()), b, d.flag("lz4"));
        } else if (v == "cart32k") {
            need_args(d, 1, "cart32k FILE.qz [name=NAME] [lz4]");
            bytes text;
            if (!read_file(path_of(d.args[0]), text)) die(d.at, "cannot read %s", path_of(d.args[0]).c_str());
            vexel_cart* cart = vexel_cart_from_text(reinterpret_cast<const char*>(text.data()), text.size());
            if (!cart) die(d.at, "%s is not a text cartridge", d.args[0].c_str());
            bytes block(cart_block_size, 0);
            int err = png_cart_save_32k(cart, block.data());
            vexel_cart_destroy(cart);
            if (err) die(d.at, "%s does not fit a 32 KiB cartridge (error %d)", d.args[0].c_str(), err);
            pod.data(d.opt("name").value_or(fs::path(d.args[0]).filename().string()), block, d.flag("lz4"));
        } else if (v == "text") {
            need_args(d, 1, "text \"TEXT\" [name=NAME] [lz4]");
            pod.data(d.opt("name").value_or("text"), bytes(d.args[0].begin(), d.args[0].end()), d.flag("lz4"));
        } else if (v == "pod") {
            need_args(d, 1, "pod MANIFEST [name=NAME] [lz4]");
            if (depth + 1 >= max_nesting) die(d.at, "pods nested more than %d deep (a manifest including itself?)", max_nesting);
            fs::path sub = path_of(d.args[0]);
            bytes inner = build_pod(sub, depth + 1);
            pod.data(d.opt("name").value_or(sub.stem().string()), inner, d.flag("lz4"));
        } else {
            die(d.at, "unknown directive '%s'", v.c_str());
        }
    }
};

bytes build_pod(const fs::path& manifest, int depth) {
    std::ifstream in(manifest);
    if (!in) die({}, "cannot read manifest %s", manifest.c_str());
    builder b;
    b.folder = manifest.parent_path();
    b.depth = depth;
    std::string name = manifest.stem().string();
    std::string line;
    location at{manifest.string(), 0};
    while (std::getline(in, line)) {
        ++at.line;
        std::vector<std::string> words = split_words(at, line);
        if (words.empty()) continue;
        directive d;
        d.at = at;
        d.verb = words[0];
        const std::string allowed = allowed_options(d.verb);
        for (size_t i = 1; i < words.size(); ++i) {
            const std::string& w = words[i];
            size_t eq = w.find('=');
            std::string key = eq == std::string::npos ? w : w.substr(0, eq);
            if (allowed.find(" " + key + " ") != std::string::npos && (eq != std::string::npos || key == "lz4")) {
                d.opts.emplace_back(key, eq == std::string::npos ? "" : w.substr(eq + 1));
            } else if (eq != std::string::npos) {
                die(at, "'%s' does not take the option '%s'", d.verb.c_str(), key.c_str());
            } else {
                d.args.push_back(w);
            }
        }
        if (d.verb == "name" && d.args.size() == 1) name = d.args[0];
        b.run(d);
    }
    if (b.pod.items == 0) die({}, "%s adds no items; readers refuse empty pods", manifest.c_str());
    return b.pod.finish(name);
}

// ---- listing ----

uint32_t fnv1a(const uint8_t* p, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

void dump(const fenn_pod* pod, int indent) {
    std::printf("%*spod \"%s\" %d items\n", indent, "", pod->name, fenn_pod_item_count(pod));
    int i = 0;
    for (const fenn_pod_item* it = fenn_pod_first(pod); it; it = fenn_pod_next(pod, it), ++i) {
        std::printf("%*s%4d ", indent + 2, "", i);
        if (it->type == fenn_pod_type_bitmap) {
            const fenn_bitmap* b = it->bitmap.get();
            std::printf("bitmap %dx%d %d-bit attr %d hash %08x\n", b->w, b->h, b->depth, b->attribute,
                        fnv1a(b->pix.data(), b->pix.size()));
        } else if (it->type == fenn_pod_type_palette) {
            std::printf("palette hash %08x\n", fnv1a(it->bytes.data(), it->bytes.size()));
        } else {
            std::printf("data \"%s\" %zu bytes hash %08x\n", it->name, it->bytes.size(),
                        fnv1a(it->bytes.data(), it->bytes.size()));
            if (fenn_pod* inner = fenn_load_pod_memory(it->name, it->bytes.data(), it->bytes.size())) {
                dump(inner, indent + 7);
                fenn_destroy_pod(inner);
            }
        }
    }
}

int usage() {
    std::fprintf(stderr, "usage: podmake MANIFEST OUTPUT.pod\n       podmake --dump FILE.pod\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return usage();
    if (std::strcmp(argv[1], "--dump") == 0) {
        fenn_pod* pod = fenn_load_pod(argv[2]);
        if (!pod) {
            std::fprintf(stderr, "podmake: %s is not a readable pod\n", argv[2]);
            return 1;
        }
        dump(pod, 0);
        fenn_destroy_pod(pod);
        return 0;
    }
    bytes out = build_pod(argv[1], 0);
    fs::path target = argv[2];
    fs::path temp = target;
    temp += ".part";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        if (!f) die({}, "cannot write %s", temp.c_str());
        f.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
        if (!f.flush()) die({}, "cannot write %s", temp.c_str());
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) die({}, "cannot rename %s to %s: %s", temp.c_str(), target.c_str(), ec.message().c_str());
    return 0;
}
