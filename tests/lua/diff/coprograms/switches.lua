-- resumes and yields between Lua code on both sides: every way a coroutine
-- can stop, in every shape of call, nested and mixed with resumes through
-- other functions

-- results wanted: none, one, several, all
local co = cocreate(function(a, b)
  local n = 0
  while true do
    n = n + 1
    a, b = yield(n, a, b)
  end
end)
coresume(co, 1, 2)
local ok = coresume(co, 3)
show(ok)
local ok2, n2 = coresume(co, 4, 5)
show(ok2, n2)
local ok3, n3, a3, b3, c3 = coresume(co, 6)
show(ok3, n3, a3, b3, c3)
show(coresume(co, 7, 8, 9))
local t = {coresume(co, "x")}
show(#t, t[1], t[2], t[3])

-- yield as a tail call, a yield deep inside calls made in the coroutine
local tail = cocreate(function(x) return yield(x * 2) end)
show(coresume(tail, 5))
show(coresume(tail, "back", "again"))
show(costatus(tail), coresume(tail))
local function depth(d, v) if d == 0 then return yield(v) + 1 end return depth(d - 1, v) + 1 end
local deep = cocreate(function() local s = 0 for i = 1, 3 do s = s + depth(20, i) end return s end)
for i = 1, 5 do show(coresume(deep, i * 10)) end

-- many values each way, beyond what a call's frame holds
local function count(n, ...) if n == 0 then return ... end return count(n - 1, n, ...) end
local wide = cocreate(function(...)
  local got = select('#', ...)
  local back = {yield(count(300))}
  return got, #back, back[1], back[#back]
end)
local w = {coresume(wide, count(250))}
show(#w, w[1], w[2], w[301])
show(coresume(wide, count(280)))

-- errors: at once, after yields, raised by the program, in a nested resume
local bad = cocreate(function(x)
  for i = 1, 3 do x = x + yield(i) end
  return x.field
end)
for i = 1, 5 do show(coresume(bad, i)) end
show(costatus(bad))
local outer = cocreate(function()
  local inner = cocreate(function() yield("in") local z = nil return z() end)
  show("inner", coresume(inner))
  show("inner", coresume(inner))
  show("inner", costatus(inner))
  yield("outer")
  assert(false, "outer fails")
end)
show(coresume(outer))
show(coresume(outer))
show(costatus(outer))

-- statuses seen from inside
local parent
parent = cocreate(function()
  local child = cocreate(function()
    show("child sees", costatus(parent))
    yield()
    show("child again", costatus(parent))
  end)
  coresume(child)
  yield()
  coresume(child)
  show("child", costatus(child))
end)
coresume(parent)
show(costatus(parent))
coresume(parent)
show(costatus(parent))

-- misuse is refused, whoever resumes
show(coresume(parent))
local selfish
selfish = cocreate(function() return coresume(selfish) end)
show(coresume(selfish))
local a2, b2
a2 = cocreate(function() return coresume(b2) end)
b2 = cocreate(function() return coresume(a2) end)
show(coresume(a2))

-- a coroutine resumed from a metamethod, a generator, and through a
-- resumer that is itself a coroutine resumed from Lua
local feed = cocreate(function() for i = 1, 100 do yield(i * i) end end)
local lazy = setmetatable({}, {__index = function(t, k) local _, v = coresume(feed) return v end})
show(lazy.a, lazy.b, lazy[7])
local function squares()
  return function() local _, v = coresume(feed) if v and v < 200 then return v end end
end
local s = 0
for v in squares() do s = s + v end
show(s)
local relay = cocreate(function()
  while true do
    local ok, v = coresume(feed)
    if not v then return "dry" end
    yield(v + 0.5)
  end
end)
for i = 1, 3 do show(coresume(relay)) end

-- a resumer's stack and the coroutine's stack growing while switched
local grow = cocreate(function(n)
  local function r(k) if k == 0 then return yield("bottom") end return r(k - 1) + 1 end
  return r(n)
end)
local function far(k) if k == 0 then return coresume(grow, 150) end local ok, v = far(k - 1) return ok, v end
show(far(120))
show(coresume(grow, 1000))

-- many short-lived coroutines, some finished, some left suspended
local total = 0
for i = 1, 200 do
  local c = cocreate(function(a) local b = yield(a + 1) return a * b end)
  local _, x = coresume(c, i)
  if i % 3 ~= 0 then
    local _, y = coresume(c, 2)
    total = (total + x + y) % 1000
  end
end
show(total)
