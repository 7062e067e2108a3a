printh = function() end collect = function() end
-- Shared by the coroutine programs: printing that looks the same under
-- both interpreters (stock Lua adds a "chunk:line: " prefix to some
-- messages, prints nil and tables differently, and its coroutine library
-- words its own failures without the "corolib: " of the console's).
function strip(s)
  if sub(s, 1, 9) == "corolib: " then s = sub(s, 10) end
  for i = 1, #s - 1 do
    if sub(s, i, i + 1) == ": " then
      local head = sub(s, 1, i - 1)
      for j = 1, #head - 3 do
        if sub(head, j, j + 3) == ".lua" then return sub(s, i + 2) end
      end
      return s
    end
  end
  return s
end
function str(v)
  local t = type(v)
  if t == "nil" or t == "table" or t == "function" or t == "thread" then return t end
  if t == "boolean" then return v and "true" or "false" end
  if t == "string" then return strip(v) end
  return tostr(v)
end
function show(...)
  local t = {...}
  local s = ""
  for i = 1, #t do s = s .. (i > 1 and " " or "") .. str(t[i]) end
  printh(s)
end
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
