-- the same field names looked up in tables of many sizes and insertion
-- orders, in turn: where a name was found in one table says nothing about
-- another; absent names, deleted fields, growth and globals
local names = {}
for i = 1, 40 do names[i] = "f" .. i end
local tables = {}
for n = 1, 40 do
  local t = {}
  -- every table holds its own subset, inserted in its own order
  for j = n, 1, -1 do t[names[(j * 7 + n) % 40 + 1]] = n * 100 + j end
  tables[n] = t
end
local sum, absent = 0, 0
for round = 1, 3 do
  for i = 1, 40 do
    for n = 1, 40 do
      local v = tables[n][names[i]]
      if v then sum = (sum + v % 97 * i) % 20011 else absent = absent + 1 end
    end
  end
end
printh(sum) printh(absent)
-- the same few names, constant in the code, across tables built alike and not
local objs = {}
for i = 1, 30 do
  if i % 3 == 0 then objs[i] = {y = i, x = -i, life = i % 7}
  elseif i % 3 == 1 then objs[i] = {x = i, y = i * 2, dx = 1, dy = -1, life = 3}
  else objs[i] = {life = i, name = "o" .. i, x = i + 0.5} end
end
for step = 1, 5 do
  for i = 1, 30 do
    local o = objs[i]
    o.x = o.x + (o.dx or 0)
    if o.y then o.y = o.y + (o.dy or 1) end
    if o.life then
      o.life = o.life - 1
      if o.life < 0 then o.life = nil o.dead = true end
    end
  end
end
for i = 1, 30 do
  local o = objs[i]
  printh(o.x .. " " .. (o.y or "-") .. " " .. (o.life or "-") .. " " .. (o.dead and "dead" or "-") .. " " .. (o.name or "-"))
end
-- a table that grows past the size where a name was last found, then shrinks
local g = {}
for i = 1, 40 do
  g[names[i]] = i
  local s = 0
  for j = 1, i do s = s + g[names[j]] end
  if s ~= i * (i + 1) / 2 then printh("lost at " .. i) end
end
for i = 1, 40, 2 do g[names[i]] = nil end
local left = 0
for i = 1, 40 do if g[names[i]] then left = left + 1 end end
printh(left)
-- globals, read and written among tables sharing the names
f1, f2, f3 = 1, 2, 3
local shadow = {f1 = 10, f3 = 30}
for i = 1, 4 do f2 = f2 + (shadow.f1 or 0) + f1 + (shadow.f2 or 0) end
printh(f1 + f2 + f3)
-- methods found through __index after a miss in the object itself
local Base = {}
Base.__index = Base
function Base.get(self) return self.x end
local a = setmetatable({x = 1}, Base)
local b = setmetatable({get = function() return "own" end, x = 2}, Base)
printh(a:get()) printh(b:get()) printh(a:get())
