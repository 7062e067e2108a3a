// present: what the machine shows — its screen converted into the display
// bitmap through the screen palette and the extended palette, and (while
// a program runs) through the screen mode's stretching and mirroring.
#pragma once

struct vexel_machine;

// Converts m->screen into m->display; `screen_modes` applies the screen
// mode register (only a running program's picture uses it).
void vexel_present_screen(vexel_machine* m, bool screen_modes);
