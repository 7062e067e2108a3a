-- hashing: string-keyed and number-keyed hash tables, lookups, updates, pairs
printh = printh or print
local keys = {}
for i = 1, 200 do keys[i] = "key" .. i end
local s = 0
for round = 1, 2400 do
  local h = {}
  for i = 1, 200 do h[keys[i]] = i end
  for rep = 1, 10 do
    for i = 1, 200 do
      local k = keys[(i * 7 + rep) % 200 + 1]
      h[k] = (h[k] + 1) % 1000
      s = (s + h[k]) % 29989
    end
  end
  local n = {}
  for i = 1, 300 do n[i * 3 + 0.5] = i end
  for i = 1, 300 do s = (s + n[i * 3 + 0.5]) % 29989 end
  for k, v in pairs(h) do s = (s + v) % 29989 end
end
printh(s)
