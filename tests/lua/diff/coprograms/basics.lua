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
