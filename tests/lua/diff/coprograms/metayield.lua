-- yields out of metamethods called by instructions
local mt = {}
local store = {}
mt.__add = function(a, b) local r = yield("add") ; return (type(a) == "table" and a.v or a) + (type(b) == "table" and b.v or b) + r end
mt.__sub = function(a, b) yield("sub") return a.v - b.v end
mt.__mul = function(a, b) yield("mul") return a.v * b.v end
mt.__div = function(a, b) yield("div") return 7 end
mt.__mod = function(a, b) yield("mod") return 8 end
mt.__pow = function(a, b) yield("pow") return 9 end
mt.__unm = function(a) yield("unm") return -a.v end
mt.__len = function(a) yield("len") return 42 end
mt.__concat = function(a, b)
  yield("concat")
  local x = type(a) == "table" and "T" or a
  local y = type(b) == "table" and "T" or b
  return x .. y
end
mt.__eq = function(a, b) yield("eq") return a.v == b.v end
mt.__lt = function(a, b) yield("lt") return a.v < b.v end
mt.__le = function(a, b) yield("le") return a.v <= b.v end
mt.__index = function(t, k) yield("index " .. k) return k .. "!" end
mt.__newindex = function(t, k, v) yield("newindex " .. k) store[k] = v end
mt.__call = function(self, a) yield("call") return a * 2 end
local function new(v) return setmetatable({v = v}, mt) end

local ltonly = {__lt = function(a, b) yield("lt-for-le") return a.n < b.n end}
local function nl(n) return setmetatable({n = n}, ltonly) end

local co = cocreate(function()
  local a, b = new(5), new(3)
  show("add", a + b)
  show("add2", a + 1)
  show("sub", a - b)
  show("mul", a * b)
  show("div", a / b, "mod", a % b, "pow", a ^ b)
  show("unm", -a)
  show("len", #a)
  show("concat", "x" .. a .. "y" .. b .. "z")
  show("eq", a == b, a == new(5), a ~= b)
  show("lt", a < b, b < a)
  show("le", a <= b, b <= a)
  if a < b then show("wrong") else show("branch ok") end
  if not (a <= b) then show("branch2 ok") end
  show("le via lt", nl(1) <= nl(2), nl(3) <= nl(2))
  show("index", a.foo, a["bar"])
  a.baz = 11
  show("newindex", store.baz)
  show("call", a(21))
  local s = 0
  for i = 1, 3 do s = s + (new(i) + new(i)) end
  show("loop", s)
  return "finished"
end)
local resumes = 0
while true do
  local res = {coresume(co, 100)}
  resumes = resumes + 1
  if costatus(co) == "dead" then show("last", res[1], res[2]) break end
  show("yielded", res[2])
end
show("resumes", resumes)
