// The web build has no GIF encoder yet: a GIF capture fails with the
// capture's usual message, and screenshots (PNG) work as on the desktop.
#include "capture/capture_gif.h"

int capture_gif_palette_size(const capture_clip&) { return 16; }

int capture_write_gif(const char*, const capture_clip&, const uint8_t*, int) { return 1; }
