x += 1 -- add one
--[[ a
b
c ]] y = 2 // note
s = [[ multi
line ]] t += 1
a["["] += 1
