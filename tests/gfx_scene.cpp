// The drawing tests' helpers (gfx_scene.h).
#include "gfx_scene.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "framework/fenn_text.h"
#include "machine/machine.h"
#include "test_support.h"
#include "machine/text.h"

namespace gfx_test {

namespace {

// Only for looking at the pictures: a plain 16-colour palette.
constexpr uint8_t view_palette[16][3] = {
    {0, 0, 0},       {29, 43, 83},    {126, 37, 83},   {0, 135, 81},   {171, 82, 54},   {95, 87, 79},
    {194, 195, 199}, {255, 241, 232}, {255, 0, 77},    {255, 163, 0},  {255, 236, 39},  {0, 228, 54},
    {41, 173, 255},  {131, 118, 156}, {255, 119, 168}, {255, 204, 170}};

fenn_pod* test_font = nullptr;
vexel_test::TestMachine* test_machine = nullptr;

bool write_png(const std::string& path, const uint8_t* pix) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, 128, 128, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color pal[16];
    for (int i = 0; i < 16; ++i) pal[i] = {view_palette[i][0], view_palette[i][1], view_palette[i][2]};
    png_set_PLTE(png, info, pal, 16);
    png_write_info(png, info);
    for (int y = 0; y < 128; ++y) png_write_row(png, const_cast<uint8_t*>(pix + y * 128));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return true;
}

bool read_png(const std::string& path, std::vector<uint8_t>& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    if (png_get_image_width(png, info) != 128 || png_get_image_height(png, info) != 128 ||
        png_get_color_type(png, info) != PNG_COLOR_TYPE_PALETTE) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    if (png_get_bit_depth(png, info) < 8) png_set_packing(png);
    png_read_update_info(png, info);
    out.assign(128 * 128, 0);
    for (int y = 0; y < 128; ++y) png_read_row(png, out.data() + y * 128, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

}  // namespace

void paint_test_sprite(vexel_cart* cart, int n) {
    const int ox = (n % 16) * 8, oy = (n / 16) * 8;
    const uint8_t border = uint8_t(n % 15 + 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            uint8_t c = (x == 0 || y == 0 || x == 7 || y == 7) ? border : 0;
            // An "L" in the top-left quarter makes flips visible.
            if ((x == 2 && y >= 2 && y <= 4) || (y == 4 && x >= 2 && x <= 4)) c = uint8_t((n + 7) % 15 + 1);
            if (x == 5 && y == 5) c = 7;
            cart->gfx->pix[size_t(oy + y) * 128 + size_t(ox + x)] = c;
        }
}

vexel_machine* M = nullptr;

void set_up() {
    test_machine = new vexel_test::TestMachine;
    M = test_machine->m;
    for (int n = 0; n < 256; ++n) paint_test_sprite(M->cart, n);
    for (int i = 0; i < 16; ++i) M->draw_pal[i] = M->screen_pal[i] = i;
    M->draw_pal[0] = 0x10;
    M->pen_col = 6;
    vexel_set_clip_registers(M, 0, 0, 128, 128);
    test_font = vexel_create_console_font();
    M->console_font = test_font;
    fenn_text_init();
    M->draw_cycles = 0;
}

void tear_down() {
    delete test_machine;
    test_machine = nullptr;
    M = nullptr;
    fenn_destroy_pod(test_font);
    test_font = nullptr;
    fenn_text_exit();
}

int px(int x, int y) { return M->screen->pix[size_t(y) * 128 + size_t(x)]; }

int count_colour(int c) {
    int n = 0;
    for (uint8_t v : M->screen->pix) n += v == c;
    return n;
}

std::string compare_golden(const std::string& name) {
    const std::string golden = std::string(VEXEL_SOURCE_DIR) + "/tests/machine/golden/" + name + ".png";
    const uint8_t* pix = M->screen->pix.data();
    const char* update = std::getenv("VEXEL_UPDATE_GOLDEN");
    if (update && std::strcmp(update, "1") == 0) {
        std::filesystem::create_directories(std::filesystem::path(golden).parent_path());
        return write_png(golden, pix) ? "" : "cannot write " + golden;
    }
    std::vector<uint8_t> want;
    if (!read_png(golden, want)) return "no readable golden picture " + golden + " (run with VEXEL_UPDATE_GOLDEN=1)";
    int diffs = 0, first = -1;
    for (int i = 0; i < 128 * 128; ++i)
        if (want[size_t(i)] != pix[i]) {
            if (first < 0) first = i;
            ++diffs;
        }
    if (!diffs) return "";
    const std::string out_dir = std::string(VEXEL_BINARY_DIR) + "/golden_out";
    std::filesystem::create_directories(out_dir);
    write_png(out_dir + "/" + name + ".png", pix);
    char msg[256];
    std::snprintf(msg, sizeof msg, "%d pixels differ from %s; first at (%d, %d): got %d, want %d; drawn picture in %s",
                  diffs, name.c_str(), first % 128, first / 128, pix[first], want[size_t(first)], out_dir.c_str());
    return msg;
}

}  // namespace gfx_test
