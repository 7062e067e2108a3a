// A machine and working cartridge set up as the shell has them, with the
// data folder and the cartridge root in a fresh temporary folder.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/app.h"
#include "cart/cart_text.h"
#include "cart/cdata.h"
#include "cart/code_tabs.h"
#include "cart/disk.h"
#include "cart/rom.h"
#include "cart/vdisk.h"
#include "framework/fenn_config.h"
#include "machine/mem.h"
#include "machine/pstate.h"
#include "test_support.h"

struct CartDeleter {
    void operator()(vexel_cart* c) const { vexel_cart_destroy(c); }
};
using CartPtr = std::unique_ptr<vexel_cart, CartDeleter>;

class CartIo : public ::testing::Test {
protected:
    std::string home, root;

    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        home = vexel_test::temp_dir(std::string("cartio_") + info->name());
        std::snprintf(cconfig.home, sizeof cconfig.home, "%s", home.c_str());
        root = home + "/carts/";
        for (const char* d : {"carts", "backup", "cdata", "cstore", "bbs"})
            std::filesystem::create_directories(home + "/" + d);
        std::memset(&app, 0, sizeof app);
        std::snprintf(app.root_path, sizeof app.root_path, "%s", root.c_str());
        std::snprintf(app.cdata_path, sizeof app.cdata_path, "%s/cdata/", home.c_str());
        vexel_test::make_machine_state();
        std::memset(&cart_disk, 0, sizeof cart_disk);
        std::memset(&cdata, 0, sizeof cdata);
        select_code_tab(0);
        vdisk_clear();
        clear_embedded_carts();
        rom_reset_for_run();
    }

    void TearDown() override {
        vexel_test::free_machine_state();
        vdisk_clear();
        clear_embedded_carts();
        cconfig.home[0] = 0;
        std::filesystem::remove_all(home);
    }

    static std::string read_file(const std::string& path) { return vexel_test::read_file(path); }
    static void write_file(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static bool exists(const std::string& path) { return std::filesystem::exists(path); }

    // The program as the editor leaves it: in the code tabs, which saving
    // joins into the cartridge.
    static void set_code(const char* code) {
        std::snprintf(pstate.working_cart->code, vexel_code_buffer, "%s", code);
        split_code_to_tabs();
    }

    // A text cartridge with the given program and a recognisable ROM.
    static CartPtr make_cart(const char* code, int marker = 7) {
        CartPtr c(vexel_cart_create());
        std::snprintf(c->code, vexel_code_buffer, "%s", code);
        c->version = vexel_cart_newest_version;
        vexel_poke(nullptr, c.get(), 0, marker);
        vexel_poke(nullptr, c.get(), 0x3000, marker);
        return c;
    }
    static void write_cart(const std::string& path, const char* code, int marker = 7) {
        CartPtr c = make_cart(code, marker);
        write_file(path, vexel_cart_to_text(c.get()));
    }

    // Console lines printed while `f` runs (the console prints to standard
    // output in exec mode when no program is active).
    template <class F>
    std::string console_of(F f) {
        app.exec_mode = 1;
        ::testing::internal::CaptureStdout();
        f();
        std::string out = ::testing::internal::GetCapturedStdout();
        app.exec_mode = 0;
        return out;
    }
};
