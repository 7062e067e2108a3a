local t = {1, 2, 3, [10] = 10, x = "x", ["y"] = "y", [1 + 1] = "two?"}
printh(t[2]) printh(t[10]) printh(t.x) printh(t.y)
printh(#t)
local u = {}
for i = 1, 100 do u[i] = i * i end
printh(#u)
printh(u[50])
u[101] = 1
printh(#u)
u[50] = nil
printh(u[49])
local big = {}
for i = 1, 300 do big[#big + 1] = i end
printh(#big)
local nested = {a = {b = {c = 42}}}
printh(nested.a.b.c)
nested.a.b.c = nested.a.b.c + 1
printh(nested["a"]["b"]["c"])
local k = {}
local m = {}
m[k] = "tablekey"
printh(m[k])
m[true] = "bool"
printh(m[true])
local list = {}
add(list, 5) add(list, 6) add(list, 7)
printh(count(list))
del(list, 6)
printh(list[2])
for v in all(list) do printh(v) end
foreach(list, function(v) printh(v * 2) end)
local long = {1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,46,47,48,49,50,51,52,53,54,55,56,57,58,59,60}
printh(#long)
local a, b = {}, {}
a.x, b.y = 1, 2
printh(a.x + b.y)
local i = 1
local arr = {10, 20}
i, arr[i] = i + 1, 99
printh(arr[1]) printh(i)
