-- Generic for loops over generators written in Lua: closures keeping
-- their own state, stateless ones given the state and control values,
-- fewer or more values returned than the loop takes, tail calls and
-- varargs inside the generator, generators that loop over other
-- generators, early exits and loop variables captured by closures.
local function show(...)
  local s = ''
  for i = 1, select('#', ...) do
    local v = select(i, ...)
    s = s .. (v == nil and 'nil' or tostr(v)) .. ' '
  end
  printh(s)
end

local function items(t)
  local i = 0
  return function() i = i + 1 return t[i] end
end
local function stateless(t, i)
  i = i + 1
  if t[i] then return i, t[i] end
end
local function ipairs_lua(t) return stateless, t, 0 end
local data = {5, 8, 13, 21}
for v in items(data) do show('item', v) end
for i, v in ipairs_lua(data) do show('pair', i, v) end
for a, b, c in items(data) do show('three', a, b, c) end

-- more values than the loop takes, and a generator that ends with nothing
local function triples(n)
  local i = 0
  return function()
    i = i + 1
    if i <= n then return i, i * i, i * i * i, 'extra' end
  end
end
for a, b in triples(3) do show('two of four', a, b) end
local function silent() end
for x in silent do show('never') end

-- a generator ending in a tail call, and one taking varargs
local function step(i, n) if i < n then return i + 1 end end
local function counter(n)
  local i = 0
  return function() local r = step(i, n) i = r or i return r end
end
local function tailgen(n)
  local i = 0
  local function next_of(x) if x < n then return x + 1 end end
  return function() i = i + 1 return next_of(i - 1) end
end
for v in counter(3) do show('counter', v) end
for v in tailgen(3) do show('tail', v) end
local function varg(...)
  local vals = {...}
  local i = 0
  return function(...) i = i + 1 return vals[i], select('#', ...) end
end
for v, n in varg(7, 8, 9) do show('varg', v, n) end

-- generators over generators, nested loops and early exits
local function evens(gen)
  return function()
    for v in gen do
      if v % 2 == 0 then return v end
    end
  end
end
for v in evens(items({1, 2, 3, 4, 5, 6, 7, 8})) do show('even', v) end
local total = 0
for a in items({1, 2, 3}) do
  for b in items({10, 20}) do
    total = total + a * b
    if b == 20 and a == 2 then break end
  end
end
show('nested', total)
local function find(t, want)
  for i, v in ipairs_lua(t) do
    if v == want then return i end
  end
  return 'none'
end
show('find', find(data, 13), find(data, 99))

-- loop variables captured by closures are fresh in every iteration
local fns = {}
for i, v in ipairs_lua(data) do fns[#fns + 1] = function() return i * 100 + v end end
for i = 1, #fns do show('captured', fns[i]()) end

-- deep recursion through generators
local function depth(n)
  if n == 0 then return 0 end
  local s = 0
  for v in items({n}) do s = v + depth(n - 1) end
  return s
end
show('depth', depth(150))
