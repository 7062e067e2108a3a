-- Vararg functions entered from the instruction loop: fixed parameters
-- missing, exact and exceeded; the extra arguments read back in part and
-- in full; and collections running while the only references to tables
-- sit among the extra arguments of an active call.
local function show(...)
  local parts = {}
  for i = 1, select('#', ...) do local v = select(i, ...) parts[#parts + 1] = v == nil and 'nil' or tostr(v) end
  local s = #parts .. ':'
  for i = 1, #parts do s = s .. parts[i] .. ' ' end
  printh(s)
end
local function fixed2(a, b, ...) return a, b, select('#', ...), ... end
show(fixed2())
show(fixed2(1))
show(fixed2(1, 2))
show(fixed2(1, 2, 3))
show(fixed2(1, 2, 3, nil, 5, nil))
local function firsts(...) local a, b, c = ... return c, b, a end
show(firsts())
show(firsts(7, 8))
show(firsts(7, 8, 9, 10))
local function all(...) return ... end
show(all(all(1, nil, 3)))
local function total(...)
  local t = {...}
  local s = 0
  for i = 1, #t do s = s + t[i] end
  return s
end
printh(total(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20))
-- garbage made while the extra arguments hold the only references: the
-- caller leaves a collection step due at each call's entry
local function churn(...)
  local junk = {}
  for i = 1, 40 do junk[i] = {i, i} end
  local a, b = ...
  return a[1] + b[1], select('#', ...)
end
local sum = 0
for round = 1, 3000 do
  local pad = {}
  for i = 1, 10 do pad[i] = {i} end
  local x, n = churn({round}, {1}, {2}, {3})
  sum = (sum + x + n) % 10000
end
printh(sum)
local function rec(k, ...)
  if k == 0 then return select('#', ...), ... end
  return rec(k - 1, k, ...)
end
show(rec(10))
local t = setmetatable({}, {__call = function(self, ...) return select('#', ...) end})
printh(t(1, 2, 3))
