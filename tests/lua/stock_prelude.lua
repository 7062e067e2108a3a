-- C functions, so that only the script's own instructions are counted; the
-- corpus prints only numbers, strings and booleans, where they agree.
tostr = tostring
printh = print
tonum = tonumber
sub = string.sub
-- The collection helpers, the same file the differential tests use.
dofile((debug.getinfo(1, "S").source:match("^@(.*/)") or "./") .. "diff/helpers.lua")
