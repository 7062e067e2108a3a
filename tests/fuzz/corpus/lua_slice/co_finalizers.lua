printh = function() end collect = function() end
-- Shared by the coroutine programs: printing that looks the same under
-- both interpreters (stock Lua adds a "chunk:line: " prefix to some
-- messages, prints nil and tables differently, and its coroutine library
-- words its own failures without the "corolib: " of the console's).
function strip(s)
  if sub(s, 1, 9) == "corolib: " then s = sub(s, 10) end
  for i = 1, #s - 1 do
    if sub(s, i, i + 1) == ": " then
      local head = sub(s, 1, i - 1)
      for j = 1, #head - 3 do
        if sub(head, j, j + 3) == ".lua" then return sub(s, i + 2) end
      end
      return s
    end
  end
  return s
end
function str(v)
  local t = type(v)
  if t == "nil" or t == "table" or t == "function" or t == "thread" then return t end
  if t == "boolean" then return v and "true" or "false" end
  if t == "string" then return strip(v) end
  return tostr(v)
end
function show(...)
  local t = {...}
  local s = ""
  for i = 1, #t do s = s .. (i > 1 and " " or "") .. str(t[i]) end
  printh(s)
end
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
