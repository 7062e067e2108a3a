-- includes itself through another file
#include loop2.lua
