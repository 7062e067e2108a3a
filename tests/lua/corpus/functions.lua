local function fact(n) if n <= 1 then return 1 end return n * fact(n - 1) end
printh(fact(7))
local function va(...)
  local a, b = ...
  local t = {...}
  return #t, a, b
end
printh((va(4, 5, 6)))
local n, a, b = va(1)
printh(n) printh(a) printh(b == nil)
local function multi() return 1, 2, 3 end
local t = {multi(), multi()}
printh(#t)
local t2 = {multi(), (multi())}
printh(#t2)
local function tail(n) if n == 0 then return "done" end return tail(n - 1) end
printh(tail(1000))
local counter = 0
local function inc() counter = counter + 1 return counter end
inc() inc()
printh(counter)
local function mk()
  local x = 0
  return function() x = x + 1 return x end, function() return x end
end
local f, g = mk()
f() f() f()
printh(g())
local obj = {v = 3}
function obj:get(d) return self.v + d end
function obj.static(d) return d * 2 end
printh(obj:get(4))
printh(obj.static(4))
local a = {b = {c = {}}}
function a.b.c.f(x) return x + 1 end
function a.b.c:m(x) return x + 2 end
printh(a.b.c.f(1))
printh(a.b.c:m(1))
local function sum(...)
  local s = 0
  for _, v in pairs({...}) do s = s + v end
  return s
end
printh(sum(1, 2, 3, 4))
printh((multi()))
