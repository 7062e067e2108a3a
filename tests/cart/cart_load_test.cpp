// Reading and writing cartridge files apart from any machine: names,
// legacy upgrades, code tabs and the virtual disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/cart_load.h"
#include "cart/code_tabs.h"
#include "cart/vdisk.h"

namespace {
struct CartDeleter {
    void operator()(vexel_cart* c) const { vexel_cart_destroy(c); }
};
using CartPtr = std::unique_ptr<vexel_cart, CartDeleter>;
}  // namespace

TEST(CodeTabs, SplitAndJoinNormaliseTheProgram) {
    std::vector<std::vector<char>> store(8, std::vector<char>(64));
    char* tabs[8];
    for (int i = 0; i < 8; ++i) tabs[i] = store[i].data();
    char out[128];

    code_tabs_split("a=1\n-->8\nb=2\n-->8\nc=3", tabs, 8, 64);
    EXPECT_STREQ(tabs[1], "b=2");
    EXPECT_EQ(code_tabs_merge(tabs, 8, 0, out, sizeof out), 21u);
    EXPECT_STREQ(out, "a=1\n-->8\nb=2\n-->8\nc=3");

    // Trailing empty tabs go, unless one of them is current.
    code_tabs_split("a\n-->8\n\n-->8\n", tabs, 8, 64);
    code_tabs_merge(tabs, 8, 0, out, sizeof out);
    EXPECT_STREQ(out, "a");
    code_tabs_merge(tabs, 8, 2, out, sizeof out);
    EXPECT_STREQ(out, "a\n-->8\n\n-->8\n");

    // Separators beyond the last tab stay in it: nothing is lost, and the
    // join gives the text back. Tabs are cut to their buffer.
    std::string many;
    for (int i = 0; i < 10; ++i) many += std::to_string(i) + (i < 9 ? "\n-->8\n" : "");
    code_tabs_split(many.c_str(), tabs, 8, 64);
    EXPECT_STREQ(tabs[6], "6");
    EXPECT_STREQ(tabs[7], "7\n-->8\n8\n-->8\n9");
    code_tabs_merge(tabs, 8, 0, out, sizeof out);
    EXPECT_EQ(std::string(out), many);
    std::string long_tab(100, 'x');
    code_tabs_split(long_tab.c_str(), tabs, 8, 64);
    EXPECT_EQ(std::strlen(tabs[0]), 63u);

    // Measuring and a small output never write past the capacity.
    code_tabs_split("abcdef\n-->8\nghi", tabs, 8, 64);
    char small[5] = {1, 1, 1, 1, 1};
    EXPECT_EQ(code_tabs_merge(tabs, 8, 0, small, sizeof small), 15u);
    EXPECT_STREQ(small, "abcd");
    EXPECT_EQ(code_tabs_merge(tabs, 8, 0, nullptr, 0), 15u);
}

TEST(DiskNames, ExtensionIsAddedAsTheFormatsExpect) {
    EXPECT_EQ(cart_with_qz_extension("game"), "game.qz");
    EXPECT_EQ(cart_with_qz_extension("game.png"), "game.qz.png");
    EXPECT_EQ(cart_with_qz_extension("game.txt"), "game.txt.qz");
    EXPECT_EQ(cart_with_qz_extension("game.qz.png"), "game.qz.png");
    EXPECT_EQ(cart_with_qz_extension("my.dir/game"), "my.dir/game.qz");
    EXPECT_EQ(cart_with_qz_extension(""), ".qz");
}

TEST(Legacy, LegacyMusicSwapAndSoundFixes) {
    auto old_cart = [](int version) {
        CartPtr c(vexel_cart_create());
        c->version = version;
        c->sfx[1].speed = 1;   // short, no loop
        c->sfx[2].speed = 8;   // longer, no loop
        c->music[0][0] = 1;
        c->music[0][2] = 2;
        c->sfx[3].notes[0] = {10, 6, 7, 0, 0};
        c->sfx[3].notes[1] = {10, 6, 4, 0, 0};
        c->sfx[4].notes[0] = {10, 2, 0, 1, 0};  // slide at volume 0
        return c;
    };
    CartPtr v4 = old_cart(4);
    std::vector<std::string> notes;
    cart_apply_legacy_changes(v4.get(), &notes);
    EXPECT_EQ(v4->music[0][0], 2);
    EXPECT_EQ(v4->music[0][2], 1);
    EXPECT_NE(std::find(notes.begin(), notes.end(), "legacy: pat 0 swap chan: 0 2"), notes.end());
    EXPECT_EQ(v4->sfx[3].notes[0].volume, 5);
    EXPECT_EQ(v4->sfx[3].notes[1].volume, 4);
    EXPECT_EQ(v4->sfx[4].notes[0].effect, 0);
    EXPECT_EQ(v4->version, vexel_cart_newest_version);

    CartPtr v5 = old_cart(5);
    cart_apply_legacy_changes(v5.get());
    EXPECT_EQ(v5->music[0][0], 1);
    EXPECT_EQ(v5->sfx[3].notes[0].volume, 7);
    EXPECT_EQ(v5->sfx[4].notes[0].effect, 0);  // slides: up to version 10

    // A later feature anywhere keeps the slides.
    CartPtr v9 = old_cart(9);
    v9->sfx[10].editor_byte = 2;
    cart_apply_legacy_changes(v9.get());
    EXPECT_EQ(v9->sfx[4].notes[0].effect, 1);
    CartPtr v11 = old_cart(11);
    cart_apply_legacy_changes(v11.get());
    EXPECT_EQ(v11->sfx[4].notes[0].effect, 1);
}

TEST(Legacy, LegacyApiIsPutBeforeOldPrograms) {
    CartPtr c(vexel_cart_create());
    std::snprintf(c->code, vexel_code_buffer, "cls()\nprint(\"archeos\",98,34,7)\n");
    cart_apply_legacy_changes(c.get());
    const std::string code = c->code;
    EXPECT_EQ(code.rfind("--------------------------------\n-- legacy 0.1.1 api injected\n", 0), 0u);
    EXPECT_NE(code.find("function foreach(c,f)"), std::string::npos);
    EXPECT_NE(code.find("  nd=0\n"), std::string::npos);
    const std::string program = "\ncls()\nprint(\"archeos\",98,34,7)\n";
    EXPECT_EQ(code.substr(code.size() - program.size()), program);
    // Applied once: the record is now of the newest version.
    const size_t length = code.size();
    cart_apply_legacy_changes(c.get());
    EXPECT_EQ(std::strlen(c->code), length);
}

TEST(Vdisk, ModesNamesAndLimits) {
    vexel_vdisk disk;
    vdisk_clear(&disk);
    EXPECT_EQ(vdisk_open(&disk, "a/b/game.qz", "r"), nullptr);
    vdisk_file* f = vdisk_open(&disk, "a/b/game.qz", "w");
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->name, "game.qz");
    vdisk_write(f, "abc", 3);
    EXPECT_EQ(vdisk_open(&disk, "game.qz", "r"), f);
    EXPECT_TRUE(vdisk_file_owned(&disk, f));
    EXPECT_EQ(vdisk_open(&disk, "game.qz", "a"), nullptr);
    EXPECT_EQ(vdisk_open(&disk, "game.qz", "w")->bytes.size(), 0u);
    EXPECT_EQ(vdisk_open(&disk, std::string(64, 'n').c_str(), "w"), nullptr);
    EXPECT_NE(vdisk_open(&disk, std::string(63, 'n').c_str(), "w"), nullptr);
    EXPECT_EQ(vdisk_open(&disk, "dir/", "w"), nullptr);
    for (int i = vdisk_file_count(&disk); i < vdisk_max_files; ++i)
        ASSERT_NE(vdisk_open(&disk, ("f" + std::to_string(i)).c_str(), "w"), nullptr);
    EXPECT_EQ(vdisk_open(&disk, "one-too-many", "w"), nullptr);
    EXPECT_EQ(vdisk_file_count(&disk), vdisk_max_files);
    vdisk_clear(&disk);
}
