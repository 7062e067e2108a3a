#include "app/shell.h"
#include "framework/fenn_loop.h"

int main(int argc, char** argv) { return fenn_main(argc, argv, fenn_app{shell_init, shell_update, shell_draw, shell_exit}); }
