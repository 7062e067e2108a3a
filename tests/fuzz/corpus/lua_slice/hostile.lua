local t = setmetatable({}, {__index = function(t, k) return t[k + 1] end})
local ok = t[1]
local s = "x" for i = 1, 20 do s = s .. s end
local function f(...) return f(1, ...) end f()
