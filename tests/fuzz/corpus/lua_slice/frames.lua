local t = {}
for f = 1, 20 do
  t[f] = {f, function() return f end}
  local co = cocreate(function(a) for i = 1, a do yield(i) end end)
  while coresume(co, f) do end
  setmetatable({}, {__gc = function(o) t[#t + 1] = o end})
  flip()
end
