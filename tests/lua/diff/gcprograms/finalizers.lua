-- __gc finalizers on tables
local log = {}
local function note(s) log[#log + 1] = s end
local function obj(name) return setmetatable({name = name}, {__gc = function(o) note("gc " .. o.name) end}) end
do
  local a, b, c = obj("a"), obj("b"), obj("c")
  keep = b
end
collect()
show(#log, log[1], log[2], log[3])
keep = nil
collect()
show(#log, log[3])
-- __gc must be there when the metatable is set
local mt = {}
local late = setmetatable({name = "late"}, mt)
mt.__gc = function(o) note("gc late") end
late = nil
collect()
show(#log)
-- resurrection: the finalizer stores the object; it is finalized once
local saved
do
  setmetatable({name = "phoenix"}, {__gc = function(o) saved = o note("rise " .. o.name) end})
end
collect()
show(saved and saved.name, #log, log[#log])
saved = nil
collect()
show(#log)
-- weak values see a finalized object cleared only after it really dies
local wv = setmetatable({}, {__mode = "v"})
local wk = setmetatable({}, {__mode = "k"})
do
  local o = obj("watched")
  wv[1] = o ; wk[o] = 1
end
collect()
local n = 0 for k in pairs(wk) do n = n + 1 end
show("watched", wv[1] == nil, n, log[#log])
collect()
n = 0 for k in pairs(wk) do n = n + 1 end
show("watched later", wv[1] == nil, n)
-- many finalizers, newest first
for i = 1, 5 do obj("n" .. i) end
collect()
show(log[#log - 4], log[#log - 3], log[#log - 2], log[#log - 1], log[#log])
-- a finalizer that allocates and builds garbage
setmetatable({}, {__gc = function() local t = {} for i = 1, 100 do t[i] = {i} end note("busy " .. #t) end})
collect()
show(log[#log])
-- objects still around at the end are finalized when the state closes
final = setmetatable({}, {__gc = function() printh("closing") end})
