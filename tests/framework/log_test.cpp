#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "framework/fenn_log.h"
#include "test_support.h"

static std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(Log, BlocksIndentAndLongLinesAreReplaced) {
    std::string path = vexel_test::temp_dir("log") + "/log.txt";
    ASSERT_EQ(fenn_log_open(path.c_str()), 0);
    fenn_debug(">fenn_init\n");
    fenn_debug("platform: %s\n", "Linux");
    fenn_debug(">inner\n");
    fenn_debug("deep %d\n", 2);
    fenn_debug("<ok\n");
    fenn_debug("<ok\n");
    fenn_debug("<\n");  // closing below zero stays at zero
    fenn_debug("%s\n", std::string(600, 'x').c_str());
    fenn_debug("end\n");
    fenn_log_close();
    EXPECT_EQ(read_file(path),
              "fenn_init\n"
              "  platform: Linux\n"
              "  inner\n"
              "    deep 2\n"
              "  ok\n"
              "ok\n"
              "\n"
              "[debug string too long!]\n"
              "end\n");
    EXPECT_EQ(fenn_log_depth(), 0);
}

TEST(Log, BytesThatAreNotUtf8AreEscaped) {
    std::string path = vexel_test::temp_dir("log_utf8") + "/log.txt";
    ASSERT_EQ(fenn_log_open(path.c_str()), 0);
    fenn_debug("stored /home/cstore/\x87x.qz and caf\xc3\xa9 \xe2\x99\xa5\n");
    fenn_debug("cut \xe2\x99 short, stray \x80\xff\n");
    fenn_log_close();
    EXPECT_EQ(read_file(path),
              "stored /home/cstore/\\x87x.qz and caf\xc3\xa9 \xe2\x99\xa5\n"
              "cut \\xe2\\x99 short, stray \\x80\\xff\n");
}

TEST(Log, UnwritableLogIsSkippedSilently) {
    EXPECT_NE(fenn_log_open("/nonexistent-folder/x/log.txt"), 0);
    fenn_debug("nothing happens\n");
    fenn_log_close();
}

TEST(Log, NeverWritesThroughALinkOrIntoAFifo) {
    const std::string dir = vexel_test::temp_dir("log_planted");
    const std::string victim = dir + "/victim.txt";
    std::ofstream(victim) << "untouched";
    ::symlink(victim.c_str(), (dir + "/log.txt").c_str());
    EXPECT_NE(fenn_log_open((dir + "/log.txt").c_str()), 0);
    fenn_debug("not written\n");
    EXPECT_EQ(vexel_test::read_file(victim), "untouched");
    ASSERT_EQ(::mkfifo((dir + "/fifo.txt").c_str(), 0644), 0);
    EXPECT_NE(fenn_log_open((dir + "/fifo.txt").c_str()), 0);  // returns at once, with no reader
    // A regular file is truncated and written as usual.
    std::ofstream(dir + "/real.txt") << "old text from the last run\n";
    ASSERT_EQ(fenn_log_open((dir + "/real.txt").c_str()), 0);
    fenn_debug("new\n");
    fenn_log_close();
    EXPECT_EQ(vexel_test::read_file(dir + "/real.txt"), "new\n");
}

TEST(Log, RepeatedLinesAreCountedNotWritten) {
    const std::string path = vexel_test::temp_dir("log_repeat") + "/log.txt";
    ASSERT_EQ(fenn_log_open(path.c_str()), 0);
    for (int i = 0; i < 2000; ++i) fenn_debug("reload: no such file\n");
    fenn_debug(">block\n");
    fenn_debug("inside\n");
    fenn_debug("inside\n");
    fenn_debug("<done\n");
    fenn_debug("last\n");
    fenn_debug("last\n");
    fenn_log_close();  // a count still open is written at the close
    EXPECT_EQ(read_file(path),
              "reload: no such file\n"
              "... repeated 1999 times\n"
              "block\n"
              "  inside\n"
              "  ... repeated 1 time\n"
              "done\n"
              "last\n"
              "... repeated 1 time\n");
}

TEST(Log, FileStaysUnderItsLimitAndKeepsTheNewestLines) {
    const std::string path = vexel_test::temp_dir("log_cap") + "/log.txt";
    ASSERT_EQ(fenn_log_open(path.c_str()), 0);
    fenn_debug("first line\n");
    const int lines = 100000;  // about 4 MiB of distinct lines
    for (int i = 0; i < lines; ++i) {
        fenn_debug("cstore: storing 17152 bytes as line %d\n", i);
        if (i % 20000 == 0) {
            struct stat st;
            ASSERT_EQ(::stat(path.c_str(), &st), 0);
            EXPECT_LE(st.st_size, fenn_log_size_max);
        }
    }
    fenn_log_close();
    const std::string text = read_file(path);
    EXPECT_LE(long(text.size()), fenn_log_size_max);
    EXPECT_GT(long(text.size()), fenn_log_size_max / 3);
    EXPECT_EQ(text.find("first line"), std::string::npos);
    EXPECT_EQ(text.rfind("[older lines dropped", 0), 0u);
    EXPECT_NE(text.find("line " + std::to_string(lines - 1) + "\n"), std::string::npos);
    // Whole lines only: the kept half starts at a line's start.
    const size_t second = text.find('\n') + 1;
    EXPECT_EQ(text.compare(second, 16, "cstore: storing "), 0);
}
