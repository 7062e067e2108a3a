-- compound assignment in all its forms
x, y, t, p = 0, 0, {0, 0, 0}, {x = 0, v = {1, 2}}
x += 1
y -= x * 2
x *= 3 y /= 2
x %= 5
t[1] += 1 t[2] -= t[1]
t[#t] += 2
p.x += p.v[1] + p.v[2]
p.v[2] *= -1
x += (y + 1) * 2 y += t[1]
x -= f and 1 or 0
x += 0xFF + 1e-3
s = "a" s = s .. "b"
x += #t x -= 1
t["["] += 1
for i = 1, 3 do x += i end
while x > 100 do x -= 10 end
