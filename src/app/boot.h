// boot: the start-up animation, the optional splash picture, reboot and the
// reset effect. The frame loop calls move_boot once per update in boot mode
// and update_reset_glitch every update.
#pragma once

constexpr int boot_first_frame = -15;   // the boot frame counter after boot_init
constexpr int boot_step_offset = 10;    // step = boot frame - offset

void boot_init();
void move_boot();
bool load_splash_bmp();                 // true when "splash.png" was loaded
void draw_splash_screen();
void boot_embedded_cart();
void reboot_machine();
void update_reset_glitch();
void boot_exit();                       // frees the splash picture
