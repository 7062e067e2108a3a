local V = {}
V.__index = V
V.__add = function(a, b) return setmetatable({x = a.x + b.x}, V) end
V.__eq = function(a, b) return a.x == b.x end
V.__lt = function(a, b) return a.x < b.x end
V.__le = function(a, b) return a.x <= b.x end
V.__len = function(a) return a.x end
V.__call = function(self, d) return self.x + d end
V.__concat = function(a, b) return "cat" end
V.__unm = function(a) return setmetatable({x = -a.x}, V) end
V.__tostring = nil
function V.new(x) return setmetatable({x = x}, V) end
function V:twice() return self.x * 2 end
local a, b = V.new(1), V.new(2)
printh((a + b).x)
printh(a == b) printh(a == V.new(1))
printh(a < b) printh(a <= b) printh(b < a) printh(a > b)
printh(#a)
printh(a(10))
printh(a .. b) printh(a .. "s") printh(1 .. a)
printh((-a).x)
printh(b:twice())
local proxy = setmetatable({}, {__index = function(t, k) return k .. "!" end})
printh(proxy.hello)
local store = {}
local w = setmetatable({}, {__newindex = function(t, k, v) store[k] = v * 2 end})
w.q = 4
printh(store.q)
local chain = setmetatable({}, {__index = setmetatable({a = 1}, {__index = {b = 2}})})
printh(chain.a) printh(chain.b)
local prot = setmetatable({}, {__metatable = "locked"})
printh(getmetatable(prot))
printh(type(getmetatable(a)))
local ok = setmetatable({}, {__pairs = function(t) return function(_, k) if not k then return 1, "one" end end, t, nil end})
for k, v in pairs(ok) do printh(k) printh(v) end
