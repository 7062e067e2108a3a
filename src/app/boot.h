// boot: the start-up animation, the optional splash picture, reboot and the
// reset effect. The frame loop calls boot_update once per update in boot mode
// and boot_update_reset_glitch every update.
#pragma once

struct vexel_machine;

constexpr int boot_first_frame = -15;   // the boot frame counter after boot_init
constexpr int boot_step_offset = 10;    // step = boot frame - offset

void boot_init(vexel_machine* m);
void boot_update(vexel_machine* m);
bool boot_load_splash();                 // true when "splash.png" was loaded
void boot_draw_splash();
void boot_embedded_cart(vexel_machine* m);
void boot_reboot(vexel_machine* m);
void boot_update_reset_glitch(vexel_machine* m);
void boot_exit();                       // frees the splash picture

// Unsaved changes backed up at exit: the exit notes where (`name`, a file
// of backup/), and the next start's boot says so once and forgets it.
void boot_note_exit_backup(const char* name);
void boot_tell_exit_backup();
