-- numeric for: steps, negative and zero ranges, coercible strings, wrap guard
local n = 0
for i = 1, 10 do n = n + 1 end printh(n)
n = 0 for i = 10, 1 do n = n + 1 end printh(n)
n = 0 for i = 10, 1, -1 do n = n + i end printh(n)
n = 0 for i = 1, 10, 3 do n = n + i end printh(n)
n = 0 for i = -5, 5 do n = n + i end printh(n)
n = 0 for i = "1", "4" do n = n + i end printh(n)
n = 0 for i = 1, 2, 0.5 do n = n + 1 end printh(n)
n = 0 for i = 5, 5 do n = n + 1 end printh(n)
n = 0 for i = 100, 1, -7 do n = n + 1 end printh(n)
local last
for i = 1, 3 do last = i end printh(last)
for i = 1, 3 do local j = i i = i * 10 printh(i + j) end
local t = {}
for i = 1, 5 do t[i] = function() return i end end
printh(t[2]() + t[5]())
local s = 0
for k, v in pairs({5, 6, 7}) do s = s + k * v end
printh(s)
