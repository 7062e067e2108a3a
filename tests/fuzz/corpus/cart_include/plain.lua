#include a.lua
x=1
#include missing.lua
