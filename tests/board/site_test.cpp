// A board built from a folder of cartridges: every file where the browser
// and the server look for it, lists and search results in order, pages for
// people, and a build that fails leaving nothing half-made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "board/board_picture.h"
#include "board/board_site.h"
#include "cart/cart.h"
#include "cart/cart_art.h"
#include "cart/cart_board.h"
#include "cart/cart_text.h"
#include "cart/png_cart.h"
#include "framework/fenn_config.h"
#include "framework/fenn_png.h"
#include "framework/fenn_pod.h"
#include "machine/text.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A cartridge whose program is `code` and, when `label` is 0..15, whose
// label is filled with that colour.
vexel_cart* make_cart(const std::string& code, int label) {
    vexel_cart* c = vexel_cart_create();
    std::snprintf(c->code, vexel_code_buffer, "%s", code.c_str());
    if (label >= 0) {
        c->label = fenn_create_bitmap(128, 128, 8);
        std::fill(c->label->pix.begin(), c->label->pix.end(), uint8_t(label));
    }
    return c;
}

class BoardSite : public ::testing::Test {
protected:
    vexel_test::DistinctPalette palette;
    std::string dir, source, out;
    fenn_pod* font = vexel_create_console_font();

    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = vexel_test::temp_dir(std::string("board_") + info->name());
        source = dir + "/source";
        out = dir + "/site";
        fs::create_directories(source);
    }
    void TearDown() override {
        fenn_destroy_pod(font);
        fs::remove_all(dir);
    }

    void text_cart(const std::string& name, const std::string& code, int label = -1) {
        vexel_cart* c = make_cart(code, label);
        ASSERT_EQ(vexel_cart_save_text_file(c, (source + "/" + name).c_str()), 0);
        vexel_cart_destroy(c);
    }
    void png_cart(const std::string& name, const std::string& code, int label) {
        vexel_cart* c = make_cart(code, label);
        std::vector<uint8_t> png;
        ASSERT_EQ(vexel_cart_png_encode(c, nullptr, &png), 0);
        write(source + "/" + name, std::string(png.begin(), png.end()));
        vexel_cart_destroy(c);
    }
    static void write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    bool build(board_report* r) {
        board_build_options o;
        o.source = source;
        o.out = out;
        o.port = 8123;
        o.font = font;
        return board_build(o, r);
    }
    // The entries of a list picture of the built board; `ended` is set when
    // it holds an absent entry.
    std::vector<board_cell> cells(const std::string& relative, bool* ended = nullptr) {
        const std::string bytes = vexel_test::read_file(out + "/" + relative);
        std::vector<board_cell> c;
        bool end = false;
        EXPECT_EQ(board_read_list_picture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &c, &end), 0)
            << relative;
        if (ended) *ended = end;
        return c;
    }
    // Colour of a pixel of a PNG file of the built board.
    uint32_t pixel(const std::string& relative, int x, int y) {
        const std::string bytes = vexel_test::read_file(out + "/" + relative);
        fenn_bitmap* pic = nullptr;
        if (fenn_png_decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &pic) != fenn_png_ok)
            return 0;
        const uint32_t p = pic->pix32()[size_t(y) * size_t(pic->w) + size_t(x)];
        fenn_destroy_bitmap(pic);
        return p;
    }
    static std::vector<std::string> ids(const std::vector<board_cell>& cells) {
        std::vector<std::string> v;
        for (const board_cell& c : cells) v.push_back(c.id);
        return v;
    }
};

}  // namespace

TEST_F(BoardSite, EveryCartridgeListAndPageIsWhereItIsLookedFor) {
    // A text cartridge without a label (its first picture becomes one), one
    // with a label, and a PNG cartridge.
    text_cart("first.qz", "-- first frame\n-- draws the label\nfunction _draw() cls(8) end\n");
    text_cart("own.qz", "-- own label\nprint(1)\n", 3);
    png_cart("pic.qz.png", "-- from a picture\nprint(2)\n", 11);
    write(source + "/board.txt",
          "first.qz id=first author=ann post=10 lists=new,featured rating=1\n"
          "own.qz id=20417 author=\"bo <b>\" post=11 lists=new,wip rating=5 title=\"own & label\"\n"
          "pic.qz.png id=pic author=cy post=12 lists=new,featured,jam rating=3 mid=9\n");
    board_report r;
    ASSERT_TRUE(build(&r)) << (r.errors.empty() ? "" : r.errors[0]);
    EXPECT_EQ(r.carts, 3);

    for (const char* id : {"first", "20417", "pic"}) {
        EXPECT_TRUE(fs::is_regular_file(out + "/" + cart_board_cart_path(id))) << id;
        EXPECT_TRUE(fs::is_regular_file(out + "/" + cart_board_post_path(id))) << id;
    }
    EXPECT_TRUE(fs::is_regular_file(out + "/bbs/cposts/2/20417.qz.png"));

    // "new" newest first, "featured" by rating, the others by list.
    bool ended = false;
    const std::vector<board_cell> fresh = cells("bbs/lists/new/0.png", &ended);
    EXPECT_TRUE(ended);
    EXPECT_EQ(ids(fresh), (std::vector<std::string>{"pic", "20417", "first"}));
    EXPECT_EQ(ids(cells("bbs/lists/featured/0.png")), (std::vector<std::string>{"pic", "first"}));
    EXPECT_EQ(ids(cells("bbs/lists/wip/0.png")), (std::vector<std::string>{"20417"}));
    EXPECT_EQ(ids(cells("bbs/lists/jam/0.png")), (std::vector<std::string>{"pic"}));
    EXPECT_TRUE(cells("bbs/lists/collab/0.png").empty());
    // The text rows: numbers, the title (given, or the first comment line), author, ids.
    EXPECT_EQ(fresh[0].post, 12);
    EXPECT_EQ(fresh[0].mid_number, 9);
    EXPECT_EQ(fresh[0].category, 2);
    EXPECT_EQ(fresh[0].title, "from a picture");
    EXPECT_EQ(fresh[0].mid, "9");
    EXPECT_EQ(fresh[1].title, "own & label");
    EXPECT_EQ(fresh[1].author, "bo <b>");
    // Labels: the picture's own, the cartridge's own, the first frame.
    EXPECT_EQ(pixel("bbs/lists/new/0.png", 64, 64), cart_art_colour(11));
    EXPECT_EQ(pixel("bbs/lists/new/0.png", 128 + 64, 64), cart_art_colour(3));
    EXPECT_EQ(pixel("bbs/lists/new/0.png", 256 + 64, 64), cart_art_colour(8));
    // The converted cartridge carries the label it was given.
    const std::string png = vexel_test::read_file(out + "/" + cart_board_cart_path("first"));
    vexel_cart* loaded = nullptr;
    ASSERT_EQ(png_cart_load_memory(reinterpret_cast<const uint8_t*>(png.data()), png.size(), true, &loaded, nullptr),
              cart_ok);
    ASSERT_NE(loaded->label, nullptr);
    EXPECT_EQ(loaded->label->pix[64 * 128 + 64], 8);
    EXPECT_NE(std::strstr(loaded->code, "function _draw() cls(8) end"), nullptr);
    vexel_cart_destroy(loaded);

    // Pages for people, with every text escaped and relative links.
    const std::string page = vexel_test::read_file(out + "/bbs/posts/20417.html");
    EXPECT_NE(page.find("own &amp; label"), std::string::npos);
    EXPECT_NE(page.find("bo &lt;b&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(page.find("href=\"../../bbs/cposts/2/20417.qz.png\""), std::string::npos);
    EXPECT_NE(vexel_test::read_file(out + "/bbs/posts/first.html").find("draws the label"), std::string::npos);
    const std::string index = vexel_test::read_file(out + "/index.html");
    EXPECT_LT(index.find("from a picture"), index.find("first frame"));  // newest first
    const std::string conf = vexel_test::read_file(out + "/nginx.conf");
    EXPECT_NE(conf.find("root " + fs::absolute(out).lexically_normal().string() + ";"), std::string::npos);
    EXPECT_NE(conf.find("listen 8123;"), std::string::npos);

    board_report check;
    EXPECT_TRUE(board_check(out.c_str(), &check)) << (check.errors.empty() ? "" : check.errors[0]);
    EXPECT_EQ(check.carts, 3);
    EXPECT_EQ(check.pictures, r.pictures);
}

TEST_F(BoardSite, ListsPageByThirtyTwoAndSearchFindsWordPrefixes) {
    std::string manifest;
    for (int i = 0; i < 33; ++i) {
        const std::string name = "c" + std::to_string(i) + ".qz";
        text_cart(name, "-- cart " + std::to_string(i) + "\nprint(1)\n", i % 16);
        // 33 in "new", exactly 32 in "jam".
        manifest += name + " id=cart" + std::to_string(i) + " author=\"zed q\" post=" + std::to_string(100 + i) +
                    " lists=new" + (i < 32 ? ",jam" : "") + (i == 7 ? " title=\"space duel\"" : "") + "\n";
    }
    write(source + "/board.txt", manifest);
    board_report r;
    ASSERT_TRUE(build(&r)) << (r.errors.empty() ? "" : r.errors[0]);

    bool ended = true;
    std::vector<board_cell> page = cells("bbs/lists/new/0.png", &ended);
    EXPECT_EQ(page.size(), 32u);
    EXPECT_FALSE(ended);  // a full page: the browser offers "[load more]"
    EXPECT_EQ(page.front().id, "cart32");
    page = cells("bbs/lists/new/32.png", &ended);
    ASSERT_EQ(page.size(), 1u);
    EXPECT_EQ(page[0].id, "cart0");
    EXPECT_TRUE(ended);
    EXPECT_FALSE(fs::exists(out + "/bbs/lists/new/64.png"));
    // Exactly full: the next page exists and is empty, so "load more" ends.
    EXPECT_EQ(cells("bbs/lists/jam/0.png", &ended).size(), 32u);
    EXPECT_TRUE(cells("bbs/lists/jam/32.png", &ended).empty());
    EXPECT_TRUE(ended);

    // Every word of titles and authors, from two characters on.
    EXPECT_EQ(ids(cells("bbs/lists/search/sp/0.png")), (std::vector<std::string>{"cart7"}));
    EXPECT_EQ(ids(cells("bbs/lists/search/duel/0.png")), (std::vector<std::string>{"cart7"}));
    EXPECT_EQ(ids(cells("bbs/lists/search/cart/0.png")).size(), 32u);  // "cart N" titles, paged too
    EXPECT_EQ(cells("bbs/lists/search/ze/32.png").size(), 1u);
    EXPECT_FALSE(fs::exists(out + "/bbs/lists/search/s"));
    EXPECT_FALSE(fs::exists(out + "/bbs/lists/search/q"));  // a one-letter word
    EXPECT_TRUE(cells("bbs/lists/search-none/0.png").empty());
    // A search the mapping sends to a key has its file.
    EXPECT_TRUE(fs::exists(out + "/" + cart_board_list_path("cat=7&search=spac%20d&max=32", 0)));
}

TEST_F(BoardSite, AFailedBuildLeavesTheEarlierBoardAndNothingElse) {
    text_cart("a.qz", "-- a\nprint(1)\n", 1);
    write(source + "/board.txt", "a.qz id=aa author=x post=1 lists=new\n");
    board_report first;
    ASSERT_TRUE(build(&first));
    const std::string before = vexel_test::read_file(out + "/bbs/lists/new/0.png");

    write(source + "/junk.qz", "this is no cartridge");
    write(source + "/board.txt",
          "a.qz id=aa author=x post=1 lists=new\n"
          "missing.qz id=bb author=x post=2 lists=new\n"
          "junk.qz id=cc author=x post=3 lists=new\n"
          "a.qz id=aa author=x post=4 lists=new\n");
    board_report r;
    EXPECT_FALSE(build(&r));
    auto has = [&](const std::string& part) {
        for (const std::string& e : r.errors)
            if (e.find(part) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(has("board.txt:2: missing.qz: no such file"));
    EXPECT_TRUE(has("board.txt:3: junk.qz: "));
    EXPECT_TRUE(has("board.txt:4: id \"aa\" is already used on line 1"));
    EXPECT_EQ(vexel_test::read_file(out + "/bbs/lists/new/0.png"), before);
    EXPECT_FALSE(fs::exists(out + "/bbs/cposts/cc"));
    for (const auto& e : fs::directory_iterator(dir))  // no work folder left beside it
        EXPECT_TRUE(e.path().filename() == "site" || e.path().filename() == "source") << e.path();

    // A folder that is not a board is never replaced.
    write(source + "/board.txt", "a.qz id=aa author=x post=1 lists=new\n");
    const std::string other = dir + "/photos";
    fs::create_directories(other);
    write(other + "/holiday.jpg", "precious");
    board_build_options o;
    o.source = source;
    o.out = other;
    board_report refused;
    EXPECT_FALSE(board_build(o, &refused));
    EXPECT_EQ(vexel_test::read_file(other + "/holiday.jpg"), "precious");
    // A missing manifest says so.
    fs::remove(source + "/board.txt");
    board_report none;
    EXPECT_FALSE(build(&none));
    ASSERT_FALSE(none.errors.empty());
    EXPECT_NE(none.errors[0].find("board.txt: cannot be read"), std::string::npos);
}

TEST_F(BoardSite, CheckFindsDamagedPicturesAndCartridges) {
    text_cart("a.qz", "-- a\nprint(1)\n", 1);
    text_cart("b.qz", "-- b\nprint(2)\n", 2);
    write(source + "/board.txt", "a.qz id=aa author=x post=1 lists=new\nb.qz id=bb author=x post=2 lists=wip\n");
    board_report r;
    ASSERT_TRUE(build(&r));

    fenn_bitmap* wrong = fenn_create_bitmap(800, 600, 32);
    std::vector<uint8_t> png;
    ASSERT_EQ(fenn_png_encode(wrong, &png), 0);
    fenn_destroy_bitmap(wrong);
    write(out + "/bbs/lists/jam/0.png", std::string(png.begin(), png.end()));
    const std::string cart = vexel_test::read_file(out + "/bbs/cposts/aa/aa.qz.png");
    write(out + "/bbs/cposts/aa/aa.qz.png", cart.substr(0, cart.size() / 2));
    fs::remove(out + "/bbs/cposts/bb/bb.qz.png");

    board_report check;
    EXPECT_FALSE(board_check(out.c_str(), &check));
    auto has = [&](const std::string& part) {
        for (const std::string& e : check.errors)
            if (e.find(part) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(has("jam/0.png: not 1024x544"));
    EXPECT_TRUE(has("aa.qz.png: "));
    EXPECT_TRUE(has("wip/0.png: names cartridge \"bb\", which is not on the board"));
    board_report missing;
    EXPECT_FALSE(board_check((dir + "/nowhere").c_str(), &missing));
}

// A program run for its label writes only into the build's scratch folder,
// which goes with the build.
TEST_F(BoardSite, AProgramRunForItsLabelWritesNothingOutside) {
    const std::string home = dir + "/home";
    fs::create_directories(home);
    std::snprintf(fenn_cfg.home, sizeof fenn_cfg.home, "%s", home.c_str());
    text_cart("w.qz",
              "-- writer\ncartdata(\"board_test\") dset(0, 5)\ncstore(0, 0, 16, \"stored.qz\")\n"
              "printh(\"x\", \"out.txt\")\nfunction _draw() cls(9) end\n");
    write(source + "/board.txt", "w.qz id=ww author=x post=1 lists=new\n");
    board_report r;
    ASSERT_TRUE(build(&r)) << (r.errors.empty() ? "" : r.errors[0]);
    EXPECT_STREQ(fenn_cfg.home, home.c_str());
    EXPECT_TRUE(fs::is_empty(home));
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_TRUE(e.path().filename() == "site" || e.path().filename() == "source" || e.path().filename() == "home")
            << e.path();
    EXPECT_EQ(pixel("bbs/lists/new/0.png", 64, 64), cart_art_colour(9));
    fenn_cfg.home[0] = 0;
}
