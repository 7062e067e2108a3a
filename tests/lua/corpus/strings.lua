printh("esc: \65\066\x43 \"q\" 'q' \\ tab\tend")
printh('single \'quoted\'')
printh([[long
string]])
printh([==[with ]] inside]==])
local s = "hello world"
printh(sub(s, 1, 5)) printh(sub(s, -5)) printh(sub(s, 3)) printh(sub(s, 0)) printh(sub(s, 8, 100))
printh(#"")
printh("a" < "b") printh("abc" < "abd") printh("Z" < "a") printh("" < "a")
printh("10" + 5) printh("3" * "4")
printh(10 .. "")
printh("x\z
        y")
printh(type("s")) printh(type(1)) printh(type(nil)) printh(type({})) printh(type(printh))
printh(tostr(true)) printh(tostr(12))
printh(tonum("12")) printh(tonum("0x10")) printh(tonum(" 7 "))
local parts = {}
for i = 1, 5 do parts[#parts + 1] = i .. "," end
local joined = ""
for _, p in pairs(parts) do joined = joined .. p end
printh(joined)
-- comments
--[[ long
comment ]] printh("after comment")
--[==[ x ]==] printh("after level comment")
