-- strings: concatenation, interning, comparison and sub
printh = printh or print
local sub = sub or string.sub
local n = 0
for round = 1, 4000 do
  local parts = {}
  for i = 1, 200 do parts[#parts + 1] = "item" .. i end
  local s = ""
  for i = 1, 50 do s = s .. sub(parts[i], 1, 4) end
  for i = 1, #parts - 1 do if parts[i] < parts[i + 1] then n = n + 1 end end
  n = (n + #s) % 30000
end
printh(n)
