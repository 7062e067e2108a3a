-- table borders and constructors: # must agree with stock Lua's sizing
local t1 = {1, 2, 3, nil, 5}
printh(#t1)
local t2 = {1, nil, 3}
printh(#t2)
local t3 = {nil, nil, 3}
printh(#t3)
local t4 = {}
t4[1] = 1 t4[2] = 2 t4[4] = 4
printh(#t4)
local t5 = {}
for i = 1, 10 do t5[i] = i end
t5[5] = nil
printh(#t5)
local t6 = {n = 1, 1, 2, [3] = 3}
printh(#t6)
local t7 = {}
t7[3] = 3 t7[2] = 2 t7[1] = 1
printh(#t7)
local t8 = {1, 2, 3}
t8[#t8] = nil
printh(#t8)
local t9 = {}
for i = 1, 17 do t9[i] = true end
for i = 1, 17, 2 do t9[i] = nil end
printh(#t9 % 2)
local function va(...) return #{...} end
printh(va(1, 2, 3)) printh(va())
local t10 = {[1] = "a", [2] = "b", [3] = "c"}
printh(#t10)
local keys = 0
for k in pairs(t10) do keys = keys + k end
printh(keys)
