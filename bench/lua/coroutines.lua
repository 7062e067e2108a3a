-- coroutines: producer/consumer ping-pong, generators, many short-lived coroutines
printh = printh or print
cocreate = cocreate or coroutine.create
coresume = coresume or coroutine.resume
yield = yield or coroutine.yield
local prod = cocreate(function()
  local x = 0
  while true do x = (x * 3 + 1) % 10007 ; yield(x) end
end)
local s = 0
for round = 1, 300 do
  for i = 1, 10000 do
    local ok, v = coresume(prod)
    s = (s + v) % 10000
  end
end
printh(s)
local t = 0
for round = 1, 30000 do
  local gen = cocreate(function(n) for i = 1, n do yield(i) end end)
  local ok, v = coresume(gen, 20)
  while v do t = (t + v) % 30000 ; ok, v = coresume(gen) end
end
printh(t)
