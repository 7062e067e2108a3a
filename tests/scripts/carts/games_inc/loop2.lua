#include loop.lua
