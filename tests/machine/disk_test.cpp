#include <gtest/gtest.h>

#include <vector>

#include "cart/png_cart.h"
#include "cart_io_fixture.h"
#include "framework/fenn_pod.h"

using Disk = CartIo;

TEST_F(Disk, JoinTooLongForTheCartridgeLeavesTheCodeAlone) {
    set_code("keep");
    for (int t = 0; t < 2; ++t) {
        std::memset(M->code_tabs[t], 'x', vexel_code_held_max - 3);
        M->code_tabs[t][vexel_code_held_max - 3] = 0;
    }
    EXPECT_GT(vexel_merge_code_from_tabs(M), size_t(vexel_code_held_max));
    EXPECT_STREQ(M->working_cart->code, "keep");
    EXPECT_EQ(vexel_save_working_cart(M, (root + "big.qz").c_str()), 1);
    EXPECT_FALSE(exists(root + "big.qz"));
}

TEST_F(Disk, AProgramPastTheRunLimitIsSavedAsTextButNotAsAPicture) {
    set_code("keep");
    for (int t = 0; t < 2; ++t) {
        std::memset(M->code_tabs[t], 'x', vexel_code_max - 3);
        M->code_tabs[t][vexel_code_max - 3] = 0;
    }
    const size_t length = vexel_merge_code_from_tabs(M);
    EXPECT_GT(length, size_t(vexel_code_max));
    EXPECT_EQ(std::strlen(M->working_cart->code), length);
    EXPECT_EQ(vexel_save_working_cart(M, (root + "big.qz.png").c_str()), 1);
    EXPECT_FALSE(exists(root + "big.qz.png"));
    ASSERT_EQ(vexel_save_working_cart(M, (root + "big.qz").c_str()), 0);
    ASSERT_EQ(vexel_load_working_cart(M, (root + "big.qz").c_str()), 0);
    EXPECT_EQ(std::strlen(M->working_cart->code), length);
}

TEST_F(Disk, LoadingTriesTheCandidateNamesInOrder) {
    write_cart(root + "game.qz", "-- text", 1);
    write_cart(root + "game.png", "-- png name", 3);
    {
        CartPtr c = make_cart("-- picture", 2);
        ASSERT_EQ(png_cart_save(c.get(), M->art, (root + "game.qz.png").c_str()), 0);
    }
    ASSERT_EQ(vexel_load_working_cart(M, (root + "game").c_str()), 0);
    EXPECT_STREQ(M->working_cart->code, "-- text");
    EXPECT_EQ(std::string(M->file.filename), root + "game.qz");

    std::filesystem::remove(root + "game.qz");
    ASSERT_EQ(vexel_load_working_cart(M, (root + "game").c_str()), 0);
    EXPECT_STREQ(M->working_cart->code, "-- picture");
    EXPECT_EQ(std::string(M->file.filename), root + "game.qz.png");
    ASSERT_NE(M->working_cart->label, nullptr);

    std::filesystem::remove(root + "game.qz.png");
    ASSERT_EQ(vexel_load_working_cart(M, (root + "game").c_str()), 0);
    EXPECT_STREQ(M->working_cart->code, "-- png name");
    EXPECT_EQ(std::string(M->file.filename), root + "game.png");

    // Nothing readable: the working cartridge, name and hash stay.
    const std::string name = M->file.filename, hash = M->file.hash;
    write_file(root + "junk.qz", "not a cartridge");
    EXPECT_EQ(vexel_load_working_cart(M, (root + "junk").c_str()), cart_not_a_cart);
    EXPECT_EQ(vexel_load_working_cart(M, (root + "missing").c_str()), cart_not_found);
    EXPECT_EQ(std::string(M->file.filename), name);
    EXPECT_EQ(std::string(M->file.hash), hash);
    EXPECT_STREQ(M->working_cart->code, "-- png name");

}

TEST_F(Disk, ANewerCartridgeLoadsWithWarningsAndIsBackedUpBeforeItIsSavedOver) {
    tm.host.exec_mode = 1;  // console lines go to the output
    write_file(root + "new.qz", "vexel cartridge\nversion 99\n__lua__\n-- \xe2\x98\xba \xff\n");
    ASSERT_EQ(vexel_load_working_cart(M, (root + "new").c_str()), cart_ok);
    const std::vector<std::string> warnings = {
        "cartridge version 99: newer than this vexel; some things may not work",
        "2 unknown characters in the code became ?",
    };
    EXPECT_EQ(M->file.load_warnings, warnings);
    EXPECT_EQ(tm.output, "** " + warnings[0] + "\n** " + warnings[1] + "\n");

    const std::string original = read_file(root + "new.qz");
    ASSERT_EQ(vexel_save_working_cart(M, (root + "new.qz").c_str()), 0);
    EXPECT_EQ(read_file(home + "/backup/new.qz"), original);
    ASSERT_EQ(vexel_load_working_cart(M, (root + "new").c_str()), cart_ok);
    EXPECT_TRUE(M->file.load_warnings.empty());
}

TEST_F(Disk, SixteenTabsAndMoreSeparatorsKeepAllTheirCode) {
    for (int tabs : {9, 20}) {
        std::string code;
        for (int t = 0; t < tabs; ++t) code += (t ? "\n-->8\n" : "") + std::string("t") + std::to_string(t) + "=1";
        write_file(root + "tabs.qz", "vexel cartridge\nversion 15\n__lua__\n" + code + "\n");
        ASSERT_EQ(vexel_load_working_cart(M, (root + "tabs.qz").c_str()), cart_ok);
        EXPECT_STREQ(M->code_tabs[8], "t8=1");
        ASSERT_EQ(vexel_save_working_cart(M, (root + "tabs.qz").c_str()), 0);
        CartPtr back(vexel_cart_load_text_file((root + "tabs.qz").c_str()));
        ASSERT_TRUE(back);
        EXPECT_EQ(std::string(back->code), code) << tabs;
    }
}

TEST_F(Disk, PreparingSyncsTheSharedHalfAndHashesAndSplitsTabs) {
    CartPtr sheet = make_cart("a\n-->8\nb");
    sheet->gfx->pix[64 * 128 + 2] = 9;  // sprite row 64 -> map row 32
    vexel_prepare_loaded_cart(M, sheet.release(), "x.qz");
    EXPECT_EQ(M->working_cart->map->pix[32 * 128 + 1], 9);
    EXPECT_STREQ(M->code_tabs[1], "b");
    EXPECT_EQ(std::string(M->file.filename), "x.qz");
    char hash[41];
    cart_hash(M->working_cart, hash);
    EXPECT_STREQ(M->file.hash, hash);

    CartPtr map = make_cart("");
    map->gfx->pix[64 * 128 + 2] = 9;
    map->map->pix[63 * 128 + 127] = 5;  // one map cell wins
    vexel_prepare_loaded_cart(M, map.release(), nullptr);
    EXPECT_EQ(M->working_cart->gfx->pix[64 * 128 + 2], 0);
    EXPECT_EQ(M->working_cart->gfx->pix[127 * 128 + 126], 5);
    // Without a name the cartridge is named by its stored-data file.
    EXPECT_EQ(std::string(M->file.filename), cart_stored_data_path(M->file.hash));
}

TEST_F(Disk, SavingAddsTheExtensionAndBacksUpOtherFiles) {
    set_code("-- mine");
    ASSERT_EQ(vexel_save_working_cart(M, (root + "game").c_str()), 0);
    EXPECT_TRUE(exists(root + "game.qz"));
    EXPECT_EQ(std::string(M->file.filename), root + "game.qz");
    ASSERT_EQ(vexel_save_working_cart(M, (root + "game.png").c_str()), 0);
    EXPECT_TRUE(exists(root + "game.qz.png"));

    // Re-saving the cartridge's own file keeps a copy of what it replaced,
    // quietly; saving it unchanged again adds no second copy.
    const std::string first = read_file(root + "game.qz.png");
    tm.message.clear();
    ASSERT_EQ(vexel_save_working_cart(M, (root + "game.qz.png").c_str()), 0);
    EXPECT_EQ(read_file(home + "/backup/game.qz.png"), first);
    EXPECT_EQ(tm.message, "");
    ASSERT_EQ(vexel_save_working_cart(M, (root + "game.qz.png").c_str()), 0);
    EXPECT_FALSE(exists(home + "/backup/game-1.qz.png"));
    std::filesystem::remove_all(home + "/backup");

    // Saving over another file keeps a copy of it first.
    write_cart(root + "other.qz", "-- theirs");
    const std::string theirs = read_file(root + "other.qz");
    ASSERT_EQ(vexel_save_working_cart(M, (root + "other.qz").c_str()), 0);
    EXPECT_EQ(read_file(home + "/backup/other.qz"), theirs);
    EXPECT_EQ(tm.message, "** overwriting; saved backup **");

    // A second, different file of the same name does not replace that backup.
    std::filesystem::create_directories(root + "sub");
    write_cart(root + "sub/other.qz", "-- another");
    const std::string another = read_file(root + "sub/other.qz");
    ASSERT_EQ(vexel_save_working_cart(M, (root + "sub/other.qz").c_str()), 0);
    EXPECT_EQ(read_file(home + "/backup/other.qz"), theirs);
    EXPECT_EQ(read_file(home + "/backup/other-1.qz"), another);
}

TEST_F(Disk, BackupsOfOneNameKeepTheLastFewAndNameUntitledCartridgesByTitle) {
    // Each save over a changed file adds a copy; only the newest few stay.
    for (int i = 0; i < backup_keep_per_name + 3; ++i) {
        set_code(("-- version " + std::to_string(i)).c_str());
        ASSERT_EQ(vexel_save_working_cart(M, (root + "game.qz").c_str()), 0);
    }
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(home + "/backup")) ++n;
    EXPECT_EQ(n, size_t(backup_keep_per_name));
    const int newest = backup_keep_per_name + 1;  // saves 1.. replaced versions 0..
    EXPECT_NE(read_file(home + "/backup/game-" + std::to_string(newest) + ".qz").find("-- version 9"), std::string::npos);
    EXPECT_FALSE(exists(home + "/backup/game.qz"));
    EXPECT_FALSE(exists(home + "/backup/game-1.qz"));
    EXPECT_TRUE(exists(home + "/backup/game-2.qz"));

    // Unsaved changes of a cartridge without a file carry its title.
    std::filesystem::remove_all(home + "/backup");
    set_code("-- Space Café: the game!\nprint(1)");
    ASSERT_EQ(vexel_save_backup(M, "", false), 0);
    EXPECT_TRUE(exists(home + "/backup/space_caf_the_game.qz"));
    set_code("print(1)");
    ASSERT_EQ(vexel_save_backup(M, "", false), 0);
    EXPECT_TRUE(exists(home + "/backup/untitled.qz"));
}

TEST_F(Disk, FailedSavesLoseNothing) {
    write_cart(root + "keep.qz", "-- keep");
    ASSERT_EQ(vexel_load_working_cart(M, (root + "keep.qz").c_str()), 0);
    const std::string name = M->file.filename, hash = M->file.hash;
    set_code("-- changed");
    EXPECT_EQ(vexel_save_working_cart(M, (home + "/no/such/folder/x.qz").c_str()), 1);
    EXPECT_EQ(tm.message, "** failed to save **");
    EXPECT_EQ(std::string(M->file.filename), name);
    EXPECT_EQ(std::string(M->file.hash), hash);

    // A PNG target refuses a program that does not fit the picture; a text
    // target warns and saves.
    std::string noise;
    uint32_t x = 1;
    for (int i = 0; i < 40000; ++i) {
        x = x * 1103515245u + 12345u;
        noise += char('!' + (x >> 16) % 90);
    }
    set_code(noise.c_str());
    std::string out = console_of([&] { EXPECT_EQ(vexel_save_working_cart(M, (root + "big.png").c_str()), 1); });
    EXPECT_NE(out.find("compressed code size too large"), std::string::npos);
    EXPECT_FALSE(exists(root + "big.qz.png"));
    out = console_of([&] { EXPECT_EQ(vexel_save_working_cart(M, (root + "big").c_str()), 0); });
    EXPECT_NE(out.find("warning: compressed code too big"), std::string::npos);
    EXPECT_NE(out.find("(saving .qz anyway)"), std::string::npos);

    // A blank label is a warning only.
    set_code("-- small");
    out = console_of([&] { EXPECT_EQ(vexel_save_working_cart(M, (root + "small.png").c_str()), 0); });
    EXPECT_NE(out.find("warning: label is blank"), std::string::npos);
}

TEST_F(Disk, QuickSaveAndQuickReload) {
    vexel_quick_save(M);
    EXPECT_EQ(tm.message, "*** no filename. not saved! ***");
    std::filesystem::create_directories(home + "/bbs/carts");

    write_cart(home + "/bbs/carts/dl.qz", "-- downloaded");
    ASSERT_EQ(vexel_load_working_cart(M, (home + "/bbs/carts/dl.qz").c_str()), 0);
    vexel_quick_save(M);
    EXPECT_EQ(tm.message, "* can not overwrite bbs cart! *");

    write_cart(root + "q.qz", "-- one");
    ASSERT_EQ(vexel_load_working_cart(M, (root + "q.qz").c_str()), 0);
    tm.message.clear();
    vexel_quick_load(M);  // unchanged: nothing happens
    EXPECT_EQ(tm.message, "");
    vexel_cart* before = M->working_cart;
    EXPECT_EQ(M->working_cart, before);

    write_cart(root + "q.qz", "-- two");
    vexel_quick_load(M);
    EXPECT_EQ(tm.message, "loaded external changes");
    EXPECT_STREQ(M->working_cart->code, "-- two");
    EXPECT_EQ(std::string(M->file.filename), root + "q.qz");

    set_code("-- three");
    vexel_quick_save(M);
    EXPECT_EQ(tm.message, "saved q.qz");
    EXPECT_NE(read_file(root + "q.qz").find("-- three"), std::string::npos);
    EXPECT_NE(read_file(home + "/backup/q.qz").find("-- two"), std::string::npos);  // what it replaced
}

TEST_F(Disk, EmbeddedCartridgesAreFoundByPlainName) {
    CartPtr c = make_cart("-- embedded", 4);
    cart_mount_embedded(&M->vdisk, c.get(), "emb.qz");
    char hash[41];
    cart_hash(c.get(), hash);
    ASSERT_NE(cart_embedded_hash(&M->vdisk, "emb.qz"), nullptr);
    EXPECT_STREQ(cart_embedded_hash(&M->vdisk, "emb.qz"), hash);
    EXPECT_EQ(cart_embedded_hash(&M->vdisk, "other.qz"), nullptr);
    vexel_cart* raw = nullptr;
    ASSERT_EQ(cart_read_file(&M->vdisk, "somewhere/emb.qz", &raw), cart_ok);
    CartPtr read(raw);
    EXPECT_STREQ(read->code, "-- embedded");

    for (int i = 1; i < embedded_cart_max; ++i) cart_mount_embedded(&M->vdisk, c.get(), ("e" + std::to_string(i)).c_str());
    EXPECT_EQ(int(M->vdisk.embedded.size()), embedded_cart_max);
    cart_mount_embedded(&M->vdisk, c.get(), "e65");
    EXPECT_EQ(int(M->vdisk.embedded.size()), embedded_cart_max);
    EXPECT_EQ(cart_embedded_hash(&M->vdisk, "e65"), nullptr);
}

TEST_F(Disk, PodItemsBecomeTheHeadAndEmbeddedCartridges) {
    fenn_pod pod;
    for (int i = 0; i < 3; ++i) pod.items.push_back(std::make_unique<fenn_pod_item>());
    auto add_block = [&](const char* name, const char* code, int marker) {
        CartPtr c = make_cart(code, marker);
        auto item = std::make_unique<fenn_pod_item>();
        item->type = fenn_pod_type_data;
        std::snprintf(item->name, sizeof item->name, "%s", name);
        item->bytes.resize(cart_block_size);
        ASSERT_EQ(png_cart_save_32k(c.get(), item->bytes.data()), 0);
        pod.items.push_back(std::move(item));
    };
    EXPECT_EQ(vexel_load_embedded_carts(M, &pod), 1);
    add_block("head.qz", "-- head", 5);
    add_block("level.qz", "-- level", 6);
    ASSERT_EQ(vexel_load_embedded_carts(M, &pod), 0);
    EXPECT_STREQ(M->working_cart->code, "-- head");
    EXPECT_STREQ(M->file.filename, "head.qz");
    EXPECT_EQ(int(M->vdisk.embedded.size()), 2);
    // The table's hash and the working cartridge's agree, so both name the
    // same stored-data file.
    EXPECT_STREQ(cart_embedded_hash(&M->vdisk, "head.qz"), M->file.hash);
    // The head is built in: Ctrl+S has no file of the user's to write
    // (its name would land in whatever folder vexel was started from).
    EXPECT_TRUE(M->file.builtin);
    vexel_quick_save(M);
    EXPECT_EQ(tm.message, "*** no filename. not saved! ***");
    EXPECT_FALSE(exists("head.qz"));
    ASSERT_EQ(vexel_load_working_cart(M, "level.qz"), 0);
    EXPECT_STREQ(M->working_cart->code, "-- level");
    EXPECT_TRUE(M->file.builtin);
    // A cartridge of the user's is not.
    write_cart(root + "mine.qz", "-- mine");
    ASSERT_EQ(vexel_load_working_cart(M, (root + "mine.qz").c_str()), 0);
    EXPECT_FALSE(M->file.builtin);
    ASSERT_EQ(vexel_load_working_cart(M, "level.qz"), 0);

    // A damaged head block changes nothing.
    pod.items[3]->bytes.resize(100);
    EXPECT_EQ(vexel_load_embedded_carts(M, &pod), 2);
    EXPECT_STREQ(M->working_cart->code, "-- level");
}

// A cartridge that is a link to a file elsewhere: the user's save reaches the
// file they opened and the link stays; a name a program chose is never
// written through a link.
TEST_F(Disk, SavingALinkWritesItsTargetOnlyForTheUser) {
    const std::string elsewhere = home + "/elsewhere";
    std::filesystem::create_directories(elsewhere);
    write_file(elsewhere + "/real.qz", "vexel cartridge\nversion 15\n__lua__\n-- before\n");
    std::filesystem::create_symlink(elsewhere + "/real.qz", root + "linked.qz");

    ASSERT_EQ(vexel_load_working_cart(M, (root + "linked.qz").c_str()), cart_ok);
    set_code("-- edited by the user");
    ASSERT_EQ(vexel_save_working_cart(M, M->file.filename), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(root + "linked.qz"));
    EXPECT_NE(read_file(elsewhere + "/real.qz").find("-- edited by the user"), std::string::npos);
    EXPECT_EQ(std::string(M->file.filename), root + "linked.qz");

    // A running program saving under a name that is a link is refused.
    tm.host.exec_mode = 1;
    M->running = M->program_active = 1;
    set_code("-- written by a program");
    EXPECT_EQ(vexel_save_working_cart(M, (root + "linked.qz").c_str()), 1);
    EXPECT_NE(tm.output.find("save: the file is a link"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_symlink(root + "linked.qz"));
    EXPECT_EQ(read_file(elsewhere + "/real.qz").find("written by a program"), std::string::npos);

    // So is the user's save of a link a program loaded.
    ASSERT_EQ(vexel_load_working_cart(M, (root + "linked.qz").c_str()), cart_ok);
    M->running = M->program_active = 0;
    set_code("-- saved after the program loaded it");
    EXPECT_EQ(vexel_save_working_cart(M, M->file.filename), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(root + "linked.qz"));

    // A link that leads nowhere is said so, and stays.
    std::filesystem::create_symlink(elsewhere + "/gone.qz", root + "dangling.qz");
    EXPECT_EQ(vexel_save_working_cart(M, (root + "dangling.qz").c_str()), 1);
    EXPECT_NE(tm.output.find("save: the link leads nowhere"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_symlink(root + "dangling.qz"));
}
