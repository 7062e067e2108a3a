s=[[
#include a.lua
]] t="\
#include b.lua"
--[==[
#include a.lua
]==]
  #include loop.lua
#include lib.qz
#include ../x
#include /abs
#include ~
#include
