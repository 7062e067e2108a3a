#include <gtest/gtest.h>

#include <sys/stat.h>

#include <iterator>

#include "cart_io_fixture.h"

namespace {
constexpr int32_t fix(double v) { return int32_t(v * 65536.0); }
}  // namespace

class CartData : public CartIo {
protected:
    void start_run() {
        cdata_reset_for_run(M, false);
        M->program_active = 1;
        M->running = 1;
        tm.clear_requests();
        std::memset(M->cart_data, 0, sizeof M->cart_data);
    }
    void stop_run() {
        cdata_save(M);
        M->program_active = 0;
        M->running = 0;
    }
};

TEST_F(CartData, ValuesWrittenAfterASecondAreReadByTheNextRun) {
    start_run();
    EXPECT_EQ(vexel_cartdata(M, "my_game_1"), 0);
    bool yield = true;
    vexel_dset(M, fix(0), fix(1.5), &yield);
    EXPECT_FALSE(yield);
    vexel_dset(M, fix(63), -1, &yield);
    EXPECT_EQ(M->cart_data_dirty, 1);
    M->cdata.last_write_ms = 0;
    cdata_flush_due(M, 900);  // too soon
    EXPECT_FALSE(exists(home + "/cdata/my_game_1.qzd.txt"));
    cdata_flush_due(M, 1001);
    const std::string text = read_file(home + "/cdata/my_game_1.qzd.txt");
    ASSERT_EQ(text.size(), cdata_file_size);
    EXPECT_EQ(text.substr(0, 8), "00018000");
    EXPECT_EQ(text.substr(56, 17), "00000000\n00000000");
    EXPECT_EQ(text.substr(text.size() - 9), "ffffffff\n");
    EXPECT_EQ(M->cart_data_dirty, 0);
    stop_run();

    start_run();
    EXPECT_EQ(vexel_cartdata(M, "my_game_1"), 1);
    EXPECT_EQ(vexel_dget(M, fix(0), nullptr), fix(1.5));
    EXPECT_EQ(vexel_dget(M, fix(0.9), nullptr), fix(1.5));  // the integer part picks the value
    EXPECT_EQ(vexel_dget(M, fix(63), nullptr), -1);
    EXPECT_EQ(vexel_dget(M, fix(-1), nullptr), 0);
    vexel_dset(M, fix(64), fix(1), nullptr);
    EXPECT_EQ(vexel_dget(M, fix(64), nullptr), 0);
    // Once per run.
    EXPECT_EQ(vexel_cartdata(M, "my_game_1"), 0);
    // Recorded for the binding to raise at the calling line; the host is
    // not asked to report it while the program runs.
    EXPECT_TRUE(M->error_pending);
    EXPECT_FALSE(tm.requested(vexel_request_error));
    EXPECT_STREQ(M->error_string, "cartdata() can only be called once");
}

TEST_F(CartData, IdsAreCheckedSoTheyStayInTheFolder) {
    struct Case {
        std::string id;
        std::string error;  // empty: accepted
    } cases[] = {
        {std::string(64, 'a'), ""},
        {"Game-Of_2-lives", ""},
        {"-", ""},
        {std::string(65, 'a'), "cartdata: id too long " + std::string(64, 'a') + "..."},
        {"", "cartdata: empty id"},
        {"../x", "cartdata: bad id ../x"},
        {"a/b", "cartdata: bad id a/b"},
        {"a.b", "cartdata: bad id a.b"},
        {"a\nb\x01", "cartdata: bad id a?b?"},
    };
    for (const Case& c : cases) {
        start_run();
        M->error_string[0] = 0;
        EXPECT_EQ(cdata_load(M, c.id.c_str()), !c.error.empty() ? cdata_refused : cdata_not_loaded) << c.id;
        EXPECT_EQ(std::string(M->error_string), c.error) << c.id;
        EXPECT_EQ(M->cdata.id[0] != 0, c.error.empty()) << c.id;
    }
    // Nothing happens without a running program.
    cdata_reset_for_run(M, false);
    M->program_active = 0;
    EXPECT_EQ(cdata_load(M, "fine"), cdata_not_loaded);
    EXPECT_EQ(M->cdata.id[0], 0);
    EXPECT_EQ(cdata_save(M), 0);
}

TEST_F(CartData, ValuesBeforeCartdataRaiseUnlessFromTheBrowser) {
    start_run();
    bool yield = false;
    EXPECT_EQ(vexel_dget(M, 0, &yield), 0);
    EXPECT_TRUE(yield);
    EXPECT_STREQ(M->error_string, "dget called before cartdata()");
    vexel_dset(M, 0, 5, &yield);
    EXPECT_TRUE(yield);
    EXPECT_STREQ(M->error_string, "dset called before cartdata()");
    EXPECT_EQ(M->cart_data[0], 0);

    start_run();
    M->cdata.browser_cart = 1;
    vexel_dset(M, 0, 5, &yield);
    EXPECT_FALSE(yield);
    EXPECT_EQ(vexel_dget(M, 0, &yield), 5);
    EXPECT_EQ(cdata_save(M), 0);  // no id, no file
    EXPECT_TRUE(std::filesystem::is_empty(home + "/cdata"));
}

TEST_F(CartData, HandEditedAndDamagedFilesStillLoad) {
    int32_t v[cdata_values];
    const std::string edited = "0001 8000\r\nFFFFFFFF  zz 12";
    EXPECT_EQ(cdata_parse(reinterpret_cast<const uint8_t*>(edited.data()), edited.size(), v), 18u);
    EXPECT_EQ(v[0], 0x00018000);
    EXPECT_EQ(v[1], -1);
    EXPECT_EQ(v[2], 0x12);  // a short last group reads as far as it goes
    EXPECT_EQ(v[3], 0);

    // Only 512 digits of the first 1024 bytes count.
    std::string long_file(600, 'f');
    EXPECT_EQ(cdata_parse(reinterpret_cast<const uint8_t*>(long_file.data()), long_file.size(), v), 512u);
    EXPECT_EQ(v[63], -1);
    std::string late(1024, ' ');
    late += "11111111";
    EXPECT_EQ(cdata_parse(reinterpret_cast<const uint8_t*>(late.data()), late.size(), v), 0u);
    EXPECT_EQ(v[0], 0);

    int32_t values[cdata_values];
    for (int i = 0; i < cdata_values; ++i) values[i] = i * 0x01010101;
    const std::string text = cdata_format(values);
    EXPECT_EQ(text.size(), cdata_file_size);
    EXPECT_EQ(cdata_parse(reinterpret_cast<const uint8_t*>(text.data()), text.size(), v), 512u);
    EXPECT_EQ(std::memcmp(v, values, sizeof v), 0);
}

TEST_F(CartData, AFailedWriteKeepsTheOldFileAndSaysSoOnce) {
    start_run();
    ASSERT_EQ(vexel_cartdata(M, "keep"), 0);
    vexel_dset(M, 0, 1, nullptr);
    ASSERT_EQ(cdata_save(M), 0);
    const std::string before = read_file(home + "/cdata/keep.qzd.txt");
    vexel_dset(M, 0, 2, nullptr);
    std::string out = console_of([&] {
        vexel_test::FileSizeLimit limit(100);  // the file takes 520 bytes
        EXPECT_EQ(cdata_save(M), 1);
        vexel_dset(M, 0, 3, nullptr);
        EXPECT_EQ(cdata_save(M), 1);  // the same failure again is not repeated
    });
    EXPECT_EQ(out, "** cartdata: file too large\n");
    EXPECT_EQ(read_file(home + "/cdata/keep.qzd.txt"), before);
    EXPECT_EQ(M->cart_data_dirty, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home + "/cdata"), {}), 1);
    // Once writing works again, so does the file; a later failure is told again.
    EXPECT_EQ(console_of([&] { EXPECT_EQ(cdata_save(M), 0); }), "");
    EXPECT_EQ(read_file(home + "/cdata/keep.qzd.txt").substr(0, 8), "00000003");
    out = console_of([&] {
        vexel_test::FileSizeLimit limit(100);
        EXPECT_EQ(cdata_save(M), 1);
    });
    EXPECT_EQ(out, "** cartdata: file too large\n");
}

TEST_F(CartData, TheFileIsNeverReachedThroughALinkLeadingOut) {
    const std::string secret = home + "/secret.txt";
    write_file(secret, "0000002a");
    std::filesystem::create_symlink(secret, home + "/cdata/spy.qzd.txt");
    start_run();
    std::string out = console_of([&] { EXPECT_EQ(vexel_cartdata(M, "spy"), 0); });
    EXPECT_EQ(out, "** cartdata: outside the cdata folder\n");
    EXPECT_EQ(vexel_dget(M, 0, nullptr), 0);  // nothing was read from it
    vexel_dset(M, 0, 5, nullptr);
    out = console_of([&] { EXPECT_EQ(cdata_save(M), 1); });
    EXPECT_EQ(out, "");  // said once already
    EXPECT_EQ(read_file(secret), "0000002a");
    EXPECT_TRUE(std::filesystem::is_symlink(home + "/cdata/spy.qzd.txt"));

    // A link to another file inside the folder is fine; a FIFO is refused
    // without waiting for a writer.
    write_file(home + "/cdata/real.qzd.txt", "00000007");
    std::filesystem::create_symlink("real.qzd.txt", home + "/cdata/alias.qzd.txt");
    start_run();
    EXPECT_EQ(vexel_cartdata(M, "alias"), 1);
    EXPECT_EQ(vexel_dget(M, 0, nullptr), 7);
    ASSERT_EQ(::mkfifo((home + "/cdata/pipe.qzd.txt").c_str(), 0644), 0);
    start_run();
    out = console_of([&] { EXPECT_EQ(vexel_cartdata(M, "pipe"), 0); });
    EXPECT_EQ(out, "** cartdata: not a regular file\n");
}
