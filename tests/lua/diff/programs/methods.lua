-- method calls (a:m()) found in the object, in its class through __index, up
-- an inheritance chain, through an __index function, and after the class
-- tables change under objects already called
local Base = {}
Base.__index = Base
function Base.new(n) return setmetatable({n = n}, Base) end
function Base:get() return self.n end
function Base:name() return "base" end
local Mid = setmetatable({}, {__index = Base})
Mid.__index = Mid
function Mid:name() return "mid" end
local Top = setmetatable({}, {__index = Mid})
Top.__index = Top
local function make(cls, n) return setmetatable({n = n}, cls) end
local b, m, t = Base.new(1), make(Mid, 2), make(Top, 3)
printh(b:get() .. b:name() .. m:get() .. m:name() .. t:get() .. t:name())
-- the object's own field wins over its class
t.name = function(self) return "own" .. self.n end
printh(t:name())
t.name = nil
printh(t:name())
-- a method added to, replaced in and removed from a class reaches objects
-- already called through it
for round = 1, 3 do
  if round == 2 then function Base:get() return self.n * 10 end end
  if round == 3 then Mid.get = function(self) return -self.n end end
  printh(b:get() .. " " .. m:get() .. " " .. t:get())
end
Mid.get = nil
printh(m:get())
-- a class whose __index is a function; a metatable that gains and loses
-- __index after lookups found none
local calls = 0
local F = setmetatable({}, {__index = function(o, k)
  calls = calls + 1
  return function(self) return k .. calls end
end})
printh(F:anything() .. F:other())
local mt = {}
local late = setmetatable({}, mt)
printh(late.hello == nil)  -- the lookup notes that mt has no __index
mt.__index = {hello = function() return "hello" end}
printh(late:hello())
mt.__index = nil
printh(late.hello == nil)
rawset(mt, "__index", {hello = function() return "raw" end})
printh(late:hello())
-- __index naming a table whose own __index is a function
local chain = setmetatable({}, {__index = setmetatable({}, {__index = function(o, k) return function() return k end end})})
printh(chain:deep())
-- a method on the class whose name is only in its metatable's __index chain
local count = 0
for i = 1, 200 do
  local o = (i % 3 == 0) and b or ((i % 3 == 1) and m or t)
  count = (count + o:get() + #o:name()) % 10000
end
printh(count)
