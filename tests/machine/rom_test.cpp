#include <gtest/gtest.h>

#include <sys/stat.h>

#include <iterator>
#include <vector>

#include "cart_io_fixture.h"

namespace {
constexpr int32_t fix(int v) { return int32_t(uint32_t(v) << 16); }
}  // namespace

class Rom : public CartIo {
protected:
    void SetUp() override {
        CartIo::SetUp();
        write_cart(root + "game.qz", "-- game", 7);
        ASSERT_EQ(vexel_load_working_cart(M, (root + "game.qz").c_str()), 0);
        M->program_active = 1;
        M->running = 1;
    }
    int mem(int addr) { return vexel_peek(M, M->cart, addr); }
};

TEST_F(Rom, ReloadCopiesFromTheWorkingCartridgeAsPokesDo) {
    EXPECT_EQ(vexel_reload_call(M, 0, 0, 0, 0, nullptr), 17152);
    EXPECT_EQ(mem(0), 7);
    EXPECT_EQ(mem(0x3000), 7);

    EXPECT_EQ(vexel_reload_call(M, 3, fix(0x6000), 0, fix(0x2000), nullptr), 0x2000);
    EXPECT_EQ(M->screen->pix[0], 7);  // low nibble: the left pixel
    EXPECT_EQ(M->screen->pix[1], 0);

    vexel_poke(M, M->cart, 0x4300, 0x55);
    EXPECT_EQ(vexel_reload_call(M, 3, fix(0x4300), fix(0x4300), fix(16), nullptr), 16);
    EXPECT_EQ(mem(0x4300), 0);  // sources outside the ROM read 0

    // Too long: nothing copied; destinations past the memory raise.
    vexel_poke(M, M->cart, 0, 1);
    EXPECT_EQ(vexel_reload_call(M, 3, 0, 0, fix(-1), nullptr), -1);  // 0xffffffff bytes
    EXPECT_EQ(mem(0), 1);
    EXPECT_EQ(vexel_reload_call(M, 3, fix(0x7fff), 0, fix(2), nullptr), 2);
    EXPECT_TRUE(M->error_pending);  // for the binding to raise
    EXPECT_STREQ(M->error_string, "bad memory access");
    EXPECT_EQ(mem(0x7fff), 7);
}

TEST_F(Rom, CstoreWithoutNamePersistsAcrossLoadsAndLeavesTheFile) {
    const std::string original = read_file(root + "game.qz");
    vexel_poke(M, M->cart, 0x3100, 0x12);  // music pattern 0, channel 0
    EXPECT_EQ(vexel_cstore_call(M, 3, fix(0x3100), fix(0x3100), fix(1), nullptr), 1);
    EXPECT_EQ(M->hold_frames, rom_hold_frames);
    EXPECT_TRUE(exists(cart_stored_data_path(M->file.hash)));

    ASSERT_EQ(vexel_load_working_cart(M, (root + "game.qz").c_str()), 0);
    EXPECT_EQ(vexel_peek(nullptr, M->working_cart, 0x3100), 0x12);
    // The rest of the ROM is the cartridge's own, not blanked by the store.
    EXPECT_EQ(vexel_peek(nullptr, M->working_cart, 0), 7);
    EXPECT_EQ(vexel_peek(nullptr, M->working_cart, 0x3000), 7);
    EXPECT_EQ(read_file(root + "game.qz"), original);
}

TEST_F(Rom, NamedFilesLiveInTheStoreFolder) {
    vexel_poke(M, M->cart, 5, 0x42);
    EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(0x2000), "levels.qz"), 0x2000);
    EXPECT_TRUE(exists(home + "/cstore/levels.qz"));
    vexel_poke(M, M->cart, 5, 0);
    M->hold_frames = 0;
    EXPECT_EQ(vexel_reload_call(M, 4, 0, 0, fix(0x2000), "levels.qz"), 0x2000);
    EXPECT_EQ(mem(5), 0x42);
    EXPECT_EQ(M->hold_frames, 0);  // the same file as the last cstore

    EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(16), "/pic.png"), 16);
    EXPECT_TRUE(exists(home + "/cstore/pic.png"));
    EXPECT_EQ(vexel_reload_call(M, 4, 0, 0, fix(16), "levels.qz"), 16);
    M->hold_frames = 0;
    EXPECT_EQ(vexel_reload_call(M, 4, 0, 0, fix(16), "pic.png"), 16);
    EXPECT_EQ(M->hold_frames, rom_hold_frames);  // a different file
    EXPECT_EQ(vexel_reload_call(M, 4, 0, 0, fix(16), "missing.qz"), 0);

    // Back to the working cartridge: the program waits again.
    M->hold_frames = 0;
    vexel_reload_call(M, 0, 0, 0, 0, nullptr);
    EXPECT_EQ(M->hold_frames, rom_hold_frames);
    EXPECT_STREQ(rom_last_external_file(M), "");
}

TEST_F(Rom, NamesThatCouldLeaveTheStoreFolderAreRefused) {
    const std::string outside = home + "/outside.qz";
    write_cart(outside, "-- outside", 3);
    const std::string before = read_file(outside);
    const std::string too_long(512, 'a');
    for (const char* name : {"__x", "/__x", "../outside.qz", "a/../../outside.qz", "..", "//etc/passwd", "",
                             too_long.c_str(), "sub/.."}) {
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(16), name), 0) << name;
        EXPECT_EQ(vexel_reload_call(M, 4, 0, 0, fix(16), name), 0) << name;
    }
    EXPECT_EQ(read_file(outside), before);
    EXPECT_TRUE(rom_name_allowed("a..b.qz"));
    EXPECT_TRUE(rom_name_allowed("/levels.qz"));
    EXPECT_TRUE(rom_name_allowed(std::string(511, 'a').c_str()));
}

TEST_F(Rom, LinksInTheStoreFolderAreFollowedOnlyInside) {
    namespace fs = std::filesystem;
    fs::create_directories(home + "/elsewhere");
    write_cart(home + "/elsewhere/secret.qz", "-- secret", 5);
    const std::string secret = read_file(home + "/elsewhere/secret.qz");
    fs::create_symlink(home + "/elsewhere", home + "/cstore/outdir");
    fs::create_symlink(home + "/elsewhere/secret.qz", home + "/cstore/secret.qz");
    fs::create_symlink(home + "/cstore/missing.qz", home + "/cstore/dangling.qz");
    vexel_poke(M, M->cart, 0, 0x99);

    std::string out = console_of([&] {
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(16), "outdir/evil.qz"), 0);
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(16), "secret.qz"), 0);
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(16), "dangling.qz"), 0);
    });
    // One line for the same refusal, however often a program tries.
    EXPECT_EQ(out, "** cstore: outside the store folder\n");
    EXPECT_FALSE(exists(home + "/elsewhere/evil.qz"));
    EXPECT_EQ(read_file(home + "/elsewhere/secret.qz"), secret);
    EXPECT_FALSE(exists(home + "/cstore/missing.qz"));

    out = console_of([&] {
        EXPECT_EQ(vexel_reload_call(M, 4, 0, 0, fix(16), "secret.qz"), 0);
        EXPECT_EQ(vexel_reload_call(M, 4, 0, 0, fix(16), "outdir/secret.qz"), 0);
    });
    EXPECT_EQ(out, "** reload: outside the store folder\n");
    EXPECT_EQ(mem(0), 0x99);  // nothing was read

    // Inside the folder a link is just another name for a file.
    fs::create_directories(home + "/cstore/levels");
    fs::create_symlink("levels", home + "/cstore/alias");
    EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(16), "alias/one.qz"), 16);
    EXPECT_TRUE(exists(home + "/cstore/levels/one.qz"));
    EXPECT_EQ(vexel_reload_call(M, 4, 0, 0, fix(16), "levels/one.qz"), 16);

    // The cartridge's own stored-data file is held to the folder too, when
    // storing and when it is laid over the cartridge as it loads.
    const std::string own = cart_stored_data_path(M->file.hash);
    fs::create_symlink(home + "/elsewhere/secret.qz", own);
    rom_reset_for_run(M, false);
    out = console_of([&] { EXPECT_EQ(vexel_cstore_call(M, 3, 0, 0, fix(1), nullptr), 0); });
    EXPECT_EQ(out, "** cstore: outside the store folder\n");
    EXPECT_EQ(read_file(home + "/elsewhere/secret.qz"), secret);
    ASSERT_EQ(vexel_load_working_cart(M, (root + "game.qz").c_str()), 0);
    EXPECT_EQ(vexel_peek(nullptr, M->working_cart, 0), 7);  // not the linked file's 5
}

TEST_F(Rom, FoldersAndSpecialFilesAreNoStoreFiles) {
    std::filesystem::create_directories(home + "/cstore/sub");
    ASSERT_EQ(::mkfifo((home + "/cstore/pipe.qz").c_str(), 0644), 0);
    std::string out = console_of([&] {
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(16), "sub"), 0);
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(16), "sub/"), 0);
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(16), "."), 0);
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(16), "pipe.qz"), 0);
    });
    EXPECT_EQ(out, "** cstore: name is a folder\n** cstore: not a regular file\n");
    // A FIFO with no writer is refused at once rather than waited on.
    out = console_of([&] {
        EXPECT_EQ(vexel_reload_call(M, 4, 0, 0, fix(16), "pipe.qz"), 0);
        EXPECT_EQ(vexel_reload_call(M, 4, 0, 0, fix(16), "sub"), 0);
    });
    EXPECT_EQ(out, "** reload: not a regular file\n** reload: name is a folder\n");
    EXPECT_FALSE(exists(home + "/cstore.qz"));
    EXPECT_FALSE(exists(home + "/cstore/sub.qz"));
}

TEST_F(Rom, AFailedStoreKeepsTheOldFileAndSaysWhy) {
    vexel_poke(M, M->cart, 0, 0x11);
    ASSERT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(1), "kept.qz"), 1);
    const std::string before = read_file(home + "/cstore/kept.qz");
    vexel_poke(M, M->cart, 0, 0x22);
    const std::string out = console_of([&] {
        vexel_test::FileSizeLimit limit(1000);  // a text cartridge is far longer
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(1), "kept.qz"), 0);
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(1), "new.qz"), 0);
    });
    EXPECT_EQ(out, "** cstore: file too large\n");
    EXPECT_EQ(read_file(home + "/cstore/kept.qz"), before);
    EXPECT_FALSE(exists(home + "/cstore/new.qz"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home + "/cstore"), {}), 1);
}

TEST_F(Rom, WrittenFilesArePerRunAndLimited) {
    for (int i = 0; i < rom_written_files_max; ++i)
        ASSERT_EQ(rom_cstore(M, (home + "/cstore/f" + std::to_string(i) + ".qz").c_str(), 0, 0, 1, false),
                  cstore_ok);
    EXPECT_EQ(rom_cstore(M, (home + "/cstore/one_more.qz").c_str(), 0, 0, 1, false), cstore_list_full);
    EXPECT_FALSE(exists(home + "/cstore/one_more.qz"));
    EXPECT_EQ(rom_cstore(M, (home + "/cstore/f0.qz").c_str(), 0, 0, 1, false), cstore_ok);
    rom_reset_for_run(M, false);
    EXPECT_EQ(rom_cstore(M, (home + "/cstore/one_more.qz").c_str(), 0, 0, 1, false), cstore_ok);
}

TEST_F(Rom, UnreadableOrNewerStoreFilesAreBackedUpBeforeTheyAreReplaced) {
    // A newer version is read, but written back it would lose what is not
    // understood: it is kept as it was, once.
    for (const std::string text : {"not a cartridge", "vexel cartridge\nversion 99\n"}) {
        write_file(home + "/cstore/odd.qz", text);
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(4), "odd.qz"), 4);
        EXPECT_EQ(read_file(home + "/backup/odd.qz"), text);
        EXPECT_EQ(vexel_cstore_call(M, 4, 0, 0, fix(4), "odd.qz"), 4);
        std::filesystem::remove(home + "/backup/odd.qz");
        EXPECT_TRUE(std::filesystem::is_empty(home + "/backup"));
    }
}

TEST_F(Rom, EmbeddedNamesMapToTheirStoredDataFile) {
    CartPtr emb = make_cart("-- embedded", 9);
    cart_mount_embedded(&M->vdisk, emb.get(), "emb.qz");
    EXPECT_EQ(vexel_reload_call(M, 4, 0, 0, fix(1), "emb.qz"), 1);  // from the virtual disk
    EXPECT_EQ(mem(0), 9);
    vexel_poke(M, M->cart, 0x3000, 0x33);
    EXPECT_EQ(vexel_cstore_call(M, 4, fix(0x3000), fix(0x3000), fix(1), "emb.qz"), 1);
    const std::string sandbox = cart_stored_data_path(cart_embedded_hash(&M->vdisk, "emb.qz"));
    ASSERT_TRUE(exists(sandbox));
    CartPtr stored(vexel_cart_load_text_file(sandbox.c_str()));
    ASSERT_TRUE(stored);
    EXPECT_EQ(vexel_peek(nullptr, stored.get(), 0x3000), 0x33);
    EXPECT_EQ(vexel_peek(nullptr, stored.get(), 0), 9);  // started from the embedded cartridge
    EXPECT_FALSE(exists(home + "/cstore/emb.qz"));
}
