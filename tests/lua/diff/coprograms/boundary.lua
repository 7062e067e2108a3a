-- where a yield is refused, and contained failures
local co = cocreate(function()
  local t = setmetatable({}, {__pairs = function(t) yield("in pairs") return function() end, t, nil end})
  for k, v in pairs(t) do end
  return "unreached"
end)
show(coresume(co))
show(costatus(co))
-- a failed assertion inside a coroutine
local co3 = cocreate(function()
  local p = setmetatable({}, {__metatable = 1})
  setmetatable(p, {})
end)
show(coresume(co3))
-- runaway recursion inside a coroutine is a contained error
local co4 = cocreate(function() local function r() return 1 + r() end return r() end)
show(coresume(co4))
show(costatus(co4))
-- nested resumes beyond the C stack limit
local deepest = 0
local function nest(d)
  if d > deepest then deepest = d end
  local c = cocreate(nest)
  local ok, e = coresume(c, d + 1)
  if not ok then return e end
  return e
end
show(nest(1), deepest > 150, deepest <= 200)
-- the main program goes on afterwards
local fine = cocreate(function(a) return a * 2 end)
show(coresume(fine, 21))
