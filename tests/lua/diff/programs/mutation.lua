-- old structures changed while garbage piles up: new tables, strings and
-- closures stored into old tables, upvalues and metatables must survive
local old = {}
for i = 1, 200 do old[i] = {id = i} end
local function mk(i) return {v = i, s = "s" .. i} end
for round = 1, 30 do
  for i = 1, 200 do
    local t = old[i]
    t.child = mk(i + round)
    t["k" .. (i % 17)] = "v" .. round
  end
  local junk = {}
  for j = 1, 300 do junk[j] = {j, "junk" .. j} end
end
local sum = 0
for i = 1, 200 do sum = (sum + old[i].child.v + #old[i].child.s + #old[i]["k" .. (i % 17)]) % 10000 end
printh(sum)

local cell
local function setter() return function(v) cell = v end end
local set = setter()
for round = 1, 50 do
  set({n = round, name = "cell" .. round})
  local junk = {}
  for j = 1, 200 do junk[j] = {j} end
end
printh(cell.n .. cell.name)

local fns = {}
for i = 1, 100 do
  local x = {i}
  fns[i] = function() return x[1] end
  local junk = {}
  for j = 1, 50 do junk[j] = {j} end
  x = {i * 2}
end
local s = 0
for i = 1, 100 do s = (s + fns[i]()) % 10000 end
printh(s)

local objs = {}
for i = 1, 100 do
  objs[i] = setmetatable({}, {__index = {val = "m" .. i}})
  local junk = {}
  for j = 1, 50 do junk[j] = {j, "x" .. j} end
end
local n = 0
for i = 1, 100 do n = n + #objs[i].val end
printh(n)

local keys = {}
for i = 1, 400 do
  keys["key" .. i .. "_" .. (i * 7 % 13)] = i
  local junk = {}
  for j = 1, 40 do junk["g" .. j .. "_" .. i] = j end
end
local kn, ks = 0, 0
for k, v in pairs(keys) do kn = kn + 1 ks = (ks + v + #k) % 10000 end
printh(kn .. " " .. ks)
