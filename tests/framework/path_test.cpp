#include <gtest/gtest.h>

#include <cstdlib>
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
    std::snprintf(cconfig.home, sizeof cconfig.home, "%s", dir.c_str());
    EXPECT_EQ(fenn_prefix_with_appdata_path("log.txt"), dir + "/log.txt");
    EXPECT_TRUE(fenn_directory_exists(dir.c_str()));
    cconfig.home[0] = 0;
}

TEST(Path, DefaultDataFolderIsUnderHome) {
    std::string home = vexel_test::temp_dir("userhome");
    setenv("HOME", home.c_str(), 1);
    cconfig.home[0] = 0;
    std::string p = fenn_prefix_with_appdata_path("config.txt");
    EXPECT_EQ(p.substr(0, home.size() + 10), home + "/.brindle/");
    EXPECT_TRUE(fenn_directory_exists((home + "/.brindle").c_str()));
    cconfig.desktop_path[0] = 0;
    EXPECT_EQ(fenn_prefix_with_desktop_path("shot.png"), home + "/Desktop/shot.png");
}
