// A desktop folder in a fresh temporary folder, a known display palette and
// the capture settings at their defaults, as the capture tests need them.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "capture/capture.h"
#include "framework/fenn_config.h"
#include "framework/fenn_video.h"
#include "test_support.h"

class CaptureTest : public ::testing::Test {
protected:
    std::string desktop;
    uint8_t palette[768];
    // What the shell hands the capture functions: the cartridge's file (it
    // names the pictures) and the settings' scales and clip length.
    std::string cart_file;
    int screenshot_scale = 3, gif_scale = 2, gif_len = 8;

    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        desktop = vexel_test::temp_dir(std::string("capture_") + info->name());
        std::snprintf(fenn_cfg.desktop_path, sizeof fenn_cfg.desktop_path, "%s", desktop.c_str());
        // Every entry distinct: entry i is (i, 255 - i, i * 7).
        for (int i = 0; i < 256; ++i) {
            palette[i * 3] = uint8_t(i);
            palette[i * 3 + 1] = uint8_t(255 - i);
            palette[i * 3 + 2] = uint8_t(i * 7);
        }
        fenn_set_palette(palette);
    }

    void TearDown() override {
        fenn_cfg.desktop_path[0] = 0;
        std::filesystem::remove_all(desktop);
    }

    std::set<std::string> files() const {
        std::set<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(desktop)) out.insert(e.path().filename().string());
        return out;
    }

    uint32_t colour(int index) const {
        return 0xff000000u | uint32_t(palette[index * 3]) << 16 | uint32_t(palette[index * 3 + 1]) << 8 |
               palette[index * 3 + 2];
    }
};
