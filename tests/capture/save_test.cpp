#include <SDL.h>
#include <gif_lib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include "capture_fixture.h"
#include "cart/cart.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_png.h"

namespace {

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int png_width(const std::string& path) {
    const std::vector<uint8_t> bytes = read_bytes(path);
    fenn_bitmap* out = nullptr;
    if (fenn_png_decode(bytes.data(), bytes.size(), &out) != fenn_png_ok) return -1;
    const int w = out->w;
    fenn_destroy_bitmap(out);
    return w;
}

int gif_frames(const std::string& path, int* width) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif) return -1;
    const int n = DGifSlurp(gif) == GIF_OK ? gif->ImageCount : -1;
    *width = gif->SWidth;
    DGifCloseFile(gif, &error);
    return n;
}

// Every key up, seen by the capture keys as a frame of its own.
void clear_keys() {
    for (int k = 0; k < fenn_key_count; ++k) fenn_set_key_state(k, 0);
    capture_key_action();
}

}  // namespace

TEST_F(CaptureTest, ScreenshotsGoToTheDesktopUnderTheCartridgeName) {
    fenn_bitmap* display = fenn_create_bitmap(128, 128, 8);
    display->pix[0] = 7;
    ASSERT_EQ(capture_save_screenshot(display, cart_file.c_str(), screenshot_scale), 0);
    EXPECT_EQ(capture_last_saved_path(), desktop + "/vexel_000.png");
    cart_file = "/carts/jump.qz.png";
    screenshot_scale = 1;
    ASSERT_EQ(capture_save_screenshot(display, cart_file.c_str(), screenshot_scale), 0);
    ASSERT_EQ(capture_save_screenshot(display, cart_file.c_str(), screenshot_scale), 0);
    EXPECT_EQ(files(), (std::set<std::string>{"vexel_000.png", "jump_000.png", "jump_001.png"}));
    EXPECT_EQ(png_width(desktop + "/vexel_000.png"), 384);
    EXPECT_EQ(png_width(desktop + "/jump_001.png"), 128);

    // -screenshot names the file itself and replaces it.
    const std::string exact = desktop + "/exact.png";
    ASSERT_EQ(capture_save_screenshot_to(exact.c_str(), display, screenshot_scale), 0);
    ASSERT_EQ(capture_save_screenshot_to(exact.c_str(), display, screenshot_scale), 0);
    EXPECT_EQ(png_width(exact), 128);
    EXPECT_EQ(files().size(), 4u);
    fenn_destroy_bitmap(display);
}

TEST_F(CaptureTest, WithoutADesktopFolderUnderHomeTheSaveFails) {
    fenn_cfg.desktop_path[0] = 0;
    const char* old = std::getenv("HOME");
    const std::string saved_home = old ? old : "";
    setenv("HOME", desktop.c_str(), 1);  // no Desktop folder in it
    fenn_bitmap* display = fenn_create_bitmap(128, 128, 8);
    EXPECT_EQ(capture_save_screenshot(display, cart_file.c_str(), screenshot_scale), 1);
    capture_record_frame(display, gif_len);
    EXPECT_EQ(capture_save_gif(cart_file.c_str(), gif_scale), 1);
    EXPECT_TRUE(files().empty());

    std::filesystem::create_directory(desktop + "/Desktop");
    EXPECT_EQ(capture_save_screenshot(display, cart_file.c_str(), screenshot_scale), 0);
    EXPECT_EQ(capture_last_saved_path(), desktop + "/Desktop/vexel_000.png");
    if (old) setenv("HOME", saved_home.c_str(), 1);
    else unsetenv("HOME");
    capture_reset_video();
    fenn_destroy_bitmap(display);
}

TEST_F(CaptureTest, SavedVideoHoldsTheFramesSinceTheStartingPoint) {
    fenn_bitmap* frame = fenn_create_bitmap(128, 128, 8);
    capture_reset_video();
    EXPECT_EQ(capture_save_gif(cart_file.c_str(), gif_scale), 1);  // nothing recorded: no file
    EXPECT_TRUE(files().empty());

    for (int n = 0; n < 300; ++n) capture_record_frame(frame, gif_len);  // ten seconds
    ASSERT_EQ(capture_save_gif(cart_file.c_str(), gif_scale), 0);
    capture_reset_video();
    for (int n = 0; n < 90; ++n) capture_record_frame(frame, gif_len);  // three seconds after the reset
    gif_scale = 1;
    ASSERT_EQ(capture_save_gif(cart_file.c_str(), gif_scale), 0);
    // Saving does not empty the clip.
    EXPECT_EQ(capture_video_clip.count, 90);

    int width = 0;
    EXPECT_EQ(gif_frames(desktop + "/vexel_0.gif", &width), 239);
    EXPECT_EQ(width, 256);
    EXPECT_EQ(gif_frames(desktop + "/vexel_1.gif", &width), 90);
    EXPECT_EQ(width, 128);
    capture_reset_video();
    fenn_destroy_bitmap(frame);
}

TEST(CaptureKeys, EachKeyAndItsAlternatives) {
    clear_keys();
    EXPECT_EQ(capture_key_action(), capture_none);
    struct Case {
        int key;
        bool ctrl;
        capture_action want;
    };
    for (const Case& c : {Case{SDL_SCANCODE_F1, false, capture_screenshot}, {SDL_SCANCODE_F6, false, capture_screenshot},
                          {SDL_SCANCODE_6, true, capture_screenshot}, {SDL_SCANCODE_6, false, capture_none},
                          {SDL_SCANCODE_F3, false, capture_video_start}, {SDL_SCANCODE_F8, false, capture_video_start},
                          {SDL_SCANCODE_8, true, capture_video_start}, {SDL_SCANCODE_F4, false, capture_video_save},
                          {SDL_SCANCODE_F9, false, capture_video_save}, {SDL_SCANCODE_9, true, capture_video_save},
                          {SDL_SCANCODE_F7, false, capture_label_image}, {SDL_SCANCODE_7, true, capture_label_image}}) {
        clear_keys();
        fenn_set_key_state(c.key, 3);
        if (c.ctrl) fenn_set_key_state(fenn_key_lctrl, 1);
        EXPECT_EQ(capture_key_action(), c.want) << c.key;
        fenn_set_key_state(c.key, 1);  // held, not pressed this frame
        EXPECT_EQ(capture_key_action(), capture_none) << c.key;
        fenn_set_key_state(c.key, 3);  // still held: the host's auto-repeat
        EXPECT_EQ(capture_key_action(), capture_none) << c.key;
    }
    clear_keys();
    fenn_set_key_state(SDL_SCANCODE_F6, 3);
    EXPECT_EQ(capture_key_action(), capture_screenshot);
    fenn_set_key_state(SDL_SCANCODE_F6, 0);  // released
    EXPECT_EQ(capture_key_action(), capture_none);
    fenn_set_key_state(SDL_SCANCODE_F6, 3);  // and pressed again
    EXPECT_EQ(capture_key_action(), capture_screenshot);
    clear_keys();
}

TEST(CaptureKeys, AltBlocksCtrlZeroCancelsTheLastLineWins) {
    clear_keys();
    fenn_set_key_state(SDL_SCANCODE_F1, 3);
    fenn_set_key_state(fenn_key_ralt, 1);
    EXPECT_EQ(capture_key_action(), capture_none);
    clear_keys();
    fenn_set_key_state(SDL_SCANCODE_F1, 3);
    EXPECT_EQ(capture_key_action(), capture_screenshot);
    clear_keys();
    fenn_set_key_state(SDL_SCANCODE_F1, 3);
    fenn_set_key_state(SDL_SCANCODE_F9, 3);
    fenn_set_key_state(SDL_SCANCODE_F8, 3);
    EXPECT_EQ(capture_key_action(), capture_video_save);
    clear_keys();
    fenn_set_key_state(SDL_SCANCODE_F8, 3);
    fenn_set_key_state(SDL_SCANCODE_F7, 3);
    EXPECT_EQ(capture_key_action(), capture_video_start);
    clear_keys();
    fenn_set_key_state(SDL_SCANCODE_F9, 3);
    fenn_set_key_state(fenn_key_rctrl, 1);
    fenn_set_key_state(SDL_SCANCODE_0, 3);
    EXPECT_EQ(capture_key_action(), capture_none);
    clear_keys();
}

TEST(CaptureLabel, DisplayBecomesTheLabelInMachineColours) {
    vexel_cart* cart = vexel_cart_create();
    fenn_bitmap* display = fenn_create_bitmap(128, 128, 8);
    for (size_t i = 0; i < display->pix.size(); ++i) display->pix[i] = uint8_t(i % 16);
    display->pix[3] = 0x8c;  // an extended colour keeps its slot
    ASSERT_EQ(cart->label, nullptr);
    ASSERT_EQ(capture_label(cart, display), 0);
    ASSERT_NE(cart->label, nullptr);
    EXPECT_EQ(cart->label->w, 128);
    EXPECT_EQ(cart->label->pix[1], 1);
    EXPECT_EQ(cart->label->pix[3], 0x0c);
    EXPECT_EQ(cart->label->pix[16 * 128 + 15], 15);

    // A second capture replaces the picture in place.
    const fenn_bitmap* first = cart->label;
    std::fill(display->pix.begin(), display->pix.end(), uint8_t(9));
    ASSERT_EQ(capture_label(cart, display), 0);
    EXPECT_EQ(cart->label, first);
    EXPECT_EQ(cart->label->pix[3], 9);

    fenn_bitmap* wrong = fenn_create_bitmap(64, 64, 8);
    EXPECT_EQ(capture_label(cart, wrong), 1);
    EXPECT_EQ(capture_label(nullptr, display), 1);
    EXPECT_EQ(cart->label->pix[3], 9);
    fenn_destroy_bitmap(wrong);
    fenn_destroy_bitmap(display);
    vexel_cart_destroy(cart);
}
