// fenn_loop: process entry, framework start-up and shutdown, the frame loop.
//
// The framework knows nothing of the console. The console plugs in through
// four functions it defines (fenn_main_init/update/draw/exit); the loop calls
// them in this order every iteration until fenn_quit is set:
//   update, draw, present (fenn_blit_back_page), input pass, GUI pass.
#pragma once

int fenn_main(int argc, char** argv);

// Provided by the console layer.
void fenn_main_init();
void fenn_main_update();
void fenn_main_draw();
void fenn_main_exit();
