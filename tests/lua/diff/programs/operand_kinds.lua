-- Instructions whose operand is a constant or a register of known kind
-- (field names, number constants, register keys): the plain case and every
-- way out of it — absent keys, __index and __newindex as tables and
-- functions, strings that convert, metamethods on either side. (Their
-- error messages are compared in lua_diff_test.cpp.)
local function show(...)
  local s = ''
  for i = 1, select('#', ...) do
    local v = select(i, ...)
    s = s .. (v == nil and 'nil' or tostr(v)) .. ' '
  end
  printh(s)
end

-- globals by name, plain and through an environment with __index
gcount = 7
show(gcount, gmissing)
local function withenv(env)
  local _ENV = env
  return function() return foo, bar, gcount end
end
show(withenv({foo = 1})())
show(withenv(setmetatable({foo = 2}, {__index = function(t, k) return k .. '?' end}))())
show(withenv(setmetatable({}, {__index = {bar = 3}}))())

-- t.name reads
local p = {x = 3, y = 4}
show(p.x, p.y, p.z)
local base = {z = 9, w = 1}
local q = setmetatable({x = 5}, {__index = base})
show(q.x, q.z, q.missing)
local r = setmetatable({}, {__index = function(t, k) return k .. '!' end})
show(r.abc, r.x)

-- t[k] reads with k in a register
local arr = {10, 20, 30}
local keys = {1, 2, 3, 4, 0, -1, 2.5, 'x'}
for i = 1, #keys do
  local key = keys[i]
  show(i, arr[key])
end
local h = {x = 'sx', [2.5] = 'half', [100] = 'hundred'}
local ks = {'x', 2.5, 100, 'y'}
for i = 1, #ks do show(h[ks[i]]) end
local deep = setmetatable({}, {__index = arr})
for i = 1, 4 do show(deep[i]) end

-- t.name writes: overwrite, new key, __newindex table and function
local w = {a = 1}
w.a = 2
w.b = 3
show(w.a, w.b)
local log = {}
local guarded = setmetatable({seen = 0}, {__newindex = function(t, k, v) log[#log + 1] = k rawset(t, k, v * 2) end})
guarded.seen = 5
guarded.fresh = 6
guarded.fresh = 7
show(guarded.seen, guarded.fresh, #log, log[1])
local sink = {}
local redirect = setmetatable({}, {__newindex = sink})
redirect.v = 11
show(rawget(redirect, 'v'), sink.v)

-- t[k] writes with k in a register
local a = {}
for i = 1, 10 do a[i] = i * i end
for i = 1, 10 do local j = i a[j] = a[j] + 1 end
show(#a, a[1], a[10])
local sk = 'name'
a[sk] = 'named'
local fk = 1.5
a[fk] = 'frac'
show(a.name, a[1.5])
local counted = 0
local trap = setmetatable({}, {__newindex = function(t, k, v) counted = counted + k end})
for i = 1, 5 do trap[i] = true end
show(counted)

-- obj:name() through the object, its class, an __index function, errors
local Point = {}
Point.__index = Point
function Point.len2(self) return self.x * self.x + self.y * self.y end
local pt = setmetatable({x = 3, y = 4}, Point)
pt.own = function(self) return 'own' end
show(pt:len2(), pt:own())
local dyn = setmetatable({}, {__index = function(t, k) return function(self, v) return k .. v end end})
show(dyn:hello('!'))

-- arithmetic with a number constant
local vals = {7, -7, 0, 100, '12', ' 3 '}
for i = 1, #vals do
  local v = vals[i]
  show(v + 1, v - 2, v * 3, v % 5)
end
local mt = {__add = function(x, y) return 'add' end, __sub = function(x, y) return 'sub' end,
            __mul = function(x, y) return 'mul' end, __mod = function(x, y) return 'mod' end}
local obj = setmetatable({}, mt)
show(obj + 1, obj - 1, obj * 2, obj % 3)

-- equality with a constant of every kind
local long1 = 'a string long enough not to be one of the short interned ones'
local cands = {0, 1, '1', 'a', true, false, nil, {}, long1}
for i = 1, 9 do
  local v = cands[i]
  show(i, v == 1, v == '1', v == 'a', v == true, v == false, v == nil, v ~= 0,
       v == 'a string long enough not to be one of the short interned ones')
end
local eqmt = setmetatable({}, {__eq = function() return true end})
show(eqmt == 1, eqmt ~= 'x')

-- order with a number constant
for v = -2, 2 do show(v < 0, v <= 0, v < 1, v <= -1, not (v < 2)) end
local ordered = setmetatable({}, {__lt = function(x, y) return true end})
show(ordered < 1, ordered <= 1)
