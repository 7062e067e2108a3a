-- loops: nested numeric for with arithmetic and comparisons
printh = printh or print
local acc = 0
for i = 1, 30000 do
  for j = 1, 1000 do
    local v = (i % 5000 * 3 + j) % 7
    if v < 3 then acc = acc + 1 elseif v == 5 then acc = acc - 1 end
  end
  acc = acc % 10000
end
printh(acc)
