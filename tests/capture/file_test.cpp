#include <fstream>
#include <iterator>

#include "capture/capture_file.h"
#include "capture_fixture.h"

namespace {

int write_text(const char* path, const char* text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return out ? 0 : 1;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(CaptureFile, NamesAndBaseNames) {
    EXPECT_EQ(capture_numbered_name("game", 7, 3, ".png"), "game_007.png");
    EXPECT_EQ(capture_numbered_name("game", 1234, 3, ".png"), "game_1234.png");
    EXPECT_EQ(capture_numbered_name("game", 12, 1, ".gif"), "game_12.gif");

    EXPECT_EQ(capture_safe_base("jump"), "jump");
    EXPECT_EQ(capture_safe_base(""), "vexel");
    EXPECT_EQ(capture_safe_base(nullptr), "vexel");
    EXPECT_EQ(capture_safe_base("a b/c\\d\n"), "a_b_c_d_");
    EXPECT_EQ(capture_safe_base(".hidden"), "_hidden");
    EXPECT_EQ(capture_safe_base(std::string(200, 'x').c_str()).size(), capture_base_max);

    EXPECT_EQ(capture_name_base(""), "vexel");
    EXPECT_EQ(capture_name_base(nullptr), "vexel");
    EXPECT_EQ(capture_name_base("/home/u/carts/sub/jump.qz.png"), "jump");
    EXPECT_EQ(capture_name_base("my game.qz"), "my_game");
}

TEST_F(CaptureTest, NumberedFilesNeverReplaceExistingOnes) {
    write_text((desktop + "/game_000.png").c_str(), "old 0");
    std::filesystem::create_directory(desktop + "/game_001.png");  // any entry takes the name
    std::string saved, told;
    auto writer = [&](const char* temp, const char* final) {
        told = final;
        return write_text(temp, "new");
    };
    ASSERT_EQ(capture_write_numbered("game", 3, ".png", writer, &saved), 0);
    EXPECT_EQ(saved, desktop + "/game_002.png");
    EXPECT_EQ(told, saved);
    EXPECT_EQ(read_text(saved), "new");
    EXPECT_EQ(read_text(desktop + "/game_000.png"), "old 0");
    ASSERT_EQ(capture_write_numbered("game", 3, ".png", writer, &saved), 0);
    EXPECT_EQ(saved, desktop + "/game_003.png");
    EXPECT_EQ(files(), (std::set<std::string>{"game_000.png", "game_001.png", "game_002.png", "game_003.png"}));
}

TEST_F(CaptureTest, ANameTakenWhileWritingGoesToTheNextNumber) {
    std::string saved;
    // Another program saves game_0.gif while ours is being written.
    auto writer = [&](const char* temp, const char*) {
        write_text((desktop + "/game_0.gif").c_str(), "theirs");
        return write_text(temp, "ours");
    };
    ASSERT_EQ(capture_write_numbered("game", 1, ".gif", writer, &saved), 0);
    EXPECT_EQ(saved, desktop + "/game_1.gif");
    EXPECT_EQ(read_text(desktop + "/game_0.gif"), "theirs");
    EXPECT_EQ(read_text(saved), "ours");
    EXPECT_EQ(files(), (std::set<std::string>{"game_0.gif", "game_1.gif"}));
}

TEST_F(CaptureTest, FailedWritesLeaveNothingBehind) {
    std::string saved = "unchanged";
    auto failing = [&](const char* temp, const char*) {
        write_text(temp, "half");
        return 1;
    };
    EXPECT_EQ(capture_write_numbered("game", 3, ".png", failing, &saved), 1);
    EXPECT_EQ(saved, "unchanged");
    EXPECT_TRUE(files().empty());

    // A desktop folder that is missing (and cannot be made: its parent is a file).
    write_text((desktop + "/file").c_str(), "x");
    std::snprintf(fenn_cfg.desktop_path, sizeof fenn_cfg.desktop_path, "%s/file/sub", desktop.c_str());
    bool called = false;
    auto writer = [&](const char* temp, const char*) {
        called = true;
        return write_text(temp, "x");
    };
    EXPECT_EQ(capture_write_numbered("game", 3, ".png", writer, &saved), 1);
    EXPECT_FALSE(called);
    EXPECT_EQ(files(), std::set<std::string>{"file"});
}

TEST_F(CaptureTest, ReplacingWriteSwapsInTheWholeFile) {
    const std::string path = desktop + "/shot.png";
    write_text(path.c_str(), "old");
    EXPECT_EQ(capture_write_replacing(path.c_str(), [](const char* temp) { return write_text(temp, "new"); }), 0);
    EXPECT_EQ(read_text(path), "new");
    EXPECT_EQ(capture_write_replacing(path.c_str(), [](const char*) { return 1; }), 1);
    EXPECT_EQ(read_text(path), "new");
    EXPECT_EQ(files(), std::set<std::string>{"shot.png"});
    EXPECT_EQ(capture_write_replacing((desktop + "/missing/shot.png").c_str(), [](const char*) { return 0; }), 1);
}
