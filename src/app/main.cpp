#include "framework/fenn_loop.h"

int main(int argc, char** argv) { return fenn_main(argc, argv); }
