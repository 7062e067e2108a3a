-- garbage: short-lived tables, strings and closures in a long loop
printh = printh or print
local keep = {}
local s = 0
for round = 1, 200 do
  for i = 1, 10000 do
    local t = {i, i + 1, x = i % 7}
    local f = function() return t.x end
    s = (s + f() + #t) % 30000
    if i % 1000 == 0 then keep[(round * 10 + i / 1000) % 50 + 1] = {t, "k" .. i} end
  end
end
for round = 1, 5 do
  for i = 1, 30000 do
    local str = "item" .. (i % 500) .. "-" .. (i % 33)
    s = (s + #str) % 30000
  end
end
printh(s)
