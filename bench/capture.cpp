// Capture costs: recording one frame into a full clip (paid every frame of
// play), and saving an eight-second GIF and a screenshot at the default
// scales (paid when the user presses the key, while the loop waits).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/capture_clip.h"
#include "capture/capture_gif.h"
#include "capture/capture_png.h"

namespace {

double ms_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
    uint8_t palette[768];
    for (int i = 0; i < 768; ++i) palette[i] = uint8_t(i * 37);
    std::vector<uint8_t> frame(capture_frame_bytes);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t((i * 7 + i / 128) % 16);

    capture_clip clip;
    if (!capture_clip_allocate(clip, capture_clip_slots(8))) return 1;
    constexpr int frames = 20000;
    auto t0 = std::chrono::steady_clock::now();
    for (int n = 0; n < frames; ++n) {
        frame[size_t(n) % frame.size()] ^= 1;
        capture_clip_record(clip, frame.data());
    }
    std::printf("record frame into a full clip: %.3f us\n", ms_since(t0) * 1000.0 / frames);

    const std::string path = (std::filesystem::temp_directory_path() / "vexel_bench_capture.gif").string();
    t0 = std::chrono::steady_clock::now();
    if (capture_write_gif(path.c_str(), clip, palette, 2) != 0) return 1;
    std::printf("save gif, %d frames at 256x256: %.1f ms, %.0f KiB\n", clip.count, ms_since(t0),
                double(std::filesystem::file_size(path)) / 1024.0);
    std::filesystem::remove(path);

    fenn_bitmap* screen = fenn_create_bitmap(128, 128, 8);
    screen->pix = frame;
    std::vector<uint8_t> png;
    t0 = std::chrono::steady_clock::now();
    if (capture_encode_png(screen, palette, 3, &png) != 0) return 1;
    std::printf("encode screenshot at 384x384: %.1f ms, %.0f KiB\n", ms_since(t0), double(png.size()) / 1024.0);
    fenn_destroy_bitmap(screen);
    return 0;
}
