-- Long loops three coroutines deep: the budget suspends the whole chain.
local function spin(n) local x = 0 for i = 1, n do x = x + i end return x end
local c1 = cocreate(function()
  local c2 = cocreate(function()
    local c3 = cocreate(function() spin(5000) yield() return spin(3000) end)
    local a, b = coresume(c3)
    local d, e = coresume(c3)
    return e
  end)
  return coresume(c2)
end)
note(coresume(c1))
note(costatus(c1))
local t = setmetatable({}, {__pairs = function() return function() spin(100000) end end})
for k in pairs(t) do end
