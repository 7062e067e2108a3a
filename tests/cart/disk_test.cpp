#include <gtest/gtest.h>

#include <vector>

#include "cart/png_cart.h"
#include "cart_io_fixture.h"
#include "framework/fenn_pod.h"

using Disk = CartIo;

TEST(CodeTabs, SplitAndJoinNormaliseTheProgram) {
    std::vector<std::vector<char>> store(8, std::vector<char>(64));
    char* tabs[8];
    for (int i = 0; i < 8; ++i) tabs[i] = store[i].data();
    char out[128];

    split_code_text("a=1\n-->8\nb=2\n-->8\nc=3", tabs, 8, 64);
    EXPECT_STREQ(tabs[1], "b=2");
    EXPECT_EQ(merge_code_text(tabs, 8, 0, out, sizeof out), 21u);
    EXPECT_STREQ(out, "a=1\n-->8\nb=2\n-->8\nc=3");

    // Trailing empty tabs go, unless one of them is current.
    split_code_text("a\n-->8\n\n-->8\n", tabs, 8, 64);
    merge_code_text(tabs, 8, 0, out, sizeof out);
    EXPECT_STREQ(out, "a");
    merge_code_text(tabs, 8, 2, out, sizeof out);
    EXPECT_STREQ(out, "a\n-->8\n\n-->8\n");

    // Text beyond the eighth separator is dropped; tabs are cut to their buffer.
    std::string many;
    for (int i = 0; i < 10; ++i) many += std::to_string(i) + (i < 9 ? "\n-->8\n" : "");
    split_code_text(many.c_str(), tabs, 8, 64);
    EXPECT_STREQ(tabs[7], "7");
    std::string long_tab(100, 'x');
    split_code_text(long_tab.c_str(), tabs, 8, 64);
    EXPECT_EQ(std::strlen(tabs[0]), 63u);

    // Measuring and a small output never write past the capacity.
    split_code_text("abcdef\n-->8\nghi", tabs, 8, 64);
    char small[5] = {1, 1, 1, 1, 1};
    EXPECT_EQ(merge_code_text(tabs, 8, 0, small, sizeof small), 15u);
    EXPECT_STREQ(small, "abcd");
    EXPECT_EQ(merge_code_text(tabs, 8, 0, nullptr, 0), 15u);
}

TEST_F(Disk, JoinTooLongForTheCartridgeLeavesTheCodeAlone) {
    set_code("keep");
    for (int t = 0; t < 2; ++t) {
        std::memset(pstate.code_tabs[t], 'x', vexel_code_max - 3);
        pstate.code_tabs[t][vexel_code_max - 3] = 0;
    }
    EXPECT_GT(merge_code_from_tabs(), size_t(vexel_code_max));
    EXPECT_STREQ(pstate.working_cart->code, "keep");
    EXPECT_EQ(save_working_cart((root + "big.qz").c_str()), 1);
    EXPECT_FALSE(exists(root + "big.qz"));
}

TEST(DiskNames, ExtensionIsAddedAsTheFormatsExpect) {
    EXPECT_EQ(inject_qz_extention("game"), "game.qz");
    EXPECT_EQ(inject_qz_extention("game.png"), "game.qz.png");
    EXPECT_EQ(inject_qz_extention("game.txt"), "game.txt.qz");
    EXPECT_EQ(inject_qz_extention("game.qz.png"), "game.qz.png");
    EXPECT_EQ(inject_qz_extention("my.dir/game"), "my.dir/game.qz");
    EXPECT_EQ(inject_qz_extention(""), ".qz");
}

TEST_F(Disk, LoadingTriesTheCandidateNamesInOrder) {
    write_cart(root + "game.qz", "-- text", 1);
    write_cart(root + "game.png", "-- png name", 3);
    {
        CartPtr c = make_cart("-- picture", 2);
        ASSERT_EQ(save_vexel_cart_png(c.get(), (root + "game.qz.png").c_str()), 0);
    }
    ASSERT_EQ(load_working_cart((root + "game").c_str()), 0);
    EXPECT_STREQ(pstate.working_cart->code, "-- text");
    EXPECT_EQ(std::string(cart_disk.filename), root + "game.qz");

    std::filesystem::remove(root + "game.qz");
    ASSERT_EQ(load_working_cart((root + "game").c_str()), 0);
    EXPECT_STREQ(pstate.working_cart->code, "-- picture");
    EXPECT_EQ(std::string(cart_disk.filename), root + "game.qz.png");
    ASSERT_NE(pstate.working_cart->label, nullptr);

    std::filesystem::remove(root + "game.qz.png");
    ASSERT_EQ(load_working_cart((root + "game").c_str()), 0);
    EXPECT_STREQ(pstate.working_cart->code, "-- png name");
    EXPECT_EQ(std::string(cart_disk.filename), root + "game.png");

    // Nothing readable: the working cartridge, name and hash stay.
    const std::string name = cart_disk.filename, hash = cart_disk.hash;
    write_file(root + "junk.qz", "not a cartridge");
    EXPECT_EQ(load_working_cart((root + "junk").c_str()), 1);
    EXPECT_EQ(load_working_cart((root + "missing").c_str()), 1);
    EXPECT_EQ(std::string(cart_disk.filename), name);
    EXPECT_EQ(std::string(cart_disk.hash), hash);
    EXPECT_STREQ(pstate.working_cart->code, "-- png name");

    // A newer version is told apart from an unreadable file.
    write_file(root + "new.qz", "vexel cartridge\nversion 99\n");
    cart_disk.future_version = 0;
    EXPECT_EQ(load_working_cart((root + "new").c_str()), 1);
    EXPECT_EQ(cart_disk.future_version, 1);
}

TEST_F(Disk, PreparingSyncsTheSharedHalfAndHashesAndSplitsTabs) {
    CartPtr sheet = make_cart("a\n-->8\nb");
    sheet->gfx->pix[64 * 128 + 2] = 9;  // sprite row 64 -> map row 32
    prepare_loaded_cart(sheet.release(), "x.qz");
    EXPECT_EQ(pstate.working_cart->map->pix[32 * 128 + 1], 9);
    EXPECT_STREQ(pstate.code_tabs[1], "b");
    EXPECT_EQ(std::string(cart_disk.filename), "x.qz");
    char hash[41];
    hash_cart(pstate.working_cart, hash);
    EXPECT_STREQ(cart_disk.hash, hash);

    CartPtr map = make_cart("");
    map->gfx->pix[64 * 128 + 2] = 9;
    map->map->pix[63 * 128 + 127] = 5;  // one map cell wins
    prepare_loaded_cart(map.release(), nullptr);
    EXPECT_EQ(pstate.working_cart->gfx->pix[64 * 128 + 2], 0);
    EXPECT_EQ(pstate.working_cart->gfx->pix[127 * 128 + 126], 5);
    // Without a name the cartridge is named by its stored-data file.
    EXPECT_EQ(std::string(cart_disk.filename), get_sandboxed_cstore_filename(cart_disk.hash));
}

TEST_F(Disk, SavingAddsTheExtensionAndBacksUpOtherFiles) {
    set_code("-- mine");
    ASSERT_EQ(save_working_cart((root + "game").c_str()), 0);
    EXPECT_TRUE(exists(root + "game.qz"));
    EXPECT_EQ(std::string(cart_disk.filename), root + "game.qz");
    ASSERT_EQ(save_working_cart((root + "game.png").c_str()), 0);
    EXPECT_TRUE(exists(root + "game.qz.png"));

    // Re-saving the cartridge's own file makes no backup.
    ASSERT_EQ(save_working_cart((root + "game.qz.png").c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_empty(home + "/backup"));

    // Saving over another file keeps a copy of it first.
    write_cart(root + "other.qz", "-- theirs");
    const std::string theirs = read_file(root + "other.qz");
    ASSERT_EQ(save_working_cart((root + "other.qz").c_str()), 0);
    EXPECT_EQ(read_file(home + "/backup/other.qz"), theirs);
    EXPECT_STREQ(app.message, "** overwriting; saved backup **");

    // A second, different file of the same name does not replace that backup.
    std::filesystem::create_directories(root + "sub");
    write_cart(root + "sub/other.qz", "-- another");
    const std::string another = read_file(root + "sub/other.qz");
    ASSERT_EQ(save_working_cart((root + "sub/other.qz").c_str()), 0);
    EXPECT_EQ(read_file(home + "/backup/other.qz"), theirs);
    EXPECT_EQ(read_file(home + "/backup/other-1.qz"), another);
}

TEST_F(Disk, FailedSavesLoseNothing) {
    write_cart(root + "keep.qz", "-- keep");
    ASSERT_EQ(load_working_cart((root + "keep.qz").c_str()), 0);
    const std::string name = cart_disk.filename, hash = cart_disk.hash;
    set_code("-- changed");
    EXPECT_EQ(save_working_cart((home + "/no/such/folder/x.qz").c_str()), 1);
    EXPECT_STREQ(app.message, "** failed to save **");
    EXPECT_EQ(std::string(cart_disk.filename), name);
    EXPECT_EQ(std::string(cart_disk.hash), hash);

    // A PNG target refuses a program that does not fit the picture; a text
    // target warns and saves.
    std::string noise;
    uint32_t x = 1;
    for (int i = 0; i < 40000; ++i) {
        x = x * 1103515245u + 12345u;
        noise += char('!' + (x >> 16) % 90);
    }
    set_code(noise.c_str());
    std::string out = console_of([&] { EXPECT_EQ(save_working_cart((root + "big.png").c_str()), 1); });
    EXPECT_NE(out.find("compressed code size too large"), std::string::npos);
    EXPECT_FALSE(exists(root + "big.qz.png"));
    out = console_of([&] { EXPECT_EQ(save_working_cart((root + "big").c_str()), 0); });
    EXPECT_NE(out.find("warning: compressed code too big"), std::string::npos);
    EXPECT_NE(out.find("(saving .qz anyway)"), std::string::npos);

    // A blank label is a warning only.
    set_code("-- small");
    out = console_of([&] { EXPECT_EQ(save_working_cart((root + "small.png").c_str()), 0); });
    EXPECT_NE(out.find("warning: label is blank"), std::string::npos);
}

TEST_F(Disk, QuickSaveAndQuickReload) {
    do_quick_save();
    EXPECT_STREQ(app.message, "*** no filename. not saved! ***");
    std::filesystem::create_directories(home + "/bbs/carts");

    write_cart(home + "/bbs/carts/dl.qz", "-- downloaded");
    ASSERT_EQ(load_working_cart((home + "/bbs/carts/dl.qz").c_str()), 0);
    do_quick_save();
    EXPECT_STREQ(app.message, "* can not overwrite bbs cart! *");

    write_cart(root + "q.qz", "-- one");
    ASSERT_EQ(load_working_cart((root + "q.qz").c_str()), 0);
    app.message[0] = 0;
    do_quick_load();  // unchanged: nothing happens
    EXPECT_STREQ(app.message, "");
    vexel_cart* before = pstate.working_cart;
    EXPECT_EQ(pstate.working_cart, before);

    write_cart(root + "q.qz", "-- two");
    do_quick_load();
    EXPECT_STREQ(app.message, "loaded external changes");
    EXPECT_STREQ(pstate.working_cart->code, "-- two");
    EXPECT_EQ(std::string(cart_disk.filename), root + "q.qz");

    set_code("-- three");
    do_quick_save();
    EXPECT_STREQ(app.message, "saved q.qz");
    EXPECT_NE(read_file(root + "q.qz").find("-- three"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(home + "/backup"));
}

TEST_F(Disk, LegacyMusicSwapAndSoundFixes) {
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
    const std::string out = [&] {
        app.exec_mode = 1;
        ::testing::internal::CaptureStdout();
        apply_legacy_changes(v4.get());
        app.exec_mode = 0;
        return ::testing::internal::GetCapturedStdout();
    }();
    EXPECT_EQ(v4->music[0][0], 2);
    EXPECT_EQ(v4->music[0][2], 1);
    EXPECT_NE(out.find("legacy: pat 0 swap chan: 0 2"), std::string::npos);
    EXPECT_EQ(v4->sfx[3].notes[0].volume, 5);
    EXPECT_EQ(v4->sfx[3].notes[1].volume, 4);
    EXPECT_EQ(v4->sfx[4].notes[0].effect, 0);
    EXPECT_EQ(v4->version, vexel_cart_newest_version);

    CartPtr v5 = old_cart(5);
    apply_legacy_changes(v5.get());
    EXPECT_EQ(v5->music[0][0], 1);
    EXPECT_EQ(v5->sfx[3].notes[0].volume, 7);
    EXPECT_EQ(v5->sfx[4].notes[0].effect, 0);  // slides: up to version 10

    // A later feature anywhere keeps the slides.
    CartPtr v9 = old_cart(9);
    v9->sfx[10].editor_byte = 2;
    apply_legacy_changes(v9.get());
    EXPECT_EQ(v9->sfx[4].notes[0].effect, 1);
    CartPtr v11 = old_cart(11);
    apply_legacy_changes(v11.get());
    EXPECT_EQ(v11->sfx[4].notes[0].effect, 1);
}

TEST_F(Disk, LegacyApiIsPutBeforeOldPrograms) {
    CartPtr c(vexel_cart_create());
    std::snprintf(c->code, vexel_code_buffer, "cls()\nprint(\"archeos\",98,34,7)\n");
    apply_legacy_changes(c.get());
    const std::string code = c->code;
    EXPECT_EQ(code.rfind("--------------------------------\n-- legacy 0.1.1 api injected\n", 0), 0u);
    EXPECT_NE(code.find("function foreach(c,f)"), std::string::npos);
    EXPECT_NE(code.find("  nd=0\n"), std::string::npos);
    const std::string program = "\ncls()\nprint(\"archeos\",98,34,7)\n";
    EXPECT_EQ(code.substr(code.size() - program.size()), program);
    // Applied once: the record is now of the newest version.
    const size_t length = code.size();
    apply_legacy_changes(c.get());
    EXPECT_EQ(std::strlen(c->code), length);
}

TEST(Vdisk, ModesNamesAndLimits) {
    vdisk_clear();
    EXPECT_EQ(vdisk_open("a/b/game.qz", "r"), nullptr);
    vdisk_file* f = vdisk_open("a/b/game.qz", "w");
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->name, "game.qz");
    vdisk_write(f, "abc", 3);
    EXPECT_EQ(vdisk_open("game.qz", "r"), f);
    EXPECT_TRUE(vdisk_file_owned(f));
    EXPECT_EQ(vdisk_open("game.qz", "a"), nullptr);
    EXPECT_EQ(vdisk_open("game.qz", "w")->bytes.size(), 0u);
    EXPECT_EQ(vdisk_open(std::string(64, 'n').c_str(), "w"), nullptr);
    EXPECT_NE(vdisk_open(std::string(63, 'n').c_str(), "w"), nullptr);
    EXPECT_EQ(vdisk_open("dir/", "w"), nullptr);
    for (int i = vdisk_file_count(); i < vdisk_max_files; ++i)
        ASSERT_NE(vdisk_open(("f" + std::to_string(i)).c_str(), "w"), nullptr);
    EXPECT_EQ(vdisk_open("one-too-many", "w"), nullptr);
    EXPECT_EQ(vdisk_file_count(), vdisk_max_files);
    vdisk_clear();
}

TEST_F(Disk, EmbeddedCartridgesAreFoundByPlainName) {
    CartPtr c = make_cart("-- embedded", 4);
    mount_embedded_cart(c.get(), "emb.qz");
    char hash[41];
    hash_cart(c.get(), hash);
    ASSERT_NE(get_embedded_cart_hash_for_filename("emb.qz"), nullptr);
    EXPECT_STREQ(get_embedded_cart_hash_for_filename("emb.qz"), hash);
    EXPECT_EQ(get_embedded_cart_hash_for_filename("other.qz"), nullptr);
    CartPtr read(load_vexel_cart_any_format("somewhere/emb.qz"));
    ASSERT_TRUE(read);
    EXPECT_STREQ(read->code, "-- embedded");

    for (int i = 1; i < embedded_cart_max; ++i) mount_embedded_cart(c.get(), ("e" + std::to_string(i)).c_str());
    EXPECT_EQ(embedded_cart_count(), embedded_cart_max);
    mount_embedded_cart(c.get(), "e65");
    EXPECT_EQ(embedded_cart_count(), embedded_cart_max);
    EXPECT_EQ(get_embedded_cart_hash_for_filename("e65"), nullptr);
}

TEST_F(Disk, PodItemsBecomeTheHeadAndEmbeddedCartridges) {
    cpod pod;
    for (int i = 0; i < 3; ++i) pod.items.push_back(std::make_unique<cpod_item>());
    auto add_block = [&](const char* name, const char* code, int marker) {
        CartPtr c = make_cart(code, marker);
        auto item = std::make_unique<cpod_item>();
        item->type = cpod_type_data;
        std::snprintf(item->name, sizeof item->name, "%s", name);
        item->bytes.resize(cart_block_size);
        ASSERT_EQ(save_vexel_cart_32k(c.get(), item->bytes.data()), 0);
        pod.items.push_back(std::move(item));
    };
    EXPECT_EQ(load_embedded_carts_from_pod(&pod), 1);
    add_block("head.qz", "-- head", 5);
    add_block("level.qz", "-- level", 6);
    ASSERT_EQ(load_embedded_carts_from_pod(&pod), 0);
    EXPECT_STREQ(pstate.working_cart->code, "-- head");
    EXPECT_STREQ(cart_disk.filename, "head.qz");
    EXPECT_EQ(embedded_cart_count(), 2);
    // The table's hash and the working cartridge's agree, so both name the
    // same stored-data file.
    EXPECT_STREQ(get_embedded_cart_hash_for_filename("head.qz"), cart_disk.hash);
    ASSERT_EQ(load_working_cart("level.qz"), 0);
    EXPECT_STREQ(pstate.working_cart->code, "-- level");

    // A damaged head block changes nothing.
    pod.items[3]->bytes.resize(100);
    EXPECT_EQ(load_embedded_carts_from_pod(&pod), 2);
    EXPECT_STREQ(pstate.working_cart->code, "-- level");
}
