#include "framework/fenn_video.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "framework/fenn_config.h"
#include "framework/fenn_log.h"
#include "framework/fenn_loop.h"
#include "framework/fenn_platform.h"

namespace {

constexpr int window_fallback_w = 640;
constexpr int window_fallback_h = 480;
// A saved window smaller than this (in either direction) is not kept: the
// picture would be a postage stamp. Such sizes come from old settings files.
constexpr int window_min_kept = 256;

struct Video {
    uint8_t palette[768];
    uint8_t black_palette[768];
    fenn_bitmap* back_page = nullptr;
    std::vector<uint32_t> work;          // 32-bit conversion of the back page
    int fullscreen = 1;
    int desktop_w = 0, desktop_h = 0;
    int window_w = 0, window_h = 0;       // current window size
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int texture_w = 0, texture_h = 0;
    std::vector<uint32_t> icon;
    int icon_w = 0, icon_h = 0;
    int64_t last_present = -1;
    int32_t smoothed_fps = 0;            // 16.16
    bool inited = false;
};

Video video;

bool headless() { return fenn_cfg.headless || !fenn_platform_has_video(); }

void destroy_window() {
    if (video.texture) SDL_DestroyTexture(video.texture);
    if (video.renderer) SDL_DestroyRenderer(video.renderer);
    if (video.window) SDL_DestroyWindow(video.window);
    video.texture = nullptr;
    video.renderer = nullptr;
    video.window = nullptr;
    video.texture_w = video.texture_h = 0;
}

void apply_icon() {
    if (!video.window || video.icon.empty()) return;
    SDL_Surface* s = SDL_CreateRGBSurfaceFrom(video.icon.data(), video.icon_w, video.icon_h, 32, video.icon_w * 4,
                                              0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    if (!s) return;
    SDL_SetWindowIcon(video.window, s);
    SDL_FreeSurface(s);
}

void create_window() {
    destroy_window();
    bool windowed = !video.fullscreen;
    int x = fenn_cfg.window_x == -1 ? int(SDL_WINDOWPOS_UNDEFINED) : fenn_cfg.window_x;
    int y = fenn_cfg.window_y == -1 ? int(SDL_WINDOWPOS_UNDEFINED) : fenn_cfg.window_y;
    Uint32 flags = SDL_WINDOW_SHOWN;
    int w = fenn_cfg.window_w, h = fenn_cfg.window_h;
    if (w < window_min_kept || h < window_min_kept) { w = window_fallback_w; h = window_fallback_h; }
    if (windowed) {
        flags |= SDL_WINDOW_RESIZABLE;
        if (fenn_cfg.frameless) flags |= SDL_WINDOW_BORDERLESS;
    } else {
        if (video.desktop_w > 0) { w = video.desktop_w; h = video.desktop_h; }
        x = y = int(SDL_WINDOWPOS_UNDEFINED);
        if (fenn_cfg.fullscreen_method == 2) flags |= SDL_WINDOW_FULLSCREEN;
        else if (fenn_cfg.fullscreen_method == 1) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        else flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_MAXIMIZED | SDL_WINDOW_INPUT_GRABBED;
    }
    video.window = SDL_CreateWindow(fenn_state.window_title, x, y, w, h, flags);
    if (!video.window) {
        fenn_debug("SDL_CreateWindow: %s\n", SDL_GetError());
        fenn_fatal_error("Unable to create window");
    }
    SDL_GetWindowSize(video.window, &video.window_w, &video.window_h);
    if (!fenn_cfg.software_blit) {
        video.renderer = SDL_CreateRenderer(video.window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
        if (!video.renderer) {
            fenn_debug(" could not create sdl_renderer! dropping down to software_blit\n");
            fenn_cfg.software_blit = 1;
            // A window that once had a renderer cannot take a surface; make it anew.
            SDL_DestroyWindow(video.window);
            video.window = SDL_CreateWindow(fenn_state.window_title, x, y, w, h, flags);
            if (!video.window) fenn_fatal_error("Unable to create window");
            SDL_GetWindowSize(video.window, &video.window_w, &video.window_h);
        }
    }
    if (video.renderer) {
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, fenn_cfg.pixel_perfect ? "nearest" : "linear");
        SDL_SetRenderDrawColor(video.renderer, 0, 0, 0, 255);
        SDL_RenderClear(video.renderer);
        SDL_RenderPresent(video.renderer);
    }
    apply_icon();
}

void present_renderer(const fenn_bitmap* page) {
    if (!video.texture || video.texture_w != page->w || video.texture_h != page->h) {
        if (video.texture) SDL_DestroyTexture(video.texture);
        video.texture = SDL_CreateTexture(video.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                          page->w, page->h);
        video.texture_w = page->w;
        video.texture_h = page->h;
        if (!video.texture) return;
    }
    SDL_UpdateTexture(video.texture, nullptr, video.work.data(), page->w * 4);
    SDL_SetRenderDrawColor(video.renderer, 0, 0, 0, 255);
    SDL_RenderClear(video.renderer);
    fenn_rect r = fenn_dest_rect();
    SDL_Rect dst{r.x, r.y, r.w, r.h};
    SDL_RenderCopy(video.renderer, video.texture, nullptr, &dst);
    SDL_RenderPresent(video.renderer);
}

void present_software(const fenn_bitmap* page) {
    SDL_Surface* surface = SDL_GetWindowSurface(video.window);
    if (!surface) return;
    SDL_Surface* converted = surface->format->format == SDL_PIXELFORMAT_ARGB8888 ||
                                     surface->format->format == SDL_PIXELFORMAT_RGB888
                                 ? surface
                                 : nullptr;
    if (!converted) return;  // unusual surface formats are not drawn
    if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
    uint8_t* base = static_cast<uint8_t*>(surface->pixels);
    for (int y = 0; y < surface->h; ++y) std::memset(base + size_t(y) * size_t(surface->pitch), 0, size_t(surface->w) * 4);
    fenn_rect r = fenn_dest_rect();
    int W = page->w, H = page->h;
    int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    int x1 = std::min(r.x + r.w, surface->w), y1 = std::min(r.y + r.h, surface->h);
    if (r.w > 0 && r.h > 0) {
        int64_t step = (int64_t(W) * 65536) / r.w;
        for (int y = y0; y < y1; ++y) {
            int sy = int((int64_t(H) * (y - r.y)) / r.h);
            uint32_t* row = reinterpret_cast<uint32_t*>(base + size_t(y) * size_t(surface->pitch));
            const uint32_t* src = video.work.data() + size_t(sy) * size_t(W);
            for (int x = x0; x < x1; ++x) row[x] = src[((x - r.x) * step) >> 16];
        }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(video.window);
}

}  // namespace

void fenn_video_log_drivers() {
    int n = SDL_GetNumVideoDrivers();
    if (n <= 0) {
        fenn_debug("No built-in video drivers\n");
    } else {
        fenn_debug("Built-in video drivers:");
        for (int i = 0; i < n; ++i) fenn_debug(" %d %s", i, SDL_GetVideoDriver(i));
        fenn_debug("\n");
    }
    const char* current = SDL_GetCurrentVideoDriver();
    fenn_debug("Current video driver: %s\n", current ? current : "none");
    int r = SDL_GetNumRenderDrivers();
    if (r <= 0) {
        fenn_debug("No built-in render drivers\n");
    } else {
        fenn_debug("Built-in render drivers:\n");
        for (int i = 0; i < r; ++i) {
            SDL_RendererInfo info;
            if (SDL_GetRenderDriverInfo(i, &info) == 0) fenn_debug(" %d %s\n", i, info.name);
        }
    }
}

void fenn_video_init() {
    if (video.inited) return;
    for (int i = 0; i < 256; ++i) video.palette[i * 3] = video.palette[i * 3 + 1] = video.palette[i * 3 + 2] = uint8_t(i);
    std::memset(video.black_palette, 0, sizeof video.black_palette);
    video.inited = true;
    if (headless()) return;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        video.desktop_w = mode.w;
        video.desktop_h = mode.h;
    }
}

void fenn_video_exit() {
    if (!video.inited) return;
    fenn_destroy_bitmap(video.back_page);
    video.back_page = nullptr;
    destroy_window();
    video.inited = false;
}

void fenn_set_screen(int w, int h, int depth, int flags) {
    fenn_debug("fenn_set_screen %d %d %d %x\n", w, h, depth, flags);
    if (fenn_cfg.pixel_perfect == -1) {
        fenn_cfg.pixel_perfect = h < 480 ? 1 : 0;
        fenn_debug(" set pixel_perfect %d\n", fenn_cfg.pixel_perfect);
    }
    if (w == 0 || h == 0) {
        w = video.desktop_w;
        h = video.desktop_h;
        fenn_debug("retrieving desktop resolution: %d %d\n", w, h);
    }
    // The window opens at the saved size, or 640x480: the screen's own
    // size (128x128) would show the picture at 1x.
    if (!fenn_cfg.window_size_set || fenn_cfg.window_w < window_min_kept || fenn_cfg.window_h < window_min_kept) {
        fenn_cfg.window_w = window_fallback_w;
        fenn_cfg.window_h = window_fallback_h;
        fenn_cfg.window_size_set = 1;
    }
    fenn_debug(" window size: %d %d\n", fenn_cfg.window_w, fenn_cfg.window_h);
    if (flags & 0x100) {
        if (fenn_cfg.windowed) video.fullscreen = 0;
    }
    if (flags & 4) video.fullscreen = 0;
    if (flags & 8) video.fullscreen = 1;
    if (!headless()) create_window();
    video.window_w = video.window ? video.window_w : fenn_cfg.window_w;
    video.window_h = video.window ? video.window_h : fenn_cfg.window_h;
    if (depth != 8) depth = 8;  // the back page is always indexed
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
    if (headless()) return;
    int fullscreen = on ? 0 : 1;
    if (fullscreen == video.fullscreen && video.window) return;
    video.fullscreen = fullscreen;
    fenn_cfg.windowed = on ? 1 : 0;
    create_window();
}

int fenn_get_windowed() { return video.fullscreen ? 0 : 1; }
void fenn_toggle_fullscreen() { fenn_set_windowed(video.fullscreen); }

void fenn_set_palette(const uint8_t* rgb768) {
    if (rgb768) std::memcpy(video.palette, rgb768, sizeof video.palette);
}

const uint8_t* fenn_get_palette() { return video.palette; }

void fenn_set_window_icon(const fenn_bitmap* bmp) {
    if (!bmp || bmp->depth != 32) return;
    video.icon.assign(bmp->pix32(), bmp->pix32() + size_t(bmp->w) * size_t(bmp->h));
    video.icon_w = bmp->w;
    video.icon_h = bmp->h;
    apply_icon();
}

void fenn_video_apply_window_title() {
    if (video.window) SDL_SetWindowTitle(video.window, fenn_state.window_title);
}

void fenn_video_window_resized(int w, int h) {
    video.window_w = w;
    video.window_h = h;
    if (!video.fullscreen) {
        fenn_cfg.window_w = w;
        fenn_cfg.window_h = h;
    }
}

fenn_rect fenn_dest_rect() {
    int W = video.back_page ? video.back_page->w : 128, H = video.back_page ? video.back_page->h : 128;
    return fenn_compute_dest_rect(video.window_w, video.window_h, W, H, fenn_cfg.pixel_perfect > 0 ? 1 : 0,
                                  fenn_cfg.draw_rect);
}

void fenn_measure_frame(int64_t dt) {
    int32_t r = dt <= 0 ? int32_t(1001) << 16 : int32_t((1000 / std::min<int64_t>(dt, 1000)) + 1) << 16;
    int32_t s = int32_t((int64_t(video.smoothed_fps) * 15 + r) / 16);
    if (s < r) s = std::min(s + 4096, r);
    else if (s > r) s = std::max(s - 4096, r);
    video.smoothed_fps = s;
}

int fenn_get_fps() { return video.smoothed_fps >> 16; }

void fenn_blit_back_page() {
    int64_t now = fenn_get_time();
    fenn_measure_frame(video.last_present < 0 ? 0 : now - video.last_present);
    video.last_present = now;
    const fenn_bitmap* page = video.back_page;
    if (!page || !video.window) return;
    video.work.resize(size_t(page->w) * size_t(page->h));
    fenn_convert_to_argb(page, video.palette, video.work.data());
    if (fenn_cfg.show_fps) fenn_draw_fps(video.work.data(), page->w, page->h, fenn_get_fps());
    if (video.renderer) present_renderer(page);
    else present_software(page);
}
