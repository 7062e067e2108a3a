#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "framework/fenn_config.h"
#include "framework/fenn_path.h"
#include "test_support.h"

TEST(Path, ResolveFilename) {
    EXPECT_EQ(fenn_resolve_filename("/a/./b/../c"), "/a/c");
    EXPECT_EQ(fenn_resolve_filename("a\\b\\..\\..\\..\\c"), "c");
    EXPECT_EQ(fenn_resolve_filename("x//y/"), "x/y");
    setenv("HOME", "/home/tester", 1);
    EXPECT_EQ(fenn_resolve_filename("~/carts/../game.qz"), "/home/tester/game.qz");
}

TEST(Path, HomeOverrideWithoutTrailingSlash) {
    std::string dir = vexel_test::temp_dir("home") + "/data";
    std::snprintf(fenn_cfg.home, sizeof fenn_cfg.home, "%s", dir.c_str());
    EXPECT_EQ(fenn_prefix_with_appdata_path("log.txt"), dir + "/log.txt");
    EXPECT_TRUE(fenn_directory_exists(dir.c_str()));
    fenn_cfg.home[0] = 0;
}

TEST(Path, DefaultDataFolderIsUnderHome) {
    std::string home = vexel_test::temp_dir("userhome");
    setenv("HOME", home.c_str(), 1);
    fenn_cfg.home[0] = 0;
    std::string p = fenn_prefix_with_appdata_path("config.txt");
    EXPECT_EQ(p.substr(0, home.size() + 10), home + "/.brindle/");
    EXPECT_TRUE(fenn_directory_exists((home + "/.brindle").c_str()));
    fenn_cfg.desktop_path[0] = 0;
    EXPECT_EQ(fenn_prefix_with_desktop_path("shot.png"), home + "/Desktop/shot.png");
}

TEST(Path, ConfinementFollowsLinksToWhereTheyLead) {
    namespace fs = std::filesystem;
    const std::string base = vexel_test::temp_dir("confine");
    const std::string root = base + "/root";
    fs::create_directories(root + "/sub");
    fs::create_directories(base + "/outside");
    std::ofstream(root + "/file.qz") << "x";
    std::ofstream(base + "/outside/secret.qz") << "x";
    fs::create_symlink(base + "/outside", root + "/out");
    fs::create_symlink(base + "/outside/secret.qz", root + "/secret.qz");
    fs::create_symlink("sub", root + "/in");
    fs::create_symlink("file.qz", root + "/alias.qz");
    fs::create_symlink(root + "/missing", root + "/dangling");
    fs::create_symlink("..", root + "/sub/up");
    fs::create_symlink("../..", root + "/sub/top");
    fs::create_symlink("loop", root + "/loop");

    struct Case {
        const char* name;
        fenn_confine_result want;
    };
    const Case cases[] = {
        {"", fenn_confine_folder},          {".", fenn_confine_folder},
        {"sub", fenn_confine_folder},       {"sub/", fenn_confine_folder},
        {"in", fenn_confine_folder},        {"sub/up", fenn_confine_folder},  // the root, reached from inside
        {"file.qz", fenn_confine_inside},   {"new.qz", fenn_confine_inside},
        {"sub/new.qz", fenn_confine_inside}, {"in/new.qz", fenn_confine_inside},
        {"alias.qz", fenn_confine_inside},  {"missing/deeper/x.qz", fenn_confine_inside},
        {"./sub//new.qz", fenn_confine_inside},
        {"out", fenn_confine_outside},      {"out/new.qz", fenn_confine_outside},
        {"secret.qz", fenn_confine_outside}, {"dangling", fenn_confine_outside},
        {"dangling/x.qz", fenn_confine_outside}, {"sub/top/x.qz", fenn_confine_outside},
        {"loop", fenn_confine_outside},     {"..", fenn_confine_outside},
        {"../root/file.qz", fenn_confine_outside}, {"sub/../file.qz", fenn_confine_outside},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fenn_path_confine(root, c.name), c.want);
        EXPECT_EQ(fenn_path_confine(root + "/", c.name), c.want);
    }

    // The folder itself may be reached through a link; its names are judged
    // from where it really is.
    fs::create_symlink(root, base + "/root_link");
    EXPECT_EQ(fenn_path_confine(base + "/root_link", "file.qz"), fenn_confine_inside);
    EXPECT_EQ(fenn_path_confine(base + "/root_link", "secret.qz"), fenn_confine_outside);
    // A folder that is not there holds nothing; a dangling link in its place
    // could be created through.
    EXPECT_EQ(fenn_path_confine(base + "/none", "x.qz"), fenn_confine_inside);
    fs::create_symlink(base + "/none", base + "/gone");
    EXPECT_EQ(fenn_path_confine(base + "/gone", "x.qz"), fenn_confine_outside);
}
