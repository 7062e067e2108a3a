-- strings: escapes, long strings, concatenation of numbers, sub, length
local s = "hello"
printh(#s) printh(s .. " " .. "world") printh(sub(s, 2, 3)) printh(sub(s, -3)) printh(sub(s, 0))
printh(sub(s, 4, 2) == "") printh(sub("abcdef", -100, 2)) printh(sub(12345, 2, 3))
printh("tab\tnew\\line") printh("\65\066\x43") printh("a\z
      b") printh('q"uote')
local long = [[
first
second]]
printh(long) printh(#long)
printh([==[a]]b]==])
local parts = {}
for i = 1, 10 do parts[#parts + 1] = i end
local acc = ""
for i = 1, #parts do acc = acc .. parts[i] .. "," end
printh(acc)
printh(1 .. "")
printh(-7 .. "x")
printh(type("x")) printh(type(1)) printh(type({})) printh(type(nil)) printh(type(true))
printh(tonum("12") + 1) printh(tonum("0x10")) printh(tonum("z") == nil)
local k = "key" .. 1
local t = {key1 = "found"}
printh(t[k])
