-- coroutines as generators and pipelines (integer results only)
local function range(n)
  return cocreate(function() for i = 1, n do yield(i) end end)
end
local function filter(p, src)
  return cocreate(function()
    while true do
      local ok, v = coresume(src)
      if not v then return end
      if p(v) then yield(v) end
    end
  end)
end
local function map(f, src)
  return cocreate(function()
    while true do
      local ok, v = coresume(src)
      if not v then return end
      yield(f(v))
    end
  end)
end
local pipe = map(function(x) return x * x end, filter(function(x) return x % 3 == 0 end, range(60)))
local sum = 0
while true do
  local ok, v = coresume(pipe)
  if not v then break end
  sum = sum + v
  show(v)
end
show("sum", sum)

-- permutations (the classic)
local function permgen(a, n)
  n = n or #a
  if n <= 1 then yield(a) else
    for i = 1, n do
      a[n], a[i] = a[i], a[n]
      permgen(a, n - 1)
      a[n], a[i] = a[i], a[n]
    end
  end
end
local co = cocreate(function() permgen({1, 2, 3, 4}) end)
local count = 0
while true do
  local ok, p = coresume(co)
  if not p then break end
  count = count + 1
  if count % 5 == 1 then show(p[1] .. p[2] .. p[3] .. p[4]) end
end
show("perms", count)

-- producer/consumer ping-pong with many small yields
local prod = cocreate(function()
  local x = 0
  for i = 1, 500 do x = (x * 7 + i) % 1000; yield(x) end
  return -1
end)
local acc = 0
for i = 1, 501 do
  local ok, v = coresume(prod)
  acc = (acc + v) % 30000
end
show("acc", acc, costatus(prod))

-- deep recursion inside a coroutine that yields from the bottom
local function dive(d) if d == 0 then yield("bottom") return 0 end return 1 + dive(d - 1) end
local dc = cocreate(function() return dive(150) end)
show(coresume(dc))
show(coresume(dc))

-- yield from inside a for-in iterator
function iter_like(t)
  return function(t, i)
    i = i + 1
    if t[i] == nil then return nil end
    yield("it", i)
    return i, t[i]
  end, t, 0
end
local itco = cocreate(function()
  local t = {10, 20, 30}
  for i, v in iter_like(t) do yield(i, v) end
  return "end"
end)
for k = 1, 8 do show(coresume(itco)) end

-- closures over a coroutine's locals survive its death
local getter
local cl = cocreate(function()
  local v = 1
  getter = function() return v end
  yield()
  v = 2
  yield()
  v = 3
end)
coresume(cl) show(getter())
coresume(cl) show(getter())
coresume(cl) show(getter(), costatus(cl))
