// Programs must still compile after preprocessing. The console's own
// interpreter is checked elsewhere; here the stock Lua 5.2 compiler is the
// judge of the rewritten text, and the tests skip where it is not installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/pre.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

bool have_luac() { return std::system("command -v luac5.2 >/dev/null 2>&1") == 0; }

std::string preprocess(const std::string& s) {
    std::vector<char> out(vexel_pre_work_size);
    vexel_pre_report r{};
    EXPECT_EQ(vexel_preprocess(s.data(), s.size(), out.data(), out.size(), &r), vexel_pre_ok) << r.message;
    return std::string(out.data(), r.length);
}

// Runs luac5.2 -p on text; returns its exit status and keeps its message.
int luac(const std::string& text, const std::string& dir, std::string* message = nullptr) {
    const std::string src = dir + "/chunk.lua", err = dir + "/err.txt";
    std::ofstream(src, std::ios::binary) << text;
    const int rc = std::system(("luac5.2 -p " + src + " 2>" + err).c_str());
    if (message) *message = vexel_test::read_file(err);
    return rc;
}

std::vector<fs::path> corpus(const char* kind) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(VEXEL_SOURCE_DIR) / "tests/runtime/pre_corpus" / kind))
        files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(PreprocessCompiles, ValidProgramsStayValidLineForLine) {
    if (!have_luac()) GTEST_SKIP() << "luac5.2 not installed";
    const std::string dir = vexel_test::temp_dir("pre_valid");
    const auto files = corpus("valid");
    ASSERT_GE(files.size(), 3u);
    for (const auto& f : files) {
        const std::string text = vexel_test::read_file(f.string());
        std::string msg;
        ASSERT_EQ(luac(text, dir, &msg), 0) << f << " is not valid to begin with: " << msg;
        const std::string out = preprocess(text);
        EXPECT_EQ(luac(out, dir, &msg), 0) << f << ": " << msg << "\n" << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), std::count(text.begin(), text.end(), '\n')) << f;
        // Plain Lua without comments is left as it is.
        EXPECT_EQ(preprocess(out), out) << f;
    }
}

TEST(PreprocessCompiles, ShorthandProgramsCompileOnceRewritten) {
    if (!have_luac()) GTEST_SKIP() << "luac5.2 not installed";
    const std::string dir = vexel_test::temp_dir("pre_shorthand");
    const auto files = corpus("shorthand");
    ASSERT_GE(files.size(), 2u);
    for (const auto& f : files) {
        const std::string text = vexel_test::read_file(f.string());
        EXPECT_NE(luac(text, dir), 0) << f << " uses no shorthand the compiler rejects";
        std::string msg;
        const std::string out = preprocess(text);
        EXPECT_EQ(luac(out, dir, &msg), 0) << f << ": " << msg << "\n" << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), std::count(text.begin(), text.end(), '\n')) << f;
    }
}

TEST(PreprocessCompiles, CompilerErrorsPointAtTheSourceLine) {
    if (!have_luac()) GTEST_SKIP() << "luac5.2 not installed";
    const std::string dir = vexel_test::temp_dir("pre_lines");
    const std::string text =
        "x = 1 --[[ a comment\nover\nlines ]] y += 1\n"
        "s = [[ a\nlong string ]] // note\n"
        "if (x) y -= 1\n"
        "x = = 2\n";
    std::string msg;
    EXPECT_NE(luac(preprocess(text), dir, &msg), 0);
    EXPECT_NE(msg.find(":7:"), std::string::npos) << msg;
}
