x, y, z = 1, 2, 3
if (x != y) print("x != y")
if (x > 1) y = 2
if (x) y += 1
if(x) x = x + 1
if (x ~= nil) then y = 3 end
if (x) and y then z = 1 end
?x
  ? x + y
?"hello"
function f(a, b)
  if (a != b) return a
  return b
end
btn(Ž)
local glyph = btn(‹)
if (btn(‘)) x += 1
s = "a \x8b != b"
x = 1 // a different comment style
y = 2
--[[ one
two ]] z += 1
?btn(‹) != false
