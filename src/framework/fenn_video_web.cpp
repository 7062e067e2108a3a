// The web build's fenn_video: the back page goes to the page's canvas as
// RGBA pixels, one canvas pixel per back-page pixel; the page scales the
// canvas by whole multiples with nearest-neighbour sampling, so the
// "window" here is the canvas's on-screen size, which the page reports.
#include <emscripten.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/fenn_config.h"
#include "framework/fenn_log.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_video.h"

namespace {

struct Video {
    uint8_t palette[768];
    fenn_bitmap* back_page = nullptr;
    std::vector<uint32_t> work;   // 0xAARRGGBB
    std::vector<uint8_t> rgba;    // what the canvas takes
    int fullscreen = 0;
    int window_w = 0, window_h = 0;
    int64_t last_present = -1;
    int32_t smoothed_fps = 0;     // 16.16
    bool inited = false;
};

Video video;

EM_JS(void, web_present, (const uint8_t* rgba, int w, int h), {
    if (Module.vexelPresent) Module.vexelPresent(HEAPU8.subarray(rgba, rgba + w * h * 4), w, h);
});

EM_JS(void, web_set_title, (const char* text), {
    if (Module.vexelTitle) Module.vexelTitle(UTF8ToString(text));
});

EM_JS(void, web_fullscreen, (int on), {
    if (typeof document === "undefined") return;
    if (on && !document.fullscreenElement && Module.vexelFullscreenTarget)
        Module.vexelFullscreenTarget().requestFullscreen().catch(function() {});
    if (!on && document.fullscreenElement) document.exitFullscreen();
});

bool has_page() { return !fenn_cfg.headless && fenn_platform_has_video(); }

}  // namespace

extern "C" {
// The page tells the size the picture is shown at (CSS pixels).
EMSCRIPTEN_KEEPALIVE void fenn_web_resized(int w, int h) { fenn_video_window_resized(w, h); }
}

void fenn_video_log_drivers() { fenn_debug("video: the page's canvas\n"); }

void fenn_video_init() {
    if (video.inited) return;
    for (int i = 0; i < 256; ++i) video.palette[i * 3] = video.palette[i * 3 + 1] = video.palette[i * 3 + 2] = uint8_t(i);
    video.inited = true;
}

void fenn_video_exit() {
    if (!video.inited) return;
    fenn_destroy_bitmap(video.back_page);
    video.back_page = nullptr;
    video.inited = false;
}

void fenn_set_screen(int w, int h, int depth, int flags) {
    (void)depth;
    (void)flags;
    if (fenn_cfg.pixel_perfect == -1) fenn_cfg.pixel_perfect = 1;
    fenn_resize_back_page(w > 0 ? w : 128, h > 0 ? h : 128);
}

fenn_bitmap* fenn_get_back_page() { return video.back_page; }

fenn_bitmap* fenn_resize_back_page(int w, int h) {
    if (!video.back_page || video.back_page->w != w || video.back_page->h != h) {
        fenn_bitmap* page = fenn_create_bitmap(w, h, 8);
        if (!page) return video.back_page;
        fenn_destroy_bitmap(video.back_page);
        video.back_page = page;
    }
    return video.back_page;
}

void fenn_set_windowed(int on) {
    video.fullscreen = on ? 0 : 1;
    if (has_page()) web_fullscreen(video.fullscreen);
}

int fenn_get_windowed() { return video.fullscreen ? 0 : 1; }
void fenn_toggle_fullscreen() { fenn_set_windowed(video.fullscreen); }

void fenn_set_palette(const uint8_t* rgb768) {
    if (rgb768) std::memcpy(video.palette, rgb768, sizeof video.palette);
}

const uint8_t* fenn_get_palette() { return video.palette; }

void fenn_set_window_icon(const fenn_bitmap*) {}

void fenn_video_apply_window_title() {
    if (has_page()) web_set_title(fenn_state.window_title);
}

void fenn_video_window_resized(int w, int h) {
    video.window_w = w;
    video.window_h = h;
}

fenn_rect fenn_dest_rect() {
    const int W = video.back_page ? video.back_page->w : 128, H = video.back_page ? video.back_page->h : 128;
    return fenn_compute_dest_rect(video.window_w, video.window_h, W, H, 1, nullptr);
}

void fenn_measure_frame(int64_t dt) {
    const int32_t r = dt <= 0 ? int32_t(1001) << 16 : int32_t((1000 / std::min<int64_t>(dt, 1000)) + 1) << 16;
    int32_t s = int32_t((int64_t(video.smoothed_fps) * 15 + r) / 16);
    if (s < r) s = std::min(s + 4096, r);
    else if (s > r) s = std::max(s - 4096, r);
    video.smoothed_fps = s;
}

int fenn_get_fps() { return video.smoothed_fps >> 16; }

void fenn_blit_back_page() {
    const int64_t now = fenn_get_time();
    fenn_measure_frame(video.last_present < 0 ? 0 : now - video.last_present);
    video.last_present = now;
    const fenn_bitmap* page = video.back_page;
    if (!page || !has_page()) return;
    const size_t n = size_t(page->w) * size_t(page->h);
    video.work.resize(n);
    video.rgba.resize(n * 4);
    fenn_convert_to_argb(page, video.palette, video.work.data());
    if (fenn_cfg.show_fps) fenn_draw_fps(video.work.data(), page->w, page->h, fenn_get_fps());
    for (size_t i = 0; i < n; ++i) {
        const uint32_t p = video.work[i];
        video.rgba[4 * i] = uint8_t(p >> 16);
        video.rgba[4 * i + 1] = uint8_t(p >> 8);
        video.rgba[4 * i + 2] = uint8_t(p);
        video.rgba[4 * i + 3] = 255;
    }
    web_present(video.rgba.data(), page->w, page->h);
}
