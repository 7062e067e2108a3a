#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "framework/fenn_file.h"
#include "test_support.h"

TEST(File, MemoryReadsDeliverOnlyWhatRemains) {
    const uint8_t bytes[5] = {1, 2, 3, 4, 5};
    fenn_file f;
    fenn_file_wrap(f, bytes, sizeof bytes);
    uint8_t out[8] = {};
    EXPECT_EQ(fenn_file_read(f, out, 3), 3u);
    EXPECT_FALSE(fenn_file_eof(f));
    EXPECT_EQ(fenn_file_remaining(f), 2);
    EXPECT_EQ(fenn_file_read(f, out, 8), 2u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 5);
    EXPECT_TRUE(fenn_file_eof(f));
    EXPECT_EQ(fenn_file_getc(f), -1);
    EXPECT_EQ(fenn_file_tell(f), 5);
    EXPECT_EQ(fenn_file_remaining(f), 0);
}

TEST(File, SeekRulesMatchCStreams) {
    const uint8_t bytes[4] = {10, 20, 30, 40};
    fenn_file f;
    fenn_file_wrap(f, bytes, sizeof bytes);
    EXPECT_EQ(fenn_file_seek(f, -1, SEEK_END), 0);
    EXPECT_EQ(fenn_file_getc(f), 40);
    EXPECT_EQ(fenn_file_getc(f), -1);
    EXPECT_TRUE(fenn_file_eof(f));
    EXPECT_EQ(fenn_file_seek(f, -2, SEEK_CUR), 0);  // clears the end flag
    EXPECT_FALSE(fenn_file_eof(f));
    EXPECT_EQ(fenn_file_getc(f), 30);
    // Negative targets are refused and leave the position alone.
    EXPECT_EQ(fenn_file_seek(f, -10, SEEK_CUR), -1);
    EXPECT_EQ(fenn_file_tell(f), 3);
    EXPECT_EQ(fenn_file_seek(f, INT64_MIN, SEEK_END), -1);
    EXPECT_EQ(fenn_file_seek(f, 0, 42), -1);
    // Beyond the end is a valid position that reads nothing.
    EXPECT_EQ(fenn_file_seek(f, 100, SEEK_SET), 0);
    EXPECT_EQ(fenn_file_remaining(f), 0);
    uint8_t b;
    EXPECT_EQ(fenn_file_read(f, &b, 1), 0u);
}

TEST(File, DiskFilesReadLikeMemoryAndCloseOnMove) {
    std::string dir = vexel_test::temp_dir("file");
    std::string path = dir + "/a.bin";
    std::ofstream(path, std::ios::binary) << "hello";
    fenn_file f;
    ASSERT_TRUE(fenn_file_open(f, path.c_str()));
    EXPECT_EQ(fenn_file_size(f), 5);
    EXPECT_EQ(fenn_file_seek(f, 1, SEEK_SET), 0);
    fenn_file g = std::move(f);
    EXPECT_FALSE(fenn_file_is_open(f));
    char buf[8] = {};
    EXPECT_EQ(fenn_file_read(g, buf, 8), 4u);
    EXPECT_STREQ(buf, "ello");
    EXPECT_TRUE(fenn_file_eof(g));
    EXPECT_EQ(fenn_file_remaining(g), 0);
    // A stream that is not open reads as empty rather than failing hard.
    EXPECT_EQ(fenn_file_getc(f), -1);
    EXPECT_EQ(fenn_file_size(f), 0);
}

TEST(File, OpenRefusesMissingFilesAndFolders) {
    std::string dir = vexel_test::temp_dir("file_missing");
    fenn_file f;
    EXPECT_FALSE(fenn_file_open(f, (dir + "/nope").c_str()));
    EXPECT_FALSE(fenn_file_open(f, dir.c_str()));
    EXPECT_FALSE(fenn_file_open(f, nullptr));
    EXPECT_FALSE(fenn_file_is_open(f));
}

TEST(File, SpecialFilesAreRefusedWithoutWaiting) {
    const std::string dir = vexel_test::temp_dir("file_special");
    const std::string fifo = dir + "/cart.qz";
    // A FIFO with no writer: a blocking open would wait here for ever.
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fenn_file f;
    EXPECT_FALSE(fenn_file_open(f, fifo.c_str()));
    EXPECT_EQ(fenn_open_regular(fifo.c_str()), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(fenn_fopen_regular(fifo.c_str()), nullptr);
    std::string text = "stale";
    EXPECT_FALSE(fenn_read_regular_file(fifo.c_str(), 1024, &text));
    EXPECT_EQ(text, "");
    EXPECT_EQ(fenn_open_regular(dir.c_str()), -1);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(fenn_fopen_regular("/dev/null"), nullptr);
    EXPECT_EQ(fenn_fopen_regular("/dev/zero"), nullptr);  // would feed endless bytes

    // A regular file opens for ordinary blocking reads, and a link to one is followed.
    const std::string path = dir + "/real.qz";
    std::ofstream(path, std::ios::binary) << "cart";
    ::symlink(path.c_str(), (dir + "/alias.qz").c_str());
    const int fd = fenn_open_regular((dir + "/alias.qz").c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    ::close(fd);
    EXPECT_TRUE(fenn_read_regular_file(path.c_str(), 4, &text));
    EXPECT_EQ(text, "cart");
    EXPECT_FALSE(fenn_read_regular_file(path.c_str(), 3, &text));  // over the limit
    EXPECT_EQ(text, "");
}
