#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cart/cart_include.h"
#include "test_support.h"

namespace {

class CartInclude : public ::testing::Test {
protected:
    std::string dir = vexel_test::temp_dir("cart_include") + "/";

    void write(const std::string& name, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(dir + name).parent_path());
        std::ofstream(dir + name, std::ios::binary) << text;
    }
    cart_joined_program join(const std::string& code, bool allowed = true) {
        return cart_join_includes(code.c_str(), dir, allowed);
    }
    // "file:line" of every joined line, lines from 1.
    static std::vector<std::string> origins(const cart_joined_program& j) {
        std::vector<std::string> out;
        for (const cart_include_origin& o : j.lines)
            out.push_back(j.files[size_t(o.file)] + ":" + std::to_string(o.line + 1));
        return out;
    }
};

TEST_F(CartInclude, FilesAreJoinedInPlaceRelativeToTheirOwnFolders) {
    write("src/player.lua", "player=1\n#include ../libs/vec.lua\nafter=1\n");
    write("libs/vec.lua", "vec=2\r\nvec2=3");  // CRLF, no final newline
    write("libs/lib.qz", "vexel cartridge\nversion 15\n__lua__\nlib=\"\xe2\x98\x85\"\n__gfx__\n0123\n");
    const cart_joined_program j = join("a=1\n  #include src/player.lua\n\t#include libs/lib.qz\nz=1");
    EXPECT_TRUE(j.errors.empty()) << j.errors[0];
    EXPECT_EQ(j.text, "a=1\nplayer=1\nvec=2\nvec2=3\nafter=1\nlib=\"\x92\"\nz=1");
    const std::vector<std::string> want = {":1", "src/player.lua:1", "libs/vec.lua:1", "libs/vec.lua:2",
                                           "src/player.lua:3", "libs/lib.qz:1", ":4"};
    EXPECT_EQ(origins(j), want);
}

TEST_F(CartInclude, OnlyLinesStartingWithTheWordOutsideStringsAndCommentsInclude) {
    write("x.lua", "x=1\n");
    const std::string code =
        "s=[[\n#include x.lua\n]]\n"           // inside a long string
        "--[==[\n#include x.lua\n]==]\n"       // inside a long comment
        "t=\"a\\\n#include x.lua\"\n"          // a quoted string continued by a backslash
        "-- #include x.lua\n"
        "y=1 #include x.lua\n"
        "#includex.lua\n"
        "#include x.lua\n";
    EXPECT_FALSE(cart_has_includes("s=[[\n#include x.lua\n]]"));
    EXPECT_TRUE(cart_has_includes(code.c_str()));
    const cart_joined_program j = join(code);
    EXPECT_TRUE(j.errors.empty());
    EXPECT_EQ(j.files.size(), 2u);  // the last line only
    EXPECT_EQ(j.text.substr(j.text.size() - 5), "\nx=1\n");
}

TEST_F(CartInclude, FailuresNameTheFileAndTheLineAndKeepTheLineCount) {
    write("dir/keep.txt", "");
    write("loop_a.lua", "#include loop_b.lua\n");
    write("loop_b.lua", "b=1\n#include loop_a.lua\n");
    write("big.lua", std::string(cart_include_file_max + 1, 'a'));
    write("edge.lua", std::string(cart_include_file_max, '-'));
    for (int i = 1; i <= 9; ++i) write("d" + std::to_string(i) + ".lua", "#include d" + std::to_string(i + 1) + ".lua\n");
    write("d10.lua", "deep=1\n");
    ::mkfifo((dir + "fifo.lua").c_str(), 0600);
    const cart_joined_program j = join(
        "#include libs/vec2.lua\n#include /etc/passwd\n#include ~/x.lua\n#include loop_a.lua\n"
        "#include dir\n#include big.lua\n#include d1.lua\n#include fifo.lua\n#include\n#include edge.lua\nok=1");
    const std::vector<std::string> want = {
        "#include: cannot read libs/vec2.lua (line 1)",
        "#include: absolute path refused /etc/passwd (line 2)",
        "#include: absolute path refused ~/x.lua (line 3)",
        "#include: loop at loop_a.lua (loop_b.lua line 2)",
        "#include: cannot read dir (line 5)",
        "#include: file over 64 KiB big.lua (line 6)",
        "#include: nested too deep at d9.lua (d8.lua line 1)",
        "#include: cannot read fifo.lua (line 8)",
        "#include: no file named (line 9)",
    };
    EXPECT_EQ(j.errors, want);
    EXPECT_EQ(j.text.substr(j.text.rfind('\n') + 1), "ok=1");
    EXPECT_EQ(j.lines.back().file, 0);
    EXPECT_EQ(j.lines.back().line, 10);
}

TEST_F(CartInclude, ACartridgeThatIsNotLocalIncludesNothing) {
    write("x.lua", "x=1\n");
    const cart_joined_program j = join("a=1\n#include x.lua", false);
    ASSERT_EQ(j.errors.size(), 1u);
    EXPECT_EQ(j.errors[0], "#include: only in a local text cartridge (line 2)");
    EXPECT_EQ(j.text, "a=1\n");
}

TEST_F(CartInclude, AnEmptyFileStillTakesItsLine) {
    write("empty.lua", "");
    const cart_joined_program j = join("#include empty.lua\nb=1");
    EXPECT_TRUE(j.errors.empty());
    EXPECT_EQ(j.text, "\nb=1");
    EXPECT_EQ(origins(j), (std::vector<std::string>{"empty.lua:1", ":2"}));
}

}  // namespace
