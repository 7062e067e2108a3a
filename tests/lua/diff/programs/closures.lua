-- closures, shared upvalues, recursion, varargs, tail calls and goto
local function counter()
  local n = 0
  return function() n = n + 1 return n end, function() return n end
end
local inc, get = counter()
inc() inc()
printh(get())
local fs = {}
for i = 1, 3 do fs[i] = function() return i end end
printh(fs[1]() + fs[2]() + fs[3]())
local function sum(...)
  local s = 0
  for _, v in pairs({...}) do s = s + v end
  return s, #{...}
end
printh((sum(1, 2, 3, 4)))
local function pass(...) return ... end
local a, b, c = pass(1, 2)
printh(a) printh(b) printh(c == nil)
local function tail(n, acc) if n == 0 then return acc end return tail(n - 1, acc + n) end
printh(tail(250, 0))
local function fact(n) if n <= 1 then return 1 end return n * fact(n - 1) end
printh(fact(7))
local i = 1
::top::
if i < 5 then i = i + 1 goto top end
printh(i)
for j = 1, 3 do
  for k = 1, 3 do
    if k == 2 then goto continue end
    printh(j * 10 + k)
    ::continue::
  end
end
local t = {}
do
  local x = 5
  t.f = function() x = x + 1 return x end
end
printh(t.f()) printh(t.f())
local obj = {v = 3}
function obj:get(k) return self.v * k end
function obj.static(k) return k + 1 end
printh(obj:get(4)) printh(obj.static(4))
local function multi() return 1, 2, 3 end
local r = {multi(), multi()}
printh(#r)
printh((multi()))
local w = 0
while w < 10 do w = w + 3 end
printh(w)
repeat local z = w w = w - 4 until z < 5
printh(w)
