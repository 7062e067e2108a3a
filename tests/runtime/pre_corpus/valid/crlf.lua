local x = 1
local y = x + 1 -- crlf
if (x)
then y = 2 end
return y
