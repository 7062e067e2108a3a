setmetatable({}, {__gc = function() while true do end end})
local co = cocreate(function() while true do end end)
coresume(co)
