-- every metamethod, __index chains, rawequal-style identity, __call and __concat
local V = {}
V.__index = V
local function vec(x, y) return setmetatable({x = x, y = y}, V) end
V.__add = function(a, b) return vec(a.x + b.x, a.y + b.y) end
V.__sub = function(a, b) return vec(a.x - b.x, a.y - b.y) end
V.__mul = function(a, b) if type(b) == "number" then return vec(a.x * b, a.y * b) end return a.x * b.x + a.y * b.y end
V.__div = function(a, b) return vec(a.x / b, a.y / b) end
V.__mod = function(a, b) return vec(a.x % b, a.y % b) end
V.__pow = function(a, b) return vec(a.x ^ b, a.y ^ b) end
V.__unm = function(a) return vec(-a.x, -a.y) end
V.__eq = function(a, b) return a.x == b.x and a.y == b.y end
V.__lt = function(a, b) return a.x < b.x end
V.__le = function(a, b) return a.x <= b.x end
V.__len = function(a) return a.x + a.y end
V.__concat = function(a, b)
  if type(a) == "table" then a = "(" .. a.x .. "," .. a.y .. ")" end
  if type(b) == "table" then b = "(" .. b.x .. "," .. b.y .. ")" end
  return a .. b
end
V.__call = function(self, k) return self.x * k end
function V:len2() return self.x * self.x + self.y * self.y end
local a, b = vec(1, 2), vec(3, 4)
local c = a + b
printh(c.x) printh(c.y)
printh((b - a).x) printh(a * b) printh((a * 3).y) printh((b / 2).y) printh((b % 3).x) printh((a ^ 2).y)
printh((-a).x) printh(a == vec(1, 2)) printh(a ~= b) printh(a < b) printh(b <= a) printh(a > b)
printh(#a) printh(a .. "!") printh("v=" .. b) printh(a .. b) printh(a(10)) printh(a:len2())
local log = {}
local proxy = setmetatable({}, {
  __index = function(t, k) log[#log + 1] = k return k .. "?" end,
  __newindex = function(t, k, v) log[#log + 1] = k .. "=" .. v end,
})
printh(proxy.foo) proxy.bar = 5 printh(#log) printh(log[2])
local base = {greet = "hi"}
local mid = setmetatable({}, {__index = base})
local top = setmetatable({}, {__index = mid})
printh(top.greet)
local store = {}
local w = setmetatable({}, {__newindex = store})
w.k = 9
printh(store.k) printh(w.k == nil)
local prot = setmetatable({}, {__metatable = "locked"})
printh(getmetatable(prot))
printh(getmetatable(a) == V)
local it = setmetatable({}, {__pairs = function(t) return function(_, k) if not k then return 1, "one" end end, t, nil end})
for k, v in pairs(it) do printh(k) printh(v) end
local calls = 0
local lazy = setmetatable({}, {__index = function(t, k) calls = calls + 1 t[k] = k * 2 return k * 2 end})
printh(lazy[5]) printh(lazy[5]) printh(calls)
