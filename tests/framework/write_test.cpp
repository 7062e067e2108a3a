#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "framework/fenn_write.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

void write_plain(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The names in a folder, for checking what a write left behind.
std::set<std::string> entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// A process number that ran a moment ago and no longer does.
pid_t finished_pid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

std::string temp_name(const std::string& base, long pid) {
    return base + "." + std::to_string(pid) + ".0123456789abcdef.part";
}

}  // namespace

TEST(Write, NewAndReplacedFilesAreWholeAndNothingElseRemains) {
    const std::string dir = vexel_test::temp_dir("write_whole");
    const std::string path = dir + "/game.qz";
    fenn_write_result r = fenn_write_file(path.c_str(), "first", 5);
    ASSERT_TRUE(r.ok()) << r.reason;
    EXPECT_EQ(vexel_test::read_file(path), "first");
    r = fenn_write_file(path.c_str(), "second", 6);
    ASSERT_TRUE(r.ok()) << r.reason;
    EXPECT_EQ(vexel_test::read_file(path), "second");
    EXPECT_TRUE(fenn_write_file((dir + "/empty").c_str(), nullptr, 0).ok());
    EXPECT_EQ(vexel_test::read_file(dir + "/empty"), "");
    EXPECT_EQ(entries(dir), (std::set<std::string>{"game.qz", "empty"}));

    // The usual permissions, less the umask.
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(fenn_write_file(path.c_str(), "x", 1).ok());
    ::umask(mask);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    // A name as long as the folder allows still gets a temporary name that fits.
    const std::string longest = dir + "/" + std::string(250, 'n') + ".qz";
    EXPECT_TRUE(fenn_write_file(longest.c_str(), "long", 4).ok());
    EXPECT_EQ(vexel_test::read_file(longest), "long");
}

TEST(Write, PlantedLinksAreReplacedNeverWrittenThrough) {
    const std::string dir = vexel_test::temp_dir("write_links");
    const std::string victim = dir + "/victim.txt";
    fs::create_directories(dir + "/store");
    write_plain(victim, "untouched");
    // An old-style temporary name and the target itself, both links to the victim.
    fs::create_symlink(victim, dir + "/store/save.qz.part");
    fs::create_symlink(victim, dir + "/store/save.qz");
    fs::create_symlink(dir + "/nowhere", dir + "/store/dangling.qz");

    ASSERT_TRUE(fenn_write_file((dir + "/store/save.qz").c_str(), "mine", 4).ok());
    EXPECT_EQ(vexel_test::read_file(victim), "untouched");
    EXPECT_FALSE(fs::is_symlink(dir + "/store/save.qz"));
    EXPECT_EQ(vexel_test::read_file(dir + "/store/save.qz"), "mine");

    ASSERT_TRUE(fenn_write_file((dir + "/store/dangling.qz").c_str(), "new", 3).ok());
    EXPECT_FALSE(fs::exists(dir + "/nowhere"));
    EXPECT_EQ(vexel_test::read_file(dir + "/store/dangling.qz"), "new");
    EXPECT_EQ(entries(dir + "/store"), (std::set<std::string>{"save.qz", "dangling.qz"}));
}

TEST(Write, StaleTemporaryFilesGoLiveOnesStay) {
    const std::string dir = vexel_test::temp_dir("write_stale");
    const std::string victim = vexel_test::temp_dir("write_stale_victim") + "/victim.txt";
    write_plain(victim, "untouched");
    const pid_t gone = finished_pid();
    const std::string dead = temp_name("a.qz", gone);
    const std::string ours = temp_name("b.qz", ::getpid());
    const std::string init = temp_name("c.qz", 1);  // always running
    write_plain(dir + "/" + dead, "half");
    write_plain(dir + "/" + ours, "in progress");
    write_plain(dir + "/" + init, "in progress");
    write_plain(dir + "/old.qz.part", "half");
    fs::create_symlink(victim, dir + "/" + temp_name("link.qz", gone));
    fs::create_directories(dir + "/folder.part");
    write_plain(dir + "/notes.txt", "mine");

    ASSERT_TRUE(fenn_write_file((dir + "/new.qz").c_str(), "x", 1).ok());
    EXPECT_EQ(entries(dir), (std::set<std::string>{ours, init, "folder.part", "notes.txt", "new.qz"}));
    EXPECT_EQ(vexel_test::read_file(victim), "untouched");
    EXPECT_EQ(fenn_remove_stale_parts(dir.c_str()), 0);
}

TEST(Write, TemporaryNamesCarryTheirWritersProcess) {
    long pid = 0;
    EXPECT_TRUE(fenn_part_name_pid("game.qz.1234.0123456789abcdef.part", &pid));
    EXPECT_EQ(pid, 1234);
    EXPECT_TRUE(fenn_part_name_pid("x.7.ABCDEF0123456789.part", &pid));
    EXPECT_EQ(pid, 7);
    for (const char* plain : {"game.qz.part", ".1234.0123456789abcdef.part", "game.0.0123456789abcdef.part",
                              "game.99999999999.0123456789abcdef.part", "game.12.0123456789abcdeg.part",
                              "game.12.0123456789abcde.part", "game.-12.0123456789abcdef.part",
                              "game.12.0123456789abcdef.parts", ".part", ""}) {
        SCOPED_TRACE(plain);
        EXPECT_FALSE(fenn_part_name_pid(plain, &pid));
    }
}

TEST(Write, FailuresKeepTheOldFileAndSayWhy) {
    const std::string dir = vexel_test::temp_dir("write_fail");
    const std::string path = dir + "/config.txt";
    write_plain(path, "old settings");
    {
        vexel_test::FileSizeLimit limit(4);
        const std::string big(4096, 'z');
        const fenn_write_result r = fenn_write_file(path.c_str(), big.data(), big.size());
        EXPECT_EQ(r.error, EFBIG);
        EXPECT_EQ(r.reason, "file too large");
    }
    EXPECT_EQ(vexel_test::read_file(path), "old settings");
    EXPECT_EQ(entries(dir), std::set<std::string>{"config.txt"});

    // A folder where the file should be stays a folder.
    fs::create_directories(dir + "/taken/inner");
    fenn_write_result r = fenn_write_file((dir + "/taken").c_str(), "x", 1);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(fs::is_directory(dir + "/taken/inner"));
    for (const std::string& name : {dir + "/", dir + "/.", dir + "/..", std::string()}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(fenn_write_file(name.c_str(), "x", 1).ok());
    }
    r = fenn_write_file((dir + "/missing/file").c_str(), "x", 1);
    EXPECT_EQ(r.error, ENOENT);
    EXPECT_EQ(r.reason, "no such file or directory");
    EXPECT_EQ(entries(dir), (std::set<std::string>{"config.txt", "taken"}));
}

TEST(Write, ReasonsAreShortAndLowerCase) {
    EXPECT_EQ(fenn_error_reason(ENOSPC), "disk full");
    EXPECT_EQ(fenn_error_reason(EFBIG), "file too large");
    EXPECT_EQ(fenn_error_reason(EACCES), "permission denied");
    EXPECT_EQ(fenn_error_reason(EPERM), "permission denied");
    EXPECT_EQ(fenn_error_reason(EROFS), "read-only file system");
    EXPECT_EQ(fenn_error_reason(EISDIR), "is a directory");
    EXPECT_EQ(fenn_error_reason(0), "");
}
