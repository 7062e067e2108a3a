-- suspended coroutines keep what their stacks hold while garbage piles up
local function worker(n)
  local mine = {}
  for i = 1, n do
    mine[i] = {i, "w" .. i}
    local fresh = {i * 2}
    yield(#mine)
    mine[i][3] = fresh
  end
  local s = 0
  for i = 1, n do s = s + mine[i][1] + #mine[i][2] + mine[i][3][1] end
  return s
end
local cos = {}
for k = 1, 10 do cos[k] = cocreate(function() return worker(20 + k) end) end
local results = {}
for step = 1, 40 do
  for k = 1, 10 do
    if costatus(cos[k]) ~= "dead" then
      local ok, v = coresume(cos[k])
      if costatus(cos[k]) == "dead" then results[k] = v end
    end
  end
  local junk = {}
  for j = 1, 100 do junk[j] = {j, "j" .. j} end
end
for k = 1, 10 do printh("worker " .. k .. ": " .. results[k]) end
