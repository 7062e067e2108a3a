#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "app/app.h"
#include "framework/fenn_config.h"
#include "framework/fenn_loop.h"
#include "test_support.h"

namespace {

std::string written_config() {
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    fenn_config_write(f);
    std::fclose(f);
    std::string s(buf, len);
    free(buf);
    return s;
}

void fresh() {
    std::memset(&fenn_cfg, 0, sizeof fenn_cfg);
    fenn_config_default();
    app = vexel_app{};
    settings_use_table();
    settings_set_defaults();
}

std::vector<char*> argv_of(std::vector<std::string>& args) {
    std::vector<char*> v;
    for (auto& a : args) v.push_back(a.data());
    return v;
}

}  // namespace

TEST(Config, RangesAreAppliedAfterReading) {
    fresh();
    fenn_config_read_text("foreground_sleep_ms 500\nbackground_sleep_ms -3\nmix_buffer_size 100\n"
                          "sound_volume 999\nmusic_volume 12\n");
    EXPECT_EQ(fenn_cfg.foreground_sleep_ms, 200);
    EXPECT_EQ(fenn_cfg.background_sleep_ms, 0);
    EXPECT_EQ(fenn_cfg.mix_buffer_size, 1024);
    EXPECT_EQ(fenn_cfg.sound_volume, 256);
    EXPECT_EQ(fenn_cfg.music_volume, 12);
}

TEST(Config, KeysMatchByPrefixAndBadNumbersKeepTheOldValue) {
    fresh();
    fenn_config_read_text("window_size 320 240\r\nwindowed 1\nwindow_position 10 20\nsessions x\n"
                          "desktop_path   /tmp/my desk  \nshow_fps_extra 1\nnonsense line\n");
    EXPECT_EQ(fenn_cfg.window_w, 320);
    EXPECT_EQ(fenn_cfg.window_h, 240);
    EXPECT_EQ(fenn_cfg.windowed, 1);
    EXPECT_EQ(fenn_cfg.window_x, 10);
    EXPECT_EQ(fenn_cfg.window_y, 20);
    EXPECT_EQ(fenn_cfg.sessions, 0);
    EXPECT_STREQ(fenn_cfg.desktop_path, "/tmp/my desk");
    EXPECT_EQ(fenn_cfg.show_fps, 0);  // matched by prefix, but "_extra" is no number
}

TEST(Config, ConsoleKeysGoThroughTheHook) {
    fresh();
    fenn_config_read_text("root_path /home/me/carts/   \ncdata_path /x/y/file.txt\n"
                          "button_keys 1 2 3 4 5 6 7 8 9 10 11 12 13\ngif_scale 4\nhost_framerate_control 0\n");
    EXPECT_STREQ(app.root_path, "/home/me/carts/");
    EXPECT_STREQ(app.cdata_path, "/x/y/");
    EXPECT_EQ(app.button_keys[0], 1);
    EXPECT_EQ(app.button_keys[12], 13);
    EXPECT_EQ(app.gif_scale, 4);
    EXPECT_EQ(app.host_framerate_control, 0);
}

TEST(Config, WrittenFileReadsBackToTheSameValues) {
    fresh();
    fenn_config_read_text("window_size 640 480\nbackground_sleep_ms 33\nfullscreen_method 2\nsound_volume 100\n"
                          "gif_scale 5\nbutton_keys 4 0 0 0 0 0 0 0 0 0 0 0 9\ngui_theme 1\ndesktop_path /tmp/d\n");
    std::string text = written_config();
    EXPECT_NE(text.find("version 0.3.0\n"), std::string::npos);
    EXPECT_NE(text.find("background_sleep_ms 33 // number"), std::string::npos);
    EXPECT_NE(text.find("button_keys 4 0 0 0 0 0 0 0 0 0 0 0 9 // "), std::string::npos);

    fresh();
    fenn_config_read_text(text.c_str());
    EXPECT_EQ(fenn_cfg.window_w, 640);
    EXPECT_EQ(fenn_cfg.background_sleep_ms, 33);
    EXPECT_EQ(fenn_cfg.fullscreen_method, 2);
    EXPECT_EQ(fenn_cfg.sound_volume, 100);
    EXPECT_STREQ(fenn_cfg.desktop_path, "/tmp/d");
    EXPECT_EQ(app.gif_scale, 5);
    EXPECT_EQ(app.button_keys[12], 9);
    EXPECT_EQ(app.gui_theme, 1);
}

TEST(Config, CommandLineOverridesAreNotSavedButLiveVolumesAre) {
    fresh();
    fenn_config_read_text("window_size 640 480\nsound_volume 200\n");
    std::vector<std::string> args = {"vexel", "-width", "999", "-sound", "0", "-show_fps", "1"};
    auto argv = argv_of(args);
    fenn_process_arguments(int(argv.size()), argv.data());
    EXPECT_EQ(fenn_cfg.window_w, 999);
    EXPECT_EQ(fenn_cfg.sound_volume, 0);
    std::string text = written_config();
    EXPECT_NE(text.find("window_size 640 480 //"), std::string::npos);
    EXPECT_NE(text.find("show_fps 0 //"), std::string::npos);
    EXPECT_NE(text.find("sound_volume 0 //"), std::string::npos);
}

TEST(Config, FrameworkOptionsStopAtRedirectionAndClampTimeout) {
    fresh();
    std::vector<std::string> args = {"vexel", "-timeout", "999", "-headless", "cart.qz", "-draw_rect", "1,2,3,4",
                                     "-home", "/tmp/h", ">", "-windowed", "0"};
    auto argv = argv_of(args);
    fenn_process_arguments(int(argv.size()), argv.data());
    EXPECT_EQ(fenn_cfg.timeout, 240);
    EXPECT_EQ(fenn_cfg.headless, 1);
    EXPECT_EQ(fenn_cfg.draw_rect[2], 3);
    EXPECT_STREQ(fenn_cfg.home, "/tmp/h");
    EXPECT_EQ(fenn_cfg.windowed, 1);  // the default: a first start is in a window
}

TEST(Config, ConsoleOptionsFindTheCartridgeWhereverItStands) {
    fresh();
    app_auto_load_file[0] = 0;
    std::vector<std::string> args = {"vexel", "-headless", "-run", "game.qz", "-p", "level 3", "-gif_len", "20",
                                     "-unknown", "skipped", "-width", "300"};
    auto argv = argv_of(args);
    settings_parse_arguments(int(argv.size()), argv.data());
    EXPECT_STREQ(app_auto_load_file, "game.qz");
    EXPECT_EQ(app.run_flag, 1);
    EXPECT_EQ(app.cart_from_command_line, 1);
    EXPECT_STREQ(app.run_params, "level 3");
    EXPECT_EQ(app.gif_len, 20);

    fresh();
    app_auto_load_file[0] = 0;
    std::vector<std::string> exec = {"vexel", "-x", "t.qz"};
    auto argv2 = argv_of(exec);
    settings_parse_arguments(int(argv2.size()), argv2.data());
    EXPECT_EQ(app.exec_mode, 1);
    EXPECT_STREQ(app_auto_load_file, "t.qz");
}

TEST(Config, SavingReplacesTheFileWholeOrLeavesIt) {
    namespace fs = std::filesystem;
    fresh();
    const std::string home = vexel_test::temp_dir("config_save");
    std::snprintf(fenn_cfg.home, sizeof fenn_cfg.home, "%s", home.c_str());
    const std::string path = home + "/config.txt";
    std::ofstream(path) << "sessions 7\n";
    {
        vexel_test::FileSizeLimit limit(200);  // the settings text is longer
        EXPECT_EQ(fenn_config_save(), 1);
    }
    EXPECT_EQ(vexel_test::read_file(path), "sessions 7\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(home), {}), 1);

    // A link planted under the name is replaced, not written through; a FIFO
    // there is not waited on when reading.
    const std::string victim = vexel_test::temp_dir("config_victim") + "/victim.txt";
    std::ofstream(victim) << "untouched";
    fs::remove(path);
    fs::create_symlink(victim, path);
    EXPECT_EQ(fenn_config_save(), 0);
    EXPECT_EQ(vexel_test::read_file(victim), "untouched");
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_EQ(vexel_test::read_file(path), written_config());
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    fenn_config_load();
    EXPECT_EQ(fenn_cfg.loaded, 0);
    fenn_cfg.home[0] = 0;
}

TEST(Config, ValuesAreHeldToTheirRangesAndKeptOnesAreWrittenBack) {
    fresh();
    fenn_config_read_text("gif_len 500\njoystick_index -2\nscreenshot_scale 0\nbutton_keys 4 9999\n"
                          "live_notes 7\nshift_glyphs 0\nfullscreen_method 9\nvideo_mode 300 200\n");
    EXPECT_EQ(app.gif_len, 120);
    EXPECT_EQ(app.joystick_index, 0);
    EXPECT_EQ(app.screenshot_scale, 1);
    EXPECT_EQ(app.button_keys[1], 511);
    EXPECT_EQ(fenn_cfg.fullscreen_method, 2);
    // The old name of the window size sets the screen too, and is never written.
    EXPECT_EQ(fenn_cfg.window_w, 300);
    EXPECT_EQ(fenn_cfg.screen_h, 200);
    EXPECT_EQ(fenn_cfg.window_size_set, 1);
    const std::string text = written_config();
    EXPECT_EQ(text.find("video_mode"), std::string::npos);
    EXPECT_NE(text.find("window_size 300 200 //"), std::string::npos);
    // Settings nothing reads any more still keep what the file said.
    EXPECT_NE(text.find("\nlive_notes 7 //"), std::string::npos);
    EXPECT_NE(text.find("\nshift_glyphs 0 //"), std::string::npos);
    // A text setting has its comment above it: the value is the rest of the line.
    EXPECT_NE(text.find("// Location of vexel's root folder\nroot_path \n"), std::string::npos);
}

TEST(Config, SeedIsAWholeNumber) {
    for (const auto& [given, seeded, seed] : {std::tuple<const char*, int, uint32_t>{"42", 1, 42u},
                                              {"-1", 1, 0xffffffffu},
                                              {"4294967296", 1, 0u},
                                              {"x", 0, 0u},
                                              {"12abc", 0, 0u}}) {
        fresh();
        std::vector<std::string> args = {"vexel", "-seed", given, "cart.qz"};
        auto argv = argv_of(args);
        ::testing::internal::CaptureStderr();
        settings_parse_arguments(int(argv.size()), argv.data());
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(app.seeded, seeded) << given;
        EXPECT_EQ(app.seed, seed) << given;
        EXPECT_EQ(err.empty(), seeded == 1) << given << ": " << err;
        EXPECT_EQ(err.find("unknown option"), std::string::npos);
        EXPECT_STREQ(app_auto_load_file, "cart.qz");
    }
}

// The board's address: from config.txt as written, from -bbs for one run
// only (never saved), and an option that is no http, https or file address
// is refused with a word and leaves the cartridge name alone.
TEST(Config, BoardAddressFromTheFileAndFromTheOption) {
    fresh();
    fenn_config_read_text("bbs_host https://board.example.net/  \n");
    EXPECT_STREQ(app.bbs_host, "https://board.example.net/");
    for (const auto& [given, taken] : {std::pair<const char*, const char*>{"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
                                       {"file:///srv/board", "file:///srv/board"},
                                       {"ftp://x", ""},
                                       {"board.example.net", ""}}) {
        app.bbs_option[0] = 0;
        std::vector<std::string> args = {"vexel", "-bbs", given, "cart.qz"};
        auto argv = argv_of(args);
        ::testing::internal::CaptureStderr();
        settings_parse_arguments(int(argv.size()), argv.data());
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_STREQ(app.bbs_option, taken) << given;
        EXPECT_EQ(err.empty(), taken[0] != 0) << given << ": " << err;
        EXPECT_STREQ(app_auto_load_file, "cart.qz");
    }
    const std::string text = written_config();
    EXPECT_NE(text.find("bbs_host https://board.example.net/\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("127.0.0.1"), std::string::npos);
}

// An option that sets a config.txt value is held to that setting's range,
// as the file is; a value that is no whole number is refused with a word.
TEST(Config, OptionsKeepToTheRangesOfTheirSettings) {
    fresh();
    std::vector<std::string> args = {"vexel", "-gif_len", "500", "-joystick", "-3", "-gui_theme", "1",
                                     "-screenshot_scale", "x", "-frames", "-5", "cart.qz"};
    auto argv = argv_of(args);
    const int scale_before = app.screenshot_scale;
    ::testing::internal::CaptureStderr();
    settings_parse_arguments(int(argv.size()), argv.data());
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(app.gif_len, 120);
    EXPECT_EQ(app.joystick_index, 0);
    EXPECT_EQ(app.gui_theme, 1);
    EXPECT_EQ(app.screenshot_scale, scale_before);
    EXPECT_EQ(app.frame_limit, 0);
    EXPECT_NE(err.find("-gif_len 500 is outside 1..120"), std::string::npos) << err;
    EXPECT_NE(err.find("ignoring -screenshot_scale x"), std::string::npos) << err;
    EXPECT_STREQ(app_auto_load_file, "cart.qz");
}

TEST(Config, TheHelpAndTheEarlyActionsComeFromTheOptionTable) {
    ::testing::internal::CaptureStdout();
    settings_print_usage();
    const std::string help = ::testing::internal::GetCapturedStdout();
    for (const char* line : {"\n  -x, -exec           run the named cartridge headless",
                             "\n  -width W -height H  window size\n", "\n  -h                  this help\n",
                             "\n                      status 1 when it cannot be written)\n"})
        EXPECT_NE(help.find(line), std::string::npos) << line;
    EXPECT_EQ(help.find("-list-api"), std::string::npos);  // for the tests, not listed

    auto early = [](std::vector<std::string> args) {
        auto argv = argv_of(args);
        return settings_scan_early(int(argv.size()), argv.data());
    };
    EXPECT_EQ(early({"vexel", "cart.qz", "-exec"}), settings_early_exec);
    EXPECT_EQ(early({"vexel", "-p", "-x", "cart.qz"}), settings_early_none);  // -x is -p's value
    EXPECT_EQ(early({"vexel", "-x", "--help"}), settings_early_help);
    EXPECT_EQ(early({"vexel", "-list-api"}), settings_early_list_api);
    EXPECT_EQ(early({"vexel", ">", "-h"}), settings_early_none);
}
