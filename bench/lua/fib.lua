-- recursion: naive Fibonacci
printh = printh or print
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
local s = 0
for i = 1, 300 do s = (s + fib(22)) % 1000 end
printh(s)
