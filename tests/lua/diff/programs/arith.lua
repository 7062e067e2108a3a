-- integer arithmetic, precedence, comparisons and string coercion
local a, b = 17, 5
printh(a + b) printh(a - b) printh(a * b) printh(a % b) printh(-a % b)
printh(a / 5 * 5) printh(2 ^ 10) printh(-a) printh(- -a)
printh(1 + 2 * 3 - 4 / 2) printh((1 + 2) * 3) printh(2 ^ 3 ^ 2 / 64)
printh(10 == 10) printh(10 ~= 10) printh(3 < 4) printh(4 <= 4) printh(5 > 6) printh(5 >= 6)
printh("10" + 5) printh("3" * "4") printh(10 .. 20) printh("a" < "b") printh("abc" < "abd")
printh("Z" < "a") printh("" < "a") printh("a\0b" < "a\0c")
printh(not nil) printh(not 0) printh(nil == false)
printh(1 and 2) printh(nil or 3) printh(false and error("x") or "short")
local x = 7
x = x * 2 + x % 3
printh(x)
local n = 0
for i = 1, 30 do n = n + i * i end
printh(n)
printh(0x10 + 0xff) printh(1e2) printh(.5 * 4)
