-- constructors, length, integer keys, nested tables and the collection helpers
local t = {10, 20, 30, n = 3, [5] = 50}
printh(#t) printh(t[1]) printh(t.n) printh(t[5]) printh(t[4] == nil)
t[4] = 40
printh(#t)
t[#t + 1] = 60
printh(#t) printh(t[6])
t[1.0] = "one"
printh(t[1])
local s = {}
for i = 1, 200 do s[i] = i * 2 end
printh(#s) printh(s[100]) printh(s[200])
for i = 200, 101, -1 do s[i] = nil end
printh(#s)
local h = {}
h[0] = "zero" h[-1] = "minus" h[0.5] = "half" h["k"] = "kay"
printh(h[0]) printh(h[-1]) printh(h[0.5]) printh(h.k)
local sum, cnt = 0, 0
for k, v in pairs({1, 2, 3, 4, a = 5, b = 6}) do sum = sum + v cnt = cnt + 1 end
printh(sum) printh(cnt)
local m = {{1, 2}, {3, 4}}
printh(m[2][1] + m[1][2])
local function va(...) return {...} end
printh(#va(1, 2, 3, 4, 5))
local big = {}
for i = 1, 60 do big[i] = i end
local l = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25,
  26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50,
  51, 52, 53, 54, 55}
printh(#l) printh(l[55])
local c = {}
add(c, 1) add(c, 2) add(c, 3) add(c, 2)
printh(count(c))
del(c, 2)
printh(#c) printh(c[2]) printh(c[3])
local total = 0
for v in all(c) do total = total + v end
printh(total)
foreach(c, function(v) printh(v) end)
local d = {1, 2, 3, 4, 5}
for v in all(d) do if v % 2 == 0 then del(d, v) end printh(v) end
printh(#d)
