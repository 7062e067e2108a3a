-- strings and comments that look like shorthand
local s1 = "a += 1 -- not a comment"
local s2 = 'if (x) y() != z'
local s3 = "escaped \" quote += 2"
local s4 = "backslash at the end \\"
local t = s4 .. "x"   -- the string above is closed
local s5 = [[ long
string += with
-- no comment inside ]]
local s6 = [==[ it holds ]] and ]=] too ]==]
local s7 = [[ a [[ b ]]
local s8 = "line \
continued"
local s9 = "skip \z
            spaces"
local s10 = '\x8b\65\0' == nil
--[[ a block comment
  x += 1
  if (a) b()
]] local after = 1
--[==[ level two ]] still
comment ]==] local after2 = 2
---[[ just a line comment
local n = 0xFF + 0x1p4 + 1e3 + 1E-2 + 3.5 + .5
local a=1--[[x]]local b=2
local c = a - --[[c]]-b
local d = {[ [[k]] ] = 1, [ "[" ] = 2}
local e = d[ [[k]] ] + d["["]
return s1, s2, s3, t, s5, s6, s7, s8, s9, s10, after, after2, n, a, b, c, e
