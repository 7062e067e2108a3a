-- included from the cartridge's folder, it includes from its own
player = "p1"
#include ../libs/vec.lua
