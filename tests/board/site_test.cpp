// A board built from a folder of cartridges: every file where the browser
// looks for it, lists anchored from their oldest entry, search results,
// pages for people, a build that fails leaving nothing half-made, and
// changes of one cartridge that rewrite only what they touch.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "board/board_catalogue.h"
#include "board/board_html.h"
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
#include "runtime/web_export.h"
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
        // A site without the web player unless a test gives it one: a
        // built build-web/ in the source tree changes nothing here.
        ::setenv("VEXEL_WEB_PLAYER", (dir + "/no_player").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("VEXEL_WEB_PLAYER");
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
    board_build_options options() const {
        board_build_options o;
        o.source = source;
        o.out = out;
        o.port = 8123;
        o.font = font;
        o.workers = 2;
        return o;
    }
    bool build(board_report* r) { return board_build(options(), r); }
    // The entries of a list picture of the built board; `ended` is set when
    // it holds an absent entry, `next` to the page it names after itself.
    std::vector<board_cell> cells(const std::string& relative, int* next = nullptr) {
        const std::string bytes = vexel_test::read_file(out + "/" + relative);
        std::vector<board_cell> c;
        bool end = false;
        int n = -2;
        EXPECT_EQ(board_read_list_picture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &c, &end, &n), 0)
            << relative;
        if (next) *next = n;
        return c;
    }
    static std::string top(const char* key) { return cart_board_list_head_path(key); }
    static std::string page(const char* key, int p) { return cart_board_list_page_path(key, p); }
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
    static bool has(const std::vector<std::string>& errors, const std::string& part) {
        for (const std::string& e : errors)
            if (e.find(part) != std::string::npos) return true;
        return false;
    }
    // Every file of the site with its bytes, to see what a change rewrote.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(out))
            if (e.is_regular_file() && e.path().filename().string()[0] != '.')
                files[fs::relative(e.path(), out).string()] = vexel_test::read_file(e.path().string());
        return files;
    }
    // The catalogue's own view: every list slot names a cartridge it holds.
    void expect_catalogue_consistent() {
        std::string reason;
        board_db db = board_open_catalogue(out + "/" + board_catalogue_name, false, &reason);
        ASSERT_TRUE(db) << reason;
        board_stmt q(db.get(), "SELECT COUNT(*) FROM member WHERE id NOT IN (SELECT id FROM cart)");
        ASSERT_EQ(q.step(), SQLITE_ROW);
        EXPECT_EQ(q.integer(0), 0);
    }
};

}  // namespace

TEST_F(BoardSite, EveryCartridgeListAndPageIsWhereItIsLookedFor) {
    // A text cartridge without a label (its first picture becomes one), one
    // with a label, and a PNG cartridge.
    text_cart("first.qz", "-- first frame\n-- draws the label\nfunction _draw() cls(8) if btn(4) then end end\n");
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
        EXPECT_TRUE(fs::is_regular_file(out + "/" + cart_board_label_path(id))) << id;
    }

    // "new" newest first, "featured" by rating, the others by list; a list
    // of one page names no page after it.
    int next = 0;
    const std::vector<board_cell> fresh = cells(top("new"), &next);
    EXPECT_EQ(next, -1);
    EXPECT_EQ(ids(fresh), (std::vector<std::string>{"pic", "20417", "first"}));
    EXPECT_EQ(ids(cells(top("featured"))), (std::vector<std::string>{"pic", "first"}));
    EXPECT_EQ(ids(cells(top("wip"))), (std::vector<std::string>{"20417"}));
    EXPECT_EQ(ids(cells(top("jam"))), (std::vector<std::string>{"pic"}));
    EXPECT_TRUE(cells(top("collab")).empty());
    // The text rows: numbers, the title (given, or the first comment line), author, ids.
    EXPECT_EQ(fresh[0].post, 12);
    EXPECT_EQ(fresh[0].mid_number, 9);
    EXPECT_EQ(fresh[0].category, 2);
    EXPECT_EQ(fresh[0].title, "from a picture");
    EXPECT_EQ(fresh[0].mid, "9");
    EXPECT_EQ(fresh[1].title, "own & label");
    EXPECT_EQ(fresh[1].author, "bo <b>");
    // Labels: the picture's own, the cartridge's own, the first frame.
    EXPECT_EQ(pixel(top("new"), 64, 64), cart_art_colour(11));
    EXPECT_EQ(pixel(top("new"), 128 + 64, 64), cart_art_colour(3));
    EXPECT_EQ(pixel(top("new"), 256 + 64, 64), cart_art_colour(8));
    // The converted cartridge carries the label it was given.
    const std::string png = vexel_test::read_file(out + "/" + cart_board_cart_path("first"));
    vexel_cart* loaded = nullptr;
    ASSERT_EQ(png_cart_load_memory(reinterpret_cast<const uint8_t*>(png.data()), png.size(), true, &loaded, nullptr),
              cart_ok);
    ASSERT_NE(loaded->label, nullptr);
    EXPECT_EQ(loaded->label->pix[64 * 128 + 64], 8);
    EXPECT_NE(std::strstr(loaded->code, "function _draw() cls(8)"), nullptr);
    vexel_cart_destroy(loaded);

    // Pages for people, with every text escaped and relative links; the
    // description is the comment after the title, not the title again.
    const std::string page = vexel_test::read_file(out + "/" + cart_board_post_path("20417"));
    EXPECT_NE(page.find("own &amp; label"), std::string::npos);
    EXPECT_NE(page.find("bo &lt;b&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(page.find("href=\"20417.qz.png\" download=\"own_label.qz.png\""), std::string::npos);
    EXPECT_NE(page.find("name=\"viewport\""), std::string::npos);
    EXPECT_NE(page.find("id=\"player\""), std::string::npos);
    EXPECT_NE(page.find("href=\"../../../" + board_author_path("bo <b>") + "\""), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(out + "/" + board_author_path("bo <b>")));
    const std::string first = vexel_test::read_file(out + "/" + cart_board_post_path("first"));
    EXPECT_NE(first.find("<pre>draws the label\n</pre>"), std::string::npos);
    EXPECT_NE(first.find("o (z)"), std::string::npos);  // its controls
    const std::string index = vexel_test::read_file(out + "/index.html");
    EXPECT_LT(index.find("from a picture"), index.find("first frame"));  // newest first
    EXPECT_NE(index.find("href=\"" + cart_board_post_path("pic") + "\""), std::string::npos);
    for (const char* f : {"search.html", "favicon.png", "bbs/l/wip/top.html"})
        EXPECT_TRUE(fs::is_regular_file(out + "/" + f)) << f;
    const std::string conf = vexel_test::read_file(out + "/nginx.conf");
    EXPECT_NE(conf.find("root " + fs::absolute(out).lexically_normal().string() + ";"), std::string::npos);
    EXPECT_NE(conf.find("listen 8123;"), std::string::npos);
    EXPECT_NE(conf.find("log_not_found off;"), std::string::npos);
    EXPECT_NE(conf.find("Cache-Control"), std::string::npos);

    board_report check;
    EXPECT_TRUE(board_check(out.c_str(), &check)) << (check.errors.empty() ? "" : check.errors[0]);
    EXPECT_EQ(check.carts, 3);
    EXPECT_EQ(check.pictures, r.pictures);
}

TEST_F(BoardSite, ListsAreAnchoredFromTheOldestAndSearchFindsFoldedWordPrefixes) {
    std::string manifest;
    for (int i = 0; i < 33; ++i) {
        const std::string name = "c" + std::to_string(i) + ".qz";
        text_cart(name, "-- cart " + std::to_string(i) + "\nprint(1)\n", i % 16);
        // 33 in "new", exactly 32 in "jam".
        manifest += name + " id=cart" + std::to_string(i) + " author=\"zed q\" post=" + std::to_string(100 + i) +
                    " lists=new" + (i < 32 ? ",jam" : "") + (i == 7 ? " title=\"space duel\"" : "") +
                    (i == 8 ? " title=\"Café Ñandú ★ über\" author=\"José zed\"" : "") + "\n";
    }
    write(source + "/board.txt", manifest);
    board_report r;
    ASSERT_TRUE(build(&r)) << (r.errors.empty() ? "" : r.errors[0]);

    // The head holds the newest page: the 33rd entry alone, then page 0.
    int next = -2;
    std::vector<board_cell> head = cells(top("new"), &next);
    ASSERT_EQ(head.size(), 1u);
    EXPECT_EQ(head[0].id, "cart32");
    EXPECT_EQ(next, 0);
    std::vector<board_cell> older = cells(page("new", 0), &next);
    ASSERT_EQ(older.size(), 32u);
    EXPECT_EQ(older.front().id, "cart31");
    EXPECT_EQ(older.back().id, "cart0");
    EXPECT_EQ(next, -1);
    EXPECT_FALSE(fs::exists(out + "/" + page("new", 1)));  // the head is the newest page
    // Exactly full: one page, the head, and nothing after it.
    EXPECT_EQ(cells(top("jam"), &next).size(), 32u);
    EXPECT_EQ(next, -1);

    // Every word of titles and authors, from two characters on, accents folded.
    EXPECT_EQ(ids(cells(top("search/sp"))), (std::vector<std::string>{"cart7"}));
    EXPECT_EQ(ids(cells(top("search/duel"))), (std::vector<std::string>{"cart7"}));
    EXPECT_EQ(ids(cells(top("search/nandu"))), (std::vector<std::string>{"cart8"}));
    EXPECT_EQ(ids(cells(top("search/cafe"))), (std::vector<std::string>{"cart8"}));
    EXPECT_EQ(ids(cells(top("search/jose"))), (std::vector<std::string>{"cart8"}));
    EXPECT_EQ(ids(cells(top("search/uber"))), (std::vector<std::string>{"cart8"}));
    EXPECT_EQ(cells(top("search/ze"), &next).size(), 1u);  // 33 authors "zed": two pages
    EXPECT_EQ(next, 0);
    EXPECT_EQ(cells(page("search/ze", 0)).size(), 32u);
    EXPECT_FALSE(fs::exists(out + "/bbs/s/q"));  // no folder for a one-letter word
    EXPECT_TRUE(top("search/q").empty());
    // The web search file: newest first, id, title, author.
    const std::string words = vexel_test::read_file(out + "/" + cart_board_list_folder("search/nandu") + "/w.txt");
    EXPECT_EQ(words, "cart8\tCafé Ñandú ★ über\tJosé zed\n");
    // The player's search word is the builder's.
    EXPECT_EQ(cart_board_search_key(" Ñandú x"), "nandu");

    // Every folder holds a bounded number of entries (the fan-out).
    EXPECT_EQ(cart_board_list_folder("search/ghost"), "bbs/s/gh/o/ghost");
    EXPECT_EQ(cart_board_list_page_path("new", 31250), "bbs/l/new/31/31250.png");
}

TEST_F(BoardSite, AddRemoveAndUpdateRewriteOnlyWhatTheyTouch) {
    std::string manifest;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "c" + std::to_string(i) + ".qz";
        text_cart(name, "-- cart " + std::to_string(i) + "\nprint(1)\n", i % 16);
        manifest += name + " id=cart" + std::to_string(i) + " author=ann post=" + std::to_string(100 + i) +
                    " lists=new\n";
    }
    write(source + "/board.txt", manifest);
    board_report r;
    ASSERT_TRUE(build(&r)) << (r.errors.empty() ? "" : r.errors[0]);
    text_cart("ghost.qz", "-- ghost garden\n-- a quiet walk\nprint(1)\n", 12);
    const auto before = snapshot();

    board_change c;
    c.cart = source + "/ghost.qz";
    c.author = "Zoë";
    c.lists = "new,wip";
    board_report added;
    ASSERT_TRUE(board_add(options(), c, &added)) << (added.errors.empty() ? "" : added.errors[0]);
    EXPECT_EQ(added.id, "140");  // the next post number
    const auto after = snapshot();
    // The head of "new" (page 1) and not its full page 0; every changed file
    // counted, and few of them.
    int next = -2;
    EXPECT_EQ(ids(cells(top("new"), &next)), (std::vector<std::string>{"140", "cart39", "cart38", "cart37", "cart36",
                                                                       "cart35", "cart34", "cart33", "cart32"}));
    EXPECT_EQ(next, 0);
    EXPECT_EQ(after.at(page("new", 0)), before.at(page("new", 0)));
    int changed = 0;
    for (const auto& [name, bytes] : after)
        if (!before.count(name) || before.at(name) != bytes) ++changed;
    EXPECT_EQ(changed, added.files);
    EXPECT_LT(added.files, 40);
    EXPECT_EQ(ids(cells(top("wip"))), (std::vector<std::string>{"140"}));
    EXPECT_EQ(ids(cells(top("search/gh"))), (std::vector<std::string>{"140"}));
    EXPECT_EQ(ids(cells(top("search/zoe"))), (std::vector<std::string>{"140"}));
    EXPECT_NE(vexel_test::read_file(out + "/index.html").find("ghost garden"), std::string::npos);
    EXPECT_NE(vexel_test::read_file(out + "/" + cart_board_post_path("140")).find("a quiet walk"), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(out + "/" + board_author_path("Zoë")));

    // A second add under an id that is taken changes nothing.
    c.id = "cart3";
    board_report taken;
    EXPECT_FALSE(board_add(options(), c, &taken));
    EXPECT_TRUE(has(taken.errors, "id \"cart3\" is already on the board"));
    EXPECT_EQ(snapshot(), after);
    // Nor does a cartridge that is not one.
    write(source + "/junk.qz", "no cartridge");
    c.cart = source + "/junk.qz";
    c.id.clear();
    board_report junk;
    EXPECT_FALSE(board_add(options(), c, &junk));
    EXPECT_EQ(snapshot(), after);

    // Update: a new title moves it between search words, keeps its place in "new".
    board_change u;
    u.title = "moon base";
    board_report updated;
    ASSERT_TRUE(board_update(options(), "140", u, &updated)) << (updated.errors.empty() ? "" : updated.errors[0]);
    EXPECT_FALSE(fs::exists(out + "/" + top("search/gh")) && !cells(top("search/gh")).empty());
    EXPECT_EQ(ids(cells(top("search/moon"))), (std::vector<std::string>{"140"}));
    EXPECT_EQ(cells(top("new"))[0].title, "moon base");

    // Remove a cartridge of the full page: that page and nothing of "new"'s head.
    const auto before_remove = snapshot();
    board_report removed;
    ASSERT_TRUE(board_remove(options(), "cart5", &removed));
    EXPECT_EQ(cells(page("new", 0)).size(), 31u);
    EXPECT_EQ(snapshot().at(top("new")), before_remove.at(top("new")));
    EXPECT_FALSE(fs::exists(out + "/" + cart_board_cart_path("cart5")));
    board_report gone;
    EXPECT_FALSE(board_remove(options(), "cart5", &gone));
    EXPECT_TRUE(has(gone.errors, "\"cart5\" is not on the board"));
    // The author who had only the removed cartridge has no page left.
    ASSERT_TRUE(board_remove(options(), "140", &removed));
    EXPECT_FALSE(fs::exists(out + "/" + board_author_path("Zoë")));
    EXPECT_TRUE(cells(top("wip")).empty());

    expect_catalogue_consistent();
    board_report check;
    EXPECT_TRUE(board_check(out.c_str(), &check)) << (check.errors.empty() ? "" : check.errors[0]);
    EXPECT_EQ(check.carts, 39);
    // Changes need a built board.
    board_build_options elsewhere = options();
    elsewhere.out = dir + "/nothing";
    board_report none;
    EXPECT_FALSE(board_remove(elsewhere, "cart1", &none));
    EXPECT_TRUE(has(none.errors, "not a board built by vexel-board"));
}

TEST_F(BoardSite, AFailedBuildLeavesTheEarlierBoardAndNothingElse) {
    text_cart("a.qz", "-- a\nprint(1)\n", 1);
    write(source + "/board.txt", "a.qz id=aa author=x post=1 lists=new\n");
    board_report first;
    ASSERT_TRUE(build(&first));
    const std::string before = vexel_test::read_file(out + "/" + top("new"));

    write(source + "/junk.qz", "this is no cartridge");
    write(source + "/board.txt",
          "a.qz id=aa author=x post=1 lists=new\n"
          "missing.qz id=bb author=x post=2 lists=new\n"
          "junk.qz id=cc author=x post=3 lists=new\n"
          "a.qz id=aa author=x post=4 lists=new\n"
          "a.qz id=dd author=x post=1 lists=new\n"
          "a.qz id=ee author=x post=5 lists=nope\n");
    board_report r;
    EXPECT_FALSE(build(&r));
    EXPECT_TRUE(has(r.errors, "board.txt:4: id \"aa\" is already used on line 1"));
    EXPECT_TRUE(has(r.errors, "board.txt:5: post 1 is already used on line 1"));
    EXPECT_TRUE(has(r.errors, "board.txt:6: unknown list \"nope\""));
    EXPECT_EQ(vexel_test::read_file(out + "/" + top("new")), before);
    // With the lines sound, the cartridges are read: each fault names its line.
    write(source + "/board.txt",
          "a.qz id=aa author=x post=1 lists=new\n"
          "missing.qz id=bb author=x post=2 lists=new\n"
          "junk.qz id=cc author=x post=3 lists=new\n");
    board_report carts;
    EXPECT_FALSE(build(&carts));
    EXPECT_TRUE(has(carts.errors, "board.txt:2: missing.qz: no such file"));
    EXPECT_TRUE(has(carts.errors, "board.txt:3: junk.qz: "));
    EXPECT_EQ(vexel_test::read_file(out + "/" + top("new")), before);
    EXPECT_FALSE(fs::exists(out + "/" + cart_board_cart_path("cc")));
    for (const auto& e : fs::directory_iterator(dir))  // no work folder left beside it
        EXPECT_TRUE(e.path().filename() == "site" || e.path().filename() == "source") << e.path();

    // A folder that is not a board is never replaced.
    write(source + "/board.txt", "a.qz id=aa author=x post=1 lists=new\n");
    const std::string other = dir + "/photos";
    fs::create_directories(other);
    write(other + "/holiday.jpg", "precious");
    board_build_options o = options();
    o.out = other;
    board_report refused;
    EXPECT_FALSE(board_build(o, &refused));
    EXPECT_EQ(vexel_test::read_file(other + "/holiday.jpg"), "precious");
    fs::remove_all(other);
    // A missing manifest says so.
    fs::remove(source + "/board.txt");
    board_report none;
    EXPECT_FALSE(build(&none));
    EXPECT_TRUE(has(none.errors, "board.txt: no such file"));
}

TEST_F(BoardSite, AKilledBuildsWorkFoldersGoWithTheNextBuild) {
    text_cart("a.qz", "-- a\nprint(1)\n", 1);
    write(source + "/board.txt", "a.qz id=aa author=x post=1 lists=new\n");
    // What builds killed half-way leave: their process is gone. The folder
    // of a build that still runs (pid 1 always does) and folders of other
    // names stay.
    for (const char* name : {".site.building-999999999", ".site.old-999999998", ".site.building-1",
                             ".other.building-999999999", ".site.building-x"}) {
        fs::create_directories(dir + "/" + name + "/site");
        write(dir + "/" + name + "/site/index.html", "half");
    }
    board_report r;
    ASSERT_TRUE(build(&r)) << (r.errors.empty() ? "" : r.errors[0]);
    EXPECT_FALSE(fs::exists(dir + "/.site.building-999999999"));
    EXPECT_FALSE(fs::exists(dir + "/.site.old-999999998"));
    EXPECT_TRUE(fs::exists(dir + "/.site.building-1"));
    EXPECT_TRUE(fs::exists(dir + "/.other.building-999999999"));
    EXPECT_TRUE(fs::exists(dir + "/.site.building-x"));
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
    write(out + "/" + top("jam"), std::string(png.begin(), png.end()));
    const std::string cart = vexel_test::read_file(out + "/" + cart_board_cart_path("aa"));
    write(out + "/" + cart_board_cart_path("aa"), cart.substr(0, cart.size() / 2));
    fs::remove(out + "/" + cart_board_cart_path("bb"));

    board_report check;
    EXPECT_FALSE(board_check(out.c_str(), &check));
    EXPECT_TRUE(has(check.errors, "jam/top.png: not 1024x544"));
    EXPECT_TRUE(has(check.errors, "aa.qz.png: "));
    EXPECT_TRUE(has(check.errors, "wip/top.png: names cartridge \"bb\", which is not on the board"));
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
    EXPECT_EQ(pixel(top("new"), 64, 64), cart_art_colour(9));
    fenn_cfg.home[0] = 0;
}

namespace {

// The web player's files go into play/ and every cartridge's page plays
// its own cartridge with them; a board built where no player is found
// still works, its pages saying there is none.
TEST_F(BoardSite, CartridgePagesPlayWithTheWebPlayerWhenItWasBuilt) {
    text_cart("ghost.qz", "-- ghost\nprint(1)\n", 3);
    write(source + "/board.txt", "ghost.qz id=ghost author=me post=1 lists=new\n");
    const std::string player = dir + "/player/";
    fs::create_directories(player);
    for (const char* f : web_export_player_files) write(player + f, std::string("player file ") + f);

    board_report r;
    ASSERT_TRUE(build(&r)) << (r.errors.empty() ? "" : r.errors[0]);
    const std::string page = vexel_test::read_file(out + "/" + cart_board_post_path("ghost"));
    EXPECT_EQ(page.find("<script src="), std::string::npos);
    EXPECT_NE(page.find("no web player"), std::string::npos);
    EXPECT_FALSE(fs::exists(out + "/play"));

    ::setenv("VEXEL_WEB_PLAYER", player.c_str(), 1);
    r = {};
    ASSERT_TRUE(build(&r)) << (r.errors.empty() ? "" : r.errors[0]);
    for (const char* f : web_export_player_files)
        EXPECT_EQ(vexel_test::read_file(out + "/play/" + f), std::string("player file ") + f);
    EXPECT_EQ(vexel_test::read_file(out + "/play/board.js"), board_player_script());
    const std::string playing = vexel_test::read_file(out + "/" + cart_board_post_path("ghost"));
    // Links from bbs/c/<bucket>/ up to the top of the site.
    EXPECT_NE(playing.find("<script src=\"../../../play/board.js\"></script>"), std::string::npos);
    EXPECT_NE(playing.find("data-player=\"../../../play/vexel.html\""), std::string::npos);
    EXPECT_NE(playing.find("data-cart=\"ghost.qz.png\""), std::string::npos);
    EXPECT_NE(playing.find("keys: arrows move"), std::string::npos);
    EXPECT_EQ(playing.find("no web player"), std::string::npos);
    r = {};
    EXPECT_TRUE(board_check(out.c_str(), &r)) << (r.errors.empty() ? "" : r.errors[0]);

    // A page rewritten later (update) still finds the player in the site.
    ::setenv("VEXEL_WEB_PLAYER", (dir + "/no_player").c_str(), 1);
    board_change change;
    change.title = "ghost two";
    r = {};
    ASSERT_TRUE(board_update(options(), "ghost", change, &r)) << (r.errors.empty() ? "" : r.errors[0]);
    EXPECT_NE(vexel_test::read_file(out + "/" + cart_board_post_path("ghost")).find("play/board.js"),
              std::string::npos);

    // A player with a file missing is reported by check.
    fs::remove(out + "/play/vexel.wasm");
    r = {};
    EXPECT_FALSE(board_check(out.c_str(), &r));
    EXPECT_TRUE(has(r.errors, "the web player is incomplete"));
}

}  // namespace
