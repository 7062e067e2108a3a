local s = 0
for i = 1, 2000 do
  s = s + num(i, i % 7) + (num() or 1) + num(i, 3, 4, 5, 6)
  local a, b = num(s), num("9", {})
  if i % 97 == 0 then flip() end
end
local t = setmetatable({}, {__index = num, __add = num, __call = num})
local co = cocreate(function(x) for i = 1, 30 do x = yield(num(x, i)) end return num(x) end)
for i = 1, 31 do coresume(co, i) end
note(num(t[1], t + 2, t(3)), (function(...) return num(...) end)(1, 2))
setmetatable({}, {__gc = function() note(num(1, 2)) end})
