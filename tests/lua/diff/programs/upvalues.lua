-- upvalues shared across closures and levels, closed in loops
local function outer()
  local x = 0
  local function mid()
    local function inner() x = x + 1 return x end
    return inner
  end
  return mid(), function() return x end
end
local inc, get = outer()
inc() inc() inc()
printh(get())
local list = {}
for i = 1, 5 do
  local j = i * 2
  list[i] = function(d) j = j + d return j end
end
printh(list[1](1) + list[5](1))
printh(list[1](0))
local shared
do
  local v = 10
  shared = {function() v = v + 1 end, function() return v end}
end
shared[1]() shared[1]()
printh(shared[2]())
local function make_counter(start)
  return setmetatable({}, {__call = function(self, step) start = start + (step or 1) return start end})
end
local c = make_counter(100)
c() c(5)
printh(c(0))
local w = 0
while w < 3 do
  local captured = w
  list[w + 10] = function() return captured end
  w = w + 1
end
printh(list[10]() + list[11]() + list[12]())
