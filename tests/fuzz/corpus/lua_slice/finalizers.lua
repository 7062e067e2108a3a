-- Finalizers that call C functions, collected while the main thread is
-- suspended between slices, at exit and inside coroutines.
for i = 1, 20 do setmetatable({}, {__gc = function(o) note(o, i) tostr(o) end}) end
local keep = {}
for i = 1, 5 do keep[i] = setmetatable({}, {__gc = function() for k in pairs({1, 2}) do note(k) end end}) end
local co = cocreate(function()
  for i = 1, 50 do setmetatable({}, {__gc = function() note(coresume(cocreate(function() note() end))) end}) flip() end
end)
for i = 1, 10 do coresume(co) flip() end
setmetatable({}, {__gc = function() local c = cocreate(function() while true do end end) coresume(c) end})
