// Unsaved changes of the working cartridge: what counts as one, when it is
// looked at again, and the backup a load makes of them.
#include <gtest/gtest.h>

#include <filesystem>

#include "cart_io_fixture.h"

namespace {

constexpr int32_t fix(int v) { return int32_t(uint32_t(v) << 16); }

class Unsaved : public CartIo {
protected:
    void SetUp() override {
        CartIo::SetUp();
        write_cart(root + "game.qz", "-- game", 7);
        ASSERT_EQ(vexel_load_working_cart(M, (root + "game.qz").c_str()), 0);
    }
    size_t backups() {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(home + "/backup")) ++n;
        return n;
    }
};

}  // namespace

TEST_F(Unsaved, EditsOfTheRecordAndOfTheCodeTabsCountUntilSaved) {
    EXPECT_FALSE(vexel_unsaved_changes(M, true));
    vexel_cart_poke(M->working_cart, 0x10, 3);
    // Without a note of an edit the last answer stands (no hashing).
    EXPECT_FALSE(vexel_unsaved_changes(M));
    vexel_note_cart_edit(M);
    EXPECT_TRUE(vexel_unsaved_changes(M));
    vexel_cart_poke(M->working_cart, 0x10, 0);  // undone by hand: the same as the file again
    vexel_note_cart_edit(M);
    EXPECT_FALSE(vexel_unsaved_changes(M));

    std::snprintf(M->code_tabs[0], vexel_code_buffer, "-- changed");  // the code editor's tabs
    EXPECT_TRUE(vexel_unsaved_changes(M, true));
    ASSERT_EQ(vexel_save_working_cart(M, (root + "game.qz").c_str()), 0);
    EXPECT_FALSE(vexel_unsaved_changes(M, true));
}

TEST_F(Unsaved, StoredDataLaidOverALoadAndStoredByTheProgramIsNoChange) {
    // A program stores into its own cartridge: the store comes back at
    // every load, so nothing is unsaved before or after loading again.
    M->program_active = M->running = 1;
    vexel_poke(M, M->cart, 0x3100, 0x12);
    EXPECT_EQ(vexel_cstore_call(M, 3, fix(0x3100), fix(0x3100), fix(1), nullptr), 1);
    EXPECT_FALSE(vexel_unsaved_changes(M, true));
    ASSERT_EQ(vexel_load_working_cart(M, (root + "game.qz").c_str()), 0);
    EXPECT_EQ(vexel_peek(nullptr, M->working_cart, 0x3100), 0x12);
    EXPECT_FALSE(vexel_unsaved_changes(M, true));

    // But a store after an edit leaves the edit unsaved.
    vexel_cart_poke(M->working_cart, 0x20, 5);
    vexel_note_cart_edit(M);
    EXPECT_EQ(vexel_cstore_call(M, 3, fix(0x3100), fix(0x3100), fix(1), nullptr), 1);
    EXPECT_TRUE(vexel_unsaved_changes(M, true));
}

TEST_F(Unsaved, ALoadOverUnsavedChangesBacksThemUpFirst) {
    write_cart(root + "other.qz", "-- other", 9);
    ASSERT_EQ(vexel_load_working_cart(M, (root + "other.qz").c_str()), 0);
    EXPECT_EQ(backups(), 0u);  // nothing was changed

    set_code("-- my edit");
    tm.host.show_backup_messages = true;
    ASSERT_EQ(vexel_load_working_cart(M, (root + "game.qz").c_str()), 0);
    ASSERT_EQ(backups(), 1u);
    EXPECT_NE(read_file(home + "/backup/other.qz").find("-- my edit"), std::string::npos);
    EXPECT_EQ(tm.message, "backing up unsaved changes");
    EXPECT_FALSE(vexel_unsaved_changes(M, true));

    // A new cartridge's edits are backed up under its title.
    M->file.filename[0] = 0;
    set_code("-- new");
    EXPECT_EQ(vexel_backup_unsaved_changes(M), 0);
    EXPECT_NE(read_file(home + "/backup/new.qz").find("-- new"), std::string::npos);
}

TEST_F(Unsaved, AProgramTooLongToJoinIsUnsaved) {
    for (int t = 0; t < 4; ++t) std::memset(M->code_tabs[t], 'x', vexel_code_buffer - 1);
    EXPECT_TRUE(vexel_unsaved_changes(M, true));
}
