// podmake writes pods that the framework reads back as they were described.
#include <gtest/gtest.h>

#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/fenn_pod.h"
#include "test_support.h"

namespace {

using bytes = std::vector<uint8_t>;

const std::string podmake = std::string(VEXEL_BINARY_DIR) + "/tools/podmake";

void write_text(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

bytes read_bytes(const std::string& path) {
    const std::string s = vexel_test::read_file(path);
    return bytes(s.begin(), s.end());
}

// Writes an RGBA picture; pixels are 0xAARRGGBB.
void write_png(const std::string& path, int w, int h, const std::vector<uint32_t>& argb) {
    bytes rgba;
    for (uint32_t c : argb) {
        rgba.push_back(uint8_t(c >> 16));
        rgba.push_back(uint8_t(c >> 8));
        rgba.push_back(uint8_t(c));
        rgba.push_back(uint8_t(c >> 24));
    }
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = unsigned(w);
    img.height = unsigned(h);
    img.format = PNG_FORMAT_RGBA;
    ASSERT_TRUE(png_image_write_to_file(&img, path.c_str(), 0, rgba.data(), 0, nullptr));
}

// Runs podmake; returns its exit status and keeps its error output.
int run_podmake(const std::string& args, std::string* errors = nullptr) {
    int status = -1;
    std::string err = vexel_test::command_output(podmake + " " + args + " 2>&1 >/dev/null", &status);
    if (errors) *errors = err;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A folder with a small palette, pictures and data used by several tests.
struct fixture_dir {
    std::string dir;
    std::vector<uint32_t> pic8;   // uses palette colours 0, 1, 2 and transparency
    std::vector<uint32_t> pic32;  // any colours
    std::vector<uint32_t> sheet;  // 3 x 2 cells of 2 x 2

    explicit fixture_dir(const char* name) : dir(vexel_test::temp_dir(name)) {
        write_text(dir + "/pal.txt",
                   "# test palette\n0 #000000 black\n1 #ff0000 red\n2 #00ff00\n\n200 #ff0000 red again\n");
        pic8 = {0xff000000, 0xffff0000, 0xff00ff00, 0x00123456, 0xffff0000, 0xff000000};
        write_png(dir + "/pic8.png", 3, 2, pic8);
        pic32 = {0x80102030, 0xff405060, 0x00000000, 0xffffffff};
        write_png(dir + "/p32.png", 2, 2, pic32);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) sheet.push_back((x / 2 + 3 * (y / 2)) % 2 ? 0xffff0000 : 0xff00ff00);
        write_png(dir + "/sheet.png", 6, 4, sheet);
        std::string blob;
        for (int i = 0; i < 3000; ++i) blob += char(i % 7);
        write_text(dir + "/blob.bin", blob);
    }
    std::string path(const char* name) const { return dir + "/" + name; }
};

void expect_items_equal(const fenn_pod* a, const fenn_pod* b) {
    ASSERT_EQ(fenn_pod_item_count(a), fenn_pod_item_count(b));
    for (int i = 0; i < fenn_pod_item_count(a); ++i) {
        const fenn_pod_item* x = fenn_pod_get_item(a, i);
        const fenn_pod_item* y = fenn_pod_get_item(b, i);
        ASSERT_EQ(x->type, y->type) << i;
        EXPECT_EQ(x->bytes, y->bytes) << i;
        EXPECT_STREQ(x->name, y->name) << i;
        if (x->type == fenn_pod_type_bitmap) {
            EXPECT_EQ(x->bitmap->w, y->bitmap->w);
            EXPECT_EQ(x->bitmap->h, y->bitmap->h);
            EXPECT_EQ(x->bitmap->depth, y->bitmap->depth);
            EXPECT_EQ(x->bitmap->attribute, y->bitmap->attribute);
            EXPECT_EQ(x->bitmap->pix, y->bitmap->pix) << i;
        }
    }
}

}  // namespace

TEST(Podmake, RoundTripRawAndCompressed) {
    fixture_dir f("podmake_roundtrip");
    write_text(f.path("inner.txt"), "name inner\ntext \"hi\" name=greeting\n");
    for (const char* lz4 : {"", "lz4"}) {
        std::string L = lz4;
        write_text(f.path("m.txt"),
                   "name roundtrip   # comment\n"
                   "use-palette pal.txt\n"
                   "at 0\n"
                   "bitmap8 pic8.png attr=77 " + L + "\n"
                   "bitmap32 p32.png " + L + "\n"
                   "palette pal.txt\n"
                   "data blob.bin " + L + "\n"
                   "text \"two words\" name=\"the title\" " + L + "\n"
                   "sheet8 sheet.png 2x2 size=1x2 count=5 " + L + "\n"
                   "blank8 2x3 count=2 " + L + "\n"
                   "pad 14\n"
                   "pod inner.txt " + L + "\n"
                   "at 15\n");
        ASSERT_EQ(run_podmake(f.path("m.txt") + " " + f.path("out.pod")), 0) << L;
        fenn_pod* p = fenn_load_pod(f.path("out.pod").c_str());
        ASSERT_NE(p, nullptr) << L;
        EXPECT_STREQ(p->name, "roundtrip");
        ASSERT_EQ(fenn_pod_item_count(p), 15);

        fenn_bitmap* b8 = fenn_pod_get_bitmap(p, 0);
        ASSERT_NE(b8, nullptr);
        EXPECT_EQ(b8->depth, 8);
        EXPECT_EQ(b8->attribute, 77);
        // Exact colour match takes the lowest index; transparent pixels are 0.
        EXPECT_EQ(b8->pix, (bytes{0, 1, 2, 0, 1, 0}));

        fenn_bitmap* b32 = fenn_pod_get_bitmap(p, 1);
        ASSERT_NE(b32, nullptr);
        ASSERT_EQ(b32->depth, 32);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(b32->pix32()[i], f.pic32[size_t(i)]) << i;

        const uint8_t* pal = fenn_pod_get_palette(p, 2);
        ASSERT_NE(pal, nullptr);
        EXPECT_EQ(pal[3], 0xff);               // entry 1 red
        EXPECT_EQ(pal[3 * 2 + 1], 0xff);       // entry 2 green
        EXPECT_EQ(pal[3 * 100 + 2], 100);      // unlisted: grey ramp
        EXPECT_EQ(pal[3 * 200 + 0], 0xff);

        EXPECT_EQ(fenn_pod_get_data(p, 3)->bytes, read_bytes(f.path("blob.bin")));
        EXPECT_STREQ(fenn_pod_get_data(p, 3)->name, "blob.bin");
        EXPECT_STREQ(fenn_pod_get_data(p, 4)->name, "the title");
        EXPECT_EQ(std::string(fenn_pod_get_data(p, 4)->bytes.begin(), fenn_pod_get_data(p, 4)->bytes.end()), "two words");

        // Sheet cells run left to right, then down; only the top-left 1x2 is kept.
        for (int c = 0; c < 5; ++c) {
            fenn_bitmap* g = fenn_pod_get_bitmap(p, 5 + c);
            ASSERT_NE(g, nullptr) << c;
            EXPECT_EQ(g->w, 1);
            EXPECT_EQ(g->h, 2);
            uint8_t want = c % 2 ? 1 : 2;
            EXPECT_EQ(g->pix, (bytes{want, want})) << c;
        }
        EXPECT_EQ(fenn_pod_get_bitmap(p, 10)->pix, bytes(6, 0));
        EXPECT_EQ(fenn_pod_get_bitmap(p, 13)->w, 1);  // pad placeholder

        fenn_pod* inner = fenn_pod_load_nested(p, 14);
        ASSERT_NE(inner, nullptr);
        EXPECT_STREQ(fenn_pod_get_item(p, 14)->name, "inner");
        EXPECT_STREQ(fenn_pod_get_data(inner, 0)->name, "greeting");
        fenn_destroy_pod(inner);
        fenn_destroy_pod(p);
        std::rename(f.path("out.pod").c_str(), f.path(L.empty() ? "raw.pod" : "packed.pod").c_str());
    }
    // Compressed and raw pods hold the same items, and compression really happened.
    fenn_pod* raw = fenn_load_pod(f.path("raw.pod").c_str());
    fenn_pod* packed = fenn_load_pod(f.path("packed.pod").c_str());
    ASSERT_NE(raw, nullptr);
    ASSERT_NE(packed, nullptr);
    expect_items_equal(raw, packed);
    EXPECT_LT(read_bytes(f.path("packed.pod")).size(), read_bytes(f.path("raw.pod")).size());
    fenn_destroy_pod(raw);
    fenn_destroy_pod(packed);
}

TEST(Podmake, OutputIsReproducibleAndDumpable) {
    fixture_dir f("podmake_repro");
    write_text(f.path("m.txt"), "use-palette pal.txt\nbitmap8 pic8.png lz4\ndata blob.bin lz4\n");
    ASSERT_EQ(run_podmake(f.path("m.txt") + " " + f.path("a.pod")), 0);
    ASSERT_EQ(run_podmake(f.path("m.txt") + " " + f.path("b.pod")), 0);
    EXPECT_EQ(read_bytes(f.path("a.pod")), read_bytes(f.path("b.pod")));
    int status = -1;
    const std::string dump = vexel_test::command_output(podmake + " --dump " + f.path("a.pod"), &status);
    ASSERT_EQ(status, 0);
    EXPECT_NE(dump.find("pod \"m\" 2 items"), std::string::npos) << dump;  // name defaults to the manifest stem
    EXPECT_NE(dump.find("0 bitmap 3x2 8-bit"), std::string::npos) << dump;
    EXPECT_NE(dump.find("1 data \"blob.bin\" 3000 bytes"), std::string::npos) << dump;
}

TEST(Podmake, MistakesAreReportedWithTheirLine) {
    fixture_dir f("podmake_errors");
    write_png(f.path("odd.png"), 1, 1, {0xff123456});
    struct bad_case {
        const char* manifest;
        const char* message;
    } cases[] = {
        {"bitmap8 pic8.png\n", "use-palette"},
        {"use-palette pal.txt\nbitmap8 odd.png\n", "not in the palette"},
        {"use-palette pal.txt\nbitmap8 p32.png\n", "partly transparent"},
        {"frobnicate x\n", "unknown directive"},
        {"data missing.bin\n", "cannot read"},
        {"text \"x\" size=3\n", "does not take"},
        {"blank8 1x1\nat 5\n", "not 5"},
        {"blank8 1x1\nblank8 1x1\npad 1\n", "already"},
        {"use-palette pal.txt\nsheet8 pic8.png 4x4\n", "no whole"},
        {"text \"x\" name=0123456789012345678901234567890123456789012345678901234567890123456789\n", "longer"},
        {"pod m.txt\n", "nested"},
        {"# nothing\n", "no items"},
        {"text \"unterminated\n", "quote"},
        {"blank8 0x4\n", "width"},
    };
    for (const bad_case& c : cases) {
        write_text(f.path("m.txt"), c.manifest);
        std::string err;
        EXPECT_EQ(run_podmake(f.path("m.txt") + " " + f.path("out.pod"), &err), 1) << c.manifest;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.manifest << " gave: " << err;
        EXPECT_FALSE(std::ifstream(f.path("out.pod")).good()) << c.manifest;  // nothing half written
    }
    write_text(f.path("badpal.txt"), "300 #000000\n");
    write_text(f.path("m.txt"), "palette badpal.txt\n");
    std::string err;
    EXPECT_EQ(run_podmake(f.path("m.txt") + " " + f.path("out.pod"), &err), 1);
    EXPECT_NE(err.find("badpal.txt:1"), std::string::npos) << err;
    EXPECT_EQ(run_podmake("--dump " + f.path("pal.txt")), 1);  // not a pod
    EXPECT_EQ(run_podmake(""), 2);
}
