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
