-- Generators written in Lua that yield from inside themselves: the loop
-- carries on where the generator stopped, with the values it returns after
-- the resume.
local co = cocreate(function()
  local function slow(t)
    local i = 0
    return function()
      i = i + 1
      yield('inside', i)
      return t[i]
    end
  end
  local s = 0
  for v in slow({3, 4, 5}) do
    s = s + v
    yield('body', v)
  end
  return 'done', s
end)
while true do
  local ok, a, b = coresume(co)
  show(ok, a, b)
  if a == 'done' or not ok then break end
end
