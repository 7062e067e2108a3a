local s = 0
for i = 1, 10 do s = s + i end
printh(s)
for i = 10, 1, -2 do printh(i) end
for i = 1, 0 do printh("never") end
local n = 0
while n < 5 do n = n + 1 if n == 3 then break end end
printh(n)
repeat local k = n n = n + 1 until k >= 6
printh(n)
for i = 1, 3 do
  for j = 1, 3 do
    if j == 2 then goto continue end
    printh(i * 10 + j)
    ::continue::
  end
end
do
  local i = 1
  ::top::
  if i <= 3 then printh("goto " .. i) i = i + 1 goto top end
end
local t = {}
for i = 1, 5 do t[i] = function() return i end end
printh(t[3]())
local acc = 0
for _, v in pairs({5, 6, 7}) do acc = acc + v end
printh(acc)
while true do
  acc = acc - 1
  if acc < 10 then break end
end
printh(acc)
