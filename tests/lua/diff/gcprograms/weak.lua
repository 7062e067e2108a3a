-- weak tables after full collections
local function count(t) local n = 0 for k, v in pairs(t) do n = n + 1 end return n end
local keep = {}
local wv = setmetatable({}, {__mode = "v"})
wv[1] = {} ; wv[2] = keep ; wv[3] = "a string stays" ; wv.x = {} ; wv.y = keep ; wv[4] = 42
local wk = setmetatable({}, {__mode = "k"})
local k1, k2 = {}, {}
wk[k1] = "one" ; wk[k2] = "two" ; wk[{}] = "gone" ; wk["s"] = {}
local wkv = setmetatable({}, {__mode = "kv"})
wkv[keep] = {} ; wkv[{}] = keep ; wkv[k1] = k2 ; wkv[1] = "x"
show("before", count(wv), count(wk), count(wkv))
collect()
show("after", count(wv), count(wk), count(wkv))
show(wv[1], wv[2] == keep, wv[3], wv.x, wv.y == keep, wv[4])
show(wk[k1], wk[k2], wk.s ~= nil)
show(wkv[k1] == k2, wkv[1])
k2 = nil
collect()
show("k2 dropped", count(wk), count(wkv))
-- ephemerons: a value that refers to its own key does not keep it
local eph = setmetatable({}, {__mode = "k"})
do
  local a, b = {}, {}
  eph[a] = {a} ; eph[b] = {b, a}
  keepb = b
end
collect()
show("ephemeron", count(eph))
keepb = nil
collect()
show("ephemeron later", count(eph))
-- chains through ephemerons
local chain = setmetatable({}, {__mode = "k"})
local root = {}
local x = root
for i = 1, 10 do local y = {} chain[x] = y x = y end
collect()
show("chain", count(chain))
root = nil
collect()
show("chain dropped", count(chain))
-- a weak table whose mode is set after its entries exist
local late = {}
late[1] = {} ; late[2] = {}
setmetatable(late, {__mode = "v"})
collect()
show("late", count(late))
