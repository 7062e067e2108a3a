-- control flow: break, nested loops, goto with closures, multiple assignment
local out = {}
for i = 1, 10 do
  if i % 4 == 0 then break end
  out[#out + 1] = i
end
printh(#out)
local i, j = 1, 2
i, j = j, i
printh(i * 10 + j)
local a, b, c = (function() return 1, 2, 3 end)()
printh(a + b + c)
local t = {}
t[1], t[2] = 5, 6
printh(t[1] + t[2])
local fs = {}
do
  local k = 1
  ::again::
  local captured = k
  fs[#fs + 1] = function() return captured end
  k = k + 1
  if k <= 3 then goto again end
end
printh(fs[1]() + fs[2]() * 10 + fs[3]() * 100)
local n = 0
while true do
  n = n + 1
  if n > 50 then break end
end
printh(n)
local r = 0
repeat
  r = r + 1
  local done = r >= 7
until done
printh(r)
local function even(x) if x == 0 then return true end return odd(x - 1) end
function odd(x) if x == 0 then return false end return even(x - 1) end
printh(even(10)) printh(even(7))
local v = nil
printh(v and v.x or "none")
printh(1 < 2 and 2 < 3) printh(1 > 2 or 2 > 3)
local x = 5
local y = x > 3 and "big" or "small"
printh(y)
local s = "a" .. "b" .. 1 .. "c" .. 2 .. "d"
printh(s)
local depth = 0
local function nest(k) if k == 0 then return 0 end return 1 + nest(k - 1) end
printh(nest(150))
local acc = 0
for p = 1, 3 do for q = 1, 3 do for r2 = 1, 3 do acc = acc + p * q * r2 end end end
printh(acc)
