-- tables: array fill and read, hash fields, insertion and removal
printh = printh or print
local total = 0
for round = 1, 600 do
  local t = {}
  for i = 1, 10000 do t[i] = i % 100 end
  for i = 1, 10000 do total = (total + t[i]) % 30000 end
  local h = {}
  for i = 1, 500 do h["k" .. (i % 50)] = i end
  for k, v in pairs(h) do total = (total + v) % 30000 end
  local p = {x = 1, y = 2, z = 3}
  for i = 1, 5000 do p.x = p.x + p.y - p.z + 1 end
  total = (total + p.x) % 30000
end
printh(total)
