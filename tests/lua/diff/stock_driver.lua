-- Runs a test program under stock Lua 5.2 with the globals the console's
-- interpreter gives it, and reports the instructions it executed (count
-- hook of 1) on standard error, as `vexel-lua --count` does.
sub = string.sub
tostr = tostring
tonum = tonumber
flr = math.floor
abs = math.abs
min = math.min
max = math.max
printh = print
local helpers = assert(io.open(arg[2], "r")):read("*a")
assert(load(helpers, "=helpers"))()
local f = assert(loadfile(arg[1]))
local n = 0
debug.sethook(function() n = n + 1 end, "", 1)
f()
debug.sethook()
io.stderr:write("instructions: ", n, "\n")
