#include <gtest/gtest.h>

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

TEST(Log, UnwritableLogIsSkippedSilently) {
    EXPECT_NE(fenn_log_open("/nonexistent-folder/x/log.txt"), 0);
    fenn_debug("nothing happens\n");
    fenn_log_close();
}
