#include "framework/fenn_loop.h"

int fenn_main(int, char**) { return 0; }
