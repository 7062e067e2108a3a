-- method calls: objects with metatable-based classes and inheritance
printh = printh or print
local Point = {}
Point.__index = Point
function Point.new(x, y) return setmetatable({x = x, y = y}, Point) end
function Point:add(o) self.x = (self.x + o.x) % 1000 self.y = (self.y + o.y) % 1000 return self end
function Point:len() return self.x + self.y end
local Point3 = setmetatable({}, {__index = Point})
Point3.__index = Point3
function Point3.new(x, y, z) local p = Point.new(x, y) p.z = z return setmetatable(p, Point3) end
function Point3:len() return Point.len(self) + self.z end
local a, b = Point.new(1, 2), Point3.new(3, 4, 5)
local s = 0
for i = 1, 3000 do for j = 1, 1000 do
  a:add(b)
  s = (s + b:len() + a:len()) % 10000 end
end
printh(s)
