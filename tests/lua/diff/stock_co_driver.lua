-- Runs a coroutine test program under stock Lua 5.2 with the names the
-- console's interpreter gives the coroutine functions.
sub = string.sub
tostr = tostring
printh = print
cocreate = coroutine.create
coresume = coroutine.resume
costatus = coroutine.status
yield = coroutine.yield
trace = debug.traceback
collect = collectgarbage
assert(loadfile(arg[2]))()
assert(loadfile(arg[1]))()
