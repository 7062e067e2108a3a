-- closures: creation, upvalue reads and writes, calls through variables
printh = printh or print
local function make(k)
  local c = 0
  return function(x) c = c + x * k return c end
end
local s = 0
for round = 1, 5000 do
  local fs = {}
  for i = 1, 50 do fs[i] = make(i % 5) end
  for rep = 1, 40 do
    for i = 1, 50 do s = (s + fs[i](1)) % 20000 end
  end
end
printh(s)
