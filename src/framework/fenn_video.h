// fenn_video: the window, the back page and presentation.
//
// The back page is an 8-bit bitmap the console composes each iteration;
// fenn_blit_back_page converts it through the 256-entry palette and puts it
// on the window: through an accelerated renderer with vsync when one can be
// made, else by nearest-neighbour scaling into the window surface. Headless,
// there is no window: the back page is still drawn and can be captured.
//
// Scaling: pixel-perfect (largest whole multiple that fits, centred) or
// aspect fit; a -draw_rect with positive size overrides both.
#pragma once
#include <cstdint>

#include "framework/fenn_bitmap.h"

struct fenn_rect {
    int x, y, w, h;
};

void fenn_video_init();
void fenn_video_exit();
void fenn_video_log_drivers();

// Sets up the window and the back page (w x h at `depth` bits).
// Flags: 0x100 take `windowed` from the settings, 4 force windowed, 8 fullscreen.
void fenn_set_screen(int w, int h, int depth, int flags);
void fenn_set_windowed(int on);
int fenn_get_windowed();
void fenn_toggle_fullscreen();

void fenn_set_palette(const uint8_t* rgb768);
const uint8_t* fenn_get_palette();
void fenn_set_window_icon(const fenn_bitmap* bmp);
void fenn_video_apply_window_title();
void fenn_video_window_resized(int w, int h);

fenn_bitmap* fenn_get_back_page();
// Resizes the back page (8-bit) when it differs; returns it.
fenn_bitmap* fenn_resize_back_page(int w, int h);

// Measures the frame rate and presents the back page.
void fenn_blit_back_page();
int fenn_get_fps();
// The frame-rate smoothing step, exposed for tests: dt in ms since the
// previous present (negative for the first call).
void fenn_measure_frame(int64_t dt);

// The rectangle of a ww x wh window that shows a W x H picture.
fenn_rect fenn_compute_dest_rect(int ww, int wh, int W, int H, int pixel_perfect, const int draw_rect[4]);
fenn_rect fenn_dest_rect();

// Converts an 8-bit bitmap to 0xAARRGGBB through the palette (opaque).
void fenn_convert_to_argb(const fenn_bitmap* src, const uint8_t* palette, uint32_t* out);

// Draws the frame-rate display ("030 fps" on a dark strip) into the top
// left corner of a converted w x h picture.
void fenn_draw_fps(uint32_t* pix, int w, int h, int fps);
