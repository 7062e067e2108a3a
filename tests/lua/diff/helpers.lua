function all(c)
  if c == nil or #c == 0 then return function() end end
  local i, li = 1, nil
  return function()
    if c[i] == li then i = i + 1 end
    while c[i] == nil and i <= #c do i = i + 1 end
    li = c[i]
    return li
  end
end
function foreach(c, f) for v in all(c) do f(v) end end
function count(c)
  local n = 0
  for i = 1, #c do if c[i] ~= nil then n = n + 1 end end
  return n
end
function add(c, v)
  if c == nil then return end
  c[#c + 1] = v
  return v
end
function del(c, v)
  if c == nil or #c < 1 then return end
  local n = #c
  for j = 1, n do
    if c[j] == v then
      for k = j, n - 1 do c[k] = c[k + 1] end
      c[n] = nil
      return
    end
  end
end
