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
-- resume/yield value passing, status changes, dead coroutines
local function gen(n)
  return cocreate(function(a, b)
    show("start", a, b)
    local s = 0
    for i = 1, n do
      local x, y = yield(i, s)
      s = s + (x or 0)
      show("got", x, y)
    end
    return "done", s
  end)
end
local co = gen(4)
show(costatus(co))
show(coresume(co, 10, 20))
show(costatus(co))
for k = 1, 5 do
  show(coresume(co, k * 3, "v" .. k))
  show(costatus(co))
end
show(coresume(co))
show(coresume(co, 1))

-- running / normal
local outer
local inner = cocreate(function()
  show("inner sees outer", costatus(outer))
  yield()
end)
outer = cocreate(function()
  show("outer sees itself", costatus(outer))
  coresume(inner)
  show("after inner", costatus(inner))
end)
coresume(outer)
show(costatus(outer), costatus(inner))

-- resuming a running or normal coroutine
local self_co
self_co = cocreate(function()
  show(coresume(self_co))
  local other = cocreate(function() show(coresume(self_co)) end)
  coresume(other)
  return 1
end)
show(coresume(self_co))

-- errors inside coroutines
local bad = cocreate(function(x) yield(x + 1); local n = nil; return n + 1 end)
show(coresume(bad, 1))
show(coresume(bad))
show(costatus(bad))
show(coresume(bad))
local bad2 = cocreate(function() local t = nil; return t.x end)
show(coresume(bad2))
local bad3 = cocreate(function() assert(false, "asserted") end)
show(coresume(bad3))
local bad4 = cocreate(function() assert(nil) end)
show(coresume(bad4))
show(coresume(cocreate(function() return {} .. "x" end)))

-- a coroutine returning many values and receiving many
local many = cocreate(function(...)
  local t = {...}
  local a, b, c = yield(#t, ...)
  return a, b, c, 4
end)
show(coresume(many, 1, 2, 3, 4, 5, 6, 7, 8))
show(coresume(many, 9, 8))

-- a wrapped function that is a C function
local cf = cocreate(costatus)
show(coresume(cf, cf))
show(costatus(cf))
