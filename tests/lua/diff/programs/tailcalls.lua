-- Tail calls entered from the instruction loop: to Lua functions with
-- fixed and variable arguments (missing, exact and extra), to builtins,
-- through __call, with the caller's upvalues closed before its frame is
-- reused, and deep enough that a frame per call would overflow the stack.
local function show(...)
  local s = select('#', ...) .. ':'
  for i = 1, select('#', ...) do
    local v = select(i, ...)
    s = s .. (v == nil and 'nil' or tostr(v)) .. ' '
  end
  printh(s)
end
local function three(a, b, c) return a, b, c end
local function t0() return three() end
local function t1(x) return three(x) end
local function t5(x) return three(x, 2, 3, 4, 5) end
show(t0())
show(t1(1))
show(t5(9))
local function va(a, ...) return a, select('#', ...), ... end
local function tva(...) return va(...) end
show(tva())
show(tva(1))
show(tva(1, 2, nil, 4))
local function tsel(...) return select('#', ...) end
show(tsel(1, nil, nil))
local function tlen(s) return rawlen(s) end
show(tlen('eight ch'))
-- upvalues of the caller are closed before the callee takes its frame
local getters = {}
local function capture(i, n)
  if n == 0 then return i end
  local v = i * 10
  getters[#getters + 1] = function() return v end
  return capture(i + 1, n - 1)
end
show(capture(1, 5))
local s = 0
for i = 1, #getters do s = s + getters[i]() end
show(s)
-- a long chain of tail calls runs in constant stack
local function loop(n, acc)
  if n == 0 then return acc end
  return loop(n - 1, (acc + n) % 1000)
end
show(loop(20000, 0))
local function vloop(n, ...)
  if n == 0 then return select('#', ...) end
  return vloop(n - 1, ...)
end
show(vloop(30000, 1, 2, 3))
-- a callable table in tail position
local callable = setmetatable({}, {__call = function(self, a, b) return a + b end})
local function tcall(a) return callable(a, 1) end
show(tcall(41))
