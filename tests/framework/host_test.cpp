#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "framework/fenn_host.h"
#include "framework/fenn_path.h"
#include "test_support.h"

namespace {

using vexel_test::read_file;

std::set<std::string> search_all(const std::string& folder, const char* pattern, int mask) {
    std::set<std::string> names;
    fenn_search s;
    for (int r = fenn_find_first(folder.c_str(), pattern, &s, mask); r == 0; r = fenn_find_next(&s))
        names.insert(s.name);
    fenn_find_close(&s);
    return names;
}

TEST(FindFiles, MatchesSuffixesWithoutCaseAndSeparatesFolders) {
    std::string dir = vexel_test::temp_dir("find");
    for (const char* n : {"a.qz", "B.QZ", "c.qz.png", "readme"}) std::ofstream(dir + "/" + n) << "xy";
    fenn_mkdir((dir + "/games.qz").c_str());
    symlink((dir + "/nowhere").c_str(), (dir + "/dangling.qz").c_str());

    const int files = ~fenn_find_dir_bit;
    EXPECT_EQ(search_all(dir, "*.qz", files), (std::set<std::string>{"a.qz", "B.QZ"}));
    EXPECT_EQ(search_all(dir, "*.qz", fenn_find_dir_bit), (std::set<std::string>{"games.qz"}));
    EXPECT_EQ(search_all(dir, "*", fenn_find_dir_bit), (std::set<std::string>{"games.qz"}));  // no "." or ".."
    EXPECT_EQ(search_all(dir, "*", files).size(), 4u);
    EXPECT_EQ(search_all(dir, "README", files), (std::set<std::string>{"readme"}));
    EXPECT_TRUE(search_all(dir + "/missing", "*", files).empty());

    fenn_search s;
    ASSERT_EQ(fenn_find_first(dir.c_str(), "a.qz", &s, files), 0);
    EXPECT_EQ(s.size, 2);
    EXPECT_TRUE(s.mode & 0x8000);
    EXPECT_NE(fenn_find_next(&s), 0);
    EXPECT_NE(fenn_find_next(&s), 0);  // stays finished
    fenn_find_close(&s);
    fenn_find_close(&s);
    EXPECT_NE(fenn_find_next(nullptr), 0);
    EXPECT_NE(fenn_find_first(dir.c_str(), "*", nullptr, files), 0);

    EXPECT_TRUE(fenn_pattern_matches("GAME.QZ.PNG", "*.png"));
    EXPECT_FALSE(fenn_pattern_matches("png", "*.png"));
    EXPECT_TRUE(fenn_pattern_matches("x", "*"));
}

// A stand-in for a host program: a script that writes its arguments, one per
// line, to a file, and exits with the given status.
class FakeProgram : public ::testing::Test {
protected:
    std::string dir, old_path;
    void SetUp() override {
        dir = vexel_test::temp_dir("fakebin");
        const char* p = std::getenv("PATH");
        old_path = p ? p : "";
        setenv("PATH", (dir + ":" + old_path).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", old_path.c_str(), 1); }
    void install(const char* name, int status) {
        std::string path = dir + "/" + name;
        std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > " << dir << "/" << name
                            << ".args\nexit " << status << "\n";
        chmod(path.c_str(), 0755);
    }
};

TEST_F(FakeProgram, LaunchHandsTheTargetOverAsOneArgument) {
    install("xdg-open", 0);
    std::string folder = dir + "/my \"carts\" $(touch pwned)";
    EXPECT_EQ(fenn_launch_html(folder.c_str()), 0);
    // The opener runs detached; wait (bounded) for its record.
    std::string args;
    for (int i = 0; i < 200 && args.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        args = read_file(dir + "/xdg-open.args");
    }
    EXPECT_EQ(args, folder + "\n");
    EXPECT_FALSE(fenn_file_exists((dir + "/pwned").c_str()));
}

TEST(Launch, TargetsAreWebPagesOrAbsolutePaths) {
    EXPECT_EQ(fenn_launch_target("https://example.com/a?b=1"), "https://example.com/a?b=1");
    EXPECT_EQ(fenn_launch_target("HTTP://example.com"), "HTTP://example.com");
    EXPECT_EQ(fenn_launch_target("/home/me/carts/"), "/home/me/carts/");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(fenn_launch_target("--help"), std::string(cwd) + "/--help");  // never an option
    EXPECT_EQ(fenn_launch_target("javascript:alert(1)"), "");
    EXPECT_EQ(fenn_launch_target("smb://host/share"), "");
    EXPECT_EQ(fenn_launch_target("a\nb"), "");
    EXPECT_EQ(fenn_launch_target(""), "");
    EXPECT_EQ(fenn_launch_target(nullptr), "");
    EXPECT_EQ(fenn_launch_html("javascript:alert(1)"), 1);
}

}  // namespace
