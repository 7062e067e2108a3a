// capture: what the frame loop calls to save what the machine shows.
//
// Screenshots ("<base>_000.png", ...) and GIFs of the recorded clip
// ("<base>_0.gif", ...) go to the desktop folder under the first free
// number (capture_file), coloured through the display palette and enlarged
// by the screenshot_scale and gif_scale settings. Both report 0 saved or 1
// failed; the reason of a failure goes to the log, the frame loop shows the
// message. The capture keys are read here and acted on by the frame loop;
// F7 takes the label picture that PNG cartridges carry, as the console's
// "run cart and use f7 to capture" advice promises.
#pragma once
#include <string>

#include "capture/capture_clip.h"
#include "framework/fenn_bitmap.h"

// Saves `bitmap` (8-bit colour indices) as a PNG in the desktop folder,
// named after `cart_file` (the working cartridge's file), each pixel
// `scale` pixels wide.
int capture_save_screenshot(const fenn_bitmap* bitmap, const char* cart_file, int scale);

// Saves the frames of capture_video_clip as a GIF in the desktop folder, named
// after `cart_file`. Fails (writing nothing) when no frame has been
// recorded.
int capture_save_gif(const char* cart_file, int scale);

// Saves `bitmap` as a PNG at `path` exactly (replacing a file there), for
// the -screenshot option.
int capture_save_screenshot_to(const char* path, const fenn_bitmap* bitmap, int scale);

// Makes `display` (8-bit, 128 x 128) the label picture of `cart`, each
// pixel reduced to its machine colour (0..15), as PNG cartridges show it.
// Returns 0, or 1 when either is missing or the picture is not 128 x 128.
int capture_label(struct vexel_cart* cart, const fenn_bitmap* display);

// The path of the last file saved by the two functions above ("" before).
const std::string& capture_last_saved_path();

enum capture_action : int {
    capture_none = 0,
    capture_screenshot = 1,     // F1, F6, Ctrl+6
    capture_video_start = 2,    // F3, F8, Ctrl+8
    capture_video_save = 3,     // F4, F9, Ctrl+9
    capture_label_image = 4,    // F7, Ctrl+7: the cartridge's label picture
};

// The capture key pressed this update: nothing while Alt is held, the last
// of the lines above that matches (in the order screenshot, label, video
// start, video save), nothing when Ctrl+0 is pressed too. A key counts when
// it went down since the previous call, so a key held down acts once, not at
// every auto-repeat; the frame loop calls this once per update.
capture_action capture_key_action();
