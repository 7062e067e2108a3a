// boot: the start-up animation, the optional splash picture, reboot and the
// reset effect. The frame loop calls move_boot once per update in boot mode
// and update_reset_glitch every update.
#pragma once

struct vexel_machine;

constexpr int boot_first_frame = -15;   // the boot frame counter after boot_init
constexpr int boot_step_offset = 10;    // step = boot frame - offset

void boot_init(vexel_machine* m);
void move_boot(vexel_machine* m);
bool load_splash_bmp();                 // true when "splash.png" was loaded
void draw_splash_screen();
void boot_embedded_cart(vexel_machine* m);
void reboot_machine(vexel_machine* m);
void update_reset_glitch(vexel_machine* m);
void boot_exit();                       // frees the splash picture
