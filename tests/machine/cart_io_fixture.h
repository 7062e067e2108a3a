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
#include <utility>
#include <vector>

#include "cart/cart_load.h"
#include "cart/cart_rom.h"
#include "cart/cart_text.h"
#include "cart/code_tabs.h"
#include "cart/png_cart.h"
#include "cart/vdisk.h"
#include "framework/fenn_config.h"
#include "framework/fenn_pod.h"
#include "machine/cdata.h"
#include "machine/disk.h"
#include "machine/machine.h"
#include "machine/mem.h"
#include "machine/rom.h"
#include "test_support.h"

struct CartDeleter {
    void operator()(vexel_cart* c) const { vexel_cart_destroy(c); }
};
using CartPtr = std::unique_ptr<vexel_cart, CartDeleter>;

class CartIo : public ::testing::Test {
protected:
    std::string home, root, cdata_root;
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;

    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        home = vexel_test::temp_dir(std::string("cartio_") + info->name());
        std::snprintf(fenn_cfg.home, sizeof fenn_cfg.home, "%s", home.c_str());
        root = home + "/carts/";
        for (const char* d : {"carts", "backup", "cdata", "cstore", "bbs"})
            std::filesystem::create_directories(home + "/" + d);
        cdata_root = home + "/cdata/";
        tm.host.carts_path = root.c_str();
        tm.host.cdata_path = cdata_root.c_str();
    }

    void TearDown() override {
        fenn_cfg.home[0] = 0;
        std::filesystem::remove_all(home);
    }

    static std::string read_file(const std::string& path) { return vexel_test::read_file(path); }
    static void write_file(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static bool exists(const std::string& path) { return std::filesystem::exists(path); }

    // The program as the editor leaves it: in the code tabs, which saving
    // joins into the cartridge.
    void set_code(const char* code) {
        std::snprintf(M->working_cart->code, vexel_code_buffer, "%s", code);
        vexel_split_code_to_tabs(M);
    }

    // A text cartridge with the given program and a recognisable ROM.
    static CartPtr make_cart(const char* code, int marker = 7) {
        CartPtr c(vexel_cart_create());
        std::snprintf(c->code, vexel_code_buffer, "%s", code);
        c->version = vexel_cart_newest_version;
        vexel_cart_poke(c.get(), 0, marker);
        vexel_cart_poke(c.get(), 0x3000, marker);
        return c;
    }
    static void write_cart(const std::string& path, const char* code, int marker = 7) {
        CartPtr c = make_cart(code, marker);
        write_file(path, vexel_cart_to_text(c.get()));
    }

    // A pod with the given cartridges as items 3 and later (32 KiB blocks).
    static fenn_pod* pod_with(const std::vector<std::pair<std::string, std::string>>& carts) {
        fenn_pod* pod = new fenn_pod;
        for (int i = 0; i < 3; ++i) pod->items.push_back(std::make_unique<fenn_pod_item>());
        for (const auto& [name, code] : carts) {
            CartPtr c = make_cart(code.c_str());
            auto item = std::make_unique<fenn_pod_item>();
            item->type = fenn_pod_type_data;
            item->bytes.resize(0x8000);
            EXPECT_EQ(png_cart_save_32k(c.get(), item->bytes.data()), cart_ok);
            std::snprintf(item->name, sizeof item->name, "%s", name.c_str());
            pod->items.push_back(std::move(item));
        }
        return pod;
    }

    // Console lines printed while `f` runs (in exec mode they go to the
    // host's output when no program is active).
    template <class F>
    std::string console_of(F f) {
        tm.host.exec_mode = true;
        tm.output.clear();
        f();
        tm.host.exec_mode = false;
        return tm.output;
    }
};
