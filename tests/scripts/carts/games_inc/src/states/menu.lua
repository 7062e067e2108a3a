function menu()
  printh("menu")
  local t = nil
  printh(t.x)
end
