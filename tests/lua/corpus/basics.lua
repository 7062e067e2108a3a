-- locals, globals, arithmetic, comparison, logic
local a, b, c = 1, 2
x = 10
y = x * 3 - a / 1 + b % 3 - 2 ^ 3
printh(a) printh(b) printh(c == nil) printh(y)
local t = a < b and "lt" or "ge"
printh(t)
printh(not nil) printh(not 0) printh(a == 1 and b ~= 2)
printh(x >= 10) printh(x > 10) printh(x <= 9)
local z = -a + -(-b)
printh(z)
local s = "a" .. "b" .. 3 .. "c"
printh(s)
printh(#s)
local m = (a + b) * (x - y) % 7
printh(m)
local n = 7 % 3
printh(n)
printh(-7 % 3)
printh(2^10)
local q, r = 100, 7
printh(q / 4 * 4 == q)
printh(((q)))
if a then printh("yes") elseif b then printh("no") else printh("never") end
if not a then printh("no") elseif b == 2 then printh("elseif") end
local v = nil
v = v or 5
printh(v)
local w = false and 1 or nil
printh(w == nil)
