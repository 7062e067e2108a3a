#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "cart/cart_cmd.h"
#include "cart/cart_hex.h"
#include "cart_io_fixture.h"

namespace {
constexpr int32_t fix(int v) { return int32_t(uint32_t(v) << 16); }
}  // namespace

class Rom : public CartIo {
protected:
    void SetUp() override {
        CartIo::SetUp();
        write_cart(root + "game.qz", "-- game", 7);
        ASSERT_EQ(load_working_cart((root + "game.qz").c_str()), 0);
        pstate.mode = shell_running;
        pstate.program_active = 1;
    }
    int mem(int addr) { return vexel_peek(&pstate, pstate.cart, addr); }
};

TEST_F(Rom, ReloadCopiesFromTheWorkingCartridgeAsPokesDo) {
    EXPECT_EQ(vexel_reload_call(0, 0, 0, 0, nullptr), 17152);
    EXPECT_EQ(mem(0), 7);
    EXPECT_EQ(mem(0x3000), 7);

    EXPECT_EQ(vexel_reload_call(3, fix(0x6000), 0, fix(0x2000), nullptr), 0x2000);
    EXPECT_EQ(pstate.screen->pix[0], 7);  // low nibble: the left pixel
    EXPECT_EQ(pstate.screen->pix[1], 0);

    vexel_poke(&pstate, pstate.cart, 0x4300, 0x55);
    EXPECT_EQ(vexel_reload_call(3, fix(0x4300), fix(0x4300), fix(16), nullptr), 16);
    EXPECT_EQ(mem(0x4300), 0);  // sources outside the ROM read 0

    // Too long: nothing copied; destinations past the memory raise.
    vexel_poke(&pstate, pstate.cart, 0, 1);
    EXPECT_EQ(vexel_reload_call(3, 0, 0, fix(-1), nullptr), -1);  // 0xffffffff bytes
    EXPECT_EQ(mem(0), 1);
    EXPECT_EQ(vexel_reload_call(3, fix(0x7fff), 0, fix(2), nullptr), 2);
    EXPECT_EQ(pstate.pending, pending_runtime_error);
    EXPECT_STREQ(pstate.error_string, "bad memory access");
    EXPECT_EQ(mem(0x7fff), 7);
}

TEST_F(Rom, CstoreWithoutNamePersistsAcrossLoadsAndLeavesTheFile) {
    const std::string original = read_file(root + "game.qz");
    vexel_poke(&pstate, pstate.cart, 0x3100, 0x12);  // music pattern 0, channel 0
    EXPECT_EQ(vexel_cstore_call(3, fix(0x3100), fix(0x3100), fix(1), nullptr), 1);
    EXPECT_EQ(pstate.hold_frames, rom_hold_frames);
    EXPECT_TRUE(exists(get_sandboxed_cstore_filename(cart_disk.hash)));

    ASSERT_EQ(load_working_cart((root + "game.qz").c_str()), 0);
    EXPECT_EQ(vexel_peek(nullptr, pstate.working_cart, 0x3100), 0x12);
    // The rest of the ROM is the cartridge's own, not blanked by the store.
    EXPECT_EQ(vexel_peek(nullptr, pstate.working_cart, 0), 7);
    EXPECT_EQ(vexel_peek(nullptr, pstate.working_cart, 0x3000), 7);
    EXPECT_EQ(read_file(root + "game.qz"), original);
}

TEST_F(Rom, NamedFilesLiveInTheStoreFolder) {
    vexel_poke(&pstate, pstate.cart, 5, 0x42);
    EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(0x2000), "levels.qz"), 0x2000);
    EXPECT_TRUE(exists(home + "/cstore/levels.qz"));
    vexel_poke(&pstate, pstate.cart, 5, 0);
    pstate.hold_frames = 0;
    EXPECT_EQ(vexel_reload_call(4, 0, 0, fix(0x2000), "levels.qz"), 0x2000);
    EXPECT_EQ(mem(5), 0x42);
    EXPECT_EQ(pstate.hold_frames, 0);  // the same file as the last cstore

    EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(16), "/pic.png"), 16);
    EXPECT_TRUE(exists(home + "/cstore/pic.png"));
    EXPECT_EQ(vexel_reload_call(4, 0, 0, fix(16), "levels.qz"), 16);
    pstate.hold_frames = 0;
    EXPECT_EQ(vexel_reload_call(4, 0, 0, fix(16), "pic.png"), 16);
    EXPECT_EQ(pstate.hold_frames, rom_hold_frames);  // a different file
    EXPECT_EQ(vexel_reload_call(4, 0, 0, fix(16), "missing.qz"), 0);

    // Back to the working cartridge: the program waits again.
    pstate.hold_frames = 0;
    vexel_reload_call(0, 0, 0, 0, nullptr);
    EXPECT_EQ(pstate.hold_frames, rom_hold_frames);
    EXPECT_STREQ(rom_last_external_file(), "");
}

TEST_F(Rom, NamesThatCouldLeaveTheStoreFolderAreRefused) {
    const std::string outside = home + "/outside.qz";
    write_cart(outside, "-- outside", 3);
    const std::string before = read_file(outside);
    const std::string too_long(512, 'a');
    for (const char* name : {"__x", "/__x", "../outside.qz", "a/../../outside.qz", "..", "//etc/passwd", "",
                             too_long.c_str(), "sub/.."}) {
        EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(16), name), 0) << name;
        EXPECT_EQ(vexel_reload_call(4, 0, 0, fix(16), name), 0) << name;
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
    vexel_poke(&pstate, pstate.cart, 0, 0x99);

    std::string out = console_of([&] {
        EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(16), "outdir/evil.qz"), 0);
        EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(16), "secret.qz"), 0);
        EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(16), "dangling.qz"), 0);
    });
    // One line for the same refusal, however often a program tries.
    EXPECT_EQ(out, "** cstore: outside the store folder\n");
    EXPECT_FALSE(exists(home + "/elsewhere/evil.qz"));
    EXPECT_EQ(read_file(home + "/elsewhere/secret.qz"), secret);
    EXPECT_FALSE(exists(home + "/cstore/missing.qz"));

    out = console_of([&] {
        EXPECT_EQ(vexel_reload_call(4, 0, 0, fix(16), "secret.qz"), 0);
        EXPECT_EQ(vexel_reload_call(4, 0, 0, fix(16), "outdir/secret.qz"), 0);
    });
    EXPECT_EQ(out, "** reload: outside the store folder\n");
    EXPECT_EQ(mem(0), 0x99);  // nothing was read

    // Inside the folder a link is just another name for a file.
    fs::create_directories(home + "/cstore/levels");
    fs::create_symlink("levels", home + "/cstore/alias");
    EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(16), "alias/one.qz"), 16);
    EXPECT_TRUE(exists(home + "/cstore/levels/one.qz"));
    EXPECT_EQ(vexel_reload_call(4, 0, 0, fix(16), "levels/one.qz"), 16);

    // The cartridge's own stored-data file is held to the folder too, when
    // storing and when it is laid over the cartridge as it loads.
    const std::string own = get_sandboxed_cstore_filename(cart_disk.hash);
    fs::create_symlink(home + "/elsewhere/secret.qz", own);
    rom_reset_for_run();
    out = console_of([&] { EXPECT_EQ(vexel_cstore_call(3, 0, 0, fix(1), nullptr), 0); });
    EXPECT_EQ(out, "** cstore: outside the store folder\n");
    EXPECT_EQ(read_file(home + "/elsewhere/secret.qz"), secret);
    ASSERT_EQ(load_working_cart((root + "game.qz").c_str()), 0);
    EXPECT_EQ(vexel_peek(nullptr, pstate.working_cart, 0), 7);  // not the linked file's 5
}

TEST_F(Rom, FoldersAndSpecialFilesAreNoStoreFiles) {
    std::filesystem::create_directories(home + "/cstore/sub");
    ASSERT_EQ(::mkfifo((home + "/cstore/pipe.qz").c_str(), 0644), 0);
    std::string out = console_of([&] {
        EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(16), "sub"), 0);
        EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(16), "sub/"), 0);
        EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(16), "."), 0);
        EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(16), "pipe.qz"), 0);
    });
    EXPECT_EQ(out, "** cstore: name is a folder\n** cstore: not a regular file\n");
    // A FIFO with no writer is refused at once rather than waited on.
    out = console_of([&] {
        EXPECT_EQ(vexel_reload_call(4, 0, 0, fix(16), "pipe.qz"), 0);
        EXPECT_EQ(vexel_reload_call(4, 0, 0, fix(16), "sub"), 0);
    });
    EXPECT_EQ(out, "** reload: not a regular file\n** reload: name is a folder\n");
    EXPECT_FALSE(exists(home + "/cstore.qz"));
    EXPECT_FALSE(exists(home + "/cstore/sub.qz"));
}

TEST_F(Rom, AFailedStoreKeepsTheOldFileAndSaysWhy) {
    vexel_poke(&pstate, pstate.cart, 0, 0x11);
    ASSERT_EQ(vexel_cstore_call(4, 0, 0, fix(1), "kept.qz"), 1);
    const std::string before = read_file(home + "/cstore/kept.qz");
    vexel_poke(&pstate, pstate.cart, 0, 0x22);
    const std::string out = console_of([&] {
        vexel_test::FileSizeLimit limit(1000);  // a text cartridge is far longer
        EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(1), "kept.qz"), 0);
        EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(1), "new.qz"), 0);
    });
    EXPECT_EQ(out, "** cstore: file too large\n");
    EXPECT_EQ(read_file(home + "/cstore/kept.qz"), before);
    EXPECT_FALSE(exists(home + "/cstore/new.qz"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home + "/cstore"), {}), 1);
}

TEST_F(Rom, WrittenFilesArePerRunAndLimited) {
    for (int i = 0; i < rom_written_files_max; ++i)
        ASSERT_EQ(cstore_cart_partial((home + "/cstore/f" + std::to_string(i) + ".qz").c_str(), 0, 0, 1, false),
                  cstore_ok);
    EXPECT_EQ(cstore_cart_partial((home + "/cstore/one_more.qz").c_str(), 0, 0, 1, false), cstore_list_full);
    EXPECT_FALSE(exists(home + "/cstore/one_more.qz"));
    EXPECT_EQ(cstore_cart_partial((home + "/cstore/f0.qz").c_str(), 0, 0, 1, false), cstore_ok);
    rom_reset_for_run();
    EXPECT_EQ(cstore_cart_partial((home + "/cstore/one_more.qz").c_str(), 0, 0, 1, false), cstore_ok);
}

TEST_F(Rom, AnUnreadableStoreFileIsBackedUpBeforeItIsReplaced) {
    write_file(home + "/cstore/odd.qz", "vexel cartridge\nversion 99\n");
    EXPECT_EQ(vexel_cstore_call(4, 0, 0, fix(4), "odd.qz"), 4);
    EXPECT_EQ(read_file(home + "/backup/odd.qz"), "vexel cartridge\nversion 99\n");
}

TEST_F(Rom, EmbeddedNamesMapToTheirStoredDataFile) {
    CartPtr emb = make_cart("-- embedded", 9);
    mount_embedded_cart(emb.get(), "emb.qz");
    EXPECT_EQ(vexel_reload_call(4, 0, 0, fix(1), "emb.qz"), 1);  // from the virtual disk
    EXPECT_EQ(mem(0), 9);
    vexel_poke(&pstate, pstate.cart, 0x3000, 0x33);
    EXPECT_EQ(vexel_cstore_call(4, fix(0x3000), fix(0x3000), fix(1), "emb.qz"), 1);
    const std::string sandbox = get_sandboxed_cstore_filename(get_embedded_cart_hash_for_filename("emb.qz"));
    ASSERT_TRUE(exists(sandbox));
    CartPtr stored(vexel_cart_load_text_file(sandbox.c_str()));
    ASSERT_TRUE(stored);
    EXPECT_EQ(vexel_peek(nullptr, stored.get(), 0x3000), 0x33);
    EXPECT_EQ(vexel_peek(nullptr, stored.get(), 0), 9);  // started from the embedded cartridge
    EXPECT_FALSE(exists(home + "/cstore/emb.qz"));
}

TEST_F(Rom, LoadAndSaveCommands) {
    pstate.program_active = 0;
    pstate.mode = shell_console;
    std::string out = console_of([&] { EXPECT_FALSE(vexel_load_command(1, "#12345", nullptr, nullptr)); });
    EXPECT_EQ(out, "");
    out = console_of([&] { EXPECT_FALSE(vexel_load_command(1, "nothing", nullptr, nullptr)); });
    EXPECT_EQ(out, "** could not load\n");

    set_code("-- saved");
    out = console_of([&] { EXPECT_EQ(vexel_save_command("mine"), 0); });
    EXPECT_EQ(out, "** saved mine.qz\n");
    EXPECT_TRUE(exists(root + "mine.qz"));
    out = console_of([&] { EXPECT_EQ(vexel_save_command(""), 1); });
    EXPECT_EQ(out, "** please specify filename\n");
    out = console_of([&] { EXPECT_EQ(vexel_save_command(std::string(512, 'x').c_str()), 1); });
    EXPECT_EQ(out, "** filename too long\n");

    out = console_of([&] { EXPECT_TRUE(vexel_load_command(1, "game", nullptr, nullptr)); });
    EXPECT_EQ(out, "** loaded game.qz (7 chars)\n");
    EXPECT_EQ(mem(0), 7);

    // From a running program: the same file restarts at once, another waits.
    pstate.program_active = 1;
    pstate.mode = shell_running;
    pstate.hold_frames = 0;
    EXPECT_TRUE(vexel_load_command(1, "game", nullptr, nullptr));
    EXPECT_EQ(pstate.pending, pending_run_cart);
    EXPECT_EQ(pstate.hold_frames, 0);
    EXPECT_TRUE(vexel_load_command(1, "/mine.qz", nullptr, nullptr));
    EXPECT_EQ(pstate.hold_frames, rom_hold_frames);
    EXPECT_EQ(vexel_save_command("refused"), 1);
    EXPECT_FALSE(exists(root + "refused.qz"));
}

TEST_F(Rom, SaveNamesMustBeFilesInsideTheCartFolder) {
    namespace fs = std::filesystem;
    pstate.program_active = 0;
    pstate.mode = shell_console;
    set_code("-- mine");
    fs::create_directories(root + "games");
    fs::create_directories(root + "odd.qz");
    fs::create_directories(home + "/elsewhere");
    write_file(home + "/elsewhere/victim.qz", "victim");
    fs::create_symlink(home + "/elsewhere/victim.qz", root + "victim.qz");
    const auto entries_of = [](const std::string& dir) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> home_before = entries_of(home), root_before = entries_of(root);

    std::string out = console_of([] {
        for (const char* name : {".", "/", "games", "games/", "games/..", "odd"}) EXPECT_EQ(vexel_save_command(name), 1);
    });
    std::string want;
    for (int i = 0; i < 6; ++i) want += "** save: name is a folder\n";
    EXPECT_EQ(out, want);
    // The name with its extension is judged too: a link there leads out.
    out = console_of([] { EXPECT_EQ(vexel_save_command("victim"), 1); });
    EXPECT_EQ(out, "** save: outside the cart folder\n");
    EXPECT_EQ(read_file(home + "/elsewhere/victim.qz"), "victim");
    EXPECT_EQ(entries_of(home), home_before);  // no carts.qz beside the folder
    EXPECT_EQ(entries_of(root), root_before);
    EXPECT_TRUE(fs::is_empty(home + "/backup"));  // nothing copied from outside either

    // Nor is a cartridge loaded through such a link under a name without its extension.
    write_cart(home + "/elsewhere/away.qz", "-- away");
    fs::create_symlink(home + "/elsewhere/away.qz", root + "away.qz");
    EXPECT_FALSE(vexel_load_command(1, "away", nullptr, nullptr));
    EXPECT_FALSE(vexel_load_command(1, ".", nullptr, nullptr));
    EXPECT_STREQ(pstate.working_cart->code, "-- mine");
}

TEST_F(Rom, AFailedSaveSaysWhyAndKeepsTheOldFile) {
    pstate.program_active = 0;
    pstate.mode = shell_console;
    set_code("-- first");
    ASSERT_EQ(vexel_save_command("mine"), 0);
    const std::string before = read_file(root + "mine.qz");
    set_code("-- second");
    const std::string out = console_of([] {
        vexel_test::FileSizeLimit limit(1000);
        EXPECT_EQ(vexel_save_command("mine"), 1);
        EXPECT_EQ(vexel_save_command("other"), 1);
    });
    EXPECT_EQ(out, "** save: file too large\n** save: file too large\n");
    EXPECT_EQ(read_file(root + "mine.qz"), before);
    EXPECT_FALSE(exists(root + "other.qz"));
}

TEST(CartHex, TextFormRoundTripsAndDamagedTextStops) {
    const uint8_t bytes[] = {0x89, 0x50, 0x00, 0xff, 0x0a};
    const std::string text = cart_hex_encode(bytes, sizeof bytes);
    EXPECT_EQ(text, "[cart]8950" "00ff0a[/cart]");
    std::vector<uint8_t> out;
    ASSERT_EQ(cart_hex_decode(text.data(), text.size(), &out), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(bytes, bytes + sizeof bytes));

    const std::string damaged = "[cart]0A0bzz11";
    ASSERT_EQ(cart_hex_decode(damaged.data(), damaged.size(), &out), 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x0a, 0x0b}));
    const std::string odd = "[cart]123";
    ASSERT_EQ(cart_hex_decode(odd.data(), odd.size(), &out), 0);
    EXPECT_EQ(out, std::vector<uint8_t>{0x12});
    for (const std::string& empty : {std::string("[cart][/cart]"), std::string("[cart]"), std::string()})
        EXPECT_EQ(cart_hex_decode(empty.data(), empty.size(), &out), 1) << empty;

    std::string huge = "[cart]" + std::string((cart_hex_max_bytes + 1) * 2, '0');
    EXPECT_EQ(cart_hex_decode(huge.data(), huge.size(), &out), 1);
    EXPECT_TRUE(out.empty());
}

TEST_F(Rom, ClipboardWithoutAWindowFailsCleanly) {
    pstate.program_active = 0;
    pstate.mode = shell_console;
    std::string out = console_of([&] { EXPECT_EQ(vexel_save_command("@clip"), 1); });
    EXPECT_NE(out.find("failed to save to clipboard"), std::string::npos);
    out = console_of([&] { EXPECT_FALSE(vexel_load_command(1, "@clip.png", nullptr, nullptr)); });
    EXPECT_EQ(out, "** could not load\n");
    EXPECT_STREQ(pstate.working_cart->code, "-- game");
    // A running program may not read the clipboard.
    pstate.program_active = 1;
    EXPECT_FALSE(vexel_load_command(1, "@clip", nullptr, nullptr));
}

namespace {
std::string chain_file, chain_label, run_params;
int chain_resets = 0, runtime_resets = 0;
}  // namespace

TEST_F(Rom, LoadHandsTheRunChainAndParametersToTheRunner) {
    cart_cmd_set_hooks({[] { ++chain_resets; },
                        [](const char* file, const char* label) {
                            chain_file = file;
                            chain_label = label;
                        },
                        [](const char* params) { run_params = params ? params : "<none>"; },
                        [] { ++runtime_resets; }});
    write_cart(root + "next.qz", "-- next", 2);
    const std::string first = cart_disk.filename;

    pstate.program_active = 0;
    pstate.mode = shell_console;
    EXPECT_TRUE(vexel_load_command(1, "next", nullptr, nullptr));
    EXPECT_EQ(chain_resets, 1);  // a plain load from the console starts a new chain
    EXPECT_EQ(run_params, "<none>");
    EXPECT_EQ(runtime_resets, 1);
    EXPECT_EQ(mem(0), 2);  // the new ROM is in memory

    pstate.program_active = 1;
    pstate.mode = shell_running;
    EXPECT_TRUE(vexel_load_command(3, "game", "back to next", "level=2"));
    EXPECT_EQ(chain_file, root + "next.qz");
    EXPECT_EQ(chain_label, "back to next");
    EXPECT_EQ(run_params, "level=2");
    EXPECT_EQ(chain_resets, 1);  // a running program keeps its chain

    chain_label.clear();
    EXPECT_TRUE(vexel_load_command(2, "next", "x", nullptr));  // one-letter labels push nothing
    EXPECT_EQ(chain_label, "");
    EXPECT_EQ(run_params, "<none>");
    EXPECT_NE(first, "");
    cart_cmd_set_hooks({});
}
