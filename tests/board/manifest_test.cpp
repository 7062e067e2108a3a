// The board manifest: what sound lines give, and that every fault is named
// with its line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board_manifest.h"

namespace {

struct Read {
    bool ok;
    std::vector<board_entry> entries;
    std::vector<std::string> errors;
};

Read read(const std::string& text) {
    Read r;
    r.ok = board_read_manifest(text.data(), text.size(), "board.txt", &r.entries, &r.errors);
    return r;
}

}  // namespace

TEST(BoardManifest, SoundLinesGiveEntries) {
    const Read r = read(
        "# a comment\n"
        "\n"
        "game.qz  id=ghost_garden author=vexel post=12 lists=new,featured rating=9\r\n"
        "  tunes.qz.png id=20417 author=\"ana b\" post=13 lists=jam title=\"tunes, take 2\" mid=77\n"
        "x.qz id=xx author=a post=14 lists=wip category=5");
    ASSERT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors[0]);
    ASSERT_EQ(r.entries.size(), 3u);
    const board_entry& a = r.entries[0];
    EXPECT_EQ(a.file, "game.qz");
    EXPECT_EQ(a.id, "ghost_garden");
    EXPECT_EQ(a.post, 12);
    EXPECT_EQ(a.rating, 9);
    EXPECT_EQ(a.lists, 3u);      // new and featured
    EXPECT_EQ(a.category, 2);    // from the first list
    EXPECT_EQ(a.line, 3);
    const board_entry& b = r.entries[1];
    EXPECT_EQ(b.author, "ana b");
    EXPECT_EQ(b.title, "tunes, take 2");
    EXPECT_EQ(b.mid, "77");
    EXPECT_EQ(b.category, 8);
    EXPECT_EQ(r.entries[2].category, 5);  // given
}

TEST(BoardManifest, EveryFaultIsNamedWithItsLine) {
    const Read r = read(
        "a.qz id=aa author=x post=1 lists=new\n"
        "b.qz id=Bad author=x post=2 lists=new\n"
        "c.qz id=cc author=x post=3 lists=news\n"
        "d.qz id=dd post=4 lists=new\n"
        "e.qz id=aa author=x post=5 lists=new\n"
        "f.qz id=ff author=x post=1 lists=new\n"
        "g.qz id=gg author=\"x post=7 lists=new\n"
        "h.qz id=hh author=x post=-3 lists=new colour=red\n"
        "i.qz id=ii author=x post=9 lists=new rating=high stray\n"
        "j.qz id=jj author=x post=99999999999 lists=new\n");
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.entries.size(), 1u);  // only line 1 is sound
    auto has = [&](const std::string& part) {
        for (const std::string& e : r.errors)
            if (e.find(part) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(has("board.txt:2: id \"Bad\""));
    EXPECT_TRUE(has("board.txt:3: unknown list \"news\""));
    EXPECT_TRUE(has("board.txt:4: no author"));
    EXPECT_TRUE(has("board.txt:5: id \"aa\" is already used on line 1"));
    EXPECT_TRUE(has("board.txt:6: post 1 is already used on line 1"));
    EXPECT_TRUE(has("board.txt:7: a quote is not closed"));
    EXPECT_TRUE(has("board.txt:8: post \"-3\""));
    EXPECT_TRUE(has("board.txt:8: unknown field \"colour\""));
    EXPECT_TRUE(has("board.txt:9: rating \"high\""));
    EXPECT_TRUE(has("board.txt:9: \"stray\" is not key=value"));
    EXPECT_TRUE(has("board.txt:10: post \"99999999999\""));
}

TEST(BoardManifest, HostileTextIsRefusedNotTrusted) {
    std::string zero = "a.qz id=aa author=x post=1 lists=new\n";
    zero[6] = '\0';
    EXPECT_FALSE(read(zero).ok);
    EXPECT_FALSE(read("a.qz id=aa author=\"x\x01y\" post=1 lists=new").ok);
    EXPECT_FALSE(read("a.qz id=aa author=x post=1 lists=").ok);
    const std::string huge(board_manifest_max + 1, '#');
    const Read r = read(huge);
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.errors.size(), 1u);
    // Long titles and authors are cut, not refused.
    const Read cut = read("a.qz id=aa author=" + std::string(500, 'x') + " post=1 lists=new");
    ASSERT_TRUE(cut.ok);
    EXPECT_EQ(cut.entries[0].author.size(), size_t(board_text_max));
}
