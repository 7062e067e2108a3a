-- format 15 operators at run time: numbers, numeric strings, and operands
-- that raise errors
local t = {0x0f0f.f0f0, -1, 0.5, 0x7fff.ffff, 0x8000, "3", "0x10"}
local s = 0
for i = 1, #t do
  for j = 1, #t do
    local a, b = t[i], t[j]
    s = s + (a \ b) + (a & b) + (a | b) + (a ^^ b) + (~a)
    s = s + (a << b) + (a >> b) + (a >>> b) + (a <<> b) + (a >>< b)
  end
end
for i = 0,7do s = s ^^ i << 2 end
local ok = 0b1011.1 + 1e2 + 0x1f
local e = "\*\#\-\|\+\^\0"
x = {} .. y
y = nil & 1
z = {} \ 2
