local t = setmetatable({}, {__concat = function(a, b) return "m" end})
local s = 1 .. 2 .. 3 .. 4 .. 5 .. 6 .. 7 .. 8 .. 9 .. 10 .. "x" .. 0.5 .. -3 .. "" .. 32767
local u = "" .. 1 .. t .. 2 .. "" .. -0.25 .. 3 .. 4 .. 5 .. 6 .. 7 .. 8 .. 9 .. 10 .. 11
local v = 1 .. "" local w = "" .. 2 local z = s .. u .. v .. w
for i = 1, 50 do z = z .. i .. "," .. i / 3 end
