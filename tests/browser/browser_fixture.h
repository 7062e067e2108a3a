// The browser set up as the shell has it, with the data folder and the
// cartridge root in a fresh temporary folder, and helpers that make board
// list pictures and drive the buttons.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "browser/browse.h"
#include "browser/browse_download.h"
#include "browser/browse_list.h"
#include "cart/cart_art.h"
#include "cart/cart_text.h"
#include "cart/code_tabs.h"
#include "cart/cart_load.h"
#include "cart/png_cart.h"
#include "framework/fenn_config.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_png.h"
#include "framework/fenn_video.h"
#include "machine/button.h"
#include "machine/disk.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "runtime/run.h"
#include "test_support.h"

struct BoardEntry {
    int post, second, catsub;
    std::string title, author, lid, mid;
    int colour = 8;  // label fill (machine colour)
};

class Browser : public ::testing::Test {
protected:
    std::string home, root, cdata_root;
    fenn_pod* font = nullptr;
    int32_t button_keys[13] = {};  // the host's key bindings: the default keys
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    // Sixteen distinct machine colours, so labels convert one to one.
    vexel_test::DistinctPalette palette;

    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        home = vexel_test::temp_dir(std::string("browser_") + info->test_suite_name() + "_" + info->name());
        std::snprintf(fenn_cfg.home, sizeof fenn_cfg.home, "%s", home.c_str());
        root = home + "/carts/";
        cdata_root = home + "/cdata/";
        for (const char* d : {"carts", "cdata", "cstore", "bbs", "bbs/carts", "bbs/labels", "backup"})
            std::filesystem::create_directories(home + "/" + d);
        tm.host.carts_path = root.c_str();
        tm.host.cdata_path = cdata_root.c_str();
        tm.host.button_keys = button_keys;
        fenn_cfg.timeout = 30;
        browse_set_bbs_host("https://board.test");
        vexel_select_code_tab(M, 0);
        font = vexel_create_console_font();
        M->console_font = font;
        fenn_keys_init();
        vexel_buttons_reset(M);
        vexel_clear_button_replay(M);
        browse_shutdown();
        browse_data = browse_lists_state();
        browse_data.root = root;
        browse_data.font = font;
        browse_screen = browse_screen_state();
        browse_set_fetcher(nullptr);
        browse_cancel_download(M, nullptr);
        browse_init();
    }

    void TearDown() override {
        browse_cancel_download(M, nullptr);
        browse_set_fetcher(nullptr);
        browse_shutdown();
        browse_data = browse_lists_state();
        M->console_font = nullptr;
        fenn_destroy_pod(font);
        fenn_cfg.home[0] = 0;
        // A worker may still be ending as the folder goes: retry instead of
        // failing on the race.
        std::error_code ec;
        for (int tries = 0; tries < 5 && (std::filesystem::remove_all(home, ec), ec); tries++) ec.clear();
    }

    static std::string read_file(const std::string& path) { return vexel_test::read_file(path); }
    static void write_file(const std::string& path, const std::string& bytes) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static bool exists(const std::string& path) { return std::filesystem::exists(path); }

    static std::string text_cart(const char* code) {
        vexel_cart* c = vexel_cart_create();
        std::snprintf(c->code, vexel_code_buffer, "%s", code);
        c->version = vexel_cart_newest_version;
        std::string text = vexel_cart_to_text(c);
        vexel_cart_destroy(c);
        return text;
    }
    static std::vector<uint8_t> png_cart(const char* code) {
        vexel_cart* c = vexel_cart_create();
        std::snprintf(c->code, vexel_code_buffer, "%s", code);
        c->version = vexel_cart_newest_version;
        c->label = fenn_create_bitmap(128, 128, 8);
        fenn_clear_bitmap(c->label, 12);
        std::vector<uint8_t> png;
        vexel_cart_png_encode(c, nullptr, &png);
        vexel_cart_destroy(c);
        return png;
    }

    // A board list picture (w x h, normally 1024 x 544) holding the entries
    // and naming page `next` after it (-1: none; by default a full picture
    // names page 0, as a board's head does).
    static std::vector<uint8_t> list_picture(const std::vector<BoardEntry>& entries, int w = browse_pic_w,
                                             int h = browse_pic_h, int next = -2) {
        if (next == -2) next = entries.size() >= 32 ? 0 : -1;
        fenn_bitmap* pic = fenn_create_bitmap(w, h, 32);
        auto put_text = [&](int x, int y, const std::string& s) {
            for (size_t i = 0; i < s.size() && i < 128; ++i)
                if (x + int(i) < w && y < h) pic->pix32()[size_t(y) * size_t(w) + size_t(x) + i] = 0xff000000u | uint32_t(uint8_t(s[i])) << 8;
        };
        for (size_t n = 0; n < entries.size() && n < 32; ++n) {
            const BoardEntry& e = entries[n];
            const int cx = int(n % 8) * 128, cy = int(n / 8) * 136;
            for (int y = 0; y < 128; ++y)
                for (int x = 0; x < 128; ++x)
                    if (cx + x < w && cy + y < h)
                        pic->pix32()[size_t(cy + y) * size_t(w) + size_t(cx + x)] = 0xff000000u | cart_art_colour(e.colour);
            put_text(cx, cy + 128, std::to_string(e.post) + " " + std::to_string(e.second) + " " + std::to_string(e.catsub));
            put_text(cx, cy + 129, e.title);
            put_text(cx, cy + 130, e.author);
            put_text(cx, cy + 131, e.lid);
            put_text(cx, cy + 132, e.mid);
        }
        if (next >= 0) put_text(0, browse_pic_next_row, "next " + std::to_string(next));
        std::vector<uint8_t> png;
        fenn_png_encode(pic, &png);
        fenn_destroy_bitmap(pic);
        return png;
    }
    static std::vector<BoardEntry> entries(int n, int first_post = 1000) {
        std::vector<BoardEntry> v;
        for (int i = 0; i < n; ++i)
            v.push_back({first_post + i, 2000 + i, 2, "Game " + std::to_string(i), "Maker-" + std::to_string(i), "", ""});
        return v;
    }
    static void write_bytes(const std::string& path, const std::vector<uint8_t>& b) {
        write_file(path, std::string(b.begin(), b.end()));
    }

    // One machine frame with the buttons of `mask` (bits 0-6) held, through
    // the buttons' own frame steps, then the browser's update.
    void frame(int mask = 0) {
        vexel_set_button_replay(M, {uint16_t(mask)});
        vexel_buttons_update(M);
        vexel_buttons_read(M);
        browse_update(M);
    }
    // A press and release of button b.
    void tap(int b) {
        frame(1 << b);
        frame(0);
    }
    // The same for the game controller alone (the search entry reads it).
    void tap_pad(int b) {
        vexel_clear_button_replay(M);
        vexel_buttons_reset(M);
        M->buttons.pad_down[0][b] = 1;
        browse_update(M);
        vexel_buttons_reset(M);
    }

    std::string message() const { return tm.message; }
    static browse_list& list(int i) { return browse_data.lists[i]; }
    static std::vector<std::string> titles(int i) {
        std::vector<std::string> t;
        for (const browse_item& it : list(i).items) t.push_back(it.title);
        return t;
    }
};
