-- varargs: functions taking ... passed on, counted with select('#'), packed into tables
printh = printh or print
select = select or _G.select
local function sum(...)
  local s = 0
  local a, b, c, d = ...
  if a then s = s + a end
  if b then s = s + b end
  if c then s = s + c end
  if d then s = s + d end
  return s
end
local function pass(...) return sum(...) end
local function count(...) return select('#', ...) end
local function pack(...) return {...} end
local s = 0
for round = 1, 1600 do
  for i = 1, 1000 do
    s = (s + pass(i % 10, 2, 3) + count(1, 2, i) + sum(i % 7, 1)) % 30000
    local t = pack(i % 5, 1, 2, 3)
    s = (s + #t + t[1]) % 30000
  end
end
printh(s)
